#pragma once
// Prints one benchmark figure in the common format of bench/run: the project's value, the reference
// measured in the same run (a peer program or the physical limit of the format), and their ratio.
#include <chrono>
#include <cstdio>
#include <string>

namespace quillmar::bench {

// higherIsBetter: for throughputs the ratio is value/reference; for times and sizes it is
// value/reference too, and the target text says which way it must go.
inline void ReportFigure(const std::string& name, double value, double reference, const std::string& unit,
                         const std::string& target) {
  double ratio = reference != 0 ? value / reference : 0;
  std::printf("%-52s %14.3f %14.3f %8.3f  %s; %s\n", name.c_str(), value, reference, ratio, unit.c_str(),
              target.c_str());
  std::fflush(stdout);
}

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
