#include "core/qmRepositoryTree.h"

#include <algorithm>
#include <atomic>
#include <functional>
#include <limits>
#include <string_view>

#include "base/SecureWipe.h"
#include "core/qmGlobal.h"
#include "core/qmRepositoryRules.h"
#include "safe/qmSFSWrapper.h"

namespace quillmar {

TqmRepositoryTree::TqmRepositoryTree(TqmGlobal& global) : global_(global) {}

bool TqmRepositoryTree::TNode::HoldsDamage() const {
  if (!damagedEntries.empty() || !unreadableEntries.empty()) return true;
  return std::any_of(categories.begin(), categories.end(), [](const auto& c) { return !c->problem.empty(); });
}

void TqmRepositoryTree::Load(TNode& node) {
  if (node.loaded) return;
  node.loaded = true;
  labels_.erase(&node);
  ReadChildren(node, node, warnings_);
}

void TqmRepositoryTree::ReadChildren(TNode& node, TNode& into, std::vector<std::string>& warnings) {
  TqmCategory* parent = node.category.get();
  TqmSFSWrapper& safe = global_.Wrapper();
  // One lock for the whole category, not one per record.
  TqmSFSWrapper::TRead reading(safe);
  const std::string folder = std::string(TqmSFSWrapper::kRepositoryRoot) + node.FolderPath();
  // The folders in listing order: LoadCategory's positions.
  const std::vector<std::string> folders = safe.ListNames(folder, true);
  for (size_t i = 0; i < folders.size(); ++i) {
    auto cat = std::make_unique<TqmCategory>(parent);
    std::string problem;
    try {
      if (!global_.LoadCategory(parent, static_cast<int32_t>(i), false, *cat)) {
        // A folder without a record is a category only when something is in it.
        const std::string sub = folder + folders[i] + "\\";
        if (safe.ListNames(sub, false).empty() && safe.ListNames(sub, true).empty()) continue;
        problem = "The category folder \"" + sub + "\" holds no category record (" +
                  TqmSFSWrapper::kCategoryTemplateFile + ").";
      }
    } catch (const std::exception& e) {
      problem = e.what();
    }
    if (!problem.empty()) {
      // Its name and template are lost with the record; what is in it is not.
      cat = std::make_unique<TqmCategory>(parent);
      cat->SetFolderName(folders[i]);
      cat->SetName(folders[i]);
      cat->SetSortOrder(std::numeric_limits<int32_t>::max());
      warnings.push_back(
          problem + " The category is shown under its folder name \"" + folders[i] +
          "\", without a template, with everything in it; a repair writes a new record for it.");
    }
    auto child = std::make_unique<TNode>();
    child->parent = &node;
    child->category = std::move(cat);
    child->problem = problem;
    into.categories.push_back(std::move(child));
  }
  std::stable_sort(into.categories.begin(), into.categories.end(), [](const auto& a, const auto& b) {
    return a->category->SortOrder() < b->category->SortOrder();
  });

  if (!node.category) return;  // entries live in categories only
  const std::string path = node.FolderPath();
  for (const TqmUnreadableRecord& r : safe.UnreadableEntries(path)) {
    warnings.push_back(r.Reason + " That entry is left out.");
    into.unreadableEntries.push_back(r.Reason);
  }
  std::map<std::string, std::string> damaged;  // record path -> why
  for (const TqmUnreadableRecord& r : safe.DamagedEntries(path)) damaged[r.Path] = r.Reason;
  // Every readable entry file is read by its listing position and put in SortOrder: entries whose
  // numbers have gaps or repeats are shown too, and the next change renumbers them.
  for (int i = 0;; ++i) {
    auto e = std::make_unique<TqmRepositoryEntry>(node.category.get());
    try {
      if (!global_.LoadEntryAt(path, i, *e)) break;
    } catch (const std::exception& ex) {
      warnings.push_back(std::string(ex.what()) + " That entry is left out.");
      into.unreadableEntries.push_back(ex.what());
      continue;
    }
    if (auto d = damaged.find(folder + e->FileName()); d != damaged.end()) {
      warnings.push_back(d->second);
      into.damagedEntries[e.get()] = d->second;
    }
    into.entries.push_back(std::move(e));
  }
  std::stable_sort(into.entries.begin(), into.entries.end(),
                   [](const auto& a, const auto& b) { return a->SortOrder() < b->SortOrder(); });
}

void TqmRepositoryTree::LoadAll(TNode& node) {
  Load(node);
  for (auto& c : node.categories) LoadAll(*c);
}

namespace {

// The categories below node that are loaded now, at every depth.
void CountCategories(const TqmRepositoryTree::TNode& node, int& count) {
  for (const auto& c : node.categories) {
    ++count;
    CountCategories(*c, count);
  }
}

}  // namespace

bool TqmRepositoryTree::ReadUnloaded(TNode& node, TPendingRead& pending,
                                     const std::function<void(double, bool&)>& progress) {
  // The categories known now give the progress's scale; those found while reading add to it.
  int total = 1, done = 0;
  CountCategories(node, total);
  bool cancel = false;
  auto step = [&] {
    ++done;
    if (progress) progress(std::min(1.0, double(done) / double(std::max(total, done + 1))), cancel);
    return !cancel;
  };
  // A detached node (read in this call) belongs to `pending` alone: it is filled in place.
  std::function<bool(TNode&)> readDetached = [&](TNode& n) {
    n.loaded = true;
    ReadChildren(n, n, pending.warnings);
    total += static_cast<int>(n.categories.size());
    if (!step()) return false;
    for (auto& c : n.categories)
      if (!readDetached(*c)) return false;
    return true;
  };
  // A node of the tree: read only when not loaded; the tree's nodes are only looked at.
  std::function<bool(TNode&)> walk = [&](TNode& n) {
    if (n.loaded) {
      if (!step()) return false;
      for (auto& c : n.categories)
        if (!walk(*c)) return false;
      return true;
    }
    auto scratch = std::make_unique<TNode>();
    ReadChildren(n, *scratch, pending.warnings);
    total += static_cast<int>(scratch->categories.size());
    if (!step()) return false;
    for (auto& c : scratch->categories)
      if (!readDetached(*c)) return false;
    pending.reads.emplace_back(&n, std::move(scratch));
    return true;
  };
  return walk(node);
}

void TqmRepositoryTree::AttachRead(TPendingRead& pending) {
  for (auto& [node, read] : pending.reads) {
    if (node->loaded) continue;  // read meanwhile by the tree's own thread: that reading stands
    node->loaded = true;
    labels_.erase(node);
    node->categories = std::move(read->categories);
    node->entries = std::move(read->entries);
    node->damagedEntries = std::move(read->damagedEntries);
    node->unreadableEntries = std::move(read->unreadableEntries);
  }
  warnings_.insert(warnings_.end(), pending.warnings.begin(), pending.warnings.end());
  pending.reads.clear();
  pending.warnings.clear();
}

// --- Positions ------------------------------------------------------------------------------------------

TqmRepositoryTree::TNode& TqmRepositoryTree::ParentOf(const TItem& item) {
  return item.entry ? *item.node : *item.node->parent;
}

int TqmRepositoryTree::PositionOf(const TItem& item) {
  const TNode& parent = ParentOf(item);
  const int categories = static_cast<int>(parent.categories.size());
  if (item.entry) {
    for (int i = 0; i < static_cast<int>(parent.entries.size()); ++i)
      if (parent.entries[static_cast<size_t>(i)].get() == item.entry) return categories + i;
    return -1;
  }
  for (int i = 0; i < categories; ++i)
    if (parent.categories[static_cast<size_t>(i)].get() == item.node) return i;
  return -1;
}

TqmRepositoryTree::TItem TqmRepositoryTree::ChildAt(TNode& node, int position) {
  const int categories = static_cast<int>(node.categories.size());
  if (position < 0) return {};
  if (position < categories) return {node.categories[static_cast<size_t>(position)].get()};
  const size_t e = static_cast<size_t>(position - categories);
  if (e < node.entries.size()) return {&node, node.entries[e].get()};
  return {};
}

bool TqmRepositoryTree::IsBelow(const TItem& item, const TNode& ancestor) {
  const TNode* n = item.entry ? item.node : item.node->parent;
  for (; n != nullptr; n = n->parent)
    if (n == &ancestor) return true;
  return false;
}

void TqmRepositoryTree::Renumber(TNode& node) {
  InvalidateLabels();
  Load(node);
  // Damaged records are never written here: saving them would replace them with what was read.
  std::vector<TqmCategory*> categories;
  for (auto& c : node.categories)
    if (c->problem.empty()) categories.push_back(c->category.get());
  RenumberCategories(global_, categories);
  std::vector<TqmRepositoryEntry*> entries;
  for (auto& e : node.entries)
    if (node.damagedEntries.count(e.get()) == 0) entries.push_back(e.get());
  RenumberEntries(global_, node.FolderPath(), entries);
}

// --- Search ---------------------------------------------------------------------------------------------

std::vector<TqmRepositoryTree::TItem> TqmRepositoryTree::Search(TNode& node, const std::string& text,
                                                                bool caseSensitive, bool allFields) {
  std::vector<TItem> hits;
  std::function<void(TNode&)> walk = [&](TNode& n) {
    Load(n);
    for (auto& sub : n.categories) {
      if (RepositoryCategoryMatches(*sub->category, text, caseSensitive, allFields))
        hits.push_back({sub.get()});
      walk(*sub);
    }
    for (auto& e : n.entries)
      if (RepositoryEntryMatches(*e, text, caseSensitive, allFields)) hits.push_back({&n, e.get()});
  };
  walk(node);
  return hits;
}

bool TqmRepositoryTree::FindBelow(TNode& node, int from, const std::string& text, bool caseSensitive,
                                  bool allFields, TItem& found) {
  Load(node);
  const int categories = static_cast<int>(node.categories.size());
  for (int i = std::max(from, 0); i < categories; ++i) {
    TNode& sub = *node.categories[static_cast<size_t>(i)];
    if (RepositoryCategoryMatches(*sub.category, text, caseSensitive, allFields)) {
      found = {&sub};
      return true;
    }
    if (FindBelow(sub, 0, text, caseSensitive, allFields, found)) return true;
  }
  for (size_t e = static_cast<size_t>(std::max(from - categories, 0)); e < node.entries.size(); ++e) {
    if (RepositoryEntryMatches(*node.entries[e], text, caseSensitive, allFields)) {
      found = {&node, node.entries[e].get()};
      return true;
    }
  }
  return false;
}

TqmRepositoryTree::TItem TqmRepositoryTree::FindNext(const TItem& start, bool includeStart,
                                                     const std::string& text, bool caseSensitive,
                                                     bool allFields) {
  if (text.empty()) return {};
  TItem found;
  if (start.IsNone() || (!start.entry && !start.node->category)) {
    if (FindBelow(start.IsNone() ? root_ : *start.node, 0, text, caseSensitive, allFields, found))
      return found;
    return {};
  }
  if (includeStart) {
    const bool matches =
        start.entry ? RepositoryEntryMatches(*start.entry, text, caseSensitive, allFields)
                    : RepositoryCategoryMatches(*start.node->category, text, caseSensitive, allFields);
    if (matches) return start;
  }
  // Below the start category, then after the start on each level up to the top.
  if (!start.entry && FindBelow(*start.node, 0, text, caseSensitive, allFields, found)) return found;
  TItem at = start;
  while (true) {
    TNode& parent = ParentOf(at);
    if (FindBelow(parent, PositionOf(at) + 1, text, caseSensitive, allFields, found)) return found;
    if (!parent.category) return {};
    at = {&parent};
  }
}

// --- Labels ---------------------------------------------------------------------------------------------

namespace {

std::atomic<uint64_t> labelledChildren{0};

// Numbers the names in list order: 0 where a name is alone, else 1, 2, ... among its equals.
std::vector<int> NumberEqualNames(const std::vector<std::string>& names) {
  std::unordered_map<std::string_view, std::pair<int, int>> seen;  // name -> (total, numbered so far)
  for (const std::string& n : names) ++seen[n].first;
  std::vector<int> out;
  out.reserve(names.size());
  for (const std::string& n : names) {
    auto& [total, numbered] = seen[n];
    out.push_back(total > 1 ? ++numbered : 0);
  }
  labelledChildren += names.size();
  return out;
}

}  // namespace

TqmRepositoryTree::TOccurrences TqmRepositoryTree::Occurrences(const TNode& node) {
  std::vector<std::string> names;
  names.reserve(node.categories.size());
  for (const auto& c : node.categories) names.push_back(c->category->Name());
  TOccurrences out;
  out.categories = NumberEqualNames(names);
  names.clear();
  names.reserve(node.entries.size());
  for (const auto& e : node.entries) names.push_back(e->Title());
  out.entries = NumberEqualNames(names);
  for (std::string& n : names) WipeString(n);  // titles of entries are the user's text
  return out;
}

uint64_t TqmRepositoryTree::LabelledChildren() {
  return labelledChildren.load();
}

const TqmRepositoryTree::TKeptLabels& TqmRepositoryTree::LabelsOf(const TNode& node) {
  auto it = labels_.find(&node);
  if (it != labels_.end() && it->second.categoryAt.size() == node.categories.size() &&
      it->second.entryAt.size() == node.entries.size())
    return it->second;
  TKeptLabels kept;
  kept.occurrences = Occurrences(node);
  for (size_t i = 0; i < node.categories.size(); ++i) kept.categoryAt[node.categories[i].get()] = i;
  for (size_t i = 0; i < node.entries.size(); ++i) kept.entryAt[node.entries[i].get()] = i;
  return labels_[&node] = std::move(kept);
}

int TqmRepositoryTree::OccurrenceOf(const TNode& parent, const TNode& child) {
  const TKeptLabels& kept = LabelsOf(parent);
  auto at = kept.categoryAt.find(&child);
  return at == kept.categoryAt.end() ? 0 : kept.occurrences.categories[at->second];
}

int TqmRepositoryTree::OccurrenceOf(const TNode& parent, const TqmRepositoryEntry& entry) {
  const TKeptLabels& kept = LabelsOf(parent);
  auto at = kept.entryAt.find(&entry);
  return at == kept.entryAt.end() ? 0 : kept.occurrences.entries[at->second];
}

int TqmRepositoryTree::OccurrenceAmong(const std::vector<TqmEntryTitle>& titles,
                                       const std::string& fileName) {
  const auto self = std::find_if(titles.begin(), titles.end(),
                                 [&](const TqmEntryTitle& t) { return t.FileName == fileName; });
  if (self == titles.end()) return -1;
  // Load sorts the entries stably by sort order: those of the same title before this one are those of
  // a lower number, and those of the same number listed before it.
  const size_t at = static_cast<size_t>(self - titles.begin());
  int sharing = 0, before = 0;
  for (size_t i = 0; i < titles.size(); ++i) {
    const TqmEntryTitle& t = titles[i];
    if (t.Title != self->Title) continue;
    ++sharing;
    if (t.SortOrder < self->SortOrder || (t.SortOrder == self->SortOrder && i < at)) ++before;
  }
  labelledChildren += titles.size();
  return sharing > 1 ? before + 1 : 0;
}

int TqmRepositoryTree::OccurrenceOfSaved(TNode& category, const std::string& fileName) {
  if (category.loaded) {
    for (const auto& e : category.entries)
      if (e->FileName() == fileName) return OccurrenceOf(category, *e);
    return -1;
  }
  TqmSFSWrapper& safe = global_.Wrapper();
  TqmSFSWrapper::TRead reading(safe);
  const std::string path = category.FolderPath();
  std::vector<TqmEntryTitle> titles = safe.EntryTitles(path);
  // The warnings a Load of the category gives about its entry records, in the same order.
  for (const TqmUnreadableRecord& r : safe.UnreadableEntries(path))
    warnings_.push_back(r.Reason + " That entry is left out.");
  for (const TqmUnreadableRecord& r : safe.DamagedEntries(path)) warnings_.push_back(r.Reason);
  const int occurrence = OccurrenceAmong(titles, fileName);
  for (TqmEntryTitle& t : titles) WipeString(t.Title);
  return occurrence;
}

std::vector<std::string> TqmRepositoryTree::TakeWarnings() {
  std::vector<std::string> out;
  out.swap(warnings_);
  return out;
}

}  // namespace quillmar
