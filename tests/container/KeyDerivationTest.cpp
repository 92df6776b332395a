// The key derivation of hardened containers: Argon2id's published vectors through our call, the 30
// header bytes, the bounds a reader keeps (hostile headers refused before anything is reserved), the
// text key's rules, and how the cost of new keys is chosen.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <thread>

#include "CipherReference.h"
#include "container/KeyDerivation.h"
#include "container/KeyDerivationCost.h"
#include "container/SFSError.h"
#include "container/TextKey.h"
#include "support/ExpectThrow.h"

namespace quillmar {
namespace {

using test::ExpectThrow;
using test::Hex;

std::string Tag(std::string_view password, const std::string& salt, std::string_view secret,
                std::string_view ad, const TKdfCost& cost) {
  uint8_t tag[32];
  Argon2id(password, reinterpret_cast<const uint8_t*>(salt.data()), salt.size(), secret, ad, cost, tag, 32);
  return test::Bytes(tag, 32);
}

TKeyDerivation Hardened(uint32_t memoryKiB, uint32_t passes, uint8_t lanes) {
  TKeyDerivation d;
  d.Algorithm = TKeyDerivation::kdArgon2id;
  d.Lanes = lanes;
  d.MemoryKiB = memoryKiB;
  d.Passes = passes;
  for (size_t i = 0; i < d.Salt.size(); ++i) d.Salt[i] = static_cast<uint8_t>(0xA0 + i);
  return d;
}

// RFC 9106 section 5.3 (Argon2id, version 0x13: 32 KiB, 3 passes, 4 lanes, password 32 x 01, salt 16 x
// 02, secret 8 x 03, associated data 12 x 04), and a vector of the reference implementation's own
// tests without secret and associated data, the way Safes call it (password "password", salt
// "somesalt", 64 MiB, 2 passes, 1 lane).
TEST(Argon2id, PublishedVectorsThroughTheCallSafesUse) {
  EXPECT_EQ(Hex(Tag(std::string(32, '\x01'), std::string(16, '\x02'), std::string(8, '\x03'),
                    std::string(12, '\x04'), {32, 3, 4})),
            "0d640df58d78766c08c037a34a8b53c9d01ef0452d75b65eb52520e96b01e659");
  EXPECT_EQ(Hex(Tag("password", "somesalt", {}, {}, {64 * 1024, 2, 1})),
            "09316115d5cf24ed5a15a31a3ba326e5cf32edc24702987c02b6566f61913cf7");
  // D is that tag: the text key of a hardened container for the same password, salt and cost.
  TKeyDerivation d = Hardened(64, 1, 1);
  const TTextKey key = TTextKey::Derive("pw", d);
  EXPECT_TRUE(key.IsDerived());
  EXPECT_EQ(key.Derivation(), d);
  EXPECT_EQ(Hex(std::string(key.Text())), Hex(Tag("pw", test::Bytes(d.Salt.data(), 16), {}, {}, d.Cost())));
}

TEST(KeyDerivation, HeaderBytesFollowTheTable) {
  TKeyDerivation d = Hardened(0x00112233, 0x44556677, 2);
  uint8_t b[TKeyDerivation::Size];
  d.EncodeTo(b);
  const std::string s = test::Bytes(b, sizeof b);
  EXPECT_EQ(Hex(s.substr(0, 10)), "01023322110077665544");
  EXPECT_EQ(s.substr(10, 16), test::Bytes(d.Salt.data(), 16));
  EXPECT_EQ(s.substr(26), std::string(4, '\0'));
  EXPECT_EQ(TKeyDerivation::Decode(b), d);

  // Algorithm 0: a compatible container, whatever the other (formerly reserved) bytes hold.
  b[0] = 0;
  EXPECT_EQ(TKeyDerivation::Decode(b), TKeyDerivation());
  EXPECT_FALSE(TKeyDerivation::Decode(b).Hardened());
  TKeyDerivation().EncodeTo(b);
  EXPECT_EQ(test::Bytes(b, sizeof b), std::string(30, '\0'));

  EXPECT_EQ(Hardened(64 * 1024, 3, 2).Describe(), "hardened (Argon2id, 64 MiB, 3 passes, 2 lanes)");
  EXPECT_EQ(Hardened(40, 1, 1).Describe(), "hardened (Argon2id, 40 KiB, 1 pass, 1 lane)");
  EXPECT_EQ(TKeyDerivation().Describe(), "compatible (no key derivation)");
}

// Each refusal names its problem, and comes before the library is called: a derivation of 4 TiB
// would abort under AddressSanitizer (and fail for want of memory elsewhere with another message).
TEST(KeyDerivation, HostileParametersAreRefusedBeforeAnythingIsReserved) {
  struct TCase {
    TKeyDerivation d;
    const char* says;
  };
  TKeyDerivation unknown = Hardened(64, 1, 1);
  unknown.Algorithm = 2;
  TKeyDerivation trailer = Hardened(64, 1, 1);
  trailer.Trailer = 1;
  const TCase cases[] = {
      {unknown, "does not know (marker 2)"},
      {trailer, "unknown version"},
      {Hardened(0xFFFFFFFFu, 3, 1), "more than the 4096 MiB allowed"},
      {Hardened(TKeyDerivation::MaxMemoryKiB + 1, 3, 1), "more than the 4096 MiB allowed"},
      {Hardened(64 * 1024, 101, 1), "101 passes, more than the 100 allowed"},
      {Hardened(64 * 1024, 0xFFFFFFFFu, 1), "more than the 100 allowed"},
      {Hardened(64 * 1024, 3, 0), "zero lanes"},
      {Hardened(64 * 1024, 0, 1), "zero passes"},
      {Hardened(15, 1, 2), "less than the 8 KiB per lane"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.says);
    EXPECT_NE(c.d.Problem().find(c.says), std::string::npos) << c.d.Problem();
    EXPECT_NE(ExpectThrow([&] { TTextKey::Derive("password", c.d); }).find(c.says), std::string::npos);
    uint8_t d32[32] = {};
    EXPECT_NE(ExpectThrow([&] { TTextKey::FromDerived(d32, c.d); }).find(c.says), std::string::npos);
  }
  // Costly: within the bounds a reader follows, beyond what this program writes (1 GiB, 10 passes).
  EXPECT_FALSE(Hardened(TKeyDerivation::UsualMaxMemoryKiB, TKeyDerivation::UsualMaxPasses, 2).Costly());
  EXPECT_TRUE(Hardened(TKeyDerivation::UsualMaxMemoryKiB + 1024, 3, 2).Costly());
  EXPECT_TRUE(Hardened(64, TKeyDerivation::UsualMaxPasses + 1, 1).Costly());
  EXPECT_FALSE(Hardened(64 * 1024, 101, 1).Costly());  // not followed at all: Problem() says why
  EXPECT_FALSE(TKeyDerivation().Costly());
  EXPECT_EQ(Hardened(2u * 1024 * 1024, 20, 1).CostText(), "2 GiB of memory and 20 passes");
  EXPECT_EQ(Hardened(64, 1, 1).CostText(), "64 KiB of memory and 1 pass");
  // The bounds themselves are allowed (not derived here: 4 GiB would be a real allocation).
  EXPECT_EQ(Hardened(TKeyDerivation::MaxMemoryKiB, 100, 255).Problem(), "");
  EXPECT_EQ(Hardened(16, 1, 2).Problem(), "");
  EXPECT_EQ(TKeyDerivation().Problem(), "");
}

TEST(TextKey, PasswordAndDerivedKeysAreNeverEqualAndDKeepsItsZeroBytes) {
  const TTextKey password = TTextKey::FromPassword("secret");
  EXPECT_FALSE(password.IsDerived());
  EXPECT_EQ(password.Text(), "secret");
  EXPECT_EQ(TTextKey::Derive("secret", TKeyDerivation()), password);  // no derivation: the password
  EXPECT_TRUE(TTextKey().Empty());
  EXPECT_TRUE(TTextKey::FromPassword("").Empty());

  uint8_t d[32] = {};
  d[5] = 7;  // zeros before and after it belong to the key
  const TKeyDerivation derivation = Hardened(64, 1, 1);
  const TTextKey derived = TTextKey::FromDerived(d, derivation);
  EXPECT_EQ(derived.Text().size(), 32u);
  EXPECT_EQ(derived.Text()[31], '\0');
  // The same 32 bytes as a password are another key.
  const TTextKey sameBytes = TTextKey::FromPassword(derived.Text());
  EXPECT_FALSE(sameBytes == derived);
  TKeyDerivation otherSalt = derivation;
  otherSalt.Salt[0] ^= 1;
  EXPECT_FALSE(TTextKey::FromDerived(d, otherSalt) == derived);
  EXPECT_TRUE(TTextKey::FromDerived(d, derivation) == derived);
  EXPECT_THROW(TTextKey::FromDerived(d, TKeyDerivation()), ESFSError);

  // The derivation depends on password, salt and cost.
  EXPECT_FALSE(TTextKey::Derive("secret", derivation) == TTextKey::Derive("secreT", derivation));
  EXPECT_NE(TTextKey::Derive("secret", derivation).Text(), TTextKey::Derive("secret", otherSalt).Text());
  EXPECT_NE(TTextKey::Derive("secret", derivation).Text(),
            TTextKey::Derive("secret", Hardened(64, 2, 1)).Text());
  // Passwords of any length: D has 32 bytes.
  EXPECT_EQ(TTextKey::Derive(std::string(1000, 'p'), derivation).Text().size(), 32u);
}

// A model machine on which a derivation takes `perKiBPass` seconds per KiB and pass.
TKdfTimer ModelMachine(double perKiBPass, int* calls = nullptr) {
  return [=](const TKdfCost& c) {
    if (calls) ++*calls;
    return perKiBPass * double(c.MemoryKiB) * double(c.Passes);
  };
}

double ModelSeconds(double perKiBPass, const TKdfCost& c) {
  return perKiBPass * double(c.MemoryKiB) * double(c.Passes);
}

TEST(KeyDerivationCost, CalibrationRaisesMemoryThenPassesAndKeepsTheFloor) {
  const uint32_t lanes = std::thread::hardware_concurrency() >= 2 ? 2 : 1;
  // 64 MiB and 3 passes take 0.2 s: memory goes to 160 MiB.
  const double mid = 0.2 / (64 * 1024 * 3);
  int calls = 0;
  TKdfCost c = CalibrateKdfCost(0.5, ModelMachine(mid, &calls));
  EXPECT_EQ(c, (TKdfCost{160 * 1024, 3, lanes}));
  EXPECT_NEAR(ModelSeconds(mid, c), 0.5, 0.01);
  EXPECT_EQ(calls, 2);
  // Fifty times faster: memory stops at 1 GiB, passes make up the rest.
  const double fast = 0.01 / (64 * 1024 * 3);
  c = CalibrateKdfCost(0.5, ModelMachine(fast));
  EXPECT_EQ(c.MemoryKiB, TKdfCostRules::CapMemoryKiB);
  EXPECT_EQ(c.Passes, 9u);
  EXPECT_NEAR(ModelSeconds(fast, c), 0.5, 0.05);
  // Much faster still: passes stop at 10 too. Nothing this program makes is costlier than that, so
  // that a costlier header is known for one this program did not write.
  c = CalibrateKdfCost(0.5, ModelMachine(fast / 20));
  EXPECT_EQ(c, (TKdfCost{TKdfCostRules::CapMemoryKiB, TKdfCostRules::CapPasses, lanes}));
  EXPECT_FALSE(Hardened(c.MemoryKiB, c.Passes, uint8_t(c.Lanes)).Costly());
  // A slow machine keeps the floor (and so takes longer than the target).
  const double slow = 0.8 / (64 * 1024 * 3);
  EXPECT_EQ(CalibrateKdfCost(0.5, ModelMachine(slow)), (TKdfCost{64 * 1024, 3, lanes}));
  // Memory is chosen in whole MiB; the faster of the two measures counts.
  int n = 0;
  c = CalibrateKdfCost(0.5, [&](const TKdfCost& cost) {
    return (n++ == 0 ? 3.0 : 1.0) * 0.23 / (64 * 1024 * 3) * double(cost.MemoryKiB) * double(cost.Passes);
  });
  EXPECT_EQ(c.MemoryKiB % 1024, 0u);
  EXPECT_EQ(c.MemoryKiB, 139u * 1024);  // 64 MiB * 0.5 / 0.23 = 139.1 MiB
}

// The calibration on this machine, as new Safes get it (no test cost).
TEST(KeyDerivationCost, RealCalibrationKeepsTheRules) {
  const TKdfCost c = CalibrateKdfCost();
  EXPECT_GE(c.MemoryKiB, TKdfCostRules::MinMemoryKiB);
  EXPECT_LE(c.MemoryKiB, TKdfCostRules::CapMemoryKiB);
  EXPECT_EQ(c.MemoryKiB % 1024, 0u);
  EXPECT_GE(c.Passes, TKdfCostRules::MinPasses);
  EXPECT_GE(c.Lanes, 1u);
  EXPECT_LE(c.Lanes, 2u);
}

class TestCostScope {
public:
  ~TestCostScope() {
    ResetTestKdfCost();
    if (had_)
      ::setenv(kTestKdfCostVariable, saved_.c_str(), 1);
    else
      ::unsetenv(kTestKdfCostVariable);
  }
  TestCostScope() {
    const char* v = std::getenv(kTestKdfCostVariable);
    had_ = v != nullptr;
    if (v) saved_ = v;
  }

private:
  bool had_ = false;
  std::string saved_;
};

TEST(KeyDerivationCost, TestCostsOnlyThroughTheTestHooksAndNeverBelowTheFloorOtherwise) {
  TestCostScope scope;
  SetTestKdfCost(std::nullopt);  // production: no test cost, whatever the environment says
  EXPECT_FALSE(TestKdfCost());
  EXPECT_NE(ExpectThrow([] {
              MakeKeyDerivation({1024, 1, 1});
            }).find("at least 64 MiB and 3 passes"),
            std::string::npos);
  EXPECT_NE(ExpectThrow([] { MakeKeyDerivation({64 * 1024, 2, 1}); }), "<no exception>");
  const TKeyDerivation a = MakeKeyDerivation({64 * 1024, 3, 2});
  const TKeyDerivation b = MakeKeyDerivation({64 * 1024, 3, 2});
  EXPECT_EQ(a.Describe(), "hardened (Argon2id, 64 MiB, 3 passes, 2 lanes)");
  EXPECT_NE(a.Salt, b.Salt);  // a fresh salt each time
  EXPECT_EQ(a.Problem(), "");

  SetTestKdfCost(TKdfCost{32, 1, 1});
  EXPECT_EQ(NewKeyCost(), (TKdfCost{32, 1, 1}));
  EXPECT_EQ(NewKeyDerivation().Describe(), "hardened (Argon2id, 32 KiB, 1 pass, 1 lane)");
  EXPECT_THROW(SetTestKdfCost(TKdfCost{4, 1, 1}), ESFSError);  // below Argon2's own minimum

  // The environment decides when the process has not.
  ResetTestKdfCost();
  ::setenv(kTestKdfCostVariable, "128,2,2", 1);
  EXPECT_EQ(TestKdfCost(), (TKdfCost{128, 2, 2}));
  for (const char* bad : {"128,2", "128;2;2", "128,2,2,", "x", "8,1,2"}) {
    ::setenv(kTestKdfCostVariable, bad, 1);
    EXPECT_NE(ExpectThrow([] { TestKdfCost(); }).find(kTestKdfCostVariable), std::string::npos) << bad;
  }
  ::unsetenv(kTestKdfCostVariable);
  EXPECT_FALSE(TestKdfCost());
}

}  // namespace
}  // namespace quillmar
