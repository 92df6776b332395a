// What one program sees of another's changes of a Safe both have open: the items sorted by what the
// program shows, and nothing read from what this layer cached before the change.
#include <gtest/gtest.h>

#include "SafeTestSupport.h"
#include "container/SingleFileSystem.h"
#include "model/qmCategory.h"
#include "model/qmField.h"
#include "model/qmRepositoryEntry.h"
#include "safe/qmSafeChanges.h"

namespace quillmar {
namespace {

using test::SafeFixture;
using W = TqmSFSWrapper;

TEST(SafeChanges, ContainerPathsAreSortedByWhatTheProgramShows) {
  const TqmSafeChanges c = TqmSafeChanges::FromPaths(
      3, {"\\Password Repository\\category1\\12.entry", "\\password repository\\7.ENTRY",
          "\\Password Repository\\category1\\category4\\3.entry", "\\File Locker\\Docs\\a.txt",
          "\\File Locker\\top.txt", "\\Quillmar.System.Info\\reminders\\r1.reminder",
          "\\Quillmar.System.Info\\icons.item\\x.ico"});
  EXPECT_EQ(c.Count, 3u);
  EXPECT_FALSE(c.Unknown);
  EXPECT_EQ(c.EntryFolders, (std::set<std::string>{"", "category1\\", "category1\\category4\\"}));
  EXPECT_FALSE(c.Categories);  // entries changed, not the tree
  // Item by item: the file names by category, the letter case as the container has it.
  EXPECT_EQ(c.EntryFiles.at("category1\\"), (std::set<std::string>{"12.entry"}));
  EXPECT_EQ(c.EntryFiles.at(""), (std::set<std::string>{"7.ENTRY"}));
  EXPECT_TRUE(c.CategoryFolders.empty());
  EXPECT_EQ(c.LockerFolders, (std::set<std::string>{"\\File Locker\\", "\\File Locker\\Docs\\"}));
  EXPECT_TRUE(c.Reminders);
  EXPECT_TRUE(c.Icons);
  EXPECT_FALSE(c.Settings);
  EXPECT_FALSE(c.AttachedFiles);

  // A category's folder or template changes the tree; the settings and attached files are their own.
  TqmSafeChanges d = TqmSafeChanges::FromPaths(
      1,
      {"\\Password Repository\\category9", "\\Password Repository\\category9\\qvt.category.info.template",
       "\\Quillmar.System.Info\\system.settings.info", "\\Quillmar.System.Info\\Attached Files\\scan.pdf"});
  EXPECT_TRUE(d.Categories);
  EXPECT_EQ(d.CategoryFolders, (std::set<std::string>{"category9\\"}));  // its folder and its record
  EXPECT_TRUE(d.EntryFolders.empty());
  EXPECT_TRUE(d.Settings);
  EXPECT_TRUE(d.AttachedFiles);
  EXPECT_FALSE(d.Reminders);

  // Changed, but not known what: anything may have.
  const TqmSafeChanges unknown = TqmSafeChanges::FromPaths(2, {});
  EXPECT_TRUE(unknown.Any());
  EXPECT_TRUE(unknown.Unknown);
  EXPECT_FALSE(TqmSafeChanges::FromPaths(0, {}).Any());

  d.Merge(c);
  EXPECT_EQ(d.Count, 4u);
  EXPECT_TRUE(d.Categories && d.Reminders && d.Settings);
  EXPECT_EQ(d.EntryFolders.size(), 3u);
  EXPECT_EQ(d.EntryFiles.size(), 3u);
  EXPECT_EQ(d.CategoryFolders.size(), 1u);
}

TEST_F(SafeFixture, AnotherProgramsEntriesAreReadNotWhatWasCachedBeforeThem) {
  // Opened as the program opens a Safe (a new one is held alone until it is closed).
  safe.CloseSafe();
  safe.OpenSafe(safeFile, kPassword);
  TqmCategory cat;
  cat.SetName("Shared");
  safe.SaveCategory(cat);
  const std::string path = cat.FolderPath();
  auto save = [&](W& into, const std::string& title) {
    TqmRepositoryEntry e(&cat);
    e.Fields().Add(TqmField(0, "Title", ftNormalText, true, title));
    into.SaveEntry(path, e);
  };
  save(safe, "first");
  W other;
  other.OpenSafe(safeFile, kPassword);
  TqmRepositoryEntry e;
  ASSERT_TRUE(other.LoadEntryAt(path, 0, e));  // the other program has the category's index now
  EXPECT_EQ(e.Title(), "first");

  save(safe, "second");
  EXPECT_EQ(other.CountEntries(path), 2);
  ASSERT_TRUE(other.LoadEntryAt(path, 1, e));
  EXPECT_EQ(e.Title(), "second");
  const TqmSafeChanges seen = other.TakeChanges();
  EXPECT_TRUE(seen.Any());
  EXPECT_EQ(seen.EntryFolders.count(path), 1u) << path;
  EXPECT_FALSE(other.Refresh());  // nothing new since

  // And the other way round, with a change the first program has not read yet.
  save(other, "third");
  EXPECT_TRUE(safe.Refresh());
  EXPECT_EQ(safe.TakeChanges().EntryFolders.count(path), 1u);
  EXPECT_EQ(safe.CountEntries(path), 3);
  EXPECT_TRUE(safe.Container()->CheckIntegrity().empty());
}

}  // namespace
}  // namespace quillmar
