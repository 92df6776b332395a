// The screenshots of the web-form autofill windows: the wizard's three pages on a bank's login page
// served by a local web server, and the filler's window after it filled that page.
#include <QCheckBox>
#include <QListWidget>
#include <QPushButton>
#include <QTreeWidget>
#include <QWebEngineView>
#include <memory>
#include <stdexcept>

#include "autofill/QXAFWizard.h"
#include "autofill/frmAutoFillBrowser.h"
#include "autofill/qmAutoFillWindows.h"
#include "autofill/qmWebEngine.h"
#include "screenshots/ScreenshotScene.h"
#include "screenshots/Screenshots.h"
#include "uisupport/Child.h"
#include "uisupport/LocalWebServer.h"
#include "uisupport/Waiting.h"

namespace quillmar {
namespace {

using TScene = TqmScreenshotScene;
using test::Child;

constexpr char kLoginPage[] =
    "<!DOCTYPE html><html><head><title>Example Bank - Sign in</title><style>"
    "body{font-family:'DejaVu Sans',sans-serif;margin:0;background:#f3f5f8;color:#222}"
    "header{background:#1d4e89;color:#fff;padding:14px 24px;font-size:20px;font-weight:bold}"
    "header form{float:right;margin:0}header input{padding:3px}"
    "main{width:340px;margin:36px auto;background:#fff;padding:22px 26px;border:1px solid #d0d6de}"
    "label{display:block;margin:12px 0 4px}main input{width:100%;padding:6px;box-sizing:border-box}"
    "button{margin-top:16px;padding:7px 18px;background:#1d4e89;color:#fff;border:0}"
    "</style></head><body>"
    "<header><form action='/search'><input name='q' type='text' placeholder='Search'></form>Example "
    "Bank</header>"
    "<main><h2>Sign in to online banking</h2>"
    "<form action='/login' method='post'>"
    "<label for='user'>User name</label><input id='user' name='user' type='text'>"
    "<label for='pass'>Password</label><input id='pass' name='pass' type='password'>"
    "<button type='submit'>Sign in</button></form></main></body></html>";

// The one server of the run, on a fixed port when it is free.
test::TLocalWebServer& Web() {
  static test::TLocalWebServer* web = [] {
    auto* server = new test::TLocalWebServer(48128);
    server->Page("/login", kLoginPage);
    server->Handler = [](const test::TWebRequest& r) -> std::optional<test::TWebReply> {
      if (r.method == "POST" && r.path == "/login")
        return test::TWebReply{200, "text/html", "<html><body><h2>Welcome back</h2></body></html>", {}};
      return std::nullopt;
    };
    return server;
  }();
  return *web;
}

void Wait(const std::function<bool()>& done, const char* what) {
  if (!test::WaitUntil(done, 30000)) throw std::runtime_error(std::string("timed out waiting for ") + what);
}

// The wizard on the demo entry's address, shown (not modally) on page `upTo`.
std::unique_ptr<TQXAFWizard> WizardOn(int upTo) {
  auto wizard = std::make_unique<TQXAFWizard>(
      nullptr, std::vector<std::string>{Web().Url(QStringLiteral("/login")).toStdString()},
      std::vector<std::string>{"Title", "Login", "Password", "URL", "Note"});
  wizard->CreatePages();
  wizard->ShowPage(0, TWizardDirection::Forward);
  TfrmWizard* w = wizard->Window();
  w->show();
  if (upTo >= 1) {
    wizard->GoNext();
    auto* view = Child<QWebEngineView>(w, "webBrowser");
    Wait([&] { return view->url().path() == QLatin1String("/login") && w->Next()->isEnabled(); },
         "the login page");
  }
  if (upTo >= 2) {
    wizard->GoNext();
    Wait([&] { return wizard->CurrentIndex() == 2; }, "the second step");
  }
  TScene::Settle(150);
  return wizard;
}

QPixmap Shot(std::unique_ptr<TQXAFWizard> wizard) {
  TScene::Settle(200);
  QPixmap picture = TScene::Grab(wizard->Window());
  wizard->Window()->hide();
  return picture;
}

const TqmScreenshotRows kAutoFillRows(
    "autofill", {
                    {"autofill_welcome.png", [](TScene&) { return Shot(WizardOn(0)); }},
                    {"autofill_select_url.png", [](TScene&) { return Shot(WizardOn(1)); }},
                    {"autofill_assign_fields.png",
                     [](TScene&) {
                       auto wizard = WizardOn(2);
                       TfrmWizard* w = wizard->Window();
                       auto* fields = Child<QListWidget>(w, "lstRepositoryFields");
                       auto* tree = Child<QTreeWidget>(w, "tvFormFields");
                       QTreeWidgetItem* login = tree->topLevelItem(1);
                       if (login == nullptr || login->childCount() != 2)
                         throw std::runtime_error("the login form was not listed");
                       fields->setCurrentRow(1);
                       tree->setCurrentItem(login->child(0));
                       Child<QPushButton>(w, "btnMatch")->click();
                       fields->setCurrentRow(2);
                       tree->setCurrentItem(login->child(1));
                       Child<QPushButton>(w, "btnMatch")->click();
                       Child<QCheckBox>(w, "chkSubmitForm")->setChecked(true);
                       return Shot(std::move(wizard));
                     }},
                    {"autofill_browser.png",
                     [](TScene&) {
                       const std::string record = Web().Url(QStringLiteral("/login")).toStdString() +
                                                  ";Login=1.user,Password=1.pass";
                       TfrmAutoFillBrowser* window =
                           PerformAutoFill(record, {"Login=jane.doe", "Password=correct horse"});
                       if (window == nullptr) throw std::runtime_error("the filler did not open");
                       window->resize(900, 620);
                       Wait([window] { return !window->Busy(); }, "the fill");
                       TScene::Settle(300);
                       QPixmap picture = TScene::Grab(window);
                       window->close();
                       return picture;
                     }},
                });

}  // namespace
}  // namespace quillmar
