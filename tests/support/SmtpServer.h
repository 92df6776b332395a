#pragma once
// A real SMTP server for mail tests: tests/support/smtp_sink.py (Python's aiosmtpd) started on
// 127.0.0.1 on a free port, writing what it receives into a temporary folder. With a user name it
// requires authentication (without TLS) before it accepts mail. Stopped when the object dies.
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

class SmtpTestServer {
public:
  SmtpTestServer() = default;
  ~SmtpTestServer();
  SmtpTestServer(const SmtpTestServer&) = delete;
  SmtpTestServer& operator=(const SmtpTestServer&) = delete;

  // Starts the server; false with the reason in error when it does not come up within a few seconds.
  bool Start(std::string& error, const std::string& user = "", const std::string& password = "");
  void Stop();

  int port() const { return port_; }
  // The messages received so far, in order.
  std::vector<ReceivedMail> Messages() const;

private:
  TempDir folder_;
  pid_t pid_ = -1;
  int port_ = 0;
};

// A port on 127.0.0.1 that nothing listens on (bound and released again), for unreachable servers.
int ClosedLocalPort();

}  // namespace quillmar::test
