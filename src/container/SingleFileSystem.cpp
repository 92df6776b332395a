#include "container/SingleFileSystem.h"

#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <optional>
#include <thread>
#include <type_traits>

#include "base/DateTime.h"
#include "base/SecureWipe.h"
#include "container/FreeSpaceManager.h"
#include "container/IntegrityCheck.h"
#include "container/PageFileManager.h"
#include "container/RollbackJournal.h"
#include "container/SFSError.h"
#include "container/SFSFileStream.h"
#include "container/SFSHugeFile.h"
#include "container/UserFilePageMapManager.h"
#include "container/WildcardMatch.h"

namespace quillmar {

namespace {

TSingleFileSystem::TPasswordDialog& DefaultDialog() {
  static TSingleFileSystem::TPasswordDialog dialog;
  return dialog;
}

bool DiskFileExists(const std::string& name) {
  struct stat st;
  return ::stat(name.c_str(), &st) == 0;
}

// Pages read or written with one call.
constexpr size_t kRunPages = 128;
// Pages read and decrypted together; from kParallelPages on, two threads decrypt.
constexpr size_t kBatchPages = 512;
constexpr size_t kParallelPages = 64;

// Length of the run of consecutive page numbers starting at pages[i], at most kRunPages.
size_t RunLength(const std::vector<int32_t>& pages, size_t i) {
  size_t len = 1;
  while (i + len < pages.size() && len < kRunPages && pages[i + len] == pages[i + len - 1] + 1) ++len;
  return len;
}

}  // namespace

void TSingleFileSystem::SetDefaultPasswordDialog(TPasswordDialog dialog) {
  DefaultDialog() = std::move(dialog);
}

TSingleFileSystem::TSingleFileSystem(const std::string& fileName, int64_t partSize, int32_t extentSize,
                                     int32_t pageSize, uint8_t defaultCompression, std::string_view answer,
                                     std::string_view question, const TTextKey& key, bool inMemory,
                                     uint32_t mode, TSFSPartStorage* storage)
    : fileName_(fileName), storage_(storage), mode_(mode == fmCreate ? fmReadWriteExclusive : mode) {
  bool creating = mode == fmCreate;
  // The password is checked against the key record before any page is read. A missing file is left
  // to the page file manager, whose message says so.
  if (!creating && DiskFileExists(fileName) && IsContainerFile(fileName)) {
    ReadKeyDerivation(fileName);  // a derivation that cannot be followed is refused with its reason
    if (!CheckContainerPassword(fileName, key))
      throw ESFSError("TSingleFileSystem.Create - invalid password specified, file name = \"" + fileName +
                      "\"");
  }
  pfm_ = std::make_unique<TPageFileManager>(fileName, partSize, extentSize, pageSize, inMemory, answer,
                                            question, key, mode, storage);
  if (creating) {
    pfm_->SetCompressionMethod(defaultCompression);
    pfm_->SaveHeader();
  }
  if (pfm_->IsEncrypted()) key_ = key;
  OpenManagers();
  // Every container opened for writing is changed through its rollback journal.
  pfm_->SetJournaled(!pfm_->ReadOnly());
}

TSingleFileSystem::~TSingleFileSystem() {
  handles_.clear();
  try {
    // Access times of files read since the last change go with a last transaction of their own.
    if (pfm_ && dir_ && pfm_->Journaled() && txnDepth_ == 0 && dir_->HasUnsavedAccessTimes()) {
      TSFSTransaction change(*this);
      change.Commit();
    }
  } catch (...) {
  }
  try {
    if (fsm_) ResyncMaps();
  } catch (...) {
  }
  CloseManagers();
}

template <class F>
auto TSingleFileSystem::Change(F&& f) -> decltype(f()) {
  TSFSTransaction change(*this);
  if constexpr (std::is_void_v<decltype(f())>) {
    f();
    change.Commit();
  } else {
    auto result = f();
    change.Commit();
    return result;
  }
}

void TSingleFileSystem::ResyncMaps() {
  if (!pfm_->Journaled()) fsm_->Resync();
}

// --- Transactions --------------------------------------------------------------------------------------

void TSingleFileSystem::BeginTransaction() {
  if (txnDepth_++ > 0) return;
  txnDoomed_ = false;
  txnFirstHandle_ = nextHandle_;
  txnCurrentDir_ = dir_->CurrentDir();
  try {
    pfm_->BeginTransaction();
  } catch (...) {
    --txnDepth_;
    throw;
  }
}

void TSingleFileSystem::CommitTransaction() {
  if (txnDepth_ <= 0) return;
  if (--txnDepth_ > 0) return;
  if (txnDoomed_) {
    RollBackOutermost();
    throw ESFSError("TSingleFileSystem.Commit - A part of the change failed, so none of it was made.");
  }
  if (!pfm_->InTransaction()) return;
  try {
    dir_->FlushAccessTimes();
    pfm_->CommitTransaction();
  } catch (...) {
    RollBackOutermost();
    throw;
  }
}

void TSingleFileSystem::RollbackTransaction() {
  if (txnDepth_ <= 0) return;
  if (--txnDepth_ > 0) {
    txnDoomed_ = true;
    return;
  }
  RollBackOutermost();
}

void TSingleFileSystem::RollBackOutermost() {
  txnDoomed_ = false;
  if (!pfm_->InTransaction()) return;
  try {
    pfm_->RollbackTransaction();
    ReloadManagers();
  } catch (...) {
    // The page file refuses every further use; the next open rolls the journal back.
  }
}

void TSingleFileSystem::ReloadManagers() {
  maps_.reset();
  dir_.reset();
  fsm_.reset();
  fsm_ = std::make_unique<TFreeSpaceManager>(*pfm_);
  dir_ = std::make_unique<TDIRManager>(*pfm_, *fsm_);
  maps_ = std::make_unique<TUserFilePageMapManager>(*pfm_, *fsm_);
  for (auto it = handles_.begin(); it != handles_.end();) {
    if (it->first >= txnFirstHandle_) {
      it = handles_.erase(it);  // its file may not exist any more
    } else {
      dir_->RetainItem(it->second.item);
      ++it;
    }
  }
  if (!dir_->ChangeDir(txnCurrentDir_)) dir_->ChangeDir("\\");
}

void TSingleFileSystem::DisableJournal() {
  if (txnDepth_ > 0) throw ESFSError("TSingleFileSystem.DisableJournal - A change is in progress.");
  journalOff_ = true;
  pfm_->SetJournaled(false);
}

void TSingleFileSystem::OpenManagers() {
  fsm_ = std::make_unique<TFreeSpaceManager>(*pfm_);
  dir_ = std::make_unique<TDIRManager>(*pfm_, *fsm_);
  maps_ = std::make_unique<TUserFilePageMapManager>(*pfm_, *fsm_);
}

void TSingleFileSystem::CloseManagers() {
  maps_.reset();
  dir_.reset();
  fsm_.reset();
  pfm_.reset();
}

// --- Tests before opening ------------------------------------------------------------------------------

std::string TSingleFileSystem::JournalFileName(const std::string& fileName) {
  return TRollbackJournal::FileName(fileName);
}

std::string TSingleFileSystem::DescribeJournal(const std::string& fileName) {
  const std::string journal = JournalFileName(fileName);
  const TJournalContents contents = TRollbackJournal::Read(DiskPartStorage(), journal);
  if (contents.State == TJournalContents::TState::Absent) return "";
  return contents.Describe(journal);
}

bool TSingleFileSystem::IsContainerFile(const std::string& fileName) {
  try {
    TSFSHugeFile file;
    bool ok = file.Open(fileName, true, false);
    file.Close();
    return ok;
  } catch (const std::exception&) {
    return false;
  }
}

bool TSingleFileSystem::IsContainerEncrypted(const std::string& fileName) {
  try {
    TPageFileManager pfm(fileName, -1, 8, 2048, false, "", "", "", fmReadOnly);
    return pfm.IsEncrypted();
  } catch (const ESFSJournalError&) {
    throw;  // an interrupted change that cannot be undone is no answer about the file
  } catch (const std::exception&) {
    return false;
  }
}

bool TSingleFileSystem::CheckContainerPassword(const std::string& fileName, const TTextKey& key) {
  try {
    TPageFileManager pfm(fileName, -1, 8, 2048, false, "", "", key, fmReadOnly);
    return !pfm.IsEncrypted() || pfm.PasswordMatched();
  } catch (const ESFSJournalError&) {
    throw;  // not a wrong password
  } catch (const std::exception&) {
    return false;
  }
}

TKeyDerivation TSingleFileSystem::ReadKeyDerivation(const std::string& fileName) {
  TPageFileManager pfm(fileName, -1, 8, 2048, false, "", "", TTextKey(), fmReadOnly);
  return pfm.KeyDerivation();
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
  // Creating a file changes the container: one transaction, which the handle outlives.
  std::optional<TSFSTransaction> change;
  if (mode == fmCreate) change.emplace(*this);

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
  std::vector<int32_t> pages;
  maps_->GetPagesForRange(item, false, n, p, pages);
  if (pages.empty()) throw ESFSError("TSingleFileSystem.FileRead - no pages were found by UFM.");
  const int32_t D = pfm_->PageDataSize();
  const int32_t pageSize = pfm_->PageSize();
  const TContainerKey* key = h->key.Empty() ? nullptr : &h->key;
  // Pages are read in batches of up to kBatchPages: one read per run of consecutive pages, then the
  // batch is decrypted, by two threads when it is large (each thread with its own key object, as the
  // cipher objects are not shared between threads).
  const size_t batchPages = std::min<size_t>(pages.size(), kBatchPages);
  std::vector<uint8_t> images(batchPages * size_t(pageSize));
  std::vector<int32_t> results(batchPages);
  struct TPlace {
    int64_t at, offset, chunk;
  };
  std::vector<TPlace> places(batchPages);
  const TContainerKey& mainKey = pfm_->EffectiveKey(key);
  TContainerKey helperKey;
  auto* out = static_cast<uint8_t*>(buffer);
  int64_t done = 0;
  bool failed = false;
  for (size_t b = 0; b < pages.size() && done < n && !failed;) {
    // Read the batch.
    size_t inBatch = std::min(batchPages, pages.size() - b);
    size_t readOk = 0;
    for (size_t i = 0; i < inBatch;) {
      size_t len = std::min(RunLength(pages, b + i), inBatch - i);
      int32_t got = pfm_->ReadStoredPages(pages[b + i], int32_t(len), images.data() + i * size_t(pageSize));
      readOk += size_t(got);
      if (size_t(got) < len) break;
      i += len;
    }
    // Where each page's bytes go in the caller's buffer.
    size_t pagesWanted = 0;
    {
      int64_t at = done;
      for (size_t r = 0; r < inBatch && at < n; ++r) {
        int64_t offset = b + r == 0 ? p % D : 0;
        int64_t chunk = std::min<int64_t>(D - offset, n - at);
        places[r] = {at, offset, chunk};
        at += chunk;
        pagesWanted = r + 1;
      }
    }
    const size_t work = std::min(readOk, pagesWanted);
    // Decode and hand out; each thread copies the pages it decoded.
    auto decode = [&](const TContainerKey& k, size_t from, size_t to) {
      for (size_t r = from; r < to; ++r) {
        uint8_t* image = images.data() + r * size_t(pageSize);
        results[r] = TPageFileManager::DecodeStoredImage(image, D, k);
        if (results[r] == 0)
          std::memcpy(out + places[r].at, image + TPageHeader::Size + places[r].offset,
                      size_t(places[r].chunk));
      }
    };
    if (work >= kParallelPages && !mainKey.Empty()) {
      if (helperKey.Empty()) helperKey = TContainerKey::FromBytes(mainKey.Bytes());
      size_t half = work / 2;
      std::thread helper(decode, std::cref(helperKey), half, work);
      decode(mainKey, 0, half);
      helper.join();
    } else {
      decode(mainKey, 0, work);
    }
    // The bytes count up to the first page that failed.
    for (size_t r = 0; r < pagesWanted; ++r) {
      if (r >= readOk) {
        lastError_ = TPageFileManager::ErrReadPageHeader;
        failed = true;
        break;
      }
      if (results[r] != 0) {
        lastError_ = results[r];
        failed = true;
        break;
      }
      done += places[r].chunk;
    }
    b += inBatch;
  }
  SecureWipe(images.data(), images.size());
  h->position += done;
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
  const int64_t written = [&]() -> int64_t {
    lastError_ = 0;
    THandle* h = FindHandle(handle);
    if (!h) {
      lastError_ = ErrUnknownHandle;
      return 0;
    }
    if (count <= 0) return 0;
    if (pfm_->ReadOnly() || IsReadOnlyMode(h->mode)) {
      lastError_ = TPageFileManager::ErrWritePageData;
      return 0;
    }
    TDIRItem item = dir_->ReadItem(h->item);
    int64_t p = h->position;
    if (p < 0) return 0;
    const int32_t oldFirstMap = item.FirstMapPageNo;
    std::vector<int32_t> pages;
    bool got;
    try {
      got = maps_->GetPagesForRange(item, true, count, p, pages, false);
    } catch (const EQuillmarError&) {
      // A map page could not be written (the device is full or failing): nothing was allocated.
      lastError_ = pfm_->LastError() != 0 ? pfm_->LastError() : TPageFileManager::ErrWritePageData;
      return 0;
    }
    if (!got) {
      lastError_ = maps_->LastError();
      if (lastError_ == ErrNoSpace) NoSpace();
      return 0;
    }
    const int32_t D = pfm_->PageDataSize();
    const int32_t pageSize = pfm_->PageSize();
    const TContainerKey* key = h->key.Empty() ? nullptr : &h->key;
    TPageHeader header;
    header.PageType = ptFileData;
    header.EncryptionType = h->key.Empty() ? pfm_->EncryptionType() : etRijndael;
    header.ChecksumType = 0;
    const int64_t sizeBefore = item.FileSize;
    // Consecutive pages are written in runs: one write per run, the run's pages encrypted together
    // (independent page chains interleave, which is several times faster than one after the other).
    std::vector<uint8_t> images(size_t(std::min<size_t>(pages.size(), kRunPages)) * size_t(pageSize));
    std::vector<uint8_t*> payloads;
    const auto* in = static_cast<const uint8_t*>(buffer);
    int64_t done = 0;
    bool failed = false;
    const int64_t firstIndex = p / D;
    for (size_t i = 0; i < pages.size() && done < count && !failed;) {
      size_t len = RunLength(pages, i);
      payloads.clear();
      int64_t runBytes = 0;
      for (size_t r = 0; r < len && done + runBytes < count; ++r) {
        uint8_t* image = images.data() + r * size_t(pageSize);
        const int64_t pageStart = (firstIndex + int64_t(i + r)) * D;
        int64_t offset = i + r == 0 ? p % D : 0;
        int64_t chunk = std::min<int64_t>(D - offset, count - done - runBytes);
        if (chunk < D) {
          if (pageStart < sizeBefore) {
            // A page partly overwritten keeps its other bytes.
            TPageHeader old;
            if (!pfm_->ReadPage(pages[i + r], old, image + TPageHeader::Size, false, key)) {
              lastError_ = pfm_->LastError();
              failed = true;
              break;
            }
          } else {
            // Past the end of the file: the rest of the page is zeros.
            std::memset(image + TPageHeader::Size, 0, size_t(D));
          }
        }
        std::memcpy(image + TPageHeader::Size + offset, in + done + runBytes, size_t(chunk));
        payloads.push_back(image);
        runBytes += chunk;
      }
      if (!payloads.empty()) {
        if (!pfm_->EncodeStoredPages(payloads.data(), payloads.size(), header, key) ||
            !pfm_->WriteStoredPages(pages[i], int32_t(payloads.size()), images.data())) {
          lastError_ = pfm_->LastError();
          failed = true;
          break;
        }
        done += runBytes;
      }
      i += len;
    }
    SecureWipe(images.data(), images.size());
    const int64_t oldSize = item.FileSize;
    item.FileSize = std::max(item.FileSize, p + done);
    if (failed) KeepPages(item, maps_->PageCountFor(item.FileSize));
    item.LastWriteTime = TDIRManager::NowFileTime();
    try {
      dir_->WriteItem(h->item, item);
    } catch (const EQuillmarError&) {
      // The directory item keeps its old size, so only the bytes written inside that size belong to
      // the file; the pages past it stay in the file's map, unused, until its next size change.
      if (lastError_ == 0) lastError_ = TPageFileManager::ErrWritePageData;
      done = std::clamp<int64_t>(oldSize - p, 0, done);
      // The file had no pages before this write and the item that would name its new map chain is
      // not saved: give the whole chain back.
      if (oldFirstMap == -1) KeepPages(item, 0);
    }
    h->position += done;
    return done;
  }();
  try {
    change.Commit();
  } catch (const ESFSError&) {
    // The change could not be made durable and was undone: none of it was written (a full or failing
    // device, reported like a short write).
    if (THandle* h = FindHandle(handle)) h->position = position;
    if (lastError_ == 0) lastError_ = TPageFileManager::ErrWritePageData;
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

// --- Items by path -------------------------------------------------------------------------------------

bool TSingleFileSystem::FileExists(std::string_view path) const {
  return dir_->Resolve(path) >= 0;
}

bool TSingleFileSystem::DeleteFile(std::string_view path) {
  return Change([&]() -> bool {
    int32_t k = dir_->Resolve(path);
    if (k < 0 || dir_->OpenCount(k) > 0) return false;
    TDIRItem item = dir_->ReadItem(k);
    if (item.IsFolder) {
      // A folder that still holds items would leave them without a parent.
      TSearchRec rec;
      std::string mask = dir_->FullPath(k) + "\\*.*";
      bool hasChildren = dir_->FindFirst(mask, faAnyFile, rec) == 0;
      dir_->FindClose(rec);
      if (hasChildren) return false;
    }
    if (item.FirstMapPageNo != -1) maps_->SetFileSize(item, false, 0);
    item.FileSize = 0;
    item.FirstMapPageNo = -1;
    item.Deleted = true;
    item.LastWriteTime = item.LastAccessTime = TDIRManager::NowFileTime();
    dir_->WriteItem(k, item);
    return true;
  });
}

bool TSingleFileSystem::RenameFile(std::string_view oldPath, std::string_view newPath) {
  return Change([&]() -> bool { return dir_->Rename(oldPath, newPath); });
}

uint32_t TSingleFileSystem::FileGetAttr(std::string_view path) const {
  int32_t k = dir_->Resolve(path);
  return k < 0 ? 0 : dir_->ReadItem(k).Attributes;
}

int32_t TSingleFileSystem::FileSetAttr(std::string_view path, uint32_t attributes) {
  return Change([&]() -> int32_t {
    int32_t k = dir_->Resolve(path);
    if (k < 0) return -1;
    TDIRItem item = dir_->ReadItem(k);
    // The folder bit follows what the item is; it cannot be switched by setting attributes.
    item.Attributes = (attributes & ~faDirectory) | (item.IsFolder ? faDirectory : 0);
    dir_->WriteItem(k, item);
    return 0;
  });
}

int64_t TSingleFileSystem::FileAge(std::string_view path) const {
  int32_t k = dir_->Resolve(path);
  if (k < 0) return -1;
  return int64_t(FileTimeToDosDateTime(dir_->ReadItem(k).LastWriteTime));
}

bool TSingleFileSystem::GetKeyRecord(std::string_view path, TKeyRecord& record) const {
  int32_t k = dir_->Resolve(path);
  if (k < 0) return false;
  record = dir_->GetKeyRecord(k);
  return true;
}

bool TSingleFileSystem::SetKeyRecord(std::string_view path, const TKeyRecord& record) {
  return Change([&]() -> bool {
    int32_t k = dir_->Resolve(path);
    if (k < 0) return false;
    dir_->SetKeyRecord(k, record);
    return true;
  });
}

// --- Folders and searches ----------------------------------------------------------------------------

int TSingleFileSystem::FindFirst(std::string_view maskPath, uint32_t attributes, TSearchRec& rec) {
  return dir_->FindFirst(maskPath, attributes, rec);
}
int TSingleFileSystem::FindNext(TSearchRec& rec) {
  return dir_->FindNext(rec);
}
void TSingleFileSystem::FindClose(TSearchRec& rec) {
  dir_->FindClose(rec);
}
std::string TSingleFileSystem::GetCurrentDir() const {
  return dir_->CurrentDir();
}
bool TSingleFileSystem::ChangeDir(std::string_view path) {
  return dir_->ChangeDir(path);
}
bool TSingleFileSystem::RemoveDir(std::string_view path) {
  return Change([&]() -> bool { return dir_->RemoveDir(path); });
}

bool TSingleFileSystem::ForceDirectories(std::string_view path) {
  return Change([&]() -> bool {
    lastError_ = 0;
    bool ok = dir_->ForceDirectories(path);
    if (!ok) {
      lastError_ = dir_->LastError();
      if (lastError_ == ErrNoSpace) NoSpace();
    }
    return ok;
  });
}

bool TSingleFileSystem::DirectoryExists(std::string_view path) const {
  return dir_->DirectoryExists(path);
}

bool TSingleFileSystem::IsDirEmpty(std::string_view path) {
  std::string remembered = dir_->CurrentDir();
  bool empty = true;
  if (dir_->ChangeDir(path)) {
    TSearchRec rec;
    empty = dir_->FindFirst("*.*", faAnyFile, rec) != 0;
    dir_->FindClose(rec);
  }
  dir_->ChangeDir(remembered);
  return empty;
}

int32_t TSingleFileSystem::DeleteDirectory(std::string_view path) {
  return Change([&]() -> int32_t {
    if (!dir_->DirectoryExists(path)) return 0;
    if (IsDirEmpty(path)) {
      dir_->RemoveDir(path);
      return 0;
    }
    std::string remembered = dir_->CurrentDir();
    std::string folder(path);
    while (!folder.empty() && (folder.back() == '\\' || folder.back() == '/')) folder.pop_back();
    int32_t count = DeleteFiles(folder + "\\*.*", faAnyFile, true);
    dir_->RemoveDir(folder);
    if (!dir_->ChangeDir(remembered)) dir_->ChangeDir("\\");
    return count;
  });
}

namespace {

// Splits "a\b\mask" into the folder ("a\b", "" for the current one, "\" for the root) and the mask.
void SplitMask(std::string_view maskPath, std::string& folder, std::string& mask) {
  std::string path(maskPath);
  while (path.size() > 1 && (path.back() == '\\' || path.back() == '/')) path.pop_back();
  size_t cut = path.find_last_of("\\/");
  if (cut == std::string::npos) {
    folder.clear();
    mask = path;
  } else {
    folder = path.substr(0, cut == 0 ? 1 : cut);
    mask = path.substr(cut + 1);
  }
  if (mask.empty()) mask = "*.*";
}

std::string JoinContainerPath(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  if (folder.back() == '\\' || folder.back() == '/') return folder + name;
  return folder + "\\" + name;
}

// True for a name that can only ever denote a file inside the folder it is written to.
bool IsSafeDiskName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
         name.find('\0') == std::string::npos;
}

// The name with control bytes shown as \xNN, for messages.
std::string Printable(const std::string& name) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : name) {
    if (c < 0x20 || c == 0x7F) {
      out += "\\x";
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else {
      out += char(c);
    }
  }
  return out;
}

}  // namespace

int32_t TSingleFileSystem::DeleteFiles(std::string_view maskPath, uint32_t attributes, bool recursive) {
  return Change([&]() -> int32_t {
    std::string folder, mask;
    SplitMask(maskPath, folder, mask);
    // Names are collected first: deleting while a search is open would move items under it.
    std::vector<std::pair<std::string, bool>> found;
    TSearchRec rec;
    for (int r = dir_->FindFirst(JoinContainerPath(folder, "*.*"), attributes | faDirectory, rec); r == 0;
         r = dir_->FindNext(rec)) {
      // A stored "." or ".." (a damaged container) would resolve to another folder: never delete by it.
      if (rec.Name == "." || rec.Name == "..") continue;
      bool isFolder = (rec.Attr & faDirectory) != 0;
      if (isFolder || MatchesWildcard(mask, rec.Name)) found.emplace_back(rec.Name, isFolder);
    }
    dir_->FindClose(rec);
    int32_t count = 0;
    for (const auto& [name, isFolder] : found) {
      std::string path = JoinContainerPath(folder, name);
      if (isFolder) {
        if (!recursive || !MatchesWildcard(mask, name)) continue;
        count += DeleteFiles(path + "\\*.*", attributes, true);
        if (!dir_->RemoveDir(path))
          throw ESFSError("TSingleFileSystem.DeleteFiles - could not delete directory '" + path + "'");
      } else if (DeleteFile(path)) {
        ++count;
      }
    }
    return count;
  });
}

bool TSingleFileSystem::CopyFile(std::string_view source, std::string_view destination,
                                 std::string_view password) {
  return Change([&]() -> bool {
    lastError_ = 0;
    int32_t s = dir_->Resolve(source);
    if (s < 0 || dir_->ReadItem(s).IsFolder) return false;
    // Copying a file onto itself would delete it first.
    int32_t existing = dir_->Resolve(destination);
    if (existing == s) return false;
    const TDIRItem src = dir_->ReadItem(s);
    if (existing >= 0 && !DeleteFile(destination)) return false;
    int32_t created = dir_->CreateFileItem(destination, password, {}, {});
    if (created < 0) {
      lastError_ = dir_->LastError();
      if (lastError_ == ErrNoSpace) NoSpace();
      return false;
    }
    // The destination takes the source's key record, so both are opened by the same password and key.
    TDIRItem dst = dir_->ReadItem(created);
    dst.KeyRecord = src.KeyRecord;
    dst.HasPassword = src.HasPassword;
    dst.Attributes = src.Attributes;
    dir_->WriteItem(created, dst);

    std::string name(source);
    int32_t in = FileOpen(source, fmShareDenyWrite, {}, {}, password);
    if (in < 0) return false;
    int32_t out = FileOpen(destination, fmReadWriteExclusive, {}, {}, password);
    if (out < 0) {
      FileClose(in);
      return false;
    }
    const int64_t size = FileSize(in);
    constexpr int64_t kChunk = 102400;
    std::vector<uint8_t> buffer(kChunk);
    bool ok = true;
    int64_t done = 0;
    if (OnFileProgress) OnFileProgress(name, 0);
    while (done < size) {
      int64_t want = std::min(kChunk, size - done);
      if (FileRead(in, buffer.data(), want) != want || FileWrite(out, buffer.data(), want) != want) {
        ok = false;
        break;
      }
      done += want;
      if (OnFileProgress) OnFileProgress(name, double(done) / double(size) * 100.0);
    }
    SecureWipe(buffer.data(), buffer.size());
    if (ok && OnFileProgress) OnFileProgress(name, 100);
    FileClose(in);
    FileClose(out);
    return ok;
  });
}

bool TSingleFileSystem::ExportOne(const std::string& containerPath, const std::filesystem::path& target,
                                  int overwriteMode, const std::string& password) {
  namespace fs = std::filesystem;
  std::error_code ec;
  const std::string targetName = target.string();
  if (fs::exists(fs::symlink_status(target, ec))) {
    bool allow = overwriteMode != owSkip;
    if (overwriteMode == owAsk) {
      allow = false;
      if (OnOverwrite) OnOverwrite(targetName, containerPath, allow);
    }
    if (!allow) return false;
    fs::permissions(target, fs::perms::owner_write, fs::perm_options::add | fs::perm_options::nofollow, ec);
    fs::remove(target, ec);
    if (fs::exists(fs::symlink_status(target, ec)))
      throw ESFSError("Error in TSingleFileSystem.ExportFiles - file '" + targetName +
                      "' cannot be overwritten.");
  }
  {
    TSFSFileStream stream(this, 0, {}, {}, password, fmReadOnly, containerPath);
    stream.OnProgress = [this, &containerPath](int percent) {
      if (OnFileProgress) OnFileProgress(containerPath, percent);
    };
    stream.SaveToFile(targetName);
  }
  const TDIRItem& item = dir_->ReadItem(dir_->Resolve(containerPath));
  // The item's date (two-second precision) and its read-only attribute go to the disk file.
  int64_t unixSeconds = FileTimeToUnix(item.LastWriteTime);
  struct timeval times[2] = {{unixSeconds, 0}, {unixSeconds, 0}};
  ::utimes(targetName.c_str(), times);
  if (item.Attributes & faReadOnly)
    fs::permissions(target, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove, ec);
  return true;
}

bool TSingleFileSystem::ExportFiles(std::string_view maskPath, const std::string& diskFolder,
                                    int overwriteMode, bool recursive, uint32_t attributes) {
  namespace fs = std::filesystem;
  // The disk folder is used as an absolute base; the process's current folder is never changed.
  std::error_code ec;
  fs::path base = diskFolder.empty() ? fs::current_path(ec) : fs::path(diskFolder);
  if (ec) return false;
  if (!diskFolder.empty()) {
    fs::create_directories(base, ec);
    if (ec || !fs::is_directory(base, ec)) return false;
  }
  bool cancel = false;
  if (OnProgress) OnProgress(cancel, 0);
  if (cancel) return false;

  std::string folder, mask;
  SplitMask(maskPath, folder, mask);
  if (!folder.empty() && !dir_->DirectoryExists(folder)) return false;

  struct Entry {
    std::string containerPath;
    std::string relativeFolder;  // "/"-joined, "" for the start folder
    std::string name;
    bool isFolder;
  };
  std::vector<Entry> entries;
  // Every name is checked before anything is written: a damaged or hostile container must not be
  // able to place a file outside the chosen folder.
  auto checkName = [](const std::string& name) {
    if (!IsSafeDiskName(name))
      throw ESFSError("TSingleFileSystem.ExportFiles - the container holds an item named '" +
                      Printable(name) +
                      "', which is not a valid file name on this system; nothing was exported.");
  };
  std::function<void(const std::string&, const std::string&)> collect = [&](const std::string& cFolder,
                                                                            const std::string& rel) {
    std::vector<std::pair<std::string, bool>> found;
    TSearchRec rec;
    for (int r = dir_->FindFirst(JoinContainerPath(cFolder, "*.*"), attributes | faDirectory, rec); r == 0;
         r = dir_->FindNext(rec)) {
      found.emplace_back(rec.Name, (rec.Attr & faDirectory) != 0);
    }
    dir_->FindClose(rec);
    for (const auto& [name, isFolder] : found) {
      std::string cPath = JoinContainerPath(cFolder, name);
      if (isFolder) {
        if (!recursive) continue;
        checkName(name);  // before the name is used in any path
        std::string sub = rel.empty() ? name : rel + "/" + name;
        entries.push_back({cPath, sub, name, true});
        collect(cPath, sub);
      } else if (MatchesWildcard(mask, name)) {  // the search already applied the attribute filter
        checkName(name);
        entries.push_back({cPath, rel, name, false});
      }
    }
  };
  collect(folder, "");

  std::string password(key_.Text());
  TWipeOnExit wipe(password);
  for (size_t i = 0; i < entries.size(); ++i) {
    if (cancel) break;
    const Entry& e = entries[i];
    fs::path targetFolder = e.relativeFolder.empty() ? base : base / e.relativeFolder;
    fs::create_directories(targetFolder, ec);
    if (!e.isFolder) ExportOne(e.containerPath, targetFolder / e.name, overwriteMode, password);
    if (OnProgress) OnProgress(cancel, double(i + 1) / double(entries.size()) * 100.0);
  }
  if (cancel) return false;
  if (OnProgress) OnProgress(cancel, 100);
  return true;
}

// --- Container -----------------------------------------------------------------------------------------

bool TSingleFileSystem::IsEncrypted() const {
  return pfm_->IsEncrypted();
}
TKeyDerivation TSingleFileSystem::KeyDerivation() const {
  return pfm_->KeyDerivation();
}
bool TSingleFileSystem::ReadOnly() const {
  return pfm_->ReadOnly();
}
uint8_t TSingleFileSystem::DefaultCompression() const {
  return pfm_->CompressionMethod();
}
void TSingleFileSystem::SetDefaultCompression(uint8_t method) {
  return Change([&] {
    pfm_->SetCompressionMethod(method);
    pfm_->SaveHeader();
  });
}
int64_t TSingleFileSystem::ContainerSize() const {
  return pfm_->ContainerSize();
}

std::vector<std::string> TSingleFileSystem::CheckIntegrity() {
  // File maps are read again from disk, not taken from the cache, so that the check sees what a
  // later open would see.
  maps_->ClearCaches();
  ResyncMaps();
  TIntegrityContributor fileMaps = [this](TIntegrityCheck& check) {
    for (int32_t k = 0; k < dir_->ItemCount(); ++k) {
      const TDIRItem& item = dir_->ReadItem(k);
      if (item.Deleted || item.IsFolder) continue;
      std::string who = "file item " + std::to_string(k) + " (\"" + dir_->FullPath(k) + "\")";
      if (item.FileSize < 0) {
        check.AddProblem(who + " has a negative size");
        continue;
      }
      if (item.FirstMapPageNo == -1) {
        if (item.FileSize > 0) check.AddProblem(who + " has a size but no file map");
        continue;
      }
      if (item.FileSize == 0) {
        check.AddProblem(who + " has size 0 but a file map");
      }
      const std::vector<int32_t>* m = nullptr;
      const std::vector<int32_t>* d = nullptr;
      try {
        maps_->GetMaps(item, m, d);
      } catch (const std::exception& e) {
        check.AddProblem(who + ": " + e.what());
        continue;
      }
      int64_t needMaps = std::max<int64_t>(
          1, (int64_t(d->size()) + maps_->EntriesPerMapPage() - 1) / maps_->EntriesPerMapPage());
      if (int64_t(m->size()) != needMaps)
        check.AddProblem(who + " has " + std::to_string(m->size()) + " map pages, needs " +
                         std::to_string(needMaps));
      TPageHeader header;
      for (int32_t page : *m) {
        check.ClaimPage(page, who + " map page");
        if (!pfm_->ReadPage(page, header, nullptr, true, nullptr, 0)) continue;
        if (header.PageType != ptFileMap)
          check.AddProblem(who + ": map page " + std::to_string(page) + " has page type " +
                           std::to_string(header.PageType));
        // Map pages are written plain; another type would read them through a cipher.
        if (header.EncryptionType != etNone)
          check.AddProblem(who + ": map page " + std::to_string(page) + " is marked with encryption type " +
                           std::to_string(header.EncryptionType) + ", but map pages are stored plain");
      }
      // The pages of a file with its own password are encrypted with its key; the others as the
      // container is. The encryption byte of a page header is not covered by the page's checksum, so
      // a changed byte would go unnoticed: the page would be read through the wrong cipher (or none).
      // Pages of zeros stored plain are sound in any file: a gap in a file and a page a repair could
      // not read are written so.
      const uint8_t needed = item.HasPassword ? etRijndael : pfm_->EncryptionType();
      std::vector<uint8_t> payload;
      const int32_t D = pfm_->PageDataSize();
      for (size_t i = 0; i < d->size(); ++i) {
        const int32_t page = (*d)[i];
        check.ClaimPage(page, who + " data page");
        if (int64_t(i) * D >= item.FileSize) continue;  // past the file's end: never read
        if (!pfm_->ReadPage(page, header, nullptr, true, nullptr, 0) || header.EncryptionType == needed)
          continue;
        if (header.EncryptionType == etNone) {
          payload.assign(size_t(D), 0);
          if (pfm_->ReadPage(page, header, payload.data(), true, nullptr, D) &&
              std::all_of(payload.begin(), payload.end(), [](uint8_t b) { return b == 0; }))
            continue;
        }
        check.AddProblem(who + ": data page " + std::to_string(page) + " (bytes from " +
                         std::to_string(int64_t(i) * D) + ") is marked with encryption type " +
                         std::to_string(header.EncryptionType) + ", but the file needs " +
                         std::to_string(needed));
      }
      SecureWipe(payload.data(), payload.size());
    }
    maps_->ClearCaches();
  };
  return quillmar::CheckIntegrity(*pfm_, *fsm_, *dir_, {fileMaps});
}

}  // namespace quillmar
