#pragma once
// TSortedPtrArray: a set of item numbers kept in the order of a caller-given comparator (which looks the
// numbers up in the caller's table). Insertion, removal and lookup are O(log n) and never move the
// other entries, so an index over tens of thousands of items stays cheap to keep up to date.
//
// REQUIRES: the fields the comparator reads of an item do not change while the item is in the set:
// remove it, change it, add it again.
#include <cstdint>
#include <set>
#include <string>

#include "container/SFSError.h"

namespace quillmar {

template <class Less>
class TSortedPtrArray {
public:
  using Set = std::set<int32_t, Less>;
  using const_iterator = typename Set::const_iterator;

  explicit TSortedPtrArray(Less less) : set_(less) {}

  void Add(int32_t key) { set_.insert(key); }
  // Throws "TSortedPtrArray.Delete - no elements in array!" or "... element not found ...".
  void Delete(int32_t key) {
    if (set_.empty()) throw ESFSError("TSortedPtrArray.Delete - no elements in array!");
    auto it = set_.find(key);
    if (it == set_.end() || *it != key)
      throw ESFSError("TSortedPtrArray.Delete - element not found, key = " + std::to_string(key) +
                      ", itemCount = " + std::to_string(set_.size()) + "!");
    set_.erase(it);
  }
  bool Contains(int32_t key) const {
    auto it = set_.find(key);
    return it != set_.end() && *it == key;
  }
  template <class K>
  const_iterator LowerBound(const K& probe) const {
    return set_.lower_bound(probe);
  }
  const_iterator begin() const { return set_.begin(); }
  const_iterator end() const { return set_.end(); }
  size_t Count() const { return set_.size(); }
  void Clear() { set_.clear(); }

private:
  Set set_;
};

}  // namespace quillmar
