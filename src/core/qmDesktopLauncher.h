#pragma once
// TqmDesktopLauncher: the reminder action "start a program" on this desktop. An executable file is
// started with the reminder's parameters; any other file or address is opened with the program the
// desktop associates with it (xdg-open). See platform/DesktopLauncher.h.
#include "core/qmReminderActions.h"

namespace quillmar {

class TqmDesktopLauncher : public TqmReminderLauncher {
public:
  void LaunchReminderApp(const std::string& file, const std::string& params) override;
};

}  // namespace quillmar
