#include "safe/qmSafeChanges.h"

#include <strings.h>

#include <cstring>

#include "safe/qmSFSWrapper.h"

namespace quillmar {

namespace {

// The rest of path after prefix (compared without regard to letter case, as the container names
// items), or false when it does not start with it.
bool After(const std::string& path, const char* prefix, std::string& rest) {
  const size_t n = std::strlen(prefix);
  if (path.size() < n || ::strncasecmp(path.c_str(), prefix, n) != 0) return false;
  rest = path.substr(n);
  return true;
}

bool EndsWithNoCase(const std::string& text, const char* tail) {
  const size_t n = std::strlen(tail);
  return text.size() >= n && ::strcasecmp(text.c_str() + text.size() - n, tail) == 0;
}

// "a\b\c" -> "a\b\" (the folder part with its separator), "c" -> "".
std::string FolderOf(const std::string& relative) {
  const size_t cut = relative.find_last_of('\\');
  return cut == std::string::npos ? std::string() : relative.substr(0, cut + 1);
}

}  // namespace

void TqmSafeChanges::Merge(const TqmSafeChanges& other) {
  Count += other.Count;
  Unknown = Unknown || other.Unknown;
  Categories = Categories || other.Categories;
  EntryFolders.insert(other.EntryFolders.begin(), other.EntryFolders.end());
  for (const auto& [folder, files] : other.EntryFiles) EntryFiles[folder].insert(files.begin(), files.end());
  CategoryFolders.insert(other.CategoryFolders.begin(), other.CategoryFolders.end());
  LockerFolders.insert(other.LockerFolders.begin(), other.LockerFolders.end());
  Reminders = Reminders || other.Reminders;
  Settings = Settings || other.Settings;
  Icons = Icons || other.Icons;
  AttachedFiles = AttachedFiles || other.AttachedFiles;
}

TqmSafeChanges TqmSafeChanges::FromPaths(uint64_t count, const std::vector<std::string>& paths) {
  TqmSafeChanges c;
  c.Count = count;
  c.Unknown = count > 0 && paths.empty();
  // The layout's folders without their trailing separator name the folders themselves.
  const std::string repository(TqmSFSWrapper::kRepositoryRoot);
  const std::string locker(TqmSFSWrapper::kFileLockerRoot);
  for (const std::string& path : paths) {
    std::string rest;
    if (After(path, TqmSFSWrapper::kRepositoryRoot, rest)) {
      if (EndsWithNoCase(rest, ".entry")) {
        c.EntryFolders.insert(FolderOf(rest));
        c.EntryFiles[FolderOf(rest)].insert(rest.substr(FolderOf(rest).size()));
      } else {
        // A category's folder or its template (or something else kept among them).
        c.Categories = true;
        const std::string folder = FolderOf(rest);
        if (::strcasecmp(rest.c_str() + folder.size(), TqmSFSWrapper::kCategoryTemplateFile) == 0)
          c.CategoryFolders.insert(folder);
        else
          c.CategoryFolders.insert(rest + "\\");
      }
    } else if (After(path, TqmSFSWrapper::kFileLockerRoot, rest)) {
      c.LockerFolders.insert(locker + FolderOf(rest));
    } else if (After(path, TqmSFSWrapper::kRemindersFolder, rest)) {
      c.Reminders = true;
    } else if (::strcasecmp(path.c_str(), TqmSFSWrapper::kSettingsFile) == 0) {
      c.Settings = true;
    } else if (After(path, TqmSFSWrapper::kCategoryIconsFolder, rest) ||
               After(path, TqmSFSWrapper::kEntryIconsFolder, rest)) {
      c.Icons = true;
    } else if (After(path, TqmSFSWrapper::kAttachedFilesFolder, rest)) {
      c.AttachedFiles = true;
    } else if (::strcasecmp((path + "\\").c_str(), repository.c_str()) == 0) {
      c.Categories = true;
    } else if (::strcasecmp((path + "\\").c_str(), locker.c_str()) == 0) {
      c.LockerFolders.insert(locker);
    }
  }
  return c;
}

}  // namespace quillmar
