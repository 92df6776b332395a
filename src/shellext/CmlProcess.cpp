#include "shellext/CmlProcess.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>

#include "platform/DesktopLauncher.h"

extern char** environ;

namespace quillmar {

std::string SelfPath() {
  std::error_code ec;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::string() : self.string();
}

bool IsExecutableFile(const std::string& path) {
  struct stat st;
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
         ::access(path.c_str(), X_OK) == 0;
}

std::string FindInPath(const std::string& name) {
  const char* path = std::getenv("PATH");
  if (path == nullptr || name.empty() || name.find('/') != std::string::npos) return {};
  std::string folders = path;
  size_t start = 0;
  for (;;) {
    const size_t colon = folders.find(':', start);
    std::string folder =
        folders.substr(start, colon == std::string::npos ? std::string::npos : colon - start);
    if (folder.empty()) folder = ".";
    const std::string candidate = folder + "/" + name;
    if (IsExecutableFile(candidate)) {
      std::error_code ec;
      const std::string absolute = std::filesystem::absolute(candidate, ec).string();
      return ec ? candidate : absolute;
    }
    if (colon == std::string::npos) return {};
    start = colon + 1;
  }
}

std::string FindProgram(const std::string& explicitPath, const std::string& recorded, bool& explicitOk) {
  explicitOk = true;
  std::error_code ec;
  if (!explicitPath.empty()) {
    explicitOk = IsExecutableFile(explicitPath);
    if (!explicitOk) return {};
    const std::string absolute = std::filesystem::absolute(explicitPath, ec).string();
    return ec ? explicitPath : absolute;
  }
  if (IsExecutableFile(recorded)) return recorded;
  const std::string self = SelfPath();
  if (!self.empty()) {
    const std::string beside = (std::filesystem::path(self).parent_path() / kProgramFileName).string();
    if (IsExecutableFile(beside)) return beside;
  }
  return FindInPath(kProgramFileName);
}

int RunAndWait(const std::vector<std::string>& argv) {
  if (argv.empty()) return -1;
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  pid_t child = 0;
  const int started = ::posix_spawnp(&child, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (started != 0) return -1;
  int status = 0;
  while (::waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool NotifyDesktop(const std::string& message) {
  if (FindInPath("notify-send").empty()) return false;
  // Notification servers may read the body as markup: a file name's "<" or "&" must stay text.
  std::string body;
  for (char c : message) {
    if (c == '&')
      body += "&amp;";
    else if (c == '<')
      body += "&lt;";
    else if (c == '>')
      body += "&gt;";
    else
      body += c;
  }
  return LaunchDetached({"notify-send", "--app-name=" + std::string(kProgramTitle), "--icon=dialog-error",
                         kProgramTitle, body});
}

}  // namespace quillmar
