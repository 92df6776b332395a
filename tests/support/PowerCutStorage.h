#pragma once
// A part storage over the disk that knows what a power cut may leave of what was written.
//
// A killed program loses nothing it wrote: the kernel still has it. A power cut (or a kernel crash)
// loses what was not yet synced, in any order: of the blocks written to a file since its last sync,
// any subset reaches the disk, and a block may be torn at a 512-byte sector; a file's size may be the
// old or the new one; of the creations, removals and renames since the folder's last sync, the first
// few (in order, as a journaling file system commits them) survive.
//
//   TPowerCutStorage s;
//   safe.SetPartStorage(&s);
//   s.Arm(n);             // the n-th change of the disk and everything after it never happens
//   operation();          // stops at the crash (every later I/O fails, as at a crash)
//   for (const auto& state : s.States(64, seed)) { s.Write(state); reopen and check; }
//
// Changes are counted as in TFaultyPartStorage (write, sync of a file or a folder, resize, create,
// remove, rename), so that a test first runs the operation unarmed (Arm(0)) to learn its count N and
// then repeats it for every n in 1..N. Everything a run touches must lie in one folder. Files the
// storage has not seen yet count as on the disk as they are.
#include <climits>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "container/SFSAbstractFile.h"

namespace quillmar::test {

class TPowerCutStorage : public TSFSPartStorage {
public:
  static constexpr int64_t BlockSize = 4096;
  static constexpr int64_t SectorSize = 512;

  // One possible content of the folder after the power cut: path -> bytes (nullopt: no such file).
  struct TDiskState {
    std::string label;  // what was kept, for messages
    std::map<std::string, std::optional<std::string>> files;
  };

  // Starts a run: what is on the disk now counts as synced; the at-th change (0: none) is where the
  // power goes.
  void Arm(int64_t at);
  int64_t Operations() const { return operations_; }
  bool Crashed() const { return crashed_; }

  // Up to `limit` different states the power cut may leave (the state with everything that reached
  // the kernel, and the one with nothing unsynced, always among them); the others are chosen from
  // the subsets of unsynced blocks, sizes and folder changes, torn sectors included, with `seed`.
  std::vector<TDiskState> States(size_t limit, uint32_t seed);
  // Puts a state on the disk (files absent in it are removed).
  static void Write(const TDiskState& state);

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
  class File;
  // One file (an inode): its bytes as of its last sync, and what changed since.
  struct TTrack {
    std::string durable;
    std::set<int64_t> dirtyBlocks;
    bool resized = false;
    int64_t cutAt = INT64_MAX;                // the smallest size it was cut to since
    std::optional<std::string> removedBytes;  // its bytes when its last name went
  };
  // A change of the folder since its last sync, made at once: names get a file (id >= 0) or lose it
  // (-1).
  using TDirOp = std::vector<std::pair<std::string, int>>;

  bool Step();                        // counts one change; false when it does not happen (the power is gone)
  int IdOf(const std::string& path);  // the file at path, tracked from now on (-1: none)
  void Touch(int id, int64_t offset, int64_t count);
  void Resized(int id, int64_t size);
  void Synced(int id, TSFSAbstractFile& file);  // the file was synced: what it holds now is on the disk
  std::string CurrentBytes(int id) const;       // what the file holds in the kernel now
  std::map<std::string, int> NamesAfter(size_t dirOps) const;

  int64_t at_ = 0;
  int64_t operations_ = 0;
  bool crashed_ = false;
  std::vector<TTrack> tracks_;
  std::map<std::string, int> durableNames_;  // as of the folder's last sync (-1: known absent)
  std::map<std::string, int> names_;         // now
  std::vector<TDirOp> dirOps_;               // since the folder's last sync
};

}  // namespace quillmar::test
