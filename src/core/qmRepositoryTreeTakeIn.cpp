// TqmRepositoryTree::TakeInChanges: what other programs changed, taken into the loaded part of the tree
// record by record. First everything that changed is read (the tree untouched, so that a failure or a
// report that cannot be followed leaves it as it was), then the tree is changed step by step, each
// step told to the follower.
#include <strings.h>

#include <algorithm>
#include <limits>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <unordered_map>

#include "core/qmGlobal.h"
#include "core/qmRepositoryTree.h"
#include "safe/qmSFSWrapper.h"
#include "safe/qmSafeChanges.h"

namespace quillmar {

namespace {

using TNode = TqmRepositoryTree::TNode;
using TFollower = TqmRepositoryTree::TFollower;

// The container compares names without regard to letter case.
bool SameName(const std::string& a, const std::string& b) {
  return ::strcasecmp(a.c_str(), b.c_str()) == 0;
}

std::string Lower(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

// "a\b\c\" -> "a\b\", "a\" -> "".
std::string ParentPath(const std::string& path) {
  if (path.size() < 2) return "";
  const size_t cut = path.find_last_of('\\', path.size() - 2);
  return cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
}

// "a\b\c\" -> "c".
std::string LastName(const std::string& path) {
  const size_t start = ParentPath(path).size();
  return path.substr(start, path.size() - start - 1);
}

// The node of a category path ("" for the root) as far as the tree has read it; null when some
// category on the way is not in the tree (or not loaded).
TNode* NodeAt(TNode& root, const std::string& path) {
  TNode* node = &root;
  for (size_t from = 0; from < path.size();) {
    const size_t cut = path.find('\\', from);
    if (cut == std::string::npos) return nullptr;
    const std::string name = path.substr(from, cut - from);
    TNode* next = nullptr;
    for (auto& c : node->categories)
      if (SameName(c->category->FolderName(), name)) next = c.get();
    if (next == nullptr) return nullptr;
    node = next;
    from = cut + 1;
  }
  return node;
}

// Where each name stands in a listing (by its lower-case form); names not in it come last.
class TListing {
public:
  explicit TListing(const std::vector<std::string>& names) {
    for (size_t i = 0; i < names.size(); ++i) at_.emplace(Lower(names[i]), i);
  }
  size_t IndexOf(const std::string& name) const {
    auto it = at_.find(Lower(name));
    return it == at_.end() ? std::numeric_limits<size_t>::max() : it->second;
  }
  bool Holds(const std::string& name) const { return at_.count(Lower(name)) != 0; }

private:
  std::unordered_map<std::string, size_t> at_;
};

// Brings `list` (owners of T) into the order of `target`, a permutation of the items left in it and
// those of `added`, one step at a time: an insert of an added item or a move of one already there.
// offset turns a place in list into a display position.
template <class T>
void Arrange(std::vector<std::unique_ptr<T>>& list, const std::vector<T*>& target,
             std::map<T*, std::unique_ptr<T>>& added, TNode& node, int offset, bool entry,
             TFollower& follower) {
  for (size_t i = 0; i < target.size(); ++i) {
    if (i < list.size() && list[i].get() == target[i]) continue;
    auto fresh = added.find(target[i]);
    if (fresh != added.end()) {
      follower.Inserting(node, offset + static_cast<int>(i), entry);
      list.insert(list.begin() + static_cast<long>(i), std::move(fresh->second));
      added.erase(fresh);
      follower.Inserted();
      continue;
    }
    size_t j = i + 1;
    while (j < list.size() && list[j].get() != target[i]) ++j;
    if (j == list.size()) continue;  // not possible: target holds only what list and added hold
    follower.Moving(node, offset + static_cast<int>(j), offset + static_cast<int>(i), entry);
    std::rotate(list.begin() + static_cast<long>(i), list.begin() + static_cast<long>(j),
                list.begin() + static_cast<long>(j) + 1);
    follower.Moved();
  }
}

// The position of item in list.
template <class T>
size_t PlaceOf(const std::vector<std::unique_ptr<T>>& list, const T* item) {
  for (size_t i = 0; i < list.size(); ++i)
    if (list[i].get() == item) return i;
  return list.size();
}

// What is read for the sub-categories of one loaded node.
struct TCategoryPlan {
  TNode* node = nullptr;
  std::vector<std::string> listing;  // its folder names, in listing order
  std::vector<TNode*> removed;
  std::vector<std::pair<TNode*, std::unique_ptr<TqmCategory>>> reread;
  std::vector<std::unique_ptr<TNode>> added;
};

// What is read for the entries of one loaded category.
struct TEntryPlan {
  TNode* node = nullptr;
  std::vector<TqmRepositoryEntry*> removed;
  struct TRead {
    TqmRepositoryEntry* entry;  // null for a new entry
    std::unique_ptr<TqmRepositoryEntry> fresh;
    std::string damage;  // why the record is damaged; empty when it read whole
  };
  std::vector<TRead> reads;
  bool reorder = false;  // an entry came or its sort order changed
  // Whether entries of equal sort order are put in listing order: only where an entry that came or
  // changed its sort order shares it with another (see SharesSortOrder).
  bool byListing = false;
  std::vector<std::string> listing;  // the category's files in listing order (when byListing)
};

// Up to this many changed files of one category are looked up by going through its entries.
constexpr size_t kFewFiles = 8;

// Whether an entry that comes or whose sort order changes shares its sort order with another entry of
// the category as it will be. Entries of equal sort order stand in the order the folder lists their
// files; when none of those that move has an equal, the entries that stay keep the order they have among
// themselves (it was the listing's), and each one that moves has one place by its sort order alone: the
// listing, which costs as much to read as the category is large, is not needed.
bool SharesSortOrder(const TNode& node, const TEntryPlan& plan) {
  // The sort orders of those that move, and the entries whose sort order the plan changes or that it
  // removes (both few next to the category): sorted, looked up by halving.
  std::vector<int32_t> moving;
  std::vector<std::pair<const TqmRepositoryEntry*, std::optional<int32_t>>> touched;
  for (const TEntryPlan::TRead& read : plan.reads) {
    if (read.entry != nullptr) touched.emplace_back(read.entry, read.fresh->SortOrder());
    if (read.entry == nullptr || read.entry->SortOrder() != read.fresh->SortOrder())
      moving.push_back(read.fresh->SortOrder());
  }
  for (const TqmRepositoryEntry* gone : plan.removed) touched.emplace_back(gone, std::nullopt);
  std::sort(moving.begin(), moving.end());
  if (std::adjacent_find(moving.begin(), moving.end()) != moving.end()) return true;
  std::sort(touched.begin(), touched.end(),
            [](const auto& x, const auto& y) { return std::less<>()(x.first, y.first); });
  // How many entries of the category as it will be have each of those sort orders.
  std::vector<int> count(moving.size(), 0);
  auto tally = [&](int32_t order) {
    auto at = std::lower_bound(moving.begin(), moving.end(), order);
    if (at != moving.end() && *at == order) ++count[static_cast<size_t>(at - moving.begin())];
  };
  for (const auto& e : node.entries) {
    auto t = std::lower_bound(
        touched.begin(), touched.end(), e.get(),
        [](const auto& x, const TqmRepositoryEntry* y) { return std::less<>()(x.first, y); });
    if (t == touched.end() || t->first != e.get())
      tally(e->SortOrder());
    else if (t->second)
      tally(*t->second);
  }
  for (const TEntryPlan::TRead& read : plan.reads)
    if (read.entry == nullptr) tally(read.fresh->SortOrder());
  return std::any_of(count.begin(), count.end(), [](int n) { return n > 1; });
}

// Whether node is one of removed or below one of them.
bool Below(const TNode* node, const std::set<const TNode*>& removed) {
  for (const TNode* n = node; n != nullptr; n = n->parent)
    if (removed.count(n) != 0) return true;
  return false;
}

}  // namespace

bool TqmRepositoryTree::TakeInChanges(const TqmSafeChanges& changes, TFollower& follower) {
  if (!changes.Any()) return true;
  if (changes.Unknown) return false;
  TqmSFSWrapper& safe = global_.Wrapper();
  const std::string repository = TqmSFSWrapper::kRepositoryRoot;

  // --- Read what changed; the tree stays as it is --------------------------------------------------
  std::vector<TCategoryPlan> categoryPlans;
  std::vector<TEntryPlan> entryPlans;
  {
    // One consistent read of all of it.
    TqmSFSWrapper::TRead reading(safe);

    // The category paths to look at, by the loaded node they are in. A folder that got entries but
    // is no category of the tree may have become one (a folder without record that is no longer
    // empty): it is looked at too.
    std::map<TNode*, std::set<std::string>> lookAt;
    auto note = [&](const std::string& path) {
      if (path.empty()) return;
      TNode* parent = NodeAt(root_, ParentPath(path));
      if (parent != nullptr && parent->loaded) lookAt[parent].insert(LastName(path));
    };
    for (const std::string& path : changes.CategoryFolders) note(path);
    for (const auto& [folder, files] : changes.EntryFiles)
      if (NodeAt(root_, folder) == nullptr) note(folder);

    std::set<const TNode*> removedNodes;
    for (auto& [node, names] : lookAt) {
      TCategoryPlan plan;
      plan.node = node;
      plan.listing = safe.ListNames(repository + node->FolderPath(), true);
      TqmCategory* parent = node->category.get();
      for (const std::string& name : names) {
        TNode* child = nullptr;
        for (auto& c : node->categories)
          if (SameName(c->category->FolderName(), name)) child = c.get();
        const auto listed = std::find_if(plan.listing.begin(), plan.listing.end(),
                                         [&](const std::string& n) { return SameName(n, name); });
        if (listed == plan.listing.end()) {
          if (child != nullptr) {
            plan.removed.push_back(child);
            removedNodes.insert(child);
          }
          continue;
        }
        // A damaged category is shown under its folder's name with what could be told of it: only a
        // fresh read says that again.
        if (child != nullptr && !child->problem.empty()) return false;
        auto fresh = std::make_unique<TqmCategory>(parent);
        try {
          if (!global_.LoadCategory(parent, static_cast<int32_t>(listed - plan.listing.begin()), false,
                                    *fresh)) {
            if (child != nullptr) return false;
            // A folder without record is a category only when something is in it (as Load reads it).
            const std::string sub = repository + node->FolderPath() + *listed + "\\";
            if (safe.ListNames(sub, false).empty() && safe.ListNames(sub, true).empty()) continue;
            return false;
          }
        } catch (const std::exception&) {
          return false;  // a damaged record: a fresh read names it
        }
        if (child != nullptr) {
          plan.reread.emplace_back(child, std::move(fresh));
        } else {
          auto added = std::make_unique<TNode>();
          added->parent = node;
          added->category = std::move(fresh);
          plan.added.push_back(std::move(added));
        }
      }
      if (!plan.removed.empty() || !plan.reread.empty() || !plan.added.empty())
        categoryPlans.push_back(std::move(plan));
    }

    // What is below a category that goes, goes with it.
    categoryPlans.erase(std::remove_if(categoryPlans.begin(), categoryPlans.end(),
                                       [&](const TCategoryPlan& p) { return Below(p.node, removedNodes); }),
                        categoryPlans.end());

    for (const auto& [folder, files] : changes.EntryFiles) {
      TNode* node = NodeAt(root_, folder);
      if (node == nullptr || !node->loaded || !node->category || Below(node, removedNodes)) continue;
      TEntryPlan plan;
      plan.node = node;
      // The entries by name: for a few files a look through the list costs less than an index of it.
      std::unordered_map<std::string, TqmRepositoryEntry*> byName;
      const bool indexed = files.size() > kFewFiles;
      if (indexed)
        for (auto& e : node->entries) byName.emplace(Lower(e->FileName()), e.get());
      auto find = [&](const std::string& file) -> TqmRepositoryEntry* {
        if (indexed) {
          auto existing = byName.find(Lower(file));
          return existing == byName.end() ? nullptr : existing->second;
        }
        for (auto& e : node->entries)
          if (SameName(e->FileName(), file)) return e.get();
        return nullptr;
      };
      for (const std::string& file : files) {
        // A record that was left out is named by its path only: whether it came back cannot be told
        // here.
        const std::string quoted = "\"" + repository + folder + file + "\"";
        for (const std::string& reason : node->unreadableEntries)
          if (reason.find(quoted) != std::string::npos) return false;
        TqmRepositoryEntry* entry = find(file);
        auto fresh = std::make_unique<TqmRepositoryEntry>(node->category.get());
        std::string problem;
        switch (safe.LoadEntryFile(folder, file, *fresh, problem)) {
          case TqmEntryFile::Missing:
            if (entry != nullptr) plan.removed.push_back(entry);
            break;
          case TqmEntryFile::Unreadable:
            return false;
          case TqmEntryFile::Loaded:
          case TqmEntryFile::Damaged:
            if (entry == nullptr || entry->SortOrder() != fresh->SortOrder()) plan.reorder = true;
            plan.reads.push_back({entry, std::move(fresh), problem});
            break;
        }
      }
      if (plan.reorder && SharesSortOrder(*node, plan)) {
        plan.byListing = true;
        plan.listing = safe.ListNames(repository + folder, false);
      }
      if (!plan.removed.empty() || !plan.reads.empty()) entryPlans.push_back(std::move(plan));
    }
  }
  if (categoryPlans.empty() && entryPlans.empty()) return true;

  // --- Change the tree, step by step ---------------------------------------------------------------
  InvalidateLabels();
  for (TEntryPlan& plan : entryPlans) {
    TNode& node = *plan.node;
    const int offset = static_cast<int>(node.categories.size());
    for (TqmRepositoryEntry* gone : plan.removed) {
      const size_t at = PlaceOf(node.entries, gone);
      if (at == node.entries.size()) continue;
      follower.Removing(node, offset + static_cast<int>(at), true);
      node.damagedEntries.erase(gone);
      node.entries.erase(node.entries.begin() + static_cast<long>(at));
      follower.Removed();
    }
    std::map<TqmRepositoryEntry*, std::unique_ptr<TqmRepositoryEntry>> added;
    std::vector<TqmRepositoryEntry*> reread;
    for (TEntryPlan::TRead& read : plan.reads) {
      TqmRepositoryEntry* entry = read.entry;
      if (entry != nullptr) {
        // The object stays (the view and the windows hold it); its content is the record's now.
        entry->Fields() = std::move(read.fresh->Fields());
        entry->SetIcon(read.fresh->Icon());
        entry->SetAutoFill(read.fresh->AutoFill());
        entry->SetSortOrder(read.fresh->SortOrder());
        reread.push_back(entry);
      } else {
        entry = read.fresh.get();
        added.emplace(entry, std::move(read.fresh));
      }
      if (read.damage.empty()) {
        node.damagedEntries.erase(entry);
      } else {
        node.damagedEntries[entry] = read.damage;
        warnings_.push_back(read.damage);
      }
    }
    if (plan.reorder) {
      // The order a fresh Load gives: by sort order, equal numbers in listing order.
      // Without the listing, entries of equal sort order keep the order they have (SharesSortOrder).
      const TListing listing(plan.listing);
      auto place = [&](const TqmRepositoryEntry* e) {
        return plan.byListing ? listing.IndexOf(e->FileName()) : 0;
      };
      std::vector<std::pair<std::pair<int32_t, size_t>, TqmRepositoryEntry*>> keyed;
      keyed.reserve(node.entries.size() + added.size());
      for (auto& e : node.entries) keyed.push_back({{e->SortOrder(), place(e.get())}, e.get()});
      for (auto& [raw, owned] : added) keyed.push_back({{raw->SortOrder(), place(raw)}, raw});
      std::stable_sort(keyed.begin(), keyed.end(),
                       [](const auto& a, const auto& b) { return a.first < b.first; });
      std::vector<TqmRepositoryEntry*> target;
      for (auto& k : keyed) target.push_back(k.second);
      Arrange(node.entries, target, added, node, offset, true, follower);
    }
    if (!reread.empty()) {
      std::unordered_map<const TqmRepositoryEntry*, size_t> at;
      for (size_t i = 0; i < node.entries.size(); ++i) at.emplace(node.entries[i].get(), i);
      for (TqmRepositoryEntry* e : reread) follower.Changed(node, offset + static_cast<int>(at[e]), true);
    }
  }

  for (TCategoryPlan& plan : categoryPlans) {
    TNode& node = *plan.node;
    for (TNode* gone : plan.removed) {
      const size_t at = PlaceOf(node.categories, gone);
      if (at == node.categories.size()) continue;
      follower.Removing(node, static_cast<int>(at), false);
      node.categories.erase(node.categories.begin() + static_cast<long>(at));
      follower.Removed();
    }
    for (auto& [child, fresh] : plan.reread) {
      TqmCategory& category = *child->category;
      category.SetName(fresh->Name());
      category.SetIcon(fresh->Icon());
      category.SetSortOrder(fresh->SortOrder());
      category.Fields() = std::move(fresh->Fields());
    }
    std::map<TNode*, std::unique_ptr<TNode>> added;
    for (auto& a : plan.added) {
      TNode* raw = a.get();
      added.emplace(raw, std::move(a));
    }
    const TListing listing(plan.listing);
    std::vector<std::pair<std::pair<int32_t, size_t>, TNode*>> keyed;
    for (auto& c : node.categories)
      keyed.push_back({{c->category->SortOrder(), listing.IndexOf(c->category->FolderName())}, c.get()});
    for (auto& [raw, owned] : added)
      keyed.push_back({{raw->category->SortOrder(), listing.IndexOf(raw->category->FolderName())}, raw});
    std::stable_sort(keyed.begin(), keyed.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<TNode*> target;
    for (auto& k : keyed) target.push_back(k.second);
    Arrange(node.categories, target, added, node, 0, false, follower);
    for (auto& [child, fresh] : plan.reread)
      follower.Changed(node, static_cast<int>(PlaceOf(node.categories, child)), false);
  }
  return true;
}

}  // namespace quillmar
