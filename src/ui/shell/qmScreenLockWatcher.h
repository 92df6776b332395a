#pragma once
// TqmScreenLockWatcher: tells when the desktop locks the screen. It listens on the session bus for
// the screen saver's ActiveChanged(true) (org.freedesktop.ScreenSaver, and org.gnome.ScreenSaver as
// GNOME names it) and on the system bus for logind's Lock signal of this session. A bus that is not
// there is skipped: without one the watcher simply never reports.
#include <QDBusConnection>
#include <QObject>

namespace quillmar {

class TqmScreenLockWatcher : public QObject {
  Q_OBJECT
public:
  explicit TqmScreenLockWatcher(QObject* parent = nullptr);

  // Starts listening on the given buses (the program gives the session and the system bus).
  void Watch(const QDBusConnection& session, const QDBusConnection& system);
  // Whether at least one bus is listened to.
  bool Watching() const { return watching_; }

signals:
  void screenLocked();

private slots:
  void OnActiveChanged(bool active);
  void OnLock();

private:
  bool watching_ = false;
};

}  // namespace quillmar
