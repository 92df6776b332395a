#pragma once
// The command line of quillmar-cml:
//
//   quillmar-cml [--home DIR] [--program PATH] (--send | --lock | --lock-into SAFE | --command N)
//                [--] FILE...
//   quillmar-cml [--home DIR] [--program PATH] install [--only LIST]
//   quillmar-cml uninstall | refresh | status
//   quillmar-cml --help
//
// Options may be written "--home DIR" or "--home=DIR". With a hand-over option every other word is a
// file (also one called "install"); without one, the first word that is no option names the command.
// After "--" every word is a file, whatever it looks like.
#include <string>
#include <vector>

namespace quillmar {

struct TCmlArguments {
  enum class TMode { HandOver, Install, Uninstall, Refresh, Status, Help };
  TMode Mode = TMode::Help;
  std::string Home;      // --home ("" when not given)
  std::string Program;   // --program ("" when not given)
  int Command = 0;       // HandOver: 1, 3, or 4 and more (--command); 0 with LockInto
  std::string LockInto;  // HandOver: the Safe's name of --lock-into
  std::vector<std::string> Files;
  std::vector<std::string> Only;  // Install: the file managers of --only (empty: all)
};

// The file managers install knows, in the order it writes them.
extern const std::vector<std::string> kFileManagers;

// Takes arguments (without the program's name) apart. False, with one sentence in error, for a
// usage error.
bool ParseCmlArguments(const std::vector<std::string>& arguments, TCmlArguments& parsed, std::string& error);

// The text of --help.
std::string CmlUsageText();

}  // namespace quillmar
