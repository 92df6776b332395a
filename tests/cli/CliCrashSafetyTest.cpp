// quillmar-cli and the Safe's promises as a program: commands that only read change no byte of the
// Safe; commands share it with programs that keep it open, waiting for their changes at most the busy
// timeout; check tells of an
// interrupted change; and a lock killed (SIGKILL) at random moments leaves the Safe with the file
// wholly locked or not at all.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <thread>

#include "CliRunner.h"
#include "base/MemoryStream.h"
#include "container/SingleFileSystem.h"
#include "safe/qmSFSWrapper.h"
#include "support/FaultyPartStorage.h"
#include "support/SafeReading.h"
#include "support/TempDir.h"

namespace quillmar::test {
namespace {

namespace fs = std::filesystem;

constexpr char kPw[] = "kill me softly 9";

class CliCrashSafety : public TCliHomeTest {
protected:
  CliCrashSafety() : TCliHomeTest(kPw) {}
  std::string Safe() const { return home + "/Main.qvt"; }
  std::string MakeFile(const std::string& name, size_t size) {
    std::string bytes(size, '\0');
    std::mt19937 rng(static_cast<unsigned>(size));
    for (auto& b : bytes) b = static_cast<char>(rng());
    const std::string path = dir.file(name);
    WriteFileBytes(path, bytes);
    return path;
  }
  void CreateMain() {
    Ok({"create", "Main"}, std::string(kPw) + "\n" + kPw + "\n");
    Ok({"mkcat", "Main", "Web", "--field", "Title:text", "--field", "Scan:file"});
    const std::string scan = MakeFile("scan.pdf", 3000);
    Ok({"add", "Main", "Web", "--set", "Title=Bank", "--attach", "Scan=" + scan});
    Ok({"mkdir", "Main", "Docs"});
    Ok({"lock", "Main", MakeFile("letter.txt", 5000), "--into", "Docs"});
  }
};

TEST_F(CliCrashSafety, CommandsThatOnlyReadChangeNoByteOfTheSafe) {
  CreateMain();
  const std::string before = ReadFileBytes(Safe());
  struct stat st {};
  ASSERT_EQ(::stat(Safe().c_str(), &st), 0);
  const auto mtime = st.st_mtim;
  Ok({"ls", "Main", "--recursive"});
  Ok({"--json", "show", "Main", "Web/Bank"});
  Ok({"show", "Main", "Web/Bank", "--extract", dir.file("out")});
  Ok({"search", "Main", "bank"});
  Ok({"files", "Main", "Docs"});
  Ok({"reminders", "Main"});
  Ok({"export", "Main", "--format", "json", "--out", dir.file("export.json")});
  Ok({"check", "Main", "--deep"});
  Ok({"unlock", "Main", "Docs/letter.txt", dir.file("copy"), "--keep"});
  EXPECT_EQ(ReadFileBytes(dir.file("copy/letter.txt")), ReadFileBytes(dir.file("letter.txt")));
  EXPECT_TRUE(ReadFileBytes(Safe()) == before);
  ASSERT_EQ(::stat(Safe().c_str(), &st), 0);
  EXPECT_EQ(st.st_mtim.tv_sec, mtime.tv_sec);
  EXPECT_EQ(st.st_mtim.tv_nsec, mtime.tv_nsec);
  EXPECT_FALSE(fs::exists(Safe() + "-journal"));
}

TEST_F(CliCrashSafety, ProgramsThatHaveTheSafeOpenShareItWithTheCommands) {
  CreateMain();
  {
    // Another program reads the Safe: the commands read and change it beside it, and it sees what
    // they changed.
    TqmSFSWrapper reader;
    reader.OpenSafe(Safe(), kPw, true);
    EXPECT_NE(Ok({"ls", "Main"}).find("Web/"), std::string::npos);
    Ok({"mkdir", "Main", "Other"});
    EXPECT_EQ(reader.CountFolders(TqmSFSWrapper::kFileLockerRoot), 2);
  }
  {
    // Another program keeps the Safe open for writing, as the desktop does for a whole session.
    TqmSFSWrapper desktop;
    desktop.OpenSafe(Safe(), kPw);
    EXPECT_EQ(desktop.CountFolders(TqmSFSWrapper::kFileLockerRoot), 2);
    Ok({"add", "Main", "Web", "--set", "Title=Second"});
    EXPECT_NE(Ok({"ls", "Main", "Web"}).find("Second"), std::string::npos);
    EXPECT_NE(Ok({"check", "Main", "--deep"}).find("no problems found"), std::string::npos);
    EXPECT_TRUE(desktop.Refresh());  // as the desktop does when its watch on the file fires
    const TqmSafeChanges seen = desktop.TakeChanges();
    EXPECT_TRUE(seen.Any());
    EXPECT_FALSE(seen.EntryFolders.empty());
    ASSERT_TRUE(desktop.CreateFolder(TqmSFSWrapper::kFileLockerRoot, "FromDesktop"));
    EXPECT_NE(Ok({"files", "Main"}).find("FromDesktop"), std::string::npos);
  }
  {
    // A program that keeps the Safe to itself (as older versions do) still refuses every command.
    TSingleFileSystem alone(Safe(), -1, 8, 4096, 0, "", "", TqmSFSWrapper::TextKeyFor(Safe(), kPw), false,
                            TSingleFileSystem::fmReadWriteExclusive);
    const TCliRun r = Q({"ls", "Main"});
    EXPECT_EQ(r.code, 4);
    EXPECT_NE(r.err.find("is in use"), std::string::npos) << r.err;
  }
}

TEST_F(CliCrashSafety, ACommandWaitsForAChangeOfAnotherProgramAtMostTheBusyTimeout) {
  CreateMain();
  TqmSFSWrapper desktop;
  desktop.OpenSafe(Safe(), kPw);
  {
    // The desktop is in the middle of a change: it holds the exclusive lock.
    TqmSFSWrapper::TChange change(desktop);
    ASSERT_TRUE(desktop.CreateFolder(TqmSFSWrapper::kFileLockerRoot, "Pending"));
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"--wait", "0.3", "add", "Main", "Web", "--set", "Title=Late"}, {"ls", "Main", "--wait=0"}}) {
      const TCliRun r = Q(args);
      EXPECT_EQ(r.code, 4) << args[2];
      EXPECT_NE(r.err.find("Main.qvt is being changed by another program: waited "), std::string::npos)
          << r.err;
      EXPECT_NE(r.err.find("Try again when it is done."), std::string::npos) << r.err;
    }
    EXPECT_NE(
        Q({"--wait", "0.3", "add", "Main", "Web", "--set", "Title=Late"}).err.find("waited 0.3 seconds"),
        std::string::npos);
  }  // the change is committed here
  // The commands that gave up changed nothing; the desktop's change is whole.
  EXPECT_EQ(Ok({"ls", "Main", "Web"}).find("Late"), std::string::npos);
  Ok({"files", "Main", "Pending"});
  Ok({"--wait", "0", "add", "Main", "Web", "--set", "Title=Late"});
  EXPECT_NE(Ok({"ls", "Main", "Web"}).find("Late"), std::string::npos);
}

