#pragma once
// Tests that an operation is all-or-nothing across crashes, at every change of the disk it makes.
//
//   ForEveryFault(storage, restore, operation, check):
//     1. restore(), then operation() once with the storage unarmed: its changes of the disk are counted;
//     2. for every n in 1..count and each fault (a crash: all I/O stops; a failure of that one
//        operation): restore(), arm the storage at n, operation() (an exception is caught and kept),
//        disarm, check(run).
//   check() then reopens the files (which rolls back what was interrupted) and compares what it finds
//   with the states before and after the operation.
//
// ContainerSnapshot() is such a state: every item of a container (path, kind, attributes, own-password
// flag, size and the CRC-32 of its stored bytes), one line each, sorted; times are left out (they
// differ between runs).
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "support/FaultyPartStorage.h"

namespace quillmar {
class TSingleFileSystem;
}

namespace quillmar::test {

struct TFaultRun {
  int64_t at = 0;
  TFaultyPartStorage::TFault fault = TFaultyPartStorage::TFault::None;
  bool succeeded = false;  // the operation returned normally and reported success
  std::string error;       // the exception's message when it threw
  std::string Label() const;
};

// Returns the number of counted operations of the unarmed run. `operation` returns whether it
// reported success (a false result, like an exception, is a failure).
int64_t ForEveryFault(TFaultyPartStorage& storage, const std::function<void()>& restore,
                      const std::function<bool()>& operation,
                      const std::function<void(const TFaultRun&)>& check, bool alsoSingleFailures = true);

// The state of an open container (see the top). Files with a password of their own are read with
// filePassword.
std::string ContainerSnapshot(TSingleFileSystem& fs, std::string_view filePassword);

// Opens the container file read-only with a shared lock (rolling back an interrupted change), checks
// its integrity into *problems and returns its snapshot.
std::string ReopenedSnapshot(const std::string& file, std::string_view password,
                             std::string_view filePassword, std::vector<std::string>* problems);

}  // namespace quillmar::test
