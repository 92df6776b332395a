#pragma once
// TqmQtPrompter: the questions and notices of the layers below the desktop (TqmAppPrompter) as Qt
// message boxes. Yes/No questions default to No; the three-button question (a file another program
// still holds) defaults to Retry.
#include "core/qmAppPrompter.h"

class QWidget;

namespace quillmar {

class TqmQtPrompter : public TqmAppPrompter {
public:
  // The window the boxes belong to by default (may be null: the active window).
  void SetParent(QWidget* parent) { parent_ = parent; }

  bool AskYesNo(const std::string& title, const std::string& message) override;
  void ShowMessage(TMessageKind kind, const std::string& title, const std::string& message) override;
  TRetryAnswer AskCancelRetryIgnore(const std::string& title, const std::string& message) override;

private:
  QWidget* parent_ = nullptr;
};

}  // namespace quillmar
