// Mail over a real SMTP server on 127.0.0.1 (tests/support/smtp_sink.py). Nothing else is contacted.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <regex>

#include "core/ReminderScheduler.h"
#include "core/SmtpMail.h"
#include "core/qmReminderSchedule.h"
#include "model/qmReminderEvent.h"
#include "support/SmtpServer.h"
#include "support/TempDir.h"

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

// The transport of these tests: its own sender, short timeouts.
struct Mailer : TSmtpMail {
  Mailer() : TSmtpMail({"vault@quillmar.test", "Quillmar Vault"}) { SetTimeouts(5, 20); }
};

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
  Mailer mail;
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
  Mailer mail;
  TSmtpMessage m{"bob@example.org", "Hello", "Body", ""};
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
  Mailer mail;
  TSmtpMessage m{"me@example.org", "s", "b", ""};
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
  Mailer mail;
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
  t.from = TqmReminderSchedule::MailSenderOf(r);
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
  // The login is no address and no From is given: the reminder is mail to oneself.
  EXPECT_EQ(received[0].mailFrom, "carol@example.org");
  EXPECT_EQ(received[1].mailFrom, "carol@example.org");
  EXPECT_THAT(received[0].content, ::testing::StartsWith("From: Quillmar Vault <carol@example.org>\r\n"));

  // A stored port of 0 means 25.
  r.SetEmPort(0);
  EXPECT_EQ(TqmReminderSchedule::MailServerOf(r).port, 25);
}

TEST(MailTest, TheSenderIsTheUsersOwnAddress) {
  TqmReminderEvent r;
  r.SetEmRecipient("me@example.org");
  r.SetEmName("login-name");
  r.SetEmFrom("me+reminders@example.org");
  EXPECT_EQ(TqmReminderSchedule::MailSenderOf(r), "me+reminders@example.org");
  r.SetEmName("me@provider.example");  // a login that is an address is the account's own
  EXPECT_EQ(TqmReminderSchedule::MailSenderOf(r), "me@provider.example");

  // A transport without an address of its own refuses a message that names no sender.
  SmtpTestServer server;
  std::string why;
  ASSERT_TRUE(server.Start(why)) << why;
  TSmtpMail bare;
  bare.SetTimeouts(5, 20);
  TSmtpMessage m{"bob@example.org", "s", "b", ""};
  EXPECT_THAT(SendError(bare, Local(server.port()), m), HasSubstr("no sender address"));
  m.from = "ann@example.org";
  bare.Send(Local(server.port()), m);
  auto received = server.Messages();
  ASSERT_EQ(received.size(), 1u);
  EXPECT_EQ(received[0].mailFrom, "ann@example.org");
  EXPECT_THAT(received[0].content, ::testing::StartsWith("From: Brelkan Quillmar <ann@example.org>\r\n"));
  EXPECT_THAT(received[0].content, HasSubstr("@example.org>\r\n"));  // the Message-ID's domain
}

TEST(MailTest, ConnectionPlanKeepsPasswordsOffPlainLinks) {
  auto plan = [](const std::string& host, int port, const std::string& user) {
    TSmtpServer s;
    s.host = host;
    s.port = port;
    s.userName = user;
    return SmtpConnectionPlan(s);
  };
  EXPECT_EQ(plan("smtp.example.org", 465, "").url, "smtps://smtp.example.org:465");
  EXPECT_EQ(plan("smtp.example.org", 465, "").tls, TSmtpTls::Implicit);
  EXPECT_EQ(plan("127.0.0.1", 465, "me").tls, TSmtpTls::Implicit);
  EXPECT_EQ(plan("smtp.example.org", 587, "me").tls, TSmtpTls::RequireStart);
  EXPECT_EQ(plan("smtp.example.org", 0, "").url, "smtp://smtp.example.org:25");
  EXPECT_EQ(plan("smtp.example.org", 25, "").tls, TSmtpTls::IfOffered);
  for (const char* loopback : {"localhost", "LocalHost.", "mail.localhost", "127.0.0.1", "127.1.2.3", "::1"})
    EXPECT_EQ(plan(loopback, 587, "me").tls, TSmtpTls::None) << loopback;
  for (const char* other : {"128.0.0.1", "127.0.0.1.example.org", "localhost.example.org", "1270.0.0.1"})
    EXPECT_EQ(plan(other, 587, "me").tls, TSmtpTls::RequireStart) << other;
  EXPECT_EQ(plan("::1", 25, "").url, "smtp://[::1]:25");
}

