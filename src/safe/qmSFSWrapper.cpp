#include "safe/qmSFSWrapper.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <functional>
#include <vector>

#include "base/CodePage.h"
#include "base/DateTime.h"
#include "base/Exception.h"
#include "base/FileStream.h"
#include "base/MemoryStream.h"
#include "base/RandomName.h"
#include "base/SecureWipe.h"
#include "container/ContainerPath.h"
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
#include "model/qmCategory.h"
#include "model/qmReminderEvent.h"
#include "model/qmRepositoryEntry.h"
#include "model/qvtIcon.h"
#include "safe/LockedFileCipher.h"
#include "safe/qmPrompter.h"
#include "safe/qmSettings.h"

namespace quillmar {

namespace fs = std::filesystem;

namespace {

// The name of a disk file as Safe text: disk file names are UTF-8 on this system, inside the Safe
// every text is in its code page.
std::string SafeNameOfDiskFile(const std::string& diskFile) {
  const std::string diskName = std::filesystem::path(diskFile).filename().string();
  try {
    return TCodePage().FromUtf8(diskName);
  } catch (const ECodePageError&) {
    throw EQuillmarError("The name of the file \"" + diskName +
                         "\" holds characters a Safe cannot store; rename the file and try again.");
  }
}

// How every Safe is opened: default part size, extent 8, page size 4096 (only used when creating),
// no compression, read/write with exclusive sharing.
constexpr int64_t kPartSize = -1;
constexpr int32_t kExtentSize = 8;
constexpr int32_t kOpenPageSize = 4096;
constexpr int32_t kCreatePageSize = 2048;
constexpr uint32_t kModeReadWriteExclusive = TSFSConstants::fmReadWriteExclusive;
// Read-only, others may read too but nobody may write: the shared lock of read-only opens.
constexpr uint32_t kModeReadShared = TSFSConstants::fmShareDenyWrite;
constexpr uint32_t kModeRead = TSFSConstants::fmReadOnly;
constexpr uint32_t kModeReadWrite = TSFSConstants::fmReadWrite;
constexpr char kReminderExt[] = ".reminder";
constexpr char kEntryExt[] = ".entry";

// A name that stays inside its folder: no separators, not "." or "..", not empty.
bool IsPlainName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find_first_of("\\/") == std::string::npos;
}

void RequirePlainName(const std::string& name, const char* what) {
  if (!IsPlainName(name)) throw EQuillmarError(std::string("Invalid ") + what + " name \"" + name + "\".");
}

std::string WithTrailingSeparator(std::string path) {
  if (!path.empty() && path.back() != '\\' && path.back() != '/') path += '\\';
  return path;
}

bool EndsWith(const std::string& text, std::string_view suffix) {
  return text.size() >= suffix.size() &&
         text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

std::string FormatDateTime(TDateTime value) {
  TDateTimeParts p = DecodeDateTime(value);
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d", p.year, p.month, p.day, p.hour,
                p.minute, p.second);
  return buffer;
}

// Holds an exclusive advisory lock on a disk file while it is read, so that a file another program
// keeps locked (a Safe, for one) is refused.
class TExclusiveRead {
public:
  explicit TExclusiveRead(const std::string& path) {
    std::error_code ec;
    if (!fs::is_regular_file(path, ec))
      throw EQuillmarError("\"" + path + "\" is not a file that can be locked.");
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) throw EQuillmarError("Cannot open \"" + path + "\": " + std::strerror(errno) + ".");
    if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
      ::close(fd_);
      throw EQuillmarError("\"" + path + "\" is opened by another application.");
    }
  }
  ~TExclusiveRead() {
    ::flock(fd_, LOCK_UN);
    ::close(fd_);
  }
  TExclusiveRead(const TExclusiveRead&) = delete;
  TExclusiveRead& operator=(const TExclusiveRead&) = delete;

private:
  int fd_ = -1;
};

// The work copy of a change of password, and what its rebuild makes beside it.
constexpr char kPasswordWork[] = ".pwchange";

// The rest of source, in pieces, into dest. A source that ends before its size throws EUnreadableData
// with the offset of the first byte it did not deliver: nothing is taken for the whole when a part of
// it cannot be read.
void CopyWhole(TStream& source, TStream& dest) {
  const int64_t size = source.Size();
  int64_t at = source.Position();
  std::vector<char> buffer(1 << 16);
  while (at < size) {
    const int64_t want = std::min<int64_t>(static_cast<int64_t>(buffer.size()), size - at);
    const int64_t got = source.Read(buffer.data(), want);
    if (got <= 0) {
      SecureWipe(buffer.data(), buffer.size());
      throw EUnreadableData(
          "Stream read error: the bytes from offset " + std::to_string(at) + " on cannot be read", at);
    }
    dest.WriteBuffer(buffer.data(), got);
    at += got;
  }
  SecureWipe(buffer.data(), buffer.size());
}

// Writes a disk file through a new private (0600) file in its folder that is renamed over it only
// once fill has written it whole and it is on the disk: a failure leaves no partial file behind, and
// a file of that name stays as it was.
template <class Fill>
void WriteDiskFileWhole(const std::string& diskFile, Fill&& fill) {
  fs::path folder = fs::path(diskFile).parent_path();
  if (folder.empty()) folder = ".";
  std::string temp = (folder / ".quillmar-XXXXXX").string();
  const int fd = ::mkstemp(temp.data());
  if (fd < 0)
    throw EQuillmarError("The file \"" + diskFile + "\" cannot be written: " + std::strerror(errno) + ".");
  ::close(fd);
  try {
    {
      TFileStream out(temp, TFileMode::ReadWrite);
      fill(out);
      out.Flush();
    }
    if (::rename(temp.c_str(), diskFile.c_str()) != 0)
      throw EQuillmarError("The file \"" + diskFile + "\" cannot be written: " + std::strerror(errno) + ".");
  } catch (...) {
    ::unlink(temp.c_str());
    throw;
  }
}

