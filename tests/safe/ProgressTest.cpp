// Progress and cancel of the Safe's long operations: the change of password and the repair.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "SafeTestSupport.h"
#include "base/MemoryStream.h"
#include "container/SingleFileSystem.h"
#include "safe/qmSFSWrapper.h"

namespace quillmar::test {
namespace {

namespace fs = std::filesystem;
using W = TqmSFSWrapper;

constexpr int64_t kMiB = int64_t(1) << 20;

std::string Pattern(size_t size, unsigned seed) {
  std::string s(size, '\0');
  for (size_t i = 0; i < size; ++i) s[i] = static_cast<char>((i * 167 + seed * 13 + (i >> 9)) & 0xFF);
  return s;
}

class ProgressTest : public SafeFixture {
protected:
  void SetUp() override {
    SafeFixture::SetUp();
    big = Pattern(size_t(4 * kMiB + 123), 5);
    TMemoryStream in(big);
    safe.LockStream("\\File Locker\\big.bin", in, kPassword);
    TMemoryStream small(std::string("a small one"));
    safe.LockStream("\\File Locker\\Docs\\small.txt", small, kPassword);
  }

  void ExpectBigUnder(const std::string& password) {
    TMemoryStream out;
    safe.UnlockToStream("\\File Locker\\big.bin", out, password);
    EXPECT_TRUE(out.ToString() == big);
  }

  std::vector<std::string> FolderFiles() {
    std::vector<std::string> names;
    for (auto& e : fs::directory_iterator(dir.path())) names.push_back(e.path().filename().string());
    return names;
  }

