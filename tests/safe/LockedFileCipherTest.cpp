#include <cryptopp/blowfish.h>
#include <cryptopp/modes.h>
#include <cryptopp/sha.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "base/Exception.h"
#include "base/MemoryStream.h"
#include "safe/LockedFileCipher.h"
#include "support/ProcessThreads.h"
#include "support/ScopedEnv.h"

namespace quillmar {
namespace {

using Dir = TLockedFileChain::TDirection;

std::string FromHex(const std::string& hex) {
  std::string out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2)
    out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  return out;
}

const uint8_t* U(const std::string& s) {
  return reinterpret_cast<const uint8_t*>(s.data());
}

std::string Bytes(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>(rng());
  return s;
}

// The locked-file format computed here block by block from the Blowfish primitive alone.
std::string Reference(const std::string& plain, const std::string& password) {
  std::string key(20, '\0');
  CryptoPP::SHA1().CalculateDigest(reinterpret_cast<CryptoPP::byte*>(key.data()), U(password),
                                   password.size());
  CryptoPP::Blowfish::Encryption bf(U(key), key.size());
  uint8_t chain[8] = {0};
  bf.ProcessBlock(chain);
  std::string out = plain;
  size_t i = 0;
  for (; i + 8 <= plain.size(); i += 8) {
    for (int j = 0; j < 8; ++j) chain[j] ^= static_cast<uint8_t>(plain[i + j]);
    bf.ProcessBlock(chain);
    std::memcpy(out.data() + i, chain, 8);
  }
  if (i < plain.size()) {
    bf.ProcessBlock(chain);
    for (size_t j = 0; i + j < plain.size(); ++j) out[i + j] = static_cast<char>(plain[i + j] ^ chain[j]);
  }
  return out;
}

std::string Transform(void (*op)(TStream&, TStream&, std::string_view, const TCipherProgress&, size_t),
                      const std::string& in, const std::string& password,
                      size_t piece = TLockedFileCipher::kPieceSize) {
  TMemoryStream src(in), dst;
  op(src, dst, password, {}, piece);
  return dst.ToString();
}

// A source that hands out at most a few bytes per Read, and remembers the largest request.
class TDribbleStream : public TMemoryStream {
public:
  using TMemoryStream::TMemoryStream;
  int64_t Read(void* buffer, int64_t count) override {
    maxRequest = std::max(maxRequest, count);
    return TMemoryStream::Read(buffer, std::min<int64_t>(count, 1 + (calls++ % 13)));
  }
  int64_t maxRequest = 0;
  int calls = 0;
};

// A sink that keeps nothing but a running digest of what it is given, and the largest write.
class TDigestSink : public TStream {
public:
  int64_t Read(void*, int64_t) override { return 0; }
  int64_t Write(const void* buffer, int64_t count) override {
    sha.Update(static_cast<const CryptoPP::byte*>(buffer), static_cast<size_t>(count));
    maxWrite = std::max(maxWrite, count);
    size += count;
    return count;
  }
  int64_t Seek(int64_t, TSeekOrigin) override { return size; }
  int64_t Size() override { return size; }
  void SetSize(int64_t) override {}
  std::string Digest() {
    std::string d(20, '\0');
    sha.Final(reinterpret_cast<CryptoPP::byte*>(d.data()));
    return d;
  }
  CryptoPP::SHA1 sha;
  int64_t maxWrite = 0, size = 0;
};

// A source of n pseudo-random bytes generated on the fly.
class TGeneratedSource : public TStream {
public:
  explicit TGeneratedSource(int64_t n) : n_(n) {}
  int64_t Read(void* buffer, int64_t count) override {
    int64_t k = std::min(count, n_ - pos_);
    auto* b = static_cast<uint8_t*>(buffer);
    for (int64_t i = 0; i < k; ++i) b[i] = static_cast<uint8_t>((pos_ + i) * 2654435761u >> 13);
    pos_ += k;
    return k;
  }
  int64_t Write(const void*, int64_t) override { return 0; }
  int64_t Seek(int64_t off, TSeekOrigin o) override {
    return pos_ = (o == TSeekOrigin::Begin ? 0 : pos_) + off;
  }
  int64_t Size() override { return n_; }
  void SetSize(int64_t) override {}

private:
  int64_t n_, pos_ = 0;
};

class TFailingSink : public TMemoryStream {
public:
  int64_t Write(const void* buffer, int64_t count) override {
    if (Size() + count > 20000) return 0;  // the disk is full
    return TMemoryStream::Write(buffer, count);
  }
};

TEST(LockedFileCipher, PrimitivesMatchPublishedKnownAnswers) {
  auto sha1 = [](const std::string& m) {
    std::string d(20, '\0');
    CryptoPP::SHA1().CalculateDigest(reinterpret_cast<CryptoPP::byte*>(d.data()), U(m), m.size());
    return d;
  };
  EXPECT_EQ(sha1("abc"), FromHex("a9993e364706816aba3e25717850c26c9cd0d89d"));
  EXPECT_EQ(sha1(""), FromHex("da39a3ee5e6b4b0d3255bfef95601890afd80709"));
  EXPECT_EQ(sha1("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
            FromHex("84983e441c3bd26ebaae4aa1f95129e5e54670f1"));

  auto bf = [](const std::string& key, const std::string& plain) {
    CryptoPP::Blowfish::Encryption e(U(key), key.size());
    std::string out = plain;
    e.ProcessBlock(reinterpret_cast<CryptoPP::byte*>(out.data()));
    return out;
  };
  EXPECT_EQ(bf(FromHex("0000000000000000"), FromHex("0000000000000000")), FromHex("4EF997456198DD78"));
  EXPECT_EQ(bf(FromHex("FFFFFFFFFFFFFFFF"), FromHex("FFFFFFFFFFFFFFFF")), FromHex("51866FD5B85ECB8A"));
  // Variable key length vectors: 16 and 20 bytes (a 160-bit key is what a SHA-1 digest gives).
  const std::string longKey = FromHex("F0E1D2C3B4A5968778695A4B3C2D1E0F0011223344556677");
  EXPECT_EQ(bf(longKey.substr(0, 16), FromHex("FEDCBA9876543210")), FromHex("93142887EE3BE15C"));
  EXPECT_EQ(bf(longKey.substr(0, 20), FromHex("FEDCBA9876543210")), FromHex("10851C0E3858DA9F"));
}

TEST(LockedFileCipher, ChainingMatchesThePublishedBlowfishCbcVector) {
  const std::string key = FromHex("0123456789ABCDEFF0E1D2C3B4A59687");
  const std::string iv = FromHex("FEDCBA9876543210");
  const std::string plain = FromHex("37363534333231204E6F77206973207468652074696D6520666F722000000000");
  const std::string cipher = FromHex("6B77B4D63006DEE605B156E27403979358DEB9E7154616D959F1652BD5FF92CC");
  std::string out(plain.size(), '\0');
  TLockedFileChain enc(U(key), key.size(), U(iv), Dir::Encrypt);
  enc.Process(U(plain), reinterpret_cast<uint8_t*>(out.data()), 16, false);  // two calls: one chain
  enc.Process(U(plain) + 16, reinterpret_cast<uint8_t*>(out.data()) + 16, 16, true);
  EXPECT_EQ(out, cipher);
  TLockedFileChain dec(U(key), key.size(), U(iv), Dir::Decrypt);
  dec.Process(U(out), reinterpret_cast<uint8_t*>(out.data()), out.size(), true);  // in place
  EXPECT_EQ(out, plain);
}

TEST(LockedFileCipher, MatchesBlockByBlockComputationAndRoundTrips) {
  for (size_t n : {0, 1, 7, 8, 9, 15, 16, 8191, 8192, 8193, 20003}) {
    const std::string plain = Bytes(n, static_cast<uint32_t>(n) + 1);
    const std::string locked = Transform(&TLockedFileCipher::Encrypt, plain, "mivotra7");
    ASSERT_EQ(locked.size(), n);
    EXPECT_EQ(locked, Reference(plain, "mivotra7")) << n;
    EXPECT_EQ(Transform(&TLockedFileCipher::Decrypt, locked, "mivotra7"), plain) << n;
  }
}

TEST(LockedFileCipher, FullBlocksAreStandardCbcWithTheEncryptedZeroBlockAsIv) {
  const std::string password = "S3cret \xE4\xF6\xFC";  // 8-bit text is hashed byte for byte
  std::string key(20, '\0');
  CryptoPP::SHA1().CalculateDigest(reinterpret_cast<CryptoPP::byte*>(key.data()), U(password),
                                   password.size());
  CryptoPP::byte iv[8] = {0};
  CryptoPP::Blowfish::Encryption(U(key), key.size()).ProcessBlock(iv);
  const std::string plain = Bytes(4096, 9);
  std::string expected(plain.size(), '\0');
  CryptoPP::CBC_Mode<CryptoPP::Blowfish>::Encryption cbc(U(key), key.size(), iv);
  cbc.ProcessData(reinterpret_cast<CryptoPP::byte*>(expected.data()), U(plain), plain.size());
  EXPECT_EQ(Transform(&TLockedFileCipher::Encrypt, plain, password), expected);
}

TEST(LockedFileCipher, ResultDoesNotDependOnPieceSizeOrShortReads) {
  const std::string plain = Bytes(30011, 5);
  const std::string expected = Reference(plain, "pw");
  for (size_t piece : {8, 16, 24, 1000, 8192, 65536}) {
    EXPECT_EQ(Transform(&TLockedFileCipher::Encrypt, plain, "pw", piece), expected) << piece;
    EXPECT_EQ(Transform(&TLockedFileCipher::Decrypt, expected, "pw", piece), plain) << piece;
  }
  TDribbleStream src(plain);
  TMemoryStream dst;
  TLockedFileCipher::Encrypt(src, dst, "pw");
  EXPECT_EQ(dst.ToString(), expected);
}

TEST(LockedFileCipher, WorksFromTheSourcePositionToTheDestinationPosition) {
  const std::string plain = Bytes(100, 3);
  TMemoryStream src("HEADER" + plain), dst("keep");
  src.SetPosition(6);
  dst.SetPosition(4);
  TLockedFileCipher::Encrypt(src, dst, "pw");
  EXPECT_EQ(dst.ToString(), "keep" + Reference(plain, "pw"));
}

TEST(LockedFileCipher, WrongOrOtherPasswordDoesNotGiveThePlainText) {
  const std::string plain = Bytes(64, 11);
  const std::string a = Transform(&TLockedFileCipher::Encrypt, plain, "one");
  const std::string b = Transform(&TLockedFileCipher::Encrypt, plain, "two");
  EXPECT_NE(a, b);
  EXPECT_NE(a, plain);
  EXPECT_NE(Transform(&TLockedFileCipher::Decrypt, a, "two"), plain);
  EXPECT_EQ(Transform(&TLockedFileCipher::Encrypt, plain, ""), Reference(plain, ""));
}

TEST(LockedFileCipher, RekeyEqualsEncryptingThePlainTextUnderTheNewPassword) {
  for (size_t n : {0, 5, 8, 8193, 17000}) {
    const std::string plain = Bytes(n, 77);
    TMemoryStream src(Reference(plain, "mivotra7")), dst;
    TLockedFileCipher::Rekey(src, dst, "mivotra7", "n3w pass", {}, 24);
    EXPECT_EQ(dst.ToString(), Reference(plain, "n3w pass")) << n;
    EXPECT_EQ(Transform(&TLockedFileCipher::Decrypt, dst.ToString(), "n3w pass"), plain);
  }
}

TEST(LockedFileCipher, ProgressIsWholePercentRisingToOneHundred) {
  std::vector<int> seen;
  TMemoryStream src(Bytes(81920, 1)), dst;
  TLockedFileCipher::Encrypt(src, dst, "pw", [&](int p) { seen.push_back(p); });
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen.back(), 100);
  EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
  EXPECT_EQ(std::adjacent_find(seen.begin(), seen.end()), seen.end());  // each value once
  EXPECT_EQ(seen.size(), 10u);                                          // ten pieces of 8192: 10, 20, ... 100

  seen.clear();
  TMemoryStream empty, out;
  TLockedFileCipher::Decrypt(empty, out, "pw", [&](int p) { seen.push_back(p); });
  EXPECT_EQ(seen, std::vector<int>{100});
}

TEST(LockedFileCipher, MemoryStaysBoundedForLargeFiles) {
  // 8 MiB pass through without the file ever being in memory: reads and writes are piece sized,
  // and the result is checked against a digest of the same bytes encrypted in memory-sized chunks.
  const int64_t n = 8 * 1024 * 1024 + 3;
  TGeneratedSource src(n);
  TDigestSink sink;
  TLockedFileCipher::Encrypt(src, sink, "big");
  EXPECT_EQ(sink.size, n);
  EXPECT_LE(sink.maxWrite, static_cast<int64_t>(TLockedFileCipher::kPieceSize));

  TGeneratedSource again(n);
  TDigestSink sink2;
  TLockedFileChain chain("big", Dir::Encrypt);
  std::vector<uint8_t> buf(1 << 20);
  for (int64_t left = n; left > 0;) {
    size_t k = static_cast<size_t>(std::min<int64_t>(left, static_cast<int64_t>(buf.size())));
    again.Read(buf.data(), static_cast<int64_t>(k));
    chain.Process(buf.data(), buf.data(), k, left == static_cast<int64_t>(k));
    sink2.Write(buf.data(), static_cast<int64_t>(k));
    left -= static_cast<int64_t>(k);
  }
  EXPECT_EQ(sink.Digest(), sink2.Digest());
}

TEST(LockedFileCipher, MisuseAndFailuresAreReported) {
  TMemoryStream src(Bytes(100, 1)), dst;
  EXPECT_THROW(TLockedFileCipher::Encrypt(src, dst, "pw", {}, 0), std::logic_error);
  EXPECT_THROW(TLockedFileCipher::Encrypt(src, dst, "pw", {}, 12), std::logic_error);

  TLockedFileChain chain("pw", Dir::Encrypt);
  uint8_t buf[16] = {0};
  EXPECT_THROW(chain.Process(buf, buf, 7, false), std::logic_error);
  chain.Process(buf, buf, 7, true);
  EXPECT_TRUE(chain.Finished());
  EXPECT_THROW(chain.Process(buf, buf, 8, true), std::logic_error);

  TMemoryStream big(Bytes(50000, 2));
  TFailingSink full;
  EXPECT_THROW(TLockedFileCipher::Encrypt(big, full, "pw"), EStreamError);
}

// --- Several threads ------------------------------------------------------------------------------

using TOp = void (*)(TStream&, TStream&, std::string_view, const TCipherProgress&, size_t);

std::string WithThreads(const char* threads, TOp op, const std::string& in, const std::string& password,
                        size_t piece = TLockedFileCipher::kPieceSize) {
  test::TScopedEnv env("QM_THREADS", threads);
  return Transform(op, in, password, piece);
}

std::string RekeyWith(const char* threads, const std::string& locked,
                      size_t piece = TLockedFileCipher::kPieceSize) {
  test::TScopedEnv env("QM_THREADS", threads);
  TMemoryStream src(locked), dst;
  TLockedFileCipher::Rekey(src, dst, "old pw", "new pw", {}, piece);
  return dst.ToString();
}

TEST(LockedFileCipherThreads, EveryPathWritesTheOneThreadBytesAtTheBoundaries) {
  const size_t batch = TLockedFileCipher::kBatchSize;
  for (size_t n : {size_t(0), size_t(1), size_t(7), size_t(8), size_t(2016), size_t(2017), batch - 1, batch,
                   batch + 1, 3 * batch + 5}) {
    SCOPED_TRACE(n);
    const std::string plain = Bytes(n, static_cast<uint32_t>(n) + 3);
    const std::string one = WithThreads("1", &TLockedFileCipher::Encrypt, plain, "old pw");
    ASSERT_TRUE(one == Reference(plain, "old pw"));
    for (const char* threads : {"2", "3"}) {
      EXPECT_TRUE(WithThreads(threads, &TLockedFileCipher::Encrypt, plain, "old pw") == one) << threads;
      EXPECT_TRUE(WithThreads(threads, &TLockedFileCipher::Decrypt, one, "old pw") == plain) << threads;
      EXPECT_TRUE(RekeyWith(threads, one) == Reference(plain, "new pw")) << threads;
    }
    // Written by the threads, read by one, and the other way round.
    const std::string two = WithThreads("2", &TLockedFileCipher::Encrypt, plain, "old pw");
    EXPECT_TRUE(WithThreads("1", &TLockedFileCipher::Decrypt, two, "old pw") == plain);
    EXPECT_TRUE(WithThreads("2", &TLockedFileCipher::Decrypt, one, "old pw") == plain);
  }
  // Small pieces make many pieces per batch, and a piece size that does not divide the batch.
  const std::string plain = Bytes(2 * batch + 99, 8);
  for (size_t piece : {size_t(8), size_t(24), size_t(1) << 20}) {
    const std::string locked = WithThreads("2", &TLockedFileCipher::Encrypt, plain, "old pw", piece);
    EXPECT_TRUE(locked == Reference(plain, "old pw")) << piece;
    EXPECT_TRUE(WithThreads("2", &TLockedFileCipher::Decrypt, locked, "old pw", piece) == plain) << piece;
    EXPECT_TRUE(RekeyWith("2", locked, piece) == Reference(plain, "new pw")) << piece;
  }
}

TEST(LockedFileCipherThreads, SixtyFourMiBPlusThreeLockAndUnlockAsOnOneThread) {
  const int64_t n = (int64_t(64) << 20) + 3;
  auto encryptDigest = [&](const char* threads, TMemoryStream* keep) {
    test::TScopedEnv env("QM_THREADS", threads);
    TGeneratedSource src(n);
    if (keep) {
      TLockedFileCipher::Encrypt(src, *keep, "big");
      return std::string();
    }
    TDigestSink sink;
    TLockedFileCipher::Encrypt(src, sink, "big");
    return sink.Digest();
  };
  TMemoryStream locked;
  encryptDigest("2", &locked);
  TDigestSink lockedDigest;
  lockedDigest.Write(locked.Data(), locked.Size());
  EXPECT_EQ(lockedDigest.Digest(), encryptDigest("1", nullptr));

  test::TScopedEnv env("QM_THREADS", "2");
  locked.SetPosition(0);
  TDigestSink unlocked, plain;
  TLockedFileCipher::Decrypt(locked, unlocked, "big");
  TGeneratedSource src(n);
  plain.CopyFrom(src);
  EXPECT_EQ(unlocked.size, n);
  EXPECT_EQ(unlocked.Digest(), plain.Digest());
}

// A source that fails at a given offset: it ends there (a damaged page), or throws.
class TBrokenSource : public TMemoryStream {
public:
  TBrokenSource(const std::string& bytes, int64_t failAt, bool throws)
      : TMemoryStream(bytes), failAt_(failAt), throws_(throws) {}
  int64_t Read(void* buffer, int64_t count) override {
    const int64_t left = failAt_ - Position();
    if (left <= 0) {
      if (throws_) throw EStreamError("the device failed");
      return 0;
    }
    return TMemoryStream::Read(buffer, std::min(count, left));
  }

private:
  int64_t failAt_;
  bool throws_;
};

TEST(LockedFileCipherThreads, AReadErrorOrACancelAnywhereStopsEveryPathCleanly) {
  test::TScopedEnv env("QM_THREADS", "2");
  const std::string plain = Bytes(5 * TLockedFileCipher::kBatchSize + 11, 21);
  const int before = test::ProcessThreads();
  std::mt19937 rng(5);
  const std::vector<std::function<void(TStream&, TStream&, const TCipherProgress&)>> paths = {
      [](TStream& s, TStream& d, const TCipherProgress& p) { TLockedFileCipher::Encrypt(s, d, "pw", p); },
      [](TStream& s, TStream& d, const TCipherProgress& p) { TLockedFileCipher::Decrypt(s, d, "pw", p); },
      [](TStream& s, TStream& d, const TCipherProgress& p) {
        TLockedFileCipher::Rekey(s, d, "pw", "pw2", p);
      }};
  for (size_t path = 0; path < paths.size(); ++path) {
    for (int round = 0; round < 4; ++round) {
      SCOPED_TRACE(std::to_string(path) + "/" + std::to_string(round));
      const int64_t at = int64_t(rng() % plain.size());
      // The source ends early: the offset of the first byte it did not deliver comes out.
      {
        TBrokenSource src(plain, at, false);
        TMemoryStream dst;
        try {
          paths[path](src, dst, {});
          ADD_FAILURE() << "a short source went unnoticed";
        } catch (const EUnreadableData& e) {
          EXPECT_EQ(e.Offset(), at);
        }
        EXPECT_LE(dst.Size(), at);
      }
      // The source throws.
      {
        TBrokenSource src(plain, at, true);
        TMemoryStream dst;
        EXPECT_THROW(paths[path](src, dst, {}), EStreamError);
      }
      // A cancel from the progress callback, which runs on the calling thread.
      {
        const int stopAt = int(rng() % 100);
        TMemoryStream src(plain), dst;
        const auto caller = std::this_thread::get_id();
        struct TCancel {};
        EXPECT_THROW(paths[path](src, dst,
                                 [&](int percent) {
                                   EXPECT_EQ(std::this_thread::get_id(), caller);
                                   if (percent >= stopAt) throw TCancel{};
                                 }),
                     TCancel);
      }
      // The destination refuses to take more.
      {
        TMemoryStream src(plain);
        TFailingSink full;
        EXPECT_THROW(paths[path](src, full, {}), EStreamError);
      }
      EXPECT_EQ(test::ProcessThreads(), before);
    }
  }
}

}  // namespace
}  // namespace quillmar
