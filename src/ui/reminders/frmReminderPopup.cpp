#include "reminders/frmReminderPopup.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QMetaObject>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QVBoxLayout>

#include "core/qmGlobal.h"
#include "core/qmReminderSchedule.h"
#include "model/qmReminderEvent.h"
#include "reminders/frmReminder.h"
#include "shell/frmQuillmar.h"
#include "widgets/qmText.h"

namespace quillmar {

namespace {

QString DateTimeLine(TDateTime value) {
  return QLocale().toString(ToQDateTime(value), QLocale::ShortFormat);
}

QString MessageText(const std::string& text) {
  QString s = FromSafeText(text);
  s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  return s;
}

}  // namespace

const TfrmReminderPopup::TSnoozeTime TfrmReminderPopup::kSnoozeTimes[13] = {
    {"5 minutes", TqmReminderSchedule::kSnoozeMinutes, 5},
    {"10 minutes", TqmReminderSchedule::kSnoozeMinutes, 10},
    {"15 minutes", TqmReminderSchedule::kSnoozeMinutes, 15},
    {"30 minutes", TqmReminderSchedule::kSnoozeMinutes, 30},
    {"1 hour", TqmReminderSchedule::kSnoozeHours, 1},
    {"2 hours", TqmReminderSchedule::kSnoozeHours, 2},
    {"4 hours", TqmReminderSchedule::kSnoozeHours, 4},
    {"8 hours", TqmReminderSchedule::kSnoozeHours, 8},
    {"1 day", TqmReminderSchedule::kSnoozeDays, 1},
    {"2 days", TqmReminderSchedule::kSnoozeDays, 2},
    {"3 days", TqmReminderSchedule::kSnoozeDays, 3},
    {"4 days", TqmReminderSchedule::kSnoozeDays, 4},
    {"1 week", TqmReminderSchedule::kSnoozeWeek, 7}};

TfrmReminderPopup::TfrmReminderPopup(TqmGlobal& g, const TqmReminderEvent& reminder)
    : QWidget(nullptr, Qt::Tool | Qt::WindowStaysOnTopHint), g_(g) {
  setObjectName(QStringLiteral("TfrmReminderPopup"));
  // Hiding or closing it must never end the program (the main window may be in the tray).
  setAttribute(Qt::WA_QuitOnClose, false);
  auto* layout = new QVBoxLayout(this);
  lblDateTime_ = new QLabel(this);
  lblDateTime_->setObjectName(QStringLiteral("lblDateTime"));
  QFont bold = lblDateTime_->font();
  bold.setBold(true);
  lblDateTime_->setFont(bold);
  txtMessage_ = new QPlainTextEdit(this);
  txtMessage_->setObjectName(QStringLiteral("txtMessage"));
  txtMessage_->setReadOnly(true);
  txtMessage_->setTabChangesFocus(true);
  txtMessage_->setMinimumSize(300, 90);
  auto* lblSnooze = new QLabel(QStringLiteral("Click Snooze to be reminded again"), this);
  cmbSnooze_ = new QComboBox(this);
  cmbSnooze_->setObjectName(QStringLiteral("cmbSnooze"));
  for (const TSnoozeTime& t : kSnoozeTimes) cmbSnooze_->addItem(QString::fromLatin1(t.text));
  cmbSnooze_->setCurrentIndex(0);
  lblSnooze->setBuddy(cmbSnooze_);
  btnDismiss_ = new QPushButton(QStringLiteral("&Dismiss"), this);
  btnDismiss_->setObjectName(QStringLiteral("btnDismiss"));
  btnSnooze_ = new QPushButton(QStringLiteral("&Snooze"), this);
  btnSnooze_->setObjectName(QStringLiteral("btnSnooze"));
  layout->addWidget(lblDateTime_);
  layout->addWidget(txtMessage_);
  layout->addWidget(lblSnooze);
  auto* row = new QHBoxLayout;
  row->addWidget(cmbSnooze_, 1);
  row->addWidget(btnDismiss_);
  row->addWidget(btnSnooze_);
  layout->addLayout(row);
  connect(btnSnooze_, &QPushButton::clicked, this, &TfrmReminderPopup::Snooze);
  connect(btnDismiss_, &QPushButton::clicked, this, &TfrmReminderPopup::Dismiss);
  SetReminder(reminder);
  cmbSnooze_->setFocus();
}

void TfrmReminderPopup::SetReminder(const TqmReminderEvent& reminder) {
  id_ = reminder.id();
  setWindowTitle(FromSafeText(TqmReminderSchedule::PopupTitle(reminder.id())));
  lblDateTime_->setText(DateTimeLine(reminder.start()));
  txtMessage_->setPlainText(MessageText(reminder.message()));
}

void TfrmReminderPopup::CloseForGood() {
  closing_ = true;
  setProperty("closing", true);  // Find passes it by from now on
  close();
  deleteLater();
}

void TfrmReminderPopup::closeEvent(QCloseEvent* event) {
  if (closing_) {
    event->accept();
    return;
  }
  // The close button hides: the window stays alive for the next firing.
  event->ignore();
  hide();
}

void TfrmReminderPopup::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    // Enter on the Dismiss button dismisses; anywhere else it snoozes.
    if (focusWidget() == btnDismiss_)
      Dismiss();
    else
      Snooze();
    return;
  }
  if (event->key() == Qt::Key_Escape) {
    hide();
    return;
  }
  QWidget::keyPressEvent(event);
}

