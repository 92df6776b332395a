#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <deque>
#include <filesystem>
#include <functional>

#include "base/Exception.h"
#include "container/SFSFileStream.h"
#include "container/SingleFileSystem.h"
#include "core/ReminderScheduler.h"
#include "core/qmGlobal.h"
#include "core/qmReminderActions.h"
#include "core/qmReminderSchedule.h"
#include "model/qmCategory.h"
#include "model/qmField.h"
#include "model/qmReminderEvent.h"
#include "model/qmRepositoryEntry.h"
#include "support/HeldFile.h"
#include "support/ScriptedPrompter.h"
#include "support/TempDir.h"

namespace quillmar {
namespace {

namespace fs = std::filesystem;
using test::ReadFileBytes;
using test::TempDir;
using test::TScriptedPrompter;
using test::WriteFileBytes;
using TRetry = TqmAppPrompter::TRetryAnswer;

mode_t ModeOf(const std::string& path) {
  struct stat st;
  EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
  return st.st_mode & 07777;
}

using test::THeldFile;

// --- Without a Safe --------------------------------------------------------------------------------------

TEST(GlobalStartOptions, MinimizedOnlyForLowerCaseSm) {
  TempDir dir;
  TqmGlobal upper(dir.path().string(), {"quillmar", "/SM"});
  EXPECT_FALSE(upper.StartMinimized());
  TqmGlobal lower(dir.path().string(), {"quillmar", "--home", "x", "/sm"});
  EXPECT_TRUE(lower.StartMinimized());
  TqmGlobal prefixed(dir.path().string(), {"quillmar", " /sm"});
  EXPECT_FALSE(prefixed.StartMinimized());
}

TEST(GlobalStartOptions, FirstReceivedFilesArgumentCountsOnceThenThePendingOne) {
  TempDir dir;
  TqmGlobal g(dir.path().string(), {"quillmar", "/sm", "xx/rf:[3][1]/a|", "/rf:[1][1]/b|"});
  std::string command;
  ASSERT_TRUE(g.ReceivedFilesCommand(command));
  EXPECT_EQ(command, "xx/rf:[3][1]/a|");
  g.SetPendingReceivedFiles("[3][1]/c|");
  ASSERT_TRUE(g.ReceivedFilesCommand(command));
  EXPECT_EQ(command, "xx/rf:[3][1]/a|");  // the command line comes first
  g.ReceivedFilesHandled();
  EXPECT_TRUE(g.PendingReceivedFiles().empty());
  EXPECT_FALSE(g.ReceivedFilesCommand(command));  // not handed over again after a later login
  g.SetPendingReceivedFiles("[3][1]/c|");
  ASSERT_TRUE(g.ReceivedFilesCommand(command));
  EXPECT_EQ(command, "[3][1]/c|");

  TqmGlobal none(dir.path().string(), {"quillmar", "/rf:3][1]"});
  EXPECT_FALSE(none.ReceivedFilesCommand(command));
}

TEST(GlobalReceivedFiles, CommandCountAndPathsEndedByBar) {
  TqmReceivedFiles r = TqmGlobal::ParseReceivedFiles("/rf:[4][3]/home/u/a b.txt|/tmp/x|/last|");
  EXPECT_EQ(r.Command, 4);
  EXPECT_EQ(r.Count, 3);
  EXPECT_EQ(r.Paths, (std::vector<std::string>{"/home/u/a b.txt", "/tmp/x", "/last"}));

  // A count larger than the list, empty paths and a path without its "|" are skipped.
  r = TqmGlobal::ParseReceivedFiles("[3][5]|/a||/b|/c");
  EXPECT_EQ(r.Command, 3);
  EXPECT_EQ(r.Paths, (std::vector<std::string>{"/a", "/b"}));
  // Only count paths are taken.
  r = TqmGlobal::ParseReceivedFiles("[3][1]/a|/b|");
  EXPECT_EQ(r.Paths, std::vector<std::string>{"/a"});

  // Numbers that are no numbers count as 0; a negative count takes nothing.
  r = TqmGlobal::ParseReceivedFiles("[x][2]/a|");
  EXPECT_EQ(r.Command, 0);
  EXPECT_EQ(r.Paths, std::vector<std::string>{"/a"});
  r = TqmGlobal::ParseReceivedFiles("[3][-2]/a|");
  EXPECT_EQ(r.Count, 0);
  EXPECT_TRUE(r.Paths.empty());
  r = TqmGlobal::ParseReceivedFiles("[99999999999][1]/a|");
  EXPECT_EQ(r.Command, 0);
  r = TqmGlobal::ParseReceivedFiles("no brackets");
  EXPECT_EQ(r.Command, 0);
  EXPECT_EQ(r.Count, 0);
}

TEST(GlobalFolders, HomeAndTemporaryFoldersArePrivate) {
  TempDir dir;
  const std::string home = dir.file("new/home");
  mode_t old = ::umask(0022);
  {
    TqmGlobal g(home, {"quillmar"});
    ::umask(old);
    EXPECT_EQ(g.HomeFolder(), home + "/");
    EXPECT_EQ(g.TempFolder(), home + "/TEMP/");
    EXPECT_EQ(g.AttachmentsTempFolder(), home + "/TEMP_AT/");
    EXPECT_EQ(g.SafeFile("Mine"), home + "/Mine.qvt");
    EXPECT_EQ(g.IniFile(), home + "/Quillmar.ini");
    EXPECT_EQ(ModeOf(home), 0700u);
    EXPECT_EQ(ModeOf(home + "/TEMP"), 0700u);
    EXPECT_EQ(ModeOf(home + "/TEMP_AT"), 0700u);
  }
  // An existing temporary folder open to others is made private.
  ::chmod((home + "/TEMP").c_str(), 0755);
  TqmGlobal again(home, {"quillmar"});
  EXPECT_EQ(ModeOf(home + "/TEMP"), 0700u);

  EXPECT_EQ(TqmGlobal::HomeFolderFromArguments({"q", "--home", "/some/where"}), "/some/where/");
  EXPECT_EQ(TqmGlobal::HomeFolderFromArguments({"q", "/sm", "--home=/x"}), "/x/");
}

TEST(GlobalFolders, CleanUpEmptiesAttachmentsButKeepsCopiesNobodyWroteBack) {
  TempDir dir;
  const std::string home = dir.path().string();
  {
    TqmGlobal g(home, {"quillmar"});
    fs::create_directories(g.AttachmentsTempFolder() + "sub");
    WriteFileBytes(g.AttachmentsTempFolder() + "a.png", "x");
    WriteFileBytes(g.AttachmentsTempFolder() + "sub/b.png", "x");
    // A copy left by an earlier run that ended abnormally.
    fs::create_directories(g.TempRootFolder() + "Old.qvt/File Locker");
    WriteFileBytes(g.TempRootFolder() + "Old.qvt/File Locker/letter.txt", "edited");
    fs::create_directories(g.TempRootFolder() + "empty/deeper");
    EXPECT_EQ(g.UnaccountedTempFiles(),
              std::vector<std::string>{g.TempRootFolder() + "Old.qvt/File Locker/letter.txt"});
  }
  EXPECT_TRUE(fs::is_directory(home + "/TEMP_AT"));
  EXPECT_TRUE(fs::is_empty(home + "/TEMP_AT"));
  EXPECT_EQ(ReadFileBytes(home + "/TEMP/Old.qvt/File Locker/letter.txt"), "edited");
  EXPECT_FALSE(fs::exists(home + "/TEMP/empty"));
}

TEST(GlobalSafes, SafeNamesAreTheQvtFilesWithoutExtension) {
  TempDir dir;
  TqmGlobal g(dir.path().string(), {"quillmar"});
  EXPECT_TRUE(g.SafeNames().empty());
  WriteFileBytes(dir.file("Work.qvt"), "");
  WriteFileBytes(dir.file("Home.qvt"), "");
  WriteFileBytes(dir.file("notes.txt"), "");
  WriteFileBytes(dir.file("Upper.QVT"), "");
  WriteFileBytes(dir.file(".qvt"), "");
  fs::create_directory(dir.file("Folder.qvt"));
  EXPECT_EQ(g.SafeNames(), (std::vector<std::string>{"Home", "Work"}));
}

TEST(GlobalIni, LastUsedSafeIsWrittenAndReadKeepingOtherLines) {
  TempDir dir;
  TqmGlobal g(dir.path().string(), {"quillmar"});
  EXPECT_EQ(g.ReadLastUsedSafe(), "");
  g.SetSafeName("My Safe");
  g.WriteLastUsedSafe();
  EXPECT_EQ(g.ReadLastUsedSafe(), "My Safe");
  EXPECT_EQ(ModeOf(g.IniFile()), 0600u);

  WriteFileBytes(
      g.IniFile(),
      "[other]\r\nlastused=no\r\nkeep=1\r\n[SAFE]\r\nLastUsed = Before \r\nx=y\r\n[tail]\r\nz=1\r\n");
  EXPECT_EQ(g.ReadLastUsedSafe(), "Before");
  g.SetSafeName("After");
  g.WriteLastUsedSafe();
  EXPECT_EQ(g.ReadLastUsedSafe(), "After");
  std::string text = ReadFileBytes(g.IniFile());
  EXPECT_NE(text.find("[other]\r\nlastused=no\r\nkeep=1\r\n"), std::string::npos) << text;
  EXPECT_NE(text.find("x=y\r\n[tail]\r\nz=1\r\n"), std::string::npos) << text;
  EXPECT_EQ(text.find("Before"), std::string::npos);

  // A [safe] section without the key gets it at its end.
  WriteFileBytes(g.IniFile(), "[safe]\r\na=1\r\n[next]\r\nb=2\r\n");
  g.WriteLastUsedSafe();
  EXPECT_EQ(ReadFileBytes(g.IniFile()), "[safe]\r\na=1\r\nlastused=After\r\n[next]\r\nb=2\r\n");
}

TEST(GlobalTexts, VersionAndFieldTypes) {
  EXPECT_EQ(TqmGlobal::FormatVersionText("2.0.0"), "2.0.0.0");
  EXPECT_EQ(TqmGlobal::FormatVersionText("1.x.3.4.5"), "1.0.3.4");
  EXPECT_EQ(TqmGlobal::FormatVersionText(""), "0.0.0.0");
  TempDir dir;
  TqmGlobal g(dir.path().string(), {"quillmar"});
  EXPECT_EQ(g.VersionText(), "2.0.0.0");

  std::vector<std::string> names = TqmGlobal::FieldTypeNames();
  ASSERT_EQ(names.size(), 12u);
  EXPECT_EQ(names.front(), "Normal Text");
  EXPECT_EQ(names.back(), "URL");
  EXPECT_EQ(TqmGlobal::FieldTypeCode("Picture"), ftPicture);
  EXPECT_EQ(TqmGlobal::FieldTypeCode("picture"), ftNormalText);
  EXPECT_EQ(TqmGlobal::FieldTypeCode("nothing"), ftNormalText);
}

// --- With a Safe ------------------------------------------------------------------------------------------

class GlobalSafeTest : public ::testing::Test {
protected:
  static constexpr char kPassword[] = "secret-1";

