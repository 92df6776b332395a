#pragma once
// TKeyDerivation: how the text key of a hardened container is derived from its master password, as
// kept in the 30 reserved bytes of the container header (offsets in the header, little-endian):
//
//   226  1  algorithm: 0 none (a compatible container), 1 Argon2id version 0x13 (RFC 9106)
//   227  1  lanes (parallelism)
//   228  4  memory in KiB
//   232  4  passes
//   236 16  salt
//   252  4  zero
//
// With algorithm 1 the text key is D = Argon2id(password bytes as stored, salt; no secret, no
// associated data; 32-byte tag), and D's 32 bytes (zero bytes included) stand wherever the format
// uses the master password (the key record; in a Safe also the locked-file cipher).
//
// Invariants:
//   - Algorithm 0: the container works exactly as one written before these bytes had a meaning; the
//     other 29 bytes are not read (old writers left them zero; an open keeps them as found, a rebuild
//     writes zeros, as it always did).
//   - Algorithm 1: lanes >= 1, 1 <= passes <= 100, 8 KiB per lane <= memory <= 4 GiB, bytes 252..255
//     zero. A header that breaks one of these (or names another algorithm) is refused with a message
//     naming the problem, before any memory for the derivation is reserved: a damaged or hostile
//     file must not make the program allocate gigabytes.
//   - The bytes are covered by the header checksum like the rest of the header.
//
// Cost. The checksum is an XOR anyone can recompute, so the cost in a header proves nothing: a
// hostile file can ask for up to 4 GiB and 100 passes (minutes of work per open). This program's
// calibration never writes more than UsualMaxMemoryKiB and UsualMaxPasses (container/
// KeyDerivationCost.h); a derivation beyond either is Costly(), and the layers above run it only when
// the user agreed to its cost (the desktop asks; the command line needs --allow-costly-derivation).
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace quillmar {

// The cost of one Argon2id derivation.
struct TKdfCost {
  uint32_t MemoryKiB = 0;
  uint32_t Passes = 0;
  uint32_t Lanes = 0;
  bool operator==(const TKdfCost&) const = default;
};

struct TKeyDerivation {
  static constexpr int HeaderOffset = 226;
  static constexpr size_t Size = 30;
  static constexpr size_t SaltSize = 16;
  static constexpr size_t KeySize = 32;  // D
  static constexpr uint8_t kdNone = 0;
  static constexpr uint8_t kdArgon2id = 1;
  // What a reader follows at most.
  static constexpr uint32_t MaxMemoryKiB = 4u * 1024 * 1024;  // 4 GiB
  static constexpr uint32_t MaxPasses = 100;
  static constexpr uint32_t MinMemoryKiBPerLane = 8;  // Argon2's own minimum
  // The most this program's calibration writes: beyond it a derivation is Costly().
  static constexpr uint32_t UsualMaxMemoryKiB = 1024 * 1024;  // 1 GiB
  static constexpr uint32_t UsualMaxPasses = 10;

  uint8_t Algorithm = kdNone;
  uint8_t Lanes = 0;
  uint32_t MemoryKiB = 0;
  uint32_t Passes = 0;
  std::array<uint8_t, SaltSize> Salt{};
  uint32_t Trailer = 0;  // bytes 252..255

  // Reads the Size bytes at header offset 226. Algorithm 0 gives the all-zero value whatever the
  // other bytes hold (see the invariants).
  static TKeyDerivation Decode(const uint8_t* bytes);
  // Writes Size bytes; algorithm 0 writes zeros.
  void EncodeTo(uint8_t* bytes) const;

  bool Hardened() const { return Algorithm != kdNone; }
  TKdfCost Cost() const { return {MemoryKiB, Passes, Lanes}; }
  // "" when a reader can follow the derivation; otherwise a message for the user naming the problem.
  std::string Problem() const;
  // "compatible (no key derivation)" or "hardened (Argon2id, 64 MiB, 3 passes, 2 lanes)".
  std::string Describe() const;
  // A hardened derivation a reader can follow (no Problem()) that asks for more memory or passes than
  // this program ever writes.
  bool Costly() const;
  // "2 GiB of memory and 20 passes": the cost as a user reads it.
  std::string CostText() const;

  bool operator==(const TKeyDerivation&) const = default;
};

// Argon2id version 0x13 through libargon2 (the reference implementation). `secret` and
// `associatedData` may be empty (Safes use neither; the RFC's test vectors do). Memory is wiped by
// the library before it is given back. Throws ESFSError with the library's reason when the
// derivation fails (for instance when the memory cannot be had).
// REQUIRES: the cost passes the bounds of TKeyDerivation::Problem (callers check before calling);
// tagSize >= 4; saltSize >= 8.
void Argon2id(std::string_view password, const uint8_t* salt, size_t saltSize, std::string_view secret,
              std::string_view associatedData, const TKdfCost& cost, uint8_t* tag, size_t tagSize);

// "64 MiB" for whole MiB, else "40 KiB".
std::string DescribeMemory(uint32_t memoryKiB);

}  // namespace quillmar
