#include "widgets/qmScreenPlacement.h"

#include <QDialog>
#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QStyle>
#include <QWidget>

namespace quillmar {

namespace {

// Set while a shown window waits for its first activation (its second placement).
constexpr char kPlacePending[] = "qmPlacePending";

QRect AvailableArea(QWidget* window) {
  QScreen* screen = nullptr;
  if (QWidget* parent = window->parentWidget(); parent != nullptr && parent->isVisible())
    screen = parent->window()->screen();
  if (screen == nullptr) screen = window->screen();
  if (screen == nullptr) screen = QGuiApplication::primaryScreen();
  return screen != nullptr ? screen->availableGeometry() : QRect();
}

// How far the frame reaches beyond the window on each side (left, top, right, bottom).
QMargins FrameMargins(QWidget* window) {
  const QRect frame = window->frameGeometry();
  const QRect inner = window->geometry();
  QMargins margins(inner.left() - frame.left(), inner.top() - frame.top(), frame.right() - inner.right(),
                   frame.bottom() - inner.bottom());
  const bool decorated = !(window->windowFlags() & Qt::FramelessWindowHint) &&
                         QGuiApplication::platformName() != QLatin1String("offscreen");
  if (decorated && margins.isNull()) {
    // Not drawn yet: a title bar and thin borders, as most desktops draw them.
    const int title = window->style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, window);
    margins = QMargins(2, std::max(title, 24) + 4, 2, 2);
  }
  return margins;
}

bool Placeable(QWidget* window) {
  if (!window->isWindow()) return false;
  switch (window->windowType()) {
    case Qt::Popup:
    case Qt::ToolTip:
    case Qt::SplashScreen:
    case Qt::Desktop:
    case Qt::SubWindow:
      return false;
    default:
      return true;
  }
}

}  // namespace

void KeepOnScreen(QWidget* window) {
  const QRect area = AvailableArea(window);
  if (area.isEmpty() || window->isMaximized() || window->isFullScreen()) return;
  const QMargins m = FrameMargins(window);
  // The largest window whose frame fits.
  const QSize most(area.width() - m.left() - m.right(), area.height() - m.top() - m.bottom());
  QSize size = window->size();
  if (size.width() > most.width() || size.height() > most.height()) {
    size = size.boundedTo(most).expandedTo(window->minimumSize());
    window->resize(size);
  }
  const QRect frame(window->geometry().topLeft() - QPoint(m.left(), m.top()), size.grownBy(m));
  QRect placed = frame;
  if (placed.right() > area.right()) placed.moveRight(area.right());
  if (placed.bottom() > area.bottom()) placed.moveBottom(area.bottom());
  if (placed.left() < area.left()) placed.moveLeft(area.left());
  if (placed.top() < area.top()) placed.moveTop(area.top());
  if (placed.topLeft() != frame.topLeft()) window->move(window->pos() + (placed.topLeft() - frame.topLeft()));
}

void CentreOnParent(QWidget* window) {
  QWidget* parent = window->parentWidget();
  if (parent == nullptr || !parent->isVisible()) return;
  const QRect over = parent->window()->frameGeometry();
  const QMargins m = FrameMargins(window);
  const QSize frame = window->size().grownBy(m);
  const QPoint wanted(over.center().x() - frame.width() / 2, over.center().y() - frame.height() / 2);
  const QPoint now = window->geometry().topLeft() - QPoint(m.left(), m.top());
  window->move(window->pos() + (wanted - now));
}

void CentreOnScreen(QWidget* window) {
  const QRect area = AvailableArea(window);
  if (area.isEmpty()) return;
  const QMargins m = FrameMargins(window);
  const QSize frame = window->size().grownBy(m);
  const QPoint wanted(area.center().x() - frame.width() / 2, area.center().y() - frame.height() / 2);
  const QPoint now = window->geometry().topLeft() - QPoint(m.left(), m.top());
  window->move(window->pos() + (wanted - now));
  KeepOnScreen(window);
}

bool TqmScreenPlacer::eventFilter(QObject* watched, QEvent* event) {
  const QEvent::Type type = event->type();
  if ((type == QEvent::Show || type == QEvent::WindowActivate) && watched->isWidgetType()) {
    auto* window = static_cast<QWidget*>(watched);
    if (Placeable(window)) {
      if (type == QEvent::Show) {
        window->setProperty(kPlacePending, true);
        // A dialog the code placed nowhere in particular opens over the window it belongs to: Qt's own
        // centring is undone under some window managers, which then put it in the screen's corner.
        if (qobject_cast<QDialog*>(window) != nullptr && !window->testAttribute(Qt::WA_Moved))
          CentreOnParent(window);
        KeepOnScreen(window);
      } else if (window->property(kPlacePending).toBool()) {
        window->setProperty(kPlacePending, false);
        KeepOnScreen(window);
      }
    }
  }
  return QObject::eventFilter(watched, event);
}

}  // namespace quillmar
