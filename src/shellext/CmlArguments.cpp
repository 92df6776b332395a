#include "shellext/CmlArguments.h"

#include <algorithm>

#include "core/qmHandOver.h"

namespace quillmar {

const std::vector<std::string> kFileManagers = {"nautilus", "nemo", "dolphin", "thunar", "open-with"};

namespace {

// "--name VALUE" or "--name=VALUE" at arguments[i]; i moves past the value.
bool TakeValue(const std::vector<std::string>& arguments, size_t& i, const std::string& name,
               std::string& value, bool& found, std::string& error) {
  const std::string& word = arguments[i];
  found = false;
  if (word == name) {
    found = true;
    if (i + 1 >= arguments.size()) {
      error = name + " needs a value.";
      return false;
    }
    value = arguments[++i];
  } else if (word.compare(0, name.size() + 1, name + "=") == 0) {
    found = true;
    value = word.substr(name.size() + 1);
  } else {
    return true;
  }
  if (value.empty()) {
    error = name + " needs a value that is not empty.";
    return false;
  }
  return true;
}

bool SetHandOver(TCmlArguments& parsed, int command, const std::string& word, std::string& error) {
  if (parsed.Mode == TCmlArguments::TMode::HandOver) {
    error = "Give only one of --send, --lock, --lock-into and --command (" + word + " came second).";
    return false;
  }
  if (parsed.Mode != TCmlArguments::TMode::Help) {
    error = word + " cannot be given with a command such as install.";
    return false;
  }
  parsed.Mode = TCmlArguments::TMode::HandOver;
  parsed.Command = command;
  return true;
}

}  // namespace

bool ParseCmlArguments(const std::vector<std::string>& arguments, TCmlArguments& parsed, std::string& error) {
  parsed = TCmlArguments();
  bool commandNamed = false;
  bool help = false;
  bool afterDashes = false;
  std::string only;
  bool onlyGiven = false;
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string& word = arguments[i];
    if (afterDashes) {
      parsed.Files.push_back(word);
      continue;
    }
    if (word == "--") {
      afterDashes = true;
      continue;
    }
    if (word == "--help" || word == "-h") {
      help = true;
      continue;
    }
    bool found = false;
    std::string value;
    if (!TakeValue(arguments, i, "--home", parsed.Home, found, error)) return false;
    if (found) continue;
    if (!TakeValue(arguments, i, "--program", parsed.Program, found, error)) return false;
    if (found) continue;
    if (!TakeValue(arguments, i, "--only", only, found, error)) return false;
    if (found) {
      onlyGiven = true;
      continue;
    }
    if (!TakeValue(arguments, i, "--lock-into", value, found, error)) return false;
    if (found) {
      if (!SetHandOver(parsed, 0, "--lock-into", error)) return false;
      parsed.LockInto = value;
      continue;
    }
    if (!TakeValue(arguments, i, "--command", value, found, error)) return false;
    if (found) {
      int command = 0;
      if (!ParseDecimal(value, command) ||
          !(command == kHandOverSendFile || command == kHandOverLock || command >= kHandOverLockInto)) {
        error = "--command takes 1 (send), 3 (lock) or 4 and more (lock into a Safe), not \"" + value + "\".";
        return false;
      }
      if (!SetHandOver(parsed, command, "--command", error)) return false;
      continue;
    }
    if (word == "--send" || word == "--lock") {
      if (!SetHandOver(parsed, word == "--send" ? kHandOverSendFile : kHandOverLock, word, error))
        return false;
      continue;
    }
    if (word.size() > 1 && word[0] == '-') {
      error = "Unknown option " + word + " (a file whose name starts with \"-\" goes after \"--\").";
      return false;
    }
    if (parsed.Mode == TCmlArguments::TMode::HandOver || commandNamed) {
      parsed.Files.push_back(word);
      continue;
    }
    commandNamed = true;
    if (word == "install")
      parsed.Mode = TCmlArguments::TMode::Install;
    else if (word == "uninstall")
      parsed.Mode = TCmlArguments::TMode::Uninstall;
    else if (word == "refresh")
      parsed.Mode = TCmlArguments::TMode::Refresh;
    else if (word == "status")
      parsed.Mode = TCmlArguments::TMode::Status;
    else {
      error = "Unknown command \"" + word + "\" (files need --send, --lock, --lock-into or --command).";
      return false;
    }
  }

