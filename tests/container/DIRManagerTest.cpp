// The directory: path rules and the resolver, items and their pages, slot reuse, folders, renaming,
// open counts, searches, and the directory surviving a close and reopen.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <ctime>
#include <memory>
#include <set>

#include "DirectoryFixture.h"
#include "base/DateTime.h"
#include "container/ContainerPath.h"
#include "container/WildcardMatch.h"

namespace quillmar {
namespace {

using test::ExpectThrow;
using test::Join;
using test::TDirectoryFixture;

std::set<std::string> List(TDIRManager& d, const std::string& mask, uint32_t attr) {
  std::set<std::string> r;
  TSearchRec rec;
  if (d.FindFirst(mask, attr, rec) == 0) {
    do r.insert(rec.Name);
    while (d.FindNext(rec) == 0);
  }
  d.FindClose(rec);
  return r;
}

TEST(WildcardMatch, MasksAndCaseRule) {
  EXPECT_TRUE(MatchesWildcard("*.*", "noextension"));
  EXPECT_TRUE(MatchesWildcard("*", ""));
  EXPECT_FALSE(MatchesWildcard("?", ""));
  EXPECT_TRUE(MatchesWildcard("a?c", "abc"));
  EXPECT_FALSE(MatchesWildcard("a?c", "ac"));
  EXPECT_TRUE(MatchesWildcard("*.entry", "123.ENTRY"));
  EXPECT_FALSE(MatchesWildcard("*.entry", "123.entry.bak"));
  EXPECT_TRUE(MatchesWildcard("a*b*c", "aXbYbZc"));  // needs backtracking over the first "*"
  EXPECT_FALSE(MatchesWildcard("*a", "bbb"));
  EXPECT_FALSE(MatchesWildcard("", "a"));
  // Codes 32 apart match when their AND is at least 65: letters, and also "[" with "{".
  EXPECT_TRUE(MatchesWildcard("[", "{"));
  EXPECT_FALSE(MatchesWildcard("@", "`"));       // 64 & 96 = 64
  EXPECT_FALSE(MatchesWildcard("1", "Q"));       // 49 and 81: AND is 17
  EXPECT_TRUE(MatchesWildcard("\xC9", "\xE9"));  // É, é
  std::string longName(5000, 'a');
  EXPECT_FALSE(MatchesWildcard("*a*a*a*a*a*a*b", longName));  // no exponential blow-up
}

TEST(ContainerPath, ComponentsAndSplitting) {
  TPathComponents c;
  EXPECT_FALSE(SplitPathComponents("", c));
  EXPECT_TRUE(SplitPathComponents("/a\\b\\", c));
  EXPECT_TRUE(c.Absolute);
  EXPECT_EQ(c.Names, (std::vector<std::string>{"a", "b"}));
  EXPECT_FALSE(SplitPathComponents("a\\\\b", c));
  EXPECT_FALSE(SplitPathComponents("\\\\a", c));
  EXPECT_FALSE(SplitPathComponents("a\\\\", c));
  EXPECT_TRUE(SplitPathComponents(std::string(300, 'x'), c));
  EXPECT_EQ(c.Names[0].size(), 259u);

  TPathSplit s = SplitLastComponent("\\a\\b.txt");
  EXPECT_TRUE(s.HasFolder);
  EXPECT_EQ(s.Folder, "\\a");
  EXPECT_EQ(s.Name, "b.txt");
  s = SplitLastComponent("\\a\\");
  EXPECT_EQ(s.Folder, "\\");
  EXPECT_EQ(s.Name, "a");
  s = SplitLastComponent("name");
  EXPECT_FALSE(s.HasFolder);
  EXPECT_TRUE(
      SameName("Stra\xDF"
               "E",
               "STRA\xDF"
               "e"));
  EXPECT_TRUE(SameName("\xC4rger", "\xE4RGER"));  // Ä, ä
  EXPECT_FALSE(SameName("a", "b"));
}

TEST(TDIRItem, RoundTripsThrough512Bytes) {
  TDIRItem it;
  it.FirstMapPageNo = 77;
  it.FileSize = 0x123456789LL;
  it.CreationTime = 1;
  it.LastWriteTime = 2;
  it.LastAccessTime = -3;
  it.Attributes = faHidden;
  it.ParentID = 5;
  it.KeyRecord = TKeyRecord::Make("pw", "q", "a");
  it.HasPassword = true;
  it.Name = std::string(259, 'n');
  uint8_t raw[512];
  it.Serialize(raw);
  EXPECT_EQ(raw[0], 77);
  EXPECT_EQ(raw[4], 0x89);
  EXPECT_EQ(raw[8], 0x01);
  EXPECT_EQ(raw[36], faHidden);
  EXPECT_EQ(raw[40], 5);
  EXPECT_EQ(raw[222], 1);
  EXPECT_EQ(raw[224], 'n');
  EXPECT_EQ(raw[224 + 259], 0);  // the terminator survives a name of full length
  EXPECT_EQ(TDIRItem::Deserialize(raw), it);
}

TEST(TDIRManager, ResolverCornerCases) {
  TDirectoryFixture f;
  TDIRManager& d = *f.dir;
  ASSERT_TRUE(d.ForceDirectories("\\a\\b"));
  int32_t a = d.Resolve("\\a", -1), b = d.Resolve("a/b", -1);
  ASSERT_GE(a, 0);
  ASSERT_GE(b, 0);
  int32_t file = d.CreateFileItem("\\a\\b\\f.txt");
  ASSERT_GE(file, 0);
  EXPECT_EQ(d.Resolve("\\", 5), TDIRManager::InvalidPath);  // start outside the table
  EXPECT_EQ(d.Resolve("\\"), TDIRManager::RootItem);
  EXPECT_EQ(d.Resolve("/"), TDIRManager::RootItem);
  EXPECT_EQ(d.Resolve(""), TDIRManager::InvalidPath);
  EXPECT_EQ(d.Resolve("a\\\\b"), TDIRManager::InvalidPath);
  EXPECT_EQ(d.Resolve("a\\b\\"), b);
  EXPECT_EQ(d.Resolve("A/B\\F.TXT"), file);
  EXPECT_EQ(d.Resolve("a\\x"), TDIRManager::NotFound);
  EXPECT_EQ(d.Resolve("..", -1), TDIRManager::RootItem);  // the root's parent is the root
  EXPECT_EQ(d.Resolve("..\\..\\a"), a);
  EXPECT_EQ(d.Resolve("b\\..\\..\\a", a), a);
  EXPECT_EQ(d.Resolve("f.txt", b), file);
  EXPECT_EQ(d.Resolve("\\f.txt", b), TDIRManager::NotFound);  // absolute despite the start
  EXPECT_EQ(d.Resolve(".", -1), TDIRManager::NotFound);       // "." is an ordinary name
  EXPECT_EQ(d.FullPath(file), "\\a\\b\\f.txt");
  EXPECT_EQ(d.FullPath(-1), "\\");

  // A name longer than 259 characters is cut, in the item and in the lookup.
  std::string longName(300, 'L');
  int32_t l = d.CreateFileItem(longName);
  ASSERT_GE(l, 0);
  EXPECT_EQ(d.ReadItem(l).Name.size(), 259u);
  EXPECT_EQ(d.Resolve(longName), l);
  EXPECT_EQ(d.Resolve(std::string(259, 'l')), l);
}

TEST(TDIRManager, NamesInOneFolderResolveAfterEveryChangeOfTheFolders) {
  // Successive names in one folder share the folder's lookup; a renamed, removed or new folder, or
  // another start for a relative path, is looked up afresh.
  TDirectoryFixture f;
  TDIRManager& d = *f.dir;
  ASSERT_TRUE(d.ForceDirectories("\\a\\b"));
  ASSERT_TRUE(d.ForceDirectories("\\c\\b"));
  const int32_t a = d.Resolve("\\a"), c = d.Resolve("\\c");
  const int32_t x = d.CreateFileItem("\\a\\b\\x"), y = d.CreateFileItem("\\c\\b\\y");
  ASSERT_GE(x, 0);
  ASSERT_GE(y, 0);
  EXPECT_EQ(d.Resolve("\\a\\b\\x"), x);
  EXPECT_EQ(d.Resolve("\\a\\b\\y"), TDIRManager::NotFound);
  EXPECT_EQ(d.Resolve("b\\x", a), x);
  EXPECT_EQ(d.Resolve("b\\x", c), TDIRManager::NotFound);  // the same text from another start
  EXPECT_EQ(d.Resolve("b\\y", c), y);
  EXPECT_EQ(d.Resolve("\\a\\b\\..\\b\\x"), x);
  EXPECT_EQ(d.Resolve("\\a\\b\\x\\.."), d.Resolve("\\a\\b"));

  ASSERT_TRUE(d.Rename("\\a", "\\z"));
  EXPECT_EQ(d.Resolve("\\a\\b\\x"), TDIRManager::NotFound);
  EXPECT_EQ(d.Resolve("\\z\\b\\x"), x);
  ASSERT_TRUE(d.ForceDirectories("\\a\\b"));
  EXPECT_EQ(d.Resolve("\\a\\b\\x"), TDIRManager::NotFound);  // a new folder of the old name
  const int32_t x2 = d.CreateFileItem("\\a\\b\\x");
  ASSERT_GE(x2, 0);
  EXPECT_NE(x2, x);
  EXPECT_EQ(d.Resolve("\\a\\b\\x"), x2);
  EXPECT_EQ(d.Resolve("\\z\\b\\x"), x);
}

TEST(TDIRManager, CreatingFilesAndFolders) {
  TDirectoryFixture f;
  TDIRManager& d = *f.dir;
  EXPECT_EQ(d.CreateFileItem("\\a\\b.txt"), -1);  // \a missing
  EXPECT_EQ(d.ItemCount(), 0);
  ASSERT_TRUE(d.ForceDirectories("\\a"));
  int32_t a = d.Resolve("\\a");
  int32_t b = d.CreateFileItem("\\a\\b.txt");
  ASSERT_GE(b, 0);
  const TDIRItem& item = d.ReadItem(b);
  EXPECT_EQ(item.ParentID, a);
  EXPECT_EQ(item.FirstMapPageNo, -1);
  EXPECT_EQ(item.FileSize, 0);
  EXPECT_EQ(item.Attributes, 0u);
  EXPECT_FALSE(item.IsFolder);
  EXPECT_TRUE(d.ReadItem(a).IsFolder);
  EXPECT_EQ(d.ReadItem(a).Attributes, faDirectory);

  // Times: the local clock to two seconds, stored as UTC file times.
  int64_t now = static_cast<int64_t>(std::time(nullptr));
  int64_t t = (item.CreationTime - 116444736000000000LL) / 10000000;
  EXPECT_LE(std::llabs(t - now), 3);
  EXPECT_EQ(item.CreationTime % 20000000, 0);
  EXPECT_EQ(item.LastWriteTime, item.CreationTime);

  EXPECT_EQ(d.CreateFileItem("\\A\\B.TXT"), -1);     // the name exists (any case)
  EXPECT_EQ(d.CreateFileItem("\\a\\b.txt\\x"), -1);  // a file is no folder
  EXPECT_EQ(d.CreateFileItem("\\"), -1);
  EXPECT_EQ(d.CreateFileItem("\\a\\.."), -1);
  EXPECT_FALSE(d.CreateDir("\\a"));         // exists
  EXPECT_FALSE(d.CreateDir("\\a\\B.txt"));  // a file of that name exists
  EXPECT_TRUE(d.DirectoryExists("\\A\\"));
  EXPECT_TRUE(d.DirectoryExists("."));
  EXPECT_TRUE(d.DirectoryExists("/"));
  EXPECT_FALSE(d.DirectoryExists("\\a*"));  // a path, not a mask

  ASSERT_TRUE(d.ForceDirectories("x\\y/z\\"));
  EXPECT_TRUE(d.DirectoryExists("\\x\\y\\z"));
  int32_t count = d.ItemCount();
  EXPECT_TRUE(d.ForceDirectories("\\x\\y\\z"));  // already there: nothing new
  EXPECT_EQ(d.ItemCount(), count);
  EXPECT_FALSE(d.ForceDirectories("\\a\\b.txt\\sub"));  // under a file
  EXPECT_EQ(Join(f.Check()), "");

  // A file with its own password carries a key record that opens with it only.
  int32_t s = d.CreateFileItem("secret.bin", "file-pw", "answer", "question");
  ASSERT_GE(s, 0);
  EXPECT_TRUE(d.ReadItem(s).HasPassword);
  EXPECT_TRUE(d.CheckItemPassword(s, "file-pw"));
  EXPECT_FALSE(d.CheckItemPassword(s, "wrong"));
  // Opening after a check (of either password) gives the key of the password it is opened with.
  TContainerKey fresh, afterWrongCheck, afterRightCheck, wrong;
  ASSERT_EQ(d.OpenItem("secret.bin", "file-pw", fresh), s);
  EXPECT_FALSE(fresh.Empty());
  EXPECT_FALSE(d.CheckItemPassword(s, "wrong"));
  EXPECT_EQ(d.OpenItem("secret.bin", "file-pw", afterWrongCheck), s);
  EXPECT_TRUE(d.CheckItemPassword(s, "file-pw"));
  EXPECT_EQ(d.OpenItem("secret.bin", "wrong", wrong), -1);
  EXPECT_TRUE(wrong.Empty());
  EXPECT_TRUE(d.CheckItemPassword(s, "file-pw"));
  EXPECT_EQ(d.OpenItem("secret.bin", "file-pw", afterRightCheck), s);
  EXPECT_TRUE(fresh == afterWrongCheck);
  EXPECT_TRUE(fresh == afterRightCheck);
  EXPECT_EQ(ExpectThrow([&] { d.CreateFileItem("long", std::string(33, 'p')); }),
            "Password length should be shorter then 32");
}

TEST(TDIRManager, DirectoryPagesSlotsAndReopen) {
  TDirectoryFixture f("container-pw");
  TDIRManager& d = *f.dir;
  for (int i = 0; i < 3; ++i) ASSERT_GE(d.CreateFileItem("f" + std::to_string(i)), 0);
  EXPECT_EQ(f.pfm->DirPageCount(), 1);
  ASSERT_EQ(d.CreateFileItem("f3"), 3);  // the fourth item opens a second page
  EXPECT_EQ(f.pfm->DirPageCount(), 2);
  EXPECT_EQ(f.pfm->DirItemCount(), 4);
  ASSERT_EQ(d.DirectoryPages().size(), 2u);
  TPageHeader h;
  ASSERT_TRUE(f.pfm->ReadPage(d.DirectoryPages()[0], h, nullptr, false, nullptr, 0));
  EXPECT_EQ(h.NextPage, d.DirectoryPages()[1]);
  EXPECT_EQ(h.PageType, ptDirectory);
  EXPECT_EQ(h.EncryptionType, etRijndael);

  // Deleting and creating reuses the lowest free slot; the table does not grow.
  TDIRItem gone = d.ReadItem(1);
  gone.Deleted = true;
  d.WriteItem(1, gone);
  gone = d.ReadItem(2);
  gone.Deleted = true;
  d.WriteItem(2, gone);
  EXPECT_EQ(d.Resolve("f1"), TDIRManager::NotFound);
  EXPECT_EQ(d.CreateFileItem("new1"), 1);
  EXPECT_EQ(d.CreateFileItem("new2"), 2);
  EXPECT_EQ(d.ItemCount(), 4);
  EXPECT_EQ(d.CreateFileItem("new3"), 4);
  ASSERT_TRUE(d.ForceDirectories("\\dir\\sub"));
  EXPECT_EQ(Join(f.Check()), "");

  std::vector<TDIRItem> before;
  for (int32_t k = 0; k < d.ItemCount(); ++k) before.push_back(d.ReadItem(k));
  f.Reopen();
  ASSERT_EQ(f.dir->ItemCount(), static_cast<int32_t>(before.size()));
  for (int32_t k = 0; k < f.dir->ItemCount(); ++k) EXPECT_EQ(f.dir->ReadItem(k), before[k]) << k;
  EXPECT_EQ(f.dir->Resolve("\\DIR\\SUB"), f.dir->ItemCount() - 1);
  EXPECT_EQ(f.dir->Resolve("new2"), 2);
  EXPECT_EQ(Join(f.Check()), "");

  // Directory pages are encrypted: the names are not in the file.
  EXPECT_EQ(test::ReadFileBytes(f.path).find("new2"), std::string::npos);
}

// Refresh against what a fresh Load of the same container reads: after another manager's change of
// one page, after the header's item count moved while the pages stayed as they were, and when a
// changed page does not read (the directory in memory then stays as it was).
TEST(TDIRManager, ARefreshReadsWhatAFreshLoadReadsAndKeepsItsItemsWhenAPageFails) {
  TDirectoryFixture f("container-pw");
  TDIRManager& d = *f.dir;
  for (int i = 0; i < 7; ++i) ASSERT_GE(d.CreateFileItem("f" + std::to_string(i)), 0);
  auto items = [](const TDIRManager& m) {
    std::vector<TDIRItem> all;
    for (int32_t k = 0; k < m.ItemCount(); ++k) all.push_back(m.ReadItem(k));
    return all;
  };
  auto refresh = [&] {
    std::vector<std::string> paths;
    d.Refresh(*f.fsm, paths);
    std::sort(paths.begin(), paths.end());
    TDIRManager fresh(*f.pfm, *f.fsm);
    EXPECT_EQ(items(d), items(fresh));
    EXPECT_EQ(d.DirectoryPages(), fresh.DirectoryPages());
    std::string problem;
    EXPECT_TRUE(d.Items().IndexesConsistent(&problem)) << problem;
    return paths;
  };
  EXPECT_EQ(refresh(), std::vector<std::string>{});

  // Another manager renames an item on the first page.
  {
    TDIRManager other(*f.pfm, *f.fsm);
    ASSERT_TRUE(other.Rename("\\f1", "\\g1"));
  }
  EXPECT_EQ(refresh(), (std::vector<std::string>{"\\f1", "\\g1"}));
  EXPECT_EQ(d.Resolve("\\g1"), 1);

  // The count goes down and back up over pages that did not change: the slots come back from them.
  f.pfm->SetDirItemCount(4);
  f.pfm->SaveHeader();
  EXPECT_EQ(refresh(), (std::vector<std::string>{"\\f4", "\\f5", "\\f6"}));
  f.pfm->SetDirItemCount(7);
  f.pfm->SaveHeader();
  EXPECT_EQ(refresh(), (std::vector<std::string>{"\\f4", "\\f5", "\\f6"}));
  EXPECT_EQ(d.Resolve("\\f6"), 6);

  // A changed page whose checksum fails: the message names it, nothing in memory changed.
  {
    TDIRManager other(*f.pfm, *f.fsm);
    ASSERT_TRUE(other.Rename("\\f4", "\\g4"));
  }
  const int32_t second = d.DirectoryPages()[1];
  std::vector<uint8_t> page(size_t(f.pfm->PageSize()));
  ASSERT_EQ(f.pfm->ReadStoredPages(second, 1, page.data()), 1);
  page[TPageHeader::Size + 5] ^= 0x40;
  ASSERT_TRUE(f.pfm->WriteStoredPages(second, 1, page.data()));
  const std::vector<TDIRItem> before = items(d);
  std::vector<std::string> paths;
  EXPECT_EQ(ExpectThrow<ESFSError>([&] { d.Refresh(*f.fsm, paths); }),
            "TDIRManager.Load - can not load page, pageNo = " + std::to_string(second));
  EXPECT_EQ(items(d), before);
  EXPECT_TRUE(paths.empty());
  page[TPageHeader::Size + 5] ^= 0x40;
  ASSERT_TRUE(f.pfm->WriteStoredPages(second, 1, page.data()));
  EXPECT_EQ(refresh(), (std::vector<std::string>{"\\f4", "\\g4"}));
}

TEST(TDIRManager, TheSlotsAfterTheLastItemAreStoredAsZeros) {
  TDirectoryFixture f("container-pw");
  const size_t pageBytes = 3 * TDIRItem::Size;
  // Freed heap blocks of a directory page's size, full of a pattern: a page buffer that is not
  // cleared picks one up and stores it in the unused slots (and a rebuild then writes other bytes
  // than the one before it).
  for (int round = 0; round < 2; ++round) {
    std::vector<std::unique_ptr<uint8_t[]>> blocks;
    for (int i = 0; i < 16; ++i) {
      blocks.emplace_back(new uint8_t[pageBytes]);
      std::memset(blocks.back().get(), 0xA5, pageBytes);
      asm volatile("" : : "r"(blocks.back().get()) : "memory");  // the pattern is really written
    }
    blocks.clear();
    ASSERT_GE(f.dir->CreateFileItem("f" + std::to_string(round)), 0);
  }
  std::vector<uint8_t> page(pageBytes, 0xFF);
  TPageHeader h;
  ASSERT_TRUE(
      f.pfm->ReadPage(f.dir->DirectoryPages()[0], h, page.data(), false, nullptr, int32_t(pageBytes)));
  EXPECT_TRUE(std::all_of(page.begin() + 2 * TDIRItem::Size, page.end(), [](uint8_t b) { return b == 0; }));
  EXPECT_EQ(Join(f.Check()), "");
}

TEST(TDIRManager, NoSpaceForADirectoryPage) {
  TDirectoryFixture f;
  TDIRManager& d = *f.dir;
  for (int i = 0; i < 3; ++i) ASSERT_GE(d.CreateFileItem("f" + std::to_string(i)), 0);
  // Fill the rest of extent 0, so that the next directory page needs a new extent.
  std::vector<int32_t> rest;
  ASSERT_TRUE(f.fsm->GetPages(4, 1, rest));
  f.storage.failSetSize = true;
  EXPECT_EQ(d.CreateFileItem("f3"), -1);
  EXPECT_EQ(d.LastError(), TDIRManager::ErrNoSpace);
  EXPECT_EQ(d.ItemCount(), 3);
  EXPECT_EQ(f.pfm->DirPageCount(), 1);
  EXPECT_FALSE(d.ForceDirectories("\\p\\q"));
  EXPECT_EQ(d.LastError(), TDIRManager::ErrNoSpace);
  auto owned = [&](TIntegrityCheck& c) {
    for (int32_t p : rest) c.ClaimPage(p, "test");
  };
  EXPECT_EQ(Join(f.Check({owned})), "");
  f.storage.failSetSize = false;
  EXPECT_EQ(d.CreateFileItem("f3"), 3);
  EXPECT_EQ(Join(f.Check({owned})), "");
}

TEST(TDIRManager, RenameRules) {
  TDirectoryFixture f;
  TDIRManager& d = *f.dir;
  int32_t a = d.CreateFileItem("a.txt");
  int32_t other = d.CreateFileItem("other.txt");
  ASSERT_GE(other, 0);
  EXPECT_TRUE(d.Rename("a.txt", "A.TXT"));  // letter case only: allowed although the name "exists"
  EXPECT_EQ(d.ReadItem(a).Name, "A.TXT");
  EXPECT_FALSE(d.Rename("a.txt", "other.txt"));
  EXPECT_FALSE(d.Rename("missing", "x"));
  EXPECT_FALSE(d.Rename("\\", "x"));
  EXPECT_FALSE(d.Rename("a.txt", "\\"));

  TContainerKey key;
  ASSERT_EQ(d.OpenItem("a.txt", "", key), a);
  EXPECT_EQ(d.OpenCount(a), 1);
  EXPECT_FALSE(d.Rename("a.txt", "b.txt"));  // open
  d.CloseItem(a);
  d.CloseItem(a);  // never below zero
  EXPECT_EQ(d.OpenCount(a), 0);

  // Into a folder that does not exist yet: it is made.
  EXPECT_TRUE(d.Rename("a.txt", "\\new\\deep\\b.txt"));
  EXPECT_EQ(d.Resolve("\\new\\deep\\b.txt"), a);
  EXPECT_EQ(d.Resolve("a.txt"), TDIRManager::NotFound);
  EXPECT_EQ(d.ReadItem(a).ParentID, d.Resolve("\\new\\deep"));

  // A folder cannot move into itself or below itself.
  EXPECT_FALSE(d.Rename("\\new", "\\new\\deep\\new"));
  EXPECT_FALSE(d.Rename("\\new", "\\new\\x"));
  ASSERT_TRUE(d.ChangeDir("\\new\\deep"));
  EXPECT_TRUE(d.Rename("\\new", "\\moved"));
  EXPECT_EQ(d.CurrentDir(), "\\moved\\deep");  // the current folder's text follows its folder
  EXPECT_EQ(Join(f.Check()), "");
  f.Reopen();
  EXPECT_EQ(f.dir->Resolve("\\moved\\deep\\b.txt"), a);
  EXPECT_EQ(Join(f.Check()), "");
}

TEST(TDIRManager, RemoveDirChangeDirAndOpening) {
  TDirectoryFixture f;
  TDIRManager& d = *f.dir;
  ASSERT_TRUE(d.ForceDirectories("\\a\\b"));
  int32_t file = d.CreateFileItem("\\a\\f");
  EXPECT_FALSE(d.RemoveDir("\\a"));  // holds items
  EXPECT_FALSE(d.ReadItem(d.Resolve("\\a")).Deleted);
  EXPECT_FALSE(d.RemoveDir("\\a\\f"));  // a file
  EXPECT_FALSE(d.RemoveDir("\\"));
  EXPECT_FALSE(d.RemoveDir("\\nothing"));

  EXPECT_TRUE(d.ChangeDir("a"));
  EXPECT_EQ(d.CurrentDir(), "\\a");
  EXPECT_TRUE(d.ChangeDir("b"));
  EXPECT_EQ(d.CurrentDir(), "\\a\\b");
  EXPECT_FALSE(d.ChangeDir("zz"));
  EXPECT_EQ(d.CurrentDir(), "\\a\\b");
  int32_t here0 = d.CreateFileItem("here");
  EXPECT_EQ(here0, d.Resolve("\\a\\b\\here"));  // relative to the current folder
  TDIRItem here = d.ReadItem(d.Resolve("here"));
  here.Deleted = true;
  d.WriteItem(d.Resolve("here"), here);
  // Removing the current folder moves the current folder up.
  EXPECT_TRUE(d.RemoveDir("\\a\\b"));
  EXPECT_EQ(d.CurrentDir(), "\\a");
  EXPECT_EQ(d.CurrentFolder(), d.Resolve("\\a", -1));
  EXPECT_TRUE(d.ChangeDir(".."));
  EXPECT_TRUE(d.ChangeDir(".."));
  EXPECT_EQ(d.CurrentDir(), "\\");

  TContainerKey key;
  EXPECT_EQ(d.OpenItem("\\a", "", key), -1);  // a folder
  int64_t accessed = d.ReadItem(file).LastAccessTime;
  EXPECT_EQ(d.OpenItem("\\a\\f", "", key), file);
  EXPECT_TRUE(key.Empty());
  EXPECT_GE(d.ReadItem(file).LastAccessTime, accessed);

  int32_t s = d.CreateFileItem("s", "pw");
  EXPECT_EQ(d.OpenItem("s", "wrong", key), -1);
  EXPECT_EQ(d.OpenCount(s), 0);
  EXPECT_EQ(d.OpenItem("s", "pw", key), s);
  EXPECT_FALSE(key.Empty());
  EXPECT_EQ(d.OpenItem("s", "wrong", key, true), s);  // for copying stored pages as they are
  EXPECT_TRUE(key.Empty());
  EXPECT_EQ(d.OpenCount(s), 2);
  EXPECT_EQ(Join(f.Check()), "");
}

// Opening sets the access time only when it is older than the last write or more than a day old: a
// file read again the same day costs no write of its directory page.
TEST(TDIRManager, OpeningWritesAnAccessTimeOnlyWhenItIsDue) {
  TDirectoryFixture f;
  TDIRManager& d = *f.dir;
  const int32_t k = d.CreateFileItem("f");
  ASSERT_GE(k, 0);
  const int64_t now = TDIRManager::NowFileTime();
  const int64_t hour = int64_t(3600) * kFileTimeTicksPerSecond;
  auto withTimes = [&](int64_t write, int64_t access) {
    TDIRItem item = d.ReadItem(k);
    item.LastWriteTime = write;
    item.LastAccessTime = access;
    d.WriteItem(k, item);
    f.storage.log.clear();
    f.storage.recordLog = true;
  };
  auto open = [&] {
    TContainerKey key;
    EXPECT_EQ(d.OpenItem("f", "", key), k);
    d.CloseItem(k);
  };
  auto pageWrites = [&] {
    return std::count_if(f.storage.log.begin(), f.storage.log.end(),
                         [](const std::string& l) { return l.find(" write ") != std::string::npos; });
  };

  // Read after its last write, an hour ago: opening it twice writes nothing.
  withTimes(now - 2 * hour, now - hour);
  open();
  open();
  EXPECT_EQ(pageWrites(), 0);
  EXPECT_EQ(d.ReadItem(k).LastAccessTime, now - hour);

  // Written since it was last read: the first open writes the time, the second nothing.
  withTimes(now - hour, now - 2 * hour);
  open();
  EXPECT_EQ(pageWrites(), 1);
  EXPECT_GE(d.ReadItem(k).LastAccessTime, now);
  open();
  EXPECT_EQ(pageWrites(), 1);

  // Last read more than a day ago: written once.
  withTimes(now - 30 * hour, now - 25 * hour);
  open();
  open();
  EXPECT_EQ(pageWrites(), 1);
  EXPECT_GE(d.ReadItem(k).LastAccessTime, now);

  // A time written this way is on the disk.
  f.Reopen();
  EXPECT_GE(f.dir->ReadItem(k).LastAccessTime, now);
}

TEST(TDIRManager, SearchesAndTheAttributeRule) {
  TDirectoryFixture f;
  TDIRManager& d = *f.dir;
  ASSERT_TRUE(d.CreateDir("\\docs"));
  ASSERT_GE(d.CreateFileItem("\\one.txt"), 0);
  ASSERT_GE(d.CreateFileItem("\\two.TXT"), 0);
  int32_t h = d.CreateFileItem("\\hidden.txt");
  TDIRItem hidden = d.ReadItem(h);
  hidden.Attributes = faHidden;
  hidden.FileSize = 0x100000005LL;
  d.WriteItem(h, hidden);
  ASSERT_GE(d.CreateFileItem("\\docs\\inner.txt"), 0);

  using S = std::set<std::string>;
  EXPECT_EQ(List(d, "\\*.*", faAnyFile), (S{"docs", "one.txt", "two.TXT", "hidden.txt"}));
  EXPECT_EQ(List(d, "\\*.*", faDirectory), (S{"docs", "one.txt", "two.TXT"}));  // files too, hidden not
  EXPECT_EQ(List(d, "\\*.*", 0), (S{"one.txt", "two.TXT"}));                    // no folders
  EXPECT_EQ(List(d, "*.txt", faAnyFile), (S{"one.txt", "two.TXT", "hidden.txt"}));
  EXPECT_EQ(List(d, "/docs/*", faAnyFile), (S{"inner.txt"}));
  EXPECT_EQ(List(d, "\\missing\\*.*", faAnyFile), S{});
  EXPECT_EQ(List(d, "\\docs\\", faAnyFile), S{});

  TSearchRec rec;
  ASSERT_EQ(d.FindFirst("\\hid*", faAnyFile, rec), 0);
  EXPECT_EQ(rec.Name, "hidden.txt");
  EXPECT_EQ(rec.Attr, faHidden);
  EXPECT_EQ(rec.Size, 0x100000005LL);
  EXPECT_EQ(rec.FindData.FileSizeHigh, 1u);
  EXPECT_EQ(rec.FindData.FileSizeLow, 5u);
  EXPECT_EQ(rec.Time, FileTimeToDosDateTime(hidden.LastWriteTime));
  EXPECT_NE(d.FindNext(rec), 0);
  d.FindClose(rec);
  EXPECT_NE(d.FindNext(rec), 0);  // closed
  EXPECT_NE(d.FindFirst("\\nomatch*", faAnyFile, rec), 0);
  EXPECT_EQ(rec.FindHandle, -1);

  // An item deleted while a search runs is not reported.
  ASSERT_EQ(d.FindFirst("\\*.txt", 0, rec), 0);
  std::string first = rec.Name;
  int32_t victim = d.Resolve(first == "one.txt" ? "\\two.TXT" : "\\one.txt");
  TDIRItem v = d.ReadItem(victim);
  v.Deleted = true;
  d.WriteItem(victim, v);
  EXPECT_NE(d.FindNext(rec), 0);
  d.FindClose(rec);
}

}  // namespace
}  // namespace quillmar
