#pragma once
// TqmSFSWrapper: the folder layout of a Safe and every storage operation on it. It owns the one open
// container (TSingleFileSystem) of the current Safe and is the only code that talks to the container.
//
// Layout inside the container (paths use "\" and begin with "\"):
//   \Password Repository\                         root of the category tree
//     <FolderPath of a category>                  one folder per category ("category<n>\")
//       qvt.category.info.template                the category stream       (file password kol-marven)
//       <n>.entry                                 one entry record          (file password kol-marven)
//   \File Locker\...                              locked files, encrypted under the master password
//                                                 (no file password); names below are the user's
//   \Quillmar.System.Info\Attached Files\<name>   plain copies of attached files (no file password)
//   \Quillmar.System.Info\icons.category\<x>.ico  category icons               (file password kol-marven)
//   \Quillmar.System.Info\icons.item\<x>.ico      entry icons                  (file password kol-marven)
//   \Quillmar.System.Info\reminders\<id>.reminder reminder records             (file password kol-marven)
//   \Quillmar.System.Info\system.settings.info    the settings text            (file password kol-marven)
// Random names ("category" + n, n + ".entry", n + ".reminder") use n in 0..9999998, drawn until free in
// the folder that will hold them. Listings are the container's listing order; nothing here sorts.
//
// Contract:
//  - No container is open at start. OpenSafe keeps one open until CloseSafe, another OpenSafe,
//    CreateSafe or the destructor. CheckSafe and CreateSafe leave none open.
//  - REQUIRES an open Safe: every operation below "Safe as a whole" except where noted. Without one
//    they throw EQuillmarError("No Safe is open.").
//  - Container failures (a missing file read, a full disk, a damaged page) propagate as exceptions
//    (ESFSError / EQuillmarError) with the container's message. Answers of No to a question are not
//    errors: the operation returns false or the empty string.
//  - "path" arguments of category and entry operations are category paths (TqmCategory::FolderPath,
//    "category12\category34\") relative to "\Password Repository\"; the empty path is that root.
//    File Locker folders are full container paths ending in "\" ("\File Locker\Docs\").
//  - Questions and notices go to the prompter; without a prompter every question is answered No and
//    notices are dropped.
//  - Passwords handed in are not kept beyond the call (the container keeps its own copy, wiped when it
//    closes). Single-threaded.
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "safe/qmProgress.h"

namespace quillmar {

class TSingleFileSystem;
class TStream;
class TqmCategory;
class TqmRepositoryEntry;
class TqvtIcon;
class TqmReminderEvent;
class TqmSettings;
class TqmPrompter;

// One File Locker item as the list shows it.
struct TqmFileInfo {
  std::string Name;
  uint32_t Size = 0;        // bytes (32-bit, as listed)
  std::string Modified;     // last write, local time, "yyyy-mm-dd hh:nn:ss" (sorts as text)
  double ModifiedTime = 0;  // the same as a date-time number (days since 1899-12-30), 0 when unknown
};

class TqmSFSWrapper {
public:
  // The layout.
  static constexpr char kRepositoryRoot[] = "\\Password Repository\\";
  static constexpr char kFileLockerRoot[] = "\\File Locker\\";
  static constexpr char kSystemFolder[] = "\\Quillmar.System.Info\\";
  static constexpr char kAttachedFilesFolder[] = "\\Quillmar.System.Info\\Attached Files\\";
  static constexpr char kCategoryIconsFolder[] = "\\Quillmar.System.Info\\icons.category\\";
  static constexpr char kEntryIconsFolder[] = "\\Quillmar.System.Info\\icons.item\\";
  static constexpr char kRemindersFolder[] = "\\Quillmar.System.Info\\reminders\\";
  static constexpr char kSettingsFile[] = "\\Quillmar.System.Info\\system.settings.info";
  static constexpr char kCategoryTemplateFile[] = "qvt.category.info.template";
  // The per-file password of records, icons, reminders and the settings.
  static constexpr char kRecordPassword[] = "kol-marven";

  // Results of CheckSafe.
  enum TCheckResult : int {
    csUsable = 0,
    csNotContainer = 1,
    csWrongPassword = 2,
    csFileExists = 3,  // only with forCreate
    csCannotOpen = 4,  // e.g. another program holds it open
  };
  // Kinds of icon (ListIcons, LoadIcon, SaveIcon).
  enum TIconKind : int { ikCategory = 0, ikEntry = 1 };

