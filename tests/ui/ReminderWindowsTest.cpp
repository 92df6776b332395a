// The reminder windows on a real Safe: the editor (defaults, saving, refusals, Delete, damaged
// patterns, Test Email against a real SMTP server), the list, and the pop-up.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCheckBox>
#include <QCoreApplication>
#include <QDateEdit>
#include <QGroupBox>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QSpinBox>
#include <QTimeEdit>
#include <QTreeWidget>

#include "core/ReminderScheduler.h"
#include "core/qmReminderSchedule.h"
#include "model/qmReminderEvent.h"
#include "reminders/frmReminder.h"
#include "reminders/frmReminderPopup.h"
#include "reminders/frmReminders.h"
#include "reminders/qmReminderDesktop.h"
#include "reminders/qmReminderNotice.h"
#include "reminders/qmReminderWindows.h"
#include "support/SmtpServer.h"
#include "uisupport/Child.h"
#include "uisupport/UiTest.h"

namespace quillmar::test {
namespace {

class ReminderWindowsTest : public UiTest {
protected:
  void SetUp() override {
    UiTest::SetUp();
    MakeSafe("Alpha", "alpha-pass");
    StartAndLogin("Alpha", "alpha-pass");
  }
  std::string Stored(TqmReminderEvent r) {
    G().SaveReminder(r);
    return r.id();
  }
  std::string RecordText(const std::string& id) {
    TqmReminderEvent r;
    EXPECT_TRUE(G().LoadReminder(id, r));
    return r.GetText();
  }
};

TEST_F(ReminderWindowsTest, ANewReminderSavedAsRecurringReopensAsItWasSavedAndDeletes) {
  ASSERT_TRUE(ReminderWindowsAvailable());
  script_->On<TfrmReminder>([](TfrmReminder* d) {
    EXPECT_TRUE(Child<QCheckBox>(d, "chkPopup")->isChecked());
    EXPECT_FALSE(Child<QCheckBox>(d, "chkEmail")->isChecked());
    EXPECT_TRUE(Child<QRadioButton>(d, "rbReminder")->isChecked());
    EXPECT_EQ(Child<QLineEdit>(d, "remDescription")->text(), QStringLiteral("New Reminder"));
    EXPECT_EQ(Child<QPlainTextEdit>(d, "remMessage")->toPlainText(), QStringLiteral("Enter message here"));
    for (const char* every : {"rbDaysEvery", "rbMonthsEvery", "rbDaysOfWeekEvery"})
      EXPECT_TRUE(Child<QRadioButton>(d, every)->isChecked()) << every;
    EXPECT_FALSE(Child<QListWidget>(d, "lstDays")->isEnabled());
    EXPECT_FALSE(Child<QGroupBox>(d, "grpEmail")->isVisibleTo(d));
    EXPECT_FALSE(Child<QPushButton>(d, "btnDelete")->isEnabled());

    const int oneOffHeight = d->sizeHint().height();
    Child<QRadioButton>(d, "rbRecurrence")->setChecked(true);
    EXPECT_TRUE(Child<QGroupBox>(d, "grpRecurrence")->isVisibleTo(d));
    EXPECT_FALSE(Child<QGroupBox>(d, "grpReminder")->isVisibleTo(d));
    EXPECT_GT(d->sizeHint().height(), oneOffHeight);  // the window grows with the group
    Child<QTimeEdit>(d, "recPtrnStart")->setTime(QTime(7, 45, 30));
    Child<QDateEdit>(d, "recRngStartDate")->setDate(QDate(2030, 1, 2));
    Child<QRadioButton>(d, "rbDaysOfWeekSelected")->setChecked(true);
    EXPECT_TRUE(Child<QListWidget>(d, "lstDaysOfWeek")->isEnabled());
    Child<QListWidget>(d, "lstDaysOfWeek")->item(6)->setCheckState(Qt::Checked);  // Sunday
    Child<QRadioButton>(d, "rbMonthsSelected")->setChecked(true);                 // none checked
    EXPECT_FALSE(Child<QDateEdit>(d, "recRngEndDate")->isEnabled());
    Child<QCheckBox>(d, "chkEndBy")->setChecked(true);
    Child<QDateEdit>(d, "recRngEndDate")->setDate(QDate(2031, 5, 6));
    Child<QPushButton>(d, "btnOk")->click();
  });
  std::string id;
  EXPECT_EQ(EditReminder(&W(), id, DirectReminderStorage()), TqmReminderButton::Ok);
  ExpectScriptDone();
  ASSERT_FALSE(id.empty());
  TqmReminderEvent r;
  ASSERT_TRUE(G().LoadReminder(id, r));
  EXPECT_EQ(r.type(), TqmReminderEvent::kTypeRecurring);
  EXPECT_EQ(r.daysofweek(), "7");
  EXPECT_EQ(r.months(), "*");  // "Only Selected" with none checked reads back as "Every"
  EXPECT_NEAR(r.start(), EncodeDateTime({2030, 1, 2, 7, 45, 30, 0}), 1e-9);
  EXPECT_DOUBLE_EQ(r.stop(), EncodeDate(2031, 5, 6));  // a whole date
  EXPECT_TRUE(r.useenddate());

  script_->On<TfrmReminder>([](TfrmReminder* d) {
    EXPECT_TRUE(Child<QRadioButton>(d, "rbRecurrence")->isChecked());
    EXPECT_TRUE(Child<QRadioButton>(d, "rbMonthsEvery")->isChecked());
    EXPECT_EQ(Child<QListWidget>(d, "lstDaysOfWeek")->item(6)->checkState(), Qt::Checked);
    EXPECT_EQ(Child<QDateEdit>(d, "recRngEndDate")->date(), QDate(2031, 5, 6));
    EXPECT_EQ(Child<QTimeEdit>(d, "recPtrnStart")->time(), QTime(7, 45, 30));
    Child<QPushButton>(d, "btnDelete")->click();
  });
  const std::string before = id;
  EXPECT_EQ(EditReminder(&W(), id, DirectReminderStorage()), TqmReminderButton::Delete);
  ExpectScriptDone();
  EXPECT_EQ(id, "");
  EXPECT_FALSE(G().LoadReminder(before, r));
}

TEST_F(ReminderWindowsTest, ADamagedPatternOpensAndARefusedOkLeavesTheRecord) {
  TqmReminderEvent stored;
  stored.SetType(TqmReminderEvent::kTypeRecurring);
  stored.SetDays("1,x,40");
  const std::string id = Stored(stored);
  const std::string before = RecordText(id);

  script_
      ->On<TfrmReminder>([](TfrmReminder* d) {
        EXPECT_TRUE(Child<QRadioButton>(d, "rbDaysSelected")->isChecked());
        auto* days = Child<QListWidget>(d, "lstDays");
        for (int i = 0; i < days->count(); ++i)
          EXPECT_EQ(days->item(i)->checkState() == Qt::Checked, i == 0) << i;
        Child<QLineEdit>(d, "remDescription")->setText(QStringLiteral("Changed"));
        Child<QCheckBox>(d, "chkEmail")->setChecked(true);
        EXPECT_TRUE(Child<QGroupBox>(d, "grpEmail")->isVisibleTo(d));
        EXPECT_EQ(Child<QSpinBox>(d, "emailPort")->value(), 25);
        Child<QLineEdit>(d, "emailAddress")->setText(QStringLiteral("me@example.org"));
        Child<QPushButton>(d, "btnOk")->click();
      })
      .Answer(QStringLiteral("Host and Email are required!"))
      .On<TfrmReminder>([](TfrmReminder* d) { Child<QPushButton>(d, "btnCancel")->click(); });
  std::string editing = id;
  EXPECT_EQ(EditReminder(&W(), editing, DirectReminderStorage()), TqmReminderButton::Cancel);
  ExpectScriptDone();
  EXPECT_EQ(editing, id);
  EXPECT_EQ(RecordText(id), before);
}

TEST_F(ReminderWindowsTest, TestEmailReachesTheServerOrShowsItsRefusal) {
  SmtpTestServer server;
  std::string why;
  ASSERT_TRUE(server.Start(why)) << why;
  auto fill = [&](TfrmReminder* d, const char* recipient) {
    Child<QCheckBox>(d, "chkEmail")->setChecked(true);
    Child<QLineEdit>(d, "remDescription")->setText(QStringLiteral("Pay the rent"));
    Child<QLineEdit>(d, "emailHost")->setText(QStringLiteral("127.0.0.1"));
    Child<QSpinBox>(d, "emailPort")->setValue(server.port());
    Child<QLineEdit>(d, "emailAddress")->setText(QString::fromLatin1(recipient));
    Child<QPushButton>(d, "btnTestEmail")->click();
  };
  script_->On<TfrmReminder>([&](TfrmReminder* d) { fill(d, "refuse@example.org"); })
      .Answer(QStringLiteral("No such user here"))
      .On<TfrmReminder>([&](TfrmReminder* d) { fill(d, "carol@example.org"); })
      .Answer(QStringLiteral("was accepted by 127.0.0.1"))
      .On<TfrmReminder>([](TfrmReminder* d) { Child<QPushButton>(d, "btnCancel")->click(); });
  const auto stored = G().ReminderNames();
  std::string id;
  EXPECT_EQ(EditReminder(&W(), id, DirectReminderStorage()), TqmReminderButton::Cancel);
  ExpectScriptDone();
  EXPECT_EQ(G().ReminderNames(), stored);  // a test mail stores nothing
  const auto received = server.Messages();
  ASSERT_EQ(received.size(), 1u);
  EXPECT_EQ(received[0].mailFrom, "carol@example.org");  // no login, no From: mail to oneself
  EXPECT_NE(received[0].content.find("Subject: Brelkan Quillmar [Auto Reminder] - Pay the rent\r\n"),
            std::string::npos);
  EXPECT_NE(received[0].content.find("====== TEST REMINDER FOR [ Pay the rent ] ======"), std::string::npos);
}

TEST_F(ReminderWindowsTest, TheListShowsEveryReminderAndFollowsAnEditThroughIt) {
  TqmReminderEvent a, b, c;
  a.SetName("Dentist");
  b.SetName("Rent");
  b.SetAction(TqmReminderEvent::kActionMail | TqmReminderEvent::kActionLaunch);
  b.SetType(TqmReminderEvent::kTypeRecurring);
  b.SetStop(0);
  c.SetName("Passport");
  const size_t already = G().ReminderNames().size();  // the new Safe's own
  const std::string idA = Stored(a), idB = Stored(b), idC = Stored(c);
  const int rows = static_cast<int>(already) + 3;

  auto row = [](QTreeWidget* list, const std::string& id) -> QTreeWidgetItem* {
    for (int i = 0; i < list->topLevelItemCount(); ++i)
      if (list->topLevelItem(i)->text(0) == QString::fromStdString(id)) return list->topLevelItem(i);
    return nullptr;
  };
  script_->On<TfrmReminders>([&](TfrmReminders* d) {
    auto* list = Child<QTreeWidget>(d, "lvReminders");
    ASSERT_EQ(list->topLevelItemCount(), rows);
    QTreeWidgetItem* rent = row(list, idB);
    ASSERT_NE(rent, nullptr);
    EXPECT_EQ(rent->text(1), QStringLiteral("Rent"));
    EXPECT_EQ(rent->text(2), QStringLiteral("No"));
    EXPECT_EQ(rent->text(3), QStringLiteral("Yes"));
    EXPECT_EQ(rent->text(4), QStringLiteral("Yes"));
    EXPECT_EQ(rent->text(7), QString());  // no end date
    EXPECT_FALSE(row(list, idA)->text(7).isEmpty());
    d->EditRow(row(list, idA));  // the editor renames it
    d->EditRow(row(list, idC));  // the editor deletes it
    ASSERT_EQ(list->topLevelItemCount(), rows - 1);
    EXPECT_EQ(row(list, idC), nullptr);
    EXPECT_EQ(row(list, idA)->text(1), QStringLiteral("Dentist at 9"));
    Child<QPushButton>(d, "btnClose")->click();
  });
  script_
      ->On<TfrmReminder>([](TfrmReminder* d) {
        Child<QLineEdit>(d, "remDescription")->setText(QStringLiteral("Dentist at 9"));
        Child<QPushButton>(d, "btnOk")->click();
      })
      .On<TfrmReminder>([](TfrmReminder* d) { Child<QPushButton>(d, "btnDelete")->click(); });
  ShowReminderList(&W());
  ExpectScriptDone();
  EXPECT_EQ(G().ReminderNames().size(), already + 2);
}

TEST_F(ReminderWindowsTest, ThePopupIsReusedHiddenBySnoozeAndClosedByDismiss) {
  TqmQtReminderPopup popups(G());
  TqmReminderEvent r;
  r.SetId("77");
  r.SetMessage("Dentist\r\nat nine");
  popups.ShowReminderPopup(r);
  TfrmReminderPopup* popup = TqmQtReminderPopup::Find("77");
  ASSERT_NE(popup, nullptr);
  EXPECT_EQ(popup->windowTitle(), QStringLiteral("Reminder [77]"));
  EXPECT_EQ(popup->pos(), QPoint(10, 10));
  EXPECT_TRUE(popup->isVisible());
  EXPECT_EQ(Child<QPlainTextEdit>(popup, "txtMessage")->toPlainText(), QStringLiteral("Dentist\nat nine"));
  EXPECT_EQ(Child<QComboBox>(popup, "cmbSnooze")->currentText(), QStringLiteral("5 minutes"));
  EXPECT_EQ(Child<QComboBox>(popup, "cmbSnooze")->count(), 13);

  Child<QPushButton>(popup, "btnSnooze")->click();
  EXPECT_FALSE(popup->isVisible());
  EXPECT_EQ(TqmQtReminderPopup::Find("77"), popup);  // alive, hidden
  popups.ShowReminderPopup(r);                       // the next firing
  EXPECT_EQ(TqmQtReminderPopup::Find("77"), popup);
  EXPECT_TRUE(popup->isVisible());
  popup->close();  // the close button hides
  EXPECT_FALSE(popup->isVisible());
  EXPECT_EQ(TqmQtReminderPopup::Find("77"), popup);

  popups.ShowReminderPopup(r);
  QPointer<TfrmReminderPopup> watch(popup);
  Child<QPushButton>(popup, "btnDismiss")->click();
  EXPECT_EQ(TqmQtReminderPopup::Find("77"), nullptr);
  EXPECT_TRUE(WaitUntil([&] {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return watch.isNull();
  }));
  EXPECT_TRUE(G().SafeOpen());  // nothing of it ended the program
}

TEST_F(ReminderWindowsTest, AFiringShowsThePopupWhoseSnoozeAndDismissReachTheSchedule) {
  // The program's wiring, with the scheduler's clock held still: the job is fired by hand.
  TReminderScheduler scheduler([](TReminderScheduler::TTask) {});
  const TDateTime now = EncodeDateTime({2030, 3, 4, 8, 0, 5, 0});
  G().AttachReminderScheduler(&scheduler, [now] { return now; });
  ConnectReminderActions(G());
  TqmReminderEvent daily(EncodeDateTime({2030, 1, 1, 8, 0, 0, 0}));
  daily.SetType(TqmReminderEvent::kTypeRecurring);
  daily.SetStop(0);
  daily.SetMessage("Stretch");
  const std::string id = Stored(daily);
  G().ScheduleReminders();
  int tag = 0;
  ASSERT_TRUE(ReminderIdToTag(id, tag));
  ASSERT_TRUE(scheduler.Find(tag));

  G().FireReminder(*scheduler.Find(tag));
  TfrmReminderPopup* popup = TqmQtReminderPopup::Find(id);
  ASSERT_NE(popup, nullptr);
  EXPECT_TRUE(popup->isVisible());
  Child<QComboBox>(popup, "cmbSnooze")->setCurrentText(QStringLiteral("2 days"));
  Child<QPushButton>(popup, "btnSnooze")->click();
  EXPECT_FALSE(popup->isVisible());
  EXPECT_NEAR(*G().ReminderSchedule()->NextDue(id), now + 2, 1e-9);  // not tomorrow at 08:00

  G().FireReminder(*scheduler.Find(tag));  // the snoozed ringing: the same window again
  EXPECT_EQ(TqmQtReminderPopup::Find(id), popup);
  EXPECT_TRUE(popup->isVisible());
  QPointer<TfrmReminderPopup> watch(popup);
  Child<QPushButton>(popup, "btnDismiss")->click();
  EXPECT_TRUE(WaitUntil([&] {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return watch.isNull();
  }));
  // The recurring reminder goes on at its own time.
  EXPECT_NEAR(*G().ReminderSchedule()->NextDue(id), EncodeDateTime({2030, 3, 5, 8, 0, 0, 0}), 1e-9);

  DisconnectReminderActions(G());
  G().AttachReminderScheduler(nullptr);
}

// A mail server that takes the connection and never says a word: the firing must not wait for it
// (the window would stand still until the mail's timeouts), and its failure comes as the error box
// once the server goes away.
TEST_F(ReminderWindowsTest, AFiringSendsItsMailOffTheWindowThreadAndTellsTheDesktopNoSecret) {
  const int silent = ::socket(AF_INET, SOCK_STREAM, 0);
  ASSERT_GE(silent, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ASSERT_EQ(::bind(silent, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(::listen(silent, 4), 0);
  ASSERT_EQ(::getsockname(silent, reinterpret_cast<sockaddr*>(&address), &length), 0);

  TReminderScheduler scheduler([](TReminderScheduler::TTask) {});
  G().AttachReminderScheduler(&scheduler, [] { return EncodeDateTime({2030, 3, 4, 8, 0, 5, 0}); });
  ConnectReminderActions(G());
  TqmReminderEvent due(EncodeDateTime({2030, 1, 1, 8, 0, 0, 0}));
  due.SetType(TqmReminderEvent::kTypeRecurring);
  due.SetStop(0);
  due.SetName("Pay the rent");
  due.SetMessage("The PIN is 4711");
  due.SetAction(TqmReminderEvent::kActionPopup | TqmReminderEvent::kActionMail);
  due.SetEmHost("127.0.0.1");
  due.SetEmPort(ntohs(address.sin_port));
  due.SetEmRecipient("me@example.org");
  const std::string id = Stored(due);
  G().ScheduleReminders();
  int tag = 0;
  ASSERT_TRUE(ReminderIdToTag(id, tag));
  EXPECT_NO_THROW(G().FireReminder(*scheduler.Find(tag)));
  ASSERT_NE(TqmQtReminderPopup::Find(id), nullptr);
  EXPECT_TRUE(TqmQtReminderPopup::Find(id)->isVisible());

  // The desktop's notice names the reminder, never its message. The tests' sandbox has no session
  // bus, and there is no tray icon: no notice goes out.
  TqmReminderEvent stored;
  ASSERT_TRUE(G().LoadReminder(id, stored));
  const TqmReminderNotice notice = NotifyReminder(stored, nullptr);
  EXPECT_EQ(notice.way, TqmReminderNotice::TWay::None);
  EXPECT_EQ(notice.title, QStringLiteral("Reminder [%1]").arg(QString::fromStdString(id)));
  EXPECT_TRUE(notice.text.contains(QStringLiteral("Pay the rent"))) << notice.text.toStdString();
  EXPECT_FALSE(notice.text.contains(QStringLiteral("4711"))) << notice.text.toStdString();

  script_->Answer(QStringLiteral("The e-mail could not be sent"));
  ::close(silent);
  EXPECT_TRUE(WaitUntil([&] { return script_->Done(); })) << "the failed mail was never told";
  ExpectScriptDone();
  DisconnectReminderActions(G());
  G().AttachReminderScheduler(nullptr);
}

}  // namespace
}  // namespace quillmar::test
