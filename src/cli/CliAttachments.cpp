#include "cli/CliAttachments.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "base/DurableFile.h"
#include "cli/CliError.h"

namespace quillmar {

namespace fs = std::filesystem;

namespace {

bool IsAttachmentField(const TqmField& f) {
  return f.FieldType() == ftFile || f.FieldType() == ftPicture;
}

std::string AttachmentFieldList(const TCliConsole& console, const TqmRepositoryEntry& e) {
  std::string list;
  for (const auto& f : e.Fields())
    if (IsAttachmentField(*f)) list += (list.empty() ? "" : ", ") + console.Show(f->Name());
  return list.empty() ? "it has none" : "its File and Picture fields: " + list;
}

// Copies source to target through a private (0600) temporary file beside target that is synced and
// renamed over it once complete, so that target is never left half written.
void CopyPrivately(const std::string& source, const std::string& target) {
  try {
    ReplaceFileWithCopy(source, target);
  } catch (const EDurableFileError& e) {
    throw Failure(target + " could not be written: " + e.Reason());
  }
}

// Makes the folder and the missing ones above it, each private to the user (0700): the attached files
// written into it are decrypted data. Folders that exist are left as they are.
void MakePrivateFolders(const std::string& dir) {
  std::error_code ec;
  fs::path made;
  for (const fs::path& part : fs::path(dir)) {
    made /= part;
    if (fs::exists(made, ec)) continue;
    if (::mkdir(made.c_str(), 0700) != 0 && errno != EEXIST) return;  // the caller reports the folder
  }
}

}  // namespace

TCliAttachments::TCliAttachments(TCliContext& c) : c_(c) {
  for (const auto& option : c.Args().Values("--attach")) {
    const size_t eq = option.find('=');
    if (eq == std::string::npos || eq == 0 || eq + 1 == option.size())
      throw UsageError("--attach needs NAME=DISKFILE, not \"" + option + "\"");
    TItem item;
    item.option = option;
    item.fieldName =
        c.Console().Take(option.substr(0, eq), "the field name \"" + option.substr(0, eq) + "\"");
    item.diskFile = option.substr(eq + 1);
    const std::string& d = item.diskFile;
    std::error_code ec;
    if (!fs::exists(d, ec)) throw UsageError("the file " + d + " does not exist; nothing was changed");
    if (!fs::is_regular_file(d, ec))
      throw UsageError(d + " is not a file; only files can be attached; nothing was changed");
    if (::access(d.c_str(), R_OK) != 0)
      throw UsageError("the file " + d + " cannot be read: " + std::strerror(errno) +
                       "; nothing was changed");
    const std::string diskName = fs::path(d).filename().string();
    // An attached file is kept by its name in a folder of the Safe, where "\" separates folders.
    if (diskName.find('\\') != std::string::npos)
      throw UsageError(
          d + " cannot be attached: its name holds \"\\\", which the Safe cannot store; rename it first");
    item.name = c.Console().Take(diskName, "the name of the file " + d);
    if (const std::string problem = TqmSFSWrapper::ItemNameProblem(item.name, "The name of the file");
        !problem.empty())
      throw UsageError(d + " cannot be attached: " + OneLine(c.Console(), problem) + " Nothing was changed.");
    for (const auto& other : items_)
      if (other.name == item.name && other.diskFile != item.diskFile)
        throw UsageError("two --attach files have the name \"" + diskName +
                         "\"; an attached file is known by its name, so rename one of them");
    items_.push_back(std::move(item));
  }
}

void TCliAttachments::Bind(TqmRepositoryEntry& entry) {
  std::vector<std::string> setNames;
  for (const auto& s : c_.Args().Values("--set")) {
    const size_t eq = s.find('=');
    if (eq != std::string::npos) setNames.push_back(s.substr(0, eq));
  }
  for (auto& item : items_) {
    const std::string shown = c_.Console().Show(item.fieldName);
    for (int i = 0; i < entry.Fields().Count(); ++i)
      if (entry.FieldAt(i).Name() == item.fieldName) {
        item.field = i;
        break;
      }
    if (item.field < 0)
      throw UsageError("the entry has no field \"" + shown + "\" (" +
                       AttachmentFieldList(c_.Console(), entry) + ")");
    TqmField& field = entry.FieldAt(item.field);
    if (!IsAttachmentField(field))
      throw UsageError("the field \"" + shown + "\" is a " + field.TypeName() +
                       " field; --attach sets only File and Picture fields (" +
                       AttachmentFieldList(c_.Console(), entry) + ")");
    for (const auto& other : items_)
      if (&other != &item && other.field == item.field)
        throw UsageError("the field \"" + shown + "\" is given to --attach twice");
    if (std::find(setNames.begin(), setNames.end(), shown) != setNames.end())
      throw UsageError("the field \"" + shown + "\" is given to both --set and --attach");
    field.SetValue(item.name);
  }
}

void TCliAttachments::Attach(TqmEntryEditSession& session) {
  for (auto& item : items_) {
    std::string stored;
    try {
      // Stored under the disk file's name converted to the Safe's code page (item.name).
      stored = session.AttachFile(item.field, item.diskFile);
    } catch (const ECliError&) {
      throw;
    } catch (const std::exception& e) {
      throw Failure(item.diskFile + " was not attached: " + OneLine(c_.Console(), e.what()) +
                    "; nothing was changed");
    }
    if (stored.empty())
      throw Failure(item.diskFile + " was not attached: a file \"" + c_.Console().Show(item.name) +
                    "\" is attached to the Safe already; " + c_.ReasonOr("refused") +
                    "; nothing was changed");
    item.name = stored;
  }
}

TCliAttachments::TExtracted TCliAttachments::Extract(TCliContext& c, const TqmRepositoryEntry& entry,
                                                     const std::string& dir) {
  TExtracted result;
  std::vector<std::string> names;
  for (const auto& f : entry.Fields())
    if (IsAttachmentField(*f) && !f->Value().empty() &&
        std::find(names.begin(), names.end(), f->Value()) == names.end())
      names.push_back(f->Value());
  if (names.empty()) return result;

  std::error_code ec;
  MakePrivateFolders(dir);
  if (!fs::is_directory(dir, ec)) throw Failure("the folder " + dir + " does not exist and cannot be made");

  // Every target is checked before anything is written.
  std::vector<std::pair<std::string, std::string>> todo;  // stored name, disk path
  for (const auto& name : names) {
    const std::string shown = c.Console().Show(name);
    if (name == "." || name == ".." || name.find_first_of("/\\") != std::string::npos) {
      result.problems.push_back("\"" + shown + "\" is not a file name");
      continue;
    }
    const std::string target = (fs::path(dir) / shown).string();
    if (fs::exists(fs::symlink_status(target, ec)) && !c.Args().Has("--yes"))
      throw Failure(target + " exists (add --yes to replace it); nothing was extracted");
    todo.emplace_back(name, target);
  }
  TqmGlobal& g = c.Global();
  for (const auto& [name, target] : todo) {
    std::string temp;
    try {
      temp = g.ExtractAttachedFile(name);
    } catch (const std::exception& e) {
      result.problems.push_back(OneLine(c.Console(), e.what()));
      continue;
    }
    try {
      CopyPrivately(temp, target);
      result.paths.push_back(target);
    } catch (const ECliError& e) {
      result.problems.push_back(e.what());
    }
    fs::remove(temp, ec);
  }
  return result;
}

}  // namespace quillmar
