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
#include "model/qmReminderEvent.h"
#include "model/qmRepositoryEntry.h"
#include "support/ContainerDamage.h"
#include "support/ScriptedPrompter.h"
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

// The first full read on a worker: nothing of the tree changes until AttachRead, which leaves the tree
// as LoadAll would; a cancel keeps the tree as it was.
TEST_F(RepositoryTreeTest, ReadUnloadedChangesNothingUntilAttachedAndACancelKeepsTheTree) {
  TqmCategory& web = AddCategory("Web", 0);
  TqmCategory& shops = AddCategory("Shops", 0, &web);
  AddCategory("Mail", 1);
  AddEntry(web, "forum", 0);
  AddEntry(shops, "store b", 1);
  AddEntry(shops, "store a", 0);

  TqmRepositoryTree tree(g_);
  tree.Load(tree.Root());
  ASSERT_EQ(tree.Root().categories.size(), 2u);
  TNode& webNode = *tree.Root().categories[0];
  ASSERT_FALSE(webNode.loaded);

  // Cancelled at the first category it reads: nothing to attach, the tree untouched.
  TqmRepositoryTree::TPendingRead cancelled;
  int reports = 0;
  EXPECT_FALSE(
      tree.ReadUnloaded(tree.Root(), cancelled, [&](double, bool& cancel) { cancel = ++reports >= 2; }));
  EXPECT_FALSE(webNode.loaded);
  EXPECT_TRUE(webNode.categories.empty() && webNode.entries.empty());

  TqmRepositoryTree::TPendingRead pending;
  double last = 0;
  ASSERT_TRUE(tree.ReadUnloaded(tree.Root(), pending, [&](double fraction, bool&) {
    EXPECT_GE(fraction, last);
    EXPECT_LE(fraction, 1.0);
    last = fraction;
  }));
  EXPECT_FALSE(webNode.loaded) << "read, not attached yet";
  EXPECT_TRUE(webNode.categories.empty() && webNode.entries.empty());
  tree.AttachRead(pending);

  TqmRepositoryTree whole(g_);
  whole.LoadAll(whole.Root());
  ASSERT_TRUE(webNode.loaded);
  ASSERT_EQ(webNode.categories.size(), 1u);
  TNode& shopsNode = *webNode.categories[0];
  EXPECT_EQ(shopsNode.parent, &webNode);
  EXPECT_TRUE(shopsNode.loaded);
  EXPECT_EQ(Titles(webNode), Titles(*whole.Root().categories[0]));
  EXPECT_EQ(Titles(shopsNode), (std::vector<std::string>{"store a", "store b"}));
  EXPECT_EQ(shopsNode.entries[0]->Parent(), shopsNode.category.get());
  EXPECT_TRUE(tree.Root().categories[1]->loaded);
  EXPECT_TRUE(tree.TakeWarnings().empty());
}

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
  // Mail's record cannot be read: Mail is shown under its folder's name, last, with its entry.
  ASSERT_EQ(tree.Root().categories.size(), 2u);
  EXPECT_EQ(Titles(*tree.Root().categories[0]), (std::vector<std::string>{"first", "third"}));
  EXPECT_TRUE(tree.Root().categories[0]->problem.empty());
  const TNode& lost = *tree.Root().categories[1];
  EXPECT_EQ(lost.category->Name(), mail.FolderName());
  EXPECT_EQ(lost.category->FolderName(), mail.FolderName());
  EXPECT_EQ(lost.category->Fields().Count(), 0);
  EXPECT_TRUE(Has(lost.problem, mailRecord)) << lost.problem;
  EXPECT_EQ(Titles(lost), std::vector<std::string>{"inbox"});
  EXPECT_TRUE(tree.Root().HoldsDamage());
  EXPECT_EQ(tree.Root().categories[0]->unreadableEntries.size(), 1u);
  const auto warnings = tree.TakeWarnings();
  ASSERT_EQ(warnings.size(), 2u) << Joined(warnings);
  EXPECT_TRUE(AnyHas(warnings, "\"" + damaged + "\" cannot be read from byte 0 on")) << Joined(warnings);
  EXPECT_TRUE(AnyHas(warnings, mailRecord)) << Joined(warnings);
  EXPECT_TRUE(tree.TakeWarnings().empty());

  // A renumbering around the damaged category never writes it (that would replace its record).
  tree.Renumber(tree.Root());
  Reopen();
  TqmRepositoryTree again(g_);
  again.Load(again.Root());
  ASSERT_EQ(again.Root().categories.size(), 2u);
  EXPECT_FALSE(again.Root().categories[1]->problem.empty());
  EXPECT_TRUE(AnyHas(DeepCheckSafe(g_), mailRecord));
}

