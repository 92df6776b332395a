// The rollback journal: what a transaction keeps and when it syncs, what reads inside it see, and how
// a journal found at open is handled: hot ones rolled back (read-only opens included), ones never
// completely written ignored, damaged or foreign ones refused with nothing changed.
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

constexpr char kPassword[] = "journal pw";
constexpr uint32_t kWrite = 18;  // read/write, exclusive
constexpr uint32_t kReadShared = 0x20;

std::string Random(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  std::string s(n, '\0');
  for (auto& c : s) c = char(rng());
  return s;
}

void Put(TSingleFileSystem& sfs, const std::string& path, const std::string& data) {
  TSFSTransaction change(sfs);
  {
    TSFSFileStream s(&sfs, 0, "", "", "", 0xFFFF, path);
    s.WriteBuffer(data.data(), int64_t(data.size()));
  }
  change.Commit();
}

std::string Get(TSingleFileSystem& sfs, const std::string& path) {
  TSFSFileStream s(&sfs, 0, "", "", "", 0, path);
  std::string out(size_t(s.Size()), '\0');
  s.ReadBuffer(out.data(), int64_t(out.size()));
  return out;
}

class JournalTest : public ::testing::Test {
protected:
  void SetUp() override {
    file_ = dir_.file("j.qvt");
    journal_ = TRollbackJournal::FileName(file_);
    {
      TSingleFileSystem sfs(file_, -1, 8, 2048, 0, "", "", kPassword, false, 0xFFFF);
      ASSERT_TRUE(sfs.ForceDirectories("\\a"));
      Put(sfs, "\\a\\one", Random(5000, 1));
      Put(sfs, "\\two", Random(30000, 2));
    }
    base_ = test::ReadFileBytes(file_);
    before_ = Snapshot();
  }

  std::unique_ptr<TSingleFileSystem> Open(uint32_t mode = kWrite, TSFSPartStorage* storage = nullptr) {
    return std::make_unique<TSingleFileSystem>(file_, -1, 8, 2048, 0, "", "", kPassword, false, mode,
                                               storage);
  }
  std::string Snapshot() { return test::ReopenedSnapshot(file_, kPassword, "", nullptr); }

  // The change every test interrupts: a file replaced and a new one written, in one transaction.
  void Change(TSingleFileSystem& sfs) {
    TSFSTransaction change(sfs);
    if (!sfs.DeleteFile("\\two")) throw ESFSError("not deleted");
    Put(sfs, "\\two", Random(9000, 3));
    Put(sfs, "\\a\\three", Random(50000, 4));
    change.Commit();
  }

  // Runs Change and stops every I/O at the occurrence-th operation whose log line ends with `at` (the
  // program dies there). The container and its journal are left as the crash left them.
  void InterruptAt(const std::string& at, int occurrence = 1) {
    test::WriteFileBytes(file_, base_);
    TFaultyPartStorage storage;
    storage.recordLog = true;
    { Change(*Open(kWrite, &storage)); }
    int64_t n = 0;
    for (const std::string& line : storage.log)
      if (n == 0 && line.size() >= at.size() && line.compare(line.size() - at.size(), at.size(), at) == 0 &&
          --occurrence == 0)
        n = std::stoll(line);
    ASSERT_GT(n, 0) << at;
    test::WriteFileBytes(file_, base_);
    fs::remove(journal_);
    storage.Arm(TFaultyPartStorage::TFault::Crash, n);
    try {
      Change(*Open(kWrite, &storage));
    } catch (const std::exception&) {
    }
    ASSERT_TRUE(storage.Crashed());
  }

  test::TempDir dir_;
  std::string file_;
  std::string journal_;
  std::string base_;
  std::string before_;
};

