#pragma once
// A part storage over the disk that injects failures, for tests of every layer that stores containers.
//
//   TFaultyPartStorage s;
//   TPageFileManager m(path, ..., &s);
//   s.writeBudget = 10;      // the next writes deliver 10 bytes in all, then write nothing
//   s.failSetSize = true;    // resizing a part fails
//
// Budgets count bytes over all files opened through the storage; -1 means unlimited. A transfer that
// runs out of budget is short (returns what fit), the following ones return 0, or -1 when `hardErrors`
// is set (an I/O error rather than a full device).
//
// Reads may come from several threads at once (a read-ahead's helper beside the container's thread):
// the read budget and the read fault below are kept under a lock. Settings are changed only while no
// read runs.
//
// Faults at the N-th change of the disk. Every operation that changes it is counted, from 1, over all
// files of the storage: a write, a sync of a file or a folder, a resize (truncate or grow), a rename, a
// remove and a create.
//   s.Arm(TFault::Fail, n)   the n-th operation fails (reports failure, changes nothing); the others work
//   s.Arm(TFault::Crash, n)  the n-th operation and everything after it fails, reads and opens included,
//                            as if the program had died there: what was written before stays on the
//                            disk, a crashing write leaves its first half and a crashing rename the
//                            file under both names (the disk's rename is a link and an unlink), unless
//                            tornWrite is false; nothing later reaches the disk
// Operations() tells how many were counted, so a test first runs an operation unarmed to learn its
// count N and then repeats it for every n in 1..N.
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "container/SFSAbstractFile.h"

namespace quillmar::test {

class TFaultyPartStorage : public TSFSPartStorage {
public:
  enum class TFault { None, Fail, Crash };

  int64_t readBudget = -1;
  int64_t writeBudget = -1;
  bool hardErrors = false;
  bool failSetSize = false;
  bool failCreate = false;
  int64_t maxFileSize = 0;  // 0: ask the disk
  int64_t freeSpace = -2;   // -2: ask the disk
  int creates = 0;
  std::vector<std::string> opened;  // the paths of every Open, in order
  std::string failRenameFrom;       // a rename of this path fails
  bool refuseWritableOpen = false;  // opening an existing file for writing fails (no write access)
  bool tornWrite = true;
  // Every read of the file failReadPath that covers its byte failReadAt fails with an I/O error (-1).
  std::string failReadPath;
  int64_t failReadAt = -1;
  // The threads those failed reads came from, in order.
  std::vector<std::thread::id> FailedReadThreads();
  // One line per counted operation ("3 write X.qvt 2048 at 280"), when recordLog is set.
  bool recordLog = false;
  std::vector<std::string> log;

  void Arm(TFault fault, int64_t at);
  void Disarm() { Arm(TFault::None, 0); }
  int64_t Operations() const { return operations_; }
  bool Crashed() const { return crashed_; }

  std::unique_ptr<TSFSAbstractFile> Create(const std::string& path, TSFSLock lock) override;
  std::unique_ptr<TSFSAbstractFile> Open(const std::string& path, bool readOnly, TSFSLock lock) override;
  bool Exists(const std::string& path) override;
  bool Remove(const std::string& path) override;
  bool Rename(const std::string& from, const std::string& to) override;
  bool Replace(const std::string& from, const std::string& to) override;
  bool SyncFolder(const std::string& path) override;
  int64_t FreeSpace(const std::string& path) override;
  int64_t MaxFileSize(const std::string& path) override;

private:
  enum class TStep { Go, Fail, Tear };
  class File;
  // Counts one change of the disk and says whether it happens.
  TStep Step(const std::string& what);
  bool Dead() const { return crashed_; }
  static int64_t Take(int64_t& budget, int64_t count);
  // The bytes of a read that may happen (its budget taken), or -1 for an I/O error.
  int64_t AdmitRead(const std::string& path, int64_t offset, int64_t count);

  std::mutex readMutex_;
  std::vector<std::thread::id> failedReadThreads_;

  TFault fault_ = TFault::None;
  int64_t faultAt_ = 0;
  int64_t operations_ = 0;
  bool crashed_ = false;
};

}  // namespace quillmar::test
