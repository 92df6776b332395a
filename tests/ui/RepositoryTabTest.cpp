// The Password Repository tab on a real Safe: enabling of the entry commands, copy and paste into
// another category, delete with its question and next selection, and the find window's queued search.
#include <QAction>

#include "core/qmRepositoryTree.h"
#include "repository/frmPasswordRepository.h"
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

}  // namespace
}  // namespace quillmar::test
