// The File Locker tab on a real Safe: browsing, the commands with their dialogs and questions, drops
// of folders, and the copies taken out for viewing.
#include <QAction>
#include <QApplication>
#include <QDropEvent>
#include <QHeaderView>
#include <QInputDialog>
#include <QMenu>
#include <QMimeData>
#include <QTest>
#include <QTreeView>
#include <QUrl>
#include <filesystem>

#include "core/qmLockerItems.h"
#include "filelocker/frmFileLocker.h"
#include "filelocker/qmLockerModel.h"
#include "filelocker/ssFileLockerListView.h"
#include "shell/qmFileDialogs.h"
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

}  // namespace
}  // namespace quillmar::test
