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
//
// A command that runs long work and then tells the user how it ended goes through RunWithOutcome:
// it says "done", "cancelled, nothing changed" or "failed, and why" in one way for every window
// (repair, backup, change of password, and the windows that follow them). A window only supplies
// the texts and the call of the core:
//
//   TqmOutcomeTexts texts;
//   texts.cancelled = "The export was cancelled. Nothing was written.";
//   texts.failed = "The entries were not exported.";
//   if (RunWithOutcome(this, &gate, "Exporting ...", texts, [&](const TqmProgress& p, std::string&) {
//         return g.Export(target, p);
//       }) == TqmOutcome::Done)
//     ShowInformation(this, ...);  // or texts.done, when the text is known beforehand
#include <QString>
#include <functional>
#include <string>

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

// How a long operation run by RunWithOutcome ended.
enum class TqmOutcome {
  Done,       // the work finished (a Cancel that came after its point of no return is ignored)
  Cancelled,  // Cancel stopped it before its point of no return: nothing was changed
  Failed,     // it threw, or stopped and gave a reason
  Declined,   // it stopped without a Cancel and without a reason (the user said No to its question)
};

// What RunWithOutcome tells the user for each ending. An empty text shows nothing: the caller then
// says it (a done text that depends on the result, for example).
struct TqmOutcomeTexts {
  QString done;       // information
  QString cancelled;  // information
  QString failed;     // error: this text, a blank line and the reason
  QString declined;   // warning
};

// Runs work under TqmProgressRunner::Run and shows the message of its ending (texts) before it
// returns. work returns true when it finished; false when it stopped, with the reason in why when
// the stop was a failure (left empty for a Cancel honoured or a question declined). A Cancel is
// told from a failure by the result and the reason, never by the button alone: work that finished
// is Done, work that stopped with a reason is Failed whether or not Cancel was pressed. An
// exception of work is a failure whose reason is its message (the Safe's own texts).
TqmOutcome RunWithOutcome(QWidget* parent, TqmBusyGate* gate, const QString& label,
                          const TqmOutcomeTexts& texts,
                          const std::function<bool(const TqmProgress& progress, std::string& why)>& work);

}  // namespace quillmar
