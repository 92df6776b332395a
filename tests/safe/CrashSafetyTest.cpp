// The Safe's operations are all-or-nothing across crashes. Each is interrupted at every change of the
// disk it makes (a crash that stops all I/O there, and a failure of that one write, sync, resize,
// rename, remove or create); then the Safe is opened again as a user would (leftovers recovered,
// journal rolled back). It must open with one of its passwords and hold exactly the state before or
// the state after, be sound, read in full (locked files included, with that password), and have no
// leftover files beside it. The same holds when the power goes at any of those points and of what was
// not yet synced any part is lost (TPowerCutStorage).
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <iostream>
#include <map>
#include <random>

#include "base/FileStream.h"
#include "base/MemoryStream.h"
#include "container/SingleFileSystem.h"
#include "model/qmCategory.h"
#include "model/qmField.h"
#include "model/qmRepositoryEntry.h"
#include "safe/qmSFSWrapper.h"
#include "support/CrashTesting.h"
#include "support/PowerCutStorage.h"
#include "support/SafeReading.h"
#include "support/TempDir.h"

namespace quillmar {
namespace {

namespace fs = std::filesystem;
using test::TFaultyPartStorage;

constexpr char kPassword[] = "old master pw";
constexpr char kNewPassword[] = "new master pw";

std::string Random(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  std::string s(n, '\0');
  for (auto& c : s) c = char(rng());
  return s;
}

// What a user finds after opening the Safe again.
struct TFound {
  std::string password;  // the one it opened with ("" when neither)
  std::string snapshot;
  std::vector<std::string> problems;
};

class SafeCrashSafety : public ::testing::Test {
protected:
  void SetUp() override {
    file_ = dir_.file("Crash.qvt");
    fs::create_directories(dir_.path() / "disk");
    WriteDisk("attach.txt", "an attached file's text");
    WriteDisk("big.bin", Random(40000, 7));  // a locked file of twenty pages
    plain_["old.bin"] = plain_["renamed.bin"] = Random(5000, 8);
    {
      TqmSFSWrapper safe;
      safe.CreateEmptySafe(file_, kPassword);
      TqmCategory cat;
      cat.SetName("Logins");
      safe.SaveCategory(cat);
      categoryPath_ = cat.FolderPath();
      TqmRepositoryEntry e(&cat);
      e.Fields().Add(TqmField(0, "Title", ftNormalText, true, "First"));
      safe.SaveEntry(categoryPath_, e);
      ASSERT_TRUE(safe.CreateFolder(TqmSFSWrapper::kFileLockerRoot, "Docs"));
      TMemoryStream old(plain_["old.bin"]);
      safe.LockStream(std::string(TqmSFSWrapper::kFileLockerRoot) + "Docs\\old.bin", old, kPassword);
    }
    base_ = test::ReadFileBytes(file_);
    plain_["big.bin"] = test::ReadFileBytes(Disk("big.bin"));
    before_ = Reopen();
    ASSERT_EQ(before_.password, kPassword);
    ASSERT_EQ(before_.problems, std::vector<std::string>{});
  }

  std::string Disk(const std::string& name) const { return (dir_.path() / "disk" / name).string(); }
  void WriteDisk(const std::string& name, const std::string& bytes) {
    test::WriteFileBytes(Disk(name), bytes);
  }

  // The Safe's folder holds the Safe file alone again (and its original bytes).
  void Restore() {
    for (const auto& item : fs::directory_iterator(dir_.path()))
      if (item.path().filename() != "disk") fs::remove_all(item.path());
    test::WriteFileBytes(file_, base_);
  }

  // Opens the Safe as a user would: leftovers recovered, journal rolled back; with whichever password
  // it takes. Read-only, so that looking changes nothing.
  TFound Reopen() {
    TFound found;
    for (const std::string& notice : TqmSFSWrapper::RecoverLeftovers(file_)) (void)notice;
    for (const char* pw : {kPassword, kNewPassword}) {
      if (!TSingleFileSystem::IsContainerFile(file_) || !TSingleFileSystem::CheckContainerPassword(file_, pw))
        continue;
      found.password = pw;
      TqmSFSWrapper safe;
      safe.OpenSafe(file_, pw, true);
      TSingleFileSystem& sfs = *safe.Container();
      found.problems = sfs.CheckIntegrity();
      for (const auto& p : test::ReadEveryFile(safe)) found.problems.push_back(p);
      found.snapshot = test::ContainerSnapshot(sfs, TqmSFSWrapper::kRecordPassword);
      // Every locked file decrypts with the password the Safe opens with, to what was locked.
      std::function<void(const std::string&)> walk = [&](const std::string& folder) {
        for (int i = 0, n = safe.CountFiles(folder); i < n; ++i) {
          const std::string name = safe.FileInfoAt(folder, i).Name;
          TMemoryStream out;
          try {
            safe.UnlockToStream(folder + name, out, pw);
            if (plain_.count(name) == 0 || std::string(out.View()) != plain_[name])
              found.problems.push_back(folder + name + " does not decrypt to what was locked");
          } catch (const std::exception& e) {
            found.problems.push_back(folder + name + ": " + e.what());
          }
        }
        for (int i = 0, n = safe.CountFolders(folder); i < n; ++i)
          walk(folder + safe.FolderInfoAt(folder, i).Name + "\\");
      };
      walk(TqmSFSWrapper::kFileLockerRoot);
      break;
    }
    // Nothing else beside the Safe: no work copies, no old copies, no journal that holds anything.
    for (const auto& item : fs::directory_iterator(dir_.path())) {
      const std::string name = item.path().filename().string();
      if (name == "disk" || name == "Crash.qvt") continue;
      if (name == "Crash.qvt-journal") {
        const std::string journal = TSingleFileSystem::DescribeJournal(file_);
        if (journal.find("undoes nothing") != std::string::npos || journal.find("empty") != std::string::npos)
          continue;
      }
      found.problems.push_back("left beside the Safe: " + name);
    }
    return found;
  }

