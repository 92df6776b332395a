#pragma once
// TDIRArray: the container directory in memory. All items in table order (the item number is the
// position), with two indexes over the items that are not deleted:
//   - by name: (case-folded name, parent, item number), so that finding a name in one folder is one
//     O(log n) lookup however many folders hold that name;
//   - by parent: (parent, item number), so that listing one folder costs O(log n + its size).
// Deleted items stay in the table (their slots are reused) and are in neither index; the deleted slots
// are kept in order, so the first free slot is found without scanning the table.
// Per item an open count (open handles; never stored).
//
// Invariants: an item is in both indexes exactly when its deleted flag is clear, and in the deleted-slot
// set exactly when it is set. Names are at most kMaxNameLength bytes.
//
// Not copyable: the indexes refer to this object's table.
#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "container/DIRItem.h"
#include "container/SortedPtrArray.h"

namespace quillmar {

class TDIRArray {
public:
  TDIRArray();
  TDIRArray(const TDIRArray&) = delete;
  TDIRArray& operator=(const TDIRArray&) = delete;

  int32_t Count() const { return static_cast<int32_t>(items_.size()); }
  // Throws "TDIRArray.ReadItem - invalid itemNo = <k>".
  const TDIRItem& ReadItem(int32_t k) const;
  // Appends an item (open count 0); returns its number.
  int32_t Add(TDIRItem item);
  // Removes the last item (the undo of Add).
  void RemoveLast();
  // Replaces item k and re-indexes it. A deleted item's open count becomes 0. Throws
  //   "TDIRArray.UpdateItem - invalid itemNo = <k>"
  //   "TDIRArray.UpdateItem - old name position not found. Position = <k>, ItemCount = <n>, FileName =
  //   "<name>"" "TDIRArray.UpdateItem - old parentID position not found. Position = <k>, ItemCount = <n>,
  //   ParentID = <p>"
  void UpdateItem(int32_t k, TDIRItem item);
  void Clear();
  // Reserves room for newSize items. Throws "TDIRArray.SetSize - newSize < itemCount error.  newSize = <n>
  // itemCount = <count>" when newSize is below the item count.
  void SetSize(int32_t newSize);

  // The non-deleted item named `name` (any case) directly in folder `parent`, or -1.
  int32_t FindChild(int32_t parent, std::string_view name) const;
  // The non-deleted items directly in folder `parent`, in parent-index order.
  std::vector<int32_t> Children(int32_t parent) const;
  bool HasChildren(int32_t parent) const;
  // The lowest deleted slot, or -1.
  int32_t FirstDeleted() const { return deleted_.empty() ? -1 : *deleted_.begin(); }
  int32_t DeletedCount() const { return static_cast<int32_t>(deleted_.size()); }
  size_t NameIndexCount() const { return byName_.Count(); }
  size_t ParentIndexCount() const { return byParent_.Count(); }
  // True when the indexes hold exactly the non-deleted items (for the integrity check).
  bool IndexesConsistent(std::string* problem = nullptr) const;

  // Changes with every change of an item or of the table (not of open counts): what was looked up at
  // one generation holds while it is the same.
  uint64_t Generation() const { return generation_; }
  int32_t OpenCount(int32_t k) const { return open_[static_cast<size_t>(k)]; }
  void SetOpenCount(int32_t k, int32_t v) { open_[static_cast<size_t>(k)] = v; }

private:
  struct TNameProbe {
    std::string_view Folded;
    int32_t Parent;
    int32_t Item;
  };
  struct TParentProbe {
    int32_t Parent;
    int32_t Item;
  };
  struct TNameLess {
    using is_transparent = void;
    const TDIRArray* a;
    TNameProbe Key(int32_t k) const;
    static bool Less(const TNameProbe& x, const TNameProbe& y);
    bool operator()(int32_t x, int32_t y) const { return Less(Key(x), Key(y)); }
    bool operator()(int32_t x, const TNameProbe& y) const { return Less(Key(x), y); }
    bool operator()(const TNameProbe& x, int32_t y) const { return Less(x, Key(y)); }
  };
  struct TParentLess {
    using is_transparent = void;
    const TDIRArray* a;
    TParentProbe Key(int32_t k) const;
    static bool Less(const TParentProbe& x, const TParentProbe& y) {
      return x.Parent != y.Parent ? x.Parent < y.Parent : x.Item < y.Item;
    }
    bool operator()(int32_t x, int32_t y) const { return Less(Key(x), Key(y)); }
    bool operator()(int32_t x, const TParentProbe& y) const { return Less(Key(x), y); }
    bool operator()(const TParentProbe& x, int32_t y) const { return Less(x, Key(y)); }
  };

  void Index(int32_t k);
  void Unindex(int32_t k);

  std::vector<TDIRItem> items_;
  std::vector<std::string> folded_;  // case-folded names, the name index's key
  std::vector<int32_t> open_;
  std::set<int32_t> deleted_;
  TSortedPtrArray<TNameLess> byName_;
  TSortedPtrArray<TParentLess> byParent_;
  uint64_t generation_ = 0;
};

}  // namespace quillmar
