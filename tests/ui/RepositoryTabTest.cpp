// The Password Repository tab on a real Safe: enabling of the entry commands, copy and paste into
// another category, delete with its question and next selection, the find window's queued search, and
// the tray's lists of the tab's entries, kept between openings.
#include <QAction>
#include <QMenu>
#include <QTest>

#include "core/qmRepositoryTree.h"
#include "repository/frmCategoryManagement.h"
#include "repository/frmPasswordRepository.h"
#include "repository/frmRepositoryEntryEditor.h"
#include "safe/qmSafeChanges.h"
#include "uisupport/Child.h"
#include "uisupport/UiTest.h"

namespace quillmar::test {
namespace {

using TItem = TqmRepositoryTree::TItem;
using TNode = TqmRepositoryTree::TNode;

class RepositoryTabTest : public UiTest {
protected:
  TfrmPasswordRepository& Tab() {
    W().SelectTab(tabPasswordRepository);
    return *static_cast<TfrmPasswordRepository*>(W().TabWindow(tabPasswordRepository));
  }
  static TNode& Category(TqmRepositoryTree& tree, const std::string& name) {
    tree.Load(tree.Root());
    for (auto& c : tree.Root().categories)
      if (c->category->Name() == name) return *c;
    std::string names;
    for (auto& c : tree.Root().categories) names += c->category->Name() + ";";
    throw std::runtime_error("no category " + name + " among " + names);
  }
  static TItem EntryOf(TqmRepositoryTree& tree, TNode& node, const std::string& title) {
    tree.Load(node);
    for (auto& e : node.entries)
      if (e->Title() == title) return {&node, e.get()};
    return {};
  }
  // The titles of a category as the Safe holds them, in display order.
  std::vector<std::string> Stored(const std::string& category) {
    TqmRepositoryTree fresh(G());
    TNode& node = Category(fresh, category);
    fresh.Load(node);
    std::vector<std::string> titles;
    for (auto& e : node.entries) titles.push_back(e->Title() + ":" + std::to_string(e->SortOrder()));
    return titles;
  }
  bool Enabled(const char* action) { return Child<QAction>(&Tab(), action)->isEnabled(); }

  // Opens the application menu (as the tray icon does) and returns the items of one of its two lists
  // as they read on the screen (without the marks of access keys).
  QStringList TrayItems(const char* menu) {
    emit W().ApplicationMenu()->aboutToShow();
    QStringList items;
    for (QAction* a : Child<QMenu>(W().ApplicationMenu(), menu)->actions()) items << a->iconText();
    return items;
  }
  QList<QAction*> TrayActions(const char* menu) {
    return Child<QMenu>(W().ApplicationMenu(), menu)->actions();
  }
  // A category of Title and Web site saved into the open Safe.
  void SaveWebCategory(TqmCategory& category, const std::string& name, int order) {
    category.SetName(name);
    category.SetSortOrder(order);
    category.Fields().Add(TqmField(0, "Title", ftNormalText, true));
    category.Fields().Add(TqmField(1, "Web site", ftURL, false));
    G().SaveCategory(category);
  }
  // Saves an entry with an address into the category; returns its file name.
  std::string SaveSite(TqmCategory& category, const std::string& title, int order,
                       const std::string& autoFill = {}) {
    TqmRepositoryEntry e(&category);
    e.SetSortOrder(order);
    e.Fields().Add(TqmField(0, "Title", ftNormalText, true, title));
    e.Fields().Add(TqmField(1, "Web site", ftURL, false, title + ".example"));
    e.SetAutoFill(autoFill);
    G().SaveEntry(category.FolderPath(), e);
    return e.FileName();
  }
};

TEST_F(RepositoryTabTest, EntryCommandsCopyPasteDeleteAndFind) {
  MakeSafe("Alpha", "alpha-pass");
  StartAndLogin("Alpha", "alpha-pass");
  {
    TqmCategory web;
    web.SetName("Test Web");
    web.SetSortOrder(100);
    web.Fields().Add(TqmField(0, "Title", ftNormalText, true));
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
      G().SaveEntry(web.FolderPath(), e);
    }
  }
  G().Settings().App.confDel.SetValue(true);
  TfrmPasswordRepository& tab = Tab();
  tab.Reload();  // the tab was made at the login, before the categories above
  TqmRepositoryTree& tree = tab.Tree();
  TNode& web = Category(tree, "Test Web");
  TNode& mail = Category(tree, "Test Mail");

