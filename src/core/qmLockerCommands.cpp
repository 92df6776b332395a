#include "core/qmLockerCommands.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>
#include <unordered_map>

#include "base/CodePage.h"
#include "container/ContainerPath.h"
#include "core/qmGlobal.h"
#include "core/qmLockerItems.h"

namespace quillmar {

namespace fs = std::filesystem;

namespace {

// The Safe text of a disk name (UTF-8); false when the code page cannot hold it.
bool SafeNameOf(const std::string& diskName, std::string& safeName) {
  try {
    safeName = TCodePage().FromUtf8(diskName);
    return true;
  } catch (const ECodePageError&) {
    return false;
  }
}

// The disk name (UTF-8) of a name in the Safe; "" when it cannot be a disk name here (it would leave
// the folder it is written to).
std::string DiskNameOf(const std::string& safeName) {
  if (safeName.empty() || safeName == "." || safeName == ".." ||
      safeName.find_first_of(std::string("/\0", 2)) != std::string::npos)
    return {};
  return TCodePage().ToUtf8(safeName);
}

class TPlanner {
public:
  explicit TPlanner(TqmLockPlan& plan) : plan_(plan) {}

  void Add(const std::string& diskPath, const std::string& folder) {
    std::error_code ec;
    const fs::path path = fs::path(diskPath).lexically_normal();
    const fs::file_status st = fs::symlink_status(path, ec);
    if (ec || !fs::exists(st)) {
      Skip(diskPath, "it does not exist.");
    } else if (fs::is_symlink(st)) {
      Skip(diskPath, "it is a symbolic link; links are not followed.");
    } else if (fs::is_regular_file(st)) {
      AddFile(path, folder);
    } else if (fs::is_directory(st)) {
      plan_.HasFolder = true;
      fs::path named = path.has_filename() ? path : path.parent_path();
      AddFolder(named, folder);
    } else {
      Skip(diskPath, "it is not a regular file.");
    }
  }

private:
  void Skip(const std::string& diskPath, const std::string& why) { plan_.Skipped.push_back({diskPath, why}); }

  // The Safe name of a disk item, or "" with the item skipped.
  std::string NameFor(const fs::path& path, const std::string& folder, const char* what) {
    std::string name;
    if (!SafeNameOf(path.filename().string(), name)) {
      Skip(path.string(), "its name holds characters the Safe cannot store; rename it and try again.");
      return {};
    }
    if (const std::string problem = TqmSFSWrapper::ItemNameProblem(name, what); !problem.empty()) {
      Skip(path.string(), problem);
      return {};
    }
    // The Safe does not tell letter case apart: a second name of the same letters would replace the
    // first.
    const auto [it, fresh] = seen_.emplace(FoldName(LockerItemPath(folder, name)), path.string());
    if (!fresh) {
      Skip(path.string(), "its name differs only by letter case from \"" + it->second +
                              "\", which this run locks already; the Safe does not tell them apart.");
      return {};
    }
    return name;
  }

  void AddFile(const fs::path& path, const std::string& folder) {
    const std::string name = NameFor(path, folder, "The file name");
    if (name.empty()) return;
    std::error_code ec;
    const auto size = fs::file_size(path, ec);
    TqmLockJob job{path.string(), folder, name, ec ? 0 : static_cast<int64_t>(size)};
    plan_.TotalBytes += job.Size;
    plan_.Jobs.push_back(std::move(job));
  }

