// Whether a Safe is kept in several part files is asked of its container, not guessed from the names
// of the files beside it.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "base/Exception.h"
#include "container/SFSFileStream.h"
#include "container/SFSHugeFile.h"
#include "container/SingleFileSystem.h"
#include "safe/qmSFSWrapper.h"
#include "support/TempDir.h"

namespace quillmar {
namespace {

namespace fs = std::filesystem;
using test::ReadFileBytes;
using test::TempDir;
using test::WriteFileBytes;

constexpr char kPassword[] = "correct horse";

// A container in parts of 64 KiB holding one file of 200 000 bytes: four part files.
void MakeSplitContainer(const std::string& file) {
  TSingleFileSystem sfs(file, 65536, 8, 2048, 0, "", "", kPassword, false, TSingleFileSystem::fmCreate);
  TSFSFileStream f(&sfs, 0, "", "", "", TSingleFileSystem::fmCreate, "\\big");
  const std::string data(200000, 'b');
  f.WriteBuffer(data.data(), int64_t(data.size()));
}

TEST(MultiPartSafe, TheContainerItselfTellsWhetherItIsKeptInSeveralFiles) {
  TempDir dir;
  const std::string split = dir.file("Split.qvt");
  MakeSplitContainer(split);
  ASSERT_TRUE(fs::exists(split + "1"));
  EXPECT_TRUE(TSingleFileSystem::IsMultiPart(split));

  // Moved under another name, its parts are named after that one: still several files.
  const std::string moved = dir.file("Moved.qvt");
  ASSERT_TRUE(TSFSHugeFile::RenameContainer(split, moved));
  EXPECT_TRUE(TSingleFileSystem::IsMultiPart(moved));

  // A container in one file, with an unrelated file beside it whose name ends in "1".
  const std::string one = dir.file("One.qvt");
  { TSingleFileSystem sfs(one, -1, 8, 2048, 0, "", "", kPassword, false, TSingleFileSystem::fmCreate); }
  WriteFileBytes(one + "1", "notes of the owner, not a part file");
  EXPECT_FALSE(TSingleFileSystem::IsMultiPart(one));

  // No container, nothing at all, and a chain with a part missing.
  WriteFileBytes(dir.file("text.txt"), std::string(1000, 't'));
  EXPECT_FALSE(TSingleFileSystem::IsMultiPart(dir.file("text.txt")));
  EXPECT_FALSE(TSingleFileSystem::IsMultiPart(dir.file("missing.qvt")));
  fs::remove(moved + "2");
  EXPECT_FALSE(TSingleFileSystem::IsMultiPart(moved));
}

TEST(MultiPartSafe, APasswordChangeIsRefusedOnlyForASafeInSeveralFiles) {
  TempDir dir;
  {
    const std::string split = dir.file("Split.qvt");
    MakeSplitContainer(split);
    const std::string before = ReadFileBytes(split);
    TqmSFSWrapper safe(nullptr);
    safe.OpenSafe(split, kPassword);
    try {
      safe.ChangePassword(kPassword, "a new password");
      ADD_FAILURE() << "the password of a Safe in several files was changed";
    } catch (const EQuillmarError& e) {
      EXPECT_NE(std::string(e.what()).find("split into several files"), std::string::npos) << e.what();
    }
    safe.CloseSafe();
    EXPECT_TRUE(ReadFileBytes(split) == before);
  }

  // A Safe in one file is changed, whatever lies beside it under the name of a second part.
  const std::string file = dir.file("Single.qvt");
  TqmSFSWrapper safe(nullptr);
  safe.CreateEmptySafe(file, kPassword);
  WriteFileBytes(file + "1", "an unrelated file");
  ASSERT_TRUE(safe.ChangePassword(kPassword, "a new password"));
  safe.CloseSafe();
  EXPECT_TRUE(
      TSingleFileSystem::CheckContainerPassword(file, TqmSFSWrapper::TextKeyFor(file, "a new password")));
  EXPECT_EQ(ReadFileBytes(file + "1"), "an unrelated file");
}

}  // namespace
}  // namespace quillmar
