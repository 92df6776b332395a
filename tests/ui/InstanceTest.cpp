// One copy per home folder: real second starts of the program against this process's main window,
// which holds the run lock and listens as the program does.
#include <QProcess>
#include <QSystemTrayIcon>
#include <filesystem>

#include "platform/InstanceChannel.h"
#include "shell/qmInstanceServer.h"
#include "uisupport/UiTest.h"
#include "widgets/qmText.h"

namespace quillmar::test {
namespace {

namespace fs = std::filesystem;

class InstanceTest : public UiTest {
protected:
  // This process plays the running copy for the home folder.
  void BecomeTheRunningCopy() {
    ASSERT_TRUE(lock_.TryAcquire(InstanceLockPath(G().HomeFolder())));
    server_ = std::make_unique<TqmInstanceServer>();
    QString error;
    ASSERT_TRUE(server_->Listen(FromUtf8(InstanceSocketPath(G().HomeFolder())), &error))
        << error.toStdString();
    QObject::connect(server_.get(), &TqmInstanceServer::restoreRequested, &W(),
                     &TfrmQuillmar::RestoreRequested);
    QObject::connect(server_.get(), &TqmInstanceServer::filesReceived, &W(), &TfrmQuillmar::ReceiveFiles);
  }
  void TearDown() override {
    server_.reset();
    lock_.Release();
    UiTest::TearDown();
  }
  // Runs the program with the arguments; its exit code, or -1 when it did not end within ms.
  int RunSecondCopy(const QStringList& arguments, int ms = 15000) {
    QProcess second;
    second.start(QStringLiteral(QM_QUILLMAR_PROGRAM), arguments);
    if (!second.waitForStarted(5000)) return -2;
    // The running copy answers from this event loop.
    if (!WaitUntil([&] { return second.state() == QProcess::NotRunning; }, ms)) {
      second.kill();
      second.waitForFinished();
      return -1;
    }
    return second.exitCode();
  }
  QStringList Home() { return {QStringLiteral("--home"), FromUtf8(G().HomeFolder())}; }

  TInstanceLock lock_;
  std::unique_ptr<TqmInstanceServer> server_;
};

TEST_F(InstanceTest, ASecondStartRaisesTheFirstFromTheTrayAndEndsWithoutTouchingItsTemporaryFiles) {
  MakeSafe("Alpha", "alpha-pass");
  StartAndLogin("Alpha", "alpha-pass", true);
  BecomeTheRunningCopy();
  const std::string marker = G().TempRootFolder() + "in use by the first copy.txt";
  const std::string markerAt = G().AttachmentsTempFolder() + "attachment in use.txt";
  WriteFileBytes(marker, "keep");
  WriteFileBytes(markerAt, "keep");
  W().SendToTray();
  ASSERT_TRUE(W().InTray());

  EXPECT_EQ(RunSecondCopy(Home()), 0);
  ASSERT_TRUE(WaitUntil([&] { return !W().InTray(); }));
  EXPECT_TRUE(W().isVisible());
  EXPECT_EQ(W().TrayIcon(), nullptr);
  EXPECT_EQ(ReadFileBytes(marker), "keep");
  EXPECT_EQ(ReadFileBytes(markerAt), "keep");
  EXPECT_TRUE(G().SafeOpen());
}

TEST_F(InstanceTest, FilesGivenToASecondStartAreLockedByTheFirst) {
  MakeSafe("Alpha", "alpha-pass");
  StartAndLogin("Alpha", "alpha-pass");
  BecomeTheRunningCopy();
  const std::string file = DiskFile("from the file manager.txt", "handed over");
  EXPECT_EQ(RunSecondCopy(Home() << QString::fromStdString("/rf:[3][1]" + file + "|")), 0);
  ASSERT_TRUE(
      WaitUntil([&] { return LockedFiles() == std::vector<std::string>{"from the file manager.txt"}; }));
  EXPECT_EQ(LockedContent("from the file manager.txt"), "handed over");
}

TEST_F(InstanceTest, AnotherHomeFolderRunsItsOwnCopy) {
  G();
  BecomeTheRunningCopy();
  const std::string other = dir_.file("other home");
  QProcess second;
  second.start(QStringLiteral(QM_QUILLMAR_PROGRAM),
               {QStringLiteral("--home"), QString::fromStdString(other)});
  ASSERT_TRUE(second.waitForStarted(5000));
  // It takes its own run lock and listens on its own socket; it does not end.
  const std::string socket = InstanceSocketPath(other);
  EXPECT_TRUE(WaitUntil([&] { return fs::exists(socket) && second.state() == QProcess::Running; }, 15000));
  EXPECT_NE(socket, InstanceSocketPath(G().HomeFolder()));
  EXPECT_EQ(SendToRunningInstance(socket, kRestoreMessage, 5000), TInstanceSendResult::Delivered);
  EXPECT_EQ(second.state(), QProcess::Running);
  EXPECT_TRUE(fs::exists(other + "/TEMP"));
  second.kill();
  second.waitForFinished(5000);
}

TEST_F(InstanceTest, ASocketLeftByACrashDoesNotBlockTheNextStart) {
  const std::string home = dir_.file("crashed home");
  fs::create_directories(home);
  // A copy that ended without cleaning up: its socket file is there, nobody listens.
  const std::string socket = InstanceSocketPath(home);
  {
    TqmInstanceServer dead;
    ASSERT_TRUE(dead.Listen(FromUtf8(socket)));
  }
  fs::remove(socket);
  WriteFileBytes(socket, "");  // a plain file where the socket was
  ASSERT_EQ(SendToRunningInstance(socket, kRestoreMessage, 500), TInstanceSendResult::NoListener);
  QProcess first;
  first.start(QStringLiteral(QM_QUILLMAR_PROGRAM), {QStringLiteral("--home"), QString::fromStdString(home)});
  ASSERT_TRUE(first.waitForStarted(5000));
  EXPECT_TRUE(WaitUntil(
      [&] { return SendToRunningInstance(socket, kRestoreMessage, 1000) == TInstanceSendResult::Delivered; },
      15000));
  EXPECT_EQ(first.state(), QProcess::Running);
  first.kill();
  first.waitForFinished(5000);
}

}  // namespace
}  // namespace quillmar::test
