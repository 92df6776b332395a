#pragma once
// The number of threads this process runs now (the entries of /proc/self/task), for tests that check
// that an operation leaves no thread behind.
#include <filesystem>
#include <thread>

namespace quillmar::test {

inline int ProcessThreads() {
  // A thread started and joined before the first count: the thread sanitizer's runtime starts a
  // helper thread of its own when the program makes its first thread, which would otherwise look
  // like a thread left behind by the operation under test.
  static const bool settled = [] {
    std::thread([] {}).join();
    return true;
  }();
  (void)settled;
  int n = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/task")) ++n;
  return n;
}

}  // namespace quillmar::test
