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
//    CreateSafe or the destructor. CreateSafe leaves none open. CheckSafe leaves none open either, unless
//    KeepCheckedContainer(true) was called (the command line, whose every command is a check and an
//    open at once): a CheckSafe that finds the Safe usable then keeps the container it opened for the
//    check (not as the open Safe), for an OpenSafe of the same file, key and mode that follows, so
//    that opening does not read the directory a second time; the next OpenSafe, CheckSafe, CloseSafe
//    or CreateSafe gives it up, and OpenSafe uses it only while the file is the one checked, unchanged
//    (same file, size and modification time). Off by default: a long-lived program that checks a
//    password (a login that then deletes or restores the Safe) must not hold the file open.
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
//  - Other programs. A Safe opened for writing is shared with the other programs that have it open
//    (TSingleFileSystem's contract): every operation here reads under the container's shared lock, as
//    one consistent read, and every change is one transaction under its exclusive lock. An operation
//    that finds the Safe changed by another program drops what this layer cached of it (the entry
//    index) before it goes on, and keeps what changed for TakeChanges. Operations that replace the
//    Safe's file (ChangePassword, and the rebuild of Repair) need it alone: they fail, saying so, while
//    another program has it open.
//  - Crash safety: every operation that changes the Safe is one transaction of the container's
//    journal (all of it is on the disk when it returns, none of it when it throws or the program
//    stops in the middle); TChange groups several into one. A Safe opened read-only (OpenSafe with
//    readOnly) is never written: operations that would change it throw.
//  - Opening (OpenSafe, CheckSafe) first deals with what an interrupted program left beside the Safe
//    (RecoverLeftovers); its notices go to the prompter as information.
//  - Kinds of Safe. A hardened Safe's text key (TTextKey) is D = Argon2id of the master password with
//    the Safe's own cost and salt (its container header says which); a compatible Safe's text key is
//    the master password itself, as older versions read it. The text key keys the container's key
//    record and the locked-file cipher. Operations given a password derive the key themselves (about
//    half a second for a hardened Safe); callers that open and then work on a Safe derive it once
//    (TextKeyFor) and pass the key. Locked-file operations take the key of the open Safe: a key made
//    for another kind of Safe is refused (EQuillmarError), a wrong password of the same kind gives
//    garbage, as it always did.
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/Exception.h"
#include "container/TextKey.h"
#include "safe/qmProgress.h"
#include "safe/qmSafeChanges.h"

namespace quillmar {

// The two kinds of Safe (see the Contract above).
enum class TqmSafeKind {
  Hardened,    // text key D = Argon2id(master password): no length limit; the default for new Safes
  Compatible,  // text key = master password (at most 32 characters): readable by older versions
};

class TSingleFileSystem;
struct TRebuildNote;
class TStream;
class TqmCategory;
class TqmRepositoryEntry;
class TqvtIcon;
class TqmReminderEvent;
class TqmSettings;
class TqmPrompter;
class TSFSPartStorage;

// A Safe's key derivation asks for more than this program ever writes (TKeyDerivation::Costly) and
// was not run: nobody agreed to its cost. The message names the cost; Derivation() says it exactly.
class ECostlyDerivation : public EQuillmarError {
public:
  ECostlyDerivation(const std::string& message, const TKeyDerivation& derivation)
      : EQuillmarError(message), derivation_(derivation) {}
  const TKeyDerivation& Derivation() const { return derivation_; }

private:
  TKeyDerivation derivation_;
};

// A record of the Safe that could not be read (its container path and why), so that a listing can
// name it and go on with the others.
struct TqmUnreadableRecord {
  std::string Path;
  std::string Reason;
};

// One readable entry file of a category as a load of the whole category numbers it: its file name,
// and the sort order and title that loading the entry gives (TqmSFSWrapper::EntryTitles).
struct TqmEntryTitle {
  std::string FileName;
  int32_t SortOrder = 0;
  std::string Title;
};

// What became of one entry file (TqmSFSWrapper::LoadEntryFile).
enum class TqmEntryFile {
  Missing,     // no such file
  Loaded,      // read whole
  Damaged,     // shown as far as it reads (see DamagedEntries)
  Unreadable,  // left out (see UnreadableEntries)
};

// One File Locker item as the list shows it.
struct TqmFileInfo {
  std::string Name;
  uint64_t Size = 0;        // bytes (files of 4 GiB and more too); 0 for a folder
  std::string Modified;     // last write, local time, "yyyy-mm-dd hh:nn:ss" (sorts as text)
  double ModifiedTime = 0;  // the same as a date-time number (days since 1899-12-30), 0 when unknown
};

// The items directly in one File Locker folder, each kind in listing order.
struct TqmLockerListing {
  std::vector<TqmFileInfo> Folders;
  std::vector<TqmFileInfo> Files;
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
  static constexpr char kMsgCompatiblePasswordTooLong[] =
      "The master password of a compatible Safe can have at most 32 characters (the format older versions "
      "read holds no more). Choose a shorter password, or make the Safe hardened, which has no such limit.";
  static constexpr char kMsgEmptyPassword[] = "The master password must not be empty.";

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