TEST_F(JournalTest, ReadsInsideATransactionSeeItsChangesWhichReachTheFileOnlyAtTheCommit) {
  auto sfs = Open();
  TSFSTransaction change(*sfs);
  ASSERT_TRUE(sfs->RenameFile("\\two", "\\renamed"));
  EXPECT_TRUE(sfs->FileExists("\\renamed"));
  EXPECT_EQ(Get(*sfs, "\\renamed"), Random(30000, 2));
  // The directory page with the change is held back; the file still has the old one.
  EXPECT_GT(sfs->PageFile().CachedPageCount(), 0u);
  EXPECT_TRUE(test::ReadFileBytes(file_) == base_);
  change.Commit();
  EXPECT_EQ(sfs->PageFile().CachedPageCount(), 0u);
  EXPECT_TRUE(test::ReadFileBytes(file_) != base_);
  EXPECT_EQ(fs::file_size(journal_), 0u);  // emptied at the commit; removed when the container closes
  sfs.reset();
  EXPECT_FALSE(fs::exists(journal_));
  EXPECT_EQ(test::ReopenedSnapshot(file_, kPassword, "", nullptr).find("\\two "), std::string::npos);
}

TEST_F(JournalTest, AJournaledContainerIsNotWrittenOutsideATransaction) {
  auto sfs = Open();
  TPage page = sfs->PageFile().NewPage();
  page.Header.PageType = ptFileData;
  EXPECT_THROW(sfs->PageFile().WritePage(1, page), ESFSError);
  EXPECT_THROW(sfs->PageFile().SaveHeader(), ESFSError);
  EXPECT_TRUE(test::ReadFileBytes(file_) == base_);
}

TEST_F(JournalTest, OnlyPagesInUseWhenTheTransactionBeganKeepAnOldImage) {
  auto sfs = Open();
  {
    // A new file of 120 pages: its pages need no old image, only the maps, the directory and the
    // header do.
    TSFSTransaction change(*sfs);
    {
      TSFSFileStream s(sfs.get(), 0, "", "", "", 0xFFFF, "\\big");
      const std::string data = Random(120 * 2016, 5);
      s.WriteBuffer(data.data(), int64_t(data.size()));
    }
    EXPECT_LE(sfs->PageFile().JournaledPageCount(), 6u);
    change.Commit();
  }
  {
    // Pages freed in a transaction and taken again in it held data a rollback needs.
    TSFSTransaction change(*sfs);
    ASSERT_TRUE(sfs->DeleteFile("\\two"));
    const size_t afterDelete = sfs->PageFile().JournaledPageCount();
    {
      TSFSFileStream s(sfs.get(), 0, "", "", "", 0xFFFF, "\\again");
      const std::string data = Random(30000, 6);
      s.WriteBuffer(data.data(), int64_t(data.size()));
    }
    EXPECT_GE(sfs->PageFile().JournaledPageCount(), afterDelete + 14);  // the old file's pages, reused
    change.Commit();
  }
}

TEST_F(JournalTest, ATransactionSyncsFourTimesHoweverManyPagesItWrites) {
  TFaultyPartStorage storage;
  storage.recordLog = true;
  auto sfs = Open(kWrite, &storage);
  auto syncs = [&] {
    int n = 0;
    for (const std::string& line : storage.log)
      if (line.find(" sync ") != std::string::npos) ++n;
    storage.log.clear();
    return n;
  };
  Put(*sfs, "\\first", Random(200 * 2016, 7));
  // Records, the folder (the journal is new), seal, container, emptied journal.
  EXPECT_EQ(syncs(), 5);
  Put(*sfs, "\\second", Random(300 * 2016, 8));
  EXPECT_EQ(syncs(), 4);
  {
    TSFSTransaction change(*sfs);
    for (int i = 0; i < 20; ++i) ASSERT_TRUE(sfs->ForceDirectories("\\many\\f" + std::to_string(i)));
    change.Commit();
  }
  EXPECT_EQ(syncs(), 4);
  // Reading changes nothing and syncs nothing.
  EXPECT_EQ(Get(*sfs, "\\first").size(), 200u * 2016u);
  EXPECT_EQ(syncs(), 0);
}

