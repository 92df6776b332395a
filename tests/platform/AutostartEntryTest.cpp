// The autostart entry: Exec quoting by the Desktop Entry rules, and writing and removing the file.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "base/Exception.h"
#include "platform/AutostartEntry.h"
#include "support/TempDir.h"

namespace quillmar {
namespace {

namespace fs = std::filesystem;
using test::ReadFileBytes;
using test::TempDir;

TEST(AutostartEntry, ExecArgumentsAreQuotedAndEscapedAsTheDesktopEntryRulesSay) {
  EXPECT_EQ(DesktopEntryExecArgument("/usr/bin/quillmar"), "/usr/bin/quillmar");
  EXPECT_EQ(DesktopEntryExecArgument("/sm"), "/sm");
  EXPECT_EQ(DesktopEntryExecArgument("/opt/my apps/quillmar"), "\"/opt/my apps/quillmar\"");
  // Inside quotes ", `, $ and \ take a backslash; the file's string escapes then double every one.
  EXPECT_EQ(DesktopEntryExecArgument("/a\"b"), "\"/a\\\\\"b\"");
  EXPECT_EQ(DesktopEntryExecArgument("/a$HOME"), "\"/a\\\\$HOME\"");
  EXPECT_EQ(DesktopEntryExecArgument("/a`x`"), "\"/a\\\\`x\\\\`\"");
  EXPECT_EQ(DesktopEntryExecArgument("/a\\b"), "\"/a\\\\\\\\b\"");  // four backslashes in the file
  EXPECT_EQ(DesktopEntryExecArgument("/home/al'ice/x"), "\"/home/al'ice/x\"");
  // % starts a field code: a literal one is doubled, quoted or not.
  EXPECT_EQ(DesktopEntryExecArgument("/50%/q"), "/50%%/q");
  EXPECT_EQ(DesktopEntryExecArgument("/50% off/q"), "\"/50%% off/q\"");
  EXPECT_EQ(DesktopEntryExecArgument("/home/zoë/q"), "/home/zoë/q");
  EXPECT_THROW(DesktopEntryExecArgument(""), EQuillmarError);
  EXPECT_THROW(DesktopEntryExecArgument("/a\nb"), EQuillmarError);
  EXPECT_THROW(DesktopEntryExecArgument("/a\tb"), EQuillmarError);
}

TEST(AutostartEntry, TheEntryIsWrittenIntoTheConfigFolderAndRemoved) {
  TempDir dir;
  const std::string config = dir.file("config");
  ::setenv("XDG_CONFIG_HOME", config.c_str(), 1);
  EXPECT_EQ(AutostartEntryPath(), config + "/autostart/quillmar.desktop");
  EXPECT_FALSE(AutostartEntryExists());
  EXPECT_TRUE(RemoveAutostartEntry());  // nothing there is fine

  WriteAutostartEntry({"/opt/Quill mar/quillmar", "--home", "/data/my safes", "/sm"});
  ASSERT_TRUE(AutostartEntryExists());
  const std::string text = ReadFileBytes(AutostartEntryPath());
  EXPECT_EQ(text.rfind("[Desktop Entry]\n", 0), 0u);
  EXPECT_NE(text.find("\nType=Application\n"), std::string::npos);
  EXPECT_NE(text.find("\nExec=\"/opt/Quill mar/quillmar\" --home \"/data/my safes\" /sm\n"),
            std::string::npos)
      << text;
  // Replaced whole, not appended to.
  WriteAutostartEntry({"/usr/bin/quillmar", "/sm"});
  const std::string second = ReadFileBytes(AutostartEntryPath());
  EXPECT_NE(second.find("\nExec=/usr/bin/quillmar /sm\n"), std::string::npos);
  EXPECT_EQ(second.find("my safes"), std::string::npos);
  EXPECT_EQ(std::distance(fs::directory_iterator(config + "/autostart"), fs::directory_iterator()), 1);

  EXPECT_TRUE(RemoveAutostartEntry());
  EXPECT_FALSE(AutostartEntryExists());
  ::unsetenv("XDG_CONFIG_HOME");
}

}  // namespace
}  // namespace quillmar
