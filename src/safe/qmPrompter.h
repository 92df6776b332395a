#pragma once
// TqmPrompter: the questions and notices that the storage layers below the user interface need to put
// to the user ("File exists. Do you want to overwrite it?", "Folder already exists!", ...). The layers
// above implement it: message boxes in the desktop program, terminal prompts or flags in the command
// line, scripted answers in tests.
//
// Contract:
//  - Calls are made on the caller's thread, synchronously; the answer decides what the operation does.
//  - The texts are the exact user-facing messages; they never carry passwords or file contents.
//  - An implementation must not call back into the object that asked.
#include <string>

namespace quillmar {

class TqmPrompter {
public:
  // The four kinds of message box: information, warning and error with OK, and the plain box (no
  // icon) that shows a failure's text as it is.
  enum class TMessageKind { Information, Warning, Error, Plain };

  virtual ~TqmPrompter() = default;

  // A question with Yes and No. True for Yes; No (or closing the question) must leave everything
  // unchanged, and the caller treats it so.
  virtual bool AskYesNo(const std::string& title, const std::string& message) = 0;

  // A notice with an OK button. title may be empty.
  virtual void ShowMessage(TMessageKind kind, const std::string& title, const std::string& message) = 0;
};

}  // namespace quillmar
