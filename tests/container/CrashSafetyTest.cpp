// Every change of a container is all-or-nothing across crashes: each operation below is interrupted at
// every change of the disk it makes (a crash that stops all I/O there, and a failure of that one
// write, sync, resize, rename, remove or create), and the container is then opened again. It must hold
// exactly the state before or the state after, be sound, and read in full; the state after whenever
// the operation reported success, the state before whenever it failed.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <random>

#include "container/PageFileManager.h"
#include "container/RollbackJournal.h"
#include "container/SFSError.h"
#include "container/SFSFileStream.h"
#include "container/SingleFileSystem.h"
#include "support/CrashTesting.h"
#include "support/TempDir.h"

namespace quillmar {
namespace {

namespace fs = std::filesystem;
using test::TFaultyPartStorage;

constexpr char kPassword[] = "crash pw";
constexpr char kFilePassword[] = "kol";

std::string Random(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  std::string s(n, '\0');
  for (auto& c : s) c = char(rng());
  return s;
}

// A new file with its bytes: one change (creating the file and writing it are two operations).
void Put(TSingleFileSystem& sfs, const std::string& path, const std::string& data) {
  TSFSTransaction change(sfs);
  {
    TSFSFileStream s(&sfs, 0, "", "", kFilePassword, 0xFFFF, path);
    s.WriteBuffer(data.data(), int64_t(data.size()));
  }
  change.Commit();
}

class CrashSafety : public ::testing::Test {
protected:
  void SetUp() override {
    file_ = dir_.file("c.qvt");
    {
      TSingleFileSystem sfs(file_, -1, 8, 2048, 0, "", "", kPassword, false, 0xFFFF);
      ASSERT_TRUE(sfs.ForceDirectories("\\docs\\old"));
      Put(sfs, "\\docs\\small", "a few bytes");
      Put(sfs, "\\docs\\big", Random(9 * 2016 + 100, 1));  // ten data pages
      Put(sfs, "\\top", Random(3000, 2));
    }
    base_ = test::ReadFileBytes(file_);
    before_ = test::ReopenedSnapshot(file_, kPassword, kFilePassword, nullptr);
  }

  void Restore() {
    test::WriteFileBytes(file_, base_);
    fs::remove(TRollbackJournal::FileName(file_));
  }

  // Runs `change` on the container opened through the faulty storage, at every fault.
  void ExpectAllOrNothing(const std::function<void(TSingleFileSystem&)>& change) {
    Restore();
    {
      TSingleFileSystem sfs(file_, -1, 8, 2048, 0, "", "", kPassword, false, 18);
      change(sfs);
    }
    const std::string after = test::ReopenedSnapshot(file_, kPassword, kFilePassword, nullptr);
    ASSERT_NE(after, before_);
    const int64_t count = test::ForEveryFault(
        storage_, [&] { Restore(); },
        [&] {
          TSingleFileSystem sfs(file_, -1, 8, 2048, 0, "", "", kPassword, false, 18, &storage_);
          change(sfs);
          return true;
        },
        [&](const test::TFaultRun& run) {
          SCOPED_TRACE(run.Label());
          std::vector<std::string> problems;
          const std::string now = test::ReopenedSnapshot(file_, kPassword, kFilePassword, &problems);
          EXPECT_EQ(problems, std::vector<std::string>{});
          if (run.succeeded || run.fault == TFaultyPartStorage::TFault::Fail) {
            // Success is reported only once the change is on the disk; a reported failure left nothing.
            EXPECT_EQ(now, run.succeeded ? after : before_);
          } else {
            // A crashed program reports nothing: its change is either wholly there or not at all.
            EXPECT_TRUE(now == after || now == before_) << now;
          }
          // A read-only open leaves a journal that was never completely written (it undoes nothing).
          const auto left = TRollbackJournal::Read(DiskPartStorage(), TRollbackJournal::FileName(file_));
          EXPECT_TRUE(left.State == TJournalContents::TState::Absent ||
                      left.State == TJournalContents::TState::Empty ||
                      left.State == TJournalContents::TState::Unfinished)
              << left.Describe("journal");
        });
    EXPECT_GT(count, 3);
  }

  test::TempDir dir_;
  std::string file_;
  std::string base_;
  std::string before_;
  TFaultyPartStorage storage_;
};

TEST_F(CrashSafety, WritingAMultiPageFile) {
  ExpectAllOrNothing([](TSingleFileSystem& sfs) { Put(sfs, "\\docs\\new", Random(12 * 2016, 3)); });
}

TEST_F(CrashSafety, MakingFolders) {
  ExpectAllOrNothing([](TSingleFileSystem& sfs) {
    if (!sfs.ForceDirectories("\\docs\\a\\b\\c")) throw ESFSError("not made");
  });
}

TEST_F(CrashSafety, Renaming) {
  ExpectAllOrNothing([](TSingleFileSystem& sfs) {
    if (!sfs.RenameFile("\\docs\\big", "\\docs\\old\\moved")) throw ESFSError("not renamed");
  });
}

TEST_F(CrashSafety, DeletingAMultiPageFile) {
  ExpectAllOrNothing([](TSingleFileSystem& sfs) {
    if (!sfs.DeleteFile("\\docs\\big")) throw ESFSError("not deleted");
  });
}

TEST_F(CrashSafety, ShrinkingTheFileAtTheTopCutsTheContainerOnlyAfterTheCommit) {
  ExpectAllOrNothing([](TSingleFileSystem& sfs) {
    if (!sfs.DeleteFile("\\top")) throw ESFSError("not deleted");
  });
}

TEST_F(CrashSafety, ReplacingAFileInOneTransaction) {
  ExpectAllOrNothing([](TSingleFileSystem& sfs) {
    TSFSTransaction change(sfs);
    if (!sfs.DeleteFile("\\docs\\big")) throw ESFSError("not deleted");
    Put(sfs, "\\docs\\big.tmp", Random(11 * 2016, 4));
    if (!sfs.RenameFile("\\docs\\big.tmp", "\\docs\\big")) throw ESFSError("not renamed");
    change.Commit();
  });
}

TEST_F(CrashSafety, GrowingTheContainerByManyExtents) {
  ExpectAllOrNothing([](TSingleFileSystem& sfs) { Put(sfs, "\\grown", Random(200 * 2016, 5)); });
}

}  // namespace
}  // namespace quillmar