TEST_F(CliCrashSafety, CheckTellsOfAnInterruptedChangeWhichOpeningUndoes) {
  CreateMain();
  const std::string listing = Ok({"files", "Main", "Docs"});
  // A lock interrupted once its pages were written, before the change was complete.
  TFaultyPartStorage storage;
  auto lockOnce = [&] {
    TqmSFSWrapper safe;
    safe.SetPartStorage(&storage);
    safe.OpenSafe(Safe(), kPw);
    TMemoryStream data(std::string(70000, 'x'));
    safe.LockStream(std::string(TqmSFSWrapper::kFileLockerRoot) + "Docs\\big.bin", data,
                    TqmSFSWrapper::TextKeyFor(Safe(), kPw));
  };
  const std::string base = ReadFileBytes(Safe());
  storage.recordLog = true;
  lockOnce();
  int64_t at = 0;
  for (const auto& line : storage.log)
    if (at == 0 && line.find("sync Main.qvt") != std::string::npos &&
        line.find("journal") == std::string::npos)
      at = std::stoll(line);
  ASSERT_GT(at, 0);
  WriteFileBytes(Safe(), base);
  fs::remove(Safe() + "-journal");
  storage.Arm(TFaultyPartStorage::TFault::Crash, at);
  EXPECT_ANY_THROW(lockOnce());
  storage.Disarm();
  ASSERT_TRUE(fs::exists(Safe() + "-journal"));

  TCliRun r = Q({"check", "Main"});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("journal Main.qvt-journal: an interrupted change"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("the interrupted change was undone"), std::string::npos) << r.out;
  EXPECT_FALSE(fs::exists(Safe() + "-journal"));
  EXPECT_EQ(Ok({"files", "Main", "Docs"}), listing);
}

