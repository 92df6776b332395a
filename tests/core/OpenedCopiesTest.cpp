// The opened-copies tracker on its own: the Safe is stood in for by a function that "locks back" a
// copy, so that every answer of the user and every failure can be played through.
#include <gtest/gtest.h>

#include <filesystem>
#include <utility>

#include "base/Exception.h"
#include "core/qmOpenedCopies.h"
#include "support/ScriptedPrompter.h"
#include "support/TempDir.h"

namespace quillmar {
namespace {

namespace fs = std::filesystem;
using test::ReadFileBytes;
using test::TempDir;
using test::WriteFileBytes;
using TRetry = TqmAppPrompter::TRetryAnswer;

class OpenedCopiesTest : public ::testing::Test {
protected:
  OpenedCopiesTest() : home_(dir_.path().lexically_normal().string() + "/"), copies_(home_) {
    alpha_ = home_ + "Alpha.qvt";
    beta_ = home_ + "Beta.qvt";
    fs::create_directories(copies_.TempRoot());
    fs::create_directories(copies_.AttachmentsTemp());
  }

  // Writes a copy of the Safe's locked file folder + name below TEMP and records it.
  std::string Copy(const std::string& safe, const std::string& folder, const std::string& name,
                   const std::string& content) {
    const std::string disk = copies_.FolderOf(safe) + TqmOpenedCopies::RelativeCopyPath(folder, name);
    fs::create_directories(fs::path(disk).parent_path());
    WriteFileBytes(disk, content);
    copies_.Record(disk, safe, folder + name);
    return disk;
  }

  // Locks back by taking the copy's content; fails while `refuse` is set.
  TqmOpenedCopies::TLockBack LockBack() {
    return [this](const std::string& containerPath, const std::string& disk) {
      if (refuse_ > 0) {
        --refuse_;
        return false;
      }
      lockedBack_.emplace_back(containerPath, ReadFileBytes(disk));
      return true;
    };
  }

  bool WriteBack(const std::string& openSafe) {
    return copies_.WriteBack(copies_.TempRoot(), openSafe, LockBack(), &answers_);
  }

