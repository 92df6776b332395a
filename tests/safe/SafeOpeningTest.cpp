// Opening a Safe: programs share it (read-only opens write nothing, writers change it one transaction
// at a time), what needs it alone is refused while another program has it; what an interrupted program
// left beside the Safe or inside it is dealt with at the next open.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "base/MemoryStream.h"
#include "container/SFSError.h"
#include "container/SFSFileStream.h"
#include "container/SingleFileSystem.h"
#include "model/qmCategory.h"
#include "model/qmField.h"
#include "model/qmRepositoryEntry.h"
#include "safe/SafeTestSupport.h"
#include "support/FaultyPartStorage.h"
#include "support/TempDir.h"

namespace quillmar::test {
namespace {

namespace fs = std::filesystem;
using W = TqmSFSWrapper;

class SafeOpening : public SafeFixture {
protected:
  void SetUp() override {
    SafeFixture::SetUp();
    TqmCategory cat;
    cat.SetName("Cat");
    safe.SaveCategory(cat);
    path = cat.FolderPath();
    TqmRepositoryEntry e(&cat);
    e.Fields().Add(TqmField(0, "Title", ftNormalText, true, "kept"));
    safe.SaveEntry(path, e);
    TMemoryStream locked("locked bytes");
    safe.LockStream(std::string(W::kFileLockerRoot) + "doc.txt", locked, kPassword);
    safe.CloseSafe();
  }