// A lock interrupted once its pages were written, then its journal damaged (its seal's last byte):
// nothing opens the half-written Safe or deletes the journal; repair puts back what it holds.
TEST_F(CliCrashSafety, ADamagedJournalIsNamedKeptAndUsedByRepair) {
  CreateMain();
  const std::string listing = Ok({"files", "Main", "Docs"});
  TFaultyPartStorage storage;
  auto lockOnce = [&] {
    TqmSFSWrapper safe;
    safe.SetPartStorage(&storage);
    safe.OpenSafe(Safe(), kPw);
    TMemoryStream data(std::string(70000, 'x'));
    safe.LockStream(std::string(TqmSFSWrapper::kFileLockerRoot) + "Docs\\big.bin", data,
                    TqmSFSWrapper::TextKeyFor(Safe(), kPw));
  };
  const std::string base = ReadFileBytes(Safe());
  storage.recordLog = true;
  lockOnce();
  int64_t at = 0;
  for (const auto& line : storage.log)
    if (at == 0 && line.size() > 13 && line.compare(line.size() - 13, 13, "sync Main.qvt") == 0)
      at = std::stoll(line);
  ASSERT_GT(at, 0);
  WriteFileBytes(Safe(), base);
  fs::remove(Safe() + "-journal");
  storage.Arm(TFaultyPartStorage::TFault::Crash, at);
  EXPECT_ANY_THROW(lockOnce());
  storage.Disarm();
  std::string journal = ReadFileBytes(Safe() + "-journal");
  journal.back() = char(journal.back() ^ 0x01);
  WriteFileBytes(Safe() + "-journal", journal);
  const std::string damaged = ReadFileBytes(Safe());

  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"ls", "Main"}, {"files", "Main", "Docs"}, {"mkdir", "Main", "Other"}}) {
    TCliRun r = Q(args);
    EXPECT_EQ(r.code, 4) << args[0];
    EXPECT_NE(r.err.find("its journal Main.qvt-journal"), std::string::npos) << args[0] << ": " << r.err;
    EXPECT_NE(r.err.find("Repair the Safe"), std::string::npos) << r.err;
  }
  TCliRun check = Q({"check", "Main"});
  EXPECT_EQ(check.code, 1);
  EXPECT_NE(check.out.find("journal Main.qvt-journal: damaged"), std::string::npos) << check.out;
  EXPECT_TRUE(ReadFileBytes(Safe() + "-journal") == journal);
  EXPECT_TRUE(ReadFileBytes(Safe()) == damaged);

  EXPECT_EQ(Q({"repair", "Main"}, "a wrong password\n").code, 3);
  EXPECT_TRUE(ReadFileBytes(Safe()) == damaged);
  const std::string repaired = Ok({"repair", "Main"});
  EXPECT_NE(repaired.find("journal: put back the old contents of"), std::string::npos) << repaired;
  EXPECT_NE(repaired.find("Repaired the Safe Main"), std::string::npos) << repaired;
  EXPECT_FALSE(fs::exists(Safe() + "-journal"));
  EXPECT_TRUE(fs::exists(Safe() + "-journal.salvaged"));
  EXPECT_NE(Ok({"check", "Main", "--deep"}).find("deep check: no problems found"), std::string::npos);
  EXPECT_EQ(Ok({"files", "Main", "Docs"}), listing);
}

