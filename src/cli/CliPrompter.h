#pragma once
// TCliPrompter: the questions and notices of the layers below, on a terminal.
//
// A question is answered Yes at once when the command was given --yes. Otherwise, on a terminal,
// it is printed to standard error with "[y/N]" and the user's line decides (y or yes, any letter
// case, is Yes; anything else is No). When standard input is not a terminal nobody can answer, so the
// question counts as No and is remembered: the command then fails with a message that names the
// question and says to add --yes. The three-button question (write back a file another program
// holds) is never answered by --yes.
// Notices are not printed at once: they are kept so that a command that fails can put the reason
// into its one error line; Flush prints the ones left over (a warning that did not end the command).
#include <string>
#include <vector>

#include "cli/CliConsole.h"
#include "cli/CliPasswordReader.h"
#include "core/qmAppPrompter.h"

namespace quillmar {

class TCliPrompter : public TqmAppPrompter {
public:
  TCliPrompter(TCliConsole& console, TCliPasswordReader& input) : console_(console), input_(input) {}

  void SetAssumeYes(bool yes) { assumeYes_ = yes; }
  // The answer to AllowCostlyDerivation: the program's option --allow-costly-derivation. --yes does
  // not answer it, and it is never asked on the terminal: a script or a user opts in explicitly.
  void SetAllowCostlyDerivation(bool allow) { allowCostly_ = allow; }

  bool AskYesNo(const std::string& title, const std::string& message) override;
  void ShowMessage(TMessageKind kind, const std::string& title, const std::string& message) override;
  // On a terminal: "[c]ancel, [r]etry, [i]gnore"; without one (or on an unclear answer): Cancel,
  // which keeps everything as it is. --yes does not answer it.
  TRetryAnswer AskCancelRetryIgnore(const std::string& title, const std::string& message) override;
  bool AllowCostlyDerivation(const std::string& message) override { return allowCostly_; }

  // The last question answered No because nobody could be asked (UTF-8, one line), or "".
  const std::string& Unanswered() const { return unanswered_; }
  // The last question answered No by the user, or "".
  const std::string& Declined() const { return declined_; }
  // The notices kept so far (UTF-8, one line each), oldest first; TakeNotices empties the list.
  const std::vector<std::string>& Notices() const { return notices_; }
  std::vector<std::string> TakeNotices();
  // Prints the notices left as "quillmar-cli: note: ..." lines ("warning:" for warnings and errors)
  // and forgets them.
  void Flush();

private:
  TCliConsole& console_;
  TCliPasswordReader& input_;
  bool assumeYes_ = false;
  bool allowCostly_ = false;
  std::string unanswered_;
  std::string declined_;
  std::vector<std::string> notices_;
  std::vector<TMessageKind> kinds_;  // of each notice
};

}  // namespace quillmar
