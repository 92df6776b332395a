// Files from outside: received commands (a second copy, the file-manager helper, the command line),
// drops, the frame's queued calls, and what waits while a long operation runs.
#include <QAction>
#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <filesystem>

#include "container/SingleFileSystem.h"
#include "core/qmLoginRules.h"
#include "cryptomail/frmCryptoMail.h"
#include "repository/frmPasswordRepository.h"
#include "safe/qmSFSWrapper.h"
#include "uisupport/UiTest.h"

namespace quillmar::test {
namespace {

namespace fs = std::filesystem;

QByteArray Command(int command, const std::vector<std::string>& paths) {
  std::string text = "\"[" + std::to_string(command) + "][" + std::to_string(paths.size()) + "]";
  for (const std::string& p : paths) text += p + "|";
  return QByteArray::fromStdString(text + "\"");
}

class ReceivedFilesTest : public UiTest {
protected:
  void OpenAlpha(bool tray = false) {
    MakeSafe("Alpha", "alpha-pass");
    MakeSafe("Beta", "beta-pass");
    StartAndLogin("Alpha", "alpha-pass", tray);
  }
  // Drops the files on the main window; true when the drop was taken.
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

TEST_F(ReceivedFilesTest, FilesReceivedWhileLockedRestoreTheWindowAndAreLockedAfterTheLogin) {
  OpenAlpha(true);
  G().Settings().App.lockOnMinimize.SetValue(true);
  W().showMinimized();
  ASSERT_TRUE(WaitUntil([&] { return W().InTray() && !G().SafeOpen(); }));
  const std::string a = DiskFile("in/a.txt", "received a");
  ScriptLogin("Alpha", "alpha-pass");
  W().ReceiveFiles(Command(3, {a}));
  EXPECT_FALSE(W().InTray());  // restored at once
  ASSERT_TRUE(
      WaitUntil([&] { return G().SafeOpen() && LockedFiles() == std::vector<std::string>{"a.txt"}; }));
  EXPECT_EQ(LockedContent("a.txt"), "received a");
  EXPECT_FALSE(fs::exists(a));  // "Remove file from hard disk when locking" is on by default
  EXPECT_EQ(W().CurrentTab(), tabFileLocker);
  EXPECT_TRUE(W().ReceivedQueue().Empty());
}

TEST_F(ReceivedFilesTest, TwoCommandsWithin200msAreBothCarriedOutAndAMissingPathIsSkipped) {
  OpenAlpha();
  const std::string a = DiskFile("in/a.txt", "a"), b = DiskFile("in/b.txt", "b"),
                    c = DiskFile("in/c.txt", "c");
  W().ReceiveFiles(Command(3, {dir_.file("in/missing.txt"), a}));
  W().ReceiveFiles(Command(3, {b, c}));
  EXPECT_EQ(W().ReceivedQueue().Size(), 2u);  // neither replaces the other
  ASSERT_TRUE(WaitUntil([&] { return LockedFiles().size() == 3; }));
  std::vector<std::string> names = LockedFiles();
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"a.txt", "b.txt", "c.txt"}));
  EXPECT_TRUE(W().ReceivedQueue().Empty());
}

TEST_F(ReceivedFilesTest, ACommandForAnotherSafeSwitchesToItAndLocksThereOnce) {
  // On the command line: for the Safe at position 1 (Beta), while Alpha is the one opened first.
  const std::string f = DiskFile("in/for beta.txt", "for beta");
  // The shell's quotes are gone by the time the program sees its arguments.
  G({"quillmar", "/rf:[5][1]" + f + "|"});
  MakeSafe("Alpha", "alpha-pass");
  MakeSafe("Beta", "beta-pass");
  {
    // Beta keeps locked files on the disk, so that a second locking would show (it asks whether to
    // replace the file in the Safe).
    TqmSFSWrapper beta;
    beta.OpenSafe(G().SafeFile("Beta"), "beta-pass");
    beta.WriteSettingsText("removeFileFromDisk=0\r\n");
  }
  ScriptLogin("Alpha", "alpha-pass");
  ScriptLogin("Beta", "beta-pass");
  W().Start();
  ASSERT_TRUE(
      WaitUntil([&] { return G().SafeOpen() && G().SafeName() == "Beta" && !LockedFiles().empty(); }));
  ExpectScriptDone();
  Pump(500);  // time for a second handing-over, which must not come
  EXPECT_EQ(LockedFiles(), std::vector<std::string>{"for beta.txt"});
  EXPECT_TRUE(fs::exists(f));
  // A later login of the same run does not hand the command line's files over again.
  ScriptLogin("Alpha", "alpha-pass");
  W().ChangeSafe("Alpha");
  ExpectScriptDone();
  Pump(400);
  EXPECT_TRUE(LockedFiles().empty());
}

TEST_F(ReceivedFilesTest, ZavozoReroGetsTheFirstPathAndTheFindWindowsCallsArriveQueued) {
  OpenAlpha();
  const std::string f = DiskFile("in/letter.txt", "letter");
  W().ReceiveFiles(Command(1, {f}));
  ASSERT_TRUE(WaitUntil([&] { return W().CurrentTab() == tabCryptoMail; }));
  auto* mail = static_cast<TfrmCryptoMail*>(W().TabWindow(tabCryptoMail));
  EXPECT_EQ(mail->PresetPath().toStdString(), f);

  W().PostCryptoMailFile(QStringLiteral("/tmp/from the locker.txt"));
  EXPECT_EQ(mail->PresetPath().toStdString(), f);  // not yet: after the caller returned
  ASSERT_TRUE(WaitUntil([&] { return mail->PresetPath() == QStringLiteral("/tmp/from the locker.txt"); }));

  W().SelectTab(tabPasswordRepository);
  auto* repository = static_cast<TfrmPasswordRepository*>(W().TabWindow(tabPasswordRepository));
  W().PostFindNext(QStringLiteral("bank"), false, true);
  EXPECT_TRUE(repository->LastFind().isEmpty());
  ASSERT_TRUE(WaitUntil([&] { return repository->LastFind() == QStringLiteral("bank"); }));
}