  tab.Select({&web});
  EXPECT_EQ(tab.Selection(), TfrmPasswordRepository::TSelection::Category);
  EXPECT_TRUE(Enabled("newEntry"));
  EXPECT_TRUE(Enabled("pasteEntry"));
  EXPECT_FALSE(Enabled("modifyEntry"));
  EXPECT_FALSE(Enabled("deleteEntry"));
  EXPECT_EQ(Child<QLabel>(&tab, "lblEntryFullCaption")->text(), QStringLiteral("Test Web\\"));

  tab.Select(EntryOf(tree, web, "two"));
  EXPECT_TRUE(Enabled("modifyEntry"));
  EXPECT_TRUE(Enabled("copyEntry"));
  EXPECT_EQ(Child<QLabel>(&tab, "lblEntryFullCaption")->text(), QStringLiteral("Test Web\\two"));

  // Copy, then paste with the other category selected: the copy goes there, last.
  Child<QAction>(&tab, "copyEntry")->trigger();
  tab.Select({&mail});
  Child<QAction>(&tab, "pasteEntry")->trigger();
  ASSERT_TRUE(tab.CurrentItem().IsEntry());
  EXPECT_EQ(tab.CurrentItem().entry->Title(), "two");
  EXPECT_EQ(tab.CurrentItem().node, &mail);
  EXPECT_EQ(Stored("Test Mail"), std::vector<std::string>{"two:0"});

  // Delete asks; the next entry is selected and the rest renumbered in the Safe.
  tab.Select(EntryOf(tree, web, "two"));
  script_->Answer(QStringLiteral("Delete entry two?"), QMessageBox::Yes);
  Child<QAction>(&tab, "deleteEntry")->trigger();
  ExpectScriptDone();
  EXPECT_EQ(tab.CurrentItem(), EntryOf(tree, web, "three"));
  EXPECT_EQ(Stored("Test Web"), (std::vector<std::string>{"one:0", "three:1"}));
  EXPECT_EQ(Stored("Test Mail"), std::vector<std::string>{"two:0"});

