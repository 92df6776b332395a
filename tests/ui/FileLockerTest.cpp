// The File Locker tab on a real Safe: browsing, the commands with their dialogs and questions, drops
// of folders, and the copies taken out for viewing.
#include <QAction>
#include <QApplication>
#include <QDropEvent>
#include <QHeaderView>
#include <QInputDialog>
#include <QListView>
#include <QMenu>
#include <QMimeData>
#include <QProcess>
#include <QProgressDialog>
#include <QTest>
#include <QTreeView>
#include <QUrl>
#include <filesystem>

#include "core/qmLockerItems.h"
#include "filelocker/frmFileLocker.h"
#include "filelocker/qmLockerModel.h"
#include "filelocker/ssFileLockerListView.h"
#include "shell/qmFileDialogs.h"
#include "shell/qmProgressRunner.h"
#include "support/HeldFile.h"
#include "uisupport/Child.h"
#include "uisupport/UiTest.h"
#include "widgets/qmOpenWith.h"

namespace quillmar::test {
namespace {

namespace fs = std::filesystem;

class FileLockerUiTest : public UiTest {
protected:
  TfrmFileLocker& Open() {
    MakeSafe("Alpha", "alpha-pass");
    StartAndLogin("Alpha", "alpha-pass");
    W().SelectTab(tabFileLocker);
    return *static_cast<TfrmFileLocker*>(W().TabWindow(tabFileLocker));
  }
  static std::vector<std::string> Shown(TfrmFileLocker& locker) {
    std::vector<std::string> names;
    for (const auto& item : locker.List()->Model()->Items()) names.push_back(item.Name);
    return names;
  }
  static int Row(TfrmFileLocker& locker, const std::string& name) {
    return name == ".." ? 0 : locker.List()->Model()->RowOf(name);
  }
  static QAction* Action(TfrmFileLocker& locker, const char* name) {
    return Child<QAction>(&locker, QString::fromLatin1(name));
  }
  void Lock(const std::string& folder, const std::string& name, const std::string& content) {
    ASSERT_TRUE(G().LockFile(folder, DiskFile("src/" + name, content), true)) << G().LastLockError();
  }
  // Runs quillmar-cli, another program, on the test's home folder and Alpha; true when it succeeded.
  bool Cli(const QStringList& arguments) {
    QProcess cli;
    cli.setProcessChannelMode(QProcess::MergedChannels);
    cli.start(QStringLiteral(QM_CLI_PROGRAM),
              QStringList{QStringLiteral("--home"), QString::fromStdString(dir_.file("home"))} + arguments);
    if (!cli.waitForStarted(30000)) return false;
    cli.write("alpha-pass\n");
    cli.closeWriteChannel();
    if (!cli.waitForFinished(60000)) {
      cli.kill();
      cli.waitForFinished(5000);
      return false;
    }
    if (cli.exitCode() != 0)
      ADD_FAILURE() << arguments.join(' ').toStdString() << ": " << cli.readAll().data();
    return cli.exitCode() == 0;
  }
  // The editor of the name of row, while it is open.
  static QLineEdit* NameEditor(TfrmFileLocker& locker, int row) {
    return qobject_cast<QLineEdit*>(
        locker.List()->View()->indexWidget(locker.List()->Model()->index(row, 0)));
  }
  bool Drop(const std::vector<std::string>& files) {
    QMimeData mime;
    QList<QUrl> urls;
    for (const std::string& f : files) urls << QUrl::fromLocalFile(QString::fromStdString(f));
    mime.setUrls(urls);
    const QPoint at = W().rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&W(), &enter);
    if (!enter.isAccepted()) return false;
    QDropEvent drop(QPointF(at), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&W(), &drop);
    return drop.isAccepted();
  }
};

TEST_F(FileLockerUiTest, BrowsesFoldersWithTheUpItemAndKeepsTheFolderAcrossTabs) {
  TfrmFileLocker& locker = Open();
  ASSERT_TRUE(G().CreateFolder(G().FileLockerRoot(), "A"));
  ASSERT_TRUE(G().CreateFolder("\\File Locker\\A\\", "B"));
  Lock("\\File Locker\\A\\", "in-a.txt", "a");
  locker.Refresh();
  EXPECT_EQ(Shown(locker), std::vector<std::string>{"A"});  // no up item at the root

  locker.ActivateRow(Row(locker, "A"));
  EXPECT_EQ(locker.CurrentFolder(), "\\File Locker\\A\\");
  EXPECT_EQ(Shown(locker), (std::vector<std::string>{"..", "B", "in-a.txt"}));
  EXPECT_EQ(locker.List()->Model()->Items()[2].Path, "\\A\\");
  locker.ActivateRow(Row(locker, "B"));
  // Backspace goes up, to \A\, as the up item does.
  QTest::keyClick(locker.List()->View(), Qt::Key_Backspace);
  EXPECT_EQ(locker.CurrentFolder(), "\\File Locker\\A\\");

  // The folder shown survives a switch of tabs; the header sorts, the up item stays first.
  W().SelectTab(tabOptions);
  W().SelectTab(tabFileLocker);
  EXPECT_EQ(locker.CurrentFolder(), "\\File Locker\\A\\");
  locker.SetViewStyle(3);
  QHeaderView* header = locker.List()->DetailsView()->header();
  emit header->sectionClicked(0);
  EXPECT_EQ(locker.List()->Model()->SortKey(), 1);
  EXPECT_EQ(Shown(locker).front(), "..");
  locker.ActivateRow(0);
  EXPECT_EQ(locker.CurrentFolder(), "\\File Locker\\");

  // The list styles give every item the room the longest name needs (the view sizes every item as
  // the first one, here the short folder name).
  Lock(G().FileLockerRoot(), "the-signed-tenancy-agreement-for-the-flat-2025-final.pdf", "x");
  locker.Refresh();
  for (int style : {1, 2}) {
    locker.SetViewStyle(style);
    QListView* view = locker.List()->IconView();
    view->doItemsLayout();
    for (int row = 0; row < locker.List()->Model()->rowCount(); ++row) {
      const QModelIndex index = locker.List()->Model()->index(row, 0);
      EXPECT_GE(view->visualRect(index).width(),
                view->fontMetrics().horizontalAdvance(index.data().toString()) + view->iconSize().width())
          << "style " << style << ", " << index.data().toString().toStdString();
    }
  }
  ExpectScriptDone();
}

TEST_F(FileLockerUiTest, CommandStatesFollowTheSelection) {
  TfrmFileLocker& locker = Open();
  ASSERT_TRUE(G().CreateFolder(G().FileLockerRoot(), "Docs"));
  Lock(G().FileLockerRoot(), "a.txt", "a");
  locker.Refresh();
  auto enabled = [&] {
    std::string s;
    for (const char* name :
         {"lockFile", "openFile", "unlockFile", "deleteItem", "sendFile", "renameItem", "createFolder"})
      s += Action(locker, name)->isEnabled() ? '1' : '0';
    return s;
  };
  EXPECT_EQ(enabled(), "1000001");
  locker.List()->SelectRow(Row(locker, "Docs"));
  EXPECT_EQ(enabled(), "1011011");
  locker.List()->SelectRow(Row(locker, "a.txt"));
  EXPECT_EQ(enabled(), "1111111");
  locker.Refresh();
  EXPECT_EQ(enabled(), "1000001");
  // The context menu: the commands in their order, with the two separators.
  QStringList menu;
  for (QAction* a : locker.ContextMenu()->actions())
    menu << (a->isSeparator() ? QStringLiteral("-") : a->objectName());
  EXPECT_EQ(menu.join(QLatin1Char(' ')),
            QStringLiteral(
                "lockFile lockFolder openFile unlockFile deleteItem - sendFile - renameItem createFolder"));
}

TEST_F(FileLockerUiTest, LockFileTakesSeveralFilesAndAFailedOneSaysWhy) {
  TfrmFileLocker& locker = Open();
  G().Settings().FileLocker.removeFileFromDisk.SetValue(true);
  const std::string a = DiskFile("in/a.txt", "first"), b = DiskFile("in/b.txt", "second");
  SetFileDialogScript([&](const TqmFileRequest&) { return QString::fromStdString(a + "\n" + b); });
  Action(locker, "lockFile")->trigger();
  EXPECT_FALSE(fs::exists(a));
  EXPECT_FALSE(fs::exists(b));
  EXPECT_EQ(Shown(locker), (std::vector<std::string>{"a.txt", "b.txt"}));
  EXPECT_EQ(LockedContent("b.txt"), "second");

  // A file that cannot be read: the message and the reason; nothing changed.
  G().Settings().FileLocker.removeFileFromDisk.SetValue(false);
  const std::string held = DiskFile("in/held.txt", "held");
  THeldFile holder(held);
  SetFileDialogScript([&](const TqmFileRequest&) { return QString::fromStdString(held); });
  script_->Answer(QStringLiteral("File opened by another application."));
  Action(locker, "lockFile")->trigger();
  ExpectScriptDone();
  EXPECT_EQ(Shown(locker).size(), 2u);
  EXPECT_EQ(test::ReadFileBytes(held), "held");
}

TEST_F(FileLockerUiTest, FolderDropAsksOverwriteWithYesToAllAndUnlocksBackWhole) {
  TfrmFileLocker& locker = Open();
  G().Settings().FileLocker.removeFileFromDisk.SetValue(false);
  const std::string tree = dir_.file("Trip");
  DiskFile("Trip/one.txt", "1");
  DiskFile("Trip/Sub/two.txt", "2");
  ASSERT_TRUE(Drop({tree}));
  EXPECT_EQ(Shown(locker), std::vector<std::string>{"Trip"});

  // Again, after a change: one question for both files of the folder.
  DiskFile("Trip/one.txt", "1 again");
  DiskFile("Trip/Sub/two.txt", "2 again");
  script_->On<QMessageBox>([](QMessageBox* box) { box->button(QMessageBox::YesToAll)->click(); },
                           "overwrite");
  ASSERT_TRUE(Drop({tree}));
  ExpectScriptDone();

  // Unlock/Remove into a folder: the tree below it, the folder gone from the Safe.
  const std::string out = dir_.file("out");
  fs::create_directories(out);
  QString caption;
  SetFileDialogScript([&](const TqmFileRequest& request) {
    caption = request.caption;
    return QString::fromStdString(out);
  });
  locker.List()->SelectRow(Row(locker, "Trip"));
  Action(locker, "unlockFile")->trigger();
  ExpectScriptDone();
  EXPECT_EQ(caption, QStringLiteral("Select directory"));
  EXPECT_EQ(test::ReadFileBytes(out + "/Trip/Sub/two.txt"), "2 again");
  EXPECT_TRUE(Shown(locker).empty());
}

TEST_F(FileLockerUiTest, RenameCreateFolderAndDeleteSayWhatIsWrong) {
  TfrmFileLocker& locker = Open();
  Lock(G().FileLockerRoot(), "a.txt", "a");
  Lock(G().FileLockerRoot(), "b.txt", "b");
  locker.Refresh();
  TqmLockerModel* model = locker.List()->Model();
  auto rename = [&](const std::string& from, const QString& to) {
    model->setData(model->index(Row(locker, from), 0), to, Qt::EditRole);
    QCoreApplication::processEvents();  // the rename is queued after the editor closed
  };
  script_->Answer(QStringLiteral("Name already exists!"));
  rename("a.txt", QStringLiteral("B.TXT"));
  script_->Answer(QStringLiteral("is invalid"));
  rename("a.txt", QStringLiteral("x/y"));
  rename("a.txt", QStringLiteral("a.txt"));  // unchanged: nothing
  ASSERT_TRUE(WaitUntil([&] { return script_->Done(); }));
  rename("a.txt", QStringLiteral("c.txt"));
  EXPECT_EQ(Shown(locker), (std::vector<std::string>{"b.txt", "c.txt"}));

  // Create Folder: OK makes it, dismissed makes nothing, an existing name is said.
  script_->On<QInputDialog>([](QInputDialog* d) { d->accept(); });
  Action(locker, "createFolder")->trigger();
  script_->On<QInputDialog>([](QInputDialog* d) { d->reject(); });
  Action(locker, "createFolder")->trigger();
  script_->On<QInputDialog>([](QInputDialog* d) { d->accept(); });
  script_->Answer(QStringLiteral("Folder already exists!"));
  Action(locker, "createFolder")->trigger();
  ExpectScriptDone();
  EXPECT_EQ(Shown(locker), (std::vector<std::string>{"My Folder", "b.txt", "c.txt"}));

  // Delete asks while "confDel" is on; No keeps the file.
  locker.List()->SelectRow(Row(locker, "b.txt"));
  script_->Answer(QStringLiteral("Delete?"), QMessageBox::No);
  Action(locker, "deleteItem")->trigger();
  ExpectScriptDone();
  EXPECT_EQ(Shown(locker).size(), 3u);
  G().Settings().App.confDel.SetValue(false);
  locker.List()->SelectRow(Row(locker, "b.txt"));
  Action(locker, "deleteItem")->trigger();
  EXPECT_EQ(Shown(locker), (std::vector<std::string>{"My Folder", "c.txt"}));
}

TEST_F(FileLockerUiTest, OpenMakesAMarkedCopyThatTheSwitchOfSafeWritesBack) {
  TfrmFileLocker& locker = Open();
  Lock(G().FileLockerRoot(), "notes.qmzz", std::string("\x01\x02 binary", 9));
  locker.Refresh();
  locker.List()->SelectRow(Row(locker, "notes.qmzz"));
  // No program is associated with the type here: the chooser comes, and is closed.
  script_->On<TfrmOpenWith>([](TfrmOpenWith* chooser) { chooser->reject(); });
  Action(locker, "openFile")->trigger();
  ExpectScriptDone();
  const std::string copy = G().TempCopyPath(G().FileLockerRoot(), "notes.qmzz");
  ASSERT_TRUE(fs::exists(copy));
  EXPECT_TRUE(locker.List()->Model()->Items()[0].CopyWaiting);
  test::WriteFileBytes(copy, "edited");
  ASSERT_TRUE(G().UpdateOpenedFiles());
  EXPECT_FALSE(fs::exists(copy));
  EXPECT_EQ(LockedContent("notes.qmzz"), "edited");
}

TEST_F(FileLockerUiTest, CancelInTheProgressWindowLocksNothingAndKeepsTheOriginal) {
  TfrmFileLocker& locker = Open();
  G().Settings().FileLocker.removeFileFromDisk.SetValue(true);
  // Big enough that the Cancel comes while its bytes are still being locked.
  std::string bytes(64 << 20, '\0');
  for (size_t i = 0; i < bytes.size(); i += 4096) bytes[i] = static_cast<char>(i >> 12);
  const std::string big = DiskFile("in/big.bin", bytes);
  SetFileDialogScript([&](const TqmFileRequest&) { return QString::fromStdString(big); });
  script_->On<QProgressDialog>([](QProgressDialog* d) { d->cancel(); });
  script_->Answer(QStringLiteral("Locking was cancelled. 0 file(s) were locked before"));
  Action(locker, "lockFile")->trigger();
  ExpectScriptDone();
  EXPECT_TRUE(LockedFiles().empty());
  EXPECT_TRUE(Shown(locker).empty());
  ASSERT_TRUE(fs::exists(big));
  EXPECT_EQ(fs::file_size(big), bytes.size());
}

TEST_F(FileLockerUiTest, AfterASwitchOfSafeTheTabShowsTheNewSafesFilesOnly) {
  TfrmFileLocker& alpha = Open();
  MakeSafe("Beta", "beta-pass");
  ASSERT_TRUE(G().CreateFolder(G().FileLockerRoot(), "A"));
  Lock("\\File Locker\\A\\", "alpha-inner.txt", "a");
  Lock(G().FileLockerRoot(), "alpha.txt", "a");
  alpha.Refresh();
  alpha.ActivateRow(Row(alpha, "A"));
  ASSERT_EQ(alpha.CurrentFolder(), "\\File Locker\\A\\");

  ScriptLogin("Beta", "beta-pass");
  W().ChangeSafe("Beta");  // the Safes menu's command
  ExpectScriptDone();
  ASSERT_EQ(G().SafeName(), "Beta");
  Lock(G().FileLockerRoot(), "beta.txt", "b");
  W().SelectTab(tabFileLocker);
  auto* locker = static_cast<TfrmFileLocker*>(W().TabWindow(tabFileLocker));
  ASSERT_NE(locker, nullptr);
  EXPECT_EQ(locker->CurrentFolder(), G().FileLockerRoot());
  EXPECT_EQ(Shown(*locker), std::vector<std::string>{"beta.txt"});
}

TEST_F(FileLockerUiTest, AnInlineRenameOutlivesAnotherProgramsChangeUnlessItsItemGoes) {
  TfrmFileLocker& locker = Open();
  Lock(G().FileLockerRoot(), "a.txt", "a");
  Lock(G().FileLockerRoot(), "b.txt", "b");
  locker.Refresh();
  locker.List()->EditRow(Row(locker, "a.txt"));
  ASSERT_NE(NameEditor(locker, Row(locker, "a.txt")), nullptr);
  NameEditor(locker, Row(locker, "a.txt"))->setText(QStringLiteral("typed.txt"));
  NameEditor(locker, Row(locker, "a.txt"))->setCursorPosition(3);

  // Another program locks a file into the folder shown: the list is loaded anew, the edit goes on.
  ASSERT_TRUE(Cli({QStringLiteral("lock"), QStringLiteral("Alpha"),
                   QString::fromStdString(DiskFile("other/c.txt", "c"))}));
  ASSERT_TRUE(WaitUntil([&] { return Row(locker, "c.txt") >= 0; })) << "the new file was never listed";
  QLineEdit* editor = NameEditor(locker, Row(locker, "a.txt"));
  ASSERT_NE(editor, nullptr) << "the edit of the name ended";
  EXPECT_EQ(editor->text(), QStringLiteral("typed.txt"));
  EXPECT_EQ(editor->cursorPosition(), 3);
  QTest::keyClick(editor, Qt::Key_Return);
  ASSERT_TRUE(WaitUntil([&] { return Row(locker, "typed.txt") >= 0; }));
  EXPECT_EQ(LockedContent("typed.txt"), "a");

  // The item being renamed deleted by the other program: the edit ends with it.
  locker.List()->EditRow(Row(locker, "b.txt"));
  ASSERT_NE(NameEditor(locker, Row(locker, "b.txt")), nullptr);
  ASSERT_TRUE(Cli(
      {QStringLiteral("rmfile"), QStringLiteral("Alpha"), QStringLiteral("b.txt"), QStringLiteral("--yes")}));
  ASSERT_TRUE(WaitUntil([&] { return Row(locker, "b.txt") < 0; }));
  for (int row = 0; row < locker.List()->Model()->rowCount(); ++row)
    EXPECT_EQ(NameEditor(locker, row), nullptr);
  ExpectScriptDone();
}

}  // namespace
}  // namespace quillmar::test
