#include "shell/qmScreenLockWatcher.h"

#include <QDBusInterface>
#include <QDBusObjectPath>
#include <QDBusReply>

namespace quillmar {

TqmScreenLockWatcher::TqmScreenLockWatcher(QObject* parent) : QObject(parent) {}

void TqmScreenLockWatcher::Watch(const QDBusConnection& session, const QDBusConnection& system) {
  if (session.isConnected()) {
    QDBusConnection bus = session;
    // Any sender and path on the session bus: it is this user's session.
    for (const char* iface : {"org.freedesktop.ScreenSaver", "org.gnome.ScreenSaver"})
      if (bus.connect(QString(), QString(), QString::fromLatin1(iface), QStringLiteral("ActiveChanged"), this,
                      SLOT(OnActiveChanged(bool))))
        watching_ = true;
  }
  if (system.isConnected()) {
    const QByteArray id = qgetenv("XDG_SESSION_ID");
    if (!id.isEmpty()) {
      QDBusInterface manager(QStringLiteral("org.freedesktop.login1"),
                             QStringLiteral("/org/freedesktop/login1"),
                             QStringLiteral("org.freedesktop.login1.Manager"), system);
      manager.setTimeout(500);
      QDBusReply<QDBusObjectPath> path =
          manager.call(QStringLiteral("GetSession"), QString::fromLocal8Bit(id));
      QDBusConnection bus = system;
      if (path.isValid() && bus.connect(QStringLiteral("org.freedesktop.login1"), path.value().path(),
                                        QStringLiteral("org.freedesktop.login1.Session"),
                                        QStringLiteral("Lock"), this, SLOT(OnLock())))
        watching_ = true;
    }
  }
}

void TqmScreenLockWatcher::OnActiveChanged(bool active) {
  if (active) emit screenLocked();
}

void TqmScreenLockWatcher::OnLock() {
  emit screenLocked();
}

}  // namespace quillmar
