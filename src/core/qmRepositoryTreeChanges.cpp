// The operations of TqmRepositoryTree that change the Safe and the tree together.
#include <algorithm>

#include "base/Exception.h"
#include "core/qmEntryEditSession.h"
#include "core/qmGlobal.h"
#include "core/qmRepositoryRules.h"
#include "core/qmRepositoryTree.h"

namespace quillmar {

namespace {

using TNode = TqmRepositoryTree::TNode;
using TItem = TqmRepositoryTree::TItem;

// What a change may alter of the items in memory (sort orders, parents, file and folder names),
// taken before it, so that a failed change leaves the items as the Safe has them again.
class TMemorySnapshot {
public:
  void Keep(TqmCategory& c) { categories_.push_back({&c, c.SortOrder(), c.Parent(), c.FolderName()}); }
  void Keep(TqmRepositoryEntry& e) { entries_.push_back({&e, e.SortOrder(), e.Parent(), e.FileName()}); }
  void KeepChildren(TNode& node) {
    for (auto& c : node.categories) Keep(*c->category);
    for (auto& e : node.entries) Keep(*e);
  }
  void Restore() {
    for (auto& k : categories_) {
      k.item->SetSortOrder(k.order);
      k.item->SetParent(k.parent);
      k.item->SetFolderName(k.name);
    }
    for (auto& k : entries_) {
      k.item->SetSortOrder(k.order);
      k.item->SetParent(k.parent);
      k.item->SetFileName(k.name);
    }
  }

private:
  template <class T>
  struct TKept {
    T* item;
    int32_t order;
    TqmCategory* parent;
    std::string name;
  };
  std::vector<TKept<TqmCategory>> categories_;
  std::vector<TKept<TqmRepositoryEntry>> entries_;
};

std::vector<TqmCategory*> CategoriesOf(const TNode& node, const TqmCategory* extra = nullptr) {
  std::vector<TqmCategory*> list;
  for (const auto& c : node.categories) list.push_back(c->category.get());
  if (extra) list.push_back(const_cast<TqmCategory*>(extra));
  return list;
}

std::vector<TqmRepositoryEntry*> EntriesOf(const TNode& node, const TqmRepositoryEntry* extra = nullptr) {
  std::vector<TqmRepositoryEntry*> list;
  for (const auto& e : node.entries) list.push_back(e.get());
  if (extra) list.push_back(const_cast<TqmRepositoryEntry*>(extra));
  return list;
}

// Takes the element that owns `item` out of `from`.
template <class T, class Owned>
std::unique_ptr<Owned> TakeOut(std::vector<std::unique_ptr<Owned>>& from, const T* item,
                               const T* (*of)(const Owned&)) {
  const auto it = std::find_if(from.begin(), from.end(), [&](const auto& p) { return of(*p) == item; });
  if (it == from.end()) return nullptr;
  std::unique_ptr<Owned> owned = std::move(*it);
  from.erase(it);
  return owned;
}

const TqmRepositoryEntry* EntryOf(const TqmRepositoryEntry& e) {
  return &e;
}
const TNode* NodeOf(const TNode& n) {
  return &n;
}

// Puts the elements of `list` in the order of `order` (pointers to their items), taking the one
// element that `list` lacks from `other`.
template <class T, class Owned>
void Arrange(std::vector<std::unique_ptr<Owned>>& list, const std::vector<const T*>& order,
             std::vector<std::unique_ptr<Owned>>& other, const T* (*of)(const Owned&)) {
  std::vector<std::unique_ptr<Owned>> arranged;
  for (const T* item : order) {
    std::unique_ptr<Owned> owned = TakeOut(list, item, of);
    if (!owned) owned = TakeOut(other, item, of);
    arranged.push_back(std::move(owned));
  }
  list = std::move(arranged);
}

}  // namespace

// --- Entries ----------------------------------------------------------------------------------------------

std::unique_ptr<TqmRepositoryEntry> TqmRepositoryTree::NewEntry(TNode& category) {
  if (!category.category) throw EQuillmarError("Entries can only be added to a category.");
  return std::make_unique<TqmRepositoryEntry>(category.category.get());
}

TqmRepositoryTree::TItem TqmRepositoryTree::AddEntry(TNode& category,
                                                     std::unique_ptr<TqmRepositoryEntry> entry,
                                                     TqmEntryEditSession& session) {
  InvalidateLabels();  // the children change
  Load(category);
  TMemorySnapshot before;
  before.KeepChildren(category);
  before.Keep(*entry);
  try {
    TqmSFSWrapper::TChange change(global_.Wrapper());
    session.Commit();
    RenumberEntries(global_, category.FolderPath(), EntriesOf(category, entry.get()));
    change.Commit();
  } catch (...) {
    before.Restore();
    throw;
  }
  category.entries.push_back(std::move(entry));
  return {&category, category.entries.back().get()};
}

TqmRepositoryTree::TItem TqmRepositoryTree::AddSavedEntry(TNode& category,
                                                          std::unique_ptr<TqmRepositoryEntry> entry) {
  InvalidateLabels();  // the children change
  // A category read only now holds the saved entry already, as read from the Safe.
  Load(category);
  TqmRepositoryEntry* added = nullptr;
  for (auto& e : category.entries)
    if (e->FileName() == entry->FileName()) added = e.get();
  TMemorySnapshot before;
  before.KeepChildren(category);
  try {
    TqmSFSWrapper::TChange change(global_.Wrapper());
    RenumberEntries(global_, category.FolderPath(),
                    added ? EntriesOf(category) : EntriesOf(category, entry.get()));
    change.Commit();
  } catch (...) {
    before.Restore();
    throw;
  }
  if (!added) {
    category.entries.push_back(std::move(entry));
    added = category.entries.back().get();
  }
  return {&category, added};
}

TqmRepositoryTree::TItem TqmRepositoryTree::PasteEntry(TNode& category, TqmClipboard& clipboard) {
  InvalidateLabels();  // the children change
  auto entry = NewEntry(category);
  try {
    entry->PasteFromClipboard(clipboard);
  } catch (const std::exception&) {
    return {};  // text of another kind: nothing to paste
  }
  if (entry->Fields().Count() == 0) return {};  // the marker, but no entry record after it
  Load(category);
  const std::string path = category.FolderPath();
  TMemorySnapshot before;
  before.KeepChildren(category);
  bool copied = false;
  {
    TqmSFSWrapper::TChange change(global_.Wrapper());
    try {
      // The copy gets reminders of its own: one shared with the original would go when either entry
      // is deleted, and fire for both.
      for (int i = 0; i < entry->Fields().Count(); ++i) {
        TqmField& f = entry->FieldAt(i);
        if (f.FieldType() != ftReminder || f.Value().empty()) continue;
        const std::string copy = global_.CopyReminder(f.Value());
        f.SetValue(copy);
        copied = copied || !copy.empty();
      }
      entry->SetSortOrder(global_.CountEntries(path));
      global_.SaveEntry(path, *entry);
      RenumberEntries(global_, path, EntriesOf(category, entry.get()));
      change.Commit();
    } catch (...) {
      before.Restore();
      throw;
    }
  }
  if (copied) global_.ScheduleReminders();
  category.entries.push_back(std::move(entry));
  return {&category, category.entries.back().get()};
}

TqmRepositoryTree::TItem TqmRepositoryTree::DeleteEntry(TNode& node, TqmRepositoryEntry& entry) {
  InvalidateLabels();  // the children change
  auto& list = node.entries;
  const auto it = std::find_if(list.begin(), list.end(), [&](const auto& p) { return p.get() == &entry; });
  if (it == list.end()) throw EQuillmarError("The entry is not in this category.");
  const int position = PositionOf({&node, &entry});
  std::vector<TqmRepositoryEntry*> remaining;
  for (auto& e : list)
    if (e.get() != &entry) remaining.push_back(e.get());
  TMemorySnapshot before;
  before.KeepChildren(node);
  try {
    TqmEntryEditSession session(global_, entry);
    session.DeleteEntry(remaining);
  } catch (...) {
    before.Restore();
    throw;
  }
  TItem next = ChildAt(node, position + 1);
  if (next.IsNone()) next = ChildAt(node, position - 1);
  if (next.IsNone()) next = {&node};
  list.erase(it);
  return next;
}

// --- Categories -----------------------------------------------------------------------------------------

TqmRepositoryTree::TNode& TqmRepositoryTree::AdoptCategory(TNode& parent,
                                                           std::unique_ptr<TqmCategory> category) {
  InvalidateLabels();  // the children change
  Load(parent);
  category->SetParent(parent.category.get());
  category->SetFolderName("");
  TMemorySnapshot before;
  before.KeepChildren(parent);
  before.Keep(*category);
  try {
    TqmSFSWrapper::TChange change(global_.Wrapper());
    category->SetSortOrder(global_.CountSubcategories(parent.category.get()));
    global_.SaveCategory(*category);
    RenumberCategories(global_, CategoriesOf(parent, category.get()));
    change.Commit();
  } catch (...) {
    before.Restore();
    throw;
  }
  auto node = std::make_unique<TNode>();
  node->parent = &parent;
  node->category = std::move(category);
  node->loaded = true;  // a new folder holds nothing
  parent.categories.push_back(std::move(node));
  return *parent.categories.back();
}

TqmRepositoryTree::TNode& TqmRepositoryTree::AddCategory(TNode& parent, const std::string& name) {
  auto category = std::make_unique<TqmCategory>(parent.category.get());
  category->SetName(name);
  return AdoptCategory(parent, std::move(category));
}

TqmRepositoryTree::TNode& TqmRepositoryTree::PasteCategory(TNode& parent, TqmClipboard& clipboard) {
  auto category = std::make_unique<TqmCategory>(parent.category.get());
  try {
    category->PasteFromClipboard(clipboard);
  } catch (const std::exception&) {
    // Text of another kind, or a marker followed by no category stream.
    throw EQuillmarError("wrong clipboard");
  }
  return AdoptCategory(parent, std::move(category));
}

std::optional<TqmRepositoryTree::TItem> TqmRepositoryTree::DeleteCategory(TNode& node) {
  InvalidateLabels();  // the children change
  if (!node.category || !node.parent) throw EQuillmarError("The top level is no category.");
  TNode& parent = *node.parent;
  const auto it = std::find_if(parent.categories.begin(), parent.categories.end(),
                               [&](const auto& p) { return p.get() == &node; });
  if (it == parent.categories.end()) throw EQuillmarError("The category is not in this tree.");
  const size_t position = static_cast<size_t>(it - parent.categories.begin());
  TMemorySnapshot before;
  before.KeepChildren(parent);
  try {
    TqmSFSWrapper::TChange change(global_.Wrapper());
    if (!global_.DeleteCategory(node.FolderPath())) return std::nullopt;
    std::vector<TqmCategory*> remaining;
    for (auto& c : parent.categories)
      if (c.get() != &node) remaining.push_back(c->category.get());
    RenumberCategories(global_, remaining);
    change.Commit();
  } catch (...) {
    before.Restore();
    throw;
  }
  TItem next;
  if (position + 1 < parent.categories.size())
    next = {parent.categories[position + 1].get()};
  else if (position > 0)
    next = {parent.categories[position - 1].get()};
  else if (parent.category)
    next = {&parent};
  parent.categories.erase(it);
  return next;
}

// --- Drag and drop --------------------------------------------------------------------------------------

bool TqmRepositoryTree::CanDrop(const TItem& source, const TItem& target, TqmDropMode mode) {
  if (source.IsNone() || target.IsNone() || source == target) return false;
  if (!source.entry && !source.node->category) return false;  // the top level is no item
  if (!target.entry && !target.node->category) return false;
  if (!source.entry && IsBelow(target, *source.node)) return false;
  TNode& sourceParent = ParentOf(source);
  TNode& targetParent = ParentOf(target);
  if (&sourceParent == &targetParent) {
    const int s = PositionOf(source);
    const int t = PositionOf(target);
    if (mode == TqmDropMode::Above && t == s + 1) return false;
    if (mode == TqmDropMode::Below && t == s - 1) return false;
  }
  if (mode != TqmDropMode::Above && !target.entry && target.node == &sourceParent) return false;
  if (!source.entry && target.entry) return false;
  if (source.entry && mode == TqmDropMode::On && target.entry) return false;
  if (source.entry && mode != TqmDropMode::On && !target.entry && target.node->IsTopLevel()) return false;
  return true;
}

bool TqmRepositoryTree::Drop(const TItem& source, const TItem& target, TqmDropMode mode) {
  InvalidateLabels();  // the children change
  if (!CanDrop(source, target, mode)) return false;
  TNode& from = ParentOf(source);
  TNode& to = mode == TqmDropMode::On ? *target.node : ParentOf(target);
  Load(from);
  Load(to);
  const bool moves = &from != &to;
  // The new order of the source's kind at the destination: the source just before or after the
  // target when they are of one kind, else (an entry beside a category) first, as on a drop onto it.
  auto placeOf = [&](auto& order, const auto* targetItem) {
    if (mode == TqmDropMode::On || targetItem == nullptr) return order.begin();
    auto at = std::find(order.begin(), order.end(), targetItem);
    return mode == TqmDropMode::Below ? at + 1 : at;
  };

  TMemorySnapshot before;
  before.KeepChildren(from);
  if (moves) before.KeepChildren(to);
  try {
    TqmSFSWrapper::TChange change(global_.Wrapper());
    if (source.entry) {
      TqmRepositoryEntry& e = *source.entry;
      std::vector<TqmRepositoryEntry*> order;
      for (auto& x : to.entries)
        if (x.get() != &e) order.push_back(x.get());
      order.insert(placeOf(order, target.entry), &e);
      if (moves) {
        // The file goes into the destination folder, under a fresh name when its own is taken there.
        const std::string oldPath = from.FolderPath();
        const std::string oldName = e.FileName();
        // MoveEntry never replaces a file of the same name: it refuses, and the entry is written anew.
        const bool carried = global_.MoveEntry(e, to.category.get(), false);
        e.SetParent(to.category.get());
        if (!carried) {
          e.SetFileName("");
          global_.SaveEntry(to.FolderPath(), e);
          if (!global_.DeleteEntry(oldPath, oldName))
            throw EQuillmarError("The entry \"" + e.Title() +
                                 "\" could not be moved: its file cannot be removed "
                                 "from its category.");
        }
        std::vector<TqmRepositoryEntry*> left;
        for (auto& x : from.entries)
          if (x.get() != &e) left.push_back(x.get());
        RenumberEntries(global_, oldPath, left);
      }
      // Saved where the number changed, and always when the file was carried over unchanged.
      const std::string path = to.FolderPath();
      for (size_t i = 0; i < order.size(); ++i) {
        const int32_t number = static_cast<int32_t>(i);
        if (order[i]->SortOrder() == number && !(order[i] == &e && moves)) continue;
        order[i]->SetSortOrder(number);
        global_.SaveEntry(path, *order[i]);
      }
      change.Commit();
      std::vector<const TqmRepositoryEntry*> arranged(order.begin(), order.end());
      Arrange(to.entries, arranged, from.entries, EntryOf);
      return true;
    }

    TNode& node = *source.node;
    std::vector<TNode*> order;
    for (auto& x : to.categories)
      if (x.get() != &node) order.push_back(x.get());
    order.insert(placeOf(order, target.entry ? nullptr : target.node), &node);
    if (moves) {
      if (!global_.MoveCategory(*node.category, to.category.get(), false))
        throw EQuillmarError("The category \"" + node.category->Name() +
                             "\" could not be moved there: the Safe refused the move. Nothing was changed.");
      node.category->SetParent(to.category.get());
      std::vector<TqmCategory*> left;
      for (auto& x : from.categories)
        if (x.get() != &node) left.push_back(x->category.get());
      RenumberCategories(global_, left);
    }
    for (size_t i = 0; i < order.size(); ++i) {
      TqmCategory& c = *order[i]->category;
      const int32_t number = static_cast<int32_t>(i);
      if (c.SortOrder() == number) continue;
      c.SetSortOrder(number);
      global_.SaveCategory(c);
    }
    change.Commit();
    std::vector<const TNode*> arranged(order.begin(), order.end());
    Arrange(to.categories, arranged, from.categories, NodeOf);
    node.parent = &to;
    return true;
  } catch (...) {
    before.Restore();
    throw;
  }
}

}  // namespace quillmar