  GlobalSafeTest() : g_(dir_.file("home"), {"quillmar"}, &prompter_) {
    MakeSafe("Alpha");
    g_.SetBusyPointer([this](bool busy) { busyCalls_.push_back(busy); });
    g_.OpenSafeByName("Alpha", kPassword);
  }

  void MakeSafe(const std::string& name, const std::string& password = kPassword) {
    TqmSFSWrapper maker;
    maker.CreateEmptySafe(g_.SafeFile(name), password);
    maker.CloseSafe();
  }

  std::string DiskFile(const std::string& name, const std::string& content) {
    std::string path = dir_.file(name);
    WriteFileBytes(path, content);
    return path;
  }

  // The content of a locked file, decrypted into a scratch file.
  std::string LockedContent(const std::string& folder, const std::string& name) {
    std::string out = dir_.file("scratch.out");
    fs::remove(out);
    EXPECT_TRUE(g_.UnlockFile(folder, name, out));
    std::string bytes = ReadFileBytes(out);
    fs::remove(out);
    return bytes;
  }

  // Locks a file into the Safe and takes it out into the TEMP mirror, as "Open File" does.
  std::string OpenLocked(const std::string& folder, const std::string& name, const std::string& content) {
    if (folder != g_.FileLockerRoot()) {
      std::string parent = folder.substr(0, folder.find_last_of('\\', folder.size() - 2) + 1);
      std::string leaf = folder.substr(parent.size(), folder.size() - parent.size() - 1);
      g_.CreateFolder(parent, leaf);
    }
    fs::create_directories(dir_.file("src"));
    std::string disk = DiskFile("src/" + name, content);
    EXPECT_TRUE(g_.LockFile(folder, disk, true)) << g_.LastLockError();
    std::string copy = g_.TempCopyPath(folder, name);
    EXPECT_TRUE(g_.UnlockFile(folder, name, copy));
    return copy;
  }

