#pragma once
// TqmGlobal: the one application object. It lives for the whole run; every window (and the command
// line) reaches the Safe through it. It holds the current Safe's name and text key, whether a Safe is
// open, the Safe's settings, the home folder, the pending received-files command and the reminder
// schedule. It owns the Safe layout object (TqmSFSWrapper), the ini file (core/qmIniFile.h), the
// opened-copies tracker with the two temporary folders (core/qmOpenedCopies.h) and the backup
// (core/qmBackup.h). Most operations forward to one of them, adding the text key, the busy pointer
// or a rule of their own.
//
// Master password and text key. The text key (TTextKey) of a compatible Safe is its master password;
// that of a hardened Safe is D, derived from the master password by Argon2id (about half a second by
// design). After the login only the text key is kept, and only while the Safe is open (the container
// keeps its own key as long); the typed password of a hardened Safe is wiped once D is made. So a
// typed password is checked with IsMasterPassword (one derivation), and a caller that must reopen a
// Safe later (the desktop's cancelled switch) keeps a copy of SafeKey() before closing it. New Safes
// are hardened unless asked otherwise; a change of password keeps the kind unless asked otherwise.
//
// Folders (the home folder stands for the program folder; see platform/HomeFolder.h):
//   <home>/<SafeName>.qvt       the Safes
//   <home>/Quillmar.ini         section [safe], key lastused: the Safe used last
//   <home>/TEMP/                copies of locked files taken out for viewing or editing
//   <home>/TEMP_AT/             attached files taken out for viewing
// Both temporary folders are private to the user (0700): they hold decrypted data.
//
// Opened files: while a Safe is open, TempFolder() is <home>/TEMP/<SafeName>.qvt/; UnlockFile records
// every copy it writes below the TEMP folder, UpdateOpenedFiles writes back those of the open Safe,
// and the clean-up (when the object dies, and EmptyTempFolders) keeps what still waits to be written
// back and what an earlier run left. The rules are those of TqmOpenedCopies (core/qmOpenedCopies.h).
//
// Start options: the program's arguments, argument 0 the program. "/sm" (exactly, letter case
// counts) starts minimized to the tray; the first argument containing "/rf:[" anywhere is a
// received-files command: "/rf:[" command "][" count "]" then count paths each ended by "|".
// A command from the command line is handed over once per run: after ReceivedFilesHandled it is not
// returned again.
//
// Errors: the Safe layer's errors pass through (ESFSError / EQuillmarError with the container's
// message), except LockFile (false; LastLockError() keeps the text) and CheckSafe (code 4). Backup and
// Restore throw EQuillmarError with a message that says what failed; a declined question returns
// false and changes nothing.
//
// Other programs. A Safe open here may be open in other programs too (the command line beside the
// desktop): they read and change it by transactions (safe/qmSFSWrapper.h). Whatever this object
// reads finds their changes, and a change is never made on what they have replaced. What changed is
// told through RefreshFromDisk: the desktop calls it when its watch on the Safe's file fires (and may
// call it whenever it likes); it takes the change in (the settings merged, the reminder schedule
// rebuilt) and tells every TqmSafeListener what changed, so that the windows show it. The settings
// this object keeps are merged with what another program saved: a setting changed here wins,
// every other one takes the Safe's value (SaveSettings, RefreshFromDisk).
//
// Threading. The object is not thread-safe: one thread at a time calls it, and a hand-over between
// threads is a start or a join (the desktop's TqmProgressRunner). The owning (window) thread makes
// it, sets its hooks and wiring (SetPrompter, SetProcessEvents, SetBusyPointer, SetAutoFillFiller,
// AttachReminderScheduler) and destroys it.
//   May run on a worker, while the owning thread waits without calling in: the long operations and
//   the checks of a password, one at a time - ChangePassword, Backup, Repair (and RepairSafe, the
//   deep check of core/qmSafeCheck.h), TextKeyFor, CheckSafe, CreateSafe, IsMasterPassword (the
//   login rules of core/qmLoginRules.h call these). Their hooks are then called on the worker: the
//   process-events and busy-pointer hooks must do nothing there (the owning thread runs its own
//   events), and the prompter must carry a question over to the owning thread and wait for the
//   answer.
//   Only on the owning thread: opening, closing and switching the Safe (OpenSafe, OpenSafeByName,
//   CloseSafe, DeleteSafeFile, Restore), SafeName and the settings as the windows show them, the
//   reminder schedule (ScheduleReminders, FireReminder, SnoozeReminder, DismissReminder: their
//   handlers open windows), FillWebForm (the filler is a window), and the temporary folders
//   (UpdateOpenedFiles, EmptyTempFolders: they may ask questions of the windows' own).
// The reminder scheduler's thread never calls in: it only posts due jobs to the owning thread
// (core/ReminderScheduler.h). A key derivation with a progress callback runs on a thread of its own
// while the calling thread reports (core/qmKeyDerivationRun.h).
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/qmAppPrompter.h"
#include "core/qmBackup.h"
#include "core/qmHandOver.h"
#include "core/qmIniFile.h"
#include "core/qmOpenedCopies.h"
#include "model/StringArray.h"
#include "safe/qmSFSWrapper.h"
#include "safe/qmSettings.h"

