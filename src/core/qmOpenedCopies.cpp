#include "core/qmOpenedCopies.h"

#include <algorithm>
#include <filesystem>

#include "base/CodePage.h"
#include "base/Exception.h"
#include "container/ContainerPath.h"
#include "core/qmDiskPath.h"

namespace quillmar {

namespace fs = std::filesystem;

TqmOpenedCopies::TqmOpenedCopies(const std::string& homeFolder)
    : tempRoot_(homeFolder + "TEMP/"), attachmentsTemp_(homeFolder + "TEMP_AT/") {}

std::string TqmOpenedCopies::FolderOf(const std::string& safeFile) const {
  return tempRoot_ + fs::path(safeFile).filename().string() + "/";
}

std::string TqmOpenedCopies::RelativeCopyPath(const std::string& folder, const std::string& name) {
  std::string containerPath = folder;
  if (!containerPath.empty() && containerPath.back() != '\\') containerPath += '\\';
  containerPath += name;
  std::string out;
  std::string part;
  size_t start = (!containerPath.empty() && containerPath[0] == '\\') ? 1 : 0;
  for (size_t i = start; i <= containerPath.size(); ++i) {
    if (i == containerPath.size() || containerPath[i] == '\\') {
      if (i == containerPath.size() && part.empty()) break;  // trailing "\"
      if (part.empty() || part == "." || part == ".." || part.find('/') != std::string::npos ||
          part.find('\0') != std::string::npos)
        throw EQuillmarError(
            "The name \"" + part + "\" in " + containerPath +
            " cannot be used for a file on this system. Rename it in the File Locker first.");
      // Names in the Safe are in its code page; file names on this system are UTF-8.
      out += TCodePage().ToUtf8(part);
      if (i < containerPath.size()) out += '/';
      part.clear();
    } else {
      part += containerPath[i];
    }
  }
  return out;
}

bool TqmOpenedCopies::IsBelowTemp(const std::string& diskFile) const {
  return diskFile.size() > tempRoot_.size() && diskFile.compare(0, tempRoot_.size(), tempRoot_) == 0;
}

void TqmOpenedCopies::Record(const std::string& diskFile, const std::string& safeFile,
                             const std::string& containerPath) {
  copies_[diskFile] = TCopy{safeFile, containerPath, false};
}

bool TqmOpenedCopies::WriteBack(const std::string& folder, const std::string& openSafe,
                                const TLockBack& lockBack, TqmAppPrompter* prompter) {
  bool result = true;
  std::vector<fs::path> files, folders;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code e;
    if (it->is_directory(e))
      folders.push_back(it->path());
    else
      files.push_back(it->path());
  }
  std::sort(files.begin(), files.end());
  std::sort(folders.begin(), folders.end());
  for (const fs::path& file : files) {
    const std::string disk = file.lexically_normal().string();
    auto it = copies_.find(disk);
    if (it == copies_.end() || it->second.safeFile != openSafe) continue;
    if (!WriteBackOne(disk, it->second, lockBack, prompter)) {
      result = false;
      continue;
    }
    std::error_code e;
    if (!fs::exists(disk, e)) copies_.erase(it);
  }
  for (const fs::path& sub : folders) {
    if (!WriteBack(WithTrailingSlash(sub.lexically_normal().string()), openSafe, lockBack, prompter))
      result = false;
    // A folder emptied by the write-back goes as well (remove only takes empty folders).
    std::error_code e;
    fs::remove(sub, e);
  }
  return result;
}

// Locks one copy back into its container path. True when the copy is done with (written back or given
// up by the user, and deleted); false when the user chose Cancel (the copy stays).
bool TqmOpenedCopies::WriteBackOne(const std::string& diskFile, TCopy& copy, const TLockBack& lockBack,
                                   TqmAppPrompter* prompter) {
  std::error_code ec;
  if (!copy.givenUp) {
    for (;;) {
      if (lockBack(copy.containerPath, diskFile)) break;
      TqmAppPrompter::TRetryAnswer answer =
          prompter ? prompter->AskCancelRetryIgnore(TqmAppPrompter::kProductTitle, kMsgFileOpenedByAnother)
                   : TqmAppPrompter::TRetryAnswer::Cancel;
      if (answer == TqmAppPrompter::TRetryAnswer::Cancel) return false;
      if (answer == TqmAppPrompter::TRetryAnswer::Ignore) {
        copy.givenUp = true;
        break;
      }
      std::string message = kMsgCloseFile;
      message.replace(message.find("%s"), 2, diskFile);
      prompter->ShowMessage(TqmPrompter::TMessageKind::Information, TqmAppPrompter::kProductTitle, message);
    }
  }
  // Written back or given up: the copy goes. Should it not go, it stays recorded as given up, so that
  // the clean-up removes it.
  copy.givenUp = true;
  fs::remove(diskFile, ec);
  return true;
}

