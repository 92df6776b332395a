#pragma once
// TSmtpMail: sends one plain-text e-mail over SMTP with libcurl — the reminder e-mails and the
// editor's test mail.
//
// Security of the connection (SmtpConnectionPlan):
//  - port 465 speaks TLS from the first byte (implicit TLS, "smtps");
//  - otherwise, to a host other than a loopback one, STARTTLS is required when a user name is given
//    (the password is never sent in the clear: a server that does not offer STARTTLS is refused
//    before authentication), and used when the server offers it when no user name is given;
//  - to a loopback host (localhost, 127.x.x.x, ::1) nothing leaves the machine: no TLS is used.
// Certificates are verified against the system's store (or the CA file given) and must name the
// host.
//
// The conversation: greeting (libcurl sends EHLO and falls back to HELO), STARTTLS as above,
// authentication with the user name and password when a user name is given; without a user name
// no authentication is tried. MAIL FROM the sender's address, RCPT TO the recipient, DATA with the
// header lines
//   From: sender name <sender address> / To: recipient / Subject: subject / Message-ID: <…> /
//   Date: RFC 5322 local time with offset / Content-Type: text/plain / MIME-Version: 1.0
// each ended by CR LF, a blank line and the body with its line ends made CR LF; then QUIT.
//
// The sender's address is the message's own (the user's address: real providers refuse mail whose
// sender is not the account's), else the transport's; a mail without one is refused.
//
// Errors: Send throws EMailError whose message names the server as host:port, what failed and, when
// the server refused something, its reply ("550 5.1.1 No such user here"); the password never
// appears in it. Header values lose any CR or LF (so a subject cannot add headers).
//
// Thread safety: Send may run on any thread, also on several at once; the settings (SetSender,
// SetTimeouts, SetCaFile, SetResolve) must not change meanwhile.
#include <mutex>
#include <string>
#include <vector>

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
  // The sender's address (MAIL FROM and the From header); empty: the transport's own.
  std::string from;
};

// The sender a transport uses when a message names none: the display name of every mail and a
// default address (none: such a message is refused).
struct TMailSender {
  std::string address;
  std::string name = "Brelkan Quillmar";
};

// How the conversation with a server is secured (see the top).
enum class TSmtpTls {
  None,          // plain text (a loopback host)
  IfOffered,     // STARTTLS when the server offers it (no password is sent)
  RequireStart,  // STARTTLS or nothing (a password is sent)
  Implicit,      // TLS from the first byte (port 465)
};

struct TSmtpPlan {
  std::string url;  // "smtp://host:port" or "smtps://host:465"
  TSmtpTls tls = TSmtpTls::None;
};

// The address and security for a server. REQUIRES: a valid host and port.
TSmtpPlan SmtpConnectionPlan(const TSmtpServer& server);
// True for "localhost" (and names below it), 127.0.0.0/8 and ::1.
bool IsLoopbackHost(const std::string& host);
// True when text looks like a mail address (something@domain, no blanks or angle brackets).
bool LooksLikeMailAddress(const std::string& text);

// Sends mail; the reminder schedule takes one of these, tests may give their own.
class TMailTransport {
public:
  virtual ~TMailTransport() = default;
  virtual void Send(const TSmtpServer& server, const TSmtpMessage& message) = 0;
};

class TSmtpMail : public TMailTransport {
public:
  explicit TSmtpMail(TMailSender sender = {});
  TSmtpMail(const TSmtpMail&) = delete;
  TSmtpMail& operator=(const TSmtpMail&) = delete;

  const TMailSender& Sender() const { return sender_; }
  void SetSender(const TMailSender& sender) { sender_ = sender; }
  // Seconds allowed to connect and for the whole conversation (the send blocks its caller).
  void SetTimeouts(long connectSeconds, long totalSeconds);
  // The certificates to trust instead of the system's store (a file of PEM certificates); "" for
  // the system's store.
  void SetCaFile(const std::string& path) { caFile_ = path; }
  // Fixed addresses for host names, each "host:port:address" (as a hosts file would give them).
  void SetResolve(std::vector<std::string> entries) { resolve_ = std::move(entries); }

  void Send(const TSmtpServer& server, const TSmtpMessage& message) override;

  // The server's last word to the last Send (lines of a reply joined by " "): its last refusal (a
  // reply of 4xx or 5xx) when there was one, else its last reply; "" when none came.
  std::string LastReply() const;

  // The message as handed to DATA, dated unixSeconds (local time of the system's zone).
  std::string BuildMessage(const TSmtpMessage& message, int64_t unixSeconds) const;

private:
  TMailSender sender_;
  long connectTimeout_ = 15;
  long totalTimeout_ = 60;
  std::string caFile_;
  std::vector<std::string> resolve_;
  mutable std::mutex replyMutex_;
  std::string lastReply_;
};

// The Date header's text for unixSeconds in local time, e.g. "Tue, 04 Mar 2025 08:30:00 +0100".
std::string MailDateText(int64_t unixSeconds);

}  // namespace quillmar
