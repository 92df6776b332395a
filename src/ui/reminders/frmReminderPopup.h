#pragma once
// TfrmReminderPopup: the window of a reminder that came due ("Reminder [id]"). A stay-on-top tool
// window without parent, so that it shows while the main window is in the tray; hiding it never
// ends the program. It shows the reminder's date-time line and message and offers Snooze (with the
// 13 snooze times, "5 minutes" first) and Dismiss. Enter snoozes; Escape and the close button hide
// it (it stays alive and the next firing shows it again).
//
// TqmQtReminderPopup is the desktop's side of the schedule's pop-up action: it finds the window by
// its title among the top-level widgets (hidden ones too) or makes one at (10, 10), gives the
// desktop a notice of it (qmReminderNotice.h), and closes it (queued) when the reminder is dismissed.
#include <QWidget>
#include <string>

#include "core/qmReminderActions.h"
#include "reminders/qmReminderNotice.h"

class QComboBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace quillmar {

class TqmGlobal;

class TfrmReminderPopup : public QWidget {
  Q_OBJECT
public:
  TfrmReminderPopup(TqmGlobal& g, const TqmReminderEvent& reminder);

  const std::string& ReminderId() const { return id_; }
  // Takes the reminder's current text (a second firing of the same reminder).
  void SetReminder(const TqmReminderEvent& reminder);
  // Closes and frees the window (Dismiss).
  void CloseForGood();

  // The snooze entries: (text, unit, amount) as TqmReminderSchedule::SnoozeReminder takes them.
  struct TSnoozeTime {
    const char* text;
    int unit;
    int amount;
  };
  static const TSnoozeTime kSnoozeTimes[13];

protected:
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

private:
  void Snooze();
  void Dismiss();

  TqmGlobal& g_;
  std::string id_;
  bool closing_ = false;
  QLabel* lblDateTime_;
  QPlainTextEdit* txtMessage_;
  QComboBox* cmbSnooze_;
  QPushButton* btnDismiss_;
  QPushButton* btnSnooze_;
};

class TqmQtReminderPopup : public TqmReminderPopup {
public:
  explicit TqmQtReminderPopup(TqmGlobal& g) : g_(g) {}
  void ShowReminderPopup(const TqmReminderEvent& reminder) override;
  void CloseReminderPopup(const std::string& id) override;

  // The pop-up of reminder id (shown or hidden), or null.
  static TfrmReminderPopup* Find(const std::string& id);
  // The desktop notice of the last pop-up shown, and how it went.
  const TqmReminderNotice& LastNotice() const { return lastNotice_; }

private:
  TqmGlobal& g_;
  TqmReminderNotice lastNotice_;
};

}  // namespace quillmar
