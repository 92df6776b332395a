#include "core/qmGlobal.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>

#include "base/Exception.h"
#include "container/SFSAbstractFile.h"
#include "container/SingleFileSystem.h"
#include "core/qmDesktopLauncher.h"
#include "core/qmDiskPath.h"
#include "core/qmFileManagerRefresh.h"
#include "core/qmKeyDerivationRun.h"
#include "core/qmReminderSchedule.h"
#include "core/qmReminderStore.h"
#include "core/qmRepositoryTree.h"
#include "model/qmField.h"
#include "model/qmReminderEvent.h"
#include "model/qmRepositoryEntry.h"
#include "platform/HomeFolder.h"

#ifndef QM_PROGRAM_VERSION
#define QM_PROGRAM_VERSION "0.0.0.0"
#endif

namespace quillmar {

namespace fs = std::filesystem;

namespace {

std::string Trim(const std::string& s) {
  size_t b = s.find_first_not_of(" \t\r\n");
  if (b == std::string::npos) return {};
  size_t e = s.find_last_not_of(" \t\r\n");
  return s.substr(b, e - b + 1);
}

}  // namespace

// The busy pointer for the length of one operation; nested operations show it once.
class TqmGlobal::TBusy {
public:
  explicit TBusy(TqmGlobal& g) : g_(g) {
    if (g_.busyDepth_++ == 0 && g_.busy_) g_.busy_(true);
  }
  ~TBusy() {
    if (--g_.busyDepth_ == 0 && g_.busy_) g_.busy_(false);
  }

private:
  TqmGlobal& g_;
};

// What the reminder schedule needs of the open Safe. The Safe's identity is its file.
class TqmGlobal::TStore : public TqmReminderStore {
public:
  explicit TStore(TqmGlobal& g) : g_(g) {}
  std::string OpenSafeName() override { return g_.safeOpen_ ? g_.openedSafeFile_ : std::string(); }
  int ReminderCount() override { return g_.wrapper_.ReminderCount(); }
  void LoadReminderAt(int index, TqmReminderEvent& reminder) override {
    g_.wrapper_.LoadReminderAt(index, reminder);
  }
  bool LoadReminder(const std::string& id, TqmReminderEvent& reminder) override {
    return g_.wrapper_.LoadReminder(id, reminder);
  }
  void SaveReminder(TqmReminderEvent& reminder) override { g_.wrapper_.SaveReminder(reminder); }

private:
  TqmGlobal& g_;
};

// --- Creation ------------------------------------------------------------------------------------------

TqmGlobal::TqmGlobal(const std::string& homeFolder, std::vector<std::string> arguments,
                     TqmAppPrompter* prompter)
    : wrapper_(prompter),
      home_(WithTrailingSlash(NormalDiskPath(homeFolder))),
      ini_(home_),
      copies_(home_),
      backup_(wrapper_),
      arguments_(std::move(arguments)),
      prompter_(prompter) {
  demoData_ = false;
  safeOpen_ = false;
  versionText_ = ProgramVersionText();
  EnsurePrivateFolder(home_, false);
  EnsurePrivateFolder(copies_.TempRoot(), true);
  EnsurePrivateFolder(copies_.AttachmentsTemp(), true);
  store_ = std::make_unique<TStore>(*this);
  launcher_ = std::make_unique<TqmDesktopLauncher>();
}

TqmGlobal::~TqmGlobal() {
  schedule_.reset();
  try {
    EmptyTempFolders();
  } catch (...) {
    // Clean-up at exit must not throw; what could not be removed stays.
  }
  try {
    CloseSafe();
  } catch (...) {
  }
  safeKey_ = TTextKey();  // wiped when the last copy goes
}

std::string TqmGlobal::HomeFolderFromArguments(const std::vector<std::string>& arguments) {
  std::string option;
  for (size_t i = 1; i < arguments.size(); ++i) {
    const std::string& a = arguments[i];
    if (a == "--home" && i + 1 < arguments.size()) {
      option = arguments[i + 1];
      break;
    }
    if (a.rfind("--home=", 0) == 0) {
      option = a.substr(7);
      break;
    }
  }
  return ResolveHomeFolder(option);
}

// --- Hooks and state -----------------------------------------------------------------------------------

void TqmGlobal::SetPrompter(TqmAppPrompter* prompter) {
  prompter_ = prompter;
  wrapper_.SetPrompter(prompter);
}

void TqmGlobal::SetProcessEvents(std::function<void()> processEvents) {
  processEvents_ = processEvents;
  wrapper_.OnProcessEvents = std::move(processEvents);
}

void TqmGlobal::ProcessEvents() const {
  if (processEvents_) processEvents_();
}

bool TqmGlobal::IsMasterPassword(std::string_view typed) const {
  if (safeKey_.Empty()) return false;
  try {
    return TTextKey::Derive(typed, safeKey_.Derivation()) == safeKey_;
  } catch (const std::exception&) {
    return false;
  }
}

// --- Paths ---------------------------------------------------------------------------------------------

std::string TqmGlobal::TempFolder() const {
  if (!safeOpen_ || openedSafeFile_.empty()) return copies_.TempRoot();
  return copies_.FolderOf(openedSafeFile_);
}

std::string TqmGlobal::SafeFile(const std::string& safeName) const {
  return home_ + safeName + kSafeExtension;
}

// --- Safes list, ini file, start options ----------------------------------------------------------------

bool TqmGlobal::StartMinimized() const {
  for (size_t i = 1; i < arguments_.size(); ++i)
    if (arguments_[i] == "/sm") return true;
  return false;
}

bool TqmGlobal::ReceivedFilesCommand(std::string& command) const {
  if (!commandLineFilesHandled_) {
    for (size_t i = 1; i < arguments_.size(); ++i) {
      if (arguments_[i].find("/rf:[") != std::string::npos) {
        command = arguments_[i];
        return true;
      }
    }
  }
  if (!pendingReceivedFiles_.empty()) {
    command = pendingReceivedFiles_;
    return true;
  }
  return false;
}

void TqmGlobal::ReceivedFilesHandled() {
  pendingReceivedFiles_.clear();
  commandLineFilesHandled_ = true;
}

std::string TqmGlobal::ProgramVersionText() {
  return FormatVersionText(QM_PROGRAM_VERSION);
}

std::string TqmGlobal::FormatVersionText(const std::string& fileVersion) {
  int parts[4] = {0, 0, 0, 0};
  size_t start = 0;
  for (int i = 0; i < 4 && start <= fileVersion.size(); ++i) {
    size_t dot = fileVersion.find('.', start);
    std::string part = fileVersion.substr(start, dot == std::string::npos ? std::string::npos : dot - start);
    if (!ParseDecimal(Trim(part), parts[i])) parts[i] = 0;
    if (dot == std::string::npos) break;
    start = dot + 1;
  }
  char buf[64];
  std::snprintf(buf, sizeof buf, "%d.%d.%d.%d", parts[0], parts[1], parts[2], parts[3]);
  return buf;
}

std::vector<std::string> TqmGlobal::FieldTypeNames() {
  const auto& names = quillmar::FieldTypeNames();
  return std::vector<std::string>(names.begin(), names.end());
}

uint8_t TqmGlobal::FieldTypeCode(const std::string& name) {
  return FieldTypeFromName(name);
}

// --- Categories and entries ---------------------------------------------------------------------------

int TqmGlobal::CountEntriesBelow(const std::string& path) {
  int count = wrapper_.CountEntries(path);
  const std::string folder = std::string(TqmSFSWrapper::kRepositoryRoot) + path;
  const int folders = wrapper_.CountFolders(folder);
  for (int i = 0; i < folders && count == 0; ++i) {
    const std::string name = wrapper_.FolderInfoAt(folder, i).Name;
    if (!name.empty()) count += CountEntriesBelow(path + name + "\\");
  }
  return count;
}

bool TqmGlobal::DeleteCategory(const std::string& path) {
  std::string p = path;
  while (!p.empty() && p.front() == '\\') p.erase(0, 1);
  // The empty path is the repository itself, never a category.
  if (p.empty()) return false;
  if (p.back() != '\\') p += '\\';
  // Entries in a sub-category would go with it: they count as the category's own.
  if (CountEntriesBelow(p) > 0) {
    if (prompter_)
      prompter_->ShowMessage(TqmPrompter::TMessageKind::Warning, TqmAppPrompter::kProductTitle,
                             kMsgCategoryHasEntries);
    return false;
  }
  wrapper_.DeleteCategory(p);
  return true;
}

bool TqmGlobal::CollectReferences(const std::string& selfFolder, const std::string& selfFile,
                                  std::vector<std::string>& reminders, std::vector<std::string>& files) {
  TqmRepositoryTree tree(*this);
  std::function<void(TqmRepositoryTree::TNode&)> walk = [&](TqmRepositoryTree::TNode& node) {
    tree.Load(node);
    for (auto& sub : node.categories) walk(*sub);
    const std::string folder = node.FolderPath();
    for (const auto& other : node.entries) {
      if (folder == selfFolder && other->FileName() == selfFile) continue;
      for (const auto& field : other->Fields()) {
        if (field->Value().empty()) continue;
        if (field->FieldType() == ftReminder) reminders.push_back(field->Value());
        if (field->FieldType() == ftFile || field->FieldType() == ftPicture) files.push_back(field->Value());
      }
    }
  };
  walk(tree.Root());
  return tree.TakeWarnings().empty();
}

bool TqmGlobal::DeleteEntryWithData(const std::string& path, const TqmRepositoryEntry& entry) {
  TqmSFSWrapper::TChange change(wrapper_);
  RemoveEntryData(entry);
  if (!wrapper_.DeleteEntry(path, entry.FileName()))
    throw EQuillmarError("The entry could not be deleted; nothing was changed.");
  change.Commit();
  return true;
}

void TqmGlobal::RemoveEntryData(const TqmRepositoryEntry& entry) {
  bool any = false;
  for (const auto& field : entry.Fields()) {
    const TqmFieldType type = field->FieldType();
    if (!field->Value().empty() && (type == ftReminder || type == ftFile || type == ftPicture)) any = true;
  }
  if (!any) return;
  // A copied entry shares its reminders and files with the original: only what no other entry names
  // is deleted.
  std::vector<std::string> reminders, files;
  const std::string selfFolder = entry.Parent() ? entry.Parent()->FolderPath() : std::string();
  // With a record that cannot be read, what it names is unknown: nothing is deleted.
  if (!CollectReferences(selfFolder, entry.FileName(), reminders, files)) return;
  auto named = [](const std::vector<std::string>& list, const std::string& value) {
    return std::find(list.begin(), list.end(), value) != list.end();
  };
  TqmSFSWrapper::TChange change(wrapper_);
  for (const auto& field : entry.Fields()) {
    const std::string& value = field->Value();
    if (value.empty()) continue;
    switch (field->FieldType()) {
      case ftReminder:
        if (named(reminders, value)) break;
        if (schedule_) schedule_->DismissReminder(value);
        wrapper_.DeleteReminder(value);
        break;
      case ftFile:
      case ftPicture:
        if (!named(files, value)) wrapper_.DeleteAttachedFile(value);
        break;
      default:
        break;
    }
  }
}

int TqmGlobal::CountSubcategories(const TqmCategory* category) {
  return wrapper_.CountSubcategories(category);
}

bool TqmGlobal::LoadCategory(const TqmCategory* parent, int32_t key, bool byOrder, TqmCategory& category) {
  ProcessEvents();
  return wrapper_.LoadCategory(parent, key, byOrder, category);
}

void TqmGlobal::SaveCategory(TqmCategory& category) {
  wrapper_.SaveCategory(category);
}

bool TqmGlobal::MoveCategory(const TqmCategory& category, const TqmCategory* newParent, bool keepSource) {
  TBusy busy(*this);
  return wrapper_.MoveCategory(category, newParent, keepSource);
}

int TqmGlobal::CountEntries(const std::string& path) {
  return wrapper_.CountEntries(path);
}

bool TqmGlobal::LoadEntryAt(const std::string& path, int index, TqmRepositoryEntry& entry) {
  return wrapper_.LoadEntryAt(path, index, entry);
}

bool TqmGlobal::LoadEntry(const std::string& path, int32_t sortOrder, TqmRepositoryEntry& entry) {
  return wrapper_.LoadEntry(path, sortOrder, entry);
}

void TqmGlobal::SaveEntry(const std::string& path, TqmRepositoryEntry& entry) {
  wrapper_.SaveEntry(path, entry);
}

bool TqmGlobal::DeleteEntry(const std::string& path, const std::string& fileName) {
  return wrapper_.DeleteEntry(path, fileName);
}

bool TqmGlobal::MoveEntry(const TqmRepositoryEntry& entry, const TqmCategory* newCategory, bool keepSource) {
  return wrapper_.MoveEntry(entry, newCategory, keepSource);
}

int TqmGlobal::ListIcons(TqmSFSWrapper::TIconKind kind, std::vector<std::string>& list) {
  return wrapper_.ListIcons(kind, list);
}

bool TqmGlobal::LoadIcon(int kind, const std::string& name, TqvtIcon& icon) {
  return wrapper_.LoadIcon(kind, name, icon);
}

void TqmGlobal::SaveIcon(int kind, const TqvtIcon& icon, const std::string& name) {
  wrapper_.SaveIcon(kind, icon, name);
}

// --- Attached files and reminders -------------------------------------------------------------------

std::string TqmGlobal::AttachFile(const std::string& diskFile) {
  TBusy busy(*this);
  return wrapper_.AttachFile(diskFile);
}

std::string TqmGlobal::ExtractAttachedFile(const std::string& name) {
  TBusy busy(*this);
  EnsurePrivateFolder(copies_.AttachmentsTemp(), true);
  return wrapper_.ExtractAttachedFile(name, copies_.AttachmentsTemp());
}

bool TqmGlobal::DeleteAttachedFile(const std::string& name) {
  return wrapper_.DeleteAttachedFile(name);
}

bool TqmGlobal::ReleaseAttachedFile(const std::string& name) {
  if (name.empty()) return true;
  // No entry is left out: the one that let go of the file was saved with its new values already.
  std::vector<std::string> reminders, files;
  if (!CollectReferences(std::string(), std::string(), reminders, files)) return true;
  if (std::find(files.begin(), files.end(), name) != files.end()) return true;
  return wrapper_.DeleteAttachedFile(name);
}

int TqmGlobal::ReminderCount() {
  return wrapper_.ReminderCount();
}
bool TqmGlobal::LoadReminderAt(int index, TqmReminderEvent& reminder) {
  return wrapper_.LoadReminderAt(index, reminder);
}
bool TqmGlobal::LoadReminder(const std::string& id, TqmReminderEvent& reminder) {
  return wrapper_.LoadReminder(id, reminder);
}
void TqmGlobal::SaveReminder(TqmReminderEvent& reminder) {
  wrapper_.SaveReminder(reminder);
}
bool TqmGlobal::DeleteReminder(const std::string& id) {
  return wrapper_.DeleteReminder(id);
}
std::vector<std::string> TqmGlobal::ReminderNames() {
  return wrapper_.ReminderNames();
}
std::string TqmGlobal::CopyReminder(const std::string& id) {
  return wrapper_.CopyReminder(id);
}

void TqmGlobal::AttachReminderScheduler(TReminderScheduler* scheduler, std::function<double()> now) {
  schedule_.reset();
  if (!scheduler) return;
  schedule_ = std::make_unique<TqmReminderSchedule>(
      *scheduler, *store_, now ? std::move(now) : TqmReminderSchedule::TNow(NowDateTime));
  schedule_->SetLauncher(launcher_.get());
}

void TqmGlobal::ScheduleReminders() {
  // With no Safe open the schedule stays as it is: jobs that come due meanwhile are remembered and
  // carried out after the next login of the same Safe.
  if (schedule_ && safeOpen_) schedule_->ScheduleReminders();
}

void TqmGlobal::FireReminder(const TacCronJob& job) {
  if (schedule_) schedule_->FireReminder(job);
}

void TqmGlobal::SnoozeReminder(const std::string& id, int unit, int amount) {
  if (schedule_) schedule_->SnoozeReminder(id, unit, amount);
}

void TqmGlobal::DismissReminder(const std::string& id) {
  if (schedule_) schedule_->DismissReminder(id);
}

bool TqmGlobal::FillWebForm(const TqmRepositoryEntry& entry) {
  if (!autoFill_ || entry.AutoFill().empty()) return false;
  return autoFill_->FillWebForm(entry.AutoFill(), entry.NameValueList());
}

// --- Settings -------------------------------------------------------------------------------------------

void TqmGlobal::LoadSettings() {
  if (safeName_.empty() || !safeOpen_) return;
  settingsProblem_.clear();
  try {
    settingsBase_ = wrapper_.ReadSettingsText();
    settings_.ParseText(settingsBase_);
  } catch (const std::exception& e) {
    // One damaged record costs that record: the Safe opens with the defaults.
    settings_.Reset();
    settingsBase_ = settings_.GetText();
    settingsProblem_ = e.what();
    if (prompter_)
      prompter_->ShowMessage(TqmPrompter::TMessageKind::Warning, TqmAppPrompter::kProductTitle,
                             "The settings of this Safe cannot be read: " + settingsProblem_ +
                                 " The default settings are used; Repair writes them back.");
  }
}

void TqmGlobal::SaveSettings(bool rewrite) {
  if (!safeOpen_) return;
  if (wrapper_.ReadOnly()) {
    wrapper_.SaveSettings(settings_);  // refused as any change of a Safe opened read-only
    return;
  }
  // Nothing changed here since the settings were read or saved: there is nothing to write, and no
  // change of the Safe is begun (closing a Safe that was only looked at must not write it, nor fail
  // where it cannot be written).
  TqmSettings base;
  base.ParseText(settingsBase_);
  if (!rewrite && base.GetText() == settings_.GetText()) return;
  // What the Safe holds now and the write, in one change: no other program's save comes between.
  TqmSFSWrapper::TChange change(wrapper_);
  try {
    const std::string disk = wrapper_.ReadSettingsText();
    if (disk != settingsBase_) MergeSettings(disk);
  } catch (const std::exception&) {
    // A damaged record has nothing to merge: it is replaced.
  }
  wrapper_.SaveSettings(settings_);
  change.Commit();
  settingsBase_ = settings_.GetText();
}

void TqmGlobal::MergeSettings(const std::string& disk) {
  TqmSettings base, theirs;
  base.ParseText(settingsBase_);
  theirs.ParseText(disk);
  for (TqmSettingsGroup* group : theirs.Groups())
    for (TqmSettingsItem* item : group->Items()) {
      TqmSettingsItem* mine = settings_.Find(item->Key());
      TqmSettingsItem* before = base.Find(item->Key());
      if (!mine || !before) continue;
      if (mine->ValueText() == before->ValueText()) mine->ReadValueText(item->ValueText());
    }
  settingsBase_ = disk;
}

void TqmGlobal::AddSafeListener(TqmSafeListener* listener) {
  if (listener && std::find(listeners_.begin(), listeners_.end(), listener) == listeners_.end())
    listeners_.push_back(listener);
}

void TqmGlobal::RemoveSafeListener(TqmSafeListener* listener) {
  listeners_.erase(std::remove(listeners_.begin(), listeners_.end(), listener), listeners_.end());
}

TqmSafeChanges TqmGlobal::RefreshFromDisk() {
  if (!safeOpen_ || !wrapper_.IsOpen()) return {};
  wrapper_.Refresh();
  const TqmSafeChanges changes = wrapper_.TakeChanges();
  if (!changes.Any()) return changes;
  if (changes.Settings || changes.Unknown) {
    const std::string disk = wrapper_.ReadSettingsText();
    if (disk != settingsBase_) MergeSettings(disk);
  }
  // The schedule is built from the reminder records.
  if (changes.Reminders || changes.Unknown) ScheduleReminders();
  // A copy: a listener may add or remove listeners.
  const std::vector<TqmSafeListener*> listeners = listeners_;
  for (TqmSafeListener* listener : listeners) listener->SafeChanged(changes);
  return changes;
}

// --- The Safe as a whole ----------------------------------------------------------------------------------

TTextKey TqmGlobal::TextKeyFor(const std::string& file, std::string_view password) {
  TBusy busy(*this);
  wrapper_.TellLeftovers(file);
  const TKeyDerivation derivation = TqmSFSWrapper::KeyDerivationOf(file);
  if (derivation.Costly()) {
    // Anyone can write any cost into a header: a cost this program never writes is run only when the
    // user agrees to it.
    const std::string name = fs::path(file).stem().string();
    if (!prompter_ || !prompter_->AllowCostlyDerivation(CostlyDerivationQuestion(name, derivation)))
      throw ECostlyDerivation(TqmSFSWrapper::CostlyDerivationMessage(file, derivation), derivation);
  }
  return DeriveWithProgress(password, derivation, derivationProgress_);
}

void TqmGlobal::OpenSafe(const std::string& file, std::string_view password, bool readOnly) {
  OpenSafe(file, TextKeyFor(file, password), readOnly);
}

void TqmGlobal::OpenSafe(const std::string& file, const TTextKey& given, bool readOnly) {
  const TTextKey key = given;  // given may be SafeKey(), which closing forgets
  // The open Safe is forgotten here and closed by the wrapper's OpenSafe, which keeps the container a
  // check of this file just opened (CloseSafe would give it up).
  ForgetOpenSafe();
  safeOpen_ = true;
  try {
    TBusy busy(*this);
    wrapper_.OpenSafe(file, key, readOnly);
  } catch (...) {
    safeOpen_ = false;
    throw;
  }
  openedSafeFile_ = NormalDiskPath(file);
}

void TqmGlobal::OpenSafeByName(const std::string& name, std::string_view password, bool readOnly) {
  OpenSafeByName(name, TextKeyFor(SafeFile(name), password), readOnly);
}

void TqmGlobal::OpenSafeByName(const std::string& name, const TTextKey& given, bool readOnly) {
  const TTextKey key = given;  // given may be SafeKey(), which closing forgets
  OpenSafe(SafeFile(name), key, readOnly);
  safeName_ = name;
  safeKey_ = key;
  LoadSettings();
}

void TqmGlobal::ForgetOpenSafe() {
  safeOpen_ = false;
  openedSafeFile_.clear();
  settingsBase_.clear();
  safeKey_ = TTextKey();  // not kept longer than the container's own key
}

void TqmGlobal::CloseSafe() {
  ForgetOpenSafe();
  wrapper_.CloseSafe();
}

TTextKey TqmGlobal::CreateSafe(const std::string& file, std::string_view password, TqmSafeKind kind) {
  TBusy busy(*this);
  // The Safe layout closes an open Safe first.
  if (safeOpen_) CloseSafe();
  TTextKey key = wrapper_.CreateSafe(file, password, demoData_, kind);
  // The file managers' "Lock file in [Safe: %s]" items follow the new Safe.
  RefreshFileManagerActions(home_);
  return key;
}

int TqmGlobal::CheckSafe(const std::string& file, std::string_view password, bool forCreate, bool readOnly) {
  TBusy busy(*this);
  return wrapper_.CheckSafe(file, password, forCreate, readOnly);
}

int TqmGlobal::CheckSafe(const std::string& file, const TTextKey& key, bool readOnly) {
  TBusy busy(*this);
  return wrapper_.CheckSafe(file, key, readOnly);
}

bool TqmGlobal::ChangePassword(std::string_view oldPassword, std::string_view newPassword,
                               std::optional<TqmSafeKind> kind, const TqmProgress& progress) {
  TBusy busy(*this);
  const TqmSafeKind current = wrapper_.Kind();
  const TqmSafeKind target = kind.value_or(current);
  TTextKey oldKey;
  if (!safeKey_.Empty()) {
    // The Safe is open under SafeKey; another "old" password cannot be right.
    if (!IsMasterPassword(oldPassword)) return false;
    oldKey = safeKey_;
  } else {
    // The open Safe's derivation was accepted when it was opened.
    oldKey = TqmSFSWrapper::TextKeyFor(wrapper_.SafeFileName(), oldPassword, true);
  }
  if (oldPassword == newPassword && target == current) return true;
  const TTextKey newKey = TqmSFSWrapper::NewTextKey(newPassword, target);
  if (!wrapper_.ChangePassword(oldKey, newKey, progress)) return false;
  safeKey_ = newKey;
  return true;
}

bool TqmGlobal::Repair(std::vector<TRebuildNote>* notes, std::string* log, const TqmProgress& progress) {
  TBusy busy(*this);
  return wrapper_.Repair(log, notes, progress);
}

void TqmGlobal::SetBusyTimeout(std::chrono::milliseconds timeout) {
  TSingleFileSystem::SetBusyTimeout(timeout);
}

std::chrono::milliseconds TqmGlobal::BusyTimeout() {
  return TSingleFileSystem::BusyTimeout();
}

bool TqmGlobal::SalvageJournal(const std::string& file, const TTextKey& key, std::vector<std::string>& done) {
  TBusy busy(*this);
  CloseSafe();
  return wrapper_.SalvageJournal(file, key, done);
}

bool TqmGlobal::DeleteSafeFile(const std::string& name) {
  const std::string file = SafeFile(name);
  if (safeOpen_ && NormalDiskPath(file) == openedSafeFile_) CloseSafe();
  // Not while another program has it open: it would go on with a file that no longer exists, and
  // lose what it writes.
  std::vector<std::unique_ptr<TSFSAbstractFile>> held;
  if (!LockAll(DiskPartStorage(), {file}, held)) {
    if (prompter_)
      prompter_->ShowMessage(TqmPrompter::TMessageKind::Warning, "",
                             "The Safe " + name + " is open in another program; close it there first.");
    return false;
  }
  std::error_code ec;
  if (!fs::remove(file, ec) || ec) return false;
  fs::remove(TSingleFileSystem::JournalFileName(file), ec);
  if (name == safeName_) {
    safeName_.clear();
    safeKey_ = TTextKey();
  }
  RefreshFileManagerActions(home_);
  return true;
}

bool TqmGlobal::Backup(const std::string& target, const TqmProgress& progress) {
  const std::string safeFile = safeOpen_ ? openedSafeFile_ : std::string();
  if (!backup_.MayBackUp(safeFile, target, prompter_)) return false;
  TBusy busy(*this);
  return backup_.BackUp(safeFile, safeKey_, target, processEvents_, progress);
}

void TqmGlobal::Restore(const std::string& backupFile) {
  if (safeName_.empty()) throw EQuillmarError("No Safe is chosen to restore into.");
  TqmBackup::CheckBackupFile(backupFile);
  TBusy busy(*this);
  if (safeOpen_) CloseSafe();
  TqmBackup::ReplaceSafe(backupFile, CurrentSafeFile());
}

// --- File Locker -----------------------------------------------------------------------------------------

int TqmGlobal::CountFiles(const std::string& folder) {
  return wrapper_.CountFiles(folder);
}
int TqmGlobal::CountFolders(const std::string& folder) {
  return wrapper_.CountFolders(folder);
}
TqmFileInfo TqmGlobal::FileInfoAt(const std::string& folder, int index) {
  return wrapper_.FileInfoAt(folder, index);
}
TqmFileInfo TqmGlobal::FolderInfoAt(const std::string& folder, int index) {
  return wrapper_.FolderInfoAt(folder, index);
}
TqmLockerListing TqmGlobal::ListLockerFolder(const std::string& folder) {
  return wrapper_.ListLockerFolder(folder);
}
bool TqmGlobal::CreateFolder(const std::string& parent, const std::string& name) {
  return wrapper_.CreateFolder(parent, name);
}

bool TqmGlobal::LockFile(const std::string& folder, const std::string& diskFile, bool appendName,
                         const TqmByteProgress& progress) {
  lastLockError_.clear();
  TBusy busy(*this);
  try {
    return wrapper_.LockFile(folder, diskFile, appendName, safeKey_, progress);
  } catch (const std::exception& e) {
    lastLockError_ = e.what();
  } catch (...) {
    lastLockError_ = "The file could not be locked into the Safe.";
  }
  return false;
}

std::string TqmGlobal::TempCopyPath(const std::string& folder, const std::string& name) const {
  return TempFolder() + TqmOpenedCopies::RelativeCopyPath(folder, name);
}

bool TqmGlobal::UnlockFile(const std::string& folder, const std::string& name, const std::string& diskFile,
                           const TqmByteProgress& progress) {
  TBusy busy(*this);
  const std::string disk = NormalDiskPath(diskFile);
  const bool inTemp = copies_.IsBelowTemp(disk);
  if (inTemp) EnsurePrivateFolder(fs::path(disk).parent_path().string(), false);
  if (!wrapper_.UnlockFile(folder, name, safeKey_, diskFile, progress)) return false;
  if (inTemp && safeOpen_) {
    std::string containerPath = folder;
    if (!containerPath.empty() && containerPath.back() != '\\') containerPath += '\\';
    copies_.Record(disk, openedSafeFile_, containerPath + name);
  }
  return true;
}

bool TqmGlobal::RemoveLockerItem(const std::string& folder, const std::string& name, bool askFolder) {
  TBusy busy(*this);
  return wrapper_.Remove(folder, name, askFolder);
}

bool TqmGlobal::RenameLockerItem(const std::string& folder, const std::string& oldName,
                                 const std::string& newName) {
  return wrapper_.Rename(folder, oldName, newName);
}

// --- Returning opened files ------------------------------------------------------------------------------

bool TqmGlobal::UpdateOpenedFiles() {
  return UpdateOpenedFiles(copies_.TempRoot());
}

bool TqmGlobal::UpdateOpenedFiles(const std::string& folder) {
  if (!safeOpen_) return true;
  TBusy busy(*this);
  return copies_.WriteBack(
      WithTrailingSlash(NormalDiskPath(folder)), openedSafeFile_,
      [this](const std::string& containerPath, const std::string& diskFile) {
        return LockFile(containerPath, diskFile, false);
      },
      prompter_);
}

namespace {

std::string ItemPath(const std::string& folder, const std::string& name) {
  std::string path = folder;
  if (!path.empty() && path.back() != '\\') path += '\\';
  return path + name;
}

}  // namespace

bool TqmGlobal::ReturnOpenedCopies(const std::string& folder, const std::string& name) {
  if (!safeOpen_) return true;
  TBusy busy(*this);
  return copies_.WriteBackItem(
      ItemPath(folder, name), openedSafeFile_,
      [this](const std::string& containerPath, const std::string& diskFile) {
        return LockFile(containerPath, diskFile, false);
      },
      prompter_);
}

size_t TqmGlobal::DropOpenedCopies(const std::string& folder, const std::string& name) {
  if (!safeOpen_) return 0;
  return copies_.DropItem(ItemPath(folder, name), openedSafeFile_);
}

std::vector<std::string> TqmGlobal::OpenedCopyPaths() const {
  return copies_.PendingContainerPaths(safeOpen_ ? openedSafeFile_ : std::string());
}

std::vector<std::string> TqmGlobal::OpenedFiles() const {
  return copies_.Pending(safeOpen_ ? openedSafeFile_ : std::string());
}

std::vector<std::string> TqmGlobal::OpenedFilesOf(const std::string& safeName) const {
  return copies_.PendingOnDisk(NormalDiskPath(SafeFile(safeName)));
}

std::string TqmGlobal::TempFolderOf(const std::string& safeName) const {
  return copies_.TempRoot() + safeName + kSafeExtension + "/";
}

std::vector<std::string> TqmGlobal::UnaccountedTempFiles() const {
  return copies_.Unaccounted(safeOpen_ ? openedSafeFile_ : std::string());
}

void TqmGlobal::EmptyTempFolders() {
  copies_.EmptyTempFolders();
}

}  // namespace quillmar
