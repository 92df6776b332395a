#include "core/qmRepositoryTree.h"

#include <algorithm>
#include <functional>

#include "base/Exception.h"
#include "core/qmEntryEditSession.h"
#include "core/qmGlobal.h"
#include "core/qmRepositoryRules.h"

namespace quillmar {

TqmRepositoryTree::TqmRepositoryTree(TqmGlobal& global) : global_(global) {}

void TqmRepositoryTree::Load(TNode& node) {
  if (node.loaded) return;
  node.loaded = true;
  TqmCategory* parent = node.category.get();
  const int n = global_.CountSubcategories(parent);
  for (int i = 0; i < n; ++i) {
    auto cat = std::make_unique<TqmCategory>(parent);
    try {
      // A folder without a template is not a category: skip it.
      if (!global_.LoadCategory(parent, i, false, *cat)) continue;
    } catch (const std::exception& e) {
      warnings_.push_back(std::string(e.what()) + " That category and everything in it are left out.");
      continue;
    }
    auto child = std::make_unique<TNode>();
    child->parent = &node;
    child->category = std::move(cat);
    node.categories.push_back(std::move(child));
  }
  std::stable_sort(node.categories.begin(), node.categories.end(), [](const auto& a, const auto& b) {
    return a->category->SortOrder() < b->category->SortOrder();
  });

  if (!node.category) return;  // entries live in categories only
  const std::string path = node.FolderPath();
  for (const TqmUnreadableRecord& r : global_.Wrapper().UnreadableEntries(path))
    warnings_.push_back(r.Reason + " That entry is left out.");
  // Every readable entry file is read by its listing position and put in SortOrder: entries whose
  // numbers have gaps or repeats are shown too, and the next change renumbers them.
  for (int i = 0;; ++i) {
    auto e = std::make_unique<TqmRepositoryEntry>(node.category.get());
    try {
      if (!global_.LoadEntryAt(path, i, *e)) break;
    } catch (const std::exception& ex) {
      warnings_.push_back(std::string(ex.what()) + " That entry is left out.");
      continue;
    }
    node.entries.push_back(std::move(e));
  }
  std::stable_sort(node.entries.begin(), node.entries.end(),
                   [](const auto& a, const auto& b) { return a->SortOrder() < b->SortOrder(); });
}

void TqmRepositoryTree::LoadAll(TNode& node) {
  Load(node);
  for (auto& c : node.categories) LoadAll(*c);
}

void TqmRepositoryTree::Renumber(TNode& node) {
  Load(node);
  std::vector<TqmCategory*> categories;
  for (auto& c : node.categories) categories.push_back(c->category.get());
  RenumberCategories(global_, categories);
  std::vector<TqmRepositoryEntry*> entries;
  for (auto& e : node.entries) entries.push_back(e.get());
  RenumberEntries(global_, node.FolderPath(), entries);
}

void TqmRepositoryTree::DeleteEntry(TNode& node, TqmRepositoryEntry& entry) {
  auto& list = node.entries;
  const auto it = std::find_if(list.begin(), list.end(), [&](const auto& p) { return p.get() == &entry; });
  if (it == list.end()) throw EQuillmarError("The entry is not in this category.");
  std::vector<TqmRepositoryEntry*> remaining;
  for (auto& e : list)
    if (e.get() != &entry) remaining.push_back(e.get());
  {
    TqmEntryEditSession session(global_, entry);
    session.DeleteEntry(remaining);
  }
  list.erase(it);
}

std::vector<TqmRepositoryTree::THit> TqmRepositoryTree::Search(TNode& node, const std::string& text,
                                                               bool caseSensitive, bool allFields) {
  std::vector<THit> hits;
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

std::vector<std::string> TqmRepositoryTree::TakeWarnings() {
  std::vector<std::string> out;
  out.swap(warnings_);
  return out;
}

}  // namespace quillmar
