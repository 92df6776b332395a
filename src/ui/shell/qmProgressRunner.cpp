#include "shell/qmProgressRunner.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QPointer>
#include <QProgressDialog>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <exception>
#include <memory>
#include <thread>

#include "shell/qmBusyGate.h"
#include "shell/qmMessages.h"
#include "widgets/qmText.h"

namespace quillmar {

namespace {

int showDelayMs = 300;
QPointer<QProgressDialog> current;
int busyRunning = 0;

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
  std::unique_ptr<QProgressDialog> dialog(MakeDialog(parent, label));
  struct TRestore {
    QPointer<QProgressDialog> previous;
    ~TRestore() { current = previous; }
  } restore{current};
  current = dialog.get();
  std::unique_ptr<TqmBusyGate::TScope> scope;
  if (gate) scope = std::make_unique<TqmBusyGate::TScope>(*gate);
  QApplication::setOverrideCursor(Qt::BusyCursor);

  // Shared with the worker.
  std::atomic<double> fraction{0};
  std::atomic<bool> cancel{false};
  std::atomic<bool> finished{false};
  std::exception_ptr error;

  QEventLoop loop;
  QElapsedTimer clock;
  clock.start();
  QTimer look;
  look.setInterval(kLookEveryMs);
  QObject::connect(&look, &QTimer::timeout, [&] {
    if (!dialog->isVisible() && clock.elapsed() >= showDelayMs) dialog->show();
    if (dialog->isVisible())
      dialog->setValue(static_cast<int>(std::clamp(fraction.load(), 0.0, 1.0) * kSteps));
    if (dialog->wasCanceled()) cancel = true;
  });
  QObject::connect(dialog.get(), &QProgressDialog::canceled, [&] { cancel = true; });
  if (showDelayMs <= 0) dialog->show();
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
    finished = true;
    QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
  });
  // The quit the worker posts waits in the queue should it come before the loop runs.
  loop.exec();
  worker.join();
  look.stop();

  const bool cancelled = dialog->wasCanceled() || cancel;
  dialog->hide();
  QApplication::restoreOverrideCursor();
  if (error) std::rethrow_exception(error);
  return cancelled;
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
