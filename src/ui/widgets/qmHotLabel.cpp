#include "widgets/qmHotLabel.h"

#include <QAction>
#include <QEnterEvent>
#include <QKeyEvent>
#include <QMouseEvent>

namespace quillmar {

TqmHotLabel::TqmHotLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {
  setCursor(Qt::PointingHandCursor);
  setFocusPolicy(Qt::StrongFocus);
  setTextFormat(Qt::PlainText);
  UpdateLook();
}

void TqmHotLabel::SetAction(QAction* action) {
  if (action_) disconnect(action_, nullptr, this, nullptr);
  action_ = action;
  if (!action) return;
  if (toolTip().isEmpty()) setToolTip(action->toolTip() != action->text() ? action->toolTip() : QString());
  setEnabled(action->isEnabled());
  connect(action, &QAction::changed, this, [this] {
    if (action_) setEnabled(action_->isEnabled());
  });
}

void TqmHotLabel::Run() {
  if (!isEnabled()) return;
  emit clicked();
  if (action_ && action_->isEnabled()) action_->trigger();
}

void TqmHotLabel::enterEvent(QEnterEvent* event) {
  hovered_ = true;
  UpdateLook();
  QLabel::enterEvent(event);
}

void TqmHotLabel::leaveEvent(QEvent* event) {
  hovered_ = false;
  UpdateLook();
  QLabel::leaveEvent(event);
}

void TqmHotLabel::focusInEvent(QFocusEvent* event) {
  UpdateLook();
  QLabel::focusInEvent(event);
}

void TqmHotLabel::focusOutEvent(QFocusEvent* event) {
  UpdateLook();
  QLabel::focusOutEvent(event);
}

void TqmHotLabel::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
    event->accept();
    Run();
    return;
  }
  QLabel::mouseReleaseEvent(event);
}

void TqmHotLabel::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter || event->key() == Qt::Key_Space) {
    event->accept();
    Run();
    return;
  }
  QLabel::keyPressEvent(event);
}

void TqmHotLabel::changeEvent(QEvent* event) {
  if (event->type() == QEvent::EnabledChange) UpdateLook();
  QLabel::changeEvent(event);
}

// Room for the bold font, so that the layout does not move when the label turns hot.
QSize TqmHotLabel::sizeHint() const {
  QFont bold = font();
  bold.setBold(true);
  QSize size = QLabel::sizeHint();
  const int width = QFontMetrics(bold).horizontalAdvance(text()) + 2 * margin() + 2;
  return QSize(std::max(size.width(), width), size.height());
}

QSize TqmHotLabel::minimumSizeHint() const {
  return sizeHint();
}

void TqmHotLabel::UpdateLook() {
  hot_ = isEnabled() && (hovered_ || hasFocus());
  QFont f = font();
  f.setBold(hot_);
  f.setUnderline(hot_);
  setFont(f);
  QPalette p = palette();
  p.setColor(QPalette::WindowText, !isEnabled() ? QPalette().color(QPalette::Disabled, QPalette::WindowText)
                                   : hot_       ? QColor(0x1a, 0x4f, 0xd8)
                                                : QColor(0x24, 0x3b, 0x6b));
  setPalette(p);
}

}  // namespace quillmar
