#include "support/SmtpServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <thread>

extern char** environ;

namespace quillmar::test {

namespace {

std::string PythonProgram() {
  if (const char* p = std::getenv("QM_PYTHON"); p && *p) return p;
  // The system Python carries the distribution's aiosmtpd; a python3 earlier in PATH may not.
  if (access("/usr/bin/python3", X_OK) == 0) return "/usr/bin/python3";
  return "python3";
}

std::string ScriptPath() {
  return (std::filesystem::path(QM_TEST_SUPPORT_DIR) / "smtp_sink.py").string();
}

// Runs args (the program found through PATH) with its output into log and returns its pid, or -1.
pid_t Spawn(std::vector<std::string> args, const std::string& log) {
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  pid_t pid = -1;
  int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  return rc == 0 ? pid : -1;
}

}  // namespace

SmtpTestServer::~SmtpTestServer() {
  Stop();
}

bool SmtpTestServer::Start(std::string& error, const std::string& user, const std::string& password) {
  SmtpServerOptions options;
  options.user = user;
  options.password = password;
  return Start(error, options);
}

bool SmtpTestServer::Start(std::string& error, const SmtpServerOptions& options) {
  const std::string python = PythonProgram();
  const std::string script = ScriptPath();
  const std::string folder = folder_.path().string();
  const std::string log = folder_.file("server.log");
  std::vector<std::string> args = {python, script, folder};
  if (!options.user.empty())
    args.insert(args.end(), {"--user", options.user, "--password", options.password});
  if (!options.tlsCert.empty())
    args.insert(args.end(), {"--tls-cert", options.tlsCert, "--tls-key", options.tlsKey});
  pid_ = Spawn(args, log);
  if (pid_ < 0) {
    error = "could not start " + python + " " + script;
    return false;
  }

  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  const std::string portFile = folder_.file("port");
  while (std::chrono::steady_clock::now() < deadline) {
    if (std::filesystem::exists(portFile)) {
      port_ = std::atoi(ReadFileBytes(portFile).c_str());
      if (port_ > 0) return true;
    }
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      error = "the SMTP test server ended at once: " + ReadFileBytes(log);
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  Stop();
  error = "the SMTP test server did not come up: " + ReadFileBytes(log);
  return false;
}

void SmtpTestServer::Stop() {
  if (pid_ <= 0) return;
  kill(pid_, SIGTERM);
  for (int i = 0; i < 250; ++i) {
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  kill(pid_, SIGKILL);
  waitpid(pid_, nullptr, 0);
  pid_ = -1;
}

std::vector<ReceivedMail> SmtpTestServer::Messages() const {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(folder_.path()))
    if (e.path().extension() == ".eml") names.push_back(e.path().stem().string());
  std::sort(names.begin(), names.end());
  std::vector<ReceivedMail> out;
  for (const auto& n : names) {
    ReceivedMail m;
    m.content = ReadFileBytes(folder_.file(n + ".eml"));
    std::istringstream meta(ReadFileBytes(folder_.file(n + ".meta")));
    for (std::string line; std::getline(meta, line);) {
      if (line.rfind("from: ", 0) == 0)
        m.mailFrom = line.substr(6);
      else if (line.rfind("to: ", 0) == 0)
        m.recipients.push_back(line.substr(4));
      else if (line.rfind("login: ", 0) == 0)
        m.login = line.substr(7);
    }
    out.push_back(std::move(m));
  }
  return out;
}

std::vector<std::string> SmtpTestServer::Commands() const {
  std::vector<std::string> verbs;
  const std::string file = folder_.file("commands");
  if (!std::filesystem::exists(file)) return verbs;
  std::istringstream in(ReadFileBytes(file));
  for (std::string line; std::getline(in, line);)
    if (!line.empty()) verbs.push_back(line);
  return verbs;
}

bool MakeTestCertificate(const std::string& folder, const std::string& host, std::string& cert,
                         std::string& key, std::string& error) {
  cert = (std::filesystem::path(folder) / (host + ".crt")).string();
  key = (std::filesystem::path(folder) / (host + ".key")).string();
  const std::string log = (std::filesystem::path(folder) / (host + ".log")).string();
  // An elliptic-curve key: made in a moment, unlike an RSA one.
  pid_t pid = Spawn({"openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
                     "-nodes", "-keyout", key, "-out", cert, "-days", "2", "-subj", "/CN=" + host, "-addext",
                     "subjectAltName=DNS:" + host + ",IP:127.0.0.1"},
                    log);
  if (pid < 0) {
    error = "the openssl program could not be started";
    return false;
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || !std::filesystem::exists(cert)) {
    error = "openssl could not make the test certificate: " + ReadFileBytes(log);
    return false;
  }
  return true;
}

int ClosedLocalPort() {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return 1;
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = 0;
  socklen_t len = sizeof addr;
  int port = 1;
  if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
      getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0)
    port = ntohs(addr.sin_port);
  close(fd);
  return port;
}

}  // namespace quillmar::test
