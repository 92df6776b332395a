// Reading files ahead and rebuilding containers on several threads: the same bytes as the one-thread
// paths (QM_THREADS=1), and failures and cancels that stop cleanly, leaving no thread behind.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "container/SFSFileStream.h"
#include "container/SingleFileSystem.h"
#include "support/ContainerDamage.h"
#include "support/FaultyPartStorage.h"
#include "support/ProcessThreads.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"

namespace quillmar {
namespace {

namespace fs = std::filesystem;

constexpr int64_t D = 2016;  // payload bytes of a 2048-byte page
// The engine's steps: read-ahead windows of 128 pages (kWindow spans two), rebuild runs of 256 pages,
// a rebuild takes several threads from 1024 pages on.
constexpr int64_t kWindow = 256 * D;
constexpr int64_t kThreadedCopy = 1024 * D;

std::string Random(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  std::string s(n, '\0');
  for (auto& c : s) c = char(rng());
  return s;
}

// Sizes around the block, page, window and run boundaries.
const std::vector<int64_t> kSizes = {
    0, 1, 7, 8, D, D + 1, kWindow - 1, kWindow + 1, 5 * kWindow + 3, kThreadedCopy - 1, kThreadedCopy + 1};

class ThreadedPathsTest : public ::testing::Test {
protected:
  std::string Path() const { return dir_.file("safe.qvt"); }
  std::unique_ptr<TSingleFileSystem> Create() {
    return std::make_unique<TSingleFileSystem>(Path(), -1, 8, 2048, 0, "", "", "secret", false, 0xFFFF);
  }
  std::unique_ptr<TSingleFileSystem> Open(TSFSPartStorage* storage = nullptr) {
    return std::make_unique<TSingleFileSystem>(Path(), -1, 8, 2048, 0, "", "", "secret", false, 18, storage);
  }
  static std::string Name(int64_t size) { return "\\f" + std::to_string(size); }
  static void Put(TSingleFileSystem& s, const std::string& path, const std::string& data,
                  std::string_view password = "") {
    TSFSTransaction change(s);
    {
      TSFSFileStream f(&s, 0, "", "", password, 0xFFFF, path);
      f.WriteBuffer(data.data(), int64_t(data.size()));
    }
    change.Commit();
  }
  // The whole file, read in pieces of `piece` bytes.
  static std::string Get(TSingleFileSystem& s, const std::string& path, int64_t piece,
                         std::string_view password = "") {
    TSFSFileStream f(&s, 0, "", "", password, 0, path);
    std::string out(size_t(f.Size()), '\0');
    for (int64_t at = 0; at < int64_t(out.size()); at += piece)
      f.ReadBuffer(out.data() + at, std::min<int64_t>(piece, int64_t(out.size()) - at));
    return out;
  }
  void FillSizes() {
    auto s = Create();
    for (int64_t size : kSizes) Put(*s, Name(size), Random(size_t(size), uint32_t(size)));
    Put(*s, "\\own", Random(size_t(kThreadedCopy + 5), 9), "own password");
    ASSERT_TRUE(s->DeleteFile(Name(kWindow - 1)));  // something for a rebuild to drop
  }
  std::vector<std::string> FolderFiles() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir_.path())) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  test::TempDir dir_;
};

TEST_F(ThreadedPathsTest, ReadingAheadGivesTheBytesOfTheOneThreadPathInAnyPieceSize) {
  FillSizes();
  auto s = Open();
  const int before = test::ProcessThreads();
  for (const char* threads : {"1", "2", "3"}) {
    test::TScopedEnv env("QM_THREADS", threads);
    for (int64_t size : kSizes) {
      if (size == kWindow - 1) continue;
      const std::string expected = Random(size_t(size), uint32_t(size));
      for (int64_t piece : {int64_t(8192), int64_t(1) << 20, D + 5, int64_t(1001), int64_t(3)}) {
        if (piece == 3 && size > D + 1) continue;  // tiny reads of the large files take long
        EXPECT_TRUE(Get(*s, Name(size), piece) == expected)
            << threads << " threads, " << size << " in " << piece;
      }
    }
    EXPECT_TRUE(Get(*s, "\\own", 8192, "own password") == Random(size_t(kThreadedCopy + 5), 9));
  }
  EXPECT_EQ(test::ProcessThreads(), before);  // the streams are closed: their helpers are gone
}

