#pragma once
// TqmSafeChanges: what other programs changed in an open Safe, told by what the program shows.
//
// The container says which of its items were added, removed or changed (TSFSExternalChanges); this
// sorts them by the Safe's layout (safe/qmSFSWrapper.h): the entries of which categories, the category
// tree, the File Locker folders, reminders, settings, icons, attached files. With Unknown set, the
// change could not be told item by item and anything may have changed.
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace quillmar {

struct TqmSafeChanges {
  uint64_t Count = 0;    // changes of other programs taken in (0: nothing changed)
  bool Unknown = false;  // something changed, not known what: anything may have
  bool Categories = false;
  // Category paths (TqmCategory::FolderPath form, "category12\category34\"; "" for the root of the
  // repository) whose entries were added, removed or changed.
  std::set<std::string> EntryFolders;
  // The same item by item: the entry files ("12.entry") added, removed or changed, by category path.
  std::map<std::string, std::set<std::string>> EntryFiles;
  // Category paths ("category12\", "category12\category34\") whose folder or category record was
  // added, removed or changed. Anything else in the repository (a file that is neither an entry nor a
  // category record) is named as if it were a category folder: a reader that finds no such folder
  // has nothing to do for it.
  std::set<std::string> CategoryFolders;
  // File Locker folders (container paths ending in "\", "\File Locker\" itself included) whose
  // files or folders were added, removed or changed.
  std::set<std::string> LockerFolders;
  bool Reminders = false;
  bool Settings = false;
  bool Icons = false;
  bool AttachedFiles = false;

  bool Any() const { return Count > 0; }
  // The changes of both.
  void Merge(const TqmSafeChanges& other);
  // Sorts the container paths ("\Password Repository\category1\12.entry") of changed items.
  static TqmSafeChanges FromPaths(uint64_t count, const std::vector<std::string>& paths);
};

}  // namespace quillmar
