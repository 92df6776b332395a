// Copy, delete, export, rebuild and change of password of the container facade.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <memory>
#include <random>

#include "base/DateTime.h"
#include "container/DIRManager.h"
#include "container/PageFileManager.h"
#include "container/SFSError.h"
#include "container/SFSFileStream.h"
#include "container/SingleFileSystem.h"
#include "container/UserFilePageMapManager.h"
#include "support/ContainerDamage.h"
#include "support/FaultyPartStorage.h"
#include "support/TempDir.h"

namespace quillmar {
namespace {

namespace fs = std::filesystem;

std::string Random(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  std::string s(n, '\0');
  for (auto& c : s) c = char(rng());
  return s;
}

class RebuildTest : public ::testing::Test {
protected:
  std::string Path() const { return dir_.file("safe.qvt"); }
  std::unique_ptr<TSingleFileSystem> Create(TSFSPartStorage* storage = nullptr) {
    return std::make_unique<TSingleFileSystem>(Path(), -1, 8, 2048, 0, "", "", "secret", false, 0xFFFF,
                                               storage);
  }
  std::unique_ptr<TSingleFileSystem> Open(std::string_view password = "secret",
                                          TSFSPartStorage* storage = nullptr) {
    return std::make_unique<TSingleFileSystem>(Path(), -1, 8, 2048, 0, "", "", password, false, 18, storage);
  }
  static void Put(TSingleFileSystem& s, const std::string& path, const std::string& data,
                  std::string_view password = "kol-marven", int method = 0) {
    TSFSFileStream f(&s, method, "", "", password, 0xFFFF, path);
    f.WriteBuffer(data.data(), int64_t(data.size()));
  }
  static std::string Get(TSingleFileSystem& s, const std::string& path,
                         std::string_view password = "kol-marven") {
    TSFSFileStream f(&s, 0, "", "", password, 0, path);
    std::string out(size_t(f.Size()), '\0');
    f.ReadBuffer(out.data(), int64_t(out.size()));
    return out;
  }
  // A container with folders, container-keyed files, a file with its own password, a compressed file
  // and deleted items.
  void Fill(TSingleFileSystem& s) {
    ASSERT_TRUE(s.ForceDirectories("\\a\\b"));
    ASSERT_TRUE(s.ForceDirectories("\\gone"));
    Put(s, "\\a\\one", Random(5000, 1), "");
    Put(s, "\\a\\b\\two", Random(2016 * 3, 2), "");
    Put(s, "\\a\\own", Random(9000, 3), "kol-marven");
    Put(s, "\\packed", std::string(50000, 'z') + Random(100, 4), "", 1);
    Put(s, "\\empty", "", "");
    Put(s, "\\gone\\x", Random(3000, 5), "");
    ASSERT_TRUE(s.DeleteFile("\\gone\\x"));
    ASSERT_TRUE(s.RemoveDir("\\gone"));
    ASSERT_EQ(s.FileSetAttr("\\a\\one", faReadOnly | faArchive), 0);
  }
  void ExpectFilled(TSingleFileSystem& s) {
    EXPECT_EQ(Get(s, "\\a\\one", ""), Random(5000, 1));
    EXPECT_EQ(Get(s, "\\a\\b\\two", ""), Random(2016 * 3, 2));
    EXPECT_EQ(Get(s, "\\a\\own", "kol-marven"), Random(9000, 3));
    EXPECT_EQ(Get(s, "\\packed", ""), std::string(50000, 'z') + Random(100, 4));
    EXPECT_EQ(Get(s, "\\empty", ""), "");
    EXPECT_FALSE(s.FileExists("\\gone"));
    EXPECT_EQ(s.FileGetAttr("\\a\\one"), faReadOnly | faArchive);
    auto problems = s.CheckIntegrity();
    EXPECT_TRUE(problems.empty()) << problems.front();
  }
  std::vector<std::string> FolderFiles() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir_.path())) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
  test::TempDir dir_;
};

