#pragma once
// Runs the built quillmar-cli in a child process: arguments, standard input as given (a pipe, so
// the program reads one password per line), standard output and error captured, exit code.
// RunOnTerminal gives the child a pseudo-terminal instead and feeds the input as typed keys.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/TempDir.h"

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

// A test that runs quillmar-cli against its own home folder, answering every master-password
// question with `password` unless a test gives other input.
class TCliHomeTest : public ::testing::Test {
protected:
  explicit TCliHomeTest(std::string password) : password_(std::move(password)) {}

  TempDir dir;
  std::string home = dir.file("home");

  TCliRun Q(std::vector<std::string> args) { return Q(std::move(args), password_ + "\n"); }
  TCliRun Q(std::vector<std::string> args, const std::string& input) {
    args.insert(args.begin(), {"--home", home});
    return RunCli(args, input);
  }
  // The command must succeed; its standard output.
  std::string Ok(std::vector<std::string> args) { return Ok(std::move(args), password_ + "\n"); }
  std::string Ok(std::vector<std::string> args, const std::string& input) {
    TCliRun r = Q(args, input);
    EXPECT_EQ(r.code, 0) << "command " << args[0] << " failed: " << r.err;
    return r.out;
  }

private:
  std::string password_;
};

}  // namespace quillmar::test
