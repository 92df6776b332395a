// The tray: lock on minimise, restoring with the login, the application menu, Lock Safe, the idle
// lock and the lock with the screen.
#include <QAction>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QMenu>
#include <QProcess>
#include <QStandardPaths>
#include <QSystemTrayIcon>
#include <QTimer>

#include "core/qmShellOptions.h"
#include "shell/frmHelp.h"
#include "shell/qmScreenLockWatcher.h"
#include "uisupport/UiTest.h"

namespace quillmar::test {
namespace {

// The items as the menu shows them; a key an item shows is added after a tab, as the menu draws it.
QStringList VisibleItems(QMenu* menu) {
  emit menu->aboutToShow();
  QStringList items;
  for (QAction* a : menu->actions()) {
    if (!a->isVisible()) continue;
    QString item = a->isSeparator() ? QStringLiteral("-") : a->text();
    if (!a->shortcut().isEmpty()) item += QLatin1Char('\t') + a->shortcut().toString();
    items << item;
  }
  return items;
}

class TrayTest : public UiTest {
protected:
  void LockOnMinimize() {
    G().Settings().App.lockOnMinimize.SetValue(true);
    G().SaveSettings();
  }
};

TEST_F(TrayTest, MinimisingLocksTheSafeIntoTheTrayAndRestoringAsksForThePassword) {
  MakeSafe("Alpha", "alpha-pass");
  StartAndLogin("Alpha", "alpha-pass", true);
  LockOnMinimize();
  W().showMinimized();
  ASSERT_TRUE(WaitUntil([&] { return W().InTray() && !G().SafeOpen(); }));
  EXPECT_FALSE(W().isVisible());  // hidden behind the tray icon
  ASSERT_NE(W().TrayIcon(), nullptr);
  EXPECT_EQ(W().TrayIcon()->toolTip(), QStringLiteral("Brelkan Quillmar II [Locked: Alpha]"));
  EXPECT_TRUE(G().SafeKey().Empty());
  EXPECT_EQ(W().TabWindow(tabPasswordRepository), nullptr);

  // A click on the icon restores; cancelling the login puts the window back into the tray.
  ScriptCancelLogin();
  emit W().TrayIcon()->activated(QSystemTrayIcon::Trigger);
  ExpectScriptDone();
  ASSERT_TRUE(WaitUntil([&] { return W().InTray() && !W().isVisible(); }));
  EXPECT_FALSE(W().Ended());

  ScriptLogin("Alpha", "alpha-pass");
  emit W().TrayIcon()->activated(QSystemTrayIcon::Trigger);
  ASSERT_TRUE(WaitUntil([&] { return G().SafeOpen(); }));
  EXPECT_FALSE(W().InTray());
  EXPECT_TRUE(W().isVisible());
  EXPECT_EQ(W().TrayIcon(), nullptr);  // the icon is there only while in the tray
}

// A desktop without a tray (GNOME without an extension): nothing hides the window, and a locked
// program can always be unlocked or ended from it.
TEST_F(TrayTest, WithoutATrayALockedWindowStaysWithUnlockAndExit) {
  MakeSafe("Alpha", "alpha-pass");
  StartAndLogin("Alpha", "alpha-pass", false);
  auto* toTray = Child<QTimer>(&W(), "tmrMinimize");
  W().FindAction(QStringLiteral("lockSafe"))->trigger();
  EXPECT_FALSE(G().SafeOpen());
  EXPECT_TRUE(W().isVisible());
  EXPECT_FALSE(W().isMinimized());
  EXPECT_FALSE(W().InTray());
  EXPECT_EQ(W().TrayIcon(), nullptr);
  EXPECT_TRUE(Child<QWidget>(&W(), "pnlLocked")->isVisible());
  EXPECT_EQ(Child<QLabel>(&W(), "lblLockedTitle")->text(), QStringLiteral("Locked"));
  EXPECT_EQ(
      Child<QLabel>(&W(), "lblLocked")->text(),
      QStringLiteral("The Safe Alpha is locked. Unlock it with its master password, or exit the program."));

  // Unlock ... cancelled: the window stays as it is, nothing sends it away.
  ScriptCancelLogin();
  Child<QPushButton>(&W(), "btnUnlock")->click();
  ExpectScriptDone();
  EXPECT_FALSE(toTray->isActive());
  EXPECT_TRUE(W().isVisible());
  EXPECT_FALSE(W().isMinimized());
  EXPECT_FALSE(W().Ended());

  ScriptLogin("Alpha", "alpha-pass");
  Child<QPushButton>(&W(), "btnUnlock")->click();
  ASSERT_TRUE(WaitUntil([&] { return G().SafeOpen(); }));
  EXPECT_FALSE(Child<QWidget>(&W(), "pnlLocked")->isVisible());

  // Exit works while locked: nothing waits to be written back, so no password is asked.
  W().LockSafe();
  Child<QPushButton>(&W(), "btnExit")->click();
  EXPECT_TRUE(W().Ended());
}

TEST_F(TrayTest, WithoutATrayAMinimisedWindowLocksAndACancelledLoginLeavesItShowing) {
  MakeSafe("Alpha", "alpha-pass");
  StartAndLogin("Alpha", "alpha-pass", false);
  LockOnMinimize();
  W().showMinimized();
  ASSERT_TRUE(WaitUntil([&] { return W().InTray() && !G().SafeOpen(); }));
  EXPECT_TRUE(W().isVisible());
  EXPECT_TRUE(W().isMinimized());
  EXPECT_EQ(W().TrayIcon(), nullptr);
  // Restoring asks for the password; a cancel leaves the window showing the Safe locked.
  ScriptCancelLogin();
  W().showNormal();
  ExpectScriptDone();
  EXPECT_FALSE(Child<QTimer>(&W(), "tmrMinimize")->isActive());
  EXPECT_FALSE(W().isMinimized());
  EXPECT_FALSE(W().InTray());
  EXPECT_TRUE(Child<QWidget>(&W(), "pnlLocked")->isVisible());
  ScriptLogin("Alpha", "alpha-pass");
  Child<QPushButton>(&W(), "btnUnlock")->click();
  ASSERT_TRUE(WaitUntil([&] { return G().SafeOpen(); }));
}

TEST_F(TrayTest, TheApplicationMenuOffersTheLoginOnlyWhileNoSafeIsOpen) {
  MakeSafe("Alpha", "alpha-pass");
  StartAndLogin("Alpha", "alpha-pass", true);
  EXPECT_EQ(VisibleItems(W().ApplicationMenu()),
            (QStringList{"AutoFill Web Forms", "Visit WebSites", "Lock Safe", "About Brelkan Quillmar II",
                         "Help", "Exit"}));
  // Ctrl+Shift+L locks and goes to the tray, whatever the lock-on-minimise setting.
  EXPECT_FALSE(G().Settings().App.lockOnMinimize.Value());
  W().FindAction(QStringLiteral("lockSafe"))->trigger();
  EXPECT_FALSE(G().SafeOpen());
  EXPECT_TRUE(W().InTray());
  EXPECT_EQ(VisibleItems(W().ApplicationMenu()),
            (QStringList{"About Brelkan Quillmar II", "Help", "Exit", "-", "Login ..."}));
  ScriptLogin("Alpha", "alpha-pass");
  W().FindAction(QStringLiteral("login"))->trigger();
  ASSERT_TRUE(WaitUntil([&] { return G().SafeOpen(); }));
  Child<QAction>(W().ApplicationMenu(), "trayHelp")->trigger();
  ASSERT_NE(W().HelpWindow(), nullptr);
  EXPECT_TRUE(W().HelpWindow()->isVisible());
  Child<QAction>(W().ApplicationMenu(), "trayExit")->trigger();
  EXPECT_TRUE(W().Ended());
}

TEST_F(TrayTest, IdleMinutesLockTheSafe) {
  MakeSafe("Alpha", "alpha-pass");
  TqmShellOptions options;
  options.idleLockMinutes = 1;
  options.Save(G().IniFile());
  StartAndLogin("Alpha", "alpha-pass", true);
  ASSERT_TRUE(W().IdleTimer()->isActive());
  EXPECT_EQ(W().IdleTimer()->interval(), 60 * 1000);
  W().IdleTimer()->start(50);
  ASSERT_TRUE(WaitUntil([&] { return !G().SafeOpen(); }));
  EXPECT_TRUE(W().InTray());
  EXPECT_TRUE(G().SafeKey().Empty());
}

// A session bus of the test's own, for the screen saver's signal.
class TPrivateBus {
public:
  TPrivateBus() {
    const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
    if (daemon.isEmpty()) return;
    process_.start(
        daemon, {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address")});
    if (!process_.waitForReadyRead(5000)) return;
    address_ = QString::fromLocal8Bit(process_.readLine()).trimmed();
  }
  ~TPrivateBus() {
    QDBusConnection::disconnectFromBus(QStringLiteral("qm-watcher"));
    QDBusConnection::disconnectFromBus(QStringLiteral("qm-sender"));
    process_.kill();
    process_.waitForFinished(2000);
  }
  bool Ready() const { return !address_.isEmpty(); }
  QDBusConnection Connect(const QString& name) { return QDBusConnection::connectToBus(address_, name); }

private:
  QProcess process_;
  QString address_;
};

TEST_F(TrayTest, TheSafeLocksWhenTheScreenLocksIfTheOptionIsOn) {
  TPrivateBus bus;
  if (!bus.Ready()) GTEST_SKIP() << "no dbus-daemon to run a session bus";
  MakeSafe("Alpha", "alpha-pass");
  StartAndLogin("Alpha", "alpha-pass", true);
  W().ScreenLockWatcher()->Watch(bus.Connect(QStringLiteral("qm-watcher")), QDBusConnection(QString()));
  ASSERT_TRUE(W().ScreenLockWatcher()->Watching());
  QDBusConnection sender = bus.Connect(QStringLiteral("qm-sender"));
  auto lockScreen = [&] {
    QDBusMessage signal = QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/ScreenSaver"),
                                                     QStringLiteral("org.freedesktop.ScreenSaver"),
                                                     QStringLiteral("ActiveChanged"));
    signal << true;
    ASSERT_TRUE(sender.send(signal));
  };
  // Off (the default): nothing happens.
  lockScreen();
  Pump(300);
  EXPECT_TRUE(G().SafeOpen());

  TqmShellOptions options;
  options.lockOnScreenLock = true;
  options.Save(G().IniFile());
  W().OptionsChanged();
  lockScreen();
  ASSERT_TRUE(WaitUntil([&] { return !G().SafeOpen(); }, 5000));
  EXPECT_TRUE(W().InTray());
}

TEST_F(TrayTest, StartedWithSmTheProgramWaitsInTheTrayAndACancelledLoginKeepsItThere) {
  G({"quillmar", "/sm"});
  MakeSafe("Alpha", "alpha-pass");
  W(true).Start();
  Pump(100);
  EXPECT_TRUE(W().InTray());
  EXPECT_FALSE(W().isVisible());
  ASSERT_NE(W().TrayIcon(), nullptr);
  EXPECT_FALSE(G().SafeOpen());  // no login until the window is restored
  ScriptCancelLogin();
  emit W().TrayIcon()->activated(QSystemTrayIcon::Trigger);
  ExpectScriptDone();
  ASSERT_TRUE(WaitUntil([&] { return W().InTray() && !W().isVisible(); }));
  EXPECT_FALSE(W().Ended());
  ScriptLogin("Alpha", "alpha-pass");
  emit W().TrayIcon()->activated(QSystemTrayIcon::Trigger);
  ASSERT_TRUE(WaitUntil([&] { return G().SafeOpen(); }));
}

}  // namespace
}  // namespace quillmar::test
