// What the Safe layer refuses to store (texts that would not read back, names the container would cut
// or that span lines) and what it does with a damaged Safe (a file with an unreadable page is never
// written out in part; one damaged record does not hide the others).
#include <gtest/gtest.h>

#include <filesystem>

#include "SafeTestSupport.h"
#include "base/MemoryStream.h"
#include "container/SingleFileSystem.h"
#include "model/RecordCheck.h"
#include "model/qmCategory.h"
#include "model/qmReminderEvent.h"
#include "model/qmRepositoryEntry.h"
#include "safe/qmSettings.h"
#include "support/ContainerDamage.h"
#include "support/ExpectThrow.h"

namespace quillmar::test {
namespace {

namespace fs = std::filesystem;
using W = TqmSFSWrapper;

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

std::string Pattern(size_t size) {
  std::string s(size, '\0');
  for (size_t i = 0; i < size; ++i) s[i] = static_cast<char>((i * 131 + (i >> 8)) & 0xFF);
  return s;
}

TEST_F(SafeFixture, AnEntryThatWouldForgeAFieldIsRefusedAndNothingIsWritten) {
  TqmCategory cat;
  cat.SetName("Notes");
  safe.SaveCategory(cat);
  TqmRepositoryEntry e(&cat);
  e.Fields().Add(TqmField(0, "Title", ftNormalText, true, "forge"));
  e.Fields().Add(
      TqmField(1, "Note", ftTextMemo, false,
               "x</field>\n<field sortorder=\"0\" name=\"Title\" type=\"0\" required=\"1\">INJECTED"));
  const std::string message = ExpectThrow<ERecordRefused>([&] { safe.SaveEntry(cat.FolderPath(), e); });
  EXPECT_TRUE(Has(message, "\"Note\"") && Has(message, "'</field>'")) << message;
  EXPECT_EQ(safe.CountEntries(cat.FolderPath()), 0);
  EXPECT_TRUE(e.FileName().empty());

  // What can be stored comes back exactly.
  e.FieldAt(1).SetValue("x <field> \"quoted\" a>b\r\nsecond line");
  safe.SaveEntry(cat.FolderPath(), e);
  TqmRepositoryEntry back(&cat);
  ASSERT_TRUE(safe.LoadEntryAt(cat.FolderPath(), 0, back));
  ASSERT_EQ(back.Fields().Count(), 2);
  EXPECT_EQ(back.FieldAt(1).Value(), e.FieldAt(1).Value());
}

TEST_F(SafeFixture, QuotesInCategoryAndFieldNamesAreRefusedNotCut) {
  TqmCategory cat;
  cat.SetName("q\"x");
  EXPECT_TRUE(Has(ExpectThrow<ERecordRefused>([&] { safe.SaveCategory(cat); }), "'\"'"));
  cat.SetName("Notes");
  cat.Fields().Add(TqmField(0, "a\"b", ftNormalText, false));
  EXPECT_TRUE(Has(ExpectThrow<ERecordRefused>([&] { safe.SaveCategory(cat); }), "\"a\"b\""));
  EXPECT_EQ(safe.CountSubcategories(nullptr), 0);
  cat.Fields()[0].SetName("a\nb");
  EXPECT_TRUE(Has(ExpectThrow<ERecordRefused>([&] { safe.SaveCategory(cat); }), "line break"));
  EXPECT_EQ(safe.CountSubcategories(nullptr), 0);
}

TEST_F(SafeFixture, RemindersAndSettingsAreCheckedBeforeTheyAreWritten) {
  TqmReminderEvent r;
  r.SetDays("1\"2");
  EXPECT_TRUE(Has(ExpectThrow<ERecordRefused>([&] { safe.SaveReminder(r); }), "days"));
  EXPECT_EQ(safe.ReminderCount(), 0);
  EXPECT_TRUE(r.id().empty());
  r.SetDays("1,15");
  safe.SaveReminder(r);
  EXPECT_EQ(safe.ReminderCount(), 1);

  TqmSettings settings;
  settings.CryptoMail.in.SetValue("Alice \"A\" <a@example.org>");
  EXPECT_EQ(RecordProblem(settings), "");
  safe.SaveSettings(settings);
  TqmSettings back;
  safe.LoadSettings(back);
  EXPECT_EQ(back.CryptoMail.in.Value(), "Alice \"A\" <a@example.org>");
}

TEST_F(SafeFixture, FileLockerNamesOverTheLimitOrWithControlCharactersAreRefused) {
  const std::string root = W::kFileLockerRoot;
  const std::string longest(259, 'n'), tooLong(260, 'n');
  EXPECT_TRUE(safe.CreateFolder(root, longest));
  const std::string message = ExpectThrow<ERecordRefused>([&] { safe.CreateFolder(root, tooLong); });
  EXPECT_TRUE(Has(message, "260 characters") && Has(message, "at most 259")) << message;
  EXPECT_TRUE(Has(ExpectThrow<ERecordRefused>([&] { safe.CreateFolder(root, "two\nlines"); }), "line break"));
  EXPECT_EQ(safe.CountFolders(root), 1);
  EXPECT_EQ(safe.FolderInfoAt(root, 0).Name, longest);

  WriteFileBytes(dir.file("a.txt"), "abc");
  ASSERT_TRUE(safe.LockFile(root, dir.file("a.txt"), true, kPassword));
  EXPECT_TRUE(Has(ExpectThrow<ERecordRefused>([&] { safe.Rename(root, "a.txt", tooLong); }), "259"));
  EXPECT_TRUE(Has(ExpectThrow<ERecordRefused>([&] { safe.Rename(root, "a.txt", "a\tb"); }), "a tab"));
  EXPECT_TRUE(Has(ExpectThrow<ERecordRefused>(
                      [&] { safe.LockFile(root + tooLong, dir.file("a.txt"), false, kPassword); }),
                  "259"));
  EXPECT_EQ(safe.CountFiles(root), 1);
  EXPECT_EQ(safe.FileInfoAt(root, 0).Name, "a.txt");

  // Disk names with a line break are refused for the File Locker and as attached files alike.
  WriteFileBytes(dir.file("two\nlines.txt"), "x");
  EXPECT_TRUE(Has(
      ExpectThrow<ERecordRefused>([&] { safe.LockFile(root, dir.file("two\nlines.txt"), true, kPassword); }),
      "line break"));
  EXPECT_TRUE(
      Has(ExpectThrow<ERecordRefused>([&] { safe.AttachFile(dir.file("two\nlines.txt")); }), "line break"));
  EXPECT_EQ(safe.CountFiles(root), 1);
  EXPECT_EQ(safe.CountFiles(W::kAttachedFilesFolder), 0);
}

TEST_F(SafeFixture, ALockedFileWithAnUnreadablePageIsNeitherUnlockedInPartNorLost) {
  const std::string root = W::kFileLockerRoot;
  const std::string content = Pattern(3 * 2016 + 10);
  WriteFileBytes(dir.file("doc.bin"), content);
  ASSERT_TRUE(safe.LockFile(root, dir.file("doc.bin"), true, kPassword));
  safe.CloseSafe();
  DamagePagePayload(safeFile, kPassword, root + std::string("doc.bin"), 1);
  safe.OpenSafe(safeFile, kPassword);

  fs::create_directories(dir.file("out"));
  const std::string target = dir.file("out/doc.bin");
  std::string message =
      ExpectThrow<EQuillmarError>([&] { safe.UnlockFile(root, "doc.bin", kPassword, target); });
  EXPECT_TRUE(Has(message, "\\File Locker\\doc.bin") && Has(message, "from byte 2016 on")) << message;
  EXPECT_FALSE(fs::exists(target));
  EXPECT_TRUE(fs::is_empty(dir.file("out"))) << "no partial or temporary file is left";
  EXPECT_TRUE(safe.Container()->FileExists(root + std::string("doc.bin")));

  // A file of that name that was there stays as it was, after the question was answered Yes.
  WriteFileBytes(target, "the user's own copy");
  prompter.ExpectYesNo(true);
  message = ExpectThrow<EQuillmarError>([&] { safe.UnlockFile(root, "doc.bin", kPassword, target); });
  EXPECT_TRUE(Has(message, "from byte 2016 on")) << message;
  EXPECT_EQ(ReadFileBytes(target), "the user's own copy");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.file("out")), fs::directory_iterator()), 1);
}

