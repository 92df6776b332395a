#pragma once
// TfrmReminder: the modal editor of one reminder ("Reminder"). It shows the reminder's values
// (core/qmReminderForm.h), lets the person change them and closes with OK (stores through the
// storage given), Delete (deletes the reminder at once) or Cancel (changes nothing).
//
// The groups under the properties group ("Reminder" or "Recurrence", "Send Email", "Launch
// Application") are shown as the check boxes and the type say, stacked 5 pixels apart; the window's
// height follows. A check list is enabled only under its "Only Selected"; its context menu (right
// click or the menu key) offers "Select All" and "Unselect All".
//
// Test Email sends from the current values off the window thread (the window takes no input
// meanwhile) and says whether it arrived at the server or, if not, why (the server's reply).
#include <QDateTime>
#include <QDialog>
#include <string>

#include "base/DateTime.h"
#include "model/qmReminderEvent.h"
#include "reminders/qmReminderWindows.h"

class QCheckBox;
class QDateEdit;
class QGroupBox;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QTimeEdit;

namespace quillmar {

class TqmGlobal;
class TqmBusyGate;
struct TqmReminderForm;

// Date-time numbers and Qt's date-times (local time). An invalid value gives the current time.
QDateTime ToQDateTime(TDateTime value);
TDateTime FromQDateTime(const QDateTime& value);

class TfrmReminder : public QDialog {
  Q_OBJECT
public:
  // id: the reminder to edit ("" for a new one). REQUIRES: a Safe is open.
  TfrmReminder(TqmGlobal& g, TqmBusyGate* gate, const std::string& id, TqmReminderStorage storage,
               QWidget* parent);
  ~TfrmReminder() override;

  // How the window closed, and the id afterwards.
  TqmReminderButton Button() const { return button_; }
  const std::string& Id() const { return id_; }

  void accept() override;
  void reject() override;

private:
  void Fill(const TqmReminderForm& form);
  // The controls' values; false (with a message shown) when a text cannot be held as Safe text.
  bool Gather(TqmReminderForm& form);
  void UpdateGroups();
  void Delete();
  void TestEmail();
  void BrowseApp();
  QListWidget* MakeCheckList(const char* name, const QStringList& items, int columns);
  QGroupBox* MakePatternGroup(const QString& title, const char* every, const char* selected,
                              QListWidget* list, QRadioButton*& rbEvery, QRadioButton*& rbSelected);

  TqmGlobal& g_;
  TqmBusyGate* gate_;
  TqmReminderStorage storage_;
  TqmReminderEvent reminder_;
  std::string id_;
  TqmReminderButton button_ = TqmReminderButton::Cancel;

  QLineEdit* remDescription_;
  QPlainTextEdit* remMessage_;
  QCheckBox* chkPopup_;
  QCheckBox* chkEmail_;
  QCheckBox* chkLaunch_;
  QRadioButton* rbReminder_;
  QRadioButton* rbRecurrence_;
  QGroupBox* grpReminder_;
  QDateEdit* reminderDate_;
  QTimeEdit* reminderTime_;
  QGroupBox* grpRecurrence_;
  QTimeEdit* recPtrnStart_;
  QRadioButton* rbDaysEvery_;
  QRadioButton* rbDaysSelected_;
  QListWidget* lstDays_;
  QRadioButton* rbMonthsEvery_;
  QRadioButton* rbMonthsSelected_;
  QListWidget* lstMonths_;
  QRadioButton* rbDaysOfWeekEvery_;
  QRadioButton* rbDaysOfWeekSelected_;
  QListWidget* lstDaysOfWeek_;
  QDateEdit* recRngStartDate_;
  QCheckBox* chkEndBy_;
  QDateEdit* recRngEndDate_;
  QGroupBox* grpEmail_;
  QLineEdit* emailAddress_;
  QLineEdit* emailHost_;
  QSpinBox* emailPort_;
  QLineEdit* emailUserName_;
  QLineEdit* emailPassword_;
  QLineEdit* emailFrom_;
  QPushButton* btnTestEmail_;
  QGroupBox* grpLaunch_;
  QLineEdit* appCmdLine_;
  QPushButton* btnAppCmdLine_;
  QLineEdit* appCmdLineParams_;
  QPushButton* btnCancel_;
  QPushButton* btnDelete_;
  QPushButton* btnOk_;
};

}  // namespace quillmar
