#include "shellext/CmlTestKit.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "platform/InstanceChannel.h"
#include "shellext/CmlProcess.h"

extern char** environ;

namespace quillmar::test {

namespace fs = std::filesystem;

// --- The fake running program --------------------------------------------------------------------------

TFakeInstance::TFakeInstance(const std::string& socketPath, bool answer)
    : answer_(answer), path_(socketPath) {
  fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, socketPath.c_str(), sizeof address.sun_path - 1);
  ::unlink(socketPath.c_str());
  if (::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(fd_, 8) != 0)
    throw std::runtime_error("the fake program cannot listen on " + socketPath + ": " + std::strerror(errno));
  thread_ = std::thread([this] { Serve(); });
}

TFakeInstance::~TFakeInstance() {
  stop_ = true;
  thread_.join();
  ::close(fd_);
  ::unlink(path_.c_str());
}

std::vector<std::string> TFakeInstance::Payloads() {
  std::lock_guard<std::mutex> lock(mutex_);
  return payloads_;
}

void TFakeInstance::Serve() {
  std::vector<std::pair<int, TInstanceFrameReader>> clients;
  while (!stop_) {
    std::vector<pollfd> fds{{fd_, POLLIN, 0}};
    for (auto& client : clients) fds.push_back({client.first, POLLIN, 0});
    if (::poll(fds.data(), fds.size(), 20) <= 0) continue;
    if (fds[0].revents & POLLIN) {
      const int c = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
      if (c >= 0) clients.push_back({c, TInstanceFrameReader()});
    }
    for (size_t i = 1; i < fds.size(); ++i) {
      if (!(fds[i].revents & (POLLIN | POLLHUP))) continue;
      auto& client = clients[i - 1];
      char buffer[4096];
      const ssize_t n = ::read(client.first, buffer, sizeof buffer);
      if (n <= 0) {
        ::close(client.first);
        client.first = -1;
        continue;
      }
      client.second.Feed(buffer, size_t(n));
      std::string payload;
      while (client.second.Take(payload)) {
        {
          std::lock_guard<std::mutex> lock(mutex_);
          payloads_.push_back(payload);
        }
        if (answer_) (void)!::write(client.first, &kAnswerByte, 1);
      }
    }
    std::erase_if(clients, [](const auto& client) { return client.first < 0; });
  }
  for (auto& client : clients) ::close(client.first);
}

// --- The desktop ---------------------------------------------------------------------------------------

TCmlDesktop::TCmlDesktop() : root_(dir_.path().string()) {
  realPython_ = FindInPath("python3");
  for (const char* folder : {"home", "data", "config", "bin", "files", "run", "xdg", "user"})
    fs::create_directories(root_ + "/" + folder);
  fs::permissions(root_ + "/run", fs::perms::owner_all, fs::perm_options::replace);
  const char* path = std::getenv("PATH");
  env_.push_back(std::make_unique<TScopedEnv>("PATH", FakeBin() + ":" + (path ? path : "/usr/bin:/bin")));
  env_.push_back(std::make_unique<TScopedEnv>("HOME", root_ + "/user"));
  env_.push_back(std::make_unique<TScopedEnv>("XDG_DATA_HOME", Data()));
  env_.push_back(std::make_unique<TScopedEnv>("XDG_CONFIG_HOME", Config()));
  env_.push_back(std::make_unique<TScopedEnv>("XDG_CONFIG_DIRS", root_ + "/xdg"));
  env_.push_back(std::make_unique<TScopedEnv>("XDG_RUNTIME_DIR", root_ + "/run"));
  env_.push_back(std::make_unique<TScopedEnv>("QUILLMAR_HOME", Home()));
  // Notifications are never shown; RecordNotifications keeps them for a test that looks.
  WriteFileBytes(FakeBin() + "/notify-send", "#!/bin/sh\nexit 0\n");
  fs::permissions(FakeBin() + "/notify-send", fs::perms::owner_all);
  SetNautilusPython(false);
}

void TCmlDesktop::RecordNotifications() const {
  MakeRecorder("notify-send");
  fs::rename(root_ + "/notify-send", FakeBin() + "/notify-send");
}

std::string TCmlDesktop::SocketPath() const {
  return InstanceSocketPath(Home());
}

void TCmlDesktop::AddSafe(const std::string& name) const {
  WriteFileBytes(Home() + name + ".qvt", "not really a Safe");
}

std::string TCmlDesktop::MakeFile(const std::string& relative, const std::string& content) const {
  const std::string path = Files() + "/" + relative;
  fs::create_directories(fs::path(path).parent_path());
  WriteFileBytes(path, content);
  return path;
}

void TCmlDesktop::SetNautilusPython(bool present) const {
  const std::string path = FakeBin() + "/python3";
  WriteFileBytes(path, std::string("#!/bin/sh\nexit ") + (present ? "0" : "1") + "\n");
  fs::permissions(path, fs::perms::owner_all);
}

std::string TCmlDesktop::MakeRecorder(const std::string& name) const {
  const std::string path = root_ + "/" + name;
  const std::string record = Recording(name);
  // Written whole, then renamed: the test never reads half a record.
  WriteFileBytes(path, "#!/bin/sh\nprintf '%s\\0' \"$0\" \"$@\" > '" + record + ".part' && mv '" + record +
                           ".part' '" + record + "'\n");
  fs::permissions(path, fs::perms::owner_all);
  return path;
}