namespace quillmar {

class TReminderScheduler;
class TqmReminderSchedule;
class TqmReminderStore;
class TqmReminderEvent;
class TqmReminderLauncher;
class TacCronJob;
struct TRebuildNote;

// Told what another program changed in the open Safe (TqmGlobal::RefreshFromDisk).
class TqmSafeListener {
public:
  virtual ~TqmSafeListener() = default;
  // Called on the thread that called RefreshFromDisk, after the settings and the reminder schedule
  // took the change in. A listener may read the Safe through TqmGlobal here; it must not close or
  // switch it.
  virtual void SafeChanged(const TqmSafeChanges& changes) = 0;
};

// Autofill call-in: the UI's web-form filler (a browser window of the program's own).
class TqmAutoFillFiller {
public:
  virtual ~TqmAutoFillFiller() = default;
  // Opens the page the autofill text names and fills (and submits) its web form with the entry's
  // name-value list. True once the filler's window is open: the fill itself goes on there and says
  // how it went. False when nothing was opened (the text names no form, or no browser can start).
  virtual bool FillWebForm(const std::string& autoFillText, const std::vector<std::string>& nameValues) = 0;
};

class TqmGlobal {
public:
  static constexpr const auto& kIniFileName = TqmIniFile::kFileName;
  static constexpr const auto& kSafeExtension = kSafeFileExtension;
  static constexpr char kBackupExtension[] = ".qvtb";
  static constexpr char kBackupFilter[] = "Brelkan Safe backup (*.qvtb)|*.qvtb";

  // Messages.
  static constexpr char kMsgCategoryHasEntries[] =
      "You cannot delete this category as there are some password entries\r\nassosiated in the safe. Please "
      "first remove the password entries, then\r\ndelete the category";
  static constexpr const auto& kMsgFileOpenedByAnother = TqmOpenedCopies::kMsgFileOpenedByAnother;
  static constexpr const auto& kMsgCloseFile = TqmOpenedCopies::kMsgCloseFile;
  static constexpr const auto& kMsgFileExists = TqmBackup::kMsgFileExists;

  // Creation: clears DemoData and SafeOpen, creates the Safe layout object (no Safe open), formats the
  // version text and creates the home folder and the two temporary folders (0700).
  // homeFolder: the resolved home folder (ResolveHomeFolder or HomeFolderFromArguments); a missing
  // trailing "/" is added. arguments: the program's arguments, argument 0 the program.
  // prompter (not owned) may be null: questions are then answered No (Cancel) and notices dropped.
  // Throws EQuillmarError when a folder cannot be made.
  TqmGlobal(const std::string& homeFolder, std::vector<std::string> arguments,
            TqmAppPrompter* prompter = nullptr);
  // Empties the temporary folders as described at the top, closes an open Safe (its settings are not
  // saved here: SaveSettings is the caller's, before) and forgets its key.
  ~TqmGlobal();
  TqmGlobal(const TqmGlobal&) = delete;
  TqmGlobal& operator=(const TqmGlobal&) = delete;

  // How long this program waits while another program reads or changes a Safe before an operation
  // fails with a message that says so (5 seconds unless set; the command line's --wait).
  static void SetBusyTimeout(std::chrono::milliseconds timeout);
  static std::chrono::milliseconds BusyTimeout();
  // The home folder for these arguments: the value of "--home DIR" or "--home=DIR" when given, else
  // as ResolveHomeFolder says.
  static std::string HomeFolderFromArguments(const std::vector<std::string>& arguments);

