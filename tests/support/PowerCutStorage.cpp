#include "support/PowerCutStorage.h"

#include <algorithm>
#include <filesystem>
#include <functional>
#include <random>
#include <unordered_set>

#include "container/SFSError.h"
#include "support/TempDir.h"

namespace quillmar::test {

namespace {

std::optional<std::string> DiskBytes(const std::string& path) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) return std::nullopt;
  return ReadFileBytes(path);
}

}  // namespace

class TPowerCutStorage::File : public TSFSAbstractFile {
public:
  File(TPowerCutStorage& owner, std::unique_ptr<TSFSAbstractFile> inner, int id, bool writable)
      : owner_(owner), inner_(std::move(inner)), id_(id), writable_(writable) {}
  ~File() override {
    // Closing a writable disk file syncs it (TSFSAbstractFile's disk implementation).
    if (writable_ && !owner_.crashed_ && id_ >= 0) owner_.Synced(id_, *inner_);
  }

  int64_t ReadAt(int64_t offset, void* buffer, int64_t count) override {
    if (owner_.crashed_) return -1;
    return inner_->ReadAt(offset, buffer, count);
  }
  int64_t WriteAt(int64_t offset, const void* buffer, int64_t count) override {
    if (count <= 0) return inner_->WriteAt(offset, buffer, count);
    if (!owner_.Step()) return -1;
    owner_.Touch(id_, offset, count);
    return inner_->WriteAt(offset, buffer, count);
  }
  int64_t Size() override { return owner_.crashed_ ? -1 : inner_->Size(); }
  bool SetSize(int64_t size) override {
    if (!owner_.Step()) return false;
    if (id_ >= 0) owner_.Resized(id_, size);
    return inner_->SetSize(size);
  }
  bool Flush() override {
    if (!owner_.Step()) return false;
    if (!inner_->Flush()) return false;
    if (id_ >= 0) owner_.Synced(id_, *inner_);
    return true;
  }
  bool LockRange(int64_t offset, int64_t length, TSFSRangeLock how) override {
    if (owner_.crashed_) return how == TSFSRangeLock::Unlock;
    return inner_->LockRange(offset, length, how);
  }
  bool ChangeLock(TSFSLock lock) override { return !owner_.crashed_ && inner_->ChangeLock(lock); }
  bool IsAt(const std::string& path) override { return inner_->IsAt(path); }

private:
  TPowerCutStorage& owner_;
  std::unique_ptr<TSFSAbstractFile> inner_;
  int id_;
  bool writable_;
};

void TPowerCutStorage::Arm(int64_t at) {
  at_ = at;
  operations_ = 0;
  crashed_ = false;
  tracks_.clear();
  durableNames_.clear();
  names_.clear();
  dirOps_.clear();
}

bool TPowerCutStorage::Step() {
  if (crashed_) return false;
  ++operations_;
  if (at_ > 0 && operations_ >= at_) {
    crashed_ = true;
    return false;
  }
  return true;
}

int TPowerCutStorage::IdOf(const std::string& path) {
  auto it = names_.find(path);
  if (it != names_.end()) return it->second;
  // Not seen before: as it is on the disk, it counts as synced.
  int id = -1;
  if (auto bytes = DiskBytes(path)) {
    tracks_.push_back(TTrack{});
    tracks_.back().durable = std::move(*bytes);
    id = int(tracks_.size() - 1);
  }
  names_[path] = id;
  durableNames_.emplace(path, id);
  return id;
}

void TPowerCutStorage::Touch(int id, int64_t offset, int64_t count) {
  if (id < 0 || count <= 0) return;
  for (int64_t b = offset / BlockSize; b <= (offset + count - 1) / BlockSize; ++b)
    tracks_[size_t(id)].dirtyBlocks.insert(b);
}

void TPowerCutStorage::Resized(int id, int64_t size) {
  // A change of size is one change of the file's metadata: the cut and the new size reach the disk
  // together, or neither does.
  TTrack& t = tracks_[size_t(id)];
  t.resized = true;
  t.cutAt = std::min(t.cutAt, size);
}

void TPowerCutStorage::Synced(int id, TSFSAbstractFile& file) {
  TTrack& t = tracks_[size_t(id)];
  const int64_t size = file.Size();
  std::string bytes(size_t(std::max<int64_t>(size, 0)), '\0');
  if (size > 0 && file.ReadAt(0, bytes.data(), size) != size) return;  // unknown: stays unsynced
  t.durable = std::move(bytes);
  t.dirtyBlocks.clear();
  t.resized = false;
  t.cutAt = INT64_MAX;
}

