#pragma once
// TqmAppPrompter: the prompter of the application core. Besides the questions of the Safe layer
// (Yes/No, notices) the core asks one question with three buttons: whether to retry writing back an
// opened file that another program still holds. The desktop program shows a message box with Cancel,
// Retry and Ignore; the command line asks on the terminal; tests script the answers.
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
};

}  // namespace quillmar
