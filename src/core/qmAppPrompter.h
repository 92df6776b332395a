#pragma once
// TqmAppPrompter: the prompter of the application core. Besides the questions of the Safe layer
// (Yes/No, notices) the core asks one question with three buttons: whether to retry writing back an
// opened file that another program still holds. The desktop program shows a message box with Cancel,
// Retry and Ignore; the command line asks on the terminal; tests script the answers. And one before
// a costly key derivation (AllowCostlyDerivation).
#include <string>

#include "safe/qmPrompter.h"

namespace quillmar {

class TqmAppPrompter : public TqmPrompter {
public:
  enum class TRetryAnswer { Cancel, Retry, Ignore };

  // The caption of the core's own questions and notices.
  static constexpr char kProductTitle[] = "Brelkan Quillmar II";

  // A question with the buttons Cancel, Retry and Ignore. Closing the question counts as Cancel.
  virtual TRetryAnswer AskCancelRetryIgnore(const std::string& title, const std::string& message) = 0;

  // Before a Safe's key derivation that asks for more memory or passes than this program ever writes
  // (the message names the cost and about how long it takes, and ends in a question): true runs it,
  // false leaves the Safe unopened. By default the Yes/No question (closing it counts as No); the
  // command line answers from its option --allow-costly-derivation instead of asking.
  virtual bool AllowCostlyDerivation(const std::string& message) { return AskYesNo(kProductTitle, message); }
};

}  // namespace quillmar
