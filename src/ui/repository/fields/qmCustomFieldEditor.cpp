#include "repository/fields/qmCustomFieldEditor.h"

#include <QFrame>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QShortcut>
#include <QToolButton>

#include "base/Exception.h"
#include "model/qmField.h"
#include "model/qmFieldValues.h"
#include "widgets/frmCalculator.h"
#include "widgets/qmGlyphs.h"
#include "widgets/qmSafeTextValidator.h"
#include "widgets/qmText.h"

namespace quillmar {

using fields::ControlName;

// --- TqmCustomFieldEditor ------------------------------------------------------------------------------

TqmCustomFieldEditor::TqmCustomFieldEditor(QWidget* owner, TqmField& field, const TqmFieldContext& context)
    : QObject(owner), owner_(owner), field_(field), context_(context) {
  if (owner == nullptr) throw EQuillmarError(kMsgOwnerNotWindowed);
}

TqmCustomFieldEditor::~TqmCustomFieldEditor() = default;

void TqmCustomFieldEditor::Init() {
  CreateControls();
  loading_ = true;
  try {
    LoadValue();
  } catch (...) {
    loading_ = false;
    throw;
  }
  loading_ = false;
  LayoutControls();
}

void TqmCustomFieldEditor::CreateControls() {
  panel_ = fields::MakePanel(owner_, context_.index, owner_->width() - 35, CaptionText(), &caption_);
  left_ = panel_->x();
  top_ = panel_->y();
  width_ = panel_->width();
  height_ = panel_->height();
}

QString TqmCustomFieldEditor::CaptionText() const {
  return (field_.IsRequired() ? QStringLiteral("*") : QString()) + FromSafeText(field_.Name()) +
         QStringLiteral(": ");
}

void TqmCustomFieldEditor::LayoutControls() {
  caption_->setGeometry(0, 0, captionWidth_ > 0 ? captionWidth_ : caption_->sizeHint().width(), height_);
}

int TqmCustomFieldEditor::RowHeightOfPanel() const {
  return height_;
}

void TqmCustomFieldEditor::SetLeft(int v) {
  if (v == left_) return;
  left_ = v;
  panel_->move(left_, top_);
}

void TqmCustomFieldEditor::SetTop(int v) {
  if (v == top_) return;
  top_ = v;
  panel_->move(left_, top_);
}

void TqmCustomFieldEditor::SetWidth(int v) {
  if (v == width_) return;
  width_ = v;
  panel_->resize(width_, height_);
  LayoutControls();
}

void TqmCustomFieldEditor::SetHeight(int v) {
  if (v == height_) return;
  height_ = v;
  panel_->resize(width_, height_);
  LayoutControls();
}

void TqmCustomFieldEditor::SetCaptionWidth(int width) {
  captionWidth_ = width;
  LayoutControls();
}

void TqmCustomFieldEditor::Invalidate() {
  panel_->update();
}

QWidget* TqmCustomFieldEditor::FocusControl() const {
  for (QWidget* w : panel_->findChildren<QWidget*>()) {
    if (w->focusPolicy() & Qt::TabFocus && w->isEnabled() && !w->isHidden()) return w;
  }
  return nullptr;
}

QWidget* TqmCustomFieldEditor::DialogParent() const {
  return panel_ ? panel_->window() : owner_->window();
}

void TqmCustomFieldEditor::WriteValue(const std::string& value) {
  if (loading_) return;
  field_.SetValue(value);
  emit valueWritten();
}

void TqmCustomFieldEditor::Refuse(QWidget* box, const QString& message) {
  lastRefusal_ = message;
  ShowMessageBeside(box, message);
}

QToolButton* TqmCustomFieldEditor::MakeButton(const char* glyph, const QString& hint, const char* suffix,
                                              std::function<void()> act) {
  auto* button = new QToolButton(panel_);
  button->setObjectName(ControlName(context_.index, suffix));
  button->setIcon(ButtonGlyph(QString::fromLatin1(glyph)));
  button->setToolTip(hint);
  button->setAccessibleName(hint);
  button->setAutoRaise(false);
  button->setFocusPolicy(Qt::NoFocus);
  connect(button, &QToolButton::clicked, this, [act = std::move(act)] { act(); });
  return button;
}

void TqmCustomFieldEditor::AddKey(QWidget* target, const QKeySequence& keys, std::function<void()> act) {
  auto* shortcut = new QShortcut(keys, target, nullptr, nullptr, Qt::WidgetWithChildrenShortcut);
  connect(shortcut, &QShortcut::activated, this, [act = std::move(act)] { act(); });
}

int TqmCustomFieldEditor::PlaceRightButton(QToolButton* button, int right) {
  const int size = std::max(0, RowHeightOfPanel() - 2);
  const int left = width_ - size - right;
  button->setGeometry(left, 1, size, size);
  button->setIconSize(QSize(std::max(8, size - 8), std::max(8, size - 8)));
  return left;
}

// --- TqmNormalTextFieldEditor --------------------------------------------------------------------------

void TqmNormalTextFieldEditor::CreateControls() {
  TqmCustomFieldEditor::CreateControls();
  box_ = new QLineEdit(panel_);
  box_->setObjectName(ControlName(context_.index, "Value"));
  box_->setAccessibleName(FromSafeText(field_.Name()));
  caption_->setBuddy(box_);
  connect(box_, &QLineEdit::textChanged, this, [this] {
    if (!Loading()) WriteBox();
  });
}

void TqmNormalTextFieldEditor::LoadValue() {
  box_->setText(FromSafeText(field_.Value()));
  box_->setCursorPosition(0);
  GuardBox();
}

void TqmNormalTextFieldEditor::GuardBox() {
  auto* guard = new TqmSafeTextValidator(box_);
  connect(guard, &TqmSafeTextValidator::refused, this,
          [this](const QString& message) { Refuse(box_, message); });
}

void TqmNormalTextFieldEditor::WriteBox() {
  std::string value;
  // The guard refuses what the code page cannot hold, so this only fails for a box whose loaded text
  // showed undefined bytes; then the stored value stays.
  if (!ToSafeText(box_->text(), value)) return;
  WriteValue(value);
}

int TqmNormalTextFieldEditor::BoxRight() const {
  return width_ - 3;
}

void TqmNormalTextFieldEditor::LayoutControls() {
  TqmCustomFieldEditor::LayoutControls();
  const int row = RowHeightOfPanel();
  const int boxHeight = std::min(row, std::max(row - 2, box_->sizeHint().height()));
  const int left = captionWidth_ + 3;
  box_->setGeometry(left, (row - boxHeight) / 2, std::max(0, BoxRight() - left), boxHeight);
}

// --- TqmCustomNormalTextButtonFieldEditor --------------------------------------------------------------

void TqmCustomNormalTextButtonFieldEditor::CreateControls() {
  TqmNormalTextFieldEditor::CreateControls();
  button_ = MakeButton(Glyph(), Hint(), "Button", [this] { ButtonAction(); });
  AddKey(box_, ButtonKey(), [this] {
    if (button_->isEnabled()) ButtonAction();
  });
}

QKeySequence TqmCustomNormalTextButtonFieldEditor::ButtonKey() const {
  return QKeySequence(Qt::CTRL | Qt::Key_Return);
}

void TqmCustomNormalTextButtonFieldEditor::LayoutControls() {
  PlaceRightButton(button_, 1);
  TqmNormalTextFieldEditor::LayoutControls();
}

int TqmCustomNormalTextButtonFieldEditor::BoxRight() const {
  return button_->geometry().left() - 1;
}

// --- TqmCustomNumericFieldEditor -----------------------------------------------------------------------

void TqmCustomNumericFieldEditor::LoadValue() {
  box_->setText(FromSafeText(NormalizeSeparators(field_.Value(), fields::DecimalSeparator())));
  box_->setCursorPosition(0);
  GuardBox();
}

void TqmCustomNumericFieldEditor::GuardBox() {
  new TqmNumberKeyValidator(box_, QChar::fromLatin1(fields::DecimalSeparator()));
}

// --- TqmCustomNumericButtonFieldEditor -----------------------------------------------------------------

void TqmCustomNumericButtonFieldEditor::CreateControls() {
  TqmCustomNumericFieldEditor::CreateControls();
  button_ = MakeButton(Glyph(), QStringLiteral("Open Calculator"), "Button", [this] { ButtonAction(); });
  AddKey(box_, QKeySequence(Qt::CTRL | Qt::Key_Return), [this] { ButtonAction(); });
}

void TqmCustomNumericButtonFieldEditor::LayoutControls() {
  PlaceRightButton(button_, 1);
  TqmCustomNumericFieldEditor::LayoutControls();
}

int TqmCustomNumericButtonFieldEditor::BoxRight() const {
  return button_->geometry().left() - 1;
}

double TqmCustomNumericButtonFieldEditor::ShownNumber() const {
  return ReadNumber(box_->text().toLatin1().toStdString(), fields::DecimalSeparator());
}

void TqmCustomNumericButtonFieldEditor::TakeResult(double result) {
  const std::string text = NumberText(result, fields::DecimalSeparator());
  box_->setText(QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())));
}

void TqmCustomNumericButtonFieldEditor::ButtonAction() {
  TfrmCalculator calculator(ShownNumber(), DialogParent());
  if (calculator.exec() != QDialog::Accepted) return;
  TakeResult(calculator.Result());
}

}  // namespace quillmar