  // --- Hooks ---------------------------------------------------------------------------------------
  // The prompter of this object and of the Safe layout (not owned; may be null).
  void SetPrompter(TqmAppPrompter* prompter);
  TqmAppPrompter* Prompter() const { return prompter_; }
  // "Let pending window events run" during long operations (UI: QCoreApplication::processEvents).
  void SetProcessEvents(std::function<void()> processEvents);
  void ProcessEvents() const;
  // The busy (hourglass) pointer: called with true before and false after a long operation, also
  // when it fails. Nested operations call it once.
  void SetBusyPointer(std::function<void(bool busy)> busy) { busy_ = std::move(busy); }
  // The web-form filler of the UI (not owned; may be null).
  void SetAutoFillFiller(TqmAutoFillFiller* filler) { autoFill_ = filler; }
  // Progress of a key derivation expected to take over a second (TextKeyFor): see
  // DeriveWithProgress (core/qmKeyDerivationRun.h) for what it reports and what a cancel does. A
  // window binds it while it waits for a login; empty (the default): the derivation just runs.
  void SetDerivationProgress(TqmProgress progress) { derivationProgress_ = std::move(progress); }

  // --- State -----------------------------------------------------------------------------------------
  bool SafeOpen() const { return safeOpen_; }
  const std::string& SafeName() const { return safeName_; }
  void SetSafeName(const std::string& name) { safeName_ = name; }
  // The text key of the open Safe (empty when none is open): its master password when it is
  // compatible, D when it is hardened. Copies share the same wiped memory; CloseSafe forgets it.
  const TTextKey& SafeKey() const { return safeKey_; }
  void SetSafeKey(const TTextKey& key) { safeKey_ = key; }
  // Whether typed is the current Safe's master password (the change-password dialog's old password,
  // the password asked before a Safe locked on minimize is shown again). One derivation for a
  // hardened Safe. False when no Safe is open.
  bool IsMasterPassword(std::string_view typed) const;
  bool DemoData() const { return demoData_; }
  void SetDemoData(bool demo) { demoData_ = demo; }
  const std::string& PendingReceivedFiles() const { return pendingReceivedFiles_; }
  void SetPendingReceivedFiles(const std::string& text) { pendingReceivedFiles_ = text; }
  TqmSettings& Settings() { return settings_; }
  const TqmSettings& Settings() const { return settings_; }
  TStringArray& AutoFillMenuData() { return autoFillMenuData_; }
  TStringArray& UrlMenuData() { return urlMenuData_; }
  // "%d.%d.%d.%d" of the program's version.
  const std::string& VersionText() const { return versionText_; }
  // The same without an application object (the command line's --version).
  static std::string ProgramVersionText();
  const std::vector<std::string>& Arguments() const { return arguments_; }
  // The Safe layout object, for callers that need an operation not forwarded here.
  TqmSFSWrapper& Wrapper() { return wrapper_; }

  // --- Paths -----------------------------------------------------------------------------------------
  // Each ends in "/".
  const std::string& HomeFolder() const { return home_; }
  // <home>/TEMP/<SafeName>.qvt/ while a Safe is open, else the TEMP folder itself.
  std::string TempFolder() const;
  const std::string& TempRootFolder() const { return copies_.TempRoot(); }
  const std::string& AttachmentsTempFolder() const { return copies_.AttachmentsTemp(); }
  // <home> + name + ".qvt".
  std::string SafeFile(const std::string& safeName) const;
  // The current Safe's file (SafeFile(SafeName())).
  std::string CurrentSafeFile() const { return SafeFile(safeName_); }
  std::string IniFile() const { return ini_.Path(); }

