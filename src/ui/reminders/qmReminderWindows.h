#pragma once
// What the rest of the desktop asks of the reminder windows: the editor of one reminder and the list
// of all reminders of the open Safe. The entry editor's "Reminder (Yes/No)" fields and the repository
// tab call these; the reminder windows' module defines them.
//
// Until the reminder windows are built, ReminderWindowsAvailable() is false and the callers keep
// their reminder buttons and commands disabled; the functions below must then not be called.
#include <functional>
#include <string>

class QWidget;

namespace quillmar {

class TqmReminderEvent;

// How the editor closed.
enum class TqmReminderButton { Ok, Delete, Cancel };

// Where the editor puts what the person decided. The entry editor passes its edit session's calls
// (TqmEntryEditSession::SaveReminder and DeleteReminder), so that its Cancel can undo them; the list
// passes DirectReminderStorage(), which stores in the open Safe at once.
struct TqmReminderStorage {
  // OK: stores the reminder (one without id gets a new id, written into it) and returns its id.
  // Throws what the core throws (the editor shows it and stays open).
  std::function<std::string(TqmReminderEvent& reminder)> save;
  // Delete: deletes the reminder `id` (its job and pop-up go too).
  std::function<void(const std::string& id)> remove;
};

bool ReminderWindowsAvailable();

// Opens the editor (modal over parent) on the reminder `id` (Safe text; "" for a new one). id holds
// the id afterwards: the new id after OK on a new reminder, "" after Delete, unchanged after Cancel.
// The caller runs TqmGlobal::ScheduleReminders afterwards, whatever the button.
// REQUIRES: ReminderWindowsAvailable(); a Safe is open.
TqmReminderButton EditReminder(QWidget* parent, std::string& id, const TqmReminderStorage& storage);

// Stores and deletes through the open Safe at once (the list's double-click).
TqmReminderStorage DirectReminderStorage();

// The list of every reminder of the open Safe (modal over parent). REQUIRES: ReminderWindowsAvailable().
void ShowReminderList(QWidget* parent);

}  // namespace quillmar
