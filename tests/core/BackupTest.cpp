// Backup and restore on their own: the refusals before anything is written, and the restore's rules
// for a Safe that another program holds and for the journal of an interrupted change.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <filesystem>

#include "base/Exception.h"
#include "container/SFSFileStream.h"
#include "container/SingleFileSystem.h"
#include "core/qmBackup.h"
#include "support/ExpectThrow.h"
#include "support/TempDir.h"

namespace quillmar {
namespace {

namespace fs = std::filesystem;
using test::ExpectThrow;
using test::ReadFileBytes;
using test::TempDir;
using test::WriteFileBytes;

std::string MakeSafe(const TempDir& dir, const std::string& name, const std::string& password) {
  const std::string file = dir.file(name);
  TqmSFSWrapper maker;
  maker.CreateEmptySafe(file, password);
  maker.CloseSafe();
  return file;
}

TEST(Backup, RefusalsComeBeforeAnythingIsWritten) {
  TempDir dir;
  const std::string safe = MakeSafe(dir, "Alpha.qvt", "alpha-pass");
  TqmSFSWrapper wrapper;
  TqmBackup backup(wrapper);
  EXPECT_NE(ExpectThrow<EQuillmarError>([&] {
              backup.MayBackUp(safe, dir.file("a.qvtb"), nullptr);
            }).find("No Safe is open"),
            std::string::npos);
  wrapper.OpenSafe(safe, TqmSFSWrapper::TextKeyFor(safe, "alpha-pass"));
  EXPECT_NE(ExpectThrow<EQuillmarError>([&] {
              backup.MayBackUp("", dir.file("a.qvtb"), nullptr);
            }).find("No Safe is open"),
            std::string::npos);
  EXPECT_THROW(backup.MayBackUp(safe, "", nullptr), EQuillmarError);
  EXPECT_NE(ExpectThrow<EQuillmarError>([&] {
              backup.MayBackUp(safe, safe, nullptr);
            }).find("over the Safe itself"),
            std::string::npos);
  // The Safe named another way is still the Safe.
  EXPECT_THROW(backup.MayBackUp(safe, dir.path().string() + "/./Alpha.qvt", nullptr), EQuillmarError);
  fs::create_directory(dir.file("folder.qvtb"));
  EXPECT_NE(ExpectThrow<EQuillmarError>([&] {
              backup.MayBackUp(safe, dir.file("folder.qvtb"), nullptr);
            }).find("is a folder"),
            std::string::npos);
  // An existing file with nobody to ask is not overwritten.
  WriteFileBytes(dir.file("old.qvtb"), "older");
  EXPECT_FALSE(backup.MayBackUp(safe, dir.file("old.qvtb"), nullptr));
  EXPECT_EQ(ReadFileBytes(dir.file("old.qvtb")), "older");
  EXPECT_TRUE(backup.MayBackUp(safe, dir.file("new.qvtb"), nullptr));
  EXPECT_FALSE(fs::exists(dir.file("new.qvtb")));
}

TEST(Backup, ABackupUnderAnotherPasswordIsAcceptedAndReplacesTheSafeAndItsJournal) {
  TempDir dir;
  const std::string safe = MakeSafe(dir, "Alpha.qvt", "alpha-pass");
  const std::string backupFile = MakeSafe(dir, "old.qvtb", "the password of then");
  TqmBackup::CheckBackupFile(backupFile);  // the password is not needed to tell a Safe file

  // A journal of an interrupted change belongs to the file that is replaced.
  const std::string journal = TSingleFileSystem::JournalFileName(safe);
  WriteFileBytes(journal, "journal of the old file");
  TqmBackup::ReplaceSafe(backupFile, safe);
  EXPECT_TRUE(ReadFileBytes(safe) == ReadFileBytes(backupFile));
  EXPECT_FALSE(fs::exists(journal));
  TqmSFSWrapper probe;
  EXPECT_EQ(probe.CheckSafe(safe, "the password of then", false), TqmSFSWrapper::csUsable);
  // Nothing is left beside the Safe.
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 2);

  // The same file twice changes nothing.
  TqmBackup::ReplaceSafe(safe, safe);
  EXPECT_TRUE(ReadFileBytes(safe) == ReadFileBytes(backupFile));
}

TEST(Backup, ASafeAnotherProgramHoldsIsNotRestoredAndKeepsItsJournal) {
  TempDir dir;
  const std::string safe = MakeSafe(dir, "Alpha.qvt", "alpha-pass");
  const std::string backupFile = MakeSafe(dir, "old.qvtb", "other-pass");
  const std::string journal = TSingleFileSystem::JournalFileName(safe);
  WriteFileBytes(journal, "journal of the old file");
  const std::string before = ReadFileBytes(safe);
  const int fd = ::open(safe.c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::flock(fd, LOCK_SH), 0);  // another program reads it
  const std::string message = ExpectThrow<EQuillmarError>([&] { TqmBackup::ReplaceSafe(backupFile, safe); });
  ::close(fd);
  EXPECT_NE(message.find("open in another program"), std::string::npos) << message;
  EXPECT_NE(message.find("not changed"), std::string::npos) << message;
  EXPECT_TRUE(ReadFileBytes(safe) == before);
  EXPECT_EQ(ReadFileBytes(journal), "journal of the old file");
}

TEST(Backup, ARestoreFromAMissingOrForeignFileIsRefused) {
  TempDir dir;
  EXPECT_NE(ExpectThrow<EQuillmarError>([&] {
              TqmBackup::CheckBackupFile(dir.file("missing.qvtb"));
            }).find("does not exist"),
            std::string::npos);
  EXPECT_THROW(TqmBackup::CheckBackupFile(""), EQuillmarError);
  fs::create_directory(dir.file("folder.qvtb"));
  EXPECT_THROW(TqmBackup::CheckBackupFile(dir.file("folder.qvtb")), EQuillmarError);
  WriteFileBytes(dir.file("empty.qvtb"), "");
  EXPECT_NE(ExpectThrow<EQuillmarError>([&] {
              TqmBackup::CheckBackupFile(dir.file("empty.qvtb"));
            }).find("not a Brelkan Safe"),
            std::string::npos);
  // A backup kept in several part files cannot be copied whole; a stray file whose name ends in "1"
  // beside a backup in one file is no part of it.
  const std::string split = dir.file("split.qvtb");
  {
    TSingleFileSystem sfs(split, 65536, 8, 2048, 0, "", "", "pass-word", false, TSingleFileSystem::fmCreate);
    TSFSFileStream f(&sfs, 0, "", "", "", TSingleFileSystem::fmCreate, "\\big");
    const std::string data(200000, 'b');
    f.WriteBuffer(data.data(), int64_t(data.size()));
  }
  ASSERT_TRUE(fs::exists(split + "1"));
  EXPECT_NE(
      ExpectThrow<EQuillmarError>([&] { TqmBackup::CheckBackupFile(split); }).find("several part files"),
      std::string::npos);
  const std::string single = MakeSafe(dir, "single.qvtb", "pass-word");
  WriteFileBytes(single + "1", "notes of the owner, not a part file");
  EXPECT_NO_THROW(TqmBackup::CheckBackupFile(single));
}

}  // namespace
}  // namespace quillmar