TEST_F(JournalTest, NestedChangesCommitTogetherAndAFailedPartUndoesTheWhole) {
  auto sfs = Open();
  const int32_t handle = sfs->FileOpen("\\a\\one", 0);
  ASSERT_GE(handle, 0);
  ASSERT_TRUE(sfs->ChangeDir("\\a"));
  try {
    TSFSTransaction outer(*sfs);
    ASSERT_TRUE(sfs->ForceDirectories("\\made"));
    ASSERT_GE(sfs->FileOpen("\\made\\new", 0xFFFF), 0);  // a handle of the change
    try {
      TSFSTransaction inner(*sfs);
      ASSERT_TRUE(sfs->RenameFile("\\two", "\\made\\two"));
      throw ESFSError("an inner step fails");
    } catch (const ESFSError&) {
    }
    EXPECT_TRUE(sfs->FileExists("\\made\\two"));
    outer.Commit();
    FAIL() << "the commit of a change with a failed part succeeded";
  } catch (const ESFSError& e) {
    EXPECT_NE(std::string(e.what()).find("none of it was made"), std::string::npos) << e.what();
  }
  EXPECT_FALSE(sfs->FileExists("\\made"));
  EXPECT_TRUE(sfs->FileExists("\\two"));
  EXPECT_EQ(sfs->GetCurrentDir(), "\\a");
  EXPECT_EQ(sfs->FileSize(handle), 5000);     // a handle from before the change stays
  EXPECT_EQ(sfs->HandlePath(3), "");          // the one made in it is gone
  EXPECT_FALSE(sfs->DeleteFile("\\a\\one"));  // still open
  sfs->FileClose(handle);
  EXPECT_EQ(sfs->CheckIntegrity(), std::vector<std::string>{});
  sfs.reset();
  EXPECT_EQ(Snapshot(), before_);
}

TEST_F(JournalTest, AnInterruptedChangeIsRolledBackByAReadOnlyOpenToo) {
  InterruptAt("sync j.qvt");  // the container written, not yet synced: the journal is hot
  ASSERT_TRUE(test::ReadFileBytes(file_) != base_);
  EXPECT_NE(TSingleFileSystem::DescribeJournal(file_).find("an interrupted change"), std::string::npos);
  {
    auto reader = Open(kReadShared);
    EXPECT_EQ(test::ContainerSnapshot(*reader, ""), before_);
    EXPECT_EQ(reader->CheckIntegrity(), std::vector<std::string>{});
  }
  // (Free pages written by the change keep what it wrote: their bytes are nobody's.)
  EXPECT_FALSE(fs::exists(journal_));
}

TEST_F(JournalTest, AHotJournalThatCannotBeRolledBackRefusesTheOpenAndChangesNothing) {
  InterruptAt("sync j.qvt");
  const std::string container = test::ReadFileBytes(file_);
  const std::string journal = test::ReadFileBytes(journal_);
  TFaultyPartStorage noWrites;
  noWrites.refuseWritableOpen = true;  // the folder or the file is not writable
  try {
    TPageFileManager reader(file_, -1, 8, 2048, false, "", "", kPassword, kReadShared, &noWrites);
    FAIL();
  } catch (const ESFSJournalError& e) {
    EXPECT_NE(std::string(e.what()).find("needs write access"), std::string::npos) << e.what();
  }
  EXPECT_TRUE(test::ReadFileBytes(file_) == container);
  EXPECT_TRUE(test::ReadFileBytes(journal_) == journal);
}

