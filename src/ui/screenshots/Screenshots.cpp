#include "screenshots/Screenshots.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFontDatabase>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QProgressDialog>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <functional>
#include <memory>
#include <set>

#include "core/qmGlobal.h"
#include "core/qmLoginRules.h"
#include "shell/frmAbout.h"
#include "shell/frmChangePassword.h"
#include "shell/frmHelp.h"
#include "shell/frmLogin.h"
#include "shell/frmPreferences.h"
#include "shell/frmQuillmar.h"
#include "shell/qmApplication.h"
#include "shell/qmProgressRunner.h"
#include "shell/qmQtPrompter.h"
#include "uisupport/qmUiScript.h"
#include "widgets/qmText.h"

namespace quillmar {

namespace {

constexpr char kDemoPassword[] = "demo-pass";

// Lets the windows lay themselves out and paint.
void Settle(int ms = 30) {
  QElapsedTimer t;
  t.start();
  do QApplication::processEvents(QEventLoop::AllEvents, 10);
  while (t.elapsed() < ms);
}

bool WaitFor(const std::function<bool()>& done, int ms = 20000) {
  QElapsedTimer t;
  t.start();
  while (!done()) {
    if (t.elapsed() > ms) return false;
    QApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  return true;
}

// The menu as it shows when it pops up.
QPixmap GrabMenu(QMenu* menu) {
  emit menu->aboutToShow();
  menu->popup(QPoint(0, 0));
  Settle();
  QPixmap pixmap = menu->grab();
  menu->hide();
  return pixmap;
}

// The window with a menu drawn open below the widget it belongs to.
QPixmap WithMenu(QWidget* window, QWidget* anchor, const QPixmap& menu) {
  const QPixmap base = window->grab();
  const QPoint at = anchor->mapTo(window, QPoint(0, anchor->height()));
  const int x = std::min(at.x(), std::max(0, base.width() - menu.width()));
  QPixmap out(std::max(base.width(), x + menu.width()), std::max(base.height(), at.y() + menu.height()));
  out.fill(QColor(0xd0, 0xd4, 0xda));
  QPainter p(&out);
  p.drawPixmap(0, 0, base);
  p.drawPixmap(x, at.y(), menu);
  p.setPen(QColor(0x80, 0x88, 0x94));
  p.drawRect(x, at.y(), menu.width() - 1, menu.height() - 1);
  return out;
}

}  // namespace

QStringList ScreenshotNames() {
  return {QStringLiteral("login_open.png"),
          QStringLiteral("login_create.png"),
          QStringLiteral("main_repository.png"),
          QStringLiteral("main_filelocker.png"),
          QStringLiteral("main_cryptomail.png"),
          QStringLiteral("main_options.png"),
          QStringLiteral("safes_menu.png"),
          QStringLiteral("tray_menu_safe.png"),
          QStringLiteral("preferences.png"),
          QStringLiteral("change_password.png"),
          QStringLiteral("change_password_progress.png"),
          QStringLiteral("about.png"),
          QStringLiteral("help.png"),
          QStringLiteral("help_safe.png"),
          QStringLiteral("tray_menu_locked.png")};
}

bool IsBlankImage(const QImage& image) {
  if (image.isNull() || image.width() < 8 || image.height() < 8) return true;
  const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
  std::set<QRgb> colours;
  for (int y = 0; y < rgb.height(); y += 2) {
    const auto* line = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
    for (int x = 0; x < rgb.width(); x += 2) {
      colours.insert(line[x]);
      if (colours.size() > 16) return false;
    }
  }
  return true;
}

QStringList WriteScreenshots(const QString& folder, QString* error) {
  QStringList written;
  auto fail = [&](const QString& what) {
    if (error) *error = what;
    return written;
  };
  if (!QDir().mkpath(folder)) return fail(QStringLiteral("The folder %1 cannot be made.").arg(folder));
  QTemporaryDir temp;
  if (!temp.isValid()) return fail(QStringLiteral("No temporary folder can be made."));
  // Nothing of this run reaches the user's autostart folder.
  const QByteArray oldConfig = qgetenv("XDG_CONFIG_HOME");
  qputenv("XDG_CONFIG_HOME", QFile::encodeName(temp.path() + QStringLiteral("/config")));
  struct TRestoreEnv {
    QByteArray value;
    ~TRestoreEnv() {
      if (value.isEmpty())
        qunsetenv("XDG_CONFIG_HOME");
      else
        qputenv("XDG_CONFIG_HOME", value);
    }
  } restoreEnv{oldConfig};

  TqmApplication::SetUpLook(*qApp);
  QFont font(QStringLiteral("DejaVu Sans"));
  font.setPointSize(10);
  const QFont oldFont = QApplication::font();
  QApplication::setFont(font);
  struct TRestoreFont {
    QFont font;
    ~TRestoreFont() { QApplication::setFont(font); }
  } restoreFont{oldFont};
  TqmProgressRunner::SetShowDelay(0);

  auto save = [&](const QPixmap& pixmap, const QString& name) -> bool {
    const QString file = QDir(folder).filePath(name);
    if (!pixmap.save(file, "PNG")) return false;
    written << file;
    return true;
  };

  TqmQtPrompter prompter;
  const std::string home = ToUtf8(temp.path() + QStringLiteral("/home"));
  TqmGlobal g(home, {"quillmar"}, &prompter);
  try {
    g.SetDemoData(true);
    g.CreateSafe(g.SafeFile("Demo"), kDemoPassword);
    g.SetDemoData(false);
    g.CreateSafe(g.SafeFile("Household"), "household-pass");
    g.CreateSafe(g.SafeFile("Travel"), "travel-pass");
    g.SetSafeName("Demo");
    g.WriteLastUsedSafe();
  } catch (const std::exception& e) {
    return fail(QStringLiteral("The demo Safes cannot be made: ") + FromMessage(e.what()));
  }

  // The login, both modes.
  {
    TfrmLogin login(g, nullptr);
    login.SetRequest(login::kModeOpen, "Demo");
    login.show();
    Settle();
    login.findChild<QLineEdit*>(QStringLiteral("txtMasterPassword"))
        ->setText(QString::fromLatin1(kDemoPassword));
    Settle();
    if (!save(login.grab(), QStringLiteral("login_open.png"))) return fail(QStringLiteral("login_open.png"));
    login.findChild<QPushButton*>(QStringLiteral("btnNewSafe"))->click();
    login.findChild<QLineEdit*>(QStringLiteral("txtUserName"))->setText(QStringLiteral("Savings"));
    login.findChild<QLineEdit*>(QStringLiteral("txtMasterPassword"))
        ->setText(QStringLiteral("a new password"));
    login.findChild<QLineEdit*>(QStringLiteral("txtMasterPasswordConfirm"))
        ->setText(QStringLiteral("a new password"));
    Settle();
    if (!save(login.grab(), QStringLiteral("login_create.png")))
      return fail(QStringLiteral("login_create.png"));
    login.hide();
  }
  g.SetSafeName("Demo");

  // The main window, logged in through the real login.
  TfrmQuillmar::TOptions options;
  options.trayAvailable = false;
  options.watchScreenLock = false;
  TfrmQuillmar window(g, options);
  prompter.SetParent(&window);
  TqmUiScript script;
  script.On<TfrmLogin>([](TfrmLogin* login) {
    login->findChild<QLineEdit*>(QStringLiteral("txtMasterPassword"))
        ->setText(QString::fromLatin1(kDemoPassword));
    login->findChild<QPushButton*>(QStringLiteral("btnOk"))->click();
  });
  window.Start();
  window.resize(860, 580);
  if (!WaitFor([&] { return g.SafeOpen() && script.Done(); }))
    return fail(QStringLiteral("The demo Safe did not open: ") +
                script.Problems().join(QStringLiteral("; ")));
  Settle(100);
  const char* tabs[] = {"main_repository.png", "main_filelocker.png", "main_cryptomail.png"};
  for (int tab = 0; tab < 3; ++tab) {
    window.SelectTab(tab);
    if (tab == tabCryptoMail)
      if (TqmTabWindow* mail = window.TabWindow(tabCryptoMail))
        mail->PresetFile(temp.path() + QStringLiteral("/Documents/tax-return-2024.pdf"));
    Settle(60);
    if (!save(window.grab(), QString::fromLatin1(tabs[tab]))) return fail(QString::fromLatin1(tabs[tab]));
  }
  // The Options tab after a repair, with what the check found.
  window.SelectTab(tabOptions);
  script.Answer(QString::fromLatin1(login::kMsgRepaired), QMessageBox::Ok);
  window.TabWindow(tabOptions)->findChild<QAction*>(QStringLiteral("repair"))->trigger();
  if (!WaitFor([&] { return script.Done(); })) return fail(QStringLiteral("The repair did not finish."));
  Settle(60);
  if (!save(window.grab(), QStringLiteral("main_options.png")))
    return fail(QStringLiteral("main_options.png"));

  // Menus.
  window.SelectTab(tabPasswordRepository);
  Settle();
  if (!save(WithMenu(&window, window.findChild<QWidget*>(QStringLiteral("lblSafeName")),
                     GrabMenu(window.SafesMenu())),
            QStringLiteral("safes_menu.png")))
    return fail(QStringLiteral("safes_menu.png"));
  if (!save(GrabMenu(window.ApplicationMenu()), QStringLiteral("tray_menu_safe.png")))
    return fail(QStringLiteral("tray_menu_safe.png"));

  // Dialogs.
  {
    TfrmPreferences preferences(g, &window);
    preferences.show();
    Settle();
    if (!save(preferences.grab(), QStringLiteral("preferences.png")))
      return fail(QStringLiteral("preferences.png"));
  }
  {
    TfrmChangePassword change(g, &window);
    for (const char* name : {"OldPassword", "NewPassword", "NewPasswordConfirm"})
      change.findChild<QLineEdit*>(QString::fromLatin1(name))->setText(QStringLiteral("secret"));
    change.show();
    Settle();
    if (!save(change.grab(), QStringLiteral("change_password.png")))
      return fail(QStringLiteral("change_password.png"));
  }
  {
    std::unique_ptr<QProgressDialog> progress(
        TqmProgressRunner::MakeDialog(&window, QStringLiteral("Changing the master password ...")));
    progress->setWindowModality(Qt::NonModal);
    progress->setValue(420);
    progress->show();
    Settle();
    if (!save(progress->grab(), QStringLiteral("change_password_progress.png")))
      return fail(QStringLiteral("change_password_progress.png"));
  }
  {
    TfrmAbout about(g, &window);
    about.show();
    Settle();
    if (!save(about.grab(), QStringLiteral("about.png"))) return fail(QStringLiteral("about.png"));
  }
  window.ShowHelp(QStringLiteral("IDH_HELP"));
  Settle(100);
  if (!window.HelpWindow() || !save(window.HelpWindow()->grab(), QStringLiteral("help.png")))
    return fail(QStringLiteral("help.png"));
  window.ShowHelp(QStringLiteral("IDH_HELP_SAFE"));
  Settle(100);
  if (!save(window.HelpWindow()->grab(), QStringLiteral("help_safe.png")))
    return fail(QStringLiteral("help_safe.png"));
  window.HelpWindow()->close();

  // Locked: the tray menu offers the login.
  window.LockSafe();
  Settle();
  if (!save(GrabMenu(window.ApplicationMenu()), QStringLiteral("tray_menu_locked.png")))
    return fail(QStringLiteral("tray_menu_locked.png"));
  if (!script.Problems().isEmpty()) return fail(script.Problems().join(QStringLiteral("; ")));
  window.hide();
  return written;
}

}  // namespace quillmar
