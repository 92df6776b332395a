#include "shell/qmProgressRunner.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QPointer>
#include <QProgressDialog>
#include <QThread>
#include <QTimer>
#include <QWindow>
#include <atomic>
#include <exception>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

#include "shell/qmBusyGate.h"
#include "shell/qmMessages.h"
#include "widgets/qmText.h"

namespace quillmar {

namespace {

int showDelayMs = 300;
QPointer<QProgressDialog> current;
int busyRunning = 0;

// Shows the dialog centred over the window it belongs to (else the window manager may put it in a
// corner of the screen, away from what the user was looking at).
void ShowOverOwner(QProgressDialog* dialog) {
  if (QWidget* owner = dialog->parentWidget(); owner != nullptr && owner->isVisible()) {
    dialog->adjustSize();
    const QPoint centre = owner->window()->frameGeometry().center();
    dialog->move(centre.x() - dialog->width() / 2, centre.y() - dialog->height() / 2);
  }
  dialog->show();
}

// How often the window thread looks at the worker's progress (and repaints the dialog).
constexpr int kLookEveryMs = 50;
constexpr int kSteps = 1000;

}  // namespace

void TqmProgressRunner::SetShowDelay(int ms) {
  showDelayMs = ms;
}

QProgressDialog* TqmProgressRunner::Current() {
  return current.data();
}

bool TqmProgressRunner::BusyRunning() {
  return busyRunning > 0;
}

void TqmProgressRunner::RunBusy(TqmBusyGate* gate, const std::function<void()>& work) {
  std::unique_ptr<TqmBusyGate::TScope> scope;
  if (gate) scope = std::make_unique<TqmBusyGate::TScope>(*gate);
  ++busyRunning;
  QApplication::setOverrideCursor(Qt::WaitCursor);
  std::exception_ptr error;
  QEventLoop loop;
  std::thread worker([&] {
    try {
      work();
    } catch (...) {
      error = std::current_exception();
    }
    QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
  });
  // The quit the worker posts waits in the queue should it come before the loop runs.
  loop.exec(QEventLoop::ExcludeUserInputEvents);
  worker.join();
  QApplication::restoreOverrideCursor();
  --busyRunning;
  if (error) std::rethrow_exception(error);
}

namespace {

// Swallows the user's input to the windows that were open when it was made (mouse, keys, wheel, a
// close from the window manager); windows opened later are left alone.
class TInputBlocker : public QObject {
public:
  TInputBlocker() {
    for (QWidget* w : QApplication::topLevelWidgets()) blocked_.emplace_back(w);
    qApp->installEventFilter(this);
  }
  ~TInputBlocker() override { qApp->removeEventFilter(this); }
  TInputBlocker(const TInputBlocker&) = delete;
  TInputBlocker& operator=(const TInputBlocker&) = delete;

protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    switch (event->type()) {
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonRelease:
      case QEvent::MouseButtonDblClick:
      case QEvent::KeyPress:
      case QEvent::KeyRelease:
      case QEvent::ShortcutOverride:
      case QEvent::Shortcut:
      case QEvent::Wheel:
      case QEvent::ContextMenu:
      case QEvent::Close:
        break;
      default:
        return false;
    }
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget) {
      // Input reaches a window's QWindow before its widgets; a close arrives there too.
      auto* window = qobject_cast<QWindow*>(watched);
      if (!window) return false;
      for (const QPointer<QWidget>& w : blocked_)
        if (w && w->windowHandle() == window) {
          event->ignore();
          return true;
        }
      return false;
    }
    for (const QPointer<QWidget>& w : blocked_)
      if (w == widget->window()) {
        event->ignore();
        return true;
      }
    return false;
  }

private:
  std::vector<QPointer<QWidget>> blocked_;
};

}  // namespace