TEST_F(RebuildTest, CopyReplacesTheDestinationAndKeepsTheSourcesKeyRecord) {
  auto s = Create();
  Put(*s, "\\src", Random(250000, 7));
  Put(*s, "\\dst", "old destination");
  ASSERT_EQ(s->FileSetAttr("\\src", faHidden), 0);
  std::vector<double> progress;
  s->OnFileProgress = [&](const std::string&, double p) { progress.push_back(p); };
  ASSERT_TRUE(s->CopyFile("\\src", "\\dst", "kol-marven"));
  EXPECT_EQ(Get(*s, "\\dst"), Random(250000, 7));
  TKeyRecord a, b;
  ASSERT_TRUE(s->GetKeyRecord("\\src", a));
  ASSERT_TRUE(s->GetKeyRecord("\\dst", b));
  EXPECT_TRUE(a == b);
  EXPECT_EQ(s->FileGetAttr("\\dst"), faHidden);
  // 0, one per 102400-byte chunk (3), and the end.
  ASSERT_EQ(progress.size(), 5u);
  EXPECT_EQ(progress.front(), 0);
  EXPECT_EQ(progress.back(), 100);
  EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));

  EXPECT_FALSE(s->CopyFile("\\src", "\\src", "kol-marven"));  // would delete the source first
  EXPECT_EQ(Get(*s, "\\src"), Random(250000, 7));
  EXPECT_FALSE(s->CopyFile("\\missing", "\\dst2", "kol-marven"));
  int32_t h = s->FileOpen("\\dst", 0, "", "", "kol-marven");
  EXPECT_FALSE(s->CopyFile("\\src", "\\dst", "kol-marven"));  // an open destination is not replaced
  s->FileClose(h);
  EXPECT_TRUE(s->CheckIntegrity().empty());
}

TEST_F(RebuildTest, DeletingFoldersAndMasks) {
  auto s = Create();
  ASSERT_TRUE(s->ForceDirectories("\\f\\sub\\deeper"));
  Put(*s, "\\f\\a.txt", "1", "");
  Put(*s, "\\f\\b.TXT", "2", "");
  Put(*s, "\\f\\c.bin", "3", "");
  Put(*s, "\\f\\sub\\d.txt", "4", "");
  Put(*s, "\\f\\sub\\deeper\\e", "5", "");
  EXPECT_TRUE(s->IsDirEmpty("\\missing"));
  EXPECT_TRUE(s->IsDirEmpty("\\f\\sub\\deeper") == false);
  s->ChangeDir("\\f\\sub");
  EXPECT_EQ(s->DeleteFiles("\\f\\*.txt", faAnyFile, false), 2);  // case-insensitive, not into folders
  EXPECT_TRUE(s->FileExists("\\f\\c.bin"));
  EXPECT_TRUE(s->FileExists("\\f\\sub\\d.txt"));
  EXPECT_EQ(s->DeleteDirectory("\\f"), 3);
  EXPECT_FALSE(s->FileExists("\\f"));
  EXPECT_EQ(s->GetCurrentDir(), "\\");  // the remembered folder is gone with the rest
  EXPECT_EQ(s->DeleteDirectory("\\f"), 0);
  ASSERT_TRUE(s->ForceDirectories("\\e"));
  EXPECT_TRUE(s->IsDirEmpty("\\e"));
  EXPECT_EQ(s->DeleteDirectory("\\e"), 0);
  EXPECT_FALSE(s->DirectoryExists("\\e"));
  EXPECT_TRUE(s->CheckIntegrity().empty());
}

