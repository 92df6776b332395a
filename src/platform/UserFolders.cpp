#include "platform/UserFolders.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace quillmar {

namespace {

std::string HomeFolder() {
  const char* home = std::getenv("HOME");
  return home && *home ? home : "/";
}

// The first line printed by `xdg-user-dir DESKTOP`, or "" when the tool is missing or fails.
std::string AskXdgUserDir() {
  FILE* pipe = ::popen("xdg-user-dir DESKTOP 2>/dev/null", "r");
  if (!pipe) return {};
  std::string out;
  char buf[512];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0) out.append(buf, n);
  const int status = ::pclose(pipe);
  if (status != 0) return {};
  const size_t eol = out.find('\n');
  if (eol != std::string::npos) out.resize(eol);
  return out;
}

std::string XdgFolder(const char* variable, const char* belowHome) {
  const char* value = std::getenv(variable);
  if (value != nullptr && value[0] == '/') return value;
  const char* home = std::getenv("HOME");
  if (home == nullptr || home[0] == '\0') return {};
  return std::string(home) + belowHome;
}

}  // namespace

std::string UserDataFolder() {
  return XdgFolder("XDG_DATA_HOME", "/.local/share");
}

std::string UserConfigFolder() {
  return XdgFolder("XDG_CONFIG_HOME", "/.config");
}

std::string DesktopFolder() {
  std::string folder = AskXdgUserDir();
  if (folder.empty() || folder[0] != '/') folder = (std::filesystem::path(HomeFolder()) / "Desktop").string();
  return folder;
}

std::string DesktopFolderDisplayName() {
  std::filesystem::path folder(DesktopFolder());
  std::string name = folder.lexically_normal().filename().string();
  if (name.empty()) name = folder.lexically_normal().parent_path().filename().string();
  return name.empty() ? "Desktop" : name;
}

std::string TempFolder() {
  const char* tmp = std::getenv("TMPDIR");
  return tmp && *tmp ? tmp : "/tmp";
}

}  // namespace quillmar
