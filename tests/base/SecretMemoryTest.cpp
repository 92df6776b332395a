#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "base/SecretMemory.h"

#if defined(__SANITIZE_ADDRESS__)
#define QM_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QM_ASAN 1
#endif
#endif

namespace quillmar {
namespace {

// The VmFlags of the mapping that holds p (from /proc/self/smaps), "" when none does.
std::string VmFlagsOf(const void* p) {
  const auto at = reinterpret_cast<uintptr_t>(p);
  std::ifstream smaps("/proc/self/smaps");
  std::string line;
  bool inside = false;
  while (std::getline(smaps, line)) {
    uintptr_t from = 0, to = 0;
    char dash = 0;
    std::istringstream head(line);
    if (head >> std::hex >> from >> dash >> to && dash == '-') {
      inside = from <= at && at < to;
      continue;
    }
    if (inside && line.rfind("VmFlags:", 0) == 0) return line;
  }
  return "";
}

TEST(SecretMemory, BlocksOfAnySizeAreZeroedSeparateAndKeepWhatIsWrittenIntoThem) {
  const std::vector<size_t> sizes = {1, 32, 33, 64, 65, 1000, 4000, 4096, 10000};
  std::vector<uint8_t*> blocks;
  for (size_t i = 0; i < sizes.size(); ++i) {
    auto* p = static_cast<uint8_t*>(AllocateSecret(sizes[i]));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % 16, 0u);
    for (size_t k = 0; k < sizes[i]; ++k) ASSERT_EQ(p[k], 0) << "block " << i << " byte " << k;
    std::memset(p, int(i + 1), sizes[i]);
    blocks.push_back(p);
  }
  // No block overlaps another: every one still holds its own pattern.
  for (size_t i = 0; i < sizes.size(); ++i)
    for (size_t k = 0; k < sizes[i]; ++k) ASSERT_EQ(blocks[i][k], uint8_t(i + 1)) << "block " << i;
  for (size_t i = 0; i < sizes.size(); ++i) FreeSecret(blocks[i], sizes[i]);
}

TEST(SecretMemory, AGivenBackBlockIsWipedAndItsPlaceServesAgain) {
  auto* keep = static_cast<uint8_t*>(AllocateSecret(40));
  auto* p = static_cast<uint8_t*>(AllocateSecret(100));
  std::memset(keep, 0x5A, 40);
  std::memset(p, 0xA5, 100);
  FreeSecret(p, 100);
  // The page of small blocks stays mapped (keep is in it): what the key held is gone.
  for (size_t k = 0; k < 100; ++k) ASSERT_EQ(p[k], 0) << k;
  auto* again = static_cast<uint8_t*>(AllocateSecret(100));
  EXPECT_EQ(again, p);
  for (size_t k = 0; k < 40; ++k) ASSERT_EQ(keep[k], 0x5A);
  FreeSecret(again, 100);
  FreeSecret(keep, 40);
}

TEST(SecretMemory, PagesAreLeftOutOfCoreDumpsAndLockedWhereTheLimitAllows) {
  TSecretBytes key(32, 7);
  const std::string flags = VmFlagsOf(key.data());
  ASSERT_FALSE(flags.empty()) << "no mapping holds the key";
  EXPECT_NE(flags.find(" dd"), std::string::npos) << flags;  // MADV_DONTDUMP
  // A page of secrets costs one page of the limit for locked memory (8 MiB by default; the
  // administrator is not bound by it). Below a few pages the pool works unlocked.
  struct rlimit limit {};
  ASSERT_EQ(getrlimit(RLIMIT_MEMLOCK, &limit), 0);
  if (geteuid() == 0 || limit.rlim_cur >= 256 * 1024) {
    EXPECT_TRUE(IsSecretLocked(key.data()));
#if !defined(QM_ASAN)
    // (AddressSanitizer makes mlock a no-op that reports success.)
    EXPECT_NE(flags.find(" lo"), std::string::npos) << flags;
#endif
  }
  int local = 0;
  EXPECT_FALSE(IsSecretLocked(&local));  // not of the pool
}

}  // namespace
}  // namespace quillmar
