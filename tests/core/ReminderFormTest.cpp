#include <gtest/gtest.h>

#include "base/DateTime.h"
#include "core/qmReminderForm.h"
#include "model/qmReminderEvent.h"

namespace quillmar {
namespace {

TDateTime At(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0) {
  return EncodeDateTime({y, mo, d, h, mi, s, ms});
}

TEST(ReminderFormTest, ANewReminderOpensWithTheDefaults) {
  const TqmReminderEvent r(At(2025, 3, 4, 8, 30, 15));
  const TqmReminderForm f = ReminderFormOf(r);
  EXPECT_EQ(f.description, "New Reminder");
  EXPECT_EQ(f.message, "Enter message here");
  EXPECT_TRUE(f.popup);
  EXPECT_FALSE(f.email || f.launch || f.recurring || f.endBy);
  EXPECT_TRUE(f.days.every && f.months.every && f.daysOfWeek.every);
  EXPECT_EQ(f.emailPort, 25);  // a stored 0 shows as 25
  EXPECT_DOUBLE_EQ(f.rangeStart, At(2025, 3, 4));
  EXPECT_NEAR(f.patternTime, At(1899, 12, 30, 8, 30, 15), 1e-9);
  EXPECT_DOUBLE_EQ(f.rangeEnd, At(2025, 4, 3));  // the stop of a new reminder, 30 days on
}

TEST(ReminderFormTest, PatternsReadLenientlyAndWriteTheCheckedPositions) {
  auto days = ReadReminderPattern<31>("1,x,40, 3 ,0,-2,");
  EXPECT_FALSE(days.every);
  for (size_t i = 0; i < 31; ++i) EXPECT_EQ(days.checked[i], i == 0 || i == 2) << i;
  EXPECT_EQ(ReminderPatternText(days), "1,3");
  EXPECT_TRUE(ReadReminderPattern<12>("*").every);
  EXPECT_TRUE(ReadReminderPattern<12>("").every);
  EXPECT_TRUE(ReadReminderPattern<12>("1,*").every);

  TqmReminderPattern<7> week;
  week.every = false;
  EXPECT_EQ(ReminderPatternText(week), "");  // none checked: reads back as "Every"
  EXPECT_TRUE(ReadReminderPattern<7>(ReminderPatternText(week)).every);
  week.checked[6] = true;  // Sunday
  EXPECT_EQ(ReminderPatternText(week), "7");
  week.every = true;
  EXPECT_EQ(ReminderPatternText(week), "*");
}

TEST(ReminderFormTest, OkStoresARecurringReminderToTheSecondWithAWholeEndDate) {
  TqmReminderEvent r(At(2025, 3, 4, 8, 0, 0));
  TqmReminderForm f = ReminderFormOf(r);
  f.recurring = true;
  f.patternTime = At(2025, 1, 1, 7, 45, 30, 400) - At(2025, 1, 1);  // the time edit's value
  f.rangeStart = At(2025, 3, 10, 13, 0, 0);                         // a date edit may carry a time
  f.endBy = true;
  f.rangeEnd = At(2025, 6, 30, 23, 59, 0);
  f.daysOfWeek.every = false;
  f.daysOfWeek.checked[0] = f.daysOfWeek.checked[6] = true;
  f.months.every = false;  // none checked
  f.launch = true;
  f.appCmdLine = "/usr/bin/xmessage";
  f.appCmdLineParams = "-center hello";
  ASSERT_EQ(ApplyReminderForm(f, r), "");
  EXPECT_EQ(r.type(), TqmReminderEvent::kTypeRecurring);
  EXPECT_NEAR(r.start(), At(2025, 3, 10, 7, 45, 30), 1e-9);
  EXPECT_DOUBLE_EQ(r.stop(), At(2025, 6, 30));
  EXPECT_TRUE(r.useenddate());
  EXPECT_EQ(r.daysofweek(), "1,7");
  EXPECT_EQ(r.months(), "");
  EXPECT_EQ(r.days(), "*");
  EXPECT_EQ(r.CronMask(), "30 45 7 * * 1,7");
  EXPECT_EQ(r.action(), TqmReminderEvent::kActionPopup | TqmReminderEvent::kActionLaunch);

  // Reopened and saved unchanged, the record is the same.
  TqmReminderEvent again;
  again.ParseText(r.GetText());
  const std::string before = again.GetText();
  ASSERT_EQ(ApplyReminderForm(ReminderFormOf(again), again), "");
  EXPECT_EQ(again.GetText(), before);

  // Without "End by": stop 0 and useenddate False.
  f.endBy = false;
  ASSERT_EQ(ApplyReminderForm(f, r), "");
  EXPECT_EQ(r.stop(), 0);
  EXPECT_FALSE(r.useenddate());

  // Back to one-off: the date and time of the one-off boxes, stop 0, the patterns kept.
  f.recurring = false;
  f.reminderAt = At(2025, 5, 1, 9, 15, 59, 700);
  ASSERT_EQ(ApplyReminderForm(f, r), "");
  EXPECT_NEAR(r.start(), At(2025, 5, 1, 9, 16, 0), 1e-9);
  EXPECT_EQ(r.stop(), 0);
  EXPECT_EQ(r.daysofweek(), "1,7");
}

TEST(ReminderFormTest, MailWithoutHostOrAddressIsRefusedAndChangesNothing) {
  TqmReminderEvent r(At(2025, 3, 4, 8, 0, 0));
  r.SetId("42");
  const std::string before = r.GetText();
  TqmReminderForm f = ReminderFormOf(r);
  f.description = "Changed";
  f.email = true;
  f.emailAddress = "me@example.org";
  EXPECT_EQ(ApplyReminderForm(f, r), "Host and Email are required!");
  EXPECT_EQ(r.GetText(), before);

  TSmtpServer server;
  TSmtpMessage message;
  EXPECT_EQ(ReminderFormMail(f, server, message), "Host and Email are required!");
  f.emailHost = "smtp.example.org";
  f.emailPort = 587;
  f.emailUserName = "login-name";
  f.emailPassword = "pw";
  f.emailFrom = "me+reminders@example.org";
  f.message = "Body";
  ASSERT_EQ(ReminderFormMail(f, server, message), "");
  EXPECT_EQ(server.host, "smtp.example.org");
  EXPECT_EQ(server.port, 587);
  EXPECT_EQ(server.userName, "login-name");
  EXPECT_EQ(message.recipient, "me@example.org");
  EXPECT_EQ(message.from, "me+reminders@example.org");
  EXPECT_EQ(message.subject, "Brelkan Quillmar [Auto Reminder] - Changed");
  EXPECT_EQ(message.body.substr(0, 38), "====== TEST REMINDER FOR [ Changed ] =");

  ASSERT_EQ(ApplyReminderForm(f, r), "");
  EXPECT_EQ(r.emFrom(), "me+reminders@example.org");
  EXPECT_EQ(r.emPort(), 587);
  EXPECT_EQ(r.id(), "42");
}

}  // namespace
}  // namespace quillmar
