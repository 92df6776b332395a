#include "container/KeyDerivation.h"

#include <argon2.h>

#include <algorithm>
#include <cstring>
#include <thread>

#include "base/LittleEndian.h"
#include "container/SFSError.h"

namespace quillmar {

namespace {

// Offsets inside the 30 bytes.
constexpr size_t kAlgorithm = 0;
constexpr size_t kLanes = 1;
constexpr size_t kMemory = 2;
constexpr size_t kPasses = 6;
constexpr size_t kSalt = 10;
constexpr size_t kTrailer = 26;

const char* const kRefused =
    " The Safe's header is damaged or was not written by this program; it cannot be opened.";

}  // namespace

TKeyDerivation TKeyDerivation::Decode(const uint8_t* bytes) {
  TKeyDerivation d;
  if (bytes[kAlgorithm] == kdNone) return d;
  d.Algorithm = bytes[kAlgorithm];
  d.Lanes = bytes[kLanes];
  d.MemoryKiB = GetLE<uint32_t>(bytes + kMemory);
  d.Passes = GetLE<uint32_t>(bytes + kPasses);
  std::memcpy(d.Salt.data(), bytes + kSalt, SaltSize);
  d.Trailer = GetLE<uint32_t>(bytes + kTrailer);
  return d;
}

void TKeyDerivation::EncodeTo(uint8_t* bytes) const {
  std::memset(bytes, 0, Size);
  if (!Hardened()) return;
  bytes[kAlgorithm] = Algorithm;
  bytes[kLanes] = Lanes;
  PutLE<uint32_t>(bytes + kMemory, MemoryKiB);
  PutLE<uint32_t>(bytes + kPasses, Passes);
  std::memcpy(bytes + kSalt, Salt.data(), SaltSize);
  PutLE<uint32_t>(bytes + kTrailer, Trailer);
}

std::string DescribeMemory(uint32_t memoryKiB) {
  if (memoryKiB % 1024 == 0) return std::to_string(memoryKiB / 1024) + " MiB";
  return std::to_string(memoryKiB) + " KiB";
}

std::string TKeyDerivation::Problem() const {
  if (Algorithm == kdNone) return "";
  if (Algorithm != kdArgon2id)
    return "The Safe's header names a key derivation this program does not know (marker " +
           std::to_string(Algorithm) + ")." + kRefused;
  if (Trailer != 0)
    return "The Safe's header names an unknown version of its key derivation (bytes 252 to 255 are not "
           "zero)." +
           std::string(kRefused);
  if (Lanes == 0) return "The Safe's key derivation names zero lanes." + std::string(kRefused);
  if (Passes == 0) return "The Safe's key derivation names zero passes." + std::string(kRefused);
  if (Passes > MaxPasses)
    return "The Safe's key derivation asks for " + std::to_string(Passes) + " passes, more than the " +
           std::to_string(MaxPasses) + " allowed." + kRefused;
  if (MemoryKiB > MaxMemoryKiB)
    return "The Safe's key derivation asks for " + DescribeMemory(MemoryKiB) + " of memory, more than the " +
           DescribeMemory(MaxMemoryKiB) + " allowed." + kRefused;
  if (MemoryKiB < MinMemoryKiBPerLane * Lanes)
    return "The Safe's key derivation asks for " + DescribeMemory(MemoryKiB) + " of memory, less than the " +
           std::to_string(MinMemoryKiBPerLane) + " KiB per lane Argon2 needs." + kRefused;
  return "";
}

std::string TKeyDerivation::Describe() const {
  if (!Hardened()) return "compatible (no key derivation)";
  if (Algorithm != kdArgon2id) return "unknown key derivation (marker " + std::to_string(Algorithm) + ")";
  return "hardened (Argon2id, " + DescribeMemory(MemoryKiB) + ", " + std::to_string(Passes) +
         (Passes == 1 ? " pass, " : " passes, ") + std::to_string(Lanes) +
         (Lanes == 1 ? " lane)" : " lanes)");
}

bool TKeyDerivation::Costly() const {
  return Hardened() && Problem().empty() && (MemoryKiB > UsualMaxMemoryKiB || Passes > UsualMaxPasses);
}

std::string TKeyDerivation::CostText() const {
  const std::string memory = MemoryKiB % (1024 * 1024) == 0
                                 ? std::to_string(MemoryKiB / (1024 * 1024)) + " GiB"
                                 : DescribeMemory(MemoryKiB);
  return memory + " of memory and " + std::to_string(Passes) + (Passes == 1 ? " pass" : " passes");
}

void Argon2id(std::string_view password, const uint8_t* salt, size_t saltSize, std::string_view secret,
              std::string_view associatedData, const TKdfCost& cost, uint8_t* tag, size_t tagSize) {
  // The library takes non-const pointers because it can be asked to clear the password and secret;
  // that flag is not set, so nothing is written through them.
  auto bytes = [](std::string_view text) {
    return text.empty() ? nullptr : reinterpret_cast<uint8_t*>(const_cast<char*>(text.data()));
  };
  argon2_context ctx{};
  ctx.out = tag;
  ctx.outlen = static_cast<uint32_t>(tagSize);
  ctx.pwd = bytes(password);
  ctx.pwdlen = static_cast<uint32_t>(password.size());
  ctx.salt = const_cast<uint8_t*>(salt);
  ctx.saltlen = static_cast<uint32_t>(saltSize);
  ctx.secret = bytes(secret);
  ctx.secretlen = static_cast<uint32_t>(secret.size());
  ctx.ad = bytes(associatedData);
  ctx.adlen = static_cast<uint32_t>(associatedData.size());
  ctx.t_cost = cost.Passes;
  ctx.m_cost = cost.MemoryKiB;
  ctx.lanes = cost.Lanes;
  // The result depends on the lanes only; threads just share the work. A header naming many lanes
  // must not start as many threads.
  const uint32_t cores = std::max(1u, std::thread::hardware_concurrency());
  ctx.threads = std::max(1u, std::min({cost.Lanes, cores, 4u}));
  ctx.version = ARGON2_VERSION_13;
  ctx.flags = ARGON2_DEFAULT_FLAGS;
  const int rc = argon2_ctx(&ctx, Argon2_id);
  if (rc != ARGON2_OK) {
    std::memset(tag, 0, tagSize);
    if (rc == ARGON2_MEMORY_ALLOCATION_ERROR)
      throw ESFSError("The Safe's key could not be derived: its key derivation needs " +
                      DescribeMemory(cost.MemoryKiB) + " of memory, which could not be had. Close other " +
                      "programs and try again.");
    throw ESFSError(std::string("The Safe's key could not be derived (Argon2id: ") +
                    argon2_error_message(rc) + ").");
  }
}

}  // namespace quillmar
