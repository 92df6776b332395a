// The File Locker commands: files, lock, unlock, mkdir, rename, rmfile.
//
// File Locker paths on the command line are relative to its root with "/" separators ("Docs/a.txt");
// inside the Safe they are "\File Locker\Docs\a.txt". Names are Safe text (its code page) inside the
// Safe and UTF-8 on the command line and on the disk, converted like every other text.
#include <filesystem>

#include "cli/CliCommands.h"
#include "cli/CliError.h"
#include "cli/CliItemPath.h"
#include "cli/CliJsonWriter.h"

namespace quillmar {

namespace fs = std::filesystem;

namespace {

std::vector<std::string> LockerParts(const TCliConsole& console, const std::string& path) {
  std::vector<std::string> parts;
  std::string cur;
  auto flush = [&](bool edge) {
    if (cur.empty()) {
      if (!edge) throw UsageError("empty name between two \"/\" in the File Locker path \"" + path + "\"");
      return;
    }
    if (cur == "." || cur == "..")
      throw UsageError("\".\" and \"..\" are not File Locker names (in \"" + path + "\")");
    if (cur.find('\\') != std::string::npos)
      throw UsageError("a File Locker name cannot hold \"\\\" (in \"" + path +
                       "\"); separate folders with \"/\"");
    parts.push_back(console.Take(cur, "the File Locker path"));
    cur.clear();
  };
  for (size_t i = 0; i < path.size(); ++i) {
    if (path[i] == '/')
      flush(i == 0);
    else
      cur += path[i];
  }
  flush(true);
  return parts;
}

// Refuses (usage) a name a new File Locker item cannot have (model/RecordCheck.h, the 259-character
// limit), before the Safe is opened.
void RequireNewName(const TCliConsole& console, const std::string& name, const std::string& what) {
  if (const std::string problem = TqmSFSWrapper::ItemNameProblem(name, what); !problem.empty())
    throw UsageError(OneLine(console, problem) + " Nothing was changed.");
}

// The container folder of the first n parts ("\File Locker\A\B\").
std::string LockerFolder(const std::vector<std::string>& parts, size_t n) {
  std::string f = TqmSFSWrapper::FileLockerRoot();
  for (size_t i = 0; i < n; ++i) f += parts[i] + "\\";
  return f;
}

// The first n parts as a command-line path (UTF-8).
std::string Shown(const TCliConsole& console, const std::vector<std::string>& parts, size_t n) {
  std::string s;
  for (size_t i = 0; i < n; ++i) s += (i ? "/" : "") + console.Show(parts[i]);
  return s.empty() ? "/" : s;
}

enum class TKind { None, File, Folder };

TKind FindItem(TqmGlobal& g, const std::string& folder, const std::string& name,
               TqmFileInfo* info = nullptr) {
  const int folders = g.CountFolders(folder);
  for (int i = 0; i < folders; ++i) {
    TqmFileInfo fi = g.FolderInfoAt(folder, i);
    if (fi.Name == name) {
      if (info) *info = fi;
      return TKind::Folder;
    }
  }
  const int files = g.CountFiles(folder);
  for (int i = 0; i < files; ++i) {
    TqmFileInfo fi = g.FileInfoAt(folder, i);
    if (fi.Name == name) {
      if (info) *info = fi;
      return TKind::File;
    }
  }
  return TKind::None;
}

// Throws unless every part names a folder.
void RequireFolder(const TCliConsole& console, TqmGlobal& g, const std::vector<std::string>& parts) {
  for (size_t i = 0; i < parts.size(); ++i)
    if (FindItem(g, LockerFolder(parts, i), parts[i]) != TKind::Folder)
      throw Failure("there is no folder " + Shown(console, parts, i + 1) + " in the File Locker");
}

// The folder and name of an existing item.
std::pair<std::string, std::string> RequireItem(TCliContext& c, const std::string& path, TKind want) {
  const TCliConsole& console = c.Console();
  TqmGlobal& g = c.Global();
  auto parts = LockerParts(console, path);
  if (parts.empty()) throw UsageError("give a path inside the File Locker, not its root");
  RequireFolder(console, g, {parts.begin(), parts.end() - 1});
  const std::string folder = LockerFolder(parts, parts.size() - 1);
  const TKind k = FindItem(g, folder, parts.back());
  if (k == TKind::None)
    throw Failure("there is no " + Shown(console, parts, parts.size()) + " in the File Locker");
  if (want == TKind::File && k != TKind::File)
    throw Failure(Shown(console, parts, parts.size()) + " is a folder, not a file");
  return {folder, parts.back()};
}

}  // namespace

int RunFiles(TCliContext& c) {
  c.OpenSafe(c.Arg(0), true);
  TqmGlobal& g = c.Global();
  const auto parts = LockerParts(c.Console(), c.Args().args.size() > 1 ? c.Arg(1) : "");
  RequireFolder(c.Console(), g, parts);
  const std::string folder = LockerFolder(parts, parts.size());
  std::vector<TqmFileInfo> folders, files;
  for (int i = 0, n = g.CountFolders(folder); i < n; ++i) folders.push_back(g.FolderInfoAt(folder, i));
  for (int i = 0, n = g.CountFiles(folder); i < n; ++i) files.push_back(g.FileInfoAt(folder, i));
  if (c.Json()) {
    TCliJsonWriter w(c.Console().Out());
    w.BeginArray();
    for (const auto& f : folders) {
      w.BeginObject();
      w.Key("kind");
      w.String("folder");
      w.Key("name");
      w.String(c.Console().Show(f.Name));
      w.Key("modified");
      w.String(f.Modified);
      w.EndObject();
    }
    for (const auto& f : files) {
      w.BeginObject();
      w.Key("kind");
      w.String("file");
      w.Key("name");
      w.String(c.Console().Show(f.Name));
      w.Key("size");
      w.Number(static_cast<int64_t>(f.Size));
      w.Key("modified");
      w.String(f.Modified);
      w.EndObject();
    }
    w.EndArray();
    w.Finish();
  } else {
    // A name is one line: a control character (in a Safe made before they were refused) is escaped.
    auto shown = [&c](const std::string& name) {
      return TCliItemPath::EscapeControls(c.Console().Show(name));
    };
    for (const auto& f : folders) c.Console().Line(shown(f.Name) + "/");
    for (const auto& f : files)
      c.Console().Line(shown(f.Name) + "\t" + std::to_string(f.Size) + "\t" + f.Modified);
  }
  return kExitOk;
}

int RunLock(TCliContext& c) {
  // Every disk file is checked before the Safe is opened, so a typing mistake costs no password.
  std::vector<std::string> disk(c.Args().args.begin() + 1, c.Args().args.end());
  for (const auto& d : disk) {
    std::error_code ec;
    if (!fs::exists(d, ec)) throw Failure("the file " + d + " does not exist; nothing was locked");
    if (fs::is_directory(d, ec))
      throw Failure(d + " is a folder; lock the files in it one by one; nothing was locked");
    // Inside the Safe "\" separates folders: such a name would land in another folder.
    const std::string name = fs::path(d).filename().string();
    if (name.find('\\') != std::string::npos)
      throw Failure(
          d +
          " cannot be locked: its name holds \"\\\", which separates folders in the Safe; rename it first");
    // The name as typed (UTF-8) when the Safe's code page cannot hold it.
    if (!c.Console().CodePage().CanEncode(name))
      throw Failure(d + " cannot be locked: the name \"" + name +
                    "\" holds a character that the Safe's code page " + c.Console().CodePage().Name() +
                    " cannot store; rename it first; nothing was locked");
    if (const std::string problem =
            TqmSFSWrapper::ItemNameProblem(c.Console().Take(name, "the name of " + d), "The file name");
        !problem.empty())
      throw Failure(d + " cannot be locked: " + OneLine(c.Console(), problem) + " Nothing was locked.");
  }
  c.OpenSafe(c.Arg(0));
  TqmGlobal& g = c.Global();
  const auto into = LockerParts(c.Console(), c.Args().Value("--into").value_or(""));
  RequireFolder(c.Console(), g, into);
  const std::string folder = LockerFolder(into, into.size());
  int failed = 0;
  for (const auto& d : disk) {
    const std::string name = fs::path(d).filename().string();
    const std::string shown = into.empty() ? name : Shown(c.Console(), into, into.size()) + "/" + name;
    if (!g.LockFile(folder, d, true)) {
      ++failed;
      const std::string why =
          g.LastLockError().empty() ? c.ReasonOr("refused") : OneLine(c.Console(), g.LastLockError());
      c.Console().Error(d + " was not locked: " +
                        (g.LastLockError().empty() ? shown + " exists in the Safe; " + why : why));
      continue;
    }
    std::string removed;
    if (c.Args().Has("--remove-from-disk")) {
      std::error_code ec;
      if (fs::remove(d, ec))
        removed = " and removed it from the disk";
      else {
        removed = " (it could not be removed from the disk: " + ec.message() + ")";
        ++failed;
      }
    }
    c.Console().Line("Locked " + d + " as " + shown + removed);
  }
  if (failed)
    throw Failure(std::to_string(failed) + " of " + std::to_string(disk.size()) + " file(s) failed");
  return kExitOk;
}

int RunUnlock(TCliContext& c) {
  const std::string destDir = c.Arg(2);
  // With --keep the Safe is only read.
  c.OpenSafe(c.Arg(0), c.Args().Has("--keep"));
  TqmGlobal& g = c.Global();
  auto [folder, name] = RequireItem(c, c.Arg(1), TKind::File);
  std::error_code ec;
  fs::create_directories(destDir, ec);
  if (!fs::is_directory(destDir, ec))
    throw Failure("the folder " + destDir + " does not exist and cannot be made");
  const std::string target = (fs::path(destDir) / c.Console().Show(name)).string();
  bool ok;
  try {
    ok = g.UnlockFile(folder, name, target);
  } catch (const std::exception& e) {
    throw Failure(c.Arg(1) + " could not be unlocked: " + OneLine(c.Console(), e.what()) +
                  " It stays in the Safe.");
  }
  if (!ok) throw Failure(c.Arg(1) + " was not unlocked: " + target + " exists (add --yes to replace it)");
  if (!c.Args().Has("--keep")) {
    if (!g.RemoveLockerItem(folder, name))
      throw Failure(c.Arg(1) + " was written to " + target + " but could not be removed from the Safe");
    c.Console().Line("Unlocked " + c.Arg(1) + " to " + target + " and removed it from the Safe");
  } else {
    c.Console().Line("Unlocked a copy of " + c.Arg(1) + " to " + target);
  }
  return kExitOk;
}

int RunMkdir(TCliContext& c) {
  const auto parts = LockerParts(c.Console(), c.Arg(1));
  if (parts.empty()) throw UsageError("give the folder to create");
  for (const auto& part : parts) RequireNewName(c.Console(), part, "The folder name");
  c.OpenSafe(c.Arg(0));
  TqmGlobal& g = c.Global();
  bool made = false;
  TqmSFSWrapper::TChange change(g.Wrapper());  // all the folders of the path, or none
  for (size_t i = 0; i < parts.size(); ++i) {
    const std::string parent = LockerFolder(parts, i);
    const TKind k = FindItem(g, parent, parts[i]);
    if (k == TKind::File) throw Failure(Shown(c.Console(), parts, i + 1) + " is a file, not a folder");
    if (k == TKind::Folder) continue;
    if (!g.CreateFolder(parent, parts[i]))
      throw Failure("the folder " + Shown(c.Console(), parts, i + 1) +
                    " could not be created: " + c.ReasonOr("refused"));
    made = true;
  }
  if (!made) throw Failure("the folder " + Shown(c.Console(), parts, parts.size()) + " exists already");
  change.Commit();
  c.Console().Line("Created " + Shown(c.Console(), parts, parts.size()) + "/");
  return kExitOk;
}

int RunRename(TCliContext& c) {
  const std::string newName = c.Arg(2);
  if (newName.empty() || newName.find('/') != std::string::npos || newName.find('\\') != std::string::npos ||
      newName == "." || newName == "..")
    throw UsageError("the new name must be a plain name, without \"/\" or \"\\\"");
  const std::string newSafeName = c.Console().Take(newName, "the new name");
  RequireNewName(c.Console(), newSafeName, "The new name");
  c.OpenSafe(c.Arg(0));
  TqmGlobal& g = c.Global();
  auto [folder, name] = RequireItem(c, c.Arg(1), TKind::None);
  if (FindItem(g, folder, newSafeName) != TKind::None)
    throw Failure(c.Arg(1) + " was not renamed: the name " + newName + " exists already");
  if (!g.RenameLockerItem(folder, name, newSafeName))
    throw Failure(c.Arg(1) + " was not renamed: " + c.ReasonOr("Name already exists!"));
  c.Console().Line("Renamed " + c.Arg(1) + " to " + newName);
  return kExitOk;
}

int RunRmfile(TCliContext& c) {
  c.OpenSafe(c.Arg(0));
  TqmGlobal& g = c.Global();
  auto [folder, name] = RequireItem(c, c.Arg(1), TKind::None);
  if (g.Settings().App.confDel.Value()) c.Confirm("Delete " + c.Arg(1) + "?", c.Arg(1) + " was not deleted");
  if (!g.RemoveLockerItem(folder, name))
    throw Failure(c.Arg(1) + " was not deleted: " + c.ReasonOr("refused"));
  c.Console().Line("Deleted " + c.Arg(1));
  return kExitOk;
}

}  // namespace quillmar
