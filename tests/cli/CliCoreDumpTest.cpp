// A crash of quillmar-cli while a Safe is open, with core dumps allowed, must leave no core file: a
// core would hold the Safe's key.
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "CliRunner.h"

namespace quillmar::test {
namespace {

namespace fs = std::filesystem;

// The "Max core file size" line of /proc/PID/limits.
std::string CoreLimitOf(pid_t pid) {
  std::ifstream limits("/proc/" + std::to_string(pid) + "/limits");
  std::string line;
  while (std::getline(limits, line))
    if (line.rfind("Max core file size", 0) == 0) return line;
  return "";
}

class CliCoreDump : public TCliHomeTest {
protected:
  CliCoreDump() : TCliHomeTest("core dump pw") {}
};

TEST_F(CliCoreDump, ACrashWhileASafeIsOpenLeavesNoCoreEvenWhereCoreDumpsAreAllowed) {
  Ok({"create", "Main"});
  Ok({"mkcat", "Main", "Jots", "--field", "Title:text"});
  Ok({"add", "Main", "Jots", "--set", "Title=x"});

  // rm asks on a terminal before it deletes: the Safe is open (its key in memory) while it waits.
  std::vector<std::string> store = {CliProgram(), "--home", home, "rm", "Main", "Jots/x"};
  std::vector<char*> argv;
  for (auto& s : store) argv.push_back(s.data());
  argv.push_back(nullptr);
  const fs::path work = dir.path() / "cwd";
  fs::create_directories(work);
  int master = -1;
  const pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    // A user who allows core dumps: a core would be written to the working folder.
    struct rlimit all = {RLIM_INFINITY, RLIM_INFINITY};
    if (setrlimit(RLIMIT_CORE, &all) != 0) {
      getrlimit(RLIMIT_CORE, &all);
      all.rlim_cur = all.rlim_max;
      setrlimit(RLIMIT_CORE, &all);
    }
    if (chdir(work.c_str()) != 0) _exit(126);
    execv(argv[0], argv.data());
    _exit(127);
  }
  std::string seen;
  bool answered = false, asked = false;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!asked && std::chrono::steady_clock::now() < deadline) {
    pollfd p{master, POLLIN, 0};
    if (poll(&p, 1, 200) > 0) {
      char buf[512];
      const ssize_t n = read(master, buf, sizeof buf);
      if (n <= 0) break;
      seen.append(buf, size_t(n));
    }
    if (!answered && seen.find("Master password for Main: ") != std::string::npos) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));  // let it turn echo off
      const std::string line = "core dump pw\r";
      ASSERT_EQ(write(master, line.data(), line.size()), ssize_t(line.size()));
      answered = true;
    }
    asked = seen.find("[y/N]") != std::string::npos;
  }
  ASSERT_TRUE(asked) << seen;
  const std::string limit = CoreLimitOf(pid);
  kill(pid, SIGQUIT);  // its default action writes a core
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  close(master);

  ASSERT_TRUE(WIFSIGNALED(status));
  EXPECT_EQ(WTERMSIG(status), SIGQUIT);
  EXPECT_FALSE(WCOREDUMP(status)) << "a core was written";
  EXPECT_TRUE(fs::is_empty(work)) << "the working folder holds " << fs::directory_iterator(work)->path();
  EXPECT_NE(limit.find(" 0 "), std::string::npos) << limit;
  // The Safe is as it was: nothing was deleted.
  EXPECT_NE(Ok({"ls", "Main", "Jots"}).find("x"), std::string::npos);
}

}  // namespace
}  // namespace quillmar::test