TEST_F(JournalTest, AJournalCutShortAnywhereBeforeItsSealIsIgnored) {
  // Stopped right after the journal's seal was written: complete, and no page with a record written.
  InterruptAt("sync j.qvt-journal", 2);
  const std::string journal = test::ReadFileBytes(journal_);
  ASSERT_GT(journal.size(), 2048u);
  // Cuts in the header, at and around every record's edges, and at every byte of the seal.
  std::vector<size_t> cuts = {0, 1, 7, 8, 9, 30, 59, 60, 63};
  for (size_t edge = TRollbackJournal::HeaderSize; edge + TRollbackJournal::SealSize < journal.size();
       edge += 2048 + 8)
    for (size_t d : {0, 1, 3, 5, 1000}) cuts.push_back(edge + d);
  for (size_t cut = journal.size() - TRollbackJournal::SealSize - 1; cut <= journal.size(); ++cut)
    cuts.push_back(cut);
  for (size_t cut : cuts) {
    SCOPED_TRACE(cut);
    test::WriteFileBytes(file_, base_);
    test::WriteFileBytes(journal_, journal.substr(0, cut));
    const auto state = TRollbackJournal::Read(DiskPartStorage(), journal_).State;
    EXPECT_EQ(state, cut == journal.size() ? TJournalContents::TState::Hot
                     : cut < 8             ? TJournalContents::TState::Empty
                                           : TJournalContents::TState::Unfinished);
    { Open(kWrite); }  // a writable open removes what undoes nothing
    EXPECT_EQ(Snapshot(), before_);
    EXPECT_FALSE(fs::exists(journal_));
  }
}

TEST_F(JournalTest, ADamagedJournalIsRefusedAndBothFilesAreKept) {
  InterruptAt("sync j.qvt");
  const std::string container = test::ReadFileBytes(file_);
  const std::string journal = test::ReadFileBytes(journal_);
  for (size_t at : {size_t(70), size_t(2000), size_t(10)}) {  // a record's page number, its image, the header
    SCOPED_TRACE(at);
    std::string damaged = journal;
    damaged[at] = char(damaged[at] ^ 0x20);
    test::WriteFileBytes(journal_, damaged);
    try {
      Open(kReadShared);
      FAIL() << "opened";
    } catch (const ESFSJournalError& e) {
      EXPECT_NE(std::string(e.what()).find("is damaged"), std::string::npos) << e.what();
      EXPECT_NE(std::string(e.what()).find("Nothing was changed"), std::string::npos) << e.what();
    }
    EXPECT_THROW(TSingleFileSystem::CheckContainerPassword(file_, kPassword), ESFSJournalError);
    EXPECT_TRUE(test::ReadFileBytes(file_) == container);
    EXPECT_TRUE(test::ReadFileBytes(journal_) == damaged);
    EXPECT_NE(TSingleFileSystem::DescribeJournal(file_).find("damaged"), std::string::npos);
  }
}

// A journal damaged after pages of the container were written: its last seal (or the end holding it)
// is gone, so it looks never completely written; the container says otherwise.
TEST_F(JournalTest, AJournalWhoseSealWasLostAfterPagesWereWrittenIsRefusedAndNotRemoved) {
  InterruptAt("sync j.qvt");  // the container's pages written; the journal sealed
  const std::string container = test::ReadFileBytes(file_);
  const std::string journal = test::ReadFileBytes(journal_);
  ASSERT_TRUE(container != base_);
  const size_t sealAt = journal.size() - TRollbackJournal::SealSize;
  const std::vector<std::pair<std::string, std::string>> damages = {
      {"the seal's last byte flipped", journal.substr(0, journal.size() - 1) + char(journal.back() ^ 0x01)},
      {"the seal cut off", journal.substr(0, sealAt)},
      {"cut in the last record", journal.substr(0, sealAt - 100)},
      {"cut after the first record", journal.substr(0, TRollbackJournal::HeaderSize + 2048 + 8)},
  };
  for (const auto& [what, damaged] : damages) {
    SCOPED_TRACE(what);
    test::WriteFileBytes(file_, container);
    test::WriteFileBytes(journal_, damaged);
    EXPECT_EQ(TRollbackJournal::Read(DiskPartStorage(), journal_).State,
              TJournalContents::TState::Unfinished);
    EXPECT_EQ(TRollbackJournal::Examine(DiskPartStorage(), journal_, file_).State,
              TJournalContents::TState::Damaged);
    for (uint32_t mode : {kWrite, kReadShared}) {
      try {
        Open(mode);
        FAIL() << "opened in mode " << mode;
      } catch (const ESFSJournalError& e) {
        EXPECT_NE(std::string(e.what()).find("j.qvt-journal"), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find("is damaged"), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find("Repair"), std::string::npos) << e.what();
      }
    }
    EXPECT_TRUE(test::ReadFileBytes(journal_) == damaged);  // never removed while it is needed
    EXPECT_TRUE(test::ReadFileBytes(file_) == container);
    EXPECT_NE(TSingleFileSystem::DescribeJournal(file_).find("damaged"), std::string::npos);
    EXPECT_TRUE(TSingleFileSystem::HasDamagedJournal(file_));
  }
}

