// The widget tests' main: one application object (the program's own, with its general error box)
// for all tests, offscreen, with the desktop's folders of this process's own (several test programs
// run side by side under ctest -j).
#include <gtest/gtest.h>

#include "shell/qmApplication.h"
#include "uisupport/DesktopSandbox.h"

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  quillmar::test::TDesktopSandbox sandbox;
  quillmar::TqmApplication app(argc, argv);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
