#include "container/SingleFileSystem.h"

#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <map>

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

bool DiskFileExists(const std::string& name) {
  struct stat st;
  return ::stat(name.c_str(), &st) == 0;
}

}  // namespace

TSingleFileSystem::TSingleFileSystem(const std::string& fileName, int64_t partSize, int32_t extentSize,
                                     int32_t pageSize, uint8_t defaultCompression,
                                     const TContainerSecrets& secrets, bool inMemory, uint32_t mode,
                                     TSFSPartStorage* storage)
    : fileName_(fileName), storage_(storage), mode_(mode == fmCreate ? fmReadWriteExclusive : mode) {
  const TTextKey& key = secrets.Key;
  bool creating = mode == fmCreate;
  // The password is checked against the key record before any page is read. A missing file is left
  // to the page file manager, whose message says so.
  if (!creating && DiskFileExists(fileName) && IsContainerFile(fileName)) {
    ReadKeyDerivation(fileName);  // a derivation that cannot be followed is refused with its reason
    if (!CheckContainerPassword(fileName, key))
      throw ESFSError("TSingleFileSystem.Create - invalid password specified, file name = \"" + fileName +
                      "\"");
  }
  pfm_ = std::make_unique<TPageFileManager>(fileName, partSize, extentSize, pageSize, inMemory, secrets, mode,
                                            storage);
  if (creating) {
    pfm_->SetCompressionMethod(defaultCompression);
    pfm_->SaveHeader();
  }
  if (pfm_->IsEncrypted()) key_ = key;
  OpenManagers();
  // Every container opened for writing is changed through its rollback journal.
  pfm_->SetJournaled(!pfm_->ReadOnly());
  // Opened without a journal that undid nothing: that one goes now.
  if (!creating && !pfm_->ReadOnly()) pfm_->RemoveLeftoverJournal();
}

TSingleFileSystem::~TSingleFileSystem() {
  handles_.clear();
  // Access times of files only read since the last change are not written now: a container opened
  // and closed without a change keeps its bytes (a Safe that was only looked at is not rewritten).
  try {
    if (fsm_) ResyncMaps();
  } catch (...) {
  }
  CloseManagers();
  WaitForOldFiles();
}

void TSingleFileSystem::ResyncMaps() {
  if (!pfm_->Journaled()) fsm_->Resync();
}

// --- Transactions --------------------------------------------------------------------------------------

