#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <filesystem>
#include <set>
#include <stdexcept>

#include "SafeTestSupport.h"
#include "base/MemoryStream.h"
#include "container/SFSFileStream.h"
#include "container/SingleFileSystem.h"
#include "container/UserFilePageMapManager.h"
#include "model/qmCategory.h"
#include "model/qmReminderEvent.h"
#include "model/qmRepositoryEntry.h"
#include "model/qvtIcon.h"
#include "safe/LockedFileCipher.h"
#include "safe/qmSFSWrapper.h"
#include "safe/qmSettings.h"

namespace quillmar::test {
namespace {

namespace fs = std::filesystem;
using W = TqmSFSWrapper;

std::string Pattern(size_t size, unsigned seed = 1) {
  std::string s(size, '\0');
  for (size_t i = 0; i < size; ++i) s[i] = static_cast<char>((i * 131 + seed * 7 + (i >> 8)) & 0xFF);
  return s;
}

std::unique_ptr<TqmRepositoryEntry> NewEntry(int32_t sortOrder, const std::string& title,
                                             TqmCategory* parent = nullptr) {
  auto e = std::make_unique<TqmRepositoryEntry>(parent);
  e->SetSortOrder(sortOrder);
  e->Fields().Add(TqmField(0, "Title", ftNormalText, true, title));
  e->Fields().Add(TqmField(1, "Password", ftPassword, false, "pw-" + title));
  return e;
}

std::string RawFile(TSingleFileSystem& sfs, const std::string& path, const std::string& password = {}) {
  TSFSFileStream s(&sfs, 0, "", "", password, 0, path);
  return s.ReadString(s.Size());
}

// --- Layout, categories -----------------------------------------------------------------------------

TEST_F(SafeFixture, NewSafeHasTheSevenLayoutFoldersAndEnsureLayoutRestoresThem) {
  TSingleFileSystem& sfs = *safe.Container();
  for (const char* f : {W::kRepositoryRoot, W::kAttachedFilesFolder, W::kFileLockerRoot, W::kSystemFolder,
                        W::kCategoryIconsFolder, W::kEntryIconsFolder, W::kRemindersFolder})
    EXPECT_TRUE(sfs.DirectoryExists(f)) << f;
  ASSERT_GT(sfs.DeleteDirectory("\\Quillmar.System.Info"), -1);
  EXPECT_FALSE(sfs.DirectoryExists(W::kRemindersFolder));
  EXPECT_EQ(safe.ReminderCount(), 0);  // runs EnsureLayout first
  EXPECT_TRUE(sfs.DirectoryExists(W::kRemindersFolder));
  EXPECT_TRUE(sfs.DirectoryExists(W::kEntryIconsFolder));
}

TEST_F(SafeFixture, CategoriesGetDistinctRandomFoldersAndLoadByOrderOrPosition) {
  TqmCategory a, b;
  a.SetName("Internet");
  a.SetSortOrder(0);
  a.Fields().Add(TqmField(0, "URL", ftURL, true));
  b.SetName("Banking");
  b.SetSortOrder(1);
  safe.SaveCategory(a);
  safe.SaveCategory(b);
  EXPECT_EQ(a.FolderName().rfind("category", 0), 0u);
  EXPECT_NE(a.FolderName(), b.FolderName());
  EXPECT_TRUE(safe.Container()->FileExists(std::string(W::kRepositoryRoot) + a.FolderName() + "\\" +
                                           W::kCategoryTemplateFile));

  // The template file is a record under the record password.
  std::string tpl = std::string(W::kRepositoryRoot) + a.FolderName() + "\\" + W::kCategoryTemplateFile;
  TMemoryStream expected;
  a.SaveToStream(expected);
  EXPECT_EQ(RawFile(*safe.Container(), tpl, W::kRecordPassword), expected.ToString());

  // An entry file in the root must not count as a position.
  auto rootEntryPtr = NewEntry(0, "loose");
  TqmRepositoryEntry& rootEntry = *rootEntryPtr;
  safe.SaveEntry("", rootEntry);
  EXPECT_EQ(safe.CountSubcategories(nullptr), 2);
  std::set<std::string> byPosition;
  for (int i = 0; i < 2; ++i) {
    TqmCategory c;
    ASSERT_TRUE(safe.LoadCategory(nullptr, i, false, c)) << i;
    byPosition.insert(c.Name());
  }
  EXPECT_EQ(byPosition, (std::set<std::string>{"Internet", "Banking"}));
  TqmCategory none;
  EXPECT_FALSE(safe.LoadCategory(nullptr, 2, false, none));
  EXPECT_FALSE(safe.LoadCategory(nullptr, -1, false, none));

  TqmCategory byOrder;
  ASSERT_TRUE(safe.LoadCategory(nullptr, 1, true, byOrder));
  EXPECT_EQ(byOrder.Name(), "Banking");
  EXPECT_EQ(byOrder.FolderName(), b.FolderName());
  TqmCategory internet;
  ASSERT_TRUE(safe.LoadCategory(nullptr, 0, true, internet));
  ASSERT_EQ(internet.Fields().Count(), 1);
  EXPECT_EQ(internet.FieldAt(0).Name(), "URL");
  EXPECT_FALSE(safe.LoadCategory(nullptr, 7, true, none));
}

TEST_F(SafeFixture, SubcategoriesNestAndMoveCategoryCopiesTheWholeTree) {
  TqmCategory top, other;
  top.SetName("Top");
  other.SetName("Other");
  safe.SaveCategory(top);
  safe.SaveCategory(other);
  TqmCategory child(&top);
  child.SetName("Child");
  child.SetSortOrder(5);
  safe.SaveCategory(child);
  auto ePtr = NewEntry(3, "in child", &child);
  TqmRepositoryEntry& e = *ePtr;
  safe.SaveEntry(child.FolderPath(), e);
  EXPECT_EQ(safe.CountSubcategories(&top), 1);
  EXPECT_EQ(safe.CountSubcategories(&child), 0);

  // Moving a category below itself is refused and changes nothing.
  EXPECT_FALSE(safe.MoveCategory(top, &child, false));
  EXPECT_EQ(safe.CountSubcategories(nullptr), 2);

  ASSERT_TRUE(safe.MoveCategory(top, &other, false));
  EXPECT_EQ(safe.CountSubcategories(nullptr), 1);
  top.SetParent(&other);
  EXPECT_EQ(safe.CountSubcategories(&top), 1);
  TqmRepositoryEntry loaded;
  ASSERT_TRUE(safe.LoadEntry(child.FolderPath(), 3, loaded));  // child's path now runs through other
  EXPECT_EQ(loaded.Title(), "in child");

  // keepSource copies; a second copy onto the same place is refused.
  TqmCategory solo;
  solo.SetName("Solo");
  safe.SaveCategory(solo);
  ASSERT_TRUE(safe.MoveCategory(solo, &other, true));
  EXPECT_EQ(safe.CountSubcategories(nullptr), 2);
  EXPECT_FALSE(safe.MoveCategory(solo, &other, true));

  safe.DeleteCategory(other.FolderPath());
  EXPECT_EQ(safe.CountSubcategories(nullptr), 1);
  EXPECT_THROW(safe.DeleteCategory(""), EQuillmarError);
}

// --- Entries ---------------------------------------------------------------------------------------

TEST_F(SafeFixture, EntriesWithRepeatedOrMissingNumbersAreReachedByListingPosition) {
  TqmCategory cat;
  cat.SetName("Messy");
  safe.SaveCategory(cat);
  const std::string path = cat.FolderPath();
  // Numbers as another program might leave them: a repeat and a gap.
  std::vector<std::unique_ptr<TqmRepositoryEntry>> entries;
  for (int32_t order : {0, 0, 5}) entries.push_back(NewEntry(order, "order " + std::to_string(order), &cat));
  for (auto& e : entries) safe.SaveEntry(path, *e);
  TqmRepositoryEntry e;
  EXPECT_TRUE(safe.LoadEntry(path, 0, e));
  EXPECT_FALSE(safe.LoadEntry(path, 1, e));  // by number, one of the two 0s and the 5 stay hidden
  std::multiset<std::string> seen;
  for (int i = 0;; ++i) {
    TqmRepositoryEntry at;
    if (!safe.LoadEntryAt(path, i, at)) break;
    seen.insert(at.FileName());
  }
  std::multiset<std::string> all;
  for (auto& x : entries) all.insert(x->FileName());
  EXPECT_EQ(seen, all);
  TqmRepositoryEntry untouched;
  EXPECT_FALSE(safe.LoadEntryAt(path, 3, untouched));
  EXPECT_FALSE(safe.LoadEntryAt(path, -1, untouched));
}

TEST_F(SafeFixture, EntryRecordsStoredCompressedReadAsThePlainOnes) {
  // Another program may store records compressed; they are read through the expanding stream, the
  // plain ones as stored.
  TqmCategory cat;
  cat.SetName("Packed");
  safe.SaveCategory(cat);
  const std::string path = cat.FolderPath();
  auto packed = NewEntry(0, std::string(3000, 'p'), &cat);
  auto plain = NewEntry(1, "plain", &cat);
  safe.SaveEntry(path, *packed);
  safe.SaveEntry(path, *plain);
  const std::string file = std::string(TqmSFSWrapper::kRepositoryRoot) + path + packed->FileName();
  std::string bytes;
  {
    TSFSFileStream stored(safe.Container(), 0, "", "", TqmSFSWrapper::kRecordPassword,
                          TSingleFileSystem::fmReadOnly, file);
    bytes = stored.ReadString(stored.Size());
  }
  {
    TSFSFileStream compressed(safe.Container(), 1, "", "", TqmSFSWrapper::kRecordPassword,
                              TSingleFileSystem::fmCreate, file);
    compressed.WriteString(bytes);
    ASSERT_EQ(compressed.Method(), 1);
  }
  safe.CloseSafe();
  safe.OpenSafe(safeFile, kPassword);
  TqmRepositoryEntry a, b;
  ASSERT_TRUE(safe.LoadEntry(path, 0, a));
  ASSERT_TRUE(safe.LoadEntry(path, 1, b));
  EXPECT_EQ(a.FieldAt(0).Value(), std::string(3000, 'p'));
  EXPECT_EQ(b.FieldAt(0).Value(), "plain");
  EXPECT_TRUE(safe.UnreadableEntries(path).empty());
}

TEST_F(SafeFixture, EntriesLoadBySortOrderAndTheIndexFollowsEveryWrite) {
  TqmCategory cat;
  cat.SetName("Mail");
  safe.SaveCategory(cat);
  const std::string path = cat.FolderPath();
  std::vector<std::unique_ptr<TqmRepositoryEntry>> entries;
  for (int i = 0; i < 5; ++i) entries.push_back(NewEntry(i, "entry " + std::to_string(i), &cat));
  for (auto& e : entries) safe.SaveEntry(path, *e);
  EXPECT_EQ(safe.CountEntries(path), 5);
  std::set<std::string> names;
  for (auto& e : entries) names.insert(e->FileName());
  EXPECT_EQ(names.size(), 5u);

  for (int i = 4; i >= 0; --i) {
    TqmRepositoryEntry e;
    ASSERT_TRUE(safe.LoadEntry(path, i, e)) << i;
    EXPECT_EQ(e.Title(), "entry " + std::to_string(i));
    EXPECT_EQ(e.FileName(), entries[static_cast<size_t>(i)]->FileName());
  }
  auto missingPtr = NewEntry(42, "untouched");
  TqmRepositoryEntry& missing = *missingPtr;
  EXPECT_FALSE(safe.LoadEntry(path, 9, missing));
  EXPECT_EQ(missing.Title(), "untouched");

  // A change of sort order is seen at once (the index is dropped by the write).
  entries[2]->SetSortOrder(9);
  safe.SaveEntry(path, *entries[2]);
  TqmRepositoryEntry moved;
  ASSERT_TRUE(safe.LoadEntry(path, 9, moved));
  EXPECT_EQ(moved.Title(), "entry 2");
  EXPECT_FALSE(safe.LoadEntry(path, 2, moved));

  ASSERT_TRUE(safe.DeleteEntry(path, entries[0]->FileName()));
  EXPECT_FALSE(safe.LoadEntry(path, 0, moved));
  EXPECT_EQ(safe.CountEntries(path), 4);
  EXPECT_TRUE(safe.DeleteEntry(path, "0.entry"));  // gone already
  EXPECT_FALSE(safe.DeleteEntry(path, "..\\x"));   // names stay inside the folder

  // A file of 4 bytes or less is skipped as empty.
  {
    TSFSFileStream s(safe.Container(), 0, "", "", W::kRecordPassword, TSingleFileSystem::fmCreate,
                     W::kRepositoryRoot + path + "1.entry");
    s.WriteString("abcd");
  }
  EXPECT_EQ(safe.CountEntries(path), 5);
  EXPECT_TRUE(safe.LoadEntry(path, 1, moved));
  EXPECT_EQ(moved.Title(), "entry 1");
}

TEST_F(SafeFixture, MoveEntryAndDeleteAllEntriesKeepCategories) {
  TqmCategory a, b;
  a.SetName("A");
  b.SetName("B");
  safe.SaveCategory(a);
  safe.SaveCategory(b);
  auto ePtr = NewEntry(1, "mover", &a);
  TqmRepositoryEntry& e = *ePtr;
  safe.SaveEntry(a.FolderPath(), e);
  ASSERT_TRUE(safe.MoveEntry(e, &b, false));
  EXPECT_EQ(safe.CountEntries(a.FolderPath()), 0);
  EXPECT_EQ(safe.CountEntries(b.FolderPath()), 1);
  e.SetParent(&b);
  ASSERT_TRUE(safe.MoveEntry(e, nullptr, true));  // copy to the root
  EXPECT_EQ(safe.CountEntries(""), 1);
  EXPECT_EQ(safe.CountEntries(b.FolderPath()), 1);
  // The root copy would be replaced by a second copy of the same name: refused.
  EXPECT_FALSE(safe.MoveEntry(e, nullptr, true));

  TqmCategory sub(&a);
  sub.SetName("Sub");
  safe.SaveCategory(sub);
  auto deepPtr = NewEntry(2, "deep", &sub);
  TqmRepositoryEntry& deep = *deepPtr;
  safe.SaveEntry(sub.FolderPath(), deep);
  // A look-alike whose extension is not exactly ".entry" stays.
  {
    TSFSFileStream s(safe.Container(), 0, "", "", W::kRecordPassword, TSingleFileSystem::fmCreate,
                     W::kRepositoryRoot + a.FolderPath() + "notes.entryx");
    s.WriteString("keep me");
  }
  EXPECT_EQ(safe.DeleteAllEntries(), 3);
  EXPECT_EQ(safe.CountEntries(""), 0);
  EXPECT_EQ(safe.CountEntries(sub.FolderPath()), 0);
  EXPECT_TRUE(safe.Container()->FileExists(W::kRepositoryRoot + a.FolderPath() + "notes.entryx"));
  EXPECT_EQ(safe.CountSubcategories(nullptr), 2);
  EXPECT_EQ(safe.CountSubcategories(&a), 1);
  TqmCategory reread;
  EXPECT_TRUE(safe.LoadCategory(&a, 0, false, reread));
  EXPECT_EQ(reread.Name(), "Sub");
}

// --- Icons, reminders, settings, attachments -----------------------------------------------------------

TEST_F(SafeFixture, IconsAreListedPerKindAndRoundTrip) {
  TqvtIcon icon("", std::string("\0\0\x01\0\x01\0rest", 10));
  safe.SaveIcon(W::ikCategory, icon, "folder.ico");
  safe.SaveIcon(W::ikEntry, icon, "key.ico");
  safe.SaveIcon(W::ikEntry, TqvtIcon("", "second"), "lock.ico");
  std::vector<std::string> list{"already"};
  EXPECT_EQ(safe.ListIcons(W::ikEntry, list), 2);
  EXPECT_EQ(list.size(), 3u);
  EXPECT_EQ(std::set<std::string>(list.begin() + 1, list.end()),
            (std::set<std::string>{"key.ico", "lock.ico"}));
  TqvtIcon loaded;
  ASSERT_TRUE(safe.LoadIcon(W::ikCategory, "folder.ico", loaded));
  EXPECT_EQ(loaded.Name(), "folder.ico");
  EXPECT_EQ(loaded.Image(), icon.Image());
  EXPECT_FALSE(safe.LoadIcon(W::ikCategory, "key.ico", loaded));
  EXPECT_THROW(safe.SaveIcon(W::ikEntry, icon, "..\\evil.ico"), EQuillmarError);
  EXPECT_THROW(safe.ListIcons(static_cast<W::TIconKind>(2), list), EQuillmarError);
}

TEST_F(SafeFixture, RemindersGetFreeIdsAndCopiesGetTheirOwn) {
  TqmReminderEvent r;
  r.SetName("Pay rent");
  r.SetMessage("first of the month");
  safe.SaveReminder(r);
  ASSERT_FALSE(r.id().empty());
  EXPECT_NE(std::stol(r.id()), -1);
  EXPECT_EQ(safe.ReminderCount(), 1);
  // A folder named like a reminder is not a reminder.
  safe.Container()->ForceDirectories(std::string(W::kRemindersFolder) + "5.reminder");
  EXPECT_EQ(safe.ReminderCount(), 1);

  TqmReminderEvent at;
  ASSERT_TRUE(safe.LoadReminderAt(0, at));
  EXPECT_EQ(at.id(), r.id());
  EXPECT_EQ(at.name(), "Pay rent");
  EXPECT_EQ(at.message(), "first of the month");
  EXPECT_FALSE(safe.LoadReminderAt(1, at));

  std::string copyId = safe.CopyReminder(r.id());
  ASSERT_FALSE(copyId.empty());
  EXPECT_NE(copyId, r.id());
  EXPECT_EQ(safe.ReminderCount(), 2);
  TqmReminderEvent copy;
  ASSERT_TRUE(safe.LoadReminder(copyId, copy));
  EXPECT_EQ(copy.name(), "Pay rent");
  EXPECT_EQ(copy.id(), copyId);
  auto names = safe.ReminderNames();
  EXPECT_EQ(std::set<std::string>(names.begin(), names.end()), (std::set<std::string>{r.id(), copyId}));

  TqmReminderEvent untouched;
  untouched.SetName("keep");
  EXPECT_FALSE(safe.LoadReminder("12345", untouched));
  EXPECT_EQ(untouched.name(), "keep");
  EXPECT_TRUE(untouched.id().empty());
  EXPECT_EQ(safe.CopyReminder("12345"), "");

  EXPECT_TRUE(safe.DeleteReminder(r.id()));
  EXPECT_EQ(safe.ReminderCount(), 1);
}

TEST_F(SafeFixture, SettingsMissingGiveDefaultsAndRoundTrip) {
  EXPECT_EQ(safe.ReadSettingsText(), "");
  TqmSettings settings;
  settings.App.confDel.SetValue(false);
  settings.CryptoMail.in.SetValue("Jane");
  safe.LoadSettings(settings);  // no file: everything back to its default
  EXPECT_TRUE(settings.App.confDel.Value());
  EXPECT_EQ(settings.CryptoMail.in.Value(), "");
  settings.App.lockOnMinimize.SetValue(true);
  settings.CryptoMail.st.SetValue(0);
  safe.SaveSettings(settings);
  EXPECT_EQ(safe.ReadSettingsText(), settings.GetText());
  TqmSettings back;
  safe.LoadSettings(back);
  EXPECT_TRUE(back.App.lockOnMinimize.Value());
  EXPECT_EQ(back.CryptoMail.st.Value(), 0);
  safe.WriteSettingsText("x");
  EXPECT_EQ(safe.ReadSettingsText(), "x");
}

TEST_F(SafeFixture, UnchangedSettingsAreNotWrittenAgain) {
  TqmSettings settings;
  settings.App.confDel.SetValue(false);
  safe.SaveSettings(settings);
  safe.CloseSafe();
  safe.OpenSafe(safeFile, kPassword);
  const std::string before = ReadFileBytes(safeFile);
  // Saving the same settings at every close must not rewrite the Safe (nor fail where it cannot be
  // written); a change is written.
  safe.SaveSettings(settings);
  EXPECT_TRUE(ReadFileBytes(safeFile) == before);
  EXPECT_FALSE(fs::exists(TSingleFileSystem::JournalFileName(safeFile)));
  settings.App.confDel.SetValue(true);
  safe.SaveSettings(settings);
  EXPECT_EQ(safe.ReadSettingsText(), settings.GetText());
}

TEST_F(SafeFixture, FileReadProblemNamesTheOffsetOfADamagedPage) {
  const std::string disk = dir.file("scan.pdf");
  std::string content(20000, 'a');
  for (size_t i = 0; i < content.size(); ++i) content[i] = char(i * 7);
  WriteFileBytes(disk, content);
  ASSERT_EQ(safe.AttachFile(disk), "scan.pdf");
  const std::string path = std::string(TqmSFSWrapper::kAttachedFilesFolder) + "scan.pdf";
  EXPECT_EQ(safe.FileReadProblem(path), "");
  // Find a data page of the attachment and damage it on disk.
  TSingleFileSystem& sfs = *safe.Container();
  TDIRItem item = sfs.Directory().ReadItem(sfs.Directory().Resolve(path));
  const std::vector<int32_t>* maps;
  const std::vector<int32_t>* data;
  sfs.Maps().GetMaps(item, maps, data);
  const int32_t page = (*data)[3];
  safe.CloseSafe();
  std::string bytes = ReadFileBytes(safeFile);
  bytes[280 + size_t(page) * 2048 + 100] ^= 0x40;
  WriteFileBytes(safeFile, bytes);
  safe.OpenSafe(safeFile, kPassword);
  const std::string problem = safe.FileReadProblem(path);
  EXPECT_NE(problem.find("from byte " + std::to_string(3 * 2016) + " on"), std::string::npos) << problem;
}

TEST_F(SafeFixture, AttachedFileNamesAreSafeTextInsideAndUtf8OnDisk) {
  const std::string utf8 = "r\xC3\xA9sum\xC3\xA9.pdf";  // "résumé.pdf"
  WriteFileBytes(dir.file(utf8), "cv");
  EXPECT_EQ(safe.AttachFile(dir.file(utf8)), "r\xE9sum\xE9.pdf");
  fs::create_directory(dir.path() / "x");
  EXPECT_EQ(safe.ExtractAttachedFile("r\xE9sum\xE9.pdf", dir.file("x")), dir.file("x") + "/" + utf8);
  EXPECT_EQ(ReadFileBytes(dir.file("x") + "/" + utf8), "cv");
  WriteFileBytes(dir.file("\xE6\x97\xA5.pdf"), "x");
  EXPECT_THROW(safe.AttachFile(dir.file("\xE6\x97\xA5.pdf")), EQuillmarError);
}

TEST_F(SafeFixture, AttachedFilesAskBeforeReplacingAndExtractUnderTheirName) {
  const std::string disk = dir.file("scan.pdf");
  WriteFileBytes(disk, "first");
  EXPECT_EQ(safe.AttachFile(disk), "scan.pdf");
  WriteFileBytes(disk, "second version");
  prompter.ExpectYesNo(false);
  EXPECT_EQ(safe.AttachFile(disk), "");
  ASSERT_EQ(prompter.Questions.size(), 1u);
  EXPECT_EQ(prompter.Questions[0], "File exists. Do you want to overwrite it?");
  fs::create_directory(dir.path() / "at");
  EXPECT_EQ(ReadFileBytes(safe.ExtractAttachedFile("scan.pdf", dir.file("at"))), "first");
  prompter.ExpectYesNo(true);
  EXPECT_EQ(safe.AttachFile(disk), "scan.pdf");
  std::string out = safe.ExtractAttachedFile("scan.pdf", dir.file("at"));
  EXPECT_EQ(out, dir.file("at") + "/scan.pdf");
  EXPECT_EQ(ReadFileBytes(out), "second version");
  // Plain copy, no file password: the container file holds the bytes as they are.
  EXPECT_EQ(RawFile(*safe.Container(), std::string(W::kAttachedFilesFolder) + "scan.pdf"), "second version");
  EXPECT_EQ(safe.CountFiles(W::kAttachedFilesFolder), 1);  // no temporary left behind

  EXPECT_THROW(safe.ExtractAttachedFile("../scan.pdf", dir.file("at")), EQuillmarError);
  EXPECT_THROW(safe.ExtractAttachedFile("nothere", dir.file("at")), EQuillmarError);
  EXPECT_THROW(safe.AttachFile(dir.file("missing.txt")), std::exception);
  EXPECT_TRUE(safe.DeleteAttachedFile(""));
  EXPECT_TRUE(safe.DeleteAttachedFile("scan.pdf"));
  EXPECT_TRUE(safe.DeleteAttachedFile("scan.pdf"));
  EXPECT_EQ(safe.CountFiles(W::kAttachedFilesFolder), 0);
}

// --- File Locker -----------------------------------------------------------------------------------

TEST_F(SafeFixture, LockedFilesRoundTripAtBlockEdgesAndAreEncrypted) {
  fs::create_directory(dir.path() / "out");
  for (size_t size : {0u, 1u, 7u, 8u, 9u, 8192u, 8193u, 20000u}) {
    const std::string name = "f" + std::to_string(size) + ".bin";
    const std::string plain = Pattern(size, static_cast<unsigned>(size));
    WriteFileBytes(dir.file(name), plain);
    ASSERT_TRUE(safe.LockFile(W::kFileLockerRoot, dir.file(name), true, kPassword)) << size;
    const std::string stored = RawFile(*safe.Container(), W::kFileLockerRoot + name);
    ASSERT_EQ(stored.size(), size);
    if (size >= 8) {
      EXPECT_NE(stored, plain) << size;
    }
    // The stored bytes are exactly the locked-file cipher of the plain bytes.
    TMemoryStream in(plain), expected;
    TLockedFileCipher::Encrypt(in, expected, kPassword);
    EXPECT_EQ(stored, expected.ToString()) << size;
    const std::string out = dir.file("out/" + name);
    ASSERT_TRUE(safe.UnlockFile(W::kFileLockerRoot, name, kPassword, out));
    EXPECT_EQ(ReadFileBytes(out), plain) << size;
  }
  EXPECT_EQ(safe.CountFiles(W::kFileLockerRoot), 8);
}

TEST_F(SafeFixture, LockAndUnlockAskBeforeReplacing) {
  const std::string disk = dir.file("a.txt");
  WriteFileBytes(disk, "version one");
  ASSERT_TRUE(safe.LockFile(W::kFileLockerRoot, disk, true, kPassword));
  WriteFileBytes(disk, "version two");
  prompter.ExpectYesNo(false);
  EXPECT_FALSE(safe.LockFile(W::kFileLockerRoot, disk, true, kPassword));
  EXPECT_EQ(prompter.Questions.back(), "File exists. Do you want to overwrite it?");

  const std::string copy = dir.file("copy.txt");
  ASSERT_TRUE(safe.UnlockFile(W::kFileLockerRoot, "a.txt", kPassword, copy));
  EXPECT_EQ(ReadFileBytes(copy), "version one");
  WriteFileBytes(copy, "edited");
  prompter.ExpectYesNo(false);
  EXPECT_FALSE(safe.UnlockFile(W::kFileLockerRoot, "a.txt", kPassword, copy));
  EXPECT_EQ(prompter.Questions.back(),
            "File is already opened. Do you want to ignore changes and overwrite it?");
  EXPECT_EQ(ReadFileBytes(copy), "edited");

  // Without appendName the folder argument is the target itself and is replaced without a question.
  ASSERT_TRUE(safe.LockFile("\\File Locker\\a.txt", copy, false, kPassword));
  prompter.ExpectYesNo(true);
  ASSERT_TRUE(safe.UnlockFile(W::kFileLockerRoot, "a.txt", kPassword, copy));
  EXPECT_EQ(ReadFileBytes(copy), "edited");
  EXPECT_EQ(prompter.Remaining(), 0u);

  // Into a sub-folder that does not exist yet.
  ASSERT_TRUE(safe.LockFile("\\File Locker\\New\\Deeper\\", disk, true, kPassword));
  EXPECT_EQ(safe.CountFiles("\\File Locker\\New\\Deeper\\"), 1);
  EXPECT_EQ(safe.CountFiles(W::kFileLockerRoot), 1);  // no temporaries left behind
}

TEST_F(SafeFixture, LockingRefusesFilesItCannotHaveToItself) {
  const std::string disk = dir.file("held.txt");
  WriteFileBytes(disk, "busy");
  int fd = ::open(disk.c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::flock(fd, LOCK_EX), 0);
  EXPECT_THROW(safe.LockFile(W::kFileLockerRoot, disk, true, kPassword), EQuillmarError);
  ::close(fd);
  EXPECT_EQ(safe.CountFiles(W::kFileLockerRoot), 0);
  EXPECT_THROW(safe.LockFile(W::kFileLockerRoot, dir.path().string(), true, kPassword), EQuillmarError);
  EXPECT_THROW(safe.LockFile(W::kFileLockerRoot, dir.file("none"), true, kPassword), EQuillmarError);
  EXPECT_EQ(safe.CountFiles(W::kFileLockerRoot), 0);
  EXPECT_TRUE(safe.LockFile(W::kFileLockerRoot, disk, true, kPassword));
}

TEST_F(SafeFixture, FoldersListRemoveAndRename) {
  const std::string root = W::kFileLockerRoot;
  ASSERT_TRUE(safe.CreateFolder(root, "Docs"));
  EXPECT_FALSE(safe.CreateFolder(root, "docs"));
  ASSERT_EQ(prompter.Messages.size(), 1u);
  EXPECT_EQ(prompter.Messages[0], "Folder already exists!");
  EXPECT_FALSE(safe.CreateFolder(root, "a\\b"));
  ASSERT_TRUE(safe.CreateFolder(root, "Empty"));
  WriteFileBytes(dir.file("n.txt"), "12345");
  ASSERT_TRUE(safe.LockFile(root + "Docs\\", dir.file("n.txt"), true, kPassword));
  ASSERT_TRUE(safe.LockFile(root, dir.file("n.txt"), true, kPassword));

  EXPECT_EQ(safe.CountFolders(root), 2);
  EXPECT_EQ(safe.CountFiles(root), 1);
  TqmFileInfo file = safe.FileInfoAt(root, 0);
  EXPECT_EQ(file.Name, "n.txt");
  EXPECT_EQ(file.Size, 5u);
  ASSERT_EQ(file.Modified.size(), 19u);
  EXPECT_GT(file.ModifiedTime, 40000.0);
  std::set<std::string> folders{safe.FolderInfoAt(root, 0).Name, safe.FolderInfoAt(root, 1).Name};
  EXPECT_EQ(folders, (std::set<std::string>{"Docs", "Empty"}));
  TqmFileInfo none = safe.FileInfoAt(root, 1);
  EXPECT_TRUE(none.Name.empty());
  EXPECT_EQ(none.Size, 0u);
  EXPECT_TRUE(none.Modified.empty());

  EXPECT_TRUE(safe.Rename(root, "n.txt", "m.txt"));
  EXPECT_FALSE(safe.Rename(root, "m.txt", "Docs"));  // name taken
  EXPECT_FALSE(safe.Rename(root, "m.txt", "x\\y"));  // would move it
  EXPECT_EQ(safe.FileInfoAt(root, 0).Name, "m.txt");

  EXPECT_TRUE(safe.Remove(root, "m.txt"));  // a file: no question
  EXPECT_TRUE(safe.Remove(root, "Empty"));  // an empty folder: no question
  prompter.ExpectYesNo(false);
  prompter.ExpectYesNo(true);
  EXPECT_FALSE(safe.Remove(root, "Docs"));
  EXPECT_EQ(safe.CountFolders(root), 1);
  EXPECT_TRUE(safe.Remove(root, "Docs"));
  EXPECT_EQ(prompter.Questions,
            (std::vector<std::string>(2, "Do you really want to remove this folder and all its contents?")));
  EXPECT_EQ(safe.CountFolders(root), 0);
  EXPECT_FALSE(safe.Remove(root, "gone"));
}

// --- Safe as a whole -------------------------------------------------------------------------------

TEST_F(SafeFixture, CheckSafeCodes) {
  safe.CloseSafe();
  EXPECT_EQ(safe.CheckSafe(safeFile, kPassword, true), W::csFileExists);
  EXPECT_EQ(safe.CheckSafe(dir.file("new.qvt"), kPassword, true), W::csUsable);
  EXPECT_EQ(safe.CheckSafe(safeFile, kPassword, false), W::csUsable);
  EXPECT_EQ(safe.CheckSafe(safeFile, "wrong", false), W::csWrongPassword);
  WriteFileBytes(dir.file("junk.qvt"), std::string(5000, 'x'));
  EXPECT_EQ(safe.CheckSafe(dir.file("junk.qvt"), kPassword, false), W::csNotContainer);
  EXPECT_EQ(safe.CheckSafe(dir.file("absent.qvt"), kPassword, false), W::csNotContainer);
  EXPECT_TRUE(prompter.Messages.empty());
  {
    // Another holder of the Safe that keeps it to itself (as older versions do). (A program of this
    // version shares it: see SafeOpeningTest.)
    TSingleFileSystem other(safeFile, -1, 8, 4096, 0, "", "", kPassword, false,
                            TSingleFileSystem::fmReadWriteExclusive);
    EXPECT_EQ(safe.CheckSafe(safeFile, kPassword, false), W::csCannotOpen);
    ASSERT_EQ(prompter.Messages.size(), 1u);
    EXPECT_FALSE(prompter.Messages[0].empty());
    EXPECT_THROW(safe.OpenSafe(safeFile, kPassword), std::exception);
    EXPECT_FALSE(safe.IsOpen());
  }
  EXPECT_EQ(safe.CheckSafe(safeFile, kPassword, false), W::csUsable);
  EXPECT_THROW(safe.CountEntries(""), EQuillmarError);  // no Safe open
  safe.OpenSafe(safeFile, kPassword);
  EXPECT_TRUE(safe.IsOpen());
  EXPECT_EQ(safe.SafeFileName(), safeFile);
  safe.CloseSafe();
  safe.CloseSafe();
  EXPECT_EQ(safe.SafeFileName(), "");
}

class PasswordChangeTest : public SafeFixture {
protected:
  void SetUp() override {
    SafeFixture::SetUp();
    plains = {{"\\File Locker\\top.bin", Pattern(8193, 3)},
              {"\\File Locker\\Sub\\small.txt", "seven b"},
              {"\\File Locker\\Sub\\Deep\\empty", ""},
              {"\\File Locker\\Sub\\Deep\\big.bin", Pattern(70000, 9)}};
    for (auto& [path, plain] : plains) {
      TMemoryStream in(plain);
      safe.LockStream(path, in, kPassword);
    }
    TqmCategory cat;
    cat.SetName("Cat");
    safe.SaveCategory(cat);
    auto ePtr = NewEntry(0, "kept", &cat);
    TqmRepositoryEntry& e = *ePtr;
    safe.SaveEntry(cat.FolderPath(), e);
    catPath = cat.FolderPath();
    safe.WriteSettingsText("confDel=0\r\n");
  }

