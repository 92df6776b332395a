// The screenshots of the reminder windows: the editor of a new reminder and of a recurring one with
// every group shown, the list of three reminders and the pop-up of one that came due. Every date and
// time is fixed, none is taken from the clock.
#include <QCheckBox>
#include <QDateEdit>
#include <QDateTime>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QSpinBox>
#include <QTimeEdit>
#include <memory>
#include <stdexcept>
#include <string>

#include "base/DateTime.h"
#include "core/qmGlobal.h"
#include "model/qmReminderEvent.h"
#include "reminders/frmReminder.h"
#include "reminders/frmReminderPopup.h"
#include "reminders/frmReminders.h"
#include "screenshots/ScreenshotScene.h"
#include "screenshots/Screenshots.h"
#include "shell/frmQuillmar.h"
#include "uisupport/Child.h"

namespace quillmar {
namespace {

using test::Child;
using TScene = TqmScreenshotScene;

// The editor of a new reminder (nothing is stored: the row closes it with Cancel's path).
std::unique_ptr<TfrmReminder> NewReminderEditor(TScene& scene) {
  TfrmQuillmar& w = scene.MainWindow();
  auto editor =
      std::make_unique<TfrmReminder>(scene.Global(), &w.Gate(), std::string(), DirectReminderStorage(), &w);
  // The new reminder's date and times come from the clock: fixed ones instead.
  Child<QDateEdit>(editor.get(), "ReminderDate")->setDate(QDate(2031, 3, 14));
  Child<QTimeEdit>(editor.get(), "ReminderTime")->setTime(QTime(9, 30, 0));
  Child<QTimeEdit>(editor.get(), "recPtrnStart")->setTime(QTime(7, 45, 0));
  Child<QDateEdit>(editor.get(), "recRngStartDate")->setDate(QDate(2031, 3, 1));
  Child<QDateEdit>(editor.get(), "recRngEndDate")->setDate(QDate(2031, 12, 31));
  return editor;
}

QPixmap Shown(QWidget* window) {
  window->show();
  TScene::Settle(60);
  QPixmap shot = TScene::Grab(window);
  window->hide();
  return shot;
}

// Three reminders in the demo Safe: its own one-off "Back up your Safe", a monthly one that also
// mails and a weekly one until an end date that also starts a program (stored once, with fixed ids).
void StoreThreeReminders(TqmGlobal& g) {
  if (g.ReminderCount() >= 3) return;
  TqmReminderEvent rent;
  rent.SetId("1000002");
  rent.SetName("Pay the rent");
  rent.SetMessage("Transfer the rent to the landlord's account.");
  rent.SetType(TqmReminderEvent::kTypeRecurring);
  rent.SetAction(TqmReminderEvent::kActionPopup | TqmReminderEvent::kActionMail);
  rent.SetStart(EncodeDateTime({2031, 3, 1, 8, 0, 0, 0}));
  rent.SetStop(0);
  rent.SetDays("1");
  rent.SetMonths("*");
  rent.SetDaysofweek("*");
  rent.SetEmRecipient("marta@example.org");
  rent.SetEmHost("smtp.example.org");
  rent.SetEmPort(587);
  g.SaveReminder(rent);
  TqmReminderEvent backup;
  backup.SetId("1000003");
  backup.SetName("Weekly backup");
  backup.SetMessage("Back up the Safe to the USB disk.");
  backup.SetType(TqmReminderEvent::kTypeRecurring);
  backup.SetAction(TqmReminderEvent::kActionPopup | TqmReminderEvent::kActionLaunch);
  backup.SetStart(EncodeDateTime({2031, 3, 2, 18, 0, 0, 0}));
  backup.SetStop(EncodeDate(2031, 12, 28));
  backup.SetUseenddate(true);
  backup.SetDays("*");
  backup.SetMonths("*");
  backup.SetDaysofweek("7");
  backup.SetRun("/usr/bin/deja-dup");
  backup.SetRunparams("--backup");
  g.SaveReminder(backup);
}

const TqmScreenshotRows kReminderRows(
    "reminders",
    {
        {"reminder_editor_new.png",
         [](TScene& scene) {
           auto editor = NewReminderEditor(scene);
           return Shown(editor.get());
         }},
        {"reminder_editor_recurring.png",
         [](TScene& scene) {
           auto editor = NewReminderEditor(scene);
           QWidget* d = editor.get();
           Child<QLineEdit>(d, "remDescription")->setText(QStringLiteral("Pay the rent"));
           Child<QPlainTextEdit>(d, "remMessage")
               ->setPlainText(QStringLiteral("Transfer the rent to the landlord's account."));
           Child<QCheckBox>(d, "chkEmail")->setChecked(true);
           Child<QCheckBox>(d, "chkLaunch")->setChecked(true);
           Child<QRadioButton>(d, "rbRecurrence")->setChecked(true);
           Child<QRadioButton>(d, "rbDaysSelected")->setChecked(true);
           Child<QListWidget>(d, "lstDays")->item(0)->setCheckState(Qt::Checked);
           Child<QListWidget>(d, "lstDays")->item(14)->setCheckState(Qt::Checked);
           Child<QCheckBox>(d, "chkEndBy")->setChecked(true);
           Child<QLineEdit>(d, "emailAddress")->setText(QStringLiteral("marta@example.org"));
           Child<QLineEdit>(d, "emailHost")->setText(QStringLiteral("smtp.example.org"));
           Child<QSpinBox>(d, "emailPort")->setValue(587);
           Child<QLineEdit>(d, "emailUserName")->setText(QStringLiteral("marta@example.org"));
           Child<QLineEdit>(d, "emailPassword")->setText(QStringLiteral("mail-password"));
           Child<QLineEdit>(d, "appCmdLine")->setText(QStringLiteral("/usr/bin/gnome-calculator"));
           return Shown(d);
         }},
        {"reminder_list.png",
         [](TScene& scene) {
           TfrmQuillmar& w = scene.MainWindow();
           StoreThreeReminders(scene.Global());
           TfrmReminders list(scene.Global(), &w.Gate(), &w);
           list.Reload();
           return Shown(&list);
         }},
        {"reminder_popup.png",
         [](TScene& scene) {
           scene.MainWindow();
           TqmReminderEvent r;
           r.SetId("12");
           r.SetName("Dentist");
           r.SetMessage("Check-up at Dr. Holm's, bring the insurance card.");
           r.SetStart(EncodeDateTime({2031, 3, 14, 9, 30, 0, 0}));
           // A window of its own, freed by CloseForGood.
           auto* popup = new TfrmReminderPopup(scene.Global(), r);
           popup->move(10, 10);
           QPixmap shot = Shown(popup);
           popup->CloseForGood();
           return shot;
         }},
    });

}  // namespace
}  // namespace quillmar