  // The messages the questions and notices use.
  static constexpr char kMsgFileExists[] = "File exists. Do you want to overwrite it?";
  static constexpr char kMsgFileAlreadyOpened[] =
      "File is already opened. Do you want to ignore changes and overwrite it?";
  static constexpr char kMsgRemoveFolder[] = "Do you really want to remove this folder and all its contents?";
  static constexpr char kMsgFolderExists[] = "Folder already exists!";

  // prompter is not owned and may be null (see Contract).
  explicit TqmSFSWrapper(TqmPrompter* prompter = nullptr);
  ~TqmSFSWrapper();  // closes the Safe
  TqmSFSWrapper(const TqmSFSWrapper&) = delete;
  TqmSFSWrapper& operator=(const TqmSFSWrapper&) = delete;

  void SetPrompter(TqmPrompter* prompter) { prompter_ = prompter; }
  // "Let pending window events run": called during long operations (container progress at even
  // percentages, locking at multiples of 5, after each re-keyed file, around CreateSafe). The UI
  // binds it to QCoreApplication::processEvents. May be empty.
  std::function<void()> OnProcessEvents;

  // --- Safe as a whole (no open Safe needed) ------------------------------------------------------
  // 0 usable; 1 not a container file; 2 wrong password; 3 (forCreate only: then nothing else is
  // checked) a file of that name exists; 4 the container could not be opened: its error text is then
  // shown in a plain message box with an empty title.
  int CheckSafe(const std::string& file, std::string_view password, bool forCreate);
  // Makes the Safe file `file` (replacing it) from the template Safe compiled into the program, under
  // `password`. withDemoData keeps the template's sample entries and File Locker files; without it a
  // new Safe has the template's categories, icons, reminders and settings only. Closes any open Safe
  // first and leaves none open. On failure the half-made file is removed and the error propagates.
  // (Defined beside the embedded template; programs that link the template get it.)
  void CreateSafe(const std::string& file, std::string_view password, bool withDemoData);
  // The same from a given template image (the bytes of a Safe file whose password is templatePassword).
  void CreateSafeFromImage(std::string_view image, std::string_view templatePassword, const std::string& file,
                           std::string_view password, bool withDemoData);
  // Creates a new, empty Safe file (replacing it) with the layout folders and keeps it open. Used by the
  // generator of the template Safe and by tests.
  void CreateEmptySafe(const std::string& file, std::string_view password);
  // Opens the Safe (read-write, exclusive) and keeps it. Throws the container's error (for example
  // the "invalid password specified" message) when it cannot be opened; the previous Safe is closed
  // in any case.
  void OpenSafe(const std::string& file, std::string_view password);
  // Nothing happens when no Safe is open.
  void CloseSafe();
  bool IsOpen() const { return sfs_ != nullptr; }
  // The file of the open Safe ("" when none).
  std::string SafeFileName() const;
  // The open container, for the few callers that need the facade itself (backup, tests).
  TSingleFileSystem* Container() const { return sfs_.get(); }

  // Changes the master password of the open Safe and re-keys every locked file. Nothing is done when
  // newPassword equals oldPassword. All or nothing: the work is done on a copy of the Safe file that
  // replaces the Safe in one rename, so after a failure (or a crash) at any point the Safe opens with
  // exactly one of the two passwords and every locked file decrypts with that same password. True on
  // success (the Safe is then open under newPassword); false when oldPassword is not the Safe's
  // password or the container refused (the Safe is then open under oldPassword, unchanged). Errors
  // propagate after the Safe was reopened under the password its file then has.
  // progress (qmProgress.h) hears of the copy, the re-keying (at least every MiB) and the rebuild; a
  // cancel before the final rename gives false with the Safe file byte for byte as it was.
  bool ChangePassword(std::string_view oldPassword, std::string_view newPassword,
                      const TqmProgress& progress = {});
  // The container's rebuild (RepairFile, not strict). The log text goes to *log when given. A cancel
  // through progress gives false with the Safe as it was.
  bool Repair(std::string* log = nullptr, const TqmProgress& progress = {});
  // Creates whichever of the seven layout folders is missing (called first by most operations).
  void EnsureLayout();
  // Reads every byte of every file in the Safe (records, icons, reminders, settings, attachments,
  // locked files), which checks every page's checksum and every compressed block. One line per file
  // that cannot be opened or read in full, naming its path in the Safe; empty when all read.
  std::vector<std::string> ReadAllFiles();

