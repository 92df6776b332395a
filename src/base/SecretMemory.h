#pragma once
// Memory for secrets: keys and the passwords they are made from.
//
// Blocks come from pages of their own that are
//  - locked in RAM (mlock) as far as the limit for locked memory (RLIMIT_MEMLOCK) allows, so that the
//    system never writes them to swap; a page that cannot be locked is used all the same (locking is
//    a second line of defence: the program works without it);
//  - left out of core dumps (MADV_DONTDUMP), should the process be allowed to dump core after all;
//  - wiped when the block is given back.
// Small blocks share pages (slots of 64 bytes); a block of more than a page gets pages of its own.
// Thread-safe. Pages of small blocks are kept for the rest of the run.
#include <cstddef>
#include <cstdint>
#include <limits>
#include <new>
#include <vector>

namespace quillmar {

// size bytes (at least 1) of secret memory, aligned to 16 bytes, zeroed. Throws std::bad_alloc when
// no memory can be had.
void* AllocateSecret(size_t size);
// Wipes and gives back a block of AllocateSecret (p may be null).
void FreeSecret(void* p, size_t size) noexcept;
// Whether the page(s) holding the block at p are locked in RAM (false for memory not of this pool).
bool IsSecretLocked(const void* p) noexcept;

// An allocator over the secret memory, for containers that hold secrets.
template <class T>
struct TSecretAllocator {
  using value_type = T;
  TSecretAllocator() = default;
  template <class U>
  TSecretAllocator(const TSecretAllocator<U>&) noexcept {}
  T* allocate(size_t n) {
    if (n > std::numeric_limits<size_t>::max() / sizeof(T)) throw std::bad_alloc();
    return static_cast<T*>(AllocateSecret(n * sizeof(T)));
  }
  void deallocate(T* p, size_t n) noexcept { FreeSecret(p, n * sizeof(T)); }
  template <class U>
  bool operator==(const TSecretAllocator<U>&) const noexcept {
    return true;
  }
};

// Bytes kept in secret memory (wiped when they go).
using TSecretBytes = std::vector<uint8_t, TSecretAllocator<uint8_t>>;
using TSecretChars = std::vector<char, TSecretAllocator<char>>;

}  // namespace quillmar
