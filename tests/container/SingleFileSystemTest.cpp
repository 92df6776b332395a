#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <optional>
#include <random>

#include "container/DIRManager.h"
#include "container/PageFileManager.h"
#include "container/SFSError.h"
#include "container/SFSFileStream.h"
#include "container/SFSUserFileStream.h"
#include "container/SingleFileSystem.h"
#include "container/UserFilePageMapManager.h"
#include "support/ContainerDamage.h"
#include "support/FaultyPartStorage.h"
#include "support/TempDir.h"

namespace quillmar {
namespace {

constexpr uint32_t kOpenMode = 18;  // read/write, exclusive

std::string Random(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  std::string s(n, '\0');
  for (auto& c : s) c = char(rng());
  return s;
}

class FacadeTest : public ::testing::Test {
protected:
  std::string Path() const { return dir_.file("safe.qvt"); }
  std::unique_ptr<TSingleFileSystem> Create(uint8_t compression = 0, TSFSPartStorage* storage = nullptr) {
    return std::make_unique<TSingleFileSystem>(Path(), -1, 8, 2048, compression, "", "", "secret", false,
                                               0xFFFF, storage);
  }
  std::unique_ptr<TSingleFileSystem> Open(std::string_view password = "secret", uint32_t mode = kOpenMode,
                                          TSFSPartStorage* storage = nullptr) {
    return std::make_unique<TSingleFileSystem>(Path(), -1, 8, 2048, 0, "", "", password, false, mode,
                                               storage);
  }
  static void Put(TSingleFileSystem& fs, const std::string& path, const std::string& data,
                  std::string_view password = "kol") {
    TSFSFileStream s(&fs, 0, "", "", password, 0xFFFF, path);
    s.WriteBuffer(data.data(), int64_t(data.size()));
  }
  static std::string Get(TSingleFileSystem& fs, const std::string& path, std::string_view password = "kol") {
    TSFSFileStream s(&fs, 0, "", "", password, 0, path);
    std::string out(size_t(s.Size()), '\0');
    s.ReadBuffer(out.data(), int64_t(out.size()));
    return out;
  }
  test::TempDir dir_;
};

TEST_F(FacadeTest, WrongPasswordIsRefusedBeforeOpening) {
  Create();
  try {
    Open("wrong");
    FAIL();
  } catch (const ESFSError& e) {
    EXPECT_EQ(std::string(e.what()),
              "TSingleFileSystem.Create - invalid password specified, file name = \"" + Path() + "\"");
  }
  EXPECT_TRUE(TSingleFileSystem::IsContainerFile(Path()));
  EXPECT_TRUE(TSingleFileSystem::IsContainerEncrypted(Path()));
  EXPECT_TRUE(TSingleFileSystem::CheckContainerPassword(Path(), "secret"));
  EXPECT_FALSE(TSingleFileSystem::CheckContainerPassword(Path(), "Secret"));
  test::WriteFileBytes(dir_.file("text.txt"), "just some text, no container");
  EXPECT_FALSE(TSingleFileSystem::IsContainerFile(dir_.file("text.txt")));
  EXPECT_FALSE(TSingleFileSystem::IsContainerFile(dir_.file("missing.qvt")));
}

TEST_F(FacadeTest, FilesOfBoundarySizesReadBackAfterReopen) {
  const std::vector<size_t> sizes = {0, 1, 2015, 2016, 2017, 4032, 505 * 2016 + 1};
  {
    auto fs = Create();
    ASSERT_TRUE(fs->ForceDirectories("\\data\\deep"));
    for (size_t i = 0; i < sizes.size(); ++i)
      Put(*fs, "\\data\\deep\\f" + std::to_string(i), Random(sizes[i], uint32_t(i)));
    EXPECT_TRUE(fs->CheckIntegrity().empty());
  }
  auto fs = Open();
  for (size_t i = 0; i < sizes.size(); ++i)
    EXPECT_EQ(Get(*fs, "\\data\\deep\\f" + std::to_string(i)), Random(sizes[i], uint32_t(i))) << sizes[i];
  auto problems = fs->CheckIntegrity();
  EXPECT_TRUE(problems.empty()) << problems.front();
}

TEST_F(FacadeTest, ReadsAcrossPagesAndPartialWritesKeepTheRest) {
  auto fs = Create();
  std::string data = Random(3 * 2016, 5);
  Put(*fs, "f", data);
  TSFSFileStream s(fs.get(), 0, "", "", "kol", 2, "f");
  s.SetPosition(2010);
  char buf[10];
  ASSERT_EQ(s.Read(buf, 10), 10);
  EXPECT_EQ(std::string(buf, 10), data.substr(2010, 10));
  s.SetPosition(3000);
  s.WriteBuffer("Z", 1);
  data[3000] = 'Z';
  s.SetPosition(0);
  std::string all(data.size(), '\0');
  s.ReadBuffer(all.data(), int64_t(all.size()));
  EXPECT_EQ(all, data);
  // Writing past the end leaves zeros in the gap.
  s.SetPosition(int64_t(data.size()) + 5000);
  s.WriteBuffer("end", 3);
  EXPECT_EQ(s.Size(), int64_t(data.size()) + 5003);
  std::string gap(5000, 'x');
  s.SetPosition(int64_t(data.size()));
  s.ReadBuffer(gap.data(), 5000);
  EXPECT_EQ(gap, std::string(5000, '\0'));
}

TEST_F(FacadeTest, ShrinkingToZeroFreesTheMap) {
  auto fs = Create();
  Put(*fs, "f", Random(10000, 1));
  {
    TSFSFileStream s(fs.get(), 0, "", "", "kol", 2, "f");
    s.SetSize(0);
    EXPECT_EQ(s.Size(), 0);
  }
  int32_t k = fs->Directory().Resolve("f");
  EXPECT_EQ(fs->Directory().ReadItem(k).FirstMapPageNo, -1);
  EXPECT_TRUE(fs->CheckIntegrity().empty());
}

TEST_F(FacadeTest, FilePasswordsAreAskedForAndKept) {
  {
    auto fs = Create();
    Put(*fs, "own", "private bytes", "filepw");
  }
  auto fs = Open();
  // Wrong password and nobody to ask: the open fails.
  EXPECT_EQ(fs->FileOpen("own", 2, "", "", "nope"), -1);
  int asked = 0;
  fs->OnPasswordQuery = [&](const std::string& name, std::string& pw, bool& cancel) {
    ++asked;
    EXPECT_EQ(name, "own");
    pw = asked == 1 ? "still wrong" : "filepw";
  };
  int32_t h = fs->FileOpen("own", 2, "", "", "nope");
  ASSERT_GE(h, 0);
  EXPECT_EQ(asked, 2);
  char buf[13];
  EXPECT_EQ(fs->FileRead(h, buf, 13), 13);
  EXPECT_EQ(std::string(buf, 13), "private bytes");
  fs->FileClose(h);
  fs->OnPasswordQuery = [&](const std::string&, std::string&, bool& cancel) { cancel = true; };
  EXPECT_EQ(fs->FileOpen("own", 2, "", "", "nope"), -1);
}

TEST_F(FacadeTest, HandlesAreNumberedInOrderAndOpenFilesAreProtected) {
  auto fs = Create();
  Put(*fs, "a", "A");
  int32_t h0 = fs->FileOpen("a", 2, "", "", "kol");
  int32_t h1 = fs->FileOpen("a", 0, "", "", "kol");
  EXPECT_EQ(h0, 1);  // the handle Put used is not reused
  EXPECT_EQ(h1, 2);
  EXPECT_FALSE(fs->DeleteFile("a"));
  EXPECT_EQ(fs->FileOpen("a", 0xFFFF, "", "", "kol"), TSingleFileSystem::ErrCannotReplace);
  EXPECT_EQ(fs->LastError(), -16);
  EXPECT_EQ(fs->FileSetSize(99, 5), TSingleFileSystem::ErrUnknownHandle);
  fs->FileClose(h0);
  fs->FileClose(h1);
  EXPECT_TRUE(fs->DeleteFile("a"));
  EXPECT_FALSE(fs->FileExists("a"));
  EXPECT_EQ(fs->FileAge("a"), -1);
}

TEST_F(FacadeTest, ReadOnlyStreamsRefuseChanges) {
  auto fs = Create();
  Put(*fs, "a", "abc");
  TSFSFileStream s(fs.get(), 0, "", "", "kol", 0, "a");
  try {
    s.Write("x", 1);
    FAIL();
  } catch (const ESFSError& e) {
    EXPECT_STREQ(e.what(), "TSFSFileStream.Write - file is in read only mode.");
  }
  try {
    s.SetSize(0);
    FAIL();
  } catch (const ESFSError& e) {
    EXPECT_STREQ(e.what(), "TSFSFileStream.SetSize - file is in read only mode.");
  }
  try {
    TSFSFileStream missing(fs.get(), 0, "", "", "kol", 0, "nothing");
    FAIL();
  } catch (const ESFSError& e) {
    EXPECT_STREQ(e.what(), "TSFSUserFileStream.Create - unable to open file \"nothing\"");
  }
}

TEST_F(FacadeTest, CompressionFollowsTheContainerDefaultOnlyForNewFiles) {
  std::string text(300000, 'a');
  {
    auto fs = Create(5);
    Put(*fs, "packed", text);
    // A plain file written through the plain stream stays plain.
    TSFSUserFileStream plain(fs.get(), "", "", "kol", 0xFFFF, "plain");
    plain.WriteBuffer("plain text", 10);
  }
  auto fs = Open();
  {
    TSFSFileStream s(fs.get(), 0, "", "", "kol", 0, "packed");
    EXPECT_EQ(s.Method(), 5);
    EXPECT_EQ(s.Size(), int64_t(text.size()));
  }
  int32_t k = fs->Directory().Resolve("packed");
  EXPECT_LT(fs->Directory().ReadItem(k).FileSize, 10000);
  EXPECT_EQ(Get(*fs, "packed"), text);
  TSFSFileStream p(fs.get(), 0, "", "", "kol", 0, "plain");
  EXPECT_EQ(p.Method(), 0);
  EXPECT_EQ(Get(*fs, "plain"), "plain text");

  // Growing a compressed file by writing past its end.
  {
    TSFSFileStream s(fs.get(), 0, "", "", "kol", 2, "packed");
    s.SetPosition(int64_t(text.size()) + 2000000);
    s.WriteBuffer("!", 1);
  }
  std::string grown = Get(*fs, "packed");
  EXPECT_EQ(grown.size(), text.size() + 2000001);
  EXPECT_EQ(grown.substr(0, text.size()), text);
  EXPECT_EQ(grown.back(), '!');
  EXPECT_TRUE(fs->CheckIntegrity().empty());
}

TEST_F(FacadeTest, DamagedCompressedBlockIsReported) {
  auto fs = Create(1);
  Put(*fs, "c", std::string(5000, 'q'));
  {
    // Flip the stored CRC of the first block through the plain stream.
    TSFSUserFileStream raw(fs.get(), "", "", "kol", 2, "c");
    raw.SetPosition(128 + 8);
    char b;
    raw.ReadBuffer(&b, 1);
    b ^= 1;
    raw.SetPosition(128 + 8);
    raw.WriteBuffer(&b, 1);
  }
  try {
    Get(*fs, "c");
    FAIL();
  } catch (const ESFSError& e) {
    EXPECT_STREQ(e.what(), "TSFSAdvancedFileStream.LoadBlock - decompression crc error.");
  }
}

TEST_F(FacadeTest, SaveToFileWritesTheDiskFile) {
  auto fs = Create();
  std::string data = Random(2500000, 9);
  Put(*fs, "big", data);
  TSFSFileStream s(fs.get(), 0, "", "", "kol", 0, "big");
  std::vector<int> seen;
  s.OnProgress = [&](int p) { seen.push_back(p); };
  s.SetPosition(17);
  s.SaveToFile(dir_.file("out.bin"));
  EXPECT_EQ(test::ReadFileBytes(dir_.file("out.bin")), data);
  EXPECT_EQ(s.Position(), 17);
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen.front(), 0);
  EXPECT_EQ(seen.back(), 100);
}

TEST_F(FacadeTest, CutBytesReadAsZerosWhenTheFileGrowsAgain) {
  auto fs = Create();
  std::string data = Random(3000, 9);
  Put(*fs, "f", data);
  TSFSFileStream s(fs.get(), 0, "", "", "kol", 2, "f");
  s.SetSize(2100);      // inside the second page
  s.SetPosition(2500);  // write past the end, in the same page
  s.WriteBuffer("x", 1);
  s.SetSize(2900);  // and grow by a size change
  std::string all(2900, '?');
  s.SetPosition(0);
  s.ReadBuffer(all.data(), 2900);
  std::string want = data.substr(0, 2100) + std::string(400, '\0') + "x" + std::string(399, '\0');
  EXPECT_EQ(all, want);
}

TEST_F(FacadeTest, RandomOperationsKeepTheContainerSound) {
  std::mt19937 rng(42);
  std::map<std::string, std::string> model;
  auto fs = Create();
  for (int step = 0; step < 400; ++step) {
    std::string name = "\\f" + std::to_string(rng() % 6);
    int op = int(rng() % 5);
    // Each step is one change of the container, made durable as a whole.
    std::optional<TSFSTransaction> change;
    if (op != 4) change.emplace(*fs);
    if (op == 0 || model.count(name) == 0) {
      std::string data = Random(rng() % 9000, rng());
      Put(*fs, name, data);
      model[name] = data;
    } else if (op == 1) {
      TSFSFileStream s(fs.get(), 0, "", "", "kol", 2, name);
      size_t pos = rng() % (model[name].size() + 3000);
      std::string chunk = Random(1 + rng() % 5000, rng());
      s.SetPosition(int64_t(pos));
      s.WriteBuffer(chunk.data(), int64_t(chunk.size()));
      std::string& m = model[name];
      if (m.size() < pos + chunk.size()) m.resize(pos + chunk.size(), '\0');
      m.replace(pos, chunk.size(), chunk);
    } else if (op == 2) {
      TSFSFileStream s(fs.get(), 0, "", "", "kol", 2, name);
      size_t n = rng() % (model[name].size() + 4000);
      s.SetSize(int64_t(n));
      model[name].resize(n, '\0');
    } else if (op == 3) {
      ASSERT_TRUE(fs->DeleteFile(name));
      model.erase(name);
    } else {
      fs.reset();
      fs = Open();
    }
    if (change) change->Commit();
    auto problems = fs->CheckIntegrity();
    ASSERT_TRUE(problems.empty()) << "step " << step << ": " << problems.front();
  }
  fs.reset();
  fs = Open();
  for (auto& [name, data] : model) EXPECT_EQ(Get(*fs, name), data) << name;
}

TEST_F(FacadeTest, InjectedShortWritesAreReportedAndLeaveASoundContainer) {
  test::TFaultyPartStorage storage;
  auto fs = Create(0, &storage);
  Put(*fs, "keep", "kept bytes");
  std::string data = Random(20000, 3);
  // The device fills up while the file grows (map pages included) and again while data is written.
  for (int64_t budget : {0, 3000, 7000, 12000, 18000}) {
    SCOPED_TRACE(budget);
    int32_t h = fs->FileOpen("grow", 0xFFFF, "", "", "kol");
    ASSERT_GE(h, 0);
    storage.writeBudget = budget;
    int64_t written = fs->FileWrite(h, data.data(), int64_t(data.size()));
    EXPECT_LT(written, int64_t(data.size()));
    EXPECT_NE(fs->LastError(), 0);
    storage.writeBudget = -1;
    EXPECT_EQ(fs->FileSize(h), written);
    fs->FileClose(h);
    auto problems = fs->CheckIntegrity();
    EXPECT_TRUE(problems.empty()) << problems.front();
    EXPECT_EQ(Get(*fs, "keep"), "kept bytes");
    EXPECT_EQ(Get(*fs, "grow"), data.substr(0, size_t(written)));
  }

  // A short read leaves the page error in the last error. (Under one read lock: taking it reads the
  // header, which the budget is not meant for.)
  Put(*fs, "grow", data);
  TSFSReadLock read(*fs);
  storage.readBudget = 100;
  int32_t r = fs->FileOpen("grow", 0, "", "", "kol");
  ASSERT_GE(r, 0);
  std::vector<char> buf(data.size());
  int64_t got = fs->FileRead(r, buf.data(), int64_t(buf.size()));
  EXPECT_LT(got, int64_t(buf.size()));
  EXPECT_TRUE(fs->LastError() == TPageFileManager::ErrReadPageHeader ||
              fs->LastError() == TPageFileManager::ErrReadPageData);
  storage.readBudget = -1;
  fs->FileClose(r);
}

}  // namespace
}  // namespace quillmar