  if (help) {
    parsed.Mode = TCmlArguments::TMode::Help;
    return true;
  }
  if (onlyGiven && parsed.Mode != TCmlArguments::TMode::Install) {
    error = "--only goes with install.";
    return false;
  }
  if (onlyGiven) {
    size_t start = 0;
    for (;;) {
      const size_t comma = only.find(',', start);
      const std::string name =
          only.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
      if (std::find(kFileManagers.begin(), kFileManagers.end(), name) == kFileManagers.end()) {
        error = "--only knows nautilus, nemo, dolphin, thunar and open-with, not \"" + name + "\".";
        return false;
      }
      if (std::find(parsed.Only.begin(), parsed.Only.end(), name) == parsed.Only.end())
        parsed.Only.push_back(name);
      if (comma == std::string::npos) break;
      start = comma + 1;
    }
  }
  switch (parsed.Mode) {
    case TCmlArguments::TMode::Help:
      if (!parsed.Files.empty()) {
        error = "Files need --send, --lock, --lock-into or --command.";
        return false;
      }
      if (!parsed.Home.empty() || !parsed.Program.empty()) {
        error = "Nothing to do: give --send, --lock, --lock-into or --command and files, or a command.";
        return false;
      }
      return true;
    case TCmlArguments::TMode::HandOver:
      if (parsed.Files.empty()) {
        error = "No file was given.";
        return false;
      }
      return true;
    case TCmlArguments::TMode::Install:
      break;
    case TCmlArguments::TMode::Uninstall:
    case TCmlArguments::TMode::Refresh:
    case TCmlArguments::TMode::Status:
      if (!parsed.Home.empty() || !parsed.Program.empty()) {
        error = "--home and --program go with install and with files; this command uses what install wrote.";
        return false;
      }
      break;
  }
  if (!parsed.Files.empty()) {
    error = "The command takes no files.";
    return false;
  }
  return true;
}

std::string CmlUsageText() {
  return R"(Usage:
  quillmar-cml [--home DIR] [--program PATH] (--send | --lock | --lock-into SAFE | --command N) [--] FILE...
  quillmar-cml [--home DIR] [--program PATH] install [--only nautilus,nemo,dolphin,thunar,open-with]
  quillmar-cml uninstall | refresh | status

Hands files chosen in a file manager to Brelkan Quillmar II, and installs the file managers' menu items
that do so ("Brelkan Quillmar" in the menu of files).

  --send           send the (first) file via Zavozo Rero
  --lock           lock the files into the Safe that is open in the program
  --lock-into SAFE lock the files into the Safe of that name
  --command N      the same by number: 1 send, 3 lock, 4 + i the Safe at position i of the list
  --home DIR       the program's home folder (its Safes); else $QUILLMAR_HOME, else
                   $XDG_DATA_HOME/quillmar
  --program PATH   the program to start when it is not running; else the one install found, else
                   "quillmar" beside quillmar-cml, else in $PATH

  install          writes the menu items for every file manager (or those of --only) for this user;
                   again after a change, it rewrites them. The commands keep --home when given.
  uninstall        removes what install wrote, and nothing else
  refresh          writes the items again for the Safes there are now, quietly (the program runs it
                   after it made or deleted a Safe)
  status           lists what is installed

Files may be paths (relative ones are taken from the current folder) or file:// addresses.
Exit status: 0 handed over (or the program started with the files), 1 failed, 2 usage error.
)";
}

}  // namespace quillmar
