// quillmar-cml handing files over: to a running program over its socket, or by starting the
// program; what it refuses; and every failure reported with exit status 1.
#include <gtest/gtest.h>

#include <filesystem>

#include "core/qmHandOver.h"
#include "shellext/CmlTestKit.h"

namespace quillmar {
namespace {

namespace fs = std::filesystem;
using test::ExpectedHandOver;
using Paths = std::vector<std::string>;

class CmlDelivery : public ::testing::Test {
protected:
  test::TCmlDesktop desktop_;
};

TEST_F(CmlDelivery, ARunningProgramGetsTheExactPathsOfAwkwardNames) {
  test::TFakeInstance program(desktop_.SocketPath(), true);
  const Paths files = {desktop_.MakeFile("with blank.txt"),
                       desktop_.MakeFile("\"quoted\" 'too'"),
                       desktop_.MakeFile("$HOME and `x`"),
                       desktop_.MakeFile("back\\slash"),
                       desktop_.MakeFile("n\xC3\xA4me \xE2\x82\xAC.txt"),
                       desktop_.MakeFile("-x"),
                       desktop_.MakeFile("50% off")};
  Paths arguments = {"--lock", "--"};
  arguments.insert(arguments.end(), files.begin(), files.end());
  const test::TRunResult run = desktop_.Cml(arguments);
  EXPECT_EQ(run.Status, 0) << run.Err;
  EXPECT_EQ(run.Err, "");
  EXPECT_EQ(program.Payloads(), Paths{ExpectedHandOver(3, files)});
}

TEST_F(CmlDelivery, RelativeNamesComeFromTheCurrentFolderAndFileUrisAreDecoded) {
  test::TFakeInstance program(desktop_.SocketPath(), true);
  const std::string a = desktop_.MakeFile("sub dir/a.txt");
  const std::string b = desktop_.MakeFile("sub dir/b c.txt");
  const std::string d = desktop_.MakeFile("other/d\xC3\xA4%.txt");
  const test::TRunResult run =
      desktop_.Cml({"--send", "a.txt", "./b c.txt", "file://" + desktop_.Files() + "/other/d%C3%A4%25.txt"},
                   desktop_.Files() + "/sub dir");
  EXPECT_EQ(run.Status, 0) << run.Err;
  EXPECT_EQ(program.Payloads(), Paths{ExpectedHandOver(1, {a, b, d})});
}

TEST_F(CmlDelivery, BarsLongPathsFoldersAndOtherUrisAreRefusedByNameAndTheRestSent) {
  test::TFakeInstance program(desktop_.SocketPath(), true);
  desktop_.RecordNotifications();
  const std::string good = desktop_.MakeFile("good.txt");
  const std::string bar = desktop_.MakeFile("a|b.txt");
  const std::string longName = "/" + std::string(kMaxHandOverPath, 'l');
  const std::string folder = desktop_.Files() + "/folder";
  fs::create_directories(folder);
  const test::TRunResult run = desktop_.Cml({"--lock", bar, good, longName, folder, "sftp://host/x"});
  EXPECT_EQ(run.Status, 0) << run.Err;
  EXPECT_EQ(program.Payloads(), Paths{ExpectedHandOver(3, {good})});
  for (const std::string& name : {bar, longName, folder, std::string("sftp://host/x")})
    EXPECT_NE(run.Err.find(name), std::string::npos) << name;
  EXPECT_EQ(std::count(run.Err.begin(), run.Err.end(), '\n'), 4);
  // The person at the file manager hears of it too.
  const Paths notice = desktop_.WaitForCall("notify-send");
  ASSERT_FALSE(notice.empty());
  EXPECT_NE(notice.back().find("a|b.txt"), std::string::npos);

  // Nothing left to send: a failure.
  const test::TRunResult none = desktop_.Cml({"--lock", bar});
  EXPECT_EQ(none.Status, 1);
  EXPECT_NE(none.Err.find("No file was handed over"), std::string::npos);
  EXPECT_FALSE(desktop_.WaitForCall("notify-send").empty());
  EXPECT_EQ(program.Payloads().size(), 1u);
}

TEST_F(CmlDelivery, LockIntoFindsTheSafeByNameWhenItRuns) {
  test::TFakeInstance program(desktop_.SocketPath(), true);
  desktop_.AddSafe("Home");
  desktop_.AddSafe("Work");
  const std::string file = desktop_.MakeFile("f.txt");
  EXPECT_EQ(desktop_.Cml({"--lock-into", "Work", file}).Status, 0);
  // A Safe that sorts first moves Work to the third place.
  desktop_.AddSafe("Archive");
  EXPECT_EQ(desktop_.Cml({"--lock-into", "Work", file}).Status, 0);
  EXPECT_EQ(program.Payloads(), (Paths{ExpectedHandOver(5, {file}), ExpectedHandOver(6, {file})}));

  const test::TRunResult gone = desktop_.Cml({"--lock-into", "Private", file});
  EXPECT_EQ(gone.Status, 1);
  EXPECT_NE(gone.Err.find("There is no Safe \"Private\""), std::string::npos);
  EXPECT_EQ(program.Payloads().size(), 2u);
}

TEST_F(CmlDelivery, WithNoProgramRunningItIsStartedWithTheArgument) {
  const std::string program = desktop_.MakeRecorder("quillmar");
  const std::string file = desktop_.MakeFile("a b.txt");
  // A socket file left by a copy that crashed counts as none.
  test::WriteFileBytes(desktop_.SocketPath(), "");
  test::TRunResult run = desktop_.Cml({"--program", program, "--lock", file});
  EXPECT_EQ(run.Status, 0) << run.Err;
  EXPECT_EQ(desktop_.WaitForCall("quillmar"), Paths{"/rf:[3][1]" + file + "|"});

  // --home goes to the program as well.
  run = desktop_.Cml({"--home", desktop_.Home(), "--program", program, "--send", file});
  EXPECT_EQ(run.Status, 0) << run.Err;
  EXPECT_EQ(desktop_.WaitForCall("quillmar"), (Paths{"--home", desktop_.Home(), "/rf:[1][1]" + file + "|"}));
}

TEST_F(CmlDelivery, NoProgramAnywhereIsReportedAndNotified) {
  desktop_.RecordNotifications();
  const std::string file = desktop_.MakeFile("a.txt");
  const test::TRunResult run = desktop_.Cml({"--lock", file});
  EXPECT_EQ(run.Status, 1);
  EXPECT_EQ(run.Err, "quillmar-cml: Brelkan Quillmar II not found!\n");
  const Paths notice = desktop_.WaitForCall("notify-send");
  ASSERT_GE(notice.size(), 2u);
  EXPECT_EQ(notice[notice.size() - 2], "Brelkan Quillmar II");
  EXPECT_EQ(notice.back(), "Brelkan Quillmar II not found!");
}

TEST_F(CmlDelivery, AFailedStartOrASilentProgramIsAFailure) {
  const std::string file = desktop_.MakeFile("a.txt");
  const std::string notExecutable = desktop_.MakeFile("quillmar", "#!/bin/sh\n");
  test::TRunResult run = desktop_.Cml({"--program", notExecutable, "--lock", file});
  EXPECT_EQ(run.Status, 1);
  EXPECT_NE(run.Err.find("is not an executable file"), std::string::npos);

  // A program the system cannot run (its interpreter is missing).
  const std::string broken = desktop_.MakeFile("broken/quillmar", "#!/nonexistent/interpreter\n");
  fs::permissions(broken, fs::perms::owner_all);
  run = desktop_.Cml({"--program", broken, "--lock", file});
  EXPECT_EQ(run.Status, 1);
  EXPECT_NE(run.Err.find("could not be started"), std::string::npos);

  // More names than one argument can carry: refused before the start, which would fail.
  const std::string program = desktop_.MakeRecorder("quillmar");
  Paths many = {"--program", program, "--lock"};
  for (int i = 0; i < 80; ++i)
    many.push_back("/" + std::string(2000, char('a' + i % 26)) + std::to_string(i));
  run = desktop_.Cml(many);
  EXPECT_EQ(run.Status, 1);
  EXPECT_NE(run.Err.find("too many to start it with"), std::string::npos);
  EXPECT_FALSE(fs::exists(desktop_.Recording("quillmar")));

  // A program that takes the connection and never answers (5 s).
  test::TFakeInstance silent(desktop_.SocketPath(), false);
  run = desktop_.Cml({"--program", program, "--lock", file});
  EXPECT_EQ(run.Status, 1);
  EXPECT_NE(run.Err.find("did not answer within 5 seconds"), std::string::npos);
  EXPECT_EQ(silent.Payloads(), Paths{ExpectedHandOver(3, {file})});
  EXPECT_FALSE(fs::exists(desktop_.Recording("quillmar")));
}

}  // namespace
}  // namespace quillmar
