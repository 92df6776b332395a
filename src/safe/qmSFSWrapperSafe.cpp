#include <sys/stat.h>

#include <algorithm>
#include <exception>
#include <filesystem>
#include <functional>
#include <mutex>
#include <vector>

#include "base/Exception.h"
#include "base/SecureWipe.h"
#include "container/DIRItem.h"
#include "container/KeyDerivationCost.h"
#include "container/KeyRecord.h"
#include "container/RollbackJournal.h"
#include "container/SFSAbstractFile.h"
#include "container/SFSError.h"
#include "container/SFSFileStream.h"
#include "container/SFSHugeFile.h"
#include "container/SingleFileSystem.h"
#include "model/RecordCheck.h"
#include "safe/LockedFileCipher.h"
#include "safe/qmPrompter.h"
#include "safe/qmSFSWrapper.h"
#include "safe/qmSFSWrapperInternal.h"

namespace quillmar {

using namespace sfs_wrapper_internal;

namespace fs = std::filesystem;

namespace {

// How every Safe is opened: default part size, extent 8, page size 4096 (only used when creating),
// no compression, read/write shared with the other programs that have it open (each change under the
// exclusive lock of its transaction).
constexpr int64_t kPartSize = -1;
constexpr int32_t kExtentSize = 8;
constexpr int32_t kOpenPageSize = 4096;
constexpr int32_t kCreatePageSize = 2048;
constexpr uint32_t kModeReadWriteShared = TSFSConstants::fmReadWrite;
// A scratch copy this program works on alone.
constexpr uint32_t kModeReadWriteExclusive = TSFSConstants::fmReadWriteExclusive;
// Read-only, others may read too but nobody may write: the shared lock of read-only opens.
constexpr uint32_t kModeReadShared = TSFSConstants::fmShareDenyWrite;
// The open mode of a file in the Safe that is read and rewritten in place (the re-keying).
constexpr uint32_t kModeReadWrite = TSFSConstants::fmReadWrite;

// The work copy of a change of password, and what its rebuild makes beside it.
constexpr char kPasswordWork[] = ".pwchange";

TSFSPartStorage& StorageOr(TSFSPartStorage* storage) {
  return storage ? *storage : DiskPartStorage();
}

// A cancel asked for through the progress callback, carried out of the nested work to the one
// place that undoes it.
struct TCancelled {};

// A position of its own over a stream that another view uses too, from another thread: each call
// seeks and transfers under the shared mutex. Two views over one file let a reader and a writer on
// different threads work through it in place.
class TSharedStreamView : public TStream {
public:
  TSharedStreamView(TStream& stream, std::mutex& access) : stream_(stream), access_(access) {}

  // Called with the byte count after every write, outside the mutex, on the writing thread.
  std::function<void(int64_t count)> OnWritten;

