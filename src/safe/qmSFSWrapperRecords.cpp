#include <cstring>
#include <exception>
#include <vector>

#include "base/Exception.h"
#include "base/MemoryStream.h"
#include "base/RandomName.h"
#include "base/SecureWipe.h"
#include "container/SingleFileSystem.h"
#include "model/RecordCheck.h"
#include "model/qmCategory.h"
#include "model/qmReminderEvent.h"
#include "model/qmRepositoryEntry.h"
#include "model/qvtIcon.h"
#include "safe/qmSFSWrapper.h"
#include "safe/qmSFSWrapperInternal.h"
#include "safe/qmSettings.h"

namespace quillmar {

using namespace sfs_wrapper_internal;

namespace {

constexpr char kReminderExt[] = ".reminder";
constexpr char kEntryExt[] = ".entry";

// Why an entry record that could be read whole is damaged all the same, or "". It is when it holds a
// zero byte (no text of a record has one: a page a repair set to zero where it could not be read, or
// one read through the wrong cipher, does), or when it does not read back as it is stored and gave no
// field at all. Records that merely held a marker text in a value (written before such values were
// refused) also read back otherwise, but hold no zero byte and keep their fields: they are shown as
// they read.
std::string EntryDamage(const std::string& path, const std::string& bytes, const TqmRepositoryEntry& parsed) {
  const bool zeros = bytes.find('\0') != std::string::npos;
  if (!zeros) {
    if (!parsed.Fields().Empty()) return "";
    std::string again = parsed.GetText();
    const bool same = again == bytes;
    WipeString(again);
    if (same) return "";
  }
  const std::string what = "The entry record \"" + path + "\" is damaged (";
  if (parsed.Fields().Empty())
    return what + "no field of it can be read, " + std::to_string(bytes.size()) + " bytes).";
  return what + "part of it cannot be read); what could be read is shown: " +
         std::to_string(parsed.Fields().Count()) + " field(s).";
}

// How the entry record bytes of the file at path read (into probe): Unreadable (with why) when nothing
// of it can be shown, Damaged (with why) when only part of it, else Loaded.
TqmEntryFile JudgeEntryRecord(const std::string& path, const std::string& bytes, TqmRepositoryEntry& probe,
                              std::string& problem) {
  if (bytes.size() <= 4) {
    problem = "The entry record \"" + path + "\" is empty (" + std::to_string(bytes.size()) + " bytes).";
    return TqmEntryFile::Unreadable;
  }
  if (!TqmRepositoryEntry::LooksLikeRecord(bytes)) {
    problem = "The entry record \"" + path + "\" holds no entry record (" + std::to_string(bytes.size()) +
              " bytes of something else).";
    return TqmEntryFile::Unreadable;
  }
  probe.ParseText(bytes);
  problem = EntryDamage(path, bytes, probe);
  if (problem.empty()) return TqmEntryFile::Loaded;
  return probe.Fields().Empty() ? TqmEntryFile::Unreadable : TqmEntryFile::Damaged;
}

}  // namespace

// --- Categories ------------------------------------------------------------------------------------

int TqmSFSWrapper::CountSubcategories(const TqmCategory* category) {
  TRead reading(*this);
  EnsureLayout();
  return static_cast<int>(List(CategoryFolder(category), "*.*", true).size());
}

bool TqmSFSWrapper::LoadCategory(const TqmCategory* parent, int32_t key, bool byOrder,
                                 TqmCategory& category) {
  TRead reading(*this);
  EnsureLayout();
  const std::string parentFolder = CategoryFolder(parent);
  std::vector<std::string> folders = List(parentFolder, "*.*", true);
  auto read = [&](const std::string& folder) {
    std::string tpl = parentFolder + folder + "\\" + kCategoryTemplateFile;
    if (!Sfs().FileExists(tpl)) return false;
    const std::string bytes = ReadRecordBytes(tpl);
    if (!TqmCategory::LooksLikeRecord(bytes))
      throw EQuillmarError("The category record \"" + tpl + "\" holds no category record (" +
                           std::to_string(bytes.size()) + " bytes of something else).");
    TMemoryStream stream(bytes);
    try {
      category.LoadFromStream(stream);
    } catch (const EQuillmarError& e) {
      throw EQuillmarError("The category record \"" + tpl + "\" cannot be read: " + e.what());
    }
    category.SetFolderName(folder);
    return true;
  };
  if (byOrder) {
    for (const std::string& folder : folders)
      if (read(folder) && category.SortOrder() == key) return true;
    return false;
  }
  if (key < 0 || static_cast<size_t>(key) >= folders.size()) return false;
  return read(folders[static_cast<size_t>(key)]);
}

void TqmSFSWrapper::SaveCategory(TqmCategory& category) {
  RequireStorable(category);
  TChange change(*this);
  EnsureLayout();
  TSingleFileSystem& sfs = Sfs();
  const std::string parentFolder = CategoryFolder(category.Parent());
  if (category.FolderName().empty())
    category.SetFolderName(RandomFreeName(
        "category", "", [&](const std::string& name) { return sfs.FileExists(parentFolder + name); }));
  const std::string folder = parentFolder + category.FolderName() + "\\";
  if (!sfs.DirectoryExists(folder) && !sfs.ForceDirectories(folder))
    throw EQuillmarError("The category folder could not be created in the Safe.");
  TMemoryStream stream;
  category.SaveToStream(stream);
  WriteRecord(folder + kCategoryTemplateFile, stream.ToString(), kRecordPassword);
}

void TqmSFSWrapper::DeleteCategory(const std::string& path) {
  TChange change(*this);
  if (path.empty() || path == "\\")
    throw EQuillmarError("The root of the Password Repository cannot be deleted.");
  EnsureLayout();
  InvalidateEntryIndex();
  Sfs().DeleteDirectory(EntryFolder(path));
}

bool TqmSFSWrapper::CopyTree(const std::string& source, const std::string& dest) {
  TSingleFileSystem& sfs = Sfs();
  if (!sfs.ForceDirectories(dest)) return false;
  for (const std::string& name : List(source, "*.*", false))
    if (!sfs.CopyFile(source + name, dest + name, kRecordPassword)) return false;
  for (const std::string& name : List(source, "*.*", true))
    if (!CopyTree(source + name + "\\", dest + name + "\\")) return false;
  return true;
}

bool TqmSFSWrapper::MoveCategory(const TqmCategory& category, const TqmCategory* newParent, bool keepSource) {
  TChange change(*this);
  EnsureLayout();
  if (category.FolderName().empty()) return false;
  TSingleFileSystem& sfs = Sfs();
  const std::string source = CategoryFolder(&category);
  const std::string destParent = CategoryFolder(newParent);
  const std::string dest = destParent + category.FolderName() + "\\";
  // Into its own tree the copy would never end; onto an existing folder it would mix two categories.
  if (destParent.compare(0, source.size(), source) == 0) return false;
  if (sfs.FileExists(dest)) return false;
  InvalidateEntryIndex();
  if (!CopyTree(source, dest)) {
    sfs.DeleteDirectory(dest);
    return false;
  }
  if (!keepSource) sfs.DeleteDirectory(source);
  return true;
}

// --- Entries ---------------------------------------------------------------------------------------

int TqmSFSWrapper::CountEntries(const std::string& path) {
  TRead reading(*this);
  EnsureLayout();
  return static_cast<int>(List(EntryFolder(path), "*.entry", false).size());
}

TqmSFSWrapper::TEntryIndex& TqmSFSWrapper::IndexOf(const std::string& folder, bool keepRecords) {
  auto it = entryIndex_.find(folder);
  if (it == entryIndex_.end()) {
    TEntryIndex index;
    for (const std::string& name : List(folder, "*.entry", false)) {
      // One file that cannot be read is named and left out; the others are still found.
      const std::string path = folder + name;
      std::string bytes;
      try {
        bytes = ReadRecordBytes(path);
      } catch (const EQuillmarError& e) {
        index.Unreadable.push_back({path, e.what()});
        continue;
      }
      TqmRepositoryEntry probe;
      std::string problem;
      if (JudgeEntryRecord(path, bytes, probe, problem) == TqmEntryFile::Unreadable) {
        WipeString(bytes);
        index.Unreadable.push_back({path, problem});
        continue;
      }
      // What could be read is shown, and the damage named.
      if (!problem.empty()) index.Damaged.push_back({path, problem});
      index.BySortOrder.emplace(probe.SortOrder(), name);  // the first in listing order wins
      index.InListingOrder.push_back(name);
      index.Titles.push_back({name, probe.SortOrder(), probe.Title()});
      if (keepRecords)
        index.Unclaimed.emplace_hint(index.Unclaimed.end(), name, std::move(bytes));
      else
        WipeString(bytes);
    }
    it = entryIndex_.emplace(folder, std::move(index)).first;
  }
  return it->second;
}

TqmSFSWrapper::TEntryIndex::~TEntryIndex() {
  for (auto& [name, bytes] : Unclaimed) WipeString(bytes);
  for (TqmEntryTitle& t : Titles) WipeString(t.Title);  // titles are the user's text
}

std::string TqmSFSWrapper::EntryRecordBytes(TEntryIndex& index, const std::string& folder,
                                            const std::string& name) {
  auto kept = index.Unclaimed.find(name);
  if (kept == index.Unclaimed.end()) return ReadRecordBytes(folder + name);
  std::string bytes = std::move(kept->second);
  index.Unclaimed.erase(kept);
  return bytes;
}

bool TqmSFSWrapper::LoadEntry(const std::string& path, int32_t sortOrder, TqmRepositoryEntry& entry) {
  TRead reading(*this);
  EnsureLayout();
  const std::string folder = EntryFolder(path);
  TEntryIndex& index = IndexOf(folder);
  auto hit = index.BySortOrder.find(sortOrder);
  if (hit == index.BySortOrder.end()) return false;
  const std::string name = hit->second;
  std::string bytes = EntryRecordBytes(index, folder, name);
  TMemoryStream stream(bytes);
  WipeString(bytes);
  entry.LoadFromStream(stream);
  entry.SetFileName(name);
  return true;
}

bool TqmSFSWrapper::LoadEntryAt(const std::string& path, int index, TqmRepositoryEntry& entry) {
  TRead reading(*this);
  EnsureLayout();
  const std::string folder = EntryFolder(path);
  TEntryIndex& entries = IndexOf(folder);
  if (index < 0 || size_t(index) >= entries.InListingOrder.size()) return false;
  const std::string name = entries.InListingOrder[size_t(index)];
  std::string bytes = EntryRecordBytes(entries, folder, name);
  TMemoryStream stream(bytes);
  WipeString(bytes);
  entry.LoadFromStream(stream);
  entry.SetFileName(name);
  return true;
}

std::vector<TqmUnreadableRecord> TqmSFSWrapper::UnreadableEntries(const std::string& path) {
  TRead reading(*this);
  EnsureLayout();
  return IndexOf(EntryFolder(path)).Unreadable;
}

std::vector<TqmUnreadableRecord> TqmSFSWrapper::DamagedEntries(const std::string& path) {
  EnsureLayout();
  return IndexOf(EntryFolder(path)).Damaged;
}

std::vector<TqmEntryTitle> TqmSFSWrapper::EntryTitles(const std::string& path) {
  TRead reading(*this);
  EnsureLayout();
  return IndexOf(EntryFolder(path), false).Titles;
}

void TqmSFSWrapper::SaveEntry(const std::string& path, TqmRepositoryEntry& entry) {
  RequireStorable(entry);
  TChange change(*this);
  EnsureLayout();
  TSingleFileSystem& sfs = Sfs();
  const std::string folder = EntryFolder(path);
  if (!sfs.DirectoryExists(folder) && !sfs.ForceDirectories(folder))
    throw EQuillmarError("The category folder could not be created in the Safe.");
  if (entry.FileName().empty())
    entry.SetFileName(RandomFreeName("", kEntryExt,
                                     [&](const std::string& name) { return sfs.FileExists(folder + name); }));
  RequirePlainName(entry.FileName(), "entry file");
  entryIndex_.erase(folder);
  TMemoryStream stream;
  entry.SaveToStream(stream);
  WriteRecord(folder + entry.FileName(), stream.ToString(), kRecordPassword);
}

std::optional<std::string> TqmSFSWrapper::ReadEntryRecord(const std::string& path,
                                                          const std::string& fileName) {
  TRead reading(*this);
  if (!IsPlainName(fileName)) return std::nullopt;
  const std::string file = EntryFolder(path) + fileName;
  if (!Sfs().FileExists(file)) return std::nullopt;
  return ReadRecordBytes(file);
}

TqmEntryFile TqmSFSWrapper::LoadEntryFile(const std::string& path, const std::string& fileName,
                                          TqmRepositoryEntry& entry, std::string& problem) {
  TRead reading(*this);
  EnsureLayout();
  problem.clear();
  const std::string file = EntryFolder(path) + fileName;
  if (!IsPlainName(fileName) || !Sfs().FileExists(file)) return TqmEntryFile::Missing;
  std::string bytes;
  try {
    bytes = ReadRecordBytes(file);
  } catch (const EQuillmarError& e) {
    problem = e.what();
    return TqmEntryFile::Unreadable;
  }
  TqmRepositoryEntry probe;
  const TqmEntryFile judged = JudgeEntryRecord(file, bytes, probe, problem);
  if (judged != TqmEntryFile::Unreadable) {
    // Read as LoadEntryAt reads it: the whole entry from its stream.
    TMemoryStream stream(bytes);
    entry.LoadFromStream(stream);
    entry.SetFileName(fileName);
  }
  WipeString(bytes);
  return judged;
}

bool TqmSFSWrapper::DeleteEntry(const std::string& path, const std::string& fileName) {
  TChange change(*this);
  EnsureLayout();
  if (!IsPlainName(fileName)) return false;
  const std::string file = EntryFolder(path) + fileName;
  entryIndex_.erase(EntryFolder(path));
  if (Sfs().FileExists(file)) Sfs().DeleteFile(file);
  return !Sfs().FileExists(file);
}

bool TqmSFSWrapper::MoveEntry(const TqmRepositoryEntry& entry, const TqmCategory* newCategory,
                              bool keepSource) {
  TChange change(*this);
  EnsureLayout();
  if (!IsPlainName(entry.FileName())) return false;
  TSingleFileSystem& sfs = Sfs();
  const std::string sourceFolder = CategoryFolder(entry.Parent());
  const std::string destFolder = CategoryFolder(newCategory);
  const std::string source = sourceFolder + entry.FileName();
  const std::string dest = destFolder + entry.FileName();
  if (sourceFolder == destFolder) return sfs.FileExists(source);
  // Never replace another entry that happens to have the same file name.
  if (!sfs.FileExists(source) || sfs.FileExists(dest)) return false;
  if (!sfs.DirectoryExists(destFolder) && !sfs.ForceDirectories(destFolder)) return false;
  InvalidateEntryIndex();
  if (!sfs.CopyFile(source, dest, kRecordPassword)) {
    sfs.DeleteFile(dest);
    return false;
  }
  if (!keepSource) sfs.DeleteFile(source);
  return true;
}

int TqmSFSWrapper::DeleteAllEntries(const std::string& folder) {
  TChange change(*this);
  EnsureLayout();
  InvalidateEntryIndex();
  const std::string base = WithTrailingSeparator(folder);
  int count = 0;
  for (const std::string& name : List(base, "*.*", false))
    if (EndsWith(name, kEntryExt) && name.size() > std::strlen(kEntryExt) && Sfs().DeleteFile(base + name))
      ++count;
  for (const std::string& name : List(base, "*.*", true)) count += DeleteAllEntries(base + name + "\\");
  return count;
}

// --- Icons -----------------------------------------------------------------------------------------

int TqmSFSWrapper::ListIcons(TIconKind kind, std::vector<std::string>& list) {
  TRead reading(*this);
  EnsureLayout();
  std::vector<std::string> names = List(IconFolder(kind), "*.ico", false);
  list.insert(list.end(), names.begin(), names.end());
  return static_cast<int>(names.size());
}

bool TqmSFSWrapper::LoadIcon(int kind, const std::string& name, TqvtIcon& icon) {
  TRead reading(*this);
  EnsureLayout();
  if (!IsPlainName(name)) return false;
  const std::string path = IconFolder(kind) + name;
  if (!Sfs().FileExists(path)) return false;
  icon.SetImage(ReadRecordBytes(path));
  icon.SetName(name);
  return true;
}

void TqmSFSWrapper::SaveIcon(int kind, const TqvtIcon& icon, const std::string& name) {
  TChange change(*this);
  EnsureLayout();
  RequirePlainName(name, "icon");
  WriteRecord(IconFolder(kind) + name, icon.Image(), kRecordPassword);
}

// --- Reminders -------------------------------------------------------------------------------------

int TqmSFSWrapper::ReminderCount() {
  TRead reading(*this);
  EnsureLayout();
  return static_cast<int>(List(kRemindersFolder, "*.reminder", false).size());
}

bool TqmSFSWrapper::LoadReminderAt(int index, TqmReminderEvent& reminder) {
  TRead reading(*this);
  EnsureLayout();
  std::vector<std::string> names = List(kRemindersFolder, "*.reminder", false);
  if (index < 0 || static_cast<size_t>(index) >= names.size()) return false;
  const std::string& name = names[static_cast<size_t>(index)];
  ReadReminder(kRemindersFolder + name, reminder);
  // The file name is what identifies the reminder, whatever the record says.
  reminder.SetId(EndsWith(name, kReminderExt) ? name.substr(0, name.size() - std::strlen(kReminderExt))
                                              : name);
  return true;
}

bool TqmSFSWrapper::LoadReminder(const std::string& id, TqmReminderEvent& reminder) {
  TRead reading(*this);
  EnsureLayout();
  if (!IsPlainName(id)) return false;
  const std::string path = kRemindersFolder + id + kReminderExt;
  if (!Sfs().FileExists(path)) return false;
  ReadReminder(path, reminder);
  reminder.SetId(id);
  return true;
}

void TqmSFSWrapper::ReadReminder(const std::string& path, TqmReminderEvent& reminder) {
  std::string bytes = ReadRecordBytes(path);
  TMemoryStream stream(bytes);
  const bool recognised = bytes.size() >= 4 && TqmReminderEvent::LooksLikeRecord(bytes);
  WipeString(bytes);
  if (!recognised) throw EQuillmarError("The reminder record \"" + path + "\" holds no reminder record.");
  try {
    reminder.LoadFromStream(stream);
  } catch (const EQuillmarError& e) {
    throw EQuillmarError("The reminder record \"" + path + "\" cannot be read: " + e.what());
  }
}

void TqmSFSWrapper::SaveReminder(TqmReminderEvent& reminder) {
  RequireStorable(reminder);
  TChange change(*this);
  EnsureLayout();
  TSingleFileSystem& sfs = Sfs();
  if (reminder.id().empty()) {
    std::string file = RandomFreeName(
        "", kReminderExt, [&](const std::string& name) { return sfs.FileExists(kRemindersFolder + name); });
    reminder.SetId(file.substr(0, file.size() - std::strlen(kReminderExt)));
  }
  RequirePlainName(reminder.id(), "reminder");
  TMemoryStream stream;
  reminder.SaveToStream(stream);
  WriteRecord(kRemindersFolder + reminder.id() + kReminderExt, stream.ToString(), kRecordPassword);
}

bool TqmSFSWrapper::DeleteReminder(const std::string& id) {
  TChange change(*this);
  EnsureLayout();
  if (!IsPlainName(id)) return false;
  const std::string path = kRemindersFolder + id + kReminderExt;
  if (Sfs().FileExists(path)) Sfs().DeleteFile(path);
  return !Sfs().FileExists(path);
}

std::vector<std::string> TqmSFSWrapper::ReminderNames() {
  TRead reading(*this);
  EnsureLayout();
  std::vector<std::string> ids;
  for (const std::string& name : List(kRemindersFolder, "*.reminder", false))
    ids.push_back(EndsWith(name, kReminderExt) ? name.substr(0, name.size() - std::strlen(kReminderExt))
                                               : name);
  return ids;
}

std::string TqmSFSWrapper::CopyReminder(const std::string& id) {
  TqmReminderEvent copy;
  if (!LoadReminder(id, copy)) return "";
  copy.SetId("");
  SaveReminder(copy);
  return copy.id();
}

// --- Settings --------------------------------------------------------------------------------------

std::string TqmSFSWrapper::ReadSettingsText() {
  TRead reading(*this);
  EnsureLayout();
  if (!Sfs().FileExists(kSettingsFile)) return "";
  return ReadRecordBytes(kSettingsFile);
}

void TqmSFSWrapper::WriteSettingsText(const std::string& text) {
  TChange change(*this);
  EnsureLayout();
  WriteRecord(kSettingsFile, text, kRecordPassword);
}

void TqmSFSWrapper::LoadSettings(TqmSettings& settings) {
  settings.ParseText(ReadSettingsText());
}

void TqmSFSWrapper::SaveSettings(const TqmSettings& settings) {
  if (auto problem = RecordProblem(settings); !problem.empty()) throw ERecordRefused(problem);
  const std::string text = settings.GetText();
  // Settings that did not change are not written again: saving them at every close would otherwise
  // be a change of the Safe (a journal, syncs) each time, and fail where the Safe cannot be written.
  try {
    if (ReadSettingsText() == text) return;
  } catch (const std::exception&) {
    // An unreadable settings record is replaced.
  }
  WriteSettingsText(text);
}

}  // namespace quillmar