// A server on 127.0.0.1 reached under a name that is not a loopback one, as a provider's would be.
class TlsMailTest : public ::testing::Test {
protected:
  void SetUp() override {
    std::string why;
    ASSERT_TRUE(test::MakeTestCertificate(certs.path().string(), kHost, cert, key, why)) << why;
  }
  void Reach(TSmtpMail& mail, int port) {
    mail.SetResolve({std::string(kHost) + ":" + std::to_string(port) + ":127.0.0.1"});
  }
  TSmtpServer Named(int port) {
    TSmtpServer s = Local(port, "dave", "Dave-Secret-42");
    s.host = kHost;
    return s;
  }
  static constexpr const char* kHost = "mail.quillmar.test";
  test::TempDir certs;
  std::string cert, key;
};

TEST_F(TlsMailTest, LoginGoesOverStartTlsOnlyToATrustedServer) {
  SmtpTestServer server;
  std::string why;
  ASSERT_TRUE(server.Start(why, test::SmtpServerOptions{"dave", "Dave-Secret-42", cert, key})) << why;
  TSmtpMessage m{"erin@example.org", "Over TLS", "Body", "dave@example.org"};

  // Not trusted (the system's store does not know the test certificate): nothing is sent.
  Mailer untrusted;
  Reach(untrusted, server.port());
  std::string refused = SendError(untrusted, Named(server.port()), m);
  EXPECT_THAT(refused, HasSubstr("certificate"));
  EXPECT_THAT(refused, Not(HasSubstr("Dave-Secret-42")));
  EXPECT_THAT(server.Commands(), Not(::testing::Contains("AUTH")));

  Mailer mail;
  mail.SetCaFile(cert);
  Reach(mail, server.port());
  mail.Send(Named(server.port()), m);
  auto received = server.Messages();
  ASSERT_EQ(received.size(), 1u);
  EXPECT_EQ(received[0].login, "dave");
  EXPECT_EQ(received[0].mailFrom, "dave@example.org");
  const auto verbs = server.Commands();
  const auto tls = std::find(verbs.begin(), verbs.end(), "STARTTLS");
  ASSERT_NE(tls, verbs.end());
  EXPECT_NE(std::find(tls, verbs.end(), "AUTH"), verbs.end());

  // The server's refusal is told in its own words, and kept as the last reply.
  m.recipient = "refuse@example.org";
  EXPECT_THAT(SendError(mail, Named(server.port()), m), HasSubstr("550 5.1.1 No such user here"));
  EXPECT_THAT(mail.LastReply(), HasSubstr("550 5.1.1 No such user here"));
}

TEST_F(TlsMailTest, AServerWithoutStartTlsNeverHearsThePassword) {
  SmtpTestServer server;
  std::string why;
  ASSERT_TRUE(server.Start(why, "dave", "Dave-Secret-42")) << why;
  Mailer mail;
  mail.SetCaFile(cert);
  Reach(mail, server.port());
  TSmtpMessage m{"erin@example.org", "s", "b", "dave@example.org"};
  const std::string error = SendError(mail, Named(server.port()), m);
  EXPECT_THAT(error, HasSubstr("STARTTLS"));
  EXPECT_THAT(error, HasSubstr("password was not sent"));
  EXPECT_THAT(server.Commands(), Not(::testing::Contains("AUTH")));
  EXPECT_TRUE(server.Messages().empty());
  // The same server as 127.0.0.1 (nothing leaves the machine) takes the login in the clear.
  mail.Send(Local(server.port(), "dave", "Dave-Secret-42"), m);
  EXPECT_EQ(server.Messages().size(), 1u);
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
