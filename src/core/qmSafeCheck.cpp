#include "core/qmSafeCheck.h"

#include <functional>

#include "base/MemoryStream.h"
#include "base/SecureWipe.h"
#include "container/SingleFileSystem.h"
#include "core/qmGlobal.h"
#include "model/qmCategory.h"
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
    if (again != bytes)
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

TqmRepairResult RepairSafe(TqmGlobal& global, const TqmProgress& progress) {
  TqmRepairResult result;
  std::vector<TRebuildNote> notes;
  std::string log;
  result.rebuilt = global.Repair(&notes, &log, progress);
  if (!result.rebuilt) {
    result.failure = log;
    return result;
  }
  for (const TRebuildNote& n : notes) {
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

}  // namespace quillmar
