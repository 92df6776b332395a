// The repository search's text test and the prompter's answers when nobody can be asked.
#include <gtest/gtest.h>
#include <unistd.h>

#include <sstream>

#include "cli/CliError.h"
#include "cli/CliPrompter.h"
#include "cli/CliRepository.h"

namespace quillmar {
namespace {

TEST(CliSearch, LetterCaseThroughTheCodePage) {
  EXPECT_TRUE(TCliRepository::Matches("abc", "xABCx", false));
  EXPECT_FALSE(TCliRepository::Matches("abc", "xABCx", true));
  // windows-1252: e acute / E acute, oe / OE, y diaeresis / Y diaeresis.
  EXPECT_TRUE(TCliRepository::Matches("caf\xE9", "CAF\xC9", false));
  EXPECT_TRUE(TCliRepository::Matches("\x9C", "\x8C", false));
  EXPECT_TRUE(TCliRepository::Matches("\xFF", "\x9F", false));
  // The division sign has no capital: it is not the multiplication sign.
  EXPECT_FALSE(TCliRepository::Matches("\xF7", "\xD7", false));
  EXPECT_FALSE(TCliRepository::Matches("", "anything", false));
  EXPECT_FALSE(TCliRepository::Matches("longer", "long", false));
}

TEST(CliSearch, AllFieldsComparesFieldsWithLetterCase) {
  TqmCategory cat;
  cat.SetName("Web");
  TqmRepositoryEntry e(&cat);
  e.Fields().Add(TqmField(0, "Title", ftNormalText, false, "xABCx"));
  e.Fields().Add(TqmField(1, "Password", ftPassword, false, "abc"));
  EXPECT_TRUE(TCliRepository::EntryMatches(e, "abc", false, false));
  TqmRepositoryEntry f(&cat);
  f.Fields().Add(TqmField(0, "Title", ftNormalText, false, "Mail"));
  f.Fields().Add(TqmField(1, "Password", ftPassword, false, "ABC"));
  EXPECT_FALSE(TCliRepository::EntryMatches(f, "abc", false, false));
  EXPECT_FALSE(TCliRepository::EntryMatches(f, "abc", false, true));
  EXPECT_TRUE(TCliRepository::EntryMatches(f, "ABC", false, true));
  cat.Fields().Add(TqmField(0, "PIN", ftPassword, false));
  EXPECT_TRUE(TCliRepository::CategoryMatches(cat, "PIN", false, true));
  EXPECT_FALSE(TCliRepository::CategoryMatches(cat, "pin", false, true));
  EXPECT_FALSE(TCliRepository::CategoryMatches(cat, "PIN", false, false));
}

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
  prompter.ShowMessage(TqmPrompter::TMessageKind::Warning, "", "Folder already exists!");
  EXPECT_EQ(prompter.Notices().size(), 1u);
  prompter.Flush();
  EXPECT_EQ(err.str(), "quillmar-cli: note: Folder already exists!\n");
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