  // `operation` runs on the Safe opened through the faulty storage and returns whether it reported
  // success. Every fault point is tried.
  void ExpectAllOrNothing(const std::function<bool(TqmSFSWrapper&)>& operation,
                          const std::string& passwordAfter = kPassword) {
    Restore();
    {
      TqmSFSWrapper safe;
      safe.OpenSafe(file_, kPassword);
      ASSERT_TRUE(operation(safe));
    }
    const TFound after = Reopen();
    ASSERT_EQ(after.password, passwordAfter);
    ASSERT_EQ(after.problems, std::vector<std::string>{});
    const int64_t count = test::ForEveryFault(
        storage_, [&] { Restore(); },
        [&] {
          TqmSFSWrapper safe;
          safe.SetPartStorage(&storage_);
          safe.OpenSafe(file_, kPassword);
          // Reading first, as a user does: the access times it sets are written with the next change
          // or when the Safe is closed.
          TqmCategory cat;
          cat.SetFolderName(categoryPath_.substr(0, categoryPath_.size() - 1));
          TqmRepositoryEntry first(&cat);
          safe.LoadEntryAt(categoryPath_, 0, first);
          return operation(safe);
        },
        [&](const test::TFaultRun& run) {
          SCOPED_TRACE(run.Label());
          const TFound now = Reopen();
          EXPECT_EQ(now.problems, std::vector<std::string>{});
          const bool isBefore = now.password == before_.password && now.snapshot == before_.snapshot;
          const bool isAfter = now.password == after.password && now.snapshot == after.snapshot;
          if (run.succeeded)
            EXPECT_TRUE(isAfter) << now.snapshot;  // success is reported only once it is on the disk
          else if (run.fault == TFaultyPartStorage::TFault::Fail)
            EXPECT_TRUE(isBefore) << now.snapshot;  // a reported failure leaves nothing
          else
            EXPECT_TRUE(isBefore || isAfter) << now.snapshot;  // a crash: all of it or nothing
        });
    EXPECT_GT(count, 3);
  }

  // The power goes at every change of the disk the operation makes; of what was not yet synced any
  // blocks (torn sectors included), sizes and folder changes may be lost. Every state it may leave must
  // open as it was before or after. States per point: `states`, or QM_POWER_CUT_STATES for a longer
  // trial (48 tries about 8,000 states over the operations below). Prints the figures.
  void ExpectWholeAfterPowerCuts(const std::string& what,
                                 const std::function<bool(TqmSFSWrapper&)>& operation, size_t states = 4,
                                 const std::string& passwordAfter = kPassword) {
    const char* env = std::getenv("QM_POWER_CUT_STATES");
    const size_t perPoint = env ? size_t(std::max(1, std::atoi(env))) : states;
    test::TPowerCutStorage power;
    auto run = [&] {
      try {
        TqmSFSWrapper safe;
        safe.SetPartStorage(&power);
        safe.OpenSafe(file_, kPassword);
        operation(safe);
      } catch (const std::exception&) {
      }
    };
    Restore();
    power.Arm(0);
    run();
    const int64_t count = power.Operations();
    const TFound after = Reopen();
    ASSERT_EQ(after.password, passwordAfter);
    int64_t tried = 0, unopened = 0, neither = 0;
    for (int64_t n = 1; n <= count; ++n) {
      Restore();
      power.Arm(n);
      run();
      ASSERT_TRUE(power.Crashed());
      for (const auto& state : power.States(perPoint, uint32_t(n))) {
        SCOPED_TRACE("power cut at change " + std::to_string(n) + ": " + state.label);
        test::TPowerCutStorage::Write(state);
        ++tried;
        TFound now;
        try {
          now = Reopen();
        } catch (const std::exception& e) {
          ++unopened;
          ADD_FAILURE() << "does not open: " << e.what();
          continue;
        }
        EXPECT_EQ(now.problems, std::vector<std::string>{});
        const bool isBefore = now.password == before_.password && now.snapshot == before_.snapshot;
        const bool isAfter = now.password == after.password && now.snapshot == after.snapshot;
        if (!isBefore && !isAfter) {
          ++neither;
          ADD_FAILURE() << "neither before nor after: " << now.snapshot;
        }
      }
    }
    std::cout << "[ power cut ] " << what << ": " << count << " changes of the disk, " << tried
              << " states tried, " << unopened << " do not open, " << neither
              << " neither before nor after\n";
    EXPECT_GT(count, 3);
  }