  // --- Own operations ------------------------------------------------------------------------------
  // The Safes of the home folder: SafeNamesIn(HomeFolder()) (core/qmHandOver.h).
  std::vector<std::string> SafeNames() const { return SafeNamesIn(home_); }
  // See TqmIniFile::LastUsedSafe.
  std::string ReadLastUsedSafe() const { return ini_.LastUsedSafe(); }
  // Writes SafeName() as the Safe used last: see TqmIniFile::SetLastUsedSafe.
  void WriteLastUsedSafe() const { ini_.SetLastUsedSafe(safeName_); }
  bool StartMinimized() const;
  // The first argument containing "/rf:[" (until ReceivedFilesHandled), else PendingReceivedFiles
  // when not empty. False when there is none.
  bool ReceivedFilesCommand(std::string& command) const;
  // A received-files command was carried out: clears PendingReceivedFiles, and the command-line one
  // is not handed over again.
  void ReceivedFilesHandled();
  // Takes a received-files text apart: see core/qmHandOver.h.
  static TqmReceivedFiles ParseReceivedFiles(const std::string& text) {
    return quillmar::ParseReceivedFiles(text);
  }
  // "%d.%d.%d.%d" of a version text split at "." (missing or non-numeric parts count as 0).
  static std::string FormatVersionText(const std::string& fileVersion);

  // The twelve display names of the field types in code order, and the code of a display name (0
  // for one that matches none).
  static std::vector<std::string> FieldTypeNames();
  static uint8_t FieldTypeCode(const std::string& name);

  // Refuses (showing kMsgCategoryHasEntries as a warning) when the category or any category below it
  // holds entries, and returns false; otherwise removes the category's folder with its sub-categories.
  bool DeleteCategory(const std::string& path);
  // Before an entry is deleted: deletes the reminders its "Reminder (Yes/No)" fields name (and drops
  // their jobs) and the attached files its "File" and "Picture" fields name. A reminder or file that
  // another entry of the repository still names (a copied entry shares them) is kept, and so is
  // everything while a record of the repository cannot be read (what it names is unknown). One change
  // of the Safe (all or nothing).
  void RemoveEntryData(const TqmRepositoryEntry& entry);
  // RemoveEntryData and DeleteEntry of the entry's file in its category folder `path`, as one change:
  // after a failure or a crash the entry and everything it names are all still there, or all gone.
  bool DeleteEntryWithData(const std::string& path, const TqmRepositoryEntry& entry);

  // Writes opened files back: see TqmOpenedCopies::WriteBack, for the copies of the open Safe below
  // folder (default: the whole TEMP folder), locked back with the busy pointer and the Safe's key.
  // True when the caller may go on (close the window, switch the Safe). With no Safe open nothing can
  // be written back: the copies stay and the result is true.
  bool UpdateOpenedFiles();
  bool UpdateOpenedFiles(const std::string& folder);
  // Writes back the waiting copies of the locked item folder + name of the open Safe (the file, or
  // every file below the folder), as UpdateOpenedFiles does for all: before the item is renamed,
  // unlocked or locked over, so that no copy later brings back an old name or overrides a newer
  // version. False when the user chose Cancel (the caller then stops); true with no Safe open.
  bool ReturnOpenedCopies(const std::string& folder, const std::string& name);
  // Deletes the waiting copies of that item without writing them back (it was deleted from the Safe);
  // the number dropped.
  size_t DropOpenedCopies(const std::string& folder, const std::string& name);
  // The container paths of the open Safe's locked files whose copies wait to be written back.
  std::vector<std::string> OpenedCopyPaths() const;
  // The recorded copies of the open Safe that still wait to be written back (TqmOpenedCopies::Pending).
  std::vector<std::string> OpenedFiles() const;
  // The same for the Safe of that name whether it is open or not (a locked Safe's copies wait for
  // its next login).
  std::vector<std::string> OpenedFilesOf(const std::string& safeName) const;
  // The folder below TEMP where the copies of that Safe are kept (<home>/TEMP/<name>.qvt/).
  std::string TempFolderOf(const std::string& safeName) const;
  // Files in the TEMP folder that no recorded copy of this run accounts for (left by an earlier run,
  // or copies of a Safe that is not open now). They are kept until the user removes them.
  std::vector<std::string> UnaccountedTempFiles() const;
  // Empties the temporary folders as the destructor does (used after a switch of Safe): see
  // TqmOpenedCopies::EmptyTempFolders.
  void EmptyTempFolders();

