#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "base/Exception.h"
#include "platform/DesktopLauncher.h"
#include "platform/HomeFolder.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"

namespace quillmar {
namespace {

namespace fs = std::filesystem;
using test::ReadFileBytes;
using test::TempDir;
using test::TScopedEnv;
using test::WriteFileBytes;

mode_t ModeOf(const fs::path& p) {
  struct stat st;
  EXPECT_EQ(::stat(p.c_str(), &st), 0) << p;
  return st.st_mode & 07777;
}

TEST(HomeFolder, OptionThenQuillmarHomeThenXdgDataHomeThenHome) {
  TScopedEnv q("QUILLMAR_HOME", "/q/home");
  TScopedEnv x("XDG_DATA_HOME", "/x/data");
  TScopedEnv h("HOME", "/h");
  EXPECT_EQ(ResolveHomeFolder("/opt/dir"), "/opt/dir/");
  EXPECT_EQ(ResolveHomeFolder("/opt/dir/"), "/opt/dir/");
  EXPECT_EQ(ResolveHomeFolder(""), "/q/home/");
  {
    TScopedEnv q2("QUILLMAR_HOME", "");
    EXPECT_EQ(ResolveHomeFolder(""), "/x/data/quillmar/");
    TScopedEnv x2("XDG_DATA_HOME", "relative/ignored");
    EXPECT_EQ(ResolveHomeFolder(""), "/h/.local/share/quillmar/");
    TScopedEnv h2("HOME", nullptr);
    EXPECT_THROW(ResolveHomeFolder(""), EQuillmarError);
  }
  // A relative --home is taken from the current folder.
  EXPECT_EQ(ResolveHomeFolder("rel"), (fs::current_path() / "rel").string() + "/");
}

TEST(HomeFolder, CreatedFoldersArePrivateWhateverTheUmask) {
  TempDir dir;
  mode_t old = ::umask(0);
  fs::path deep = dir.path() / "a" / "b" / "c";
  EnsurePrivateFolder(deep.string() + "/", false);
  ::umask(old);
  EXPECT_EQ(ModeOf(dir.path() / "a"), 0700u);
  EXPECT_EQ(ModeOf(deep), 0700u);

  // An existing folder keeps its mode unless asked to tighten it.
  fs::path open = dir.path() / "open";
  fs::create_directory(open);
  ::chmod(open.c_str(), 0755);
  EnsurePrivateFolder(open.string(), false);
  EXPECT_EQ(ModeOf(open), 0755u);
  EnsurePrivateFolder(open.string(), true);
  EXPECT_EQ(ModeOf(open), 0700u);

  WriteFileBytes(dir.file("file"), "x");
  EXPECT_THROW(EnsurePrivateFolder(dir.file("file"), true), EQuillmarError);
  EXPECT_THROW(EnsurePrivateFolder(dir.file("file") + "/sub", true), EQuillmarError);
}

TEST(DesktopLauncher, SplitsParametersLikeAShellWithoutExpanding) {
  EXPECT_EQ(SplitParameters(""), std::vector<std::string>{});
  EXPECT_EQ(SplitParameters("  a  b\tc "), (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(SplitParameters("\"two words\" 'and $HOME' x\\ y"),
            (std::vector<std::string>{"two words", "and $HOME", "x y"}));
  EXPECT_EQ(SplitParameters("\"\" a\"b c\"d"), (std::vector<std::string>{"", "ab cd"}));
  EXPECT_EQ(SplitParameters("\"say \\\"hi\\\"\""), (std::vector<std::string>{"say \"hi\""}));
}

TEST(DesktopLauncher, StartsAProgramDetachedAndReportsOneThatIsMissing) {
  TempDir dir;
  std::string script = dir.file("run.sh");
  WriteFileBytes(script, "#!/bin/sh\nprintf '%s|' \"$@\" > \"$1.out\"\n");
  ::chmod(script.c_str(), 0700);
  std::string marker = dir.file("got");
  ASSERT_TRUE(OpenProgramOrDocument(script, "'" + marker + "' \"two words\""));
  std::string out = marker + ".out";
  for (int i = 0; i < 500 && !fs::exists(out); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  // The file may exist before the shell has written to it; wait for the content.
  std::string content;
  for (int i = 0; i < 500; ++i) {
    if (fs::exists(out)) content = ReadFileBytes(out);
    if (!content.empty()) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_EQ(content, marker + "|two words|");

  EXPECT_FALSE(LaunchDetached({dir.file("no-such-program")}));
  EXPECT_FALSE(LaunchDetached({}));
  EXPECT_FALSE(OpenDocument(""));
}

TEST(DesktopLauncher, LogonUserNameIsTheAccountName) {
  TScopedEnv u("USER", "someone-else");
  std::string name = LogonUserName();
  EXPECT_FALSE(name.empty());
  EXPECT_NE(name, "someone-else");  // the password database wins over $USER
}

}  // namespace
}  // namespace quillmar
