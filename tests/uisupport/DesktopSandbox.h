#pragma once
// TDesktopSandbox: keeps a test, screenshot or benchmark program away from the real user's desktop
// for its life. The desktop's folders (XDG_RUNTIME_DIR with its sockets, XDG_CONFIG_HOME with the
// autostart entry) point into a folder of the sandbox's own, and the session bus is cut off, so
// that nothing reaches the user's autostart folder or screen saver, and several such programs run
// side by side (ctest -j) without sharing a socket or a config folder. Made before the
// QApplication; the old environment comes back when it dies.
#include <QByteArray>
#include <QString>
#include <QTemporaryDir>
#include <utility>
#include <vector>

namespace quillmar::test {

class TDesktopSandbox {
public:
  // folder: where the desktop's folders go ("" for a fresh temporary folder, removed afterwards).
  explicit TDesktopSandbox(const QString& folder = QString());
  ~TDesktopSandbox();
  TDesktopSandbox(const TDesktopSandbox&) = delete;
  TDesktopSandbox& operator=(const TDesktopSandbox&) = delete;

  const QString& Folder() const { return folder_; }

private:
  void Set(const char* name, const QByteArray& value);

  QTemporaryDir temp_;
  QString folder_;
  std::vector<std::pair<QByteArray, std::pair<bool, QByteArray>>> saved_;
};

}  // namespace quillmar::test
