#include "reminders/qmReminderNotice.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QDateTime>
#include <QLocale>
#include <QSystemTrayIcon>
#include <QVariantMap>

#include "core/qmReminderSchedule.h"
#include "model/qmReminderEvent.h"
#include "reminders/frmReminder.h"
#include "shell/qmMessages.h"
#include "widgets/qmText.h"

namespace quillmar {

namespace {

constexpr char kService[] = "org.freedesktop.Notifications";
constexpr char kPath[] = "/org/freedesktop/Notifications";

// The notification service of the session, when one runs.
bool NotificationServiceRuns() {
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected() || !bus.interface()) return false;
  return bus.interface()->isServiceRegistered(QString::fromLatin1(kService)).value();
}

}  // namespace

TqmReminderNotice ReminderNotice(const TqmReminderEvent& reminder) {
  TqmReminderNotice notice;
  notice.title = FromSafeText(TqmReminderSchedule::PopupTitle(reminder.id()));
  // The time as the pop-up's date-and-time line shows it (nothing for a start that is no date-time).
  const QDateTime start = ToQDateTime(reminder.start());
  const QString when = start.isValid() ? QLocale().toString(start, QLocale::ShortFormat) : QString();
  const QString name = FromSafeText(reminder.name());
  notice.text = name.isEmpty() ? QStringLiteral("A reminder came due.") : name;
  if (!when.isEmpty()) notice.text += QStringLiteral(" (%1)").arg(when);
  return notice;
}

TqmReminderNotice NotifyReminder(const TqmReminderEvent& reminder, QSystemTrayIcon* tray) {
  TqmReminderNotice notice = ReminderNotice(reminder);
  if (NotificationServiceRuns()) {
    QDBusInterface service(QString::fromLatin1(kService), QString::fromLatin1(kPath),
                           QString::fromLatin1(kService), QDBusConnection::sessionBus());
    QVariantMap hints;
    hints.insert(QStringLiteral("urgency"), QVariant::fromValue(static_cast<uchar>(1)));
    hints.insert(QStringLiteral("desktop-entry"), QStringLiteral("quillmar"));
    // Not waited for: the pop-up is there whatever the service answers.
    service.asyncCall(QStringLiteral("Notify"), ProductTitle(), 0u, QStringLiteral("appointment-soon"),
                      notice.title, notice.text, QStringList(), hints, -1);
    notice.way = TqmReminderNotice::TWay::Bus;
  } else if (tray && tray->isVisible()) {
    tray->showMessage(notice.title, notice.text, QSystemTrayIcon::Information);
    notice.way = TqmReminderNotice::TWay::Tray;
  }
  return notice;
}

}  // namespace quillmar
