#include "repository/fields/qmCustomFieldViewer.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QTimer>
#include <QToolButton>
#include <ctime>

#include "core/qmTotp.h"
#include "model/qmField.h"
#include "model/qmFieldValues.h"
#include "widgets/qmGlyphs.h"
#include "widgets/qmHotLabel.h"
#include "widgets/qmSecretClipboard.h"
#include "widgets/qmText.h"

namespace quillmar {

using fields::ControlName;

namespace {

int64_t (*codeClock)() = nullptr;

int64_t Now() {
  return codeClock ? codeClock() : static_cast<int64_t>(std::time(nullptr));
}

// A box shows at most this much of a value (a stored value may be a megabyte of one line); Copy
// takes the whole value.
constexpr qsizetype kShownCharacters = 4096;

QString Shown(const QString& text) {
  return text.size() > kShownCharacters ? text.left(kShownCharacters) + QStringLiteral("\u2026") : text;
}

}  // namespace

// --- TqmCustomFieldViewer --------------------------------------------------------------------------------

TqmCustomFieldViewer::TqmCustomFieldViewer(QWidget* owner, TqmField& field, const TqmFieldContext& context)
    : QObject(owner), owner_(owner), field_(field), context_(context) {}

TqmCustomFieldViewer::~TqmCustomFieldViewer() = default;

void TqmCustomFieldViewer::Init() {
  if (owner_ == nullptr) return;  // no window to live in: the viewer stays empty
  CreateControls();
  LoadValue();
  InstallMenu();
}

void TqmCustomFieldViewer::CreateControls() {
  panel_ = fields::MakePanel(owner_, context_.index, owner_->width() - 30,
                             FromSafeText(field_.Name()) + QStringLiteral(": "), &caption_);
  left_ = panel_->x();
  top_ = panel_->y();
  width_ = panel_->width();
  height_ = panel_->height();
}

void TqmCustomFieldViewer::InstallMenu() {
  menu_ = new QMenu(panel_);
  menu_->setObjectName(ControlName(context_.index, "Menu"));
  QAction* copy = menu_->addAction(QStringLiteral("Copy"));
  copy->setObjectName(QStringLiteral("copy"));
  connect(copy, &QAction::triggered, this, &TqmCustomFieldViewer::CopyValue);
  QList<QWidget*> targets = panel_->findChildren<QWidget*>(Qt::FindChildrenRecursively);
  targets.prepend(panel_);
  for (QWidget* w : targets) {
    if (w == menu_ || menu_->isAncestorOf(w)) continue;
    w->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(w, &QWidget::customContextMenuRequested, this,
            [this, w](const QPoint& at) { menu_->popup(w->mapToGlobal(at)); });
  }
}

void TqmCustomFieldViewer::LayoutControls() {
  caption_->setGeometry(0, 0, captionWidth_ > 0 ? captionWidth_ : caption_->sizeHint().width(), height_);
}

void TqmCustomFieldViewer::SetLeft(int v) {
  if (v == left_ || panel_ == nullptr) return;
  left_ = v;
  panel_->move(left_, top_);
}

void TqmCustomFieldViewer::SetTop(int v) {
  if (v == top_ || panel_ == nullptr) return;
  top_ = v;
  panel_->move(left_, top_);
}

void TqmCustomFieldViewer::SetWidth(int v) {
  if (v == width_ || panel_ == nullptr) return;
  width_ = v;
  panel_->resize(width_, height_);
  LayoutControls();
}

void TqmCustomFieldViewer::SetHeight(int v) {
  if (v == height_ || panel_ == nullptr) return;
  height_ = v;
  panel_->resize(width_, height_);
  LayoutControls();
}

void TqmCustomFieldViewer::SetCaptionWidth(int width) {
  if (panel_ == nullptr) return;
  captionWidth_ = width;
  LayoutControls();
}

void TqmCustomFieldViewer::Invalidate() {
  if (panel_) panel_->update();
}

QString TqmCustomFieldViewer::CopyText() const {
  return FromSafeText(field_.Value());
}

void TqmCustomFieldViewer::CopyValue() {
  QString text = CopyText();
  TqmSecretClipboard::Instance().Copy(text);
  WipeQString(text);
}

QToolButton* TqmCustomFieldViewer::MakeButton(const char* glyph, const QString& hint, const char* suffix,
                                              std::function<void()> act) {
  auto* button = new QToolButton(panel_);
  button->setObjectName(ControlName(context_.index, suffix));
  button->setIcon(ButtonGlyph(QString::fromLatin1(glyph)));
  button->setToolTip(hint);
  button->setAccessibleName(hint);
  button->setFocusPolicy(Qt::TabFocus);
  connect(button, &QToolButton::clicked, this, [act = std::move(act)] { act(); });
  return button;
}

void TqmCustomFieldViewer::PlaceButton(QToolButton* button, int left) {
  const int size = ButtonSize();
  button->setGeometry(left, 1, size, size);
  button->setIconSize(QSize(std::max(8, size - 8), std::max(8, size - 8)));
}

QWidget* TqmCustomFieldViewer::DialogParent() const {
  return panel_ ? panel_->window() : nullptr;
}

void TqmCustomFieldViewer::EntrySaved() {
  if (!context_.entrySaved) return;
  QTimer::singleShot(0, owner_, context_.entrySaved);
}

// --- TqmNormalTextFieldViewer ----------------------------------------------------------------------------

TqmNormalTextFieldViewer::TqmNormalTextFieldViewer(QWidget* owner, TqmField& field,
                                                   const TqmFieldContext& context)
    : TqmCustomFieldViewer(owner, field, context) {}

TqmNormalTextFieldViewer::~TqmNormalTextFieldViewer() {
  if (!code_.isEmpty()) WipeQString(code_);
}

void TqmNormalTextFieldViewer::SetCodeClock(int64_t (*clock)()) {
  codeClock = clock;
}

void TqmNormalTextFieldViewer::CreateControls() {
  TqmCustomFieldViewer::CreateControls();
  box_ = new QLineEdit(panel_);
  box_->setObjectName(ControlName(context_.index, "Value"));
  box_->setReadOnly(true);
  box_->setAccessibleName(FromSafeText(field_.Name()));
  caption_->setBuddy(box_);
}

QString TqmNormalTextFieldViewer::ShownText() const {
  return Shown(FromSafeText(field_.Value()));
}

void TqmNormalTextFieldViewer::LoadValue() {
  const std::string& value = field_.Value();
  if (field_.FieldType() == ftNormalText && IsTotpUri(value)) {
    std::string problem;
    if (std::optional<TqmTotp> totp = ParseTotpUri(value, &problem)) {
      totp_ = std::make_unique<TqmTotp>(std::move(*totp));
      copy_ = MakeButton("IDB_COPY", QStringLiteral("Copy Code"), "Copy", [this] { CopyValue(); });
      QString who = FromSafeText(totp_->issuer);
      const QString label = FromSafeText(totp_->label);
      if (!label.isEmpty())
        who = who.isEmpty() ? label : who + QStringLiteral(" (") + label + QStringLiteral(")");
      box_->setToolTip(
          QStringLiteral("One-time code%1").arg(who.isEmpty() ? QString() : QStringLiteral(" of ") + who));
      timer_ = new QTimer(this);
      timer_->setInterval(1000);
      connect(timer_, &QTimer::timeout, this, [this] { ShowCode(Now()); });
      timer_->start();
      ShowCode(Now());
      return;
    }
    box_->setToolTip(
        QStringLiteral("This one-time code address cannot be used: %1").arg(FromMessage(problem)));
  }
  box_->setText(ShownText());
  box_->setCursorPosition(0);
}

void TqmNormalTextFieldViewer::ShowCode(int64_t unixTime) {
  if (!totp_) return;
  QString code = QString::fromStdString(TotpCode(*totp_, unixTime));
  const int left = TotpSecondsLeft(*totp_, unixTime);
  // Digits in two groups, as authenticator apps show them.
  const QString grouped = code.left(code.size() / 2) + QLatin1Char(' ') + code.mid(code.size() / 2);
  box_->setText(QStringLiteral("%1   (%2 s)").arg(grouped).arg(left));
  WipeQString(code_);
  code_ = code;
}

QString TqmNormalTextFieldViewer::CopyText() const {
  if (totp_) return code_;
  return TqmCustomFieldViewer::CopyText();
}

void TqmNormalTextFieldViewer::LayoutControls() {
  TqmCustomFieldViewer::LayoutControls();
  const int boxHeight = std::min(height_, std::max(height_ - 2, box_->sizeHint().height()));
  const int left = captionWidth_ + 3;
  int right = BoxRight();
  if (copy_) {
    right -= ButtonSize() + 2;
    PlaceButton(copy_, right + 1);
  }
  box_->setGeometry(left, (height_ - boxHeight) / 2, std::max(0, right - left), boxHeight);
}

// --- TqmCustomNormalTextButtonFieldViewer ---------------------------------------------------------------

void TqmCustomNormalTextButtonFieldViewer::CreateControls() {
  TqmNormalTextFieldViewer::CreateControls();
  button_ = MakeButton(Glyph(), Hint(), "Button", [this] { ButtonAction(); });
}

int TqmCustomNormalTextButtonFieldViewer::ButtonsWidth() const {
  return button_->isHidden() ? 2 : ButtonSize() + 2;
}

void TqmCustomNormalTextButtonFieldViewer::LayoutControls() {
  TqmCustomFieldViewer::LayoutControls();
  const int boxHeight = std::min(height_, std::max(height_ - 2, box_->sizeHint().height()));
  const int left = captionWidth_ + 3;
  const int right = BoxRight() - ButtonsWidth();
  box_->setGeometry(left, (height_ - boxHeight) / 2, std::max(0, right - left), boxHeight);
  // The buttons follow the box, left to right.
  int x = right + 1;
  for (QToolButton* b : panel_->findChildren<QToolButton*>(Qt::FindDirectChildrenOnly)) {
    if (b->isHidden()) continue;
    PlaceButton(b, x);
    x += ButtonSize() + 2;
  }
}

// --- TqmCustomNumericFieldViewer -------------------------------------------------------------------------

void TqmCustomNumericFieldViewer::CreateControls() {
  TqmNormalTextFieldViewer::CreateControls();
  box_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
}

double TqmCustomNumericFieldViewer::Number() const {
  return ReadNumber(field_.Value(), fields::DecimalSeparator());
}

// --- TqmLinkFieldViewer ----------------------------------------------------------------------------------

void TqmLinkFieldViewer::CreateControls() {
  TqmCustomFieldViewer::CreateControls();
  link_ = new TqmHotLabel(QString(), panel_);
  link_->setObjectName(ControlName(context_.index, "Value"));
  link_->setCursor(Qt::PointingHandCursor);
  link_->setTextFormat(Qt::PlainText);
  link_->setAccessibleName(FromSafeText(field_.Name()));
  caption_->setBuddy(link_);
  connect(link_, &TqmHotLabel::clicked, this, [this] { ButtonAction(); });
}

void TqmLinkFieldViewer::LoadValue() {
  const QString text = Shown(FromSafeText(field_.Value()));
  link_->setText(text);
  link_->setToolTip(text.left(512));
  link_->setFocusPolicy(field_.Value().empty() ? Qt::NoFocus : Qt::StrongFocus);
}

void TqmLinkFieldViewer::LayoutControls() {
  TqmCustomFieldViewer::LayoutControls();
  const int left = captionWidth_ + 3;
  link_->setGeometry(left, 0, std::max(0, LinkRight() - left), height_);
}

// --- TqmLinkButtonFieldViewer ----------------------------------------------------------------------------

void TqmLinkButtonFieldViewer::CreateControls() {
  TqmLinkFieldViewer::CreateControls();
  button_ = MakeButton(Glyph(), Hint(), "Button", [this] { ButtonAction(); });
}

int TqmLinkButtonFieldViewer::LinkRight() const {
  return button_->geometry().left() - 2;
}

void TqmLinkButtonFieldViewer::LayoutControls() {
  PlaceButton(button_, width_ - 2 - ButtonSize());
  TqmLinkFieldViewer::LayoutControls();
}

}  // namespace quillmar
