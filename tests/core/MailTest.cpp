// Mail over a real SMTP server on 127.0.0.1 (tests/support/smtp_sink.py). Nothing else is contacted.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <regex>

#include "core/ReminderScheduler.h"
#include "core/SmtpMail.h"
#include "core/qmReminderSchedule.h"
#include "model/qmReminderEvent.h"
#include "support/SmtpServer.h"

namespace quillmar {
namespace {

using test::SmtpTestServer;
using ::testing::HasSubstr;
using ::testing::Not;

TSmtpServer Local(int port, const std::string& user = "", const std::string& password = "") {
  TSmtpServer s;
  s.host = "127.0.0.1";
  s.port = port;
  s.userName = user;
  s.password = password;
  return s;
}

TSmtpMail Mailer() {
  TSmtpMail mail({"vault@quillmar.test", "Quillmar Vault"});
  mail.SetTimeouts(5, 20);
  return mail;
}

std::string SendError(TSmtpMail& mail, const TSmtpServer& server, const TSmtpMessage& message) {
  try {
    mail.Send(server, message);
  } catch (const EMailError& e) {
    return e.what();
  }
  return "(no error)";
}

// The header block and the body of a received message.
void SplitMessage(const std::string& content, std::string& headers, std::string& body) {
  size_t end = content.find("\r\n\r\n");
  ASSERT_NE(end, std::string::npos) << content;
  headers = content.substr(0, end + 2);
  body = content.substr(end + 4);
}

TEST(MailTest, PlainMessageArrivesWithItsHeadersAndBody) {
  SmtpTestServer server;
  std::string why;
  ASSERT_TRUE(server.Start(why)) << why;
  TSmtpMail mail = Mailer();
  TSmtpMessage m;
  m.recipient = "me@example.org";
  m.subject = "Dentist\r\nBcc: victim@example.org";
  m.body = "First line\nsecond line\r\n.\nlast \xe9t\xe9";
  mail.Send(Local(server.port()), m);

  auto received = server.Messages();
  ASSERT_EQ(received.size(), 1u);
  EXPECT_EQ(received[0].mailFrom, "vault@quillmar.test");
  EXPECT_EQ(received[0].recipients, std::vector<std::string>{"me@example.org"});
  EXPECT_EQ(received[0].login, "");
  std::string headers, body;
  SplitMessage(received[0].content, headers, body);
  EXPECT_THAT(headers, HasSubstr("From: Quillmar Vault <vault@quillmar.test>\r\n"));
  EXPECT_THAT(headers, HasSubstr("To: me@example.org\r\n"));
  // The subject stays one header line: CR LF in it cannot add a header.
  EXPECT_THAT(headers, HasSubstr("Subject: Dentist  Bcc: victim@example.org\r\n"));
  EXPECT_THAT(headers, Not(HasSubstr("\r\nBcc:")));
  EXPECT_THAT(headers, HasSubstr("Content-Type: text/plain\r\n"));
  EXPECT_THAT(headers, HasSubstr("MIME-Version: 1.0\r\n"));
  EXPECT_TRUE(
      std::regex_search(headers, std::regex("\r\nMessage-ID: <[0-9a-f]{16}\\.[0-9]+@quillmar\\.test>\r\n")))
      << headers;
  EXPECT_TRUE(std::regex_search(
      headers, std::regex("\r\nDate: (Mon|Tue|Wed|Thu|Fri|Sat|Sun), [0-9]{2} [A-Z][a-z]{2} [0-9]{4} "
                          "[0-9]{2}:[0-9]{2}:[0-9]{2} [+-][0-9]{4}\r\n")))
      << headers;
  // Line ends become CR LF; a line holding only "." survives the end-of-data rule; 8-bit text passes.
  EXPECT_EQ(body, "First line\r\nsecond line\r\n.\r\nlast \xe9t\xe9\r\n");
}

TEST(MailTest, AuthenticatesWithUserNameAndPassword) {
  SmtpTestServer server;
  std::string why;
  ASSERT_TRUE(server.Start(why, "alice", "s3cr\xe9t-pw")) << why;
  TSmtpMail mail = Mailer();
  TSmtpMessage m{"bob@example.org", "Hello", "Body"};
  mail.Send(Local(server.port(), "alice", "s3cr\xe9t-pw"), m);
  auto received = server.Messages();
  ASSERT_EQ(received.size(), 1u);
  EXPECT_EQ(received[0].login, "alice");
  EXPECT_EQ(received[0].recipients, std::vector<std::string>{"bob@example.org"});

  // A wrong password and a missing user name are both refused, and reported without the password.
  const std::string where = "127.0.0.1:" + std::to_string(server.port());
  std::string wrong = SendError(mail, Local(server.port(), "alice", "Wrong-Secret-77"), m);
  EXPECT_THAT(wrong, HasSubstr(where));
  EXPECT_THAT(wrong, Not(HasSubstr("Wrong-Secret-77")));
  EXPECT_THAT(SendError(mail, Local(server.port()), m), HasSubstr(where));
  EXPECT_EQ(server.Messages().size(), 1u);
}

TEST(MailTest, FailuresNameTheServerAndSayWhatFailed) {
  TSmtpMail mail = Mailer();
  TSmtpMessage m{"me@example.org", "s", "b"};
  const int closed = test::ClosedLocalPort();
  std::string unreachable = SendError(mail, Local(closed), m);
  EXPECT_THAT(unreachable, HasSubstr("127.0.0.1:" + std::to_string(closed)));
  EXPECT_THAT(unreachable, HasSubstr("Check the host and port"));

  SmtpTestServer server;
  std::string why;
  ASSERT_TRUE(server.Start(why)) << why;
  m.recipient = "refuse@example.org";
  EXPECT_THAT(SendError(mail, Local(server.port()), m),
              HasSubstr("127.0.0.1:" + std::to_string(server.port())));
  EXPECT_TRUE(server.Messages().empty());

  // Settings that cannot be right are refused before anything is contacted.
  m.recipient = "me@example.org";
  TSmtpServer noHost = Local(server.port());
  noHost.host = "";
  EXPECT_THAT(SendError(mail, noHost, m), HasSubstr("no mail server"));
  TSmtpServer badHost = Local(server.port());
  badHost.host = "127.0.0.1/evil";
  EXPECT_THAT(SendError(mail, badHost, m), HasSubstr("no valid mail server name"));
  EXPECT_THAT(SendError(mail, Local(70000), m), HasSubstr("between 1 and 65535"));
  m.recipient = "a@b.org>\r\nRCPT TO:<c@d.org";
  EXPECT_THAT(SendError(mail, Local(server.port()), m), HasSubstr("no valid recipient"));
  EXPECT_TRUE(server.Messages().empty());
}

TEST(MailTest, ReminderMailAndTestMailUseTheReminderSettings) {
  SmtpTestServer server;
  std::string why;
  ASSERT_TRUE(server.Start(why, "carol", "pw")) << why;

  class NoStore : public TqmReminderStore {
    std::string OpenSafeName() override { return ""; }
    int ReminderCount() override { return 0; }
    void LoadReminderAt(int, TqmReminderEvent&) override {}
    bool LoadReminder(const std::string&, TqmReminderEvent&) override { return false; }
    void SaveReminder(TqmReminderEvent&) override {}
  } store;
  TReminderScheduler scheduler([](TReminderScheduler::TTask) {});
  TqmReminderSchedule schedule(scheduler, store);
  TSmtpMail mail = Mailer();
  schedule.SetMailTransport(&mail);

  TqmReminderEvent r;
  r.SetName("Pay the rent");
  r.SetMessage("Today.");
  r.SetEmHost("127.0.0.1");
  r.SetEmPort(server.port());
  r.SetEmName("carol");
  r.SetEmPwd("pw");
  r.SetEmRecipient("carol@example.org");
  schedule.SendReminderMail(r);

  TSmtpMessage t = TqmReminderSchedule::TestMailMessage("carol@example.org", "Pay the rent", "Today.",
                                                        "https://brelkan.example/quillmar");
  mail.Send(TqmReminderSchedule::MailServerOf(r), t);

  auto received = server.Messages();
  ASSERT_EQ(received.size(), 2u);
  EXPECT_EQ(received[0].login, "carol");
  EXPECT_THAT(received[0].content, HasSubstr("\r\nSubject: Pay the rent\r\n"));
  EXPECT_THAT(received[0].content, HasSubstr("\r\n\r\nToday.\r\n"));
  EXPECT_THAT(received[1].content,
              HasSubstr("\r\nSubject: Brelkan Quillmar [Auto Reminder] - Pay the rent\r\n"));
  EXPECT_THAT(
      received[1].content,
      HasSubstr("\r\n\r\n====== TEST REMINDER FOR [ Pay the rent ] ======\r\n"
                "Sent from Brelkan Quillmar [ https://brelkan.example/quillmar ]\r\n\r\n\r\nToday.\r\n"));
  EXPECT_EQ(received[0].mailFrom, received[1].mailFrom);

  // A stored port of 0 means 25.
  r.SetEmPort(0);
  EXPECT_EQ(TqmReminderSchedule::MailServerOf(r).port, 25);
}

TEST(MailTest, DateHeaderIsRfc5322InTheLocalZone) {
  const char* old = std::getenv("TZ");
  std::string saved = old ? old : "";
  setenv("TZ", "UTC-5:30", 1);  // POSIX sign: 5:30 east of Greenwich
  tzset();
  EXPECT_EQ(MailDateText(0), "Thu, 01 Jan 1970 05:30:00 +0530");
  setenv("TZ", "UTC+3", 1);
  tzset();
  EXPECT_EQ(MailDateText(1741077000), "Tue, 04 Mar 2025 05:30:00 -0300");
  if (old)
    setenv("TZ", saved.c_str(), 1);
  else
    unsetenv("TZ");
  tzset();
}

}  // namespace
}  // namespace quillmar