  TempDir dir_;
  TScriptedPrompter prompter_;
  TqmGlobal g_;
  std::vector<bool> busyCalls_;
};

TEST_F(GlobalSafeTest, OpenCloseAndAFailedOpen) {
  EXPECT_TRUE(g_.SafeOpen());
  EXPECT_EQ(g_.SafeName(), "Alpha");
  // A compatible Safe: its key is the master password itself.
  EXPECT_EQ(g_.SafeKey().Text(), kPassword);
  EXPECT_TRUE(g_.IsMasterPassword(kPassword));
  EXPECT_FALSE(g_.IsMasterPassword("secret-"));
  EXPECT_EQ(g_.TempFolder(), g_.TempRootFolder() + "Alpha.qvt/");
  g_.CloseSafe();
  EXPECT_FALSE(g_.SafeOpen());
  EXPECT_EQ(g_.TempFolder(), g_.TempRootFolder());

  EXPECT_ANY_THROW(g_.OpenSafe(g_.SafeFile("Alpha"), "wrong-password"));
  EXPECT_FALSE(g_.SafeOpen());
  EXPECT_ANY_THROW(g_.OpenSafe(g_.SafeFile("Missing"), kPassword));
  EXPECT_FALSE(g_.SafeOpen());

  EXPECT_EQ(g_.CheckSafe(g_.SafeFile("Alpha"), kPassword, false), TqmSFSWrapper::csUsable);
  EXPECT_EQ(g_.CheckSafe(g_.SafeFile("Alpha"), "wrong-password", false), TqmSFSWrapper::csWrongPassword);
  EXPECT_EQ(g_.CheckSafe(DiskFile("text.qvt", "plain text"), kPassword, false),
            TqmSFSWrapper::csNotContainer);
  EXPECT_EQ(g_.CheckSafe(g_.SafeFile("Alpha"), kPassword, true), TqmSFSWrapper::csFileExists);
}

TEST_F(GlobalSafeTest, SettingsAreSavedOnlyWhileOpenAndReadBack) {
  EXPECT_TRUE(g_.Settings().App.confDel.Value());
  g_.Settings().App.confDel.SetValue(false);
  g_.Settings().CryptoMail.in.SetValue("Jo");
  g_.SaveSettings();
  g_.CloseSafe();
  g_.Settings().App.confDel.SetValue(true);
  g_.SaveSettings();  // no Safe open: nothing is written
  g_.OpenSafeByName("Alpha", kPassword);
  EXPECT_FALSE(g_.Settings().App.confDel.Value());
  EXPECT_EQ(g_.Settings().CryptoMail.in.Value(), "Jo");
}

// A second program with the same Safe open (the command line beside the desktop).
TEST_F(GlobalSafeTest, AnotherProgramsChangesAreToldAndItsSettingsMergedWithOurs) {
  struct TListener : TqmSafeListener {
    void SafeChanged(const TqmSafeChanges& c) override { told.push_back(c); }
    std::vector<TqmSafeChanges> told;
  } listener;
  g_.AddSafeListener(&listener);
  TScriptedPrompter otherPrompter;
  TqmGlobal other(dir_.file("home"), {"quillmar"}, &otherPrompter);
  other.OpenSafeByName("Alpha", kPassword);
  EXPECT_FALSE(g_.RefreshFromDisk().Any());
  EXPECT_TRUE(listener.told.empty());  // nothing changed: nobody is told

  // Each program changes a setting of its own, and both change one: the other program saves first.
  other.Settings().App.confDel.SetValue(false);
  other.Settings().CryptoMail.iw.SetValue("theirs");
  other.SaveSettings();
  ASSERT_TRUE(other.CreateFolder(other.FileLockerRoot(), "FromOther"));
  g_.Settings().CryptoMail.in.SetValue("Jo");
  g_.Settings().CryptoMail.iw.SetValue("ours");

  const TqmSafeChanges changes = g_.RefreshFromDisk();
  EXPECT_TRUE(changes.Settings);
  EXPECT_EQ(changes.LockerFolders.count(g_.FileLockerRoot()), 1u);
  ASSERT_EQ(listener.told.size(), 1u);
  EXPECT_TRUE(listener.told[0].Settings);
  // Their setting is taken in, ours are kept (a setting changed here wins).
  EXPECT_FALSE(g_.Settings().App.confDel.Value());
  EXPECT_EQ(g_.Settings().CryptoMail.in.Value(), "Jo");
  EXPECT_EQ(g_.Settings().CryptoMail.iw.Value(), "ours");
  EXPECT_EQ(g_.CountFolders(g_.FileLockerRoot()), 1);

  // Our save does not put back what they changed meanwhile either.
  other.Settings().FileLocker.removeFileFromDisk.SetValue(false);
  other.SaveSettings();
  g_.SaveSettings();
  EXPECT_FALSE(g_.Settings().FileLocker.removeFileFromDisk.Value());
  other.RefreshFromDisk();
  EXPECT_EQ(other.Settings().CryptoMail.in.Value(), "Jo");
  EXPECT_EQ(other.Settings().CryptoMail.iw.Value(), "ours");
  EXPECT_FALSE(other.Settings().App.confDel.Value());
  other.CloseSafe();
  g_.CloseSafe();
  g_.OpenSafeByName("Alpha", kPassword);
  EXPECT_EQ(g_.Settings().CryptoMail.iw.Value(), "ours");
  EXPECT_FALSE(g_.Settings().FileLocker.removeFileFromDisk.Value());
  EXPECT_FALSE(g_.Settings().App.confDel.Value());
  g_.RemoveSafeListener(&listener);
}

TEST_F(GlobalSafeTest, ChangePasswordNeedsTheCurrentOneAndKeepsTheNew) {
  std::string disk = DiskFile("a.txt", "locked text");
  ASSERT_TRUE(g_.LockFile(g_.FileLockerRoot(), disk, true));
  EXPECT_FALSE(g_.ChangePassword("not-the-one", "newpass-2"));
  EXPECT_TRUE(g_.IsMasterPassword(kPassword));
  ASSERT_TRUE(g_.ChangePassword(kPassword, "newpass-2"));
  EXPECT_TRUE(g_.IsMasterPassword("newpass-2"));
  EXPECT_FALSE(g_.IsMasterPassword(kPassword));
  EXPECT_EQ(g_.SafeKind(), TqmSafeKind::Compatible);  // the kind is kept
  EXPECT_EQ(LockedContent(g_.FileLockerRoot(), "a.txt"), "locked text");
  g_.CloseSafe();
  EXPECT_ANY_THROW(g_.OpenSafeByName("Alpha", kPassword));
  g_.OpenSafeByName("Alpha", "newpass-2");
  EXPECT_EQ(LockedContent(g_.FileLockerRoot(), "a.txt"), "locked text");
}

TEST_F(GlobalSafeTest, LockFileFailuresGiveFalseWithTheReason) {
  EXPECT_FALSE(g_.LockFile(g_.FileLockerRoot(), dir_.file("no-such-file"), true));
  EXPECT_FALSE(g_.LastLockError().empty());
  std::string disk = DiskFile("held.txt", "x");
  {
    THeldFile held(disk);
    EXPECT_FALSE(g_.LockFile(g_.FileLockerRoot(), disk, true));
    EXPECT_FALSE(g_.LastLockError().empty());
  }
  EXPECT_EQ(g_.CountFiles(g_.FileLockerRoot()), 0);
  // Declining the overwrite question is no error.
  ASSERT_TRUE(g_.LockFile(g_.FileLockerRoot(), disk, true));
  prompter_.ExpectYesNo(false);
  EXPECT_FALSE(g_.LockFile(g_.FileLockerRoot(), disk, true));
  EXPECT_TRUE(g_.LastLockError().empty());
  // The busy pointer came and went around each call.
  ASSERT_FALSE(busyCalls_.empty());
  EXPECT_FALSE(busyCalls_.back());
  EXPECT_EQ(std::count(busyCalls_.begin(), busyCalls_.end(), true),
            std::count(busyCalls_.begin(), busyCalls_.end(), false));
}

TEST_F(GlobalSafeTest, DeleteCategoryRefusesWhileItOrASubcategoryHoldsEntries) {
  TqmCategory top;
  top.SetName("Top");
  g_.SaveCategory(top);
  TqmCategory child(&top);
  child.SetName("Child");
  g_.SaveCategory(child);
  TqmRepositoryEntry entry(&child);
  g_.SaveEntry(child.FolderPath(), entry);

  // The entry sits in the sub-category only: deleting the top one would take it along.
  EXPECT_FALSE(g_.DeleteCategory(top.FolderPath()));
  ASSERT_EQ(prompter_.Messages.size(), 1u);
  EXPECT_EQ(prompter_.Messages[0], TqmGlobal::kMsgCategoryHasEntries);
  EXPECT_EQ(g_.CountSubcategories(nullptr), 1);
  EXPECT_EQ(g_.CountEntries(child.FolderPath()), 1);

  EXPECT_FALSE(g_.DeleteCategory(""));  // the repository itself is no category
  EXPECT_EQ(g_.CountSubcategories(nullptr), 1);

  ASSERT_TRUE(g_.DeleteEntry(child.FolderPath(), entry.FileName()));
  EXPECT_TRUE(g_.DeleteCategory(top.FolderPath()));
  EXPECT_EQ(g_.CountSubcategories(nullptr), 0);
  EXPECT_EQ(prompter_.Messages.size(), 1u);
}

TEST_F(GlobalSafeTest, RemoveEntryDataDeletesItsReminderAndAttachedFiles) {
  TqmReminderEvent reminder;
  g_.SaveReminder(reminder);
  ASSERT_EQ(g_.ReminderCount(), 1);
  const std::string id = g_.ReminderNames().at(0);
  const std::string attached = g_.AttachFile(DiskFile("scan.png", "picture bytes"));
  ASSERT_EQ(attached, "scan.png");
  const std::string other = g_.AttachFile(DiskFile("other.pdf", "kept"));

  TqmRepositoryEntry entry;
  auto add = [&entry](TqmFieldType type, const std::string& value) {
    TqmField f;
    f.SetFieldType(type);
    f.SetValue(value);
    entry.Fields().Add(f);
  };
  add(ftNormalText, "other.pdf");  // a text that happens to name a file is no attachment
  add(ftReminder, id);
  add(ftPicture, attached);
  add(ftFile, "");
  g_.RemoveEntryData(entry);
  EXPECT_EQ(g_.ReminderCount(), 0);
  EXPECT_EQ(g_.ExtractAttachedFile(other), g_.AttachmentsTempFolder() + "other.pdf");
  EXPECT_ANY_THROW(g_.ExtractAttachedFile(attached));
}

TEST_F(GlobalSafeTest, RemoveEntryDataKeepsWhatACopiedEntryStillNames) {
  const std::string attached = g_.AttachFile(DiskFile("shared.pdf", "shared bytes"));
  TqmCategory cat;
  cat.SetName("Scans");
  g_.SaveCategory(cat);
  auto make = [&](int32_t order) {
    auto e = std::make_unique<TqmRepositoryEntry>(&cat);
    e->SetSortOrder(order);
    TqmField f;
    f.SetFieldType(ftFile);
    f.SetValue(attached);
    e->Fields().Add(f);
    g_.SaveEntry(cat.FolderPath(), *e);
    return e;
  };
  auto original = make(0);
  auto copy = make(1);  // a copy names the same attached file
  g_.RemoveEntryData(*original);
  EXPECT_EQ(g_.ExtractAttachedFile(attached), g_.AttachmentsTempFolder() + "shared.pdf");
  ASSERT_TRUE(g_.DeleteEntry(cat.FolderPath(), original->FileName()));
  g_.RemoveEntryData(*copy);  // now the last one
  EXPECT_ANY_THROW(g_.ExtractAttachedFile(attached));
}

TEST_F(GlobalSafeTest, SafesInSeveralPartFilesAreNotBackedUpOrRestoredInPart) {
  // A Safe whose container is split into parts of 64 KiB.
  const std::string file = g_.SafeFile("Split");
  {
    TSingleFileSystem sfs(file, 65536, 8, 2048, 0, "", "", kPassword, false, 0xFFFF);
    TSFSFileStream f(&sfs, 0, "", "", "", 0xFFFF, "\\big");
    std::string data(200000, 'b');
    f.WriteBuffer(data.data(), int64_t(data.size()));
  }
  ASSERT_TRUE(fs::exists(file + "1"));
  g_.OpenSafeByName("Split", kPassword);
  // Beside the Safe, a copy of the first part alone would even open: it names the Safe's own parts.
  const std::string backup = fs::path(file).parent_path().string() + "/split-backup.qvtb";
  EXPECT_THROW(g_.Backup(backup), EQuillmarError);
  EXPECT_FALSE(fs::exists(backup));
  g_.CloseSafe();

  // Restoring from such a file into Alpha is refused too, and Alpha stays as it was.
  g_.OpenSafeByName("Alpha", kPassword);
  const std::string before = ReadFileBytes(g_.SafeFile("Alpha"));
  EXPECT_THROW(g_.Restore(file), EQuillmarError);
  EXPECT_TRUE(ReadFileBytes(g_.SafeFile("Alpha")) == before);
}

TEST_F(GlobalSafeTest, AnEditedCopyIsWrittenBackAndDeleted) {
  const std::string folder = std::string(TqmSFSWrapper::kFileLockerRoot) + "Letters\\";
  std::string copy = OpenLocked(folder, "a.doc", "first draft");
  EXPECT_EQ(copy, g_.TempRootFolder() + "Alpha.qvt/File Locker/Letters/a.doc");
  EXPECT_EQ(ModeOf(g_.TempRootFolder() + "Alpha.qvt/File Locker/Letters"), 0700u);
  EXPECT_EQ(g_.OpenedFiles(), std::vector<std::string>{copy});
  WriteFileBytes(copy, "second draft, longer than the first");

  EXPECT_TRUE(g_.UpdateOpenedFiles());
  EXPECT_FALSE(fs::exists(copy));
  EXPECT_FALSE(fs::exists(g_.TempRootFolder() + "Alpha.qvt/File Locker"));
  EXPECT_TRUE(g_.OpenedFiles().empty());
  EXPECT_TRUE(prompter_.Questions.empty());  // replaced without a question
  EXPECT_EQ(g_.CountFiles(folder), 1);
  EXPECT_EQ(LockedContent(folder, "a.doc"), "second draft, longer than the first");
}

TEST_F(GlobalSafeTest, ACopyStillHeldAsksAndRetryWritesItBackOnceClosed) {
  std::string copy = OpenLocked(g_.FileLockerRoot(), "held.txt", "v1");
  WriteFileBytes(copy, "v2");
  auto held = std::make_unique<THeldFile>(copy);
  prompter_.ExpectRetry(TRetry::Retry);
  prompter_.OnMessage = [&](const std::string&) { held.reset(); };  // the user closes the file, then OK

  EXPECT_TRUE(g_.UpdateOpenedFiles());
  ASSERT_EQ(prompter_.Questions.size(), 1u);
  EXPECT_EQ(prompter_.Questions[0], TqmGlobal::kMsgFileOpenedByAnother);
  ASSERT_EQ(prompter_.Messages.size(), 1u);
  EXPECT_EQ(prompter_.Messages[0], "Close file " + copy + " and click OK");
  EXPECT_FALSE(fs::exists(copy));
  EXPECT_EQ(LockedContent(g_.FileLockerRoot(), "held.txt"), "v2");
}

TEST_F(GlobalSafeTest, CancelInASubfolderKeepsTheCopyAndStopsTheClose) {
  const std::string folder = std::string(TqmSFSWrapper::kFileLockerRoot) + "Sub\\";
  std::string copy = OpenLocked(folder, "a.txt", "v1");
  std::string other = OpenLocked(g_.FileLockerRoot(), "b.txt", "b1");
  WriteFileBytes(copy, "v2");
  WriteFileBytes(other, "b2");
  {
    THeldFile held(copy);
    prompter_.ExpectRetry(TRetry::Cancel);
    EXPECT_FALSE(g_.UpdateOpenedFiles());
  }
  // The held copy stays with its changes; the other copy was written back.
  EXPECT_EQ(ReadFileBytes(copy), "v2");
  EXPECT_FALSE(fs::exists(other));
  EXPECT_EQ(LockedContent(g_.FileLockerRoot(), "b.txt"), "b2");
  EXPECT_EQ(LockedContent(folder, "a.txt"), "v1");
  EXPECT_EQ(g_.OpenedFiles(), std::vector<std::string>{copy});
  // Once the other program has let go, the next close writes it back.
  EXPECT_TRUE(g_.UpdateOpenedFiles());
  EXPECT_EQ(LockedContent(folder, "a.txt"), "v2");
}

TEST_F(GlobalSafeTest, IgnoreGivesTheCopyUp) {
  std::string copy = OpenLocked(g_.FileLockerRoot(), "a.txt", "v1");
  WriteFileBytes(copy, "v2");
  {
    THeldFile held(copy);
    prompter_.ExpectRetry(TRetry::Ignore);
    EXPECT_TRUE(g_.UpdateOpenedFiles());
  }
  EXPECT_FALSE(fs::exists(copy));
  EXPECT_EQ(LockedContent(g_.FileLockerRoot(), "a.txt"), "v1");
}

TEST_F(GlobalSafeTest, CopiesAreOnlyWrittenBackIntoTheSafeTheyCameFrom) {
  std::string copy = OpenLocked(g_.FileLockerRoot(), "alpha.txt", "from alpha");
  WriteFileBytes(copy, "edited alpha");
  g_.CloseSafe();
  // No Safe open (locked on minimize): nothing can be written, nothing is lost.
  EXPECT_TRUE(g_.UpdateOpenedFiles());
  EXPECT_EQ(ReadFileBytes(copy), "edited alpha");

  MakeSafe("Beta");
  g_.OpenSafeByName("Beta", kPassword);
  // A copy left in Beta's mirror by an earlier run.
  fs::create_directories(g_.TempFolder() + "File Locker");
  const std::string leftover = g_.TempFolder() + "File Locker/old.txt";
  WriteFileBytes(leftover, "from an earlier run");

  EXPECT_TRUE(g_.UpdateOpenedFiles());
  EXPECT_EQ(g_.CountFiles(g_.FileLockerRoot()), 0);
  EXPECT_EQ(ReadFileBytes(copy), "edited alpha");
  EXPECT_EQ(ReadFileBytes(leftover), "from an earlier run");
  EXPECT_EQ(g_.UnaccountedTempFiles(), (std::vector<std::string>{copy, leftover}));
  g_.EmptyTempFolders();
  EXPECT_TRUE(fs::exists(copy));
  EXPECT_TRUE(fs::exists(leftover));

  // Back in Alpha the copy goes home.
  g_.OpenSafeByName("Alpha", kPassword);
  EXPECT_TRUE(g_.UpdateOpenedFiles());
  EXPECT_FALSE(fs::exists(copy));
  EXPECT_EQ(LockedContent(g_.FileLockerRoot(), "alpha.txt"), "edited alpha");
  EXPECT_TRUE(fs::exists(leftover));
}

TEST_F(GlobalSafeTest, TempCopyPathRefusesNamesThatLeaveTheFolder) {
  EXPECT_EQ(g_.TempCopyPath("\\File Locker\\A\\", "b.txt"), g_.TempFolder() + "File Locker/A/b.txt");
  EXPECT_THROW(g_.TempCopyPath("\\File Locker\\..\\", "b.txt"), EQuillmarError);
  EXPECT_THROW(g_.TempCopyPath("\\File Locker\\", ".."), EQuillmarError);
}

TEST_F(GlobalSafeTest, BackupAndRestoreGiveBackTheSafeAsItWas) {
  ASSERT_TRUE(g_.LockFile(g_.FileLockerRoot(), DiskFile("before.txt", "before backup"), true));
  const std::string backup = dir_.file("alpha.qvtb");
  ASSERT_TRUE(g_.Backup(backup));
  EXPECT_TRUE(g_.SafeOpen());  // the Safe stays open and usable
  ASSERT_TRUE(g_.LockFile(g_.FileLockerRoot(), DiskFile("after.txt", "after backup"), true));
  ASSERT_TRUE(g_.ChangePassword(kPassword, "changed-3"));

  g_.Restore(backup);
  EXPECT_FALSE(g_.SafeOpen());
  EXPECT_ANY_THROW(g_.OpenSafeByName("Alpha", "changed-3"));
  g_.OpenSafeByName("Alpha", kPassword);  // the password of the backup's time
  EXPECT_EQ(g_.CountFiles(g_.FileLockerRoot()), 1);
  EXPECT_EQ(LockedContent(g_.FileLockerRoot(), "before.txt"), "before backup");
  // No temporary files are left beside the backup or the Safe.
  for (const auto& item : fs::directory_iterator(dir_.path()))
    EXPECT_EQ(item.path().filename().string().find(".tmp"), std::string::npos) << item.path();
  for (const auto& item : fs::directory_iterator(g_.HomeFolder()))
    EXPECT_EQ(item.path().filename().string().find(".part"), std::string::npos) << item.path();
}

TEST_F(GlobalSafeTest, BackupOverAnExistingFileAsksFirst) {
  const std::string backup = DiskFile("old.qvtb", "an older backup");
  prompter_.ExpectYesNo(false);
  EXPECT_FALSE(g_.Backup(backup));
  EXPECT_EQ(ReadFileBytes(backup), "an older backup");
  ASSERT_EQ(prompter_.Questions.size(), 1u);
  EXPECT_EQ(prompter_.Questions[0], TqmGlobal::kMsgFileExists);
  prompter_.ExpectYesNo(true);
  EXPECT_TRUE(g_.Backup(backup));
  EXPECT_EQ(ReadFileBytes(backup), ReadFileBytes(g_.CurrentSafeFile()));
}

TEST_F(GlobalSafeTest, BackupFailuresAreReported) {
  try {
    g_.Backup(dir_.file("missing-folder/a.qvtb"));
    ADD_FAILURE() << "a backup into a missing folder succeeded";
  } catch (const EQuillmarError& e) {
    EXPECT_NE(std::string(e.what()).find("backup could not be made"), std::string::npos) << e.what();
  }
  EXPECT_THROW(g_.Backup(g_.CurrentSafeFile()), EQuillmarError);  // never over the Safe itself
  g_.CloseSafe();
  EXPECT_THROW(g_.Backup(dir_.file("b.qvtb")), EQuillmarError);
}

TEST_F(GlobalSafeTest, RestoreFromAFileThatIsNoSafeLeavesTheSafeUntouched) {
  g_.CloseSafe();
  const std::string before = ReadFileBytes(g_.CurrentSafeFile());
  const std::string notSafe = DiskFile("holiday.qvtb", std::string(9000, 'x'));
  try {
    g_.Restore(notSafe);
    ADD_FAILURE() << "a file that is no Safe was restored";
  } catch (const EQuillmarError& e) {
    EXPECT_NE(std::string(e.what()).find("not a Brelkan Safe backup"), std::string::npos) << e.what();
  }
  EXPECT_THROW(g_.Restore(dir_.file("missing.qvtb")), EQuillmarError);
  EXPECT_EQ(ReadFileBytes(g_.CurrentSafeFile()), before);
  g_.OpenSafeByName("Alpha", kPassword);
}

TEST_F(GlobalSafeTest, DeleteSafeFileClosesAndForgetsTheCurrentSafe) {
  MakeSafe("Gamma");
  EXPECT_TRUE(g_.DeleteSafeFile("Gamma"));
  EXPECT_TRUE(g_.SafeOpen());
  EXPECT_EQ(g_.SafeNames(), std::vector<std::string>{"Alpha"});
  EXPECT_TRUE(g_.DeleteSafeFile("Alpha"));
  EXPECT_FALSE(g_.SafeOpen());
  EXPECT_TRUE(g_.SafeName().empty());
  EXPECT_TRUE(g_.SafeKey().Empty());
  EXPECT_FALSE(g_.DeleteSafeFile("Alpha"));
}

}  // namespace
}  // namespace quillmar

