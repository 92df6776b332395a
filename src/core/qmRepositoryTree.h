#pragma once
// TqmRepositoryTree: the category tree of the open Safe as the front ends show it, read through the
// application core. Both the desktop's repository view and the command line work on it.
//
// Display order: under each category (and at the top level) the sub-categories first, then the
// entries, each group in ascending SortOrder (equal numbers keep the listing order). Categories are
// read by their position among the folders and entries by their position among the entry files, so
// every one is found even when the numbers have gaps or repeats. Renumber restores the invariant
// (the children of a node carry 0..n-1) after a change, as every move, addition and removal needs.
//
// Damage costs the damaged record, never what is around it or below it; each damaged record is named
// in a warning, by its path in the Safe:
//  - an entry record that cannot be read (a damaged page, an empty or garbled file) is left out; one
//    that is damaged but partly readable is shown as far as it reads (TNode::damagedEntries);
//  - a category whose record cannot be read (or is missing, while its folder holds entries or
//    categories) is shown under its folder name with no template (TNode::problem), and what is in it
//    is read as usual. Repair writes a new record for it (core/qmSafeCheck.h). An empty folder
//    without a record is no category and is skipped.
// Damaged nodes and entries keep their numbers: Renumber never writes them (it would replace what is
// left of a record with what could be read of it).
//
// The tree owns what it loaded; nodes and entries stay where they are until the tree dies or the
// caller removes them from their lists. The rules it applies are those of core/qmRepositoryRules.h.
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "model/qmCategory.h"
#include "model/qmRepositoryEntry.h"

namespace quillmar {

class TqmGlobal;

class TqmRepositoryTree {
public:
  struct TNode {
    TNode* parent = nullptr;
    std::unique_ptr<TqmCategory> category;  // null for the top level
    std::vector<std::unique_ptr<TNode>> categories;
    std::vector<std::unique_ptr<TqmRepositoryEntry>> entries;
    bool loaded = false;
    // Not empty for a category whose record is damaged: why. Its category then has the folder's name
    // as Name and FolderName, no fields and the highest sort order (it is shown last).
    std::string problem;
    // Entries shown although their record is damaged, and why (see TqmSFSWrapper::DamagedEntries).
    std::map<const TqmRepositoryEntry*, std::string> damagedEntries;
    // The entry records of this category that were left out because nothing of them can be read.
    std::vector<std::string> unreadableEntries;
    // The damaged children: categories with a problem, and entries damaged or left out.
    bool HoldsDamage() const;

    // The category path inside the Safe ("" at the top level).
    std::string FolderPath() const { return category ? category->FolderPath() : std::string(); }
  };

  // One hit of Search: a category (entry == nullptr) or an entry of the category node.
  struct THit {
    TNode* node = nullptr;
    TqmRepositoryEntry* entry = nullptr;
  };

  explicit TqmRepositoryTree(TqmGlobal& global);
  TqmRepositoryTree(const TqmRepositoryTree&) = delete;
  TqmRepositoryTree& operator=(const TqmRepositoryTree&) = delete;

  TNode& Root() { return root_; }
  // Reads the children of node once, in display order.
  void Load(TNode& node);
  // Load for node and every category below it.
  void LoadAll(TNode& node);

  // Gives the children of node the sort orders 0..n-1 (categories) and 0..m-1 (entries) in display
  // order and saves those whose number changed.
  void Renumber(TNode& node);

  // Deletes the entry of node with the reminders and attached files only it names, renumbers the
  // entries left and takes it out of node.entries, as one change of the Safe (through
  // TqmEntryEditSession::DeleteEntry). When that fails nothing changed and the error propagates; the
  // entry is then still in node.entries. REQUIRES: entry is one of node.entries.
  void DeleteEntry(TNode& node, TqmRepositoryEntry& entry);

  // The categories and entries below node (loading what is needed) that match text by the rules of
  // RepositoryCategoryMatches and RepositoryEntryMatches, in display order, each category before what
  // is in it.
  std::vector<THit> Search(TNode& node, const std::string& text, bool caseSensitive, bool allFields);

  // The warnings gathered while loading (one per record that could not be read, naming it), handed
  // over once.
  std::vector<std::string> TakeWarnings();

private:
  TqmGlobal& global_;
  TNode root_;
  std::vector<std::string> warnings_;
};

}  // namespace quillmar