  void AddFolder(const fs::path& path, const std::string& folder) {
    const std::string name = NameFor(path, folder, "The folder name");
    if (name.empty()) return;
    const std::string sub = LockerSubfolder(folder, name);
    plan_.Folders.push_back(sub);
    sources_.push_back(path.string());
    std::error_code ec;
    std::vector<fs::directory_entry> entries;
    for (fs::directory_iterator it(path, ec), end; !ec && it != end; it.increment(ec)) entries.push_back(*it);
    if (ec) {
      Skip(path.string(), "the folder could not be read in full (" + ec.message() + ").");
      if (entries.empty()) return;
    }
    // Sorted, so that a run over the same tree always locks (and skips) the same files.
    std::sort(entries.begin(), entries.end(),
              [](const fs::directory_entry& a, const fs::directory_entry& b) { return a.path() < b.path(); });
    for (const fs::directory_entry& entry : entries) {
      const fs::file_status st = entry.symlink_status(ec);
      if (ec)
        Skip(entry.path().string(), "it could not be read (" + ec.message() + ").");
      else if (fs::is_symlink(st))
        Skip(entry.path().string(), "it is a symbolic link; links are not followed.");
      else if (fs::is_directory(st))
        AddFolder(entry.path(), sub);
      else if (fs::is_regular_file(st))
        AddFile(entry.path(), sub);
      else
        Skip(entry.path().string(), "it is not a regular file.");
    }
  }

public:
  void Finish() {
    // Deepest first: a folder is empty only once the folders in it are gone.
    plan_.SourceFolders.assign(sources_.rbegin(), sources_.rend());
  }

private:
  TqmLockPlan& plan_;
  std::unordered_map<std::string, std::string> seen_;
  std::vector<std::string> sources_;
};

}  // namespace

TqmLockPlan TqmLockerCommands::PlanLock(const std::string& folder,
                                        const std::vector<std::string>& diskPaths) {
  TqmLockPlan plan;
  TPlanner planner(plan);
  for (const std::string& path : diskPaths) planner.Add(path, folder);
  planner.Finish();
  return plan;
}

namespace {

// The names of a folder of the Safe (letter case folded), read once per folder in a run.
class TNames {
public:
  explicit TNames(TqmGlobal& g) : g_(g) {}

  // Whether folder holds a file of that name; isFolder tells whether the name is a folder's.
  bool Has(const std::string& folder, const std::string& name, bool* isFolder = nullptr) {
    auto& names = Of(folder);
    const auto it = names.find(FoldName(name));
    if (it == names.end()) return false;
    if (isFolder) *isFolder = it->second;
    return true;
  }
  void Add(const std::string& folder, const std::string& name, bool isFolder) {
    Of(folder)[FoldName(name)] = isFolder;
  }

private:
  std::map<std::string, bool>& Of(const std::string& folder) {
    const std::string key = FoldName(folder);
    auto it = cache_.find(key);
    if (it != cache_.end()) return it->second;
    std::map<std::string, bool> names;
    const TqmLockerListing listing = g_.ListLockerFolder(folder);
    for (const TqmFileInfo& f : listing.Folders) names[FoldName(f.Name)] = true;
    for (const TqmFileInfo& f : listing.Files) names[FoldName(f.Name)] = false;
    return cache_.emplace(key, std::move(names)).first->second;
  }

  TqmGlobal& g_;
  std::unordered_map<std::string, std::map<std::string, bool>> cache_;
};

// The parent folder and the name of a container folder path ending in "\".
std::pair<std::string, std::string> SplitFolder(const std::string& folder) {
  std::string path = folder;
  if (!path.empty() && path.back() == '\\') path.pop_back();
  const size_t cut = path.find_last_of('\\');
  if (cut == std::string::npos) return {std::string(), path};
  return {path.substr(0, cut + 1), path.substr(cut + 1)};
}

// Reports the bytes of one file into the status of the run; remembers a cancel.
struct TRelay {
  const TqmLockerProgress& progress;
  TqmLockerStatus& status;
  bool cancelled = false;

