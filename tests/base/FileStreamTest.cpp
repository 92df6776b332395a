#include <gtest/gtest.h>
#include <sys/stat.h>

#include "base/Exception.h"
#include "base/FileStream.h"
#include "support/TempDir.h"

namespace quillmar {
namespace {

using test::ReadFileBytes;
using test::TempDir;
using test::WriteFileBytes;

TEST(FileStream, CreateWritesAndReadsBack) {
  TempDir dir;
  std::string path = dir.file("a.bin");
  {
    TFileStream f(path, TFileMode::Create);
    EXPECT_EQ(f.Write("0123456789", 10), 10);
    EXPECT_EQ(f.Size(), 10);
    f.Seek(-4, TSeekOrigin::End);
    char buf[10] = {};
    EXPECT_EQ(f.Read(buf, 10), 4);
    EXPECT_EQ(std::string(buf, 4), "6789");
    f.SetPosition(2);
    f.WriteString("ab");
    f.Flush();
  }
  EXPECT_EQ(ReadFileBytes(path), "01ab456789");
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);

  // Create empties an existing file.
  { TFileStream f(path, TFileMode::Create); }
  EXPECT_EQ(ReadFileBytes(path), "");
}

TEST(FileStream, ReadWriteKeepsContentAndReadRefusesChanges) {
  TempDir dir;
  std::string path = dir.file("b.bin");
  WriteFileBytes(path, "abcdef");
  {
    TFileStream f(path, TFileMode::ReadWrite);
    EXPECT_EQ(f.Size(), 6);
    f.Seek(0, TSeekOrigin::End);
    f.WriteString("gh");
    f.SetSize(4);
    EXPECT_EQ(f.Position(), 4);
  }
  EXPECT_EQ(ReadFileBytes(path), "abcd");
  TFileStream r(path, TFileMode::Read);
  EXPECT_TRUE(r.ReadOnly());
  EXPECT_EQ(r.ReadString(100), "abcd");
  EXPECT_THROW(r.Write("x", 1), EStreamError);
  EXPECT_THROW(r.SetSize(0), EStreamError);
  EXPECT_EQ(ReadFileBytes(path), "abcd");
}

TEST(FileStream, MissingFileNamesTheFileInTheError) {
  TempDir dir;
  std::string path = dir.file("missing.bin");
  try {
    TFileStream f(path, TFileMode::Read);
    FAIL() << "opened a missing file";
  } catch (const EStreamError& e) {
    EXPECT_EQ(std::string(e.what()), "Cannot open file \"" + path + "\": No such file or directory");
  }
  EXPECT_THROW(TFileStream(path, TFileMode::ReadWrite), EStreamError);
  EXPECT_THROW(TFileStream(dir.file("no/such/dir.bin"), TFileMode::Create), EStreamError);
}

TEST(FileStream, PositionsBeyondFourGigabytes) {
  TempDir dir;
  std::string path = dir.file("sparse.bin");
  const int64_t far = (int64_t(5) << 30) + 3;  // past every 32-bit boundary
  {
    TFileStream f(path, TFileMode::Create);
    EXPECT_EQ(f.Seek(far, TSeekOrigin::Begin), far);
    f.WriteString("end");
    EXPECT_EQ(f.Size(), far + 3);
    f.SetPosition(far - 2);
    EXPECT_EQ(f.ReadString(10), std::string("\0\0end", 5));  // the gap reads as zeros
    f.SetSize(far + 1);
    EXPECT_EQ(f.Seek(0, TSeekOrigin::End), far + 1);
  }
  TFileStream r(path, TFileMode::Read);
  r.SetPosition(far);
  EXPECT_EQ(r.ReadString(10), "e");
}

}  // namespace
}  // namespace quillmar
