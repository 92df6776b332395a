// The installed commands run as each file manager runs them, with awkward file names, against a
// fake running program (and a recording fake program when none runs): the exact paths arrive.
#include <gtest/gtest.h>

#include <filesystem>

#include "shellext/CmlTestKit.h"

namespace quillmar {
namespace {

namespace fs = std::filesystem;
using test::ExpectedHandOver;
using Paths = std::vector<std::string>;

const Paths kNames = {"with blank.txt", "\"double\" and 'single'",  "$HOME `pwd`",
                      "back\\slash",    "n\xC3\xA4me \xE2\x82\xAC", "-x",
                      "50% %U %F"};

// GLib's g_shell_quote, as Thunar quotes each path for %F.
std::string GShellQuote(const std::string& word) {
  std::string quoted = "'";
  for (char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

class FileManagerCommands : public ::testing::Test {
protected:
  void SetUp() override {
    desktop_.AddSafe("Home");
    desktop_.AddSafe("Work");
    program_ = desktop_.MakeRecorder("quillmar");
    const test::TRunResult run = desktop_.Cml({"--home", desktop_.Home(), "--program", program_, "install"});
    ASSERT_EQ(run.Status, 0) << run.Err;
    for (const std::string& name : kNames) paths_.push_back(desktop_.MakeFile(name));
  }
  std::string Data(const std::string& relative) const { return desktop_.Data() + "/" + relative; }

  // The words of a command line with the word `code` replaced by the files.
  static Paths WithFiles(Paths words, const std::string& code, const Paths& files) {
    Paths argv;
    for (const std::string& word : words) {
      if (word == code)
        argv.insert(argv.end(), files.begin(), files.end());
      else
        argv.push_back(word);
    }
    return argv;
  }

  Paths NemoCommand(const std::string& file) const {
    const std::string exec =
        test::KeyFileValue(test::ReadFileBytes(Data("nemo/actions/" + file)), "Nemo Action", "Exec");
    // Quote=double: each URI in double quotes, then the whole line split like a shell.
    std::string uris;
    for (const std::string& path : paths_) uris += (uris.empty() ? "\"" : " \"") + test::FileUri(path) + "\"";
    const size_t at = exec.rfind("%U");
    EXPECT_NE(at, std::string::npos);
    return test::GShellSplit(exec.substr(0, at) + uris + exec.substr(at + 2));
  }

  Paths ThunarCommand(const std::string& id) const {
    const std::string uca = test::ReadFileBytes(desktop_.Config() + "/Thunar/uca.xml");
    const size_t action = uca.find("<unique-id>" + id + "</unique-id>");
    EXPECT_NE(action, std::string::npos);
    const size_t open = uca.find("<command>", action) + 9;
    const std::string command = test::XmlUnescape(uca.substr(open, uca.find("</command>", open) - open));
    std::string quoted;
    for (const std::string& path : paths_) quoted += (quoted.empty() ? "" : " ") + GShellQuote(path);
    const size_t at = command.rfind("%F");
    EXPECT_NE(at, std::string::npos);
    return test::GShellSplit(command.substr(0, at) + quoted + command.substr(at + 2));
  }

  Paths DesktopCommand(const std::string& file, const std::string& section) const {
    const std::string exec = test::KeyFileValue(test::ReadFileBytes(file), section, "Exec");
    return WithFiles(test::DesktopExecSplit(exec), "%F", paths_);
  }

  test::TCmlDesktop desktop_;
  std::string program_;
  Paths paths_;
};

TEST_F(FileManagerCommands, EachFileManagersCommandDeliversTheExactPaths) {
  test::TFakeInstance program(desktop_.SocketPath(), true);
  Paths expected;

  // Nautilus runs a script in the folder it shows, with the names as arguments.
  const test::TRunResult script = desktop_.Run(
      WithFiles({Data("nautilus/scripts/Brelkan Quillmar/Lock file ..."), "NAMES"}, "NAMES", kNames),
      desktop_.Files());
  EXPECT_EQ(script.Status, 0) << script.Err;
  expected.push_back(ExpectedHandOver(3, paths_));

  const test::TRunResult nemo = desktop_.Run(NemoCommand("quillmar-003-lock-in-Work.nemo_action"));
  EXPECT_EQ(nemo.Status, 0) << nemo.Err;
  expected.push_back(ExpectedHandOver(5, paths_));

  const test::TRunResult dolphin =
      desktop_.Run(DesktopCommand(Data("kio/servicemenus/quillmar.desktop"), "Desktop Action quillmar2"));
  EXPECT_EQ(dolphin.Status, 0) << dolphin.Err;
  expected.push_back(ExpectedHandOver(4, paths_));

  const test::TRunResult thunar = desktop_.Run(ThunarCommand("quillmar-lock"));
  EXPECT_EQ(thunar.Status, 0) << thunar.Err;
  expected.push_back(ExpectedHandOver(3, paths_));

  const test::TRunResult openWith =
      desktop_.Run(DesktopCommand(Data("applications/quillmar-send.desktop"), "Desktop Entry"));
  EXPECT_EQ(openWith.Status, 0) << openWith.Err;
  expected.push_back(ExpectedHandOver(1, paths_));

  EXPECT_EQ(program.Payloads(), expected);
}

TEST_F(FileManagerCommands, WithNoProgramRunningTheActionStartsTheProgramInstallFound) {
  const test::TRunResult thunar = desktop_.Run(ThunarCommand("quillmar-send"));
  EXPECT_EQ(thunar.Status, 0) << thunar.Err;
  std::string argument = "/rf:[1][" + std::to_string(paths_.size()) + "]";
  for (const std::string& path : paths_) argument += path + "|";
  EXPECT_EQ(desktop_.WaitForCall("quillmar"), (Paths{"--home", desktop_.Home(), argument}));
}

// The Nautilus extension, loaded by python3 with a stand-in for gi.repository.Nautilus: its menu
// for files and for a folder, and the command an item runs.
TEST_F(FileManagerCommands, TheNautilusExtensionBuildsTheMenuAndRunsTheCommand) {
  ASSERT_FALSE(desktop_.RealPython().empty()) << "python3 is needed";
  desktop_.SetNautilusPython(true);
  ASSERT_EQ(desktop_.Cml({"--home", desktop_.Home(), "--program", program_, "install", "--only", "nautilus"})
                .Status,
            0);
  Paths argv = {desktop_.RealPython(), QM_SHELLEXT_TEST_DIR "/nautilus_extension_check.py",
                Data("nautilus-python/extensions/quillmar.py"), desktop_.Files()};
  argv.insert(argv.end(), paths_.begin(), paths_.end());
  const test::TRunResult run = desktop_.Run(argv);
  ASSERT_EQ(run.Status, 0) << run.Err;
  std::string expected =
      "menu: Brelkan Quillmar | Brelkan Quillmar II\n"
      "item: Send file via Zavozo Rero | Send file via Zavozo Rero\n"
      "item: Lock file ... | Lock file ...\n"
      "item: Lock file in [Safe: Home] | Lock file in [Safe: Home]\n"
      "item: Lock file in [Safe: Work] | Lock file in [Safe: Work]\n"
      "folder chosen: 0 items\n"
      "run:\n";
  Paths command = {
      fs::canonical(QM_CML_PROGRAM).string(), "--home", desktop_.Home(), "--lock-into", "Work", "--"};
  command.insert(command.end(), paths_.begin(), paths_.end());
  for (const std::string& word : command) expected += word + "\n";
  EXPECT_EQ(run.Out, expected);
}

}  // namespace
}  // namespace quillmar
