#include "core/qmLockerItems.h"

#include <algorithm>
#include <cstdlib>
#include <unordered_set>

#include "container/ContainerPath.h"

namespace quillmar {

namespace {

// "\File Locker\" is 12 characters before its closing "\": the Path column starts at that "\".
constexpr size_t kPathColumnStart = 12;

// <0, 0, >0 over two texts, letter case ignored.
int CompareText(const std::string& a, const std::string& b) {
  return CompareNames(a, b);
}

// The order of two items under the key's column, ascending, without the up item and the sign.
int CompareByColumn(const TqmLockerItem& a, const TqmLockerItem& b, int column) {
  switch (column) {
    case locker::kSortPath:
      return CompareText(a.Path, b.Path);
    case locker::kSortSize: {
      // Folders have no size: below every file.
      if (a.IsFile() != b.IsFile()) return a.IsFile() ? 1 : -1;
      return a.Size < b.Size ? -1 : (a.Size > b.Size ? 1 : 0);
    }
    case locker::kSortUpdated:
      return CompareText(a.Modified, b.Modified);
    default:
      return 0;
  }
}

}  // namespace

std::string TqmLockerItem::SizeText() const {
  return IsFile() ? std::to_string(Size) : std::string();
}

bool IsLockerRoot(const std::string& folder) {
  return SamePathIgnoringCase(folder, TqmSFSWrapper::FileLockerRoot());
}

std::string LockerPathText(const std::string& folder) {
  return folder.size() > kPathColumnStart ? folder.substr(kPathColumnStart) : std::string("\\");
}

std::string LockerParentFolder(const std::string& folder) {
  if (IsLockerRoot(folder)) return TqmSFSWrapper::FileLockerRoot();
  std::string parent = folder;
  if (!parent.empty() && parent.back() == '\\') parent.pop_back();
  const size_t cut = parent.find_last_of('\\');
  if (cut == std::string::npos) return TqmSFSWrapper::FileLockerRoot();
  parent.erase(cut + 1);
  // Never above the root, whatever the folder was.
  if (parent.size() < std::string(TqmSFSWrapper::kFileLockerRoot).size())
    return TqmSFSWrapper::FileLockerRoot();
  return parent;
}

std::string LockerSubfolder(const std::string& folder, const std::string& name) {
  return LockerItemPath(folder, name) + "\\";
}

std::string LockerItemPath(const std::string& folder, const std::string& name) {
  std::string path = folder;
  if (!path.empty() && path.back() != '\\') path += '\\';
  return path + name;
}

std::vector<TqmLockerItem> LockerItems(const std::string& folder, const TqmLockerListing& listing,
                                       const std::vector<std::string>& waitingCopies) {
  std::vector<TqmLockerItem> items;
  items.reserve(listing.Folders.size() + listing.Files.size() + 1);
  if (!IsLockerRoot(folder)) {
    TqmLockerItem up;
    up.Kind = TqmLockerItem::TKind::Up;
    up.Name = "..";
    items.push_back(std::move(up));
  }
  for (const TqmFileInfo& info : listing.Folders) {
    TqmLockerItem item;
    item.Kind = TqmLockerItem::TKind::Folder;
    item.Name = info.Name;
    item.Modified = info.Modified;
    item.ModifiedTime = info.ModifiedTime;
    items.push_back(std::move(item));
  }
  std::unordered_set<std::string> waiting;
  for (const std::string& path : waitingCopies) waiting.insert(FoldName(path));
  const std::string path = LockerPathText(folder);
  for (const TqmFileInfo& info : listing.Files) {
    TqmLockerItem item;
    item.Kind = TqmLockerItem::TKind::File;
    item.Name = info.Name;
    item.Path = path;
    item.Size = info.Size;
    item.Modified = info.Modified;
    item.ModifiedTime = info.ModifiedTime;
    item.CopyWaiting = !waiting.empty() && waiting.count(FoldName(LockerItemPath(folder, info.Name))) > 0;
    items.push_back(std::move(item));
  }
  return items;
}

int FindLockerItem(const std::vector<TqmLockerItem>& items, const std::string& name) {
  for (size_t i = 0; i < items.size(); ++i)
    if (!items[i].IsUp() && SamePathIgnoringCase(items[i].Name, name)) return static_cast<int>(i);
  return -1;
}

void SortLockerItems(std::vector<TqmLockerItem>& items, int sortKey) {
  int column = std::abs(sortKey);
  bool descending = sortKey > 0;
  if (column != locker::kSortName && column != locker::kSortPath && column != locker::kSortSize &&
      column != locker::kSortUpdated) {
    // An unknown key orders by name ascending.
    column = locker::kSortName;
    descending = false;
  }
  // A strict weak order in which the up item precedes everything (it is no item to compare).
  auto before = [&](const TqmLockerItem& a, const TqmLockerItem& b) {
    if (a.IsUp() || b.IsUp()) return a.IsUp() && !b.IsUp();
    int c;
    if (column == locker::kSortName) {
      if (descending) {
        c = CompareText(a.Name, b.Name);
        if (c == 0) c = CompareText(a.Path, b.Path);
      } else {
        c = CompareText(a.Path, b.Path);
        if (c == 0) c = CompareText(a.Name, b.Name);
      }
    } else {
      c = CompareByColumn(a, b, column);
    }
    if (c != 0) return descending ? c > 0 : c < 0;
    // Equal under the key: by caption, so that the order does not depend on the listing.
    return CompareText(a.Name, b.Name) < 0;
  };
  std::stable_sort(items.begin(), items.end(), before);
}

int NextSortKey(int current, int column) {
  static constexpr int kKeys[] = {locker::kSortName, locker::kSortPath, locker::kSortSize,
                                  locker::kSortUpdated};
  if (column < 0 || column > 3) return current;
  const int key = kKeys[column];
  if (std::abs(current) == key) return -current;
  return -key;
}

int SortColumn(int sortKey) {
  switch (std::abs(sortKey)) {
    case locker::kSortName:
      return 0;
    case locker::kSortPath:
      return 1;
    case locker::kSortSize:
      return 2;
    case locker::kSortUpdated:
      return 3;
    default:
      return 0;
  }
}

std::string LockerNameProblem(const std::string& name, const std::string& what) {
  return TqmSFSWrapper::ItemNameProblem(name, what);
}

}  // namespace quillmar