  TempDir dir_;
  std::string home_, alpha_, beta_;
  TqmOpenedCopies copies_;
  test::TScriptedPrompter answers_;
  int refuse_ = 0;
  std::vector<std::pair<std::string, std::string>> lockedBack_;
};

TEST_F(OpenedCopiesTest, FoldersAndCopyPaths) {
  EXPECT_EQ(copies_.TempRoot(), home_ + "TEMP/");
  EXPECT_EQ(copies_.AttachmentsTemp(), home_ + "TEMP_AT/");
  EXPECT_EQ(copies_.FolderOf(alpha_), home_ + "TEMP/Alpha.qvt/");
  EXPECT_EQ(TqmOpenedCopies::RelativeCopyPath("\\File Locker\\Docs", "a.txt"), "File Locker/Docs/a.txt");
  EXPECT_EQ(TqmOpenedCopies::RelativeCopyPath("\\File Locker\\Docs\\", "a.txt"), "File Locker/Docs/a.txt");
  // Names that would leave the folder, or are no file names here, are refused.
  EXPECT_THROW(TqmOpenedCopies::RelativeCopyPath("\\File Locker\\..\\", "a.txt"), EQuillmarError);
  EXPECT_THROW(TqmOpenedCopies::RelativeCopyPath("\\File Locker\\", "."), EQuillmarError);
  EXPECT_THROW(TqmOpenedCopies::RelativeCopyPath("\\File Locker\\", "a/b"), EQuillmarError);
  EXPECT_THROW(TqmOpenedCopies::RelativeCopyPath("\\File Locker\\\\", "a"), EQuillmarError);
  EXPECT_THROW(TqmOpenedCopies::RelativeCopyPath("\\File Locker\\", std::string("a\0b", 3)), EQuillmarError);
  EXPECT_TRUE(copies_.IsBelowTemp(home_ + "TEMP/x"));
  EXPECT_FALSE(copies_.IsBelowTemp(home_ + "TEMP/"));
  EXPECT_FALSE(copies_.IsBelowTemp(home_ + "TEMPORARY/x"));
}

TEST_F(OpenedCopiesTest, CopiesOfTheOpenSafeAreWrittenBackAndDeletedWithTheirEmptyFolders) {
  const std::string a = Copy(alpha_, "\\File Locker\\Docs\\", "a.txt", "edited a");
  const std::string b = Copy(alpha_, "\\File Locker\\", "b.txt", "edited b");
  EXPECT_EQ(copies_.Pending(alpha_), (std::vector<std::string>{a, b}));
  EXPECT_TRUE(copies_.Pending("").empty());

  EXPECT_TRUE(WriteBack(alpha_));
  // Files before sub-folders.
  EXPECT_EQ(lockedBack_,
            (std::vector<std::pair<std::string, std::string>>{{"\\File Locker\\b.txt", "edited b"},
                                                              {"\\File Locker\\Docs\\a.txt", "edited a"}}));
  EXPECT_FALSE(fs::exists(a));
  EXPECT_FALSE(fs::exists(b));
  EXPECT_FALSE(fs::exists(copies_.FolderOf(alpha_)));
  EXPECT_TRUE(copies_.Pending(alpha_).empty());
  EXPECT_TRUE(answers_.Questions.empty());
  // A second close has nothing to do.
  lockedBack_.clear();
  EXPECT_TRUE(WriteBack(alpha_));
  EXPECT_TRUE(lockedBack_.empty());
}

TEST_F(OpenedCopiesTest, OtherSafesCopiesAndLeftoversAreNeverWrittenBackNorDeleted) {
  const std::string a = Copy(alpha_, "\\File Locker\\", "a.txt", "alpha's");
  const std::string b = Copy(beta_, "\\File Locker\\", "b.txt", "beta's");
  fs::create_directories(copies_.TempRoot() + "Old.qvt");
  const std::string left = copies_.TempRoot() + "Old.qvt/left.txt";
  WriteFileBytes(left, "an earlier run's");
  WriteFileBytes(copies_.AttachmentsTemp() + "photo.png", "viewed");

  EXPECT_TRUE(WriteBack(beta_));
  EXPECT_EQ(lockedBack_,
            (std::vector<std::pair<std::string, std::string>>{{"\\File Locker\\b.txt", "beta's"}}));
  EXPECT_EQ(ReadFileBytes(a), "alpha's");
  EXPECT_EQ(ReadFileBytes(left), "an earlier run's");
  EXPECT_EQ(copies_.Unaccounted(beta_), (std::vector<std::string>{a, left}));
  // With no Safe open every file is unaccounted for.
  EXPECT_EQ(copies_.Unaccounted(""), (std::vector<std::string>{a, left}));
  EXPECT_EQ(copies_.PendingOnDisk(alpha_), std::vector<std::string>{a});
  EXPECT_TRUE(copies_.PendingOnDisk(beta_).empty());

  copies_.EmptyTempFolders();
  EXPECT_EQ(ReadFileBytes(a), "alpha's");
  EXPECT_EQ(ReadFileBytes(left), "an earlier run's");
  EXPECT_TRUE(fs::is_directory(copies_.AttachmentsTemp()));
  EXPECT_TRUE(fs::is_empty(copies_.AttachmentsTemp()));
  EXPECT_TRUE(fs::is_directory(copies_.TempRoot()));

  // A copy that vanished from the disk no longer waits.
  fs::remove(a);
  EXPECT_TRUE(copies_.PendingOnDisk(alpha_).empty());
}

TEST_F(OpenedCopiesTest, AFailedWriteBackAsksRetryThenCancelKeepsTheCopy) {
  const std::string a = Copy(alpha_, "\\File Locker\\", "a.txt", "v2");
  refuse_ = 2;
  answers_.ExpectRetry(TRetry::Retry);
  answers_.ExpectRetry(TRetry::Cancel);
  EXPECT_FALSE(WriteBack(alpha_));
  EXPECT_EQ(answers_.Questions, (std::vector<std::string>{TqmOpenedCopies::kMsgFileOpenedByAnother,
                                                          TqmOpenedCopies::kMsgFileOpenedByAnother}));
  EXPECT_EQ(answers_.Messages, std::vector<std::string>{"Close file " + a + " and click OK"});
  EXPECT_EQ(ReadFileBytes(a), "v2");
  EXPECT_EQ(copies_.Pending(alpha_), std::vector<std::string>{a});
  // The clean-up keeps what waits; the next try writes it back.
  copies_.EmptyTempFolders();
  EXPECT_TRUE(fs::exists(a));
  EXPECT_TRUE(WriteBack(alpha_));
  EXPECT_EQ(lockedBack_.size(), 1u);
  EXPECT_FALSE(fs::exists(a));
}

TEST_F(OpenedCopiesTest, IgnoreGivesTheCopyUpAndNoPrompterCountsAsCancel) {
  const std::string a = Copy(alpha_, "\\File Locker\\", "a.txt", "v2");
  refuse_ = 1;
  EXPECT_FALSE(copies_.WriteBack(copies_.TempRoot(), alpha_, LockBack(), nullptr));
  EXPECT_TRUE(fs::exists(a));

  refuse_ = 1;
  answers_.ExpectRetry(TRetry::Ignore);
  EXPECT_TRUE(WriteBack(alpha_));
  EXPECT_FALSE(fs::exists(a));
  EXPECT_TRUE(lockedBack_.empty());
  EXPECT_TRUE(copies_.Pending(alpha_).empty());
  EXPECT_TRUE(copies_.Unaccounted(alpha_).empty());
}

TEST_F(OpenedCopiesTest, ACopyRecordedAgainTakesItsNewOrigin) {
  const std::string a = Copy(alpha_, "\\File Locker\\", "a.txt", "first");
  copies_.Record(a, beta_, "\\File Locker\\moved.txt");
  EXPECT_TRUE(copies_.Pending(alpha_).empty());
  EXPECT_TRUE(WriteBack(alpha_));
  EXPECT_TRUE(fs::exists(a));
  EXPECT_TRUE(WriteBack(beta_));
  EXPECT_EQ(lockedBack_,
            (std::vector<std::pair<std::string, std::string>>{{"\\File Locker\\moved.txt", "first"}}));
}

}  // namespace
}  // namespace quillmar
