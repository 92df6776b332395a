#include <gtest/gtest.h>

#include "cli/CliError.h"
#include "cli/CliItemPath.h"

namespace quillmar {
namespace {

using Parts = std::vector<TCliPathPart>;

TEST(CliItemPath, SplitsAtSlashesAndKeepsEscapedOnes) {
  EXPECT_EQ(TCliItemPath::Parse("Internet/E-Mail/My mailbox"),
            (Parts{{"Internet", 0}, {"E-Mail", 0}, {"My mailbox", 0}}));
  EXPECT_EQ(TCliItemPath::Parse("Bank/Login a\\/b"), (Parts{{"Bank", 0}, {"Login a/b", 0}}));
  EXPECT_EQ(TCliItemPath::Parse("C:\\\\temp"), (Parts{{"C:\\temp", 0}}));
  // A backslash before anything else is an ordinary character.
  EXPECT_EQ(TCliItemPath::Parse("a\\b"), (Parts{{"a\\b", 0}}));
}

TEST(CliItemPath, EdgeSlashesAndTheTopLevel) {
  EXPECT_TRUE(TCliItemPath::Parse("").empty());
  EXPECT_TRUE(TCliItemPath::Parse("/").empty());
  EXPECT_EQ(TCliItemPath::Parse("Internet/"), (Parts{{"Internet", 0}}));
  EXPECT_EQ(TCliItemPath::Parse("/Internet/Mail"), (Parts{{"Internet", 0}, {"Mail", 0}}));
  // An escaped slash at the end is part of the name, not an edge.
  EXPECT_EQ(TCliItemPath::Parse("a\\/"), (Parts{{"a/", 0}}));
  EXPECT_THROW(TCliItemPath::Parse("a//b"), ECliError);
  EXPECT_THROW(TCliItemPath::Parse("//"), ECliError);
}

TEST(CliItemPath, NumbersOfEqualTitles) {
  EXPECT_EQ(TCliItemPath::Parse("Web/Login#2"), (Parts{{"Web", 0}, {"Login", 2}}));
  EXPECT_EQ(TCliItemPath::Parse("Web#3/Login"), (Parts{{"Web", 3}, {"Login", 0}}));
  // Only a "#" followed by digits to the end of the name counts.
  EXPECT_EQ(TCliItemPath::Parse("C#"), (Parts{{"C#", 0}}));
  EXPECT_EQ(TCliItemPath::Parse("#tag"), (Parts{{"#tag", 0}}));
  EXPECT_EQ(TCliItemPath::Parse("a#1b"), (Parts{{"a#1b", 0}}));
  EXPECT_EQ(TCliItemPath::Parse("Room 12\\#4"), (Parts{{"Room 12#4", 0}}));
  EXPECT_EQ(TCliItemPath::Parse("a#2#3"), (Parts{{"a#2", 3}}));
  // The empty title is reached by its number.
  EXPECT_EQ(TCliItemPath::Parse("Notes/#1"), (Parts{{"Notes", 0}, {"", 1}}));
  try {
    TCliItemPath::Parse("Web/Login#0");
    FAIL() << "#0 accepted";
  } catch (const ECliError& e) {
    EXPECT_EQ(e.Code(), kExitUsage);
  }
  EXPECT_THROW(TCliItemPath::Parse("a#12345678901"), ECliError);
}

TEST(CliItemPath, FormatGivesBackWhatParseReads) {
  const std::vector<Parts> cases = {
      {{"Internet", 0}, {"My mailbox", 0}},
      {{"a/b", 0}, {"c\\d", 2}},
      {{"Room #4", 0}},
      {{"x#9", 0}},
      {{"x#9", 1}},
      {{"ends with \\", 0}, {"\\/#1", 0}},
      {{"C#", 0}},
      {{"", 3}},
  };
  for (const auto& p : cases) {
    const std::string text = TCliItemPath::Format(p);
    EXPECT_EQ(TCliItemPath::Parse(text), p) << text;
  }
  EXPECT_EQ(TCliItemPath::Format({{"a/b", 0}, {"Login", 2}}), "a\\/b/Login#2");
  EXPECT_EQ(TCliItemPath::Escape("x#9"), "x\\#9");
  EXPECT_EQ(TCliItemPath::FormatPart({"", 0}), "#1");
}

}  // namespace
}  // namespace quillmar
