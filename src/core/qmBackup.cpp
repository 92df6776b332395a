#include "core/qmBackup.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>

#include "base/DurableFile.h"
#include "base/Exception.h"
#include "base/RandomName.h"
#include "container/PageFileManager.h"
#include "container/SFSAbstractFile.h"
#include "container/SFSError.h"
#include "container/SingleFileSystem.h"
#include "core/qmDiskPath.h"

namespace quillmar {

namespace fs = std::filesystem;

bool TqmBackup::MayBackUp(const std::string& safeFile, const std::string& target, TqmAppPrompter* prompter) {
  if (safeFile.empty() || !wrapper_.IsOpen())
    throw EQuillmarError("No Safe is open. Open the Safe you want to back up first.");
  if (target.empty()) throw EQuillmarError("No backup file was given.");
  std::error_code ec;
  if (fs::exists(target, ec)) {
    if (fs::equivalent(target, safeFile, ec) || NormalDiskPath(target) == safeFile)
      throw EQuillmarError("The backup cannot be written over the Safe itself. Choose another file.");
    if (fs::is_directory(target, ec))
      throw EQuillmarError("The backup cannot be written: " + target + " is a folder. Choose a file name.");
    if (!prompter || !prompter->AskYesNo(TqmAppPrompter::kProductTitle, kMsgFileExists)) return false;
  }

  // A Safe kept in several part files would be copied only in part (the first part names the others
  // by file name, so a copy beside the Safe would even point into the Safe's own parts).
  if (wrapper_.Container() && wrapper_.Container()->PageFile().PartCount() > 1)
    throw EQuillmarError("This Safe is kept in several part files (" + safeFile + ", " + safeFile +
                         "1, ...), which a backup cannot copy yet. Close the program and copy all of them. "
                         "Nothing was written.");
  return true;
}

bool TqmBackup::BackUp(const std::string& safeFile, const TTextKey& key, const std::string& target,
                       const std::function<void()>& processEvents, const TqmProgress& progress) {
  // Progress: the repair is the first half, the copy the second.
  TqmProgressMeter meter(progress, 2.0);
  // The rebuild leaves the Safe compact; its outcome does not decide the backup: the copy is checked
  // on its own below.
  wrapper_.Repair(nullptr, nullptr, [&meter](double fraction, bool& cancel) {
    if (!meter.At(fraction)) cancel = true;
  });
  if (meter.Cancelled()) return false;

  // The container writes every change through at once, and the copy is made under its shared lock:
  // no program (this one or another that has the Safe open) changes it meanwhile, so the file on the
  // disk is a consistent Safe throughout.
  TSFSReadLock reading(*wrapper_.Container());
  fs::path targetPath(target);
  std::string folder = targetPath.parent_path().string();
  if (folder.empty()) folder = ".";
  const std::string temp =
      RandomFreeName((fs::path(folder) / ("." + targetPath.filename().string() + ".")).string(), ".tmp",
                     [](const std::string& name) {
                       std::error_code e;
                       return fs::exists(name, e);
                     });
  auto dropTemp = [&temp]() {
    std::error_code e;
    fs::remove(temp, e);
  };
  try {
    bool copied = ReplaceFileWithCopy(safeFile, temp, [&meter](int64_t done, int64_t total, bool& cancel) {
      if (!meter.At(1.0 + (total > 0 ? double(done) / double(total) : 1.0))) cancel = true;
    });
    if (!copied) {
      dropTemp();
      return false;
    }
  } catch (const EQuillmarError& e) {
    dropTemp();
    throw EQuillmarError(std::string("The backup could not be made. ") + e.what());
  }
  if (processEvents) processEvents();
  TqmSFSWrapper probe(nullptr);
  int check = TqmSFSWrapper::csCannotOpen;
  try {
    check = probe.CheckSafe(temp, key);
  } catch (...) {
    check = TqmSFSWrapper::csCannotOpen;
  }
  if (check != TqmSFSWrapper::csUsable) {
    dropTemp();
    throw EQuillmarError(
        "The backup could not be made: the copy of the Safe does not open with the Safe's key. " + target +
        " was not changed.");
  }
  // The last moment a cancel is honoured: the rename below makes the backup.
  if (!meter.At(1.999)) {
    dropTemp();
    return false;
  }
  if (::rename(temp.c_str(), target.c_str()) != 0) {
    std::string reason = std::strerror(errno);
    dropTemp();
    throw EQuillmarError("The backup could not be written to " + target + ": " + reason + ".");
  }
  // The backup is in place; should the folder not sync, the rename may yet be lost in a crash, but
  // the old target or the new one is whole either way.
  SyncFolderOf(target);
  meter.At(2.0);
  return true;
}

void TqmBackup::CheckBackupFile(const std::string& backupFile) {
  std::error_code ec;
  if (backupFile.empty() || !fs::is_regular_file(backupFile, ec))
    throw EQuillmarError("The backup file " + backupFile + " does not exist. The Safe was not changed.");
  // A Safe file is a container; the password is not known here (it is the one of the backup's time),
  // so no key is derived: the check tells a Safe file (any kind) from anything else.
  TqmSFSWrapper probe(nullptr);
  int check = probe.CheckSafe(backupFile, TTextKey());
  if (check != TqmSFSWrapper::csUsable && check != TqmSFSWrapper::csWrongPassword)
    throw EQuillmarError(
        "The file " + backupFile +
        " is not a Brelkan Safe backup (it is no Safe file or it is damaged). The Safe was not changed.");
  if (TSingleFileSystem::IsMultiPart(backupFile))
    throw EQuillmarError("The backup " + backupFile + " is kept in several part files (" + backupFile +
                         "1, ...), which a restore cannot copy yet. The Safe was not changed.");
}

void TqmBackup::ReplaceSafe(const std::string& backupFile, const std::string& safeFile) {
  std::error_code ec;
  if (fs::exists(safeFile, ec) && fs::equivalent(backupFile, safeFile, ec)) return;  // already in place
  // The Safe is held while it is replaced: another program must not have it open, and a journal of an
  // interrupted change of the old file must not be applied to the restored one.
  std::unique_ptr<TSFSAbstractFile> hold;
  if (fs::exists(safeFile, ec)) {
    try {
      hold = DiskPartStorage().Open(safeFile, true, TSFSLock::Exclusive);
    } catch (const ESFSInUse&) {
      throw EQuillmarError(
          "The Safe " + safeFile +
          " is open in another program or window; close it there first. The Safe was not changed.");
    } catch (const ESFSError&) {
    }
  }
  fs::remove(TSingleFileSystem::JournalFileName(safeFile), ec);
  try {
    ReplaceFileWithCopy(backupFile, safeFile);
  } catch (const EQuillmarError& e) {
    throw EQuillmarError(std::string("The Safe could not be restored; it was not changed. ") + e.what());
  }
}

}  // namespace quillmar
