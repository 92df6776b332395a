#pragma once
// TfrmCalculator: the calculator of the Currency and Number fields (modal). It starts from a value,
// computes as a pocket calculator does (each operator applies the one before it), and on OK hands
// back the value shown. A division by zero, or a result beyond what a number can hold, shows an
// error in the display and blocks OK until C, CE or a digit starts again: the result is never an
// infinity or not-a-number.
//
// Keyboard: digits, "." and "," (the locale's separator), + - * /, "=" (Enter when an operation is
// pending, otherwise Enter is OK), Backspace, Delete (CE), Escape (Cancel).
// objectNames: txtDisplay, btnDigit0..btnDigit9, btnSeparator, btnAdd, btnSubtract, btnMultiply,
// btnDivide, btnEquals, btnNegate, btnClear, btnClearEntry, btnBackspace, btnOK, btnCancel.
#include <QDialog>
#include <QString>

class QGridLayout;
class QLineEdit;
class QPushButton;

namespace quillmar {

// The arithmetic of the dialog, apart from its window.
class TqmCalculatorState {
public:
  static constexpr char kMsgDivideByZero[] = "Cannot divide by zero";
  static constexpr char kMsgOverflow[] = "Overflow";

  TqmCalculatorState(double start, QChar separator);

  void Digit(int digit);
  void Separator();
  // '+', '-', '*' or '/'.
  void Operator(char op);
  void Equals();
  void Negate();
  void Backspace();
  // C: everything anew (0); CE: the number being typed.
  void Clear();
  void ClearEntry();

  // The display's text: the number being typed or the last result, or the error.
  QString Display() const;
  bool Error() const { return !error_.isEmpty(); }
  bool Pending() const { return op_ != 0; }
  // The value shown (0 in the error state).
  double Value() const;

private:
  void Apply();
  void Show(double value);

  QChar separator_;
  QString entry_;  // the digits shown, as typed or as the result is written
  double accumulator_ = 0;
  char op_ = 0;
  bool fresh_ = true;  // the next digit starts a new number
  QString error_;
};

class TfrmCalculator : public QDialog {
  Q_OBJECT
public:
  // start: the value the calculator shows first (a non-finite one starts at 0).
  TfrmCalculator(double start, QWidget* parent);

  // The value on OK (the pending operation applied).
  double Result() const { return state_.Value(); }
  const TqmCalculatorState& State() const { return state_; }

protected:
  void keyPressEvent(QKeyEvent* event) override;

private:
  QPushButton* AddButton(const QString& text, const char* name, int row, int column, QGridLayout* grid);
  void Refresh();
  void Ok();

  TqmCalculatorState state_;
  QLineEdit* display_;
  QPushButton* ok_;
};

}  // namespace quillmar
