#pragma once
// ECliError: a failure of a command, carrying the exit code the program ends with.
//
// Exit codes (a fixed contract for scripts):
//   0 success; 1 the command ran but found a problem (check); 2 a usage error (unknown command or
//   option, missing or surplus argument, a path that names nothing); 3 a wrong master password;
//   4 any other failure (a file that cannot be read or written, a damaged Safe, a refused question).
// The message is one line for standard error; it never carries a password or a field value that
// may be secret.
#include <string>

#include "base/Exception.h"

namespace quillmar {

enum TCliExit : int {
  kExitOk = 0,
  kExitProblem = 1,
  kExitUsage = 2,
  kExitWrongPassword = 3,
  kExitFailure = 4,
};

class ECliError : public EQuillmarError {
public:
  ECliError(TCliExit code, const std::string& message) : EQuillmarError(message), code_(code) {}
  TCliExit Code() const { return code_; }

private:
  TCliExit code_;
};

// Shorthands for the common kinds.
inline ECliError UsageError(const std::string& message) {
  return ECliError(kExitUsage, message);
}
inline ECliError Failure(const std::string& message) {
  return ECliError(kExitFailure, message);
}

}  // namespace quillmar
