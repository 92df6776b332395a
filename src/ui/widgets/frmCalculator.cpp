#include "widgets/frmCalculator.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QVBoxLayout>
#include <cmath>

#include "model/qmFieldValues.h"

namespace quillmar {

namespace {

// The calculator shows what a double holds to 15 significant digits, the same form the fields store.
QString NumberShown(double value, QChar separator) {
  const std::string text = NumberText(value, separator.toLatin1() ? separator.toLatin1() : '.');
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

constexpr int kMaxDigits = 15;

}  // namespace

// --- TqmCalculatorState ---------------------------------------------------------------------------------

TqmCalculatorState::TqmCalculatorState(double start, QChar separator) : separator_(separator) {
  Show(std::isfinite(start) ? start : 0);
}

void TqmCalculatorState::Show(double value) {
  if (!std::isfinite(value)) {
    error_ = QString::fromLatin1(kMsgOverflow);
    return;
  }
  if (value == 0) value = 0;  // no "-0"
  entry_ = NumberShown(value, separator_);
  fresh_ = true;
}

double TqmCalculatorState::Value() const {
  if (Error()) return 0;
  return ReadNumber(entry_.toLatin1().toStdString(), separator_.toLatin1() ? separator_.toLatin1() : '.');
}

QString TqmCalculatorState::Display() const {
  return Error() ? error_ : entry_;
}

void TqmCalculatorState::Digit(int digit) {
  if (Error()) Clear();
  if (fresh_) {
    entry_ = QStringLiteral("0");
    fresh_ = false;
  }
  int digits = 0;
  for (QChar c : entry_) digits += c.isDigit() ? 1 : 0;
  if (digits >= kMaxDigits) return;
  if (entry_ == QLatin1String("0"))
    entry_ = QString::number(digit);
  else
    entry_ += QString::number(digit);
}

void TqmCalculatorState::Separator() {
  if (Error()) Clear();
  if (fresh_) {
    entry_ = QStringLiteral("0");
    fresh_ = false;
  }
  if (!entry_.contains(separator_)) entry_ += separator_;
}

void TqmCalculatorState::Apply() {
  const double operand = Value();
  double result = operand;
  switch (op_) {
    case '+':
      result = accumulator_ + operand;
      break;
    case '-':
      result = accumulator_ - operand;
      break;
    case '*':
      result = accumulator_ * operand;
      break;
    case '/':
      if (operand == 0) {
        error_ = QString::fromLatin1(kMsgDivideByZero);
        op_ = 0;
        return;
      }
      result = accumulator_ / operand;
      break;
    default:
      break;
  }
  op_ = 0;
  Show(result);
}

void TqmCalculatorState::Operator(char op) {
  if (Error()) return;
  // A second operator in a row only replaces the first.
  if (op_ != 0 && !fresh_) Apply();
  if (Error()) return;
  accumulator_ = Value();
  op_ = op;
  fresh_ = true;
}

void TqmCalculatorState::Equals() {
  if (Error() || op_ == 0) return;
  Apply();
}

void TqmCalculatorState::Negate() {
  if (Error()) return;
  if (entry_.startsWith(QLatin1Char('-')))
    entry_.remove(0, 1);
  else if (entry_ != QLatin1String("0"))
    entry_.prepend(QLatin1Char('-'));
}

void TqmCalculatorState::Backspace() {
  if (Error()) {
    ClearEntry();
    return;
  }
  if (fresh_) return;
  entry_.chop(1);
  if (entry_.isEmpty() || entry_ == QLatin1String("-")) entry_ = QStringLiteral("0");
}

void TqmCalculatorState::Clear() {
  error_.clear();
  accumulator_ = 0;
  op_ = 0;
  entry_ = QStringLiteral("0");
  fresh_ = true;
}

void TqmCalculatorState::ClearEntry() {
  if (Error()) {
    Clear();
    return;
  }
  entry_ = QStringLiteral("0");
  fresh_ = true;
}

// --- TfrmCalculator ---------------------------------------------------------------------------------------

TfrmCalculator::TfrmCalculator(double start, QWidget* parent)
    : QDialog(parent), state_(start, QLocale().decimalPoint().at(0)) {
  setObjectName(QStringLiteral("TfrmCalculator"));
  setWindowTitle(QStringLiteral("Calculator"));
  auto* layout = new QVBoxLayout(this);
  display_ = new QLineEdit(this);
  display_->setObjectName(QStringLiteral("txtDisplay"));
  display_->setReadOnly(true);
  display_->setAlignment(Qt::AlignRight);
  display_->setFocusPolicy(Qt::NoFocus);
  QFont big = display_->font();
  big.setPointSizeF(big.pointSizeF() * 1.5);
  display_->setFont(big);
  display_->setMinimumHeight(display_->sizeHint().height() + 6);
  layout->addWidget(display_);

  auto* grid = new QGridLayout();
  grid->setSpacing(4);
  connect(AddButton(QStringLiteral("C"), "btnClear", 0, 0, grid), &QPushButton::clicked, this, [this] {
    state_.Clear();
    Refresh();
  });
  connect(AddButton(QStringLiteral("CE"), "btnClearEntry", 0, 1, grid), &QPushButton::clicked, this, [this] {
    state_.ClearEntry();
    Refresh();
  });
  connect(AddButton(QStringLiteral("\u2190"), "btnBackspace", 0, 2, grid), &QPushButton::clicked, this,
          [this] {
            state_.Backspace();
            Refresh();
          });
  struct TOp {
    const char* text;
    const char* name;
    char op;
    int row;
  };
  const TOp ops[] = {{"\u00f7", "btnDivide", '/', 0},
                     {"\u00d7", "btnMultiply", '*', 1},
                     {"\u2212", "btnSubtract", '-', 2},
                     {"+", "btnAdd", '+', 3}};
  for (const TOp& op : ops) {
    const char code = op.op;
    connect(AddButton(QString::fromUtf8(op.text), op.name, op.row, 3, grid), &QPushButton::clicked, this,
            [this, code] {
              state_.Operator(code);
              Refresh();
            });
  }
  for (int d = 1; d <= 9; ++d) {
    const QByteArray name = "btnDigit" + QByteArray::number(d);
    connect(AddButton(QString::number(d), name.constData(), 3 - (d - 1) / 3, (d - 1) % 3, grid),
            &QPushButton::clicked, this, [this, d] {
              state_.Digit(d);
              Refresh();
            });
  }
  connect(AddButton(QStringLiteral("\u00b1"), "btnNegate", 4, 0, grid), &QPushButton::clicked, this, [this] {
    state_.Negate();
    Refresh();
  });
  connect(AddButton(QStringLiteral("0"), "btnDigit0", 4, 1, grid), &QPushButton::clicked, this, [this] {
    state_.Digit(0);
    Refresh();
  });
  connect(AddButton(QLocale().decimalPoint(), "btnSeparator", 4, 2, grid), &QPushButton::clicked, this,
          [this] {
            state_.Separator();
            Refresh();
          });
  connect(AddButton(QStringLiteral("="), "btnEquals", 4, 3, grid), &QPushButton::clicked, this, [this] {
    state_.Equals();
    Refresh();
  });
  layout->addLayout(grid);

  auto* buttons = new QHBoxLayout();
  buttons->addStretch(1);
  ok_ = new QPushButton(QStringLiteral("OK"), this);
  ok_->setObjectName(QStringLiteral("btnOK"));
  auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
  cancel->setObjectName(QStringLiteral("btnCancel"));
  for (QPushButton* b : {ok_, cancel}) {
    b->setAutoDefault(false);
    b->setFocusPolicy(Qt::NoFocus);
    buttons->addWidget(b);
  }
  layout->addLayout(buttons);
  connect(ok_, &QPushButton::clicked, this, &TfrmCalculator::Ok);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  setFocusPolicy(Qt::StrongFocus);
  Refresh();
  setFixedSize(sizeHint().expandedTo(QSize(240, 0)));
}

QPushButton* TfrmCalculator::AddButton(const QString& text, const char* name, int row, int column,
                                       QGridLayout* grid) {
  auto* b = new QPushButton(text, this);
  b->setObjectName(QString::fromLatin1(name));
  b->setAutoDefault(false);
  b->setFocusPolicy(Qt::NoFocus);
  b->setMinimumSize(48, 34);
  grid->addWidget(b, row, column);
  return b;
}

void TfrmCalculator::Refresh() {
  display_->setText(state_.Display());
  ok_->setEnabled(!state_.Error());
}

void TfrmCalculator::Ok() {
  state_.Equals();
  Refresh();
  if (state_.Error()) return;
  accept();
}

void TfrmCalculator::keyPressEvent(QKeyEvent* event) {
  const QString text = event->text();
  const int key = event->key();
  if (key == Qt::Key_Return || key == Qt::Key_Enter) {
    if (state_.Pending()) {
      state_.Equals();
      Refresh();
    } else {
      Ok();
    }
    return;
  }
  if (key == Qt::Key_Escape) {
    reject();
    return;
  }
  if (key == Qt::Key_Backspace) {
    state_.Backspace();
  } else if (key == Qt::Key_Delete) {
    state_.ClearEntry();
  } else if (text.size() == 1 && text.at(0).isDigit() && text.at(0).unicode() < 128) {
    state_.Digit(text.at(0).digitValue());
  } else if (text == QLatin1String(".") || text == QLatin1String(",")) {
    state_.Separator();
  } else if (text == QLatin1String("+") || text == QLatin1String("-") || text == QLatin1String("*") ||
             text == QLatin1String("/")) {
    state_.Operator(text.at(0).toLatin1());
  } else if (text == QLatin1String("=")) {
    state_.Equals();
  } else {
    QDialog::keyPressEvent(event);
    return;
  }
  Refresh();
}

}  // namespace quillmar
