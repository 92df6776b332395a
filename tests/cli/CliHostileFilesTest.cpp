// Damaged and hostile files through quillmar-cli: a damaged system record or entry record, names that
// look like the program's work files, an export pointed at a link, a header asking for a costly key
// derivation, and the small faults found beside them.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "CliRunner.h"
#include "container/SingleFileSystem.h"
#include "safe/qmSFSWrapper.h"
#include "support/ContainerDamage.h"
#include "support/TempDir.h"

namespace quillmar::test {
namespace {

namespace fs = std::filesystem;

constexpr char kPw[] = "hostile files 9";

class CliHostileFiles : public TCliHomeTest {
protected:
  CliHostileFiles() : TCliHomeTest(kPw) {}
  std::string Safe() { return home + "/Main.qvt"; }
  void CreateMain() {
    Ok({"create", "Main"});
    Ok({"mkcat", "Main", "Jots", "--field", "Title:text", "--field", "Body:memo"});
  }
  // The container path of the entry record that holds text (read-only: nothing is written).
  std::string EntryRecordHolding(const std::string& text) {
    TqmSFSWrapper safe;
    safe.OpenSafe(Safe(), TqmSFSWrapper::TextKeyFor(Safe(), kPw), true);
    for (const std::string& folder : safe.ListNames(TqmSFSWrapper::kRepositoryRoot, true)) {
      const std::string path = TqmSFSWrapper::kRepositoryRoot + folder + "\\";
      for (const std::string& name : safe.ListNames(path, false))
        if (name.size() > 6 && name.substr(name.size() - 6) == ".entry" &&
            safe.ReadRecordBytes(path + name).find(text) != std::string::npos)
          return path + name;
    }
    return "";
  }
};

// --- Damaged records -------------------------------------------------------------------------------

TEST_F(CliHostileFiles, ADamagedSettingsRecordLocksNobodyOutAndARepairWritesTheDefaultsBack) {
  CreateMain();
  Ok({"add", "Main", "Jots", "--set", "Title=kept"});
  Ok({"export", "Main", "--format", "csv", "--out", dir.file("before.csv")});
  DamagePagePayload(Safe(), kPw, TqmSFSWrapper::kSettingsFile, 0);

  const std::string named = std::string("cannot be read: The record \"") + TqmSFSWrapper::kSettingsFile;
  TCliRun r = Q({"ls", "Main", "Jots"});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, "kept\n");
  EXPECT_NE(r.err.find("warning: The settings of this Safe " + named), std::string::npos) << r.err;
  r = Q({"export", "Main", "--format", "csv", "--out", dir.file("after.csv")});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(ReadFileBytes(dir.file("after.csv")), ReadFileBytes(dir.file("before.csv")));
  r = Q({"check", "Main", "--deep"});
  EXPECT_EQ(r.code, 1) << r.out << r.err;
  EXPECT_NE(r.out.find(std::string("problem: The record \"") + TqmSFSWrapper::kSettingsFile),
            std::string::npos)
      << r.out;

  r = Q({"repair", "Main"});
  EXPECT_EQ(r.code, 1) << r.out << r.err;
  EXPECT_NE(r.out.find("the default settings were written in their place"), std::string::npos) << r.out;
  r = Q({"ls", "Main", "Jots"});
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.err.find("settings"), std::string::npos) << r.err;
  EXPECT_EQ(Q({"check", "Main", "--deep"}).code, 0);
}

TEST_F(CliHostileFiles, AnEntryWhoseRecordIsDamagedIsNamedAndTheListingsSaySo) {
  CreateMain();
  Ok({"add", "Main", "Jots", "--set", "Title=fine"});
  Ok({"add", "Main", "Jots", "--set", "Title=spoilt", "--set", "Body=" + std::string(3000, 'b')});
  const std::string spoilt = EntryRecordHolding(">spoilt<");
  ASSERT_FALSE(spoilt.empty());
  // One bit of the first page's header: the page is read through no cipher, garbage with the title.
  SetPageEncryptionMark(Safe(), kPw, spoilt, 0, 0);

  TCliRun r = Q({"ls", "Main", "Jots"});
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.out, "fine\n");
  EXPECT_NE(r.err.find("warning: The entry record \"" + spoilt + "\""), std::string::npos) << r.err;
  r = Q({"show", "Main", "Jots/#1"});
  EXPECT_EQ(r.code, 4) << r.err;
  EXPECT_NE(r.err.find(spoilt), std::string::npos) << r.err;
  r = Q({"export", "Main", "--format", "json"});
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find(spoilt), std::string::npos) << r.err;
  EXPECT_EQ(Ok({"show", "Main", "Jots/fine"}), "Title: fine\nBody: \n");
}

// --- Names, links and costs ----------------------------------------------------------------------------

TEST_F(CliHostileFiles, FilesNamedLikeTheProgramsWorkFilesSurviveTheNextWrite) {
  CreateMain();
  Ok({"mkcat", "Main", "Papers", "--field", "Title:text", "--field", "Scan:file"});
  const std::string lockName = dir.file("~lock1234567.tmp");
  const std::string attachName = dir.file("~attach7654321.tmp");
  WriteFileBytes(lockName, "my own data");
  WriteFileBytes(attachName, "my scan");
  Ok({"lock", "Main", lockName});
  Ok({"add", "Main", "Papers", "--set", "Title=scan", "--attach", "Scan=" + attachName});
  TCliRun r = Q({"mkdir", "Main", "Later"});  // the next write
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.err.find("Removed"), std::string::npos) << r.err;
  EXPECT_NE(Ok({"files", "Main"}).find("~lock1234567.tmp\t11\t"), std::string::npos);
  Ok({"show", "Main", "Papers/scan", "--extract", dir.file("out")});
  EXPECT_EQ(ReadFileBytes(dir.file("out/~attach7654321.tmp")), "my scan");
  Ok({"unlock", "Main", "~lock1234567.tmp", dir.file("back")});
  EXPECT_EQ(ReadFileBytes(dir.file("back/~lock1234567.tmp")), "my own data");
}