  std::vector<std::string> FolderFiles() {
    std::vector<std::string> names;
    for (const auto& item : fs::directory_iterator(dir.path()))
      names.push_back(item.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  std::string path;
};

TEST_F(SafeOpening, ProgramsShareTheSafeReadersWriteNothingAndWhatNeedsItAloneIsRefused) {
  const std::string before = ReadFileBytes(safeFile);
  {
    TqmSFSWrapper first, second;
    first.OpenSafe(safeFile, kPassword, true);
    second.OpenSafe(safeFile, kPassword, true);  // readers do not refuse each other
    EXPECT_TRUE(first.ReadOnly());
    TqmRepositoryEntry e;
    EXPECT_TRUE(second.LoadEntryAt(path, 0, e));
    EXPECT_EQ(e.Title(), "kept");
    TMemoryStream out;
    first.UnlockToStream(std::string(W::kFileLockerRoot) + "doc.txt", out, kPassword);
    EXPECT_EQ(out.ToString(), "locked bytes");
    // Nothing can be changed through a read-only open.
    EXPECT_ANY_THROW(first.SaveEntry(path, e));
    EXPECT_ANY_THROW(first.CreateFolder(W::kFileLockerRoot, "new"));
    EXPECT_TRUE(ReadFileBytes(safeFile) == before);  // not a byte written, not even an access time
    EXPECT_EQ(FolderFiles(), std::vector<std::string>{"Test.qvt"});

    // A writer joins them, and its change is what they read next.
    TqmSFSWrapper writer(&prompter);
    EXPECT_EQ(writer.CheckSafe(safeFile, kPassword, false), W::csUsable);
    writer.OpenSafe(safeFile, kPassword);
    ASSERT_TRUE(writer.CreateFolder(W::kFileLockerRoot, "Shared"));
    EXPECT_EQ(first.CountFolders(W::kFileLockerRoot), 1);
    EXPECT_EQ(second.FolderInfoAt(W::kFileLockerRoot, 0).Name, "Shared");
    EXPECT_GE(first.TakeChanges().LockerFolders.count(W::kFileLockerRoot), 1u);

    // What replaces the Safe's file needs it alone: refused with the reason, nothing changed.
    const std::string shared = ReadFileBytes(safeFile);
    EXPECT_THROW(writer.ChangePassword(kPassword, "another pw"), EQuillmarError);
    std::string log;
    EXPECT_FALSE(writer.Repair(&log));
    EXPECT_NE(log.find("open in another program"), std::string::npos) << log;
    EXPECT_TRUE(ReadFileBytes(safeFile) == shared);
    EXPECT_EQ(writer.CountFolders(W::kFileLockerRoot), 1);  // still open, and usable
  }
  // Alone again, it can.
  safe.OpenSafe(safeFile, kPassword);
  std::string log;
  EXPECT_TRUE(safe.Repair(&log)) << log;

  // A program that keeps the Safe to itself (as older versions do) is refused while others have it,
  // and refuses them while it has it, with the reason.
  safe.CloseSafe();
  {
    TSingleFileSystem alone(safeFile, -1, 8, 4096, 0, "", "", kPassword, false,
                            TSingleFileSystem::fmReadWriteExclusive);
    TqmSFSWrapper reader(&prompter);
    EXPECT_EQ(reader.CheckSafe(safeFile, kPassword, false, true), W::csCannotOpen);
    ASSERT_FALSE(prompter.Messages.empty());
    EXPECT_NE(prompter.Messages.back().find("in use"), std::string::npos) << prompter.Messages.back();
    EXPECT_ANY_THROW(reader.OpenSafe(safeFile, kPassword, true));
  }
  safe.OpenSafe(safeFile, kPassword, true);
  EXPECT_THROW(TSingleFileSystem(safeFile, -1, 8, 4096, 0, "", "", kPassword, false,
                                 TSingleFileSystem::fmReadWriteExclusive),
               ESFSInUse);
}

TEST_F(SafeOpening, AnOpenRightAfterACheckUsesTheChecksContainerOnlyWhileTheFileIsUnchanged) {
  TFaultyPartStorage storage;
  TqmSFSWrapper w;
  w.SetPartStorage(&storage);
  auto opensOfSafe = [&] { return std::count(storage.opened.begin(), storage.opened.end(), safeFile); };
  // Not asked to keep it: the check leaves nothing open, and the open opens the file again.
  ASSERT_EQ(w.CheckSafe(safeFile, kPassword, false), W::csUsable);
  EXPECT_EQ(opensOfSafe(), 1);
  EXPECT_NO_THROW(TSingleFileSystem(safeFile, -1, 8, 4096, 0, "", "", kPassword, false,
                                    TSingleFileSystem::fmReadWriteExclusive, &storage));
  storage.opened.clear();
  w.KeepCheckedContainer(true);
  // Checked and opened with the same key and mode: the file is opened (and its directory read) once.
  ASSERT_EQ(w.CheckSafe(safeFile, kPassword, false), W::csUsable);
  w.OpenSafe(safeFile, kPassword);
  EXPECT_EQ(opensOfSafe(), 1);
  TqmRepositoryEntry e;
  ASSERT_TRUE(w.LoadEntryAt(path, 0, e));
  EXPECT_EQ(e.FieldAt(0).Value(), "kept");
  w.CloseSafe();

  // Another mode, or a close in between: the check's container is not the one opened.
  ASSERT_EQ(w.CheckSafe(safeFile, kPassword, false, true), W::csUsable);
  w.OpenSafe(safeFile, kPassword);
  EXPECT_EQ(opensOfSafe(), 3);
  EXPECT_FALSE(w.ReadOnly());
  ASSERT_EQ(w.CheckSafe(safeFile, kPassword, false), W::csUsable);
  w.CloseSafe();
  w.OpenSafe(safeFile, kPassword);
  EXPECT_EQ(opensOfSafe(), 5);
  w.CloseSafe();

  // The file changed by another program between check and open: opened anew, the change seen.
  ASSERT_EQ(w.CheckSafe(safeFile, kPassword, false), W::csUsable);
  {
    TqmSFSWrapper other;
    other.OpenSafe(safeFile, kPassword);
    TqmCategory cat;
    ASSERT_TRUE(other.LoadCategory(nullptr, 0, false, cat));
    TqmRepositoryEntry added(&cat);
    added.Fields().Add(TqmField(0, "Title", ftNormalText, true, "added elsewhere"));
    added.SetSortOrder(1);
    other.SaveEntry(path, added);
  }
  w.OpenSafe(safeFile, kPassword);
  EXPECT_EQ(opensOfSafe(), 7);
  EXPECT_EQ(w.CountEntries(path), 2);
}

TEST_F(SafeOpening, CopiesOfAnInterruptedChangeOfPasswordAreRemovedWhenTheSafeIsWhole) {
  const std::string bytes = ReadFileBytes(safeFile);
  for (const char* name : {"Test.qvt.pwchange", "Test.qvt.pwchange_new", "Test.qvt.pwchange0"})
    WriteFileBytes(dir.file(name), bytes);   // copies under the old password (or partly re-keyed)
  safe.OpenSafe(safeFile, kPassword, true);  // a read-only open recovers too
  EXPECT_EQ(FolderFiles(), std::vector<std::string>{"Test.qvt"});
  ASSERT_EQ(prompter.Messages.size(), 3u);
  safe.CloseSafe();
  // A rename of the copy stopped between its link and its unlink: one copy under two names.
  WriteFileBytes(dir.file("Test.qvt.pwchange"), bytes);
  fs::create_hard_link(dir.file("Test.qvt.pwchange"), dir.file("Test.qvt.pwchange0"));
  safe.OpenSafe(safeFile, kPassword, true);
  EXPECT_EQ(FolderFiles(), std::vector<std::string>{"Test.qvt"});
  ASSERT_EQ(prompter.Messages.size(), 5u);
  EXPECT_NE(prompter.Messages[0].find("interrupted change of the password of Test.qvt"), std::string::npos)
      << prompter.Messages[0];
  safe.CloseSafe();

  // Without the Safe's file nothing is removed: the message says which files may hold its data.
  prompter.Messages.clear();
  WriteFileBytes(dir.file("Test.qvt.pwchange"), bytes);
  fs::rename(safeFile, dir.file("elsewhere"));
  EXPECT_EQ(safe.CheckSafe(safeFile, kPassword, false), W::csNotContainer);
  ASSERT_EQ(prompter.Messages.size(), 1u);
  EXPECT_NE(prompter.Messages[0].find("Test.qvt.pwchange may hold its data"), std::string::npos)
      << prompter.Messages[0];
  EXPECT_TRUE(fs::exists(dir.file("Test.qvt.pwchange")));
}

TEST_F(SafeOpening, ASafeLeftWithoutItsFileByAnInterruptedRepairIsPutBackAtOpen) {
  const std::string bytes = ReadFileBytes(safeFile);
  fs::rename(safeFile, safeFile + "0");
  WriteFileBytes(safeFile + "_new", bytes);
  EXPECT_EQ(safe.CheckSafe(safeFile, kPassword, false), W::csUsable);
  EXPECT_EQ(FolderFiles(), std::vector<std::string>{"Test.qvt"});
  safe.OpenSafe(safeFile, kPassword);
  TqmRepositoryEntry e;
  EXPECT_TRUE(safe.LoadEntryAt(path, 0, e));
}

TEST_F(SafeOpening, WorkFilesLeftBehindAreRemovedByTheNextWriterAndUsersFilesNeverAre) {
  safe.OpenSafe(safeFile, kPassword);
  auto plant = [&](const std::string& where) {
    // Written in place, never renamed: what a change made without a journal leaves.
    TSFSFileStream s(safe.Container(), 0, "", "", "", TSingleFileSystem::fmCreate, where);
    s.WriteString("half a file");
  };
  const std::string locker = W::kFileLockerRoot, attached = W::kAttachedFilesFolder;
  plant(locker + "\x01lock1234.tmp");  // this program's work names: no user item has them
  plant(attached +
        "\x01"
        "attach55.tmp");
  plant(locker + "~lock1234.tmp");    // an older version's work name, or a user's file:
  plant(locker + "~lockmine.tmp");    // either way kept
  plant(attached + "~attach77.tmp");  // an older version's, named by no entry: a leftover
  plant(attached + "~attach88.tmp");  // a user's attachment, named by an entry
  TqmCategory cat;
  cat.SetFolderName(path.substr(0, path.size() - 1));
  TqmRepositoryEntry e(&cat);
  e.Fields().Add(TqmField(0, "Title", ftNormalText, true, "scan"));
  e.Fields().Add(TqmField(1, "Scan", ftFile, false, "~attach88.tmp"));
  safe.SaveEntry(path, e);
  safe.CloseSafe();
  prompter.Messages.clear();
  safe.OpenSafe(safeFile, kPassword, true);  // reading leaves them
  EXPECT_EQ(safe.CountFiles(locker), 4);
  EXPECT_EQ(safe.CountFiles(attached), 3);
  EXPECT_TRUE(prompter.Messages.empty());
  safe.CloseSafe();
  safe.OpenSafe(safeFile, kPassword);
  std::vector<std::string> kept = safe.ListNames(locker, false);
  std::sort(kept.begin(), kept.end());
  EXPECT_EQ(kept, (std::vector<std::string>{"doc.txt", "~lock1234.tmp", "~lockmine.tmp"}));
  EXPECT_EQ(safe.ListNames(attached, false), std::vector<std::string>{"~attach88.tmp"});
  ASSERT_EQ(prompter.Messages.size(), 1u);
  const std::string& notice = prompter.Messages[0];
  EXPECT_NE(notice.find("\\x01lock1234.tmp"), std::string::npos) << notice;  // shown on one line
  EXPECT_NE(notice.find("\\x01attach55.tmp"), std::string::npos) << notice;
  EXPECT_NE(notice.find("~attach77.tmp"), std::string::npos) << notice;
  EXPECT_EQ(notice.find("~lock"), std::string::npos) << notice;
  EXPECT_EQ(notice.find("~attach88"), std::string::npos) << notice;

  // A lock or an attachment under such a name is the user's and stays.
  TMemoryStream mine("mine");
  safe.LockStream(locker + "~lock7654321.tmp", mine, kPassword);
  safe.CloseSafe();
  prompter.Messages.clear();
  safe.OpenSafe(safeFile, kPassword);
  EXPECT_TRUE(safe.Container()->FileExists(locker + "~lock7654321.tmp"));
  EXPECT_TRUE(prompter.Messages.empty());
}

TEST_F(SafeOpening, BytesPastTheLastPageAreCutOffByTheNextWriterOnly) {
  // What a change stopped before its journal was first written leaves: pages it added, in no header.
  const std::string whole = ReadFileBytes(safeFile);
  WriteFileBytes(safeFile, whole + std::string(5 * 2048, 'x'));
  safe.OpenSafe(safeFile, kPassword, true);
  safe.CloseSafe();
  EXPECT_EQ(fs::file_size(safeFile), whole.size() + 5 * 2048);  // reading changes nothing
  safe.OpenSafe(safeFile, kPassword);
  EXPECT_EQ(fs::file_size(safeFile), whole.size());
  TqmRepositoryEntry e;
  EXPECT_TRUE(safe.LoadEntryAt(path, 0, e));
  EXPECT_EQ(safe.Container()->CheckIntegrity(), std::vector<std::string>{});
}

TEST_F(SafeOpening, AChangeGroupsOperationsAndAFailureUndoesThemAll) {
  safe.OpenSafe(safeFile, kPassword);
  try {
    W::TChange change(safe);
    ASSERT_TRUE(safe.CreateFolder(W::kFileLockerRoot, "Made"));
    TqmCategory cat;
    cat.SetFolderName(path.substr(0, path.size() - 1));
    TqmRepositoryEntry e(&cat);
    e.Fields().Add(TqmField(0, "Title", ftNormalText, true, "second"));
    safe.SaveEntry(path, e);
    EXPECT_EQ(safe.CountEntries(path), 2);  // the change sees its own writes
    throw std::runtime_error("a later step fails");
  } catch (const std::runtime_error&) {
  }
  EXPECT_EQ(safe.CountEntries(path), 1);
  EXPECT_EQ(safe.CountFolders(W::kFileLockerRoot), 0);
  TqmRepositoryEntry e;
  EXPECT_TRUE(safe.LoadEntryAt(path, 0, e));
  EXPECT_EQ(e.Title(), "kept");
  EXPECT_FALSE(safe.LoadEntryAt(path, 1, e));
  EXPECT_EQ(safe.Container()->CheckIntegrity(), std::vector<std::string>{});
}

}  // namespace
}  // namespace quillmar::test
