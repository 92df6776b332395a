#pragma once
// TTransactionLock: how several programs share one container. A program reads under the shared lock,
// which other readers share; it changes the container only under the exclusive lock, which it holds
// for one transaction (TPageFileManager's) and no longer. Readers never wait for each other; a reader
// waits while a writer holds the exclusive lock or is waiting for it, a writer while others read or
// write. Waiting ends after the busy timeout with ESFSBusy.
//
// The locks are range locks (TSFSAbstractFile::LockRange) on three bytes of the container's first part
// file far past any data it can hold, the way a database pager locks bytes of its file:
//   Pending   a writer holds it exclusively from the moment it wants the lock: new readers wait, so
//             that a stream of readers cannot starve it; a reader holds it shared only while it
//             takes Shared.
//   Reserved  held exclusively by the one writer that has the lock or waits for it: writers queue here
//             without blocking readers.
//   Shared    readers hold it shared; the writer holds it exclusively once every reader has left.
// A writer takes Reserved, then Pending, then Shared; a reader Pending (shared), Shared, then drops
// Pending. A writer never waits while it holds the shared lock (a program that reads and then wants to
// write lets go of Shared first: two such programs would otherwise wait for each other).
//
// Requirements: the file is open for reading (and for writing, for the exclusive lock); one object per
// open file. Not thread-safe.
#include <chrono>
#include <cstdint>
#include <string>

#include "container/SFSAbstractFile.h"
#include "container/SFSError.h"

namespace quillmar {

// Another program read or wrote the container for longer than the busy timeout.
class ESFSBusy : public ESFSInUse {
public:
  explicit ESFSBusy(const std::string& message) : ESFSInUse(message) {}
};

class TTransactionLock {
public:
  enum class TLevel { None, Shared, Exclusive };
  // The bytes locked (see the top).
  static constexpr int64_t PendingByte = INT64_C(0x7FFFFFFFFFFF0000);
  static constexpr int64_t ReservedByte = PendingByte + 1;
  static constexpr int64_t SharedByte = PendingByte + 2;

  // `file` (not owned) must outlive the lock; `name` names the container in messages.
  TTransactionLock(TSFSAbstractFile& file, std::string name) : file_(file), name_(std::move(name)) {}
  ~TTransactionLock();  // releases what is held
  TTransactionLock(const TTransactionLock&) = delete;
  TTransactionLock& operator=(const TTransactionLock&) = delete;

  TLevel Level() const { return level_; }
  // From None: waits at most `timeout` (zero: tries once). Throws ESFSBusy naming the container and
  // saying that another program is writing it (or reading it, for a writer that waited for readers).
  void LockShared(std::chrono::milliseconds timeout);
  void LockExclusive(std::chrono::milliseconds timeout);
  // Exclusive to Shared without letting another writer in between.
  void Downgrade();
  // Back to None.
  void Release();

private:
  bool Take(int64_t byte, TSFSRangeLock how) { return file_.LockRange(byte, 1, how); }
  void Drop(int64_t byte) { file_.LockRange(byte, 1, TSFSRangeLock::Unlock); }

  TSFSAbstractFile& file_;
  std::string name_;
  TLevel level_ = TLevel::None;
};

}  // namespace quillmar
