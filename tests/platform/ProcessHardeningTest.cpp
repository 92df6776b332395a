#include <gtest/gtest.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/ProcessHardening.h"

namespace quillmar {
namespace {

// Runs check in a child process (the flags it sets are the child's alone); its exit code.
template <class F>
int InChild(F&& check) {
  const pid_t pid = fork();
  if (pid == 0) _exit(check());
  int status = 0;
  EXPECT_EQ(waitpid(pid, &status, 0), pid);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 100 + WTERMSIG(status);
}

TEST(ProcessHardening, TheProcessIsNotDumpableAndMayWriteNoCoreFile) {
  const int code = InChild([] {
    // As a user with core dumps allowed would start the program.
    struct rlimit all = {RLIM_INFINITY, RLIM_INFINITY};
    if (setrlimit(RLIMIT_CORE, &all) != 0) {
      struct rlimit current;
      getrlimit(RLIMIT_CORE, &current);
      current.rlim_cur = current.rlim_max;
      setrlimit(RLIMIT_CORE, &current);
    }
    prctl(PR_SET_DUMPABLE, 1, 0, 0, 0);
    const TProcessHardening h = HardenProcess();
    if (!h.notDumpable || !h.noCoreFile) return 1;
    if (prctl(PR_GET_DUMPABLE, 0, 0, 0, 0) != 0) return 2;
    struct rlimit core;
    if (getrlimit(RLIMIT_CORE, &core) != 0 || core.rlim_cur != 0 || core.rlim_max != 0) return 3;
    // Twice does no harm.
    const TProcessHardening again = HardenProcess();
    return again.notDumpable && again.noCoreFile ? 0 : 4;
  });
  EXPECT_EQ(code, 0);
}

}  // namespace
}  // namespace quillmar
