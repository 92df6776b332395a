#pragma once
// TScriptedPrompter: the prompter of tests. A test scripts the questions it expects, in order, each
// with its answer; every question and every notice is recorded.
//
//  - Strict (the default): a question that is not the next one scripted (another text, another kind,
//    or none left) fails the test with the question's text and is answered No or Cancel, so that
//    nothing is changed on a wrong answer; answers scripted but never asked fail the test when the
//    prompter is destroyed.
//  - Lenient (SetLenient): an unexpected question gets the stated default answer and is recorded in
//    Unexpected; the test says by choosing this mode that it does not care which questions come.
//    Scripted answers still come first, and unused ones are not a failure.
//
// Header-only: it needs the core's prompter interface, and qm_testsupport links only the engine.
#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/qmAppPrompter.h"

namespace quillmar::test {

class TScriptedPrompter : public TqmAppPrompter {
public:
  using TRetry = TqmAppPrompter::TRetryAnswer;

  TScriptedPrompter() = default;
  TScriptedPrompter(const TScriptedPrompter&) = delete;
  TScriptedPrompter& operator=(const TScriptedPrompter&) = delete;
  ~TScriptedPrompter() override {
    if (lenient_) return;
    for (const TStep& step : script_)
      ADD_FAILURE() << "a scripted question was never asked: "
                    << (step.message ? *step.message : std::string("(any ") + KindName(step.kind) + ")");
  }

  // Scripts the next Yes/No question: with its exact text, or any text.
  void ExpectYesNo(std::string message, bool answer) {
    script_.push_back({TKind::YesNo, std::move(message), answer, TRetry::Cancel});
  }
  void ExpectYesNo(bool answer) { script_.push_back({TKind::YesNo, std::nullopt, answer, TRetry::Cancel}); }
  // Scripts the next Cancel/Retry/Ignore question: with its exact text, or any text.
  void ExpectRetry(std::string message, TRetry answer) {
    script_.push_back({TKind::Retry, std::move(message), false, answer});
  }
  void ExpectRetry(TRetry answer) { script_.push_back({TKind::Retry, std::nullopt, false, answer}); }

  // Unexpected questions get these answers instead of failing the test.
  void SetLenient(bool yesNoDefault = false, TRetry retryDefault = TRetry::Cancel) {
    lenient_ = true;
    yesNoDefault_ = yesNoDefault;
    retryDefault_ = retryDefault;
  }

  // How many scripted answers are still waiting for their question.
  size_t Remaining() const { return script_.size(); }

  // Every question asked, in order (Yes/No and Cancel/Retry/Ignore alike).
  std::vector<std::string> Questions;
  // Every notice shown, in order.
  std::vector<std::string> Messages;
  // The questions answered with the lenient default.
  std::vector<std::string> Unexpected;

  // Called after a notice is recorded (the user acting while the message box is up).
  std::function<void(const std::string&)> OnMessage;

  bool AskYesNo(const std::string&, const std::string& message) override {
    Questions.push_back(message);
    if (const TStep* step = Next(TKind::YesNo, message)) {
      const bool answer = step->yesNo;
      script_.pop_front();
      return answer;
    }
    return yesNoDefault_;
  }

  TRetry AskCancelRetryIgnore(const std::string&, const std::string& message) override {
    Questions.push_back(message);
    if (const TStep* step = Next(TKind::Retry, message)) {
      const TRetry answer = step->retry;
      script_.pop_front();
      return answer;
    }
    return retryDefault_;
  }

  void ShowMessage(TMessageKind, const std::string&, const std::string& message) override {
    Messages.push_back(message);
    if (OnMessage) OnMessage(message);
  }

private:
  enum class TKind { YesNo, Retry };
  struct TStep {
    TKind kind;
    std::optional<std::string> message;
    bool yesNo;
    TRetry retry;
  };

  static const char* KindName(TKind kind) {
    return kind == TKind::YesNo ? "Yes/No question" : "Retry question";
  }

  // The scripted step that answers this question, or null when it is unexpected (recorded, or a
  // failure of the test in strict mode).
  const TStep* Next(TKind kind, const std::string& message) {
    if (!script_.empty()) {
      const TStep& step = script_.front();
      if (step.kind == kind && (!step.message || *step.message == message)) return &step;
    }
    if (lenient_) {
      Unexpected.push_back(message);
      return nullptr;
    }
    if (script_.empty())
      ADD_FAILURE() << "unexpected " << KindName(kind) << ": " << message;
    else
      ADD_FAILURE() << "unexpected " << KindName(kind) << ": " << message << "\n  the script expected the "
                    << KindName(script_.front().kind) << ": "
                    << script_.front().message.value_or("(any text)");
    return nullptr;
  }

  std::deque<TStep> script_;
  bool lenient_ = false;
  bool yesNoDefault_ = false;
  TRetry retryDefault_ = TRetry::Cancel;
};

}  // namespace quillmar::test