  // --- Keys ------------------------------------------------------------------------------------------
  // The key derivation in the Safe file's header (algorithm none: a compatible Safe). Throws ESFSError
  // naming the problem when the file is no Safe, its header is damaged, or its derivation cannot be
  // followed (unknown algorithm, beyond the bounds); nothing is reserved for it then.
  static TKeyDerivation KeyDerivationOf(const std::string& file);
  static TqmSafeKind KindOf(const TKeyDerivation& derivation) {
    return derivation.Hardened() ? TqmSafeKind::Hardened : TqmSafeKind::Compatible;
  }
  // The text key of the Safe file for password: D (one derivation with the Safe's cost) for a
  // hardened Safe, the password for a compatible one. Whether the password is right is not checked
  // here (CheckSafe). Throws as KeyDerivationOf, or when the derivation fails (memory). A costly
  // derivation (TKeyDerivation::Costly: more than this program ever writes) is run only with
  // allowCostly; otherwise ECostlyDerivation is thrown at once, before anything is reserved (the
  // core asks the user first: TqmGlobal::TextKeyFor).
  static TTextKey TextKeyFor(const std::string& file, std::string_view password, bool allowCostly = false);
  // The message of ECostlyDerivation for the Safe file `file` with that derivation.
  static std::string CostlyDerivationMessage(const std::string& file, const TKeyDerivation& derivation);
  // A new text key of that kind for password: for Hardened a new derivation (fresh salt, the cost of
  // this run: container/KeyDerivationCost.h) and D; for Compatible the password, refused beyond 32
  // characters (kMsgCompatiblePasswordTooLong). An empty password is refused (kMsgEmptyPassword).
  // Throws EQuillmarError / ESFSError.
  static TTextKey NewTextKey(std::string_view password, TqmSafeKind kind);