namespace {

// Run and RunBusyWithProgress: work on a worker thread under a progress dialog shown once it has run for
// showAfterMs. busy: as RunBusy, the windows open before take no input and the wait pointer shows
// until the dialog does.
bool RunUnderDialog(QWidget* parent, TqmBusyGate* gate, const QString& label, int showAfterMs, bool busy,
                    const std::function<void(const TqmProgress& progress)>& work) {
  std::optional<TInputBlocker> blocker;
  if (busy) blocker.emplace();
  std::unique_ptr<QProgressDialog> dialog(TqmProgressRunner::MakeDialog(parent, label));
  struct TRestore {
    QPointer<QProgressDialog> previous;
    ~TRestore() { current = previous; }
  } restore{current};
  current = dialog.get();
  std::unique_ptr<TqmBusyGate::TScope> scope;
  if (gate) scope = std::make_unique<TqmBusyGate::TScope>(*gate);
  if (busy) ++busyRunning;
  QApplication::setOverrideCursor(busy ? Qt::WaitCursor : Qt::BusyCursor);

  // Shared with the worker.
  std::atomic<double> fraction{0};
  std::atomic<bool> cancel{false};
  std::exception_ptr error;

  QEventLoop loop;
  QElapsedTimer clock;
  clock.start();
  auto show = [&] {
    // The pointer over the dialog is the busy one, not the wait pointer: its Cancel can be pressed.
    if (busy) QApplication::changeOverrideCursor(Qt::BusyCursor);
    ShowOverOwner(dialog.get());
  };
  QTimer look;
  look.setInterval(kLookEveryMs);
  QObject::connect(&look, &QTimer::timeout, [&] {
    if (!dialog->isVisible() && clock.elapsed() >= showAfterMs) show();
    if (dialog->isVisible())
      dialog->setValue(static_cast<int>(std::clamp(fraction.load(), 0.0, 1.0) * kSteps));
    if (dialog->wasCanceled()) cancel = true;
  });
  QObject::connect(dialog.get(), &QProgressDialog::canceled, [&] { cancel = true; });
  if (showAfterMs <= 0) show();
  look.start();

  std::thread worker([&] {
    try {
      work([&](double f, bool& c) {
        fraction = f;
        if (cancel) c = true;
      });
    } catch (...) {
      error = std::current_exception();
    }
    QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
  });
  // The quit the worker posts waits in the queue should it come before the loop runs.
  loop.exec();
  worker.join();
  look.stop();

  const bool cancelled = dialog->wasCanceled() || cancel;
  dialog->hide();
  QApplication::restoreOverrideCursor();
  if (busy) --busyRunning;
  if (error) std::rethrow_exception(error);
  return cancelled;
}

}  // namespace

bool TqmProgressRunner::RunBusyWithProgress(QWidget* parent, TqmBusyGate* gate, const QString& label,
                                            int showAfterMs,
                                            const std::function<void(const TqmProgress& progress)>& work) {
  return RunUnderDialog(parent, gate, label, showAfterMs, true, work);
}

bool TqmProgressRunner::OnWindowThread() {
  return QCoreApplication::instance() == nullptr ||
         QThread::currentThread() == QCoreApplication::instance()->thread();
}

QProgressDialog* TqmProgressRunner::MakeDialog(QWidget* parent, const QString& label) {
  auto* dialog = new QProgressDialog(label, QStringLiteral("Cancel"), 0, kSteps, MessageParent(parent));
  dialog->setObjectName(QStringLiteral("dlgProgress"));
  dialog->setWindowTitle(ProductTitle());
  dialog->setWindowModality(Qt::ApplicationModal);
  dialog->setAutoClose(false);
  dialog->setAutoReset(false);
  // Shown by Run, not by the dialog's own timer.
  dialog->setMinimumDuration(std::numeric_limits<int>::max());
  dialog->setMinimumWidth(380);
  dialog->setValue(0);
  return dialog;
}

bool TqmProgressRunner::Run(QWidget* parent, TqmBusyGate* gate, const QString& label,
                            const std::function<void(const TqmProgress& progress)>& work) {
  return RunUnderDialog(parent, gate, label, showDelayMs, false, work);
}

TqmOutcome RunWithOutcome(QWidget* parent, TqmBusyGate* gate, const QString& label,
                          const TqmOutcomeTexts& texts,
                          const std::function<bool(const TqmProgress& progress, std::string& why)>& work) {
  bool finished = false;
  bool cancelled = false;
  std::string why;
  try {
    cancelled = TqmProgressRunner::Run(parent, gate, label,
                                       [&](const TqmProgress& progress) { finished = work(progress, why); });
  } catch (const std::exception& e) {
    finished = false;
    why = e.what();
    // An exception is a failure even when it says nothing.
    if (why.empty()) why = "The operation stopped with an error it did not describe.";
  }
  TqmOutcome outcome;
  if (finished)
    outcome = TqmOutcome::Done;
  else if (!why.empty())
    outcome = TqmOutcome::Failed;
  else
    outcome = cancelled ? TqmOutcome::Cancelled : TqmOutcome::Declined;
  switch (outcome) {
    case TqmOutcome::Done:
      if (!texts.done.isEmpty()) ShowInformation(parent, texts.done);
      break;
    case TqmOutcome::Cancelled:
      if (!texts.cancelled.isEmpty()) ShowInformation(parent, texts.cancelled);
      break;
    case TqmOutcome::Failed: {
      const QString reason = FromMessage(why).trimmed();
      if (!texts.failed.isEmpty())
        ShowError(parent, reason.isEmpty() ? texts.failed : texts.failed + QStringLiteral("\n\n") + reason);
      break;
    }
    case TqmOutcome::Declined:
      if (!texts.declined.isEmpty()) ShowWarning(parent, texts.declined);
      break;
  }
  return outcome;
}

}  // namespace quillmar
