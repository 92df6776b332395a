#include "container/DIRArray.h"

#include <climits>

#include "container/ContainerPath.h"
#include "container/SFSError.h"

namespace quillmar {

TDIRArray::TNameProbe TDIRArray::TNameLess::Key(int32_t k) const {
  size_t i = static_cast<size_t>(k);
  return {a->folded_[i], a->items_[i].ParentID, k};
}

bool TDIRArray::TNameLess::Less(const TNameProbe& x, const TNameProbe& y) {
  int c = x.Folded.compare(y.Folded);
  if (c != 0) return c < 0;
  if (x.Parent != y.Parent) return x.Parent < y.Parent;
  return x.Item < y.Item;
}

TDIRArray::TParentProbe TDIRArray::TParentLess::Key(int32_t k) const {
  return {a->items_[static_cast<size_t>(k)].ParentID, k};
}

TDIRArray::TDIRArray() : byName_(TNameLess{this}), byParent_(TParentLess{this}) {}

const TDIRItem& TDIRArray::ReadItem(int32_t k) const {
  if (k < 0 || k >= Count()) throw ESFSError("TDIRArray.ReadItem - invalid itemNo = " + std::to_string(k));
  return items_[static_cast<size_t>(k)];
}

void TDIRArray::Index(int32_t k) {
  byName_.Add(k);
  byParent_.Add(k);
}

void TDIRArray::Unindex(int32_t k) {
  byName_.Delete(k);
  byParent_.Delete(k);
}

int32_t TDIRArray::Add(TDIRItem item) {
  if (items_.size() >= static_cast<size_t>(INT32_MAX))
    throw ESFSError("TDIRArray.Add - the directory is full.");
  if (item.Name.size() > kMaxNameLength) item.Name.resize(kMaxNameLength);
  int32_t k = Count();
  ++generation_;
  folded_.push_back(FoldName(item.Name));
  bool deleted = item.Deleted;
  items_.push_back(std::move(item));
  open_.push_back(0);
  if (deleted)
    deleted_.insert(k);
  else
    Index(k);
  return k;
}

void TDIRArray::RemoveLast() {
  if (items_.empty()) return;
  ++generation_;
  int32_t k = Count() - 1;
  if (items_.back().Deleted)
    deleted_.erase(k);
  else
    Unindex(k);
  items_.pop_back();
  folded_.pop_back();
  open_.pop_back();
}

void TDIRArray::UpdateItem(int32_t k, TDIRItem item) {
  if (k < 0 || k >= Count()) throw ESFSError("TDIRArray.UpdateItem - invalid itemNo = " + std::to_string(k));
  if (item.Name.size() > kMaxNameLength) item.Name.resize(kMaxNameLength);
  size_t i = static_cast<size_t>(k);
  const TDIRItem& old = items_[i];
  bool reindex =
      old.Deleted != item.Deleted || item.Deleted || old.ParentID != item.ParentID || old.Name != item.Name;
  // Lookups depend on names, parents and deleted flags only (not on times or sizes).
  if (reindex) ++generation_;
  if (reindex && !old.Deleted) {
    if (!byName_.Contains(k))
      throw ESFSError("TDIRArray.UpdateItem - old name position not found. Position = " + std::to_string(k) +
                      ", ItemCount = " + std::to_string(Count()) + ", FileName = \"" + old.Name + "\"");
    if (!byParent_.Contains(k))
      throw ESFSError(
          "TDIRArray.UpdateItem - old parentID position not found. Position = " + std::to_string(k) +
          ", ItemCount = " + std::to_string(Count()) + ", ParentID = " + std::to_string(old.ParentID));
    Unindex(k);
  }
  if (old.Deleted) deleted_.erase(k);
  folded_[i] = FoldName(item.Name);
  items_[i] = std::move(item);
  const TDIRItem& now = items_[i];
  if (now.Deleted) {
    deleted_.insert(k);
    open_[i] = 0;
  } else if (reindex) {
    Index(k);
  }
}

void TDIRArray::Clear() {
  ++generation_;
  byName_.Clear();
  byParent_.Clear();
  deleted_.clear();
  items_.clear();
  folded_.clear();
  open_.clear();
}

void TDIRArray::SetSize(int32_t newSize) {
  if (newSize < Count())
    throw ESFSError("TDIRArray.SetSize - newSize < itemCount error.  newSize = " + std::to_string(newSize) +
                    " itemCount = " + std::to_string(Count()));
  items_.reserve(static_cast<size_t>(newSize));
  folded_.reserve(static_cast<size_t>(newSize));
  open_.reserve(static_cast<size_t>(newSize));
}

int32_t TDIRArray::FindChild(int32_t parent, std::string_view name) const {
  std::string folded = FoldName(name.substr(0, kMaxNameLength));
  auto it = byName_.LowerBound(TNameProbe{folded, parent, INT32_MIN});
  if (it == byName_.end()) return -1;
  size_t i = static_cast<size_t>(*it);
  if (items_[i].ParentID != parent || folded_[i] != folded) return -1;
  return *it;
}

std::vector<int32_t> TDIRArray::Children(int32_t parent) const {
  std::vector<int32_t> r;
  for (auto it = byParent_.LowerBound(TParentProbe{parent, INT32_MIN});
       it != byParent_.end() && items_[static_cast<size_t>(*it)].ParentID == parent; ++it)
    r.push_back(*it);
  return r;
}

bool TDIRArray::HasChildren(int32_t parent) const {
  auto it = byParent_.LowerBound(TParentProbe{parent, INT32_MIN});
  return it != byParent_.end() && items_[static_cast<size_t>(*it)].ParentID == parent;
}

bool TDIRArray::IndexesConsistent(std::string* problem) const {
  auto fail = [&](const std::string& text) {
    if (problem) *problem = text;
    return false;
  };
  size_t live = items_.size() - deleted_.size();
  if (byName_.Count() != live || byParent_.Count() != live)
    return fail("the name index holds " + std::to_string(byName_.Count()) + " and the parent index " +
                std::to_string(byParent_.Count()) + " items, but " + std::to_string(live) +
                " items are not deleted");
  for (int32_t k = 0; k < Count(); ++k) {
    const TDIRItem& it = items_[static_cast<size_t>(k)];
    if (it.Deleted != (deleted_.count(k) == 1))
      return fail("item " + std::to_string(k) + " is not in the deleted-slot list as its flag says");
    if (!it.Deleted && (!byName_.Contains(k) || !byParent_.Contains(k)))
      return fail("item " + std::to_string(k) + " is missing from an index");
    if (folded_[static_cast<size_t>(k)] != FoldName(it.Name))
      return fail("item " + std::to_string(k) + " has a stale name key");
  }
  return true;
}

}  // namespace quillmar