  test::TempDir dir_;
  std::string file_;
  std::string base_;
  std::string categoryPath_;
  std::map<std::string, std::string> plain_;
  TFound before_;
  TFaultyPartStorage storage_;
};

TEST_F(SafeCrashSafety, LockingAMultiPageFile) {
  ExpectAllOrNothing([&](TqmSFSWrapper& safe) {
    return safe.LockFile(std::string(TqmSFSWrapper::kFileLockerRoot) + "Docs\\", Disk("big.bin"), true,
                         kPassword);
  });
}

TEST_F(SafeCrashSafety, SavingAnEntryWithItsAttachment) {
  ExpectAllOrNothing([&](TqmSFSWrapper& safe) {
    TqmSFSWrapper::TChange change(safe);
    TqmCategory cat;
    cat.SetFolderName(categoryPath_.substr(0, categoryPath_.size() - 1));
    TqmRepositoryEntry e(&cat);
    e.SetFileName("2.entry");  // the same name in every run, so that the states compare
    e.Fields().Add(TqmField(0, "Title", ftNormalText, true, "Second"));
    e.Fields().Add(TqmField(1, "Scan", ftFile, false, safe.AttachFile(Disk("attach.txt"))));
    safe.SaveEntry(categoryPath_, e);
    change.Commit();
    return true;
  });
}

TEST_F(SafeCrashSafety, MakingAFolder) {
  ExpectAllOrNothing([&](TqmSFSWrapper& safe) {
    return safe.CreateFolder(std::string(TqmSFSWrapper::kFileLockerRoot) + "Docs\\", "Letters");
  });
}

TEST_F(SafeCrashSafety, RenamingALockedFile) {
  ExpectAllOrNothing([&](TqmSFSWrapper& safe) {
    return safe.Rename(std::string(TqmSFSWrapper::kFileLockerRoot) + "Docs\\", "old.bin", "renamed.bin");
  });
}

TEST_F(SafeCrashSafety, ChangingThePassword) {
  ExpectAllOrNothing([&](TqmSFSWrapper& safe) { return safe.ChangePassword(kPassword, kNewPassword); },
                     kNewPassword);
}

TEST_F(SafeCrashSafety, Repairing) {
  ExpectAllOrNothing([&](TqmSFSWrapper& safe) {
    std::string log;
    return safe.Repair(&log);
  });
}

// --- Power cuts -----------------------------------------------------------------------------------

TEST_F(SafeCrashSafety, PowerCutWhileLocking) {
  ExpectWholeAfterPowerCuts("lock", [&](TqmSFSWrapper& safe) {
    return safe.LockFile(std::string(TqmSFSWrapper::kFileLockerRoot) + "Docs\\", Disk("big.bin"), true,
                         kPassword);
  });
}

TEST_F(SafeCrashSafety, PowerCutWhileAddingAnEntryAndACategory) {
  ExpectWholeAfterPowerCuts("add", [&](TqmSFSWrapper& safe) {
    TqmCategory cat;
    cat.SetFolderName(categoryPath_.substr(0, categoryPath_.size() - 1));
    TqmRepositoryEntry e(&cat);
    e.SetFileName("2.entry");
    e.Fields().Add(TqmField(0, "Title", ftNormalText, true, "Second"));
    safe.SaveEntry(categoryPath_, e);
    return true;
  });
  ExpectWholeAfterPowerCuts("mkcat", [&](TqmSFSWrapper& safe) {
    TqmCategory cat;
    cat.SetName("Cards");
    cat.SetFolderName("category77");
    safe.SaveCategory(cat);
    return true;
  });
}

TEST_F(SafeCrashSafety, PowerCutWhileRemovingAndRenaming) {
  ExpectWholeAfterPowerCuts("rm", [&](TqmSFSWrapper& safe) {
    TqmCategory cat;
    cat.SetFolderName(categoryPath_.substr(0, categoryPath_.size() - 1));
    TqmRepositoryEntry first(&cat);
    return safe.LoadEntryAt(categoryPath_, 0, first) && safe.DeleteEntry(categoryPath_, first.FileName());
  });
  ExpectWholeAfterPowerCuts("rename", [&](TqmSFSWrapper& safe) {
    return safe.Rename(std::string(TqmSFSWrapper::kFileLockerRoot) + "Docs\\", "old.bin", "renamed.bin");
  });
}

// These write no journal but swap whole files: what matters is the order of the folder's changes.
TEST_F(SafeCrashSafety, PowerCutWhileRepairingAndChangingThePassword) {
  ExpectWholeAfterPowerCuts(
      "repair",
      [&](TqmSFSWrapper& safe) {
        std::string log;
        return safe.Repair(&log);
      },
      2);
  ExpectWholeAfterPowerCuts(
      "passwd", [&](TqmSFSWrapper& safe) { return safe.ChangePassword(kPassword, kNewPassword); }, 2,
      kNewPassword);
}

}  // namespace
}  // namespace quillmar