  // Settings of the open Safe. LoadSettings: when SafeName is not empty and a Safe is open, starts
  // from the defaults and reads the Safe's settings text; when the settings record cannot be read the
  // defaults stay, SettingsProblem() says why and the prompter is warned (naming the record): the
  // Safe opens all the same. SaveSettings: only while SafeOpen and only when a setting changed here
  // since they were read or saved (else nothing is written and no change begun), writes them,
  // replacing the file (a damaged record is replaced too), in one change with a read of what the Safe
  // holds: a setting another program changed since this object read them keeps that program's value
  // unless it was changed here too.
  void LoadSettings();
  // rewrite: written even when nothing changed here (the repair puts back a damaged record).
  void SaveSettings(bool rewrite = false);
  // Why the open Safe's settings could not be read at its opening ("" when they could).
  const std::string& SettingsProblem() const { return settingsProblem_; }

  // --- Other programs (see the top) ------------------------------------------------------------------
  // Listeners are not owned; remove one before it dies.
  void AddSafeListener(TqmSafeListener* listener);
  void RemoveSafeListener(TqmSafeListener* listener);
  // Looks whether another program changed the open Safe (and takes in what this object's own reads
  // found meanwhile): merges the settings, rebuilds the reminder schedule when reminders may have
  // changed, and tells the listeners. Returns what changed (nothing when no Safe is open). Throws
  // what a read of the Safe throws (ESFSBusy while another program changes it for long).
  TqmSafeChanges RefreshFromDisk();

  // --- The Safe as a whole -----------------------------------------------------------------------------
  // The text key of the Safe file for password (one derivation for a hardened Safe; the password
  // itself for a compatible one), for a login that checks and then opens: derive once, then
  // CheckSafe(file, key) and OpenSafeByName(name, key). What an interrupted program left beside the
  // Safe is dealt with first (TqmSFSWrapper::TellLeftovers), so that a Safe put back is read. Throws
  // (with the reason) when the file's key derivation cannot be followed, is no Safe, or the
  // derivation fails. A costly derivation (TKeyDerivation::Costly: beyond anything this program
  // writes) runs only when the prompter's AllowCostlyDerivation agrees to its cost (the question
  // names it, core/qmKeyDerivationRun.h); otherwise ECostlyDerivation is thrown (without a prompter
  // too). A cancel through SetDerivationProgress's callback throws EDerivationCancelled.
  TTextKey TextKeyFor(const std::string& file, std::string_view password);
  // Closes any open Safe, sets SafeOpen and opens the container (read-only with a shared lock when
  // readOnly: nothing of the Safe is then written). When the open fails SafeOpen is false again and
  // the error propagates (with the container's message).
  void OpenSafe(const std::string& file, std::string_view password, bool readOnly = false);
  void OpenSafe(const std::string& file, const TTextKey& key, bool readOnly = false);
  // The login's open: OpenSafe(SafeFile(name), ...); on success SafeName and SafeKey are set and the
  // settings loaded.
  void OpenSafeByName(const std::string& name, std::string_view password, bool readOnly = false);
  void OpenSafeByName(const std::string& name, const TTextKey& key, bool readOnly = false);
  // Clears SafeOpen, closes the container and forgets SafeKey (nothing else happens when none is open).
  void CloseSafe();
  // Makes a new Safe file from the template (DemoData decides the sample content), hardened unless
  // kind says Compatible (the desktop's "Readable by older versions (weaker protection)"); leaves no
  // Safe open (an open one is closed first). A password a compatible Safe cannot hold (over 32
  // characters) is refused with TqmSFSWrapper::kMsgCompatiblePasswordTooLong before anything is
  // written. Returns the new Safe's text key (for OpenSafeByName without a second derivation).
  TTextKey CreateSafe(const std::string& file, std::string_view password,
                      TqmSafeKind kind = TqmSafeKind::Hardened);
  // See TqmSFSWrapper::CheckSafe; adds the busy pointer.
  // 0 usable, 1 not a Safe file, 2 wrong password, 3 (forCreate) the file exists, 4 it cannot be
  // opened (the reason was shown; also a key derivation the program cannot follow). readOnly: checked
  // for a read-only open.
  int CheckSafe(const std::string& file, std::string_view password, bool forCreate, bool readOnly = false);
  int CheckSafe(const std::string& file, const TTextKey& key, bool readOnly = false);
  // Changes the master password of the open Safe (re-keying the locked files) and then SafeKey. kind:
  // nullopt keeps the Safe's kind; Hardened hardens a compatible Safe; Compatible makes a hardened
  // Safe compatible (ask the user first: it weakens the Safe). The same password is allowed when the
  // kind changes; a hardened result always gets a new salt. False when oldPassword is not the master
  // password, the container refused, or progress (safe/qmProgress.h) asked for a cancel in time
  // (nothing changed then). Errors (a refused new password among them) propagate with nothing changed.
  bool ChangePassword(std::string_view oldPassword, std::string_view newPassword,
                      std::optional<TqmSafeKind> kind = std::nullopt, const TqmProgress& progress = {});
  // The kind and key derivation of the open Safe (TqmSFSWrapper::Kind, KeyDerivation). REQUIRES an
  // open Safe.
  TqmSafeKind SafeKind() const { return wrapper_.Kind(); }
  TKeyDerivation SafeKeyDerivation() const { return wrapper_.KeyDerivation(); }
  // Rebuilds the open Safe's container, with the busy pointer. False when it failed or was cancelled
  // (the Safe is then as it was). notes (when given) receives what the rebuild dropped, zeroed or set
  // right, log the rebuild's log, which says why it failed (see TSingleFileSystem::RepairFile).
  // core/qmSafeCheck.h's RepairSafe adds the deep check afterwards.
  bool Repair(std::vector<TRebuildNote>* notes = nullptr, std::string* log = nullptr,
              const TqmProgress& progress = {});
  // Before the repair of a Safe whose journal is damaged (the open refuses it; see
  // TqmSFSWrapper::SalvageJournal): closes the open Safe and puts back what the journal still holds,
  // with the busy pointer. False when key does not open the Safe (nothing changed); `done` says what
  // was done. Then open the Safe and repair it (core/qmSafeCheck.h's RepairSafe).
  bool SalvageJournal(const std::string& file, const TTextKey& key, std::vector<std::string>& done);
  // Deletes the Safe file of that name (and its journal); when it is the open Safe it is closed
  // first, and when it is the current Safe, SafeName and SafeKey are cleared. False when the file
  // could not be deleted, or another program has it open (said to the prompter as a warning).
  bool DeleteSafeFile(const std::string& name);