TEST_F(ThreadedPathsTest, ReadingAheadNeverServesPagesFromBeforeAChange) {
  test::TScopedEnv env("QM_THREADS", "2");
  const int64_t size = 6 * kWindow;
  auto s = Create();
  Put(*s, "\\f", Random(size_t(size), 1));
  Put(*s, "\\g", Random(size_t(size), 2));
  const int before = test::ProcessThreads();
  auto f = std::make_unique<TSFSFileStream>(s.get(), 0, "", "", "", 0, "\\f");
  std::string got(size_t(size), '\0');
  const int64_t piece = 100000;
  // Three sequential reads start the read-ahead (its helper thread runs while the file is open);
  // then the file is rewritten through another handle ahead of the reader: the reader must see the
  // new bytes.
  for (int i = 0; i < 3; ++i) f->ReadBuffer(got.data() + i * piece, piece);
  EXPECT_EQ(test::ProcessThreads(), before + 1);
  const std::string fresh = Random(size_t(2 * kWindow), 3);
  {
    TSFSFileStream w(s.get(), 0, "", "", "", 2, "\\f");
    w.SetPosition(3 * piece + 10);
    w.WriteBuffer(fresh.data(), int64_t(fresh.size()));
  }
  std::string expected = Random(size_t(size), 1);
  expected.replace(size_t(3 * piece + 10), fresh.size(), fresh);
  const int64_t rest = size - 3 * piece;
  f->ReadBuffer(got.data() + 3 * piece, rest);
  EXPECT_TRUE(got == expected);

  // A change elsewhere in the container also drops what was read ahead (it may have moved pages).
  f->SetPosition(0);
  for (int i = 0; i < 3; ++i) f->ReadBuffer(got.data() + i * piece, piece);
  Put(*s, "\\g", "short now");
  {
    TSFSFileStream w(s.get(), 0, "", "", "", 2, "\\f");
    w.SetSize(4 * piece);  // cut: the pages after it are given back
    w.SetSize(size);       // and grown again: zeros there now
  }
  f->ReadBuffer(got.data() + 3 * piece, rest);
  expected.replace(size_t(4 * piece), size_t(size - 4 * piece), std::string(size_t(size - 4 * piece), '\0'));
  EXPECT_TRUE(got == expected);
  f.reset();
  EXPECT_EQ(test::ProcessThreads(), before);

  // A file opened for writing is not read ahead: its own writes would void what was read.
  TSFSFileStream rw(s.get(), 0, "", "", "", 2, "\\f");
  for (int i = 0; i < 4; ++i) rw.ReadBuffer(got.data() + i * piece, piece);
  EXPECT_EQ(test::ProcessThreads(), before);
}

TEST_F(ThreadedPathsTest, ReadingAheadInsideATransactionSeesItsChangedPages) {
  // A file rewritten inside a transaction has its new pages in the transaction's cache until the
  // commit; a read through it in the same transaction must see them, not the disk's.
  test::TScopedEnv env("QM_THREADS", "2");
  const int64_t size = 6 * kWindow;
  const std::string before = Random(size_t(size), 1);
  const std::string after = Random(size_t(size), 2);
  {
    auto s = Create();
    Put(*s, "\\f", before);
  }
  auto s = Open();
  {
    TSFSTransaction change(*s);
    {
      TSFSFileStream w(s.get(), 0, "", "", "", 2, "\\f");
      w.WriteBuffer(after.data(), size);
    }
    ASSERT_GT(s->PageFile().CachedPageCount(), size_t(64));
    EXPECT_TRUE(Get(*s, "\\f", 100000) == after);
  }  // rolled back
  EXPECT_TRUE(Get(*s, "\\f", 100000) == before);
}

