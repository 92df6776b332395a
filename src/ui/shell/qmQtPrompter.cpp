#include "shell/qmQtPrompter.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QThread>

#include "shell/qmMessages.h"
#include "widgets/qmText.h"

namespace quillmar {

namespace {

// Message boxes belong to the window thread: a question from a worker (a long operation in a
// progress window) is shown there while the worker waits for the answer.
template <class F>
auto OnWindowThread(F&& f) -> decltype(f()) {
  QCoreApplication* app = QCoreApplication::instance();
  if (app == nullptr || QThread::currentThread() == app->thread()) return f();
  decltype(f()) result{};
  QMetaObject::invokeMethod(
      app, [&] { result = f(); }, Qt::BlockingQueuedConnection);
  return result;
}

QMessageBox::Icon IconOf(TqmPrompter::TMessageKind kind) {
  switch (kind) {
    case TqmPrompter::TMessageKind::Information:
      return QMessageBox::Information;
    case TqmPrompter::TMessageKind::Warning:
      return QMessageBox::Warning;
    case TqmPrompter::TMessageKind::Error:
      return QMessageBox::Critical;
    case TqmPrompter::TMessageKind::Plain:
      break;
  }
  return QMessageBox::NoIcon;
}

}  // namespace

bool TqmQtPrompter::AskYesNo(const std::string& title, const std::string& message) {
  return OnWindowThread([&] {
    return ShowMessageBox(parent_, QMessageBox::Question, FromMessage(message),
                          QMessageBox::Yes | QMessageBox::No, QMessageBox::No,
                          FromMessage(title)) == QMessageBox::Yes;
  });
}

void TqmQtPrompter::ShowMessage(TMessageKind kind, const std::string& title, const std::string& message) {
  OnWindowThread([&] {
    return ShowMessageBox(parent_, IconOf(kind), FromMessage(message), QMessageBox::Ok, QMessageBox::Ok,
                          FromMessage(title));
  });
}

TqmAppPrompter::TRetryAnswer TqmQtPrompter::AskCancelRetryIgnore(const std::string& title,
                                                                 const std::string& message) {
  return OnWindowThread([&] {
    switch (ShowMessageBox(parent_, QMessageBox::Warning, FromMessage(message),
                           QMessageBox::Cancel | QMessageBox::Retry | QMessageBox::Ignore, QMessageBox::Retry,
                           FromMessage(title))) {
      case QMessageBox::Retry:
        return TRetryAnswer::Retry;
      case QMessageBox::Ignore:
        return TRetryAnswer::Ignore;
      default:
        return TRetryAnswer::Cancel;
    }
  });
}

}  // namespace quillmar