  // Opens the Safe with password and checks that every record and locked file reads.
  void ExpectWholeUnder(const std::string& password) {
    safe.OpenSafe(safeFile, password);
    for (auto& [path, plain] : plains) {
      TMemoryStream out;
      safe.UnlockToStream(path, out, password);
      EXPECT_EQ(out.ToString(), plain) << path;
    }
    TqmRepositoryEntry e;
    EXPECT_TRUE(safe.LoadEntry(catPath, 0, e));
    EXPECT_EQ(e.Title(), "kept");
    EXPECT_EQ(safe.ReadSettingsText(), "confDel=0\r\n");
  }

  std::vector<std::pair<std::string, std::string>> plains;
  std::string catPath;
};

TEST_F(PasswordChangeTest, SamePasswordChangesNothing) {
  safe.CloseSafe();
  const std::string before = ReadFileBytes(safeFile);
  safe.OpenSafe(safeFile, kPassword);
  EXPECT_TRUE(safe.ChangePassword(kPassword, kPassword));
  EXPECT_TRUE(safe.IsOpen());
  safe.CloseSafe();
  EXPECT_EQ(ReadFileBytes(safeFile), before);
  ExpectWholeUnder(kPassword);
}

TEST_F(PasswordChangeTest, AWrongOldPasswordIsRefusedAndTheSafeStaysOpen) {
  EXPECT_FALSE(safe.ChangePassword("not it", "new secret"));
  EXPECT_TRUE(safe.IsOpen());
  safe.CloseSafe();
  ExpectWholeUnder(kPassword);
}

TEST_F(PasswordChangeTest, NewPasswordRekeysEveryLockedFile) {
  ASSERT_TRUE(safe.ChangePassword(kPassword, "new secret"));
  ASSERT_TRUE(safe.IsOpen());
  // Still open and usable under the new password.
  TMemoryStream out, wrong;
  safe.UnlockToStream("\\File Locker\\top.bin", out, "new secret");
  EXPECT_EQ(out.ToString(), plains[0].second);
  safe.UnlockToStream("\\File Locker\\top.bin", wrong, kPassword);
  EXPECT_NE(wrong.ToString(), plains[0].second);
  safe.CloseSafe();
  EXPECT_EQ(safe.CheckSafe(safeFile, kPassword, false), W::csWrongPassword);
  ExpectWholeUnder("new secret");
  safe.CloseSafe();
  EXPECT_FALSE(fs::exists(safeFile + ".pwchange"));
  for (auto& entry : fs::directory_iterator(dir.path()))
    EXPECT_EQ(entry.path().filename(), "Test.qvt") << "left behind: " << entry.path();
}

TEST_F(PasswordChangeTest, AFailureAtAnyStageLeavesOneConsistentPassword) {
  for (std::string failAt : {"copied", "rekeyed", "container", "synced", "swapped"}) {
    SCOPED_TRACE(failAt);
    safe.OnPasswordChangeStage = [&](const std::string& stage) {
      if (stage == failAt) throw std::runtime_error("injected");
    };
    EXPECT_THROW(safe.ChangePassword(kPassword, "next"), std::runtime_error);
    safe.OnPasswordChangeStage = nullptr;
    EXPECT_TRUE(safe.IsOpen());  // reopened under whichever password the file has
    safe.CloseSafe();
    bool isOld = safe.CheckSafe(safeFile, kPassword, false) == W::csUsable;
    bool isNew = safe.CheckSafe(safeFile, "next", false) == W::csUsable;
    EXPECT_NE(isOld, isNew);
    EXPECT_EQ(isNew, failAt == "swapped");
    ExpectWholeUnder(isNew ? "next" : kPassword);
    EXPECT_FALSE(fs::exists(safeFile + ".pwchange"));
    if (isNew) {
      ASSERT_TRUE(safe.ChangePassword("next", kPassword));  // back for the next round
    }
  }
}

}  // namespace
}  // namespace quillmar::test
