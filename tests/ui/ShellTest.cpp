// The frame's smaller parts: keyboard access, the File Locker's view button, help and About, the
// general error box, and the screenshots.
#include <QAction>
#include <QDir>
#include <QImage>
#include <QMenu>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QToolButton>
#include <stdexcept>

#include "UiTestSupport.h"
#include "filelocker/frmFileLocker.h"
#include "screenshots/Screenshots.h"
#include "shell/frmAbout.h"
#include "shell/frmHelp.h"
#include "shell/qmPlaceholderTabs.h"
#include "widgets/qmHotLabel.h"

namespace quillmar::test {
namespace {

TEST_F(UiTest, TheKeyboardReachesEveryTabTheHelpOfTheTabAndTheLinks) {
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

TEST_F(UiTest, TheViewButtonShowsOnlyOnTheFileLockerAndStepsThroughTheViews) {
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
  W().ViewMenu()->findChild<QAction*>(QStringLiteral("viewDetails"))->trigger();
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

TEST_F(UiTest, AboutShowsTheVersionAndCloses) {
  MakeSafe("Alpha", "alpha-pass");
  StartAndLogin("Alpha", "alpha-pass");
  QString title, text;
  script_->On<TfrmAbout>([&](TfrmAbout* about) {
    title = about->windowTitle();
    text = about->findChild<QLabel*>(QStringLiteral("lblVersion"))->text();
    QTest::mouseClick(about->findChild<QLabel*>(QStringLiteral("imgAbout")), Qt::LeftButton);
  });
  W().FindAction(QStringLiteral("about"))->trigger();
  ExpectScriptDone();
  EXPECT_EQ(title, QStringLiteral("Brelkan Quillmar II [ About ]"));
  EXPECT_TRUE(text.startsWith(QStringLiteral("Version ") + QString::fromStdString(G().VersionText())));
}

TEST_F(UiTest, TheTrayHintAndTheSafeLabelNameTheSafeOrNone) {
  EXPECT_EQ(W().TrayHint(), QStringLiteral("Brelkan Quillmar II [Safe: <none selected>]"));
  MakeSafe("Alpha", "alpha-pass");
  StartAndLogin("Alpha", "alpha-pass");
  EXPECT_EQ(W().TrayHint(), QStringLiteral("Brelkan Quillmar II [Safe: Alpha]"));
}

// An object whose slot fails, as a command that meets an error no window catches.
class TFailing : public QObject {
public:
  bool event(QEvent* e) override {
    if (e->type() == QEvent::User) throw std::runtime_error("TSFSHugeFile.Read - the disk went away");
    return QObject::event(e);
  }
};

TEST_F(UiTest, AnErrorNoWindowCatchesIsShownAndTheProgramGoesOn) {
  TFailing failing;
  script_->Answer(QStringLiteral("TSFSHugeFile.Read - the disk went away"));
  QCoreApplication::postEvent(&failing, new QEvent(QEvent::User));
  ExpectScriptDone();
  EXPECT_EQ(script_->Answered().size(), 1);
  MakeSafe("Alpha", "alpha-pass");
  StartAndLogin("Alpha", "alpha-pass");  // still working
}

TEST(Screenshots, EveryWindowIsWrittenAndNoneIsBlank) {
  QTemporaryDir out;
  QString error;
  const QStringList files = WriteScreenshots(out.path(), &error);
  EXPECT_TRUE(error.isEmpty()) << error.toStdString();
  for (const QString& name : ScreenshotNames()) {
    const QString file = QDir(out.path()).filePath(name);
    ASSERT_TRUE(files.contains(file)) << name.toStdString() << " was not written";
    const QImage image(file);
    EXPECT_FALSE(image.isNull()) << name.toStdString();
    EXPECT_FALSE(IsBlankImage(image)) << name.toStdString() << " is blank";
    EXPECT_GE(image.width(), 150) << name.toStdString();
  }
  // The check itself tells a blank picture.
  QImage blank(200, 100, QImage::Format_RGB32);
  blank.fill(Qt::white);
  EXPECT_TRUE(IsBlankImage(blank));
}

}  // namespace
}  // namespace quillmar::test

namespace quillmar::test {
namespace {

TEST_F(UiTest, DecryptedCopiesLeftByAnEarlierRunAreReportedOnceAfterTheLogin) {
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
