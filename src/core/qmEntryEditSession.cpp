#include "core/qmEntryEditSession.h"

#include <cryptopp/sha.h>
#include <sys/stat.h>

#include "base/Exception.h"
#include "base/MemoryStream.h"
#include "base/RandomName.h"
#include "base/SecureWipe.h"
#include "core/qmGlobal.h"
#include "core/qmRepositoryRules.h"
#include "model/RecordCheck.h"

namespace quillmar {

namespace {

bool IsFileField(TqmFieldType type) {
  return type == ftFile || type == ftPicture;
}

bool IsReminderField(TqmFieldType type) {
  return type == ftReminder;
}

// A digest of what an entry holds, its sort order left out: the record text of the entry read back,
// so that an entry loaded from a record and that record read again give the same digest. Only the
// digest is kept: the text holds the entry's secrets.
std::string ContentDigest(const TqmRepositoryEntry& entry) {
  std::string text = entry.GetText();
  TqmRepositoryEntry probe;
  probe.ParseText(text);
  WipeString(text);
  probe.SetSortOrder(0);
  text = probe.GetText();
  std::string digest(CryptoPP::SHA256::DIGESTSIZE, '\0');
  CryptoPP::SHA256().CalculateDigest(reinterpret_cast<CryptoPP::byte*>(digest.data()),
                                     reinterpret_cast<const CryptoPP::byte*>(text.data()), text.size());
  WipeString(text);
  return digest;
}

// The entry a stored record holds (its own sort order and autofill text included).
void LoadRecord(std::string& record, TqmRepositoryEntry& entry) {
  TMemoryStream stream(record);
  WipeString(record);
  entry.LoadFromStream(stream);
}

}  // namespace

int FirstEmptyRequiredField(const TqmRepositoryEntry& entry, bool skipReminders) {
  for (int i = 0; i < entry.Fields().Count(); ++i) {
    const TqmField& f = entry.FieldAt(i);
    if (!f.IsRequired() || !f.Value().empty()) continue;
    // A Yes/No box always shows a value; no editor fills a field of an unknown type.
    if (f.FieldType() == ftYesNo || f.FieldType() >= kFieldTypeCount) continue;
    if (skipReminders && f.FieldType() == ftReminder) continue;
    return i;
  }
  return -1;
}

TqmEntryEditSession::TqmEntryEditSession(TqmGlobal& global, TqmRepositoryEntry& entry)
    : g_(global), entry_(entry), isNew_(entry.FileName().empty()) {
  if (!entry.Parent()) throw EQuillmarError("An entry can only be edited in its category.");
  if (isNew_) {
    entry.PrepareFromCategory(*entry.Parent());
    if (!entry.HasIcon()) entry.SetIcon(entry.Parent()->Icon());
  }
  for (const auto& f : entry.Fields()) {
    fields_.push_back(*f);
    // The files a saved entry names are its own to let go of; a new entry owns none yet.
    if (!isNew_ && IsFileField(f->FieldType()) && !f->Value().empty()) filesBefore_.insert(f->Value());
  }
  icon_ = entry.Icon();
  autoFill_ = entry.AutoFill();
  sortOrder_ = entry.SortOrder();
  if (!isNew_) begunDigest_ = ContentDigest(entry);
}

TqmEntryEditSession::~TqmEntryEditSession() {
  if (finished_) return;
  try {
    Rollback();
  } catch (...) {
    // An unfinished session that cannot be undone leaves at most files and reminders no entry names.
  }
}

void TqmEntryEditSession::RequireOpen() const {
  if (finished_) throw EQuillmarError("The edit of this entry is finished already.");
}

std::string TqmEntryEditSession::CategoryPath() const {
  return entry_.Parent()->FolderPath();
}

TqmField& TqmEntryEditSession::FieldOfType(int index, bool (*accepts)(TqmFieldType), const char* what) {
  TqmField& field = entry_.FieldAt(index);
  if (!accepts(field.FieldType()))
    throw EQuillmarError("The field \"" + field.Name() + "\" is no " + what + " field.");
  return field;
}

bool TqmEntryEditSession::Ask(const std::string& message) {
  TqmAppPrompter* prompter = g_.Prompter();
  return prompter != nullptr && prompter->AskYesNo("", message);
}

void TqmEntryEditSession::SetValue(int index, const std::string& value) {
  RequireOpen();
  entry_.FieldAt(index).SetValue(value);
}

std::string TqmEntryEditSession::StorageProblem() const {
  return RecordProblem(entry_);
}

// --- Attached files ---------------------------------------------------------------------------------------

std::string TqmEntryEditSession::AttachFile(int index, const std::string& diskFile) {
  RequireOpen();
  TqmField& field = FieldOfType(index, IsFileField, "File or Picture");
  TqmSFSWrapper& w = g_.Wrapper();
  const std::string name = TqmSFSWrapper::AttachedFileName(diskFile);
  if (const std::string problem = TqmSFSWrapper::ItemNameProblem(name, "The name of the attached file");
      !problem.empty())
    throw ERecordRefused(problem);

  std::string keptAs;  // where the content this attachment replaces is kept until the session ends
  std::string stored;
  {
    TqmSFSWrapper::TChange change(w);
    if (w.AttachedFileExists(name)) {
      if (!Ask(TqmSFSWrapper::kMsgFileExists)) return "";
      if (attached_.count(name) != 0) {
        // Content of this session replaced again: the original, if any, is kept already.
        if (!g_.DeleteAttachedFile(name))
          throw EQuillmarError("The attached file \"" + name + "\" is in use and cannot be replaced.");
      } else {
        keptAs =
            RandomFreeName("~keep", ".tmp", [&](const std::string& n) { return w.AttachedFileExists(n); });
        if (!w.Rename(TqmSFSWrapper::kAttachedFilesFolder, name, keptAs))
          throw EQuillmarError("The attached file \"" + name + "\" is in use and cannot be replaced.");
      }
    }
    // The name is free now: the Safe layer asks nothing.
    stored = g_.AttachFile(diskFile);
    if (stored.empty()) throw EQuillmarError("The file \"" + name + "\" could not be attached.");
    change.Commit();
  }
  attached_.insert(stored);
  if (!keptAs.empty()) replaced_[stored] = keptAs;
  field.SetValue(stored);
  return stored;
}

void TqmEntryEditSession::ReleaseFile(int index) {
  RequireOpen();
  FieldOfType(index, IsFileField, "File or Picture").SetValue("");
}

std::string TqmEntryEditSession::ViewingCopy(TqmGlobal& global, const std::string& name) {
  if (name.empty() || !global.Wrapper().AttachedFileExists(name)) throw EQuillmarError(kMsgFileDoesNotExist);
  const std::string path = global.ExtractAttachedFile(name);
  // The copy is for looking at: changes made to it would never reach the Safe.
  ::chmod(path.c_str(), S_IRUSR);
  return path;
}

// --- Reminders -------------------------------------------------------------------------------------------

void TqmEntryEditSession::RememberReminder(const std::string& id) {
  if (reminders_.count(id) != 0) return;
  TqmReminderEvent stored;
  if (g_.LoadReminder(id, stored))
    reminders_[id] = stored;
  else
    reminders_[id] = std::nullopt;  // not in the Safe: storing it creates it
}

std::string TqmEntryEditSession::SaveReminder(int index, TqmReminderEvent& reminder) {
  RequireOpen();
  TqmField& field = FieldOfType(index, IsReminderField, "Reminder (Yes/No)");
  const bool created = reminder.id().empty();
  if (!created) RememberReminder(reminder.id());
  g_.SaveReminder(reminder);
  if (created) reminders_.emplace(reminder.id(), std::nullopt);
  field.SetValue(reminder.id());
  g_.ScheduleReminders();
  return reminder.id();
}

void TqmEntryEditSession::DeleteReminder(int index) {
  RequireOpen();
  TqmField& field = FieldOfType(index, IsReminderField, "Reminder (Yes/No)");
  const std::string id = field.Value();
  if (id.empty()) return;
  RememberReminder(id);
  g_.DismissReminder(id);
  g_.DeleteReminder(id);
  field.SetValue("");
  g_.ScheduleReminders();
}

// --- Other programs ---------------------------------------------------------------------------------------

std::optional<std::string> TqmEntryEditSession::StoredRecord() {
  return g_.Wrapper().ReadEntryRecord(CategoryPath(), entry_.FileName());
}

TqmStoredEntry TqmEntryEditSession::StoredChange() {
  if (isNew_) return TqmStoredEntry::Unchanged;
  std::optional<std::string> record = StoredRecord();
  if (!record) return TqmStoredEntry::Deleted;
  TqmRepositoryEntry stored(entry_.Parent());
  LoadRecord(*record, stored);
  return ContentDigest(stored) == begunDigest_ ? TqmStoredEntry::Unchanged : TqmStoredEntry::Changed;
}

bool TqmEntryEditSession::KeepStored() {
  if (isNew_) throw EQuillmarError("A new entry has nothing in the Safe to keep.");
  Rollback();
  std::optional<std::string> record = StoredRecord();
  if (!record) return false;
  // In place of the fields the editors held: the entry becomes the record as it is.
  entry_.Fields().Clear();
  entry_.SetIcon("");
  entry_.SetAutoFill("");
  LoadRecord(*record, entry_);
  return true;
}

// --- The end
// ------------------------------------------------------------------------------------------------

void TqmEntryEditSession::Commit() {
  RequireOpen();
  RequireStorable(entry_);
  const std::string path = CategoryPath();
  const std::string fileName = entry_.FileName();
  const int32_t sortOrder = entry_.SortOrder();
  std::vector<std::string> warnings;
  try {
    TqmSFSWrapper::TChange change(g_.Wrapper());
    if (isNew_) {
      entry_.SetSortOrder(g_.CountEntries(path));
    } else {
      // Another program may have renumbered the category meanwhile: its numbers stay. A record that
      // cannot be read is written over as before.
      std::optional<std::string> record;
      try {
        record = StoredRecord();
      } catch (const EQuillmarError&) {
      }
      if (record && TqmRepositoryEntry::LooksLikeRecord(*record)) {
        TqmRepositoryEntry stored(entry_.Parent());
        LoadRecord(*record, stored);
        entry_.SetSortOrder(stored.SortOrder());
      } else if (record) {
        WipeString(*record);
      }
    }
    g_.SaveEntry(path, entry_);
    // With the new values saved, the files the entry let go of can go, unless another entry names them.
    std::set<std::string> named;
    for (const auto& f : entry_.Fields())
      if (IsFileField(f->FieldType()) && !f->Value().empty()) named.insert(f->Value());
    std::set<std::string> letGo = filesBefore_;
    letGo.insert(attached_.begin(), attached_.end());
    for (const std::string& name : letGo)
      if (named.count(name) == 0 && !g_.ReleaseAttachedFile(name))
        warnings.push_back("The attached file \"" + name +
                           "\" is no longer named but could not be deleted from the Safe.");
    // The replaced contents are replaced for good.
    for (const auto& [name, keptAs] : replaced_)
      if (!g_.DeleteAttachedFile(keptAs))
        warnings.push_back("The former content of the attached file \"" + name +
                           "\" could not be deleted from the Safe.");
    change.Commit();
  } catch (...) {
    // Nothing was written: the entry is as it was, a new one still without a file.
    entry_.SetFileName(fileName);
    entry_.SetSortOrder(sortOrder);
    throw;
  }
  warnings_.insert(warnings_.end(), warnings.begin(), warnings.end());
  finished_ = true;
  isNew_ = false;
}

void TqmEntryEditSession::UndoInSafe() {
  TqmSFSWrapper& w = g_.Wrapper();
  for (auto& [id, before] : reminders_) {
    if (before) {
      TqmReminderEvent copy = *before;
      g_.SaveReminder(copy);
    } else {
      g_.DismissReminder(id);
      g_.DeleteReminder(id);
    }
  }
  for (const std::string& name : attached_) {
    const auto kept = replaced_.find(name);
    if (kept == replaced_.end()) {
      // New in the session: removed unless a saved entry names it.
      g_.ReleaseAttachedFile(name);
    } else if (w.AttachedFileExists(kept->second)) {
      // The content it replaced comes back under its name.
      g_.DeleteAttachedFile(name);
      if (!w.Rename(TqmSFSWrapper::kAttachedFilesFolder, kept->second, name))
        throw EQuillmarError("The former content of the attached file \"" + name +
                             "\" could not be put back.");
    }
  }
}

void TqmEntryEditSession::RestoreInMemory() {
  // In place where the fields are the same ones, so that editors holding them stay valid.
  if (entry_.Fields().Count() == static_cast<int>(fields_.size())) {
    for (size_t i = 0; i < fields_.size(); ++i) entry_.FieldAt(static_cast<int>(i)) = fields_[i];
  } else {
    entry_.Fields().Clear();
    for (const TqmField& f : fields_) entry_.Fields().Add(f);
  }
  entry_.SetIcon(icon_);
  entry_.SetAutoFill(autoFill_);
  entry_.SetSortOrder(sortOrder_);
}

void TqmEntryEditSession::Rollback() {
  RequireOpen();
  {
    TqmSFSWrapper::TChange change(g_.Wrapper());
    UndoInSafe();
    change.Commit();
  }
  RestoreInMemory();
  finished_ = true;
  if (!reminders_.empty()) g_.ScheduleReminders();
}

void TqmEntryEditSession::DeleteEntry(const std::vector<TqmRepositoryEntry*>& remaining) {
  RequireOpen();
  if (isNew_) throw EQuillmarError("A new entry has nothing in the Safe to delete.");
  const std::string path = CategoryPath();
  {
    TqmSFSWrapper::TChange change(g_.Wrapper());
    UndoInSafe();
    RestoreInMemory();
    g_.DeleteEntryWithData(path, entry_);
    RenumberEntries(g_, path, remaining);
    change.Commit();
  }
  finished_ = true;
  g_.ScheduleReminders();
}

}  // namespace quillmar
