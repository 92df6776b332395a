// The command line of quillmar-cml.
#include <gtest/gtest.h>

#include "shellext/CmlArguments.h"

namespace quillmar {
namespace {

using TMode = TCmlArguments::TMode;

TCmlArguments Parsed(const std::vector<std::string>& words) {
  TCmlArguments parsed;
  std::string error;
  EXPECT_TRUE(ParseCmlArguments(words, parsed, error)) << error;
  return parsed;
}

std::string Refused(const std::vector<std::string>& words) {
  TCmlArguments parsed;
  std::string error;
  EXPECT_FALSE(ParseCmlArguments(words, parsed, error));
  return error;
}

TEST(CmlArguments, HandOversTakeEveryOtherWordAsAFileAndDashesEndTheOptions) {
  TCmlArguments a = Parsed({"--home", "/h", "--lock", "install", "b"});
  EXPECT_EQ(a.Mode, TMode::HandOver);
  EXPECT_EQ(a.Command, 3);
  EXPECT_EQ(a.Home, "/h");
  EXPECT_EQ(a.Files, (std::vector<std::string>{"install", "b"}));

  a = Parsed({"--program=/p/quillmar", "--lock-into", "My Safe", "--", "-x", "--send", "--"});
  EXPECT_EQ(a.Program, "/p/quillmar");
  EXPECT_EQ(a.LockInto, "My Safe");
  EXPECT_EQ(a.Command, 0);
  EXPECT_EQ(a.Files, (std::vector<std::string>{"-x", "--send", "--"}));

  EXPECT_EQ(Parsed({"--send", "f"}).Command, 1);
  EXPECT_EQ(Parsed({"--command", "7", "f"}).Command, 7);
  EXPECT_EQ(Parsed({"--command=3", "f"}).Command, 3);
}

TEST(CmlArguments, CommandsAndTheirOptions) {
  TCmlArguments a = Parsed({"install", "--only", "nemo,thunar,nemo"});
  EXPECT_EQ(a.Mode, TMode::Install);
  EXPECT_EQ(a.Only, (std::vector<std::string>{"nemo", "thunar"}));
  a = Parsed({"--home=/h", "install"});
  EXPECT_EQ(a.Home, "/h");
  EXPECT_TRUE(a.Only.empty());
  EXPECT_EQ(Parsed({"uninstall"}).Mode, TMode::Uninstall);
  EXPECT_EQ(Parsed({"refresh"}).Mode, TMode::Refresh);
  EXPECT_EQ(Parsed({"status"}).Mode, TMode::Status);
  EXPECT_EQ(Parsed({}).Mode, TMode::Help);
  EXPECT_EQ(Parsed({"--lock", "f", "--help"}).Mode, TMode::Help);
}

TEST(CmlArguments, UsageErrorsSayWhatIsWrong) {
  EXPECT_NE(Refused({"--send", "--lock", "f"}).find("only one"), std::string::npos);
  EXPECT_NE(Refused({"--lock"}).find("No file"), std::string::npos);
  EXPECT_NE(Refused({"--lock", "-x"}).find("\"--\""), std::string::npos);
  EXPECT_NE(Refused({"--command", "2", "f"}).find("not \"2\""), std::string::npos);
  EXPECT_NE(Refused({"--command", "x", "f"}).find("--command"), std::string::npos);
  EXPECT_NE(Refused({"--home"}).find("needs a value"), std::string::npos);
  EXPECT_NE(Refused({"--lock-into=", "f"}).find("not empty"), std::string::npos);
  EXPECT_NE(Refused({"install", "--only", "konqueror"}).find("konqueror"), std::string::npos);
  EXPECT_NE(Refused({"status", "--only", "nemo"}).find("--only"), std::string::npos);
  EXPECT_NE(Refused({"uninstall", "--home", "/h"}).find("--home"), std::string::npos);
  EXPECT_NE(Refused({"install", "file"}).find("no files"), std::string::npos);
  EXPECT_NE(Refused({"lock", "file"}).find("Unknown command"), std::string::npos);
  EXPECT_NE(Refused({"--", "file"}).find("--send"), std::string::npos);
}

}  // namespace
}  // namespace quillmar