TEST_F(JournalTest, ARepairPutsBackWhatADamagedJournalStillHolds) {
  InterruptAt("sync j.qvt");
  const std::string container = test::ReadFileBytes(file_);
  std::string journal = test::ReadFileBytes(journal_);
  journal.back() = char(journal.back() ^ 0x01);  // the seal is damaged, every record intact
  test::WriteFileBytes(journal_, journal);
  std::vector<std::string> done;
  // A wrong password changes nothing.
  EXPECT_FALSE(TSingleFileSystem::SalvageJournal(file_, TTextKey::FromPassword("wrong"), done));
  EXPECT_TRUE(test::ReadFileBytes(file_) == container);
  EXPECT_TRUE(test::ReadFileBytes(journal_) == journal);
  {
    // Nor does a Safe another program holds.
    auto held = DiskPartStorage().Open(file_, true, TSFSLock::Shared);
    EXPECT_THROW(TSingleFileSystem::SalvageJournal(file_, TTextKey::FromPassword(kPassword), done),
                 ESFSInUse);
  }
  ASSERT_TRUE(TSingleFileSystem::SalvageJournal(file_, TTextKey::FromPassword(kPassword), done));
  ASSERT_EQ(done.size(), 2u);
  EXPECT_NE(done[0].find("and the file's size"), std::string::npos) << done[0];
  EXPECT_NE(done[1].find("j.qvt-journal.salvaged"), std::string::npos) << done[1];
  EXPECT_FALSE(fs::exists(journal_));
  EXPECT_TRUE(test::ReadFileBytes(journal_ + ".salvaged") == journal);  // kept, not removed
  std::vector<std::string> problems;
  EXPECT_EQ(test::ReopenedSnapshot(file_, kPassword, "", &problems), before_);
  EXPECT_EQ(problems, std::vector<std::string>{});

  // A record damaged too: its page is not put back, and that is said.
  InterruptAt("sync j.qvt");
  journal = test::ReadFileBytes(journal_);
  journal.back() = char(journal.back() ^ 0x01);
  journal[TRollbackJournal::HeaderSize + 2048 + 8 + 100] ^= 0x40;  // inside the second record's image
  test::WriteFileBytes(journal_, journal);
  done.clear();
  ASSERT_TRUE(TSingleFileSystem::SalvageJournal(file_, TTextKey::FromPassword(kPassword), done));
  ASSERT_EQ(done.size(), 3u);
  EXPECT_NE(done[1].find("1 record(s) of the journal are damaged"), std::string::npos) << done[1];
  EXPECT_TRUE(test::ReadFileBytes(journal_ + ".salvaged") == journal);  // the newer one replaces it
}