std::unique_ptr<TSFSAbstractFile> TPowerCutStorage::Create(const std::string& path, TSFSLock lock) {
  if (!Step()) throw ESFSError("TSFSHugeFile.Create - File " + path + " cannot be created: power cut");
  int id = IdOf(path);
  if (id < 0) {
    tracks_.push_back(TTrack{});
    id = int(tracks_.size() - 1);
    names_[path] = id;
    dirOps_.push_back({{path, id}});
  } else {
    Resized(id, 0);  // an existing file is emptied
  }
  return std::make_unique<File>(*this, DiskPartStorage().Create(path, lock), id, true);
}

std::unique_ptr<TSFSAbstractFile> TPowerCutStorage::Open(const std::string& path, bool readOnly,
                                                         TSFSLock lock) {
  if (crashed_) throw ESFSError("TSFSHugeFile.Open - File " + path + " cannot be opened: power cut");
  auto inner = DiskPartStorage().Open(path, readOnly, lock);
  return std::make_unique<File>(*this, std::move(inner), IdOf(path), !readOnly);
}

bool TPowerCutStorage::Exists(const std::string& path) {
  return DiskPartStorage().Exists(path);
}

bool TPowerCutStorage::Remove(const std::string& path) {
  if (!Step()) return false;
  const int id = IdOf(path);
  if (id >= 0) tracks_[size_t(id)].removedBytes = CurrentBytes(id);
  if (!DiskPartStorage().Remove(path)) return false;
  names_[path] = -1;
  dirOps_.push_back({{path, -1}});
  return true;
}

bool TPowerCutStorage::Rename(const std::string& from, const std::string& to) {
  if (!Step()) return false;
  const int id = IdOf(from);
  IdOf(to);
  if (!DiskPartStorage().Rename(from, to)) return false;
  // The disk's rename that refuses to replace is a link and an unlink: two changes of the folder.
  names_[to] = id;
  names_[from] = -1;
  dirOps_.push_back({{to, id}});
  dirOps_.push_back({{from, -1}});
  return true;
}

bool TPowerCutStorage::Replace(const std::string& from, const std::string& to) {
  if (!Step()) return false;
  const int id = IdOf(from);
  const int old = IdOf(to);
  if (old >= 0) tracks_[size_t(old)].removedBytes = CurrentBytes(old);
  if (!DiskPartStorage().Replace(from, to)) return false;
  // One atomic change of the folder.
  names_[to] = id;
  names_[from] = -1;
  dirOps_.push_back({{to, id}, {from, -1}});
  return true;
}

bool TPowerCutStorage::SyncFolder(const std::string& path) {
  if (!Step()) return false;
  if (!DiskPartStorage().SyncFolder(path)) return false;
  durableNames_ = names_;
  dirOps_.clear();
  return true;
}

int64_t TPowerCutStorage::FreeSpace(const std::string& path) {
  return DiskPartStorage().FreeSpace(path);
}

int64_t TPowerCutStorage::MaxFileSize(const std::string& path) {
  return DiskPartStorage().MaxFileSize(path);
}

std::string TPowerCutStorage::CurrentBytes(int id) const {
  for (const auto& [name, which] : names_)
    if (which == id) return DiskBytes(name).value_or("");
  return tracks_[size_t(id)].removedBytes.value_or("");
}

std::map<std::string, int> TPowerCutStorage::NamesAfter(size_t dirOps) const {
  std::map<std::string, int> names = durableNames_;
  for (size_t i = 0; i < dirOps && i < dirOps_.size(); ++i)
    for (const auto& [name, id] : dirOps_[i]) names[name] = id;
  return names;
}

