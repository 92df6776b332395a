#include <gtest/gtest.h>

#include "base/Exception.h"
#include "base/MemoryStream.h"

namespace quillmar {
namespace {

TEST(MemoryStream, ReadsWritesAndSeeksLikeAFile) {
  TMemoryStream s;
  EXPECT_EQ(s.Size(), 0);
  EXPECT_EQ(s.Write("hello world", 11), 11);
  EXPECT_EQ(s.Position(), 11);
  EXPECT_EQ(s.Seek(-5, TSeekOrigin::End), 6);
  EXPECT_EQ(s.Write("WORLD!", 6), 6);  // overwrites and extends
  EXPECT_EQ(s.ToString(), "hello WORLD!");
  s.SetPosition(2);
  char buf[8] = {};
  EXPECT_EQ(s.Read(buf, 3), 3);
  EXPECT_EQ(std::string(buf, 3), "llo");
  EXPECT_EQ(s.Seek(2, TSeekOrigin::Current), 7);
  EXPECT_EQ(s.Read(buf, 8), 5);  // short count at the end
  EXPECT_EQ(std::string(buf, 5), "ORLD!");
  EXPECT_EQ(s.Read(buf, 8), 0);
  EXPECT_THROW(s.Seek(-1, TSeekOrigin::Begin), EStreamError);
  EXPECT_THROW(s.Seek(-13, TSeekOrigin::End), EStreamError);
  EXPECT_EQ(s.Position(), 12);  // a refused seek leaves the position alone
}

TEST(MemoryStream, WritingPastTheEndFillsTheGapWithZeros) {
  TMemoryStream s("ab");
  s.Seek(5, TSeekOrigin::Begin);
  EXPECT_EQ(s.Size(), 2);  // seeking alone does not grow
  s.WriteString("z");
  EXPECT_EQ(s.ToString(), std::string("ab\0\0\0z", 6));
  // Also after a shrink: the bytes cut off must not come back.
  s.SetSize(1);
  s.Seek(3, TSeekOrigin::Begin);
  s.WriteString("y");
  EXPECT_EQ(s.ToString(), std::string("a\0\0y", 4));
}

TEST(MemoryStream, SetSizeGrowsWithZerosAndClampsThePosition) {
  TMemoryStream s("abcdef");
  s.Seek(0, TSeekOrigin::End);
  s.SetSize(3);
  EXPECT_EQ(s.Position(), 3);
  EXPECT_EQ(s.ToString(), "abc");
  s.SetSize(5);
  EXPECT_EQ(s.ToString(), std::string("abc\0\0", 5));
  EXPECT_EQ(s.Position(), 3);
  EXPECT_THROW(s.SetSize(-1), EStreamError);
  s.Clear();
  EXPECT_EQ(s.Size(), 0);
  EXPECT_EQ(s.Position(), 0);
}

TEST(MemoryStream, BufferHelpersAndLargeContent) {
  TMemoryStream s;
  s.WriteInt32(-2);
  s.WriteInt32(0x01020304);
  EXPECT_EQ(s.ToString(), std::string("\xFE\xFF\xFF\xFF\x04\x03\x02\x01", 8));
  s.SetPosition(0);
  EXPECT_EQ(s.ReadInt32(), -2);
  EXPECT_EQ(s.ReadInt32(), 0x01020304);
  EXPECT_THROW(s.ReadInt32(), EStreamError);

  // Many growth steps keep every byte.
  std::string big;
  for (int i = 0; i < 300000; ++i) big += static_cast<char>(i * 7 + i / 256);
  TMemoryStream t;
  for (size_t off = 0; off < big.size(); off += 1000) t.WriteString(big.substr(off, 1000));
  EXPECT_EQ(t.View(), big);
  TMemoryStream copy;
  t.SetPosition(10);
  EXPECT_EQ(copy.CopyFrom(t), static_cast<int64_t>(big.size()) - 10);
  EXPECT_EQ(copy.View(), std::string_view(big).substr(10));
}

TEST(MemoryStream, AbsurdSizeFailsAsStreamError) {
  TMemoryStream s;
  EXPECT_THROW(s.SetSize(int64_t(1) << 62), EStreamError);
  EXPECT_EQ(s.Size(), 0);
}

}  // namespace
}  // namespace quillmar
