// The repository at scale, counted rather than timed: labels of equal names cost one pass per
// category, a save writes a few pages however large the Safe is (reading entries before it adds no
// write), and loading a category reads each of its records once.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "RepositoryTreeFixture.h"
#include "core/qmEntryEditSession.h"
#include "support/FaultyPartStorage.h"

namespace quillmar {
namespace {

using RepositoryScaleTest = RepositoryTreeTest;

// The labels of a node's children as the front ends show them: "name" or "name#n".
std::vector<std::string> EntryLabels(TqmRepositoryTree& tree, const TNode& node) {
  std::vector<std::string> out;
  for (const auto& e : node.entries) {
    const int n = tree.OccurrenceOf(node, *e);
    out.push_back(e->Title() + (n ? "#" + std::to_string(n) : ""));
  }
  return out;
}

TEST_F(RepositoryScaleTest, EqualNamesAreNumberedInDisplayOrderWithOnePassPerCategory) {
  TqmCategory& web = AddCategory("Web", 0);
  AddCategory("Web", 1);  // two categories of one name at the top level
  AddCategory("Mail", 2);
  {
    TqmSFSWrapper::TChange change(g_.Wrapper());
    // Listing order and display order differ: the numbers follow the display order (SortOrder).
    AddEntry(web, "a", 3);
    AddEntry(web, "b", 0);
    AddEntry(web, "a", 1);
    AddEntry(web, "c", 2);
    AddEntry(web, "a", 4);
    change.Commit();
  }
  TqmRepositoryTree tree(g_);
  tree.Load(tree.Root());
  const auto top = TqmRepositoryTree::Occurrences(tree.Root());
  EXPECT_EQ(top.categories, (std::vector<int>{1, 2, 0}));
  EXPECT_EQ(tree.OccurrenceOf(tree.Root(), *tree.Root().categories[1]), 2);
  TNode& node = *tree.Root().categories[0];
  tree.Load(node);
  EXPECT_EQ(EntryLabels(tree, node), (std::vector<std::string>{"b", "a#1", "c", "a#2", "a#3"}));

  // A title changed in place is seen once the labels are invalidated; an entry deleted through the
  // tree is seen at once.
  node.entries[0]->FieldAt(0).SetValue("a");
  tree.InvalidateLabels();
  EXPECT_EQ(EntryLabels(tree, node), (std::vector<std::string>{"a#1", "a#2", "c", "a#3", "a#4"}));
  node.entries[0]->FieldAt(0).SetValue("b");
  tree.InvalidateLabels();
  tree.DeleteEntry(node, *node.entries[1]);
  EXPECT_EQ(EntryLabels(tree, node), (std::vector<std::string>{"b", "c", "a#1", "a#2"}));

  // Labelling every entry of a large category looks at each entry a bounded number of times, not
  // once per entry labelled (that would be 400 * 400).
  TqmCategory& many = AddCategory("Many", 3);
  {
    TqmSFSWrapper::TChange change(g_.Wrapper());
    for (int i = 0; i < 400; ++i) AddEntry(many, "t" + std::to_string(i % 7), i);
    change.Commit();
  }
  TqmRepositoryTree fresh(g_);
  TNode& big = Child(fresh, fresh.Root(), "Many");
  fresh.Load(big);
  ASSERT_EQ(big.entries.size(), 400u);
  const uint64_t before = TqmRepositoryTree::LabelledChildren();
  const auto labels = EntryLabels(fresh, big);
  const auto again = EntryLabels(fresh, big);
  EXPECT_LE(TqmRepositoryTree::LabelledChildren() - before, 400u);
  EXPECT_EQ(labels, again);
  EXPECT_EQ(labels[0], "t0#1");
  EXPECT_EQ(labels[7], "t0#2");
  EXPECT_EQ(labels[399], "t0#58");  // 399 = 57 * 7: the 58th "t0"
}

// A command that saved one entry labels it from the category's titles alone (no entry made, no
// sub-category read): the number must be the one a full load gives, however titles, sort orders and
// records lie. Every entry of the category is checked against the loaded tree's label.
TEST_F(RepositoryScaleTest, TheLabelOfASavedEntryFromTitlesAloneIsThatOfAFullLoad) {
  TqmCategory& web = AddCategory("Web", 0);
  AddCategory("Sub", 0, &web);
  const std::string folder = std::string(W::kRepositoryRoot) + web.FolderPath();
  {
    TqmSFSWrapper::TChange change(g_.Wrapper());
    // Listing order differs from display order; numbers repeat (ties keep the listing order) and
    // have gaps; titles differ by case or a trailing blank only; empty titles.
    for (const auto& [title, order] : std::vector<std::pair<std::string, int32_t>>{
             {"a", 7}, {"A", 2}, {"a", 2}, {"b", 0}, {"a", 2}, {"", 3}, {"", 9}, {"a ", 1}, {"a", 2}})
      AddEntry(web, title, order);
    // An entry renamed after it was saved: the title it has now counts, not the first one.
    TqmRepositoryEntry renamed(&web);
    renamed.SetSortOrder(5);
    renamed.Fields().Add(TqmField(0, "Title", ftNormalText, true, "b"));
    g_.SaveEntry(web.FolderPath(), renamed);
    renamed.FieldAt(0).SetValue("a");
    g_.SaveEntry(web.FolderPath(), renamed);
    // A damaged record that is shown as far as it reads, and two that are left out.
    TqmRepositoryEntry damaged(&web);
    damaged.SetSortOrder(4);
    damaged.Fields().Add(TqmField(0, "Title", ftNormalText, true, "a"));
    WriteRecord(folder + "88.entry", damaged.GetText() + std::string(6, '\0'));
    WriteRecord(folder + "89.entry", "");
    WriteRecord(folder + "90.entry", "<entry sortorder=\"0\"> no field at all " + std::string(3, '\0'));
    change.Commit();
  }
  TqmRepositoryTree loaded(g_);
  TNode& full = Child(loaded, loaded.Root(), "Web");
  loaded.TakeWarnings();
  loaded.Load(full);
  const std::vector<std::string> loadWarnings = loaded.TakeWarnings();
  ASSERT_EQ(full.entries.size(), 11u);
  ASSERT_EQ(full.damagedEntries.size(), 1u);
  ASSERT_EQ(full.unreadableEntries.size(), 2u);
  std::vector<int> numbersOfA;
  for (const auto& e : full.entries) {
    SCOPED_TRACE(e->Title() + " " + e->FileName());
    const int expected = loaded.OccurrenceOf(full, *e);
    if (e->Title() == "a") numbersOfA.push_back(expected);
    TqmRepositoryTree fresh(g_);
    TNode& node = Child(fresh, fresh.Root(), "Web");
    fresh.TakeWarnings();
    EXPECT_EQ(fresh.OccurrenceOfSaved(node, e->FileName()), expected);
    EXPECT_FALSE(node.loaded);
    EXPECT_TRUE(node.categories.empty());
    // The same warnings as the load (the sub-category is whole: all are about entry records).
    EXPECT_EQ(fresh.TakeWarnings(), loadWarnings);
  }
  // The six "a" (the renamed and the damaged one among them) are numbered 1..6 in display order.
  std::sort(numbersOfA.begin(), numbersOfA.end());
  EXPECT_EQ(numbersOfA, (std::vector<int>{1, 2, 3, 4, 5, 6}));

  // A name no readable entry has, and a loaded node (looked at as it is, nothing read).
  TqmRepositoryTree fresh(g_);
  EXPECT_EQ(fresh.OccurrenceOfSaved(Child(fresh, fresh.Root(), "Web"), "89.entry"), -1);
  EXPECT_EQ(fresh.OccurrenceOfSaved(Child(fresh, fresh.Root(), "Web"), "404.entry"), -1);
  EXPECT_EQ(loaded.OccurrenceOfSaved(full, full.entries.back()->FileName()),
            loaded.OccurrenceOf(full, *full.entries.back()));
}

// The bytes of the write calls the storage saw, in 2 KiB pages (rounded up per call), for the Safe and
// its journal.
int64_t PagesWritten(const test::TFaultyPartStorage& storage) {
  int64_t pages = 0;
  for (const std::string& line : storage.log) {
    // "<n> write <file> <bytes> at <offset>"
    std::istringstream in(line);
    std::string number, what, file;
    int64_t bytes = 0;
    if (in >> number >> what >> file >> bytes && what == "write") pages += (bytes + 2047) / 2048;
  }
  return pages;
}

TEST_F(RepositoryScaleTest, ASaveInALargeSafeWritesAFewPagesEvenAfterEveryEntryWasRead) {
  TqmCategory& web = AddCategory("Web", 0);
  {
    TqmSFSWrapper::TChange change(g_.Wrapper());
    for (int i = 0; i < 2000; ++i)
      AddEntry(web, "site " + std::to_string(i), i, "notes " + std::to_string(i));
    change.Commit();
  }
  test::TFaultyPartStorage storage;
  const auto detach = ReopenThrough(storage);
  storage.recordLog = true;

  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    // Every entry is read (its file opened) before the save, as a listing does.
    TqmRepositoryTree tree(g_);
    TNode& node = Child(tree, tree.Root(), "Web");
    tree.Load(node);
    ASSERT_EQ(node.entries.size(), 2000u + round);
    storage.log.clear();
    auto entry = tree.NewEntry(node);
    TqmEntryEditSession session(g_, *entry);
    session.SetValue(0, "added " + std::to_string(round));
    const TItem added = tree.AddEntry(node, std::move(entry), session);
    ASSERT_TRUE(added.IsEntry());
    // The record, its map, its directory page, the free-space maps, the header and their journal
    // images: a few dozen pages, where writing the access times of the entries read would cost more
    // than 1,300 (667 directory pages and their images).
    EXPECT_LT(PagesWritten(storage), 100);
    EXPECT_GT(PagesWritten(storage), 2);
  }
  EXPECT_EQ(Shape().substr(0, 12), "Web:0{site 0");
}

}  // namespace
}  // namespace quillmar
