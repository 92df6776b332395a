// install, uninstall, refresh and status of the file-manager actions, in a private desktop.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <map>

#include "shellext/CmlTestKit.h"

namespace quillmar {
namespace {

namespace fs = std::filesystem;
using Paths = std::vector<std::string>;

// Every file below a folder with its bytes and mode. The desktop's MIME cache, which
// update-desktop-database writes again after install and uninstall, is the desktop's, not ours.
std::map<std::string, std::pair<std::string, unsigned>> Snapshot(const std::string& folder) {
  std::map<std::string, std::pair<std::string, unsigned>> files;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    if (entry.path().filename() == "mimeinfo.cache") continue;
    struct stat st;
    ::lstat(entry.path().c_str(), &st);
    files[entry.path().string()] = {entry.is_regular_file() ? test::ReadFileBytes(entry.path()) : "<folder>",
                                    unsigned(st.st_mode & 0777)};
  }
  return files;
}

unsigned Mode(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 ? unsigned(st.st_mode & 0777) : 0u;
}

class ActionInstall : public ::testing::Test {
protected:
  void SetUp() override {
    desktop_.AddSafe("Home");
    desktop_.AddSafe("Work");
    program_ = desktop_.MakeRecorder("quillmar");
  }
  test::TRunResult Install(const Paths& more = {}) {
    Paths arguments = {"--home", desktop_.Home(), "--program", program_, "install"};
    arguments.insert(arguments.end(), more.begin(), more.end());
    return desktop_.Cml(arguments);
  }
  std::string Data(const std::string& relative) const { return desktop_.Data() + "/" + relative; }
  std::string Uca() const { return desktop_.Config() + "/Thunar/uca.xml"; }