  // --- Safe as a whole (no open Safe needed) ------------------------------------------------------
  // 0 usable; 1 not a container file; 2 wrong password; 3 (forCreate only: then nothing else is
  // checked) a file of that name exists; 4 the container could not be opened, or its key derivation
  // cannot be followed: its error text is then shown in a plain message box with an empty title.
  // A wrong password costs the one derivation of the Safe's kind and changes nothing on disk.
  // readOnly: whether it could be opened read-only (a writer holding it is then a reason to refuse,
  // other readers are not).
  int CheckSafe(const std::string& file, std::string_view password, bool forCreate, bool readOnly = false);
  // The same with the key already derived (TextKeyFor); forCreate does not apply.
  int CheckSafe(const std::string& file, const TTextKey& key, bool readOnly = false);
  // Whether a usable CheckSafe keeps its container for the OpenSafe that follows (see the contract).
  void KeepCheckedContainer(bool keep);
  // Makes the Safe file `file` (replacing it) from the template Safe compiled into the program, under
  // `password`, of the given kind (the new key is made before anything is written, so a refused
  // password leaves no file). withDemoData keeps the template's sample entries and File Locker files;
  // without it a new Safe has the template's categories, icons, reminders and settings only. Closes
  // any open Safe first and leaves none open. On failure the half-made file is removed and the error
  // propagates. Returns the new Safe's text key, so that it can be opened without a second derivation.
  // (Defined beside the embedded template; programs that link the template get it.)
  TTextKey CreateSafe(const std::string& file, std::string_view password, bool withDemoData,
                      TqmSafeKind kind = TqmSafeKind::Hardened);
  // The same from a given template image (the bytes of a Safe file whose password is templatePassword).
  TTextKey CreateSafeFromImage(std::string_view image, std::string_view templatePassword,
                               const std::string& file, std::string_view password, bool withDemoData,
                               TqmSafeKind kind = TqmSafeKind::Hardened);
  // Creates a new, empty Safe file (replacing it) with the layout folders and keeps it open: under the
  // password a compatible Safe (the generator of the template Safe, tests), under a key the kind the
  // key was made for.
  void CreateEmptySafe(const std::string& file, std::string_view password);
  void CreateEmptySafe(const std::string& file, const TTextKey& key);
  // Opens the Safe (read-write, exclusive; with readOnly read-only with a shared lock, which other
  // readers may share but no writer) and keeps it. Throws the container's error (for example the
  // "invalid password specified" message, the refusal of its key derivation, or that another program
  // holds it) when it cannot be opened; the previous Safe is closed in any case. Opening for writing
  // also removes the work files of a lock or an attachment that never finished (names that begin with
  // U+0001, which no user item can have), and older versions' "~attach<n>.tmp" files that no entry
  // names, with a notice; an older "~lock<n>.tmp" could be a user's file and is kept.
  void OpenSafe(const std::string& file, std::string_view password, bool readOnly = false);
  void OpenSafe(const std::string& file, const TTextKey& key, bool readOnly = false);
  bool ReadOnly() const;
  // What an interrupted repair or change of password left beside the Safe file: "<file>_new",
  // "<file>0" (see TSingleFileSystem::RecoverInterruptedRebuild), "<file>.pwchange",
  // "<file>.pwchange_new", "<file>.pwchange0". When the Safe file exists they are removed (they are
  // unfinished work or copies of the Safe as it was, some under the old password); when it is missing
  // and the old file is whole it is put back. Files another program holds are left alone. Returns one
  // notice per action, or one naming the files that hold the data when nothing could be put back.
  static std::vector<std::string> RecoverLeftovers(const std::string& file,
                                                   TSFSPartStorage* storage = nullptr);
  // RecoverLeftovers with this object's part storage, its notices shown to the prompter as information
  // (CheckSafe and OpenSafe begin with it).
  void TellLeftovers(const std::string& file);

  // One all-or-nothing change of the open Safe: the operations inside it join it. It is committed
  // (durable) by Commit or when it goes out of scope normally, and rolled back when it goes out of
  // scope through an exception; the layout's caches are then forgotten. Does nothing for a read-only
  // Safe. Commit and the destructor throw when the change cannot be made durable (it is then undone).
  // REQUIRES: a Safe is open, and stays open while the change lives.
  class TChange {
  public:
    explicit TChange(TqmSFSWrapper& safe);
    ~TChange() noexcept(false);
    TChange(const TChange&) = delete;
    TChange& operator=(const TChange&) = delete;
    void Commit();

  private:
    TqmSFSWrapper& safe_;
    TSingleFileSystem* sfs_;
    int exceptions_;
    bool done_ = false;
  };

