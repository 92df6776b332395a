// The widget tests' main: one application object (the program's own, with its general error box)
// for all tests, offscreen, with the desktop's folders of this process's own (several test programs
// run side by side under ctest -j).
#include <gtest/gtest.h>
#include <unistd.h>

#include "autofill/qmWebEngine.h"
#include "shell/qmApplication.h"
#include "uisupport/DesktopSandbox.h"

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  // Run as root (CI), the web engine's Chromium needs its sandbox off.
  if (geteuid() == 0) qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
  quillmar::test::TDesktopSandbox sandbox;
  quillmar::PrepareWebEngine();
  quillmar::TqmApplication app(argc, argv);
  testing::InitGoogleTest(&argc, argv);
  const int result = RUN_ALL_TESTS();
  quillmar::ShutdownWebEngine();
  return result;
}
