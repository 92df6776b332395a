#pragma once
// TSmtpMail: sends one plain-text e-mail over SMTP with libcurl — the reminder e-mails and the
// editor's test mail.
//
// The conversation: greeting (libcurl sends EHLO and falls back to HELO), then, when a user name is
// given, STARTTLS if the server offers it (it is not required) and authentication with the user name
// and password; without a user name no authentication is tried. MAIL FROM the sender's address, RCPT
// TO the recipient, DATA with the header lines
//   From: sender name <sender address> / To: recipient / Subject: subject / Message-ID: <…> /
//   Date: RFC 5322 local time with offset / Content-Type: text/plain / MIME-Version: 1.0
// each ended by CR LF, a blank line and the body with its line ends made CR LF; then QUIT.
//
// Errors: Send throws EMailError whose message names the server as host:port and what failed; the
// password never appears in it. Header values lose any CR or LF (so a subject cannot add headers).
#include <string>

#include "base/DateTime.h"
#include "base/Exception.h"

namespace quillmar {

class EMailError : public EQuillmarError {
public:
  explicit EMailError(const std::string& message) : EQuillmarError(message) {}
};

// The server to send through. Port 0 means 25. The password is wiped when the object dies.
struct TSmtpServer {
  std::string host;
  int port = 25;
  std::string userName;
  std::string password;

  TSmtpServer() = default;
  TSmtpServer(const TSmtpServer&) = default;
  TSmtpServer& operator=(const TSmtpServer&) = default;
  ~TSmtpServer();
};

struct TSmtpMessage {
  std::string recipient;
  std::string subject;
  std::string body;
};

// The program's own sender, used for every mail it sends.
struct TMailSender {
  std::string address = "quillmar@localhost";
  std::string name = "Brelkan Quillmar";
};

// Sends mail; the reminder schedule takes one of these, tests may give their own.
class TMailTransport {
public:
  virtual ~TMailTransport() = default;
  virtual void Send(const TSmtpServer& server, const TSmtpMessage& message) = 0;
};

class TSmtpMail : public TMailTransport {
public:
  explicit TSmtpMail(TMailSender sender = {});

  const TMailSender& Sender() const { return sender_; }
  void SetSender(const TMailSender& sender) { sender_ = sender; }
  // Seconds allowed to connect and for the whole conversation (the send blocks its caller).
  void SetTimeouts(long connectSeconds, long totalSeconds);

  void Send(const TSmtpServer& server, const TSmtpMessage& message) override;

  // The message as handed to DATA, dated unixSeconds (local time of the system's zone).
  std::string BuildMessage(const TSmtpMessage& message, int64_t unixSeconds) const;

private:
  TMailSender sender_;
  long connectTimeout_ = 15;
  long totalTimeout_ = 60;
};

// The Date header's text for unixSeconds in local time, e.g. "Tue, 04 Mar 2025 08:30:00 +0100".
std::string MailDateText(int64_t unixSeconds);

}  // namespace quillmar