  bool Report() {
    if (!progress || cancelled) return !cancelled;
    bool cancel = false;
    progress(status, cancel);
    if (cancel) cancelled = true;
    return !cancelled;
  }
  TqmByteProgress Bytes() {
    const int64_t before = status.Done;
    return [this, before](int64_t done, int64_t total, bool& cancel) {
      status.FileDone = done;
      status.FileTotal = total;
      status.Done = before + done;
      if (!Report()) cancel = true;
    };
  }
};

}  // namespace

bool TqmLockerCommands::RemoveFromDisk(const std::string& path, std::string& why) const {
  if (remover_) return remover_(path, why);
  std::error_code ec;
  if (fs::remove(path, ec) && !ec) return true;
  why = ec ? ec.message() : std::string("it was gone");
  return false;
}

TqmLockOutcome TqmLockerCommands::Lock(const TqmLockPlan& plan, bool removeFromDisk,
                                       const TqmOverwriteQuestion& ask, const TqmLockerProgress& progress) {
  TqmLockOutcome out;
  out.Skipped = plan.Skipped;
  TNames names(g_);
  std::set<std::string> failedFolders;
  for (const std::string& folder : plan.Folders) {
    const auto [parent, name] = SplitFolder(folder);
    bool isFolder = false;
    if (names.Has(parent, name, &isFolder)) {
      if (!isFolder) {
        out.Failed.push_back({folder, "a file of that name is in the Safe, so the folder cannot be made."});
        failedFolders.insert(FoldName(folder));
      }
      continue;
    }
    try {
      if (g_.CreateFolder(parent, name)) {
        names.Add(parent, name, true);
        continue;
      }
    } catch (const std::exception& e) {
      out.Failed.push_back({folder, e.what()});
      failedFolders.insert(FoldName(folder));
      continue;
    }
    out.Failed.push_back({folder, "the folder could not be made in the Safe."});
    failedFolders.insert(FoldName(folder));
  }

  TqmLockerStatus status;
  status.FileCount = static_cast<int>(plan.Jobs.size());
  status.Total = plan.TotalBytes;
  TRelay relay{progress, status};
  bool yesToAll = false;
  bool noToAll = false;
  for (size_t i = 0; i < plan.Jobs.size(); ++i) {
    const TqmLockJob& job = plan.Jobs[i];
    status.FileNumber = static_cast<int>(i) + 1;
    status.Name = job.Name;
    status.FileDone = 0;
    status.FileTotal = job.Size;
    if (!relay.Report()) break;
    const int64_t doneBefore = status.Done;
    // A file below a folder that could not be made fails with its folder.
    bool inFailed = false;
    for (std::string f = job.Folder; !f.empty() && f != TqmSFSWrapper::FileLockerRoot();
         f = LockerParentFolder(f)) {
      if (failedFolders.count(FoldName(f))) inFailed = true;
      if (IsLockerRoot(f)) break;
    }
    if (inFailed) {
      out.Failed.push_back({job.DiskFile, "its folder could not be made in the Safe."});
      status.Done = doneBefore + job.Size;
      continue;
    }
    const std::string target = LockerItemPath(job.Folder, job.Name);
    bool isFolder = false;
    if (names.Has(job.Folder, job.Name, &isFolder)) {
      if (isFolder) {
        out.Failed.push_back({job.DiskFile, "a folder of that name is in the Safe."});
        status.Done = doneBefore + job.Size;
        continue;
      }
      TqmOverwriteAnswer answer = TqmOverwriteAnswer::Yes;
      if (noToAll) {
        answer = TqmOverwriteAnswer::No;
      } else if (!yesToAll) {
        if (ask) {
          answer = ask(target);
        } else {
          TqmAppPrompter* prompter = g_.Prompter();
          const bool yes =
              prompter && prompter->AskYesNo(TqmAppPrompter::kProductTitle, TqmSFSWrapper::kMsgFileExists);
          answer = yes ? TqmOverwriteAnswer::Yes : TqmOverwriteAnswer::No;
        }
      }
      if (answer == TqmOverwriteAnswer::Cancel) {
        relay.cancelled = true;
        break;
      }
      if (answer == TqmOverwriteAnswer::YesToAll) yesToAll = true;
      if (answer == TqmOverwriteAnswer::NoToAll) noToAll = true;
      if (answer == TqmOverwriteAnswer::No || answer == TqmOverwriteAnswer::NoToAll) {
        out.Declined.push_back({job.DiskFile, "a file of that name is in the Safe and was not overwritten."});
        status.Done = doneBefore + job.Size;
        continue;
      }
      // A copy of the old version waiting to be written back would later override the new one.
      if (!g_.ReturnOpenedCopies(job.Folder, job.Name)) {
        relay.cancelled = true;
        break;
      }
    }
    if (!g_.LockFile(target, job.DiskFile, false, relay.Bytes())) {
      if (relay.cancelled) break;
      std::string why = g_.LastLockError();
      if (why.empty()) why = "it was not locked.";
      out.Failed.push_back({job.DiskFile, why});
      status.Done = doneBefore + job.Size;
      continue;
    }
    names.Add(job.Folder, job.Name, false);
    status.Done = doneBefore + job.Size;
    out.Locked.push_back(job.DiskFile);
    if (removeFromDisk) {
      std::string why;
      if (!RemoveFromDisk(job.DiskFile, why))
        out.NotRemoved.push_back(
            {job.DiskFile, "it is in the Safe, but could not be deleted from the disk (" + why + ")."});
    }
  }
  out.Cancelled = relay.cancelled;

  if (removeFromDisk) {
    for (const std::string& source : plan.SourceFolders) {
      std::error_code ec;
      if (!fs::is_directory(fs::symlink_status(source, ec)) || !fs::is_empty(source, ec) || ec) continue;
      std::string why;
      if (!RemoveFromDisk(source, why))
        out.NotRemoved.push_back({source, "the emptied folder could not be deleted (" + why + ")."});
    }
  }
  return out;
}

namespace {

struct TTreeFile {
  std::string Folder;  // container folder
  std::string Name;
  fs::path Disk;
  int64_t Size = 0;
};

// The files and folders below the container folder, with their disk paths below diskFolder. False
// when a name cannot be written on the disk here (bad names it out).
bool CollectTree(TqmGlobal& g, const std::string& folder, const fs::path& diskFolder,
                 std::vector<TTreeFile>& files, std::vector<fs::path>& folders, std::string& bad,
                 int depth = 0) {
  folders.push_back(diskFolder);
  if (depth > 256) {
    bad = folder;
    return false;
  }
  const TqmLockerListing listing = g.ListLockerFolder(folder);
  for (const TqmFileInfo& f : listing.Files) {
    const std::string disk = DiskNameOf(f.Name);
    if (disk.empty()) {
      bad = LockerItemPath(folder, f.Name);
      return false;
    }
    files.push_back({folder, f.Name, diskFolder / disk, static_cast<int64_t>(f.Size)});
  }
  for (const TqmFileInfo& f : listing.Folders) {
    const std::string disk = DiskNameOf(f.Name);
    if (disk.empty()) {
      bad = LockerItemPath(folder, f.Name);
      return false;
    }
    if (!CollectTree(g, LockerSubfolder(folder, f.Name), diskFolder / disk, files, folders, bad, depth + 1))
      return false;
  }
  return true;
}

}  // namespace

TqmUnlockOutcome TqmLockerCommands::Unlock(const std::string& folder, const std::vector<std::string>& names,
                                           const std::string& diskFolder, const TqmLockerProgress& progress) {
  TqmUnlockOutcome out;
  const TqmLockerListing listing = g_.ListLockerFolder(folder);
  auto find = [&](const std::vector<TqmFileInfo>& items, const std::string& name) {
    return std::find_if(items.begin(), items.end(),
                        [&](const TqmFileInfo& f) { return SamePathIgnoringCase(f.Name, name); });
  };

  // What goes where, first: the bytes of the whole run are known before it starts.
  struct TItem {
    std::string Name;
    bool IsFolder = false;
    std::vector<TTreeFile> Files;
    std::vector<fs::path> Folders;
  };
  std::vector<TItem> items;
  TqmLockerStatus status;
  for (const std::string& name : names) {
    const std::string diskName = DiskNameOf(name);
    const std::string itemPath = LockerItemPath(folder, name);
    if (diskName.empty()) {
      out.Kept.push_back({itemPath, "its name cannot be a file name on this disk."});
      continue;
    }
    TItem item;
    item.Name = name;
    if (auto it = find(listing.Files, name); it != listing.Files.end()) {
      item.Files.push_back(
          {folder, it->Name, fs::path(diskFolder) / diskName, static_cast<int64_t>(it->Size)});
    } else if (find(listing.Folders, name) != listing.Folders.end()) {
      item.IsFolder = true;
      std::string bad;
      if (!CollectTree(g_, LockerSubfolder(folder, name), fs::path(diskFolder) / diskName, item.Files,
                       item.Folders, bad)) {
        out.Kept.push_back({itemPath, "the name of \"" + bad + "\" cannot be a file name on this disk."});
        continue;
      }
    } else {
      out.Kept.push_back({itemPath, "it is no longer in the Safe."});
      continue;
    }
    for (const TTreeFile& f : item.Files) status.Total += f.Size;
    status.FileCount += static_cast<int>(item.Files.size());
    items.push_back(std::move(item));
  }

  TRelay relay{progress, status};
  for (const TItem& item : items) {
    const std::string itemPath = LockerItemPath(folder, item.Name);
    // The newest version of the item is the one a waiting copy holds.
    if (!g_.ReturnOpenedCopies(folder, item.Name)) {
      relay.cancelled = true;
      break;
    }
    bool whole = true;
    std::error_code ec;
    fs::create_directories(diskFolder, ec);
    for (const fs::path& f : item.Folders) {
      fs::create_directories(f, ec);
      if (ec || !fs::is_directory(f, ec)) {
        out.Kept.push_back({itemPath, "the folder " + f.string() + " could not be made on the disk."});
        whole = false;
        break;
      }
    }
    for (size_t i = 0; whole && i < item.Files.size(); ++i) {
      const TTreeFile& f = item.Files[i];
      ++status.FileNumber;
      status.Name = f.Name;
      status.FileDone = 0;
      status.FileTotal = f.Size;
      const int64_t doneBefore = status.Done;
      if (!relay.Report()) break;
      try {
        if (g_.UnlockFile(f.Folder, f.Name, f.Disk.string(), relay.Bytes())) {
          out.Written.push_back(f.Disk.string());
        } else if (!relay.cancelled) {
          whole = false;
          out.Declined.push_back({LockerItemPath(f.Folder, f.Name),
                                  "the file " + f.Disk.string() + " exists and was not overwritten."});
        }
      } catch (const std::exception& e) {
        whole = false;
        out.Kept.push_back({LockerItemPath(f.Folder, f.Name), e.what()});
      }
      status.Done = doneBefore + f.Size;
    }
    if (relay.cancelled) break;
    if (!whole) {
      if (item.IsFolder)
        out.Kept.push_back(
            {itemPath, "not every file of the folder was written, so the folder stays in the Safe."});
      continue;
    }
    if (g_.RemoveLockerItem(folder, item.Name, false))
      out.Removed.push_back(item.Name);
    else
      out.Kept.push_back({itemPath, "it was written to the disk, but could not be removed from the Safe."});
  }
  out.Cancelled = relay.cancelled;
  return out;
}

std::string TqmLockerCommands::TakeOutCopy(const std::string& folder, const std::string& name,
                                           const TqmLockerProgress& progress) {
  const std::string copy = g_.TempCopyPath(folder, name);
  TqmLockerStatus status;
  status.FileNumber = status.FileCount = 1;
  status.Name = name;
  TRelay relay{progress, status};
  if (!g_.UnlockFile(folder, name, copy, relay.Bytes())) return {};
  return copy;
}

bool TqmLockerCommands::Delete(const std::string& folder, const std::string& name) {
  if (!g_.RemoveLockerItem(folder, name)) return false;
  g_.DropOpenedCopies(folder, name);
  return true;
}

TqmLockerCommands::TRename TqmLockerCommands::Rename(const std::string& folder, const std::string& oldName,
                                                     const std::string& newName, std::string* problem) {
  if (newName == oldName) return TRename::Unchanged;
  if (std::string why = TqmSFSWrapper::ItemNameProblem(newName, "The new name"); !why.empty()) {
    if (problem) *problem = why;
    return TRename::Invalid;
  }
  // Another item of that name (a change of letter case only is a rename of the item itself).
  if (!SamePathIgnoringCase(oldName, newName)) {
    TNames names(g_);
    if (names.Has(folder, newName)) return TRename::Taken;
  }
  if (!g_.ReturnOpenedCopies(folder, oldName)) return TRename::Cancelled;
  return g_.RenameLockerItem(folder, oldName, newName) ? TRename::Done : TRename::Taken;
}

}  // namespace quillmar