  // One consistent read of the open Safe: the container's shared lock for its length, and this
  // layer's caches dropped first when another program changed the Safe. Every read takes one; a
  // caller that reads many records in a row (every entry of a category) holds one around them all, so
  // that the lock is taken once rather than once per record. Reads nest.
  // REQUIRES: a Safe is open, and stays open while the read lives.
  class TRead {
  public:
    explicit TRead(TqmSFSWrapper& safe);
    ~TRead();
    TRead(const TRead&) = delete;
    TRead& operator=(const TRead&) = delete;

  private:
    TSingleFileSystem& sfs_;
  };

  // What other programs changed in the open Safe since the last call (or since it was opened), as
  // this layer's operations found it (see the Contract). Nothing when no Safe is open.
  TqmSafeChanges TakeChanges();
  // Looks now whether another program changed the open Safe (a read under the shared lock) and takes
  // it in; true when it did (TakeChanges then tells what). False when no Safe is open.
  bool Refresh();

  // Test hook: the part storage every container of this object is opened through (not owned; null:
  // the disk), so that tests can make the disk fail or stop at any write.
  void SetPartStorage(TSFSPartStorage* storage) { storage_ = storage; }
  // Nothing happens when no Safe is open.
  void CloseSafe();
  bool IsOpen() const { return sfs_ != nullptr; }
  // The file of the open Safe ("" when none).
  std::string SafeFileName() const;
  // The open container, for the few callers that need the facade itself (backup, tests).
  TSingleFileSystem* Container() const { return sfs_.get(); }
  // The kind and key derivation of the open Safe. REQUIRES an open Safe.
  TqmSafeKind Kind() const { return KindOf(KeyDerivation()); }
  TKeyDerivation KeyDerivation() const;

  // Changes the master password of the open Safe, and with `kind` its kind (nullopt keeps the kind), and
  // re-keys every locked file. A hardened result always gets a new salt and the cost of this run.
  // Nothing is done when the password and the kind stay. All or nothing: the work is done on a copy of
  // the Safe file that replaces the Safe in one rename, so after a failure (or a crash) at any point
  // the Safe opens with exactly one of the two keys and every locked file decrypts with that same key.
  // True on success (the Safe is then open under the new key); false when oldPassword is not the
  // Safe's password or the container refused (the Safe is then open under the old key, unchanged).
  // Errors (a refused new password among them) propagate after the Safe was reopened under the key
  // its file then has.
  // progress (qmProgress.h) hears of the copy, the re-keying (at least every MiB) and the rebuild; a
  // cancel before the final rename gives false with the Safe file byte for byte as it was. The keys
  // are derived before the first report.
  bool ChangePassword(std::string_view oldPassword, std::string_view newPassword,
                      std::optional<TqmSafeKind> kind = std::nullopt, const TqmProgress& progress = {});
  // The same with both keys made (the old one the open Safe's, the new one by NewTextKey). Nothing is
  // done when they are equal.
  bool ChangePassword(const TTextKey& oldKey, const TTextKey& newKey, const TqmProgress& progress = {});
  // The container's rebuild (RepairFile, not strict). The log text goes to *log when given, and
  // what the rebuild dropped, zeroed or set right to *notes. A cancel through progress gives false
  // with the Safe as it was (and no notes).
  bool Repair(std::string* log = nullptr, std::vector<TRebuildNote>* notes = nullptr,
              const TqmProgress& progress = {});
  // For the repair of a Safe file whose journal opening refuses as damaged
  // (TSingleFileSystem::HasDamagedJournal): puts back what the journal still holds and keeps the
  // journal aside, so that the Safe opens and can be rebuilt (TSingleFileSystem::SalvageJournal).
  // False, with nothing changed, when key does not open the Safe; otherwise one line per thing done
  // in `done`. Throws when another program has the Safe open or the journal cannot be used at all.
  // Closes the open Safe first.
  bool SalvageJournal(const std::string& file, const TTextKey& key, std::vector<std::string>& done);
  // Creates whichever of the seven layout folders is missing (called first by most operations).
  void EnsureLayout();
  // The names of the files (folders false) or folders (true) directly in folder (a container path
  // ending in "\"), in listing order; none when the folder does not exist.
  std::vector<std::string> ListNames(const std::string& folder, bool folders);
  // Reads every byte of the file at path (a container path; records are opened with their file
  // password), which checks every page's checksum and every compressed block. "" when every byte
  // could be read; otherwise why not, with the offset of the first byte that could not be read.
  std::string FileReadProblem(const std::string& path);
  // The whole record file at path (records, icons, reminders, settings: opened with the record
  // password) as bytes. Throws EQuillmarError naming the path, and the offset when a page cannot be
  // read.
  std::string ReadRecordBytes(const std::string& path);

