// The repository tab's user stories beyond entry editing, on real Safes: keeping categories in the
// category manager, copying a password that is cleared again, moving items by drop and keys, and the
// filter.
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <QProgressDialog>
#include <QTableWidget>
#include <QTest>
#include <QTreeView>
#include <chrono>
#include <thread>

#include "core/qmRepositoryTree.h"
#include "repository/frmCategoryManagement.h"
#include "repository/frmPasswordHealth.h"
#include "repository/frmPasswordRepository.h"
#include "uisupport/Child.h"
#include "uisupport/UiTest.h"
#include "widgets/qmSecretClipboard.h"

namespace quillmar::test {
namespace {

using TItem = TqmRepositoryTree::TItem;
using TNode = TqmRepositoryTree::TNode;

class RepositoryCommandsTest : public UiTest {
protected:
  // Logs in to a Safe with two categories of the test's own: "Test Web" (Title, User name, Password)
  // holding the entries one, two and three, and "Test Mail" holding none.
  TfrmPasswordRepository& Start() {
    MakeSafe("Alpha", "alpha-pass");
    StartAndLogin("Alpha", "alpha-pass");
    TqmCategory web;
    web.SetName("Test Web");
    web.SetSortOrder(100);
    web.Fields().Add(TqmField(0, "Title", ftNormalText, true));
    web.Fields().Add(TqmField(1, "User name", ftNormalText, false));
    web.Fields().Add(TqmField(2, "Password", ftPassword, false));
    G().SaveCategory(web);
    TqmCategory mail;
    mail.SetName("Test Mail");
    mail.SetSortOrder(101);
    mail.Fields().Add(TqmField(0, "Title", ftNormalText, true));
    G().SaveCategory(mail);
    int order = 0;
    for (const char* title : {"one", "two", "three"}) {
      TqmRepositoryEntry e(&web);
      e.SetSortOrder(order++);
      e.Fields().Add(TqmField(0, "Title", ftNormalText, true, title));
      e.Fields().Add(TqmField(1, "User name", ftNormalText, false, std::string("user-") + title));
      e.Fields().Add(
          TqmField(2, "Password", ftPassword, false,
                   title == std::string("three") ? "c0rrect-Horse-battery-Staple" : "Shared-Secret-9!"));
      G().SaveEntry(web.FolderPath(), e);
    }
    W().SelectTab(tabPasswordRepository);
    auto& tab = *static_cast<TfrmPasswordRepository*>(W().TabWindow(tabPasswordRepository));
    tab.Reload();
    return tab;
  }
  static TNode& Category(TqmRepositoryTree& tree, const std::string& name, TNode* in = nullptr) {
    TNode& parent = in ? *in : tree.Root();
    tree.Load(parent);
    for (auto& c : parent.categories)
      if (c->category->Name() == name) return *c;
    throw std::runtime_error("no category " + name);
  }
  static TItem EntryOf(TqmRepositoryTree& tree, TNode& node, const std::string& title) {
    tree.Load(node);
    for (auto& e : node.entries)
      if (e->Title() == title) return {&node, e.get()};
    throw std::runtime_error("no entry " + title);
  }
  // A category as the Safe holds it: its template (name:type:required) and its entries
  // (title:sort order), read by a tree of its own.
  std::string Stored(const std::string& category) {
    TqmRepositoryTree fresh(G());
    TNode& node = Category(fresh, category);
    fresh.Load(node);
    std::string out;
    for (const auto& f : node.category->Fields())
      out += f->Name() + ":" + f->TypeName() + ":" + (f->IsRequired() ? "R" : "-") + " ";
    out += "|";
    for (auto& c : node.categories) out += " [" + c->category->Name() + "]";
    for (auto& e : node.entries) out += " " + e->Title() + ":" + std::to_string(e->SortOrder());
    return out;
  }
};

TEST_F(RepositoryCommandsTest, ManageCategoriesKeepsTemplatesAndRefusesWhatWouldLoseData) {
  TfrmPasswordRepository& tab = Start();
  G().Settings().App.confDel.SetValue(true);
  script_->On<TfrmCategoryManagement>([&](TfrmCategoryManagement* m) {
    TqmRepositoryTree& tree = m->Tree();
    // New under Test Mail: "New category" without fields; OK is refused naming it, the window stays.
    m->Select(&Category(tree, "Test Mail"));
    m->NewCategory();
    ASSERT_NE(m->Current(), nullptr);
    EXPECT_EQ(m->Current()->category->Name(), "New category");
    TNode* added = m->Current();
    m->Select(&Category(tree, "Test Web"));
    script_->Answer(
        QStringLiteral("For category \"Test Mail\\New category\\\" at least one field must be defined"));
    m->accept();
    EXPECT_EQ(m->Current(), added);

    // Add twice: field 1 (required) and field 2; Move Up swaps them with their types and flags.
    auto* grid = Child<QTableWidget>(m, "fieldsListView");
    m->AddField();
    m->AddField();
    grid->item(1, 1)->setText(QStringLiteral("Password Field"));
    m->SelectField(1);
    Child<QPushButton>(m, "btnMoveUp")->click();
    EXPECT_EQ(m->SelectedField(), 0);
    EXPECT_FALSE(Child<QPushButton>(m, "btnMoveUp")->isEnabled());
    EXPECT_TRUE(Child<QPushButton>(m, "btnMoveDown")->isEnabled());
    // A name the record cannot carry is refused where it is typed; the category keeps its name.
    auto* name = Child<QLineEdit>(m, "txtCategoryName");
    name->setFocus();
    name->selectAll();
    QTest::keyClicks(name, QStringLiteral("Shop"));
    QTest::keyClicks(name, QStringLiteral("\""));
    EXPECT_EQ(added->category->Name(), "Shop");
    EXPECT_EQ(name->text(), QStringLiteral("Shop"));

    // Two siblings named alike, the second without fields: OK shows that second one.
    m->Select(&Category(tree, "Test Mail"));
    m->NewCategory();
    TNode* twin = m->Current();
    name->setFocus();
    name->selectAll();
    QTest::keyClicks(name, QStringLiteral("Shop"));
    script_->Answer(QStringLiteral("For category \"Test Mail\\Shop\\\" at least one field must be defined"));
    m->Select(added);
    m->accept();
    EXPECT_EQ(m->Current(), twin);
    script_->Answer(QStringLiteral("Delete?"), QMessageBox::Yes);
    m->DeleteCategory();
    EXPECT_EQ(m->Current(), added);  // the one before it

    // Deleting Test Web, which holds entries, is refused with the three-line message.
    script_->Answer(QStringLiteral("Delete?"), QMessageBox::Yes);
    script_->Answer(QStringLiteral("You cannot delete this category as there are some password entries"));
    m->Select(&Category(tree, "Test Web"));  // leaving Shop saves it (modified)
    m->DeleteCategory();
    EXPECT_EQ(m->Current(), &Category(tree, "Test Web"));

    // Cancel does not save a pending edit.
    m->Select(added);
    name->setFocus();
    name->selectAll();
    QTest::keyClicks(name, QStringLiteral("Shopping"));
    EXPECT_EQ(added->category->Name(), "Shopping");
    m->reject();
  });
  Child<QAction>(&tab, "manageCategories")->trigger();
  ExpectScriptDone();

  // The tab has read the Safe anew.
  TqmRepositoryTree& tree = tab.Tree();
  TNode& shop = Category(tree, "Shop", &Category(tree, "Test Mail"));
  std::string fields;
  for (const auto& f : shop.category->Fields())
    fields += f->Name() + ":" + f->TypeName() + ":" + (f->IsRequired() ? "R" : "-") + " ";
  EXPECT_EQ(fields, "field 2:Password Field:- field 1:Normal Text:R ");
  EXPECT_EQ(Stored("Test Web"),
            "Title:Normal Text:R User name:Normal Text:- Password:Password Field:- | one:0 two:1 three:2");
}

TEST_F(RepositoryCommandsTest, CategoryManagerKeysAndClipboard) {
  Start();
  G().Settings().App.confDel.SetValue(false);
  TfrmCategoryManagement m(G(), &W());
  m.show();
  TqmRepositoryTree& tree = m.Tree();
  m.Select(&Category(tree, "Test Mail"));
  auto* grid = Child<QTableWidget>(&m, "fieldsListView");
  grid->setFocus();
  // Insert adds (and starts editing the name, which the next selection ends), Alt+Up moves, Delete
  // removes.
  QTest::keyClick(grid, Qt::Key_Insert);
  ASSERT_EQ(grid->rowCount(), 2);
  EXPECT_EQ(grid->item(1, 0)->text(), QStringLiteral("field 2"));
  m.SelectField(1);
  QTest::keyClick(grid, Qt::Key_Up, Qt::AltModifier);
  EXPECT_EQ(grid->item(0, 0)->text(), QStringLiteral("field 2"));
  EXPECT_EQ(grid->item(0, 2)->text(), QStringLiteral("False"));
  EXPECT_EQ(grid->item(1, 2)->text(), QStringLiteral("True"));
  EXPECT_EQ(m.SelectedField(), 0);
  QTest::keyClick(grid, Qt::Key_Delete);
  ASSERT_EQ(grid->rowCount(), 1);
  EXPECT_EQ(grid->item(0, 0)->text(), QStringLiteral("Title"));
  EXPECT_EQ(m.SelectedField(), 0);  // the row that took the removed one's place

  // Copy and Paste: a sub-category with the same template; foreign text says "wrong clipboard".
  m.Select(&Category(tree, "Test Web"));
  m.CopyCategory();
  m.PasteCategory();
  ASSERT_NE(m.Current(), nullptr);
  EXPECT_EQ(m.Current()->parent, &Category(tree, "Test Web"));
  EXPECT_EQ(m.Current()->category->Fields().Count(), 3);
  QApplication::clipboard()->setText(QStringLiteral("some text"));
  script_->Answer(QStringLiteral("wrong clipboard"));
  m.PasteCategory();
  ExpectScriptDone();
  EXPECT_EQ(Category(tree, "Test Web").categories.size(), 1u);
  m.reject();
  EXPECT_EQ(Stored("Test Mail"), "Title:Normal Text:R |");
  EXPECT_EQ(Stored("Test Web").substr(Stored("Test Web").find('|')), "| [Test Web] one:0 two:1 three:2");
}

TEST_F(RepositoryCommandsTest, CopiedPasswordIsClearedAndEntryRecordsKeepTheHint) {
  TfrmPasswordRepository& tab = Start();
  TqmRepositoryTree& tree = tab.Tree();
  TNode& web = Category(tree, "Test Web");
  QClipboard* clipboard = QApplication::clipboard();
  auto hinted = [&] {
    const QMimeData* data = clipboard->mimeData();
    return data && data->data(QString::fromLatin1(TqmSecretClipboard::kHintFormat)) == "secret";
  };
  TqmSecretClipboard::Instance().SetClearDelay(300);

  tab.Select(EntryOf(tree, web, "two"));
  Child<QAction>(&tab, "copyUserName")->trigger();
  EXPECT_EQ(clipboard->text(), QStringLiteral("user-two"));
  EXPECT_TRUE(hinted());
  Child<QAction>(&tab, "copyPassword")->trigger();
  EXPECT_EQ(clipboard->text(), QStringLiteral("Shared-Secret-9!"));
  EXPECT_TRUE(hinted());
  EXPECT_TRUE(WaitUntil([&] { return clipboard->text().isEmpty(); }));

  // A category has no password to copy.
  tab.Select({&web});
  EXPECT_FALSE(Child<QAction>(&tab, "copyPassword")->isEnabled());

  // The entry record: hinted, not cleared by the delay, pasted elsewhere.
  tab.Select(EntryOf(tree, web, "two"));
  Child<QAction>(&tab, "copyEntry")->trigger();
  EXPECT_TRUE(clipboard->text().startsWith(QStringLiteral("qvt-entry:")));
  EXPECT_TRUE(hinted());
  EXPECT_FALSE(TqmSecretClipboard::Instance().ClearPending());
  tab.Select({&Category(tree, "Test Mail")});
  Child<QAction>(&tab, "pasteEntry")->trigger();
  EXPECT_EQ(Stored("Test Mail"), "Title:Normal Text:R | two:0");
  // Locking the Safe takes it off the clipboard.
  W().LockSafe();
  EXPECT_TRUE(clipboard->text().isEmpty());
  TqmSecretClipboard::Instance().SetClearDelay(TqmSecretClipboard::kDefaultClearDelayMs);
}

TEST_F(RepositoryCommandsTest, DropsAndMoveKeysGoThroughTheSafe) {
  TfrmPasswordRepository& tab = Start();
  TqmRepositoryTree& tree = tab.Tree();
  TNode& web = Category(tree, "Test Web");
  TNode& mail = Category(tree, "Test Mail");

  // An entry dropped on another category becomes its first entry; both sides are renumbered.
  EXPECT_TRUE(tab.DropItem(EntryOf(tree, web, "one"), {&mail}, TqmDropMode::On));
  EXPECT_EQ(tab.CurrentItem(), EntryOf(tree, mail, "one"));
  EXPECT_EQ(Stored("Test Mail"), "Title:Normal Text:R | one:0");
  EXPECT_EQ(Stored("Test Web").substr(Stored("Test Web").find('|')), "| two:0 three:1");
  // Refused: an entry beside a top-level category; nothing changes.
  EXPECT_FALSE(tab.DropItem(EntryOf(tree, web, "two"), {&mail}, TqmDropMode::Above));
  EXPECT_FALSE(tab.DropItem(EntryOf(tree, web, "two"), {}, TqmDropMode::On));  // over no row
  EXPECT_EQ(Stored("Test Web").substr(Stored("Test Web").find('|')), "| two:0 three:1");

  // Ctrl+Down on the tree moves the selected entry after the next one.
  tab.Select(EntryOf(tree, web, "two"));
  QTest::keyClick(tab.TreeView(), Qt::Key_Down, Qt::ControlModifier);
  EXPECT_EQ(Stored("Test Web").substr(Stored("Test Web").find('|')), "| three:0 two:1");
  EXPECT_EQ(tab.CurrentItem(), EntryOf(tree, web, "two"));
  // The last one cannot go further down.
  EXPECT_FALSE(tab.MoveItem(+1));

  // A category dropped above its sibling changes places with it, in the Safe as well.
  EXPECT_TRUE(tab.DropItem({&mail}, {&web}, TqmDropMode::Above));
  {
    TqmRepositoryTree fresh(G());
    fresh.Load(fresh.Root());
    std::vector<std::string> names;
    for (auto& c : fresh.Root().categories)
      if (c->category->Name().rfind("Test ", 0) == 0) names.push_back(c->category->Name());
    EXPECT_EQ(names, (std::vector<std::string>{"Test Mail", "Test Web"}));
  }

  // No drops while the filter is on.
  tab.SetFilter(QStringLiteral("t"));
  EXPECT_FALSE(tab.DropItem(EntryOf(tree, web, "two"), {&mail}, TqmDropMode::On));
  EXPECT_FALSE(Child<QAction>(&tab, "moveItemUp")->isEnabled());
  tab.ClearFilter();
  EXPECT_EQ(Stored("Test Mail"), "Title:Normal Text:R | one:0");
}

TEST_F(RepositoryCommandsTest, FilterShowsMatchesWithTheirCategoriesAndEscapeRestores) {
  TfrmPasswordRepository& tab = Start();
  TqmRepositoryTree& tree = tab.Tree();
  TNode& web = Category(tree, "Test Web");
  TNode& mail = Category(tree, "Test Mail");
  tab.Select(EntryOf(tree, web, "one"));

  // Typing filters after a pause; letter case is ignored; values count, passwords do not.
  auto* box = Child<QLineEdit>(&tab, "txtFilter");
  box->setFocus();
  QTest::keyClicks(box, QStringLiteral("USER-THREE"));
  ASSERT_TRUE(WaitUntil([&] { return tab.Filtering(); }));
  EXPECT_TRUE(tab.RowShown(EntryOf(tree, web, "three")));
  EXPECT_TRUE(tab.RowShown({&web}));
  EXPECT_FALSE(tab.RowShown(EntryOf(tree, web, "one")));
  EXPECT_FALSE(tab.RowShown({&mail}));
  EXPECT_EQ(tab.CurrentItem(), EntryOf(tree, web, "three"));  // the one before is hidden
  tab.SetFilter(QStringLiteral("Shared-Secret"));
  EXPECT_FALSE(tab.RowShown(EntryOf(tree, web, "one")));
  EXPECT_FALSE(tab.RowShown(EntryOf(tree, web, "two")));

  // Escape: the whole tree again, the item chosen while filtering still selected.
  tab.SetFilter(QStringLiteral("two"));
  tab.Select(EntryOf(tree, web, "two"));
  QTest::keyClick(box, Qt::Key_Escape);
  EXPECT_FALSE(tab.Filtering());
  EXPECT_TRUE(box->text().isEmpty());
  EXPECT_TRUE(tab.RowShown(EntryOf(tree, web, "one")));
  EXPECT_TRUE(tab.RowShown({&mail}));
  EXPECT_EQ(tab.CurrentItem(), EntryOf(tree, web, "two"));

  // The health window groups the two entries that share a password.
  TfrmPasswordHealth health(W(), tree, &W());
  ASSERT_TRUE(health.Compute());
  std::vector<std::string> reused;
  for (const TqmHealthFinding& f : health.Findings())
    if (f.Problem == TqmHealthProblem::Reused) reused.push_back(f.Item.entry->Title());
  EXPECT_EQ(reused, (std::vector<std::string>{"one", "two"}));
}

TEST_F(RepositoryCommandsTest, CancelInTheFiltersFirstReadLeavesTreeAndFilterAsTheyWere) {
  TfrmPasswordRepository& tab = Start();
  TqmRepositoryTree& tree = tab.Tree();
  TNode& web = Category(tree, "Test Web");
  TNode* mail = nullptr;
  for (auto& c : tree.Root().categories)
    if (c->category->Name() == "Test Mail") mail = c.get();
  ASSERT_NE(mail, nullptr);
  ASSERT_FALSE(mail->loaded);
  tab.Select(EntryOf(tree, web, "two"));
  auto* view = Child<QTreeView>(&tab, "pwdRepositoryList");
  const int rowsBefore = view->model()->rowCount();

  // The read waits on its worker until Cancel is pressed in its progress dialog.
  bool sawCancel = false;
  TfrmPasswordRepository::SetReadHook(
      [&](const std::function<void(double, bool&)>& progress) {
        const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        bool cancel = false;
        while (!cancel && std::chrono::steady_clock::now() < limit) {
          progress(0.1, cancel);
          std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        sawCancel = cancel;
      },
      0);
  struct TUnhook {
    ~TUnhook() { TfrmPasswordRepository::SetReadHook({}); }
  } unhook;
  script_->On<QProgressDialog>([](QProgressDialog* d) { d->cancel(); });
  auto* box = Child<QLineEdit>(&tab, "txtFilter");
  box->setFocus();
  QTest::keyClicks(box, QStringLiteral("two"));
  QTest::keyClick(box, Qt::Key_Return);  // applied at once
  ExpectScriptDone();
  EXPECT_TRUE(sawCancel);

  // Nothing of the read is kept: the filter is off, every row shows, the selection stays.
  EXPECT_FALSE(tab.Filtering());
  EXPECT_TRUE(box->text().isEmpty());
  EXPECT_FALSE(mail->loaded);
  EXPECT_EQ(view->model()->rowCount(), rowsBefore);
  EXPECT_TRUE(tab.RowShown(EntryOf(tree, web, "one")));
  EXPECT_TRUE(tab.RowShown({mail}));
  EXPECT_EQ(tab.CurrentItem(), EntryOf(tree, web, "two"));
  EXPECT_TRUE(Child<QAction>(&tab, "moveItemUp")->isEnabled()) << "moves are allowed again";

  // The next try reads and filters.
  TfrmPasswordRepository::SetReadHook({});
  tab.SetFilter(QStringLiteral("two"));
  EXPECT_TRUE(tab.Filtering());
  EXPECT_TRUE(mail->loaded);
  EXPECT_FALSE(tab.RowShown(EntryOf(tree, web, "one")));
}

}  // namespace
}  // namespace quillmar::test