  int64_t Read(void* buffer, int64_t count) override {
    std::lock_guard<std::mutex> lock(access_);
    stream_.SetPosition(position_);
    const int64_t n = stream_.Read(buffer, count);
    position_ += std::max<int64_t>(n, 0);
    return n;
  }
  int64_t Write(const void* buffer, int64_t count) override {
    int64_t n;
    {
      std::lock_guard<std::mutex> lock(access_);
      stream_.SetPosition(position_);
      n = stream_.Write(buffer, count);
      position_ += std::max<int64_t>(n, 0);
    }
    if (OnWritten && n > 0) OnWritten(n);
    return n;
  }
  int64_t Seek(int64_t offset, TSeekOrigin origin) override {
    const int64_t base = origin == TSeekOrigin::Begin     ? 0
                         : origin == TSeekOrigin::Current ? position_
                                                          : Size();
    if (base + offset < 0) throw EStreamError("TSharedStreamView.Seek - Offset < 0 from file beginning.");
    return position_ = base + offset;
  }
  int64_t Size() override {
    std::lock_guard<std::mutex> lock(access_);
    return stream_.Size();
  }
  void SetSize(int64_t newSize) override {
    std::lock_guard<std::mutex> lock(access_);
    stream_.SetSize(newSize);
  }

private:
  TStream& stream_;
  std::mutex& access_;
  int64_t position_ = 0;
};

// Copies a disk file through the part storage in pieces of 1 MiB, reporting each piece to meter
// (when given; a cancel there throws TCancelled), and puts the copy on the disk.
void CopyDiskFile(TSFSPartStorage& storage, const std::string& from, const std::string& to,
                  TqmProgressMeter* meter = nullptr) {
  auto in = storage.Open(from, true, TSFSLock::None);
  auto out = storage.Create(to, TSFSLock::None);
  std::vector<uint8_t> buffer(size_t(1) << 20);
  const int64_t size = in->Size();
  for (int64_t done = 0; done < size;) {
    const int64_t n = std::min<int64_t>(int64_t(buffer.size()), size - done);
    if (in->ReadAt(done, buffer.data(), n) != n)
      throw EQuillmarError("The Safe file \"" + from + "\" cannot be read.");
    if (out->WriteAt(done, buffer.data(), n) != n)
      throw EQuillmarError("The copy \"" + to + "\" cannot be written; check the free space on its drive.");
    done += n;
    if (meter && !meter->Advance(double(n))) throw TCancelled{};
  }
  if (!out->Flush()) throw EQuillmarError("The copy \"" + to + "\" could not be written to the disk.");
}

}  // namespace

// --- Safe as a whole -------------------------------------------------------------------------------

TKeyDerivation TqmSFSWrapper::KeyDerivationOf(const std::string& file) {
  return TSingleFileSystem::ReadKeyDerivation(file);
}

TTextKey TqmSFSWrapper::TextKeyFor(const std::string& file, std::string_view password, bool allowCostly) {
  const TKeyDerivation derivation = KeyDerivationOf(file);
  if (derivation.Costly() && !allowCostly)
    throw ECostlyDerivation(CostlyDerivationMessage(file, derivation), derivation);
  return TTextKey::Derive(password, derivation);
}

std::string TqmSFSWrapper::CostlyDerivationMessage(const std::string& file,
                                                   const TKeyDerivation& derivation) {
  return "The Safe " + fs::path(file).stem().string() + " was not opened: its key derivation asks for " +
         derivation.CostText() + ", more than this program ever uses (at most " +
         std::to_string(TKeyDerivation::UsualMaxMemoryKiB / (1024 * 1024)) + " GiB of memory and " +
         std::to_string(TKeyDerivation::UsualMaxPasses) +
         " passes). The file was made elsewhere or changed; such a cost can make every opening take minutes "
         "and that much memory.";
}

TTextKey TqmSFSWrapper::NewTextKey(std::string_view password, TqmSafeKind kind) {
  // An empty text key would make the container unencrypted.
  if (password.empty()) throw EQuillmarError(kMsgEmptyPassword);
  if (kind == TqmSafeKind::Compatible) {
    if (password.size() > TKeyRecord::MaxPasswordLength) throw EQuillmarError(kMsgCompatiblePasswordTooLong);
    return TTextKey::FromPassword(password);
  }
  return TTextKey::Derive(password, NewKeyDerivation());
}

TKeyDerivation TqmSFSWrapper::KeyDerivation() const {
  if (!sfs_) throw EQuillmarError("No Safe is open.");
  return sfs_->KeyDerivation();
}

void TqmSFSWrapper::RequireKeyOfOpenSafe(const TTextKey& key) {
  const TKeyDerivation derivation = Sfs().KeyDerivation();
  if (key.Derivation() == derivation) return;
  throw EQuillmarError(derivation.Hardened()
                           ? "This Safe is hardened: its locked files need the key derived from the master "
                             "password, not the password itself or another Safe's key."
                           : "This Safe is compatible: its locked files need the master password itself, not "
                             "a derived key.");
}

void TqmSFSWrapper::OpenContainer(const std::string& file, const TTextKey& key, bool readOnly,
                                  std::unique_ptr<TSingleFileSystem> checked) {
  auto sfs = checked ? std::move(checked)
                     : std::make_unique<TSingleFileSystem>(
                           file, kPartSize, kExtentSize, kOpenPageSize, 0, "", "", key, false,
                           readOnly ? kModeReadShared : kModeReadWriteShared, storage_);
  sfs->OnProgress = [this](bool&, double percent) {
    if (static_cast<int64_t>(percent) % 2 == 0) ProcessEvents();
  };
  sfs_ = std::move(sfs);
  seenExternal_ = 0;
  InvalidateEntryIndex();
}

int TqmSFSWrapper::CheckSafe(const std::string& file, std::string_view password, bool forCreate,
                             bool readOnly) {
  checked_.reset();
  std::error_code ec;
  if (forCreate) return fs::exists(file, ec) ? csFileExists : csUsable;
  TellLeftovers(file);
  if (const int code = ContainerFileCode(file); code != csUsable) return code;
  TTextKey key;
  try {
    key = TextKeyFor(file, password);
  } catch (const std::exception& e) {
    if (prompter_) prompter_->ShowMessage(TqmPrompter::TMessageKind::Plain, "", e.what());
    return csCannotOpen;
  }
  return CheckKey(file, key, readOnly);
}

int TqmSFSWrapper::CheckSafe(const std::string& file, const TTextKey& key, bool readOnly) {
  checked_.reset();
  TellLeftovers(file);
  if (const int code = ContainerFileCode(file); code != csUsable) return code;
  return CheckKey(file, key, readOnly);
}

int TqmSFSWrapper::ContainerFileCode(const std::string& file) {
  try {
    return TSingleFileSystem::IsContainerFile(file) ? csUsable : csNotContainer;
  } catch (const ESFSJournalError& e) {
    // An interrupted change that cannot be undone: the file is not opened, and the user is told why.
    if (prompter_) prompter_->ShowMessage(TqmPrompter::TMessageKind::Plain, "", e.what());
    return csCannotOpen;
  } catch (const std::exception&) {
    return csNotContainer;
  }
}

namespace {

bool SameFileUnchanged(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
         a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

}  // namespace

std::unique_ptr<TSingleFileSystem> TqmSFSWrapper::TakeChecked(const std::string& file, const TTextKey& key,
                                                              bool readOnly) {
  std::unique_ptr<TChecked> checked = std::move(checked_);
  if (!checked || checked->File != file || checked->ReadOnly != readOnly || !(checked->Key == key))
    return nullptr;
  struct stat now {};
  if (::stat(file.c_str(), &now) != 0 || !SameFileUnchanged(now, checked->Stat)) return nullptr;
  return std::move(checked->Sfs);
}

void TqmSFSWrapper::KeepCheckedContainer(bool keep) {
  keepChecked_ = keep;
  if (!keep) checked_.reset();
}

int TqmSFSWrapper::CheckKey(const std::string& file, const TTextKey& key, bool readOnly) {
  checked_.reset();
  try {
    // A derivation that cannot be followed is a reason to show, not a wrong password.
    TSingleFileSystem::ReadKeyDerivation(file);
    if (TSingleFileSystem::IsContainerEncrypted(file) &&
        !TSingleFileSystem::CheckContainerPassword(file, key))
      return csWrongPassword;
    auto checked = std::make_unique<TChecked>();
    checked->Sfs = std::make_unique<TSingleFileSystem>(
        file, kPartSize, kExtentSize, kOpenPageSize, 0, "", "", key, false,
        readOnly ? kModeReadShared : kModeReadWriteShared, storage_);
    // Kept only when asked for, and for a file on the disk whose state can be compared when it is
    // opened.
    if (keepChecked_ && ::stat(file.c_str(), &checked->Stat) == 0) {
      checked->File = file;
      checked->Key = key;
      checked->ReadOnly = readOnly;
      checked_ = std::move(checked);
    }
  } catch (const std::exception& e) {
    if (prompter_) prompter_->ShowMessage(TqmPrompter::TMessageKind::Plain, "", e.what());
    return csCannotOpen;
  }
  return csUsable;
}

TTextKey TqmSFSWrapper::CreateSafeFromImage(std::string_view image, std::string_view templatePassword,
                                            const std::string& file, std::string_view password,
                                            bool withDemoData, TqmSafeKind kind) {
  CloseSafe();
  // First, so that a refused password (or a failed derivation) leaves no file behind.
  const TTextKey newKey = NewTextKey(password, kind);
  // Made under a name of its own and renamed into place once complete: an interrupted creation never
  // leaves a Safe file (least of all one under the template's password).
  TSFSPartStorage& storage = StorageOr(storage_);
  const std::string work = file + ".create";
  auto removeWork = [&] {
    TSFSHugeFile::DeleteContainer(work, &storage);
    storage.Remove(TRollbackJournal::FileName(work));
  };
  try {
    {
      auto out = storage.Create(work, TSFSLock::Exclusive);
      if (out->WriteAt(0, image.data(), int64_t(image.size())) != int64_t(image.size()) || !out->Flush())
        throw EQuillmarError("The new Safe \"" + file +
                             "\" cannot be written; check the free space on its drive.");
    }
    ProcessEvents();
    const TTextKey templateKey = TextKeyFor(work, templatePassword);
    OpenContainer(work, templateKey);
    EnsureLayout();
    if (!withDemoData) {
      // Removed before the password change, whose rebuild then leaves no trace of the samples.
      DeleteAllEntries(kRepositoryRoot);
      Sfs().DeleteDirectory(kFileLockerRoot);
      EnsureLayout();
    }
    if (!ChangePassword(templateKey, newKey))
      throw EQuillmarError("The new Safe could not be given its password.");
    CloseSafe();
    // A journal of an earlier file of that name must never be applied to the new one.
    storage.Remove(TRollbackJournal::FileName(file));
    if (!storage.Replace(work, file))
      throw EQuillmarError("The new Safe \"" + file + "\" could not be put in place.");
    storage.SyncFolder(file);
    ProcessEvents();
  } catch (...) {
    CloseSafe();
    removeWork();
    throw;
  }
  return newKey;
}

void TqmSFSWrapper::CreateEmptySafe(const std::string& file, std::string_view password) {
  CreateEmptySafe(file, TTextKey::FromPassword(password));
}

void TqmSFSWrapper::CreateEmptySafe(const std::string& file, const TTextKey& key) {
  CloseSafe();
  std::error_code ec;
  fs::remove(file, ec);
  sfs_ = std::make_unique<TSingleFileSystem>(file, kPartSize, kExtentSize, kCreatePageSize, 0, "", "", key,
                                             false, TSingleFileSystem::fmCreate, storage_);
  sfs_->OnProgress = [this](bool&, double percent) {
    if (static_cast<int64_t>(percent) % 2 == 0) ProcessEvents();
  };
  EnsureLayout();
}

void TqmSFSWrapper::OpenSafe(const std::string& file, std::string_view password, bool readOnly) {
  std::unique_ptr<TChecked> checked = std::move(checked_);
  CloseSafe();
  checked_ = std::move(checked);
  TellLeftovers(file);
  const TTextKey key = TextKeyFor(file, password);
  OpenRecovered(file, key, readOnly, TakeChecked(file, key, readOnly));
}

void TqmSFSWrapper::OpenSafe(const std::string& file, const TTextKey& key, bool readOnly) {
  std::unique_ptr<TChecked> checked = std::move(checked_);
  CloseSafe();
  checked_ = std::move(checked);
  TellLeftovers(file);
  // Taken after the leftovers: a journal they rolled back changed the file, and the check's container
  // is then not used.
  OpenRecovered(file, key, readOnly, TakeChecked(file, key, readOnly));
}

void TqmSFSWrapper::OpenRecovered(const std::string& file, const TTextKey& key, bool readOnly,
                                  std::unique_ptr<TSingleFileSystem> checked) {
  OpenContainer(file, key, readOnly, std::move(checked));
  if (!readOnly) RemovePartialFiles();
}

bool TqmSFSWrapper::ReadOnly() const {
  return sfs_ && sfs_->ReadOnly();
}

void TqmSFSWrapper::TellLeftovers(const std::string& file) {
  for (const std::string& notice : RecoverLeftovers(file, storage_))
    if (prompter_) prompter_->ShowMessage(TqmPrompter::TMessageKind::Information, "", notice);
}

std::vector<std::string> TqmSFSWrapper::RecoverLeftovers(const std::string& file, TSFSPartStorage* storage) {
  TSFSPartStorage& s = StorageOr(storage);
  std::vector<std::string> notices = TSingleFileSystem::RecoverInterruptedRebuild(file, storage);
  const std::string work = file + kPasswordWork;
  std::vector<std::string> found;
  for (const char* suffix : {"", "_new", "0"})
    if (s.Exists(work + suffix)) found.push_back(work + suffix);
  if (found.empty()) return notices;
  // A change of password in progress holds the Safe, and its work file while it works on it.
  std::vector<std::unique_ptr<TSFSAbstractFile>> locks;
  std::vector<std::string> held = found;
  held.push_back(file);
  if (!LockAll(s, held, locks)) return notices;
  locks.clear();
  const std::string name = fs::path(file).filename().string();
  if (!s.Exists(file)) {
    std::string files;
    for (const std::string& path : found)
      files += (files.empty() ? "" : ", ") + fs::path(path).filename().string();
    notices.push_back(name + " is missing, and a change of its password was interrupted. " + files +
                      " may hold its data, under the old or the new password, possibly only in part; nothing "
                      "was changed.");
    return notices;
  }
  // The Safe is whole (the work copy replaces it in one rename, which did not happen): the copies are
  // unfinished work, some holding the Safe under its old password. They go.
  for (const std::string& path : found) {
    if (TSFSHugeFile::DeleteContainer(path, &s))
      notices.push_back("Removed " + fs::path(path).filename().string() +
                        ", left by an interrupted change of the password of " + name + ".");
    s.Remove(TRollbackJournal::FileName(path));
  }
  s.SyncFolder(file);
  return notices;
}

void TqmSFSWrapper::RemovePartialFiles() {
  // Work files of a lock or an attachment that never finished (sfs_wrapper_internal::WorkFilePrefix):
  // their change did not complete, so they belong to nobody. Only a change made without a journal
  // (an older version of the program) can leave one.
  TSingleFileSystem& sfs = Sfs();
  std::vector<std::string> partial;
  std::function<void(const std::string&)> walk = [&](const std::string& folder) {
    for (const std::string& name : List(folder, "*.*", false))
      if (IsWorkFileName(name, WorkFilePrefix("lock"))) partial.push_back(folder + name);
    for (const std::string& name : List(folder, "*.*", true)) walk(folder + name + "\\");
  };
  walk(kFileLockerRoot);
  std::vector<std::string> olderWorkNames;
  for (const std::string& name : List(kAttachedFilesFolder, "*.*", false)) {
    if (IsWorkFileName(name, WorkFilePrefix("attach")))
      partial.push_back(kAttachedFilesFolder + name);
    else if (IsWorkFileName(name, "~attach"))
      olderWorkNames.push_back(name);
  }
  // An older version's work name ("~attach<n>.tmp") can be a user's file too. An attached file is
  // there to be named by an entry: one no entry names is a leftover, one an entry names (or might
  // name: a record that cannot be read) is kept. An older "~lock<n>.tmp" in the File Locker cannot be
  // told from a user's file of that name, so it is kept for the user to see and remove.
  for (const std::string& name : AttachedNamesNoEntryHolds(olderWorkNames))
    partial.push_back(kAttachedFilesFolder + name);
  if (partial.empty()) return;
  TChange change(*this);
  std::string names;
  for (const std::string& path : partial) {
    if (sfs.DeleteFile(path)) names += (names.empty() ? "" : ", ") + ShownInMessage(path);
  }
  change.Commit();
  if (prompter_ && !names.empty())
    prompter_->ShowMessage(
        TqmPrompter::TMessageKind::Information, "",
        "Removed unfinished files that an interrupted program left in the Safe: " + names + ".");
}

std::vector<std::string> TqmSFSWrapper::AttachedNamesNoEntryHolds(std::vector<std::string> names) {
  if (names.empty()) return names;
  // A File or Picture field holds the name as its whole value: "...>name</field>".
  bool unknown = false;
  std::function<void(const std::string&)> walk = [&](const std::string& folder) {
    for (const std::string& file : List(folder, "*.entry", false)) {
      if (unknown || names.empty()) return;
      std::string bytes;
      try {
        bytes = ReadRecordBytes(folder + file);
      } catch (const std::exception&) {
        unknown = true;  // what it names is unknown: keep them all
        return;
      }
      std::erase_if(names, [&](const std::string& name) {
        return bytes.find(">" + name + "</field>") != std::string::npos;
      });
      WipeString(bytes);
    }
    for (const std::string& sub : List(folder, "*.*", true)) walk(folder + sub + "\\");
  };
  walk(kRepositoryRoot);
  return unknown ? std::vector<std::string>{} : names;
}

void TqmSFSWrapper::CloseSafe() {
  InvalidateEntryIndex();
  sfs_.reset();
  checked_.reset();
  seenExternal_ = 0;
}

std::string TqmSFSWrapper::SafeFileName() const {
  return sfs_ ? sfs_->FileName() : std::string();
}

int64_t TqmSFSWrapper::LockedBytes(TSingleFileSystem& sfs, const std::string& folder) {
  int64_t total = 0;
  std::vector<std::string> folders;
  TSearchRec rec;
  if (sfs.FindFirst(folder + "*.*", faAnyFile, rec) == 0) {
    do {
      if (rec.Attr & faDirectory)
        folders.push_back(rec.Name);
      else
        total += rec.Size;
    } while (sfs.FindNext(rec) == 0);
  }
  sfs.FindClose(rec);
  for (const std::string& name : folders) total += LockedBytes(sfs, folder + name + "\\");
  return total;
}

void TqmSFSWrapper::RekeyLockedFiles(TSingleFileSystem& sfs, const std::string& folder,
                                     std::string_view oldPassword, std::string_view newPassword,
                                     TqmProgressMeter& meter) {
  // Collect first: the walk must not see the files it rewrites.
  std::vector<std::string> files, folders;
  TSearchRec rec;
  if (sfs.FindFirst(folder + "*.*", faAnyFile, rec) == 0) {
    do (rec.Attr & faDirectory ? folders : files).push_back(rec.Name);
    while (sfs.FindNext(rec) == 0);
  }
  sfs.FindClose(rec);

  for (const std::string& name : files) {
    // A new key is no change of the file: the File Locker lists the times it had.
    TSingleFileSystem::TItemTimes times;
    const bool timed = sfs.GetItemTimes(folder + name, times);
    TSFSFileStream stream(&sfs, 0, "", "", "", kModeReadWrite, folder + name);
    if (stream.Size() > 0) {
      // In place: the source view reads ahead of the destination view, which rewrites only bytes
      // already read (a decryption keeps the cipher block before each part it works on, so
      // overwriting a part never disturbs the parts after it).
      std::mutex access;
      TSharedStreamView source(stream, access), dest(stream, access);
      // Progress after every MiB written, on this thread.
      constexpr int64_t kReportEvery = int64_t(1) << 20;
      int64_t unreported = 0;
      dest.OnWritten = [&](int64_t count) {
        unreported += count;
        if (unreported < kReportEvery) return;
        const int64_t units = unreported;
        unreported = 0;
        if (!meter.Advance(double(units))) throw TCancelled{};
      };
      TLockedFileCipher::Rekey(source, dest, oldPassword, newPassword);
      if (!meter.Advance(double(unreported))) throw TCancelled{};
    }
    if (timed) sfs.SetItemTimes(folder + name, times);
    ProcessEvents();
  }
  for (const std::string& name : folders)
    RekeyLockedFiles(sfs, folder + name + "\\", oldPassword, newPassword, meter);
}

bool TqmSFSWrapper::ChangePassword(std::string_view oldPassword, std::string_view newPassword,
                                   std::optional<TqmSafeKind> kind, const TqmProgress& progress) {
  const TqmSafeKind current = Kind();
  const TqmSafeKind target = kind.value_or(current);
  if (oldPassword == newPassword && target == current) return true;
  const std::string file = Sfs().FileName();
  // The old key first: a wrong old password is refused before a new key is calibrated and derived.
  // The Safe is open: its derivation, costly or not, was accepted when it was opened.
  const TTextKey oldKey = TextKeyFor(file, oldPassword, true);
  if (!TSingleFileSystem::CheckContainerPassword(file, oldKey)) return false;
  return ChangePassword(oldKey, NewTextKey(newPassword, target), progress);
}

bool TqmSFSWrapper::ChangePassword(const TTextKey& oldKey, const TTextKey& newKey,
                                   const TqmProgress& progress) {
  if (oldKey == newKey) return true;
  const std::string file = Sfs().FileName();
  if (Sfs().ReadOnly()) throw EQuillmarError("The Safe is open read-only; its password cannot be changed.");
  TSFSPartStorage& storage = StorageOr(storage_);
  if (TSingleFileSystem::IsMultiPart(file, &storage))
    throw EQuillmarError("The password of a Safe that is split into several files cannot be changed.");
  // A wrong old key would garble every locked file in the re-keying: refuse it up front.
  if (!TSingleFileSystem::CheckContainerPassword(file, oldKey)) return false;
  // The copy replaces the Safe's file: no other program may have it open meanwhile (it would go on
  // with the old file, and its changes would be lost).
  if (!Sfs().HoldAlone())
    throw EQuillmarError("The Safe is open in another program; close it there, then change the password.");
  struct TAlone {
    TqmSFSWrapper& safe;
    ~TAlone() {
      if (safe.IsOpen()) safe.Container()->ReleaseAlone();
    }
  } alone{*this};
  const std::string work = file + kPasswordWork;
  auto stage = [this](const char* name) {
    if (OnPasswordChangeStage) OnPasswordChangeStage(name);
  };
  auto removeWork = [&] {
    for (const std::string& path : {work, work + "_new"}) TSFSHugeFile::DeleteContainer(path, &storage);
    for (int i = 0; i < 10; ++i) TSFSHugeFile::DeleteContainer(work + std::to_string(i), &storage);
  };

  // Progress: the copy and the rebuild count the Safe file's bytes, the re-keying the locked files'.
  const int64_t safeBytes = Sfs().ContainerSize();
  const int64_t lockedBytes =
      Sfs().DirectoryExists(kFileLockerRoot) ? LockedBytes(Sfs(), kFileLockerRoot) : 0;
  TqmProgressMeter meter(progress, double(safeBytes) * 2 + double(lockedBytes));
  if (!meter.At(0)) return false;

  // The Safe file itself is never written: everything happens on a copy that replaces it in one
  // rename once it is complete and on the disk. The Safe stays open (and locked) meanwhile, so that no
  // other program changes it under the copy, nor takes the copy for a leftover.
  removeWork();
  bool swapped = false;
  try {
    CopyDiskFile(storage, file, work, &meter);
    stage("copied");
    bool changed;
    {
      TSingleFileSystem copy(work, kPartSize, kExtentSize, kOpenPageSize, 0, "", "", oldKey, false,
                             kModeReadWriteExclusive, storage_);
      // A scratch copy, replaced as a whole: it needs no journal of its own.
      copy.DisableJournal();
      if (copy.DirectoryExists(kFileLockerRoot))
        RekeyLockedFiles(copy, kFileLockerRoot, oldKey.Text(), newKey.Text(), meter);
      stage("rekeyed");
      const double rebuildStart = double(safeBytes) + double(lockedBytes);
      copy.OnProgress = [this, &meter, rebuildStart, safeBytes](bool& cancel, double percent) {
        if (static_cast<int64_t>(percent) % 2 == 0) ProcessEvents();
        if (!meter.At(rebuildStart + percent / 100.0 * double(safeBytes))) cancel = true;
      };
      changed = copy.ChangePassword(newKey, "", "");
      if (changed) stage("container");
    }
    if (!changed) {
      removeWork();
      return false;
    }
    // The last moment a cancel is honoured: the rename below makes the change.
    if (meter.Cancelled()) throw TCancelled{};
    // The copy stays locked until it has replaced the Safe: another program's recovery must not take it
    // for a leftover while it is swapped in.
    std::unique_ptr<TSFSAbstractFile> workLock = storage.Open(work, true, TSFSLock::Exclusive);
    if (!workLock->Flush()) throw EQuillmarError("The new Safe file could not be written to the disk.");
    stage("synced");
    // The Safe is closed before its file is replaced: an open container writes (its access times, its
    // journal) to whatever file has its name.
    CloseSafe();
    // The one step that changes the Safe: the copy replaces it.
    if (!storage.Replace(work, file))
      throw EQuillmarError("The Safe file \"" + file + "\" could not be replaced.");
    swapped = true;
    storage.SyncFolder(file);
    workLock.reset();
    stage("swapped");
  } catch (const TCancelled&) {
    removeWork();
    if (!IsOpen()) OpenContainer(file, oldKey);
    return false;
  } catch (...) {
    try {
      if (!swapped) removeWork();  // the Safe is as it was
      if (!IsOpen()) OpenContainer(file, swapped ? newKey : oldKey);
    } catch (...) {
    }
    throw;
  }
  OpenContainer(file, newKey);
  meter.At(double(safeBytes) * 2 + double(lockedBytes));
  return true;
}

bool TqmSFSWrapper::SalvageJournal(const std::string& file, const TTextKey& key,
                                   std::vector<std::string>& done) {
  CloseSafe();
  return TSingleFileSystem::SalvageJournal(file, key, done, storage_);
}

bool TqmSFSWrapper::Repair(std::string* log, std::vector<TRebuildNote>* notes, const TqmProgress& progress) {
  std::string text;
  InvalidateEntryIndex();
  TSingleFileSystem& sfs = Sfs();
  TqmProgressMeter meter(progress, 100);
  // The rebuild reopens the same container object; its own handler comes back afterwards.
  auto previous = sfs.OnProgress;
  sfs.OnProgress = [this, &meter](bool& cancel, double percent) {
    if (static_cast<int64_t>(percent) % 2 == 0) ProcessEvents();
    if (!meter.At(percent)) cancel = true;
  };
  bool ok = false;
  try {
    ok = meter.At(0) && sfs.RepairFile(text, false, notes);
  } catch (...) {
    sfs.OnProgress = previous;
    throw;
  }
  sfs.OnProgress = previous;
  if (log) *log = std::move(text);
  return ok;
}

}  // namespace quillmar