namespace quillmar {
namespace {

class TRecordingPopup : public TqmReminderPopup {
public:
  std::vector<std::string> shown, closed;
  void ShowReminderPopup(const TqmReminderEvent& reminder) override { shown.push_back(reminder.id()); }
  void CloseReminderPopup(const std::string& id) override { closed.push_back(id); }
};

TEST_F(GlobalSafeTest, RemindersDueWhileLockedRunAfterTheNextLoginAndGoWithTheirEntry) {
  std::vector<TReminderScheduler::TTask> posted;
  TReminderScheduler scheduler([&posted](TReminderScheduler::TTask t) { posted.push_back(std::move(t)); });
  g_.ScheduleReminders();  // no scheduler attached yet: nothing happens
  g_.AttachReminderScheduler(&scheduler);
  TRecordingPopup popup;
  g_.ReminderSchedule()->SetPopup(&popup);

  TqmReminderEvent reminder;
  reminder.SetAction(TqmReminderEvent::kActionPopup);
  g_.SaveReminder(reminder);
  const std::string id = g_.ReminderNames().at(0);
  g_.ScheduleReminders();
  std::vector<TacCronJob> jobs = scheduler.Jobs();
  ASSERT_EQ(jobs.size(), 1u);

  // Locked on minimize: the schedule stays, a due job waits for the login.
  g_.CloseSafe();
  g_.ScheduleReminders();
  ASSERT_EQ(scheduler.Jobs().size(), 1u);
  g_.FireReminder(jobs[0]);
  EXPECT_TRUE(popup.shown.empty());
  g_.OpenSafeByName("Alpha", kPassword);
  g_.ScheduleReminders();
  for (auto& task : posted) task();
  EXPECT_EQ(popup.shown, std::vector<std::string>{id});

  TqmRepositoryEntry entry;
  TqmField field;
  field.SetFieldType(ftReminder);
  field.SetValue(id);
  entry.Fields().Add(field);
  g_.RemoveEntryData(entry);
  EXPECT_TRUE(scheduler.Jobs().empty());
  EXPECT_EQ(g_.ReminderCount(), 0);
  g_.AttachReminderScheduler(nullptr);
}

class TRecordingFiller : public TqmAutoFillFiller {
public:
  std::string text;
  std::vector<std::string> values;
  bool FillWebForm(const std::string& autoFillText, const std::vector<std::string>& nameValues) override {
    text = autoFillText;
    values = nameValues;
    return true;
  }
};

TEST_F(GlobalSafeTest, FillWebFormHandsTheRecordAndValuesToTheFiller) {
  TqmRepositoryEntry entry;
  TqmField field;
  field.SetName("User");
  field.SetValue("jo");
  entry.Fields().Add(field);
  EXPECT_FALSE(g_.FillWebForm(entry));  // no filler
  TRecordingFiller filler;
  g_.SetAutoFillFiller(&filler);
  EXPECT_FALSE(g_.FillWebForm(entry));  // no autofill record
  entry.SetAutoFill("form record");
  EXPECT_TRUE(g_.FillWebForm(entry));
  EXPECT_EQ(filler.text, "form record");
  EXPECT_EQ(filler.values, std::vector<std::string>{"User=jo"});
}

TEST_F(GlobalSafeTest, CreateSafeLeavesNoSafeOpenAndTakesTheDemoChoice) {
  g_.SetDemoData(false);
  g_.CreateSafe(g_.SafeFile("Plain"), "plain-pass");
  EXPECT_FALSE(g_.SafeOpen());
  g_.SetDemoData(true);
  g_.CreateSafe(g_.SafeFile("Demo"), "demo-pass");
  EXPECT_EQ(g_.SafeNames(), (std::vector<std::string>{"Alpha", "Demo", "Plain"}));

  auto entriesIn = [this](const std::string& name, const std::string& password) {
    g_.OpenSafeByName(name, password);
    int count = 0;
    TqmCategory category;
    for (int i = 0; i < g_.CountSubcategories(nullptr); ++i) {
      TqmCategory c;
      if (g_.LoadCategory(nullptr, i, false, c)) count += g_.CountEntries(c.FolderPath());
    }
    int files = g_.CountFiles(g_.FileLockerRoot()) + g_.CountFolders(g_.FileLockerRoot());
    g_.CloseSafe();
    return std::make_pair(count, files);
  };
  auto plain = entriesIn("Plain", "plain-pass");
  auto demo = entriesIn("Demo", "demo-pass");
  EXPECT_EQ(plain.first, 0);
  EXPECT_EQ(plain.second, 0);
  EXPECT_GT(demo.first + demo.second, 0);
}

// New Safes are hardened: the core keeps D, never the password, and checks a typed password by
// deriving it again. Backup and restore keep the kind; a change of password keeps it unless asked.
TEST_F(GlobalSafeTest, NewSafesAreHardenedAndTheCoreKeepsTheKeyNotThePassword) {
  g_.CreateSafe(g_.SafeFile("Hard"), "hard-pass");
  g_.CreateSafe(g_.SafeFile("Old"), "old-pass", TqmSafeKind::Compatible);
  EXPECT_EQ(TqmSFSWrapper::KeyDerivationOf(g_.SafeFile("Old")), TKeyDerivation());

  EXPECT_EQ(g_.CheckSafe(g_.SafeFile("Hard"), "hard-passX", false), TqmSFSWrapper::csWrongPassword);
  const TTextKey key = g_.TextKeyFor(g_.SafeFile("Hard"), "hard-pass");
  EXPECT_EQ(g_.CheckSafe(g_.SafeFile("Hard"), key), TqmSFSWrapper::csUsable);
  g_.OpenSafeByName("Hard", key);
  EXPECT_EQ(g_.SafeKind(), TqmSafeKind::Hardened);
  EXPECT_EQ(g_.SafeKey(), key);
  EXPECT_EQ(g_.SafeKey().Text().size(), 32u);
  EXPECT_EQ(g_.SafeKey().Text().find("hard-pass"), std::string::npos);
  EXPECT_TRUE(g_.IsMasterPassword("hard-pass"));
  EXPECT_FALSE(g_.IsMasterPassword("hard-pasS"));
  ASSERT_TRUE(g_.LockFile(g_.FileLockerRoot(), DiskFile("l.txt", "locked under D"), true))
      << g_.LastLockError();
  EXPECT_EQ(LockedContent(g_.FileLockerRoot(), "l.txt"), "locked under D");

  const std::string backup = dir_.file("hard.qvtb");
  ASSERT_TRUE(g_.Backup(backup));
  const TKeyDerivation atBackup = g_.SafeKeyDerivation();
  EXPECT_EQ(TqmSFSWrapper::KeyDerivationOf(backup), atBackup);

  // A change of password keeps the kind (with a new salt); a change of kind needs the current password.
  EXPECT_FALSE(g_.ChangePassword("not-it", "hard-2", TqmSafeKind::Compatible));
  ASSERT_TRUE(g_.ChangePassword("hard-pass", "hard-2"));
  EXPECT_EQ(g_.SafeKind(), TqmSafeKind::Hardened);
  EXPECT_NE(g_.SafeKeyDerivation().Salt, atBackup.Salt);
  EXPECT_TRUE(g_.IsMasterPassword("hard-2"));
  ASSERT_TRUE(g_.ChangePassword("hard-2", "hard-2", TqmSafeKind::Compatible));
  EXPECT_EQ(g_.SafeKind(), TqmSafeKind::Compatible);
  EXPECT_EQ(g_.SafeKey(), TTextKey::FromPassword("hard-2"));
  EXPECT_EQ(LockedContent(g_.FileLockerRoot(), "l.txt"), "locked under D");

  // The restored backup is the hardened Safe of its time.
  g_.Restore(backup);
  EXPECT_EQ(TqmSFSWrapper::KeyDerivationOf(g_.CurrentSafeFile()), atBackup);
  EXPECT_ANY_THROW(g_.OpenSafeByName("Hard", "hard-2"));
  g_.OpenSafeByName("Hard", "hard-pass");
  EXPECT_EQ(g_.SafeKind(), TqmSafeKind::Hardened);
  EXPECT_EQ(LockedContent(g_.FileLockerRoot(), "l.txt"), "locked under D");
  ASSERT_TRUE(g_.Repair());
  EXPECT_EQ(g_.SafeKeyDerivation(), atBackup);

  // The key is forgotten with the Safe; a caller that reopens later keeps a copy.
  const TTextKey kept = g_.SafeKey();
  g_.CloseSafe();
  EXPECT_TRUE(g_.SafeKey().Empty());
  EXPECT_FALSE(g_.IsMasterPassword("hard-pass"));
  g_.OpenSafeByName("Hard", kept);
  g_.OpenSafeByName("Hard", g_.SafeKey());
  EXPECT_TRUE(g_.IsMasterPassword("hard-pass"));
}

}  // namespace
}  // namespace quillmar