  // --- Categories ---------------------------------------------------------------------------------
  // Folders directly in the category's folder (nullptr: in "\Password Repository\").
  int CountSubcategories(const TqmCategory* category);
  // Walks the folders directly in parent's folder (nullptr: the root) in listing order. A template
  // that cannot be read, or holds no category record, throws EQuillmarError naming its path.
  // byOrder: reads the template of each folder that has one into category (setting FolderName) and
  // stops at the first whose SortOrder equals key. Otherwise key is a position among the folders
  // (from 0) and only that folder's template is read, if it has one.
  // Returns true when the category asked for was read; when not, category holds what was read last
  // (byOrder) or is unchanged. The category's Parent is left as it is: the caller sets it to parent.
  bool LoadCategory(const TqmCategory* parent, int32_t key, bool byOrder, TqmCategory& category);
  // Gives the category a random FolderName when it has none, creates its folder (below its Parent's
  // folder) when missing and writes its template file, replacing it. A category that would not read
  // back as it is (model/RecordCheck.h) throws ERecordRefused before anything is written.
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
  // Per-folder index: a category of n entries costs one pass for the first call, which keeps what it
  // read for the first load of each entry, so that loading every entry reads each record once; every
  // write through this object invalidates it. Entry files that cannot be read are left
  // out of the index (UnreadableEntries names them); one damaged file never hides the others.
  bool LoadEntry(const std::string& path, int32_t sortOrder, TqmRepositoryEntry& entry);
  // Loads the index-th readable entry file in listing order (files of 4 bytes or less skipped),
  // whatever its SortOrder: entries whose numbers have gaps or repeats (a damaged Safe, another
  // program) are still reached this way. True when there is one.
  bool LoadEntryAt(const std::string& path, int index, TqmRepositoryEntry& entry);
  // The "*.entry" files of the category that LoadEntry and LoadEntryAt leave out: empty ones (4 bytes
  // or less), ones a page of which cannot be read, ones that hold no entry record, and damaged ones of
  // which no field can be read (see DamagedEntries). In listing order.
  std::vector<TqmUnreadableRecord> UnreadableEntries(const std::string& path);
  // The "*.entry" files of the category that are loaded although their record is damaged (it holds
  // zero bytes, which no record text has: a repair writes them where a page could not be read, and a
  // page read through the wrong cipher has them): what could be read of them is shown, and this names
  // them. An entry of which no field can be read is among UnreadableEntries instead. In listing order.
  std::vector<TqmUnreadableRecord> DamagedEntries(const std::string& path);
  // The entry files LoadEntryAt reaches, in the same (listing) order, each with the sort order and
  // title its entry loads with (damaged ones as far as they read), without making the entries: what
  // a label ("title#2") needs of the category. The records are read and judged once, for the index,
  // as a load of the category reads them, and not kept: a load that follows reads them again.
  std::vector<TqmEntryTitle> EntryTitles(const std::string& path);
  // Reads the one entry file fileName of the category as LoadEntryAt would, with the same judgement
  // of damage as UnreadableEntries and DamagedEntries, but without the category's index: one record
  // is read, whatever the size of the category. Loaded and Damaged fill entry (FileName included);
  // Damaged and Unreadable say why in problem. Missing and Unreadable leave entry as it was.
  TqmEntryFile LoadEntryFile(const std::string& path, const std::string& fileName, TqmRepositoryEntry& entry,
                             std::string& problem);
  // Creates the category folder when missing, gives the entry a random FileName when it has none and
  // writes the entry record, replacing the file. An entry that would not read back as it is
  // (model/RecordCheck.h) throws ERecordRefused before anything is written.
  void SaveEntry(const std::string& path, TqmRepositoryEntry& entry);
  // The record of the entry file fileName in the category folder path as the Safe holds it now
  // (another program's change included), read under the shared lock; nullopt when there is no such
  // file. Throws as ReadRecordBytes.
  std::optional<std::string> ReadEntryRecord(const std::string& path, const std::string& fileName);
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
  int ListIcons(TIconKind kind, std::vector<std::string>& list);
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
  // A reminder without id gets a random free one; writes the record, replacing it. A reminder that
  // would not read back as it is throws ERecordRefused before anything is written.
  void SaveReminder(TqmReminderEvent& reminder);
  // True when the file is gone.
  bool DeleteReminder(const std::string& id);
  // The ids of all reminder files, in listing order.
  std::vector<std::string> ReminderNames();
  // Saves a copy of the reminder under a new id and returns that id ("" when id does not exist).
  std::string CopyReminder(const std::string& id);

