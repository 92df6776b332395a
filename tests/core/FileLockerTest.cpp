// The File Locker's list (items, Path texts, moves, ordering) and its commands on a real Safe:
// lock runs of files and folder trees, unlocking, and the copies taken out for viewing.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>

#include "core/qmGlobal.h"
#include "core/qmLockerCommands.h"
#include "core/qmLockerItems.h"
#include "support/HeldFile.h"
#include "support/ScriptedPrompter.h"
#include "support/TempDir.h"

namespace quillmar {
namespace {

namespace fs = std::filesystem;
using test::ReadFileBytes;
using test::TempDir;
using test::THeldFile;
using test::TScriptedPrompter;
using test::WriteFileBytes;

constexpr char kRoot[] = "\\File Locker\\";

TqmFileInfo Info(const std::string& name, uint64_t size = 0, const std::string& modified = "") {
  TqmFileInfo f;
  f.Name = name;
  f.Size = size;
  f.Modified = modified;
  return f;
}

std::vector<std::string> Names(const std::vector<TqmLockerItem>& items) {
  std::vector<std::string> names;
  for (const auto& i : items) names.push_back(i.Name);
  return names;
}

// --- The list without a Safe ----------------------------------------------------------------------------

TEST(LockerItems, UpItemOnlyBelowTheRootAndPathTexts) {
  TqmLockerListing listing;
  listing.Folders = {Info("Docs", 0, "2024-01-02 10:00:00")};
  listing.Files = {Info("a.txt", 12, "2024-01-03 11:00:00")};
  auto root = LockerItems(kRoot, listing);
  ASSERT_EQ(root.size(), 2u);
  EXPECT_TRUE(root[0].IsFolder());
  EXPECT_EQ(root[0].Path, "");
  EXPECT_EQ(root[0].SizeText(), "");
  EXPECT_EQ(root[1].Path, "\\");
  EXPECT_EQ(root[1].SizeText(), "12");

  auto inA = LockerItems("\\File Locker\\A\\", listing);
  ASSERT_EQ(inA.size(), 3u);
  EXPECT_TRUE(inA[0].IsUp());
  EXPECT_EQ(inA[0].Name, "..");
  EXPECT_EQ(inA[2].Path, "\\A\\");

  EXPECT_EQ(LockerParentFolder("\\File Locker\\A\\B\\"), "\\File Locker\\A\\");
  EXPECT_EQ(LockerParentFolder("\\File Locker\\A\\"), kRoot);
  EXPECT_EQ(LockerParentFolder(kRoot), kRoot);
  EXPECT_EQ(LockerSubfolder(kRoot, "A"), "\\File Locker\\A\\");
}

TEST(LockerItems, FilesWithWaitingCopiesAreMarkedIgnoringCase) {
  TqmLockerListing listing;
  listing.Files = {Info("a.txt"), Info("b.txt")};
  auto items = LockerItems("\\File Locker\\Docs\\", listing, {"\\file locker\\DOCS\\A.TXT"});
  EXPECT_TRUE(items[1].CopyWaiting);
  EXPECT_FALSE(items[2].CopyWaiting);
}

TEST(LockerItems, SizesSortAsNumbersAndHugeFilesKeepTheirSize) {
  TqmLockerListing listing;
  listing.Folders = {Info("F")};
  listing.Files = {Info("big", 5'000'000'000ULL), Info("hundred", 100), Info("twenty", 20)};
  auto items = LockerItems("\\File Locker\\X\\", listing);
  SortLockerItems(items, -locker::kSortSize);
  EXPECT_EQ(Names(items), (std::vector<std::string>{"..", "F", "twenty", "hundred", "big"}));
  EXPECT_EQ(items.back().SizeText(), "5000000000");
  SortLockerItems(items, locker::kSortSize);
  EXPECT_EQ(Names(items), (std::vector<std::string>{"..", "big", "hundred", "twenty", "F"}));
}

TEST(LockerItems, UpItemFirstInEveryOrderOnShuffledLists) {
  TqmLockerListing listing;
  for (int i = 0; i < 40; ++i) {
    listing.Folders.push_back(Info("f" + std::to_string(i % 7), 0, "2024-01-0" + std::to_string(i % 9 + 1)));
    listing.Files.push_back(Info("n" + std::to_string(i % 5), static_cast<uint64_t>(i % 3),
                                 "2023-05-0" + std::to_string(i % 4 + 1)));
  }
  const auto base = LockerItems("\\File Locker\\A\\", listing);
  std::mt19937 random(7);
  for (int key : {-1, 1, -2, 2, -4, 4, -8, 8}) {
    for (int round = 0; round < 3; ++round) {
      auto items = base;
      std::shuffle(items.begin(), items.end(), random);
      SortLockerItems(items, key);
      ASSERT_TRUE(items.front().IsUp()) << key;
      EXPECT_EQ(std::count_if(items.begin(), items.end(), [](const auto& i) { return i.IsUp(); }), 1);
      // The order is the same whatever order the items came in.
      auto again = base;
      SortLockerItems(again, key);
      EXPECT_EQ(Names(items), Names(again)) << key;
    }
  }
}

TEST(LockerItems, NameOrdersAndHeaderClicks) {
  TqmLockerListing listing;
  listing.Folders = {Info("zeta")};
  listing.Files = {Info("Beta"), Info("alpha")};
  auto items = LockerItems(kRoot, listing);
  // Ascending by Path then name: folders (empty Path) before files, letter case ignored.
  SortLockerItems(items, locker::kInitialSort);
  EXPECT_EQ(Names(items), (std::vector<std::string>{"zeta", "alpha", "Beta"}));
  SortLockerItems(items, locker::kSortName);
  EXPECT_EQ(Names(items), (std::vector<std::string>{"zeta", "Beta", "alpha"}));

  EXPECT_EQ(NextSortKey(-1, 0), 1);  // same column: flips
  EXPECT_EQ(NextSortKey(1, 0), -1);
  EXPECT_EQ(NextSortKey(-1, 2), -4);  // another column: ascending
  EXPECT_EQ(NextSortKey(4, 3), -8);
  EXPECT_EQ(NextSortKey(-8, 3), 8);
  EXPECT_EQ(SortColumn(8), 3);
}

// --- On a Safe --------------------------------------------------------------------------------------------

class FileLockerSafeTest : public ::testing::Test {
protected:
  static constexpr char kPassword[] = "secret-1";

  FileLockerSafeTest() : g_(dir_.file("home"), {"quillmar"}, &prompter_), commands_(g_) {
    TqmSFSWrapper maker;
    maker.CreateEmptySafe(g_.SafeFile("Alpha"), kPassword);
    maker.CloseSafe();
    g_.OpenSafeByName("Alpha", kPassword);
  }

  std::string Disk(const std::string& relative, const std::string& content) {
    const std::string path = dir_.file(relative);
    fs::create_directories(fs::path(path).parent_path());
    WriteFileBytes(path, content);
    return path;
  }
  std::string Locked(const std::string& folder, const std::string& name) {
    const std::string out = dir_.file("scratch.out");
    fs::remove(out);
    EXPECT_TRUE(g_.UnlockFile(folder, name, out));
    std::string bytes = ReadFileBytes(out);
    fs::remove(out);
    return bytes;
  }
  std::vector<std::string> FileNames(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& f : g_.ListLockerFolder(folder).Files) names.push_back(f.Name);
    std::sort(names.begin(), names.end());
    return names;
  }
  TqmLockOutcome LockPaths(const std::vector<std::string>& paths, bool remove,
                           const std::string& folder = kRoot) {
    return commands_.Lock(TqmLockerCommands::PlanLock(folder, paths), remove);
  }
  // Cancels when the run has reached half of the bytes of its file number `file`.
  static TqmLockerProgress CancelHalfway(int file = 1) {
    return [file](const TqmLockerStatus& s, bool& cancel) {
      if (s.FileNumber == file && s.FileDone * 2 >= s.FileTotal && s.FileDone > 0) cancel = true;
    };
  }

  TempDir dir_;
  TScriptedPrompter prompter_;
  TqmGlobal g_;
  TqmLockerCommands commands_;
};

TEST_F(FileLockerSafeTest, ListingInOneWalkAgreesWithTheItemByItemCalls) {
  ASSERT_TRUE(g_.CreateFolder(kRoot, "Docs"));
  ASSERT_TRUE(g_.LockFile(kRoot, Disk("a.txt", std::string(3000, 'a')), true));
  ASSERT_TRUE(g_.LockFile(kRoot, Disk("b.bin", ""), true));
  const TqmLockerListing listing = g_.ListLockerFolder(kRoot);
  ASSERT_EQ(listing.Folders.size(), 1u);
  ASSERT_EQ(static_cast<int>(listing.Files.size()), g_.CountFiles(kRoot));
  for (int i = 0; i < g_.CountFiles(kRoot); ++i) {
    const TqmFileInfo one = g_.FileInfoAt(kRoot, i);
    EXPECT_EQ(listing.Files[static_cast<size_t>(i)].Name, one.Name);
    EXPECT_EQ(listing.Files[static_cast<size_t>(i)].Size, one.Size);
    EXPECT_EQ(listing.Files[static_cast<size_t>(i)].Modified, one.Modified);
    EXPECT_FALSE(one.Modified.empty());
  }
  EXPECT_EQ(listing.Folders[0].Name, g_.FolderInfoAt(kRoot, 0).Name);
  EXPECT_TRUE(g_.ListLockerFolder("\\File Locker\\Missing\\").Files.empty());
}

TEST_F(FileLockerSafeTest, RemoveFromDiskOnlyAfterTheLockAndOnlyWhenAsked) {
  const std::string kept = Disk("in/kept.txt", "kept");
  auto out = LockPaths({kept}, false);
  EXPECT_EQ(out.Locked.size(), 1u);
  EXPECT_TRUE(fs::exists(kept));

  const std::string moved = Disk("in/moved.txt", "moved");
  const std::string held = Disk("in/held.txt", "held");
  THeldFile holder(held);
  out = LockPaths({moved, held}, true);
  EXPECT_EQ(out.Locked, std::vector<std::string>{moved});
  EXPECT_FALSE(fs::exists(moved));
  ASSERT_EQ(out.Failed.size(), 1u);
  EXPECT_EQ(out.Failed[0].Path, held);
  EXPECT_FALSE(out.Failed[0].Reason.empty());
  // The file that could not be read: on the disk as it was, not in the Safe.
  EXPECT_EQ(ReadFileBytes(held), "held");
  EXPECT_EQ(FileNames(kRoot), (std::vector<std::string>{"kept.txt", "moved.txt"}));
  EXPECT_EQ(Locked(kRoot, "moved.txt"), "moved");
}

TEST_F(FileLockerSafeTest, AnOriginalThatCannotBeDeletedIsReportedAndKept) {
  const std::string file = Disk("ro/a.txt", "a");
  commands_.SetDiskRemover([](const std::string&, std::string& why) {
    why = "Permission denied";
    return false;
  });
  auto out = LockPaths({file}, true);
  EXPECT_EQ(out.Locked.size(), 1u);
  ASSERT_EQ(out.NotRemoved.size(), 1u);
  EXPECT_NE(out.NotRemoved[0].Reason.find("Permission denied"), std::string::npos);
  EXPECT_TRUE(fs::exists(file));
  EXPECT_EQ(Locked(kRoot, "a.txt"), "a");
}

TEST_F(FileLockerSafeTest, FolderTreeIsLockedExactlyWithoutLinksAndCaseTwinsThenUnlockedWhole) {
  const std::string tree = dir_.file("Photos");
  Disk("Photos/top.bin", std::string(9000, '\x7f'));
  Disk("Photos/empty.txt", "");
  Disk("Photos/Readme", "first");
  Disk("Photos/Sub/README", "inner");
  Disk("Photos/readme", "twin");
  fs::create_directories(tree + "/Sub/Deeper/Empty");
  Disk("Photos/Sub/Deeper/d.txt", "deep");
  const std::string secret = Disk("outside/secret.txt", "not to be locked");
  fs::create_symlink(secret, tree + "/link.txt");
  fs::create_directory_symlink(dir_.file("outside"), tree + "/linkdir");

  const TqmLockPlan plan = TqmLockerCommands::PlanLock(kRoot, {tree});
  EXPECT_TRUE(plan.HasFolder);
  auto out = commands_.Lock(plan, true);
  EXPECT_FALSE(out.Cancelled);
  EXPECT_TRUE(out.Failed.empty());
  EXPECT_EQ(out.Locked.size(), 5u);
  // Skipped: the two links and the second of "Readme"/"readme"; they stay on the disk.
  ASSERT_EQ(out.Skipped.size(), 3u);
  const std::string twin = fs::exists(tree + "/Readme") ? tree + "/Readme" : tree + "/readme";
  EXPECT_TRUE(fs::exists(twin));
  EXPECT_TRUE(fs::is_symlink(tree + "/link.txt"));
  EXPECT_EQ(ReadFileBytes(secret), "not to be locked");
  // The emptied sub-folders went, the one still holding skipped items stays.
  EXPECT_FALSE(fs::exists(tree + "/Sub"));
  EXPECT_TRUE(fs::exists(tree));

  const std::string photos = "\\File Locker\\Photos\\";
  EXPECT_EQ(FileNames(photos), (std::vector<std::string>{"Readme", "empty.txt", "top.bin"}));
  EXPECT_EQ(Locked(photos, "top.bin"), std::string(9000, '\x7f'));
  EXPECT_EQ(Locked(photos, "empty.txt"), "");
  EXPECT_EQ(Locked("\\File Locker\\Photos\\Sub\\Deeper\\", "d.txt"), "deep");
  EXPECT_EQ(g_.ListLockerFolder("\\File Locker\\Photos\\Sub\\Deeper\\").Folders.size(), 1u);

  // Out again: an identical tree below the chosen folder, and the folder leaves the Safe.
  const std::string target = dir_.file("restored");
  auto back = commands_.Unlock(kRoot, {"Photos"}, target);
  EXPECT_TRUE(back.Kept.empty());
  EXPECT_EQ(back.Removed, std::vector<std::string>{"Photos"});
  EXPECT_EQ(ReadFileBytes(target + "/Photos/top.bin"), std::string(9000, '\x7f'));
  EXPECT_EQ(ReadFileBytes(target + "/Photos/Sub/README"), "inner");
  EXPECT_EQ(ReadFileBytes(target + "/Photos/Sub/Deeper/d.txt"), "deep");
  EXPECT_TRUE(fs::is_directory(target + "/Photos/Sub/Deeper/Empty"));
  EXPECT_TRUE(g_.ListLockerFolder(kRoot).Folders.empty());
}

TEST_F(FileLockerSafeTest, OneDeclinedFileKeepsTheFolderInTheSafe) {
  Disk("Box/a.txt", "a");
  Disk("Box/b.txt", "b");
  ASSERT_TRUE(LockPaths({dir_.file("Box")}, false).Failed.empty());
  const std::string target = dir_.file("out");
  Disk("out/Box/b.txt", "edited on disk");
  prompter_.ExpectYesNo(TqmSFSWrapper::kMsgFileAlreadyOpened, false);
  auto back = commands_.Unlock(kRoot, {"Box"}, target);
  EXPECT_TRUE(back.Removed.empty());
  EXPECT_EQ(back.Declined.size(), 1u);
  EXPECT_EQ(back.Kept.size(), 1u);  // the folder, which stays
  EXPECT_EQ(ReadFileBytes(target + "/Box/b.txt"), "edited on disk");
  EXPECT_EQ(FileNames("\\File Locker\\Box\\"), (std::vector<std::string>{"a.txt", "b.txt"}));
}

TEST_F(FileLockerSafeTest, ClashesAskOnceWithYesToAllAndNoToAllSkips) {
  Disk("Set/a.txt", "old a");
  Disk("Set/b.txt", "old b");
  ASSERT_TRUE(LockPaths({dir_.file("Set")}, false).Failed.empty());
  Disk("Set/a.txt", "new a");
  Disk("Set/b.txt", "new b");
  int asked = 0;
  auto plan = TqmLockerCommands::PlanLock(kRoot, {dir_.file("Set")});
  auto out = commands_.Lock(plan, true, [&](const std::string&) {
    ++asked;
    return TqmOverwriteAnswer::NoToAll;
  });
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(out.Declined.size(), 2u);
  EXPECT_TRUE(fs::exists(dir_.file("Set/a.txt")));  // declined: kept on the disk
  EXPECT_EQ(Locked("\\File Locker\\Set\\", "a.txt"), "old a");

  asked = 0;
  out = commands_.Lock(plan, false, [&](const std::string&) {
    ++asked;
    return TqmOverwriteAnswer::YesToAll;
  });
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(out.Locked.size(), 2u);
  EXPECT_EQ(Locked("\\File Locker\\Set\\", "b.txt"), "new b");
}

TEST_F(FileLockerSafeTest, CancelMidLockKeepsTheOldVersionAndTheDiskFile) {
  const std::string big = Disk("big.bin", std::string(3 << 20, 'o'));
  ASSERT_TRUE(g_.LockFile(kRoot, big, true));
  Disk("big.bin", std::string(3 << 20, 'n'));
  auto plan = TqmLockerCommands::PlanLock(kRoot, {big});
  prompter_.ExpectYesNo(TqmSFSWrapper::kMsgFileExists, true);
  auto out = commands_.Lock(plan, true, {}, CancelHalfway());
  EXPECT_TRUE(out.Cancelled);
  EXPECT_TRUE(out.Locked.empty());
  EXPECT_EQ(ReadFileBytes(big), std::string(3 << 20, 'n'));
  EXPECT_EQ(FileNames(kRoot), std::vector<std::string>{"big.bin"});  // no partial file beside it
  EXPECT_EQ(Locked(kRoot, "big.bin"), std::string(3 << 20, 'o'));
}

TEST_F(FileLockerSafeTest, CancelMidUnlockLeavesNoPartialFileAndTheItemInTheSafe) {
  ASSERT_TRUE(g_.LockFile(kRoot, Disk("big.bin", std::string(3 << 20, 'x')), true));
  const std::string target = dir_.file("out");
  auto back = commands_.Unlock(kRoot, {"big.bin"}, target, CancelHalfway());
  EXPECT_TRUE(back.Cancelled);
  EXPECT_TRUE(back.Removed.empty());
  EXPECT_FALSE(fs::exists(target + "/big.bin"));
  std::error_code ec;
  EXPECT_TRUE(fs::is_empty(target, ec));  // no temporary file either
  EXPECT_EQ(FileNames(kRoot), std::vector<std::string>{"big.bin"});
}

TEST_F(FileLockerSafeTest, WaitingCopiesNeitherResurrectNorOverride) {
  ASSERT_TRUE(g_.LockFile(kRoot, Disk("del.txt", "d"), true));
  ASSERT_TRUE(g_.LockFile(kRoot, Disk("ren.txt", "r"), true));
  ASSERT_TRUE(g_.LockFile(kRoot, Disk("over.txt", "old"), true));
  std::vector<std::string> copies;
  for (const char* name : {"del.txt", "ren.txt", "over.txt"}) {
    copies.push_back(commands_.TakeOutCopy(kRoot, name));
    ASSERT_FALSE(copies.back().empty());
    WriteFileBytes(copies.back(), std::string("edited ") + name);
  }
  EXPECT_EQ(g_.OpenedCopyPaths().size(), 3u);

  // Delete drops the copy; Rename writes it back first; a lock over the file writes it back too and
  // then the new version replaces it.
  prompter_.SetLenient(true);
  EXPECT_TRUE(commands_.Delete(kRoot, "del.txt"));
  EXPECT_EQ(commands_.Rename(kRoot, "ren.txt", "renamed.txt"), TqmLockerCommands::TRename::Done);
  auto out = LockPaths({Disk("new/over.txt", "new version")}, false);
  EXPECT_EQ(out.Locked.size(), 1u);
  EXPECT_TRUE(g_.OpenedCopyPaths().empty());

  // Closing writes back whatever waits: nothing may come back.
  ASSERT_TRUE(g_.UpdateOpenedFiles());
  EXPECT_EQ(FileNames(kRoot), (std::vector<std::string>{"over.txt", "renamed.txt"}));
  EXPECT_EQ(Locked(kRoot, "renamed.txt"), "edited ren.txt");
  EXPECT_EQ(Locked(kRoot, "over.txt"), "new version");
  for (const auto& copy : copies) EXPECT_FALSE(fs::exists(copy)) << copy;
}

TEST_F(FileLockerSafeTest, RenameRefusesTakenUnchangedAndInvalidNames) {
  ASSERT_TRUE(g_.LockFile(kRoot, Disk("a.txt", "a"), true));
  ASSERT_TRUE(g_.LockFile(kRoot, Disk("b.txt", "b"), true));
  using R = TqmLockerCommands::TRename;
  std::string why;
  EXPECT_EQ(commands_.Rename(kRoot, "a.txt", "a.txt"), R::Unchanged);
  EXPECT_EQ(commands_.Rename(kRoot, "a.txt", "B.TXT"), R::Taken);
  for (const char* bad : {"", ".", "..", "x/y", "x\\y"}) {
    why.clear();
    EXPECT_EQ(commands_.Rename(kRoot, "a.txt", bad, &why), R::Invalid) << bad;
    EXPECT_FALSE(why.empty()) << bad;
  }
  EXPECT_EQ(FileNames(kRoot), (std::vector<std::string>{"a.txt", "b.txt"}));
  EXPECT_EQ(commands_.Rename(kRoot, "a.txt", "c.txt"), R::Done);
  EXPECT_EQ(Locked(kRoot, "c.txt"), "a");
}

}  // namespace
}  // namespace quillmar
