// Several programs on one container: the transaction locks, the change counter, what one program
// sees of another's changes, and what a writer killed in the middle leaves to the others.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <thread>

#include "base/LittleEndian.h"
#include "container/DIRManager.h"
#include "container/PageFileManager.h"
#include "container/SFSError.h"
#include "container/SFSFileStream.h"
#include "container/SFSHugeFile.h"
#include "container/SingleFileSystem.h"
#include "container/TransactionLock.h"
#include "support/ExpectThrow.h"
#include "support/FaultyPartStorage.h"
#include "support/TempDir.h"

namespace quillmar {
namespace {

using std::chrono::milliseconds;
using test::ExpectThrow;

// The busy timeout of this program for one test, put back afterwards.
class TBusyTimeout {
public:
  explicit TBusyTimeout(milliseconds t) : before_(TSingleFileSystem::BusyTimeout()) {
    TSingleFileSystem::SetBusyTimeout(t);
  }
  ~TBusyTimeout() { TSingleFileSystem::SetBusyTimeout(before_); }

private:
  milliseconds before_;
};

class SharedContainer : public ::testing::Test {
protected:
  void SetUp() override {
    TSingleFileSystem created(Path(), -1, 8, 2048, 0, "", "", "secret", false, TSFSConstants::fmCreate);
  }
  std::string Path() const { return dir_.file("shared.qvt"); }
  // One more program that has the container open for writing, shared with the others.
  std::unique_ptr<TSingleFileSystem> Open(TSFSPartStorage* storage = nullptr) {
    return std::make_unique<TSingleFileSystem>(Path(), -1, 8, 2048, 0, "", "", "secret", false,
                                               TSFSConstants::fmReadWrite, storage);
  }
  static void Put(TSingleFileSystem& fs, const std::string& path, const std::string& data) {
    TSFSFileStream s(&fs, 0, "", "", "kol", TSFSConstants::fmCreate, path);
    s.WriteBuffer(data.data(), int64_t(data.size()));
  }
  static std::string Get(TSingleFileSystem& fs, const std::string& path) {
    TSFSFileStream s(&fs, 0, "", "", "kol", 0, path);
    std::string out(size_t(s.Size()), '\0');
    s.ReadBuffer(out.data(), int64_t(out.size()));
    return out;
  }
  // The change counter as the disk has it (after the part header, right behind the container header);
  // 0 in a new container, whose first page ends with its header.
  uint64_t CounterOnDisk() const {
    const std::string bytes = test::ReadFileBytes(Path());
    const size_t at = TSFSHugeFile::PartHeaderSize + TPageFileManager::HeaderSize;
    if (bytes.size() < at + 8) return 0;
    return GetLE<uint64_t>(reinterpret_cast<const uint8_t*>(bytes.data()) + at);
  }
  // Kills `change` (a change through `storage` by a program of its own) at its last write of the
  // container, after its journal was sealed: first it runs whole to learn where that write is, then the
  // container file is put back as it was and the change runs again up to there. A hot journal is left.
  void KillInTheMiddle(test::TFaultyPartStorage& storage, const std::function<void()>& change) {
    const std::string before = test::ReadFileBytes(Path());
    storage.recordLog = true;
    change();
    storage.recordLog = false;
    int64_t lastContainerWrite = 0;
    for (const std::string& line : storage.log)
      if (line.find(" write shared.qvt ") != std::string::npos) lastContainerWrite = std::stoll(line);
    ASSERT_GT(lastContainerWrite, 0);
    test::WriteFileBytes(Path(), before);
    storage.Arm(test::TFaultyPartStorage::TFault::Crash, lastContainerWrite);
    EXPECT_ANY_THROW(change());
    ASSERT_TRUE(storage.Crashed());
    ASSERT_TRUE(std::filesystem::exists(TSingleFileSystem::JournalFileName(Path())));
  }
  test::TempDir dir_;
};

// Opens of the container file of their own, each with its transaction lock, as separate programs
// have them (the locks belong to the open, not to the process).
struct TOpenFile {
  TOpenFile(const std::string& path, const char* name) {
    EXPECT_TRUE(file.Open(path, false, TSFSLock::None));
    lock = std::make_unique<TTransactionLock>(file.FirstPart(), name);
  }
  TSFSHugeFile file;
  std::unique_ptr<TTransactionLock> lock;
};

TEST_F(SharedContainer, ReadersShareWritersWaitForEveryoneAndTheTimeoutSaysWhoHoldsIt) {
  TOpenFile a(Path(), "shared.qvt"), b(Path(), "shared.qvt"), w(Path(), "shared.qvt");
  a.lock->LockShared(milliseconds(0));
  b.lock->LockShared(milliseconds(0));
  EXPECT_EQ(b.lock->Level(), TTransactionLock::TLevel::Shared);
  std::string message = ExpectThrow<ESFSBusy>([&] { w.lock->LockExclusive(milliseconds(50)); });
  EXPECT_EQ(message,
            "TSingleFileSystem - shared.qvt is being read by another program: waited 0.1 seconds for it to "
            "finish. Try again when it is done.");
  // The writer that gave up left nothing behind: readers still come and go.
  EXPECT_EQ(w.lock->Level(), TTransactionLock::TLevel::None);
  b.lock->Release();
  b.lock->LockShared(milliseconds(0));

  a.lock->Release();
  b.lock->Release();
  w.lock->LockExclusive(milliseconds(0));
  message = ExpectThrow<ESFSBusy>([&] { a.lock->LockShared(milliseconds(0)); });
  EXPECT_NE(message.find("shared.qvt is being changed by another program"), std::string::npos) << message;
  EXPECT_NE(ExpectThrow<ESFSBusy>([&] { b.lock->LockExclusive(milliseconds(0)); }).find("being changed"),
            std::string::npos);
  // Busy is a kind of "in use": callers that tell the user the Safe is in use catch both.
  EXPECT_THROW(a.lock->LockShared(milliseconds(0)), ESFSInUse);

  // Down to shared: readers join at once, another writer still waits.
  w.lock->Downgrade();
  a.lock->LockShared(milliseconds(0));
  EXPECT_THROW(b.lock->LockExclusive(milliseconds(0)), ESFSBusy);
  a.lock->Release();
  w.lock->Release();
  b.lock->LockExclusive(milliseconds(0));
  b.lock->Release();
}

TEST_F(SharedContainer, AWaitingWriterKeepsNewReadersOutAndGetsTheLockWhenTheLastReaderLeaves) {
  TOpenFile reader(Path(), "shared.qvt"), writer(Path(), "shared.qvt"), late(Path(), "shared.qvt");
  reader.lock->LockShared(milliseconds(0));
  bool gotIt = false;
  std::thread waiting([&] {
    writer.lock->LockExclusive(milliseconds(60000));
    gotIt = writer.lock->Level() == TTransactionLock::TLevel::Exclusive;
  });
  // Once the writer waits, a new reader is refused (a stream of readers cannot starve the writer).
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  bool refused = false;
  while (!refused && std::chrono::steady_clock::now() < deadline) {
    try {
      late.lock->LockShared(milliseconds(0));
      late.lock->Release();
      std::this_thread::yield();
    } catch (const ESFSBusy&) {
      refused = true;
    }
  }
  EXPECT_TRUE(refused);
  reader.lock->Release();
  waiting.join();
  EXPECT_TRUE(gotIt);
  writer.lock->Release();
  late.lock->LockShared(milliseconds(0));
}

TEST_F(SharedContainer, EachProgramSeesTheOthersChangesAndNoWriteOnStaleStructuresLosesOne) {
  auto a = Open();
  auto b = Open();
  const uint64_t counter = CounterOnDisk();
  Put(*a, "\\first.txt", "from a");
  EXPECT_GT(CounterOnDisk(), counter);
  ASSERT_TRUE(b->FileExists("\\first.txt"));
  EXPECT_EQ(Get(*b, "\\first.txt"), "from a");
  TSFSExternalChanges seen = b->TakeExternalChanges();
  EXPECT_GE(seen.Count, 1u);
  EXPECT_EQ(seen.Paths, std::vector<std::string>{"\\first.txt"});
  EXPECT_EQ(b->TakeExternalChanges().Count, 0u);  // told once

  // Reading changes nothing, not even the counter; the writer's own change is no news to it.
  const uint64_t afterFirst = CounterOnDisk();
  EXPECT_FALSE(b->Refresh());
  EXPECT_EQ(CounterOnDisk(), afterFirst);
  EXPECT_EQ(a->TakeExternalChanges().Count, 0u);

  // Both write in turn, each on what the other just changed (the free-space maps and the directory
  // above all): every file is there once, with its own bytes, and the container is sound.
  for (int i = 0; i < 12; ++i) {
    Put(*a, "\\a" + std::to_string(i), std::string(size_t(1500 + 700 * i), char('a' + i)));
    Put(*b, "\\b" + std::to_string(i), std::string(size_t(2500 + 300 * i), char('A' + i)));
  }
  ASSERT_TRUE(a->RenameFile("\\first.txt", "\\renamed.txt"));
  ASSERT_TRUE(b->DeleteFile("\\a3"));
  for (TSingleFileSystem* fs : {a.get(), b.get()}) {
    EXPECT_FALSE(fs->FileExists("\\first.txt"));
    EXPECT_FALSE(fs->FileExists("\\a3"));
    EXPECT_EQ(Get(*fs, "\\renamed.txt"), "from a");
    EXPECT_EQ(Get(*fs, "\\b11"), std::string(2500 + 300 * 11, char('A' + 11)));
    EXPECT_EQ(Get(*fs, "\\a11"), std::string(1500 + 700 * 11, char('a' + 11)));
    EXPECT_TRUE(fs->CheckIntegrity().empty());
  }
  seen = a->TakeExternalChanges();
  EXPECT_NE(std::find(seen.Paths.begin(), seen.Paths.end(), "\\a3"), seen.Paths.end());
  EXPECT_NE(std::find(seen.Paths.begin(), seen.Paths.end(), "\\b0"), seen.Paths.end());
  a.reset();
  b.reset();
  auto fresh = Open();
  for (int i = 0; i < 12; ++i) {
    EXPECT_EQ(fresh->FileExists("\\a" + std::to_string(i)), i != 3);
    EXPECT_EQ(Get(*fresh, "\\b" + std::to_string(i)), std::string(size_t(2500 + 300 * i), char('A' + i)));
  }
  EXPECT_TRUE(fresh->CheckIntegrity().empty());
}

TEST_F(SharedContainer, AChangeInProgressKeepsOthersOutUntilTheTimeoutAndARolledBackOneIsNeverSeen) {
  TBusyTimeout quick(milliseconds(100));
  auto a = Open();
  auto b = Open();
  Put(*a, "\\kept.txt", "kept");
  ASSERT_TRUE(b->FileExists("\\kept.txt"));
  const uint64_t counter = CounterOnDisk();
  {
    TSFSTransaction change(*a);
    Put(*a, "\\half.txt", std::string(5000, 'h'));
    ASSERT_TRUE(a->DeleteFile("\\kept.txt"));
    const std::string message = ExpectThrow<ESFSBusy>([&] { b->FileExists("\\half.txt"); });
    EXPECT_NE(message.find("shared.qvt is being changed by another program: waited 0.1 seconds"),
              std::string::npos)
        << message;
    EXPECT_THROW(Put(*b, "\\other.txt", "x"), ESFSBusy);
    // Not committed: rolled back.
  }
  EXPECT_EQ(CounterOnDisk(), counter);
  EXPECT_FALSE(b->FileExists("\\half.txt"));
  EXPECT_FALSE(b->FileExists("\\other.txt"));
  EXPECT_EQ(Get(*b, "\\kept.txt"), "kept");
  EXPECT_EQ(Get(*a, "\\kept.txt"), "kept");
  Put(*b, "\\other.txt", "now");
  EXPECT_EQ(Get(*a, "\\other.txt"), "now");
  EXPECT_TRUE(a->CheckIntegrity().empty());
}

TEST_F(SharedContainer, AWriterKilledInTheMiddleIsRolledBackByTheNextReadOfAnother) {
  auto watcher = Open();
  Put(*watcher, "\\old.txt", std::string(3000, 'o'));
  // The killed program's change (the watcher takes in that the file changed under it meanwhile).
  test::TFaultyPartStorage storage;
  auto change = [&] {
    auto writer = Open(&storage);
    TSFSTransaction t(*writer);
    Put(*writer, "\\new.txt", std::string(9000, 'n'));
    Put(*writer, "\\old.txt", std::string(7000, 'x'));
    t.Commit();
  };
  KillInTheMiddle(storage, change);
  if (HasFatalFailure()) return;
  // The program that had the container open all along reads it as it was before.
  EXPECT_FALSE(watcher->FileExists("\\new.txt"));
  EXPECT_EQ(Get(*watcher, "\\old.txt"), std::string(3000, 'o'));
  EXPECT_TRUE(watcher->CheckIntegrity().empty());
  EXPECT_FALSE(std::filesystem::exists(TSingleFileSystem::JournalFileName(Path())));
  Put(*watcher, "\\after.txt", "fine");
  watcher.reset();
  auto fresh = Open();
  EXPECT_EQ(Get(*fresh, "\\after.txt"), "fine");
  EXPECT_FALSE(fresh->FileExists("\\new.txt"));
}

// What a program holds of a container's directory: every slot as stored, the chain of pages, and each
// live item by its full path.
struct TDirectoryImage {
  std::vector<TDIRItem> slots;
  std::vector<int32_t> pages;
  std::map<std::string, int32_t> byPath;
};

TDirectoryImage ImageOf(TSingleFileSystem& fs) {
  TDirectoryImage image;
  TDIRManager& dir = fs.Directory();
  for (int32_t k = 0; k < dir.ItemCount(); ++k) {
    image.slots.push_back(dir.ReadItem(k));
    if (!dir.ReadItem(k).Deleted) image.byPath[dir.FullPath(k)] = k;
  }
  image.pages = dir.DirectoryPages();
  return image;
}

// The paths another program's change touched, found the slow and sure way: the live items of two
// fresh opens compared path by path (anything but the access time counts).
std::vector<std::string> PathsBetween(const TDirectoryImage& before, const TDirectoryImage& after) {
  auto same = [](const TDIRItem& a, const TDIRItem& b) {
    TDIRItem x = a, y = b;
    x.LastAccessTime = y.LastAccessTime = 0;
    x.ParentID = y.ParentID = 0;  // a moved folder's items are told by their paths
    return x == y;
  };
  std::set<std::string> paths;
  for (const auto& [path, k] : before.byPath) {
    auto it = after.byPath.find(path);
    if (it == after.byPath.end() || !same(before.slots[size_t(k)], after.slots[size_t(it->second)]))
      paths.insert(path);
  }
  for (const auto& [path, k] : after.byPath)
    if (before.byPath.count(path) == 0) paths.insert(path);
  return {paths.begin(), paths.end()};
}

TEST_F(SharedContainer, ARefreshEndsWhereAFreshOpenStartsAndTellsEveryPathTheChangeTouched) {
  auto writer = Open();
  auto watcher = Open();
  // Enough items for many directory pages (three items a page), in nested folders.
  for (const char* folder : {"\\cat\\sub\\deep", "\\other", "\\keep", "\\empty"})
    ASSERT_TRUE(writer->ForceDirectories(folder));
  for (int i = 0; i < 40; ++i) {
    const std::string folder = i % 3 == 0 ? "\\cat\\" : i % 3 == 1 ? "\\cat\\sub\\deep\\" : "\\other\\";
    Put(*writer, folder + "e" + std::to_string(i), std::string(size_t(100 + i), char('a' + i % 26)));
  }
  ASSERT_TRUE(watcher->ChangeDir("\\keep"));  // takes in the writer's changes
  watcher->TakeExternalChanges();
  TDirectoryImage seen = ImageOf(*watcher);

  // After each outside change the watcher's directory is the one a fresh open reads, slot by slot,
  // and it tells exactly the paths a path-by-path comparison finds.
  auto expectLikeAFreshOpen = [&](const std::string& step) {
    SCOPED_TRACE(step);
    EXPECT_TRUE(watcher->Refresh());
    const TDirectoryImage now = ImageOf(*watcher);
    auto fresh = Open();
    const TDirectoryImage truth = ImageOf(*fresh);
    EXPECT_EQ(now.slots, truth.slots);
    EXPECT_EQ(now.pages, truth.pages);
    EXPECT_EQ(now.byPath, truth.byPath);
    std::string problem;
    EXPECT_TRUE(watcher->Directory().Items().IndexesConsistent(&problem)) << problem;
    for (const auto& [path, k] : truth.byPath) EXPECT_EQ(watcher->Directory().Resolve(path), k) << path;
    EXPECT_EQ(watcher->TakeExternalChanges().Paths, PathsBetween(seen, truth));
    EXPECT_TRUE(watcher->CheckIntegrity().empty());
    seen = truth;
  };

  // Adds: new directory pages at the end of the chain.
  for (int i = 40; i < 52; ++i) Put(*writer, "\\other\\n" + std::to_string(i), "new");
  expectLikeAFreshOpen("adds");
  // Deletes, an empty folder removed, a file rewritten with another size.
  ASSERT_TRUE(writer->DeleteFile("\\cat\\e0"));
  ASSERT_TRUE(writer->DeleteFile("\\other\\n45"));
  ASSERT_TRUE(writer->RemoveDir("\\empty"));
  Put(*writer, "\\cat\\e3", std::string(5000, 'z'));
  expectLikeAFreshOpen("deletes and a rewrite");
  // Renames in place, and adds that take the freed slots.
  ASSERT_TRUE(writer->RenameFile("\\other\\e2", "\\other\\renamed"));
  Put(*writer, "\\again1", "x");
  Put(*writer, "\\again2", "y");
  expectLikeAFreshOpen("renames and reused slots");
  // A folder moved elsewhere and one renamed: everything below them has another path now.
  ASSERT_TRUE(writer->RenameFile("\\cat\\sub", "\\other\\moved"));
  ASSERT_TRUE(writer->RenameFile("\\cat", "\\Category"));
  expectLikeAFreshOpen("moves");
  EXPECT_EQ(watcher->GetCurrentDir(), "\\keep");
  // The watcher's current folder goes: it is at the root afterwards.
  ASSERT_TRUE(writer->RemoveDir("\\keep"));
  expectLikeAFreshOpen("the current folder removed");
  EXPECT_EQ(watcher->GetCurrentDir(), "\\");

  // A change the watcher has not looked at yet, then a writer killed in the middle of the next one
  // (many new items and changed ones, its journal hot): the watcher's next look rolls the journal back
  // and sees the first change and nothing of the second.
  Put(*writer, "\\Category\\committed", "yes");
  ASSERT_TRUE(writer->DeleteFile("\\other\\n41"));
  test::TFaultyPartStorage storage;
  auto change = [&] {
    auto killed = Open(&storage);
    TSFSTransaction t(*killed);
    for (int i = 0; i < 20; ++i) Put(*killed, "\\other\\lost" + std::to_string(i), "lost");
    ASSERT_TRUE(killed->RenameFile("\\other\\moved", "\\gone"));
    ASSERT_TRUE(killed->DeleteFile("\\again1"));
    t.Commit();
  };
  KillInTheMiddle(storage, change);
  if (HasFatalFailure()) return;
  expectLikeAFreshOpen("a hot journal rolled back");
  EXPECT_FALSE(std::filesystem::exists(TSingleFileSystem::JournalFileName(Path())));
  EXPECT_TRUE(watcher->FileExists("\\Category\\committed"));
  EXPECT_FALSE(watcher->FileExists("\\other\\lost0"));
  EXPECT_TRUE(watcher->DirectoryExists("\\other\\moved\\deep"));

  // The watcher writes on what it took in, the writer reads it: nothing of either is lost.
  Put(*watcher, "\\other\\moved\\deep\\fromWatcher", "w");
  ASSERT_TRUE(watcher->RenameFile("\\again2", "\\Category\\again2"));
  EXPECT_EQ(Get(*writer, "\\other\\moved\\deep\\fromWatcher"), "w");
  EXPECT_EQ(Get(*writer, "\\Category\\again2"), "y");
  EXPECT_EQ(Get(*writer, "\\Category\\e3"), std::string(5000, 'z'));
  EXPECT_TRUE(writer->CheckIntegrity().empty());
}

// A file open in the watcher follows its path through another program's changes of other items, and
// is dropped when its file was removed.
TEST_F(SharedContainer, OpenFilesFollowTheirPathThroughARefresh) {
  auto writer = Open();
  auto watcher = Open();
  for (int i = 0; i < 9; ++i) Put(*writer, "\\f" + std::to_string(i), "content " + std::to_string(i));
  ASSERT_TRUE(watcher->FileExists("\\f4"));
  TSFSFileStream kept(watcher.get(), 0, "", "", "kol", 0, "\\f7");
  const int32_t handle = watcher->FileOpen("\\f4", TSFSConstants::fmReadOnly, "", "", "kol");
  ASSERT_GE(handle, 0);
  ASSERT_TRUE(writer->DeleteFile("\\f1"));
  ASSERT_TRUE(writer->DeleteFile("\\f4"));
  Put(*writer, "\\f4", "made anew");  // takes the first free slot: another item, another key record
  Put(*writer, "\\late", "late");
  EXPECT_TRUE(watcher->Refresh());
  EXPECT_EQ(watcher->HandlePath(handle), "");
  std::string text(size_t(kept.Size()), '\0');
  kept.ReadBuffer(text.data(), int64_t(text.size()));
  EXPECT_EQ(text, "content 7");
  const int32_t k = watcher->Directory().Resolve("\\f7");
  EXPECT_EQ(watcher->Directory().OpenCount(k), 1);
  EXPECT_EQ(watcher->Directory().OpenCount(watcher->Directory().Resolve("\\f4")), 0);
  EXPECT_FALSE(watcher->DeleteFile("\\f7"));  // still open
}

}  // namespace
}  // namespace quillmar
