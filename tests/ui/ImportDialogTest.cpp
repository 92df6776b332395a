// The Options tab's import dialog on a real Safe: a KeePassXC export previewed (categories, entries, a
// record left out for a character the Safe cannot hold), an import that fails leaving every category
// and entry of the Safe as it was and the dialog ready to try again, then the import that lands, its entries
// shown by the Password Repository made anew.
#include <QAction>
#include <QTreeWidget>
#include <algorithm>
#include <filesystem>
#include <iterator>

#include "container/SingleFileSystem.h"
#include "core/qmRepositoryTree.h"
#include "repository/frmPasswordRepository.h"
#include "shell/frmImport.h"
#include "uisupport/UiTest.h"

namespace quillmar::test {
namespace {

namespace fs = std::filesystem;
using TNode = TqmRepositoryTree::TNode;

// Every category path and "path:title" of an entry in the tree, sorted.
std::vector<std::string> Items(TqmRepositoryTree& tree) {
  tree.LoadAll(tree.Root());
  std::vector<std::string> found;
  std::function<void(TNode&, const std::string&)> walk = [&](TNode& node, const std::string& path) {
    for (auto& e : node.entries) found.push_back(path + ":" + e->Title());
    for (auto& c : node.categories) {
      const std::string sub = (path.empty() ? "" : path + "/") + c->category->Name();
      found.push_back(sub);
      walk(*c, sub);
    }
  };
  walk(tree.Root(), "");
  std::sort(found.begin(), found.end());
  return found;
}

class ImportDialogTest : public UiTest {
protected:
  // What the Safe holds now, read afresh.
  std::vector<std::string> StoredItems() {
    TqmRepositoryTree tree(G());
    return Items(tree);
  }
};

// The top-level lines of the preview with their children: "Shops: Grocer, Bookshop".
QStringList PreviewLines(TfrmImport* dialog) {
  auto* tree = Child<QTreeWidget>(dialog, "tvPreview");
  QStringList lines;
  for (int i = 0; i < tree->topLevelItemCount(); ++i) {
    QTreeWidgetItem* item = tree->topLevelItem(i);
    QStringList children;
    for (int c = 0; c < item->childCount(); ++c) children << item->child(c)->text(0);
    lines << item->text(0) + QStringLiteral(": ") + children.join(QStringLiteral(", "));
  }
  return lines;
}

TEST_F(ImportDialogTest, PreviewThenAFailedImportLeavesTheSafeThenTheImportLands) {
  MakeSafe("Alpha", "alpha-pass");
  StartAndLogin("Alpha", "alpha-pass");
  // The repository tab loaded before the import: it must show the new entries afterwards.
  W().SelectTab(tabPasswordRepository);
  W().SelectTab(tabOptions);
  const std::string csv =
      DiskFile("keepassxc.csv",
               "\"Group\",\"Title\",\"Username\",\"Password\",\"URL\",\"Notes\",\"TOTP\"\n"
               "\"Root/Shops\",\"Grocer\",\"ann\",\"pw1\",\"https://grocer.example\",\"\",\"\"\n"
               "\"Root/Shops\",\"Bookshop\",\"ann\",\"pw2\",\"\",\"two\nlines\",\"\"\n"
               "\"Root/Work/Servers\",\"db, main\",\"root\",\"p\"\"3\",\"\",\"\",\"JBSWY3DP\"\n"
               "\"Root/Work\",\"\xCE\xA9mega\",\"x\",\"y\",\"\",\"\",\"\"\n");
  const std::string safeFile = G().SafeFile("Alpha");
  const std::vector<std::string> before = StoredItems();
  ASSERT_FALSE(before.empty());
  // Where the change's journal goes there is a folder: the change cannot begin.
  const std::string journal = TSingleFileSystem::JournalFileName(safeFile);
  ASSERT_FALSE(fs::exists(journal));
  fs::create_directory(journal);

  script_->On<TfrmImport>([&](TfrmImport* d) {
    d->SetFile(QString::fromStdString(csv));
    EXPECT_EQ(PreviewLines(d),
              (QStringList{QStringLiteral("Shops: Grocer, Bookshop"), QStringLiteral("Work: "),
                           QStringLiteral("Work/Servers: db, main"),
                           QStringLiteral("Left out (1): line 6 \"\u03A9mega\"")}));
    EXPECT_TRUE(Child<QLabel>(d, "lblSummary")->text().startsWith(QStringLiteral("Would import 3 entries")))
        << Child<QLabel>(d, "lblSummary")->text().toStdString();
    Child<QPushButton>(d, "btnImport")->click();
    // Planned again after the failure: Import can be tried again.
    EXPECT_TRUE(d->isVisible());
    EXPECT_TRUE(Child<QPushButton>(d, "btnImport")->isEnabled());
    EXPECT_FALSE(d->Imported());
    EXPECT_EQ(StoredItems(), before);
    fs::remove(journal);
    Child<QPushButton>(d, "btnImport")->click();
  });
  script_->Answer(QStringLiteral("Nothing was imported; the Safe is as it was."));
  script_->Answer(QStringLiteral("Imported 3 entries"));
  Child<QAction>(W().TabWindow(tabOptions), "import")->trigger();
  ExpectScriptDone();
  EXPECT_TRUE(script_->Answered().last().contains(
      QStringLiteral("keepassxc.csv holds your passwords in clear text")));

  // The repository tab shows them (made anew from the Safe).
  W().SelectTab(tabPasswordRepository);
  auto* tab = static_cast<TfrmPasswordRepository*>(W().TabWindow(tabPasswordRepository));
  TqmRepositoryTree& tree = tab->Tree();
  std::vector<std::string> found = Items(tree);
  std::vector<std::string> added;
  std::set_difference(found.begin(), found.end(), before.begin(), before.end(), std::back_inserter(added));
  EXPECT_EQ(added, (std::vector<std::string>{"Shops", "Shops:Bookshop", "Shops:Grocer", "Work",
                                             "Work/Servers", "Work/Servers:db, main"}));
  EXPECT_EQ(found, StoredItems());
}

}  // namespace
}  // namespace quillmar::test
