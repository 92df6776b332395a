#pragma once
// TqmReminderStore: what the reminder schedule needs of the open Safe. The application core
// implements it over the Safe layer; tests use an in-memory one.
#include <string>

namespace quillmar {

class TqmReminderEvent;

class TqmReminderStore {
public:
  virtual ~TqmReminderStore() = default;
  // The name of the open Safe; empty while no Safe is open.
  virtual std::string OpenSafeName() = 0;
  // The number of stored reminders and the index-th of them in listing order (its id is set from
  // the file name). REQUIRES: a Safe is open, 0 <= index < ReminderCount().
  virtual int ReminderCount() = 0;
  virtual void LoadReminderAt(int index, TqmReminderEvent& reminder) = 0;
  // Reads the reminder id into reminder; false (and reminder untouched) when there is none.
  virtual bool LoadReminder(const std::string& id, TqmReminderEvent& reminder) = 0;
  // Writes the reminder, replacing its stored record (a reminder without id gets a new one).
  virtual void SaveReminder(TqmReminderEvent& reminder) = 0;
};

}  // namespace quillmar
