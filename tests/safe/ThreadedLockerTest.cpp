// Locking, unlocking and re-keying File Locker files on several threads: the files read the same
// whichever path wrote them, and failures or cancels leave nothing partial and no thread behind.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "SafeTestSupport.h"
#include "base/Exception.h"
#include "base/MemoryStream.h"
#include "safe/LockedFileCipher.h"
#include "support/ContainerDamage.h"
#include "support/ExpectThrow.h"
#include "support/ProcessThreads.h"
#include "support/ScopedEnv.h"

namespace quillmar::test {
namespace {

namespace fs = std::filesystem;
using W = TqmSFSWrapper;

std::string Random(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  std::string s(n, '\0');
  for (auto& c : s) c = char(rng());
  return s;
}

const size_t kBatch = TLockedFileCipher::kBatchSize;
const std::vector<size_t> kSizes = {0, 7, 2017, kBatch + 1, 3 * kBatch + 5};

class ThreadedLockerTest : public SafeFixture {
protected:
  std::string Name(size_t size) const { return "f" + std::to_string(size) + ".bin"; }
  void Lock(size_t size, const char* threads, bool replace = false) {
    TScopedEnv env("QM_THREADS", threads);
    if (replace) prompter.ExpectYesNo(true);  // "File exists. Do you want to overwrite it?"
    WriteFileBytes(dir.file(Name(size)), Random(size, uint32_t(size)));
    ASSERT_TRUE(safe.LockFile(W::kFileLockerRoot, dir.file(Name(size)), true, kPassword));
  }
  std::string Unlock(size_t size, const char* threads, std::string_view password = kPassword) {
    TScopedEnv env("QM_THREADS", threads);
    TMemoryStream out;
    safe.UnlockToStream(std::string(W::kFileLockerRoot) + Name(size), out, W::TextKeyFor(safeFile, password));
    return out.ToString();
  }
  std::vector<std::string> LockerFiles() {
    std::vector<std::string> names;
    for (int i = 0; i < safe.CountFiles(W::kFileLockerRoot); ++i)
      names.push_back(safe.FileInfoAt(W::kFileLockerRoot, i).Name);
    return names;
  }
};

TEST_F(ThreadedLockerTest, FilesLockedOnOneThreadUnlockOnSeveralAndTheOtherWayRound) {
  for (size_t size : kSizes) {
    SCOPED_TRACE(size);
    Lock(size, "2");
    EXPECT_TRUE(Unlock(size, "1") == Random(size, uint32_t(size)));
    Lock(size, "1", true);
    EXPECT_TRUE(Unlock(size, "2") == Random(size, uint32_t(size)));
  }
  // The re-keying of a change of password on several threads; read back on one.
  {
    TScopedEnv env("QM_THREADS", "2");
    ASSERT_TRUE(safe.ChangePassword(kPassword, "another password"));
  }
  for (size_t size : kSizes)
    EXPECT_TRUE(Unlock(size, "1", "another password") == Random(size, uint32_t(size)));
}

TEST_F(ThreadedLockerTest, AFailureOrACancelLeavesNothingPartialAndNoThread) {
  TScopedEnv env("QM_THREADS", "2");
  const size_t size = 3 * kBatch + 5;
  Lock(size, "2");
  const std::string root = W::kFileLockerRoot;
  const int before = ProcessThreads();

  // A source that ends early while it is locked: no new file, the old one intact.
  class TShortSource : public TMemoryStream {
  public:
    using TMemoryStream::TMemoryStream;
    int64_t Size() override { return TMemoryStream::Size() + 4096; }  // promises more than it has
  };
  TShortSource shortSource(Random(2 * kBatch, 1));
  EXPECT_THROW(safe.LockStream(root + Name(size), shortSource, kPassword), EUnreadableData);
  EXPECT_EQ(LockerFiles(), std::vector<std::string>{Name(size)});
  EXPECT_TRUE(Unlock(size, "2") == Random(size, uint32_t(size)));

  // An unreadable page far into the file: nothing is written to the disk.
  safe.CloseSafe();
  DamagePagePayload(safeFile, kPassword, root + Name(size), 2 * kBatch / 2016);
  safe.OpenSafe(safeFile, kPassword);
  fs::create_directories(dir.file("out"));
  ExpectThrow<EQuillmarError>([&] { safe.UnlockFile(root, Name(size), kPassword, dir.file("out/x.bin")); });
  EXPECT_TRUE(fs::is_empty(dir.file("out")));
  EXPECT_EQ(ProcessThreads(), before);

  // A cancel at random points of a change of password (copy, re-keying, rebuild): the Safe file as it
  // was. (The damaged file goes first: a change of password stops at an unreadable locked file.)
  ASSERT_TRUE(safe.Remove(root, Name(size)));
  const size_t other = 2 * kBatch;
  Lock(other, "2");
  safe.CloseSafe();
  const std::string bytes = ReadFileBytes(safeFile);
  std::mt19937 rng(3);
  for (int round = 0; round < 5; ++round) {
    const double at = double(rng() % 1000) / 1000.0;
    SCOPED_TRACE(at);
    safe.OpenSafe(safeFile, kPassword);
    EXPECT_FALSE(safe.ChangePassword(kPassword, "other", std::nullopt, [&](double f, bool& cancel) {
      if (f >= at) cancel = true;
    }));
    safe.CloseSafe();
    EXPECT_TRUE(ReadFileBytes(safeFile) == bytes);
    EXPECT_EQ(ProcessThreads(), before);
  }
  safe.OpenSafe(safeFile, kPassword);
  EXPECT_TRUE(Unlock(other, "1") == Random(other, uint32_t(other)));
}

}  // namespace
}  // namespace quillmar::test