  // --- Attached files -----------------------------------------------------------------------------
  // Copies the disk file into "\Quillmar.System.Info\Attached Files\" under its own file name and
  // returns that name. When the name exists, asks kMsgFileExists: No returns "". A name that
  // ItemNameProblem refuses throws ERecordRefused.
  std::string AttachFile(const std::string& diskFile);
  // Copies the attached file to diskFolder (the core's attachments temporary folder) under the same
  // name, replacing a file there once every byte was read (as UnlockFile does); returns the disk path.
  // Throws for a name that is not a plain file name (separators, "..") or an attachment that does not
  // exist, and, naming the file and the offset, for one that cannot be read in full.
  std::string ExtractAttachedFile(const std::string& name, const std::string& diskFolder);
  // True for an empty name; otherwise deletes the file if it exists (true when it did not exist).
  bool DeleteAttachedFile(const std::string& name);
  // The name AttachFile stores the disk file under: its file name in the Safe's code page. Throws
  // EQuillmarError when the name holds characters the code page cannot hold. Needs no open Safe.
  static std::string AttachedFileName(const std::string& diskFile);
  // Whether an attached file of that name is in the Safe (false for a name that is no plain name).
  bool AttachedFileExists(const std::string& name);

  // --- Settings -----------------------------------------------------------------------------------
  // The whole settings file as text; "" when it does not exist.
  std::string ReadSettingsText();
  void WriteSettingsText(const std::string& text);
  // The same through a settings record (ParseText / GetText). SaveSettings refuses (ERecordRefused)
  // settings whose text would not read back as they are.
  void LoadSettings(TqmSettings& settings);
  void SaveSettings(const TqmSettings& settings);