bool TqmOpenedCopies::IsInItem(const std::string& containerPath, const std::string& itemPath) {
  std::string item = itemPath;
  while (!item.empty() && (item.back() == '\\' || item.back() == '/')) item.pop_back();
  if (item.empty()) return false;
  if (containerPath.size() == item.size()) return SamePathIgnoringCase(containerPath, item);
  return containerPath.size() > item.size() && containerPath[item.size()] == '\\' &&
         SamePathIgnoringCase(std::string_view(containerPath).substr(0, item.size()), item);
}

bool TqmOpenedCopies::WriteBackItem(const std::string& itemPath, const std::string& openSafe,
                                    const TLockBack& lockBack, TqmAppPrompter* prompter) {
  bool result = true;
  for (auto it = copies_.begin(); it != copies_.end();) {
    TCopy& copy = it->second;
    if (openSafe.empty() || copy.safeFile != openSafe || copy.givenUp ||
        !IsInItem(copy.containerPath, itemPath)) {
      ++it;
      continue;
    }
    std::error_code ec;
    if (!fs::exists(it->first, ec)) {
      // The user deleted the copy: nothing waits.
      it = copies_.erase(it);
      continue;
    }
    if (!WriteBackOne(it->first, copy, lockBack, prompter)) {
      result = false;
      ++it;
      continue;
    }
    if (!fs::exists(it->first, ec))
      it = copies_.erase(it);
    else
      ++it;
  }
  return result;
}

size_t TqmOpenedCopies::DropItem(const std::string& itemPath, const std::string& openSafe) {
  size_t dropped = 0;
  for (auto it = copies_.begin(); it != copies_.end();) {
    if (openSafe.empty() || it->second.safeFile != openSafe ||
        !IsInItem(it->second.containerPath, itemPath)) {
      ++it;
      continue;
    }
    std::error_code ec;
    fs::remove(it->first, ec);
    if (fs::exists(it->first, ec)) {
      // Held by something that keeps it: the clean-up takes it later, it is never written back.
      it->second.givenUp = true;
      ++it;
    } else {
      it = copies_.erase(it);
    }
    ++dropped;
  }
  return dropped;
}

std::vector<std::string> TqmOpenedCopies::PendingContainerPaths(const std::string& openSafe) const {
  std::vector<std::string> paths;
  for (const auto& [disk, copy] : copies_)
    if (!openSafe.empty() && copy.safeFile == openSafe && !copy.givenUp) paths.push_back(copy.containerPath);
  return paths;
}

std::vector<std::string> TqmOpenedCopies::Pending(const std::string& openSafe) const {
  std::vector<std::string> files;
  for (const auto& [disk, copy] : copies_)
    if (!openSafe.empty() && copy.safeFile == openSafe && !copy.givenUp) files.push_back(disk);
  return files;
}

std::vector<std::string> TqmOpenedCopies::PendingOnDisk(const std::string& safeFile) const {
  std::vector<std::string> files;
  for (const auto& [disk, copy] : copies_) {
    std::error_code ec;
    if (copy.safeFile == safeFile && !copy.givenUp && fs::exists(disk, ec)) files.push_back(disk);
  }
  return files;
}

std::vector<std::string> TqmOpenedCopies::Unaccounted(const std::string& openSafe) const {
  std::vector<std::string> files;
  std::error_code ec;
  for (fs::recursive_directory_iterator it(tempRoot_, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code e;
    if (it->is_directory(e)) continue;
    const std::string disk = it->path().lexically_normal().string();
    auto found = copies_.find(disk);
    if (found == copies_.end() || openSafe.empty() || found->second.safeFile != openSafe)
      files.push_back(disk);
  }
  std::sort(files.begin(), files.end());
  return files;
}

void TqmOpenedCopies::EmptyFolder(const std::string& folder, bool keepPending) {
  std::error_code ec;
  std::vector<fs::path> items;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
    items.push_back(it->path());
  for (const fs::path& item : items) {
    std::error_code e;
    const std::string path = item.lexically_normal().string();
    if (fs::is_directory(fs::symlink_status(item, e))) {
      EmptyFolder(path, keepPending);
      fs::remove(item, e);  // only when it is empty now
      continue;
    }
    if (keepPending) {
      // A copy that was not written back, or one this run knows nothing of, is the user's data.
      auto found = copies_.find(path);
      if (found == copies_.end() || !found->second.givenUp) continue;
      if (fs::remove(item, e)) copies_.erase(found);
      continue;
    }
    fs::remove(item, e);
  }
}

void TqmOpenedCopies::EmptyTempFolders() {
  EmptyFolder(attachmentsTemp_, false);
  EmptyFolder(tempRoot_, true);
}

}  // namespace quillmar