std::vector<std::string> TCmlDesktop::WaitForCall(const std::string& name) const {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  const std::string record = Recording(name);
  while (!fs::exists(record)) {
    if (std::chrono::steady_clock::now() > deadline) return {};
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  const std::string bytes = ReadFileBytes(record);
  std::vector<std::string> words;
  size_t start = 0;
  for (size_t end; (end = bytes.find('\0', start)) != std::string::npos; start = end + 1)
    words.push_back(bytes.substr(start, end - start));
  if (!words.empty()) words.erase(words.begin());  // $0
  fs::remove(record);
  return words;
}

TRunResult TCmlDesktop::Run(const std::vector<std::string>& argv, const std::string& cwd) const {
  const std::string out = root_ + "/run.out";
  const std::string err = root_ + "/run.err";
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  const pid_t child = ::fork();
  if (child == 0) {
    if (!cwd.empty() && ::chdir(cwd.c_str()) != 0) ::_exit(126);
    const int o = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int e = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int in = ::open("/dev/null", O_RDONLY);
    ::dup2(o, 1);
    ::dup2(e, 2);
    ::dup2(in, 0);
    ::execve(args[0], args.data(), environ);
    ::_exit(127);
  }
  TRunResult result;
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  result.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.Out = ReadFileBytes(out);
  result.Err = ReadFileBytes(err);
  return result;
}

TRunResult TCmlDesktop::Cml(const std::vector<std::string>& arguments, const std::string& cwd) const {
  std::vector<std::string> argv{QM_CML_PROGRAM};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  return Run(argv, cwd);
}

std::string ExpectedHandOver(int command, const std::vector<std::string>& paths) {
  std::string text = "\"[" + std::to_string(command) + "][" + std::to_string(paths.size()) + "]";
  for (const std::string& path : paths) text += path + "|";
  return text + "\"";
}

// --- How the file managers read commands -----------------------------------------------------------

std::vector<std::string> GShellSplit(const std::string& line) {
  std::vector<std::string> words;
  std::string word;
  bool inWord = false;
  for (size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (c == ' ' || c == '\t' || c == '\n') {
      if (inWord) words.push_back(word);
      word.clear();
      inWord = false;
    } else if (c == '\'') {
      inWord = true;
      const size_t end = line.find('\'', i + 1);
      word += line.substr(i + 1, end - i - 1);
      i = end;
    } else if (c == '"') {
      inWord = true;
      for (++i; i < line.size() && line[i] != '"'; ++i) {
        if (line[i] == '\\' && i + 1 < line.size() && std::strchr("$`\"\\\n", line[i + 1]))
          word += line[++i];
        else
          word += line[i];
      }
    } else if (c == '\\' && i + 1 < line.size()) {
      inWord = true;
      word += line[++i];
    } else {
      inWord = true;
      word += c;
    }
  }
  if (inWord) words.push_back(word);
  return words;
}

std::vector<std::string> DesktopExecSplit(const std::string& line) {
  std::vector<std::string> words;
  std::string word;
  bool inWord = false;
  for (size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (c == ' ') {
      if (inWord) words.push_back(word);
      word.clear();
      inWord = false;
    } else if (c == '"') {
      inWord = true;
      for (++i; i < line.size() && line[i] != '"'; ++i) {
        if (line[i] == '\\' && i + 1 < line.size())
          word += line[++i];
        else if (line[i] == '%' && i + 1 < line.size() && line[i + 1] == '%')
          word += line[i++];
        else
          word += line[i];
      }
    } else if (c == '%' && i + 1 < line.size() && line[i + 1] == '%') {
      inWord = true;
      word += line[i++];
    } else {
      inWord = true;
      word += c;
    }
  }
  if (inWord) words.push_back(word);
  return words;
}

std::string KeyFileUnescape(const std::string& value) {
  std::string out;
  for (size_t i = 0; i < value.size(); ++i) {
    if (value[i] != '\\' || i + 1 >= value.size()) {
      out += value[i];
      continue;
    }
    const char c = value[++i];
    out += c == 's' ? ' ' : c == 'n' ? '\n' : c == 't' ? '\t' : c == 'r' ? '\r' : c;
  }
  return out;
}

std::string KeyFileValue(const std::string& text, const std::string& section, const std::string& key) {
  std::istringstream in(text);
  std::string line;
  bool inSection = false;
  while (std::getline(in, line)) {
    if (!line.empty() && line[0] == '[') {
      inSection = line == "[" + section + "]";
      continue;
    }
    if (inSection && line.compare(0, key.size() + 1, key + "=") == 0)
      return KeyFileUnescape(line.substr(key.size() + 1));
  }
  return {};
}

std::string XmlUnescape(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '&') {
      out += text[i];
      continue;
    }
    const size_t semi = text.find(';', i);
    const std::string entity = text.substr(i + 1, semi - i - 1);
    out += entity == "amp"    ? '&'
           : entity == "lt"   ? '<'
           : entity == "gt"   ? '>'
           : entity == "quot" ? '"'
                              : '\'';
    i = semi;
  }
  return out;
}

std::string FileUri(const std::string& path) {
  static const char* kKept = "!$&'()*+,;=:@/-._~";
  std::string uri = "file://";
  for (unsigned char c : path) {
    if (std::isalnum(c) || std::strchr(kKept, c)) {
      uri += static_cast<char>(c);
    } else {
      char hex[4];
      std::snprintf(hex, sizeof hex, "%%%02X", c);
      uri += hex;
    }
  }
  return uri;
}

}  // namespace quillmar::test