  // --- Categories ---------------------------------------------------------------------------------
  // Folders directly in the category's folder (nullptr: in "\Password Repository\").
  int CountSubcategories(const TqmCategory* category);
  // Walks the folders directly in parent's folder (nullptr: the root) in listing order.
  // byOrder: reads the template of each folder that has one into category (setting FolderName) and
  // stops at the first whose SortOrder equals key. Otherwise key is a position among the folders
  // (from 0) and only that folder's template is read, if it has one.
  // Returns true when the category asked for was read; when not, category holds what was read last
  // (byOrder) or is unchanged. The category's Parent is left as it is: the caller sets it to parent.
  bool LoadCategory(const TqmCategory* parent, int32_t key, bool byOrder, TqmCategory& category);
  // Gives the category a random FolderName when it has none, creates its folder (below its Parent's
  // folder) when missing and writes its template file, replacing it.
  void SaveCategory(TqmCategory& category);
  // Removes the category's folder with everything below it.
  void DeleteCategory(const std::string& path);
  // Copies the category's folder tree into newParent's folder (nullptr: the root) under the same
  // folder name, then removes the source unless keepSource. False when the destination folder already
  // exists (nothing is changed then) or a copy failed (the source is then kept).
  bool MoveCategory(const TqmCategory& category, const TqmCategory* newParent, bool keepSource);

  // --- Entries ------------------------------------------------------------------------------------
  // Files matching "*.entry" directly in the category's folder.
  int CountEntries(const std::string& path);
  // Loads the first entry file (in listing order, files of 4 bytes or less skipped) whose SortOrder is
  // sortOrder, setting the entry's FileName. True when one was found; false leaves entry unchanged.
  // Per-folder index: a category of n entries costs one pass for the first call, then one read per
  // call; every write through this object invalidates it.
  bool LoadEntry(const std::string& path, int32_t sortOrder, TqmRepositoryEntry& entry);
  // Loads the index-th entry file in listing order (files of 4 bytes or less skipped), whatever its
  // SortOrder: entries whose numbers have gaps or repeats (a damaged Safe, another program) are still
  // reached this way. True when there is one.
  bool LoadEntryAt(const std::string& path, int index, TqmRepositoryEntry& entry);
  // Creates the category folder when missing, gives the entry a random FileName when it has none and
  // writes the entry record, replacing the file.
  void SaveEntry(const std::string& path, TqmRepositoryEntry& entry);
  // Deletes the entry file when it exists; true when it is gone.
  bool DeleteEntry(const std::string& path, const std::string& fileName);
  // Copies the entry's file from its Parent's folder to the same name in newCategory's folder
  // (nullptr: the root), then deletes the source unless keepSource. True on success.
  bool MoveEntry(const TqmRepositoryEntry& entry, const TqmCategory* newCategory, bool keepSource);
  // Deletes every file whose extension is exactly ".entry" in folder (a full container path) and all
  // folders below it; categories and templates stay. The number of files deleted.
  int DeleteAllEntries(const std::string& folder = kRepositoryRoot);

  // --- Icons --------------------------------------------------------------------------------------
  // Appends the names of the "*.ico" files of that icon set to list; returns how many were added.
  int ListIcons(int kind, std::vector<std::string>& list);
  // Reads the icon file into icon (setting its name). False when there is no such icon.
  bool LoadIcon(int kind, const std::string& name, TqvtIcon& icon);
  // Writes the icon's image to that file, replacing it.
  void SaveIcon(int kind, const TqvtIcon& icon, const std::string& name);

  // --- Reminders (storage only) -------------------------------------------------------------------
  // Files (not folders) matching "*.reminder" in the reminders folder.
  int ReminderCount();
  // The index-th reminder file in listing order; its id is the file name without ".reminder".
  // False (reminder untouched) when there is no such index.
  bool LoadReminderAt(int index, TqmReminderEvent& reminder);
  // When id + ".reminder" exists: sets the id, reads the record, true. Otherwise false, untouched.
  bool LoadReminder(const std::string& id, TqmReminderEvent& reminder);
  // A reminder without id gets a random free one; writes the record, replacing it.
  void SaveReminder(TqmReminderEvent& reminder);
  // True when the file is gone.
  bool DeleteReminder(const std::string& id);
  // The ids of all reminder files, in listing order.
  std::vector<std::string> ReminderNames();
  // Saves a copy of the reminder under a new id and returns that id ("" when id does not exist).
  std::string CopyReminder(const std::string& id);

