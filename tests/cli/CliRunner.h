#pragma once
// Runs the built quillmar-cli in a child process: arguments, standard input as given (a pipe, so
// the program reads one password per line), standard output and error captured, exit code.
// RunOnTerminal gives the child a pseudo-terminal instead and feeds the input as typed keys.
#include <string>
#include <vector>

namespace quillmar::test {

struct TCliRun {
  int code = -1;
  std::string out;
  std::string err;
};

// The program under test (QM_CLI_PROGRAM from the build).
std::string CliProgram();

TCliRun RunCli(const std::vector<std::string>& args, const std::string& input = "");

// The child's standard input, output and error are one pseudo-terminal; input is written line by
// line once the child asks (each line after the previous prompt appeared). Returns everything the
// terminal showed in out.
TCliRun RunCliOnTerminal(const std::vector<std::string>& args, const std::vector<std::string>& lines);

}  // namespace quillmar::test
