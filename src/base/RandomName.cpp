#include "base/RandomName.h"

#include <random>

#include "base/Exception.h"

namespace quillmar {

namespace {
// Random draws before falling back to an ordered search; a free slot is found long before this in any
// folder that is not almost full.
constexpr int kRandomAttempts = 10000;
}  // namespace

int32_t DrawFreeNumber(const std::function<bool(int32_t)>& isTaken) {
  std::random_device device;
  std::uniform_int_distribution<int32_t> pick(0, kRandomNameMax);
  for (int attempt = 0; attempt < kRandomAttempts; ++attempt) {
    int32_t n = pick(device);
    if (!isTaken(n)) return n;
  }
  int32_t start = pick(device);
  for (int32_t k = 0; k <= kRandomNameMax; ++k) {
    int32_t n = (start + k) % (kRandomNameMax + 1);
    if (!isTaken(n)) return n;
  }
  throw EQuillmarError("No free name is left in this folder.");
}

std::string RandomFreeName(const std::string& prefix, const std::string& suffix,
                           const std::function<bool(const std::string&)>& isTaken) {
  int32_t n = DrawFreeNumber([&](int32_t k) { return isTaken(prefix + std::to_string(k) + suffix); });
  return prefix + std::to_string(n) + suffix;
}

}  // namespace quillmar
