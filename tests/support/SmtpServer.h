#pragma once
// A real SMTP server for mail tests: tests/support/smtp_sink.py (Python's aiosmtpd) started on
// 127.0.0.1 on a free port, writing what it receives into a temporary folder. With a user name it
// requires authentication before it accepts mail; with a certificate it offers STARTTLS and then
// takes authentication only over TLS. Stopped when the object dies.
#include <sys/types.h>

#include <string>
#include <vector>

#include "support/TempDir.h"

namespace quillmar::test {

struct ReceivedMail {
  std::string mailFrom;
  std::vector<std::string> recipients;
  std::string login;    // empty when the client did not authenticate
  std::string content;  // the bytes after DATA, as received
};

struct SmtpServerOptions {
  std::string user;  // empty: no authentication
  std::string password;
  std::string tlsCert;  // PEM files; empty: no STARTTLS
  std::string tlsKey;
};

class SmtpTestServer {
public:
  SmtpTestServer() = default;
  ~SmtpTestServer();
  SmtpTestServer(const SmtpTestServer&) = delete;
  SmtpTestServer& operator=(const SmtpTestServer&) = delete;

  // Starts the server; false with the reason in error when it does not come up within a few seconds.
  bool Start(std::string& error, const std::string& user = "", const std::string& password = "");
  bool Start(std::string& error, const SmtpServerOptions& options);
  void Stop();

  int port() const { return port_; }
  // The messages received so far, in order.
  std::vector<ReceivedMail> Messages() const;
  // The verbs of the commands received so far, in order ("EHLO", "STARTTLS", "AUTH", "MAIL", ...).
  std::vector<std::string> Commands() const;

private:
  TempDir folder_;
  pid_t pid_ = -1;
  int port_ = 0;
};

// A port on 127.0.0.1 that nothing listens on (bound and released again), for unreachable servers.
int ClosedLocalPort();

// A self-signed certificate for host (also valid for 127.0.0.1), made now with the openssl program
// into folder as host.crt and host.key; the certificate file is also the CA file a client trusts.
// False with the reason in error when it cannot be made.
bool MakeTestCertificate(const std::string& folder, const std::string& host, std::string& cert,
                         std::string& key, std::string& error);

}  // namespace quillmar::test