void TSingleFileSystem::BeginTransaction() {
  ++changeCount_;
  if (txnDepth_++ > 0) return;
  txnDoomed_ = false;
  const bool reading = pfm_->Locked();
  try {
    const bool changed = pfm_->BeginTransaction() || reloadPending_;
    if (changed) {
      // Another program changed the container: nothing of this change may be based on what was
      // read before.
      TakeInExternalChange();
      if (reading)
        throw ESFSChanged("TSingleFileSystem - " + std::filesystem::path(fileName_).filename().string() +
                          " was changed by another program while this one was reading it; nothing was "
                          "changed. Try again.");
    }
  } catch (...) {
    --txnDepth_;
    try {
      if (pfm_->InTransaction()) pfm_->RollbackTransaction();
    } catch (...) {
    }
    throw;
  }
  txnFirstHandle_ = nextHandle_;
  txnCurrentDir_ = dir_->CurrentDir();
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
  ++changeCount_;
  txnDoomed_ = false;
  if (!pfm_->InTransaction()) return;
  try {
    pfm_->RollbackTransaction();
    // Read again as the disk has it, under the shared lock. Another program may have changed it the
    // moment the transaction let go of the lock: that is counted, though not told item by item.
    const bool changed = pfm_->Acquire(TPageFileManager::TAccess::Read);
    try {
      ReloadManagers();
    } catch (...) {
      pfm_->Release(TPageFileManager::TAccess::Read);
      throw;
    }
    pfm_->Release(TPageFileManager::TAccess::Read);
    if (changed) ++externalCount_;
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

void TSingleFileSystem::BeginRead() {
  if (pfm_->Acquire(TPageFileManager::TAccess::Read) || reloadPending_) {
    try {
      TakeInExternalChange();
    } catch (...) {
      pfm_->Release(TPageFileManager::TAccess::Read);
      throw;
    }
  }
}

void TSingleFileSystem::EndRead() {
  pfm_->Release(TPageFileManager::TAccess::Read);
}

bool TSingleFileSystem::Refresh() {
  const uint64_t before = externalCount_;
  TSFSReadLock read(*this);
  return externalCount_ != before;
}

TSFSExternalChanges TSingleFileSystem::TakeExternalChanges() {
  TSFSExternalChanges changes;
  changes.Count = externalCount_ - externalTaken_;
  externalTaken_ = externalCount_;
  std::sort(externalPaths_.begin(), externalPaths_.end());
  externalPaths_.erase(std::unique(externalPaths_.begin(), externalPaths_.end()), externalPaths_.end());
  changes.Paths.swap(externalPaths_);
  return changes;
}

void TSingleFileSystem::SetBusyTimeout(std::chrono::milliseconds timeout) {
  TPageFileManager::SetBusyTimeout(timeout);
}

std::chrono::milliseconds TSingleFileSystem::BusyTimeout() {
  return TPageFileManager::BusyTimeout();
}

bool TSingleFileSystem::HoldAlone() {
  return pfm_->HoldAlone();
}

void TSingleFileSystem::ReleaseAlone() {
  pfm_->ReleaseAlone();
}

void TSingleFileSystem::TakeInExternalChange() {
  reloadPending_ = true;
  // Each handle's file by its path and item as they were: a handle follows its file by path.
  struct TFollowed {
    std::string path;
    TDIRItem item;
  };
  std::map<int32_t, TFollowed> followed;
  for (const auto& [number, h] : handles_)
    followed[number] = {dir_->FullPath(h.item), dir_->ReadItem(h.item)};
  // The free-space maps are read anew (a few pages); the directory reads again only the pages that
  // changed. Should something not load, the managers stay as they were and the next lock tries again.
  auto fsm = std::make_unique<TFreeSpaceManager>(*pfm_);
  auto maps = std::make_unique<TUserFilePageMapManager>(*pfm_, *fsm);
  dir_->Refresh(*fsm, externalPaths_);
  maps_ = std::move(maps);
  fsm_ = std::move(fsm);
  reloadPending_ = false;
  ++externalCount_;
  // A handle whose file is gone, or was made anew (another key record: its key would not read it), is
  // dropped.
  for (auto it = handles_.begin(); it != handles_.end();) {
    const TFollowed& was = followed[it->first];
    const int32_t k = dir_->Resolve(was.path);
    if (k >= 0 && !dir_->ReadItem(k).IsFolder && dir_->ReadItem(k).KeyRecord == was.item.KeyRecord) {
      it->second.item = k;
      dir_->RetainItem(k);
      ++it;
    } else {
      it = handles_.erase(it);
    }
  }
}

void TSingleFileSystem::DisableJournal() {
  if (txnDepth_ > 0) throw ESFSError("TSingleFileSystem.DisableJournal - A change is in progress.");
  journalOff_ = true;
  pfm_->SetJournaled(false);
}

void TSingleFileSystem::OpenManagers() {
  // Read under the shared lock: no other program is in the middle of a change meanwhile.
  TPageFileManager& pfm = *pfm_;
  pfm.Acquire(TPageFileManager::TAccess::Read);
  try {
    fsm_ = std::make_unique<TFreeSpaceManager>(pfm);
    dir_ = std::make_unique<TDIRManager>(pfm, *fsm_);
    maps_ = std::make_unique<TUserFilePageMapManager>(pfm, *fsm_);
  } catch (...) {
    pfm.Release(TPageFileManager::TAccess::Read);
    throw;
  }
  pfm.Release(TPageFileManager::TAccess::Read);
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
  const TJournalContents contents = TRollbackJournal::Examine(DiskPartStorage(), journal, fileName);
  if (contents.State == TJournalContents::TState::Absent) return "";
  return contents.Describe(journal);
}

bool TSingleFileSystem::HasDamagedJournal(const std::string& fileName, TSFSPartStorage* storage) {
  TSFSPartStorage& s = storage ? *storage : DiskPartStorage();
  return TRollbackJournal::Examine(s, JournalFileName(fileName), fileName).State ==
         TJournalContents::TState::Damaged;
}

bool TSingleFileSystem::SalvageJournal(const std::string& fileName, const TTextKey& key,
                                       std::vector<std::string>& lines, TSFSPartStorage* storage) {
  TSFSPartStorage& s = storage ? *storage : DiskPartStorage();
  const std::string journal = JournalFileName(fileName);
  if (!s.Exists(journal)) return true;
  // The container alone: no other program may hold it while pages are put back.
  TSFSHugeFile held(&s);
  if (!held.Open(fileName, true, TSFSLock::Exclusive))
    throw ESFSError("File " + std::filesystem::path(fileName).filename().string() + " has corrupted header.");
  // The key is checked before anything is written: against the header, or the header the journal kept
  // when the container's own is torn.
  uint8_t header[TPageFileManager::HeaderSize] = {};
  held.Seek(0, TSeekOrigin::Begin);
  bool checked = false, opens = false;
  if (held.Read(header, TPageFileManager::HeaderSize) == TPageFileManager::HeaderSize &&
      TPageFileManager::IsValidHeader(header)) {
    checked = true;
    opens = TPageFileManager::KeyOpensHeader(header, key);
  } else {
    const TJournalContents c = TRollbackJournal::Read(s, journal);
    for (const auto& [page, offset] : c.IntactPages) {
      if (page != 0) continue;
      auto j = s.Open(journal, true, TSFSLock::None);
      if (j->ReadAt(offset, header, TPageFileManager::HeaderSize) == TPageFileManager::HeaderSize &&
          TPageFileManager::IsValidHeader(header)) {
        checked = true;
        opens = TPageFileManager::KeyOpensHeader(header, key);
      }
    }
  }
  if (!checked)
    throw ESFSJournalError("TSingleFileSystem.Salvage - Neither " +
                           std::filesystem::path(fileName).filename().string() +
                           " nor its journal holds a whole header to check the password against; nothing was "
                           "changed.");
  if (!opens) return false;
  const TRollbackJournal::TSalvage done = TRollbackJournal::Salvage(s, fileName);
  const std::string name = std::filesystem::path(journal).filename().string();
  lines.push_back("put back the old contents of " + std::to_string(done.PagesRestored) +
                  " page(s) from the journal " + name +
                  (done.SizeRestored ? ", and the file's size before the interrupted change" : ""));
  if (done.DamagedRecords > 0)
    lines.push_back(
        std::to_string(done.DamagedRecords) +
        " record(s) of the journal are damaged: the pages they kept may hold the interrupted change "
        "in part");
  lines.push_back("kept the journal as " + std::filesystem::path(done.Kept).filename().string() +
                  "; delete it once the repaired Safe holds what you expect");
  return true;
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
  try {
    TPageFileManager pfm(fileName, -1, 8, 2048, false, "", "", TTextKey(), fmReadOnly);
    return pfm.KeyDerivation();
  } catch (const ESFSJournalError&) {
    // A journal that cannot be used does not hide the derivation (a repair needs the key): it never
    // changes in a transaction, so the header as it is tells it when it is whole.
    TSFSHugeFile file;
    uint8_t header[TPageFileManager::HeaderSize] = {};
    if (!file.Open(fileName, true, TSFSLock::None) ||
        file.Read(header, TPageFileManager::HeaderSize) != TPageFileManager::HeaderSize ||
        !TPageFileManager::IsValidHeader(header))
      throw;
    const TKeyDerivation derivation = TKeyDerivation::Decode(header + TKeyDerivation::HeaderOffset);
    if (std::string problem = derivation.Problem(); !problem.empty()) throw ESFSError(problem);
    return derivation;
  }
}

// --- Items by path -------------------------------------------------------------------------------------

bool TSingleFileSystem::FileExists(std::string_view path) {
  TSFSReadLock read(*this);
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

uint32_t TSingleFileSystem::FileGetAttr(std::string_view path) {
  TSFSReadLock read(*this);
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

int64_t TSingleFileSystem::FileAge(std::string_view path) {
  TSFSReadLock read(*this);
  int32_t k = dir_->Resolve(path);
  if (k < 0) return -1;
  return int64_t(FileTimeToDosDateTime(dir_->ReadItem(k).LastWriteTime));
}

bool TSingleFileSystem::GetItemTimes(std::string_view path, TItemTimes& times) {
  TSFSReadLock read(*this);
  const int32_t k = dir_->Resolve(path);
  if (k < 0) return false;
  const TDIRItem& item = dir_->ReadItem(k);
  times = {item.CreationTime, item.LastWriteTime, item.LastAccessTime};
  return true;
}

bool TSingleFileSystem::SetItemTimes(std::string_view path, const TItemTimes& times) {
  if (ReadOnly()) return false;
  return Change([&]() -> bool {
    const int32_t k = dir_->Resolve(path);
    if (k < 0) return false;
    TDIRItem item = dir_->ReadItem(k);
    item.CreationTime = times.Creation;
    item.LastWriteTime = times.LastWrite;
    item.LastAccessTime = times.LastAccess;
    dir_->WriteItem(k, item);
    return true;
  });
}

bool TSingleFileSystem::GetKeyRecord(std::string_view path, TKeyRecord& record) {
  TSFSReadLock read(*this);
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
  TSFSReadLock read(*this);
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
  TSFSReadLock read(*this);
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

bool TSingleFileSystem::DirectoryExists(std::string_view path) {
  TSFSReadLock read(*this);
  return dir_->DirectoryExists(path);
}

bool TSingleFileSystem::IsDirEmpty(std::string_view path) {
  TSFSReadLock read(*this);
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
  TSFSReadLock read(*this);
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
  TSFSReadLock read(*this);
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

// --- Part files --------------------------------------------------------------------------------------

bool TSingleFileSystem::IsMultiPart(const std::string& fileName, TSFSPartStorage* storage) {
  TSFSHugeFile chain(storage);
  try {
    return chain.Open(fileName, true, TSFSLock::None) && chain.PartCount() > 1;
  } catch (const ESFSError&) {
    return false;
  }
}

}  // namespace quillmar
