#include "base/SecretMemory.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>

#include "base/SecureWipe.h"

namespace quillmar {

namespace {

constexpr size_t kSlot = 64;

size_t PageSize() {
  static const size_t size = [] {
    const long s = ::sysconf(_SC_PAGESIZE);
    return s > 0 ? size_t(s) : size_t(4096);
  }();
  return size;
}

// One run of pages from mmap: locked when the limit allowed, never dumped.
struct TRun {
  size_t bytes = 0;
  bool locked = false;
  std::vector<bool> used;  // per slot, for runs that hold small blocks
};

class TSecretPool {
public:
  void* Allocate(size_t size) {
    size = std::max<size_t>(size, 1);
    const size_t page = PageSize();
    std::lock_guard<std::mutex> lock(mutex_);
    if (size > page - kSlot) {
      // A large block: pages of its own, given back when it goes.
      const size_t bytes = (size + page - 1) / page * page;
      uint8_t* p = Map(bytes);
      TRun& run = runs_[p];
      run.bytes = bytes;
      run.locked = Lock(p, bytes);
      return p;
    }
    const size_t slots = (size + kSlot - 1) / kSlot;
    for (auto& [base, run] : runs_) {
      if (run.used.empty()) continue;
      if (void* p = Take(base, run, slots)) return p;
    }
    uint8_t* p = Map(page);
    TRun& run = runs_[p];
    run.bytes = page;
    run.locked = Lock(p, page);
    run.used.assign(page / kSlot, false);
    return Take(p, run, slots);
  }

  void Free(void* block, size_t size) noexcept {
    if (block == nullptr) return;
    size = std::max<size_t>(size, 1);
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = Find(block);
    if (it == runs_.end()) return;  // not ours: nothing to give back
    TRun& run = it->second;
    if (run.used.empty()) {
      SecureWipe(it->first, run.bytes);
      if (run.locked) ::munlock(it->first, run.bytes);
      ::munmap(it->first, run.bytes);
      runs_.erase(it);
      return;
    }
    SecureWipe(block, size);
    const size_t first = size_t(static_cast<uint8_t*>(block) - it->first) / kSlot;
    const size_t slots = (size + kSlot - 1) / kSlot;
    for (size_t i = first; i < first + slots && i < run.used.size(); ++i) run.used[i] = false;
  }

  bool Locked(const void* block) noexcept {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = Find(block);
    return it != runs_.end() && it->second.locked;
  }

private:
  static uint8_t* Map(size_t bytes) {
    void* p = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) throw std::bad_alloc();
#ifdef MADV_DONTDUMP
    ::madvise(p, bytes, MADV_DONTDUMP);
#endif
    return static_cast<uint8_t*>(p);
  }
  // Beyond the limit for locked memory mlock fails: the page is used unlocked.
  static bool Lock(void* p, size_t bytes) {
    return ::mlock(p, bytes) == 0;
  }

  static void* Take(uint8_t* base, TRun& run, size_t slots) {
    for (size_t i = 0; i + slots <= run.used.size(); ++i) {
      size_t n = 0;
      while (n < slots && !run.used[i + n]) ++n;
      if (n < slots) {
        i += n;
        continue;
      }
      for (size_t k = 0; k < slots; ++k) run.used[i + k] = true;
      return base + i * kSlot;  // zero: fresh from mmap, or wiped when it was given back
    }
    return nullptr;
  }

  std::map<uint8_t*, TRun>::iterator Find(const void* block) {
    const auto* p = static_cast<const uint8_t*>(block);
    auto it = runs_.upper_bound(const_cast<uint8_t*>(p));
    if (it == runs_.begin()) return runs_.end();
    --it;
    return p < it->first + it->second.bytes ? it : runs_.end();
  }

  std::mutex mutex_;
  std::map<uint8_t*, TRun> runs_;
};

TSecretPool& Pool() {
  // Never destroyed: secrets may be given back by other objects' destructors at exit.
  static TSecretPool* pool = new TSecretPool;
  return *pool;
}

}  // namespace

void* AllocateSecret(size_t size) {
  return Pool().Allocate(size);
}

void FreeSecret(void* p, size_t size) noexcept {
  Pool().Free(p, size);
}

bool IsSecretLocked(const void* p) noexcept {
  return Pool().Locked(p);
}

}  // namespace quillmar
