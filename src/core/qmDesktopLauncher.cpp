#include "core/qmDesktopLauncher.h"

#include "platform/DesktopLauncher.h"

namespace quillmar {

void TqmDesktopLauncher::LaunchReminderApp(const std::string& file, const std::string& params) {
  if (file.empty()) return;
  // The outcome is not checked: a reminder that cannot start its program still counts as fired.
  (void)OpenProgramOrDocument(file, params);
}

}  // namespace quillmar
