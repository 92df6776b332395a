#pragma once
// Handing a prepared message to the desktop's default e-mail program, where the user sees it and
// sends it: `xdg-email` with the subject, body, recipient and attachment. The program is started
// and not waited for; the mail program's own result is not known.
#include <string>
#include <vector>

namespace quillmar {

// A message for the mail program. Texts are 8-bit windows-1252 (as the core holds them); the
// attachment is a path of the file system.
struct TqmMailHandOver {
  std::string subject;
  std::string body;
  std::string originatorAddress;  // empty: the mail program's own account
  std::string originatorName;
  std::string recipientAddress;  // empty: the user fills it in
  std::string recipientName;
  std::string attachment;  // path of the file to attach
};

// The command line for xdg-email, program name first. xdg-email cannot set the sender, so the
// originator is not on it: the mail program sends from its own account.
std::vector<std::string> XdgEmailArguments(const TqmMailHandOver& message);

// Starts xdg-email (found through PATH) with the message. Returns false, having handed nothing
// over, when it cannot be started (not installed).
bool HandOverToMailProgram(const TqmMailHandOver& message);

}  // namespace quillmar
