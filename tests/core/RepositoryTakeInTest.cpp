// Another program's changes taken into a loaded repository tree record by record
// (TqmRepositoryTree::TakeInChanges): each step told to a follower that keeps rows of its own, as a
// view does, and the tree left as a fresh read of the Safe would be.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>

#include "RepositoryTreeFixture.h"
#include "safe/qmSafeChanges.h"

namespace quillmar {
namespace {

// Keeps a row list per loaded node, changed only through the steps it is told, and checks at each step
// that the tree and its rows agree: a wrong position or a step told in the wrong order shows up here.
class TRowKeeper : public TqmRepositoryTree::TFollower {
public:
  explicit TRowKeeper(TNode& root) { Take(root); }

  static const void* Key(const TItem& item) {
    return item.entry ? static_cast<const void*>(item.entry) : static_cast<const void*>(item.node);
  }
  void Removing(TNode& node, int position, bool entry) override {
    Check(node, position, entry);
    rows_[&node].erase(rows_[&node].begin() + position);
    ++removed;
  }
  void Removed() override {}
  void Inserting(TNode& node, int position, bool) override {
    EXPECT_LE(size_t(position), rows_[&node].size());
    inserting_ = {&node, position};
  }
  void Inserted() override {
    auto& [node, position] = inserting_;
    rows_[node].insert(rows_[node].begin() + position, Key(TqmRepositoryTree::ChildAt(*node, position)));
    ++inserted;
  }
  void Moving(TNode& node, int from, int to, bool entry) override {
    Check(node, from, entry);
    moving_ = {&node, to};
    const void* row = rows_[&node][size_t(from)];
    rows_[&node].erase(rows_[&node].begin() + from);
    rows_[&node].insert(rows_[&node].begin() + to, row);
    ++moved;
  }
  void Moved() override {
    auto& [node, to] = moving_;
    EXPECT_EQ(rows_[node][size_t(to)], Key(TqmRepositoryTree::ChildAt(*node, to))) << "moved to " << to;
  }
  void Changed(TNode& node, int position, bool entry) override {
    Check(node, position, entry);
    const TItem item = TqmRepositoryTree::ChildAt(node, position);
    changed.push_back(item.entry ? item.entry->Title() : item.node->category->Name());
  }

  // Every loaded node's rows are its children, in order.
  void ExpectInStep(TNode& node) {
    if (!node.loaded) return;
    std::vector<const void*> children;
    for (int i = 0;; ++i) {
      const TItem child = TqmRepositoryTree::ChildAt(node, i);
      if (child.IsNone()) break;
      children.push_back(Key(child));
    }
    if (rows_.count(&node)) {
      EXPECT_EQ(rows_[&node], children) << "rows of " << node.FolderPath();
    }
    for (auto& c : node.categories) ExpectInStep(*c);
  }

  int removed = 0, inserted = 0, moved = 0;
  std::vector<std::string> changed;  // names and titles of what was read anew, in the order told

private:
  void Take(TNode& node) {
    if (!node.loaded) return;
    auto& rows = rows_[&node];
    for (int i = 0;; ++i) {
      const TItem child = TqmRepositoryTree::ChildAt(node, i);
      if (child.IsNone()) break;
      rows.push_back(Key(child));
    }
    for (auto& c : node.categories) Take(*c);
  }
  void Check(TNode& node, int position, bool entry) {
    const TItem child = TqmRepositoryTree::ChildAt(node, position);
    ASSERT_FALSE(child.IsNone()) << "no child at " << position;
    EXPECT_EQ(child.IsEntry(), entry);
    ASSERT_LT(size_t(position), rows_[&node].size());
    EXPECT_EQ(rows_[&node][size_t(position)], Key(child))
        << "row " << position << " of " << node.FolderPath();
  }

  std::map<TNode*, std::vector<const void*>> rows_;
  std::pair<TNode*, int> inserting_{nullptr, 0};
  std::pair<TNode*, int> moving_{nullptr, 0};
};

class RepositoryTakeInTest : public RepositoryTreeTest {
protected:
  RepositoryTakeInTest() : other_(dir_.file("home"), {"quillmar"}) {}

