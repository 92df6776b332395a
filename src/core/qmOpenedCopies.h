#pragma once
// TqmOpenedCopies: the copies of locked files taken out of a Safe for viewing or editing, and the
// two temporary folders that hold decrypted data:
//   <home>/TEMP/      copies of locked files; those of a Safe below TEMP/<Safe file name>/
//   <home>/TEMP_AT/   attached files taken out for viewing
//
// Opened files. While a Safe is open, the copy of its locked file \File Locker\Docs\a.txt is
// FolderOf(Safe) + "File Locker/Docs/a.txt". Every copy written below the TEMP folder is recorded
// together with the Safe and the container path it came from. WriteBack writes back only the copies
// recorded for the Safe that is open now; copies of another Safe, and copies left by an earlier run
// that ended abnormally, are never written into it and are never deleted by this object: they stay
// on disk for the user to recover (their folder says which Safe they came from). A copy that was
// written back is deleted at once.
//
// Clean-up (EmptyTempFolders): TEMP_AT is emptied, and of TEMP every file is removed except the
// copies that still wait to be written back and the leftovers described above. The two folders
// themselves stay.
//
// Safes are named by their file, absolute and lexically normal; "" stands for "no Safe is open".
// The owner creates the folders and locks the copies back (with the Safe's key and busy pointer).
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "core/qmAppPrompter.h"

namespace quillmar {

class TqmOpenedCopies {
public:
  static constexpr char kMsgFileOpenedByAnother[] =
      "File opened by another application.\r\nDo you want to skip file?";
  static constexpr char kMsgCloseFile[] = "Close file %s and click OK";

  // Locks the disk file back into the open Safe at containerPath, replacing the locked file. False
  // when that failed (the file is still held by another program, the Safe refused it).
  using TLockBack = std::function<bool(const std::string& containerPath, const std::string& diskFile)>;

  // homeFolder: absolute, lexically normal, ending in "/".
  explicit TqmOpenedCopies(const std::string& homeFolder);

  // Each ends in "/".
  const std::string& TempRoot() const { return tempRoot_; }
  const std::string& AttachmentsTemp() const { return attachmentsTemp_; }
  // TEMP/<file name of safeFile>/: where the copies of that Safe are kept.
  std::string FolderOf(const std::string& safeFile) const;
  // The container path folder + name as a path relative to a Safe's folder:
  // "\File Locker\Docs\" + "a.txt" gives "File Locker/Docs/a.txt" (names turned from the Safe's
  // code page into UTF-8). Throws EQuillmarError for a part that cannot be a file name here (empty,
  // ".", "..", or holding "/" or NUL), so that no copy lands outside the folder.
  static std::string RelativeCopyPath(const std::string& folder, const std::string& name);
  // Whether the disk path (absolute, normal) lies below the TEMP folder.
  bool IsBelowTemp(const std::string& diskFile) const;

  // Records a copy written below TEMP: diskFile (absolute, normal) came from containerPath of the
  // Safe safeFile. A copy recorded again takes the new origin.
  void Record(const std::string& diskFile, const std::string& safeFile, const std::string& containerPath);

  // Writes back the recorded copies of openSafe found below folder (absolute, normal, ending in
  // "/"), files in name order, then each sub-folder likewise (a sub-folder left empty is removed).
  // When lockBack fails, asks kMsgFileOpenedByAnother (Cancel, Retry, Ignore; no prompter counts as
  // Cancel): Retry shows kMsgCloseFile and tries again; Ignore gives the copy up (it is deleted, its
  // changes lost); Cancel keeps the copy on disk and makes the result false. A copy written back is
  // deleted. Nothing is written or deleted for a copy of another Safe, or one not recorded.
  bool WriteBack(const std::string& folder, const std::string& openSafe, const TLockBack& lockBack,
                 TqmAppPrompter* prompter);
  // The same for the recorded copies of openSafe that came from the locked item itemPath (a container
  // path, compared without regard to letter case as the Safe compares names): the file itself, or
  // every file below the folder of that path. Copies no longer on disk are forgotten. False when the
  // user chose Cancel for one of them (it stays; the others were written back).
  bool WriteBackItem(const std::string& itemPath, const std::string& openSafe, const TLockBack& lockBack,
                     TqmAppPrompter* prompter);
  // Forgets the recorded copies of openSafe that came from the item itemPath (as for WriteBackItem)
  // and deletes them without writing them back: the item has left the Safe. The number dropped.
  size_t DropItem(const std::string& itemPath, const std::string& openSafe);
  // Whether containerPath is itemPath or lies below the folder itemPath (letter case ignored).
  static bool IsInItem(const std::string& containerPath, const std::string& itemPath);

  // The recorded copies of openSafe that still wait to be written back (none when openSafe is "").
  std::vector<std::string> Pending(const std::string& openSafe) const;
  // The container paths those copies go back to.
  std::vector<std::string> PendingContainerPaths(const std::string& openSafe) const;
  // The same for safeFile, open or not, limited to copies still on disk.
  std::vector<std::string> PendingOnDisk(const std::string& safeFile) const;
  // Files below TEMP that no recorded copy of openSafe accounts for (left by an earlier run, or
  // copies of a Safe that is not open now), sorted.
  std::vector<std::string> Unaccounted(const std::string& openSafe) const;
  // The clean-up described at the top.
  void EmptyTempFolders();

private:
  struct TCopy {
    std::string safeFile;       // the Safe it came from
    std::string containerPath;  // where it goes back
    bool givenUp = false;       // written back or the user chose Ignore: it may be deleted
  };

  bool WriteBackOne(const std::string& diskFile, TCopy& copy, const TLockBack& lockBack,
                    TqmAppPrompter* prompter);
  void EmptyFolder(const std::string& folder, bool keepPending);

  std::string tempRoot_;
  std::string attachmentsTemp_;
  // Disk path -> origin, for every copy written below the TEMP folder in this run.
  std::map<std::string, TCopy> copies_;
};

}  // namespace quillmar
