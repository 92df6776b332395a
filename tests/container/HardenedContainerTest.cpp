// Containers keyed by a derived text key: the header bytes as written, which keys open them, repair
// and change of password with derivations, hostile header bytes in a real file, and compatible
// containers left exactly as they were.
#include <gtest/gtest.h>

#include <memory>

#include "CipherReference.h"
#include "container/PageFileManager.h"
#include "container/SFSError.h"
#include "container/SFSFileStream.h"
#include "container/SingleFileSystem.h"
#include "support/ExpectThrow.h"
#include "support/TempDir.h"

namespace quillmar {
namespace {

using test::ExpectThrow;
using test::Hex;
using test::LE32;
using test::ReadFileBytes;
using test::WriteFileBytes;

constexpr size_t kHeader = 280;  // the container header follows the part header

TKeyDerivation Derivation(uint8_t saltByte) {
  TKeyDerivation d;
  d.Algorithm = TKeyDerivation::kdArgon2id;
  d.Lanes = 1;
  d.MemoryKiB = 64;
  d.Passes = 1;
  d.Salt.fill(saltByte);
  return d;
}

// Writes the 30 bytes at header offset 226 of a container file and fixes the header checksum, as a
// tool (or an attacker) that knows the format would.
void PatchDerivation(const std::string& file, const uint8_t* bytes30) {
  std::string f = ReadFileBytes(file);
  std::memcpy(f.data() + kHeader + 226, bytes30, 30);
  uint32_t x = test::RefXor(f.substr(kHeader + 12, 244));
  for (int i = 0; i < 4; ++i) f[kHeader + 8 + i] = static_cast<char>(x >> (8 * i));
  WriteFileBytes(file, f);
}

class HardenedContainerTest : public ::testing::Test {
protected:
  std::string Path() const { return dir_.file("hard.qvt"); }
  std::unique_ptr<TSingleFileSystem> Make(const TTextKey& key) {
    return std::make_unique<TSingleFileSystem>(Path(), -1, 8, 2048, 0, "", "", key, false, 0xFFFF);
  }
  std::unique_ptr<TSingleFileSystem> Open(const TTextKey& key) {
    return std::make_unique<TSingleFileSystem>(Path(), -1, 8, 2048, 0, "", "", key, false, 18);
  }
  static void Put(TSingleFileSystem& s, const std::string& path, const std::string& data) {
    TSFSFileStream f(&s, 0, "", "", "", 0xFFFF, path);
    f.WriteBuffer(data.data(), int64_t(data.size()));
  }
  static std::string Get(TSingleFileSystem& s, const std::string& path) {
    TSFSFileStream f(&s, 0, "", "", "", 0, path);
    std::string out(size_t(f.Size()), '\0');
    f.ReadBuffer(out.data(), int64_t(out.size()));
    return out;
  }
  std::string Header() const { return ReadFileBytes(Path()).substr(kHeader, 256); }

