// The operations that change the repository tree and the Safe together: adding, pasting and deleting
// entries and categories, drag and drop, and the search from a start item, on real Safes.
#include <gtest/gtest.h>

#include "RepositoryTreeFixture.h"
#include "base/Exception.h"
#include "core/qmEntryEditSession.h"
#include "model/qmReminderEvent.h"
#include "support/FaultyPartStorage.h"
#include "support/ScriptedPrompter.h"

namespace quillmar {
namespace {

using M = TqmDropMode;

class TTestClipboard : public TqmClipboard {
public:
  std::string GetText() override { return text; }
  void SetText(const std::string& t) override { text = t; }
  std::string text;
};

class RepositoryChangesTest : public RepositoryTreeTest {
protected:
  std::string TreeShape(TqmRepositoryTree& tree) {
    tree.LoadAll(tree.Root());
    return ShapeOf(tree.Root());
  }
};

TEST_F(RepositoryChangesTest, DropRulesTable) {
  MakeSample();
  TqmRepositoryTree t(g_);
  TNode& A = Child(t, t.Root(), "A");
  TNode& A1 = Child(t, A, "A1");
  TNode& A2 = Child(t, A, "A2");
  TNode& B = Child(t, t.Root(), "B");
  const TItem a{&A}, a1c{&A1}, a2c{&A2}, b{&B};
  const TItem e0 = Entry(t, A, "a0"), e1 = Entry(t, A, "a1"), x0 = Entry(t, A1, "x0"), b0 = Entry(t, B, "b0");
  struct TCase {
    const char* what;
    TItem source, target;
    M mode;
    bool accepted;
  };
  const TCase cases[] = {
      {"no target", e0, {}, M::On, false},
      {"onto itself", e0, e0, M::Above, false},
      {"category into its own sub-category", a, a1c, M::On, false},
      {"category next to an entry below it", a, x0, M::Above, false},
      {"above the next sibling", e0, e1, M::Above, false},
      {"below the previous sibling", e1, e0, M::Below, false},
      {"below the next sibling", e0, e1, M::Below, true},
      {"above the previous sibling", e1, e0, M::Above, true},
      {"on its own category", e0, a, M::On, false},
      {"below its own category", a1c, a, M::Below, false},
      {"above its own (top-level) parent", a1c, a, M::Above, true},
      {"category beside an entry", a1c, e1, M::Below, false},
      {"entry onto an entry", e0, b0, M::On, false},
      {"entry above a top-level category", e0, b, M::Above, false},
      {"entry below a top-level category", x0, b, M::Below, false},
      {"entry onto another category", e0, b, M::On, true},
      {"entry above a sub-category", x0, a2c, M::Above, true},
      {"entry into another category before an entry", x0, e0, M::Above, true},
      {"category onto another category", a1c, b, M::On, true},
      {"category above the next sibling", a1c, a2c, M::Above, false},
      {"category above the previous sibling", a2c, a1c, M::Above, true},
      {"top-level category below the other", a, b, M::Below, true},
  };
  for (const TCase& c : cases)
    EXPECT_EQ(TqmRepositoryTree::CanDrop(c.source, c.target, c.mode), c.accepted) << c.what;
}

TEST_F(RepositoryChangesTest, EachDropModeLeavesTheOrdersInTheSafe) {
  MakeSample();
  TqmRepositoryTree t(g_);
  TNode& A = Child(t, t.Root(), "A");
  TNode& B = Child(t, t.Root(), "B");
  ASSERT_EQ(Shape(), "A:0{A1:0{x0:0} A2:1{} a0:0 a1:1 a2:2} B:1{b0:0 b1:1}");

  ASSERT_TRUE(t.Drop(Entry(t, A, "a2"), Entry(t, A, "a0"), M::Above));
  EXPECT_EQ(Shape(), "A:0{A1:0{x0:0} A2:1{} a2:0 a0:1 a1:2} B:1{b0:0 b1:1}");
  ASSERT_TRUE(t.Drop(Entry(t, A, "a2"), Entry(t, A, "a1"), M::Below));
  EXPECT_EQ(Shape(), "A:0{A1:0{x0:0} A2:1{} a0:0 a1:1 a2:2} B:1{b0:0 b1:1}");
  // Onto another category: first there, both sides numbered from 0.
  ASSERT_TRUE(t.Drop(Entry(t, A, "a0"), {&B}, M::On));
  EXPECT_EQ(Shape(), "A:0{A1:0{x0:0} A2:1{} a1:0 a2:1} B:1{a0:0 b0:1 b1:2}");
  // A category moves with what it holds.
  ASSERT_TRUE(t.Drop({&Child(t, A, "A1")}, {&B}, M::On));
  EXPECT_EQ(Shape(), "A:0{A2:0{} a1:0 a2:1} B:1{A1:0{x0:0} a0:0 b0:1 b1:2}");
  TNode& A1 = Child(t, B, "A1");
  ASSERT_TRUE(t.Drop(Entry(t, A1, "x0"), Entry(t, B, "b0"), M::Below));
  EXPECT_EQ(Shape(), "A:0{A2:0{} a1:0 a2:1} B:1{A1:0{} a0:0 b0:1 x0:2 b1:3}");
  // Beside a sub-category an entry joins that category's parent, as its first entry.
  ASSERT_TRUE(t.Drop(Entry(t, A, "a2"), {&Child(t, A, "A2")}, M::Below));
  EXPECT_EQ(Shape(), "A:0{A2:0{} a2:0 a1:1} B:1{A1:0{} a0:0 b0:1 x0:2 b1:3}");
  ASSERT_TRUE(t.Drop({&B}, {&A}, M::Above));
  EXPECT_EQ(Shape(), "B:0{A1:0{} a0:0 b0:1 x0:2 b1:3} A:1{A2:0{} a2:0 a1:1}");
  // A sub-category below a top-level one goes to the top level.
  ASSERT_TRUE(t.Drop({&Child(t, A, "A2")}, {&B}, M::Below));
  EXPECT_EQ(Shape(), "B:0{A1:0{} a0:0 b0:1 x0:2 b1:3} A2:1{} A:2{a2:0 a1:1}");
  EXPECT_EQ(TreeShape(t), Shape());
  // The moved items know their new place: a later save goes to the right folder.
  TItem x0 = Entry(t, B, "x0");
  EXPECT_EQ(x0.entry->Parent(), B.category.get());
  EXPECT_EQ(Child(t, t.Root(), "A2").category->Parent(), nullptr);

  // Refused by the rules: false, nothing changes.
  EXPECT_FALSE(t.Drop(x0, {&B}, M::On));
  EXPECT_EQ(TreeShape(t), Shape());
}

TEST_F(RepositoryChangesTest, GapsAndRepeatsAreSetRightByTheNextChangeNeverByALook) {
  TqmCategory& a = AddCategory("A", 5);
  AddCategory("B", 5);
  AddEntry(a, "p", 9);
  AddEntry(a, "q", 3);
  AddEntry(a, "r", 3);
  const std::string before = Shape();
  const std::string bytes = test::ReadFileBytes(SafeFile());
  {
    TqmRepositoryTree t(g_);
    t.LoadAll(t.Root());
    t.FindNext({}, true, "zzz", false, true);
    EXPECT_EQ(ShapeOf(t.Root()), "A:5{q:3 r:3 p:9} B:5{}");
  }
  EXPECT_EQ(test::ReadFileBytes(SafeFile()), bytes);
  EXPECT_EQ(Shape(), before);

  TqmRepositoryTree t(g_);
  TNode& A = Child(t, t.Root(), "A");
  ASSERT_TRUE(t.Drop(Entry(t, A, "p"), Entry(t, A, "r"), M::Above));
  EXPECT_EQ(Shape(), "A:5{q:0 p:1 r:2} B:5{}");
}

TEST_F(RepositoryChangesTest, AMoveTheSafeRefusesChangesNothing) {
  TqmCategory& a = AddCategory("A", 0);
  TqmCategory& b = AddCategory("B", 1);
  // Two categories whose folders have the same name: one cannot move in beside the other.
  for (TqmCategory* parent : {&a, &b}) {
    auto c = std::make_unique<TqmCategory>(parent);
    c->SetName(parent == &a ? "Mine" : "Theirs");
    c->SetSortOrder(4);  // a gap: the failed drop would have renumbered it
    c->SetFolderName("category77");
    g_.SaveCategory(*c);
    categories_.push_back(std::move(c));
  }
  AddEntry(a, "kept", 6);
  const std::string before = Shape();
  TqmRepositoryTree t(g_);
  TNode& A = Child(t, t.Root(), "A");
  TNode& B = Child(t, t.Root(), "B");
  const std::string memory = TreeShape(t);
  TNode& mine = Child(t, A, "Mine");
  try {
    t.Drop({&mine}, {&B}, M::On);
    ADD_FAILURE() << "the move was not refused";
  } catch (const EQuillmarError& e) {
    EXPECT_NE(std::string(e.what()).find("\"Mine\" could not be moved"), std::string::npos) << e.what();
  }
  EXPECT_EQ(Shape(), before);
  EXPECT_EQ(TreeShape(t), memory);
  EXPECT_EQ(mine.parent, &A);
  EXPECT_EQ(mine.category->Parent(), A.category.get());
}

TEST_F(RepositoryChangesTest, AnEntryWhoseFileNameIsTakenGetsAFreshOne) {
  TqmCategory& a = AddCategory("A", 0);
  TqmCategory& b = AddCategory("B", 1);
  for (auto [cat, title] : {std::pair{&a, "mover"}, std::pair{&b, "resident"}}) {
    TqmRepositoryEntry e(cat);
    e.SetFileName("7.entry");
    e.Fields().Add(TqmField(0, "Title", ftNormalText, true, title));
    g_.SaveEntry(cat->FolderPath(), e);
  }
  TqmRepositoryTree t(g_);
  TNode& A = Child(t, t.Root(), "A");
  TNode& B = Child(t, t.Root(), "B");
  ASSERT_TRUE(t.Drop(Entry(t, A, "mover"), Entry(t, B, "resident"), M::Below));
  EXPECT_EQ(Shape(), "A:0{} B:1{resident:0 mover:1}");
  EXPECT_EQ(g_.CountEntries(a.FolderPath()), 0);
  EXPECT_NE(Entry(t, B, "mover").entry->FileName(), "7.entry");
}

TEST_F(RepositoryChangesTest, NewAndPastedEntriesGoLastAndAPasteHasRemindersOfItsOwn) {
  TqmCategory& a = AddCategory("A", 0);
  AddCategory("B", 1);
  a.Fields().Add(TqmField(2, "Due", ftReminder, false));
  g_.SaveCategory(a);
  AddEntry(a, "one", 0);
  AddEntry(a, "two", 1);
  AddEntry(a, "three", 2);
  TqmRepositoryTree t(g_);
  TNode& A = Child(t, t.Root(), "A");
  TNode& B = Child(t, t.Root(), "B");

  auto fresh = t.NewEntry(A);
  TqmRepositoryEntry* added = fresh.get();
  {
    TqmEntryEditSession session(g_, *fresh);
    session.SetValue(0, "four");
    TqmReminderEvent reminder;
    reminder.SetName("renew");
    session.SaveReminder(2, reminder);
    const TItem item = t.AddEntry(A, std::move(fresh), session);
    EXPECT_EQ(item.entry, added);
  }
  EXPECT_EQ(added->SortOrder(), 3);
  EXPECT_EQ(Shape(), "A:0{one:0 two:1 three:2 four:3} B:1{}");
  // One saved by a window's own session joins the same way.
  auto saved = t.NewEntry(B);
  {
    TqmEntryEditSession session(g_, *saved);
    session.SetValue(0, "elsewhere");
    session.Commit();
  }
  // B was not read yet: it is read now, and the entry is there once.
  const TItem joined = t.AddSavedEntry(B, std::move(saved));
  EXPECT_EQ(joined, Entry(t, B, "elsewhere"));
  EXPECT_EQ(B.entries.size(), 1u);
  t.DeleteEntry(B, *Entry(t, B, "elsewhere").entry);
  const std::string original = added->FieldAt(2).Value();
  ASSERT_FALSE(original.empty());

  TTestClipboard clipboard;
  added->CopyToClipboard(clipboard);
  const TItem pasted = t.PasteEntry(B, clipboard);
  ASSERT_TRUE(pasted.IsEntry());
  EXPECT_EQ(Shape(), "A:0{one:0 two:1 three:2 four:3} B:1{four:0}");
  const std::string copy = pasted.entry->FieldAt(2).Value();
  EXPECT_FALSE(copy.empty());
  EXPECT_NE(copy, original);
  TqmReminderEvent r;
  ASSERT_TRUE(g_.LoadReminder(copy, r));
  EXPECT_EQ(r.name(), "renew");

  // The original goes with its reminder; the copy keeps its own.
  t.DeleteEntry(A, *added);
  EXPECT_FALSE(g_.LoadReminder(original, r));
  EXPECT_TRUE(g_.LoadReminder(copy, r));
  EXPECT_EQ(Shape(), "A:0{one:0 two:1 three:2} B:1{four:0}");

  // Text of another kind is no entry: nothing happens, silently.
  clipboard.text = "just some text";
  EXPECT_TRUE(t.PasteEntry(B, clipboard).IsNone());
  clipboard.text = "qvt-entry:!!!!";
  EXPECT_TRUE(t.PasteEntry(B, clipboard).IsNone());
  EXPECT_EQ(Shape(), "A:0{one:0 two:1 three:2} B:1{four:0}");
}

TEST_F(RepositoryChangesTest, APasteThatFailsTakesItsReminderCopiesAway) {
  TqmCategory& a = AddCategory("A", 0);
  TqmReminderEvent reminder;
  reminder.SetName("renew");
  g_.SaveReminder(reminder);
  TTestClipboard clipboard;
  {
    TqmRepositoryEntry e(&a);
    e.Fields().Add(TqmField(0, "Title", ftNormalText, true, "card"));
    e.Fields().Add(TqmField(1, "Due", ftReminder, false, reminder.id()));
    e.CopyToClipboard(clipboard);
  }
  test::TFaultyPartStorage storage;
  const auto detach = ReopenThrough(storage);
  const std::string shape = Shape();
  // Each write of the paste fails in turn: either the paste is whole or nothing of it is there.
  for (int64_t at = 1;; ++at) {
    ASSERT_LT(at, 400) << "the paste never succeeded";
    TqmRepositoryTree t(g_);
    TNode& A = Child(t, t.Root(), "A");
    storage.Arm(test::TFaultyPartStorage::TFault::Fail, storage.Operations() + at);
    bool pasted = false;
    try {
      pasted = t.PasteEntry(A, clipboard).IsEntry();
    } catch (const std::exception&) {
    }
    storage.Disarm();
    if (pasted) {
      EXPECT_GT(at, 3) << "the paste wrote nothing";
      EXPECT_EQ(g_.ReminderNames().size(), 2u);
      EXPECT_EQ(Shape(), "A:0{card:0}");
      break;
    }
    EXPECT_EQ(g_.ReminderNames(), std::vector<std::string>{reminder.id()}) << "failure at " << at;
    EXPECT_EQ(Shape(), shape) << "failure at " << at;
    EXPECT_TRUE(A.entries.empty());
  }
}

TEST_F(RepositoryChangesTest, DeletingAnEntrySelectsTheNextThePreviousOrTheCategory) {
  TqmCategory& a = AddCategory("A", 0);
  AddCategory("A1", 0, &a);
  AddEntry(a, "e0", 0);
  AddEntry(a, "e1", 1);
  AddEntry(a, "e2", 2);
  TqmCategory& b = AddCategory("B", 1);
  AddEntry(b, "only", 0);
  TqmRepositoryTree t(g_);
  TNode& A = Child(t, t.Root(), "A");
  TNode& B = Child(t, t.Root(), "B");
  EXPECT_EQ(t.DeleteEntry(A, *Entry(t, A, "e0").entry), Entry(t, A, "e1"));
  EXPECT_EQ(Shape(), "A:0{A1:0{} e1:0 e2:1} B:1{only:0}");
  EXPECT_EQ(t.DeleteEntry(A, *Entry(t, A, "e2").entry), Entry(t, A, "e1"));
  EXPECT_EQ(t.DeleteEntry(A, *Entry(t, A, "e1").entry), TItem{&Child(t, A, "A1")});
  EXPECT_EQ(t.DeleteEntry(B, *Entry(t, B, "only").entry), TItem{&B});
  EXPECT_EQ(Shape(), "A:0{A1:0{}} B:1{}");
}

TEST_F(RepositoryChangesTest, CategoriesAreAddedPastedAndDeletedWithTheirSiblingsRenumbered) {
  test::TScriptedPrompter prompter;
  g_.SetPrompter(&prompter);
  AddCategory("X", 3);
  AddCategory("Y", 7);
  TqmRepositoryTree t(g_);
  TNode& fresh = t.AddCategory(t.Root(), "New category");
  EXPECT_EQ(fresh.category->Fields().Count(), 0);
  EXPECT_FALSE(fresh.category->FolderName().empty());
  EXPECT_EQ(Shape(), "X:0{} Y:1{} New category:2{}");

  TTestClipboard clipboard;
  TNode& X = Child(t, t.Root(), "X");
  TNode& Y = Child(t, t.Root(), "Y");
  X.category->CopyToClipboard(clipboard);
  TNode& pasted = t.PasteCategory(Y, clipboard);
  EXPECT_EQ(pasted.parent, &Y);
  EXPECT_EQ(pasted.category->Fields().Count(), 2);
  EXPECT_EQ(Shape(), "X:0{} Y:1{X:0{}} New category:2{}");
  clipboard.text = "qvt-entry:AAAA";
  EXPECT_THROW(
      try { t.PasteCategory(Y, clipboard); } catch (const EQuillmarError& e) {
        EXPECT_STREQ(e.what(), "wrong clipboard");
        throw;
      },
      EQuillmarError);
  EXPECT_EQ(Shape(), "X:0{} Y:1{X:0{}} New category:2{}");

  // Entries in a sub-category keep the category: refused with the message, nothing changes.
  TNode& inner = t.AddCategory(X, "Inner");
  AddEntry(*inner.category, "kept", 0);
  EXPECT_FALSE(t.DeleteCategory(X).has_value());
  ASSERT_EQ(prompter.Messages.size(), 1u);
  EXPECT_EQ(prompter.Messages[0], TqmGlobal::kMsgCategoryHasEntries);
  EXPECT_EQ(Shape(), "X:0{Inner:0{kept:0}} Y:1{X:0{}} New category:2{}");

  // Without entries a category goes with its sub-categories; the next one beside it is selected.
  EXPECT_EQ(t.DeleteCategory(Y), std::optional<TItem>(TItem{&fresh}));
  EXPECT_EQ(Shape(), "X:0{Inner:0{kept:0}} New category:1{}");
  EXPECT_EQ(t.DeleteCategory(fresh), std::optional<TItem>(TItem{&X}));
  TNode& sub = t.AddCategory(Child(t, X, "Inner"), "Leaf");
  EXPECT_EQ(t.DeleteCategory(sub), std::optional<TItem>(TItem{&Child(t, X, "Inner")}));
  EXPECT_EQ(Shape(), "X:0{Inner:0{kept:0}}");
  g_.SetPrompter(nullptr);
}

TEST_F(RepositoryChangesTest, FindNextWalksOnFromTheStartWithoutWrappingAround) {
  TqmCategory& a = AddCategory("A", 0);
  TqmCategory& a1 = AddCategory("A1", 0, &a);
  AddEntry(a1, "abc one", 0);
  AddEntry(a, "Mail", 0, "abc in a note");
  AddEntry(a, "abc two", 1);
  TqmCategory& b = AddCategory("B", 1);
  AddEntry(b, "xABCx", 0);
  TqmRepositoryTree t(g_);
  auto title = [](const TItem& i) {
    return i.entry ? i.entry->Title() : i.IsNone() ? "-" : i.node->category->Name();
  };

  // Nothing loaded yet: the walk reads what it passes, collapsed categories included.
  TItem hit = t.FindNext({}, false, "abc", false, false);
  EXPECT_EQ(title(hit), "abc one");
  hit = t.FindNext(hit, false, "abc", false, false);
  EXPECT_EQ(title(hit), "abc two");
  EXPECT_EQ(title(t.FindNext(hit, true, "abc", false, false)), "abc two");  // the text changed
  hit = t.FindNext(hit, false, "abc", false, false);
  EXPECT_EQ(title(hit), "xABCx");
  EXPECT_TRUE(t.FindNext(hit, false, "abc", false, false).IsNone());  // no wrap-around
  EXPECT_EQ(title(t.FindNext({}, false, "ABC", true, false)), "xABCx");
  // All fields: a note's value counts; from a category its contents come first.
  TNode& A = Child(t, t.Root(), "A");
  EXPECT_EQ(title(t.FindNext({&Child(t, A, "A1")}, false, "in a note", false, true)), "Mail");
  EXPECT_EQ(title(t.FindNext({&A}, false, "B", true, false)), "B");
  EXPECT_TRUE(t.FindNext({}, false, "", false, true).IsNone());
}

}  // namespace
}  // namespace quillmar