  // Backup of the open Safe into target (the caller's file dialog chose it): TqmBackup::MayBackUp
  // (the refusals, and kMsgFileExists when target exists: No returns false), then with the busy
  // pointer TqmBackup::BackUp with the Safe's key. A backup is a plain Safe file under the master
  // password of the moment, of the Safe's kind. Throws EQuillmarError when a step fails; target is
  // then left as it was. progress hears of the repair and the copy; a cancel before the final rename
  // returns false with target as it was.
  // REQUIRES: SafeOpen.
  bool Backup(const std::string& target, const TqmProgress& progress = {});
  // Replaces the current Safe's file (SafeFile(SafeName)) with the backup file (TqmBackup's
  // CheckBackupFile, then with the busy pointer ReplaceSafe). The backup must be a Safe file; it is
  // copied to a temporary name in the home folder, flushed and renamed over the Safe, so a failed or
  // refused restore leaves the Safe as it was. An open Safe is closed first (after the checks). The
  // Safe then opens with the password the backup was made under. The Safe's journal of an
  // interrupted change, if any, goes (it belongs to the file that is replaced). Throws EQuillmarError
  // (saying why) when the file is missing, is no Safe file, cannot be copied, or the Safe is open in
  // another program.
  // REQUIRES: SafeName is not empty.
  void Restore(const std::string& backupFile);

