#pragma once
// TqmRepositoryTree: the category tree of the open Safe as the front ends show it, read through the
// application core. Both the desktop's repository view and the command line work on it.
//
// Display order: under each category (and at the top level) the sub-categories first, then the
// entries, each group in ascending SortOrder (equal numbers keep the listing order). Categories are
// read by their position among the folders and entries by their position among the entry files, so
// every one is found even when the numbers have gaps or repeats. Reading never writes: such numbers
// are set right (Renumber) only when something among those siblings next changes.
//
// Changes. Every operation below that changes the Safe (AddEntry, PasteEntry, DeleteEntry, Drop,
// AddCategory, PasteCategory, DeleteCategory) is one change of the Safe that ends with the siblings
// it touched numbered 0..n-1 (categories) and 0..m-1 (entries) in display order. When it fails or is
// refused, the Safe and the tree are both as they were before the call (the items in memory too).
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
// The tree owns what it loaded; nodes and entries stay where they are until the tree dies or an
// operation removes them. The rules it applies are those of core/qmRepositoryRules.h.
// Threading: the caller's thread, like every call of TqmGlobal; not thread-safe.
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "model/qmCategory.h"
#include "model/qmClipboard.h"
#include "model/qmRepositoryEntry.h"

namespace quillmar {

class TqmGlobal;
class TqmEntryEditSession;
struct TqmSafeChanges;
struct TqmEntryTitle;

// Where a dragged item is dropped, relative to the item under the pointer.
enum class TqmDropMode { Above, On, Below };

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
    bool IsTopLevel() const { return parent != nullptr && parent->parent == nullptr; }
  };

  // One item of the tree: a category (entry == nullptr) or an entry of the category node. The
  // default item is none; an item whose node is the root (and no entry) stands for the top level,
  // which is no item of the view.
  struct TItem {
    TNode* node = nullptr;
    TqmRepositoryEntry* entry = nullptr;

    bool IsNone() const { return node == nullptr; }
    bool IsEntry() const { return entry != nullptr; }
    bool IsCategory() const { return node != nullptr && entry == nullptr && node->category != nullptr; }
    bool operator==(const TItem&) const = default;
  };
  using THit = TItem;

  explicit TqmRepositoryTree(TqmGlobal& global);
  TqmRepositoryTree(const TqmRepositoryTree&) = delete;
  TqmRepositoryTree& operator=(const TqmRepositoryTree&) = delete;

  TNode& Root() { return root_; }
  // Reads the children of node once, in display order.
  void Load(TNode& node);
  // Load for node and every category below it.
  void LoadAll(TNode& node);

  // LoadAll in two steps, so that the reading can run on a worker thread while the window goes on
  // showing (and painting) the tree:
  //  - ReadUnloaded reads every category below node (node included) that is not loaded yet into nodes
  //    of `pending`, without changing the tree or anything the window thread reads; progress is
  //    reported per category and a cancel is honoured between categories (false then: nothing of
  //    `pending` is to be attached);
  //  - AttachRead, on the tree's own thread once the reading is over, hangs what was read into the
  //    tree, as Load would have (with its warnings).
  struct TPendingRead {
    std::vector<std::pair<TNode*, std::unique_ptr<TNode>>> reads;  // the node read, and what was read
    std::vector<std::string> warnings;
  };
  bool ReadUnloaded(TNode& node, TPendingRead& pending, const std::function<void(double, bool&)>& progress);
  void AttachRead(TPendingRead& pending);

  // --- Positions -----------------------------------------------------------------------------------------
  // The node an item is shown under: an entry's category node, a category's parent node (the root at
  // the top level). REQUIRES: item is not none and not the root.
  static TNode& ParentOf(const TItem& item);
  // The item's position among the children of ParentOf(item), sub-categories first. -1 when it is not
  // there (any more).
  static int PositionOf(const TItem& item);
  // The child of a loaded node at a display position; none when out of range.
  static TItem ChildAt(TNode& node, int position);
  // True when item lies below ancestor (a category item), at any depth.
  static bool IsBelow(const TItem& item, const TNode& ancestor);

  // Gives the children of node the sort orders 0..n-1 (categories) and 0..m-1 (entries) in display
  // order and saves those whose number changed.
  void Renumber(TNode& node);

  // --- Entries -------------------------------------------------------------------------------------------
  // A new entry of the category node, not yet in the tree or the Safe: begin the edit session on it,
  // and hand it to AddEntry on OK (or drop it on Cancel).
  std::unique_ptr<TqmRepositoryEntry> NewEntry(TNode& category);
  // OK of a new entry's edit: commits the session (the entry is saved last in its category) and
  // renumbers the category's entries, as one change; then the entry joins the node as its last entry.
  // When it throws nothing changed and the session is still open (roll it back, or retry).
  // REQUIRES: entry came from NewEntry(category) and session was begun on it.
  TItem AddEntry(TNode& category, std::unique_ptr<TqmRepositoryEntry> entry, TqmEntryEditSession& session);
  // The same for an entry whose edit session was committed already (a window that ran the session
  // itself): the category's entries are renumbered, as one change, and the entry joins the node as
  // its last entry. A node not read yet is read now, and then holds the entry as read from the Safe:
  // that one is returned and the object handed in is freed. When the renumbering fails the entry
  // stays saved and the error propagates (a reload shows it).
  TItem AddSavedEntry(TNode& category, std::unique_ptr<TqmRepositoryEntry> entry);
  // Pastes the entry the clipboard holds as the last entry of the category node: the entry is read
  // from the clipboard, each reminder its "Reminder (Yes/No)" fields name is copied (the copy's id
  // takes the place of the original's; a reminder that no longer exists leaves the field empty), and
  // the entry is saved once, with the category's entries renumbered, all as one change (a failure
  // takes the reminder copies away again). The schedule is rebuilt when reminders were copied.
  // Returns none, with nothing changed, when the clipboard holds no entry; Safe errors propagate
  // (nothing changed then either).
  TItem PasteEntry(TNode& category, TqmClipboard& clipboard);
  // Deletes the entry of node: its file, then the reminders and attached files only it names, and
  // renumbers the entries left, as one change of the Safe (TqmEntryEditSession::DeleteEntry); then it
  // leaves node.entries. Returns the item to select next: the next sibling, else the previous one (the
  // last sub-category when it was the first entry), else the category. When the delete fails nothing
  // changed and the error propagates; the entry is then still in node.entries.
  // REQUIRES: entry is one of node.entries.
  TItem DeleteEntry(TNode& node, TqmRepositoryEntry& entry);

  // --- Categories ------------------------------------------------------------------------------------
  // A new category under parent (the root for the top level) with that name, no fields and no icon,
  // saved last among parent's sub-categories (its folder and FolderName are made), the siblings
  // renumbered, as one change. Its node has no children.
  TNode& AddCategory(TNode& parent, const std::string& name);
  // The category the clipboard holds (name, icon and fields) as the last sub-category of parent, as
  // AddCategory. Throws EQuillmarError("wrong clipboard") when the clipboard holds no category (nothing
  // changed), and the Safe's errors.
  TNode& PasteCategory(TNode& parent, TqmClipboard& clipboard);
  // Deletes the category of node with its folder and everything below it, and renumbers the
  // categories left beside it, as one change. Refused (TqmGlobal::DeleteCategory shows why, and
  // nothing changes) while the category or one below it holds entries: returns nullopt. Otherwise
  // the item to select next: the next category beside it, else the previous one, else its parent
  // category; none at the top level when no category is left. REQUIRES: node is a category node.
  std::optional<TItem> DeleteCategory(TNode& node);

  // --- Drag and drop ---------------------------------------------------------------------------------
  // Whether source may be dropped onto target in that mode. Refused: no target or the source itself;
  // a category onto anything below it; above the item right after the source, below the item right
  // before it; on or below the source's own parent; a category next to or onto an entry; an entry onto
  // an entry; an entry above or below a top-level category (entries live in categories).
  static bool CanDrop(const TItem& source, const TItem& target, TqmDropMode mode);
  // Carries out an accepted drop. Above and below put the source just before or after the target
  // (an entry next to a category becomes the first entry of that category's parent); on makes it the
  // first of its kind in the target. When the place is under another category, the source moves
  // there in the Safe (a category's folder with all it holds, an entry's file; an entry whose file
  // name is taken there gets a fresh one) and its Parent changes. Both sides are renumbered; all is
  // one change. Returns false (nothing changed) when CanDrop refuses; throws EQuillmarError saying so
  // when the Safe refuses the move, and the Safe's errors, with the Safe and the tree as they were.
  bool Drop(const TItem& source, const TItem& target, TqmDropMode mode);

  // --- Search ----------------------------------------------------------------------------------------
  // The categories and entries below node (loading what is needed) that match text by the rules of
  // RepositoryCategoryMatches and RepositoryEntryMatches, in display order, each category before what
  // is in it.
  std::vector<TItem> Search(TNode& node, const std::string& text, bool caseSensitive, bool allFields);
  // The first item after start in display order (parents before children, collapsed categories
  // included, loading what is needed) that matches; start itself only with includeStart (the search
  // text or its options changed since the last search). With start none the whole tree is searched.
  // No wrap-around: none when nothing after start matches.
  TItem FindNext(const TItem& start, bool includeStart, const std::string& text, bool caseSensitive,
                 bool allFields);

  // --- Changes of other programs --------------------------------------------------------------------
  // Told of each step TakeInChanges takes, as it takes it, so that a view keeps its rows in step with
  // the tree (a Qt model's begin and end calls). Positions are display positions among the children of
  // node (sub-categories first); entry says which kind of child the step is about.
  class TFollower {
  public:
    virtual ~TFollower() = default;
    // Before the child at position goes, with everything below it (the child is still there), and
    // after it went.
    virtual void Removing(TNode& node, int position, bool entry) = 0;
    virtual void Removed() = 0;
    // Before a new child is put at position, and after.
    virtual void Inserting(TNode& node, int position, bool entry) = 0;
    virtual void Inserted() = 0;
    // Before the child at from moves to position to (counted once it is there), and after.
    virtual void Moving(TNode& node, int from, int to, bool entry) = 0;
    virtual void Moved() = 0;
    // The child at position (in its final place) was read anew: names, fields, icon or sort order.
    virtual void Changed(TNode& node, int position, bool entry) = 0;
  };
  // Takes what other programs changed (TqmSafeChanges, item by item) into the categories already
  // loaded: only the records that changed are read (and the listings of the folders they are in), and
  // each loaded node ends as a fresh Load would have read it, in the same order. Entries and categories
  // read anew keep their objects (pointers to them stay good); removed ones and everything below them
  // are freed. A new category comes unloaded. Categories not loaded are left alone: they are read when
  // they are loaded. Damaged entry records are named in warnings (TakeWarnings) as Load names them.
  // Returns false, with the tree untouched, when the report cannot be followed item by item (changes
  // not known, a record that cannot be read at all, a category record that is missing or damaged):
  // then read the tree anew. The Safe's errors propagate, with the tree untouched too.
  bool TakeInChanges(const TqmSafeChanges& changes, TFollower& follower);

  // The warnings gathered while loading (one per record that could not be read, naming it), handed
  // over once.
  std::vector<std::string> TakeWarnings();

  // --- Labels ----------------------------------------------------------------------------------------
  // Siblings that share a name (categories by Name, entries by Title, byte for byte) are told apart by
  // their place among those of that name in display order: the occurrence, 1 for the first, or 0 when
  // no sibling shares the name. The front ends show it as "a#1", "a#2", "a#3".
  struct TOccurrences {
    std::vector<int> categories;  // in the order of node.categories
    std::vector<int> entries;     // in the order of node.entries
  };
  // Every child's occurrence, in one pass over the children.
  static TOccurrences Occurrences(const TNode& node);
  // One child's occurrence. The occurrences of a node are computed once and kept until the tree changes
  // (any operation of this class, or a count of children that differs); a caller that changes a name or
  // a title in place, or reorders children itself, calls InvalidateLabels. So labelling every child of
  // a category costs one pass, not one per child. REQUIRES: the child is one of parent's.
  int OccurrenceOf(const TNode& parent, const TNode& child);
  int OccurrenceOf(const TNode& parent, const TqmRepositoryEntry& entry);
  void InvalidateLabels() { labels_.clear(); }
  // The occurrence of the entry saved in the category node under the file name fileName, as a Load of
  // the category numbers it; -1 when no entry of the category that can be read has that file name. A
  // loaded node is looked at as it is. Otherwise only the sort orders and titles of the category's
  // entry records are taken (TqmSFSWrapper::EntryTitles): no entry is made, no sub-category read, and
  // the node stays unloaded; the entry records that cannot be read, or only in part, are named in the
  // warnings as Load names them. For a command that saved one entry and prints its label.
  int OccurrenceOfSaved(TNode& category, const std::string& fileName);
  // The same from the titles (in listing order) alone: ordered by sort order as Load orders entries.
  static int OccurrenceAmong(const std::vector<TqmEntryTitle>& titles, const std::string& fileName);
  // The number of children looked at by Occurrences since the program started (a measure of the
  // labelling work, for tests).
  static uint64_t LabelledChildren();

private:
  // Reads node's children (categories and entries, sorted) into `into` (node itself or a scratch
  // node); the children's parent is node. Warnings go to `warnings`. Touches nothing else of the tree.
  void ReadChildren(TNode& node, TNode& into, std::vector<std::string>& warnings);
  // True when a match was found below node from display position `from` on (it goes to `found`).
  bool FindBelow(TNode& node, int from, const std::string& text, bool caseSensitive, bool allFields,
                 TItem& found);
  TNode& AdoptCategory(TNode& parent, std::unique_ptr<TqmCategory> category);

  // Occurrences kept per node, with where each child stands in its list.
  struct TKeptLabels {
    TOccurrences occurrences;
    std::unordered_map<const TNode*, size_t> categoryAt;
    std::unordered_map<const TqmRepositoryEntry*, size_t> entryAt;
  };
  const TKeptLabels& LabelsOf(const TNode& node);

  TqmGlobal& global_;
  TNode root_;
  std::vector<std::string> warnings_;
  std::unordered_map<const TNode*, TKeptLabels> labels_;
};

}  // namespace quillmar