  test::TCmlDesktop desktop_;
  std::string program_;
};

TEST_F(ActionInstall, EveryRouteWritesItsFilesWithTheirModesAndSaysWhatToDoNext) {
  const test::TRunResult run = Install();
  ASSERT_EQ(run.Status, 0) << run.Err;
  const std::string scripts = Data("nautilus/scripts/Brelkan Quillmar/");
  for (const char* name : {"Send file via Zavozo Rero", "Lock file ...", "Lock file in [Safe: Home]",
                           "Lock file in [Safe: Work]"})
    EXPECT_EQ(Mode(scripts + name), 0755u) << name;
  EXPECT_EQ(Mode(Data("nemo/actions/quillmar-000-send.nemo_action")), 0644u);
  EXPECT_EQ(Mode(Data("nemo/actions/quillmar-003-lock-in-Work.nemo_action")), 0644u);
  EXPECT_EQ(Mode(Data("kio/servicemenus/quillmar.desktop")), 0755u);
  EXPECT_EQ(Mode(Data("applications/quillmar-send.desktop")), 0644u);
  EXPECT_EQ(Mode(Uca()), 0644u);
  EXPECT_EQ(Mode(Data("quillmar-cml/manifest")), 0600u);

  const std::string nemo = test::ReadFileBytes(Data("nemo/actions/quillmar-002-lock-in-Home.nemo_action"));
  EXPECT_EQ(test::KeyFileValue(nemo, "Nemo Action", "Name"), "Lock file in [Safe: Home]");
  EXPECT_EQ(test::KeyFileValue(nemo, "Nemo Action", "Selection"), "notnone");
  EXPECT_EQ(test::KeyFileValue(nemo, "Nemo Action", "Extensions"), "nodirs;");
  EXPECT_EQ(test::KeyFileValue(nemo, "Nemo Action", "Quote"), "double");
  const std::string dolphin = test::ReadFileBytes(Data("kio/servicemenus/quillmar.desktop"));
  EXPECT_EQ(test::KeyFileValue(dolphin, "Desktop Entry", "X-KDE-ServiceTypes"), "KonqPopupMenu/Plugin");
  EXPECT_EQ(test::KeyFileValue(dolphin, "Desktop Entry", "MimeType"), "all/allfiles;");
  EXPECT_EQ(test::KeyFileValue(dolphin, "Desktop Entry", "X-KDE-Submenu"), "Brelkan Quillmar");
  EXPECT_EQ(test::KeyFileValue(dolphin, "Desktop Action quillmar3", "Name"), "Lock file in [Safe: Work]");
  const std::string openWith = test::ReadFileBytes(Data("applications/quillmar-send.desktop"));
  EXPECT_EQ(test::KeyFileValue(openWith, "Desktop Entry", "NoDisplay"), "true");
  EXPECT_EQ(test::KeyFileValue(openWith, "Desktop Entry", "MimeType"), "application/octet-stream;");
  EXPECT_NE(test::KeyFileValue(openWith, "Desktop Entry", "Exec").find(" --send -- %F"), std::string::npos);

  for (const char* next : {"Nautilus:", "thunar -q", "Nemo:", "Dolphin:", "Open with:", program_.c_str()})
    EXPECT_NE(run.Out.find(next), std::string::npos) << next;
}

TEST_F(ActionInstall, TheOpenWithEntryIsValidAndUcaXmlParses) {
  ASSERT_EQ(Install().Status, 0);
  const test::TRunResult valid =
      desktop_.Run({"/usr/bin/desktop-file-validate", Data("applications/quillmar-send.desktop")});
  EXPECT_EQ(valid.Status, 0) << valid.Out << valid.Err;
  EXPECT_EQ(valid.Out.find("error"), std::string::npos) << valid.Out;
  const test::TRunResult parsed = desktop_.Run({desktop_.RealPython(), "-c",
                                                "import sys, xml.dom.minidom as m; d = m.parse(sys.argv[1]); "
                                                "print(*[a.getElementsByTagName('unique-id')[0].firstChild."
                                                "data for a in d.getElementsByTagName('action')])",
                                                Uca()});
  EXPECT_EQ(parsed.Status, 0) << parsed.Err;
  EXPECT_EQ(parsed.Out, "quillmar-send quillmar-lock quillmar-lock-in-Home quillmar-lock-in-Work\n");
}

TEST_F(ActionInstall, TwiceGivesTheSameBytesAndUninstallLeavesTheUsersFilesAsTheyWere) {
  // The user's own things, in the very folders the routes use.
  const std::string userUca =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<actions>\n<action>\n\t<icon>utilities-terminal</icon>\n"
      "\t<name>Open Terminal Here</name>\n\t<unique-id>1690000000000000-1</unique-id>\n"
      "\t<command>exo-open --working-directory %f --launch TerminalEmulator</command>\n"
      "\t<description>Example for a custom action</description>\n\t<patterns>*</patterns>\n"
      "\t<startup-notify/>\n\t<directories/>\n</action>\n</actions>\n";
  fs::create_directories(desktop_.Config() + "/Thunar");
  test::WriteFileBytes(Uca(), userUca);
  fs::permissions(Uca(), fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::replace);
  fs::create_directories(Data("nemo/actions"));
  test::WriteFileBytes(Data("nemo/actions/mine.nemo_action"), "[Nemo Action]\nName=Mine\n");
  fs::create_directories(Data("applications"));
  test::WriteFileBytes(Data("applications/mine.desktop"), "[Desktop Entry]\nName=Mine\n");
  const auto dataBefore = Snapshot(desktop_.Data());
  const auto configBefore = Snapshot(desktop_.Config());

  ASSERT_EQ(Install().Status, 0);
  const auto dataOnce = Snapshot(desktop_.Data());
  const auto configOnce = Snapshot(desktop_.Config());
  EXPECT_NE(test::ReadFileBytes(Uca()).find("Open Terminal Here"), std::string::npos);
  EXPECT_EQ(Mode(Uca()), 0600u);
  ASSERT_EQ(Install().Status, 0);
  EXPECT_EQ(Snapshot(desktop_.Data()), dataOnce);
  EXPECT_EQ(Snapshot(desktop_.Config()), configOnce);

  const test::TRunResult status = desktop_.Cml({"status"});
  EXPECT_EQ(status.Status, 0);
  EXPECT_NE(status.Out.find("for the Safes in " + desktop_.Home()), std::string::npos);
  EXPECT_NE(status.Out.find("4 of 4 actions"), std::string::npos) << status.Out;
  EXPECT_NE(status.Out.find("2 Safes: Home, Work"), std::string::npos) << status.Out;

  const test::TRunResult gone = desktop_.Cml({"uninstall"});
  EXPECT_EQ(gone.Status, 0) << gone.Err;
  auto dataAfter = Snapshot(desktop_.Data());
  EXPECT_EQ(dataAfter, dataBefore);
  EXPECT_EQ(Snapshot(desktop_.Config()), configBefore);
  EXPECT_NE(desktop_.Cml({"status"}).Out.find("No file-manager actions"), std::string::npos);
}

TEST_F(ActionInstall, AUcaXmlMadeForUsStartsFromTheSystemsAndGoesAwayWithUs) {
  const std::string system =
      "<?xml version=\"1.0\"?>\n<actions>\n<action><unique-id>sys</unique-id></action>\n"
      "</actions>\n";
  fs::create_directories(desktop_.Root() + "/xdg/Thunar");
  test::WriteFileBytes(desktop_.Root() + "/xdg/Thunar/uca.xml", system);
  ASSERT_EQ(Install({"--only", "thunar"}).Status, 0);
  const std::string merged = test::ReadFileBytes(Uca());
  EXPECT_EQ(merged.find(system.substr(0, system.size() - 11)), 0u);
  EXPECT_NE(merged.find("quillmar-lock-in-Work"), std::string::npos);
  ASSERT_EQ(desktop_.Cml({"uninstall"}).Status, 0);
  EXPECT_FALSE(fs::exists(Uca()));
  EXPECT_FALSE(fs::exists(desktop_.Config() + "/Thunar"));
}

TEST_F(ActionInstall, RefreshFollowsTheSafesAndABrokenUcaXmlIsLeftAlone) {
  ASSERT_EQ(Install({"--only", "nemo,thunar"}).Status, 0);
  desktop_.AddSafe("Archive");
  fs::remove(desktop_.Home() + "Work.qvt");
  const test::TRunResult run = desktop_.Cml({"refresh"});
  ASSERT_EQ(run.Status, 0) << run.Err;
  EXPECT_TRUE(fs::exists(Data("nemo/actions/quillmar-002-lock-in-Archive.nemo_action")));
  EXPECT_TRUE(fs::exists(Data("nemo/actions/quillmar-003-lock-in-Home.nemo_action")));
  EXPECT_FALSE(fs::exists(Data("nemo/actions/quillmar-003-lock-in-Work.nemo_action")));
  size_t nemoFiles = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator(Data("nemo/actions"))) ++nemoFiles;
  EXPECT_EQ(nemoFiles, 4u);
  const std::string uca = test::ReadFileBytes(Uca());
  EXPECT_NE(uca.find("Lock file in [Safe: Archive]"), std::string::npos);
  EXPECT_EQ(uca.find("Lock file in [Safe: Work]"), std::string::npos);
  // A later install keeps both routes, with the same items.
  ASSERT_EQ(Install({"--only", "dolphin"}).Status, 0);
  EXPECT_TRUE(fs::exists(Data("nemo/actions/quillmar-002-lock-in-Archive.nemo_action")));
  EXPECT_TRUE(fs::exists(Data("kio/servicemenus/quillmar.desktop")));