TEST_F(ThreadedPathsTest, ADamagedOrUnreadablePageEndsTheReadWhereTheOneThreadPathEndsIt) {
  const int64_t size = 8 * kWindow + 77;
  {
    auto s = Create();
    Put(*s, "\\f", Random(size_t(size), 4));
  }
  test::DamagePagePayload(Path(), "secret", "\\f", 5 * 256 + 17);
  auto readAll = [&](TSingleFileSystem& s, int64_t piece, int32_t& error) {
    TSFSFileStream f(&s, 0, "", "", "", 0, "\\f");
    std::string got;
    std::string buffer(size_t(piece), '\0');
    for (;;) {
      const int64_t n = f.Read(buffer.data(), piece);
      got.append(buffer.data(), size_t(std::max<int64_t>(n, 0)));
      if (n < piece) break;
    }
    error = s.LastError();
    return got;
  };
  const int before = test::ProcessThreads();
  for (int64_t piece : {int64_t(8192), int64_t(1) << 20}) {
    std::string one, two;
    int32_t errorOne = 0, errorTwo = 0;
    {
      test::TScopedEnv env("QM_THREADS", "1");
      auto s = Open();
      one = readAll(*s, piece, errorOne);
    }
    {
      test::TScopedEnv env("QM_THREADS", "2");
      auto s = Open();
      two = readAll(*s, piece, errorTwo);
    }
    EXPECT_EQ(one.size(), size_t((5 * 256 + 17) * D));  // every byte before the damaged page
    EXPECT_TRUE(two == one) << piece;
    EXPECT_EQ(errorOne, TSingleFileSystem::ErrChecksum);
    EXPECT_EQ(errorTwo, errorOne);
  }

  // A device that stops delivering at some point: the bytes delivered are the file's, then a short read.
  std::mt19937 rng(7);
  for (int round = 0; round < 6; ++round) {
    test::TScopedEnv env("QM_THREADS", "2");
    test::TFaultyPartStorage storage;
    auto s = Open(&storage);
    storage.readBudget = int64_t(rng() % uint32_t(size));
    storage.hardErrors = round % 2 == 1;
    int32_t error = 0;
    std::string got;
    try {
      got = readAll(*s, 8192, error);
      EXPECT_NE(error, 0);
    } catch (const ESFSError&) {
      // a hard error on a map page: the stream says so
    }
    EXPECT_LT(got.size(), size_t(size));
    EXPECT_TRUE(got == Random(size_t(size), 4).substr(0, got.size()));
  }
  EXPECT_EQ(test::ProcessThreads(), before);
}

TEST_F(ThreadedPathsTest, ReadingAheadMeetsAContainerThatGrowsOrIsChangedByAnotherProgramBetweenReads) {
  // Parts of 100.5 pages: windows read ahead span two part files, pages span them too, and each write
  // below adds part files to the container while the read-ahead has windows queued.
  test::TScopedEnv env("QM_THREADS", "2");
  const int64_t partSize = 100 * 2048 + 1024 + 280;
  const int64_t size = 6 * kWindow + 11;
  {
    TSingleFileSystem s(Path(), partSize, 8, 2048, 0, "", "", "secret", false, 0xFFFF);
    Put(s, "\\f", Random(size_t(size), 1));
  }
  auto shared = [&] {
    return std::make_unique<TSingleFileSystem>(Path(), -1, 8, 2048, 0, "", "", "secret", false,
                                               TSFSConstants::fmReadWrite);
  };
  auto reader = shared();
  auto other = shared();  // another program with the container open
  std::string expected = Random(size_t(size), 1);
  std::string got(size_t(size), '\0');
  const int before = test::ProcessThreads();
  const int partsBefore = reader->PageFile().PartCount();
  {
    TSFSFileStream f(reader.get(), 0, "", "", "", 0, "\\f");
    // Four reads in a row start the read-ahead again after each change.
    const int64_t piece = 120000;
    int step = 0;
    for (int64_t at = 0; at < size; ++step) {
      for (int i = 0; i < 4 && at < size; ++i) {
        const int64_t n = std::min(piece, size - at);
        f.ReadBuffer(got.data() + at, n);
        at += n;
      }
      if (step == 0) {
        EXPECT_EQ(test::ProcessThreads(), before + 1);  // reading ahead
      }
      const std::string name = "\\g" + std::to_string(step);
      switch (step % 3) {
        case 0:  // this program grows the container through another file
          Put(*reader, name, Random(size_t(2 * partSize), uint32_t(step)));
          break;
        case 1:  // another program grows it: this one's next read takes the new part files in
          Put(*other, name, Random(size_t(2 * partSize), uint32_t(step)));
          break;
        default: {  // another program rewrites the bytes just ahead of the reader
          const std::string fresh = Random(size_t(std::min<int64_t>(kWindow, size - at)), uint32_t(step));
          TSFSFileStream w(other.get(), 0, "", "", "", 2, "\\f");
          w.SetPosition(at);
          w.WriteBuffer(fresh.data(), int64_t(fresh.size()));
          expected.replace(size_t(at), fresh.size(), fresh);
        }
      }
    }
  }
  EXPECT_GT(reader->PageFile().PartCount(), partsBefore + 3);
  EXPECT_TRUE(got == expected);
  EXPECT_EQ(test::ProcessThreads(), before);
}

