#include "platform/AutostartEntry.h"

#include <cstdlib>
#include <filesystem>

#include "base/DurableFile.h"
#include "base/Exception.h"

namespace quillmar {

namespace fs = std::filesystem;

namespace {

// Characters that make an Exec argument need quotes.
constexpr std::string_view kReserved = " \t\n\"'\\><~|&;$*?#()`";

std::string ConfigFolder() {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  if (config != nullptr && config[0] == '/') return config;
  const char* home = std::getenv("HOME");
  if (home == nullptr || home[0] == '\0')
    throw EQuillmarError("The autostart folder cannot be found: neither XDG_CONFIG_HOME nor HOME is set.");
  return std::string(home) + "/.config";
}

}  // namespace

std::string AutostartEntryPath() {
  return ConfigFolder() + "/autostart/" + kAutostartFileName;
}

std::string DesktopEntryExecArgument(const std::string& argument) {
  if (argument.empty()) throw EQuillmarError("An empty argument cannot be written into an autostart entry.");
  for (unsigned char c : argument)
    if (c < 0x20 || c == 0x7F)
      throw EQuillmarError("The path " + argument +
                           " holds a control character and cannot be written into an autostart entry.");
  const bool quote = argument.find_first_of(kReserved) != std::string::npos;
  std::string exec;
  if (quote) exec += '"';
  for (char c : argument) {
    if (c == '%') {
      exec += "%%";
      continue;
    }
    if (quote && (c == '"' || c == '`' || c == '$' || c == '\\')) exec += '\\';
    exec += c;
  }
  if (quote) exec += '"';
  // The string escapes of the file format come on top of the quoting.
  std::string escaped;
  for (char c : exec) {
    if (c == '\\') escaped += '\\';
    escaped += c;
  }
  return escaped;
}

std::string AutostartEntryText(const std::vector<std::string>& command) {
  if (command.empty()) throw EQuillmarError("No program was given for the autostart entry.");
  std::string exec;
  for (const std::string& argument : command) {
    if (!exec.empty()) exec += ' ';
    exec += DesktopEntryExecArgument(argument);
  }
  return "[Desktop Entry]\n"
         "Type=Application\n"
         "Name=Brelkan Quillmar II\n"
         "Comment=Opens your Safe in the tray when the desktop starts\n"
         "Exec=" +
         exec +
         "\n"
         "Icon=quillmar\n"
         "Terminal=false\n"
         "X-GNOME-Autostart-enabled=true\n";
}

void WriteAutostartEntry(const std::vector<std::string>& command) {
  const std::string text = AutostartEntryText(command);
  const std::string path = AutostartEntryPath();
  const fs::path folder = fs::path(path).parent_path();
  std::error_code ec;
  fs::create_directories(folder, ec);
  if (ec)
    throw EQuillmarError("The autostart folder " + folder.string() + " cannot be made: " + ec.message() +
                         ".");
  // Replaced whole and durably; readable by the session that starts it, like any desktop entry.
  try {
    ReplaceFileWithBytes(path, text, 0644);
  } catch (const EDurableFileError& e) {
    throw EQuillmarError("The autostart entry " + path + " cannot be written: " + e.Reason() + ".");
  }
}

bool RemoveAutostartEntry() {
  try {
    std::error_code ec;
    fs::remove(AutostartEntryPath(), ec);
    return !fs::exists(AutostartEntryPath(), ec);
  } catch (...) {
    return false;
  }
}

bool AutostartEntryExists() {
  try {
    std::error_code ec;
    return fs::exists(AutostartEntryPath(), ec);
  } catch (...) {
    return false;
  }
}

}  // namespace quillmar
