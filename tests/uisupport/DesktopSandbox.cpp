#include "uisupport/DesktopSandbox.h"

#include <QDir>
#include <QFile>

namespace quillmar::test {

TDesktopSandbox::TDesktopSandbox(const QString& folder) : folder_(folder.isEmpty() ? temp_.path() : folder) {
  const QString run = folder_ + QStringLiteral("/run");
  QDir().mkpath(run);
  // The runtime folder must be private, or Qt refuses it.
  QFile::setPermissions(run, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  Set("XDG_RUNTIME_DIR", QFile::encodeName(run));
  Set("XDG_CONFIG_HOME", QFile::encodeName(folder_ + QStringLiteral("/config")));
  Set("DBUS_SESSION_BUS_ADDRESS", "disabled:");
}

TDesktopSandbox::~TDesktopSandbox() {
  for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
    if (it->second.first)
      qputenv(it->first.constData(), it->second.second);
    else
      qunsetenv(it->first.constData());
  }
}

void TDesktopSandbox::Set(const char* name, const QByteArray& value) {
  saved_.push_back({QByteArray(name), {qEnvironmentVariableIsSet(name), qgetenv(name)}});
  qputenv(name, value);
}

}  // namespace quillmar::test