TEST_F(RebuildTest, ExportWritesTheTreeWithDatesAttributesAndOverwriteModes) {
  auto s = Create();
  Fill(*s);
  Put(*s, "\\a\\b\\three", "three", "secret");  // opened with the container's password
  std::string out = dir_.file("out");
  // A file with its own password: the export asks for it.
  s->OnPasswordQuery = [](const std::string&, std::string& password, bool&) { password = "kol-marven"; };
  ASSERT_TRUE(s->ExportFiles("\\a\\*.*", out, TSingleFileSystem::owOverwrite, true, faAnyFile));
  EXPECT_EQ(test::ReadFileBytes(out + "/own"), Random(9000, 3));
  EXPECT_EQ(test::ReadFileBytes(out + "/one"), Random(5000, 1));
  EXPECT_EQ(test::ReadFileBytes(out + "/b/two"), Random(2016 * 3, 2));
  EXPECT_EQ(test::ReadFileBytes(out + "/b/three"), "three");
  struct stat st {};
  ASSERT_EQ(::stat((out + "/one").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0222, 0u);  // read-only attribute
  int64_t age = s->FileAge("\\a\\one");
  EXPECT_EQ(FileTimeToUnix(DosDateTimeToFileTime(uint32_t(age))), int64_t(st.st_mtime));

  test::WriteFileBytes(out + "/b/two", "edited on disk");
  ASSERT_TRUE(s->ExportFiles("\\a\\b\\*.*", out + "/b", TSingleFileSystem::owSkip, false, faAnyFile));
  EXPECT_EQ(test::ReadFileBytes(out + "/b/two"), "edited on disk");
  std::vector<std::string> asked;
  s->OnOverwrite = [&](const std::string& disk, const std::string& item, bool& allow) {
    asked.push_back(item);
    allow = disk.find("three") != std::string::npos;
  };
  test::WriteFileBytes(out + "/b/three", "edited too");
  ASSERT_TRUE(s->ExportFiles("\\a\\b\\*.*", out + "/b", TSingleFileSystem::owAsk, false, faAnyFile));
  EXPECT_EQ(asked.size(), 2u);
  EXPECT_EQ(test::ReadFileBytes(out + "/b/two"), "edited on disk");
  EXPECT_EQ(test::ReadFileBytes(out + "/b/three"), "three");
  EXPECT_FALSE(s->ExportFiles("\\nowhere\\*.*", out, 0, true, faAnyFile));

  bool seenCancel = false;
  s->OnProgress = [&](bool& cancel, double p) {
    if (p > 0) cancel = seenCancel = true;
  };
  EXPECT_FALSE(s->ExportFiles("\\*.*", dir_.file("cancelled"), 0, true, faAnyFile));
  EXPECT_TRUE(seenCancel);
}

TEST_F(RebuildTest, ExportRefusesNamesThatWouldLeaveTheChosenFolder) {
  for (std::string bad : std::vector<std::string>{"..", ".", "x/../../escape", std::string("nul\0byte", 8)}) {
    SCOPED_TRACE(bad);
    fs::remove_all(dir_.file("box"));
    fs::remove(Path());
    auto s = Create();
    Put(*s, "\\ok", "fine", "");
    Put(*s, "\\victim", "hostile", "");
    // A damaged or crafted container: the name is put into the item directly.
    TDIRManager& d = s->Directory();
    int32_t k = d.Resolve("\\victim");
    TDIRItem item = d.ReadItem(k);
    item.Name = bad;
    TSFSTransaction change(*s);
    d.WriteItem(k, item);
    change.Commit();
    std::string box = dir_.file("box") + "/inner";
    try {
      s->ExportFiles("\\*.*", box, 0, true, faAnyFile);
      FAIL() << "exported";
    } catch (const ESFSError& e) {
      EXPECT_NE(std::string(e.what()).find("not a valid file name"), std::string::npos) << e.what();
    }
    EXPECT_TRUE(fs::is_empty(box));  // nothing at all was written
    EXPECT_FALSE(fs::exists(dir_.file("escape")));
    EXPECT_FALSE(fs::exists(dir_.file("box") + "/victim"));
  }
}

TEST_F(RebuildTest, RepairDropsDeletedItemsAndKeepsEverythingElse) {
  int32_t itemsBefore;
  {
    auto s = Create();
    Fill(*s);
    itemsBefore = s->Directory().ItemCount();
    s->ChangeDir("\\a\\b");
    std::vector<double> progress;
    s->OnProgress = [&](bool&, double p) { progress.push_back(p); };
    std::string log;
    ASSERT_TRUE(s->RepairFile(log, true)) << log;
    EXPECT_EQ(log, "");
    EXPECT_EQ(progress.back(), 100);
    EXPECT_EQ(s->GetCurrentDir(), "\\a\\b");
    EXPECT_LT(s->Directory().ItemCount(), itemsBefore);
    ExpectFilled(*s);
    // The replaced container's name is gone when the repair returns (its space may still be coming
    // back); a second repair and a change of password straight after find everything in place.
    const std::vector<std::string> open{"safe.qvt"};
    EXPECT_EQ(FolderFiles(), open);
    ASSERT_TRUE(s->RepairFile(log, true)) << log;
    ASSERT_TRUE(s->ChangePassword("another secret", "", ""));
    EXPECT_EQ(FolderFiles(), open);
    ExpectFilled(*s);
    // The rebuilt container is open and writable.
    Put(*s, "\\after", "written after the repair", "");
  }
  EXPECT_EQ(FolderFiles(), std::vector<std::string>{"safe.qvt"});  // no "_new", no numbered old file
  auto s = Open("another secret");
  ExpectFilled(*s);
  EXPECT_EQ(Get(*s, "\\after", ""), "written after the repair");
  EXPECT_THROW(Open("secret"), ESFSError);
}

TEST_F(RebuildTest, CancelledOrFailedRepairLeavesTheOriginalAsItWas) {
  {
    auto s = Create();
    Fill(*s);
  }
  // Reading files sets their last access time, so the bytes are compared right after each failed
  // rebuild, before anything is read.
  std::string before = test::ReadFileBytes(Path());
  auto unchanged = [&] { return test::ReadFileBytes(Path()) == before; };
  {
    auto s = Open();
    s->OnProgress = [](bool& cancel, double p) {
      if (p >= 50) cancel = true;
    };
    std::string log;
    EXPECT_FALSE(s->RepairFile(log, false));
    EXPECT_EQ(log, "RepairFile cancelled. Original file restored.\n");
    EXPECT_TRUE(unchanged());
    EXPECT_EQ(FolderFiles(), std::vector<std::string>{"safe.qvt"});
    s->OnProgress = nullptr;
    ExpectFilled(*s);
  }

  // The device fills up at several points of the rebuild.
  for (int64_t budget : {0, 3000, 20000, 60000}) {
    SCOPED_TRACE(budget);
    before = test::ReadFileBytes(Path());
    test::TFaultyPartStorage storage;
    auto s = Open("secret", &storage);
    bool noSpace = false;
    s->OnNoSpace = [&] { noSpace = true; };
    storage.writeBudget = budget;
    std::string log;
    EXPECT_FALSE(s->RepairFile(log, false));
    storage.writeBudget = -1;
    EXPECT_EQ(log.rfind("Critical error occured. Original file restored.\n", 0), 0u) << log;
    EXPECT_TRUE(unchanged());
    EXPECT_EQ(FolderFiles(), std::vector<std::string>{"safe.qvt"});
    ExpectFilled(*s);
  }

  // Too little room for the copy: refused before anything is written.
  {
    before = test::ReadFileBytes(Path());
    test::TFaultyPartStorage storage;
    storage.freeSpace = 4096;
    auto s = Open("secret", &storage);
    bool noSpace = false;
    s->OnNoSpace = [&] { noSpace = true; };
    std::string log;
    EXPECT_FALSE(s->RepairFile(log, false));
    EXPECT_EQ(log, "Not enough space.");
    EXPECT_TRUE(noSpace);
    EXPECT_TRUE(unchanged());
    EXPECT_EQ(FolderFiles(), std::vector<std::string>{"safe.qvt"});
  }

  // The new file cannot be renamed into place: the original comes back under its name.
  {
    before = test::ReadFileBytes(Path());
    test::TFaultyPartStorage storage;
    storage.failRenameFrom = Path() + "_new";
    auto s = Open("secret", &storage);
    std::string log;
    EXPECT_FALSE(s->RepairFile(log, false));
    EXPECT_EQ(s->LastError(), TSingleFileSystem::ErrRenameFailed);
    EXPECT_TRUE(unchanged());
    EXPECT_EQ(FolderFiles(), std::vector<std::string>{"safe.qvt"});
    ExpectFilled(*s);
  }
}

TEST_F(RebuildTest, StrictRepairDropsAFileWithAnUnreadablePageWhileLenientKeepsTheRest) {
  int32_t damaged;
  {
    auto s = Create();
    Fill(*s);
    TDIRItem item = s->Directory().ReadItem(s->Directory().Resolve("\\a\\b\\two"));
    const std::vector<int32_t>* m;
    const std::vector<int32_t>* d;
    s->Maps().GetMaps(item, m, d);
    damaged = (*d)[1];
  }
  std::string bytes = test::ReadFileBytes(Path());
  size_t at = 280 + size_t(damaged) * 2048 + 100;  // inside the payload of the file's second page
  bytes[at] = char(bytes[at] ^ 0x55);
  test::WriteFileBytes(Path(), bytes);
  {
    auto s = Open();
    std::string log;
    ASSERT_TRUE(s->RepairFile(log, false)) << log;
    EXPECT_EQ(log, "");
    std::string two = Get(*s, "\\a\\b\\two", "");
    std::string want = Random(2016 * 3, 2);
    EXPECT_EQ(two.substr(0, 2016), want.substr(0, 2016));
    EXPECT_EQ(two.substr(2016, 2016), std::string(2016, '\0'));
    EXPECT_EQ(two.substr(4032), want.substr(4032));
    EXPECT_EQ(s->CheckIntegrity(), std::vector<std::string>{});
  }
  test::WriteFileBytes(Path(), bytes);
  auto s = Open();
  std::string log;
  ASSERT_TRUE(s->RepairFile(log, true)) << log;
  EXPECT_EQ(log, "File \"\\a\\b\\two\" deleted. \n");
  EXPECT_FALSE(s->FileExists("\\a\\b\\two"));
  EXPECT_EQ(Get(*s, "\\a\\one", ""), Random(5000, 1));
  EXPECT_TRUE(s->CheckIntegrity().empty());
}

TEST_F(RebuildTest, ChangeOfPasswordRekeysAndTheSamePasswordOnlyRemakesTheRecoveryFields) {
  TKeyRecord firstRecord;
  {
    auto s = Create();
    Fill(*s);
    firstRecord = s->PageFile().KeyRecord();
    std::string oldMaster(reinterpret_cast<const char*>(s->PageFile().ContainerKey().Bytes()), 33);
    ASSERT_TRUE(s->ChangePassword("new secret", "", ""));
    EXPECT_NE(std::string(reinterpret_cast<const char*>(s->PageFile().ContainerKey().Bytes()), 33),
              oldMaster);
    ExpectFilled(*s);
  }
  EXPECT_EQ(FolderFiles(), std::vector<std::string>{"safe.qvt"});
  EXPECT_FALSE(TSingleFileSystem::CheckContainerPassword(Path(), "secret"));
  EXPECT_THROW(Open("secret"), ESFSError);
  auto s = Open("new secret");
  ExpectFilled(*s);
  const std::string master(reinterpret_cast<const char*>(s->PageFile().ContainerKey().Bytes()), 33);
  EXPECT_FALSE(s->PageFile().KeyRecord().HasQuestion());

  std::vector<double> progress;
  s->OnProgress = [&](bool&, double p) { progress.push_back(p); };
  ASSERT_TRUE(s->ChangePassword("new secret", "first pet?", "rex"));
  EXPECT_EQ(progress, (std::vector<double>{0, 100}));
  EXPECT_TRUE(s->PageFile().KeyRecord().HasQuestion());
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(s->PageFile().ContainerKey().Bytes()), 33), master);
  ExpectFilled(*s);
  s.reset();
  s = Open("new secret");
  ExpectFilled(*s);

  EXPECT_THROW(s->ChangePassword(std::string(40, 'x'), "", ""), ESFSError);  // too long for the record
  ExpectFilled(*s);
}

