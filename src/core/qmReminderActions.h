#pragma once
// The actions a reminder can take when it comes due, as the layers that can carry them out give
// them: the pop-up window comes from the UI, the start of a program or document from the platform
// layer. (The e-mail is TMailTransport of core/SmtpMail.h.)
#include <string>

namespace quillmar {

class TqmReminderEvent;

class TqmReminderPopup {
public:
  virtual ~TqmReminderPopup() = default;
  // Shows the pop-up titled "Reminder [id]": the existing window of that title (also a hidden one)
  // is shown and brought to the foreground, otherwise a new one is made with the reminder's start
  // as date-and-time line and its message, 10 pixels from the screen's top left corner.
  virtual void ShowReminderPopup(const TqmReminderEvent& reminder) = 0;
  // Closes the pop-up of reminder id if there is one (shown or hidden), letting pending window
  // events run.
  virtual void CloseReminderPopup(const std::string& id) = 0;
};

class TqmReminderLauncher {
public:
  virtual ~TqmReminderLauncher() = default;
  // Asks the desktop to open file (a program or a document) with params, in a normal window, with
  // no working folder given. The result is not checked; it must not throw.
  virtual void LaunchReminderApp(const std::string& file, const std::string& params) = 0;
};

}  // namespace quillmar