namespace quillmar {
namespace {

TEST_F(FacadeTest, LargeReadsStopAtADamagedPageWithItsError) {
  const std::string data = Random(700 * 2016, 11);
  int32_t damaged;
  {
    auto fs = Create();
    Put(*fs, "big", data);
    TDIRItem item = fs->Directory().ReadItem(fs->Directory().Resolve("big"));
    const std::vector<int32_t>* m;
    const std::vector<int32_t>* d;
    fs->Maps().GetMaps(item, m, d);
    damaged = (*d)[450];  // in the half a second thread decrypts
  }
  std::string bytes = test::ReadFileBytes(Path());
  bytes[280 + size_t(damaged) * 2048 + 40] ^= 1;
  test::WriteFileBytes(Path(), bytes);
  auto fs = Open();
  int32_t h = fs->FileOpen("big", 0, "", "", "kol");
  ASSERT_GE(h, 0);
  std::string got(data.size(), '\0');
  int64_t n = fs->FileRead(h, got.data(), int64_t(got.size()));
  EXPECT_EQ(n, 450 * 2016);
  EXPECT_EQ(fs->LastError(), TPageFileManager::ErrChecksum);
  EXPECT_TRUE(got.compare(0, size_t(n), data, 0, size_t(n)) == 0);
  fs->FileClose(h);
}

TEST_F(FacadeTest, APageMarkedWithAnotherEncryptionThanItsFileNeedsIsAProblem) {
  {
    auto fs = Create();
    Put(*fs, "\\own", Random(5000, 9));        // its own password: pages encrypted with its key
    Put(*fs, "\\keyed", Random(5000, 8), "");  // the container's key
    // A file grown past its end has plain pages of zeros, which are sound in any file.
    TSFSFileStream grown(fs.get(), 0, "", "", "kol", 0xFFFF, "\\grown");
    grown.SetSize(3 * 2016);
    grown.Seek(0, TSeekOrigin::End);
    grown.WriteBuffer("x", 1);
  }
  EXPECT_TRUE(Open()->CheckIntegrity().empty());
  test::SetPageEncryptionMark(Path(), "secret", "\\own", 1, etNone);
  test::SetPageEncryptionMark(Path(), "secret", "\\keyed", 0, 7);
  auto problems = Open()->CheckIntegrity();
  ASSERT_EQ(problems.size(), 2u);
  EXPECT_NE(problems[0].find("(\"\\own\"): data page"), std::string::npos) << problems[0];
  EXPECT_NE(problems[0].find("(bytes from 2016) is marked with encryption type 0, but the file needs 1"),
            std::string::npos)
      << problems[0];
  EXPECT_NE(problems[1].find("(\"\\keyed\")"), std::string::npos) << problems[1];
  EXPECT_NE(problems[1].find("encryption type 7"), std::string::npos) << problems[1];
}

}  // namespace
}  // namespace quillmar
