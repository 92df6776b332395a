// Part files: the part header, logical offsets across parts, growing and shrinking, the open rules,
// locks and whole-container rename and delete. Small part sizes make multi-part containers cheap.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <random>
#include <thread>

#include "CipherReference.h"
#include "container/SFSError.h"
#include "container/SFSHugeFile.h"
#include "support/ExpectThrow.h"
#include "support/FaultyPartStorage.h"
#include "support/TempDir.h"

namespace quillmar {
namespace {

using test::ExpectThrow;
using test::ReadFileBytes;
using test::TempDir;
using test::WriteFileBytes;

constexpr int64_t kPart = 380;  // 100 data bytes per part

std::string Pattern(size_t n) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>('a' + i % 23);
  return s;
}

// The part header as the test expects it on disk.
std::string PartHeader(int64_t partSize, const std::string& next) {
  std::string h = "AAMVHFSS";
  for (int i = 0; i < 8; ++i) h += static_cast<char>((static_cast<uint64_t>(partSize) >> (8 * i)) & 0xFF);
  h += next;
  h.resize(280, '\0');
  return h;
}

TEST(HugeFile, DataSpreadsOverNumberedPartsWithLinkedHeaders) {
  TempDir dir;
  const std::string name = dir.file("x.qvt");
  const std::string data = Pattern(350);
  {
    TSFSHugeFile f;
    f.Create(name, kPart, true);
    EXPECT_EQ(f.Size(), 0);
    f.WriteBuffer(data.data(), static_cast<int64_t>(data.size()));
    EXPECT_EQ(f.PartCount(), 4);
    EXPECT_EQ(f.Size(), 350);
  }
  EXPECT_EQ(ReadFileBytes(name), PartHeader(kPart, "x.qvt1") + data.substr(0, 100));
  EXPECT_EQ(ReadFileBytes(name + "1"), PartHeader(kPart, "x.qvt2") + data.substr(100, 100));
  EXPECT_EQ(ReadFileBytes(name + "2"), PartHeader(kPart, "x.qvt3") + data.substr(200, 100));
  EXPECT_EQ(ReadFileBytes(name + "3"), PartHeader(kPart, "") + data.substr(300, 50));

  TSFSHugeFile f;
  ASSERT_TRUE(f.Open(name, true, false));
  EXPECT_EQ(f.Size(), 350);
  EXPECT_EQ(f.PartSize(), kPart);
  // A read across two part boundaries, and a short read at the end.
  std::string got(150, '\0');
  f.Seek(90, TSeekOrigin::Begin);
  f.ReadBuffer(got.data(), 150);
  EXPECT_EQ(got, data.substr(90, 150));
  f.Seek(340, TSeekOrigin::Begin);
  EXPECT_EQ(f.Read(got.data(), 50), 10);
  EXPECT_EQ(ExpectThrow([&] { f.ReadBuffer(got.data(), 1); }), "TSFSHugeFile.ReadBuffer - Stream read error");
  EXPECT_EQ(ExpectThrow([&] { f.Seek(-1, TSeekOrigin::Begin); }),
            "TSFSHugeFile.Seek - Offset < 0 from file beginning.");
  EXPECT_EQ(ExpectThrow([&] { f.Open(name, true, false); }),
            "TSFSHugeFile.InternalOpen - File is already open.");
}

TEST(HugeFile, GrowingFillsWithZerosAndShrinkingDeletesTrailingParts) {
  TempDir dir;
  const std::string name = dir.file("g.qvt");
  TSFSHugeFile f;
  f.Create(name, kPart, true);
  f.WriteBuffer("abc", 3);
  f.SetSize(250);
  EXPECT_EQ(f.PartCount(), 3);
  EXPECT_EQ(std::filesystem::file_size(name), 380u);
  EXPECT_EQ(std::filesystem::file_size(name + "2"), 280u + 50u);
  std::string got(250, 'x');
  f.Seek(0, TSeekOrigin::Begin);
  f.ReadBuffer(got.data(), 250);
  EXPECT_EQ(got, "abc" + std::string(247, '\0'));

  // Writing past the end leaves a zero gap.
  f.Seek(420, TSeekOrigin::Begin);
  f.WriteBuffer("z", 1);
  EXPECT_EQ(f.Size(), 421);
  EXPECT_EQ(f.PartCount(), 5);

  f.SetSize(100);  // exactly one full part
  EXPECT_EQ(f.PartCount(), 1);
  EXPECT_EQ(f.Position(), 100);
  for (int k = 1; k <= 4; ++k) EXPECT_FALSE(std::filesystem::exists(name + std::to_string(k))) << k;
  EXPECT_EQ(ReadFileBytes(name).substr(0, 280), PartHeader(kPart, ""));
  f.SetSize(101);
  EXPECT_EQ(f.PartCount(), 2);
  f.DeleteLastPartFile();
  EXPECT_EQ(f.Size(), 100);
  EXPECT_EQ(ExpectThrow([&] { f.DeleteLastPartFile(); }),
            "TSFSHugeFile.DeleteLastPartFile - No parts to delete.");
  f.SetSize(0);
  EXPECT_EQ(f.Size(), 0);
  EXPECT_EQ(std::filesystem::file_size(name), 280u);
}

TEST(HugeFile, PartSizeLimitAndDefault) {
  TempDir dir;
  TSFSHugeFile small;
  EXPECT_EQ(ExpectThrow([&] { small.Create(dir.file("s.qvt"), 379, true); }),
            "File part size is too small. Minimal part size is 380");
  EXPECT_FALSE(std::filesystem::exists(dir.file("s.qvt")));
  TSFSHugeFile ok;
  ok.Create(dir.file("s.qvt"), 380, true);
  EXPECT_EQ(ok.PartSize(), 380);

  // -1 asks the volume; a volume that reports nothing sensible gives 2147483647.
  test::TFaultyPartStorage unknown;
  unknown.maxFileSize = -5;
  TSFSHugeFile d(&unknown);
  d.Create(dir.file("d.qvt"), -1, true);
  EXPECT_EQ(d.PartSize(), 2147483647);
  EXPECT_GE(TSFSHugeFile::DefaultPartSize(dir.file("new.qvt")), 2147483647);
}

TEST(HugeFile, OpenRejectsDamagedOrUnsafeChains) {
  TempDir dir;
  const std::string name = dir.file("c.qvt");
  auto make = [&] {
    TSFSHugeFile f;
    f.Create(name, kPart, true);
    std::string data = Pattern(150);
    f.WriteBuffer(data.data(), 150);
  };
  auto opens = [&] {
    TSFSHugeFile f;
    return f.Open(name, true, false);
  };
  make();
  ASSERT_TRUE(opens());

  std::string part0 = ReadFileBytes(name);
  std::string part1 = ReadFileBytes(name + "1");

  WriteFileBytes(name, "AAMVHFSX" + part0.substr(8));  // wrong magic
  EXPECT_FALSE(opens());
  WriteFileBytes(name, part0.substr(0, 279));  // shorter than a part header
  EXPECT_FALSE(opens());
  WriteFileBytes(name, part0.substr(0, 379));  // names a next part but is not full
  EXPECT_FALSE(opens());
  WriteFileBytes(name, part0 + "x");  // longer than the part size
  EXPECT_FALSE(opens());
  WriteFileBytes(name, part0);
  std::filesystem::remove(name + "1");  // the named part is missing
  EXPECT_FALSE(opens());
  WriteFileBytes(name + "1", PartHeader(kPart, "c.qvt") + part1.substr(280));  // a loop back to part 0
  EXPECT_FALSE(opens());
  WriteFileBytes(name + "1", PartHeader(kPart, "../c.qvt1") + part1.substr(280));  // leaves the folder
  EXPECT_FALSE(opens());
  std::string unterminated = part1;
  for (size_t i = 16; i < 277; ++i) unterminated[i] = 'n';
  WriteFileBytes(name + "1", unterminated);
  EXPECT_FALSE(opens());
  WriteFileBytes(name + "1", part1);
  EXPECT_TRUE(opens());

  // The part size of part 0 must itself be sane.
  std::string tiny = PartHeader(100, "");
  WriteFileBytes(dir.file("t.qvt"), tiny);
  TSFSHugeFile t;
  EXPECT_FALSE(t.Open(dir.file("t.qvt"), true, false));
}

TEST(HugeFile, ExclusiveOpenLocksOutOtherOpensButNotPlainReaders) {
  TempDir dir;
  const std::string name = dir.file("e.qvt");
  TSFSHugeFile holder;
  holder.Create(name, kPart, true);
  holder.WriteBuffer("secret-free bytes", 17);

  TSFSHugeFile second;
  std::string msg = ExpectThrow([&] { second.Open(name, false, true); });
  EXPECT_NE(msg.find("is in use"), std::string::npos) << msg;
  EXPECT_NE(msg.find("e.qvt"), std::string::npos) << msg;
  EXPECT_NE(ExpectThrow([&] { second.Open(name, false, false); }), "<no exception>");  // writable, shared
  EXPECT_FALSE(second.IsOpen());
  // Creating over a held file fails without emptying it.
  TSFSHugeFile creator;
  EXPECT_NE(ExpectThrow([&] { creator.Create(name, kPart, true); }), "<no exception>");
  EXPECT_EQ(std::filesystem::file_size(name), 280u + 17u);
  // A read-only look and a plain byte copy (a backup) still work.
  TSFSHugeFile reader;
  EXPECT_TRUE(reader.Open(name, true, false));
  reader.Close();
  EXPECT_EQ(ReadFileBytes(name).size(), 297u);

  holder.Close();
  EXPECT_TRUE(second.Open(name, false, true));
  // Two shared writable opens coexist; an exclusive one cannot join them.
  second.Close();
  TSFSHugeFile a, b, c;
  EXPECT_TRUE(a.Open(name, false, false));
  EXPECT_TRUE(b.Open(name, false, false));
  EXPECT_NE(ExpectThrow([&] { c.Open(name, false, true); }), "<no exception>");
}

TEST(HugeFile, RenameAndDeleteMoveTheWholeChain) {
  TempDir dir;
  const std::string name = dir.file("r.qvt");
  const std::string data = Pattern(250);
  {
    TSFSHugeFile f;
    f.Create(name, kPart, true);
    f.WriteBuffer(data.data(), 250);
  }
  const std::string to = dir.file("r.qvt0");
  ASSERT_TRUE(TSFSHugeFile::RenameContainer(name, to));
  EXPECT_FALSE(std::filesystem::exists(name));
  EXPECT_FALSE(std::filesystem::exists(name + "1"));
  EXPECT_EQ(ReadFileBytes(to).substr(0, 280), PartHeader(kPart, "r.qvt01"));
  EXPECT_EQ(ReadFileBytes(to + "1").substr(0, 280), PartHeader(kPart, "r.qvt02"));
  {
    TSFSHugeFile f;
    ASSERT_TRUE(f.Open(to, true, false));
    std::string got(250, '\0');
    f.ReadBuffer(got.data(), 250);
    EXPECT_EQ(got, data);
  }
  // A taken target name refuses the rename and changes nothing.
  WriteFileBytes(name, "occupied");
  EXPECT_FALSE(TSFSHugeFile::RenameContainer(to, name));
  EXPECT_EQ(ReadFileBytes(name), "occupied");
  EXPECT_TRUE(std::filesystem::exists(to + "2"));

  EXPECT_TRUE(TSFSHugeFile::DeleteContainer(to));
  for (const char* suffix : {"", "1", "2"}) EXPECT_FALSE(std::filesystem::exists(to + suffix)) << suffix;
  EXPECT_FALSE(TSFSHugeFile::DeleteContainer(to));
}

TEST(HugeFile, IoFailuresSurfaceAsShortTransfersOrErrors) {
  TempDir dir;
  test::TFaultyPartStorage s;
  TSFSHugeFile f(&s);
  f.Create(dir.file("f.qvt"), kPart, true);
  s.writeBudget = 30;
  std::string data = Pattern(50);
  EXPECT_EQ(f.Write(data.data(), 50), 30);
  EXPECT_EQ(ExpectThrow([&] { f.WriteBuffer(data.data(), 5); }),
            "TSFSHugeFile.WriteBuffer - Stream write error");
  s.writeBudget = -1;
  s.failCreate = true;  // a new part cannot be made
  f.Seek(0, TSeekOrigin::End);
  EXPECT_NE(ExpectThrow([&] { f.SetSize(150); }), "<no exception>");
  EXPECT_EQ(f.PartCount(), 1);
  s.failCreate = false;
  s.failSetSize = true;
  EXPECT_NE(ExpectThrow([&] { f.SetSize(10); }), "<no exception>");
  EXPECT_EQ(f.Size(), 30);
  s.failSetSize = false;
  s.hardErrors = true;
  s.readBudget = 0;
  std::string got(10, '\0');
  f.Seek(0, TSeekOrigin::Begin);
  EXPECT_EQ(ExpectThrow([&] { f.Read(got.data(), 10); }), "TSFSHugeFile.Read - Stream read error.");
}

TEST(HugeFile, ConcurrentReadsMeetAPartListThatGrowsAndShrinks) {
  // Another thread reads at random places while the container's thread writes the data part by part
  // (adding part files), cuts it back (removing them) and writes it again. Each offset only ever holds
  // one byte, so every byte a read returns must be that one; a read may be short where the data is
  // cut. No read may use a part file being closed (the sanitizers watch the part list).
  TempDir dir;
  TSFSHugeFile f;
  f.Create(dir.file("x.qvt"), kPart, true);
  const std::string data = Pattern(100 * 40);
  std::atomic<bool> stop{false};
  std::atomic<int64_t> bytesRead{0}, wrong{0};
  std::thread reader([&] {
    std::mt19937 rng(3);
    std::string buffer(250, '\0');
    while (!stop) {
      const int64_t at = int64_t(rng() % data.size());
      const int64_t n = f.ReadConcurrently(at, buffer.data(), int64_t(buffer.size()));
      if (n < 0 || n > int64_t(buffer.size()) ||
          buffer.compare(0, size_t(n), data, size_t(at), size_t(std::max<int64_t>(n, 0))) != 0)
        ++wrong;
      bytesRead += std::max<int64_t>(n, 0);
    }
  });
  for (int round = 0; round < 30 || bytesRead == 0; ++round) {
    f.Seek(0, TSeekOrigin::Begin);
    for (size_t at = 0; at < data.size(); at += 70)
      f.WriteBuffer(data.data() + at, int64_t(std::min<size_t>(70, data.size() - at)));
    f.SetSize(int64_t(round % 7) * 90);
  }
  stop = true;
  reader.join();
  EXPECT_EQ(wrong, 0);
  EXPECT_GT(bytesRead, 0);
  f.Close();
  EXPECT_EQ(f.ReadConcurrently(0, nullptr, 10), 0);  // closed: nothing to read
}

}  // namespace
}  // namespace quillmar
