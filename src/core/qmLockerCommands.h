#pragma once
// TqmLockerCommands: the File Locker's commands that take more than one call of TqmGlobal, for the
// desktop's File Locker tab and any other front end: locking disk files and folder trees into a
// folder of the Safe, taking files and folder trees out of it, deleting, renaming, and the
// temporary copy that Open and Send hand to other programs.
//
// Rules kept here:
//  - Every file is locked in a change of its own: once LockFile returned true it is in the Safe, on
//    the disk. A run that is cancelled keeps the files finished before and leaves nothing partial.
//  - With removeFromDisk an original is deleted only after its own lock succeeded; never one that
//    was skipped, declined, failed or cancelled. Source folders given to the run that are empty
//    afterwards are removed too (deepest first). A delete that fails is reported, the file kept.
//  - A folder given to the run is locked as its tree, merged into a folder of the same name below
//    the target: regular files only (symbolic links and special files are skipped, never followed),
//    empty sub-folders are created. Names the Safe's code page cannot hold, names the Safe refuses,
//    and names that differ only by letter case from one met earlier in the run (the Safe ignores
//    case) are skipped and reported.
//  - A copy taken out for viewing never resurrects an item or overrides a newer version: before an
//    item is renamed, unlocked or locked over, its waiting copies are written back (the user may
//    cancel, which stops the command); deleting an item drops them.
//  - Unlocking a folder writes its tree below the chosen disk folder and nowhere else; the folder
//    leaves the Safe only when every file of it was written.
//
// Threading: the runs may be called from a worker thread while the window thread leaves the core
// alone (the desktop's progress runner); the question callbacks are called on that thread.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace quillmar {

class TqmGlobal;

// A disk item the run did not lock, did not write, or could not delete, and why.
struct TqmLockerProblem {
  std::string Path;    // disk path (UTF-8), or the container path for items of the Safe
  std::string Reason;  // a sentence that says why
};

// One disk file of a lock run and where it goes.
struct TqmLockJob {
  std::string DiskFile;  // UTF-8
  std::string Folder;    // the container folder it goes into (ending in "\")
  std::string Name;      // its name in the Safe (Safe text)
  int64_t Size = 0;
};

struct TqmLockPlan {
  std::vector<TqmLockJob> Jobs;
  std::vector<TqmLockerProblem> Skipped;
  // Container folders of the trees given, created even when they hold no file (parents first).
  std::vector<std::string> Folders;
  // Disk folders of the trees given, deepest first: removed after the run when empty.
  std::vector<std::string> SourceFolders;
  int64_t TotalBytes = 0;
  // A folder was given: the overwrite question offers "Yes to all" and "No to all".
  bool HasFolder = false;
};

// Where a run is: file n (1-based) of m, its name, its bytes and the bytes of the whole run.
struct TqmLockerStatus {
  int FileNumber = 0;
  int FileCount = 0;
  std::string Name;  // Safe text
  int64_t FileDone = 0;
  int64_t FileTotal = 0;
  int64_t Done = 0;
  int64_t Total = 0;
};
// Called at the start of each file and as its bytes go; setting cancel stops the run (the file that
// is under way is not kept).
using TqmLockerProgress = std::function<void(const TqmLockerStatus& status, bool& cancel)>;

enum class TqmOverwriteAnswer { Yes, No, YesToAll, NoToAll, Cancel };
// Asked when a file of the run exists in the Safe (containerPath). With no callback the Safe's own
// Yes/No question (TqmSFSWrapper::kMsgFileExists) is asked through the prompter.
using TqmOverwriteQuestion = std::function<TqmOverwriteAnswer(const std::string& containerPath)>;

struct TqmLockOutcome {
  std::vector<std::string> Locked;           // disk files now in the Safe
  std::vector<TqmLockerProblem> Skipped;     // from the plan: links, special files, names refused
  std::vector<TqmLockerProblem> Declined;    // a file of that name is in the Safe and was not overwritten
  std::vector<TqmLockerProblem> Failed;      // the lock failed: the reason of the core
  std::vector<TqmLockerProblem> NotRemoved;  // locked, but the original could not be deleted
  bool Cancelled = false;
};

struct TqmUnlockOutcome {
  std::vector<std::string> Written;    // disk files written
  std::vector<std::string> Removed;    // items (names in the folder) that left the Safe
  std::vector<TqmLockerProblem> Kept;  // items that stayed in the Safe, and why
  // Files not written because a disk file of that name exists and was not overwritten (their
  // items stayed in the Safe too; a folder's own entry in Kept says so).
  std::vector<TqmLockerProblem> Declined;
  bool Cancelled = false;
};

class TqmLockerCommands {
public:
  explicit TqmLockerCommands(TqmGlobal& global) : g_(global) {}

  // What a lock of the disk paths into the container folder would do (reads only the disk). A path
  // that does not exist, a symbolic link or a special file is skipped.
  static TqmLockPlan PlanLock(const std::string& folder, const std::vector<std::string>& diskPaths);

  // Locks the plan's files (see the top). ask decides on files that exist in the Safe.
  TqmLockOutcome Lock(const TqmLockPlan& plan, bool removeFromDisk, const TqmOverwriteQuestion& ask = {},
                      const TqmLockerProgress& progress = {});

  // Takes the items folder + name out of the Safe into diskFolder (UTF-8; made when missing): a file
  // as diskFolder/name, a folder as its tree. Each item leaves the Safe once all of it was written.
  // An existing disk file asks TqmSFSWrapper::kMsgFileAlreadyOpened (No keeps the item).
  TqmUnlockOutcome Unlock(const std::string& folder, const std::vector<std::string>& names,
                          const std::string& diskFolder, const TqmLockerProgress& progress = {});

  // The temporary copy of the locked file folder + name (TqmGlobal::TempCopyPath), written as Open
  // does: "" when the user declined to overwrite a copy that exists, or cancelled. Errors propagate.
  std::string TakeOutCopy(const std::string& folder, const std::string& name,
                          const TqmLockerProgress& progress = {});

  // Deletes the item from the Safe (a folder with content after TqmSFSWrapper::kMsgRemoveFolder) and
  // drops its waiting copies. True when it was removed.
  bool Delete(const std::string& folder, const std::string& name);

  enum class TRename { Done, Unchanged, Invalid, Taken, Cancelled };
  // Renames folder + oldName to newName (Safe text). Unchanged: the same name; Invalid: problem says
  // why; Taken: another item has that name (letter case ignored); Cancelled: a waiting copy could not
  // be written back and the user cancelled. Waiting copies are written back first.
  TRename Rename(const std::string& folder, const std::string& oldName, const std::string& newName,
                 std::string* problem = nullptr);

  // Test hook: deletes an original from the disk (default std::filesystem::remove); false with why
  // when it could not.
  using TDiskRemover = std::function<bool(const std::string& path, std::string& why)>;
  void SetDiskRemover(TDiskRemover remover) { remover_ = std::move(remover); }

private:
  bool RemoveFromDisk(const std::string& path, std::string& why) const;

  TqmGlobal& g_;
  TDiskRemover remover_;
};

}  // namespace quillmar
