#include "widgets/qmCalendarPopup.h"

#include <QCalendarWidget>
#include <QDateEdit>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>
#include <QVBoxLayout>

namespace quillmar {

TqmCalendarPopup::TqmCalendarPopup(QDateEdit* box) : QFrame(box, Qt::Popup), box_(box) {
  setObjectName(QStringLiteral("calDatePopup"));
  setAttribute(Qt::WA_DeleteOnClose);
  setFrameShape(QFrame::StyledPanel);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(1, 1, 1, 1);
  calendar_ = new QCalendarWidget(this);
  calendar_->setObjectName(QStringLiteral("calDate"));
  calendar_->setGridVisible(false);
  calendar_->setVerticalHeaderFormat(QCalendarWidget::NoVerticalHeader);
  calendar_->setLocale(box->locale());
  calendar_->setFirstDayOfWeek(box->locale().firstDayOfWeek());
  calendar_->setDateRange(box->minimumDate(), box->maximumDate());
  calendar_->setSelectedDate(box->date());
  layout->addWidget(calendar_);
  connect(calendar_, &QCalendarWidget::clicked, this, [this](QDate) { Choose(); });
  connect(calendar_, &QCalendarWidget::activated, this, [this](QDate) { Choose(); });
}

TqmCalendarPopup* TqmCalendarPopup::Open(QDateEdit* box) {
  auto* popup = new TqmCalendarPopup(box);
  popup->adjustSize();
  QPoint at = box->mapToGlobal(QPoint(0, box->height()));
  if (const QScreen* screen = box->screen()) {
    const QRect area = screen->availableGeometry();
    if (at.y() + popup->height() > area.bottom())
      at.setY(box->mapToGlobal(QPoint(0, 0)).y() - popup->height());
    at.setX(std::max(area.left(), std::min(at.x(), area.right() - popup->width())));
  }
  popup->move(at);
  popup->show();
  popup->calendar_->setFocus();
  return popup;
}

void TqmCalendarPopup::Choose() {
  if (box_) box_->setDate(calendar_->selectedDate());
  close();
}

void TqmCalendarPopup::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape) {
    close();
    return;
  }
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    Choose();
    return;
  }
  QFrame::keyPressEvent(event);
}

void TqmCalendarPopup::hideEvent(QHideEvent* event) {
  QFrame::hideEvent(event);
  if (box_) box_->setFocus();
  emit closed();
}

}  // namespace quillmar
