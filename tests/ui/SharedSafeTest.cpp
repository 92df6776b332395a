// The desktop beside the command line on one Safe: quillmar-cli (built in this tree) runs as a second
// process while the main window holds the Safe open. The windows take in what it changed once the
// watch on the Safe's file fires, keeping the selection where the item is still there; an entry
// editor whose entry the command line changed asks at OK, and each answer does what it says.
#include <QAction>
#include <QEventLoop>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <set>

#include "container/SFSFileStream.h"
#include "container/SingleFileSystem.h"
#include "core/qmEntryEditSession.h"
#include "core/qmRepositoryTree.h"
#include "filelocker/frmFileLocker.h"
#include "filelocker/qmLockerModel.h"
#include "filelocker/ssFileLockerListView.h"
#include "repository/frmPasswordRepository.h"
#include "repository/frmRepositoryEntryEditor.h"
#include "shell/qmSafeWatch.h"
#include "uisupport/UiTest.h"

namespace quillmar::test {
namespace {

using TItem = TqmRepositoryTree::TItem;
using TNode = TqmRepositoryTree::TNode;

constexpr char kPassword[] = "alpha-pass";

class SharedSafeTest : public UiTest {
protected:
  // Runs quillmar-cli on this test's home folder with the master password on its input; returns its
  // exit code (-1 when it did not end), its output in *out. With `windowsRun` the window's events are
  // handled meanwhile: the desktop reads the Safe while the command line changes it.
  int Cli(const QStringList& arguments, QString* out = nullptr, bool windowsRun = false) {
    QProcess cli;
    cli.setProcessChannelMode(QProcess::MergedChannels);
    cli.start(QStringLiteral(QM_CLI_PROGRAM),
              QStringList{QStringLiteral("--home"), QString::fromStdString(dir_.file("home"))} + arguments);
    if (!cli.waitForStarted(30000)) return -1;
    cli.write(QByteArray(kPassword) + "\n");
    cli.closeWriteChannel();
    bool ended;
    if (windowsRun) {
      // An event loop that sleeps until something happens (WaitUntil would keep a core busy).
      QEventLoop loop;
      QObject::connect(&cli, &QProcess::finished, &loop, &QEventLoop::quit);
      QTimer::singleShot(60000, &loop, &QEventLoop::quit);
      if (cli.state() != QProcess::NotRunning) loop.exec();
      ended = cli.state() == QProcess::NotRunning;
    } else {
      ended = cli.waitForFinished(60000);
    }
    if (!ended) {
      cli.kill();
      cli.waitForFinished(5000);
      return -1;
    }
    const QString output = QString::fromUtf8(cli.readAll());
    if (out) *out = output;
    if (cli.exitCode() != 0)
      ADD_FAILURE() << arguments.join(' ').toStdString() << ": " << output.toStdString();
    return cli.exitCode();
  }

