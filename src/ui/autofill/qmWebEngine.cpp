#include "autofill/qmWebEngine.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QFile>
#include <QJsonDocument>
#include <QPointer>
#include <QTimer>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWidget>
#include <memory>
#include <vector>

#include "widgets/qmText.h"

namespace quillmar {

namespace {

QWebEngineProfile*& Profile() {
  static QWebEngineProfile* profile = nullptr;
  return profile;
}

std::vector<QPointer<QWidget>>& Windows() {
  static std::vector<QPointer<QWidget>> windows;
  return windows;
}

const QString& ScriptSource() {
  static const QString source = [] {
    QFile file(QStringLiteral(":/autofill/autofill.js"));
    if (!file.open(QIODevice::ReadOnly)) return QString();
    return QString::fromUtf8(file.readAll());
  }();
  return source;
}

bool SandboxSwitchedOff() {
  if (qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX")) return true;
  if (qEnvironmentVariable("QTWEBENGINE_CHROMIUM_FLAGS")
          .split(QLatin1Char(' '))
          .contains(QStringLiteral("--no-sandbox")))
    return true;
  // Arguments for Chromium follow "--webEngineArgs" on the program's command line.
  const QStringList arguments = QCoreApplication::arguments();
  const qsizetype engineArgs = arguments.indexOf(QStringLiteral("--webEngineArgs"));
  return engineArgs >= 0 && arguments.indexOf(QStringLiteral("--no-sandbox"), engineArgs) > engineArgs;
}

}  // namespace

void PrepareWebEngine() {
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
}

QString WebEngineStartProblem() {
  if (geteuid() != 0 || SandboxSwitchedOff()) return QString();
  return QStringLiteral(
      "The web browser of Brelkan Quillmar II cannot start: the program runs as root, and the browser "
      "engine (Chromium) ends the whole program when it runs as root with its sandbox on.\n\n"
      "Start Brelkan Quillmar II as your own user, or, to run it as root anyway, start it with the "
      "environment variable QTWEBENGINE_DISABLE_SANDBOX=1.");
}

QWebEngineProfile* AutoFillProfile() {
  QWebEngineProfile*& profile = Profile();
  if (!profile) {
    // A profile without a storage name is off the record: cookies, cache and visited links stay in
    // memory for the run.
    profile = new QWebEngineProfile();
    profile->setHttpCacheType(QWebEngineProfile::MemoryHttpCache);
    profile->setPersistentCookiesPolicy(QWebEngineProfile::NoPersistentCookies);
  }
  return profile;
}

void TrackAutoFillWindow(QWidget* window) {
  auto& windows = Windows();
  std::erase_if(windows, [](const QPointer<QWidget>& w) { return w.isNull(); });
  windows.emplace_back(window);
}

void ShutdownWebEngine() {
  // Pages first: a profile freed under a living page leaves the engine in a broken state.
  auto windows = std::move(Windows());
  Windows().clear();
  for (auto& window : windows) delete window.data();
  delete Profile();
  Profile() = nullptr;
}

TqmWebPage::TqmWebPage(QObject* parent) : QWebEnginePage(AutoFillProfile(), parent) {}

bool TqmWebPage::acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) {
  if (isMainFrame && type == NavigationTypeLinkClicked) emit linkClicked(url);
  return QWebEnginePage::acceptNavigationRequest(url, type, isMainFrame);
}

QWebEnginePage* TqmWebPage::createWindow(WebWindowType) {
  return NewWindow ? NewWindow() : nullptr;
}

void RunAutoFillScript(QWebEnginePage* page, const QJsonObject& request,
                       std::function<void(const QVariant&, const QString&)> done, QObject* context,
                       int timeoutMs) {
  struct TCall {
    std::function<void(const QVariant&, const QString&)> done;
    QPointer<QObject> context;
    bool hasContext = false;
    bool finished = false;
    void Finish(const QVariant& answer, const QString& error) {
      if (finished) return;
      finished = true;
      if (hasContext && context.isNull()) return;
      auto call = std::move(done);
      call(answer, error);
    }
  };
  auto call = std::make_shared<TCall>();
  call->done = std::move(done);
  call->context = context;
  call->hasContext = context != nullptr;

  if (ScriptSource().isEmpty()) {
    QTimer::singleShot(0, page,
                       [call] { call->Finish(QVariant(), QStringLiteral("the page script is missing")); });
    return;
  }
  QByteArray json = QJsonDocument(request).toJson(QJsonDocument::Compact);
  // The request is JSON, an expression of JavaScript itself: no value is ever spliced into code.
  QString code = QStringLiteral("(") + ScriptSource() + QStringLiteral(")(") + QString::fromUtf8(json) +
                 QStringLiteral(");");
  json.fill('\0');
  QPointer<QWebEnginePage> guard(page);
  page->runJavaScript(code, QWebEngineScript::ApplicationWorld, [call](const QVariant& answer) {
    if (!answer.isValid()) {
      call->Finish(QVariant(), QStringLiteral("the page did not answer"));
      return;
    }
    const QVariantMap map = answer.toMap();
    if (map.contains(QStringLiteral("error")))
      call->Finish(QVariant(), map.value(QStringLiteral("error")).toString());
    else
      call->Finish(answer, QString());
  });
  WipeQString(code);
  QTimer::singleShot(timeoutMs, page,
                     [call] { call->Finish(QVariant(), QStringLiteral("the page did not answer in time")); });
}

}  // namespace quillmar
