#pragma once
// Prints one benchmark figure in the common format of bench/run: the project's value, the reference
// measured in the same run (a peer program or the physical limit of the format), their ratio, and
// the number of threads the project's side ran with (QM_THREADS, base/WorkerThreads.h).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "base/WorkerThreads.h"

namespace quillmar::bench {

// higherIsBetter: for throughputs the ratio is value/reference; for times and sizes it is
// value/reference too, and the target text says which way it must go.
// threads: what the value was measured with (by default what QM_THREADS or the machine gives now).
inline void ReportFigure(const std::string& name, double value, double reference, const std::string& unit,
                         const std::string& target, int threads = WorkerThreadCount()) {
  double ratio = reference != 0 ? value / reference : 0;
  std::printf("%-52s %14.3f %14.3f %8.3f %7d  %s; %s\n", name.c_str(), value, reference, ratio, threads,
              unit.c_str(), target.c_str());
  std::fflush(stdout);
}

// Sets QM_THREADS for the life of the object (the one-thread figure beside the threaded one), and
// puts the old value back afterwards.
class TThreadsForBench {
public:
  explicit TThreadsForBench(int threads) {
    if (const char* old = std::getenv("QM_THREADS")) old_ = old, had_ = true;
    ::setenv("QM_THREADS", std::to_string(threads).c_str(), 1);
  }
  ~TThreadsForBench() {
    if (had_)
      ::setenv("QM_THREADS", old_.c_str(), 1);
    else
      ::unsetenv("QM_THREADS");
  }
  TThreadsForBench(const TThreadsForBench&) = delete;
  TThreadsForBench& operator=(const TThreadsForBench&) = delete;

private:
  std::string old_;
  bool had_ = false;
};

// Seconds taken by f(), best of `repeats` runs.
template <class F>
double BestSeconds(int repeats, F&& f) {
  double best = 1e300;
  for (int i = 0; i < repeats; ++i) {
    auto t0 = std::chrono::steady_clock::now();
    f();
    double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    if (s < best) best = s;
  }
  return best;
}

}  // namespace quillmar::bench
