#include "container/TransactionLock.h"

#include <algorithm>
#include <thread>

namespace quillmar {

namespace {

using TClock = std::chrono::steady_clock;

// Retries `attempt` until it succeeds or the deadline passes, sleeping a little longer each time (a
// lock held for a moment is taken at once; a long wait costs no more than a few wake-ups a second).
template <class F>
bool Retry(TClock::time_point deadline, F&& attempt) {
  std::chrono::milliseconds pause(1);
  for (;;) {
    if (attempt()) return true;
    const auto now = TClock::now();
    if (now >= deadline) return false;
    std::this_thread::sleep_for(std::min<TClock::duration>(pause, deadline - now));
    pause = std::min(pause * 2, std::chrono::milliseconds(50));
  }
}

std::string Seconds(std::chrono::milliseconds timeout) {
  const auto tenths = (timeout.count() + 50) / 100;
  return std::to_string(tenths / 10) + (tenths % 10 ? "." + std::to_string(tenths % 10) : "") +
         (tenths == 10 ? " second" : " seconds");
}

// Another program held the lock for the whole wait: it is `doing` ("changed", "read") the container.
[[noreturn]] void Busy(const std::string& name, const char* doing, std::chrono::milliseconds timeout) {
  throw ESFSBusy("TSingleFileSystem - " + name + " is being " + doing + " by another program: waited " +
                 Seconds(timeout) + " for it to finish. Try again when it is done.");
}

}  // namespace

TTransactionLock::~TTransactionLock() {
  try {
    Release();
  } catch (...) {
  }
}

void TTransactionLock::LockShared(std::chrono::milliseconds timeout) {
  if (level_ != TLevel::None) return;
  const auto deadline = TClock::now() + timeout;
  const bool held = Retry(deadline, [&] {
    // Pending free (no writer has or wants the lock) lets a reader in; it holds Pending only while
    // it takes Shared.
    if (!Take(PendingByte, TSFSRangeLock::Shared)) return false;
    const bool shared = Take(SharedByte, TSFSRangeLock::Shared);
    Drop(PendingByte);
    return shared;
  });
  if (!held) Busy(name_, "changed", timeout);
  level_ = TLevel::Shared;
}

void TTransactionLock::LockExclusive(std::chrono::milliseconds timeout) {
  if (level_ == TLevel::Exclusive) return;
  if (level_ == TLevel::Shared) Release();  // never wait while holding Shared (see the top)
  const auto deadline = TClock::now() + timeout;
  if (!Retry(deadline, [&] { return Take(ReservedByte, TSFSRangeLock::Exclusive); }))
    Busy(name_, "changed", timeout);
  // Readers taking Shared hold Pending for a moment only.
  if (!Retry(deadline, [&] { return Take(PendingByte, TSFSRangeLock::Exclusive); })) {
    Drop(ReservedByte);
    Busy(name_, "changed", timeout);
  }
  if (!Retry(deadline, [&] { return Take(SharedByte, TSFSRangeLock::Exclusive); })) {
    Drop(PendingByte);
    Drop(ReservedByte);
    Busy(name_, "read", timeout);
  }
  level_ = TLevel::Exclusive;
}

void TTransactionLock::Downgrade() {
  if (level_ != TLevel::Exclusive) return;
  // A lock of the same holder on the same byte is replaced at once: no writer can step in.
  Take(SharedByte, TSFSRangeLock::Shared);
  Drop(PendingByte);
  Drop(ReservedByte);
  level_ = TLevel::Shared;
}

void TTransactionLock::Release() {
  if (level_ == TLevel::None) return;
  if (level_ == TLevel::Exclusive) {
    Drop(PendingByte);
    Drop(ReservedByte);
  }
  Drop(SharedByte);
  level_ = TLevel::None;
}

}  // namespace quillmar