TEST_F(RepositoryTreeTest, AnEntryRecordReadBackWithZerosIsNamedAndShownAsFarAsItReads) {
  TqmCategory& web = AddCategory("Web", 0);
  // Three pages: the title on the first, the notes beyond it.
  const std::string path = AddEntry(web, "long", 0, std::string(5000, 'n'));
  const std::string empty = AddEntry(web, "short", 1);
  const std::string folder = std::string(W::kRepositoryRoot) + web.FolderPath();
  WriteRecord(folder + "77.entry", std::string(40, '\0') + "<entry sortorder=\"2\">");
  // A repair zeroes a page it cannot read: the record then reads with zeros in it.
  g_.CloseSafe();
  test::DamagePagePayload(SafeFile(), kPassword, path, 1);
  g_.OpenSafeByName("Alpha", kPassword);
  ASSERT_TRUE(RepairSafe(g_).rebuilt);

  TqmRepositoryTree tree(g_);
  tree.LoadAll(tree.Root());
  const TNode& node = *tree.Root().categories.at(0);
  ASSERT_EQ(Titles(node), (std::vector<std::string>{"long", "short"}));
  ASSERT_EQ(node.damagedEntries.size(), 1u);
  EXPECT_EQ(node.damagedEntries.begin()->first, node.entries[0].get());
  EXPECT_TRUE(Has(node.damagedEntries.begin()->second, "\"" + path + "\" is damaged"))
      << Joined(tree.TakeWarnings());
  // No field of the zero-filled one can be read: it is left out, and named.
  ASSERT_EQ(node.unreadableEntries.size(), 1u);
  EXPECT_TRUE(Has(node.unreadableEntries[0], folder + "77.entry")) << node.unreadableEntries[0];
  const auto warnings = tree.TakeWarnings();
  EXPECT_EQ(warnings.size(), 2u) << Joined(warnings);
  (void)empty;
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

  // A category record an interrupted write left empty: its name is lost, and the repair says so; it
  // writes a record of its own so that the category's entry is shown again.
  const std::string record = std::string(W::kRepositoryRoot) + web.FolderPath() + W::kCategoryTemplateFile;
  WriteRecord(record, "");
  TqmRepairResult left = RepairSafe(g_);
  EXPECT_TRUE(left.rebuilt);
  EXPECT_FALSE(left.Whole());
  EXPECT_TRUE(left.remaining.empty()) << Joined(left.remaining);
  ASSERT_EQ(left.lost.size(), 1u) << Joined(left.lost);
  EXPECT_TRUE(Has(left.lost[0], record)) << left.lost[0];
  EXPECT_TRUE(Has(left.lost[0], "\"Recovered " + web.FolderName() + "\"")) << left.lost[0];

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

// One damaged page of a system record never locks the person out: the Safe opens, and a repair writes
// what the program cannot do without.
TEST_F(RepositoryTreeTest, ADamagedSettingsRecordOpensWithTheDefaultsAndARepairWritesThemBack) {
  TqmCategory& web = AddCategory("Web", 0);
  AddEntry(web, "kept", 0);
  g_.Settings().App.confDel.SetValue(false);
  g_.SaveSettings();
  TqmReminderEvent reminder;
  g_.SaveReminder(reminder);
  const std::string reminderPath = std::string(W::kRemindersFolder) + reminder.id() + ".reminder";
  g_.CloseSafe();
  test::DamagePagePayload(SafeFile(), kPassword, W::kSettingsFile, 0);
  test::DamagePagePayload(SafeFile(), kPassword, reminderPath, 0);

  test::TScriptedPrompter prompter;
  g_.SetPrompter(&prompter);
  g_.OpenSafeByName("Alpha", kPassword);
  EXPECT_TRUE(g_.SafeOpen());
  EXPECT_TRUE(Has(g_.SettingsProblem(), W::kSettingsFile)) << g_.SettingsProblem();
  EXPECT_TRUE(g_.Settings().App.confDel.Value());  // the default
  ASSERT_EQ(prompter.Messages.size(), 1u);
  EXPECT_TRUE(
      Has(prompter.Messages[0], std::string("The settings of this Safe cannot be read: The record \"") +
                                    W::kSettingsFile + "\" cannot be read"))
      << prompter.Messages[0];
  EXPECT_TRUE(Has(prompter.Messages[0], "The default settings are used")) << prompter.Messages[0];
  TqmRepositoryTree tree(g_);
  tree.LoadAll(tree.Root());
  EXPECT_EQ(Titles(*tree.Root().categories.at(0)), std::vector<std::string>{"kept"});

  TqmRepairResult result = RepairSafe(g_);
  ASSERT_TRUE(result.rebuilt);
  EXPECT_TRUE(result.remaining.empty()) << Joined(result.remaining);
  EXPECT_EQ(result.lost.size(), 2u) << Joined(result.lost);
  EXPECT_TRUE(AnyHas(result.lost, "the default settings were written in their place")) << Joined(result.lost);
  EXPECT_TRUE(
      AnyHas(result.lost, "The reminder record \"" + reminderPath + "\" could not be read; it was removed"))
      << Joined(result.lost);
  EXPECT_EQ(g_.ReminderCount(), 0);
  prompter.Messages.clear();
  Reopen();
  EXPECT_TRUE(g_.SettingsProblem().empty()) << g_.SettingsProblem();
  EXPECT_TRUE(prompter.Messages.empty());
  EXPECT_EQ(DeepCheckSafe(g_), std::vector<std::string>{});
  g_.SetPrompter(nullptr);
}

TEST_F(RepositoryTreeTest, ARepairWritesARecoveredRecordForADamagedCategorySoThatEveryEntryComesBack) {
  TqmCategory& web = AddCategory("Web", 0);
  TqmCategory& mail = AddCategory("Mail", 1);
  TqmCategory& inner = AddCategory("Inner", 0, &mail);
  AddEntry(mail, "inbox", 0, "notes of the inbox");
  AddEntry(mail, "outbox", 1);
  AddEntry(inner, "deep", 0);
  AddEntry(web, "site", 0);
  const std::string record = std::string(W::kRepositoryRoot) + mail.FolderPath() + W::kCategoryTemplateFile;
  g_.CloseSafe();
  test::DamagePagePayload(SafeFile(), kPassword, record, 0);
  g_.OpenSafeByName("Alpha", kPassword);

  TqmRepairResult result = RepairSafe(g_);
  ASSERT_TRUE(result.rebuilt);
  EXPECT_FALSE(result.Whole());  // the name and the template are lost
  EXPECT_TRUE(result.remaining.empty()) << Joined(result.remaining);
  ASSERT_EQ(result.lost.size(), 1u) << Joined(result.lost);
  EXPECT_TRUE(Has(result.lost[0], record)) << result.lost[0];
  EXPECT_TRUE(Has(result.lost[0],
                  "\"Recovered " + mail.FolderName() + "\" was written with the fields of its first entry"))
      << result.lost[0];

  TqmRepositoryTree tree(g_);
  tree.LoadAll(tree.Root());
  EXPECT_TRUE(tree.TakeWarnings().empty());
  ASSERT_EQ(tree.Root().categories.size(), 2u);
  const TNode& recovered = *tree.Root().categories[1];
  EXPECT_TRUE(recovered.problem.empty());
  EXPECT_EQ(recovered.category->Name(), "Recovered " + mail.FolderName());
  ASSERT_EQ(recovered.category->Fields().Count(), 2);
  EXPECT_EQ(recovered.category->Fields()[0].Name(), "Title");
  EXPECT_EQ(recovered.category->Fields()[1].Name(), "Notes");
  EXPECT_EQ(recovered.category->Fields()[1].Value(), "");  // a template holds no values
  EXPECT_EQ(Titles(recovered), (std::vector<std::string>{"inbox", "outbox"}));
  ASSERT_EQ(recovered.categories.size(), 1u);
  EXPECT_EQ(recovered.categories[0]->category->Name(), "Inner");
  EXPECT_EQ(Titles(*recovered.categories[0]), std::vector<std::string>{"deep"});

  EXPECT_EQ(DeepCheckSafe(g_), std::vector<std::string>{});
  const auto listed = RecoveredCategories(g_);
  ASSERT_EQ(listed.size(), 1u);
  EXPECT_TRUE(Has(listed[0], "\"Recovered " + mail.FolderName() + "\"")) << listed[0];
  // Once renamed it is the user's again.
  TqmCategory renamed(nullptr);
  renamed.SetFolderName(mail.FolderName());
  renamed.SetName("Mail");
  renamed.SetSortOrder(1);
  g_.SaveCategory(renamed);
  EXPECT_TRUE(RecoveredCategories(g_).empty());
}

}  // namespace
}  // namespace quillmar
