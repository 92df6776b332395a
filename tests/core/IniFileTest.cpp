// The application's ini file: [safe] lastused read and written without losing anything else.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "base/Exception.h"
#include "core/qmIniFile.h"
#include "support/TempDir.h"

namespace quillmar {
namespace {

namespace fs = std::filesystem;
using test::ReadFileBytes;
using test::TempDir;
using test::WriteFileBytes;

TEST(AppIniFile, LastUsedIsWrittenWithoutLosingOtherSectionsKeysOrComments) {
  TempDir dir;
  const TqmIniFile ini(dir.path().string() + "/");
  EXPECT_EQ(ini.Path(), dir.file("Quillmar.ini"));
  const std::string others =
      "; written by hand\r\n[options]\r\nidleLockMinutes=5\r\n# another comment\r\nlockOnScreenLock=1\r\n";
  WriteFileBytes(ini.Path(),
                 others + "[Safe]\r\nkeep=me\r\nLASTUSED = Old\r\n\r\n[tail]\r\nlastused=not this\r\n");
  EXPECT_EQ(ini.LastUsedSafe(), "Old");

  ini.SetLastUsedSafe("Work Safe");
  EXPECT_EQ(ini.LastUsedSafe(), "Work Safe");
  EXPECT_EQ(ReadFileBytes(ini.Path()),
            others + "[Safe]\r\nkeep=me\r\nlastused=Work Safe\r\n\r\n[tail]\r\nlastused=not this\r\n");

  // A section without the key gets it; a file without the section gets both, the rest kept.
  WriteFileBytes(ini.Path(), others);
  ini.SetLastUsedSafe("Home");
  EXPECT_EQ(ReadFileBytes(ini.Path()), others + "\r\n[safe]\r\nlastused=Home\r\n");
  EXPECT_EQ(ini.LastUsedSafe(), "Home");
}

TEST(AppIniFile, AMissingFileReadsEmptyAndIsCreatedPrivate) {
  TempDir dir;
  const TqmIniFile ini(dir.path().string() + "/");
  EXPECT_EQ(ini.LastUsedSafe(), "");
  ini.SetLastUsedSafe("Alpha");
  EXPECT_EQ(ReadFileBytes(ini.Path()), "[safe]\r\nlastused=Alpha\r\n");
  struct stat st;
  ASSERT_EQ(::stat(ini.Path().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  // No temporary file is left beside it.
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

TEST(AppIniFile, AFileThatCannotBeReadIsNeitherTakenNorReplaced) {
  TempDir dir;
  const TqmIniFile ini(dir.path().string() + "/");
  // A link that leads nowhere but to itself: opening it fails, yet a rename would replace it.
  fs::create_symlink("Quillmar.ini", ini.Path());
  EXPECT_EQ(ini.LastUsedSafe(), "");
  try {
    ini.SetLastUsedSafe("Alpha");
    ADD_FAILURE() << "an unreadable ini file was replaced";
  } catch (const EQuillmarError& e) {
    EXPECT_NE(std::string(e.what()).find("cannot be read"), std::string::npos) << e.what();
  }
  EXPECT_TRUE(fs::is_symlink(ini.Path()));
  fs::remove(ini.Path());

  // A folder in its place: nothing is read, the write fails and the folder stays.
  fs::create_directory(ini.Path());
  WriteFileBytes(ini.Path() + "/inside", "x");
  EXPECT_EQ(ini.LastUsedSafe(), "");
  EXPECT_THROW(ini.SetLastUsedSafe("Alpha"), EQuillmarError);
  EXPECT_EQ(ReadFileBytes(ini.Path() + "/inside"), "x");
  fs::remove_all(ini.Path());

  // Without read permission (root reads anyway).
  WriteFileBytes(ini.Path(), "[options]\r\nidleLockMinutes=5\r\n");
  ::chmod(ini.Path().c_str(), 0200);
  if (::geteuid() != 0) {
    EXPECT_EQ(ini.LastUsedSafe(), "");
    EXPECT_THROW(ini.SetLastUsedSafe("Alpha"), EQuillmarError);
  }
  ::chmod(ini.Path().c_str(), 0600);
  if (::geteuid() != 0) {
    EXPECT_EQ(ReadFileBytes(ini.Path()), "[options]\r\nidleLockMinutes=5\r\n");
  }
}

TEST(AppIniFile, ANameWithALineBreakIsRefusedAndTheFileKept) {
  TempDir dir;
  const TqmIniFile ini(dir.path().string() + "/");
  ini.SetLastUsedSafe("Alpha");
  const std::string before = ReadFileBytes(ini.Path());
  EXPECT_THROW(ini.SetLastUsedSafe("Alpha\r\n[options]\r\nidleLockMinutes=1"), EQuillmarError);
  EXPECT_EQ(ReadFileBytes(ini.Path()), before);
  EXPECT_EQ(ini.LastUsedSafe(), "Alpha");
}

}  // namespace
}  // namespace quillmar
