#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <sstream>

#include "cli/CliApplication.h"
#include "cli/CliArguments.h"
#include "cli/CliCommandTable.h"
#include "cli/CliError.h"
#include "core/qmGlobal.h"

namespace quillmar {
namespace {

TCliArguments P(std::vector<std::string> v) {
  return TCliArguments::Parse(v);
}

// The exit code and message of a refused command line.
std::pair<int, std::string> Refusal(std::vector<std::string> v) {
  try {
    P(v);
  } catch (const ECliError& e) {
    return {e.Code(), e.what()};
  }
  return {0, ""};
}

TEST(CliArguments, ProgramOptionsBeforeAndAfterTheCommand) {
  auto a = P({"--home", "/h", "--json", "ls", "Main", "Internet", "-R"});
  ASSERT_NE(a.command, nullptr);
  EXPECT_EQ(a.command->name, "ls");
  EXPECT_EQ(*a.home, "/h");
  EXPECT_TRUE(a.json);
  EXPECT_EQ(a.args, (std::vector<std::string>{"Main", "Internet"}));
  EXPECT_TRUE(a.Has("--recursive"));

  auto b = P({"show", "Main", "Web/Login", "--home=/x", "--reveal", "--json"});
  EXPECT_EQ(*b.home, "/x");
  EXPECT_TRUE(b.json);
  EXPECT_TRUE(b.Has("--reveal"));
  EXPECT_FALSE(b.Has("--yes"));
}

TEST(CliArguments, RepeatedValuesAndTheEndOfOptions) {
  auto a = P({"add", "Main", "Web", "--set", "Title=A", "--set=Password=-x-", "--set", "--weird"});
  EXPECT_EQ(a.Values("--set"), (std::vector<std::string>{"Title=A", "Password=-x-", "--weird"}));
  EXPECT_EQ(*a.Value("--set"), "--weird");
  EXPECT_FALSE(a.Value("--nothing"));

  auto b = P({"search", "Main", "--", "-5"});
  EXPECT_EQ(b.args, (std::vector<std::string>{"Main", "-5"}));
  auto c = P({"lock", "Main", "a", "b", "c", "--into", "Docs"});
  EXPECT_EQ(c.args.size(), 4u);
  EXPECT_EQ(*c.Value("--into"), "Docs");
}

TEST(CliArguments, HelpForms) {
  EXPECT_TRUE(P({"--help"}).help);
  EXPECT_EQ(P({"--help"}).command, nullptr);
  auto a = P({"show", "--help"});
  EXPECT_TRUE(a.help);
  EXPECT_EQ(a.command->name, "show");
  auto b = P({"help", "passwd"});
  EXPECT_TRUE(b.help);
  EXPECT_EQ(b.command->name, "passwd");
  // Help needs no arguments of the command.
  EXPECT_NO_THROW(P({"edit", "-h"}));
}

TEST(CliArguments, UsageErrorsSayWhatWasWrong) {
  auto r = Refusal({});
  EXPECT_EQ(r.first, kExitUsage);
  EXPECT_NE(r.second.find("no command"), std::string::npos);
  r = Refusal({"frobnicate"});
  EXPECT_EQ(r.first, kExitUsage);
  EXPECT_NE(r.second.find("frobnicate"), std::string::npos);
  r = Refusal({"show", "Main"});
  EXPECT_NE(r.second.find("too few arguments for show"), std::string::npos);
  r = Refusal({"safes", "extra"});
  EXPECT_NE(r.second.find("\"extra\""), std::string::npos);
  r = Refusal({"ls", "Main", "--reveal"});
  EXPECT_NE(r.second.find("has no option --reveal"), std::string::npos);
  r = Refusal({"lock", "Main", "f", "--into"});
  EXPECT_NE(r.second.find("--into needs FOLDER"), std::string::npos);
  r = Refusal({"lock", "Main", "f", "--into", "a", "--into", "b"});
  EXPECT_NE(r.second.find("more than once"), std::string::npos);
  r = Refusal({"show", "Main", "E", "--reveal=yes"});
  EXPECT_NE(r.second.find("takes no value"), std::string::npos);
  r = Refusal({"--home", "", "safes"});
  EXPECT_EQ(r.first, kExitUsage);
}

TEST(CliArguments, WaitTakesPlainSecondsUpToADay) {
  EXPECT_FALSE(P({"ls", "Main"}).wait.has_value());
  EXPECT_DOUBLE_EQ(*P({"--wait", "2.5", "ls", "Main"}).wait, 2.5);
  EXPECT_DOUBLE_EQ(*P({"ls", "Main", "--wait=0"}).wait, 0.0);
  EXPECT_DOUBLE_EQ(*P({"--wait", "86400", "ls", "Main"}).wait, 86400.0);
  for (const char* bad : {"-1", "86401", "inf", "nan", "0x10", "1e3", ".", "1.2.3", "", "five"}) {
    const auto r = Refusal({"--wait", bad, "ls", "Main"});
    EXPECT_EQ(r.first, kExitUsage) << bad;
    EXPECT_NE(r.second.find("option --wait needs a number of seconds from 0 to 86400"), std::string::npos)
        << bad << ": " << r.second;
  }
  EXPECT_EQ(Refusal({"ls", "Main", "--wait"}).first, kExitUsage);
}

TEST(CliArguments, EveryCommandOfTheTableHasHelp) {
  EXPECT_NE(
      CliProgramUsage().find("Usage: quillmar-cli [--home DIR] [--json] [--wait SECONDS] COMMAND ARGS..."),
      std::string::npos);
  for (const auto& c : CliCommands()) {
    EXPECT_NE(CliProgramUsage().find("  " + c.name + " "), std::string::npos) << c.name;
    const std::string usage = CliCommandUsage(c);
    EXPECT_EQ(usage.rfind("Usage: quillmar-cli [--home DIR] [--json] [--wait SECONDS] " + c.name, 0), 0u)
        << c.name;
    for (const auto& o : c.options)
      EXPECT_NE(usage.find(o.name), std::string::npos) << c.name << " " << o.name;
  }
}

TEST(CliArguments, EveryCommandRunsItsOwnHandler) {
  std::set<TCliHandler> handlers;
  for (const auto& c : CliCommands()) {
    ASSERT_NE(c.run, nullptr) << c.name;
    EXPECT_TRUE(handlers.insert(c.run).second) << c.name << " shares another command's handler";
  }
}

TEST(CliArguments, VersionIsTheCoresVersionText) {
  std::ostringstream out, err;
  TCliApplication app(out, err, -1);
  EXPECT_EQ(app.Run({"--version"}), kExitOk);
  EXPECT_EQ(out.str(), "quillmar-cli " + TqmGlobal::ProgramVersionText() + "\n");
  EXPECT_TRUE(std::regex_match(TqmGlobal::ProgramVersionText(), std::regex(R"(\d+\.\d+\.\d+\.\d+)")))
      << TqmGlobal::ProgramVersionText();
}

}  // namespace
}  // namespace quillmar