  // --- File Locker -------------------------------------------------------------------------------------
  // See TqmSFSWrapper::FileLockerRoot.
  std::string FileLockerRoot() const { return TqmSFSWrapper::FileLockerRoot(); }
  // See TqmSFSWrapper::CountFiles.
  int CountFiles(const std::string& folder);
  // See TqmSFSWrapper::CountFolders.
  int CountFolders(const std::string& folder);
  // See TqmSFSWrapper::FileInfoAt.
  TqmFileInfo FileInfoAt(const std::string& folder, int index);
  // See TqmSFSWrapper::FolderInfoAt.
  TqmFileInfo FolderInfoAt(const std::string& folder, int index);
  // See TqmSFSWrapper::ListLockerFolder: the whole folder in one walk.
  TqmLockerListing ListLockerFolder(const std::string& folder);
  // See TqmSFSWrapper::CreateFolder.
  bool CreateFolder(const std::string& parent, const std::string& name);
  // See TqmSFSWrapper::LockFile; adds the busy pointer and the Safe's key. Any error gives false
  // (LastLockError() says why; a declined overwrite question and a cancel through progress leave it
  // empty).
  bool LockFile(const std::string& folder, const std::string& diskFile, bool appendName,
                const TqmByteProgress& progress = {});
  const std::string& LastLockError() const { return lastLockError_; }
  // See TqmSFSWrapper::UnlockFile; adds the busy pointer and the Safe's key; errors pass through. A
  // copy written below the TEMP folder is recorded as an opened file of the open Safe (see the top).
  // The copy's folders are created (0700 below TEMP). A cancel through progress returns false with
  // nothing written.
  bool UnlockFile(const std::string& folder, const std::string& name, const std::string& diskFile,
                  const TqmByteProgress& progress = {});
  // The disk path of the temporary copy of the locked file folder + name of the open Safe:
  // TempFolder() + TqmOpenedCopies::RelativeCopyPath (which refuses names that leave the folder).
  std::string TempCopyPath(const std::string& folder, const std::string& name) const;
  // See TqmSFSWrapper::Remove; adds the busy pointer; errors pass through.
  bool RemoveLockerItem(const std::string& folder, const std::string& name, bool askFolder = true);
  // See TqmSFSWrapper::Rename.
  bool RenameLockerItem(const std::string& folder, const std::string& oldName, const std::string& newName);

  // --- Categories, entries, icons --------------------------------------------------------------------
  // Each forwards to TqmSFSWrapper's operation of the same name; what it adds is said (ListIcons,
  // LoadIcon and SaveIcon add nothing).
  // See TqmSFSWrapper::CountSubcategories.
  int CountSubcategories(const TqmCategory* category);
  // See TqmSFSWrapper::LoadCategory; lets pending window events run first.
  bool LoadCategory(const TqmCategory* parent, int32_t key, bool byOrder, TqmCategory& category);
  // See TqmSFSWrapper::SaveCategory.
  void SaveCategory(TqmCategory& category);
  // See TqmSFSWrapper::MoveCategory; adds the busy pointer.
  bool MoveCategory(const TqmCategory& category, const TqmCategory* newParent, bool keepSource);
  // See TqmSFSWrapper::CountEntries.
  int CountEntries(const std::string& path);
  // See TqmSFSWrapper::LoadEntry.
  bool LoadEntry(const std::string& path, int32_t sortOrder, TqmRepositoryEntry& entry);
  // See TqmSFSWrapper::LoadEntryAt.
  bool LoadEntryAt(const std::string& path, int index, TqmRepositoryEntry& entry);
  // See TqmSFSWrapper::SaveEntry.
  void SaveEntry(const std::string& path, TqmRepositoryEntry& entry);
  // See TqmSFSWrapper::DeleteEntry (the entry alone; DeleteEntryWithData takes what it names too).
  bool DeleteEntry(const std::string& path, const std::string& fileName);
  // See TqmSFSWrapper::MoveEntry.
  bool MoveEntry(const TqmRepositoryEntry& entry, const TqmCategory* newCategory, bool keepSource);
  int ListIcons(TqmSFSWrapper::TIconKind kind, std::vector<std::string>& list);
  bool LoadIcon(int kind, const std::string& name, TqvtIcon& icon);
  void SaveIcon(int kind, const TqvtIcon& icon, const std::string& name);

  // --- Attached files ----------------------------------------------------------------------------------
  // See TqmSFSWrapper::AttachFile; adds the busy pointer.
  std::string AttachFile(const std::string& diskFile);
  // See TqmSFSWrapper::ExtractAttachedFile; adds the busy pointer. Into AttachmentsTempFolder()
  // (made again, 0700, when it is missing); returns the disk path.
  std::string ExtractAttachedFile(const std::string& name);
  // See TqmSFSWrapper::DeleteAttachedFile (whether another entry names it is not asked: see
  // ReleaseAttachedFile).
  bool DeleteAttachedFile(const std::string& name);
  // After an entry stopped naming the attached file (its File or Picture field got another value and
  // the entry was saved): deletes the file unless an entry of the repository, as saved, still names
  // it (a copied entry shares its files). True when it was deleted or is still in use; false when the
  // delete failed. While a record of the repository cannot be read the file is kept (true).
  bool ReleaseAttachedFile(const std::string& name);