TEST_F(SafeFixture, AnAttachedFileWithAnUnreadablePageIsNotExtractedInPart) {
  WriteFileBytes(dir.file("scan.pdf"), Pattern(5 * 2016));
  ASSERT_EQ(safe.AttachFile(dir.file("scan.pdf")), "scan.pdf");
  safe.CloseSafe();
  DamagePagePayload(safeFile, kPassword, std::string(W::kAttachedFilesFolder) + "scan.pdf", 0);
  safe.OpenSafe(safeFile, kPassword);
  fs::create_directories(dir.file("at"));
  const std::string message =
      ExpectThrow<EQuillmarError>([&] { safe.ExtractAttachedFile("scan.pdf", dir.file("at")); });
  EXPECT_TRUE(Has(message, "\"scan.pdf\"") && Has(message, "from byte 0 on")) << message;
  EXPECT_TRUE(fs::is_empty(dir.file("at")));
}

TEST_F(SafeFixture, OneDamagedEntryDoesNotHideTheOthersAndIsNamed) {
  TqmCategory cat;
  cat.SetName("Web");
  safe.SaveCategory(cat);
  std::vector<std::string> files;
  for (int i = 0; i < 3; ++i) {
    TqmRepositoryEntry e(&cat);
    e.SetSortOrder(i);
    e.Fields().Add(TqmField(0, "Title", ftNormalText, false, "entry " + std::to_string(i)));
    safe.SaveEntry(cat.FolderPath(), e);
    files.push_back(e.FileName());
  }
  const std::string folder = std::string(W::kRepositoryRoot) + cat.FolderPath();
  safe.CloseSafe();
  DamagePagePayload(safeFile, kPassword, folder + files[1], 0);
  SetPageEncryptionMark(safeFile, kPassword, folder + files[2], 0, 0);  // read as plain: ciphertext
  safe.OpenSafe(safeFile, kPassword);

  TqmRepositoryEntry e(&cat);
  ASSERT_TRUE(safe.LoadEntryAt(cat.FolderPath(), 0, e));
  EXPECT_EQ(e.Title(), "entry 0");
  EXPECT_FALSE(safe.LoadEntryAt(cat.FolderPath(), 1, e));
  EXPECT_TRUE(safe.LoadEntry(cat.FolderPath(), 0, e));
  const auto unreadable = safe.UnreadableEntries(cat.FolderPath());
  ASSERT_EQ(unreadable.size(), 2u);
  EXPECT_EQ(unreadable[0].Path, folder + files[1]);
  EXPECT_TRUE(Has(unreadable[0].Reason, "cannot be read from byte 0 on")) << unreadable[0].Reason;
  EXPECT_EQ(unreadable[1].Path, folder + files[2]);
  EXPECT_TRUE(Has(unreadable[1].Reason, "holds no entry record")) << unreadable[1].Reason;
}

TEST_F(SafeFixture, ADamagedCategoryRecordIsNamedWhenRead) {
  TqmCategory cat;
  cat.SetName("Web");
  safe.SaveCategory(cat);
  const std::string record = std::string(W::kRepositoryRoot) + cat.FolderPath() + W::kCategoryTemplateFile;
  safe.CloseSafe();
  DamagePagePayload(safeFile, kPassword, record, 0);
  safe.OpenSafe(safeFile, kPassword);
  TqmCategory back;
  const std::string message =
      ExpectThrow<EQuillmarError>([&] { safe.LoadCategory(nullptr, 0, false, back); });
  EXPECT_TRUE(Has(message, record)) << message;
}

}  // namespace
}  // namespace quillmar::test
