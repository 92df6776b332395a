// The repository tree both front ends show, the repository rules it applies, and the deep check and
// repair of a Safe, on real Safes in a temporary home folder.
#include <gtest/gtest.h>

#include <algorithm>

#include "RepositoryTreeFixture.h"
#include "base/Exception.h"
#include "container/SFSFileStream.h"
#include "container/SingleFileSystem.h"
#include "core/qmGlobal.h"
#include "core/qmRepositoryRules.h"
#include "core/qmRepositoryTree.h"
#include "core/qmSafeCheck.h"
#include "model/qmCategory.h"
#include "model/qmRepositoryEntry.h"
#include "support/ContainerDamage.h"
#include "support/TempDir.h"

namespace quillmar {
namespace {

using test::TempDir;
using test::WriteFileBytes;

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

bool AnyHas(const std::vector<std::string>& lines, const std::string& part) {
  return std::any_of(lines.begin(), lines.end(), [&](const std::string& l) { return Has(l, part); });
}

std::string Joined(const std::vector<std::string>& lines) {
  std::string all;
  for (const auto& l : lines) all += l + "\n";
  return all;
}

// --- The rules --------------------------------------------------------------------------------------------

TEST(RepositoryRules, LetterCaseThroughTheCodePage) {
  EXPECT_TRUE(RepositoryTextMatches("abc", "xABCx", false));
  EXPECT_FALSE(RepositoryTextMatches("abc", "xABCx", true));
  // windows-1252: e acute / E acute, oe / OE, y diaeresis / Y diaeresis.
  EXPECT_TRUE(RepositoryTextMatches("caf\xE9", "CAF\xC9", false));
  EXPECT_TRUE(RepositoryTextMatches("\x9C", "\x8C", false));
  EXPECT_TRUE(RepositoryTextMatches("\xFF", "\x9F", false));
  // The division sign has no capital: it is not the multiplication sign.
  EXPECT_FALSE(RepositoryTextMatches("\xF7", "\xD7", false));
  EXPECT_FALSE(RepositoryTextMatches("", "anything", false));
  EXPECT_FALSE(RepositoryTextMatches("longer", "long", false));
}

TEST(RepositoryRules, AllFieldsComparesFieldsWithLetterCase) {
  TqmCategory cat;
  cat.SetName("Web");
  TqmRepositoryEntry e(&cat);
  e.Fields().Add(TqmField(0, "Title", ftNormalText, false, "xABCx"));
  e.Fields().Add(TqmField(1, "Password", ftPassword, false, "abc"));
  EXPECT_TRUE(RepositoryEntryMatches(e, "abc", false, false));
  TqmRepositoryEntry f(&cat);
  f.Fields().Add(TqmField(0, "Title", ftNormalText, false, "Mail"));
  f.Fields().Add(TqmField(1, "Password", ftPassword, false, "ABC"));
  EXPECT_FALSE(RepositoryEntryMatches(f, "abc", false, false));
  EXPECT_FALSE(RepositoryEntryMatches(f, "abc", false, true));
  EXPECT_TRUE(RepositoryEntryMatches(f, "ABC", false, true));
  cat.Fields().Add(TqmField(0, "PIN", ftPassword, false));
  EXPECT_TRUE(RepositoryCategoryMatches(cat, "PIN", false, true));
  EXPECT_FALSE(RepositoryCategoryMatches(cat, "pin", false, true));
  EXPECT_FALSE(RepositoryCategoryMatches(cat, "PIN", false, false));
}

// --- With a Safe -------------------------------------------------------------------------------------------

TEST_F(RepositoryTreeTest, GapsAndRepeatsInTheNumbersAreAllShownAndRenumbered) {
  TqmCategory& web = AddCategory("Web", 7);
  AddCategory("Mail", 7);  // the same number: both are shown
  AddCategory("Bank", 2);
  AddEntry(web, "nine", 9);
  AddEntry(web, "five a", 5);
  AddEntry(web, "five b", 5);
  AddEntry(web, "minus", -4);

  TqmRepositoryTree tree(g_);
  tree.Load(tree.Root());
  ASSERT_EQ(tree.Root().categories.size(), 3u);
  EXPECT_EQ(tree.Root().categories[0]->category->Name(), "Bank");
  TNode* webNode = nullptr;
  for (auto& c : tree.Root().categories)
    if (c->category->Name() == "Web") webNode = c.get();
  ASSERT_NE(webNode, nullptr);
  tree.Load(*webNode);
  ASSERT_EQ(webNode->entries.size(), 4u);
  EXPECT_EQ(webNode->entries.front()->Title(), "minus");
  EXPECT_EQ(webNode->entries.back()->Title(), "nine");
  EXPECT_TRUE(tree.TakeWarnings().empty());

  tree.Renumber(tree.Root());
  tree.Renumber(*webNode);
  const std::vector<std::string> order = Titles(*webNode);
  TqmRepositoryTree again(g_);
  again.LoadAll(again.Root());
  for (size_t i = 0; i < again.Root().categories.size(); ++i)
    EXPECT_EQ(again.Root().categories[i]->category->SortOrder(), int32_t(i));
  for (auto& c : again.Root().categories) {
    if (c->category->Name() != "Web") continue;
    EXPECT_EQ(Titles(*c), order);
    for (size_t i = 0; i < c->entries.size(); ++i) EXPECT_EQ(c->entries[i]->SortOrder(), int32_t(i));
    // Sort orders are unique now: each entry is found by its number too.
    for (int32_t i = 0; i < 4; ++i) {
      TqmRepositoryEntry e;
      ASSERT_TRUE(g_.LoadEntry(c->FolderPath(), i, e));
      EXPECT_EQ(e.Title(), order[size_t(i)]);
    }
  }
}

TEST_F(RepositoryTreeTest, SearchFindsCategoriesBeforeWhatIsInThemInDisplayOrder) {
  TqmCategory& forums = AddCategory("Forums", 0);
  TqmCategory& rust = AddCategory("Rust forum", 0, &forums);
  AddEntry(forums, "Go forum", 1, "hunter2");
  AddEntry(rust, "Users", 0);
  AddEntry(forums, "Caf\xE9", 0);
  TqmRepositoryTree tree(g_);
  auto hits = tree.Search(tree.Root(), "FORUM", false, false);
  ASSERT_EQ(hits.size(), 3u);
  EXPECT_EQ(hits[0].entry, nullptr);
  EXPECT_EQ(hits[0].node->category->Name(), "Forums");
  EXPECT_EQ(hits[1].node->category->Name(), "Rust forum");
  ASSERT_NE(hits[2].entry, nullptr);
  EXPECT_EQ(hits[2].entry->Title(), "Go forum");
  EXPECT_TRUE(tree.Search(tree.Root(), "FORUM", true, false).empty());
  hits = tree.Search(tree.Root(), "hunter2", false, true);
  ASSERT_EQ(hits.size(), 1u);
  EXPECT_EQ(hits[0].entry->Title(), "Go forum");
  EXPECT_EQ(tree.Search(tree.Root(), "CAF\xC9", false, false).size(), 1u);
}

TEST_F(RepositoryTreeTest, OneDamagedRecordIsNamedAndTheRestOfItsCategoryIsShown) {
  TqmCategory& web = AddCategory("Web", 0);
  TqmCategory& mail = AddCategory("Mail", 1);
  AddEntry(web, "first", 0);
  const std::string damaged = AddEntry(web, "second", 1);
  AddEntry(web, "third", 2);
  AddEntry(mail, "inbox", 0);
  const std::string mailRecord =
      std::string(W::kRepositoryRoot) + mail.FolderPath() + W::kCategoryTemplateFile;
  g_.CloseSafe();
  test::DamagePagePayload(SafeFile(), kPassword, damaged, 0);
  test::DamagePagePayload(SafeFile(), kPassword, mailRecord, 0);
  g_.OpenSafeByName("Alpha", kPassword);

  TqmRepositoryTree tree(g_);
  tree.LoadAll(tree.Root());
  ASSERT_EQ(tree.Root().categories.size(), 1u);  // Mail's record cannot be read
  EXPECT_EQ(Titles(*tree.Root().categories[0]), (std::vector<std::string>{"first", "third"}));
  const auto warnings = tree.TakeWarnings();
  ASSERT_EQ(warnings.size(), 2u) << Joined(warnings);
  EXPECT_TRUE(AnyHas(warnings, "\"" + damaged + "\" cannot be read from byte 0 on")) << Joined(warnings);
  EXPECT_TRUE(AnyHas(warnings, mailRecord)) << Joined(warnings);
  EXPECT_TRUE(tree.TakeWarnings().empty());
}

TEST_F(RepositoryTreeTest, WhileARecordCannotBeReadNothingItMayNameIsDeleted) {
  TqmCategory& papers = AddCategory("Papers", 0);
  WriteFileBytes(dir_.file("scan.pdf"), "scan");
  const std::string attached = g_.AttachFile(dir_.file("scan.pdf"));
  ASSERT_EQ(attached, "scan.pdf");
  const std::string unreadable = AddEntry(papers, "copy", 1);
  g_.CloseSafe();
  test::DamagePagePayload(SafeFile(), kPassword, unreadable, 0);
  g_.OpenSafeByName("Alpha", kPassword);
  // The damaged entry might name the file: it is kept.
  EXPECT_TRUE(g_.ReleaseAttachedFile(attached));
  EXPECT_EQ(g_.ExtractAttachedFile(attached), g_.AttachmentsTempFolder() + "scan.pdf");
}

// --- The deep check and the repair
// ----------------------------------------------------------------------------

TEST_F(RepositoryTreeTest, TheDeepCheckNamesADamagedAttachmentAndADamagedLockedFile) {
  TqmCategory& web = AddCategory("Web", 0);
  AddEntry(web, "fine", 0);
  std::string big(9000, 'z');
  for (size_t i = 0; i < big.size(); ++i) big[i] = char(i * 13);
  WriteFileBytes(dir_.file("scan.pdf"), big);
  WriteFileBytes(dir_.file("letter.txt"), big);
  ASSERT_EQ(g_.AttachFile(dir_.file("scan.pdf")), "scan.pdf");
  ASSERT_TRUE(g_.CreateFolder(g_.FileLockerRoot(), "Docs"));
  ASSERT_TRUE(g_.LockFile(g_.FileLockerRoot() + "Docs\\", dir_.file("letter.txt"), true))
      << g_.LastLockError();
  EXPECT_EQ(DeepCheckSafe(g_), std::vector<std::string>{});

  g_.CloseSafe();
  test::DamagePagePayload(SafeFile(), kPassword, std::string(W::kAttachedFilesFolder) + "scan.pdf", 2);
  test::DamagePagePayload(SafeFile(), kPassword, "\\File Locker\\Docs\\letter.txt", 1);
  g_.OpenSafeByName("Alpha", kPassword);
  const auto problems = DeepCheckSafe(g_);
  ASSERT_EQ(problems.size(), 2u) << Joined(problems);
  EXPECT_TRUE(AnyHas(problems, "The attached file \"scan.pdf\" cannot be read from byte 4032 on"))
      << Joined(problems);
  EXPECT_TRUE(AnyHas(problems,
                     "The locked file \"\\File Locker\\Docs\\letter.txt\" cannot be read from byte 2016 on"))
      << Joined(problems);
}

TEST_F(RepositoryTreeTest, TheDeepCheckNamesRecordsThatParseToNothingOrDoNotReadBack) {
  TqmCategory& web = AddCategory("Web", 0);
  const std::string garbled = AddEntry(web, "garbled", 0);
  const std::string folder = std::string(W::kRepositoryRoot) + web.FolderPath();
  // A value that held "</field>" before such values were refused left text beside the fields.
  WriteRecord(folder + "1.entry",
              "<entry sortorder=\"1\"><! CDATA[]]> <field sortorder=\"0\" name=\"Title\" type=\"0\" "
              "required=\"1\">forge</field><field sortorder=\"1\" name=\"Note\" type=\"10\" "
              "required=\"0\">x</field>\n"
              "<field sortorder=\"0\" name=\"Title\" type=\"0\" required=\"1\">INJECTED</field> "
              "<autofill></autofill></entry>");
  WriteRecord(folder + "2.entry", "");  // an interrupted write
  ASSERT_TRUE(g_.Wrapper().Container()->ForceDirectories(std::string(W::kRepositoryRoot) + "category7\\"));
  g_.CloseSafe();
  test::SetPageEncryptionMark(SafeFile(), kPassword, garbled, 0, 0);  // one bit: read as plain
  g_.OpenSafeByName("Alpha", kPassword);

  const auto problems = DeepCheckSafe(g_);
  EXPECT_EQ(problems.size(), 5u) << Joined(problems);
  EXPECT_TRUE(AnyHas(problems, "container: file item")) << Joined(problems);
  EXPECT_TRUE(AnyHas(problems, "is marked with encryption type 0, but the file needs 1")) << Joined(problems);
  EXPECT_TRUE(AnyHas(problems, "The entry record \"" + garbled + "\" holds no entry record"))
      << Joined(problems);
  EXPECT_TRUE(
      AnyHas(problems, "The entry record \"" + folder + "1.entry\" does not read back as it is stored"))
      << Joined(problems);
  EXPECT_TRUE(AnyHas(problems, "The entry record \"" + folder + "2.entry\" is empty")) << Joined(problems);
  EXPECT_TRUE(
      AnyHas(problems, "The category folder \"\\Password Repository\\category7\\\" holds no category record"))
      << Joined(problems);
}

TEST_F(RepositoryTreeTest, ARepairSetsAWrongPageMarkRightAndSaysWhatItCouldNotMend) {
  TqmCategory& web = AddCategory("Web", 0);
  const std::string garbled = AddEntry(web, "garbled", 0);
  g_.CloseSafe();
  test::SetPageEncryptionMark(SafeFile(), kPassword, garbled, 0, 0);
  g_.OpenSafeByName("Alpha", kPassword);
  TqmRepairResult mended = RepairSafe(g_);
  EXPECT_TRUE(mended.rebuilt);
  EXPECT_TRUE(mended.Whole()) << Joined(mended.remaining) << Joined(mended.lost);
  ASSERT_EQ(mended.mended.size(), 1u);
  EXPECT_TRUE(Has(mended.mended[0], garbled)) << mended.mended[0];
  TqmRepositoryTree tree(g_);
  tree.LoadAll(tree.Root());
  EXPECT_EQ(Titles(*tree.Root().categories.at(0)), std::vector<std::string>{"garbled"});

  // A category record an interrupted write left empty: the rebuild cannot mend it, and says so.
  const std::string record = std::string(W::kRepositoryRoot) + web.FolderPath() + W::kCategoryTemplateFile;
  WriteRecord(record, "");
  TqmRepairResult left = RepairSafe(g_);
  EXPECT_TRUE(left.rebuilt);
  EXPECT_FALSE(left.Whole());
  ASSERT_EQ(left.remaining.size(), 1u) << Joined(left.remaining);
  EXPECT_TRUE(Has(left.remaining[0], record)) << left.remaining[0];

  // A page that cannot be read is zeroed, and the loss is listed.
  g_.SaveCategory(web);
  WriteFileBytes(dir_.file("a.bin"), std::string(5000, 'a'));
  ASSERT_TRUE(g_.LockFile(g_.FileLockerRoot(), dir_.file("a.bin"), true));
  g_.CloseSafe();
  test::DamagePagePayload(SafeFile(), kPassword, "\\File Locker\\a.bin", 1);
  g_.OpenSafeByName("Alpha", kPassword);
  TqmRepairResult lost = RepairSafe(g_);
  EXPECT_FALSE(lost.Whole());
  ASSERT_EQ(lost.lost.size(), 1u);
  EXPECT_TRUE(Has(lost.lost[0], "Bytes 2016 to 4031 of \"\\File Locker\\a.bin\" could not be read"))
      << lost.lost[0];
  EXPECT_TRUE(lost.remaining.empty()) << Joined(lost.remaining);
}

}  // namespace
}  // namespace quillmar
