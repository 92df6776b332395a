#pragma once
// TqmUiScript: answers the modal windows of the program as they come, for tests, screenshots and
// benchmarks. Each step waits for the active modal window it names (a message box by its text, or a
// window of a type) and acts on it; the steps run in order, each from the event loop, so a step may
// open windows that later steps answer. Script the steps first, then start what opens the windows:
//
//   script.On<TfrmChangePassword>([](TfrmChangePassword* d) { ...; Child<QPushButton>(d, "btnOk")->click();
//   }); script.Answer("The master password was changed."); window.FindAction("changePassword")->trigger(); //
//   returns once the script has answered all
//
// Nothing hangs and nothing passes silently: a message box no step expects is recorded and closed
// with its escape button; a step that waits too long is recorded and its window rejected; a step
// that throws (Child<T> found no control) is recorded and its window rejected. Problems() lists
// them; the widget tests' fixture fails a test that leaves any.
#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <deque>
#include <functional>

namespace quillmar {

class TqmUiScript : public QObject {
  Q_OBJECT
public:
  explicit TqmUiScript(int stepTimeoutMs = 20000);
  ~TqmUiScript() override;

  // Waits for a message box whose text contains text and clicks button.
  TqmUiScript& Answer(const QString& text, QMessageBox::StandardButton button = QMessageBox::Ok);
  // Waits for an active modal window of type T and calls act with it.
  template <class T>
  TqmUiScript& On(std::function<void(T*)> act, const QString& what = QString()) {
    Step step;
    step.what = what.isEmpty() ? QString::fromLatin1(T::staticMetaObject.className()) : what;
    step.matches = [](QWidget* w) { return qobject_cast<T*>(w) != nullptr; };
    step.act = [act](QWidget* w) { act(qobject_cast<T*>(w)); };
    steps_.push_back(std::move(step));
    Arm();
    return *this;
  }
  // Waits for any active modal window that matches and calls act.
  TqmUiScript& OnWindow(const QString& what, std::function<bool(QWidget*)> matches,
                        std::function<void(QWidget*)> act);

  bool Done() const { return steps_.empty(); }
  size_t Pending() const { return steps_.size(); }
  // The texts of the message boxes answered, in order.
  const QStringList& Answered() const { return answered_; }
  // Unexpected boxes and steps that timed out; empty when all went as scripted.
  const QStringList& Problems() const { return problems_; }
  // The problems so far, forgotten once taken.
  QStringList TakeProblems() {
    QStringList taken = problems_;
    problems_.clear();
    return taken;
  }
  // Unexpected message boxes are answered with this button instead of being a problem.
  void AllowUnexpected(QMessageBox::StandardButton button) { unexpectedAnswer_ = button; }

private:
  struct Step {
    QString what;
    std::function<bool(QWidget*)> matches;
    std::function<void(QWidget*)> act;
  };
  void Arm();
  void Tick();

  std::deque<Step> steps_;
  QStringList answered_;
  QStringList problems_;
  QTimer timer_;
  int stepTimeoutMs_;
  qint64 waitingSince_ = -1;
  QMessageBox::StandardButton unexpectedAnswer_ = QMessageBox::NoButton;
  bool acting_ = false;  // an act is scheduled and has not started yet
};

// The text of a message box as shown.
QString MessageBoxText(QMessageBox* box);

}  // namespace quillmar
