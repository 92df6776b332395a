#include "cli/CliRepository.h"

#include <algorithm>

#include "cli/CliConsole.h"
#include "cli/CliError.h"
#include "core/qmGlobal.h"
#include "core/qmRepositoryRules.h"

namespace quillmar {

namespace {

bool EndsWithUnescapedSlash(const std::string& path) {
  if (path.empty() || path.back() != '/') return false;
  size_t backslashes = 0;
  for (size_t i = path.size() - 1; i > 0 && path[i - 1] == '\\'; --i) ++backslashes;
  return backslashes % 2 == 0;
}

}  // namespace

TCliRepository::TCliRepository(TqmGlobal& global, const TCliConsole& console)
    : global_(global), console_(console) {}

void TCliRepository::Load(TNode& node) {
  if (node.loaded) return;
  node.loaded = true;
  const TqmCategory* parent = node.category.get();
  const int n = global_.CountSubcategories(parent);
  for (int i = 0; i < n; ++i) {
    auto cat = std::make_unique<TqmCategory>(const_cast<TqmCategory*>(parent));
    // A folder without a template is not a category: skip it.
    if (!global_.LoadCategory(parent, i, false, *cat)) continue;
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
  node.storedEntries = global_.CountEntries(path);
  // Every entry file is read by its listing position and put in SortOrder: entries whose numbers have
  // gaps or repeats are shown too, and the next change renumbers them.
  for (int i = 0;; ++i) {
    auto e = std::make_unique<TqmRepositoryEntry>(node.category.get());
    if (!global_.LoadEntryAt(path, i, *e)) break;
    node.entries.push_back(std::move(e));
  }
  std::stable_sort(node.entries.begin(), node.entries.end(),
                   [](const auto& a, const auto& b) { return a->SortOrder() < b->SortOrder(); });
  if (static_cast<int>(node.entries.size()) < node.storedEntries)
    warnings_.push_back("the category " + PathOf(node) + " holds " + std::to_string(node.storedEntries) +
                        " entry files but only " + std::to_string(node.entries.size()) +
                        " could be read; the others are empty or damaged");
}

void TCliRepository::LoadAll(TNode& node) {
  Load(node);
  for (auto& c : node.categories) LoadAll(*c);
}

int TCliRepository::Occurrence(const TNode& parent, const TNode& child) const {
  int index = 0, total = 0;
  for (const auto& c : parent.categories) {
    if (c->category->Name() != child.category->Name()) continue;
    ++total;
    if (c.get() == &child) index = total;
  }
  return total > 1 ? index : 0;
}

int TCliRepository::Occurrence(const TNode& parent, const TqmRepositoryEntry& entry) const {
  int index = 0, total = 0;
  const std::string title = entry.Title();
  for (const auto& e : parent.entries) {
    if (e->Title() != title) continue;
    ++total;
    if (e.get() == &entry) index = total;
  }
  return total > 1 ? index : 0;
}

std::string TCliRepository::LabelOf(const TNode& node) {
  if (!node.category) return "";
  return TCliItemPath::FormatPart({console_.Show(node.category->Name()), Occurrence(*node.parent, node)});
}

std::string TCliRepository::LabelOf(const TNode& parent, const TqmRepositoryEntry& entry) {
  return TCliItemPath::FormatPart({console_.Show(entry.Title()), Occurrence(parent, entry)});
}

std::string TCliRepository::PathOf(const TNode& node) {
  if (!node.category) return "/";
  std::vector<const TNode*> chain;
  for (const TNode* n = &node; n && n->category; n = n->parent) chain.push_back(n);
  std::string out;
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) out += LabelOf(**it) + "/";
  return out;
}

std::string TCliRepository::PathOf(const TNode& parent, const TqmRepositoryEntry& entry) {
  std::string base = PathOf(parent);
  if (base == "/") base.clear();
  return base + LabelOf(parent, entry);
}

TCliRepository::TItem TCliRepository::Resolve(const std::string& path, TWant want) {
  const auto parts = TCliItemPath::Parse(path);
  TNode* node = &root_;
  if (parts.empty()) {
    if (want == TWant::Entry)
      throw UsageError("give the path of an entry (category names and the title, joined by \"/\")");
    return {node, nullptr};
  }
  for (size_t k = 0; k < parts.size(); ++k) {
    Load(*node);
    const bool last = k + 1 == parts.size();
    const std::string name = console_.Take(parts[k].name, "the name \"" + parts[k].name + "\"");
    const std::string where = node->category ? "in " + PathOf(*node) : "at the top level";

    std::vector<TNode*> cats;
    for (auto& c : node->categories)
      if (c->category->Name() == name) cats.push_back(c.get());
    std::vector<TqmRepositoryEntry*> entries;
    if (last)
      for (auto& e : node->entries)
        if (e->Title() == name) entries.push_back(e.get());

    const bool takeCategory = !last || want == TWant::Category ||
                              (want == TWant::Either && (entries.empty() || EndsWithUnescapedSlash(path)));
    const bool takeEntry = last && (want == TWant::Entry || (want == TWant::Either && !takeCategory));
    if (want == TWant::Either && last && !cats.empty() && !entries.empty() && !EndsWithUnescapedSlash(path))
      throw UsageError("\"" + path + "\" names both a category and an entry " + where +
                       ": end it in \"/\" for the category");

    const size_t count = takeEntry ? entries.size() : cats.size();
    const std::string kind = takeEntry ? "entry titled" : "category";
    if (count == 0) {
      std::string msg = "no " + kind + " \"" + parts[k].name + "\" " + where;
      if (takeEntry && !cats.empty()) msg += " (there is a category of that name)";
      if (!takeEntry && last && want != TWant::Category && !entries.empty())
        msg += " (there is an entry of that title)";
      throw UsageError(msg);
    }
    const int occ = parts[k].occurrence;
    if (occ == 0 && count > 1)
      throw UsageError("\"" + parts[k].name + "\" is ambiguous " + where + ": " + std::to_string(count) +
                       " " + (takeEntry ? "entries carry" : "categories carry") + " it; name one as \"" +
                       TCliItemPath::Escape(parts[k].name) + "#1\" ... \"#" + std::to_string(count) + "\"");
    if (occ > static_cast<int>(count))
      throw UsageError("there is no " + kind + " \"" + parts[k].name + "\" number " + std::to_string(occ) +
                       " " + where + " (there " + (count == 1 ? "is 1" : "are " + std::to_string(count)) +
                       ")");
    const size_t pick = occ == 0 ? 0 : static_cast<size_t>(occ - 1);
    if (takeEntry) return {node, entries[pick]};
    node = cats[pick];
  }
  if (want == TWant::Entry) throw UsageError("\"" + path + "\" is a category, not an entry");
  return {node, nullptr};
}

void TCliRepository::Renumber(TNode& node) {
  Load(node);
  std::vector<TqmCategory*> categories;
  for (auto& c : node.categories) categories.push_back(c->category.get());
  RenumberCategories(global_, categories);
  std::vector<TqmRepositoryEntry*> entries;
  for (auto& e : node.entries) entries.push_back(e.get());
  RenumberEntries(global_, node.FolderPath(), entries);
}

bool TCliRepository::Matches(const std::string& text, const std::string& haystack, bool caseSensitive) {
  return RepositoryTextMatches(text, haystack, caseSensitive);
}

bool TCliRepository::CategoryMatches(const TqmCategory& c, const std::string& text, bool caseSensitive,
                                     bool allFields) {
  return RepositoryCategoryMatches(c, text, caseSensitive, allFields);
}

bool TCliRepository::EntryMatches(const TqmRepositoryEntry& e, const std::string& text, bool caseSensitive,
                                  bool allFields) {
  return RepositoryEntryMatches(e, text, caseSensitive, allFields);
}

std::vector<std::string> TCliRepository::TakeWarnings() {
  std::vector<std::string> out;
  out.swap(warnings_);
  return out;
}

}  // namespace quillmar
