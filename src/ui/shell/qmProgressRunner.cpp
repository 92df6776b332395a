#include "shell/qmProgressRunner.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPointer>
#include <QProgressDialog>
#include <memory>

#include "shell/qmBusyGate.h"
#include "shell/qmMessages.h"

namespace quillmar {

namespace {

int showDelayMs = 300;
QPointer<QProgressDialog> current;

// Repaints of the dialog are at least this far apart.
constexpr qint64 kRepaintEveryMs = 100;
constexpr int kSteps = 1000;

}  // namespace

void TqmProgressRunner::SetShowDelay(int ms) {
  showDelayMs = ms;
}

QProgressDialog* TqmProgressRunner::Current() {
  return current.data();
}

QProgressDialog* TqmProgressRunner::MakeDialog(QWidget* parent, const QString& label) {
  auto* dialog = new QProgressDialog(label, QStringLiteral("Cancel"), 0, kSteps, MessageParent(parent));
  dialog->setObjectName(QStringLiteral("dlgProgress"));
  dialog->setWindowTitle(ProductTitle());
  dialog->setWindowModality(Qt::ApplicationModal);
  dialog->setAutoClose(false);
  dialog->setAutoReset(false);
  // Shown by Run's callback, not by the dialog's own timer.
  dialog->setMinimumDuration(std::numeric_limits<int>::max());
  dialog->setMinimumWidth(380);
  dialog->setValue(0);
  return dialog;
}

bool TqmProgressRunner::Run(QWidget* parent, TqmBusyGate* gate, const QString& label,
                            const std::function<void(const TqmProgress& progress)>& work) {
  std::unique_ptr<QProgressDialog> owned(MakeDialog(parent, label));
  QProgressDialog& dialog = *owned;
  QPointer<QProgressDialog> previous = current;
  current = &dialog;

  std::unique_ptr<TqmBusyGate::TScope> scope;
  if (gate) scope = std::make_unique<TqmBusyGate::TScope>(*gate);
  QElapsedTimer clock;
  clock.start();
  qint64 lastPaint = -kRepaintEveryMs;
  bool shown = false;
  const TqmProgress progress = [&](double fraction, bool& cancel) {
    const qint64 now = clock.elapsed();
    if (!shown && now >= showDelayMs) {
      dialog.show();
      shown = true;
      lastPaint = -kRepaintEveryMs;
    }
    if (shown && now - lastPaint >= kRepaintEveryMs) {
      lastPaint = now;
      dialog.setValue(static_cast<int>(std::clamp(fraction, 0.0, 1.0) * kSteps));
    }
    QCoreApplication::processEvents();
    if (dialog.wasCanceled()) cancel = true;
  };

  struct TRestore {
    QPointer<QProgressDialog> previous;
    ~TRestore() { current = previous; }
  } restore{previous};
  work(progress);
  const bool cancelled = dialog.wasCanceled();
  dialog.hide();
  return cancelled;
}

}  // namespace quillmar
