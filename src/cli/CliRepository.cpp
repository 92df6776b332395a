#include "cli/CliRepository.h"

#include <algorithm>

#include "cli/CliConsole.h"
#include "cli/CliError.h"

namespace quillmar {

namespace {

bool EndsWithUnescapedSlash(const std::string& path) {
  if (path.empty() || path.back() != '/') return false;
  size_t backslashes = 0;
  for (size_t i = path.size() - 1; i > 0 && path[i - 1] == '\\'; --i) ++backslashes;
  return backslashes % 2 == 0;
}

// Why a name may not be found among node's children although the user typed it right: a damaged
// record there (an entry's when an entry was asked for, a category's when a category was), named;
// "" when none.
std::string DamageThatMayHide(const TCliRepository::TNode& node, bool entry, bool category) {
  std::string problem;
  if (entry) {
    if (!node.unreadableEntries.empty())
      problem = node.unreadableEntries.front();
    else if (!node.damagedEntries.empty())
      problem = node.damagedEntries.begin()->second;
  }
  if (category && problem.empty()) {
    for (const auto& c : node.categories)
      if (!c->problem.empty()) {
        problem = c->problem;
        break;
      }
  }
  if (problem.empty()) return "";
  return "a record there is damaged and its name cannot be read: " + problem +
         " (\"quillmar-cli check SAFE --deep\" lists the damage; \"quillmar-cli repair SAFE\" mends what it "
         "can)";
}

}  // namespace

TCliRepository::TCliRepository(TqmGlobal& global, const TCliConsole& console)
    : TqmRepositoryTree(global), console_(console) {}

std::string TCliRepository::LabelOf(const TNode& node) {
  if (!node.category) return "";
  return TCliItemPath::FormatPart({console_.Show(node.category->Name()), OccurrenceOf(*node.parent, node)});
}

std::string TCliRepository::LabelOf(const TNode& parent, const TqmRepositoryEntry& entry) {
  return TCliItemPath::FormatPart({console_.Show(entry.Title()), OccurrenceOf(parent, entry)});
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
  TNode* node = &Root();
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
      // Where a record is damaged the name may be the lost one: that is damage, not a typing error.
      const bool couldBeEntry = last && want != TWant::Category;
      if (const std::string damage = DamageThatMayHide(*node, couldBeEntry, !takeEntry); !damage.empty())
        throw Failure(msg + ", but " + OneLine(console_, damage));
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

}  // namespace quillmar
