// Checksums, the page cipher, container keys and key records, against published vectors and against an
// independent block-by-block rendering of the chaining.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "CipherReference.h"
#include "container/Checksum.h"
#include "container/ContainerKey.h"
#include "container/KeyRecord.h"
#include "container/PageCipher.h"
#include "container/SFSError.h"

namespace quillmar {
namespace {

using test::Bytes;
using test::Hex;
using test::RefDecrypt;
using test::RefEncrypt;
using test::Unhex;

std::string RandomBytes(size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::string s(n, '\0');
  for (auto& c : s) c = static_cast<char>(rng());
  return s;
}

std::string Encrypt(const TPageCipher& c, std::string s) {
  c.Encrypt(reinterpret_cast<uint8_t*>(s.data()), s.size());
  return s;
}

std::string Decrypt(const TPageCipher& c, std::string s) {
  c.Decrypt(reinterpret_cast<uint8_t*>(s.data()), s.size());
  return s;
}

const uint8_t* U8(const std::string& s) {
  return reinterpret_cast<const uint8_t*>(s.data());
}

TEST(PrimitiveVectors, Aes256Fips197) {
  std::string key = Unhex("000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f");
  std::string pt = Unhex("00112233445566778899aabbccddeeff");
  CryptoPP::AES::Encryption e(U8(key), 32);
  uint8_t out[16];
  e.ProcessBlock(U8(pt), out);
  EXPECT_EQ(Hex(Bytes(out, 16)), "8ea2b7ca516745bfeafc49904b496089");
}

TEST(PrimitiveVectors, Ripemd256) {
  auto digest = [](const std::string& s) {
    uint8_t d[32];
    CryptoPP::RIPEMD256().CalculateDigest(d, U8(s), s.size());
    return Hex(Bytes(d, 32));
  };
  EXPECT_EQ(digest(""), "02ba4c4e5f8ecd1877fc52d64d30e37a2d9774fb1e5d026380ae0168e3c5522d");
  EXPECT_EQ(digest("abc"), "afbd6e228b9d8cbbcef5ca2d03e6dba10ac0bc7dcbe4680e1e42d2e975459b65");
}

TEST(Checksums, Crc16ArcCheckValueAndTable) {
  std::string check = "123456789";
  EXPECT_EQ(Crc16Arc(U8(check), check.size()), 0xBB3D);
  EXPECT_EQ(Crc16Arc(nullptr, 0), 0);
  std::string data = RandomBytes(1000, 7);
  EXPECT_EQ(Crc16Arc(U8(data), data.size()), test::RefCrc16Arc(data));
  EXPECT_EQ(ComputeChecksum(ctCRC16, U8(data), data.size()), test::RefCrc16Arc(data));
}

TEST(Checksums, XorCoversWholeLittleEndianWordsOnly) {
  std::string seven = Unhex("01020304aabbcc");
  EXPECT_EQ(XorChecksum(U8(seven), 7), 0x04030201u);
  std::string eight = Unhex("0102030410203040");
  EXPECT_EQ(XorChecksum(U8(eight), 8), 0x04030201u ^ 0x40302010u);
  EXPECT_EQ(XorChecksum(nullptr, 0), 0u);
  EXPECT_EQ(XorChecksum(U8(seven), 3), 0u);
}

TEST(Checksums, UnknownTypeComputesZeroAndAlwaysVerifies) {
  std::string data = "some payload";
  EXPECT_EQ(ComputeChecksum(7, U8(data), data.size()), 0u);
  EXPECT_TRUE(VerifyChecksum(7, 0x12345678, U8(data), data.size()));
  EXPECT_TRUE(VerifyChecksum(ctXor, XorChecksum(U8(data), data.size()), U8(data), data.size()));
  EXPECT_FALSE(VerifyChecksum(ctXor, XorChecksum(U8(data), data.size()) ^ 1, U8(data), data.size()));
  EXPECT_FALSE(VerifyChecksum(ctCRC16, Crc16Arc(U8(data), data.size()) ^ 0x10000u, U8(data), data.size()));
}

TEST(PageCipher, MatchesBlockByBlockChainingForEveryShapeOfLength) {
  const std::string key = "correct horse";
  TPageCipher cipher(key);
  // Empty, partial only, one block, block + partial, the 100-byte question field (6 blocks + 4), a
  // 2016-byte page payload, and lengths around the batch size of the parallel decryption.
  for (size_t n : {0, 1, 15, 16, 17, 31, 100, 1024, 1029, 2016, 4096 + 48}) {
    std::string plain = RandomBytes(n, static_cast<unsigned>(n));
    std::string enc = Encrypt(cipher, plain);
    ASSERT_EQ(Hex(enc), Hex(RefEncrypt(key, plain))) << "length " << n;
    EXPECT_EQ(Hex(RefDecrypt(key, enc)), Hex(plain)) << "length " << n;
    EXPECT_EQ(Hex(Decrypt(cipher, enc)), Hex(plain)) << "length " << n;
    if (n >= 16) {
      EXPECT_NE(enc.substr(0, 16), plain.substr(0, 16));
    }
  }
}

TEST(PageCipher, EncryptManyEqualsOneByOne) {
  TPageCipher cipher(std::string_view("bulk"));
  for (size_t length : {100, 2016}) {
    for (size_t count : {1, 3, 8, 9, 17}) {
      std::vector<std::string> pages;
      std::vector<uint8_t*> ptrs;
      for (size_t i = 0; i < count; ++i)
        pages.push_back(RandomBytes(length, static_cast<unsigned>(i + 100 * count)));
      std::vector<std::string> expected;
      for (auto& p : pages) expected.push_back(Encrypt(cipher, p));
      for (auto& p : pages) ptrs.push_back(reinterpret_cast<uint8_t*>(p.data()));
      cipher.EncryptMany(ptrs.data(), count, length);
      for (size_t i = 0; i < count; ++i) EXPECT_EQ(pages[i], expected[i]) << count << " pages, page " << i;
    }
  }
}

TEST(PageCipher, XorChecksumsComeOutOfTheChainsAndGuardTheDecryption) {
  TPageCipher cipher(std::string_view("sums"));
  auto bytes = [](std::string& s) { return reinterpret_cast<uint8_t*>(s.data()); };
  // Lengths with and without a partial block (and whole words in it), and one longer than the
  // chain values kept on the stack.
  for (size_t length : {0, 4, 15, 16, 19, 100, 2016, 16 * 300 + 7}) {
    const std::string plain = RandomBytes(length, static_cast<unsigned>(length) + 5);
    const std::string enc = Encrypt(cipher, plain);
    std::string copy = enc;
    const uint32_t sum = XorChecksum(bytes(copy), length);
    for (size_t count : {1, 9}) {
      std::vector<std::string> pages(count, plain);
      std::vector<uint8_t*> ptrs;
      for (auto& p : pages) ptrs.push_back(bytes(p));
      std::vector<uint32_t> sums(count, 0xDEADBEEF);
      cipher.EncryptMany(ptrs.data(), count, length, sums.data());
      for (size_t i = 0; i < count; ++i) {
        EXPECT_EQ(pages[i], enc) << length;
        EXPECT_EQ(sums[i], sum) << length << " page " << i;
      }
    }
    std::string good = enc;
    EXPECT_TRUE(cipher.DecryptIfXorChecksum(bytes(good), length, sum)) << length;
    EXPECT_EQ(Hex(good), Hex(plain)) << length;
    std::string bad = enc;
    EXPECT_FALSE(cipher.DecryptIfXorChecksum(bytes(bad), length, sum ^ 0x100)) << length;
    EXPECT_EQ(bad, enc) << "a payload whose checksum fails is left as it was";
  }
}

TEST(PageCipher, EveryCallRestartsFromTheInitialChainingValue) {
  TPageCipher cipher(std::string_view("k"));
  std::string page = RandomBytes(2016, 1);
  std::string first = Encrypt(cipher, page);
  std::string second = Encrypt(cipher, page);
  EXPECT_EQ(first, second);
  // Equal plaintext blocks at different positions still encrypt differently (the chain moves on).
  std::string zeros(64, '\0');
  std::string z = Encrypt(cipher, zeros);
  EXPECT_NE(z.substr(0, 16), z.substr(16, 16));
  // A partial block alone is P ^ E(F0)[0..r): its bytes equal the first bytes of a zero block's key
  // stream XORed in.
  std::string one = Encrypt(cipher, std::string(1, '\0'));
  std::string three = Encrypt(cipher, std::string(3, '\0'));
  EXPECT_EQ(one[0], three[0]);
}

TEST(PageCipher, KeyIsTheHashOfEveryByteOfTheTextKey) {
  const std::string plain = RandomBytes(48, 3);
  std::string withZero("ab\0", 3);
  EXPECT_NE(Encrypt(TPageCipher(std::string_view("ab")), plain),
            Encrypt(TPageCipher(std::string_view(withZero)), plain));
  EXPECT_EQ(Encrypt(TPageCipher(std::string_view(withZero)), plain), RefEncrypt(withZero, plain));
  EXPECT_EQ(Encrypt(TPageCipher(std::string_view("")), plain), RefEncrypt("", plain));
}

TEST(ContainerKey, IsMasterKeyPlusZeroAndKeysItsCipherWithAll33Bytes) {
  std::string master = RandomBytes(32, 11);
  TContainerKey key = TContainerKey::FromMasterKey(U8(master));
  ASSERT_FALSE(key.Empty());
  std::string bytes = Bytes(key.Bytes(), TContainerKey::Size);
  EXPECT_EQ(bytes, master + std::string(1, '\0'));
  std::string plain = RandomBytes(2016, 12);
  EXPECT_EQ(Encrypt(key.Cipher(), plain), RefEncrypt(bytes, plain));
  TContainerKey copy = key;
  EXPECT_TRUE(copy == key);
  EXPECT_FALSE(TContainerKey() == key);
  EXPECT_TRUE(TContainerKey() == TContainerKey());
}

// The bytes of a record made around a known master key, field by field from the rules.
TEST(KeyRecord, BytesFollowTheLayoutWithRecoveryFields) {
  const std::string master = RandomBytes(32, 21);
  const std::string password = "Tr0ub4dor&3";
  const std::string question =
      std::string("What was the name of your first pet? ") + std::string(63, 'q');  // 100
  ASSERT_EQ(question.size(), 100u);
  const std::string answer = "Rex";
  TKeyRecord r = TKeyRecord::MakeWithMasterKey(password, question, answer, U8(master));
  std::string b = Bytes(r.Bytes(), TKeyRecord::Size);

  EXPECT_EQ(Hex(b.substr(0, 32)), Hex(RefEncrypt(password, master)));
  std::string padded = password + std::string(32 - password.size(), '\0');
  EXPECT_EQ(Hex(b.substr(32, 32)), Hex(RefEncrypt(answer, padded)));
  EXPECT_EQ(test::LE32(b, 64), test::RefCrc16Arc(master));
  EXPECT_EQ(test::LE32(b, 68), test::RefCrc16Arc(padded));
  EXPECT_EQ(Hex(b.substr(72, 100)), Hex(RefEncrypt("xGH;T,>!&R%*947km", question)));
  // The question field ends with a 4-byte partial block and decrypts back.
  EXPECT_EQ(RefDecrypt("xGH;T,>!&R%*947km", b.substr(72, 100)), question);
  EXPECT_TRUE(r.HasQuestion());

  // A short question is zero-padded to 100 bytes before encryption.
  TKeyRecord shortQ = TKeyRecord::MakeWithMasterKey(password, "Pet?", answer, U8(master));
  std::string sb = Bytes(shortQ.Bytes(), TKeyRecord::Size);
  EXPECT_EQ(Hex(sb.substr(72, 100)), Hex(RefEncrypt("xGH;T,>!&R%*947km", "Pet?" + std::string(96, '\0'))));
}

TEST(KeyRecord, RecoveryFieldsNeedBothQuestionAndAnswer) {
  const std::string master = RandomBytes(32, 22);
  for (auto [q, a] : {std::pair<std::string, std::string>{"", ""}, {"Pet?", ""}, {"", "Rex"}}) {
    std::string b = Bytes(TKeyRecord::MakeWithMasterKey("pw", q, a, U8(master)).Bytes(), TKeyRecord::Size);
    EXPECT_EQ(Hex(b.substr(0, 32)), Hex(RefEncrypt("pw", master)));
    EXPECT_EQ(test::LE32(b, 64), test::RefCrc16Arc(master));
    EXPECT_FALSE(TKeyRecord(U8(b)).HasQuestion());
    EXPECT_EQ(b.substr(32, 32), std::string(32, '\0'));
    EXPECT_EQ(test::LE32(b, 68), 0u);
    EXPECT_EQ(b.substr(72), std::string(100, '\0'));
  }
}

TEST(KeyRecord, OpenChecksThePasswordAndAlwaysFormsTheKey) {
  TContainerKey made;
  TKeyRecord r = TKeyRecord::Make("s3cret", "", "", &made);
  const TKeyRecord before = r;

  TContainerKey key;
  EXPECT_TRUE(r.Open("s3cret", key));
  EXPECT_TRUE(key == made);
  EXPECT_EQ(key.Bytes()[32], 0);

  TContainerKey wrong;
  EXPECT_FALSE(r.Open("s3creT", wrong));
  ASSERT_FALSE(wrong.Empty());  // a 33-byte key is formed anyway
  EXPECT_FALSE(wrong == made);
  EXPECT_TRUE(r == before);

  TContainerKey none = made;
  EXPECT_FALSE(r.Open("", none));
  EXPECT_TRUE(none.Empty());
  EXPECT_TRUE(r.CheckPassword("s3cret"));
  EXPECT_FALSE(r.CheckPassword("S3cret"));
}

TEST(KeyRecord, FreshRecordsDrawDifferentMasterKeys) {
  TContainerKey k1, k2;
  TKeyRecord r1 = TKeyRecord::Make("same", "", "", &k1);
  TKeyRecord r2 = TKeyRecord::Make("same", "", "", &k2);
  EXPECT_FALSE(k1 == k2);
  EXPECT_FALSE(r1 == r2);
  EXPECT_FALSE(r1.HasQuestion());
  EXPECT_FALSE(r1.IsZero());
}

TEST(KeyRecord, LengthLimits) {
  EXPECT_NO_THROW(TKeyRecord::Make(std::string(32, 'p'), std::string(100, 'q'), "a"));
  try {
    TKeyRecord::Make(std::string(33, 'p'), "", "");
    FAIL() << "33-character password accepted";
  } catch (const ESFSError& e) {
    EXPECT_STREQ(e.what(), "Password length should be shorter then 32");
  }
  try {
    TKeyRecord::Make("p", std::string(101, 'q'), "a");
    FAIL() << "101-character question accepted";
  } catch (const ESFSError& e) {
    EXPECT_STREQ(e.what(), "Question length should be shorter then 100");
  }
}

}  // namespace
}  // namespace quillmar