// The child is killed at random moments of a lock of a 20 MiB file, 50 times. Slow: it runs in the
// normal test pass (ctest's qm_cli_kill_tests), not under the sanitizers.
TEST_F(CliCrashSafety, ALockKilledAtRandomMomentsLeavesTheFileWhollyLockedOrNotAtAll) {
  if (!std::getenv("QM_SLOW_TESTS"))
    GTEST_SKIP() << "set QM_SLOW_TESTS=1 (ctest runs it as qm_cli_kill_tests)";
  CreateMain();
  const std::string big = MakeFile("big.bin", 20 << 20);
  const std::string plain = ReadFileBytes(big);
  const std::string base = ReadFileBytes(Safe());
  auto restore = [&] {
    for (const auto& item : fs::directory_iterator(home))
      if (item.path().filename() != "Main.qvt" && item.is_regular_file()) fs::remove(item.path());
    WriteFileBytes(Safe(), base);
  };
  // One lock as a whole, to know how long it takes.
  restore();
  const auto t0 = std::chrono::steady_clock::now();
  Ok({"lock", "Main", big});
  const double full = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();

  std::mt19937 rng(20240916);
  std::uniform_real_distribution<double> when(0.0, full * 1.1);
  int wholly = 0, none = 0;
  for (int round = 0; round < 50; ++round) {
    SCOPED_TRACE(round);
    restore();
    int in[2];
    ASSERT_EQ(pipe(in), 0);
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      dup2(in[0], 0);
      close(in[0]);
      close(in[1]);
      const int null = ::open("/dev/null", O_WRONLY);
      dup2(null, 1);
      dup2(null, 2);
      const std::string program = CliProgram();
      execl(program.c_str(), program.c_str(), "--home", home.c_str(), "lock", "Main", big.c_str(), nullptr);
      _exit(127);
    }
    close(in[0]);
    const std::string line = std::string(kPw) + "\n";
    ASSERT_EQ(write(in[1], line.data(), line.size()), ssize_t(line.size()));
    close(in[1]);
    std::this_thread::sleep_for(std::chrono::duration<double>(when(rng)));
    kill(pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);

    // Opened again as a user would: the Safe opens, is sound, and has big.bin wholly or not at all.
    TqmSFSWrapper safe;
    ASSERT_NO_THROW(safe.OpenSafe(Safe(), kPw, true));
    EXPECT_EQ(safe.Container()->CheckIntegrity(), std::vector<std::string>{});
    EXPECT_EQ(test::ReadEveryFile(safe), std::vector<std::string>{});
    const std::string root = TqmSFSWrapper::kFileLockerRoot;
    ASSERT_LE(safe.CountFiles(root), 1);  // no partial "~lock....tmp" beside it
    if (safe.CountFiles(root) == 1) {
      EXPECT_EQ(safe.FileInfoAt(root, 0).Name, "big.bin");
      TMemoryStream out;
      safe.UnlockToStream(root + "big.bin", out, TqmSFSWrapper::TextKeyFor(Safe(), kPw));
      EXPECT_TRUE(out.View() == plain);
      ++wholly;
    } else {
      ++none;
    }
    EXPECT_EQ(safe.CountFiles(root + "Docs\\"), 1);
  }
  std::cout << "[ kills    ] 50 kills during a lock of " << full << " s: " << wholly << " wholly locked, "
            << none << " not locked\n";
}

}  // namespace
}  // namespace quillmar::test
