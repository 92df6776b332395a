// Deleting an entry with the reminder and the attached file only it names is one change: interrupted
// at every change of the disk it makes (a crash there, or a failure of that one operation), the Safe
// opens again with the entry and both of them, or with none of the three.
#include <gtest/gtest.h>

#include <filesystem>

#include "container/SingleFileSystem.h"
#include "core/qmGlobal.h"
#include "model/qmCategory.h"
#include "model/qmField.h"
#include "model/qmReminderEvent.h"
#include "model/qmRepositoryEntry.h"
#include "support/CrashTesting.h"
#include "support/SafeReading.h"
#include "support/TempDir.h"

namespace quillmar {
namespace {

namespace fs = std::filesystem;
using test::TFaultyPartStorage;

constexpr char kPassword[] = "crash-core";

class CoreCrashSafety : public ::testing::Test {
protected:
  void SetUp() override {
    home_ = dir_.file("home");
    TqmGlobal g(home_, {"quillmar"});
    file_ = g.SafeFile("Crash");
    {
      TqmSFSWrapper maker;
      maker.CreateEmptySafe(file_, kPassword);
    }
    g.OpenSafeByName("Crash", kPassword);
    TqmCategory cat;
    cat.SetName("Scans");
    g.SaveCategory(cat);
    path_ = cat.FolderPath();
    TqmReminderEvent reminder;
    g.SaveReminder(reminder);
    test::WriteFileBytes(dir_.file("scan.pdf"), std::string(5000, 's'));
    const std::string attached = g.AttachFile(dir_.file("scan.pdf"));
    for (const char* title : {"Passport", "Other"}) {
      TqmRepositoryEntry e(&cat);
      e.SetFileName(std::string(title) + ".entry");
      e.Fields().Add(TqmField(0, "Title", ftNormalText, true, title));
      if (std::string(title) == "Passport") {
        e.Fields().Add(TqmField(1, "Scan", ftFile, false, attached));
        e.Fields().Add(TqmField(2, "Renew", ftReminder, false, reminder.id()));
      }
      g.SaveEntry(path_, e);
    }
    g.CloseSafe();
    base_ = test::ReadFileBytes(file_);
    before_ = Snapshot(nullptr);
  }

  std::string Snapshot(std::vector<std::string>* problems) {
    TqmSFSWrapper safe;
    safe.OpenSafe(file_, kPassword, true);
    if (problems) {
      *problems = safe.Container()->CheckIntegrity();
      for (const auto& p : test::ReadEveryFile(safe)) problems->push_back(p);
    }
    return test::ContainerSnapshot(*safe.Container(), TqmSFSWrapper::kRecordPassword);
  }

  void Restore() {
    fs::remove(TSingleFileSystem::JournalFileName(file_));
    test::WriteFileBytes(file_, base_);
  }

  bool DeletePassport(TSFSPartStorage* storage) {
    TqmGlobal g(home_, {"quillmar"});
    g.Wrapper().SetPartStorage(storage);
    g.OpenSafeByName("Crash", kPassword);
    TqmCategory cat;
    cat.SetFolderName(path_.substr(0, path_.size() - 1));
    TqmRepositoryEntry passport(&cat);
    for (int i = 0; g.LoadEntryAt(path_, i, passport); ++i)
      if (passport.FileName() == "Passport.entry") break;
    const bool deleted = g.DeleteEntryWithData(path_, passport);
    g.CloseSafe();
    return deleted;
  }

  test::TempDir dir_;
  std::string home_;
  std::string file_;
  std::string path_;
  std::string base_;
  std::string before_;
};

TEST_F(CoreCrashSafety, DeletingAnEntryWithItsReminderAndAttachedFile) {
  Restore();
  ASSERT_TRUE(DeletePassport(nullptr));
  const std::string after = Snapshot(nullptr);
  // The entry, its reminder and its attached file went; the other entry stayed.
  EXPECT_EQ(after.find("Passport.entry"), std::string::npos);
  EXPECT_EQ(after.find("scan.pdf"), std::string::npos);
  EXPECT_EQ(after.find(".reminder"), std::string::npos);
  EXPECT_NE(after.find("Other.entry"), std::string::npos);

  TFaultyPartStorage storage;
  const int64_t count = test::ForEveryFault(
      storage, [&] { Restore(); }, [&] { return DeletePassport(&storage); },
      [&](const test::TFaultRun& run) {
        SCOPED_TRACE(run.Label());
        std::vector<std::string> problems;
        const std::string now = Snapshot(&problems);
        EXPECT_EQ(problems, std::vector<std::string>{});
        if (run.succeeded)
          EXPECT_EQ(now, after);
        else if (run.fault == TFaultyPartStorage::TFault::Fail)
          EXPECT_EQ(now, before_);
        else
          EXPECT_TRUE(now == before_ || now == after) << now;
      });
  EXPECT_GT(count, 3);
}

}  // namespace
}  // namespace quillmar