TEST_F(ThreadedPathsTest, AReadErrorOfTheHelperReachesTheReaderAsTheOneThreadPathReportsIt) {
  const int64_t size = 12 * kWindow + 5;
  const size_t badPage = 9 * 256 + 3;
  {
    auto s = Create();
    Put(*s, "\\f", Random(size_t(size), 6));
  }
  const test::TPagePlace place = test::PlaceOfFilePage(Path(), "secret", "\\f", badPage);
  ASSERT_GE(place.offset, 0);
  // Reads the file through in pieces until the device fails at that page: the bytes delivered, the
  // message, and whether a read of another thread than this one met the failure.
  struct TOutcome {
    std::string got, message;
    bool helperMetIt = false;
  };
  auto readThrough = [&](const char* threads) {
    test::TScopedEnv env("QM_THREADS", threads);
    test::TFaultyPartStorage storage;
    auto s = Open(&storage);
    storage.failReadPath = Path();
    storage.failReadAt = place.offset + 40;
    TOutcome outcome;
    {
      TSFSFileStream f(s.get(), 0, "", "", "", 0, "\\f");
      std::string buffer(65536, '\0');
      try {
        for (int64_t n = 1; n > 0;) {
          n = f.Read(buffer.data(), int64_t(buffer.size()));
          outcome.got.append(buffer.data(), size_t(std::max<int64_t>(n, 0)));
        }
      } catch (const ESFSError& e) {
        outcome.message = e.what();
      }
    }
    for (std::thread::id id : storage.FailedReadThreads())
      if (id != std::this_thread::get_id()) outcome.helperMetIt = true;
    return outcome;
  };
  const int before = test::ProcessThreads();
  const TOutcome one = readThrough("1");
  EXPECT_FALSE(one.message.empty());
  EXPECT_LT(one.got.size(), badPage * size_t(D));
  EXPECT_TRUE(one.got == Random(size_t(size), 6).substr(0, one.got.size()));
  // The helper reads far ahead of the reader and meets the failure first; a busy machine may let the
  // reader come to it first, so this is tried a few times.
  bool helperMetIt = false;
  for (int attempt = 0; attempt < 4 && !helperMetIt; ++attempt) {
    const TOutcome two = readThrough("2");
    EXPECT_EQ(two.message, one.message);
    EXPECT_TRUE(two.got == one.got);
    helperMetIt = two.helperMetIt;
  }
  EXPECT_TRUE(helperMetIt);
  EXPECT_EQ(test::ProcessThreads(), before);
}

TEST_F(ThreadedPathsTest, RebuildsWriteTheBytesOfTheOneThreadPath) {
  FillSizes();
  const std::string original = test::ReadFileBytes(Path());
  auto repairWith = [&](const char* threads) {
    test::TScopedEnv env("QM_THREADS", threads);
    test::WriteFileBytes(Path(), original);
    {
      auto s = Open();
      std::string log;
      EXPECT_TRUE(s->RepairFile(log, true)) << log;
    }
    return test::ReadFileBytes(Path());
  };
  const std::string one = repairWith("1");
  const std::string two = repairWith("2");
  EXPECT_LT(one.size(), original.size());  // the deleted file is gone
  EXPECT_TRUE(two == one) << "the threaded repair wrote other bytes";

  // A change of password draws a new master key, so its bytes differ from run to run; what it holds
  // does not, whichever path wrote it, and either path reads what the other wrote.
  for (const char* writer : {"1", "2"}) {
    test::WriteFileBytes(Path(), original);
    {
      test::TScopedEnv env("QM_THREADS", writer);
      auto s = Open();
      ASSERT_TRUE(s->ChangePassword("new secret", "", ""));
    }
    test::TScopedEnv env("QM_THREADS", std::string(writer) == "1" ? "2" : "1");
    TSingleFileSystem s(Path(), -1, 8, 2048, 0, "", "", "new secret", false, 18);
    for (int64_t size : kSizes) {
      if (size == kWindow - 1) continue;
      EXPECT_TRUE(Get(s, Name(size), 1 << 20) == Random(size_t(size), uint32_t(size)))
          << writer << " " << size;
    }
    EXPECT_TRUE(Get(s, "\\own", 1 << 20, "own password") == Random(size_t(kThreadedCopy + 5), 9));
    EXPECT_FALSE(s.FileExists(Name(kWindow - 1)));
    const auto problems = s.CheckIntegrity();
    EXPECT_TRUE(problems.empty()) << problems.front();
  }
}