  TfrmPasswordRepository& Repository() {
    return *static_cast<TfrmPasswordRepository*>(W().TabWindow(tabPasswordRepository));
  }
  // The category of that name at the top level of the tab's tree (read when needed); null when none.
  TNode* Category(const std::string& name) {
    TqmRepositoryTree& tree = Repository().Tree();
    for (auto& c : tree.Root().categories)
      if (c->category->Name() == name) return c.get();
    return nullptr;
  }
  // The titles of the category's entries as the tab's tree holds them; a category not read yet is
  // expanded in the view, as a person would.
  std::vector<std::string> Titles(const std::string& category) {
    std::vector<std::string> titles;
    TNode* node = Category(category);
    if (node == nullptr) return titles;
    if (!node->loaded) {
      auto* view = Child<QTreeView>(&Repository(), "pwdRepositoryList");
      const QModelIndexList hits = view->model()->match(
          view->model()->index(0, 0), Qt::DisplayRole, QString::fromStdString(category), 1, Qt::MatchExactly);
      if (!hits.isEmpty()) view->expand(hits[0]);
    }
    for (auto& e : node->entries) titles.push_back(e->Title());
    return titles;
  }
  std::string SelectedTitle() {
    const TItem item = Repository().CurrentItem();
    if (item.entry) return item.entry->Title();
    return item.IsNone() ? "<none>" : "category " + item.node->category->Name();
  }
  // The category Shared (Title required, Note) with one entry "one", as the tab shows it.
  void MakeSharedCategory() {
    ASSERT_EQ(Cli({"mkcat", "Alpha", "Shared", "--field", "Title:text:required", "--field", "Note:text"}), 0);
    ASSERT_EQ(Cli({"add", "Alpha", "Shared", "--set", "Title=one"}), 0);
    ASSERT_TRUE(WaitUntil([&] { return Titles("Shared") == std::vector<std::string>{"one"}; }))
        << "the tree never showed the command line's category and entry";
  }
  // The Note of the entry of Shared titled title as a fresh read of the Safe finds it; "<none>" when
  // there is no such entry.
  std::string StoredNote(const std::string& title) {
    TqmRepositoryTree fresh(G());
    fresh.Load(fresh.Root());
    for (auto& c : fresh.Root().categories) {
      if (c->category->Name() != "Shared") continue;
      fresh.Load(*c);
      for (auto& e : c->entries)
        if (e->Title() == title) return e->FieldAt(1).Value();
    }
    return "<none>";
  }
};

// A thousand entries added one at a time by the command line while the window reads the Safe as each
// change comes in: the real workload is a person's script next to the open window. The tab takes each
// look in entry by entry, the path a large Safe depends on. Each add is a process of its own (most of
// the test's time is their start).
TEST_F(SharedSafeTest, TheWindowsFollowWhatTheCommandLineChangesAndKeepTheirSelection) {
  MakeSafe("Alpha", kPassword);
  StartAndLogin("Alpha", kPassword);
  ASSERT_TRUE(W().SafeWatch()->WatchingFile());
  MakeSharedCategory();
  TfrmPasswordRepository& tab = Repository();
  tab.Select({Category("Shared"), Category("Shared")->entries[0].get()});
  ASSERT_EQ(SelectedTitle(), "one");

  // The tab follows entry by entry: the objects it shows stay (a reading anew would make them anew).
  TNode* shared = Category("Shared");
  TqmRepositoryEntry* selected = tab.CurrentItem().entry;
  auto* view = Child<QTreeView>(&tab, "pwdRepositoryList");
  ASSERT_TRUE(view->isExpanded(view->currentIndex().parent()));

  constexpr int kAdded = 1000;
  for (int i = 1; i <= kAdded; ++i) {
    ASSERT_EQ(
        Cli({"add", "Alpha", "Shared", "--set", QStringLiteral("Title=entry-%1").arg(i)}, nullptr, true), 0);
    if (i % 50 != 0) continue;
    ASSERT_TRUE(WaitUntil([&] { return Titles("Shared").size() == size_t(i) + 1; }))
        << "after " << i << " adds the tree shows " << Titles("Shared").size() << " entries";
    EXPECT_EQ(SelectedTitle(), "one") << "the selection stays on its entry";
  }
  const std::vector<std::string> titles = Titles("Shared");
  EXPECT_EQ(std::set<std::string>(titles.begin(), titles.end()).size(), size_t(kAdded) + 1)
      << "every entry is shown once";
  EXPECT_EQ(Category("Shared"), shared);
  EXPECT_EQ(tab.CurrentItem().entry, selected) << "the entries were followed one by one, not read anew";
  EXPECT_EQ(view->model()->rowCount(view->currentIndex().parent()), kAdded + 1);
  EXPECT_TRUE(view->isExpanded(view->currentIndex().parent()));

  // The selected entry changed by the other program: the header shows what it is now.
  ASSERT_EQ(Cli({"edit", "Alpha", "Shared/one", "--set", "Title=uno"}), 0);
  ASSERT_TRUE(WaitUntil([&] { return SelectedTitle() == "uno"; })) << SelectedTitle();
  EXPECT_EQ(tab.CurrentItem().entry, selected);
  EXPECT_EQ(Child<QLabel>(&tab, "lblEntryFullCaption")->text(), QStringLiteral("Shared\\uno"));

  // The selected entry deleted by the other program: its category is selected instead.
  ASSERT_EQ(Cli({"rm", "Alpha", "Shared/uno", "--yes"}), 0);
  ASSERT_TRUE(WaitUntil([&] { return SelectedTitle() == "category Shared"; })) << SelectedTitle();
  EXPECT_EQ(Titles("Shared").size(), size_t(kAdded));

  // The File Locker keeps the folder it shows and lists what was locked into it.
  ASSERT_EQ(Cli({"mkdir", "Alpha", "Box"}), 0);
  W().SelectTab(tabFileLocker);
  auto* locker = static_cast<TfrmFileLocker*>(W().TabWindow(tabFileLocker));
  locker->Refresh(G().FileLockerRoot() + "Box\\");
  ASSERT_EQ(Cli({"lock", "Alpha", QString::fromStdString(DiskFile("letter.txt", "dear")), "--into", "Box"}),
            0);
  ASSERT_TRUE(WaitUntil([&] { return locker->List()->Model()->RowOf("letter.txt") >= 0; }))
      << "the File Locker never listed the locked file";
  EXPECT_EQ(locker->CurrentFolder(), G().FileLockerRoot() + "Box\\");
  // Its folder taken away: the list goes up to the root.
  ASSERT_EQ(Cli({"rmfile", "Alpha", "Box", "--yes"}), 0);
  ASSERT_TRUE(WaitUntil([&] { return locker->CurrentFolder() == G().FileLockerRoot(); }))
      << locker->CurrentFolder();

  EXPECT_EQ(Cli({"check", "Alpha", "--deep"}), 0);
}

// The entry changed (or deleted) by the command line while its editor is open: Cancel returns to the
// editor, Overwrite writes the editor's entry, Keep theirs shows theirs, each checked in the Safe.
TEST_F(SharedSafeTest, EachAnswerToAnEntryChangedMeanwhileDoesWhatItSays) {
  MakeSafe("Alpha", kPassword);
  StartAndLogin("Alpha", kPassword);
  MakeSharedCategory();
  TfrmPasswordRepository& tab = Repository();
  auto modify = [&](const std::string& title) {
    for (auto& e : Category("Shared")->entries)
      if (e->Title() == title) tab.Select({Category("Shared"), e.get()});
    ASSERT_EQ(SelectedTitle(), title);
    Child<QAction>(&tab, "modifyEntry")->trigger();
    ASSERT_TRUE(WaitUntil([&] { return script_->Done(); }))
        << script_->Problems().join(QStringLiteral("; ")).toStdString();
  };
  // The editor: the command line changes the entry, the title is typed over, OK.
  auto typeAndOk = [&](QStringList cli, const char* typed) {
    return [this, cli, typed](TfrmRepositoryEntryEditor* w) {
      EXPECT_EQ(Cli(cli), 0);
      auto* title = Child<QLineEdit>(w, "fld0Value");
      title->selectAll();
      QTest::keyClicks(title, typed);
      Child<QPushButton>(w, "btnOK")->click();
    };
  };
  const QString changed = QString::fromLatin1(kMsgEntryChangedElsewhere);

  // Cancel, then Overwrite: the editor's title is written, their note is gone with it.
  script_->On<TfrmRepositoryEntryEditor>(
      typeAndOk({"edit", "Alpha", "Shared/one", "--set", "Note=theirs"}, "mine"));
  script_->Answer(changed, QMessageBox::Cancel);
  script_->On<TfrmRepositoryEntryEditor>([](TfrmRepositoryEntryEditor* w) {
    EXPECT_TRUE(w->isVisible()) << "Cancel returns to the editor";
    EXPECT_EQ(Child<QLineEdit>(w, "fld0Value")->text(), QStringLiteral("mine"));
    Child<QPushButton>(w, "btnOK")->click();
  });
  script_->Answer(changed, QMessageBox::Save);
  modify("one");
  EXPECT_EQ(StoredNote("mine"), "");
  EXPECT_EQ(StoredNote("one"), "<none>");
  EXPECT_EQ(SelectedTitle(), "mine");

  // Keep theirs: their title stays and the tab shows it; what was typed is gone.
  script_->On<TfrmRepositoryEntryEditor>(
      typeAndOk({"edit", "Alpha", "Shared/mine", "--set", "Title=theirs"}, "lost"));
  script_->Answer(changed, QMessageBox::Discard);
  modify("mine");
  EXPECT_EQ(StoredNote("theirs"), "");
  EXPECT_EQ(StoredNote("lost"), "<none>");
  EXPECT_EQ(SelectedTitle(), "theirs");
  EXPECT_EQ(Child<QAction>(&tab, "modifyEntry")->isEnabled(), true);

  // Deleted meanwhile, kept deleted: the tree lets it go once the watch has told.
  script_->On<TfrmRepositoryEntryEditor>(typeAndOk({"rm", "Alpha", "Shared/theirs", "--yes"}, "again"));
  script_->Answer(QString::fromLatin1(kMsgEntryDeletedElsewhere), QMessageBox::Discard);
  modify("theirs");
  ASSERT_TRUE(WaitUntil([&] { return Titles("Shared").empty(); })) << Titles("Shared").size();
  EXPECT_EQ(StoredNote("again"), "<none>");
}

// A damaged category record is named once a session, not again at each change of another program
// that makes the tab read its tree anew.
TEST_F(SharedSafeTest, ADamagedRecordIsNamedOnceNotAtEveryChangeOfAnotherProgram) {
  MakeSafe("Alpha", kPassword);
  StartAndLogin("Alpha", kPassword);
  MakeSharedCategory();
  ASSERT_EQ(Cli({"mkcat", "Alpha", "Broken", "--field", "Title:text:required"}), 0);
  ASSERT_EQ(Cli({"add", "Alpha", "Broken", "--set", "Title=kept"}), 0);
  ASSERT_TRUE(WaitUntil([&] { return Category("Broken") != nullptr; }));
  const std::string record = std::string(TqmSFSWrapper::kRepositoryRoot) +
                             Category("Broken")->category->FolderPath() +
                             TqmSFSWrapper::kCategoryTemplateFile;
  // Another program writes the same bytes that are no category record over it, twice.
  TqmGlobal other(dir_.file("home"), {"quillmar"});
  other.OpenSafeByName("Alpha", kPassword);
  auto damage = [&] {
    TSFSFileStream s(other.Wrapper().Container(), 0, "", "", TqmSFSWrapper::kRecordPassword,
                     TSingleFileSystem::fmCreate, record);
    s.WriteString("no category here");
  };
  script_->Answer(QStringLiteral("without a template"));
  damage();
  ASSERT_TRUE(WaitUntil([&] { return script_->Done(); })) << "the damage was never named";
  ASSERT_TRUE(WaitUntil([&] { return Category("Broken") == nullptr; }));  // shown under its folder name
  damage();
  ASSERT_EQ(Cli({"add", "Alpha", "Shared", "--set", "Title=two"}), 0);
  ASSERT_TRUE(WaitUntil([&] { return Titles("Shared").size() == 2; }));
  EXPECT_TRUE(script_->Problems().isEmpty())
      << "named again: " << script_->Problems().join(QStringLiteral("; ")).toStdString();
}

}  // namespace
}  // namespace quillmar::test