void TfrmReminderPopup::Snooze() {
  const int index = cmbSnooze_->currentIndex();
  if (index >= 0 && index < static_cast<int>(std::size(kSnoozeTimes)))
    g_.SnoozeReminder(id_, kSnoozeTimes[index].unit, kSnoozeTimes[index].amount);
  hide();
}

void TfrmReminderPopup::Dismiss() {
  QPointer<TfrmReminderPopup> self(this);
  // The schedule closes the window (CloseReminderPopup, queued); without a schedule it closes itself.
  g_.DismissReminder(id_);
  if (self && !self->property("closing").toBool()) CloseForGood();
}

TfrmReminderPopup* TqmQtReminderPopup::Find(const std::string& id) {
  const QString title = FromSafeText(TqmReminderSchedule::PopupTitle(id));
  for (QWidget* w : QApplication::topLevelWidgets()) {
    auto* popup = qobject_cast<TfrmReminderPopup*>(w);
    if (popup && popup->windowTitle() == title && !popup->property("closing").toBool()) return popup;
  }
  return nullptr;
}

void TqmQtReminderPopup::ShowReminderPopup(const TqmReminderEvent& reminder) {
  TfrmReminderPopup* popup = Find(reminder.id());
  if (popup) {
    popup->SetReminder(reminder);
  } else {
    popup = new TfrmReminderPopup(g_, reminder);
    popup->adjustSize();
    popup->move(10, 10);
  }
  popup->showNormal();
  popup->raise();
  popup->activateWindow();
  // The program's tray icon, when it has one, for desktops without a notification service.
  QSystemTrayIcon* tray = nullptr;
  for (QWidget* w : QApplication::topLevelWidgets())
    if (auto* main = qobject_cast<TfrmQuillmar*>(w); main && main->TrayIcon()) tray = main->TrayIcon();
  lastNotice_ = NotifyReminder(reminder, tray);
}

void TqmQtReminderPopup::CloseReminderPopup(const std::string& id) {
  TfrmReminderPopup* popup = Find(id);
  if (!popup) return;
  // Marked at once, so that a firing before the queued close makes a new window; closed after the
  // caller has returned (the button's handler may be on the stack).
  popup->setProperty("closing", true);
  QPointer<TfrmReminderPopup> target(popup);
  QMetaObject::invokeMethod(
      popup,
      [target] {
        if (target) target->CloseForGood();
      },
      Qt::QueuedConnection);
}

}  // namespace quillmar
