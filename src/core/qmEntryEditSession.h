#pragma once
// TqmEntryEditSession: one edit of one repository entry, new or saved, from its beginning to OK
// (Commit) or Cancel (Rollback). The desktop's entry editor and the command line's add, edit and rm
// work through it, so that both keep the same rules:
//
//  - Values, icon and autofill text change in memory only, until Commit writes the entry. Editors may
//    write Entry().FieldAt(i) directly (they write Value on each change) or call SetValue.
//  - Attached files (File and Picture fields) are stored in the Safe when they are attached, each in a
//    change of its own, so that the user may open them while the editor is open. Commit releases the
//    files the entry no longer names (an older value replaced or emptied) once the entry is saved, and
//    only those no saved entry names (a copied entry shares its files). Rollback removes the files
//    attached in the session that no saved entry names, and puts back the content of one that an
//    attachment of the same name replaced (the overwrite question answered Yes).
//  - Reminders ("Reminder (Yes/No)" fields) are stored or deleted at once, as the reminder window
//    closes; the session keeps a copy of each reminder it changes, taken before its first change.
//    Rollback deletes the reminders created in the session (they would come due for no entry) and
//    stores those it changed or deleted again from their copies. The schedule is rebuilt after each.
//  - Commit is one change of the Safe: the entry is checked first (its record must read back as it is:
//    model/RecordCheck.h) and nothing is written when it would not; then the entry, the number of a
//    new entry and the release of its old files are written all or nothing.
//
// Other programs: a saved entry may be changed or deleted by another program while the session is
// open (the command line beside the desktop). The session keeps a digest of the entry as it began
// (its sort order left out: renumbering by another program changes no content), so that StoredChange
// can tell at OK whether the Safe still holds that; the window then asks whether to overwrite or to
// keep theirs (KeepStored). Commit of a saved entry writes the sort order the Safe holds now, so that
// a renumbering made meanwhile is not undone.
//
// Life: a session is begun on an entry and ends with Commit, Rollback or DeleteEntry; one that is
// destroyed unfinished rolls back (errors are then swallowed: call Rollback to hear of them). After
// a failed Commit the session is still open: the caller may change the entry and commit again, or roll
// back.
//
// Texts: values, names and messages are Safe text (the code page); disk paths are the system's.
// Threading: the caller's thread, like every call of TqmGlobal; not thread-safe.
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "model/qmField.h"
#include "model/qmReminderEvent.h"
#include "model/qmRepositoryEntry.h"

namespace quillmar {

class TqmGlobal;

// The message of the entry editor's OK when a required field is empty.
inline constexpr char kMsgRequiredFieldsEmpty[] = "Required fields is empty";
// The question of the File and Picture editors before they attach a file in place of another.
inline constexpr char kMsgDeleteAttachment[] = "Delete attachment?";
// The message of a viewer's Open when the attached file is not in the Safe.
inline constexpr char kMsgFileDoesNotExist[] = "File does not exist.";

// The first field that is required and empty, in field order; -1 when there is none. A Yes/No field
// always counts as filled (its box always shows a value), and so does a field of an unknown type (no
// editor can fill it). skipReminders: reminder fields count as filled too (the command line cannot
// make reminders). Needs only the fields: a new entry's category template answers it as well.
int FirstEmptyRequiredField(const TqmRepositoryEntry& entry, bool skipReminders = false);

// What became of a saved entry's record since its edit session began (TqmEntryEditSession::StoredChange).
enum class TqmStoredEntry { Unchanged, Changed, Deleted };

// The question of the entry editor's OK when another program changed the entry meanwhile, and when it
// deleted it.
inline constexpr char kMsgEntryChangedElsewhere[] =
    "This entry was changed by another program since you opened it.";
inline constexpr char kMsgEntryDeletedElsewhere[] =
    "This entry was deleted by another program since you opened it.";

class TqmEntryEditSession {
public:
  // Begins the session on entry. An entry without FileName is new: it takes its category's template
  // (PrepareFromCategory, unless it has fields already) and, when it has no icon, the category's icon.
  // The entry as it then is, is what Rollback restores.
  // REQUIRES: a Safe is open for writing and stays open while the session lives; entry.Parent() is the
  // entry's category as loaded from the Safe (its FolderPath names its folder); entry and category
  // outlive the session. The entry stays the caller's.
  TqmEntryEditSession(TqmGlobal& global, TqmRepositoryEntry& entry);
  ~TqmEntryEditSession();
  TqmEntryEditSession(const TqmEntryEditSession&) = delete;
  TqmEntryEditSession& operator=(const TqmEntryEditSession&) = delete;

  TqmRepositoryEntry& Entry() { return entry_; }
  const TqmRepositoryEntry& Entry() const { return entry_; }
  // True for a new entry (no file in the Safe yet), until Commit saved it.
  bool IsNew() const { return isNew_; }
  // True once Commit, Rollback or DeleteEntry finished the session: the other calls then throw.
  bool Finished() const { return finished_; }

  // --- In memory -----------------------------------------------------------------------------------
  // Sets the value of the field at index. Throws EQuillmarError for an index out of range.
  void SetValue(int index, const std::string& value);
  void SetIcon(std::string iconBytes) { entry_.SetIcon(std::move(iconBytes)); }
  void SetAutoFill(const std::string& text) { entry_.SetAutoFill(text); }

  // What Commit would refuse: "" when the entry's record reads back as it is, else the message that
  // names the field (RecordProblem); it never quotes a value.
  std::string StorageProblem() const;