// "from byte N on" for messages about a file that cannot be read in full.
std::string UnreadableFrom(const EUnreadableData& e) {
  return "cannot be read from byte " + std::to_string(e.Offset()) +
         " on (a page of the Safe is damaged there)";
}

// Removes the partial container file of an unfinished write unless Commit was called.
class TContainerFileGuard {
public:
  TContainerFileGuard(TSingleFileSystem& sfs, std::string path) : sfs_(sfs), path_(std::move(path)) {}
  ~TContainerFileGuard() {
    if (!committed_) {
      try {
        sfs_.DeleteFile(path_);
      } catch (...) {
      }
    }
  }
  void Commit() { committed_ = true; }

private:
  TSingleFileSystem& sfs_;
  std::string path_;
  bool committed_ = false;
};

TSFSPartStorage& StorageOr(TSFSPartStorage* storage) {
  return storage ? *storage : DiskPartStorage();
}

// A cancel asked for through the progress callback, carried out of the nested work to the one
// place that undoes it.
struct TCancelled {};

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

// A name the layer gives a partial file while it writes it: prefix, digits, ".tmp".
bool IsPartialName(const std::string& name, const std::string& prefix) {
  if (name.size() <= prefix.size() + 4 || name.compare(0, prefix.size(), prefix) != 0 ||
      !EndsWith(name, ".tmp"))
    return false;
  for (size_t i = prefix.size(); i + 4 < name.size(); ++i)
    if (name[i] < '0' || name[i] > '9') return false;
  return true;
}

}  // namespace

TqmSFSWrapper::TqmSFSWrapper(TqmPrompter* prompter) : prompter_(prompter) {}

TqmSFSWrapper::~TqmSFSWrapper() {
  try {
    CloseSafe();
  } catch (...) {
  }
}

TSingleFileSystem& TqmSFSWrapper::Sfs() {
  if (!sfs_) throw EQuillmarError("No Safe is open.");
  return *sfs_;
}

bool TqmSFSWrapper::Ask(const std::string& message) {
  return prompter_ != nullptr && prompter_->AskYesNo("", message);
}

void TqmSFSWrapper::ProcessEvents() {
  if (OnProcessEvents) OnProcessEvents();
}

// --- Changes -------------------------------------------------------------------------------------

TqmSFSWrapper::TChange::TChange(TqmSFSWrapper& safe)
    : safe_(safe), sfs_(&safe.Sfs()), exceptions_(std::uncaught_exceptions()) {
  sfs_->BeginTransaction();
}

TqmSFSWrapper::TChange::~TChange() noexcept(false) {
  if (done_) return;
  if (std::uncaught_exceptions() > exceptions_) {
    // Left through an exception: nothing of the change stays, and nothing cached from it either.
    done_ = true;
    try {
      sfs_->RollbackTransaction();
    } catch (...) {
    }
    safe_.InvalidateEntryIndex();
    return;
  }
  Commit();
}

void TqmSFSWrapper::TChange::Commit() {
  if (done_) return;
  done_ = true;
  try {
    sfs_->CommitTransaction();
  } catch (...) {
    safe_.InvalidateEntryIndex();
    throw;
  }
}

// --- Safe as a whole -------------------------------------------------------------------------------

TKeyDerivation TqmSFSWrapper::KeyDerivationOf(const std::string& file) {
  return TSingleFileSystem::ReadKeyDerivation(file);
}