  // --- Reminders -----------------------------------------------------------------------------------------
  // See TqmSFSWrapper::ReminderCount.
  int ReminderCount();
  // See TqmSFSWrapper::LoadReminderAt.
  bool LoadReminderAt(int index, TqmReminderEvent& reminder);
  // See TqmSFSWrapper::LoadReminder.
  bool LoadReminder(const std::string& id, TqmReminderEvent& reminder);
  // See TqmSFSWrapper::SaveReminder (the schedule is not told: see ScheduleReminders).
  void SaveReminder(TqmReminderEvent& reminder);
  // See TqmSFSWrapper::DeleteReminder (its job is not dropped: see DismissReminder).
  bool DeleteReminder(const std::string& id);
  // See TqmSFSWrapper::ReminderNames.
  std::vector<std::string> ReminderNames();
  // See TqmSFSWrapper::CopyReminder.
  std::string CopyReminder(const std::string& id);

  // The schedule runs on the program's one scheduler (not owned; it must outlive this object or be
  // detached with nullptr). Until one is attached the schedule operations below do nothing. now
  // gives the local time the schedule reckons with (snoozes, end dates); empty: the system's clock.
  void AttachReminderScheduler(TReminderScheduler* scheduler, std::function<double()> now = {});
  // The schedule (null until a scheduler is attached): the UI and the CLI give it the pop-up, the
  // mail transport and the launcher (core/qmReminderSchedule.h).
  TqmReminderSchedule* ReminderSchedule() { return schedule_.get(); }
  // Rebuilds the jobs from the open Safe's reminders; jobs that came due while no Safe was open are
  // carried out now when this is the same Safe.
  void ScheduleReminders();
  // See TqmReminderSchedule::FireReminder; nothing without a scheduler.
  void FireReminder(const TacCronJob& job);
  // See TqmReminderSchedule::SnoozeReminder; nothing without a scheduler.
  void SnoozeReminder(const std::string& id, int unit, int amount);
  // See TqmReminderSchedule::DismissReminder; nothing without a scheduler.
  void DismissReminder(const std::string& id);

  // --- Autofill --------------------------------------------------------------------------------------------
  // Fills the web form of the entry's autofill record with its name-value list through the UI's
  // filler. False when the entry has no autofill record or no filler is set.
  bool FillWebForm(const TqmRepositoryEntry& entry);

private:
  // CloseSafe without closing the container (OpenSafe leaves that to the wrapper).
  void ForgetOpenSafe();
  // The values of the reminder and file fields of every entry other than `self` (its category folder
  // and FileName) in the repository. False when a record could not be read: what it names is unknown.
  bool CollectReferences(const std::string& selfFolder, const std::string& selfFile,
                         std::vector<std::string>& reminders, std::vector<std::string>& files);

  class TBusy;
  class TStore;
  // settings_ := the Safe's text `disk`, with the settings changed here since settingsBase_ kept.
  void MergeSettings(const std::string& disk);
  int CountEntriesBelow(const std::string& path);

  TqmSFSWrapper wrapper_;
  std::string home_;
  TqmIniFile ini_;
  TqmOpenedCopies copies_;
  TqmBackup backup_;
  std::vector<std::string> arguments_;
  TqmAppPrompter* prompter_ = nullptr;
  std::function<void()> processEvents_;
  std::function<void(bool)> busy_;
  TqmProgress derivationProgress_;
  int busyDepth_ = 0;
  TqmAutoFillFiller* autoFill_ = nullptr;

  std::string pendingReceivedFiles_;
  bool commandLineFilesHandled_ = false;
  TqmSettings settings_;
  std::string settingsProblem_;
  bool demoData_ = false;
  bool safeOpen_ = false;
  std::string safeName_;
  TTextKey safeKey_;
  TStringArray autoFillMenuData_;
  TStringArray urlMenuData_;
  std::string versionText_;
  std::string lastLockError_;
  // The open Safe's file, absolute ("" when none is open).
  std::string openedSafeFile_;

  // The settings text as last read from or written to the Safe (the base of the merge).
  std::string settingsBase_;
  std::vector<TqmSafeListener*> listeners_;

  std::unique_ptr<TStore> store_;
  std::unique_ptr<TqmReminderLauncher> launcher_;
  std::unique_ptr<TqmReminderSchedule> schedule_;
};

}  // namespace quillmar
