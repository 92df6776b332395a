#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <limits>
#include <stdexcept>

#include "base/LittleEndian.h"

namespace quillmar {
namespace {

TEST(LittleEndianTest, LeastSignificantByteComesFirstWhateverTheWidth) {
  std::array<uint8_t, 8> b{};
  PutLE<uint16_t>(b.data(), 0x1234);
  EXPECT_EQ(b[0], 0x34);
  EXPECT_EQ(b[1], 0x12);
  PutLE<uint32_t>(b.data(), 0x11223344u);
  EXPECT_EQ((std::array<uint8_t, 4>{b[0], b[1], b[2], b[3]}),
            (std::array<uint8_t, 4>{0x44, 0x33, 0x22, 0x11}));
  PutLE<uint64_t>(b.data(), 0x0102030405060708ull);
  EXPECT_EQ(b, (std::array<uint8_t, 8>{8, 7, 6, 5, 4, 3, 2, 1}));

  const std::array<uint8_t, 8> in{0xEF, 0xCD, 0xAB, 0x89, 0x67, 0x45, 0x23, 0x01};
  EXPECT_EQ(GetLE<uint16_t>(in.data()), 0xCDEFu);
  EXPECT_EQ(GetLE<uint32_t>(in.data()), 0x89ABCDEFu);
  EXPECT_EQ(GetLE<uint64_t>(in.data()), 0x0123456789ABCDEFull);
  EXPECT_EQ(GetLE<uint32_t>(in.data() + 4), 0x01234567u);  // unaligned start
}

TEST(LittleEndianTest, SignedValuesKeepTheirBitsBothWays) {
  std::array<uint8_t, 8> b{};
  PutLE<int32_t>(b.data(), -1);
  EXPECT_EQ(GetLE<uint32_t>(b.data()), 0xFFFFFFFFu);
  EXPECT_EQ(GetLE<int32_t>(b.data()), -1);
  PutLE<int32_t>(b.data(), -2);
  EXPECT_EQ(b[0], 0xFE);
  EXPECT_EQ(b[3], 0xFF);
  for (int64_t v : {std::numeric_limits<int64_t>::min(), int64_t(-256), int64_t(0), int64_t(1) << 40,
                    std::numeric_limits<int64_t>::max()}) {
    PutLE<int64_t>(b.data(), v);
    EXPECT_EQ(GetLE<int64_t>(b.data()), v);
  }
  // The top byte's bit 7 is the sign: a 64-bit value near the top of its range is not sign-extended
  // from a narrower read.
  PutLE<uint64_t>(b.data(), 0x80000000ull);
  EXPECT_EQ(GetLE<int64_t>(b.data()), int64_t(0x80000000));
}

TEST(LittleEndianTest, CheckedAccessStaysInsideTheBuffer) {
  std::array<uint8_t, 6> b{1, 2, 3, 4, 5, 6};
  const std::span<const uint8_t> view(b);
  EXPECT_EQ(GetLE<uint32_t>(view, 2), 0x06050403u);  // the last four bytes: allowed
  EXPECT_THROW(GetLE<uint32_t>(view, 3), std::out_of_range);
  EXPECT_THROW(GetLE<uint32_t>(view, 6), std::out_of_range);
  EXPECT_THROW(GetLE<uint32_t>(view, 7), std::out_of_range);
  // An offset so large that offset + width wraps around is refused, not read.
  EXPECT_THROW(GetLE<uint32_t>(view, std::numeric_limits<size_t>::max() - 1), std::out_of_range);
  EXPECT_THROW(GetLE<uint8_t>(std::span<const uint8_t>(), 0), std::out_of_range);

  EXPECT_THROW(PutLE<uint16_t>(std::span<uint8_t>(b), 5, uint16_t(0xFFFF)), std::out_of_range);
  EXPECT_EQ(b, (std::array<uint8_t, 6>{1, 2, 3, 4, 5, 6}));  // a refused write changes nothing
  PutLE<uint16_t>(std::span<uint8_t>(b), 4, uint16_t(0xAABB));
  EXPECT_EQ(b, (std::array<uint8_t, 6>{1, 2, 3, 4, 0xBB, 0xAA}));
}

}  // namespace
}  // namespace quillmar
