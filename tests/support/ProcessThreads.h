#pragma once
// The number of threads this process runs now (the entries of /proc/self/task), for tests that check
// that an operation leaves no thread behind.
#include <filesystem>

namespace quillmar::test {

inline int ProcessThreads() {
  int n = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/task")) ++n;
  return n;
}

}  // namespace quillmar::test
