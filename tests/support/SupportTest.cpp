// The shared test helpers themselves: a helper that lets a wrong question or a missing exception pass
// would hide the faults every other test relies on it to catch.
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "base/Exception.h"
#include "container/SFSError.h"
#include "support/ExpectThrow.h"
#include "support/ScriptedPrompter.h"

namespace quillmar::test {
namespace {

using TRetry = TqmAppPrompter::TRetryAnswer;
using TKind = TqmPrompter::TMessageKind;

TEST(ScriptedPrompter, ScriptedQuestionsAreAnsweredInOrderAndEverythingIsRecorded) {
  TScriptedPrompter p;
  p.ExpectYesNo("Overwrite?", true);
  p.ExpectRetry(TRetry::Retry);
  p.ExpectYesNo(false);
  p.ExpectRetry("Still held", TRetry::Ignore);
  EXPECT_EQ(p.Remaining(), 4u);
  std::vector<std::string> seen;
  p.OnMessage = [&](const std::string& m) { seen.push_back(m + " (callback)"); };

  EXPECT_TRUE(p.AskYesNo("title", "Overwrite?"));
  p.ShowMessage(TKind::Warning, "", "first notice");
  EXPECT_EQ(p.AskCancelRetryIgnore("title", "any text"), TRetry::Retry);
  EXPECT_FALSE(p.AskYesNo("", "Delete?"));
  p.ShowMessage(TKind::Plain, "t", "second notice");
  EXPECT_EQ(p.AskCancelRetryIgnore("", "Still held"), TRetry::Ignore);

  EXPECT_EQ(p.Remaining(), 0u);
  EXPECT_EQ(p.Questions, (std::vector<std::string>{"Overwrite?", "any text", "Delete?", "Still held"}));
  EXPECT_EQ(p.Messages, (std::vector<std::string>{"first notice", "second notice"}));
  EXPECT_EQ(seen, (std::vector<std::string>{"first notice (callback)", "second notice (callback)"}));
  EXPECT_TRUE(p.Unexpected.empty());
}

TEST(ScriptedPrompter, StrictFailsOnAnUnexpectedQuestionWithItsTextAndAnswersNoOrCancel) {
  TScriptedPrompter p;
  bool answer = true;
  EXPECT_NONFATAL_FAILURE(answer = p.AskYesNo("t", "Delete the Safe?"), "Delete the Safe?");
  EXPECT_FALSE(answer);
  TRetry retry = TRetry::Retry;
  EXPECT_NONFATAL_FAILURE(retry = p.AskCancelRetryIgnore("t", "File is held"), "File is held");
  EXPECT_EQ(retry, TRetry::Cancel);

  // Another text than the scripted one, or another kind of question: a failure that names both, and
  // the scripted answer waits for its own question.
  p.ExpectYesNo("Overwrite?", true);
  EXPECT_NONFATAL_FAILURE(answer = p.AskYesNo("t", "Delete?"), "Overwrite?");
  EXPECT_FALSE(answer);
  EXPECT_NONFATAL_FAILURE(retry = p.AskCancelRetryIgnore("t", "Overwrite?"), "Overwrite?");
  EXPECT_EQ(retry, TRetry::Cancel);
  EXPECT_EQ(p.Remaining(), 1u);
  EXPECT_TRUE(p.AskYesNo("t", "Overwrite?"));
  EXPECT_TRUE(p.Unexpected.empty());
  EXPECT_EQ(p.Questions.size(), 5u);
}

TEST(ScriptedPrompter, StrictFailsWhenAScriptedQuestionIsNeverAsked) {
  EXPECT_NONFATAL_FAILURE(
      {
        TScriptedPrompter p;
        p.ExpectYesNo("Overwrite?", true);
      },
      "never asked: Overwrite?");
  EXPECT_NONFATAL_FAILURE(
      {
        TScriptedPrompter p;
        p.ExpectRetry(TRetry::Retry);
      },
      "never asked");
}

TEST(ScriptedPrompter, LenientAnswersUnexpectedQuestionsWithTheStatedDefaultAndRecordsThem) {
  TScriptedPrompter p;
  p.SetLenient(true, TRetry::Ignore);
  p.ExpectYesNo("Scripted?", false);
  EXPECT_TRUE(p.AskYesNo("t", "Unscripted?"));  // not the scripted text: the default
  EXPECT_FALSE(p.AskYesNo("t", "Scripted?"));   // the script still comes first
  EXPECT_EQ(p.AskCancelRetryIgnore("t", "Held"), TRetry::Ignore);
  EXPECT_EQ(p.Unexpected, (std::vector<std::string>{"Unscripted?", "Held"}));
  EXPECT_EQ(p.Questions, (std::vector<std::string>{"Unscripted?", "Scripted?", "Held"}));

  TScriptedPrompter no;
  no.SetLenient();
  EXPECT_FALSE(no.AskYesNo("t", "q"));
  EXPECT_EQ(no.AskCancelRetryIgnore("t", "q"), TRetry::Cancel);
  no.ExpectYesNo(true);  // left unused: no failure in lenient mode
}

TEST(ExpectThrow, GivesTheMessageOfTheNamedExceptionAndFailsWhenNoneIsThrown) {
  EXPECT_EQ(ExpectThrow([] { throw ESFSError("engine refused"); }), "engine refused");
  EXPECT_EQ(ExpectThrow<EQuillmarError>([] { throw ESFSError("as its base"); }), "as its base");
  EXPECT_EQ(ExpectThrow<std::runtime_error>([] { throw std::runtime_error("any"); }), "any");
  std::string result;
  EXPECT_NONFATAL_FAILURE(result = ExpectThrow([] {}), "no exception was thrown");
  EXPECT_EQ(result, kNoException);
  // Another type is not taken for the expected one.
  EXPECT_THROW(ExpectThrow([] { throw EQuillmarError("not the engine's"); }), EQuillmarError);
  EXPECT_THROW(ExpectThrow<EQuillmarError>([] { throw std::logic_error("other"); }), std::logic_error);
}

}  // namespace
}  // namespace quillmar::test
