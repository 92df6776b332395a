#include "base/WorkerThreads.h"

#include <sched.h>

#include <algorithm>
#include <cstdlib>
#include <thread>

namespace quillmar {

namespace {

int AffinityCount() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (::sched_getaffinity(0, sizeof set, &set) == 0) {
    const int n = CPU_COUNT(&set);
    if (n > 0) return n;
  }
  const unsigned hw = std::thread::hardware_concurrency();
  return hw > 0 ? int(hw) : 1;
}

}  // namespace

int WorkerThreadCount() {
  // The affinity is the one the process was started with (taskset); asked once.
  static const int machine = std::clamp(AffinityCount(), 1, kMaxWorkerThreads);
  if (const char* text = std::getenv("QM_THREADS"); text && *text) {
    char* end = nullptr;
    const long n = std::strtol(text, &end, 10);
    if (*end == '\0' && n >= 1 && n <= kMaxWorkerThreads) return int(n);
  }
  return machine;
}

}  // namespace quillmar
