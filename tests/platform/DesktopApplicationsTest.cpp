// The desktop entries read for the "Open with" chooser, and the command line of one for a file.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/DesktopApplications.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"

namespace quillmar {
namespace {

namespace fs = std::filesystem;
using test::TempDir;
using test::TScopedEnv;

TDesktopApplication App(const std::string& exec) {
  TDesktopApplication a;
  a.id = "ed.desktop";
  a.name = "Ed";
  a.exec = exec;
  a.path = "/apps/ed.desktop";
  return a;
}

TEST(DesktopExec, FieldCodesAndQuoting) {
  const std::string file = "/home/a/My File \"x\" $HOME.txt";
  // The path is one argument whatever it holds: no shell ever sees it.
  EXPECT_EQ(DesktopExecArguments(App("gedit %F"), file), (std::vector<std::string>{"gedit", file}));
  EXPECT_EQ(DesktopExecArguments(App("gedit --new-window %f"), file),
            (std::vector<std::string>{"gedit", "--new-window", file}));
  EXPECT_EQ(DesktopExecArguments(App("viewer %U"), "/t/a b%.png"),
            (std::vector<std::string>{"viewer", "file:///t/a%20b%25.png"}));
  // %i, %c, %k and %%; deprecated codes vanish.
  EXPECT_EQ(DesktopExecArguments(App("prog %i --title=%c --from %k 100%% %d %f"), "/f"),
            (std::vector<std::string>{"prog", "--title=Ed", "--from", "/apps/ed.desktop", "100%", "/f"}));
  // Quoted words keep their blanks; escapes inside quotes.
  EXPECT_EQ(DesktopExecArguments(App("\"/opt/My App/run\" \"say \\\"hi\\\"\" %f"), "/f"),
            (std::vector<std::string>{"/opt/My App/run", "say \"hi\"", "/f"}));
  // No file code: the file goes last, so that choosing the program still opens the file.
  EXPECT_EQ(DesktopExecArguments(App("xterm -e less"), "/f"),
            (std::vector<std::string>{"xterm", "-e", "less", "/f"}));
}

TEST(DesktopEntries, ListsApplicationsForTheTypeFirstAndUserEntriesHideSystemOnes) {
  TempDir home, sys;
  fs::create_directories(home.path() / "applications");
  fs::create_directories(sys.path() / "applications" / "kde");
  auto write = [](const fs::path& p, const std::string& text) { test::WriteFileBytes(p.string(), text); };
  write(sys.path() / "applications" / "zed.desktop",
        "[Desktop Entry]\nType=Application\nName=Zed Editor\nExec=zed %F\nMimeType=text/plain;text/x-c;\n");
  write(sys.path() / "applications" / "alpha.desktop",
        "[Desktop Entry]\nType=Application\nName=alpha viewer\nExec=alpha %u\nMimeType=image/png;\n");
  write(sys.path() / "applications" / "gone.desktop",
        "[Desktop Entry]\nType=Application\nName=Gone\nExec=gone\n");
  write(sys.path() / "applications" / "link.desktop",
        "[Desktop Entry]\nType=Link\nName=Site\nURL=http://x\n");
  write(sys.path() / "applications" / "kde" / "kate.desktop",
        "[Desktop Entry]\nType=Application\nName=Kate\nExec=kate -b %U\nMimeType=text/plain\n"
        "[Desktop Action new]\nName=New\nExec=kate --new\n");
  // The user's entry of the same id hides the system's.
  write(home.path() / "applications" / "gone.desktop",
        "[Desktop Entry]\nType=Application\nName=Gone\nExec=gone\nHidden=true\n");

  auto apps = ListDesktopApplications(
      "text/plain", {(home.path() / "applications").string(), (sys.path() / "applications").string()});
  std::vector<std::string> ids;
  for (const auto& a : apps) ids.push_back(a.id);
  // Those for the type first (by name), then the rest; the link and the hidden one are not offered.
  EXPECT_EQ(ids, (std::vector<std::string>{"kde-kate.desktop", "zed.desktop", "alpha.desktop"}));
  EXPECT_TRUE(apps[0].handlesType);
  EXPECT_EQ(apps[0].exec, "kate -b %U");  // the action group's Exec does not win
  EXPECT_FALSE(apps[2].handlesType);
}

TEST(DesktopEntries, FoldersFollowTheXdgVariables) {
  TScopedEnv home("HOME", "/home/u");
  {
    TScopedEnv dh("XDG_DATA_HOME", nullptr);
    TScopedEnv dd("XDG_DATA_DIRS", nullptr);
    EXPECT_EQ(DesktopApplicationFolders(),
              (std::vector<std::string>{"/home/u/.local/share/applications", "/usr/local/share/applications",
                                        "/usr/share/applications"}));
  }
  TScopedEnv dh("XDG_DATA_HOME", "/d");
  TScopedEnv dd("XDG_DATA_DIRS", "/a::/b");
  EXPECT_EQ(DesktopApplicationFolders(),
            (std::vector<std::string>{"/d/applications", "/a/applications", "/b/applications"}));
}

}  // namespace
}  // namespace quillmar
