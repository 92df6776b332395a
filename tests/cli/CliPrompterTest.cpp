// The prompter's answers when nobody can be asked, and the password reader on a pipe.
#include <gtest/gtest.h>
#include <unistd.h>

#include <sstream>

#include "cli/CliError.h"
#include "cli/CliPrompter.h"

namespace quillmar {
namespace {

TEST(CliPrompter, WithoutATerminalQuestionsAreNoAndRemembered) {
  int p[2];
  ASSERT_EQ(pipe(p), 0);
  close(p[1]);
  std::ostringstream out, err;
  TCliConsole console(out, err);
  TCliPasswordReader reader(p[0], err);
  TCliPrompter prompter(console, reader);
  EXPECT_FALSE(reader.Interactive());
  EXPECT_FALSE(prompter.AskYesNo("", "File exists. Do you want to overwrite it?"));
  EXPECT_EQ(prompter.Unanswered(), "File exists. Do you want to overwrite it?");
  EXPECT_EQ(
      prompter.AskCancelRetryIgnore("", "File opened by another application.\r\nDo you want to skip file?"),
      TqmAppPrompter::TRetryAnswer::Cancel);
  EXPECT_EQ(prompter.Unanswered(), "File opened by another application. Do you want to skip file?");
  prompter.SetAssumeYes(true);
  EXPECT_TRUE(prompter.AskYesNo("", "Do you really want to remove this folder and all its contents?"));
  // Notices are kept for the error line, then printed once by Flush.
  prompter.ShowMessage(TqmPrompter::TMessageKind::Information, "", "Folder already exists!");
  prompter.ShowMessage(TqmPrompter::TMessageKind::Warning, "", "The settings cannot be read.");
  EXPECT_EQ(prompter.Notices().size(), 2u);
  prompter.Flush();
  EXPECT_EQ(
      err.str(),
      "quillmar-cli: note: Folder already exists!\nquillmar-cli: warning: The settings cannot be read.\n");
  EXPECT_TRUE(prompter.Notices().empty());
  EXPECT_EQ(out.str(), "");
  close(p[0]);
}

TEST(CliPasswordReader, OneLinePerPasswordFromAPipe) {
  int p[2];
  ASSERT_EQ(pipe(p), 0);
  const std::string input = "first\r\nsecond with blanks \n\nlast-without-newline";
  ASSERT_EQ(write(p[1], input.data(), input.size()), static_cast<ssize_t>(input.size()));
  close(p[1]);
  std::ostringstream prompts;
  TCliPasswordReader reader(p[0], prompts);
  EXPECT_EQ(reader.Read("P: ", "password"), "first");
  // From a pipe a new password is read once, not twice.
  EXPECT_EQ(reader.ReadNew("N: ", "R: ", "password"), "second with blanks ");
  EXPECT_EQ(reader.Read("P: ", "password"), "");
  EXPECT_EQ(reader.Read("P: ", "password"), "last-without-newline");
  EXPECT_THROW(reader.Read("P: ", "password"), ECliError);
  EXPECT_EQ(prompts.str(), "") << "no prompt without a terminal";
  close(p[0]);
}

}  // namespace
}  // namespace quillmar