  // A{A1{x0} A2{} a0 a1 a2} B{b0 b1}, read whole by tree_; the other program opens the Safe too.
  void SetUp() override {
    MakeSample();
    tree_.LoadAll(tree_.Root());
    other_.OpenSafeByName("Alpha", kPassword);
  }
  // What the other program changed, as the desktop's look finds it.
  TqmSafeChanges Look() { return g_.RefreshFromDisk(); }
  // The tree (every category read, new ones too) as a fresh read of the Safe gives it.
  void ExpectAsTheSafeHasIt() {
    tree_.LoadAll(tree_.Root());
    EXPECT_EQ(ShapeOf(tree_.Root()), Shape());
  }

  TqmGlobal other_;
  TqmRepositoryTree tree_{g_};
};

TEST_F(RepositoryTakeInTest, AddsEditsDeletesAndRenumberingsComeInRecordByRecord) {
  TNode& A = Child(tree_, tree_.Root(), "A");
  TNode& B = Child(tree_, tree_.Root(), "B");
  TqmRepositoryEntry* a1 = Entry(tree_, A, "a1").entry;
  TqmRepositoryEntry* a2 = Entry(tree_, A, "a2").entry;

  // Several changes in one look: an entry added to A, a1's title changed, b0 deleted (b1 renumbered
  // to 0 with it), each by the other program through its own tree.
  TqmRepositoryTree theirs(other_);
  TNode& theirA = Child(theirs, theirs.Root(), "A");
  TNode& theirB = Child(theirs, theirs.Root(), "B");
  TqmRepositoryEntry added(theirA.category.get());
  added.SetSortOrder(3);
  added.Fields().Add(TqmField(0, "Title", ftNormalText, true, "a3"));
  other_.SaveEntry(theirA.category->FolderPath(), added);
  TqmRepositoryEntry& theirA1 = *Entry(theirs, theirA, "a1").entry;
  theirA1.FieldAt(0).SetValue("a1 edited");
  other_.SaveEntry(theirA.category->FolderPath(), theirA1);
  theirs.DeleteEntry(theirB, *Entry(theirs, theirB, "b0").entry);

  const TqmSafeChanges changes = Look();
  EXPECT_EQ(changes.EntryFiles.at(A.FolderPath()).size(), 2u);
  TRowKeeper rows(tree_.Root());
  ASSERT_TRUE(tree_.TakeInChanges(changes, rows));
  rows.ExpectInStep(tree_.Root());
  EXPECT_EQ(rows.removed, 1);
  EXPECT_EQ(rows.inserted, 1);
  EXPECT_EQ(rows.moved, 0);
  // Only what changed was read anew: a1 and b1 (its number), not a0, a2 or x0.
  EXPECT_EQ(std::multiset<std::string>(rows.changed.begin(), rows.changed.end()),
            (std::multiset<std::string>{"a1 edited", "b1"}));
  // The objects stay: a view's row and the entry view still hold the right entry.
  EXPECT_EQ(Entry(tree_, A, "a1 edited").entry, a1);
  EXPECT_EQ(A.entries[2].get(), a2);
  EXPECT_EQ(Titles(B), std::vector<std::string>{"b1"});
  EXPECT_EQ(B.entries[0]->SortOrder(), 0);
  EXPECT_EQ(Titles(A), (std::vector<std::string>{"a0", "a1 edited", "a2", "a3"}));
  EXPECT_EQ(A.entries[3]->Parent(), A.category.get());
  ExpectAsTheSafeHasIt();

  // Nothing changed since: nothing to do.
  TRowKeeper none(tree_.Root());
  EXPECT_TRUE(tree_.TakeInChanges(Look(), none));
  EXPECT_EQ(none.removed + none.inserted + none.moved, 0);
}

TEST_F(RepositoryTakeInTest, ARenumberingThatReordersMovesTheRows) {
  TNode& A = Child(tree_, tree_.Root(), "A");
  TqmRepositoryEntry* a2 = Entry(tree_, A, "a2").entry;
  // The other program moves a2 above a0, and B above A.
  TqmRepositoryTree theirs(other_);
  TNode& theirA = Child(theirs, theirs.Root(), "A");
  ASSERT_TRUE(theirs.Drop(Entry(theirs, theirA, "a2"), Entry(theirs, theirA, "a0"), TqmDropMode::Above));
  ASSERT_TRUE(theirs.Drop({&Child(theirs, theirs.Root(), "B")}, {&theirA}, TqmDropMode::Above));

  TRowKeeper rows(tree_.Root());
  ASSERT_TRUE(tree_.TakeInChanges(Look(), rows));
  rows.ExpectInStep(tree_.Root());
  EXPECT_GE(rows.moved, 2);
  EXPECT_EQ(rows.removed + rows.inserted, 0) << "a reordering moves rows; it takes none away";
  EXPECT_EQ(Titles(A), (std::vector<std::string>{"a2", "a0", "a1"}));
  EXPECT_EQ(A.entries[0].get(), a2);
  EXPECT_EQ(tree_.Root().categories[0]->category->Name(), "B");
  ExpectAsTheSafeHasIt();
}

// Entries of equal sort order stand in the order the folder lists their files. A new entry that
// shares its number with one that stays takes its place by that listing (here before a1: its file
// takes the slot a0's left); one with a number of its own goes by the number alone.
TEST_F(RepositoryTakeInTest, EqualSortOrdersFollowTheListingAndUniqueOnesTheirNumber) {
  TNode& A = Child(tree_, tree_.Root(), "A");
  TqmRepositoryTree theirs(other_);
  TNode& theirA = Child(theirs, theirs.Root(), "A");
  const std::string folder = theirA.category->FolderPath();
  ASSERT_TRUE(other_.DeleteEntry(folder, Entry(theirs, theirA, "a0").entry->FileName()));
  auto add = [&](const std::string& title, int32_t order) {
    TqmRepositoryEntry e(theirA.category.get());
    e.SetSortOrder(order);
    e.Fields().Add(TqmField(0, "Title", ftNormalText, true, title));
    other_.SaveEntry(folder, e);
  };
  add("tie with a1", 1);
  add("last", 9);
  TRowKeeper rows(tree_.Root());
  ASSERT_TRUE(tree_.TakeInChanges(Look(), rows));
  rows.ExpectInStep(tree_.Root());
  const std::vector<std::string> fresh = [&] {
    TqmRepositoryTree read(g_);
    TNode& readA = Child(read, read.Root(), "A");
    read.Load(readA);
    return Titles(readA);
  }();
  EXPECT_EQ(Titles(A), fresh);
  EXPECT_EQ(fresh, (std::vector<std::string>{"tie with a1", "a1", "a2", "last"}));
  ExpectAsTheSafeHasIt();

  // A number of its own, given to an entry that stays: it moves by the number, the others keep their
  // order.
  TqmRepositoryTree again(other_);
  TNode& againA = Child(again, again.Root(), "A");
  TqmRepositoryEntry& a2 = *Entry(again, againA, "a2").entry;
  a2.SetSortOrder(-4);
  other_.SaveEntry(folder, a2);
  TRowKeeper moved(tree_.Root());
  ASSERT_TRUE(tree_.TakeInChanges(Look(), moved));
  moved.ExpectInStep(tree_.Root());
  EXPECT_EQ(Titles(A).front(), "a2");
  ExpectAsTheSafeHasIt();
}

TEST_F(RepositoryTakeInTest, CategoriesAddedRenamedAndRemovedKeepTheNodesThatStay) {
  TNode& A = Child(tree_, tree_.Root(), "A");
  TNode* A1 = &Child(tree_, A, "A1");
  TqmRepositoryEntry* x0 = A1->entries[0].get();

  TqmRepositoryTree theirs(other_);
  TNode& theirA = Child(theirs, theirs.Root(), "A");
  theirs.AddCategory(theirs.Root(), "C");
  TqmCategory& theirA1 = *Child(theirs, theirA, "A1").category;
  theirA1.SetName("A1 renamed");
  other_.SaveCategory(theirA1);
  ASSERT_TRUE(theirs.DeleteCategory(Child(theirs, theirA, "A2")).has_value());

  TRowKeeper rows(tree_.Root());
  ASSERT_TRUE(tree_.TakeInChanges(Look(), rows));
  rows.ExpectInStep(tree_.Root());
  EXPECT_EQ(&Child(tree_, A, "A1 renamed"), A1);
  EXPECT_EQ(A1->entries[0].get(), x0);
  EXPECT_EQ(x0->NamePath(), "A\\A1 renamed\\x0");
  ASSERT_EQ(A.categories.size(), 1u);
  ASSERT_EQ(tree_.Root().categories.size(), 3u);
  EXPECT_FALSE(tree_.Root().categories[2]->loaded) << "a new category is read when it is opened";
  EXPECT_EQ(rows.removed, 1);
  EXPECT_EQ(rows.inserted, 1);
  EXPECT_NE(std::find(rows.changed.begin(), rows.changed.end(), "A1 renamed"), rows.changed.end());
  ExpectAsTheSafeHasIt();

  // A category taken away goes with everything below it that was read.
  ASSERT_GT(other_.Wrapper().DeleteAllEntries(std::string(W::kRepositoryRoot) + A.FolderPath()), 0);
  TqmRepositoryTree again(other_);
  ASSERT_TRUE(again.DeleteCategory(Child(again, again.Root(), "A")).has_value());
  TRowKeeper gone(tree_.Root());
  ASSERT_TRUE(tree_.TakeInChanges(Look(), gone));
  gone.ExpectInStep(tree_.Root());
  EXPECT_EQ(gone.removed, 1) << "one row goes: the category, with what is below it";
  ExpectAsTheSafeHasIt();
}

TEST_F(RepositoryTakeInTest, OnlyLoadedCategoriesAreFollowedAndDamageIsNamedOrLeftToAFreshRead) {
  // A category the tree has not read is left to its first Load.
  TqmRepositoryTree partial(g_);
  partial.Load(partial.Root());
  TNode& A = Child(tree_, tree_.Root(), "A");
  const std::string folder = std::string(W::kRepositoryRoot) + A.FolderPath();
  TqmRepositoryEntry late(A.category.get());
  late.SetSortOrder(3);
  late.Fields().Add(TqmField(0, "Title", ftNormalText, true, "late"));
  other_.SaveEntry(A.FolderPath(), late);
  TqmSafeChanges changes = Look();
  TRowKeeper untouched(partial.Root());
  ASSERT_TRUE(partial.TakeInChanges(changes, untouched));
  EXPECT_TRUE(untouched.changed.empty());
  EXPECT_EQ(untouched.inserted, 0);
  TRowKeeper rows(tree_.Root());
  ASSERT_TRUE(tree_.TakeInChanges(changes, rows));
  EXPECT_EQ(Titles(A).back(), "late");

  // A record that reads only in part is shown as far as it reads, and named once.
  auto write = [&](const std::string& name, const std::string& bytes) {
    TSFSFileStream s(other_.Wrapper().Container(), 0, "", "", W::kRecordPassword, TSingleFileSystem::fmCreate,
                     folder + name);
    s.WriteString(bytes);
  };
  const std::string lateName = Entry(tree_, A, "late").entry->FileName();
  TqmRepositoryEntry* lateEntry = Entry(tree_, A, "late").entry;
  std::string record = late.GetText();
  record.insert(record.find("</field>") + 8, std::string("\0\0", 2));
  write(lateName, record);
  TRowKeeper damaged(tree_.Root());
  ASSERT_TRUE(tree_.TakeInChanges(Look(), damaged));
  ASSERT_EQ(A.damagedEntries.count(lateEntry), 1u);
  const std::vector<std::string> warnings = tree_.TakeWarnings();
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_NE(warnings[0].find(lateName), std::string::npos) << warnings[0];

  // A record of which nothing can be read cannot be followed: the tree stays, a fresh read names it.
  const std::string before = ShapeOf(tree_.Root());
  write(lateName, "junk that is no entry");
  TRowKeeper refused(tree_.Root());
  EXPECT_FALSE(tree_.TakeInChanges(Look(), refused));
  EXPECT_EQ(ShapeOf(tree_.Root()), before);
  EXPECT_EQ(refused.removed + refused.inserted + refused.moved + int(refused.changed.size()), 0);
  // Nor a change not known item by item.
  TqmSafeChanges unknown;
  unknown.Count = 1;
  unknown.Unknown = true;
  EXPECT_FALSE(tree_.TakeInChanges(unknown, refused));
}

}  // namespace
}  // namespace quillmar
