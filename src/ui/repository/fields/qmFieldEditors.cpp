#include "repository/fields/qmFieldEditors.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QDoubleSpinBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPlainTextEdit>
#include <QToolButton>

#include "base/Exception.h"
#include "core/qmEntryEditSession.h"
#include "core/qmGlobal.h"
#include "model/qmField.h"
#include "model/qmFieldValues.h"
#include "repository/fields/qmFieldActions.h"
#include "repository/qmRepositorySeams.h"
#include "shell/qmFileDialogs.h"
#include "shell/qmMessages.h"
#include "widgets/frmPasswordGenerator.h"
#include "widgets/qmCalendarPopup.h"
#include "widgets/qmSafeTextValidator.h"
#include "widgets/qmStrengthMeter.h"
#include "widgets/qmText.h"

namespace quillmar {

using fields::ControlName;

namespace {

// The height of the strength meter under a password box.
int MeterHeight(const QWidget* reference) {
  return reference->fontMetrics().height() * 4 / 5 + 4;
}

}  // namespace

// --- Password --------------------------------------------------------------------------------------------

void TqmPasswordFieldEditor::CreateControls() {
  TqmCustomNormalTextButtonFieldEditor::CreateControls();
  box_->setEchoMode(QLineEdit::Password);
  generate_ =
      MakeButton("IDB_GENERATE", QStringLiteral("Generate Password"), "Generate", [this] { Generate(); });
  AddKey(box_, QKeySequence(Qt::CTRL | Qt::Key_G), [this] { Generate(); });
  meter_ = new TqmStrengthMeter(panel_);
  meter_->setObjectName(ControlName(context_.index, "Strength"));
  height_ += MeterHeight(panel_);
  panel_->resize(width_, height_);
  connect(box_, &QLineEdit::textChanged, meter_, &TqmStrengthMeter::SetPassword);
}

QKeySequence TqmPasswordFieldEditor::ButtonKey() const {
  return QKeySequence(Qt::CTRL | Qt::Key_H);
}

void TqmPasswordFieldEditor::LoadValue() {
  TqmCustomNormalTextButtonFieldEditor::LoadValue();
  meter_->SetPassword(box_->text());
}

int TqmPasswordFieldEditor::RowHeightOfPanel() const {
  return height_ - MeterHeight(panel_);
}

bool TqmPasswordFieldEditor::Masked() const {
  return box_->echoMode() == QLineEdit::Password;
}

void TqmPasswordFieldEditor::ToggleMask() {
  box_->setEchoMode(Masked() ? QLineEdit::Normal : QLineEdit::Password);
}

void TqmPasswordFieldEditor::Generate() {
  TfrmPasswordGenerator generator(DialogParent());
  if (generator.exec() != QDialog::Accepted) return;
  QString password = generator.Password();
  if (password.isEmpty()) return;
  box_->setText(password);
  WipeQString(password);
  box_->setFocus();
}

int TqmPasswordFieldEditor::BoxRight() const {
  return generate_->geometry().left() - 1;
}

void TqmPasswordFieldEditor::LayoutControls() {
  const int show = PlaceRightButton(button_, 1);
  PlaceRightButton(generate_, width_ - show + 1);
  TqmNormalTextFieldEditor::LayoutControls();
  const QRect box = box_->geometry();
  meter_->setGeometry(box.left(), RowHeightOfPanel(), box.width(), height_ - RowHeightOfPanel());
}

// --- E-mail and URL -------------------------------------------------------------------------------------

void TqmEMailFieldEditor::ButtonAction() {
  fields::OpenMailTo(DialogParent(), field_.Value());
}

void TqmURLFieldEditor::ButtonAction() {
  fields::OpenAddress(DialogParent(), field_.Value());
}

// --- File and Picture ------------------------------------------------------------------------------------

void TqmFileFieldEditor::CreateControls() {
  TqmCustomNormalTextButtonFieldEditor::CreateControls();
  box_->setReadOnly(true);
  open_ = MakeButton("IDB_OPEN", OpenHint(), "Open", [this] { Open(); });
  AddKey(box_, QKeySequence(Qt::CTRL | Qt::Key_Return), [this] { Open(); });
}

QKeySequence TqmFileFieldEditor::ButtonKey() const {
  return QKeySequence(Qt::CTRL | Qt::Key_O);
}

void TqmFileFieldEditor::LoadValue() {
  ShowName();
}

void TqmFileFieldEditor::ShowName() {
  box_->setText(FromSafeText(field_.Value()));
  box_->setCursorPosition(0);
  open_->setEnabled(!field_.Value().empty());
}

int TqmFileFieldEditor::BoxRight() const {
  return open_->geometry().left() - 1;
}

void TqmFileFieldEditor::LayoutControls() {
  // The box is narrower by the panel's height: the Open button sits there.
  const int browse = PlaceRightButton(button_, 1);
  PlaceRightButton(open_, width_ - browse + 1);
  TqmNormalTextFieldEditor::LayoutControls();
}

void TqmFileFieldEditor::Attach() {
  if (context_.session == nullptr) return;
  TqmFileRequest request;
  request.caption = Hint();
  request.filter = QStringLiteral("All files (*)");
  const QString chosen = ChooseFile(DialogParent(), request);
  if (chosen.isEmpty()) return;
  if (!field_.Value().empty() && !AskYesNo(DialogParent(), QString::fromLatin1(kMsgDeleteAttachment))) return;
  try {
    if (!field_.Value().empty()) context_.session->ReleaseFile(context_.index);
    context_.session->AttachFile(context_.index, ToUtf8(chosen));
  } catch (const std::exception& e) {
    ShowError(DialogParent(), FromMessage(e.what()));
  }
  ShowName();
  emit valueWritten();
}

void TqmFileFieldEditor::Open() {
  if (field_.Value().empty() || context_.global == nullptr) return;
  fields::OpenAttachedFile(DialogParent(), *context_.global, field_.Value());
}

// --- Currency ---------------------------------------------------------------------------------------------

void TqmCurrencyFieldEditor::CreateControls() {
  TqmCustomNumericButtonFieldEditor::CreateControls();
  // The plain box stays hidden: the number box takes its place (and its name).
  box_->hide();
  box_->setObjectName(ControlName(context_.index, "Plain"));
  currency_ = new QDoubleSpinBox(panel_);
  currency_->setObjectName(ControlName(context_.index, "Value"));
  currency_->setAccessibleName(FromSafeText(field_.Name()));
  currency_->setLocale(QLocale());
  currency_->setDecimals(2);
  currency_->setRange(-kLimit, kLimit);
  currency_->setGroupSeparatorShown(false);
  currency_->setButtonSymbols(QAbstractSpinBox::NoButtons);
  currency_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  currency_->setKeyboardTracking(true);
  caption_->setBuddy(currency_);
  AddKey(currency_, QKeySequence(Qt::CTRL | Qt::Key_Return), [this] { ButtonAction(); });
  connect(currency_, &QDoubleSpinBox::valueChanged, this, [this](double value) {
    if (Loading()) return;
    WriteValue(FixedTwoText(value, fields::DecimalSeparator()));
  });
}

void TqmCurrencyFieldEditor::LoadValue() {
  TqmCustomNumericButtonFieldEditor::LoadValue();
  currency_->setValue(ReadNumber(field_.Value(), fields::DecimalSeparator()));
}

void TqmCurrencyFieldEditor::LayoutControls() {
  TqmCustomNumericButtonFieldEditor::LayoutControls();
  currency_->setGeometry(box_->geometry());
}

double TqmCurrencyFieldEditor::ShownNumber() const {
  return currency_->value();
}

void TqmCurrencyFieldEditor::TakeResult(double result) {
  if (!(result >= -kLimit && result <= kLimit)) {
    ShowWarning(DialogParent(),
                QStringLiteral("The amount %1 is too large for this field.")
                    .arg(QString::fromStdString(NumberText(result, fields::DecimalSeparator()))));
    return;
  }
  currency_->setValue(result);
  // The same amount as before still counts as the person's choice: it is written.
  WriteValue(FixedTwoText(currency_->value(), fields::DecimalSeparator()));
}

// --- Date -----------------------------------------------------------------------------------------------

void TqmDateFieldEditor::CreateControls() {
  TqmCustomFieldEditor::CreateControls();
  box_ = new QDateEdit(panel_);
  box_->setObjectName(ControlName(context_.index, "Value"));
  box_->setAccessibleName(FromSafeText(field_.Name()));
  box_->setLocale(QLocale());
  box_->setDisplayFormat(fields::ShortDateFormat());
  box_->setDateRange(fields::DateOfDay(kFirstReadableDay), fields::DateOfDay(kLastReadableDay));
  box_->setCalendarPopup(false);
  box_->setButtonSymbols(QAbstractSpinBox::UpDownArrows);
  caption_->setBuddy(box_);
  button_ = MakeButton("IDB_CALENDAR", QStringLiteral("Open Calender"), "Button", [this] { ButtonAction(); });
  AddKey(box_, QKeySequence(Qt::ALT | Qt::Key_Down), [this] { ButtonAction(); });
  connect(box_, &QDateEdit::dateChanged, this, [this](const QDate& date) {
    if (Loading() || !date.isValid()) return;
    WriteValue(DateDayText(fields::DayOfDate(date)));
  });
}

void TqmDateFieldEditor::LoadValue() {
  int day = ReadDateDay(field_.Value());
  if (day == 0) {
    // No date yet (or none that can be read): today, written at once.
    day = TodayDay();
    field_.SetValue(DateDayText(day));
  }
  box_->setDate(fields::DateOfDay(day));
}

void TqmDateFieldEditor::LayoutControls() {
  TqmCustomFieldEditor::LayoutControls();
  const int buttonLeft = PlaceRightButton(button_, 1);
  const int row = RowHeightOfPanel();
  const int boxHeight = std::min(row, std::max(row - 2, box_->sizeHint().height()));
  const int left = captionWidth_ + 3;
  box_->setGeometry(left, (row - boxHeight) / 2, std::max(0, buttonLeft - 1 - left), boxHeight);
}

void TqmDateFieldEditor::ButtonAction() {
  TqmCalendarPopup::Open(box_);
}

// --- Yes/No ---------------------------------------------------------------------------------------------

void TqmYesNoFieldEditor::CreateControls() {
  TqmCustomFieldEditor::CreateControls();
  box_ = new QCheckBox(panel_);
  box_->setObjectName(ControlName(context_.index, "Value"));
  box_->setAccessibleName(FromSafeText(field_.Name()));
  caption_->setBuddy(box_);
  connect(box_, &QCheckBox::clicked, this, [this](bool checked) { WriteValue(YesNoText(checked)); });
}

void TqmYesNoFieldEditor::LoadValue() {
  box_->setChecked(ReadYesNo(field_.Value()));
}

void TqmYesNoFieldEditor::LayoutControls() {
  TqmCustomFieldEditor::LayoutControls();
  box_->setGeometry(captionWidth_ + 3, 3, 30, std::max(0, RowHeightOfPanel() - 6));
}

// --- Reminder -------------------------------------------------------------------------------------------

void TqmReminderFieldEditor::CreateControls() {
  TqmCustomFieldEditor::CreateControls();
  box_ = new QCheckBox(panel_);
  box_->setObjectName(ControlName(context_.index, "Value"));
  box_->setAccessibleName(FromSafeText(field_.Name()));
  caption_->setBuddy(box_);
  // The mark shows whether a reminder is set; only the reminder window changes that.
  connect(box_, &QCheckBox::clicked, this, [this] { box_->setChecked(!field_.Value().empty()); });
  button_ =
      MakeButton("IDB_REMINDER", QStringLiteral("Create Reminder"), "Button", [this] { ButtonAction(); });
  button_->setEnabled(RepositorySeams().reminderWindowsAvailable() && context_.session != nullptr);
  AddKey(box_, QKeySequence(Qt::CTRL | Qt::Key_Return), [this] {
    if (button_->isEnabled()) ButtonAction();
  });
}

void TqmReminderFieldEditor::LoadValue() {
  box_->setChecked(!field_.Value().empty());
}

void TqmReminderFieldEditor::LayoutControls() {
  TqmCustomFieldEditor::LayoutControls();
  const int row = RowHeightOfPanel();
  box_->setGeometry(captionWidth_ + 3, 3, 30, std::max(0, row - 6));
  const int size = std::max(0, row - 2);
  button_->setGeometry(captionWidth_ + 3 + 30, 1, size, size);
  button_->setIconSize(QSize(std::max(8, size - 8), std::max(8, size - 8)));
}

void TqmReminderFieldEditor::ButtonAction() {
  if (context_.session == nullptr || context_.global == nullptr) return;
  try {
    fields::EditFieldReminder(DialogParent(), *context_.global, *context_.session, context_.index);
  } catch (const std::exception& e) {
    ShowError(DialogParent(), FromMessage(e.what()));
  }
  box_->setChecked(!field_.Value().empty());
  emit valueWritten();
}

// --- Memo -----------------------------------------------------------------------------------------------

void TqmTextFieldMemoFieldEditor::CreateControls() {
  TqmCustomFieldEditor::CreateControls();
  caption_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  auto* box = new TqmSafePlainTextEdit(panel_);
  box_ = box;
  box_->setObjectName(ControlName(context_.index, "Value"));
  box_->setAccessibleName(FromSafeText(field_.Name()));
  box_->setLineWrapMode(QPlainTextEdit::NoWrap);
  box_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  box_->setTabChangesFocus(true);
  caption_->setBuddy(box_);
  height_ = 102 + (fields::RowHeight(owner_) - 24);
  panel_->resize(width_, height_);
  connect(box, &TqmSafePlainTextEdit::refused, this,
          [this](const QString& message) { Refuse(box_, message); });
  connect(box_, &QPlainTextEdit::textChanged, this, [this] {
    if (Loading()) return;
    QString text = box_->toPlainText();
    if (!bareLineFeeds_) text.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    std::string value;
    if (ToSafeText(text, value)) WriteValue(value);
  });
}

void TqmTextFieldMemoFieldEditor::LoadValue() {
  const std::string& value = field_.Value();
  bareLineFeeds_ = value.find('\n') != std::string::npos && value.find("\r\n") == std::string::npos;
  box_->setPlainText(FromSafeText(value));
}

void TqmTextFieldMemoFieldEditor::LayoutControls() {
  const int captionHeight = caption_->sizeHint().height() + 2;
  caption_->setGeometry(0, 0, width_, captionHeight);
  box_->setGeometry(0, captionHeight, width_, std::max(0, height_ - captionHeight));
}

// --- A type this program does not know ------------------------------------------------------------------

void TqmReadOnlyFieldEditor::LoadValue() {
  box_->setText(FromSafeText(field_.Value()));
  box_->setCursorPosition(0);
  box_->setReadOnly(true);
  box_->setToolTip(QStringLiteral("This field's type (%1) is not known to this version of the program: "
                                  "its value is kept as it is.")
                       .arg(field_.FieldType()));
}

}  // namespace quillmar
