#include "container/SFSAdvancedFileStream.h"

#include <algorithm>
#include <cstring>

#include "base/Exception.h"
#include "base/LittleEndian.h"
#include "container/Checksum.h"
#include "container/Compression.h"
#include "container/SFSError.h"

namespace quillmar {

namespace {

// A block size larger than this in a header is taken as damage, not as a request to allocate it.
constexpr uint32_t kMaxBlockSize = 64u << 20;

uint16_t Crc(const std::string& data) {
  return Crc16Arc(reinterpret_cast<const uint8_t*>(data.data()), data.size());
}

}  // namespace

TSFSAdvancedFileStream::TSFSAdvancedFileStream(std::unique_ptr<TStream> underlying, int method, bool create)
    : underlying_(std::move(underlying)) {
  if (!underlying_) throw ESFSError("TSFSAdvancedFileStream.Create - SingleFileSystem = nil.");
  if (create && method != 0) {
    if (!IsCompressionSupported(method))
      throw ESFSError("TSFSAdvancedFileStream.PrepareBufferForWriting - compression error in PrepareBuffer.");
    method_ = method;
    blockSize_ = CompressionBlockSize(method);
    extension_ = 0;
    try {
      underlying_->SetPosition(0);
      WriteHeader();
      underlying_->SetSize(kHeaderSize);
    } catch (const EQuillmarError&) {
      throw ESFSError(
          "TSFSAdvancedFileStream.Create - error writing to data stream. May be data stream in read only "
          "mode.");
    }
    return;
  }
  OpenLayout();
}

TSFSAdvancedFileStream::~TSFSAdvancedFileStream() = default;

void TSFSAdvancedFileStream::OpenLayout() {
  method_ = 0;
  blockSize_ = CompressionBlockSize(0);
  int64_t fileSize = underlying_->Size();
  if (fileSize < kHeaderSize) return;
  unsigned char h[kHeaderSize];
  underlying_->SetPosition(0);
  if (underlying_->Read(h, kHeaderSize) != kHeaderSize || std::memcmp(h, "AACS", 4) != 0) {
    underlying_->SetPosition(0);
    return;
  }
  uint32_t b = GetLE<uint32_t>(h + 4);
  uint32_t count = GetLE<uint32_t>(h + 12);
  int method = h[20];
  uint32_t ext = GetLE<uint32_t>(h + 23);
  if (b == 0 || b > kMaxBlockSize || method == 0 || int64_t(kHeaderSize) + ext > fileSize)
    throw ESFSError("TSFSAdvancedFileStream.Create - invalid compressed file header.");
  method_ = method;
  blockSize_ = b;
  extension_ = ext;

  int64_t pos = DataStart();
  bool cut = false;
  for (uint32_t i = 0; i < count; ++i) {
    if (fileSize - pos < kBlockHeaderSize) {
      cut = true;
      break;
    }
    unsigned char bh[kBlockHeaderSize];
    underlying_->SetPosition(pos);
    underlying_->ReadBuffer(bh, kBlockHeaderSize);
    Block blk;
    blk.stored = GetLE<uint32_t>(bh);
    blk.size = GetLE<uint32_t>(bh + 4);
    blk.crc = GetLE<uint32_t>(bh + 8);
    blk.next = GetLE<uint32_t>(bh + 12);
    blk.pos = pos;
    int64_t end = pos + kBlockHeaderSize + blk.stored;
    // A block whose data runs past the end of the file, that claims more than a block holds, or whose
    // next field points backwards is damaged: the table ends before it, as with a short tail.
    if (end > fileSize || blk.size > blockSize_ || int64_t(blk.next) < end) {
      cut = true;
      break;
    }
    blocks_.push_back(blk);
    size_ += blk.size;
    storedTotal_ += blk.stored;
    pos = blk.next;
  }
  if (cut) {
    // Drop the damaged tail so that the file again satisfies the layout; a read-only handle cannot
    // do that, and then only the in-memory table is shortened.
    try {
      WriteHeader();
      underlying_->SetSize(DataEnd());
    } catch (const EQuillmarError&) {
    }
  }
}

int64_t TSFSAdvancedFileStream::DataEnd() const {
  if (blocks_.empty()) return DataStart();
  const Block& b = blocks_.back();
  return b.pos + kBlockHeaderSize + b.stored;
}

void TSFSAdvancedFileStream::WriteHeader() {
  unsigned char h[kHeaderSize] = {};
  std::memcpy(h, "AACS", 4);
  PutLE<uint32_t>(h + 4, blockSize_);
  PutLE<uint32_t>(h + 12, static_cast<uint32_t>(blocks_.size()));
  PutLE<uint32_t>(h + 16, 0x40000000u);
  h[20] = static_cast<unsigned char>(method_);
  PutLE<uint32_t>(h + 23, extension_);
  underlying_->SetPosition(0);
  underlying_->WriteBuffer(h, kHeaderSize);
}

void TSFSAdvancedFileStream::WriteBlockHeader(const Block& b) {
  unsigned char bh[kBlockHeaderSize];
  PutLE<uint32_t>(bh, b.stored);
  PutLE<uint32_t>(bh + 4, b.size);
  PutLE<uint32_t>(bh + 8, b.crc);
  PutLE<uint32_t>(bh + 12, b.next);
  underlying_->SetPosition(b.pos);
  underlying_->WriteBuffer(bh, kBlockHeaderSize);
}

double TSFSAdvancedFileStream::CompressionRate() const {
  if (method_ == 0 || size_ == 0) return 0;
  return (1.0 - double(storedTotal_) / double(size_)) * 100.0;
}

void TSFSAdvancedFileStream::Report(int percent) {
  if (!silent_ && OnProgress) OnProgress(std::clamp(percent, 0, 100));
}

void TSFSAdvancedFileStream::LoadBlock(size_t index) {
  if (cachedIndex_ == index) return;
  cachedIndex_ = SIZE_MAX;
  const Block& b = blocks_[index];
  std::string stored;
  stored.resize(b.stored);
  underlying_->SetPosition(b.pos + kBlockHeaderSize);
  if (underlying_->Read(stored.data(), b.stored) != int64_t(b.stored))
    throw ESFSError("TSFSAdvancedFileStream.LoadBlock - decompression error.");
  if (!DecompressBlock(method_, stored, b.size, cached_))
    throw ESFSError("TSFSAdvancedFileStream.LoadBlock - decompression error.");
  if (cached_.size() != b.size)
    throw ESFSError("TSFSAdvancedFileStream.LoadBlock - decompression error, invalid size.");
  if (Crc(cached_) != b.crc) throw ESFSError("TSFSAdvancedFileStream.LoadBlock - decompression crc error.");
  cachedIndex_ = index;
}

int64_t TSFSAdvancedFileStream::Read(void* buffer, int64_t count) {
  if (method_ == 0) return underlying_->Read(buffer, count);
  if (count <= 0 || position_ >= size_) return 0;
  count = std::min(count, size_ - position_);
  auto* out = static_cast<char*>(buffer);
  int64_t done = 0;
  size_t first = size_t(position_ / blockSize_);
  size_t last = size_t((position_ + count - 1) / blockSize_);
  size_t total = last - first + 1;
  size_t k = 0;
  while (done < count) {
    size_t i = size_t(position_ / blockSize_);
    LoadBlock(i);
    int64_t off = position_ % blockSize_;
    int64_t n = std::min<int64_t>(count - done, int64_t(cached_.size()) - off);
    if (n <= 0) break;
    std::memcpy(out + done, cached_.data() + off, size_t(n));
    done += n;
    position_ += n;
    if (total > 1) Report(int(++k * 100 / total));
  }
  return done;
}

void TSFSAdvancedFileStream::MoveTail(size_t fromBlock, int64_t delta) {
  // Shifts blocks fromBlock.. forward by delta bytes, copying from the end backwards so that no byte
  // is overwritten before it has been moved; memory stays at one bounded buffer.
  int64_t start = blocks_[fromBlock].pos;
  int64_t end = DataEnd();
  std::vector<char> buf(1 << 20);
  int64_t remaining = end - start;
  while (remaining > 0) {
    int64_t n = std::min<int64_t>(remaining, int64_t(buf.size()));
    int64_t src = start + remaining - n;
    underlying_->SetPosition(src);
    underlying_->ReadBuffer(buf.data(), n);
    underlying_->SetPosition(src + delta);
    underlying_->WriteBuffer(buf.data(), n);
    remaining -= n;
  }
  for (size_t j = fromBlock; j < blocks_.size(); ++j) {
    blocks_[j].pos += delta;
    blocks_[j].next += uint32_t(delta);
    WriteBlockHeader(blocks_[j]);
  }
}

void TSFSAdvancedFileStream::StoreBlock(size_t index, const std::string& data, bool isLast) {
  std::string packed;
  if (!CompressBlock(method_, data, packed))
    throw ESFSError("TSFSAdvancedFileStream.PrepareBufferForWriting - compression error in PrepareBuffer.");
  bool exists = index < blocks_.size();
  if (!exists) {
    Block b;
    b.pos = DataEnd();
    blocks_.push_back(b);
  }
  Block& b = blocks_[index];
  bool hasFollowing = index + 1 < blocks_.size();
  if (hasFollowing) {
    int64_t room = int64_t(b.next) - b.pos - kBlockHeaderSize;
    if (int64_t(packed.size()) > room) MoveTail(index + 1, int64_t(packed.size()) - room);
  }
  Block& blk = blocks_[index];
  storedTotal_ += int64_t(packed.size()) - int64_t(blk.stored);
  blk.stored = uint32_t(packed.size());
  blk.size = uint32_t(data.size());
  blk.crc = Crc(data);
  blk.next =
      hasFollowing ? uint32_t(blocks_[index + 1].pos) : uint32_t(blk.pos + kBlockHeaderSize + blk.stored);
  WriteBlockHeader(blk);
  underlying_->WriteBuffer(packed.data(), int64_t(packed.size()));
  if (isLast && !hasFollowing && underlying_->Size() > DataEnd()) underlying_->SetSize(DataEnd());
  cached_ = data;
  cachedIndex_ = index;
}

int64_t TSFSAdvancedFileStream::Write(const void* buffer, int64_t count) {
  if (method_ == 0) return underlying_->Write(buffer, count);
  if (count <= 0) return 0;
  if (position_ > size_) {
    int64_t p = position_;
    SetSize(p);
    position_ = p;
    if (size_ != p) return 0;
  }
  const auto* in = static_cast<const char*>(buffer);
  int64_t newSize = std::max(size_, position_ + count);
  size_t first = size_t(position_ / blockSize_);
  size_t last = size_t((position_ + count - 1) / blockSize_);
  size_t lastOfFile = size_t((newSize - 1) / blockSize_);
  size_t total = last - first + 1;
  int64_t done = 0;
  std::string data;
  for (size_t i = first; i <= last; ++i) {
    uint32_t want =
        (i == lastOfFile && newSize % blockSize_ != 0) ? uint32_t(newSize % blockSize_) : blockSize_;
    if (i < blocks_.size()) {
      LoadBlock(i);
      data = cached_;
    } else {
      data.clear();
    }
    data.resize(want, '\0');
    int64_t blockStart = int64_t(i) * blockSize_;
    int64_t from = std::max<int64_t>(position_ + done, blockStart) - blockStart;
    int64_t n = std::min<int64_t>(count - done, int64_t(want) - from);
    std::memcpy(data.data() + from, in + done, size_t(n));
    // Blocks between the old end and this write that were never written get zeros.
    for (size_t gap = blocks_.size(); gap < i; ++gap) StoreBlock(gap, std::string(blockSize_, '\0'), false);
    StoreBlock(i, data, i == lastOfFile);
    done += n;
    if (total > 1) Report(int((i - first + 1) * 100 / total));
  }
  WriteHeader();
  position_ += done;
  size_ = newSize;
  return done;
}

int64_t TSFSAdvancedFileStream::Seek(int64_t offset, TSeekOrigin origin) {
  if (method_ == 0) return underlying_->Seek(offset, origin);
  int64_t base = origin == TSeekOrigin::Begin ? 0 : origin == TSeekOrigin::Current ? position_ : size_;
  int64_t p = base + offset;
  if (p < 0) throw EStreamError("TSFSAdvancedFileStream.Seek - Offset < 0 from file beginning.");
  position_ = p;
  return position_;
}

int64_t TSFSAdvancedFileStream::Size() {
  if (method_ == 0) return underlying_->Size();
  return size_;
}

void TSFSAdvancedFileStream::SetSize(int64_t newSize) {
  if (method_ == 0) {
    underlying_->SetSize(newSize);
    return;
  }
  if (newSize < 0) newSize = 0;
  if (newSize > size_) {
    // Grow with zero bytes from the end, one block at a time.
    int64_t keep = position_;
    int64_t ext = newSize - size_;
    std::string zeros(std::min<int64_t>(ext, blockSize_), '\0');
    position_ = size_;
    bool old = silent_;
    silent_ = true;
    while (size_ < newSize) {
      int64_t n = std::min<int64_t>(newSize - size_, int64_t(zeros.size()));
      if (Write(zeros.data(), n) != n) {
        silent_ = old;
        position_ = keep;
        throw ESFSError("TSFSAdvancedFileStream.SetSize - error extending file. NewSize = " +
                        std::to_string(newSize) + ", extSize = " + std::to_string(ext));
      }
    }
    silent_ = old;
    position_ = keep;
    return;
  }
  if (newSize == size_) return;
  size_t whole = size_t(newSize / blockSize_);
  uint32_t rest = uint32_t(newSize % blockSize_);
  std::string tail;
  if (rest > 0) {
    LoadBlock(whole);
    tail = cached_.substr(0, rest);
  }
  for (size_t j = whole; j < blocks_.size(); ++j) storedTotal_ -= blocks_[j].stored;
  int64_t cutAt = whole < blocks_.size() ? blocks_[whole].pos : DataEnd();
  blocks_.resize(whole);
  cachedIndex_ = SIZE_MAX;
  if (!blocks_.empty()) {
    // The new last block ends the chain where the removed blocks began.
    Block& b = blocks_.back();
    b.next = uint32_t(b.pos + kBlockHeaderSize + b.stored);
    cutAt = std::max<int64_t>(cutAt, b.next);
    WriteBlockHeader(b);
    if (rest > 0) {
      // Keep the gap-free invariant for the block that becomes last after this one.
      cutAt = b.next;
    }
  }
  underlying_->SetSize(cutAt);
  size_ = int64_t(whole) * blockSize_;
  if (rest > 0) {
    StoreBlock(whole, tail, true);
    size_ = newSize;
  }
  WriteHeader();
  underlying_->SetSize(DataEnd());
  if (position_ > size_) position_ = size_;
}

}  // namespace quillmar
