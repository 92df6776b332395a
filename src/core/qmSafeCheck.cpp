#include "core/qmSafeCheck.h"

#include <algorithm>
#include <functional>
#include <memory>

#include "base/MemoryStream.h"
#include "base/SecureWipe.h"
#include "container/SingleFileSystem.h"
#include "core/qmGlobal.h"
#include "model/RecordCheck.h"
#include "model/qmCategory.h"
#include "model/qmField.h"
#include "model/qmReminderEvent.h"
#include "model/qmRepositoryEntry.h"
#include "safe/qmSFSWrapper.h"
#include "safe/qmSettings.h"

namespace quillmar {

namespace {

using TWrapper = TqmSFSWrapper;

bool StartsWith(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

bool EndsWith(const std::string& text, const std::string& suffix) {
  return text.size() >= suffix.size() &&
         text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

std::string Quoted(const std::string& path) {
  return "\"" + path + "\"";
}

// Reads a record's bytes; on failure adds the wrapper's message (it names the path) and gives false.
bool ReadRecord(TWrapper& w, const std::string& path, std::string& bytes,
                std::vector<std::string>& problems) {
  try {
    bytes = w.ReadRecordBytes(path);
    return true;
  } catch (const std::exception& e) {
    problems.push_back(e.what());
    return false;
  }
}

void CheckEntryRecord(TWrapper& w, const std::string& path, std::vector<std::string>& problems) {
  std::string bytes;
  if (!ReadRecord(w, path, bytes, problems)) return;
  const std::string what = "The entry record " + Quoted(path);
  if (bytes.size() <= 4) {
    problems.push_back(what + " is empty (" + std::to_string(bytes.size()) + " bytes); the entry is lost.");
  } else if (!TqmRepositoryEntry::LooksLikeRecord(bytes)) {
    problems.push_back(what + " holds no entry record (" + std::to_string(bytes.size()) +
                       " bytes of something else).");
  } else {
    TqmRepositoryEntry entry;
    entry.ParseText(bytes);
    std::string again = entry.GetText();
    if (bytes.find('\0') != std::string::npos)
      problems.push_back(what + " is damaged: part of it cannot be read (" +
                         std::to_string(entry.Fields().Count()) + " field(s) were read).");
    else if (again != bytes)
      problems.push_back(
          what + " does not read back as it is stored: " + std::to_string(entry.Fields().Count()) +
          " field(s) were read, and text beside them was skipped (a value that held \"</field>\" "
          "leaves such text).");
    WipeString(again);
  }
  WipeString(bytes);
}

void CheckCategoryRecord(TWrapper& w, const std::string& path, std::vector<std::string>& problems) {
  std::string bytes;
  if (!ReadRecord(w, path, bytes, problems)) return;
  const std::string what = "The category record " + Quoted(path);
  if (!TqmCategory::LooksLikeRecord(bytes)) {
    problems.push_back(what + " holds no category record (" + std::to_string(bytes.size()) +
                       " bytes of something else); the category and what is in it are not shown.");
    return;
  }
  TMemoryStream in(bytes);
  TqmCategory category;
  try {
    category.LoadFromStream(in);
  } catch (const std::exception& e) {
    problems.push_back(what + " cannot be read: " + e.what() +
                       "; the category and what is in it are not shown.");
    return;
  }
  TMemoryStream out;
  category.SaveToStream(out);
  if (out.ToString() != bytes)
    problems.push_back(what + " does not read back as it is stored (" +
                       std::to_string(category.Fields().Count()) + " field(s) were read).");
}

void CheckReminderRecord(TWrapper& w, const std::string& path, std::vector<std::string>& problems) {
  std::string bytes;
  if (!ReadRecord(w, path, bytes, problems)) return;
  const bool recognised = TqmReminderEvent::LooksLikeRecord(bytes);
  TMemoryStream in(bytes);
  WipeString(bytes);
  if (!recognised) {
    problems.push_back("The reminder record " + Quoted(path) + " holds no reminder record.");
    return;
  }
  TqmReminderEvent reminder(0.0);
  try {
    reminder.LoadFromStream(in);
  } catch (const std::exception& e) {
    problems.push_back("The reminder record " + Quoted(path) + " cannot be read: " + e.what());
  }
}

void CheckSettings(TWrapper& w, const std::string& path, std::vector<std::string>& problems) {
  std::string bytes;
  if (!ReadRecord(w, path, bytes, problems)) return;
  // Settings text holds "key=value" lines; text without a single key of them is no settings text.
  bool anyKey = false;
  TqmSettings settings;
  for (const TqmSettingsGroup* group : settings.Groups())
    for (const TqmSettingsItem* item : group->Items())
      if (bytes.find(item->Key() + "=") != std::string::npos) anyKey = true;
  if (!bytes.empty() && !anyKey)
    problems.push_back("The settings " + Quoted(path) + " hold no setting (" + std::to_string(bytes.size()) +
                       " bytes of something else).");
  WipeString(bytes);
}

// Any other file: every byte must be readable.
void CheckFile(TWrapper& w, const std::string& path, std::vector<std::string>& problems) {
  const std::string problem = w.FileReadProblem(path);
  if (problem.empty()) return;
  const std::string attached = TWrapper::kAttachedFilesFolder;
  if (StartsWith(path, TWrapper::kFileLockerRoot))
    problems.push_back("The locked file " + Quoted(path) + " " + problem + ".");
  else if (StartsWith(path, attached) && path.find('\\', attached.size()) == std::string::npos)
    problems.push_back("The attached file " + Quoted(path.substr(attached.size())) + " " + problem + ".");
  else
    problems.push_back("The file " + Quoted(path) + " " + problem + ".");
}

}  // namespace

std::vector<std::string> DeepCheckSafe(TqmGlobal& global) {
  TWrapper& w = global.Wrapper();
  std::vector<std::string> problems;
  try {
    for (const std::string& p : w.Container()->CheckIntegrity()) problems.push_back("container: " + p);
  } catch (const std::exception& e) {
    problems.push_back(std::string("container: ") + e.what());
  }
  w.EnsureLayout();

  const std::string repository = TWrapper::kRepositoryRoot;
  const std::string reminders = TWrapper::kRemindersFolder;
  std::function<void(const std::string&)> walk = [&](const std::string& folder) {
    const bool inRepository = StartsWith(folder, repository);
    for (const std::string& name : w.ListNames(folder, false)) {
      const std::string path = folder + name;
      if (inRepository && name == TWrapper::kCategoryTemplateFile && folder != repository)
        CheckCategoryRecord(w, path, problems);
      else if (inRepository && EndsWith(name, ".entry"))
        CheckEntryRecord(w, path, problems);
      else if (folder == reminders && EndsWith(name, ".reminder"))
        CheckReminderRecord(w, path, problems);
      else if (path == TWrapper::kSettingsFile)
        CheckSettings(w, path, problems);
      else
        CheckFile(w, path, problems);
      global.ProcessEvents();
    }
    for (const std::string& name : w.ListNames(folder, true)) {
      const std::string sub = folder + name + "\\";
      if (inRepository) {
        const std::string record = sub + TWrapper::kCategoryTemplateFile;
        if (!w.Container()->FileExists(record))
          problems.push_back("The category folder " + Quoted(sub) + " holds no category record (" +
                             TWrapper::kCategoryTemplateFile + "); it is not shown, nor what is in it.");
      }
      walk(sub);
    }
  };
  walk("\\");
  return problems;
}

namespace {

// Why the category record in folder (a container path ending in "\\") is unusable: missing while
// the folder holds something, unreadable, or no category record. "" when it is usable (or the folder
// is empty and has none).
std::string CategoryRecordDamage(TWrapper& w, const std::string& folder) {
  const std::string record = folder + TWrapper::kCategoryTemplateFile;
  if (!w.Container()->FileExists(record)) {
    const auto files = w.ListNames(folder, false);
    if (files.empty() && w.ListNames(folder, true).empty()) return "";
    return "The category folder " + Quoted(folder) + " holds no category record";
  }
  std::string bytes;
  try {
    bytes = w.ReadRecordBytes(record);
  } catch (const std::exception& e) {
    return e.what();
  }
  if (!TqmCategory::LooksLikeRecord(bytes))
    return "The category record " + Quoted(record) + " holds no category record";
  TMemoryStream in(bytes);
  TqmCategory probe;
  try {
    probe.LoadFromStream(in);
  } catch (const std::exception& e) {
    return "The category record " + Quoted(record) + " cannot be read: " + e.what();
  }
  return "";
}

// The categories that stand for the folders of a container path below the repository root (only
// their FolderName and Parent are set), so that SaveCategory writes into the right folder.
struct TFolderChain {
  std::vector<std::unique_ptr<TqmCategory>> links;
  TqmCategory* Last() const { return links.empty() ? nullptr : links.back().get(); }
};

TFolderChain ChainOf(const std::string& relativeFolder) {
  TFolderChain chain;
  size_t start = 0;
  while (start < relativeFolder.size()) {
    const size_t end = relativeFolder.find('\\', start);
    const std::string name = relativeFolder.substr(start, end - start);
    auto link = std::make_unique<TqmCategory>(chain.Last());
    link->SetFolderName(name);
    chain.links.push_back(std::move(link));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return chain;
}

// After a rebuild, writes anew what the program cannot do without where it is still damaged: the
// settings (the settings in use), the category records (a recovered category named after its folder
// with its first entry's fields, so that every entry in it is shown again), and reminder records
// that hold nothing (removed). Adds one line per record to lost and the paths it rewrote to mended.
void MendRecords(TqmGlobal& global, const std::vector<TRebuildNote>& notes, TqmRepairResult& result,
                 std::vector<std::string>& rewritten) {
  TWrapper& w = global.Wrapper();
  w.EnsureLayout();
  auto zeroed = [&](const std::string& path) {
    return std::any_of(notes.begin(), notes.end(), [&](const TRebuildNote& n) {
      return n.Path == path && n.Kind == TRebuildNote::TKind::BytesZeroed;
    });
  };

  // The settings.
  {
    const std::string path = TWrapper::kSettingsFile;
    std::vector<std::string> problems;
    if (w.Container()->FileExists(path)) CheckSettings(w, path, problems);
    if (!problems.empty() || zeroed(path) || !global.SettingsProblem().empty()) {
      const bool defaults = !global.SettingsProblem().empty();
      global.SaveSettings(true);
      rewritten.push_back(path);
      result.lost.push_back("The settings " + Quoted(path) + " could not be read; " +
                            (defaults
                                 ? "the default settings were written in their place: set your preferences "
                                   "again."
                                 : "the settings in use were written in their place."));
    }
  }

  // Reminder records that hold no reminder (unreadable, or zeros where a page was lost).
  for (const std::string& name : w.ListNames(TWrapper::kRemindersFolder, false)) {
    if (!EndsWith(name, ".reminder")) continue;
    const std::string path = TWrapper::kRemindersFolder + name;
    std::vector<std::string> problems;
    CheckReminderRecord(w, path, problems);
    if (problems.empty()) continue;
    if (!w.DeleteReminder(name.substr(0, name.size() - std::string(".reminder").size()))) continue;
    rewritten.push_back(path);
    result.lost.push_back(
        "The reminder record " + Quoted(path) +
        " could not be read; it was removed (the entry that named it has no reminder now).");
  }

  // Category records.
  const std::string root = TWrapper::kRepositoryRoot;
  std::function<void(const std::string&)> walk = [&](const std::string& relative) {
    const std::vector<std::string> subs = w.ListNames(root + relative, true);
    for (size_t i = 0; i < subs.size(); ++i) {
      const std::string sub = relative + subs[i] + "\\";
      const std::string damage = CategoryRecordDamage(w, root + sub);
      if (!damage.empty()) {
        TFolderChain chain = ChainOf(relative);
        TqmCategory recovered(chain.Last());
        recovered.SetFolderName(subs[i]);
        recovered.SetName("Recovered " + subs[i]);
        recovered.SetSortOrder(static_cast<int32_t>(subs.size() + i));
        TqmRepositoryEntry first;
        bool withFields = false;
        try {
          withFields = w.LoadEntryAt(sub, 0, first);
        } catch (const std::exception&) {
          // No entry can be read: the record gets no template.
        }
        if (withFields) {
          recovered.SetIcon(first.Icon());
          for (const auto& f : first.Fields())
            recovered.Fields().Add(TqmField(f->SortOrder(), f->Name(), f->FieldType(), f->IsRequired()));
        }
        try {
          global.SaveCategory(recovered);
        } catch (const ERecordRefused&) {
          recovered.Fields().Clear();  // a field name the record cannot hold: no template then
          global.SaveCategory(recovered);
        }
        const std::string record = root + sub + TWrapper::kCategoryTemplateFile;
        rewritten.push_back(record);
        result.lost.push_back(damage + "; its name and template are lost. A new record \"" +
                              recovered.Name() + "\" was written" +
                              (withFields ? " with the fields of its first entry" : "") +
                              ", so that what is in it is shown again: rename it and check its fields.");
      }
      walk(sub);
    }
  };
  walk("");
}

}  // namespace

TqmRepairResult RepairSafe(TqmGlobal& global, const TqmProgress& progress) {
  TqmRepairResult result;
  std::vector<TRebuildNote> notes;
  std::string log;
  result.rebuilt = global.Repair(&notes, &log, progress);
  if (!result.rebuilt) {
    result.failure = log;
    return result;
  }
  std::vector<std::string> rewritten;
  MendRecords(global, notes, result, rewritten);
  for (const TRebuildNote& n : notes) {
    // A record written anew above has its own line.
    if (n.Kind == TRebuildNote::TKind::BytesZeroed &&
        std::find(rewritten.begin(), rewritten.end(), n.Path) != rewritten.end())
      continue;
    switch (n.Kind) {
      case TRebuildNote::TKind::FolderDropped:
        result.lost.push_back("The folder " + Quoted(n.Path) +
                              " could not be carried over; it is gone with what was in it.");
        break;
      case TRebuildNote::TKind::FileDropped:
        result.lost.push_back("The file " + Quoted(n.Path) + " could not be carried over; it is gone.");
        break;
      case TRebuildNote::TKind::BytesZeroed:
        result.lost.push_back("Bytes " + std::to_string(n.Offset) + " to " +
                              std::to_string(n.Offset + n.Length - 1) + " of " + Quoted(n.Path) +
                              " could not be read; they were set to zero.");
        break;
      case TRebuildNote::TKind::PageMarksRestored:
        result.mended.push_back(std::to_string(n.Length) + " page(s) of " + Quoted(n.Path) +
                                " carried a wrong encryption mark; it was set right.");
        break;
    }
  }
  result.remaining = DeepCheckSafe(global);
  return result;
}

std::vector<std::string> RecoveredCategories(TqmGlobal& global) {
  TWrapper& w = global.Wrapper();
  std::vector<std::string> lines;
  const std::string root = TWrapper::kRepositoryRoot;
  std::function<void(const std::string&)> walk = [&](const std::string& folder) {
    for (const std::string& sub : w.ListNames(folder, true)) {
      const std::string path = folder + sub + "\\";
      const std::string record = path + TWrapper::kCategoryTemplateFile;
      if (w.Container()->FileExists(record)) {
        try {
          const std::string bytes = w.ReadRecordBytes(record);
          TMemoryStream in(bytes);
          TqmCategory category;
          category.LoadFromStream(in);
          if (category.Name() == "Recovered " + sub)
            lines.push_back("The category \"" + category.Name() + "\" (" + Quoted(path) +
                            ") was recovered by a repair: its record was damaged, so its name and template "
                            "were made anew. Rename it and check its fields.");
        } catch (const std::exception&) {
          // A record that cannot be read is the deep check's to report.
        }
      }
      walk(path);
    }
  };
  walk(root);
  return lines;
}

}  // namespace quillmar