  // --- File Locker --------------------------------------------------------------------------------
  // "" when name can be the name of a File Locker item or an attached file: not empty, not "." or
  // "..", no "\" or "/", no control character, at most 259 characters (the container's limit, which
  // would cut a longer name). Otherwise the message (what names the kind of name: "The folder name").
  static std::string ItemNameProblem(const std::string& name, const std::string& what);
  static std::string FileLockerRoot() { return kFileLockerRoot; }
  // Files, or folders, directly in folder.
  int CountFiles(const std::string& folder);
  int CountFolders(const std::string& folder);
  // The index-th file (or folder) of folder in listing order; an empty record for a missing index.
  // Each call walks the folder: a listing of the whole folder is ListLockerFolder.
  TqmFileInfo FileInfoAt(const std::string& folder, int index);
  TqmFileInfo FolderInfoAt(const std::string& folder, int index);
  // Every folder and file directly in folder with its size and time, in one walk of the folder
  // (what CountFolders, FolderInfoAt, CountFiles and FileInfoAt give item by item). Empty when the
  // folder does not exist.
  TqmLockerListing ListLockerFolder(const std::string& folder);
  // Throws ERecordRefused for a name ItemNameProblem refuses. Shows kMsgFolderExists and returns
  // false when parent + name exists; otherwise creates it.
  bool CreateFolder(const std::string& parent, const std::string& name);
  // Encrypts the disk file into the Safe under password. The target is folder + the disk file's name
  // when appendName (asking kMsgFileExists when it exists: No returns false), else folder itself is
  // the target path (replaced without asking). The target's name must pass ItemNameProblem
  // (ERecordRefused otherwise). The disk file is opened for exclusive reading: one another process
  // holds locked, or that cannot be read in full, throws. On failure no partial target is left
  // behind (a replaced target is lost only once the new one is complete).
  // progress (qmProgress.h) hears of the bytes stored; a cancel returns false with the Safe as it was
  // (no partial target, a target of that name unchanged). True once the file is in the Safe, durably.
  // `key` is the open Safe's text key (see the Contract); the overloads with a password serve
  // compatible Safes only.
  bool LockFile(const std::string& folder, const std::string& diskFile, bool appendName, const TTextKey& key,
                const TqmByteProgress& progress = {});
  bool LockFile(const std::string& folder, const std::string& diskFile, bool appendName,
                std::string_view password) {
    return LockFile(folder, diskFile, appendName, TTextKey::FromPassword(password));
  }
  // The same from a stream (from its position to its end) into the container path target, replacing it.
  // With progress: false when it was cancelled (nothing changed), else true.
  bool LockStream(const std::string& target, TStream& source, const TTextKey& key,
                  const TqmByteProgress& progress = {});
  void LockStream(const std::string& target, TStream& source, std::string_view password) {
    LockStream(target, source, TTextKey::FromPassword(password));
  }
  // Decrypts folder + name into diskFile. When diskFile exists asks kMsgFileAlreadyOpened: No returns
  // false. The plain bytes go to a new private file beside diskFile that replaces it only once every
  // byte was decrypted: when a page of the locked file cannot be read, EQuillmarError names the file
  // and the offset, nothing is left on the disk (an existing diskFile is kept as it was) and the
  // locked file stays in the Safe. progress hears of the bytes written; a cancel returns false the
  // same way (no partial file, an existing diskFile unchanged).
  bool UnlockFile(const std::string& folder, const std::string& name, const TTextKey& key,
                  const std::string& diskFile, const TqmByteProgress& progress = {});
  bool UnlockFile(const std::string& folder, const std::string& name, std::string_view password,
                  const std::string& diskFile) {
    return UnlockFile(folder, name, TTextKey::FromPassword(password), diskFile);
  }
  // Decrypts the container file path into dest (at its position). A page that cannot be read throws
  // EUnreadableData (what dest got by then is incomplete).
  void UnlockToStream(const std::string& path, TStream& dest, const TTextKey& key);
  void UnlockToStream(const std::string& path, TStream& dest, std::string_view password) {
    UnlockToStream(path, dest, TTextKey::FromPassword(password));
  }
  // A file or an empty folder is deleted at once; a folder with content only after kMsgRemoveFolder
  // is answered Yes (without askFolder at once: the caller has made sure of it, as Unlock/Remove does
  // once every file of the folder is on the disk). True when it was removed.
  bool Remove(const std::string& folder, const std::string& name, bool askFolder = true);
  // Renames folder + oldName to folder + newName; false when that is not possible (name taken, or a
  // name with a separator). A newName ItemNameProblem refuses otherwise throws ERecordRefused.
  bool Rename(const std::string& folder, const std::string& oldName, const std::string& newName);

