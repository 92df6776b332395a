#pragma once
// TqmBackup: backup of the open Safe into a file of the user's choice, and restore of a Safe from
// such a file. A backup is a plain Safe file under the master password of its time, of the Safe's
// kind. Both are crash-safe: the new file is written under a temporary name beside its target,
// synced, checked and renamed over the target, so that a failure, a cancel or a crash leaves the
// target as it was (base/DurableFile.h). Errors are EQuillmarError with a message that says what
// failed and that nothing was changed.
#include <functional>
#include <string>

#include "core/qmAppPrompter.h"
#include "safe/qmProgress.h"
#include "safe/qmSFSWrapper.h"

namespace quillmar {

class TqmBackup {
public:
  static constexpr char kMsgFileExists[] = "File exists. Do you want to overwrite it?";

  // wrapper: the Safe layout object of the application (not owned), which has the Safe open.
  explicit TqmBackup(TqmSFSWrapper& wrapper) : wrapper_(wrapper) {}

  // Before a backup of the open Safe (its file safeFile, absolute and normal; "" when none is open)
  // into target. Refuses with EQuillmarError when no Safe is open, target is empty, is the Safe
  // itself or a folder, or the Safe is kept in several part files (a copy would hold only the
  // first). When target exists asks kMsgFileExists (no prompter counts as No): false when declined.
  bool MayBackUp(const std::string& safeFile, const std::string& target, TqmAppPrompter* prompter);
  // The backup, after MayBackUp: repairs the Safe (which leaves it compact), copies its file to a
  // temporary name beside target, checks that the copy opens with key (the Safe's text key) and
  // renames it over target, then syncs target's folder. progress hears of the repair (first half)
  // and the copy (second half); a cancel before the final rename returns false with target as it
  // was. processEvents lets window events run between the steps.
  bool BackUp(const std::string& safeFile, const TTextKey& key, const std::string& target,
              const std::function<void()>& processEvents, const TqmProgress& progress);

  // Before a restore: refuses with EQuillmarError a backup file that is missing, is no Safe file (of
  // any kind, under any password) or is kept in several part files.
  static void CheckBackupFile(const std::string& backupFile);
  // Replaces safeFile, which must not be open here, with a copy of backupFile (flushed, then renamed
  // over the Safe). Nothing happens when both name the same file. Refused when another program
  // holds the Safe. The Safe's journal of an interrupted change goes (it belongs to the file that is
  // replaced). On failure the Safe is as it was.
  static void ReplaceSafe(const std::string& backupFile, const std::string& safeFile);

private:
  TqmSFSWrapper& wrapper_;
};

}  // namespace quillmar
