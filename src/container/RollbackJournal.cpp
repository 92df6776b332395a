#include "container/RollbackJournal.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <random>

#include "base/LittleEndian.h"
#include "container/Checksum.h"
#include "container/SFSHugeFile.h"

namespace quillmar {

namespace {

constexpr char kMagic[8] = {'Q', 'M', 'R', 'J', 'R', 'N', 'L', '1'};
constexpr uint32_t kSealMarker = 0xFFFFFFFFu;
constexpr int32_t kContainerHeaderSize = 256;
// Page sizes a journal header may name; anything else is damage.
constexpr int32_t kMinPageSize = 2048;
constexpr int32_t kMaxPageSize = 1 << 24;
// Journal bytes of one transaction kept in memory to put them back after a failed commit sync.
constexpr size_t kKeptBytes = size_t(64) << 20;

uint32_t Crc(uint32_t crc, const uint8_t* data, size_t length) {
  // zlib's crc32 takes lengths as uInt: large buffers go in pieces.
  while (length > 0) {
    const auto piece = static_cast<uInt>(std::min<size_t>(length, 1u << 30));
    crc = uint32_t(::crc32(crc, data, piece));
    data += piece;
    length -= piece;
  }
  return crc;
}
uint32_t Crc(const uint8_t* data, size_t length) {
  return Crc(0, data, length);
}

uint32_t RecordCrc(uint32_t nonce, int32_t pageNo, const uint8_t* image, int32_t pageSize) {
  uint8_t prefix[8];
  PutLE<uint32_t>(prefix, nonce);
  PutLE<uint32_t>(prefix + 4, uint32_t(pageNo));
  return Crc(Crc(prefix, 8), image, size_t(pageSize));
}

std::string NameOnly(const std::string& path) {
  return std::filesystem::path(path).filename().string();
}

// True when the 256 bytes are a container header whose own checksum holds.
bool IsValidContainerHeader(const uint8_t* h) {
  static const char kHeaderMagic[8] = {'A', 'A', 'S', 'F', 'S', 'S', 'G', 'N'};
  return std::memcmp(h, kHeaderMagic, 8) == 0 &&
         GetLE<uint32_t>(h + 8) == XorChecksum(h + 12, kContainerHeaderSize - 12);
}

// Reads the whole file; false when it cannot be read.
bool ReadAll(TSFSPartStorage& storage, const std::string& path, std::vector<uint8_t>& bytes,
             std::string& why) {
  try {
    auto f = storage.Open(path, true, TSFSLock::None);
    const int64_t size = f->Size();
    if (size < 0) {
      why = "its size cannot be read";
      return false;
    }
    bytes.resize(size_t(size));
    if (size > 0 && f->ReadAt(0, bytes.data(), size) != size) {
      why = "it cannot be read in full";
      return false;
    }
    return true;
  } catch (const ESFSError& e) {
    why = e.what();
    return false;
  }
}

}  // namespace

std::string TRollbackJournal::FileName(const std::string& containerFile) {
  return containerFile + "-journal";
}

TRollbackJournal::TRollbackJournal(TSFSPartStorage& storage, const std::string& containerFile,
                                   int32_t pageSize)
    : storage_(storage), container_(containerFile), path_(FileName(containerFile)), pageSize_(pageSize) {}

TRollbackJournal::~TRollbackJournal() {
  if (!file_) return;
  // An empty journal has nothing to undo and goes; one that still holds a transaction (a failed
  // rollback) stays for the next open to roll back.
  bool empty = false;
  try {
    empty = end_ == 0 && file_->Size() == 0;
  } catch (...) {
  }
  file_.reset();
  if (empty) {
    try {
      storage_.Remove(path_);
    } catch (...) {
    }
  }
}

void TRollbackJournal::OpenFile() {
  if (file_) return;
  // The container's exclusive lock is held: no one else uses this journal. A leftover file of that
  // name was dealt with when the container was opened; what is left of it is replaced.
  file_ = storage_.Create(path_, TSFSLock::None);
  created_ = true;
  folderSynced_ = false;
}

void TRollbackJournal::Begin(int64_t originalSize, uint32_t startHeaderCrc) {
  static std::random_device device;
  nonce_ = uint32_t(device());
  originalSize_ = originalSize;
  startHeaderCrc_ = startHeaderCrc;
  buffer_.clear();
  pending_ = 0;
  segmentCrc_ = 0;
  sealed_ = false;
  end_ = 0;
  written_.clear();
  writtenKept_ = true;
}

void TRollbackJournal::Add(int32_t pageNo, const uint8_t* image) {
  const size_t at = buffer_.size();
  buffer_.resize(at + 8 + size_t(pageSize_));
  uint8_t* r = buffer_.data() + at;
  PutLE<uint32_t>(r, uint32_t(pageNo));
  std::memcpy(r + 4, image, size_t(pageSize_));
  const uint32_t crc = RecordCrc(nonce_, pageNo, image, pageSize_);
  PutLE<uint32_t>(r + 4 + pageSize_, crc);
  uint8_t c[4];
  PutLE<uint32_t>(c, crc);
  segmentCrc_ = Crc(segmentCrc_, c, 4);
  ++pending_;
}

void TRollbackJournal::Seal(uint32_t headerAfterCrc) {
  OpenFile();
  const std::string name = NameOnly(path_);
  // First the records (after the header, when the journal is still empty), on the disk.
  std::vector<uint8_t> out;
  out.reserve(size_t(HeaderSize) + buffer_.size());
  if (end_ == 0) {
    uint8_t h[HeaderSize] = {};
    std::memcpy(h, kMagic, 8);
    PutLE<uint32_t>(h + 8, uint32_t(pageSize_));
    PutLE<uint32_t>(h + 12, nonce_);
    PutLE<int64_t>(h + 16, originalSize_);
    PutLE<uint32_t>(h + 24, startHeaderCrc_);
    PutLE<uint32_t>(h + 60, Crc(h, 60));
    out.insert(out.end(), h, h + HeaderSize);
  }
  out.insert(out.end(), buffer_.begin(), buffer_.end());
  if (!out.empty()) {
    WriteOut(out);
    if (!file_->Flush())
      throw ESFSError("TRollbackJournal.Seal - The journal " + name + " could not be written to the disk.");
  }
  if (created_ && !folderSynced_) {
    if (!storage_.SyncFolder(path_))
      throw ESFSError("TRollbackJournal.Seal - The folder of the journal " + name +
                      " could not be written to the disk.");
    folderSynced_ = true;
  }
  // Then the seal, in a write and a sync of its own: a block holding the seal can only reach the disk
  // after every block of the records it vouches for is there.
  uint8_t s[SealSize] = {};
  PutLE<uint32_t>(s, kSealMarker);
  PutLE<uint32_t>(s + 4, nonce_);
  PutLE<uint32_t>(s + 8, uint32_t(pending_));
  PutLE<uint32_t>(s + 12, headerAfterCrc);
  PutLE<uint32_t>(s + 16, segmentCrc_);
  PutLE<uint32_t>(s + 20, Crc(s, 20));
  WriteOut(std::vector<uint8_t>(s, s + SealSize));
  if (!file_->Flush())
    throw ESFSError("TRollbackJournal.Seal - The journal " + name + " could not be written to the disk.");
  buffer_.clear();
  pending_ = 0;
  segmentCrc_ = 0;
  sealed_ = true;
}

void TRollbackJournal::WriteOut(const std::vector<uint8_t>& bytes) {
  if (file_->WriteAt(end_, bytes.data(), int64_t(bytes.size())) != int64_t(bytes.size()))
    throw ESFSError("TRollbackJournal.Seal - The journal " + NameOnly(path_) +
                    " could not be written; check the free space on its drive.");
  end_ += int64_t(bytes.size());
  if (writtenKept_ && written_.size() + bytes.size() <= kKeptBytes) {
    written_.insert(written_.end(), bytes.begin(), bytes.end());
  } else {
    writtenKept_ = false;
    written_.clear();
  }
}

void TRollbackJournal::Clear() {
  if (!file_ || end_ == 0) return;
  const std::string failed =
      "TRollbackJournal.Clear - The journal " + NameOnly(path_) + " could not be emptied on the disk.";
  if (!file_->SetSize(0)) throw ESFSError(failed);
  if (!file_->Flush()) {
    // Emptied, but not known to be on the disk: the journal is put back, so that the caller can still
    // roll the transaction back (a change must not stand after its failure was reported).
    if (writtenKept_ &&
        file_->WriteAt(0, written_.data(), int64_t(written_.size())) == int64_t(written_.size()) &&
        file_->Flush())
      throw ESFSError(failed);
    end_ = 0;
    throw ESFSError(failed + " The change may have been made.");
  }
  end_ = 0;
  written_.clear();
}

void TRollbackJournal::End() {
  buffer_.clear();
  pending_ = 0;
  segmentCrc_ = 0;
  sealed_ = false;
}

// --- Reading and recovery ------------------------------------------------------------------------------

TJournalContents TRollbackJournal::Read(TSFSPartStorage& storage, const std::string& journalFile) {
  TJournalContents c;
  if (!storage.Exists(journalFile)) return c;
  std::vector<uint8_t> b;
  std::string why;
  if (!ReadAll(storage, journalFile, b, why)) {
    c.State = TJournalContents::TState::Damaged;
    c.Problem = "it cannot be read: " + why;
    return c;
  }
  c.FileSize = int64_t(b.size());
  const size_t n = b.size();
  const bool magic = n >= 8 && std::memcmp(b.data(), kMagic, 8) == 0;
  const bool headerValid =
      n >= size_t(HeaderSize) && magic && GetLE<uint32_t>(b.data() + 60) == Crc(b.data(), 60) &&
      int32_t(GetLE<uint32_t>(b.data() + 8)) >= kMinPageSize &&
      int32_t(GetLE<uint32_t>(b.data() + 8)) <= kMaxPageSize && GetLE<int64_t>(b.data() + 16) >= 0;
  if (!headerValid) {
    // Never completely written, unless a seal shows that it was (then the header was damaged later).
    for (size_t o = 0; o + size_t(SealSize) <= n; ++o) {
      if (GetLE<uint32_t>(b.data() + o) == kSealMarker &&
          GetLE<uint32_t>(b.data() + o + 20) == Crc(b.data() + o, 20)) {
        c.State = TJournalContents::TState::Damaged;
        c.Problem = "its header is damaged, but it holds sealed records";
        return c;
      }
    }
    c.State = magic ? TJournalContents::TState::Unfinished : TJournalContents::TState::Empty;
    return c;
  }
  c.PageSize = int32_t(GetLE<uint32_t>(b.data() + 8));
  const uint32_t nonce = GetLE<uint32_t>(b.data() + 12);
  c.OriginalSize = GetLE<int64_t>(b.data() + 16);
  c.StartHeaderCrc = GetLE<uint32_t>(b.data() + 24);
  const size_t P = size_t(c.PageSize);

  struct TRecord {
    int32_t page;
    int64_t offset;
    bool valid;
  };
  std::vector<TRecord> segment;
  uint32_t segmentCrc = 0;
  size_t pos = size_t(HeaderSize);
  while (pos + 4 <= n) {
    const uint32_t marker = GetLE<uint32_t>(b.data() + pos);
    if (marker == kSealMarker) {
      if (pos + size_t(SealSize) > n) break;
      const uint8_t* s = b.data() + pos;
      if (GetLE<uint32_t>(s + 20) != Crc(s, 20) || GetLE<uint32_t>(s + 4) != nonce)
        break;  // a seal never completed
      const auto bad =
          std::find_if(segment.begin(), segment.end(), [](const TRecord& r) { return !r.valid; });
      if (GetLE<uint32_t>(s + 8) != segment.size() || GetLE<uint32_t>(s + 16) != segmentCrc ||
          bad != segment.end()) {
        c.State = TJournalContents::TState::Damaged;
        c.Problem =
            "segment " + std::to_string(c.Segments + 1) + " does not match its seal" +
            (bad != segment.end() ? " (the record of page " + std::to_string(bad->page) + " is damaged)"
                                  : std::string());
        c.Pages.clear();
        return c;
      }
      for (const TRecord& r : segment) c.Pages.emplace_back(r.page, r.offset);
      c.HeaderCrcs.push_back(GetLE<uint32_t>(s + 12));
      ++c.Segments;
      segment.clear();
      segmentCrc = 0;
      pos += size_t(SealSize);
      continue;
    }
    if (pos + 8 + P > n) break;  // a record cut short: never completely written
    const auto page = int32_t(marker);
    const uint8_t* image = b.data() + pos + 4;
    const uint32_t stored = GetLE<uint32_t>(image + P);
    segment.push_back(
        {page, int64_t(pos + 4), page >= 0 && RecordCrc(nonce, page, image, int32_t(P)) == stored});
    uint8_t crc[4];
    PutLE<uint32_t>(crc, stored);
    segmentCrc = Crc(segmentCrc, crc, 4);
    pos += 8 + P;
  }
  c.UnsealedRecords = int32_t(segment.size());
  c.State = c.Segments > 0 ? TJournalContents::TState::Hot : TJournalContents::TState::Unfinished;
  return c;
}

std::string TJournalContents::Describe(const std::string& journalFile) const {
  const std::string name = NameOnly(journalFile);
  switch (State) {
    case TState::Absent:
      return "no journal";
    case TState::Empty:
      return "journal " + name +
             ": empty (left by a program that stopped after its last change was complete); it goes with the "
             "next change";
    case TState::Unfinished:
      return "journal " + name +
             ": never completely written (a program stopped before its change reached the file); it undoes "
             "nothing and goes with the next change";
    case TState::Hot:
      return "journal " + name + ": an interrupted change; it holds the old contents of " +
             std::to_string(Pages.size()) + " page(s) and the file's size before the change (" +
             std::to_string(OriginalSize) + " bytes), which opening the Safe puts back";
    case TState::Damaged:
      return "journal " + name + ": damaged (" + Problem + "); the interrupted change cannot be undone";
  }
  return "";
}

void TRollbackJournal::Apply(TSFSPartStorage& storage, const std::string& journalFile,
                             const TJournalContents& contents, TSFSHugeFile& container) {
  // Does the journal belong to this container? Its header is the one the transaction began with, one
  // a sealed segment leads to, or a header torn while page 0 was written (page 0 then has a record).
  uint8_t header[kContainerHeaderSize] = {};
  container.Seek(0, TSeekOrigin::Begin);
  const int64_t got = container.Read(header, kContainerHeaderSize);
  const uint32_t crc = Crc(header, size_t(kContainerHeaderSize));
  bool belongs =
      got == kContainerHeaderSize &&
      (crc == contents.StartHeaderCrc ||
       std::find(contents.HeaderCrcs.begin(), contents.HeaderCrcs.end(), crc) != contents.HeaderCrcs.end());
  if (!belongs && (got < kContainerHeaderSize || !IsValidContainerHeader(header))) {
    belongs = std::any_of(contents.Pages.begin(), contents.Pages.end(),
                          [](const std::pair<int32_t, int64_t>& p) { return p.first == 0; });
  }
  if (!belongs)
    throw ESFSJournalError("TPageFileManager.Open - The journal " + NameOnly(journalFile) +
                           " of an interrupted change does not belong to " + NameOnly(container.FileName()) +
                           " (the file was replaced after the change was interrupted). Nothing was changed; "
                           "move the journal away if " +
                           NameOnly(container.FileName()) + " is the file you want.");
  auto journal = storage.Open(journalFile, true, TSFSLock::None);
  std::vector<uint8_t> image(size_t(contents.PageSize));
  for (const auto& [page, offset] : contents.Pages) {
    if (journal->ReadAt(offset, image.data(), contents.PageSize) != contents.PageSize)
      throw ESFSError("TPageFileManager.Open - The journal " + NameOnly(journalFile) + " cannot be read.");
    container.Seek(int64_t(page) * contents.PageSize, TSeekOrigin::Begin);
    container.WriteBuffer(image.data(), contents.PageSize);
  }
  container.SetSize(contents.OriginalSize);
  if (!container.Flush())
    throw ESFSError("TPageFileManager.Open - " + NameOnly(container.FileName()) +
                    " could not be written to the disk while its interrupted change was undone.");
}

void TRollbackJournal::Recover(TSFSPartStorage& storage, const std::string& containerFile, bool writableOpen,
                               bool lockFree) {
  const std::string journalFile = FileName(containerFile);
  if (!storage.Exists(journalFile)) return;
  using TState = TJournalContents::TState;
  // A first look without the lock decides whether the lock is needed at all: reading does not write,
  // so a read-only open leaves an empty or unfinished journal to the next writer.
  const TJournalContents look = Read(storage, journalFile);
  if (look.State == TState::Absent) return;
  if (!writableOpen && (look.State == TState::Empty || look.State == TState::Unfinished)) return;

  // Everything else happens under the container's exclusive lock: a journal that another program
  // holds the container for is that program's live journal, not a leftover.
  TSFSHugeFile file(&storage);
  try {
    if (!file.Open(containerFile, false, TSFSLock::Exclusive)) return;  // the open reports the chain
  } catch (const ESFSInUse&) {
    if (lockFree) return;
    throw;
  } catch (const ESFSError& e) {
    if (look.State == TState::Empty || look.State == TState::Unfinished) return;
    throw ESFSJournalError(
        "TPageFileManager.Open - " + NameOnly(containerFile) +
        " was interrupted in the middle of a change, which must be undone from its journal " +
        NameOnly(journalFile) +
        " before it can be read; that needs write access to the file and its folder (" + e.what() +
        "). Nothing was changed.");
  }
  const TJournalContents c = Read(storage, journalFile);
  switch (c.State) {
    case TState::Absent:
      return;
    case TState::Damaged:
      throw ESFSJournalError("TPageFileManager.Open - " + NameOnly(containerFile) +
                             " was interrupted in the middle of a change, and its journal " +
                             NameOnly(journalFile) + ", which undoes the change, is damaged (" + c.Problem +
                             "). Nothing was changed. Keep both files: the journal holds the old contents "
                             "of the pages the change was writing.");
    case TState::Hot:
      Apply(storage, journalFile, c, file);
      break;
    case TState::Empty:
    case TState::Unfinished:
      break;
  }
  file.Close();
  // Rolled back and on the disk: the journal has done its work. Should it not go, it is emptied
  // instead (an empty journal undoes nothing).
  if (!storage.Remove(journalFile)) {
    try {
      auto j = storage.Open(journalFile, false, TSFSLock::None);
      if (!j->SetSize(0) || !j->Flush()) throw ESFSError("");
    } catch (const ESFSError&) {
      if (c.State == TState::Hot)
        throw ESFSJournalError(
            "TPageFileManager.Open - The journal " + NameOnly(journalFile) +
            " was rolled back but cannot be removed; check the permissions of its folder.");
    }
  }
  storage.SyncFolder(journalFile);
}

}  // namespace quillmar