  // --- Attached files ----------------------------------------------------------------------------------
  // Stores the disk file in the Safe's attached files under its own name and makes it the value of the
  // File or Picture field at index; returns the stored name. When the Safe holds a file of that name
  // already, the prompter is asked TqmSFSWrapper::kMsgFileExists first: No returns "" and changes
  // nothing (the field keeps its value). Yes replaces the content for every entry that names it; a
  // Rollback puts the old content back.
  // Throws EQuillmarError when the index is out of range or no File or Picture field; ERecordRefused
  // when the file's name cannot be an attached file's name (the message says why); the disk's or the
  // container's error when the copy fails (the Safe is then as it was).
  std::string AttachFile(int index, const std::string& diskFile);
  // Empties the File or Picture field at index; the file it named is released by Commit (see the top).
  void ReleaseFile(int index);
  // A viewer's or editor's Open: a read-only copy of the attached file `name` in the attachments
  // temporary folder (TqmGlobal::AttachmentsTempFolder), replacing an older copy; returns its disk
  // path. Throws EQuillmarError(kMsgFileDoesNotExist) when the Safe holds no such file (or the name is
  // empty), and the Safe layer's error when it cannot be read in full (nothing is then left on the
  // disk). Needs no session.
  static std::string ViewingCopy(TqmGlobal& global, const std::string& name);

  // --- Reminders ----------------------------------------------------------------------------------------
  // The reminder window closed with OK on the reminder of the "Reminder (Yes/No)" field at index:
  // stores it (a reminder without id gets a new one, which goes into `reminder`), makes its id the
  // field's value and rebuilds the schedule. Returns the id. Throws ERecordRefused for a reminder that
  // would not read back as it is (nothing is stored), EQuillmarError for a wrong index.
  std::string SaveReminder(int index, TqmReminderEvent& reminder);
  // The reminder window's Delete on the field at index: deletes the reminder the field names (its job
  // and pop-up go too), empties the field and rebuilds the schedule. Nothing happens for an empty field.
  void DeleteReminder(int index);

  // --- Other programs ------------------------------------------------------------------------------
  // Reads the entry's record as the Safe holds it now and compares it with the entry as the session
  // began (fields, values, icon, autofill text; not the sort order). Unchanged for a new entry.
  // Throws the Safe layer's error when the record cannot be read (ESFSBusy while another program
  // changes the Safe for long).
  TqmStoredEntry StoredChange();
  // "Keep theirs": rolls the session back (as Rollback), then loads the entry's record as the Safe
  // holds it now into Entry() (fields, icon, autofill text, sort order). False when the Safe no longer
  // holds the entry: it is then as it was when the session began. Throws as Rollback (the session then
  // stays open) and the Safe layer's error when the record cannot be read (the session is finished).
  // REQUIRES: the entry is not new.
  bool KeepStored();

  // --- The end ---------------------------------------------------------------------------------------------
  // Saves the entry into its category's folder and releases what it let go of, as one change (see the
  // top); a new entry gets its FileName and, as its SortOrder, the number of entry files already in the
  // folder (so it comes last). Throws ERecordRefused (nothing written) when StorageProblem is not "",
  // and the Safe layer's error when the change fails (nothing of it is then on the disk; the entry in
  // memory is as it was before the call). The required check is the caller's (FirstEmptyRequiredField):
  // a viewer's Delete of a reminder commits an entry as it is.
  void Commit();
  // Undoes the session (see the top) in one change of the Safe, and restores the entry in memory as it
  // was when the session began (fields, icon, autofill text, sort order). Throws the Safe layer's error
  // when that change fails; the session then stays open and may be rolled back again.
  void Rollback();
  // Deletes the saved entry instead: the session's own changes are rolled back, then the entry's file
  // goes with the reminders and attached files only it names (TqmGlobal::DeleteEntryWithData), and
  // `remaining` (the other entries of its category, in display order) are renumbered 0..n-1 and saved
  // where their number changed, all as one change. REQUIRES: the entry is not new.
  void DeleteEntry(const std::vector<TqmRepositoryEntry*>& remaining);

  // Problems Commit met that did not stop it (an attached file no longer named that could not be
  // deleted: it stays in the Safe, costing room only). Safe text.
  const std::vector<std::string>& Warnings() const { return warnings_; }

private:
  void RequireOpen() const;
  TqmField& FieldOfType(int index, bool (*accepts)(TqmFieldType), const char* what);
  std::string CategoryPath() const;
  // Keeps a copy of the stored reminder id before the session first changes it.
  void RememberReminder(const std::string& id);
  bool Ask(const std::string& message);
  void RestoreInMemory();
  // The stored record of a saved entry now; nullopt when it is gone.
  std::optional<std::string> StoredRecord();
  void UndoInSafe();

  TqmGlobal& g_;
  TqmRepositoryEntry& entry_;
  bool isNew_;
  bool finished_ = false;

  // The entry as it was at the beginning.
  std::string begunDigest_;  // of ComparableText, for a saved entry
  std::vector<TqmField> fields_;
  std::string icon_;
  std::string autoFill_;
  int32_t sortOrder_;
  // The File and Picture values at the beginning.
  std::set<std::string> filesBefore_;
  // Attached in the session (stored names), and for those that replaced a file of the same name, the
  // name the old content is kept under until the end.
  std::set<std::string> attached_;
  std::map<std::string, std::string> replaced_;
  // Reminders changed in the session: id -> the stored record before the first change (none for a
  // reminder the session created).
  std::map<std::string, std::optional<TqmReminderEvent>> reminders_;
  std::vector<std::string> warnings_;
};

}  // namespace quillmar
