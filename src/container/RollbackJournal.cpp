#include "container/RollbackJournal.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <random>
#include <set>

#include "base/LittleEndian.h"
#include "container/PageFileManager.h"
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

TRollbackJournal::~TRollbackJournal() = default;

void TRollbackJournal::OpenFile() {
  if (file_) return;
  // The container's exclusive lock is held: no one else uses this journal. A leftover file of that
  // name was examined under the lock; what is left of it is replaced. It is opened anew for each
  // transaction: another program may have removed it (and made another) since the last one.
  const bool existed = storage_.Exists(path_);
  file_ = storage_.Create(path_, TSFSLock::None);
  // Its name must be on the disk before any page it protects is written: synced when the file is new,
  // and once for a file made by another program (whose folder sync cannot be known).
  if (!existed) folderSynced_ = false;
}

bool TRollbackJournal::RemoveIfEmpty() {
  if (file_) return false;
  auto f = storage_.Open(path_, true, TSFSLock::None);
  if (f->Size() != 0) return false;
  f.reset();
  return storage_.Remove(path_);
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
  if (!folderSynced_) {
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
  file_.reset();
  end_ = 0;
}

// --- Reading and recovery ------------------------------------------------------------------------------

TJournalContents TRollbackJournal::Read(TSFSPartStorage& storage, const std::string& journalFile) {
  TJournalContents c;
  if (!storage.Exists(journalFile)) return c;
  std::vector<uint8_t> b;
  std::string why;
  if (!ReadAll(storage, journalFile, b, why)) {
    if (!storage.Exists(journalFile)) return c;  // removed meanwhile by the program that made it
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
  std::vector<TRecord> segment;  // the records since the last valid seal
  uint32_t segmentCrc = 0;
  std::string damage;       // the first sign of damage after the journal was written
  bool brokenSeal = false;  // a seal failed its check: a valid one after it is damage
  std::set<int32_t> intact;
  size_t pos = size_t(HeaderSize);
  while (pos + 4 <= n) {
    const uint32_t marker = GetLE<uint32_t>(b.data() + pos);
    if (marker == kSealMarker) {
      if (pos + size_t(SealSize) > n) break;
      const uint8_t* s = b.data() + pos;
      pos += size_t(SealSize);
      if (GetLE<uint32_t>(s + 20) != Crc(s, 20) || GetLE<uint32_t>(s + 4) != nonce) {
        // A seal never completed (torn by a crash before its sync), or damaged since.
        brokenSeal = true;
        c.BrokenSealHeaderCrcs.push_back(GetLE<uint32_t>(s + 12));
        continue;
      }
      const auto bad =
          std::find_if(segment.begin(), segment.end(), [](const TRecord& r) { return !r.valid; });
      if (damage.empty() && brokenSeal)
        damage = "a seal before segment " + std::to_string(c.Segments + 1) + " is damaged";
      if (damage.empty() && (GetLE<uint32_t>(s + 8) != segment.size() ||
                             GetLE<uint32_t>(s + 16) != segmentCrc || bad != segment.end()))
        damage = "segment " + std::to_string(c.Segments + 1) + " does not match its seal" +
                 (bad != segment.end() ? " (the record of page " + std::to_string(bad->page) + " is damaged)"
                                       : std::string());
      if (damage.empty()) {
        for (const TRecord& r : segment) c.Pages.emplace_back(r.page, r.offset);
        c.HeaderCrcs.push_back(GetLE<uint32_t>(s + 12));
      }
      ++c.Segments;
      segment.clear();
      segmentCrc = 0;
      continue;
    }
    if (pos + 8 + P > n) break;  // a record cut short: never completely written
    const auto page = int32_t(marker);
    const uint8_t* image = b.data() + pos + 4;
    const uint32_t stored = GetLE<uint32_t>(image + P);
    const bool valid = page >= 0 && RecordCrc(nonce, page, image, int32_t(P)) == stored;
    if (valid && intact.insert(page).second) c.IntactPages.emplace_back(page, int64_t(pos + 4));
    if (!valid) ++c.DamagedRecords;
    segment.push_back({page, int64_t(pos + 4), valid});
    uint8_t crc[4];
    PutLE<uint32_t>(crc, stored);
    segmentCrc = Crc(segmentCrc, crc, 4);
    pos += 8 + P;
  }
  if (!damage.empty()) {
    c.State = TJournalContents::TState::Damaged;
    c.Problem = damage;
    c.Pages.clear();
    return c;
  }
  c.UnsealedRecords = int32_t(segment.size());
  for (const TRecord& r : segment)
    if (r.valid) c.UnsealedPages.emplace_back(r.page, r.offset);
  c.State = c.Segments > 0 ? TJournalContents::TState::Hot : TJournalContents::TState::Unfinished;
  return c;
}

TJournalContents TRollbackJournal::Examine(TSFSPartStorage& storage, const std::string& journalFile,
                                           const std::string& containerFile) {
  TJournalContents c = Read(storage, journalFile);
  using TState = TJournalContents::TState;
  if ((c.State != TState::Hot && c.State != TState::Unfinished) || c.PageSize == 0) return c;
  TSFSHugeFile file(&storage);
  try {
    if (!file.Open(containerFile, true, TSFSLock::None)) return c;  // the open reports the chain
  } catch (const ESFSError&) {
    return c;
  }
  const std::string name = NameOnly(containerFile);
  auto damaged = [&](const std::string& problem) {
    c.State = TState::Damaged;
    c.Problem = problem;
    c.Pages.clear();
  };
  // A page of the container is written only after the seal over its record is on the disk: a page
  // that differs from its unsealed (but intact) record was written after a seal that is gone.
  if (!c.UnsealedPages.empty()) {
    auto journal = storage.Open(journalFile, true, TSFSLock::None);
    std::vector<uint8_t> image(size_t(c.PageSize)), page(size_t(c.PageSize));
    for (const auto& [number, offset] : c.UnsealedPages) {
      if (journal->ReadAt(offset, image.data(), c.PageSize) != c.PageSize) continue;
      std::fill(page.begin(), page.end(), 0);
      file.Seek(int64_t(number) * c.PageSize, TSeekOrigin::Begin);
      file.Read(page.data(), c.PageSize);
      if (page != image) {
        damaged("its last seal is missing, but page " + std::to_string(number) + " of " + name +
                ", which a record after the last seal covers, was written since");
        return c;
      }
    }
  }
  // The header is page 0, which has a record before it changes: a journal that was never sealed saw
  // no change of it.
  if (c.State == TState::Unfinished) {
    uint8_t header[kContainerHeaderSize] = {};
    file.Seek(0, TSeekOrigin::Begin);
    const int64_t got = file.Read(header, kContainerHeaderSize);
    if (got != kContainerHeaderSize || Crc(header, size_t(kContainerHeaderSize)) != c.StartHeaderCrc)
      damaged("it was never sealed, but the header of " + name +
              " is no longer the one it began with (its seal was lost after the change was written, or "
              "it belongs to another file)");
  }
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
      return "journal " + name + ": damaged (" + Problem +
             "); the interrupted change cannot be undone, so the Safe is not opened; a repair puts back "
             "the " +
             std::to_string(IntactPages.size()) + " page(s) whose old contents it still holds";
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
  if (!belongs && (got < kContainerHeaderSize || !TPageFileManager::IsValidHeader(header))) {
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

std::string TRollbackJournal::DamagedMessage(const std::string& containerFile, const std::string& journalFile,
                                             const std::string& problem) {
  return "TPageFileManager.Open - " + NameOnly(containerFile) +
         " was interrupted in the middle of a change, and its journal " + NameOnly(journalFile) +
         ", which undoes the change, is damaged (" + problem +
         "). Nothing was changed. Keep both files: the journal holds the old contents of the pages the "
         "change "
         "was writing. Repair the Safe to put back what the journal still holds.";
}

std::string TRollbackJournal::WriteAccessMessage(const std::string& containerFile,
                                                 const std::string& journalFile, const std::string& why) {
  return "TPageFileManager.Open - " + NameOnly(containerFile) +
         " was interrupted in the middle of a change, which must be undone from its journal " +
         NameOnly(journalFile) +
         " before it can be read; that needs write access to the file and its folder (" + why +
         "). Nothing was changed.";
}

std::string TRollbackJournal::Stamp(TSFSPartStorage& storage, const std::string& journalFile) {
  if (!storage.Exists(journalFile)) return "";
  try {
    auto f = storage.Open(journalFile, true, TSFSLock::None);
    const int64_t size = f->Size();
    std::string stamp = std::to_string(size) + ":";
    uint8_t head[HeaderSize] = {}, tail[SealSize] = {};
    f->ReadAt(0, head, std::min<int64_t>(size, HeaderSize));
    if (size > 0) f->ReadAt(std::max<int64_t>(0, size - SealSize), tail, std::min<int64_t>(size, SealSize));
    stamp.append(reinterpret_cast<const char*>(head), sizeof head);
    stamp.append(reinterpret_cast<const char*>(tail), sizeof tail);
    return stamp;
  } catch (const ESFSError&) {
    return "";
  }
}

void TRollbackJournal::Retire(TSFSPartStorage& storage, const std::string& journalFile, bool mattered) {
  // Should it not go, it is emptied instead (an empty journal undoes nothing).
  if (!storage.Remove(journalFile)) {
    try {
      auto j = storage.Open(journalFile, false, TSFSLock::None);
      if (!j->SetSize(0) || !j->Flush()) throw ESFSError("");
    } catch (const ESFSError&) {
      if (mattered)
        throw ESFSJournalError(
            "TPageFileManager.Open - The journal " + NameOnly(journalFile) +
            " was rolled back but cannot be removed; check the permissions of its folder.");
    }
  }
  storage.SyncFolder(journalFile);
}

std::string TRollbackJournal::SalvagedName(const std::string& journalFile) {
  return journalFile + ".salvaged";
}

TRollbackJournal::TSalvage TRollbackJournal::Salvage(TSFSPartStorage& storage,
                                                     const std::string& containerFile) {
  const std::string journalFile = FileName(containerFile);
  TSalvage result;
  const TJournalContents c = Read(storage, journalFile);
  if (c.State == TJournalContents::TState::Absent) return result;
  const std::string name = NameOnly(containerFile);
  if (c.PageSize == 0)
    throw ESFSJournalError(
        "TRollbackJournal.Salvage - The header of the journal " + NameOnly(journalFile) +
        " is damaged, so none of its records can be checked; nothing was changed. Move the "
        "journal away to open " +
        name + " as it is.");
  TSFSHugeFile file(&storage);
  if (!file.Open(containerFile, false, TSFSLock::None))
    throw ESFSError("File " + name + " has corrupted header.");
  uint8_t header[kContainerHeaderSize] = {};
  file.Seek(0, TSeekOrigin::Begin);
  const bool whole = file.Read(header, kContainerHeaderSize) == kContainerHeaderSize;
  const uint32_t crc = Crc(header, size_t(kContainerHeaderSize));
  auto named = [crc](const std::vector<uint32_t>& crcs) {
    return std::find(crcs.begin(), crcs.end(), crc) != crcs.end();
  };
  // The journal must be this file's: its header is one the journal knows (the one it began with, or
  // one a seal, valid or not, names), or no valid header at all (torn while it was written).
  const bool belongs = !whole || !TPageFileManager::IsValidHeader(header) || crc == c.StartHeaderCrc ||
                       named(c.HeaderCrcs) || named(c.BrokenSealHeaderCrcs);
  if (!belongs)
    throw ESFSJournalError("TRollbackJournal.Salvage - The journal " + NameOnly(journalFile) +
                           " does not belong to " + name +
                           " (the file was replaced after the change was interrupted); nothing was changed. "
                           "Move the journal away if " +
                           name + " is the file you want.");
  auto journal = storage.Open(journalFile, true, TSFSLock::None);
  std::vector<uint8_t> image(size_t(c.PageSize));
  for (const auto& [page, offset] : c.IntactPages) {
    if (journal->ReadAt(offset, image.data(), c.PageSize) != c.PageSize)
      throw ESFSError("TRollbackJournal.Salvage - The journal " + NameOnly(journalFile) + " cannot be read.");
    file.Seek(int64_t(page) * c.PageSize, TSeekOrigin::Begin);
    file.WriteBuffer(image.data(), c.PageSize);
    ++result.PagesRestored;
  }
  result.DamagedRecords = c.DamagedRecords;
  if (c.OriginalSize >= kContainerHeaderSize && c.OriginalSize < file.Size()) {
    file.SetSize(c.OriginalSize);
    result.SizeRestored = true;
  }
  if (!file.Flush())
    throw ESFSError("TRollbackJournal.Salvage - " + name + " could not be written to the disk.");
  file.Close();
  journal.reset();
  // Kept, not removed: it is what the repair worked from.
  result.Kept = SalvagedName(journalFile);
  if (!storage.Replace(journalFile, result.Kept) || !storage.SyncFolder(journalFile))
    throw ESFSError("TRollbackJournal.Salvage - The journal " + NameOnly(journalFile) +
                    " could not be put aside as " + NameOnly(result.Kept) +
                    "; check the permissions of its folder.");
  return result;
}

}  // namespace quillmar
