#pragma once
// Shared pieces of the Safe layer tests: a prompter that answers from a script and records what it
// was asked, and a fixture with an empty Safe open in a temporary folder.
#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "safe/qmPrompter.h"
#include "safe/qmSFSWrapper.h"
#include "support/TempDir.h"

namespace quillmar::test {

class ScriptedPrompter : public TqmPrompter {
public:
  // Answers given in order; a question beyond the script fails the test and is answered No.
  std::deque<bool> Answers;
  std::vector<std::string> Questions;
  std::vector<std::string> Messages;

  bool AskYesNo(const std::string&, const std::string& message) override {
    Questions.push_back(message);
    if (Answers.empty()) {
      ADD_FAILURE() << "unexpected question: " << message;
      return false;
    }
    bool answer = Answers.front();
    Answers.pop_front();
    return answer;
  }
  void ShowMessage(TMessageKind, const std::string&, const std::string& message) override {
    Messages.push_back(message);
  }
};

class SafeFixture : public ::testing::Test {
protected:
  static constexpr char kPassword[] = "correct horse";

  void SetUp() override {
    safeFile = dir.file("Test.qvt");
    safe.CreateEmptySafe(safeFile, kPassword);
  }

  TempDir dir;
  ScriptedPrompter prompter;
  TqmSFSWrapper safe{&prompter};
  std::string safeFile;
};

}  // namespace quillmar::test
