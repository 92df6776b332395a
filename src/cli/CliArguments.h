#pragma once
// TCliArguments: a command line checked against the command table.
//
// quillmar-cli [--home DIR] [--json] [--wait SECONDS] [--allow-costly-derivation] COMMAND ARGS...
// The program's options may also stand after the command. Options take their value as the next
// argument or after "=" ("--home=DIR"); "--" ends the options, so that a later argument that starts
// with "-" is taken as it is. "COMMAND --help" and "help COMMAND" ask for a command's help.
// Unknown commands and options, missing or surplus arguments and missing option values throw
// ECliError (usage) with a message that says what was wrong.
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "cli/CliCommandTable.h"

namespace quillmar {

class TCliArguments {
public:
  static TCliArguments Parse(const std::vector<std::string>& argv);  // argv without the program name

  std::optional<std::string> home;  // --home
  // --wait: how long to wait, in seconds, while another program reads or changes the Safe.
  std::optional<double> wait;
  bool json = false;
  bool help = false;                   // --help: the command's help, or the program's when command is null
  bool version = false;                // --version
  bool allowCostlyDerivation = false;  // --allow-costly-derivation
  const TCliCommandDef* command = nullptr;
  std::vector<std::string> args;  // positional arguments of the command

  // Options of the command, by their main name ("--set"); a flag holds one empty value per use.
  bool Has(const std::string& option) const { return options_.count(option) > 0; }
  // The (last) value of an option; nullopt when it was not given.
  std::optional<std::string> Value(const std::string& option) const;
  // Every value of a repeatable option, in the order given.
  std::vector<std::string> Values(const std::string& option) const;

private:
  std::map<std::string, std::vector<std::string>> options_;
};

}  // namespace quillmar
