#pragma once
// The commands of quillmar-cli as data: name, handler, arguments, options and help text. The parser
// (CliArguments.h) checks a command line against this table, the usage texts are made from it and the
// program runs the handler it names, so the three cannot disagree.
#include <string>
#include <vector>

namespace quillmar {

class TCliContext;
// A command's work: done through the application core; returns the exit code (or throws ECliError).
using TCliHandler = int (*)(TCliContext&);

struct TCliOptionDef {
  std::string name;       // "--reveal"; "-R" style short names are listed in alias
  std::string alias;      // another spelling, or empty
  std::string valueName;  // empty: a flag without value; else the value's name in the help ("FILE")
  bool repeatable = false;
  std::string help;
};

struct TCliCommandDef {
  std::string name;
  TCliHandler run = nullptr;  // second, so that a definition without its handler does not compile
  std::string arguments;      // the synopsis after the name, "SAFE ENTRY [--reveal]"
  std::string summary;        // one line for the program's help
  std::string details;        // the command's own help, lines ended by "\n"
  int minArgs = 0;            // positional arguments
  int maxArgs = 0;            // -1: no limit
  std::vector<TCliOptionDef> options;

  const TCliOptionDef* FindOption(const std::string& nameOrAlias) const;
};

// Every command, in the order the help lists them.
const std::vector<TCliCommandDef>& CliCommands();
const TCliCommandDef* FindCliCommand(const std::string& name);

// The program's help (--help with no command) and a command's help.
std::string CliProgramUsage();
std::string CliCommandUsage(const TCliCommandDef& command);

}  // namespace quillmar