  test::TempDir dir_;
  const std::string plain_ = std::string(7000, 'q') + "end";
};

TEST_F(HardenedContainerTest, HeaderHoldsTheDerivationAndTheKeyRecordIsKeyedByD) {
  const TTextKey key = TTextKey::Derive("master password", Derivation(0x5A));
  Make(key);
  const std::string h = Header();
  EXPECT_EQ(LE32(h, 8), test::RefXor(h.substr(12)));  // the checksum covers the new bytes
  EXPECT_EQ(Hex(h.substr(226, 10)), "01014000000001000000");
  EXPECT_EQ(h.substr(236, 16), std::string(16, '\x5A'));
  EXPECT_EQ(h.substr(252, 4), std::string(4, '\0'));
  EXPECT_EQ(static_cast<uint8_t>(h[224]), etRijndael);
  // The key record opens with D (the reference cipher keyed by its 32 bytes), not with the password.
  const std::string kr = h.substr(52, 172);
  const std::string master = test::RefDecrypt(std::string(key.Text()), kr.substr(0, 32));
  EXPECT_EQ(LE32(kr, 64), test::RefCrc16Arc(master));
  EXPECT_NE(LE32(kr, 64), test::RefCrc16Arc(test::RefDecrypt("master password", kr.substr(0, 32))));
  EXPECT_EQ(kr.substr(32, 32), std::string(32, '\0'));  // no recovery question
  EXPECT_EQ(kr.substr(68), std::string(104, '\0'));
  EXPECT_EQ(TSingleFileSystem::ReadKeyDerivation(Path()), Derivation(0x5A));
}

TEST_F(HardenedContainerTest, OnlyDOfThisDerivationOpensIt) {
  const TTextKey key = TTextKey::Derive("pw", Derivation(1));
  {
    auto s = Make(key);
    Put(*s, "\\f", plain_);
  }
  EXPECT_TRUE(TSingleFileSystem::CheckContainerPassword(Path(), key));
  // The password itself, D's bytes taken as a password, D of another salt, a wrong password.
  const TTextKey refused[] = {TTextKey::FromPassword("pw"), TTextKey::FromPassword(key.Text()),
                              TTextKey::Derive("pw", Derivation(2)), TTextKey::Derive("pW", Derivation(1))};
  for (const TTextKey& k : refused) {
    EXPECT_FALSE(TSingleFileSystem::CheckContainerPassword(Path(), k));
    EXPECT_NE(ExpectThrow([&] { Open(k); }).find("invalid password specified"), std::string::npos);
    TPageFileManager pfm(Path(), -1, 8, 2048, false, "", "", k, TPageFileManager::fmReadOnly);
    EXPECT_FALSE(pfm.PasswordMatched());
  }
  auto s = Open(key);
  EXPECT_EQ(Get(*s, "\\f"), plain_);
  EXPECT_EQ(s->KeyDerivation(), Derivation(1));
}

TEST_F(HardenedContainerTest, RepairKeepsTheDerivationAndChangeOfPasswordWritesTheNewKeysOwn) {
  const TTextKey first = TTextKey::Derive("pw", Derivation(1));
  {
    auto s = Make(first);
    Put(*s, "\\f", plain_);
    std::string log;
    ASSERT_TRUE(s->RepairFile(log, true)) << log;
    EXPECT_EQ(Get(*s, "\\f"), plain_);
  }
  EXPECT_EQ(Header().substr(226, 30), [&] {
    uint8_t b[30];
    Derivation(1).EncodeTo(b);
    return test::Bytes(b, 30);
  }());
  {
    // To a password: the container becomes compatible (bytes 226..255 zero, keyed by the password).
    auto s = Open(first);
    ASSERT_TRUE(s->ChangePassword(TTextKey::FromPassword("plain pw"), "", ""));
    EXPECT_EQ(Get(*s, "\\f"), plain_);
  }
  EXPECT_EQ(Header().substr(226), std::string(30, '\0'));
  EXPECT_FALSE(TSingleFileSystem::CheckContainerPassword(Path(), first));
  const TTextKey second = TTextKey::Derive("pw", Derivation(3));
  {
    auto s = Open(TTextKey::FromPassword("plain pw"));
    ASSERT_TRUE(s->ChangePassword(second, "", ""));
    EXPECT_EQ(Get(*s, "\\f"), plain_);
    // A derived key takes no recovery question.
    EXPECT_THROW(s->ChangePassword(second, "Pet?", "rex"), ESFSError);
    EXPECT_EQ(Get(*s, "\\f"), plain_);
  }
  EXPECT_EQ(TSingleFileSystem::ReadKeyDerivation(Path()), Derivation(3));
  EXPECT_EQ(Get(*Open(second), "\\f"), plain_);
  EXPECT_THROW(TPageFileManager(dir_.file("q.qvt"), -1, 8, 2048, false, "rex", "Pet?", second,
                                TPageFileManager::fmCreate),
               ESFSError);
}

// A file that names a derivation no reader may follow is refused with that reason, before any key is
// derived or any page read (the engine never derives: it is given the key).
TEST_F(HardenedContainerTest, HostileDerivationBytesInAFileAreRefusedWithTheirReason) {
  const TTextKey key = TTextKey::Derive("pw", Derivation(1));
  {
    auto s = Make(key);
    Put(*s, "\\f", plain_);
  }
  TKeyDerivation hostile = Derivation(1);
  hostile.MemoryKiB = 0xFFFFFFFFu;
  uint8_t b[30];
  hostile.EncodeTo(b);
  PatchDerivation(Path(), b);
  const std::string why = ExpectThrow([&] { TSingleFileSystem::ReadKeyDerivation(Path()); });
  EXPECT_NE(why.find("more than the 4096 MiB allowed"), std::string::npos) << why;
  EXPECT_EQ(ExpectThrow([&] { Open(key); }), why);
  EXPECT_FALSE(TSingleFileSystem::CheckContainerPassword(Path(), key));

  b[0] = 9;  // an algorithm of a later version
  PatchDerivation(Path(), b);
  EXPECT_NE(ExpectThrow([&] { Open(key); }).find("does not know (marker 9)"), std::string::npos);
}

// Byte 226 zero: a compatible container, as before, even when a writer left something in the other
// formerly reserved bytes; an open keeps them as they are.
TEST_F(HardenedContainerTest, ACompatibleContainerIgnoresAndKeepsTheOtherReservedBytes) {
  {
    auto s = Make(TTextKey::FromPassword("pw"));
    Put(*s, "\\f", "x");
  }
  EXPECT_EQ(Header().substr(226), std::string(30, '\0'));
  uint8_t junk[30];
  for (int i = 0; i < 30; ++i) junk[i] = static_cast<uint8_t>(i == 0 ? 0 : 0xC0 + i);
  PatchDerivation(Path(), junk);
  {
    auto s = Open(TTextKey::FromPassword("pw"));
    EXPECT_FALSE(s->KeyDerivation().Hardened());
    Put(*s, "\\g", plain_);  // writes the header again
    EXPECT_EQ(Get(*s, "\\g"), plain_);
  }
  EXPECT_EQ(Header().substr(226), test::Bytes(junk, 30));
  EXPECT_EQ(TSingleFileSystem::ReadKeyDerivation(Path()), TKeyDerivation());
}

}  // namespace
}  // namespace quillmar
