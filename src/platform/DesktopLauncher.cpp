#include "platform/DesktopLauncher.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace quillmar {

bool LaunchDetached(const std::vector<std::string>& argv) {
  if (argv.empty() || argv[0].empty()) return false;
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);

  // The grandchild reports a failed exec through a close-on-exec pipe: a successful exec closes it
  // with nothing written.
  int report[2];
  if (::pipe2(report, O_CLOEXEC) != 0) return false;
  pid_t child = ::fork();
  if (child < 0) {
    ::close(report[0]);
    ::close(report[1]);
    return false;
  }
  if (child == 0) {
    ::close(report[0]);
    ::setsid();
    pid_t grandchild = ::fork();
    if (grandchild == 0) {
      ::execvp(args[0], args.data());
      int err = errno;
      (void)!::write(report[1], &err, sizeof err);
      ::_exit(127);
    }
    ::_exit(grandchild < 0 ? 1 : 0);
  }
  ::close(report[1]);
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  int err = 0;
  ssize_t n;
  do n = ::read(report[0], &err, sizeof err);
  while (n < 0 && errno == EINTR);
  ::close(report[0]);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return false;
  return n == 0;
}

bool OpenDocument(const std::string& target) {
  if (target.empty()) return false;
  return LaunchDetached({"xdg-open", target});
}

std::vector<std::string> SplitParameters(const std::string& params) {
  std::vector<std::string> words;
  std::string word;
  bool inWord = false;
  char quote = 0;
  for (size_t i = 0; i < params.size(); ++i) {
    char c = params[i];
    if (quote) {
      if (c == quote) {
        quote = 0;
      } else if (c == '\\' && quote == '"' && i + 1 < params.size()) {
        word += params[++i];
      } else {
        word += c;
      }
    } else if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
      if (inWord) words.push_back(std::move(word));
      word.clear();
      inWord = false;
    } else {
      inWord = true;
      if (c == '"' || c == '\'') {
        quote = c;
      } else if (c == '\\' && i + 1 < params.size()) {
        word += params[++i];
      } else {
        word += c;
      }
    }
  }
  if (inWord) words.push_back(std::move(word));
  return words;
}

bool OpenProgramOrDocument(const std::string& file, const std::string& params) {
  struct stat st;
  bool program = file.find('/') != std::string::npos && ::stat(file.c_str(), &st) == 0 &&
                 S_ISREG(st.st_mode) && ::access(file.c_str(), X_OK) == 0;
  if (!program) return OpenDocument(file);
  std::vector<std::string> argv{file};
  for (std::string& w : SplitParameters(params)) argv.push_back(std::move(w));
  return LaunchDetached(argv);
}

std::string LogonUserName() {
  if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_name && *pw->pw_name) return pw->pw_name;
  const char* user = std::getenv("USER");
  return user ? user : "";
}

}  // namespace quillmar
