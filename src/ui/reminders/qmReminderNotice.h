#pragma once
// The desktop's notice that a reminder came due, beside its pop-up window: where a window cannot
// take the focus or the pop-up is behind other windows, the desktop still says it. Through the
// desktop's notification service (org.freedesktop.Notifications on the session bus) when it runs,
// else as the tray icon's message when the program has one, else not at all.
//
// The notice names the reminder's description and time only: its message, like everything else in
// the Safe, may be private, and a notification can show on a locked screen or stay in a history.
#include <QString>

class QSystemTrayIcon;

namespace quillmar {

class TqmReminderEvent;

struct TqmReminderNotice {
  enum class TWay { None, Bus, Tray };
  TWay way = TWay::None;
  QString title;
  QString text;
};

// The notice of reminder: title and text (way None).
TqmReminderNotice ReminderNotice(const TqmReminderEvent& reminder);
// Gives the notice to the desktop (tray: the program's tray icon, null when it has none) and returns
// it with the way it went.
TqmReminderNotice NotifyReminder(const TqmReminderEvent& reminder, QSystemTrayIcon* tray);

}  // namespace quillmar