std::vector<TPowerCutStorage::TDiskState> TPowerCutStorage::States(size_t limit, uint32_t seed) {
  // What each file holds in the kernel now.
  std::vector<std::string> current(tracks_.size());
  for (size_t id = 0; id < tracks_.size(); ++id) current[id] = CurrentBytes(int(id));
  std::set<std::string> paths;
  for (const auto& [name, id] : durableNames_) paths.insert(name);
  for (const auto& [name, id] : names_) paths.insert(name);

  // One choice: how many folder changes survive, which unsynced blocks, which sizes, one torn block.
  struct TChoice {
    std::string label;
    size_t dirOps = 0;
    std::function<bool(int id, int64_t block)> newBlock;
    std::function<bool(int id)> newSize;
    int tornId = -1;
    int64_t tornBlock = -1;
    int tornSectors = 0;  // the first sectors of the torn block are new, the others old
  };
  auto build = [&](const TChoice& c) {
    TDiskState state;
    state.label = c.label;
    const std::map<std::string, int> names = NamesAfter(c.dirOps);
    for (const std::string& path : paths) {
      auto it = names.find(path);
      const int id = it == names.end() ? -1 : it->second;
      if (id < 0) {
        state.files[path] = std::nullopt;
        continue;
      }
      const TTrack& t = tracks_[size_t(id)];
      const std::string& now = current[size_t(id)];
      std::string bytes = t.durable;
      auto byteAt = [](const std::string& s, int64_t i) {
        return i < int64_t(s.size()) ? s[size_t(i)] : '\0';
      };
      for (int64_t block : t.dirtyBlocks) {
        const bool whole = c.newBlock(id, block);
        const bool torn = id == c.tornId && block == c.tornBlock;
        if (!whole && !torn) continue;
        const int64_t from = block * BlockSize;
        const int64_t to = from + (torn ? c.tornSectors * SectorSize : BlockSize);
        if (int64_t(bytes.size()) < to) bytes.resize(size_t(to), '\0');
        for (int64_t i = from; i < to; ++i) bytes[size_t(i)] = byteAt(now, i);
      }
      const bool changedSize = t.resized || !t.dirtyBlocks.empty();
      const bool newSize = changedSize && c.newSize(id);
      const size_t size = newSize ? now.size() : t.durable.size();
      bytes.resize(std::max(size, bytes.size()), '\0');
      if (newSize && t.cutAt < int64_t(size)) {
        // The file was cut there since its last sync: what follows is what was written after the cut
        // (as far as it reached the disk), zeros elsewhere.
        for (int64_t i = t.cutAt; i < int64_t(size); ++i) {
          const int64_t block = i / BlockSize;
          const bool written =
              t.dirtyBlocks.count(block) != 0 &&
              (c.newBlock(id, block) || (id == c.tornId && block == c.tornBlock &&
                                         i < block * BlockSize + c.tornSectors * SectorSize));
          if (!written) bytes[size_t(i)] = '\0';
        }
      }
      bytes.resize(size, '\0');
      state.files[path] = std::move(bytes);
    }
    return state;
  };

  std::vector<std::pair<int, int64_t>> dirty;
  for (size_t id = 0; id < tracks_.size(); ++id)
    for (int64_t b : tracks_[id].dirtyBlocks) dirty.emplace_back(int(id), b);
  const auto all = [](int, int64_t) { return true; };
  const auto none = [](int, int64_t) { return false; };
  const auto yes = [](int) { return true; };
  const auto no = [](int) { return false; };

  std::vector<TDiskState> states;
  std::unordered_set<std::string> seen;
  auto add = [&](const TChoice& c) {
    if (states.size() >= limit) return;
    TDiskState s = build(c);
    std::string key;
    for (const auto& [path, bytes] : s.files) key += path + (bytes ? "=" + *bytes : "-") + '\n';
    if (seen.insert(key).second) states.push_back(std::move(s));
  };
  const size_t ops = dirOps_.size();
  add({"everything that reached the kernel", ops, all, yes});
  add({"nothing unsynced", 0, none, no});
  for (size_t k = ops; k-- > 1;) add({std::to_string(k) + " folder change(s), all blocks", k, all, yes});
  for (size_t k = 1; k < ops; ++k) add({std::to_string(k) + " folder change(s), no block", k, none, no});
  std::mt19937 rng(seed);
  // Each unsynced block lost alone, and kept alone; then a torn block; then random subsets.
  std::vector<size_t> order(dirty.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::shuffle(order.begin(), order.end(), rng);
  for (size_t i : order) {
    if (states.size() >= limit / 2) break;
    const auto [id, block] = dirty[i];
    add({"all but block " + std::to_string(block) + " of file " + std::to_string(id), ops,
         [id = id, block = block](int j, int64_t b) { return !(j == id && b == block); }, yes});
    add({"only block " + std::to_string(block) + " of file " + std::to_string(id), ops,
         [id = id, block = block](int j, int64_t b) { return j == id && b == block; }, no});
  }
  for (size_t n = 0; states.size() < limit && n < 4 * limit && !dirty.empty(); ++n) {
    const auto [id, block] = dirty[rng() % dirty.size()];
    const uint32_t bits = rng();
    const size_t k = ops == 0 ? 0 : rng() % (ops + 1);
    auto subset = std::make_shared<std::map<std::pair<int, int64_t>, bool>>();
    for (const auto& d : dirty) (*subset)[d] = (rng() & 1) != 0;
    const bool torn = (bits & 3) != 0;
    TChoice c{"random subset", k,
              [subset](int j, int64_t b) {
                return subset->at({j, b});
              },
              [bits](int j) { return ((bits >> (4 + j % 16)) & 1) != 0; }};
    if (torn) {
      c.label = "random subset, block " + std::to_string(block) + " torn";
      c.tornId = id;
      c.tornBlock = block;
      c.tornSectors = 1 + int(rng() % (BlockSize / SectorSize - 1));
      (*subset)[{id, block}] = false;
    }
    add(c);
  }
  return states;
}

void TPowerCutStorage::Write(const TDiskState& state) {
  for (const auto& [path, bytes] : state.files) {
    std::error_code ec;
    if (bytes)
      WriteFileBytes(path, *bytes);
    else
      std::filesystem::remove(path, ec);
  }
}

}  // namespace quillmar::test
