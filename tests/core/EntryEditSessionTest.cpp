// The edit session of an entry on a real Safe: values, attached files shared by two entries, the
// overwrite question, reminders made and deleted during the edit, commit, rollback and delete, each
// checked in the Safe afterwards.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <memory>

#include "base/Exception.h"
#include "core/qmEntryEditSession.h"
#include "core/qmGlobal.h"
#include "core/qmRepositoryTree.h"
#include "model/RecordCheck.h"
#include "model/qmCategory.h"
#include "model/qmReminderEvent.h"
#include "model/qmRepositoryEntry.h"
#include "support/ExpectThrow.h"
#include "support/ScriptedPrompter.h"
#include "support/TempDir.h"

namespace quillmar {
namespace {

namespace fs = std::filesystem;
using test::ReadFileBytes;
using test::TempDir;
using test::TScriptedPrompter;
using test::WriteFileBytes;

constexpr char kExists[] = "File exists. Do you want to overwrite it?";
// Field positions of the test category's template.
constexpr int kTitle = 0, kScan = 1, kRemind = 2, kNotes = 4;  // 3 is the check box

class EntryEditSessionTest : public ::testing::Test {
protected:
  EntryEditSessionTest() : g_(dir_.file("home"), {"quillmar"}, &prompter_) {
    TqmSFSWrapper maker;
    maker.CreateEmptySafe(g_.SafeFile("Alpha"), "secret-1");
    maker.CloseSafe();
    g_.OpenSafeByName("Alpha", "secret-1");
    cat_.SetName("Papers");
    cat_.SetIcon("ICON-BYTES");
    cat_.Fields().Add(TqmField(0, "Title", ftNormalText, true));
    cat_.Fields().Add(TqmField(1, "Scan", ftFile, false));
    cat_.Fields().Add(TqmField(2, "Remind", ftReminder, false));
    cat_.Fields().Add(TqmField(3, "Agree", ftYesNo, true));
    cat_.Fields().Add(TqmField(4, "Notes", ftTextMemo, false));
    g_.SaveCategory(cat_);
  }

  std::string Disk(const std::string& name, const std::string& content) {
    fs::create_directories(fs::path(dir_.file(name)).parent_path());
    WriteFileBytes(dir_.file(name), content);
    return dir_.file(name);
  }

  // A saved entry titled title whose Scan names the attached file of diskFile (when given).
  std::unique_ptr<TqmRepositoryEntry> Saved(const std::string& title, const std::string& diskFile = "") {
    auto e = std::make_unique<TqmRepositoryEntry>(&cat_);
    TqmEntryEditSession s(g_, *e);
    s.SetValue(kTitle, title);
    if (!diskFile.empty()) s.AttachFile(kScan, diskFile);
    s.Commit();
    return e;
  }

  // The entries of the category as stored, by title.
  std::unique_ptr<TqmRepositoryEntry> Stored(const std::string& title) {
    for (int i = 0;; ++i) {
      auto e = std::make_unique<TqmRepositoryEntry>(&cat_);
      if (!g_.LoadEntryAt(cat_.FolderPath(), i, *e)) return nullptr;
      if (e->Title() == title) return e;
    }
  }

  bool Attached(const std::string& name) { return g_.Wrapper().AttachedFileExists(name); }
  std::string Content(const std::string& name) {
    return ReadFileBytes(TqmEntryEditSession::ViewingCopy(g_, name));
  }
  std::string ReminderFile(const std::string& id) {
    TqmReminderEvent r;
    return g_.LoadReminder(id, r) ? r.name() : std::string("<none>");
  }