  // Find Next arrives queued: from the category its first match below; no wrap-around after it.
  tab.Select({&web});
  W().PostFindNext(QStringLiteral("ONE"), false, false);
  ASSERT_TRUE(WaitUntil([&] { return tab.CurrentItem() == EntryOf(tree, web, "one"); }));
  W().PostFindNext(QStringLiteral("ONE"), false, false);
  W().PostFindNext(QStringLiteral("no such text"), false, true);  // runs after the one before
  ASSERT_TRUE(WaitUntil([&] { return tab.LastFind() == QStringLiteral("no such text"); }));
  EXPECT_EQ(tab.CurrentItem(), EntryOf(tree, web, "one"));
}

TEST_F(RepositoryTabTest, TrayListsEveryChangeAtItsNextOpeningAndKeepsItsItemsOtherwise) {
  MakeSafe("Alpha", "alpha-pass");
  MakeSafe("Beta", "beta-pass");
  StartAndLogin("Alpha", "alpha-pass");
  TqmCategory webCategory, mailCategory;
  SaveWebCategory(webCategory, "Test Web", 100);
  SaveWebCategory(mailCategory, "Test Mail", 101);
  SaveSite(webCategory, "one", 0, "<form action=\"https://one.example/login\"/>");
  SaveSite(webCategory, "two", 1);
  G().Settings().App.confDel.SetValue(false);
  TfrmPasswordRepository& tab = Tab();
  tab.Reload();
  TqmRepositoryTree& tree = tab.Tree();
  TNode& web = Category(tree, "Test Web");
  TNode& mail = Category(tree, "Test Mail");

  EXPECT_EQ(TrayItems("mnuAutoFill"), QStringList{"Test Web->one"});
  EXPECT_EQ(TrayItems("mnuVisitWebSites"), (QStringList{"Test Web->one", "Test Web->two"}));
  // Nothing changed: the next opening finds the same items in place.
  const QList<QAction*> before = TrayActions("mnuVisitWebSites");
  EXPECT_EQ(TrayItems("mnuVisitWebSites"), (QStringList{"Test Web->one", "Test Web->two"}));
  EXPECT_EQ(TrayActions("mnuVisitWebSites"), before);

  // Renamed through Modify.
  tab.Select(EntryOf(tree, web, "one"));
  script_->On<TfrmRepositoryEntryEditor>([](TfrmRepositoryEntryEditor* editor) {
    auto* title = Child<QLineEdit>(editor, "fld0Value");
    title->selectAll();
    QTest::keyClicks(title, QStringLiteral("uno"));
    Child<QPushButton>(editor, "btnOK")->click();
  });
  Child<QAction>(&tab, "modifyEntry")->trigger();
  ExpectScriptDone();
  EXPECT_EQ(TrayItems("mnuAutoFill"), QStringList{"Test Web->uno"});
  EXPECT_EQ(TrayItems("mnuVisitWebSites"), (QStringList{"Test Web->uno", "Test Web->two"}));

  // Added (pasted into the other category), then the original deleted.
  tab.Select(EntryOf(tree, web, "two"));
  Child<QAction>(&tab, "copyEntry")->trigger();
  tab.Select({&mail});
  Child<QAction>(&tab, "pasteEntry")->trigger();
  EXPECT_EQ(TrayItems("mnuVisitWebSites"), (QStringList{"Test Web->uno", "Test Web->two", "Test Mail->two"}));
  tab.Select(EntryOf(tree, web, "two"));
  Child<QAction>(&tab, "deleteEntry")->trigger();
  EXPECT_EQ(TrayItems("mnuVisitWebSites"), (QStringList{"Test Web->uno", "Test Mail->two"}));

  // Moved into the other category (its first entry).
  ASSERT_TRUE(tab.DropItem(EntryOf(tree, web, "uno"), {&mail}, TqmDropMode::On));
  EXPECT_EQ(TrayItems("mnuAutoFill"), QStringList{"Test Mail->uno"});
  EXPECT_EQ(TrayItems("mnuVisitWebSites"), (QStringList{"Test Mail->uno", "Test Mail->two"}));

  // Another program adds an entry while the menu is open: the change report is taken in row by row;
  // an item chosen from the menu as it was opened is refused (its entry may be gone), the next
  // opening lists the change.
  TrayItems("mnuAutoFill");
  {
    const std::string added = SaveSite(*web.category, "three", 0);
    TqmSafeChanges changes;
    changes.Count = 1;
    changes.EntryFolders.insert(web.FolderPath());
    changes.EntryFiles[web.FolderPath()].insert(added);
    tab.SafeChangedElsewhere(changes);
  }
  script_->Answer(QStringLiteral("The entries changed while the menu was open."));
  TrayActions("mnuAutoFill").front()->trigger();
  ExpectScriptDone();
  EXPECT_EQ(TrayItems("mnuVisitWebSites"),
            (QStringList{"Test Web->three", "Test Mail->uno", "Test Mail->two"}));

  // The category manager renames a category (to a name with "&", which a menu takes for the mark
  // of an access key unless it is doubled).
  script_->On<TfrmCategoryManagement>([&](TfrmCategoryManagement* m) {
    m->Select(&Category(m->Tree(), "Test Mail"));
    auto* name = Child<QLineEdit>(m, "txtCategoryName");
    name->setFocus();
    name->selectAll();
    QTest::keyClicks(name, QStringLiteral("Test & Post"));
    m->accept();
  });
  Child<QAction>(&tab, "manageCategories")->trigger();
  ExpectScriptDone();
  EXPECT_EQ(TrayItems("mnuAutoFill"), QStringList{"Test & Post->uno"});
  EXPECT_EQ(TrayItems("mnuVisitWebSites"),
            (QStringList{"Test Web->three", "Test & Post->uno", "Test & Post->two"}));

  // Another Safe: nothing of the first is listed.
  W().FindAction(QStringLiteral("lockSafe"))->trigger();
  ASSERT_FALSE(G().SafeOpen());
  EXPECT_TRUE(TrayItems("mnuVisitWebSites").isEmpty());
  ScriptLogin("Beta", "beta-pass");
  W().FindAction(QStringLiteral("login"))->trigger();
  ASSERT_TRUE(WaitUntil([&] { return G().SafeOpen(); }));
  ExpectScriptDone();
  W().SelectTab(tabPasswordRepository);
  EXPECT_TRUE(TrayItems("mnuAutoFill").isEmpty());
  EXPECT_TRUE(TrayItems("mnuVisitWebSites").isEmpty());
  EXPECT_FALSE(Child<QMenu>(W().ApplicationMenu(), "mnuVisitWebSites")->isEnabled());
}

}  // namespace
}  // namespace quillmar::test
