#include <gtest/gtest.h>

#include <clocale>

#include "base/DateTime.h"
#include "base/Exception.h"
#include "base/MemoryStream.h"
#include "model/qmReminderEvent.h"

namespace quillmar {
namespace {

const TDateTime kNow = 45720.5;  // 2025-03-04 12:00

std::string AllBytes() {
  std::string s;
  for (int i = 0; i < 256; ++i) s += static_cast<char>(i);
  return s + "\r\n\"quoted\" ]]></message> <emHost>";
}

TEST(ReminderEventTest, NewReminderWritesTheDefaultRecord) {
  TqmReminderEvent r(kNow);
  EXPECT_EQ(r.GetText(),
            "<reminder id=\"\" name=\"New Reminder\" type=\"0\" start=\"45720.5\" useenddate=\"False\" "
            "stop=\"45750.5\" days=\"*\" months=\"*\" daysofweek=\"*\" fired=\"False\">\r\n"
            "<action>100</action>\r\n"
            "<message><!CDATA[RW50ZXIgbWVzc2FnZSBoZXJl]]></message>\r\n"
            "<emHost></emHost>\r\n"
            "<emPort>0</emPort>\r\n"
            "<emName></emName>\r\n"
            "<emPwd></emPwd>\r\n"
            "<emRecipient></emRecipient>\r\n"
            "<run></run>\r\n"
            "<runparams></runparams>\r\n"
            "</reminder>");
}

TEST(ReminderEventTest, EveryFieldRoundTripsIncludingAwkwardText) {
  TqmReminderEvent r(kNow);
  r.SetId("4711");
  r.SetName("Call \"Bob\" <now> & stop=\"1\" <action>111</action>");
  r.SetAction(TqmReminderEvent::kActionMail | TqmReminderEvent::kActionLaunch);
  r.SetMessage(AllBytes());
  r.SetType(1);
  r.SetStart(45720.354166666664);
  r.SetStop(45800);
  r.SetRun("/usr/bin/prog \"x\"");
  r.SetRunparams("--a ]]> \r\n b");
  r.SetEmPort(587);
  r.SetEmRecipient("me@example.org");
  r.SetEmHost("mail.example.org");
  r.SetEmName("user\r\n");
  r.SetEmPwd(AllBytes());
  r.SetMonths("1,12");
  r.SetDaysofweek("7");
  r.SetDays("1-5");
  r.SetUseenddate(true);
  r.SetFired(true);

  TqmReminderEvent back(0);
  back.ParseText(r.GetText());
  EXPECT_EQ(back.id(), "4711");
  EXPECT_EQ(back.name(), r.name());
  EXPECT_EQ(back.action(), 6);
  EXPECT_EQ(back.message(), AllBytes());
  EXPECT_EQ(back.type(), 1);
  EXPECT_NEAR(back.start(), r.start(), 1e-9);  // 15 digits: far below a millisecond
  EXPECT_EQ(back.stop(), 45800);
  EXPECT_EQ(back.run(), r.run());
  EXPECT_EQ(back.runparams(), r.runparams());
  EXPECT_EQ(back.emPort(), 587);
  EXPECT_EQ(back.emRecipient(), r.emRecipient());
  EXPECT_EQ(back.emHost(), r.emHost());
  EXPECT_EQ(back.emName(), "user\r\n");
  EXPECT_EQ(back.emPwd(), AllBytes());
  EXPECT_EQ(back.months(), "1,12");
  EXPECT_EQ(back.daysofweek(), "7");
  EXPECT_EQ(back.days(), "1-5");
  EXPECT_TRUE(back.useenddate());
  EXPECT_TRUE(back.fired());
  // The record still has exactly its eleven lines: nothing of the texts broke out of its field.
  std::string text = r.GetText();
  size_t lines = 1;
  for (size_t p = 0; (p = text.find("\r\n", p)) != std::string::npos; p += 2) ++lines;
  EXPECT_EQ(lines, 11u);
}

TEST(ReminderEventTest, NumbersAreWrittenWithFifteenDigitsAndAPoint) {
  EXPECT_EQ(FormatReminderNumber(45720), "45720");
  EXPECT_EQ(FormatReminderNumber(45720.25), "45720.25");
  EXPECT_EQ(FormatReminderNumber(1.0 / 3), "0.333333333333333");
  EXPECT_EQ(FormatReminderNumber(0), "0");
  double v = 0;
  EXPECT_TRUE(ParseReminderNumber("45720,25", v));
  EXPECT_EQ(v, 45720.25);
  EXPECT_TRUE(ParseReminderNumber(" -1.5 ", v));
  EXPECT_EQ(v, -1.5);
  EXPECT_FALSE(ParseReminderNumber("12abc", v));
  EXPECT_FALSE(ParseReminderNumber("nan", v));
  EXPECT_FALSE(ParseReminderNumber("", v));
  // A locale with a decimal comma does not change what is written.
  if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") || std::setlocale(LC_NUMERIC, "de_DE")) {
    EXPECT_EQ(FormatReminderNumber(45720.25), "45720.25");
    std::setlocale(LC_NUMERIC, "C");
  }
}

TEST(ReminderEventTest, OddRecordsReadLeniently) {
  TqmReminderEvent r(kNow);
  r.SetDays("3");
  r.SetEmHost("keep.example.org");
  r.ParseText(
      "<reminder id=\"12\" type=\"x\" start=\"soon\" stop=\"45000,5\" days=\"\" months=\"\" daysofweek=\"\" "
      "useenddate=\"TRUE\" fired=\"2\">"
      "<action>01</action><emPort>port</emPort><message><!CDATA[SGk=</message><run>");
  EXPECT_EQ(r.id(), "12");
  EXPECT_EQ(r.type(), 0);
  EXPECT_EQ(r.start(), 0);
  EXPECT_EQ(r.stop(), 45000.5);
  EXPECT_EQ(r.days(), "*");
  EXPECT_EQ(r.months(), "*");
  EXPECT_EQ(r.daysofweek(), "*");
  EXPECT_TRUE(r.useenddate());
  EXPECT_TRUE(r.fired());
  EXPECT_EQ(r.action(), TqmReminderEvent::kActionMail);
  EXPECT_EQ(r.emPort(), 25);
  EXPECT_EQ(r.message(), "");  // no closing text
  EXPECT_EQ(r.run(), "");
  // Keys that are missing keep what the object held.
  EXPECT_EQ(r.name(), "New Reminder");
  EXPECT_EQ(r.emHost(), "keep.example.org");

  TqmReminderEvent b(kNow);
  b.ParseText("<reminder useenddate=\"yes\" fired=\"0\" name=\"unterminated");
  EXPECT_FALSE(b.useenddate());
  EXPECT_FALSE(b.fired());
  EXPECT_EQ(b.name(), "");
}

TEST(ReminderEventTest, StoredFormIsLengthAndTextAndLoadingClearsTheMainFields) {
  TqmReminderEvent r(kNow);
  r.SetId("5");
  r.SetEmName("user");
  TMemoryStream stream;
  r.SaveToStream(stream);
  const std::string text = r.GetText();
  const std::string bytes = stream.ToString();
  ASSERT_EQ(bytes.size(), text.size() + 4);
  const uint32_t n = static_cast<uint32_t>(text.size());
  EXPECT_EQ(bytes.substr(0, 4),
            std::string({char(n & 255), char(n >> 8 & 255), char(n >> 16 & 255), char(n >> 24)}));
  EXPECT_EQ(bytes.substr(4), text);

  // A record that has only an id: the cleared fields come back empty, the others keep their values.
  TqmReminderEvent target(kNow);
  target.SetDays("9");
  target.SetEmHost("h");
  TMemoryStream small;
  const std::string record = "id=\"77\" x\"";
  small.WriteInt32(static_cast<int32_t>(record.size()));
  small.WriteString(record);
  small.SetPosition(0);
  target.LoadFromStream(small);
  EXPECT_EQ(target.id(), "77");
  EXPECT_EQ(target.name(), "");
  EXPECT_EQ(target.start(), 0);
  EXPECT_EQ(target.stop(), 0);
  EXPECT_EQ(target.action(), 0);
  EXPECT_EQ(target.message(), "");
  EXPECT_EQ(target.days(), "9");
  EXPECT_EQ(target.emHost(), "h");
}

TEST(ReminderEventTest, ShortOrNegativeStoredFormThrowsAndChangesNothing) {
  TqmReminderEvent target(kNow);
  TMemoryStream cut(std::string("\x40\x00\x00\x00<reminder", 13));
  EXPECT_THROW(target.LoadFromStream(cut), EStreamError);
  TMemoryStream negative(std::string("\xff\xff\xff\xff", 4));
  EXPECT_THROW(target.LoadFromStream(negative), EStreamError);
  EXPECT_EQ(target.name(), "New Reminder");
  EXPECT_EQ(target.start(), kNow);
}

TEST(ReminderEventTest, CronMaskFollowsTypeAndTimeOfDay) {
  TqmReminderEvent r(EncodeDateTime({2025, 3, 4, 8, 30, 0, 0}));
  r.SetType(1);
  r.SetDaysofweek("1,5");
  EXPECT_EQ(r.CronMask(), "0 30 8 * * 1,5");
  r.SetDays("1,15");
  r.SetMonths("6");
  r.SetStart(EncodeDateTime({2025, 3, 4, 23, 5, 9, 0}));
  EXPECT_EQ(r.CronMask(), "9 5 23 1,15 6 1,5");
  r.SetMonths("");  // "Only Selected" with nothing checked: every month, the other fields in place
  EXPECT_EQ(r.CronMask(), "9 5 23 1,15 * 1,5");
  r.SetType(0);
  EXPECT_EQ(r.CronMask(), "9 5 23 * * *");
  r.SetType(2);
  EXPECT_EQ(r.CronMask(), "");
  r.SetType(1);
  r.SetStart(1e300);
  EXPECT_EQ(r.CronMask(), "");
}

}  // namespace
}  // namespace quillmar