TEST_F(JournalTest, AJournalOfAnotherFileIsNotApplied) {
  InterruptAt("sync j.qvt");
  const std::string journal = test::ReadFileBytes(journal_);
  // The file was replaced (restored from a backup, say) while the journal stayed.
  fs::remove(journal_);
  {
    TSingleFileSystem other(file_, -1, 8, 2048, 0, "", "", kPassword, false, 0xFFFF);
    Put(other, "\\other", "another file altogether");
  }
  const std::string replaced = test::ReadFileBytes(file_);
  test::WriteFileBytes(journal_, journal);
  try {
    Open(kWrite);
    FAIL();
  } catch (const ESFSJournalError& e) {
    EXPECT_NE(std::string(e.what()).find("does not belong"), std::string::npos) << e.what();
  }
  EXPECT_TRUE(test::ReadFileBytes(file_) == replaced);
  // Creating a container removes a journal of that name: it can only belong to an earlier file.
  { TSingleFileSystem fresh(file_, -1, 8, 2048, 0, "", "", kPassword, false, 0xFFFF); }
  EXPECT_FALSE(fs::exists(journal_));
}

TEST_F(JournalTest, ReadersShareTheFileAndWritersHaveItAlone) {
  {
    auto first = Open(kReadShared);
    auto second = Open(kReadShared);  // readers do not refuse each other
    EXPECT_TRUE(first->ReadOnly());
    try {
      Open(kWrite);
      FAIL();
    } catch (const ESFSInUse& e) {
      EXPECT_NE(std::string(e.what()).find("in use"), std::string::npos);
    }
    EXPECT_EQ(Get(*first, "\\a\\one"), Random(5000, 1));
    EXPECT_THROW(first->ForceDirectories("\\no"), ESFSError);
  }
  EXPECT_TRUE(test::ReadFileBytes(file_) == base_);  // reading wrote nothing, not even access times
  EXPECT_FALSE(fs::exists(journal_));
  auto writer = Open(kWrite);
  EXPECT_THROW(Open(kReadShared), ESFSInUse);
  EXPECT_THROW(Open(kWrite), ESFSInUse);
}

TEST_F(JournalTest, ReadingInAWritableContainerWritesAccessTimesOnlyWithTheNextChange) {
  TFaultyPartStorage storage;
  storage.recordLog = true;
  auto sfs = Open(kWrite, &storage);
  EXPECT_EQ(Get(*sfs, "\\two").size(), 30000u);
  EXPECT_EQ(storage.log, std::vector<std::string>{});  // reading wrote nothing
  EXPECT_EQ(sfs->CheckIntegrity(), std::vector<std::string>{});
  sfs.reset();  // nor does closing without a change: the container keeps its bytes
  for (const std::string& step : storage.log) EXPECT_NE(step.find(" sync "), std::string::npos) << step;
  EXPECT_TRUE(test::ReadFileBytes(file_) == base_);
  EXPECT_EQ(Snapshot(), before_);
}

TEST_F(JournalTest, AChangeLargerThanTheCacheWritesEarlyAndStillRollsBack) {
  // 20 MiB of existing pages rewritten in place in one change: more than the cache holds back, so a
  // first segment is sealed and its pages written before the change ends.
  const std::string oldData = Random(20 << 20, 9);
  const std::string newData = Random(20 << 20, 10);
  {
    auto sfs = Open();
    Put(*sfs, "\\big", oldData);
  }
  base_ = test::ReadFileBytes(file_);
  before_ = Snapshot();
  auto rewrite = [&](TSingleFileSystem& sfs) {
    TSFSTransaction change(sfs);
    {
      TSFSFileStream s(&sfs, 0, "", "", "", 2, "\\big");
      s.WriteBuffer(newData.data(), int64_t(newData.size()));
    }
    change.Commit();
  };
  TFaultyPartStorage storage;
  storage.recordLog = true;
  { rewrite(*Open(kWrite, &storage)); }
  const std::string after = Snapshot();
  ASSERT_NE(after, before_);
  // Where the early writes begin (after the first seal's syncs) and where the change ends.
  // A seal costs two syncs of the journal: its records, then the seal itself.
  int64_t early = 0, syncs = 0;
  for (const std::string& line : storage.log) {
    if (line.find("sync j.qvt-journal") != std::string::npos) ++syncs;
    if (early == 0 && syncs == 2 && line.find("write j.qvt ") != std::string::npos) early = std::stoll(line);
  }
  ASSERT_GE(syncs, 5) << "no early write";  // first seal, last seal, the emptied journal
  ASSERT_GT(early, 0);
  for (int64_t at : {early, early + 3, storage.Operations() - 4}) {
    SCOPED_TRACE(at);
    for (auto fault : {TFaultyPartStorage::TFault::Crash, TFaultyPartStorage::TFault::Fail}) {
      test::WriteFileBytes(file_, base_);
      fs::remove(journal_);
      storage.Arm(fault, at);
      EXPECT_ANY_THROW(rewrite(*Open(kWrite, &storage)));
      storage.Disarm();
      std::vector<std::string> problems;
      EXPECT_EQ(test::ReopenedSnapshot(file_, kPassword, "", &problems), before_);
      EXPECT_EQ(problems, std::vector<std::string>{});
    }
  }
}

