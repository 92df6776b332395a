// The frame's smaller parts: keyboard access, the File Locker's view button, help and About, the
// general error box.
#include <QAction>
#include <QMenu>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTest>
#include <QTextBrowser>
#include <QToolButton>
#include <stdexcept>

#include "filelocker/frmFileLocker.h"
#include "shell/frmAbout.h"
#include "shell/frmHelp.h"
#include "uisupport/UiTest.h"
#include "widgets/qmHotLabel.h"

namespace quillmar::test {
namespace {

class ShellTest : public UiTest {};

TEST_F(ShellTest, TheKeyboardReachesEveryTabTheHelpOfTheTabAndTheLinks) {
  MakeSafe("Alpha", "alpha-pass");
  StartAndLogin("Alpha", "alpha-pass");
  // Window shortcuts work in the active window.
  W().activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&W()));
  const char* pages[] = {"IDH_HELP_PWDREPOSITORY", "IDH_HELP_FILELOCKER", "IDH_HELP_CRYPTOMAIL",
                         "IDH_HELP_OPTIONS"};
  for (int tab = kTabCount - 1; tab >= 0; --tab) {
    QTest::keyClick(&W(), static_cast<Qt::Key>(Qt::Key_1 + tab), Qt::ControlModifier);
    ASSERT_EQ(W().CurrentTab(), tab);
    EXPECT_EQ(Child<QLabel>(&W(), "lblTabName")->text(), W().TabWindow(tab)->Caption());
    EXPECT_EQ(Child<QLabel>(&W(), "lblTabDescription")->text(), W().TabWindow(tab)->Hint());
    QTest::keyClick(&W(), Qt::Key_F1);
    ASSERT_NE(W().HelpWindow(), nullptr);
    EXPECT_EQ(W().HelpWindow()->CurrentPage(), QString::fromLatin1(pages[tab]));
    EXPECT_FALSE(W().HelpWindow()->Browser()->toPlainText().isEmpty());
    W().HelpWindow()->close();
    W().activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&W()));
  }
  // A hot label takes the focus and runs its command with Enter or Space.
  auto* label = Child<TqmHotLabel>(&W(), "lblFileLocker");
  EXPECT_EQ(label->focusPolicy(), Qt::StrongFocus);
  QTest::keyClick(label, Qt::Key_Space);
  EXPECT_EQ(W().CurrentTab(), tabFileLocker);
  QTest::keyClick(Child<TqmHotLabel>(&W(), "lblOptions"), Qt::Key_Return);
  EXPECT_EQ(W().CurrentTab(), tabOptions);
  // The Safes menu opens from its label.
  QTest::keyClick(Child<TqmHotLabel>(&W(), "lblSafeName"), Qt::Key_Return);
  EXPECT_TRUE(WaitUntil([&] { return W().SafesMenu()->isVisible(); }, 3000));
  W().SafesMenu()->hide();
}

TEST_F(ShellTest, TheViewButtonShowsOnlyOnTheFileLockerAndStepsThroughTheViews) {
  MakeSafe("Alpha", "alpha-pass");
  StartAndLogin("Alpha", "alpha-pass");
  auto* button = Child<QToolButton>(&W(), "btnView");
  EXPECT_FALSE(button->isVisible());
  W().SelectTab(tabFileLocker);
  EXPECT_TRUE(button->isVisible());
  auto* locker = static_cast<TfrmFileLocker*>(W().TabWindow(tabFileLocker));
  EXPECT_EQ(locker->ViewStyle(), 0);
  std::vector<int> seen;
  for (int i = 0; i < 4; ++i) {
    button->click();
    seen.push_back(locker->ViewStyle());
  }
  EXPECT_EQ(seen, (std::vector<int>{1, 2, 3, 0}));
  Child<QAction>(W().ViewMenu(), "viewDetails")->trigger();
  EXPECT_EQ(locker->ViewStyle(), 3);
  // A File Locker made anew (after a lock) takes the view of the menu.
  W().LockSafe();
  ScriptLogin("Alpha", "alpha-pass");
  W().RestoreFromTray();
  ASSERT_TRUE(WaitUntil([&] { return G().SafeOpen(); }));
  W().SelectTab(tabFileLocker);
  EXPECT_EQ(static_cast<TfrmFileLocker*>(W().TabWindow(tabFileLocker))->ViewStyle(), 3);
  W().SelectTab(tabCryptoMail);
  EXPECT_FALSE(button->isVisible());
}

TEST_F(ShellTest, AboutShowsTheVersionAndCloses) {
  MakeSafe("Alpha", "alpha-pass");
  StartAndLogin("Alpha", "alpha-pass");
  QString title, text;
  script_->On<TfrmAbout>([&](TfrmAbout* about) {
    title = about->windowTitle();
    text = Child<QLabel>(about, "lblVersion")->text();
    QTest::mouseClick(Child<QLabel>(about, "imgAbout"), Qt::LeftButton);
  });
  W().FindAction(QStringLiteral("about"))->trigger();
  ExpectScriptDone();
  EXPECT_EQ(title, QStringLiteral("Brelkan Quillmar II [ About ]"));
  EXPECT_TRUE(text.startsWith(QStringLiteral("Version ") + QString::fromStdString(G().VersionText())));
}

