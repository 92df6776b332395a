#pragma once
// TfrmReminders: the modal list of every reminder of the open Safe ("Current reminder(s) /
// recurring event(s)"): ID, Reminder, Pop, E-Mail, App, Due (the schedule's next due time, "..."
// when it has none), Start, End. The rows are loaded when the window opens (the list holds what it
// loaded; nothing reads the Safe while it paints). Double-click or Enter edits the row's reminder,
// then the schedule is rebuilt and the row reloaded, or dropped when the reminder was deleted.
#include <QDialog>
#include <string>

class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace quillmar {

class TqmGlobal;
class TqmBusyGate;
class TqmReminderEvent;

class TfrmReminders : public QDialog {
  Q_OBJECT
public:
  // REQUIRES: a Safe is open.
  TfrmReminders(TqmGlobal& g, TqmBusyGate* gate, QWidget* parent);

  // Reads every reminder of the Safe into the rows.
  void Reload();
  // Edits the reminder of the row (as a double-click does).
  void EditRow(QTreeWidgetItem* item);

private:
  // Fills the row from the Safe; false when the reminder is gone.
  bool LoadRow(QTreeWidgetItem* item, const std::string& id);
  void ShowRow(QTreeWidgetItem* item, const TqmReminderEvent& reminder);

  TqmGlobal& g_;
  TqmBusyGate* gate_;
  QTreeWidget* lvReminders_;
  QPushButton* btnClose_;
};

}  // namespace quillmar
