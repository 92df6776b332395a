#include "container/SFSHugeFile.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <set>

#include "base/LittleEndian.h"
#include "container/SFSError.h"

namespace quillmar {

namespace {

constexpr char kPartMagic[8] = {'A', 'A', 'M', 'V', 'H', 'F', 'S', 'S'};
constexpr int64_t kNameOffset = 16;

std::string FileNameOnly(const std::string& path) {
  return std::filesystem::path(path).filename().string();
}

std::string SiblingPath(const std::string& fileName, const std::string& name) {
  std::filesystem::path parent = std::filesystem::path(fileName).parent_path();
  return parent.empty() ? name : (parent / name).string();
}

// A next-part name as stored: zero-terminated within the field. A name with a folder separator, a
// dot-only name or no terminator is refused so that a header cannot lead outside the folder.
bool ParseNextName(const uint8_t* field, std::string& name) {
  const auto* end = static_cast<const uint8_t*>(std::memchr(field, 0, TSFSHugeFile::PartNameSize));
  if (!end) return false;
  name.assign(reinterpret_cast<const char*>(field), static_cast<size_t>(end - field));
  if (name.find('/') != std::string::npos || name.find('\\') != std::string::npos) return false;
  return name != "." && name != "..";
}

struct ChainInfo {
  int64_t partSize = 0;
  std::vector<std::string> paths;
};

// Reads the chain's part headers without keeping the files open (for rename and delete of closed
// containers). False when the chain is not valid.
bool ReadChain(TSFSPartStorage& storage, const std::string& fileName, ChainInfo& info) {
  std::set<std::string> seen;
  std::string path = fileName;
  for (;;) {
    std::unique_ptr<TSFSAbstractFile> f;
    try {
      f = storage.Open(path, true, TSFSLock::None);
    } catch (const ESFSError&) {
      return false;
    }
    uint8_t h[TSFSHugeFile::PartHeaderSize];
    if (f->ReadAt(0, h, sizeof h) != static_cast<int64_t>(sizeof h) || std::memcmp(h, kPartMagic, 8) != 0)
      return false;
    if (info.paths.empty()) info.partSize = GetLE<int64_t>(h + 8);
    info.paths.push_back(path);
    seen.insert(path);
    std::string next;
    if (!ParseNextName(h + kNameOffset, next)) return false;
    if (next.empty()) return true;
    path = SiblingPath(fileName, next);
    if (seen.count(path)) return false;
  }
}

}  // namespace

TSFSHugeFile::TSFSHugeFile(TSFSPartStorage* storage) : storage_(storage ? storage : &DiskPartStorage()) {}

TSFSHugeFile::~TSFSHugeFile() {
  try {
    Close();
  } catch (...) {
  }
}

std::string TSFSHugeFile::PartFileName(const std::string& fileName, int k) {
  return k == 0 ? fileName : fileName + std::to_string(k);
}

int64_t TSFSHugeFile::DefaultPartSize(const std::string& fileName, TSFSPartStorage* storage) {
  int64_t size = (storage ? storage : &DiskPartStorage())->MaxFileSize(fileName);
  return size > 0 ? size : FallbackPartSize;
}

void TSFSHugeFile::WritePartHeader(TSFSAbstractFile& file, const std::string& nextName) {
  uint8_t h[PartHeaderSize] = {};
  std::memcpy(h, kPartMagic, 8);
  PutLE<int64_t>(h + 8, partSize_);
  std::memcpy(h + kNameOffset, nextName.data(), nextName.size());
  file.WriteBuffer(0, h, PartHeaderSize);
}

void TSFSHugeFile::WriteNextName(int k, const std::string& nextName) {
  uint8_t field[PartNameSize] = {};
  std::memcpy(field, nextName.data(), nextName.size());
  parts_[k].file->WriteBuffer(kNameOffset, field, PartNameSize);
}

void TSFSHugeFile::ResizePart(int k, int64_t fileSize) {
  Part& p = parts_[k];
  if (p.size == fileSize) return;
  if (!p.file->SetSize(fileSize))
    throw ESFSError("TSFSHugeFile.SetSize - File " + FileNameOnly(p.path) +
                    " could not be resized; check the free space on its drive.");
  std::unique_lock guard(partsMutex_);
  p.size = fileSize;
}

void TSFSHugeFile::RequireWritable(const char* op) const {
  if (!IsOpen()) throw ESFSError(std::string("TSFSHugeFile.") + op + " - File is not open.");
  if (readOnly_) throw ESFSError(std::string("TSFSHugeFile.") + op + " - File is open read-only.");
}

void TSFSHugeFile::Create(const std::string& fileName, int64_t partSize, bool exclusive) {
  if (IsOpen()) throw ESFSError("TSFSHugeFile.InternalOpen - File is already open.");
  if (partSize == -1) partSize = DefaultPartSize(fileName, storage_);
  if (partSize < MinPartSize)
    throw ESFSError("File part size is too small. Minimal part size is " + std::to_string(MinPartSize));
  auto file = storage_->Create(fileName, exclusive ? TSFSLock::Exclusive : TSFSLock::Shared);
  fileName_ = fileName;
  partSize_ = partSize;
  readOnly_ = false;
  exclusive_ = exclusive;
  position_ = 0;
  WritePartHeader(*file, std::string());
  std::unique_lock guard(partsMutex_);
  parts_.push_back(Part{std::move(file), fileName, PartHeaderSize});
}

bool TSFSHugeFile::Open(const std::string& fileName, bool readOnly, bool exclusive) {
  return Open(fileName, readOnly,
              exclusive ? TSFSLock::Exclusive : (readOnly ? TSFSLock::None : TSFSLock::Shared));
}

bool TSFSHugeFile::Open(const std::string& fileName, bool readOnly, TSFSLock lock) {
  if (IsOpen()) throw ESFSError("TSFSHugeFile.InternalOpen - File is already open.");
  const bool exclusive = lock == TSFSLock::Exclusive;
  std::vector<Part> parts;
  std::set<std::string> seen;
  std::string path = fileName;
  int64_t partSize = 0;
  for (;;) {
    std::unique_ptr<TSFSAbstractFile> file;
    if (parts.empty()) {
      file = storage_->Open(path, readOnly, lock);  // errors of the container file itself are reported
    } else {
      try {
        file = storage_->Open(path, readOnly, TSFSLock::None);
      } catch (const ESFSError&) {
        return false;  // a missing part: the chain is broken
      }
    }
    const int64_t size = file->Size();
    uint8_t h[PartHeaderSize];
    if (size < PartHeaderSize || file->ReadAt(0, h, PartHeaderSize) != PartHeaderSize ||
        std::memcmp(h, kPartMagic, 8) != 0)
      return false;
    if (parts.empty()) {
      partSize = GetLE<int64_t>(h + 8);
      if (partSize < MinPartSize) return false;
    }
    std::string next;
    if (!ParseNextName(h + kNameOffset, next)) return false;
    if (size > partSize) return false;
    if (!next.empty() && size < partSize) return false;
    seen.insert(path);
    parts.push_back(Part{std::move(file), path, size});
    if (next.empty()) break;
    path = SiblingPath(fileName, next);
    if (seen.count(path)) return false;  // a chain that loops
  }
  fileName_ = fileName;
  partSize_ = partSize;
  readOnly_ = readOnly;
  exclusive_ = exclusive;
  position_ = 0;
  std::unique_lock guard(partsMutex_);
  parts_ = std::move(parts);
  return true;
}

void TSFSHugeFile::Close() {
  if (!IsOpen()) return;
  std::vector<Part> parts;
  {
    // Out of the list first: a concurrent read then finds none of these files.
    std::unique_lock guard(partsMutex_);
    parts = std::move(parts_);
    parts_.clear();
  }
  if (!readOnly_)
    for (Part& p : parts) p.file->Flush();  // a file only read has nothing to force to the disk
  parts.clear();                            // closes the files (and releases the lock)
  position_ = 0;
}

bool TSFSHugeFile::Flush() {
  bool ok = true;
  for (Part& p : parts_)
    if (!p.file->Flush()) ok = false;
  return ok;
}

void TSFSHugeFile::StartWriteback(int64_t offset, int64_t count) {
  const int64_t data = PartDataSize();
  while (count > 0 && offset >= 0 && offset / data < PartCount()) {
    const int64_t inPart = offset % data;
    const int64_t chunk = std::min(count, data - inPart);
    parts_[size_t(offset / data)].file->StartWriteback(PartHeaderSize + inPart, chunk);
    offset += chunk;
    count -= chunk;
  }
}

void TSFSHugeFile::Refresh() {
  if (!IsOpen()) return;
  std::set<std::string> seen;
  for (size_t k = 0; k < parts_.size(); ++k) {
    Part& p = parts_[k];
    const std::string name = FileNameOnly(p.path);
    seen.insert(p.path);
    const int64_t size = p.file->Size();
    uint8_t field[PartNameSize];
    std::string next;
    if (size < PartHeaderSize || size > partSize_ ||
        p.file->ReadAt(kNameOffset, field, int64_t(PartNameSize)) != int64_t(PartNameSize) ||
        !ParseNextName(field, next) || (!next.empty() && size < partSize_))
      throw ESFSError("File " + FileNameOnly(fileName_) + " has corrupted header.");
    std::unique_lock guard(partsMutex_);
    p.size = size;
    if (next.empty()) {
      parts_.resize(k + 1);  // the parts after it were removed
      break;
    }
    guard.unlock();
    const std::string path = SiblingPath(fileName_, next);
    if (k + 1 < parts_.size() && parts_[k + 1].path == path) continue;
    if (seen.count(path)) throw ESFSError("File " + FileNameOnly(fileName_) + " has corrupted header.");
    // A part was added (or replaced) since: it is opened now.
    std::unique_ptr<TSFSAbstractFile> file;
    try {
      file = storage_->Open(path, readOnly_, TSFSLock::None);
    } catch (const ESFSError&) {
      throw ESFSError("File " + FileNameOnly(fileName_) + " has corrupted header.");
    }
    guard.lock();
    parts_.resize(k + 1);
    parts_.push_back(Part{std::move(file), path, 0});
  }
  if (position_ > Size()) position_ = Size();
}

bool TSFSHugeFile::ChangeLock(TSFSLock lock) {
  if (!IsOpen()) return false;
  if (!parts_.front().file->ChangeLock(lock)) return false;
  exclusive_ = lock == TSFSLock::Exclusive;
  return true;
}

int64_t TSFSHugeFile::Size() const {
  if (!IsOpen()) return 0;
  return static_cast<int64_t>(parts_.size() - 1) * PartDataSize() + (parts_.back().size - PartHeaderSize);
}

int64_t TSFSHugeFile::Seek(int64_t offset, TSeekOrigin origin) {
  int64_t base = origin == TSeekOrigin::Begin ? 0 : origin == TSeekOrigin::Current ? position_ : Size();
  int64_t target = base + offset;
  if (target < 0) throw ESFSError("TSFSHugeFile.Seek - Offset < 0 from file beginning.");
  position_ = target;
  return position_;
}

int64_t TSFSHugeFile::Read(void* buffer, int64_t count) {
  if (!IsOpen()) throw ESFSError("TSFSHugeFile.Read - File is not open.");
  auto* out = static_cast<uint8_t*>(buffer);
  const int64_t data = PartDataSize();
  int64_t done = 0;
  while (done < count) {
    const int64_t o = position_;
    const int64_t k = o / data;
    if (k >= PartCount()) break;
    const int64_t inPart = o % data;
    const int64_t available = parts_[k].size - PartHeaderSize - inPart;
    if (available <= 0) break;
    const int64_t chunk = std::min(count - done, available);
    const int64_t n = parts_[k].file->ReadAt(PartHeaderSize + inPart, out + done, chunk);
    if (n < 0) throw ESFSError("TSFSHugeFile.Read - Stream read error.");
    done += n;
    position_ += n;
    if (n < chunk) break;
  }
  return done;
}

int64_t TSFSHugeFile::Write(const void* buffer, int64_t count) {
  RequireWritable("Write");
  if (count <= 0) return 0;
  if (position_ > Size()) SetSize(position_);  // the gap reads as zeros
  const auto* in = static_cast<const uint8_t*>(buffer);
  const int64_t data = PartDataSize();
  int64_t done = 0;
  while (done < count) {
    const int64_t o = position_;
    const int64_t k = o / data;
    while (k >= PartCount()) AddPartFile();
    const int64_t inPart = o % data;
    const int64_t chunk = std::min(count - done, data - inPart);
    const int64_t n = parts_[k].file->WriteAt(PartHeaderSize + inPart, in + done, chunk);
    if (n <= 0) break;
    {
      std::unique_lock guard(partsMutex_);
      parts_[k].size = std::max(parts_[k].size, PartHeaderSize + inPart + n);
    }
    done += n;
    position_ += n;
    if (n < chunk) break;
  }
  return done;
}

int64_t TSFSHugeFile::ReadConcurrently(int64_t offset, void* buffer, int64_t count) const {
  std::shared_lock guard(partsMutex_);
  auto* out = static_cast<uint8_t*>(buffer);
  const int64_t data = PartDataSize();
  int64_t done = 0;
  while (done < count && offset >= 0) {
    const int64_t k = (offset + done) / data;
    if (k >= PartCount()) break;
    const int64_t inPart = (offset + done) % data;
    const int64_t available = parts_[size_t(k)].size - PartHeaderSize - inPart;
    if (available <= 0) break;
    const int64_t chunk = std::min(count - done, available);
    const int64_t n = parts_[size_t(k)].file->ReadAt(PartHeaderSize + inPart, out + done, chunk);
    if (n < 0) throw ESFSError("TSFSHugeFile.Read - Stream read error.");
    done += n;
    if (n < chunk) break;
  }
  return done;
}

void TSFSHugeFile::ReadBuffer(void* buffer, int64_t count) {
  if (Read(buffer, count) != count) throw ESFSError("TSFSHugeFile.ReadBuffer - Stream read error");
}

void TSFSHugeFile::WriteBuffer(const void* buffer, int64_t count) {
  if (Write(buffer, count) != count) throw ESFSError("TSFSHugeFile.WriteBuffer - Stream write error");
}

void TSFSHugeFile::SetSize(int64_t newSize) {
  RequireWritable("SetSize");
  if (newSize < 0) throw ESFSError("TSFSHugeFile.SetSize - Size < 0.");
  const int64_t data = PartDataSize();
  const int64_t needed = std::max<int64_t>(1, (newSize + data - 1) / data);
  const int64_t lastSize = PartHeaderSize + (newSize - (needed - 1) * data);
  const int64_t oldSize = Size();
  try {
    if (needed > PartCount()) {
      while (PartCount() < needed) AddPartFile();  // fills each previous part to the part size
    } else {
      while (PartCount() > needed) DeleteLastPartFile();
    }
    ResizePart(PartCount() - 1, lastSize);
  } catch (...) {
    // A grow that failed half-way gives back what it took (a failed shrink keeps what it could not cut).
    if (newSize > oldSize) {
      try {
        while (PartCount() > 1 &&
               static_cast<int64_t>(PartCount() - 1) * data >= std::max<int64_t>(oldSize, 1))
          DeleteLastPartFile();
        ResizePart(PartCount() - 1,
                   PartHeaderSize + (oldSize - static_cast<int64_t>(PartCount() - 1) * data));
      } catch (...) {
      }
    }
    throw;
  }
  if (position_ > newSize) position_ = newSize;
}

void TSFSHugeFile::AddPartFile() {
  RequireWritable("AddPartFile");
  const int k = PartCount();
  const std::string path = PartFileName(fileName_, k);
  const std::string name = FileNameOnly(path);
  if (name.size() >= PartNameSize)
    throw ESFSError("TSFSHugeFile.AddPartFile - File name " + name + " is too long for a part file.");
  ResizePart(k - 1, partSize_);  // every part but the last is full
  auto file = storage_->Create(path, TSFSLock::None);
  try {
    WritePartHeader(*file, std::string());
  } catch (...) {
    file.reset();
    storage_->Remove(path);
    throw;
  }
  // Only now does the chain name the new part.
  WriteNextName(k - 1, name);
  std::unique_lock guard(partsMutex_);
  parts_.push_back(Part{std::move(file), path, PartHeaderSize});
}

void TSFSHugeFile::DeleteLastPartFile() {
  RequireWritable("DeleteLastPartFile");
  if (PartCount() <= 1) throw ESFSError("TSFSHugeFile.DeleteLastPartFile - No parts to delete.");
  const int k = PartCount() - 1;
  WriteNextName(k - 1, std::string());  // the chain forgets the part before its file goes
  std::string path = parts_[k].path;
  {
    std::unique_lock guard(partsMutex_);
    parts_.pop_back();  // closes the file, which no concurrent read uses now
  }
  storage_->Remove(path);
  if (position_ > Size()) position_ = Size();
}

bool TSFSHugeFile::RenameContainer(const std::string& from, const std::string& to, TSFSPartStorage* storage) {
  TSFSPartStorage& s = storage ? *storage : DiskPartStorage();
  ChainInfo chain;
  if (!ReadChain(s, from, chain)) return false;
  const int count = static_cast<int>(chain.paths.size());
  std::vector<std::string> targets;
  for (int k = 0; k < count; ++k) {
    targets.push_back(PartFileName(to, k));
    if (FileNameOnly(targets.back()).size() >= PartNameSize || s.Exists(targets.back())) return false;
  }
  // Last part first, so that no part is renamed onto a name the chain still uses.
  for (int k = count - 1; k >= 0; --k) {
    if (!s.Rename(chain.paths[k], targets[k])) {
      for (int j = k + 1; j < count; ++j) s.Rename(targets[j], chain.paths[j]);
      return false;
    }
  }
  // Point the renamed chain at the new names.
  try {
    for (int k = 0; k + 1 < count; ++k) {
      auto f = s.Open(targets[k], false, TSFSLock::None);
      uint8_t field[PartNameSize] = {};
      std::string next = FileNameOnly(targets[k + 1]);
      std::memcpy(field, next.data(), next.size());
      f->WriteBuffer(kNameOffset, field, PartNameSize);
      f->Flush();
    }
  } catch (const ESFSError&) {
    return false;
  }
  return true;
}

bool TSFSHugeFile::DeleteContainer(const std::string& fileName, TSFSPartStorage* storage,
                                   std::vector<std::unique_ptr<TSFSAbstractFile>>* keepOpen) {
  TSFSPartStorage& s = storage ? *storage : DiskPartStorage();
  ChainInfo chain;
  ReadChain(s, fileName, chain);  // as far as it goes; a damaged chain still loses its first parts
  if (chain.paths.empty()) chain.paths.push_back(fileName);
  bool first = true;
  bool ok = true;
  for (const std::string& p : chain.paths) {
    if (keepOpen) {
      try {
        keepOpen->push_back(s.Open(p, true, TSFSLock::None));
      } catch (const ESFSError&) {
        // Not opened: removing the name frees the space now.
      }
    }
    bool removed = s.Remove(p);
    if (first) ok = removed;
    first = false;
  }
  return ok;
}

}  // namespace quillmar
