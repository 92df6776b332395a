// The screenshots of the frame's windows: the login, the main window on each tab, its menus, the
// dialogs of the Safe commands and of the Options tab, About and Help.
#include <QAction>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <memory>
#include <stdexcept>

#include "core/qmGlobal.h"
#include "core/qmLoginRules.h"
#include "screenshots/ScreenshotScene.h"
#include "screenshots/Screenshots.h"
#include "shell/frmAbout.h"
#include "shell/frmChangePassword.h"
#include "shell/frmHelp.h"
#include "shell/frmLogin.h"
#include "shell/frmPreferences.h"
#include "shell/frmQuillmar.h"
#include "shell/qmProgressRunner.h"
#include "uisupport/Child.h"
#include "uisupport/Waiting.h"
#include "uisupport/qmUiScript.h"

namespace quillmar {
namespace {

using test::Child;
using TScene = TqmScreenshotScene;

// The login window of the demo Safe, shown (no main window behind it).
std::unique_ptr<TfrmLogin> DemoLogin(TScene& scene) {
  scene.LockMainWindow();
  auto login = std::make_unique<TfrmLogin>(scene.Global(), nullptr);
  login->SetRequest(login::kModeOpen, TScene::kDemoSafe);
  login->show();
  TScene::Settle();
  return login;
}

QPixmap MainWindowOnTab(TScene& scene, int tab) {
  TfrmQuillmar& w = scene.MainWindow();
  w.SelectTab(tab);
  TScene::Settle(60);
  return TScene::Grab(&w);
}

QPixmap HelpPage(TScene& scene, const char* page) {
  TfrmQuillmar& w = scene.MainWindow();
  w.ShowHelp(QString::fromLatin1(page));
  TScene::Settle(100);
  if (w.HelpWindow() == nullptr) throw std::runtime_error("the help window did not open");
  return TScene::Grab(w.HelpWindow());
}

const TqmScreenshotRows kShellRows(
    "shell",
    {
        {"login_open.png",
         [](TScene& scene) {
           auto login = DemoLogin(scene);
           Child<QLineEdit>(login.get(), "txtMasterPassword")
               ->setText(QString::fromLatin1(TScene::kDemoPassword));
           TScene::Settle();
           return TScene::Grab(login.get());
         }},
        {"login_create.png",
         [](TScene& scene) {
           auto login = DemoLogin(scene);
           Child<QPushButton>(login.get(), "btnNewSafe")->click();
           Child<QLineEdit>(login.get(), "txtUserName")->setText(QStringLiteral("Savings"));
           Child<QLineEdit>(login.get(), "txtMasterPassword")->setText(QStringLiteral("a new password"));
           Child<QLineEdit>(login.get(), "txtMasterPasswordConfirm")
               ->setText(QStringLiteral("a new password"));
           TScene::Settle();
           return TScene::Grab(login.get());
         }},
        {"main_repository.png", [](TScene& scene) { return MainWindowOnTab(scene, tabPasswordRepository); }},
        {"main_filelocker.png", [](TScene& scene) { return MainWindowOnTab(scene, tabFileLocker); }},
        {"main_cryptomail.png",
         [](TScene& scene) {
           TfrmQuillmar& w = scene.MainWindow();
           w.SelectTab(tabCryptoMail);
           const QString file =
               scene.Folder(QStringLiteral("Documents")) + QStringLiteral("/tax-return-2024.pdf");
           QFile pdf(file);
           if (!pdf.open(QIODevice::WriteOnly) || pdf.write("%PDF-1.4\n") < 0)
             throw std::runtime_error("the document to send cannot be written");
           pdf.close();
           if (TqmTabWindow* mail = w.TabWindow(tabCryptoMail)) mail->PresetFile(file);
           TScene::Settle(60);
           return TScene::Grab(&w);
         }},
        {"main_options.png",
         [](TScene& scene) {
           // After a repair, with what the check found.
           TfrmQuillmar& w = scene.MainWindow();
           w.SelectTab(tabOptions);
           scene.Script().Answer(QString::fromLatin1(login::kMsgRepaired), QMessageBox::Ok);
           Child<QAction>(w.TabWindow(tabOptions), "repair")->trigger();
           if (!test::WaitUntil([&] { return scene.Script().Done(); }))
             throw std::runtime_error("the repair did not finish");
           TScene::Settle(60);
           return TScene::Grab(&w);
         }},
        {"safes_menu.png",
         [](TScene& scene) {
           TfrmQuillmar& w = scene.MainWindow();
           w.SelectTab(tabPasswordRepository);
           TScene::Settle();
           return TScene::WithMenu(&w, Child<QWidget>(&w, "lblSafeName"), TScene::GrabMenu(w.SafesMenu()));
         }},
        {"tray_menu_safe.png",
         [](TScene& scene) { return TScene::GrabMenu(scene.MainWindow().ApplicationMenu()); }},
        {"preferences.png",
         [](TScene& scene) {
           TfrmPreferences preferences(scene.Global(), &scene.MainWindow());
           preferences.show();
           TScene::Settle();
           return TScene::Grab(&preferences);
         }},
        {"change_password.png",
         [](TScene& scene) {
           TfrmChangePassword change(scene.Global(), &scene.MainWindow());
           for (const char* name : {"OldPassword", "NewPassword", "NewPasswordConfirm"})
             Child<QLineEdit>(&change, name)->setText(QStringLiteral("secret"));
           change.show();
           TScene::Settle();
           return TScene::Grab(&change);
         }},
        {"change_password_progress.png",
         [](TScene& scene) {
           std::unique_ptr<QProgressDialog> progress(TqmProgressRunner::MakeDialog(
               &scene.MainWindow(), QStringLiteral("Changing the master password ...")));
           progress->setWindowModality(Qt::NonModal);
           progress->setValue(420);
           progress->show();
           TScene::Settle();
           return TScene::Grab(progress.get());
         }},
        {"about.png",
         [](TScene& scene) {
           TfrmAbout about(scene.Global(), &scene.MainWindow());
           about.show();
           TScene::Settle();
           return TScene::Grab(&about);
         }},
        {"help.png", [](TScene& scene) { return HelpPage(scene, "IDH_HELP"); }},
        {"help_safe.png", [](TScene& scene) { return HelpPage(scene, "IDH_HELP_SAFE"); }},
        {"tray_menu_locked.png",
         [](TScene& scene) {
           // Locked: the tray menu offers the login.
           TfrmQuillmar& w = scene.MainWindow();
           if (w.HelpWindow()) w.HelpWindow()->close();
           w.LockSafe();
           TScene::Settle();
           return TScene::GrabMenu(w.ApplicationMenu());
         }},
    });

}  // namespace
}  // namespace quillmar
