// TSingleFileSystem: file handles and the bytes of files (open, read, write, seek, size). The reading
// and writing of page runs, and their batching, live here too.
#include <algorithm>
#include <cstring>
#include <optional>
#include <thread>

#include "base/SecureWipe.h"
#include "base/WorkerThreads.h"
#include "container/PageFileManager.h"
#include "container/PageReadAhead.h"
#include "container/SFSError.h"
#include "container/SingleFileSystem.h"
#include "container/UserFilePageMapManager.h"

namespace quillmar {

namespace {

TSingleFileSystem::TPasswordDialog& DefaultDialog() {
  static TSingleFileSystem::TPasswordDialog dialog;
  return dialog;
}

// Pages read or written with one call.
constexpr size_t kRunPages = 128;
// Pages read and decrypted together; from kParallelPages on, two threads decrypt.
constexpr size_t kBatchPages = 512;
constexpr size_t kParallelPages = 64;
// Reading ahead: windows of this many pages, at most kAheadWindows queued (4 MiB of 2 KiB pages), for
// files with at least kAheadMinPages pages after a read. A read call ends by waiting for the helper's
// read of a window, if one runs (see FileRead): a window is read in microseconds.
constexpr int32_t kAheadWindowPages = 128;
constexpr size_t kAheadWindows = 16;
constexpr int64_t kAheadMinPages = 64;

// Length of the run of consecutive page numbers starting at pages[i], at most kRunPages.
size_t RunLength(const std::vector<int32_t>& pages, size_t i) {
  size_t len = 1;
  while (i + len < pages.size() && len < kRunPages && pages[i + len] == pages[i + len - 1] + 1) ++len;
  return len;
}

// --- Reading: one batch of pages at a time ---------------------------------------------------------------

// Where one page's bytes go: `chunk` bytes from `offset` in its payload to `at` in the caller's buffer.
struct TPlace {
  int64_t at, offset, chunk;
};

// Reads the stored images of pages[first, first + count) into images, one read per run of consecutive
// pages; the number of pages read in full before the first short read.
size_t ReadBatch(TPageFileManager& pfm, const std::vector<int32_t>& pages, size_t first, size_t count,
                 uint8_t* images) {
  const auto pageSize = size_t(pfm.PageSize());
  size_t readOk = 0;
  for (size_t i = 0; i < count;) {
    size_t len = std::min(RunLength(pages, first + i), count - i);
    int32_t got = pfm.ReadStoredPages(pages[first + i], int32_t(len), images + i * pageSize);
    readOk += size_t(got);
    if (size_t(got) < len) break;
    i += len;
  }
  return readOk;
}

// Fills places for the batch starting at page index `first` of the range, whose first page holds the
// range's bytes from `startOffset` on; `done` bytes of the n wanted are already out. The number of the
// batch's pages that hold wanted bytes.
size_t PlaceBatch(size_t first, size_t count, int64_t done, int64_t n, int64_t startOffset, int32_t D,
                  std::vector<TPlace>& places) {
  size_t pagesWanted = 0;
  int64_t at = done;
  for (size_t r = 0; r < count && at < n; ++r) {
    int64_t offset = first + r == 0 ? startOffset : 0;
    int64_t chunk = std::min<int64_t>(D - offset, n - at);
    places[r] = {at, offset, chunk};
    at += chunk;
    pagesWanted = r + 1;
  }
  return pagesWanted;
}

// Decodes the first `work` images with mainKey and copies each good page's bytes to its place in out;
// results gets each page's decode result (0 for good). From kParallelPages pages on, with an encrypting
// key and twoThreads, a second thread decodes the upper half with helperKey, a copy of mainKey made on
// first use (the cipher objects are not shared between threads).
void DecodeBatch(uint8_t* images, size_t work, int32_t pageSize, int32_t D, const TContainerKey& mainKey,
                 TContainerKey& helperKey, bool twoThreads, const std::vector<TPlace>& places, uint8_t* out,
                 std::vector<int32_t>& results) {
  auto decode = [&](const TContainerKey& k, size_t from, size_t to) {
    for (size_t r = from; r < to; ++r) {
      uint8_t* image = images + r * size_t(pageSize);
      results[r] = TPageFileManager::DecodeStoredImage(image, D, k);
      if (results[r] == 0)
        std::memcpy(out + places[r].at, image + TPageHeader::Size + places[r].offset,
                    size_t(places[r].chunk));
    }
  };
  if (twoThreads && work >= kParallelPages && !mainKey.Empty()) {
    if (helperKey.Empty()) helperKey = TContainerKey::FromBytes(mainKey.Bytes());
    size_t half = work / 2;
    std::thread helper(decode, std::cref(helperKey), half, work);
    decode(mainKey, 0, half);
    helper.join();
  } else {
    decode(mainKey, 0, work);
  }
}

// Adds to done the bytes of the batch's wanted pages up to the first one that failed (not read, or not
// decoded); false with that page's error in `error` when one failed.
bool CountBatch(size_t pagesWanted, size_t readOk, const std::vector<int32_t>& results,
                const std::vector<TPlace>& places, int64_t& done, int32_t& error) {
  for (size_t r = 0; r < pagesWanted; ++r) {
    if (r >= readOk) {
      error = TPageFileManager::ErrReadPageHeader;
      return false;
    }
    if (results[r] != 0) {
      error = results[r];
      return false;
    }
    done += places[r].chunk;
  }
  return true;
}

// --- Writing: runs of consecutive pages ------------------------------------------------------------------

// What every page of one write is made with.
struct TWriteContext {
  TPageFileManager& pfm;
  const TContainerKey* key;  // the file's own key, or null for the container's
  TPageHeader header;        // the data pages' header (type and encryption)
  int32_t D;                 // payload bytes per page
  int32_t pageSize;
  int64_t position;    // the file position of the write's first byte
  int64_t sizeBefore;  // the file's size before the write
};

// Fills the images of the run pages[i, i + len) with the bytes from in + done on (at most count - done
// of them): a page written only in part keeps its other bytes (read back) or, past the end of the file,
// gets zeros. payloads receives the filled images' addresses and runBytes the bytes placed. False with
// the page file's error when a page to keep could not be read; the pages before it stay filled.
bool FillRun(const TWriteContext& c, const std::vector<int32_t>& pages, size_t i, size_t len,
             const uint8_t* in, int64_t done, int64_t count, uint8_t* images, std::vector<uint8_t*>& payloads,
             int64_t& runBytes, int32_t& error) {
  const int64_t firstIndex = c.position / c.D;
  for (size_t r = 0; r < len && done + runBytes < count; ++r) {
    uint8_t* image = images + r * size_t(c.pageSize);
    const int64_t pageStart = (firstIndex + int64_t(i + r)) * c.D;
    int64_t offset = i + r == 0 ? c.position % c.D : 0;
    int64_t chunk = std::min<int64_t>(c.D - offset, count - done - runBytes);
    if (chunk < c.D) {
      if (pageStart < c.sizeBefore) {
        // A page partly overwritten keeps its other bytes.
        TPageHeader old;
        if (!c.pfm.ReadPage(pages[i + r], old, image + TPageHeader::Size, false, c.key)) {
          error = c.pfm.LastError();
          return false;
        }
      } else {
        // Past the end of the file: the rest of the page is zeros.
        std::memset(image + TPageHeader::Size, 0, size_t(c.D));
      }
    }
    std::memcpy(image + TPageHeader::Size + offset, in + done + runBytes, size_t(chunk));
    payloads.push_back(image);
    runBytes += chunk;
  }
  return true;
}

// Writes count bytes from in over pages, one write per run of consecutive pages, the run's pages
// encrypted together (independent page chains interleave, which is several times faster than one after
// the other). Returns the bytes written before the first failure; `failed` and `error` (the page file's
// code) say whether one happened. A run cut short by an unreadable page still writes its pages before it.
int64_t WriteRuns(const TWriteContext& c, const std::vector<int32_t>& pages, const uint8_t* in, int64_t count,
                  bool& failed, int32_t& error) {
  std::vector<uint8_t> images(size_t(std::min<size_t>(pages.size(), kRunPages)) * size_t(c.pageSize));
  std::vector<uint8_t*> payloads;
  int64_t done = 0;
  failed = false;
  for (size_t i = 0; i < pages.size() && done < count && !failed;) {
    size_t len = RunLength(pages, i);
    payloads.clear();
    int64_t runBytes = 0;
    if (!FillRun(c, pages, i, len, in, done, count, images.data(), payloads, runBytes, error)) failed = true;
    if (!payloads.empty()) {
      if (!c.pfm.EncodeStoredPages(payloads.data(), payloads.size(), c.header, c.key) ||
          !c.pfm.WriteStoredPages(pages[i], int32_t(payloads.size()), images.data())) {
        error = c.pfm.LastError();
        failed = true;
        break;
      }
      done += runBytes;
    }
    i += len;
  }
  SecureWipe(images.data(), images.size());
  return done;
}

}  // namespace

void TSingleFileSystem::SetDefaultPasswordDialog(TPasswordDialog dialog) {
  DefaultDialog() = std::move(dialog);
}

// --- Handles ---------------------------------------------------------------------------------------------

TSingleFileSystem::THandle* TSingleFileSystem::FindHandle(int32_t handle) {
  auto it = handles_.find(handle);
  return it == handles_.end() ? nullptr : &it->second;
}

const TSingleFileSystem::THandle* TSingleFileSystem::FindHandle(int32_t handle) const {
  auto it = handles_.find(handle);
  return it == handles_.end() ? nullptr : &it->second;
}

void TSingleFileSystem::NoSpace() {
  lastError_ = ErrNoSpace;
  if (OnNoSpace) OnNoSpace();
}

bool TSingleFileSystem::QueryPassword(int32_t item, std::string_view path, std::string& password) {
  std::string name(path);
  while (!dir_->CheckItemPassword(item, password)) {
    bool cancel = false;
    std::string answer;
    if (OnPasswordQuery) {
      OnPasswordQuery(name, answer, cancel);
    } else if (DefaultDialog()) {
      cancel = !DefaultDialog()("Password for \"" + name + "\"", "Enter password: ", answer);
    } else {
      cancel = true;
    }
    if (cancel) {
      WipeString(answer);
      return false;
    }
    WipeString(password);
    password = std::move(answer);
  }
  return true;
}

int32_t TSingleFileSystem::FileOpen(std::string_view path, uint32_t mode, std::string_view answer,
                                    std::string_view question, std::string_view password) {
  lastError_ = 0;
  std::string pw(password);
  TWipeOnExit wipe(pw);
  // Creating a file changes the container: one transaction, which the handle outlives. Opening one
  // reads it under the shared lock.
  std::optional<TSFSTransaction> change;
  std::optional<TSFSReadLock> read;
  if (mode == fmCreate)
    change.emplace(*this);
  else
    read.emplace(*this);

  if (mode == fmCreate) {
    if (dir_->Resolve(path) >= 0 && !DeleteFile(path)) {
      lastError_ = ErrCannotReplace;
      return ErrCannotReplace;
    }
    int32_t created = dir_->CreateFileItem(path, pw, answer, question);
    if (created < 0) {
      lastError_ = dir_->LastError();
      if (lastError_ == ErrNoSpace) {
        NoSpace();
        return ErrNoSpace;
      }
      return -1;
    }
  } else {
    int32_t k = dir_->Resolve(path);
    if (k >= 0) {
      const TDIRItem& it = dir_->ReadItem(k);
      if (!it.IsFolder && it.HasPassword && !dir_->CheckItemPassword(k, pw)) {
        if (!QueryPassword(k, path, pw)) return -1;
      }
    }
  }
  THandle h;
  h.mode = mode == fmCreate ? fmReadWrite : mode;
  h.item = dir_->OpenItem(path, pw, h.key);
  if (h.item < 0) {
    if (change) change->Commit();
    return -1;
  }
  if (change) change->Commit();
  int32_t number = nextHandle_++;
  handles_.emplace(number, std::move(h));
  return number;
}

void TSingleFileSystem::FileClose(int32_t handle) {
  auto it = handles_.find(handle);
  if (it == handles_.end()) return;
  dir_->CloseItem(it->second.item);
  handles_.erase(it);
  ResyncMaps();
}

int64_t TSingleFileSystem::FileSize(int32_t handle) const {
  const THandle* h = FindHandle(handle);
  if (!h) return ErrUnknownHandle;
  return dir_->ReadItem(h->item).FileSize;
}

std::string TSingleFileSystem::HandlePath(int32_t handle) const {
  const THandle* h = FindHandle(handle);
  return h ? dir_->FullPath(h->item) : std::string();
}
int64_t TSingleFileSystem::FileRead(int32_t handle, void* buffer, int64_t count) {
  TSFSReadLock read(*this);
  lastError_ = 0;
  THandle* h = FindHandle(handle);
  if (!h) {
    lastError_ = ErrUnknownHandle;
    return 0;
  }
  TDIRItem item = dir_->ReadItem(h->item);
  int64_t p = h->position;
  if (count <= 0 || p < 0 || p >= item.FileSize) return 0;
  int64_t n = std::min(count, item.FileSize - p);
  // Pages are decoded ahead while reads through a handle opened for reading follow one another with
  // nothing changed between them (a file read through; a file rewritten in place is opened for
  // writing, and its writes would void the pages read ahead), the file has enough left to be worth
  // it, and there is a second core.
  // Another program's change taken in by this call's lock counts as a change too: it may have moved
  // or rewritten the pages read ahead.
  const uint64_t stamp = changeCount_ + externalCount_;
  const int32_t D = pfm_->PageDataSize();
  const bool sequential = IsReadOnlyMode(h->mode) && p == h->readEnd && h->readStamp == stamp;
  const int64_t pagesAfter = maps_->PageCountFor(item.FileSize) - (p + n) / D;
  if (!sequential || WorkerThreadCount() < 2) {
    h->ahead.reset();
  } else if (!h->ahead && pagesAfter >= kAheadMinPages) {
    const TPageFileManager* pfm = pfm_.get();
    h->ahead = std::make_shared<TPageReadAhead>(pfm_->PageSize(),
                                                pfm_->EffectiveKey(h->key.Empty() ? nullptr : &h->key),
                                                [pfm](int64_t offset, void* to, int64_t bytes) {
                                                  return pfm->ReadStoredBytesConcurrently(offset, to, bytes);
                                                });
  }
  // The helper reads pages only during this call, under its shared lock, and only outside a
  // transaction (whose changed pages only the container's own reads see): nothing changes the
  // container meanwhile, and it has stopped reading when the lock goes.
  const bool helperReads = h->ahead && !pfm_->InTransaction();
  TPageReadAhead::TReadsAllowed reads(helperReads ? h->ahead : nullptr);
  // Queued first, so that the helper reads the pages after this call's while it copies.
  if (h->ahead) FillAhead(*h, item, p);
  auto* out = static_cast<uint8_t*>(buffer);
  bool failed = false;
  int64_t done = h->ahead ? ReadAhead(*h, p, n, out, failed) : 0;
  if (!failed && done < n) done += ReadNow(*h, item, p + done, n - done, out + done, failed);
  if (h->ahead) {
    if (failed)
      h->ahead->Clear();
    else
      FillAhead(*h, item, p + done);
  }
  h->position += done;
  h->readEnd = h->position;
  h->readStamp = stamp;
  return done;
}

int64_t TSingleFileSystem::ReadAhead(THandle& h, int64_t position, int64_t n, uint8_t* out, bool& failed) {
  const int32_t D = pfm_->PageDataSize();
  const int32_t pageSize = pfm_->PageSize();
  int64_t done = 0;
  while (done < n) {
    const int64_t index = (position + done) / D;
    const TPageReadAhead::TWindow* w = h.ahead->Find(index, changeCount_ + externalCount_);
    if (!w) break;
    int64_t offset = (position + done) % D;
    for (int64_t r = index - w->First; r < w->Pages && done < n; ++r) {
      if (w->Results[size_t(r)] != 0) {
        lastError_ = w->Results[size_t(r)];
        failed = true;
        return done;
      }
      const int64_t chunk = std::min<int64_t>(D - offset, n - done);
      std::memcpy(out + done, w->Payload(int32_t(r), pageSize) + offset, size_t(chunk));
      done += chunk;
      offset = 0;
    }
  }
  h.ahead->DropBefore((position + done) / D);
  return done;
}

void TSingleFileSystem::FillAhead(THandle& h, const TDIRItem& item, int64_t position) {
  const int32_t D = pfm_->PageDataSize();
  const int64_t pageCount = maps_->PageCountFor(item.FileSize);
  TPageReadAhead& ahead = *h.ahead;
  // Windows already queued stay (those before position go); new ones follow them, up to
  // kAheadWindows in all.
  ahead.DropBefore(position / D);
  int64_t next = ahead.Queued() > 0 ? ahead.End() : position / D;
  if (ahead.Queued() >= kAheadWindows || next >= pageCount) return;
  const std::vector<int32_t>* mapPages = nullptr;
  const std::vector<int32_t>* dataPages = nullptr;
  try {
    maps_->GetMaps(item, mapPages, dataPages);
  } catch (const ESFSError&) {
    return;  // the reads themselves report a damaged map
  }
  const int32_t total = pfm_->TotalPageCount();
  auto outside = [total](int32_t page) { return page < 1 || page >= total; };
  while (ahead.Queued() < kAheadWindows && next < pageCount && size_t(next) < dataPages->size()) {
    // A page number outside the container (a damaged map) ends the windows before it: the read that
    // reaches it reads it itself and reports it.
    const int64_t end = std::min<int64_t>(pageCount, int64_t(dataPages->size()));
    const auto first = dataPages->begin() + next;
    const auto last = first + std::min<int64_t>(kAheadWindowPages, end - next);
    const auto pages = int32_t(std::find_if(first, last, outside) - first);
    if (pages == 0) return;
    auto w = ahead.NewWindow(pages);
    w->First = next;
    w->Stamp = changeCount_ + externalCount_;
    if (pfm_->InTransaction()) {
      // Read here, through the transaction's view of the pages.
      try {
        w->ReadOk = int32_t(ReadBatch(*pfm_, *dataPages, size_t(next), size_t(pages), w->Images.data()));
      } catch (const EQuillmarError&) {
        // The device failed: the read that needs these pages reads them itself and reports. A
        // recycled buffer may still hold pages decoded earlier, so it is wiped before it goes.
        SecureWipe(w->Images.data(), w->Images.size());
        return;
      }
      ahead.Queue(std::move(w), true);
    } else {
      w->PageNos.assign(first, first + pages);  // read by the helper, or by Find
      ahead.Queue(std::move(w), false);
    }
    next += pages;
  }
}

int64_t TSingleFileSystem::ReadNow(const THandle& h, TDIRItem& item, int64_t p, int64_t n, uint8_t* out,
                                   bool& failed) {
  std::vector<int32_t> pages;
  maps_->GetPagesForRange(item, false, n, p, pages);
  if (pages.empty()) throw ESFSError("TSingleFileSystem.FileRead - no pages were found by UFM.");
  const int32_t D = pfm_->PageDataSize();
  const int32_t pageSize = pfm_->PageSize();
  const TContainerKey* key = h.key.Empty() ? nullptr : &h.key;
  // Pages are read in batches of up to kBatchPages: one read per run of consecutive pages, then the
  // batch is decrypted, by two threads when it is large.
  const size_t batchPages = std::min<size_t>(pages.size(), kBatchPages);
  // Not cleared first: every byte used is read from the disk before it is looked at, and the buffer
  // is wiped when done (clearing it too would go over each megabyte read once more).
  const size_t imageBytes = batchPages * size_t(pageSize);
  std::unique_ptr<uint8_t[]> images(new uint8_t[imageBytes]);
  std::vector<int32_t> results(batchPages);
  std::vector<TPlace> places(batchPages);
  const TContainerKey& mainKey = pfm_->EffectiveKey(key);
  TContainerKey helperKey;
  const bool twoThreads = WorkerThreadCount() >= 2;
  int64_t done = 0;
  for (size_t b = 0; b < pages.size() && done < n && !failed;) {
    const size_t inBatch = std::min(batchPages, pages.size() - b);
    const size_t readOk = ReadBatch(*pfm_, pages, b, inBatch, images.get());
    const size_t pagesWanted = PlaceBatch(b, inBatch, done, n, p % D, D, places);
    DecodeBatch(images.get(), std::min(readOk, pagesWanted), pageSize, D, mainKey, helperKey, twoThreads,
                places, out, results);
    failed = !CountBatch(pagesWanted, readOk, results, places, done, lastError_);
    b += inBatch;
  }
  SecureWipe(images.get(), imageBytes);
  return done;
}

void TSingleFileSystem::KeepPages(TDIRItem& item, int64_t pages) {
  // After a failed write, pages that belong to no byte of the file are given back so that the file's
  // map agrees with its size again.
  if (item.FirstMapPageNo == -1) return;
  try {
    const std::vector<int32_t>* m;
    const std::vector<int32_t>* d;
    maps_->GetMaps(item, m, d);
    const int64_t have = int64_t(d->size());
    if (have > pages) maps_->DeletePagesFromEOF(item, int32_t(have - pages));
  } catch (const EQuillmarError&) {
    // The device that refused the data may refuse the map pages too. The pages then stay in the
    // file's map past its size, which is consistent (they are used and referenced once) and is
    // tidied by the next size change or a rebuild; the free maps are written again by their next save.
  }
}

int64_t TSingleFileSystem::FileWrite(int32_t handle, const void* buffer, int64_t count) {
  TSFSTransaction change(*this);
  const THandle* before = FindHandle(handle);
  const int64_t position = before ? before->position : 0;
  const int64_t written = WriteAtHandle(handle, buffer, count);
  return CommitWrite(change, handle, position, written);
}

int64_t TSingleFileSystem::WriteAtHandle(int32_t handle, const void* buffer, int64_t count) {
  lastError_ = 0;
  THandle* h = FindHandle(handle);
  if (!h) {
    lastError_ = ErrUnknownHandle;
    return 0;
  }
  if (count <= 0) return 0;
  if (pfm_->ReadOnly() || IsReadOnlyMode(h->mode)) {
    lastError_ = ErrWritePageData;
    return 0;
  }
  TDIRItem item = dir_->ReadItem(h->item);
  const int64_t p = h->position;
  if (p < 0) return 0;
  const int32_t oldFirstMap = item.FirstMapPageNo;
  std::vector<int32_t> pages;
  if (!AllocateWritePages(item, p, count, pages)) return 0;
  TWriteContext context{
      *pfm_,        h->key.Empty() ? nullptr : &h->key, {}, pfm_->PageDataSize(), pfm_->PageSize(), p,
      item.FileSize};
  context.header.PageType = ptFileData;
  context.header.EncryptionType = h->key.Empty() ? pfm_->EncryptionType() : etRijndael;
  context.header.ChecksumType = 0;
  bool failed = false;
  int64_t done = WriteRuns(context, pages, static_cast<const uint8_t*>(buffer), count, failed, lastError_);
  done = SaveWrittenItem(*h, item, p, done, failed, oldFirstMap);
  h->position += done;
  return done;
}

bool TSingleFileSystem::AllocateWritePages(TDIRItem& item, int64_t position, int64_t count,
                                           std::vector<int32_t>& pages) {
  bool got;
  try {
    got = maps_->GetPagesForRange(item, true, count, position, pages, false);
  } catch (const EQuillmarError&) {
    // A map page could not be written (the device is full or failing): nothing was allocated.
    lastError_ = pfm_->LastError() != 0 ? pfm_->LastError() : ErrWritePageData;
    return false;
  }
  if (!got) {
    lastError_ = maps_->LastError();
    if (lastError_ == ErrNoSpace) NoSpace();
    return false;
  }
  return true;
}

int64_t TSingleFileSystem::SaveWrittenItem(const THandle& h, TDIRItem& item, int64_t position, int64_t done,
                                           bool failed, int32_t oldFirstMap) {
  const int64_t oldSize = item.FileSize;
  item.FileSize = std::max(item.FileSize, position + done);
  if (failed) KeepPages(item, maps_->PageCountFor(item.FileSize));
  item.LastWriteTime = TDIRManager::NowFileTime();
  try {
    dir_->WriteItem(h.item, item);
  } catch (const EQuillmarError&) {
    // The directory item keeps its old size, so only the bytes written inside that size belong to
    // the file; the pages past it stay in the file's map, unused, until its next size change.
    if (lastError_ == 0) lastError_ = ErrWritePageData;
    done = std::clamp<int64_t>(oldSize - position, 0, done);
    // The file had no pages before this write and the item that would name its new map chain is
    // not saved: give the whole chain back.
    if (oldFirstMap == -1) KeepPages(item, 0);
  }
  return done;
}

int64_t TSingleFileSystem::CommitWrite(TSFSTransaction& change, int32_t handle, int64_t position,
                                       int64_t written) {
  try {
    change.Commit();
  } catch (const ESFSError&) {
    // The change could not be made durable and was undone: none of it was written (a full or failing
    // device, reported like a short write).
    if (THandle* h = FindHandle(handle)) h->position = position;
    if (lastError_ == 0) lastError_ = ErrWritePageData;
    return 0;
  }
  return written;
}

int64_t TSingleFileSystem::FileSeek(int32_t handle, TSeekOrigin origin, int64_t offset) {
  THandle* h = FindHandle(handle);
  if (!h) {
    lastError_ = ErrUnknownHandle;
    return ErrUnknownHandle;
  }
  int64_t base = 0;
  if (origin == TSeekOrigin::Current)
    base = h->position;
  else if (origin == TSeekOrigin::End)
    base = dir_->ReadItem(h->item).FileSize;
  h->position = base + offset;
  return h->position;
}

int64_t TSingleFileSystem::FileSetSize(int32_t handle, int64_t size) {
  return Change([&]() -> int64_t {
    lastError_ = 0;
    THandle* h = FindHandle(handle);
    if (!h) {
      lastError_ = ErrUnknownHandle;
      return ErrUnknownHandle;
    }
    if (pfm_->ReadOnly() || IsReadOnlyMode(h->mode)) {
      lastError_ = TPageFileManager::ErrWritePageData;
      return lastError_;
    }
    if (size < 0) size = 0;
    TDIRItem item = dir_->ReadItem(h->item);
    const int64_t oldSize = item.FileSize;
    if (!maps_->SetFileSize(item, true, size)) {
      NoSpace();
      return ErrNoSpace;
    }
    const int32_t D = pfm_->PageDataSize();
    if (size < oldSize && size % D != 0) {
      // The bytes cut off in the new last page are zeroed, so that growing the file again (by a size
      // change or a write past the end) shows zeros there, not the old contents.
      std::vector<int32_t> last;
      maps_->GetPagesForRange(item, false, 1, size, last);
      const TContainerKey* key = h->key.Empty() ? nullptr : &h->key;
      TPage page = pfm_->NewPage();
      if (!last.empty() && pfm_->ReadPage(last[0], page, false, key)) {
        std::fill(page.Data.begin() + size % D, page.Data.end(), uint8_t(0));
        page.Header = TPageHeader{};
        page.Header.PageType = ptFileData;
        page.Header.EncryptionType = h->key.Empty() ? pfm_->EncryptionType() : etRijndael;
        if (!pfm_->WritePage(last[0], page, key)) lastError_ = pfm_->LastError();
      }
      SecureWipe(page.Data.data(), page.Data.size());
    }
    item.LastWriteTime = TDIRManager::NowFileTime();
    dir_->WriteItem(h->item, item);
    h->position = size;
    return size;
  });
}
}  // namespace quillmar
