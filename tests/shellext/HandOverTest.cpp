// The hand-over text: its bytes, the start argument, what the program reads back, and how names a
// file manager passes become paths (or are refused).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/qmHandOver.h"
#include "support/TempDir.h"

namespace quillmar {
namespace {

using Paths = std::vector<std::string>;

TEST(HandOver, TextsAreByteForByteWithQuotesForTheSocketAndNoneForAStart) {
  EXPECT_EQ(SelectionText({"/a", "/b"}), "[2]/a|/b|");
  EXPECT_EQ(HandOverText(3, {"/a", "/b"}), "\"[3][2]/a|/b|\"");
  EXPECT_EQ(HandOverText(1, {"/home/al ice/x.txt"}), "\"[1][1]/home/al ice/x.txt|\"");
  EXPECT_EQ(StartArgument(3, {"/a.txt"}), "/rf:[3][1]/a.txt|");
  EXPECT_EQ(StartArgument(17, {"/a", "/b"}), "/rf:[17][2]/a|/b|");
}

TEST(HandOver, TheProgramReadsBackEveryNameExactlyFromBothForms) {
  const Paths names = {
      "/tmp/with blank.txt",           "/tmp/\"quoted\"", "/tmp/$HOME",    "/tmp/back\\slash",
      "/tmp/n\xC3\xA4me \xE2\x82\xAC", "/tmp/-x",         "/tmp/'single'", "/tmp/50%"};
  for (const std::string& text : {HandOverText(5, names), StartArgument(5, names)}) {
    const TqmReceivedFiles parsed = ParseReceivedFiles(text);
    EXPECT_EQ(parsed.Command, 5);
    EXPECT_EQ(parsed.Count, int(names.size()));
    EXPECT_EQ(parsed.Paths, names) << text;
  }
}

TEST(HandOver, NamesArePathsRelativeOnesFromTheCurrentFolderAndFileUrisDecoded) {
  const THandOverPaths p =
      PrepareHandOverPaths({"a b.txt", "./sub/c", "/abs/d", "file:///tmp/x%20y%C3%A4%25.txt",
                            "file://localhost/etc/e", "FILE:///up", "file:/single/slash", "-leading"},
                           "/work/folder");
  EXPECT_TRUE(p.Refusals.empty());
  EXPECT_EQ(p.Paths, (Paths{"/work/folder/a b.txt", "/work/folder/sub/c", "/abs/d", "/tmp/x y\xC3\xA4%.txt",
                            "/etc/e", "/up", "/single/slash", "/work/folder/-leading"}));
  // The current folder may end in "/" (the root).
  EXPECT_EQ(PrepareHandOverPaths({"x"}, "/").Paths, Paths{"/x"});
}

TEST(HandOver, OtherUrisBarsAndOverLongPathsAreRefusedByNameAndTheRestKept) {
  const std::string longest = "/" + std::string(kMaxHandOverPath - 1, 'a');
  const std::string tooLong = longest + "b";
  const THandOverPaths p = PrepareHandOverPaths(
      {"/ok/1", "sftp://host/file", "smb://server/share/x", "file://otherhost/x", "file:///bad%2",
       "file:///nul%00", "/tmp/a|b", longest, tooLong, "file:///tmp/esc%7Cbar", "/ok/2"},
      "/cwd");
  EXPECT_EQ(p.Paths, (Paths{"/ok/1", longest, "/ok/2"}));
  ASSERT_EQ(p.Refusals.size(), 8u);
  EXPECT_NE(p.Refusals[0].find("sftp://host/file"), std::string::npos);
  EXPECT_NE(p.Refusals[2].find("otherhost"), std::string::npos);
  EXPECT_NE(p.Refusals[5].find("/tmp/a|b"), std::string::npos);
  EXPECT_NE(p.Refusals[5].find("\"|\""), std::string::npos);
  EXPECT_NE(p.Refusals[6].find("2047 bytes"), std::string::npos);
  // A "|" that arrives escaped in a URI is refused just the same.
  EXPECT_NE(p.Refusals[7].find("/tmp/esc|bar"), std::string::npos);
  // A relative name becomes too long only once it is made absolute.
  EXPECT_EQ(PrepareHandOverPaths({std::string(kMaxHandOverPath - 4, 'r')}, "/cwd").Refusals.size(), 1u);
  // A colon alone makes no URI: "a:b" is a file of the current folder.
  EXPECT_EQ(PrepareHandOverPaths({"a:b"}, "/cwd").Paths, Paths{"/cwd/a:b"});
}

TEST(HandOver, SafeNamesAreTheSortedQvtFilesAndInterruptedRepairs) {
  test::TempDir dir;
  const std::string home = dir.path().string() + "/";
  EXPECT_TRUE(SafeNamesIn(home).empty());
  for (const char* file :
       {"Work.qvt", "Home.qvt", "Alpha.qvt0", "Home.qvt0", "notes.txt", ".qvt", "Beta.qvt1"})
    test::WriteFileBytes(home + file, "x");
  std::filesystem::create_directory(home + "Folder.qvt");
  // Alpha's repair was interrupted (its .qvt is missing); Home's .qvt0 is a leftover beside it.
  EXPECT_EQ(SafeNamesIn(home), (Paths{"Alpha", "Home", "Work"}));
  EXPECT_TRUE(SafeNamesIn(home + "missing/").empty());
}

}  // namespace
}  // namespace quillmar
