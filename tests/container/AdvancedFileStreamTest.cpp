#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "base/MemoryStream.h"
#include "container/Checksum.h"
#include "container/Compression.h"
#include "container/SFSAdvancedFileStream.h"
#include "container/SFSError.h"

namespace quillmar {
namespace {

uint32_t U32(const std::string& s, size_t at) {
  auto p = reinterpret_cast<const unsigned char*>(s.data() + at);
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

std::string Bytes(TSFSAdvancedFileStream& s) {
  return static_cast<TMemoryStream&>(s.Underlying()).ToString();
}

std::unique_ptr<TSFSAdvancedFileStream> Reopen(const std::string& bytes, int method = 0) {
  return std::make_unique<TSFSAdvancedFileStream>(std::make_unique<TMemoryStream>(bytes), method, false);
}

std::string ReadAll(TSFSAdvancedFileStream& s) {
  std::string out(size_t(s.Size()), '\0');
  s.SetPosition(0);
  EXPECT_EQ(s.Read(out.data(), int64_t(out.size())), int64_t(out.size()));
  return out;
}

std::string Random(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  std::string s(n, '\0');
  for (auto& c : s) c = char(rng());
  return s;
}

// A compressed file with a tiny block size (the size is read from the header), so that tests can
// cross many block boundaries quickly.
std::string SmallBlockHeader(uint32_t blockSize, int method) {
  std::string h(128, '\0');
  std::memcpy(h.data(), "AACS", 4);
  h[4] = char(blockSize & 0xFF);
  h[5] = char(blockSize >> 8);
  h[16 + 3] = 0x40;
  h[20] = char(method);
  return h;
}

TEST(AdvancedFileStream, CreatesTheHeaderByteForByte) {
  TSFSAdvancedFileStream s(std::make_unique<TMemoryStream>(std::string(300, 'x')), 1, true);
  std::string b = Bytes(s);
  ASSERT_EQ(b.size(), 128u);
  EXPECT_EQ(b.substr(0, 4), "AACS");
  EXPECT_EQ(U32(b, 4), 524288u);
  EXPECT_EQ(U32(b, 8), 0u);
  EXPECT_EQ(U32(b, 12), 0u);
  EXPECT_EQ(U32(b, 16), 0x40000000u);
  EXPECT_EQ(uint8_t(b[20]), 1);
  EXPECT_EQ(b.substr(21, 2), std::string(2, '\0'));
  EXPECT_EQ(U32(b, 23), 0u);
  EXPECT_EQ(b.substr(27), std::string(101, '\0'));
  EXPECT_EQ(s.Size(), 0);
}

TEST(AdvancedFileStream, BlockChainIsLaidOutAsDocumented) {
  TSFSAdvancedFileStream s(std::make_unique<TMemoryStream>(), 1, true);
  std::string data = std::string(524288, 'a') + std::string(1000, 'b');
  ASSERT_EQ(s.Write(data.data(), int64_t(data.size())), int64_t(data.size()));
  std::string b = Bytes(s);
  EXPECT_EQ(U32(b, 12), 2u);
  // Block 0 at 128: stored, size B, CRC of its bytes, next = 128 + 16 + stored.
  uint32_t stored0 = U32(b, 128);
  EXPECT_EQ(U32(b, 132), 524288u);
  EXPECT_EQ(U32(b, 136), Crc16Arc(reinterpret_cast<const uint8_t*>(data.data()), 524288));
  EXPECT_EQ(U32(b, 140), 128 + 16 + stored0);
  // The stored bytes are one complete zlib stream of the block.
  std::string packed = b.substr(144, stored0), plain;
  ASSERT_TRUE(DecompressBlock(1, packed, 524288, plain));
  EXPECT_EQ(plain, data.substr(0, 524288));
  size_t p1 = 128 + 16 + stored0;
  uint32_t stored1 = U32(b, p1);
  EXPECT_EQ(U32(b, p1 + 4), 1000u);
  EXPECT_EQ(U32(b, p1 + 12), p1 + 16 + stored1);
  EXPECT_EQ(b.size(), p1 + 16 + stored1);

  auto r = Reopen(b);
  EXPECT_EQ(r->Method(), 1);
  EXPECT_EQ(r->Size(), int64_t(data.size()));
  EXPECT_EQ(ReadAll(*r), data);
  EXPECT_GT(r->CompressionRate(), 90.0);
}

TEST(AdvancedFileStream, PlainFilesStayPlainWhateverTheDefaultMethod) {
  auto s = Reopen("not a compressed file, just text", 5);
  EXPECT_FALSE(s->IsCompressed());
  EXPECT_EQ(ReadAll(*s), "not a compressed file, just text");
  // Long enough but without the magic: still plain.
  std::string other = "AACX" + std::string(200, 'z');
  EXPECT_FALSE(Reopen(other, 1)->IsCompressed());
}

TEST(AdvancedFileStream, UnsupportedMethodsFailAtCreation) {
  for (int m : {3, 4, 6, 10, 255}) {
    EXPECT_THROW(TSFSAdvancedFileStream(std::make_unique<TMemoryStream>(), m, true), ESFSError) << m;
  }
}

TEST(AdvancedFileStream, EverySupportedCoderRoundTrips) {
  std::string data = Random(3000, 1) + std::string(600000, 'q') + "tail";
  for (int m : {1, 2, 5, 7, 8, 9}) {
    TSFSAdvancedFileStream s(std::make_unique<TMemoryStream>(), m, true);
    ASSERT_EQ(s.Write(data.data(), int64_t(data.size())), int64_t(data.size())) << m;
    auto r = Reopen(Bytes(s));
    EXPECT_EQ(r->Method(), m);
    EXPECT_EQ(ReadAll(*r), data) << m;
  }
}

TEST(AdvancedFileStream, DamageIsReportedWithTheRightMessage) {
  TSFSAdvancedFileStream s(std::make_unique<TMemoryStream>(), 1, true);
  s.Write("hello hello hello", 17);
  std::string b = Bytes(s);

  std::string badCrc = b;
  badCrc[136] ^= 1;
  auto r1 = Reopen(badCrc);
  char buf[32];
  try {
    r1->Read(buf, 5);
    FAIL() << "no error";
  } catch (const ESFSError& e) {
    EXPECT_STREQ(e.what(), "TSFSAdvancedFileStream.LoadBlock - decompression crc error.");
  }

  std::string badSize = b;
  badSize[132] = 16;  // claims 16 uncompressed bytes instead of 17
  auto r2 = Reopen(badSize);
  try {
    r2->Read(buf, 5);
    FAIL() << "no error";
  } catch (const ESFSError& e) {
    EXPECT_STREQ(e.what(), "TSFSAdvancedFileStream.LoadBlock - decompression error, invalid size.");
  }

  std::string badData = b;
  badData[144] ^= 0x55;  // zlib header byte
  auto r3 = Reopen(badData);
  try {
    r3->Read(buf, 5);
    FAIL() << "no error";
  } catch (const ESFSError& e) {
    EXPECT_STREQ(e.what(), "TSFSAdvancedFileStream.LoadBlock - decompression error.");
  }
}

TEST(AdvancedFileStream, ShortTailIsCutOnOpen) {
  std::string data = Random(100, 2) + std::string(2000, 'k');
  std::string bytes = SmallBlockHeader(512, 1);
  {
    TSFSAdvancedFileStream s(std::make_unique<TMemoryStream>(bytes), 0, false);
    ASSERT_TRUE(s.IsCompressed());
    s.Write(data.data(), int64_t(data.size()));
    bytes = Bytes(s);
  }
  ASSERT_EQ(U32(bytes, 12), 5u);
  // Chop the file inside the last block's data: that block is dropped, the others stay readable.
  std::string cut = bytes.substr(0, bytes.size() - 3);
  auto r = Reopen(cut);
  EXPECT_EQ(r->Size(), 4 * 512);
  EXPECT_EQ(ReadAll(*r), data.substr(0, 2048));
  std::string repaired = Bytes(*r);
  EXPECT_EQ(U32(repaired, 12), 4u);
  EXPECT_EQ(Reopen(repaired)->Size(), 2048);
}

TEST(AdvancedFileStream, HostileHeadersDoNotAllocateOrLoop) {
  std::string h = SmallBlockHeader(512, 1);
  h[12] = char(0xFF);  // 2^32-1 blocks claimed, none present
  h[13] = char(0xFF);
  h[14] = char(0xFF);
  h[15] = char(0xFF);
  EXPECT_EQ(Reopen(h)->Size(), 0);
  std::string huge = SmallBlockHeader(0, 1);
  huge[7] = 0x7F;  // block size near 2 GiB
  EXPECT_THROW(Reopen(huge), ESFSError);
}

TEST(AdvancedFileStream, RandomWritesAndResizesMatchAPlainModel) {
  std::mt19937 rng(7);
  for (int method : {1, 7}) {
    std::string model;
    std::string bytes = SmallBlockHeader(256, method);
    for (int round = 0; round < 200; ++round) {
      auto s = Reopen(bytes);
      ASSERT_EQ(s->Size(), int64_t(model.size()));
      int op = int(rng() % 4);
      if (op < 2) {
        size_t pos = rng() % (model.size() + 600);
        size_t n = 1 + rng() % 900;
        // Incompressible data makes rewritten blocks grow and forces the following ones to move.
        std::string chunk = (rng() % 2) ? Random(n, rng()) : std::string(n, char('a' + rng() % 26));
        s->SetPosition(int64_t(pos));
        ASSERT_EQ(s->Write(chunk.data(), int64_t(n)), int64_t(n));
        if (pos > model.size()) model.resize(pos, '\0');
        if (pos + n > model.size()) model.resize(pos + n);
        model.replace(pos, n, chunk);
      } else if (op == 2) {
        size_t n = rng() % (model.size() + 300);
        s->SetSize(int64_t(n));
        model.resize(n, '\0');
      } else {
        if (model.empty()) continue;
        size_t pos = rng() % model.size();
        size_t n = 1 + rng() % 700;
        std::string got(n, '\0');
        s->SetPosition(int64_t(pos));
        int64_t r = s->Read(got.data(), int64_t(n));
        ASSERT_EQ(r, int64_t(std::min(n, model.size() - pos)));
        got.resize(size_t(r));
        ASSERT_EQ(got, model.substr(pos, size_t(r)));
      }
      ASSERT_EQ(s->Size(), int64_t(model.size())) << "op " << op << " round " << round;
      bytes = Bytes(*s);
      ASSERT_EQ(Reopen(bytes)->Size(), int64_t(model.size()))
          << "reopen after op " << op << " round " << round;
    }
    auto s = Reopen(bytes);
    EXPECT_EQ(ReadAll(*s), model) << method;
  }
}

}  // namespace
}  // namespace quillmar