TEST_F(RebuildTest, ARepairNotesWhatItZeroedDroppedAndSetRight) {
  {
    auto s = Create();
    Fill(*s);
  }
  test::DamagePagePayload(Path(), "secret", "\\a\\b\\two", 1);
  test::SetPageEncryptionMark(Path(), "secret", "\\a\\own", 2, etNone);  // would be read as plain
  const std::string damaged = test::ReadFileBytes(Path());
  {
    auto s = Open();
    const auto problems = s->CheckIntegrity();
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_NE(problems[0].find("(\"\\a\\own\"): data page"), std::string::npos) << problems[0];
    EXPECT_NE(problems[0].find("bytes from 4032) is marked with encryption type 0, but the file needs 1"),
              std::string::npos)
        << problems[0];
    std::string log;
    std::vector<TRebuildNote> notes;
    ASSERT_TRUE(s->RepairFile(log, false, &notes)) << log;
    ASSERT_EQ(notes.size(), 2u);
    EXPECT_EQ(notes[0].Kind, TRebuildNote::TKind::BytesZeroed);
    EXPECT_EQ(notes[0].Path, "\\a\\b\\two");
    EXPECT_EQ(notes[0].Offset, 2016);
    EXPECT_EQ(notes[0].Length, 2016);
    EXPECT_EQ(notes[1].Kind, TRebuildNote::TKind::PageMarksRestored);
    EXPECT_EQ(notes[1].Path, "\\a\\own");
    EXPECT_EQ(notes[1].Length, 1);
    // The mark set right, the page reads as it was written.
    EXPECT_EQ(Get(*s, "\\a\\own"), Random(9000, 3));
    EXPECT_TRUE(s->CheckIntegrity().empty());
  }
  test::WriteFileBytes(Path(), damaged);
  auto s = Open();
  std::string log;
  std::vector<TRebuildNote> notes;
  ASSERT_TRUE(s->RepairFile(log, true, &notes)) << log;
  ASSERT_EQ(notes.size(), 2u);
  EXPECT_EQ(notes[0].Kind, TRebuildNote::TKind::FileDropped);
  EXPECT_EQ(notes[0].Path, "\\a\\b\\two");
}

}  // namespace
}  // namespace quillmar
