// The reminder windows are not built yet: their callers keep the reminder buttons and the list's
// command disabled. This file is replaced by the windows' own module.
#include "reminders/qmReminderWindows.h"

#include <stdexcept>

namespace quillmar {

bool ReminderWindowsAvailable() {
  return false;
}

TqmReminderButton EditReminder(QWidget*, std::string&, const TqmReminderStorage&) {
  throw std::logic_error("EditReminder called while the reminder windows are not available");
}

TqmReminderStorage DirectReminderStorage() {
  return {};
}

void ShowReminderList(QWidget*) {
  throw std::logic_error("ShowReminderList called while the reminder windows are not available");
}

}  // namespace quillmar