TEST_F(ShellTest, TheTrayHintAndTheTopBarSayWhichSafeIsOpenOrLocked) {
  EXPECT_EQ(W(true).TrayHint(), QStringLiteral("Brelkan Quillmar II [Safe: <none selected>]"));
  MakeSafe("Alpha", "alpha-pass");
  StartAndLogin("Alpha", "alpha-pass", true);
  auto topBar = [&] {
    return Child<QLabel>(&W(), "lblSafeCaption")->text() + QLatin1Char(' ') +
           Child<QLabel>(&W(), "lblSafeName")->text();
  };
  EXPECT_EQ(W().TrayHint(), QStringLiteral("Brelkan Quillmar II [Safe: Alpha]"));
  EXPECT_EQ(topBar(), QStringLiteral("Safe: Alpha"));
  W().LockSafe();
  ASSERT_NE(W().TrayIcon(), nullptr);
  EXPECT_EQ(W().TrayIcon()->toolTip(), QStringLiteral("Brelkan Quillmar II [Locked: Alpha]"));
  EXPECT_EQ(topBar(), QStringLiteral("Locked: Alpha"));
  ScriptLogin("Alpha", "alpha-pass");
  W().RestoreFromTray();
  ASSERT_TRUE(WaitUntil([&] { return G().SafeOpen(); }));
  EXPECT_EQ(W().TrayHint(), QStringLiteral("Brelkan Quillmar II [Safe: Alpha]"));
  EXPECT_EQ(topBar(), QStringLiteral("Safe: Alpha"));
}

TEST_F(ShellTest, WindowsAreShownInsideTheScreenAndTitledInOnePattern) {
  MakeSafe("Alpha", "alpha-pass");
  StartAndLogin("Alpha", "alpha-pass");
  const QRect area = W().screen()->availableGeometry();
  EXPECT_TRUE(area.contains(W().frameGeometry())) << W().width() << "x" << W().height();

  // Help, placed by the desktop with its bottom below the screen, and a window larger than it.
  W().ShowHelp(QStringLiteral("IDH_HELP"));
  TfrmHelp* help = W().HelpWindow();
  ASSERT_NE(help, nullptr);
  help->hide();
  help->move(area.right() - 200, area.bottom() - 150);
  help->show();
  EXPECT_TRUE(area.contains(help->frameGeometry()));
  EXPECT_EQ(help->windowTitle(), QStringLiteral("Brelkan Quillmar II [ Help ]"));
  QWidget big;
  big.resize(area.width() + 300, area.height() + 200);
  big.move(area.left() - 40, area.top() - 40);
  big.show();
  EXPECT_TRUE(area.contains(big.frameGeometry()));

  // A dialog of the program, over a main window moved to the corner of the screen.
  W().move(area.right() - 100, area.bottom() - 100);
  QString title;
  bool inside = false;
  script_->On<TfrmAbout>([&](TfrmAbout* about) {
    title = about->windowTitle();
    inside = area.contains(about->frameGeometry());
    about->accept();
  });
  W().FindAction(QStringLiteral("about"))->trigger();
  ExpectScriptDone();
  EXPECT_EQ(title, QStringLiteral("Brelkan Quillmar II [ About ]"));
  EXPECT_TRUE(inside);

  // Over a main window in the middle of the screen, a dialog opens centred over it.
  W().move(area.center() - QPoint(W().width() / 2, W().height() / 2));
  QPoint offset;
  script_->On<TfrmAbout>([&](TfrmAbout* about) {
    offset = about->frameGeometry().center() - W().frameGeometry().center();
    about->accept();
  });
  W().FindAction(QStringLiteral("about"))->trigger();
  ExpectScriptDone();
  EXPECT_LE(offset.manhattanLength(), 4) << offset.x() << "," << offset.y();
}

// An object whose slot fails, as a command that meets an error no window catches.
class TFailing : public QObject {
public:
  bool event(QEvent* e) override {
    if (e->type() == QEvent::User) throw std::runtime_error("TSFSHugeFile.Read - the disk went away");
    return QObject::event(e);
  }
};

TEST_F(ShellTest, AnErrorNoWindowCatchesIsShownAndTheProgramGoesOn) {
  TFailing failing;
  script_->Answer(QStringLiteral("TSFSHugeFile.Read - the disk went away"));
  QCoreApplication::postEvent(&failing, new QEvent(QEvent::User));
  ExpectScriptDone();
  EXPECT_EQ(script_->Answered().size(), 1);
  MakeSafe("Alpha", "alpha-pass");
  StartAndLogin("Alpha", "alpha-pass");  // still working
}

TEST_F(ShellTest, DecryptedCopiesLeftByAnEarlierRunAreReportedOnceAfterTheLogin) {
  MakeSafe("Alpha", "alpha-pass");
  const std::string left = G().TempRootFolder() + "Alpha.qvt/File Locker/tax.pdf";
  DiskFile("dummy", "");
  std::filesystem::create_directories(std::filesystem::path(left).parent_path());
  WriteFileBytes(left, "left behind by a crash");
  ScriptLogin("Alpha", "alpha-pass");
  script_->Answer(QString::fromStdString(left));
  W().Start();
  ExpectScriptDone();
  EXPECT_TRUE(G().SafeOpen());
  // Kept for the user; not reported again in this run.
  EXPECT_EQ(ReadFileBytes(left), "left behind by a crash");
  W().LockSafe();
  ScriptLogin("Alpha", "alpha-pass");
  W().RestoreFromTray();
  ASSERT_TRUE(WaitUntil([&] { return G().SafeOpen(); }));
  EXPECT_EQ(script_->Answered().size(), 1);
}

}  // namespace
}  // namespace quillmar::test
