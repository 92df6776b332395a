#pragma once
// The web engine of the autofill windows (QtWebEngine, that is Chromium).
//
//  - It starts lazily, when the first autofill window needs it. Run as root, Chromium ends the whole
//    process unless its sandbox is switched off (QTWEBENGINE_DISABLE_SANDBOX set, or "--no-sandbox"
//    in QTWEBENGINE_CHROMIUM_FLAGS); WebEngineStartProblem says so beforehand, and the windows show
//    that message instead of starting it.
//  - One off-the-record profile serves every autofill window of the run: cookies and cache stay in
//    memory and nothing of a visited page reaches the disk. Pages must go before their profile:
//    ShutdownWebEngine closes the autofill windows still open and then frees the profile.
//  - The page's DOM is reached only through the script resource autofill.js, run in the program's
//    own isolated world with a request given as JSON (RunAutoFillScript). The answer comes back
//    asynchronously; nothing waits for it in a nested event loop.
#include <QJsonObject>
#include <QString>
#include <QVariant>
#include <QWebEnginePage>
#include <functional>

class QWebEngineProfile;
class QWidget;

namespace quillmar {

// Before the QApplication is made: the web views share the widgets' OpenGL contexts.
void PrepareWebEngine();

// "" when the engine can start; otherwise the message that says why it cannot and what to do.
QString WebEngineStartProblem();

// The off-the-record profile of the run (made on first use). REQUIRES: WebEngineStartProblem() is "".
QWebEngineProfile* AutoFillProfile();

// Keeps a top-level autofill window (not owned) so that ShutdownWebEngine can close it first.
void TrackAutoFillWindow(QWidget* window);

// Deletes the autofill windows still open, then the profile. Called before the QApplication ends.
void ShutdownWebEngine();

// A page of the autofill windows: it keeps the page's console quiet and tells of link clicks in the
// main frame. What it does with a request for a new window (target=_blank, window.open) is the
// owner's: NewWindow returns the page to load it in (null: refused).
class TqmWebPage : public QWebEnginePage {
  Q_OBJECT
public:
  explicit TqmWebPage(QObject* parent);
  std::function<QWebEnginePage*()> NewWindow;

signals:
  // A link click (not a form post or a redirect) is about to load url in the main frame.
  void linkClicked(const QUrl& url);

protected:
  bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override;
  QWebEnginePage* createWindow(WebWindowType type) override;
  void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel, const QString&, int, const QString&) override {
  }
};

// Runs the script resource with request on the page and calls done with its answer: a map, or an
// invalid QVariant when the page did not answer within timeoutMs, ended, or the script failed
// (done then gets the error text as second argument). done runs at most once, and never after
// context (when given) is gone. The request text is wiped once it is handed to the page: it may hold
// the entry's values.
void RunAutoFillScript(QWebEnginePage* page, const QJsonObject& request,
                       std::function<void(const QVariant& answer, const QString& error)> done,
                       QObject* context, int timeoutMs = 20000);

}  // namespace quillmar