TEST_F(ReceivedFilesTest, DropsLockIntoTheFileLockerAndAreRefusedOnOtherTabs) {
  OpenAlpha();
  const std::string a = DiskFile("drop/a.txt", "dropped"), b = DiskFile("drop/b.txt", "dropped too");
  W().SelectTab(tabOptions);
  EXPECT_FALSE(Drop({a}));
  W().SelectTab(tabCryptoMail);
  EXPECT_FALSE(Drop({a}));
  EXPECT_TRUE(LockedFiles().empty());
  W().SelectTab(tabFileLocker);
  EXPECT_TRUE(Drop({a, b}));
  std::vector<std::string> names = LockedFiles();
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"a.txt", "b.txt"}));
  EXPECT_EQ(LockedContent("b.txt"), "dropped too");

  // A name the Safe refuses (a line break, which a disk file name may hold): said why, left on the
  // disk, nothing locked; the next file of the drop is still locked.
  G().Settings().FileLocker.removeFileFromDisk.SetValue(true);
  const std::string odd = DiskFile("drop/two\nlines.txt", "odd"), c = DiskFile("drop/c.txt", "c");
  script_->Answer(QStringLiteral("a name must be one line"));
  EXPECT_TRUE(Drop({odd, c}));
  ExpectScriptDone();
  EXPECT_TRUE(fs::exists(odd));
  EXPECT_FALSE(fs::exists(c));
  names = LockedFiles();
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"a.txt", "b.txt", "c.txt"}));
}

// --- Waiting for a long operation -------------------------------------------------------------------

class WaitTest : public ReceivedFilesTest {
protected:
  // Triggers the repair with what is posted now arriving at its first report, and answers its
  // success.
  void RepairWith(const std::function<void()>& posted) {
    W().SelectTab(tabOptions);
    QMetaObject::invokeMethod(&W(), posted, Qt::QueuedConnection);
    script_->Answer(QString::fromLatin1(login::kMsgRepaired));
    Child<QAction>(W().TabWindow(tabOptions), "repair")->trigger();
  }
  // Every file of the Safe below folder that cannot be read in full, with the reason.
  static std::vector<std::string> UnreadableFiles(TqmSFSWrapper& w, const std::string& folder = "\\") {
    std::vector<std::string> problems;
    for (const std::string& name : w.ListNames(folder, false))
      if (std::string problem = w.FileReadProblem(folder + name); !problem.empty())
        problems.push_back(folder + name + ": " + problem);
    for (const std::string& sub : w.ListNames(folder, true))
      for (std::string& problem : UnreadableFiles(w, folder + sub + "\\")) problems.push_back(problem);
    return problems;
  }
  void ExpectSafeSound(const std::string& name, const std::string& password) {
    TqmSFSWrapper check;
    check.OpenSafe(G().SafeFile(name), password);
    EXPECT_TRUE(check.Container()->CheckIntegrity().empty());
    EXPECT_TRUE(UnreadableFiles(check).empty());
  }
};

TEST_F(WaitTest, ACloseDuringARepairWaitsForItToEnd) {
  OpenAlpha();
  bool closedDuringRepair = false;
  RepairWith([&] {
    W().close();
    closedDuringRepair = W().Ended();
  });
  ExpectScriptDone();
  EXPECT_FALSE(closedDuringRepair);
  ASSERT_TRUE(WaitUntil([&] { return W().Ended(); }));
  EndProgram();
  MakeSafe("Unused", "unused-pass");  // a fresh application object for the check
  ExpectSafeSound("Alpha", "alpha-pass");
}

TEST_F(WaitTest, AMinimiseLockDuringARepairWaitsForItToEnd) {
  OpenAlpha(true);
  G().Settings().App.lockOnMinimize.SetValue(true);
  bool lockedDuringRepair = false;
  RepairWith([&] {
    W().showMinimized();
    Pump(150);  // past tmrMinimize
    lockedDuringRepair = !G().SafeOpen();
  });
  ExpectScriptDone();
  EXPECT_FALSE(lockedDuringRepair);
  ASSERT_TRUE(WaitUntil([&] { return !G().SafeOpen() && W().InTray(); }));
  ExpectSafeSound("Alpha", "alpha-pass");
}

TEST_F(WaitTest, AReceivedCommandDuringARepairWaitsForItToEnd) {
  OpenAlpha();
  const std::string a = DiskFile("in/a.txt", "a");
  bool lockedDuringRepair = false;
  RepairWith([&] {
    W().ReceiveFiles(Command(3, {a}));
    Pump(400);  // past tmrLockRecivedFiles
    lockedDuringRepair = !LockedFiles().empty();
  });
  ExpectScriptDone();
  EXPECT_FALSE(lockedDuringRepair);
  ASSERT_TRUE(WaitUntil([&] { return LockedFiles() == std::vector<std::string>{"a.txt"}; }));
  G().CloseSafe();
  ExpectSafeSound("Alpha", "alpha-pass");
}

}  // namespace
}  // namespace quillmar::test
