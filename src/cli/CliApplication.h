#pragma once
// TCliApplication: quillmar-cli from its arguments to its exit code.
//
// Parses the command line against the command table, prints the help texts, runs the command and
// turns every failure into one line on standard error and the exit code of CliError.h. Nothing is
// printed on standard output for a failed command except what it printed before it failed.
#include <ostream>
#include <string>
#include <vector>

namespace quillmar {

class TCliApplication {
public:
  // inputFd is where passwords and answers come from (0: standard input); out and err are the
  // program's standard output and error.
  TCliApplication(std::ostream& out, std::ostream& err, int inputFd);
  int Run(const std::vector<std::string>& args);

private:
  std::ostream& out_;
  std::ostream& err_;
  int inputFd_;
};

}  // namespace quillmar