TEST_F(CliHostileFiles, AnExportIsNeverWrittenThroughASymbolicLink) {
  CreateMain();
  Ok({"add", "Main", "Jots", "--set", "Title=secret"});
  WriteFileBytes(dir.file("target"), "precious");
  fs::create_symlink(dir.file("target"), dir.file("link"));
  fs::create_symlink(dir.file("nowhere"), dir.file("dangling"));
  for (const std::string& out : {dir.file("link"), dir.file("dangling")}) {
    for (bool yes : {false, true}) {
      std::vector<std::string> args = {"export", "Main", "--format", "csv", "--out", out};
      if (yes) args.push_back("--yes");
      TCliRun r = Q(args, "");  // refused before the password is asked
      EXPECT_EQ(r.code, 4) << out;
      EXPECT_NE(r.err.find("is a symbolic link"), std::string::npos) << r.err;
    }
  }
  EXPECT_EQ(ReadFileBytes(dir.file("target")), "precious");
  EXPECT_FALSE(fs::exists(dir.file("nowhere")));
  EXPECT_TRUE(fs::is_symlink(dir.file("link")));
}

TEST_F(CliHostileFiles, AKeyDerivationBeyondWhatTheProgramWritesIsRefusedUnlessAllowed) {
  Ok({"create", "Main"});
  const std::string kept = ReadFileBytes(Safe());
  // 2 GiB and 20 passes: minutes of work and 2 GiB per open. Refused before anything is reserved.
  SetKeyDerivationCost(Safe(), 2u * 1024 * 1024, 20);
  TCliRun r = Q({"ls", "Main"});
  EXPECT_EQ(r.code, 4);
  EXPECT_NE(r.err.find("asks for 2 GiB of memory and 20 passes, more than quillmar-cli ever uses"),
            std::string::npos)
      << r.err;
  EXPECT_NE(r.err.find("add --allow-costly-derivation"), std::string::npos) << r.err;
  r = Q({"check", "Main"});
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.out.rfind("4 the Safe cannot be opened: the Safe \"Main\" was not opened", 0), 0u) << r.out;

  // A costly number of passes at a tiny memory: allowed, the derivation runs (and the changed header
  // makes it the wrong key, which is what a derivation that ran says).
  WriteFileBytes(Safe(), kept);
  SetKeyDerivationCost(Safe(), 64, 11);
  r = Q({"ls", "Main"});
  EXPECT_EQ(r.code, 4);
  EXPECT_NE(r.err.find("64 KiB of memory and 11 passes"), std::string::npos) << r.err;
  r = Q({"--allow-costly-derivation", "ls", "Main"});
  EXPECT_EQ(r.code, 3) << r.err;
  // --yes is no agreement to a cost.
  EXPECT_EQ(Q({"rm", "Main", "x", "--yes"}).code, 4);
}

// --- Small ones -------------------------------------------------------------------------------------

TEST_F(CliHostileFiles, AChangeOfPasswordKeepsTheTimesTheFileLockerLists) {
  CreateMain();
  Ok({"mkdir", "Main", "Docs"});
  WriteFileBytes(dir.file("a.txt"), std::string(10000, 'a'));
  Ok({"lock", "Main", dir.file("a.txt"), "--into", "Docs"});
  // A time that cannot be the time of the change.
  {
    TSingleFileSystem sfs(Safe(), -1, 8, 2048, 0, "", "", TqmSFSWrapper::TextKeyFor(Safe(), kPw), false,
                          TSingleFileSystem::fmReadWriteExclusive);
    TSingleFileSystem::TItemTimes times;
    ASSERT_TRUE(sfs.GetItemTimes("\\File Locker\\Docs\\a.txt", times));
    times.LastWrite -= int64_t(400) * 24 * 3600 * 10000000;  // 400 days earlier, in 100 ns units
    ASSERT_TRUE(sfs.SetItemTimes("\\File Locker\\Docs\\a.txt", times));
  }
  const std::string before = Ok({"files", "Main", "Docs"});
  Ok({"passwd", "Main"}, std::string(kPw) + "\nanother pw 1\n");
  EXPECT_EQ(Ok({"files", "Main", "Docs"}, "another pw 1\n"), before);
}

TEST_F(CliHostileFiles, RefusalsStayOneLineAndACategoryTakesEachFieldNameOnce) {
  CreateMain();
  TCliRun r = Q({"show", "Main", "No\nSuch/x"});
  EXPECT_EQ(r.code, 2);
  EXPECT_NE(r.err.find("\"No\\x0ASuch\""), std::string::npos) << r.err;
  EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;

  r = Q({"mkcat", "Main", "Dup", "--field", "Title:text", "--field", "Title:password"});
  EXPECT_EQ(r.code, 2);
  EXPECT_NE(r.err.find("two fields are named \"Title\""), std::string::npos) << r.err;
  EXPECT_EQ(Ok({"ls", "Main"}).find("Dup"), std::string::npos);
}

}  // namespace
}  // namespace quillmar::test
