#pragma once
// TqmCalendarPopup: the calendar that drops down under a date box (the Date field's button and
// Alt+Down). Clicking a day or pressing Enter puts that day into the box and closes the calendar;
// Escape or a click elsewhere closes it and leaves the box as it was. The box keeps its spin
// buttons all the while.
// objectNames: the pop-up "calDatePopup", its calendar "calDate".
#include <QFrame>
#include <QPointer>

class QCalendarWidget;
class QDateEdit;

namespace quillmar {

class TqmCalendarPopup : public QFrame {
  Q_OBJECT
public:
  // Opens the calendar under box, on the box's date, within its range; returns it (it deletes itself
  // when it closes).
  static TqmCalendarPopup* Open(QDateEdit* box);

  QCalendarWidget* Calendar() const { return calendar_; }
  // Puts the calendar's selected day into the box and closes, as Enter does.
  void Choose();

signals:
  void closed();

protected:
  void keyPressEvent(QKeyEvent* event) override;
  void hideEvent(QHideEvent* event) override;

private:
  explicit TqmCalendarPopup(QDateEdit* box);

  QPointer<QDateEdit> box_;
  QCalendarWidget* calendar_;
};

}  // namespace quillmar