  TempDir dir_;
  TScriptedPrompter prompter_;
  TqmGlobal g_;
  TqmCategory cat_;
};

TEST_F(EntryEditSessionTest, ANewEntryTakesTheTemplateAndIconAndGoesLast) {
  Saved("one");
  Saved("two");
  Saved("three");
  TqmRepositoryEntry e(&cat_);
  TqmEntryEditSession s(g_, e);
  EXPECT_TRUE(s.IsNew());
  ASSERT_EQ(e.Fields().Count(), 5);
  EXPECT_EQ(e.FieldAt(kScan).Name(), "Scan");
  EXPECT_TRUE(e.FieldAt(kTitle).IsRequired());
  EXPECT_EQ(e.Icon(), "ICON-BYTES");
  s.SetValue(kTitle, "four");
  s.Commit();
  EXPECT_FALSE(s.IsNew());
  EXPECT_FALSE(e.FileName().empty());
  EXPECT_EQ(e.SortOrder(), 3);
  auto stored = Stored("four");
  ASSERT_NE(stored, nullptr);
  EXPECT_EQ(stored->GetText(), e.GetText());
  EXPECT_ANY_THROW(s.Rollback()) << "a finished session takes no more calls";
}

TEST_F(EntryEditSessionTest, TheRequiredCheckNamesTheFirstEmptyField) {
  TqmRepositoryEntry e(&cat_);
  e.Fields().Add(TqmField(0, "Title", ftNormalText, true));
  e.Fields().Add(TqmField(1, "Agree", ftYesNo, true));  // a box always shows a value
  e.Fields().Add(TqmField(2, "Future", 42, true));      // no editor can fill it
  e.Fields().Add(TqmField(3, "Remind", ftReminder, true));
  e.Fields().Add(TqmField(4, "Password", ftPassword, true));
  EXPECT_EQ(FirstEmptyRequiredField(e), 0);
  e.FieldAt(0).SetValue(" ");  // blanks are a value
  EXPECT_EQ(FirstEmptyRequiredField(e), 3);
  EXPECT_EQ(FirstEmptyRequiredField(e, true), 4) << "the command line skips reminder fields";
  e.FieldAt(4).SetValue("x");
  EXPECT_EQ(FirstEmptyRequiredField(e, true), -1);
}

TEST_F(EntryEditSessionTest, RecordBreakingTextIsRefusedAndNothingIsWritten) {
  auto kept = Saved("kept");
  TqmEntryEditSession s(g_, *kept);
  s.SetValue(kNotes, "x</field><field sortorder=\"0\" name=\"Title\">forged");
  EXPECT_NE(s.StorageProblem().find("\"Notes\""), std::string::npos) << s.StorageProblem();
  EXPECT_EQ(s.StorageProblem().find("forged"), std::string::npos) << "a value is never quoted";
  EXPECT_THROW(s.Commit(), ERecordRefused);
  EXPECT_FALSE(s.Finished());
  EXPECT_EQ(Stored("kept")->FieldAt(kNotes).Value(), "");
  // Mended, it commits.
  s.SetValue(kNotes, "plain");
  s.Commit();
  EXPECT_EQ(Stored("kept")->FieldAt(kNotes).Value(), "plain");

  // A new entry refused keeps no file name and takes no place.
  TqmRepositoryEntry fresh(&cat_);
  TqmEntryEditSession n(g_, fresh);
  n.SetValue(kTitle, "a]]>b");
  n.SetValue(kNotes, "<autofill>");
  EXPECT_THROW(n.Commit(), ERecordRefused);
  EXPECT_TRUE(fresh.FileName().empty());
  EXPECT_EQ(g_.CountEntries(cat_.FolderPath()), 1);
}

TEST_F(EntryEditSessionTest, AFileTwoEntriesNameIsReleasedOnlyWhenTheLastLetsGo) {
  const std::string scan = Disk("scan.pdf", "scan v1");
  auto passport = Saved("Passport", scan);
  prompter_.ExpectYesNo(kExists, true);  // the Visa names the same file: attaching it again asks
  auto visa = Saved("Visa", scan);
  EXPECT_EQ(Content("scan.pdf"), "scan v1");

  // Passport takes another file: until its save the old one stays; after it Visa still names it.
  {
    TqmEntryEditSession s(g_, *passport);
    EXPECT_EQ(s.AttachFile(kScan, Disk("renewed.pdf", "renewed")), "renewed.pdf");
    EXPECT_TRUE(Attached("scan.pdf"));
    s.Commit();
  }
  EXPECT_TRUE(Attached("scan.pdf"));
  EXPECT_TRUE(Attached("renewed.pdf"));
  EXPECT_EQ(Stored("Passport")->FieldAt(kScan).Value(), "renewed.pdf");

  // Visa empties its field: nobody names scan.pdf any more.
  {
    TqmEntryEditSession s(g_, *visa);
    s.ReleaseFile(kScan);
    EXPECT_TRUE(Attached("scan.pdf")) << "released only after the save";
    s.Commit();
  }
  EXPECT_FALSE(Attached("scan.pdf"));
  EXPECT_TRUE(Attached("renewed.pdf"));
  EXPECT_TRUE(g_.Wrapper().ListNames(TqmSFSWrapper::kAttachedFilesFolder, false).size() == 1u);
}

TEST_F(EntryEditSessionTest, RollbackRemovesWhatTheSessionAttachedAndRestoresWhatItReplaced) {
  const std::string scan = Disk("scan.pdf", "scan v1");
  auto passport = Saved("Passport", scan);
  prompter_.ExpectYesNo(kExists, true);
  auto visa = Saved("Visa", scan);
  const std::string before = Stored("Passport")->GetText();
  {
    TqmEntryEditSession s(g_, *passport);
    s.AttachFile(kScan, Disk("fresh.pdf", "fresh"));
    // The same name as the file Visa names: asked, replaced for both...
    prompter_.ExpectYesNo(kExists, true);
    s.AttachFile(kScan, Disk("other/scan.pdf", "scan v2"));
    EXPECT_EQ(Content("scan.pdf"), "scan v2");
    // ...and replaced once more in the same session.
    prompter_.ExpectYesNo(kExists, true);
    s.AttachFile(kScan, Disk("third/scan.pdf", "scan v3"));
    s.SetValue(kTitle, "Changed");
    s.SetIcon("NEW-ICON");
    s.SetAutoFill("form");
    s.Rollback();
  }
  EXPECT_EQ(passport->GetText(), before) << "the entry in memory is as it was";
  EXPECT_EQ(Stored("Passport")->GetText(), before);
  EXPECT_FALSE(Attached("fresh.pdf"));
  EXPECT_EQ(Content("scan.pdf"), "scan v1") << "Visa's file has its old content again";
  EXPECT_EQ(g_.Wrapper().ListNames(TqmSFSWrapper::kAttachedFilesFolder, false).size(), 1u)
      << "nothing kept aside is left behind";

  // A session that is dropped unfinished rolls back as well.
  {
    TqmEntryEditSession s(g_, *visa);
    s.AttachFile(kScan, Disk("dropped.pdf", "x"));
  }
  EXPECT_FALSE(Attached("dropped.pdf"));
  EXPECT_EQ(visa->FieldAt(kScan).Value(), "scan.pdf");
}

TEST_F(EntryEditSessionTest, ARefusedOverwriteChangesNothing) {
  auto passport = Saved("Passport", Disk("scan.pdf", "scan v1"));
  auto visa = Saved("Visa", Disk("visa.pdf", "visa"));
  TqmEntryEditSession s(g_, *visa);
  prompter_.ExpectYesNo(kExists, false);
  EXPECT_EQ(s.AttachFile(kScan, Disk("other/scan.pdf", "scan v2")), "");
  EXPECT_EQ(visa->FieldAt(kScan).Value(), "visa.pdf") << "the field keeps its file";
  s.Commit();
  EXPECT_EQ(Content("scan.pdf"), "scan v1");
  EXPECT_TRUE(Attached("visa.pdf"));
  EXPECT_EQ(Stored("Visa")->FieldAt(kScan).Value(), "visa.pdf");
}

TEST_F(EntryEditSessionTest, AttachingNeedsAFileFieldAndAStorableName) {
  auto e = Saved("Passport");
  TqmEntryEditSession s(g_, *e);
  EXPECT_THROW(s.AttachFile(kTitle, Disk("a.pdf", "a")), EQuillmarError);
  EXPECT_THROW(s.AttachFile(99, Disk("a.pdf", "a")), EQuillmarError);
  EXPECT_THROW(s.AttachFile(kScan, Disk("back\\slash.pdf", "a")), ERecordRefused);
  EXPECT_ANY_THROW(s.AttachFile(kScan, dir_.file("missing.pdf")));
  EXPECT_TRUE(g_.Wrapper().ListNames(TqmSFSWrapper::kAttachedFilesFolder, false).empty());
  EXPECT_EQ(e->FieldAt(kScan).Value(), "");
}

TEST_F(EntryEditSessionTest, TheViewingCopyIsReadOnlyAndAMissingFileIsSaidSo) {
  auto e = Saved("Passport", Disk("scan.pdf", "the bytes"));
  const std::string copy = TqmEntryEditSession::ViewingCopy(g_, "scan.pdf");
  EXPECT_EQ(ReadFileBytes(copy), "the bytes");
  struct stat st {};
  ASSERT_EQ(::stat(copy.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, static_cast<mode_t>(S_IRUSR));
  EXPECT_EQ(TqmEntryEditSession::ViewingCopy(g_, "scan.pdf"), copy) << "a second Open replaces the copy";
  EXPECT_EQ(test::ExpectThrow<EQuillmarError>([&] { TqmEntryEditSession::ViewingCopy(g_, "gone.pdf"); }),
            kMsgFileDoesNotExist);
  EXPECT_EQ(test::ExpectThrow<EQuillmarError>([&] { TqmEntryEditSession::ViewingCopy(g_, ""); }),
            kMsgFileDoesNotExist);
}

TEST_F(EntryEditSessionTest, RemindersMadeOrDeletedInASessionAreUndoneByRollback) {
  const int before = g_.ReminderCount();
  // Created, then rolled back: none is left to come due for no entry.
  auto e = Saved("Passport");
  {
    TqmEntryEditSession s(g_, *e);
    TqmReminderEvent r;
    r.SetName("renew passport");
    const std::string id = s.SaveReminder(kRemind, r);
    EXPECT_EQ(e->FieldAt(kRemind).Value(), id);
    EXPECT_EQ(g_.ReminderCount(), before + 1);
    s.Rollback();
  }
  EXPECT_EQ(g_.ReminderCount(), before);
  EXPECT_EQ(e->FieldAt(kRemind).Value(), "");

  // Created and committed: the entry names it.
  std::string id;
  {
    TqmEntryEditSession s(g_, *e);
    TqmReminderEvent r;
    r.SetName("renew passport");
    id = s.SaveReminder(kRemind, r);
    s.Commit();
  }
  EXPECT_EQ(Stored("Passport")->FieldAt(kRemind).Value(), id);

  // Changed, then deleted, then rolled back: stored again as it was before the session.
  {
    TqmEntryEditSession s(g_, *e);
    TqmReminderEvent r;
    ASSERT_TRUE(g_.LoadReminder(id, r));
    r.SetName("changed");
    s.SaveReminder(kRemind, r);
    EXPECT_EQ(ReminderFile(id), "changed");
    s.DeleteReminder(kRemind);
    EXPECT_EQ(ReminderFile(id), "<none>");
    EXPECT_EQ(e->FieldAt(kRemind).Value(), "");
    s.Rollback();
  }
  EXPECT_EQ(ReminderFile(id), "renew passport");
  EXPECT_EQ(e->FieldAt(kRemind).Value(), id);
  EXPECT_EQ(g_.ReminderCount(), before + 1);

  // A viewer's Delete commits at once: the entry no longer names a reminder that is gone.
  {
    TqmEntryEditSession s(g_, *e);
    s.DeleteReminder(kRemind);
    s.Commit();
  }
  EXPECT_EQ(ReminderFile(id), "<none>");
  EXPECT_EQ(Stored("Passport")->FieldAt(kRemind).Value(), "");
}

TEST_F(EntryEditSessionTest, DeleteTakesWhatOnlyTheEntryNamesAndRenumbers) {
  const std::string shared = Disk("shared.pdf", "s");
  TqmRepositoryTree tree(g_);
  Saved("first", shared);
  prompter_.ExpectYesNo(kExists, true);
  Saved("second", shared);
  Saved("third", Disk("own.pdf", "o"));
  Saved("fourth");
  tree.Load(tree.Root());
  ASSERT_EQ(tree.Root().categories.size(), 1u);
  auto& node = *tree.Root().categories[0];
  tree.Load(node);
  ASSERT_EQ(node.entries.size(), 4u);

  // The one whose file another entry names: the file stays.
  tree.DeleteEntry(node, *node.entries[0]);
  EXPECT_TRUE(Attached("shared.pdf"));
  // The one that alone names its file: the file goes with it.
  tree.DeleteEntry(node, *node.entries[1]);
  EXPECT_FALSE(Attached("own.pdf"));
  EXPECT_EQ(g_.CountEntries(cat_.FolderPath()), 2);
  // The entries left are numbered 0..1 in the Safe, in their order.
  EXPECT_EQ(Stored("second")->SortOrder(), 0);
  EXPECT_EQ(Stored("fourth")->SortOrder(), 1);
  EXPECT_EQ(Stored("first"), nullptr);

  // A new entry has nothing to delete.
  TqmRepositoryEntry fresh(&cat_);
  TqmEntryEditSession s(g_, fresh);
  EXPECT_THROW(s.DeleteEntry({}), EQuillmarError);
}

// Another program (a second TqmGlobal on the same Safe, as the command line beside the desktop) changes
// or deletes the entry while its session is open: the session sees it, and overwriting, keeping theirs
// and a renumbering made meanwhile each end as they say.
TEST_F(EntryEditSessionTest, AnotherProgramsChangeOfTheEntryIsSeenAndEachAnswerEndsAsItSays) {
  TqmGlobal other(dir_.file("home"), {"quillmar"});
  other.OpenSafeByName("Alpha", "secret-1");
  auto mine = Saved("mine");
  Saved("sibling");
  // The other program changes the stored entry: change(entry) edits its copy, which is then saved.
  auto theirs = [&](const std::function<void(TqmRepositoryEntry&)>& change) {
    TqmRepositoryEntry copy(&cat_);
    for (int i = 0; other.LoadEntryAt(cat_.FolderPath(), i, copy); ++i)
      if (copy.FileName() == mine->FileName()) break;
    ASSERT_EQ(copy.FileName(), mine->FileName());
    change(copy);
    other.SaveEntry(cat_.FolderPath(), copy);
  };

  {
    // A renumbering is no change of the entry, and OK keeps the number the Safe gave it.
    TqmEntryEditSession s(g_, *mine);
    EXPECT_EQ(s.StoredChange(), TqmStoredEntry::Unchanged);
    theirs([](TqmRepositoryEntry& e) { e.SetSortOrder(7); });
    EXPECT_EQ(s.StoredChange(), TqmStoredEntry::Unchanged);
    // Their change of a value is one; so is their change of the icon.
    theirs([](TqmRepositoryEntry& e) { e.FieldAt(kNotes).SetValue("their note"); });
    EXPECT_EQ(s.StoredChange(), TqmStoredEntry::Changed);
    // Overwrite: ours is written, with their number.
    s.SetValue(kTitle, "ours");
    s.Commit();
    ASSERT_NE(Stored("ours"), nullptr);
    EXPECT_EQ(Stored("ours")->FieldAt(kNotes).Value(), "");
    EXPECT_EQ(Stored("ours")->SortOrder(), 7);
  }
  {
    // Keep theirs: what the session attached goes, and the entry in memory becomes theirs.
    TqmEntryEditSession s(g_, *mine);
    theirs([](TqmRepositoryEntry& e) {
      e.FieldAt(kTitle).SetValue("theirs");
      e.SetIcon("THEIR-ICON");
    });
    EXPECT_EQ(s.StoredChange(), TqmStoredEntry::Changed);
    s.SetValue(kTitle, "not kept");
    s.AttachFile(kScan, Disk("scan.pdf", "x"));
    ASSERT_TRUE(Attached("scan.pdf"));
    EXPECT_TRUE(s.KeepStored());
    EXPECT_TRUE(s.Finished());
    EXPECT_FALSE(Attached("scan.pdf"));
    EXPECT_EQ(mine->Title(), "theirs");
    EXPECT_EQ(mine->Icon(), "THEIR-ICON");
    EXPECT_EQ(mine->FieldAt(kScan).Value(), "");
    ASSERT_NE(Stored("theirs"), nullptr);
    EXPECT_EQ(Stored("theirs")->GetText(), mine->GetText());
  }
  {
    // Deleted meanwhile: keeping theirs leaves it deleted; overwriting writes it again.
    TqmEntryEditSession s(g_, *mine);
    EXPECT_EQ(s.StoredChange(), TqmStoredEntry::Unchanged);
    ASSERT_TRUE(other.DeleteEntry(cat_.FolderPath(), mine->FileName()));
    EXPECT_EQ(s.StoredChange(), TqmStoredEntry::Deleted);
    s.SetValue(kTitle, "dropped");
    EXPECT_FALSE(s.KeepStored());
    EXPECT_EQ(mine->Title(), "theirs");
    EXPECT_EQ(Stored("theirs"), nullptr);
  }
  {
    TqmEntryEditSession s(g_, *mine);
    EXPECT_EQ(s.StoredChange(), TqmStoredEntry::Deleted);
    s.SetValue(kTitle, "back");
    s.Commit();
    ASSERT_NE(Stored("back"), nullptr);
    EXPECT_EQ(Stored("back")->FileName(), mine->FileName());
  }
  // A new entry has nothing stored to differ from, nor to keep.
  TqmRepositoryEntry fresh(&cat_);
  TqmEntryEditSession s(g_, fresh);
  EXPECT_EQ(s.StoredChange(), TqmStoredEntry::Unchanged);
  EXPECT_THROW(s.KeepStored(), EQuillmarError);
  other.CloseSafe();
}

}  // namespace
}  // namespace quillmar