  // Test hook of ChangePassword: called with the name of each stage reached ("copied", "rekeyed",
  // "container", "synced", "swapped"); throwing from it simulates a failure at that point.
  std::function<void(const std::string& stage)> OnPasswordChangeStage;

private:
  // Drops the caches when the container took in another program's change since the last look.
  void NoteExternalChanges();
  TSingleFileSystem& Sfs();
  bool Ask(const std::string& message);
  void ProcessEvents();
  // Opens the container of file, or takes `checked` (the container CheckSafe opened for it) when given.
  void OpenContainer(const std::string& file, const TTextKey& key, bool readOnly = false,
                     std::unique_ptr<TSingleFileSystem> checked = nullptr);
  // Throws unless key was made for the open Safe's kind (and cost and salt).
  void RequireKeyOfOpenSafe(const TTextKey& key);
  // The steps of CheckSafe once the leftovers were dealt with: whether the file is a container at all
  // (csUsable when it is), then whether the key opens it.
  int ContainerFileCode(const std::string& file);
  int CheckKey(const std::string& file, const TTextKey& key, bool readOnly);
  // OpenSafe once the leftovers were dealt with.
  void OpenRecovered(const std::string& file, const TTextKey& key, bool readOnly,
                     std::unique_ptr<TSingleFileSystem> checked);
  void RemovePartialFiles();
  // Those of names (files of "\\Quillmar.System.Info\\Attached Files\\") that no entry record of
  // the repository holds as a field's value; none while an entry record cannot be read.
  std::vector<std::string> AttachedNamesNoEntryHolds(std::vector<std::string> names);
  std::string CategoryFolder(const TqmCategory* category) const;
  std::string EntryFolder(const std::string& path) const;
  std::string IconFolder(int kind) const;
  void WriteRecord(const std::string& path, const std::string& bytes, const std::string& password);
  // Reads a reminder record; throws EQuillmarError naming the path when it cannot be read or holds
  // no reminder record.
  void ReadReminder(const std::string& path, TqmReminderEvent& reminder);
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
    std::vector<TqmEntryTitle> Titles;        // the same files with their sort order and title
    std::vector<TqmUnreadableRecord> Unreadable;
    std::vector<TqmUnreadableRecord> Damaged;  // loaded, but damaged
    // The records as read for the index, by file name, each handed to the first load of its entry so
    // that loading a whole category reads every record once, not twice. Wiped when the index goes.
    std::map<std::string, std::string> Unclaimed;

    TEntryIndex() = default;
    TEntryIndex(TEntryIndex&&) = default;
    TEntryIndex& operator=(TEntryIndex&&) = default;
    ~TEntryIndex();
  };
  // keepRecords: the records read are kept for the loads that follow (a caller that wants only the
  // titles lets them go at once).
  TEntryIndex& IndexOf(const std::string& folder, bool keepRecords = true);
  // The bytes of the entry record folder + name: those the index kept (once), else read now.
  std::string EntryRecordBytes(TEntryIndex& index, const std::string& folder, const std::string& name);

  TqmPrompter* prompter_;
  TSFSPartStorage* storage_ = nullptr;
  std::unique_ptr<TSingleFileSystem> sfs_;
  // The container the last CheckSafe opened, kept for the OpenSafe that follows it.
  struct TChecked;
  std::unique_ptr<TChecked> checked_;
  bool keepChecked_ = false;
  std::unique_ptr<TSingleFileSystem> TakeChecked(const std::string& file, const TTextKey& key, bool readOnly);
  std::map<std::string, TEntryIndex> entryIndex_;
  uint64_t seenExternal_ = 0;  // the container's ExternalChangeCount when the caches were last checked
};

}  // namespace quillmar
