#pragma once
// The File Locker's list as the window shows it, without the window: the items of one folder (the
// up item, the folders, the files) with the texts of their columns, their order under each sort key,
// and the moves between folders. The desktop's model holds these items; nothing here reads the Safe
// (the listing comes in).
//
// Folders are container paths that begin with "\File Locker\" and end with "\".
//
// Columns: "File Name" (the caption), "Path", "Size", "Last Updated".
//  - the up item (".."; only below the root): all other columns empty;
//  - a folder: its time only;
//  - a file: Path is the folder from its 13th character on ("\" at the root, "\Docs\" in
//    "\File Locker\Docs\"), Size its size in bytes as a decimal number, and its time.
// A file is the item whose Path is not empty.
//
// Sort keys (SortType2): 1 name, 2 Path, 4 Size, 8 Last Updated; negative ascending, positive
// descending. Comparisons ignore letter case as the Safe does. The up item comes first in every
// order. Name ascending orders by Path, then caption (so folders come before files); name
// descending by caption, then Path, reversed. Path and Last Updated order by their text (the time
// text "yyyy-mm-dd hh:nn:ss" orders as the time does); Size orders by the number of bytes, folders
// below every file. Items that compare equal keep their order by caption, then the listing order.
#include <cstdint>
#include <string>
#include <vector>

#include "safe/qmSFSWrapper.h"

namespace quillmar {

struct TqmLockerItem {
  enum class TKind { Up, Folder, File };
  TKind Kind = TKind::File;
  std::string Name;  // the caption (Safe text); ".." for the up item
  std::string Path;  // the Path column (files only)
  uint64_t Size = 0;
  std::string Modified;  // the Last Updated column
  double ModifiedTime = 0;
  // A copy of the file taken out for viewing waits to be written back into the Safe.
  bool CopyWaiting = false;

  bool IsUp() const { return Kind == TKind::Up; }
  bool IsFolder() const { return Kind == TKind::Folder; }
  bool IsFile() const { return Kind == TKind::File; }
  // The Size column: the decimal number of bytes for a file, empty otherwise.
  std::string SizeText() const;
};

namespace locker {
inline constexpr int kSortName = 1;
inline constexpr int kSortPath = 2;
inline constexpr int kSortSize = 4;
inline constexpr int kSortUpdated = 8;
// The key a new list starts with: name ascending.
inline constexpr int kInitialSort = -kSortName;
}  // namespace locker

// Whether folder is the File Locker's root.
bool IsLockerRoot(const std::string& folder);
// The Path column of the files in folder.
std::string LockerPathText(const std::string& folder);
// The folder the up item leads to: the last component stripped ("\File Locker\A\B\" gives
// "\File Locker\A\"); the root stays the root.
std::string LockerParentFolder(const std::string& folder);
// The folder below folder of that name (folder + name + "\").
std::string LockerSubfolder(const std::string& folder, const std::string& name);
// folder + name, the container path of an item.
std::string LockerItemPath(const std::string& folder, const std::string& name);

// The items of folder from its listing: the up item (below the root), the folders, then the files,
// in listing order (unsorted). waitingCopies: the container paths of files whose copies wait to be
// written back (TqmGlobal::OpenedCopyPaths); those files are marked.
std::vector<TqmLockerItem> LockerItems(const std::string& folder, const TqmLockerListing& listing,
                                       const std::vector<std::string>& waitingCopies = {});

// The position of the item of that name (letter case ignored, as the Safe compares names; never the
// up item), -1 when there is none.
int FindLockerItem(const std::vector<TqmLockerItem>& items, const std::string& name);

// Orders the items by the sort key (see the top). Unknown keys order by name ascending.
void SortLockerItems(std::vector<TqmLockerItem>& items, int sortKey);
// The sort key after a click on the header of column 0..3: that column ascending, or the current key
// with its sign flipped when it is already that column's.
int NextSortKey(int current, int column);
// The column 0..3 a sort key orders by (0 for an unknown key).
int SortColumn(int sortKey);

// "" when name can be the name of a File Locker item; otherwise why not, beginning with what ("The
// folder name ..."): empty, "." or "..", "\" or "/", a control character, too long.
std::string LockerNameProblem(const std::string& name, const std::string& what);

}  // namespace quillmar