TEST_F(ThreadedPathsTest, RebuildsSalvageAndDropDamagedPagesAsTheOneThreadPathDoes) {
  const int64_t size = kThreadedCopy + 3 * D;
  {
    auto s = Create();
    Put(*s, "\\big", Random(size_t(size), 5));
  }
  for (size_t page : {size_t(3), size_t(300), size_t(301), size_t(1025)})
    test::DamagePagePayload(Path(), "secret", "\\big", page);
  const std::string damaged = test::ReadFileBytes(Path());
  for (bool strict : {false, true}) {
    std::string logs[2];
    std::vector<TRebuildNote> notes[2];
    std::string results[2];
    for (int i = 0; i < 2; ++i) {
      test::TScopedEnv env("QM_THREADS", i == 0 ? "1" : "2");
      test::WriteFileBytes(Path(), damaged);
      {
        auto s = Open();
        ASSERT_TRUE(s->RepairFile(logs[i], strict, &notes[i]));
      }
      results[i] = test::ReadFileBytes(Path());
    }
    EXPECT_EQ(logs[1], logs[0]);
    ASSERT_EQ(notes[1].size(), notes[0].size());
    for (size_t k = 0; k < notes[0].size(); ++k) {
      EXPECT_EQ(notes[1][k].Kind, notes[0][k].Kind);
      EXPECT_EQ(notes[1][k].Offset, notes[0][k].Offset);
      EXPECT_EQ(notes[1][k].Length, notes[0][k].Length);
    }
    // A dropped file leaves a deleted item stamped with the time of the drop, so the strict results
    // are compared by size only.
    if (strict)
      EXPECT_EQ(results[1].size(), results[0].size());
    else
      EXPECT_TRUE(results[1] == results[0]);
    // Lenient: three ranges of zeros (pages 300 and 301 make one); strict: the file is dropped.
    EXPECT_EQ(notes[0].size(), strict ? 1u : 3u);
  }
}

TEST_F(ThreadedPathsTest, ACancelOrAReadErrorAnywhereInARebuildLeavesTheContainerAsItWas) {
  test::TScopedEnv env("QM_THREADS", "2");
  {
    auto s = Create();
    Put(*s, "\\big", Random(size_t(3 * kThreadedCopy), 6));
    Put(*s, "\\small", "a few bytes");
  }
  const std::string before = test::ReadFileBytes(Path());
  const int threadsBefore = test::ProcessThreads();
  std::mt19937 rng(11);
  for (int round = 0; round < 8; ++round) {
    SCOPED_TRACE(round);
    std::string log;
    const double at = double(rng() % 10000) / 100.0;
    if (round % 2 == 0) {
      // A cancel from the progress handler at some point.
      auto s = Open();
      s->OnProgress = [&](bool& cancel, double p) {
        if (p >= at) cancel = true;
      };
      EXPECT_FALSE(round % 4 == 0 ? s->RepairFile(log, false) : s->ChangePassword("other", "", ""));
    } else {
      // The device fails to read at some point (an I/O error, not a short read to salvage).
      test::TFaultyPartStorage storage;
      auto s = Open(&storage);
      storage.readBudget = int64_t(rng() % uint32_t(before.size()));
      storage.hardErrors = true;
      bool ok = true;
      try {
        ok = round % 4 == 1 ? s->RepairFile(log, true) : s->ChangePassword("other", "", "");
      } catch (const std::exception&) {
        ok = false;  // the reopening after the rebuild could not read either
      }
      EXPECT_FALSE(ok) << log;
    }
    EXPECT_TRUE(test::ReadFileBytes(Path()) == before);
    EXPECT_EQ(FolderFiles(), std::vector<std::string>{"safe.qvt"});
    EXPECT_EQ(test::ProcessThreads(), threadsBefore);
  }
}

}  // namespace
}  // namespace quillmar