// --- Leftovers of an interrupted rebuild ------------------------------------------------------------

TEST_F(JournalTest, ARebuildStoppedBetweenItsRenamesIsPutBackWhole) {
  const std::string oldFile = file_ + "0";
  const std::string newFile = file_ + "_new";
  // The state between the two renames: the old file under "0", the new one under "_new".
  fs::rename(file_, oldFile);
  test::WriteFileBytes(newFile, base_);
  const auto notices = TSingleFileSystem::RecoverInterruptedRebuild(file_);
  ASSERT_EQ(notices.size(), 2u);
  EXPECT_NE(notices[0].find("Put j.qvt back from j.qvt0"), std::string::npos) << notices[0];
  EXPECT_TRUE(test::ReadFileBytes(file_) == base_);
  EXPECT_FALSE(fs::exists(oldFile));
  EXPECT_FALSE(fs::exists(newFile));

  // After the swap: the copy from before (under the old password, for a change of password) goes.
  test::WriteFileBytes(oldFile, base_);
  test::WriteFileBytes(newFile, "an unfinished new file");
  EXPECT_EQ(TSingleFileSystem::RecoverInterruptedRebuild(file_).size(), 2u);
  EXPECT_FALSE(fs::exists(oldFile));
  EXPECT_FALSE(fs::exists(newFile));

  // A rename is a link and an unlink: stopped between them, one file has two names. Both cases of
  // the swap: the old file still under the container's name too, or the new one under "_new" too.
  for (const std::string& second : {oldFile, newFile}) {
    SCOPED_TRACE(second);
    test::WriteFileBytes(second == oldFile ? newFile : oldFile, "the other file of the swap");
    fs::create_hard_link(file_, second);
    EXPECT_EQ(TSingleFileSystem::RecoverInterruptedRebuild(file_).size(), 2u);
    EXPECT_FALSE(fs::exists(oldFile));
    EXPECT_FALSE(fs::exists(newFile));
    EXPECT_TRUE(test::ReadFileBytes(file_) == base_);
  }

  // A file some program holds is not a leftover yet.
  test::WriteFileBytes(newFile, "being built");
  {
    auto held = DiskPartStorage().Open(newFile, true, TSFSLock::Exclusive);
    EXPECT_TRUE(TSingleFileSystem::RecoverInterruptedRebuild(file_).empty());
    EXPECT_TRUE(fs::exists(newFile));
  }

  // No whole file to put back: nothing is deleted, and the notice says where the data is.
  fs::remove(file_);
  const auto lost = TSingleFileSystem::RecoverInterruptedRebuild(file_);
  ASSERT_EQ(lost.size(), 1u);
  EXPECT_NE(lost[0].find("j.qvt_new"), std::string::npos) << lost[0];
  EXPECT_TRUE(fs::exists(newFile));
}

}  // namespace
}  // namespace quillmar
