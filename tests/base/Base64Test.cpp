#include <gtest/gtest.h>

#include "base/Base64.h"

namespace quillmar {
namespace {

TEST(Base64, EncodesPublishedVectors) {
  // RFC 4648 section 10.
  EXPECT_EQ(Base64Encode(""), "");
  EXPECT_EQ(Base64Encode("f"), "Zg==");
  EXPECT_EQ(Base64Encode("fo"), "Zm8=");
  EXPECT_EQ(Base64Encode("foo"), "Zm9v");
  EXPECT_EQ(Base64Encode("foob"), "Zm9vYg==");
  EXPECT_EQ(Base64Encode("fooba"), "Zm9vYmE=");
  EXPECT_EQ(Base64Encode("foobar"), "Zm9vYmFy");
  EXPECT_EQ(Base64Encode(std::string("\xFB\xFF\x00", 3)), "+/8A");
}

TEST(Base64, DecodesGroupsOfFourAndIgnoresNonAlphabet) {
  EXPECT_EQ(Base64Decode("Zm9vYmFy"), "foobar");
  EXPECT_EQ(Base64Decode("Zm9vYg=="), "foob");
  EXPECT_EQ(Base64Decode("Zm9vYmE="), "fooba");
  // A trailing group of fewer than four characters is ignored.
  EXPECT_EQ(Base64Decode("Zm9vYm"), "foo");
  EXPECT_EQ(Base64Decode("Zm9"), "");
  // Characters outside the alphabet inside a group carry no data: "Z*m9" holds three data characters.
  EXPECT_EQ(Base64Decode("Z*m9"), Base64Decode("Zm9="));
  // A group with fewer than two data characters gives nothing.
  EXPECT_EQ(Base64Decode("Z==="), "");
  EXPECT_EQ(Base64Decode("\r\n\r\n"), "");
}

TEST(Base64, RoundTripsAllByteValues) {
  std::string all;
  for (int i = 0; i < 256; ++i) all += static_cast<char>(i);
  for (size_t n = 0; n <= all.size(); n += 37) {
    std::string part = all.substr(0, n);
    EXPECT_EQ(Base64Decode(Base64Encode(part)), part) << n;
  }
}

}  // namespace
}  // namespace quillmar