  // --- Attached files -----------------------------------------------------------------------------
  // Copies the disk file into "\Quillmar.System.Info\Attached Files\" under its own file name and
  // returns that name. When the name exists, asks kMsgFileExists: No returns "".
  std::string AttachFile(const std::string& diskFile);
  // Copies the attached file to diskFolder (the core's attachments temporary folder) under the same
  // name, replacing a file there; returns the disk path. Throws for a name that is not a plain file
  // name (separators, "..") or an attachment that does not exist.
  std::string ExtractAttachedFile(const std::string& name, const std::string& diskFolder);
  // True for an empty name; otherwise deletes the file if it exists (true when it did not exist).
  bool DeleteAttachedFile(const std::string& name);

  // --- Settings -----------------------------------------------------------------------------------
  // The whole settings file as text; "" when it does not exist.
  std::string ReadSettingsText();
  void WriteSettingsText(const std::string& text);
  // The same through a settings record (ParseText / GetText).
  void LoadSettings(TqmSettings& settings);
  void SaveSettings(const TqmSettings& settings);

  // --- File Locker --------------------------------------------------------------------------------
  static std::string FileLockerRoot() { return kFileLockerRoot; }
  // Files, or folders, directly in folder.
  int CountFiles(const std::string& folder);
  int CountFolders(const std::string& folder);
  // The index-th file (or folder) of folder in listing order; an empty record for a missing index.
  TqmFileInfo FileInfoAt(const std::string& folder, int index);
  TqmFileInfo FolderInfoAt(const std::string& folder, int index);
  // Shows kMsgFolderExists and returns false when parent + name exists; otherwise creates it.
  bool CreateFolder(const std::string& parent, const std::string& name);
  // Encrypts the disk file into the Safe under password. The target is folder + the disk file's name
  // when appendName (asking kMsgFileExists when it exists: No returns false), else folder itself is
  // the target path (replaced without asking). The disk file is opened for exclusive reading: one
  // another process holds locked, or that cannot be read, throws. On failure no partial target is
  // left behind (a replaced target is lost only once the new one is complete).
  bool LockFile(const std::string& folder, const std::string& diskFile, bool appendName,
                std::string_view password);
  // The same from a stream (from its position to its end) into the container path target, replacing it.
  void LockStream(const std::string& target, TStream& source, std::string_view password);
  // Decrypts folder + name into diskFile. When diskFile exists asks kMsgFileAlreadyOpened: No returns
  // false. A failed decryption removes the partial disk file and throws.
  bool UnlockFile(const std::string& folder, const std::string& name, std::string_view password,
                  const std::string& diskFile);
  // Decrypts the container file path into dest (at its position).
  void UnlockToStream(const std::string& path, TStream& dest, std::string_view password);
  // A file or an empty folder is deleted at once; a folder with content only after kMsgRemoveFolder
  // is answered Yes. True when it was removed.
  bool Remove(const std::string& folder, const std::string& name);
  // Renames folder + oldName to folder + newName; false when that is not possible (name taken).
  bool Rename(const std::string& folder, const std::string& oldName, const std::string& newName);

  // Test hook of ChangePassword: called with the name of each stage reached ("copied", "rekeyed",
  // "container", "synced", "swapped"); throwing from it simulates a failure at that point.
  std::function<void(const std::string& stage)> OnPasswordChangeStage;

private:
  TSingleFileSystem& Sfs();
  bool Ask(const std::string& message);
  void ProcessEvents();
  void OpenContainer(const std::string& file, std::string_view password);
  std::string CategoryFolder(const TqmCategory* category) const;
  std::string EntryFolder(const std::string& path) const;
  std::string IconFolder(int kind) const;
  std::string ReadRecord(const std::string& path, const std::string& password);
  void WriteRecord(const std::string& path, const std::string& bytes, const std::string& password);
  std::vector<std::string> List(const std::string& folder, const std::string& mask, bool folders);
  bool CopyTree(const std::string& source, const std::string& dest);
  void InvalidateEntryIndex() { entryIndex_.clear(); }
  void RekeyLockedFiles(TSingleFileSystem& sfs, const std::string& folder, std::string_view oldPassword,
                        std::string_view newPassword, TqmProgressMeter& meter);
  static int64_t LockedBytes(TSingleFileSystem& sfs, const std::string& folder);

  // Per category folder: sort order -> file name of the first entry with it, in listing order.
  struct TEntryIndex {
    std::map<int32_t, std::string> BySortOrder;
    std::vector<std::string> InListingOrder;  // every readable entry file, gaps and repeats included
  };
  TEntryIndex& IndexOf(const std::string& folder);

  TqmPrompter* prompter_;
  std::unique_ptr<TSingleFileSystem> sfs_;
  std::map<std::string, TEntryIndex> entryIndex_;
};

}  // namespace quillmar