  test::WriteFileBytes(Uca(), "<actions><action>");
  const test::TRunResult broken = desktop_.Cml({"refresh"});
  EXPECT_EQ(broken.Status, 1);
  EXPECT_NE(broken.Err.find("cannot be read"), std::string::npos);
  EXPECT_EQ(test::ReadFileBytes(Uca()), "<actions><action>");
  // Uninstall removes the rest and keeps the manifest for what it could not take out.
  const test::TRunResult gone = desktop_.Cml({"uninstall"});
  EXPECT_EQ(gone.Status, 1);
  EXPECT_FALSE(fs::exists(Data("nemo/actions")));
  EXPECT_TRUE(fs::exists(Data("quillmar-cml/manifest")));
}

TEST_F(ActionInstall, NautilusGetsTheExtensionWhenPythonNautilusIsThereAndOnlyOneOfTheTwo) {
  ASSERT_EQ(Install({"--only", "nautilus"}).Status, 0);
  EXPECT_TRUE(fs::exists(Data("nautilus/scripts/Brelkan Quillmar/Lock file ...")));
  desktop_.SetNautilusPython(true);
  const test::TRunResult run = Install({"--only", "nautilus"});
  ASSERT_EQ(run.Status, 0) << run.Err;
  EXPECT_EQ(Mode(Data("nautilus-python/extensions/quillmar.py")), 0644u);
  EXPECT_FALSE(fs::exists(Data("nautilus/scripts")));
  EXPECT_NE(run.Out.find("nautilus -q"), std::string::npos);
}

TEST_F(ActionInstall, PathsAFileManagerCannotCarryAreRefusedBeforeAnythingIsWritten) {
  desktop_.AddSafe("two\nlines");
  const test::TRunResult run = Install();
  EXPECT_EQ(run.Status, 1);
  EXPECT_NE(run.Err.find("two\nlines"), std::string::npos);
  EXPECT_FALSE(fs::exists(Data("quillmar-cml/manifest")));
  EXPECT_FALSE(fs::exists(Data("nemo")));
  const test::TRunResult missing = desktop_.Cml({"--program", desktop_.Root() + "/nothing", "install"});
  EXPECT_EQ(missing.Status, 1);
  EXPECT_NE(missing.Err.find("not an executable file"), std::string::npos);
}

}  // namespace
}  // namespace quillmar
