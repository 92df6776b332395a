// One-time codes: RFC 6238's test vectors for the three hashes, and what a URI may hold.
#include <gtest/gtest.h>

#include "core/qmTotp.h"

namespace quillmar {
namespace {

// The RFC's keys ("1234567890" repeated to 20, 32 and 64 bytes) in Base32.
constexpr char kSha1Uri[] = "otpauth://totp/RFC:6238?secret=GEZDGNBVGY3TQOJQGEZDGNBVGY3TQOJQ&digits=8";
constexpr char kSha256Uri[] =
    "otpauth://totp/RFC:6238?secret=GEZDGNBVGY3TQOJQGEZDGNBVGY3TQOJQGEZDGNBVGY3TQOJQGEZA%3D%3D%3D%3D"
    "&digits=8&algorithm=SHA256";
constexpr char kSha512Uri[] =
    "otpauth://totp/"
    "RFC:6238?secret=GEZDGNBVGY3TQOJQGEZDGNBVGY3TQOJQGEZDGNBVGY3TQOJQGEZDGNBVGY3TQOJQGEZDGNBVGY3TQOJQ"
    "GEZDGNBVGY3TQOJQGEZDGNA&digits=8&algorithm=sha512";

TEST(Totp, TheVectorsOfRfc6238) {
  struct TVector {
    int64_t time;
    const char* sha1;
    const char* sha256;
    const char* sha512;
  };
  const TVector vectors[] = {
      {59, "94287082", "46119246", "90693936"},         {1111111109, "07081804", "68084774", "25091201"},
      {1111111111, "14050471", "67062674", "99943326"}, {1234567890, "89005924", "91819424", "93441116"},
      {2000000000, "69279037", "90698825", "38618901"}, {20000000000, "65353130", "77737706", "47863826"},
  };
  const auto sha1 = ParseTotpUri(kSha1Uri), sha256 = ParseTotpUri(kSha256Uri),
             sha512 = ParseTotpUri(kSha512Uri);
  ASSERT_TRUE(sha1 && sha256 && sha512);
  EXPECT_EQ(sha1->secret, "12345678901234567890");
  EXPECT_EQ(sha256->algorithm, TqmTotpAlgorithm::Sha256);
  EXPECT_EQ(sha512->secret.size(), 64u);
  for (const TVector& v : vectors) {
    EXPECT_EQ(TotpCode(*sha1, v.time), v.sha1) << v.time;
    EXPECT_EQ(TotpCode(*sha256, v.time), v.sha256) << v.time;
    EXPECT_EQ(TotpCode(*sha512, v.time), v.sha512) << v.time;
  }
}

TEST(Totp, DefaultsDigitsPeriodAndTheSecondsLeft) {
  auto t = ParseTotpUri(
      "OTPAUTH://TOTP/Example%3Aalice%40example.com?Secret=gezd+gnbv+gy3t+qojq+gezd+gnbv+gy3t+qojq"
      "&issuer=Example%20Co&foo=bar");
  ASSERT_TRUE(t);
  EXPECT_EQ(t->digits, 6);
  EXPECT_EQ(t->period, 30);
  EXPECT_EQ(t->algorithm, TqmTotpAlgorithm::Sha1);
  EXPECT_EQ(t->label, "Example:alice@example.com");
  EXPECT_EQ(t->issuer, "Example Co");
  EXPECT_EQ(t->secret, "12345678901234567890");
  EXPECT_EQ(TotpCode(*t, 59), "287082");  // the 8-digit vector's last six
  EXPECT_EQ(TotpSecondsLeft(*t, 59), 1);
  EXPECT_EQ(TotpSecondsLeft(*t, 60), 30);

  t = ParseTotpUri("otpauth://totp/x?secret=GEZDGNBVGY3TQOJQGEZDGNBVGY3TQOJQ&digits=7&period=60");
  ASSERT_TRUE(t);
  EXPECT_EQ(TotpCode(*t, 119), TotpCode(*t, 60));
  EXPECT_NE(TotpCode(*t, 119), TotpCode(*t, 120));
  EXPECT_EQ(TotpCode(*t, 59).size(), 7u);
  EXPECT_EQ(TotpSecondsLeft(*t, -1), 1) << "before 1970 the period still counts forward";
}

TEST(Totp, WhatCannotBeUsedIsRefusedWithTheReason) {
  EXPECT_TRUE(IsTotpUri("otpauth://totp/a"));
  EXPECT_TRUE(IsTotpUri("OtpAuth://TOTP/"));
  EXPECT_FALSE(IsTotpUri("otpauth://hotp/a?secret=AA"));
  EXPECT_FALSE(IsTotpUri("https://example.com"));
  EXPECT_FALSE(IsTotpUri("otpauth://tot"));
  struct TCase {
    const char* uri;
    const char* says;
  };
  for (const TCase& c : {TCase{"otpauth://totp/a", "no secret"}, TCase{"otpauth://totp/a?secret=", "Base32"},
                         TCase{"otpauth://totp/a?secret=ABC1", "Base32"},
                         TCase{"otpauth://totp/a?secret=GEZA&digits=5", "6 to 8"},
                         TCase{"otpauth://totp/a?secret=GEZA&digits=9", "6 to 8"},
                         TCase{"otpauth://totp/a?secret=GEZA&digits=x", "6 to 8"},
                         TCase{"otpauth://totp/a?secret=GEZA&period=0", "86400"},
                         TCase{"otpauth://totp/a?secret=GEZA&period=-30", "86400"},
                         TCase{"otpauth://totp/a?secret=GEZA&algorithm=MD5", "MD5"},
                         TCase{"otpauth://hotp/a?secret=GEZA", "otpauth://totp/"}}) {
    std::string problem;
    EXPECT_FALSE(ParseTotpUri(c.uri, &problem)) << c.uri;
    EXPECT_NE(problem.find(c.says), std::string::npos) << c.uri << ": " << problem;
  }
  EXPECT_EQ(DecodeBase32("MZXW6YTBOI======").value_or("?"), "foobar");
  EXPECT_EQ(DecodeBase32("mzxw6ytboi").value_or("?"), "foobar");
  EXPECT_FALSE(DecodeBase32("MZXW6YTB0I").has_value()) << "0 is no Base32 digit";
}

}  // namespace
}  // namespace quillmar