  std::string big;
};

TEST_F(ProgressTest, ChangeOfPasswordReportsEveryMiBOfReKeyingAndEndsAtOne) {
  std::vector<double> fractions;
  // The calls between the end of the copy and the end of the re-keying belong to the re-keying.
  int rekeyCalls = -1;
  safe.OnPasswordChangeStage = [&](const std::string& stage) {
    if (stage == "copied") rekeyCalls = 0;
    if (stage == "rekeyed") rekeyCalls = -rekeyCalls - 2;  // frozen, negative
  };
  ASSERT_TRUE(safe.ChangePassword(kPassword, "new secret", std::nullopt, [&](double f, bool&) {
    fractions.push_back(f);
    if (rekeyCalls >= 0) ++rekeyCalls;
  }));
  const int rekeyed = -rekeyCalls - 2;
  EXPECT_GE(rekeyed, 4) << "the 4 MiB file is reported at least once per MiB";
  ASSERT_FALSE(fractions.empty());
  EXPECT_EQ(fractions.front(), 0.0);
  EXPECT_DOUBLE_EQ(fractions.back(), 1.0);
  for (size_t i = 1; i < fractions.size(); ++i) EXPECT_GE(fractions[i], fractions[i - 1]);
  // The copy and the rebuild report as they go too: far more than a handful of calls.
  EXPECT_GT(fractions.size(), 12u);
  ExpectBigUnder("new secret");
}

TEST_F(ProgressTest, ACancelBeforeTheRenameLeavesTheSafeFileAsItWas) {
  safe.CloseSafe();
  const std::string before = ReadFileBytes(safeFile);
  // Cancelled at the first report, during the copy, the re-keying and the rebuild.
  for (double at : {0.0, 0.2, 0.45, 0.8, 0.97, 0.99999}) {
    SCOPED_TRACE(at);
    safe.OpenSafe(safeFile, kPassword);
    bool asked = false;
    EXPECT_FALSE(safe.ChangePassword(kPassword, "other", std::nullopt, [&](double f, bool& cancel) {
      if (f >= at && !asked) cancel = asked = true;
    }));
    EXPECT_TRUE(asked);
    EXPECT_TRUE(safe.IsOpen());
    safe.CloseSafe();
    EXPECT_TRUE(ReadFileBytes(safeFile) == before);
    EXPECT_EQ(FolderFiles(), std::vector<std::string>{"Test.qvt"});
  }
  safe.OpenSafe(safeFile, kPassword);
  ExpectBigUnder(kPassword);
}

TEST_F(ProgressTest, ACancelAfterTheRenameIsTooLateAndTheChangeHolds) {
  bool swapped = false;
  safe.OnPasswordChangeStage = [&](const std::string& stage) { swapped = swapped || stage == "swapped"; };
  EXPECT_TRUE(safe.ChangePassword(kPassword, "other", std::nullopt, [&](double, bool& cancel) {
    if (swapped) cancel = true;
  }));
  ExpectBigUnder("other");
}

TEST_F(ProgressTest, HardeningAndBackReportProgressAndACancelKeepsTheKindAndTheBytes) {
  safe.CloseSafe();
  const std::string before = ReadFileBytes(safeFile);
  safe.OpenSafe(safeFile, kPassword);
  // A cancel during the re-keying of the hardening: the Safe stays compatible, byte for byte.
  bool asked = false;
  EXPECT_FALSE(
      safe.ChangePassword(kPassword, "hardened secret", TqmSafeKind::Hardened, [&](double f, bool& cancel) {
        if (f >= 0.45 && !asked) cancel = asked = true;
      }));
  EXPECT_TRUE(asked);
  EXPECT_EQ(safe.Kind(), TqmSafeKind::Compatible);
  safe.CloseSafe();
  EXPECT_TRUE(ReadFileBytes(safeFile) == before);
  EXPECT_EQ(FolderFiles(), std::vector<std::string>{"Test.qvt"});

  // Carried through: hardened, reported to the end, the locked file re-keyed under the derived key.
  safe.OpenSafe(safeFile, kPassword);
  std::vector<double> fractions;
  ASSERT_TRUE(safe.ChangePassword(kPassword, "hardened secret", TqmSafeKind::Hardened,
                                  [&](double f, bool&) { fractions.push_back(f); }));
  EXPECT_EQ(safe.Kind(), TqmSafeKind::Hardened);
  ASSERT_FALSE(fractions.empty());
  EXPECT_DOUBLE_EQ(fractions.back(), 1.0);
  EXPECT_GT(fractions.size(), 12u);
  const TTextKey hardened = W::TextKeyFor(safeFile, "hardened secret");
  TMemoryStream out;
  safe.UnlockToStream("\\File Locker\\big.bin", out, hardened);
  EXPECT_TRUE(out.ToString() == big);

  // And back to compatible, with progress too.
  fractions.clear();
  ASSERT_TRUE(safe.ChangePassword("hardened secret", kPassword, TqmSafeKind::Compatible,
                                  [&](double f, bool&) { fractions.push_back(f); }));
  EXPECT_EQ(safe.Kind(), TqmSafeKind::Compatible);
  EXPECT_DOUBLE_EQ(fractions.back(), 1.0);
  ExpectBigUnder(kPassword);
}

TEST_F(ProgressTest, RepairReportsAndACancelLeavesTheSafeAsItWas) {
  // Something to drop, so that a finished repair would change the file.
  TMemoryStream doomed(Pattern(300000, 2));
  safe.LockStream("\\File Locker\\doomed.bin", doomed, kPassword);
  safe.Remove("\\File Locker\\", "doomed.bin");
  safe.CloseSafe();
  const std::string before = ReadFileBytes(safeFile);
  safe.OpenSafe(safeFile, kPassword);
  std::vector<double> fractions;
  std::string log;
  EXPECT_FALSE(safe.Repair(&log, nullptr, [&](double f, bool& cancel) {
    fractions.push_back(f);
    if (f > 0.5) cancel = true;
  }));
  EXPECT_NE(log.find("cancelled"), std::string::npos) << log;
  safe.CloseSafe();
  EXPECT_TRUE(ReadFileBytes(safeFile) == before);
  // Within the 4 MiB file the rebuild reports more than once.
  EXPECT_GT(fractions.size(), 4u);

  safe.OpenSafe(safeFile, kPassword);
  fractions.clear();
  ASSERT_TRUE(safe.Repair(&log, nullptr, [&](double f, bool&) { fractions.push_back(f); })) << log;
  EXPECT_DOUBLE_EQ(fractions.back(), 1.0);
  EXPECT_LT(fs::file_size(safeFile), before.size());
  ExpectBigUnder(kPassword);
}

TEST_F(ProgressTest, LockAndUnlockReportTheirBytesAndACancelChangesNothing) {
  // Bytes reported in order, from 0 to the whole size, with the size as the total.
  const std::string disk = dir.file("big.bin");
  {
    TMemoryStream out;
    safe.UnlockToStream("\\File Locker\\big.bin", out, kPassword);
    WriteFileBytes(disk, out.ToString());
  }
  std::vector<int64_t> done;
  ASSERT_TRUE(safe.LockFile("\\File Locker\\copy.bin", disk, false, TTextKey::FromPassword(kPassword),
                            [&](int64_t d, int64_t total, bool&) {
                              EXPECT_EQ(total, static_cast<int64_t>(big.size()));
                              done.push_back(d);
                            }));
  ASSERT_GT(done.size(), 4u);
  EXPECT_EQ(done.front(), 0);
  EXPECT_EQ(done.back(), static_cast<int64_t>(big.size()));
  EXPECT_TRUE(std::is_sorted(done.begin(), done.end()));

  // A cancelled lock over a locked file keeps the old one and leaves nothing beside it.
  WriteFileBytes(disk, Pattern(big.size(), 9));
  auto cancelHalfway = [&](int64_t d, int64_t total, bool& cancel) { cancel = d * 2 >= total && d > 0; };
  EXPECT_FALSE(
      safe.LockFile("\\File Locker\\big.bin", disk, false, TTextKey::FromPassword(kPassword), cancelHalfway));
  ExpectBigUnder(kPassword);
  EXPECT_EQ(safe.CountFiles("\\File Locker\\"), 2);

  // A cancelled unlock over a disk file keeps that file as it was and leaves no partial file.
  const std::string before = ReadFileBytes(disk);
  const auto filesBefore = FolderFiles();
  prompter.ExpectYesNo(W::kMsgFileAlreadyOpened, true);
  EXPECT_FALSE(
      safe.UnlockFile("\\File Locker\\", "big.bin", TTextKey::FromPassword(kPassword), disk, cancelHalfway));
  EXPECT_TRUE(ReadFileBytes(disk) == before);
  EXPECT_EQ(FolderFiles().size(), filesBefore.size());
}

}  // namespace
}  // namespace quillmar::test
