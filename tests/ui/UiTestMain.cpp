// The widget tests' main: one application object (the program's own, with its general error box)
// for all tests, offscreen, with the desktop's folders in a temporary place.
#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>
#include <cstdlib>

#include "shell/qmApplication.h"

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  // No test reaches the real user's desktop folders (autostart, runtime folder) or session bus.
  QTemporaryDir desktop;
  QDir(desktop.path()).mkpath(QStringLiteral("run"));
  QFile::setPermissions(desktop.path() + QStringLiteral("/run"),
                        QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  qputenv("XDG_RUNTIME_DIR", QFile::encodeName(desktop.path() + QStringLiteral("/run")));
  qputenv("XDG_CONFIG_HOME", QFile::encodeName(desktop.path() + QStringLiteral("/config")));
  qputenv("DBUS_SESSION_BUS_ADDRESS", "disabled:");
  quillmar::TqmApplication app(argc, argv);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
