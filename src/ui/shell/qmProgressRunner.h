#pragma once
// Runs a long operation of the core in a modal QProgressDialog with a Cancel button.
//
// The operation gets a progress callback (safe/qmProgress.h). Each call lets pending events run, so
// the window stays alive and Cancel can be pressed; the dialog itself is repainted a few times a
// second at most, so that showing progress does not slow the work. The dialog appears once the
// work has run for a moment (a quick operation shows none). While the operation runs the busy gate
// is held: locks, Exit, received commands and the like wait until it ends.
#include <QString>
#include <functional>

#include "safe/qmProgress.h"

class QWidget;
class QProgressDialog;

namespace quillmar {

class TqmBusyGate;

class TqmProgressRunner {
public:
  // Runs work(progress). Returns true when Cancel was pressed (whether the work honoured it is the
  // work's result to tell). Exceptions of the work propagate after the dialog is closed.
  static bool Run(QWidget* parent, TqmBusyGate* gate, const QString& label,
                  const std::function<void(const TqmProgress& progress)>& work);

  // How long the work runs before the dialog appears (default 300 ms; tests and screenshots set 0).
  static void SetShowDelay(int ms);
  // The dialog of the operation that runs now, or null.
  static QProgressDialog* Current();
  // A dialog as Run shows it (range 0 to 1000), not shown yet; the caller owns it.
  static QProgressDialog* MakeDialog(QWidget* parent, const QString& label);
};

}  // namespace quillmar