TTextKey TqmSFSWrapper::TextKeyFor(const std::string& file, std::string_view password) {
  return TTextKey::Derive(password, KeyDerivationOf(file));
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

void TqmSFSWrapper::OpenContainer(const std::string& file, const TTextKey& key, bool readOnly) {
  auto sfs =
      std::make_unique<TSingleFileSystem>(file, kPartSize, kExtentSize, kOpenPageSize, 0, "", "", key, false,
                                          readOnly ? kModeReadShared : kModeReadWriteExclusive, storage_);
  sfs->OnProgress = [this](bool&, double percent) {
    if (static_cast<int64_t>(percent) % 2 == 0) ProcessEvents();
  };
  sfs_ = std::move(sfs);
}

int TqmSFSWrapper::CheckSafe(const std::string& file, std::string_view password, bool forCreate,
                             bool readOnly) {
  std::error_code ec;
  if (forCreate) return fs::exists(file, ec) ? csFileExists : csUsable;
  TellLeftovers(file);
  try {
    if (!TSingleFileSystem::IsContainerFile(file)) return csNotContainer;
  } catch (const ESFSJournalError& e) {
    // An interrupted change that cannot be undone: the file is not opened, and the user is told why.
    if (prompter_) prompter_->ShowMessage(TqmPrompter::TMessageKind::Plain, "", e.what());
    return csCannotOpen;
  } catch (const std::exception&) {
    return csNotContainer;
  }
  TTextKey key;
  try {
    key = TextKeyFor(file, password);
  } catch (const std::exception& e) {
    if (prompter_) prompter_->ShowMessage(TqmPrompter::TMessageKind::Plain, "", e.what());
    return csCannotOpen;
  }
  return CheckRecovered(file, key, readOnly);
}

int TqmSFSWrapper::CheckSafe(const std::string& file, const TTextKey& key, bool readOnly) {
  TellLeftovers(file);
  return CheckRecovered(file, key, readOnly);
}

int TqmSFSWrapper::CheckRecovered(const std::string& file, const TTextKey& key, bool readOnly) {
  try {
    if (!TSingleFileSystem::IsContainerFile(file)) return csNotContainer;
  } catch (const ESFSJournalError& e) {
    if (prompter_) prompter_->ShowMessage(TqmPrompter::TMessageKind::Plain, "", e.what());
    return csCannotOpen;
  } catch (const std::exception&) {
    return csNotContainer;
  }
  try {
    // A derivation that cannot be followed is a reason to show, not a wrong password.
    TSingleFileSystem::ReadKeyDerivation(file);
    if (TSingleFileSystem::IsContainerEncrypted(file) &&
        !TSingleFileSystem::CheckContainerPassword(file, key))
      return csWrongPassword;
    TSingleFileSystem probe(file, kPartSize, kExtentSize, kOpenPageSize, 0, "", "", key, false,
                            readOnly ? kModeReadShared : kModeReadWriteExclusive, storage_);
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
  CloseSafe();
  TellLeftovers(file);
  OpenRecovered(file, TextKeyFor(file, password), readOnly);
}

void TqmSFSWrapper::OpenSafe(const std::string& file, const TTextKey& key, bool readOnly) {
  CloseSafe();
  TellLeftovers(file);
  OpenRecovered(file, key, readOnly);
}

void TqmSFSWrapper::OpenRecovered(const std::string& file, const TTextKey& key, bool readOnly) {
  OpenContainer(file, key, readOnly);
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
  // Partial files of a lock or an attachment interrupted before they were journaled: their change
  // never finished, so they belong to nobody.
  TSingleFileSystem& sfs = Sfs();
  std::vector<std::string> partial;
  std::function<void(const std::string&)> walk = [&](const std::string& folder) {
    for (const std::string& name : List(folder, "*.*", false))
      if (IsPartialName(name, "~lock")) partial.push_back(folder + name);
    for (const std::string& name : List(folder, "*.*", true)) walk(folder + name + "\\");
  };
  walk(kFileLockerRoot);
  for (const std::string& name : List(kAttachedFilesFolder, "*.*", false))
    if (IsPartialName(name, "~attach")) partial.push_back(kAttachedFilesFolder + name);
  if (partial.empty()) return;
  TChange change(*this);
  std::string names;
  for (const std::string& path : partial) {
    if (sfs.DeleteFile(path)) names += (names.empty() ? "" : ", ") + path;
  }
  change.Commit();
  if (prompter_ && !names.empty())
    prompter_->ShowMessage(
        TqmPrompter::TMessageKind::Information, "",
        "Removed unfinished files that an interrupted program left in the Safe: " + names + ".");
}

void TqmSFSWrapper::CloseSafe() {
  InvalidateEntryIndex();
  sfs_.reset();
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

  // Progress is reported after every MiB re-keyed and after every file.
  constexpr int64_t kReportEvery = int64_t(1) << 20;
  std::vector<uint8_t> buffer(TLockedFileCipher::kPieceSize);
  TWipeOnExit wipe(buffer);
  for (const std::string& name : files) {
    TSFSFileStream stream(&sfs, 0, "", "", "", kModeReadWrite, folder + name);
    int64_t size = stream.Size();
    if (size > 0) {
      // In place, piece by piece: the decrypting chain keeps the last cipher block it has seen, so
      // overwriting a piece never disturbs the pieces after it.
      TLockedFileChain decrypt(oldPassword, TLockedFileChain::TDirection::Decrypt);
      TLockedFileChain encrypt(newPassword, TLockedFileChain::TDirection::Encrypt);
      int64_t position = 0, unreported = 0;
      while (position < size) {
        int64_t count = std::min<int64_t>(static_cast<int64_t>(buffer.size()), size - position);
        bool final = position + count == size;
        stream.Seek(position, TSeekOrigin::Begin);
        stream.ReadBuffer(buffer.data(), count);
        decrypt.Process(buffer.data(), buffer.data(), static_cast<size_t>(count), final);
        encrypt.Process(buffer.data(), buffer.data(), static_cast<size_t>(count), final);
        stream.Seek(position, TSeekOrigin::Begin);
        stream.WriteBuffer(buffer.data(), count);
        position += count;
        unreported += count;
        if (unreported >= kReportEvery && !final) {
          if (!meter.Advance(double(unreported))) throw TCancelled{};
          unreported = 0;
        }
      }
      if (!meter.Advance(double(unreported))) throw TCancelled{};
    }
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
  const TTextKey oldKey = TextKeyFor(file, oldPassword);
  if (!TSingleFileSystem::CheckContainerPassword(file, oldKey)) return false;
  return ChangePassword(oldKey, NewTextKey(newPassword, target), progress);
}

bool TqmSFSWrapper::ChangePassword(const TTextKey& oldKey, const TTextKey& newKey,
                                   const TqmProgress& progress) {
  if (oldKey == newKey) return true;
  const std::string file = Sfs().FileName();
  if (Sfs().ReadOnly()) throw EQuillmarError("The Safe is open read-only; its password cannot be changed.");
  TSFSPartStorage& storage = StorageOr(storage_);
  if (storage.Exists(file + "1"))
    throw EQuillmarError("The password of a Safe that is split into several files cannot be changed.");
  // A wrong old key would garble every locked file in the re-keying: refuse it up front.
  if (!TSingleFileSystem::CheckContainerPassword(file, oldKey)) return false;
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

std::vector<std::string> TqmSFSWrapper::ListNames(const std::string& folder, bool folders) {
  return List(WithTrailingSeparator(folder), "*.*", folders);
}

std::string TqmSFSWrapper::FileReadProblem(const std::string& path) {
  // A stream that takes the bytes and keeps none.
  class TDiscard : public TStream {
  public:
    int64_t Read(void*, int64_t) override { return 0; }
    int64_t Write(const void*, int64_t count) override { return count; }
    int64_t Seek(int64_t offset, TSeekOrigin) override { return offset; }
    int64_t Size() override { return 0; }
    void SetSize(int64_t) override {}
  } discard;
  try {
    // Records carry the fixed record password; the other files have none of their own.
    TSFSFileStream stream(&Sfs(), 0, "", "", kRecordPassword, kModeRead, path);
    CopyWhole(stream, discard);
  } catch (const EUnreadableData& e) {
    return UnreadableFrom(e);
  } catch (const std::exception& e) {
    return std::string("cannot be read: ") + e.what();
  }
  return "";
}

std::string TqmSFSWrapper::ReadRecordBytes(const std::string& path) {
  TMemoryStream bytes;
  try {
    TSFSFileStream stream(&Sfs(), 0, "", "", kRecordPassword, kModeRead, path);
    CopyWhole(stream, bytes);
  } catch (const EUnreadableData& e) {
    throw EQuillmarError("The record \"" + path + "\" " + UnreadableFrom(e) + ".");
  } catch (const std::exception& e) {
    throw EQuillmarError("The record \"" + path + "\" cannot be read: " + e.what());
  }
  return bytes.ToString();
}

void TqmSFSWrapper::EnsureLayout() {
  TSingleFileSystem& sfs = Sfs();
  // A Safe opened read-only is read as it is: a missing folder lists as empty.
  if (sfs.ReadOnly()) return;
  std::vector<const char*> missing;
  for (const char* folder : {kRepositoryRoot, kAttachedFilesFolder, kFileLockerRoot, kSystemFolder,
                             kCategoryIconsFolder, kEntryIconsFolder, kRemindersFolder})
    if (!sfs.DirectoryExists(folder)) missing.push_back(folder);
  if (missing.empty()) return;
  TChange change(*this);
  for (const char* folder : missing) {
    if (!sfs.ForceDirectories(folder))
      throw EQuillmarError(std::string("The folder \"") + folder + "\" could not be created in the Safe.");
  }
  change.Commit();
}

// --- Helpers ---------------------------------------------------------------------------------------

std::vector<std::string> TqmSFSWrapper::List(const std::string& folder, const std::string& mask,
                                             bool folders) {
  TSingleFileSystem& sfs = Sfs();
  std::vector<std::string> names;
  if (!sfs.DirectoryExists(folder)) return names;
  TSearchRec rec;
  if (sfs.FindFirst(folder + mask, faAnyFile, rec) == 0) {
    do {
      if (((rec.Attr & faDirectory) != 0) == folders) names.push_back(rec.Name);
    } while (sfs.FindNext(rec) == 0);
  }
  sfs.FindClose(rec);
  return names;
}

void TqmSFSWrapper::WriteRecord(const std::string& path, const std::string& bytes,
                                const std::string& password) {
  TSFSFileStream stream(&Sfs(), 0, "", "", password, TSingleFileSystem::fmCreate, path);
  stream.WriteString(bytes);
}

std::string TqmSFSWrapper::CategoryFolder(const TqmCategory* category) const {
  return std::string(kRepositoryRoot) + (category ? category->FolderPath() : std::string());
}

std::string TqmSFSWrapper::EntryFolder(const std::string& path) const {
  return std::string(kRepositoryRoot) + WithTrailingSeparator(path);
}

std::string TqmSFSWrapper::IconFolder(int kind) const {
  if (kind == ikCategory) return kCategoryIconsFolder;
  if (kind == ikEntry) return kEntryIconsFolder;
  throw EQuillmarError("Unknown icon kind " + std::to_string(kind) + ".");
}

// --- Categories ------------------------------------------------------------------------------------

int TqmSFSWrapper::CountSubcategories(const TqmCategory* category) {
  EnsureLayout();
  return static_cast<int>(List(CategoryFolder(category), "*.*", true).size());
}

bool TqmSFSWrapper::LoadCategory(const TqmCategory* parent, int32_t key, bool byOrder,
                                 TqmCategory& category) {
  EnsureLayout();
  const std::string parentFolder = CategoryFolder(parent);
  std::vector<std::string> folders = List(parentFolder, "*.*", true);
  auto read = [&](const std::string& folder) {
    std::string tpl = parentFolder + folder + "\\" + kCategoryTemplateFile;
    if (!Sfs().FileExists(tpl)) return false;
    const std::string bytes = ReadRecordBytes(tpl);
    if (!TqmCategory::LooksLikeRecord(bytes))
      throw EQuillmarError("The category record \"" + tpl + "\" holds no category record (" +
                           std::to_string(bytes.size()) + " bytes of something else).");
    TMemoryStream stream(bytes);
    try {
      category.LoadFromStream(stream);
    } catch (const EQuillmarError& e) {
      throw EQuillmarError("The category record \"" + tpl + "\" cannot be read: " + e.what());
    }
    category.SetFolderName(folder);
    return true;
  };
  if (byOrder) {
    for (const std::string& folder : folders)
      if (read(folder) && category.SortOrder() == key) return true;
    return false;
  }
  if (key < 0 || static_cast<size_t>(key) >= folders.size()) return false;
  return read(folders[static_cast<size_t>(key)]);
}

void TqmSFSWrapper::SaveCategory(TqmCategory& category) {
  RequireStorable(category);
  TChange change(*this);
  EnsureLayout();
  TSingleFileSystem& sfs = Sfs();
  const std::string parentFolder = CategoryFolder(category.Parent());
  if (category.FolderName().empty())
    category.SetFolderName(RandomFreeName(
        "category", "", [&](const std::string& name) { return sfs.FileExists(parentFolder + name); }));
  const std::string folder = parentFolder + category.FolderName() + "\\";
  if (!sfs.DirectoryExists(folder) && !sfs.ForceDirectories(folder))
    throw EQuillmarError("The category folder could not be created in the Safe.");
  TMemoryStream stream;
  category.SaveToStream(stream);
  WriteRecord(folder + kCategoryTemplateFile, stream.ToString(), kRecordPassword);
}

void TqmSFSWrapper::DeleteCategory(const std::string& path) {
  TChange change(*this);
  if (path.empty() || path == "\\")
    throw EQuillmarError("The root of the Password Repository cannot be deleted.");
  EnsureLayout();
  InvalidateEntryIndex();
  Sfs().DeleteDirectory(EntryFolder(path));
}

bool TqmSFSWrapper::CopyTree(const std::string& source, const std::string& dest) {
  TSingleFileSystem& sfs = Sfs();
  if (!sfs.ForceDirectories(dest)) return false;
  for (const std::string& name : List(source, "*.*", false))
    if (!sfs.CopyFile(source + name, dest + name, kRecordPassword)) return false;
  for (const std::string& name : List(source, "*.*", true))
    if (!CopyTree(source + name + "\\", dest + name + "\\")) return false;
  return true;
}

bool TqmSFSWrapper::MoveCategory(const TqmCategory& category, const TqmCategory* newParent, bool keepSource) {
  TChange change(*this);
  EnsureLayout();
  if (category.FolderName().empty()) return false;
  TSingleFileSystem& sfs = Sfs();
  const std::string source = CategoryFolder(&category);
  const std::string destParent = CategoryFolder(newParent);
  const std::string dest = destParent + category.FolderName() + "\\";
  // Into its own tree the copy would never end; onto an existing folder it would mix two categories.
  if (destParent.compare(0, source.size(), source) == 0) return false;
  if (sfs.FileExists(dest)) return false;
  InvalidateEntryIndex();
  if (!CopyTree(source, dest)) {
    sfs.DeleteDirectory(dest);
    return false;
  }
  if (!keepSource) sfs.DeleteDirectory(source);
  return true;
}

// --- Entries ---------------------------------------------------------------------------------------

int TqmSFSWrapper::CountEntries(const std::string& path) {
  EnsureLayout();
  return static_cast<int>(List(EntryFolder(path), "*.entry", false).size());
}

TqmSFSWrapper::TEntryIndex& TqmSFSWrapper::IndexOf(const std::string& folder) {
  auto it = entryIndex_.find(folder);
  if (it == entryIndex_.end()) {
    TEntryIndex index;
    for (const std::string& name : List(folder, "*.entry", false)) {
      // One file that cannot be read is named and left out; the others are still found.
      const std::string path = folder + name;
      std::string bytes;
      try {
        bytes = ReadRecordBytes(path);
      } catch (const EQuillmarError& e) {
        index.Unreadable.push_back({path, e.what()});
        continue;
      }
      if (bytes.size() <= 4) {
        index.Unreadable.push_back({path, "The entry record \"" + path + "\" is empty (" +
                                              std::to_string(bytes.size()) + " bytes)."});
        continue;
      }
      if (!TqmRepositoryEntry::LooksLikeRecord(bytes)) {
        index.Unreadable.push_back({path, "The entry record \"" + path + "\" holds no entry record (" +
                                              std::to_string(bytes.size()) + " bytes of something else)."});
        WipeString(bytes);
        continue;
      }
      TqmRepositoryEntry probe;
      probe.ParseText(bytes);
      WipeString(bytes);
      index.BySortOrder.emplace(probe.SortOrder(), name);  // the first in listing order wins
      index.InListingOrder.push_back(name);
    }
    it = entryIndex_.emplace(folder, std::move(index)).first;
  }
  return it->second;
}

bool TqmSFSWrapper::LoadEntry(const std::string& path, int32_t sortOrder, TqmRepositoryEntry& entry) {
  EnsureLayout();
  const std::string folder = EntryFolder(path);
  const TEntryIndex& index = IndexOf(folder);
  auto hit = index.BySortOrder.find(sortOrder);
  if (hit == index.BySortOrder.end()) return false;
  const std::string name = hit->second;
  std::string bytes = ReadRecordBytes(folder + name);
  TMemoryStream stream(bytes);
  WipeString(bytes);
  entry.LoadFromStream(stream);
  entry.SetFileName(name);
  return true;
}

bool TqmSFSWrapper::LoadEntryAt(const std::string& path, int index, TqmRepositoryEntry& entry) {
  EnsureLayout();
  const std::string folder = EntryFolder(path);
  const TEntryIndex& entries = IndexOf(folder);
  if (index < 0 || size_t(index) >= entries.InListingOrder.size()) return false;
  const std::string name = entries.InListingOrder[size_t(index)];
  std::string bytes = ReadRecordBytes(folder + name);
  TMemoryStream stream(bytes);
  WipeString(bytes);
  entry.LoadFromStream(stream);
  entry.SetFileName(name);
  return true;
}

std::vector<TqmUnreadableRecord> TqmSFSWrapper::UnreadableEntries(const std::string& path) {
  EnsureLayout();
  return IndexOf(EntryFolder(path)).Unreadable;
}

void TqmSFSWrapper::SaveEntry(const std::string& path, TqmRepositoryEntry& entry) {
  RequireStorable(entry);
  TChange change(*this);
  EnsureLayout();
  TSingleFileSystem& sfs = Sfs();
  const std::string folder = EntryFolder(path);
  if (!sfs.DirectoryExists(folder) && !sfs.ForceDirectories(folder))
    throw EQuillmarError("The category folder could not be created in the Safe.");
  if (entry.FileName().empty())
    entry.SetFileName(RandomFreeName("", kEntryExt,
                                     [&](const std::string& name) { return sfs.FileExists(folder + name); }));
  RequirePlainName(entry.FileName(), "entry file");
  entryIndex_.erase(folder);
  TMemoryStream stream;
  entry.SaveToStream(stream);
  WriteRecord(folder + entry.FileName(), stream.ToString(), kRecordPassword);
}

bool TqmSFSWrapper::DeleteEntry(const std::string& path, const std::string& fileName) {
  TChange change(*this);
  EnsureLayout();
  if (!IsPlainName(fileName)) return false;
  const std::string file = EntryFolder(path) + fileName;
  entryIndex_.erase(EntryFolder(path));
  if (Sfs().FileExists(file)) Sfs().DeleteFile(file);
  return !Sfs().FileExists(file);
}

bool TqmSFSWrapper::MoveEntry(const TqmRepositoryEntry& entry, const TqmCategory* newCategory,
                              bool keepSource) {
  TChange change(*this);
  EnsureLayout();
  if (!IsPlainName(entry.FileName())) return false;
  TSingleFileSystem& sfs = Sfs();
  const std::string sourceFolder = CategoryFolder(entry.Parent());
  const std::string destFolder = CategoryFolder(newCategory);
  const std::string source = sourceFolder + entry.FileName();
  const std::string dest = destFolder + entry.FileName();
  if (sourceFolder == destFolder) return sfs.FileExists(source);
  // Never replace another entry that happens to have the same file name.
  if (!sfs.FileExists(source) || sfs.FileExists(dest)) return false;
  if (!sfs.DirectoryExists(destFolder) && !sfs.ForceDirectories(destFolder)) return false;
  InvalidateEntryIndex();
  if (!sfs.CopyFile(source, dest, kRecordPassword)) {
    sfs.DeleteFile(dest);
    return false;
  }
  if (!keepSource) sfs.DeleteFile(source);
  return true;
}

int TqmSFSWrapper::DeleteAllEntries(const std::string& folder) {
  TChange change(*this);
  EnsureLayout();
  InvalidateEntryIndex();
  const std::string base = WithTrailingSeparator(folder);
  int count = 0;
  for (const std::string& name : List(base, "*.*", false))
    if (EndsWith(name, kEntryExt) && name.size() > std::strlen(kEntryExt) && Sfs().DeleteFile(base + name))
      ++count;
  for (const std::string& name : List(base, "*.*", true)) count += DeleteAllEntries(base + name + "\\");
  return count;
}

// --- Icons -----------------------------------------------------------------------------------------

int TqmSFSWrapper::ListIcons(int kind, std::vector<std::string>& list) {
  EnsureLayout();
  std::vector<std::string> names = List(IconFolder(kind), "*.ico", false);
  list.insert(list.end(), names.begin(), names.end());
  return static_cast<int>(names.size());
}

bool TqmSFSWrapper::LoadIcon(int kind, const std::string& name, TqvtIcon& icon) {
  EnsureLayout();
  if (!IsPlainName(name)) return false;
  const std::string path = IconFolder(kind) + name;
  if (!Sfs().FileExists(path)) return false;
  icon.SetImage(ReadRecordBytes(path));
  icon.SetName(name);
  return true;
}

void TqmSFSWrapper::SaveIcon(int kind, const TqvtIcon& icon, const std::string& name) {
  TChange change(*this);
  EnsureLayout();
  RequirePlainName(name, "icon");
  WriteRecord(IconFolder(kind) + name, icon.Image(), kRecordPassword);
}

// --- Reminders -------------------------------------------------------------------------------------

int TqmSFSWrapper::ReminderCount() {
  EnsureLayout();
  return static_cast<int>(List(kRemindersFolder, "*.reminder", false).size());
}

bool TqmSFSWrapper::LoadReminderAt(int index, TqmReminderEvent& reminder) {
  EnsureLayout();
  std::vector<std::string> names = List(kRemindersFolder, "*.reminder", false);
  if (index < 0 || static_cast<size_t>(index) >= names.size()) return false;
  const std::string& name = names[static_cast<size_t>(index)];
  ReadReminder(kRemindersFolder + name, reminder);
  // The file name is what identifies the reminder, whatever the record says.
  reminder.SetId(EndsWith(name, kReminderExt) ? name.substr(0, name.size() - std::strlen(kReminderExt))
                                              : name);
  return true;
}

bool TqmSFSWrapper::LoadReminder(const std::string& id, TqmReminderEvent& reminder) {
  EnsureLayout();
  if (!IsPlainName(id)) return false;
  const std::string path = kRemindersFolder + id + kReminderExt;
  if (!Sfs().FileExists(path)) return false;
  ReadReminder(path, reminder);
  reminder.SetId(id);
  return true;
}

void TqmSFSWrapper::ReadReminder(const std::string& path, TqmReminderEvent& reminder) {
  std::string bytes = ReadRecordBytes(path);
  TMemoryStream stream(bytes);
  const bool recognised = bytes.size() >= 4 && TqmReminderEvent::LooksLikeRecord(bytes);
  WipeString(bytes);
  if (!recognised) throw EQuillmarError("The reminder record \"" + path + "\" holds no reminder record.");
  try {
    reminder.LoadFromStream(stream);
  } catch (const EQuillmarError& e) {
    throw EQuillmarError("The reminder record \"" + path + "\" cannot be read: " + e.what());
  }
}

void TqmSFSWrapper::SaveReminder(TqmReminderEvent& reminder) {
  RequireStorable(reminder);
  TChange change(*this);
  EnsureLayout();
  TSingleFileSystem& sfs = Sfs();
  if (reminder.id().empty()) {
    std::string file = RandomFreeName(
        "", kReminderExt, [&](const std::string& name) { return sfs.FileExists(kRemindersFolder + name); });
    reminder.SetId(file.substr(0, file.size() - std::strlen(kReminderExt)));
  }
  RequirePlainName(reminder.id(), "reminder");
  TMemoryStream stream;
  reminder.SaveToStream(stream);
  WriteRecord(kRemindersFolder + reminder.id() + kReminderExt, stream.ToString(), kRecordPassword);
}

bool TqmSFSWrapper::DeleteReminder(const std::string& id) {
  TChange change(*this);
  EnsureLayout();
  if (!IsPlainName(id)) return false;
  const std::string path = kRemindersFolder + id + kReminderExt;
  if (Sfs().FileExists(path)) Sfs().DeleteFile(path);
  return !Sfs().FileExists(path);
}

std::vector<std::string> TqmSFSWrapper::ReminderNames() {
  EnsureLayout();
  std::vector<std::string> ids;
  for (const std::string& name : List(kRemindersFolder, "*.reminder", false))
    ids.push_back(EndsWith(name, kReminderExt) ? name.substr(0, name.size() - std::strlen(kReminderExt))
                                               : name);
  return ids;
}

std::string TqmSFSWrapper::CopyReminder(const std::string& id) {
  TqmReminderEvent copy;
  if (!LoadReminder(id, copy)) return "";
  copy.SetId("");
  SaveReminder(copy);
  return copy.id();
}

// --- Attached files --------------------------------------------------------------------------------

std::string TqmSFSWrapper::AttachFile(const std::string& diskFile) {
  TChange change(*this);
  EnsureLayout();
  TSingleFileSystem& sfs = Sfs();
  const std::string name = SafeNameOfDiskFile(diskFile);
  RequirePlainName(name, "file");
  if (auto problem = ItemNameProblem(name, "The name of the attached file"); !problem.empty())
    throw ERecordRefused(problem);
  const std::string target = kAttachedFilesFolder + name;
  if (sfs.FileExists(target) && !Ask(kMsgFileExists)) return "";
  TFileStream source(diskFile, TFileMode::Read);
  // Written under a temporary name first, so that a failed copy never costs the old attachment.
  const std::string temp = RandomFreeName(std::string(kAttachedFilesFolder) + "~attach", ".tmp",
                                          [&](const std::string& path) { return sfs.FileExists(path); });
  // One change: a failure (or a crash) leaves neither the temporary file nor a lost old attachment.
  {
    TSFSFileStream dest(&sfs, 0, "", "", "", TSingleFileSystem::fmCreate, temp);
    dest.CopyFrom(source);
  }
  if (sfs.FileExists(target) && !sfs.DeleteFile(target))
    throw EQuillmarError("The attached file \"" + name + "\" is in use and cannot be replaced.");
  if (!sfs.RenameFile(temp, target)) throw EQuillmarError("The file \"" + name + "\" could not be attached.");
  change.Commit();
  return name;
}

std::string TqmSFSWrapper::ExtractAttachedFile(const std::string& name, const std::string& diskFolder) {
  EnsureLayout();
  RequirePlainName(name, "attached file");
  const std::string path = kAttachedFilesFolder + name;
  if (!Sfs().FileExists(path)) throw EQuillmarError("The attached file \"" + name + "\" is not in the Safe.");
  // Names in the Safe are in its code page; file names on this system are UTF-8.
  const std::string diskFile = (fs::path(diskFolder) / TCodePage().ToUtf8(name)).string();
  TSFSFileStream source(&Sfs(), 0, "", "", "", kModeRead, path);
  try {
    WriteDiskFileWhole(diskFile, [&](TStream& out) { CopyWhole(source, out); });
  } catch (const EUnreadableData& e) {
    throw EQuillmarError("The attached file \"" + name + "\" " + UnreadableFrom(e) +
                         "; nothing was written to the disk.");
  }
  return diskFile;
}

bool TqmSFSWrapper::DeleteAttachedFile(const std::string& name) {
  TChange change(*this);
  if (name.empty()) return true;
  EnsureLayout();
  if (!IsPlainName(name)) return false;
  const std::string path = kAttachedFilesFolder + name;
  if (!Sfs().FileExists(path)) return true;
  return Sfs().DeleteFile(path);
}

// --- Settings --------------------------------------------------------------------------------------

std::string TqmSFSWrapper::ReadSettingsText() {
  EnsureLayout();
  if (!Sfs().FileExists(kSettingsFile)) return "";
  return ReadRecordBytes(kSettingsFile);
}

void TqmSFSWrapper::WriteSettingsText(const std::string& text) {
  TChange change(*this);
  EnsureLayout();
  WriteRecord(kSettingsFile, text, kRecordPassword);
}

void TqmSFSWrapper::LoadSettings(TqmSettings& settings) {
  settings.ParseText(ReadSettingsText());
}

void TqmSFSWrapper::SaveSettings(const TqmSettings& settings) {
  if (auto problem = RecordProblem(settings); !problem.empty()) throw ERecordRefused(problem);
  const std::string text = settings.GetText();
  // Settings that did not change are not written again: saving them at every close would otherwise
  // be a change of the Safe (a journal, syncs) each time, and fail where the Safe cannot be written.
  try {
    if (ReadSettingsText() == text) return;
  } catch (const std::exception&) {
    // An unreadable settings record is replaced.
  }
  WriteSettingsText(text);
}

// --- File Locker -----------------------------------------------------------------------------------

int TqmSFSWrapper::CountFiles(const std::string& folder) {
  EnsureLayout();
  return static_cast<int>(List(WithTrailingSeparator(folder), "*.*", false).size());
}

int TqmSFSWrapper::CountFolders(const std::string& folder) {
  EnsureLayout();
  return static_cast<int>(List(WithTrailingSeparator(folder), "*.*", true).size());
}

namespace {

TqmFileInfo MakeFileInfo(TSingleFileSystem& sfs, const std::string& folder, const std::string& name) {
  TqmFileInfo info;
  info.Name = name;
  TSearchRec rec;
  if (sfs.FindFirst(folder + name, faAnyFile, rec) == 0) info.Size = static_cast<uint32_t>(rec.Size);
  sfs.FindClose(rec);
  int64_t age = sfs.FileAge(folder + name);
  TDateTime time = 0;
  if (age >= 0 && TryDosDateTimeToDateTime(static_cast<uint32_t>(age), time)) {
    info.ModifiedTime = time;
    info.Modified = FormatDateTime(time);
  }
  return info;
}

}  // namespace

TqmFileInfo TqmSFSWrapper::FileInfoAt(const std::string& folder, int index) {
  EnsureLayout();
  const std::string base = WithTrailingSeparator(folder);
  std::vector<std::string> names = List(base, "*.*", false);
  if (index < 0 || static_cast<size_t>(index) >= names.size()) return {};
  return MakeFileInfo(Sfs(), base, names[static_cast<size_t>(index)]);
}

TqmFileInfo TqmSFSWrapper::FolderInfoAt(const std::string& folder, int index) {
  EnsureLayout();
  const std::string base = WithTrailingSeparator(folder);
  std::vector<std::string> names = List(base, "*.*", true);
  if (index < 0 || static_cast<size_t>(index) >= names.size()) return {};
  TqmFileInfo info = MakeFileInfo(Sfs(), base, names[static_cast<size_t>(index)]);
  info.Size = 0;
  return info;
}

std::string TqmSFSWrapper::ItemNameProblem(const std::string& name, const std::string& what) {
  if (name.empty()) return what + " is empty.";
  if (name == "." || name == "..") return what + " \"" + name + "\" is not a name.";
  if (name.find_first_of("\\/") != std::string::npos)
    return what + " \"" + ShownInMessage(name) +
           "\" holds \"\\\" or \"/\", which separate folders in the Safe.";
  if (auto problem = NameProblem(name, what); !problem.empty()) return problem;
  if (name.size() > kMaxNameLength) {
    constexpr size_t kShown = 40;
    return what + " \"" + name.substr(0, kShown) + "...\" is " + std::to_string(name.size()) +
           " characters long; a name in the Safe can be at most " + std::to_string(kMaxNameLength) +
           " characters.";
  }
  return "";
}

bool TqmSFSWrapper::CreateFolder(const std::string& parent, const std::string& name) {
  TChange change(*this);
  EnsureLayout();
  if (!IsPlainName(name)) return false;
  if (auto problem = ItemNameProblem(name, "The folder name"); !problem.empty())
    throw ERecordRefused(problem);
  const std::string path = WithTrailingSeparator(parent) + name;
  if (Sfs().FileExists(path)) {
    if (prompter_) prompter_->ShowMessage(TqmPrompter::TMessageKind::Information, "", kMsgFolderExists);
    return false;
  }
  return Sfs().ForceDirectories(path);
}

void TqmSFSWrapper::LockStream(const std::string& target, TStream& source, const TTextKey& key) {
  TChange change(*this);
  EnsureLayout();
  RequireKeyOfOpenSafe(key);
  TSingleFileSystem& sfs = Sfs();
  const size_t cut = target.find_last_of("\\/");
  const std::string folder = cut == std::string::npos ? std::string() : target.substr(0, cut + 1);
  RequirePlainName(target.substr(folder.size()), "file");
  if (auto problem = ItemNameProblem(target.substr(folder.size()), "The file name"); !problem.empty())
    throw ERecordRefused(problem);
  if (!folder.empty() && !sfs.DirectoryExists(folder) && !sfs.ForceDirectories(folder))
    throw EQuillmarError("The folder \"" + folder + "\" could not be created in the Safe.");
  // Encrypted under a temporary name, then put in place, all in one change: a failure (or a crash)
  // leaves the old file as it was and no temporary file.
  const std::string temp =
      RandomFreeName(folder + "~lock", ".tmp", [&](const std::string& path) { return sfs.FileExists(path); });
  {
    TSFSFileStream dest(&sfs, 0, "", "", "", TSingleFileSystem::fmCreate, temp);
    int last = -1;
    TLockedFileCipher::Encrypt(source, dest, key.Text(), [&](int percent) {
      if (percent != last && percent % 5 == 0) ProcessEvents();
      last = percent;
    });
  }
  if (sfs.FileExists(target) && !sfs.DeleteFile(target))
    throw EQuillmarError("The file \"" + target + "\" in the Safe is in use and cannot be replaced.");
  if (!sfs.RenameFile(temp, target)) throw EQuillmarError("The file \"" + target + "\" could not be stored.");
  change.Commit();
}

bool TqmSFSWrapper::LockFile(const std::string& folder, const std::string& diskFile, bool appendName,
                             const TTextKey& key) {
  EnsureLayout();
  RequireKeyOfOpenSafe(key);
  std::string target = folder;
  if (appendName) {
    const std::string name = SafeNameOfDiskFile(diskFile);
    if (auto problem = ItemNameProblem(name, "The file name"); !problem.empty())
      throw ERecordRefused(problem);
    target = WithTrailingSeparator(folder) + name;
    if (Sfs().FileExists(target) && !Ask(kMsgFileExists)) return false;
  }
  TExclusiveRead lock(diskFile);
  TFileStream source(diskFile, TFileMode::Read);
  LockStream(target, source, key);
  return true;
}

void TqmSFSWrapper::UnlockToStream(const std::string& path, TStream& dest, const TTextKey& key) {
  EnsureLayout();
  RequireKeyOfOpenSafe(key);
  if (!Sfs().FileExists(path) || (Sfs().FileGetAttr(path) & faDirectory) != 0)
    throw EQuillmarError("The file \"" + path + "\" is not in the Safe.");
  TSFSFileStream source(&Sfs(), 0, "", "", "", kModeRead, path);
  TLockedFileCipher::Decrypt(source, dest, key.Text());
}

bool TqmSFSWrapper::UnlockFile(const std::string& folder, const std::string& name, const TTextKey& key,
                               const std::string& diskFile) {
  EnsureLayout();
  RequireKeyOfOpenSafe(key);
  std::error_code ec;
  if (fs::exists(diskFile, ec) && !Ask(kMsgFileAlreadyOpened)) return false;
  const std::string path = WithTrailingSeparator(folder) + name;
  if (!Sfs().FileExists(path)) throw EQuillmarError("The file \"" + path + "\" is not in the Safe.");
  try {
    WriteDiskFileWhole(diskFile, [&](TStream& out) { UnlockToStream(path, out, key); });
  } catch (const EUnreadableData& e) {
    throw EQuillmarError("The file \"" + path + "\" " + UnreadableFrom(e) +
                         "; nothing was written to the disk.");
  }
  return true;
}

bool TqmSFSWrapper::Remove(const std::string& folder, const std::string& name) {
  TChange change(*this);
  EnsureLayout();
  if (!IsPlainName(name)) return false;
  TSingleFileSystem& sfs = Sfs();
  const std::string path = WithTrailingSeparator(folder) + name;
  if (sfs.IsDirEmpty(path)) return sfs.DeleteFile(path);
  if (!Ask(kMsgRemoveFolder)) return false;
  sfs.DeleteDirectory(path);
  return !sfs.FileExists(path);
}

bool TqmSFSWrapper::Rename(const std::string& folder, const std::string& oldName,
                           const std::string& newName) {
  TChange change(*this);
  EnsureLayout();
  if (!IsPlainName(oldName) || !IsPlainName(newName)) return false;
  if (auto problem = ItemNameProblem(newName, "The new name"); !problem.empty())
    throw ERecordRefused(problem);
  const std::string base = WithTrailingSeparator(folder);
  return Sfs().RenameFile(base + oldName, base + newName);
}

}  // namespace quillmar
