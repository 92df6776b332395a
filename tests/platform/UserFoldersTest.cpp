// The desktop stand-ins for the user's folders and the hand-over to the e-mail program.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "platform/UserFolders.h"
#include "platform/XdgEmailHandOver.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"

namespace quillmar {
namespace {

namespace fs = std::filesystem;
using test::TempDir;
using test::TScopedEnv;

TEST(MailHandOver, XdgEmailGetsTheMessageAsArguments) {
  TqmMailHandOver m{"Sub ject", "line1\r\n\"quoted\" \x80", "a@x", "A", "b@y", "b@y", "/tmp/Encrypted.html"};
  EXPECT_EQ(XdgEmailArguments(m), (std::vector<std::string>{"xdg-email", "--utf8", "--subject", "Sub ject",
                                                            "--body", "line1\r\n\"quoted\" \xE2\x82\xAC",
                                                            "--attach", "/tmp/Encrypted.html", "b@y"}));

  // The real start, with a stand-in xdg-email on PATH that records its arguments.
  TempDir bin;
  test::WriteFileBytes(bin.file("xdg-email"),
                       "#!/bin/sh\nfor a in \"$@\"; do printf '%s|' \"$a\"; done > \"$0.args.part\"\n"
                       "mv \"$0.args.part\" \"$0.args\"\n");
  ::chmod(bin.file("xdg-email").c_str(), 0755);
  {
    TScopedEnv path("PATH", bin.path().string() + ":/usr/bin:/bin");
    ASSERT_TRUE(HandOverToMailProgram(m));
  }
  for (int i = 0; i < 500 && !fs::exists(bin.file("xdg-email.args")); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_EQ(
      test::ReadFileBytes(bin.file("xdg-email.args")),
      "--utf8|--subject|Sub ject|--body|line1\r\n\"quoted\" \xE2\x82\xAC|--attach|/tmp/Encrypted.html|b@y|");

  TempDir empty;
  TScopedEnv path("PATH", empty.path().string());
  EXPECT_FALSE(HandOverToMailProgram(m));
}

TEST(UserFolders, DesktopAndTemporaryFolderFollowTheEnvironment) {
  {
    TScopedEnv tmp("TMPDIR", "/var/tmp/qm");
    EXPECT_EQ(TempFolder(), "/var/tmp/qm");
  }
  {
    TScopedEnv tmp("TMPDIR", "");
    EXPECT_EQ(TempFolder(), "/tmp");
  }
  TempDir home;
  fs::create_directories(home.file("config"));
  test::WriteFileBytes(home.file("config/user-dirs.dirs"), "XDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n");
  TScopedEnv h("HOME", home.path().string());
  {
    TScopedEnv c("XDG_CONFIG_HOME", home.file("config"));
    EXPECT_EQ(DesktopFolder(), home.file("Schreibtisch"));
    EXPECT_EQ(DesktopFolderDisplayName(), "Schreibtisch");
  }
  TScopedEnv c("XDG_CONFIG_HOME", home.file("nothing"));
  EXPECT_EQ(DesktopFolder(), home.file("Desktop"));
  {
    TScopedEnv path("PATH", home.path().string());  // no xdg-user-dir at all
    EXPECT_EQ(DesktopFolder(), home.file("Desktop"));
  }
}

}  // namespace
}  // namespace quillmar
