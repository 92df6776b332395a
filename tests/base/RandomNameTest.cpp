#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "base/Exception.h"
#include "base/RandomName.h"

namespace quillmar {
namespace {

TEST(RandomName, DrawsSpreadNumbersInRange) {
  std::set<int32_t> seen;
  int32_t low = kRandomNameMax, high = 0;
  for (int i = 0; i < 2000; ++i) {
    int32_t n = DrawFreeNumber([](int32_t) { return false; });
    ASSERT_GE(n, 0);
    ASSERT_LE(n, kRandomNameMax);
    seen.insert(n);
    low = std::min(low, n), high = std::max(high, n);
  }
  EXPECT_GT(seen.size(), 1990u);  // collisions among 2000 draws from 10^7 are rare
  EXPECT_LT(low, 100000);
  EXPECT_GT(high, kRandomNameMax - 100000);
}

TEST(RandomName, SkipsTakenNamesAndFindsTheLastFreeOne) {
  std::set<std::string> taken;
  for (int i = 0; i < 50; ++i) {
    std::string name =
        RandomFreeName("category", "", [&](const std::string& n) { return taken.count(n) > 0; });
    ASSERT_EQ(name.rfind("category", 0), 0u);
    ASSERT_TRUE(taken.insert(name).second) << name;
  }
  // The name asked about is the one returned once it is free.
  std::vector<std::string> asked;
  std::string entry = RandomFreeName("", ".entry", [&](const std::string& n) {
    asked.push_back(n);
    return asked.size() < 4;
  });
  ASSERT_EQ(asked.size(), 4u);
  EXPECT_EQ(entry, asked.back());
  EXPECT_EQ(entry, std::to_string(std::stoi(entry)) + ".entry");
  EXPECT_EQ(DrawFreeNumber([](int32_t n) { return n != kRandomNameMax; }), kRandomNameMax);
}

TEST(RandomName, FullFolderIsAnError) {
  EXPECT_THROW(DrawFreeNumber([](int32_t) { return true; }), EQuillmarError);
}

}  // namespace
}  // namespace quillmar
