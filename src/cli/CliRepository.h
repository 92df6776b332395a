#pragma once
// TCliRepository: how the command line names the categories and entries of the repository tree
// (core/qmRepositoryTree.h): labels and paths as `ls` prints them, and Resolve, which finds what a
// command-line path names. Loading, display order, renumbering, search and the warnings about records
// that cannot be read are the tree's.
#include <string>

#include "cli/CliItemPath.h"
#include "core/qmRepositoryTree.h"

namespace quillmar {

class TqmGlobal;
class TCliConsole;

class TCliRepository : public TqmRepositoryTree {
public:
  using TNode = TqmRepositoryTree::TNode;

  // What a path names: a category node, or an entry of a category node.
  struct TItem {
    TNode* node = nullptr;  // the category (entry == nullptr) or the entry's category
    TqmRepositoryEntry* entry = nullptr;
    bool IsEntry() const { return entry != nullptr; }
  };

  enum class TWant { Category, Entry, Either };

  TCliRepository(TqmGlobal& global, const TCliConsole& console);

  // Resolves a command-line path (UTF-8). The top level is a category item with node == &Root().
  // A name that matches none, or several without "#n", throws ECliError (usage) saying so; a name
  // that matches none where a record is damaged (its name may be the one lost) is a failure (exit 4)
  // that names the damaged record. For
  // TWant::Either a name that matches a category and an entry is taken as the category when the
  // path ends in "/", else refused as ambiguous.
  TItem Resolve(const std::string& path, TWant want);

  // The command-line path of an item ("Internet/Mail/My mailbox", "Internet/Mail/" for a category),
  // with "#n" where siblings share the name. The numbers of a category's children are worked out once
  // (TqmRepositoryTree::OccurrenceOf), so labelling a whole listing costs one pass per category; after
  // changing a name or title in place, call InvalidateLabels first.
  std::string PathOf(const TNode& node);
  std::string PathOf(const TNode& parent, const TqmRepositoryEntry& entry);
  // The shown name of a category (UTF-8, escaped, with "#n" when needed), and of an entry. A control
  // character (a line break in a Memo title) is shown escaped, so that a label is always one line.
  std::string LabelOf(const TNode& node);
  std::string LabelOf(const TNode& parent, const TqmRepositoryEntry& entry);

private:
  const TCliConsole& console_;
};

}  // namespace quillmar
