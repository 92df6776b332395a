#pragma once
// Runs a long operation of the core in a modal QProgressDialog with a Cancel button.
//
// The operation runs on a worker thread while the window thread goes on with its event loop, so
// the program stays alive even through steps that no progress report can split (flushing hundreds
// of MiB to the disk, renaming a large file). The operation reports through the progress callback
// (safe/qmProgress.h); the dialog shows the fraction a few times a second and passes a Cancel on.
// The dialog appears once the work has run for a moment (a quick operation shows none).
//
// While the operation runs:
//  - the busy gate is held: locks, Exit, received commands, reminder firings wait until it ends;
//  - the window thread must not call into the core: everything that could is behind the gate or
//    blocked by the modal dialog;
//  - a question the core asks (TqmQtPrompter) is shown by the window thread, the worker waiting
//    for the answer;
//  - the core's "let events run" and busy-pointer hooks do nothing on the worker (the window
//    thread runs its events anyway).
#include <QString>
#include <functional>

#include "core/qmSafeTypes.h"

class QWidget;
class QProgressDialog;

namespace quillmar {

class TqmBusyGate;

class TqmProgressRunner {
public:
  // Runs work(progress) on a worker thread and returns when it has ended. True when Cancel was
  // pressed (whether the work honoured it is the work's result to tell). An exception of the work
  // is thrown again here, after the dialog is closed.
  static bool Run(QWidget* parent, TqmBusyGate* gate, const QString& label,
                  const std::function<void(const TqmProgress& progress)>& work);

  // Runs work on a worker thread with the wait cursor and no dialog, for a step of about a second that
  // reports no progress and cannot be cancelled (a key derivation, the making of a hardened Safe).
  // Meanwhile the window thread runs its events except user input: windows paint, timers and the
  // instance channel go on, a question of the core is shown, nothing can be clicked. The gate (when
  // given) is held. An exception of the work is thrown again here.
  static void RunBusy(TqmBusyGate* gate, const std::function<void()>& work);
  // Whether RunBusy is running now (a test script then leaves the windows alone, as a user must).
  static bool BusyRunning();

  // How long the work runs before the dialog appears (default 300 ms; tests and screenshots set 0).
  static void SetShowDelay(int ms);
  // The dialog of the operation that runs now, or null.
  static QProgressDialog* Current();
  // A dialog as Run shows it (range 0 to 1000), not shown yet; the caller owns it.
  static QProgressDialog* MakeDialog(QWidget* parent, const QString& label);
  // Whether the caller runs on the window thread (the core's hooks ask before touching Qt).
  static bool OnWindowThread();
};

}  // namespace quillmar
