#pragma once
// TCliRepository: the category tree of the open Safe as the command line sees it, read through the
// application core, and the repository rules the commands need.
//
// Display order (the same as the desktop's tree): under each category (and at the top level) the
// sub-categories first, then the entries, each group in ascending SortOrder. Categories are read by
// their position among the folders and entries by their position among the entry files, so every one
// is found even when the numbers have gaps or repeats. Renumber restores the invariant (the entries
// of a category carry 0..m-1) after a change, as the desktop's tree does after every move, addition
// and removal.
//
// The rules themselves (renumbering, search) are the application core's (core/qmRepositoryRules.h);
// this class applies them to the tree it has loaded.
#include <memory>
#include <string>
#include <vector>

#include "cli/CliItemPath.h"
#include "model/qmCategory.h"
#include "model/qmRepositoryEntry.h"

namespace quillmar {

class TqmGlobal;
class TCliConsole;

class TCliRepository {
public:
  struct TNode {
    TNode* parent = nullptr;
    std::unique_ptr<TqmCategory> category;  // null for the top level
    std::vector<std::unique_ptr<TNode>> categories;
    std::vector<std::unique_ptr<TqmRepositoryEntry>> entries;
    int storedEntries = 0;  // CountEntries: more than entries.size() means some could not be read
    bool loaded = false;

    // The category path inside the Safe ("" at the top level).
    std::string FolderPath() const { return category ? category->FolderPath() : std::string(); }
  };

  // What a path names: a category node, or an entry of a category node.
  struct TItem {
    TNode* node = nullptr;  // the category (entry == nullptr) or the entry's category
    TqmRepositoryEntry* entry = nullptr;
    bool IsEntry() const { return entry != nullptr; }
  };

  enum class TWant { Category, Entry, Either };

  TCliRepository(TqmGlobal& global, const TCliConsole& console);

  TNode& Root() { return root_; }
  // Reads the children of node once.
  void Load(TNode& node);
  void LoadAll(TNode& node);

  // Resolves a command-line path (UTF-8). The top level is a category item with node == &Root().
  // A name that matches none, or several without "#n", throws ECliError (usage) saying so. For
  // TWant::Either a name that matches a category and an entry is taken as the category when the
  // path ends in "/", else refused as ambiguous.
  TItem Resolve(const std::string& path, TWant want);

  // The command-line path of an item ("Internet/Mail/My mailbox", "Internet/Mail/" for a category),
  // with "#n" where siblings share the name.
  std::string PathOf(const TNode& node);
  std::string PathOf(const TNode& parent, const TqmRepositoryEntry& entry);
  // The shown name of a category (UTF-8, escaped, with "#n" when needed), and of an entry.
  std::string LabelOf(const TNode& node);
  std::string LabelOf(const TNode& parent, const TqmRepositoryEntry& entry);

  // Gives the children of node the sort orders 0..n-1 (categories) and 0..m-1 (entries) in display
  // order and saves those whose number changed.
  void Renumber(TNode& node);

  // The search of the repository: a category matches when text occurs in its Name, an entry when it
  // occurs in its Title (ignoring letter case through the code page's upper-case mapping unless
  // caseSensitive); failing that, with allFields, when text occurs (letter case counting) in the Name
  // or Value of one of its fields. An empty text matches nothing. Texts are 8-bit.
  static bool Matches(const std::string& text, const std::string& haystack, bool caseSensitive);
  static bool CategoryMatches(const TqmCategory& c, const std::string& text, bool caseSensitive,
                              bool allFields);
  static bool EntryMatches(const TqmRepositoryEntry& e, const std::string& text, bool caseSensitive,
                           bool allFields);

  // Warnings gathered while loading (entries that could not be read by their sort order).
  std::vector<std::string> TakeWarnings();

private:
  int Occurrence(const TNode& parent, const TNode& child) const;
  int Occurrence(const TNode& parent, const TqmRepositoryEntry& entry) const;

  TqmGlobal& global_;
  const TCliConsole& console_;
  TNode root_;
  std::vector<std::string> warnings_;
};

}  // namespace quillmar
