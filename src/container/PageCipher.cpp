#include "container/PageCipher.h"

#include <cryptopp/misc.h>
#include <cryptopp/ripemd.h>

#include <algorithm>
#include <cstring>

#include "base/LittleEndian.h"

namespace quillmar {

namespace {

// Chaining values of this many blocks are prepared at once for the parallel decryption.
constexpr size_t kDecryptBatchBlocks = 64;

inline void XorBlock(uint8_t* a, const uint8_t* b) {
  uint64_t x[2], y[2];
  std::memcpy(x, a, 16);
  std::memcpy(y, b, 16);
  x[0] ^= y[0];
  x[1] ^= y[1];
  std::memcpy(a, x, 16);
}

}  // namespace

TPageCipher::TPageCipher(const uint8_t* textKey, size_t length) {
  CryptoPP::FixedSizeSecBlock<uint8_t, CryptoPP::RIPEMD256::DIGESTSIZE> digest;
  CryptoPP::RIPEMD256 hash;
  hash.CalculateDigest(digest, length ? textKey : nullptr, length);
  enc_.SetKey(digest, digest.size());
  dec_.SetKey(digest, digest.size());
  uint8_t ones[BlockSize];
  std::memset(ones, 0xFF, sizeof ones);
  enc_.ProcessBlock(ones, f0_);
}

void TPageCipher::CryptPartial(const uint8_t* chain, uint8_t* data, size_t r) const {
  CryptoPP::FixedSizeSecBlock<uint8_t, BlockSize> s;
  enc_.ProcessBlock(chain, s);
  for (size_t i = 0; i < r; ++i) data[i] ^= s[i];
}

void TPageCipher::Encrypt(uint8_t* data, size_t length) const {
  CryptoPP::FixedSizeSecBlock<uint8_t, BlockSize> f;
  std::memcpy(f, f0_, BlockSize);
  const size_t blocks = length / BlockSize;
  for (size_t i = 0; i < blocks; ++i) {
    uint8_t* block = data + i * BlockSize;
    // C = E(P ^ F), then F ^= C. The chain is inherently serial.
    XorBlock(block, f);
    enc_.ProcessBlock(block);
    XorBlock(f, block);
  }
  if (const size_t r = length % BlockSize) CryptPartial(f, data + blocks * BlockSize, r);
}

uint32_t TPageCipher::XorChecksumFromChain(const uint8_t* chain, const uint8_t* data, size_t length) const {
  uint8_t x[BlockSize];
  std::memcpy(x, chain, BlockSize);
  XorBlock(x, f0_);
  uint32_t sum =
      GetLE<uint32_t>(x) ^ GetLE<uint32_t>(x + 4) ^ GetLE<uint32_t>(x + 8) ^ GetLE<uint32_t>(x + 12);
  // Whole words of a trailing partial block count too.
  for (size_t at = length / BlockSize * BlockSize; at + 4 <= length; at += 4)
    sum ^= GetLE<uint32_t>(data + at);
  return sum;
}

void TPageCipher::EncryptMany(uint8_t* const* buffers, size_t count, size_t length,
                              uint32_t* xorChecksums) const {
  constexpr size_t kLanes = 8;
  CryptoPP::FixedSizeSecBlock<uint8_t, BlockSize * kLanes> f, work;
  for (size_t first = 0; first < count; first += kLanes) {
    const size_t lanes = std::min(kLanes, count - first);
    uint8_t* const* buf = buffers + first;
    for (size_t j = 0; j < lanes; ++j) std::memcpy(f + j * BlockSize, f0_, BlockSize);
    const size_t blocks = length / BlockSize;
    for (size_t i = 0; i < blocks; ++i) {
      const size_t off = i * BlockSize;
      for (size_t j = 0; j < lanes; ++j) {
        uint8_t* w = work + j * BlockSize;
        std::memcpy(w, buf[j] + off, BlockSize);
        XorBlock(w, f + j * BlockSize);
      }
      enc_.AdvancedProcessBlocks(work, nullptr, work, lanes * BlockSize,
                                 CryptoPP::BlockTransformation::BT_AllowParallel);
      for (size_t j = 0; j < lanes; ++j) {
        const uint8_t* c = work + j * BlockSize;
        std::memcpy(buf[j] + off, c, BlockSize);
        XorBlock(f + j * BlockSize, c);
      }
    }
    if (const size_t r = length % BlockSize) {
      enc_.AdvancedProcessBlocks(f, nullptr, work, lanes * BlockSize,
                                 CryptoPP::BlockTransformation::BT_AllowParallel);
      for (size_t j = 0; j < lanes; ++j)
        for (size_t k = 0; k < r; ++k) buf[j][blocks * BlockSize + k] ^= work[j * BlockSize + k];
    }
    if (xorChecksums)
      for (size_t j = 0; j < lanes; ++j)
        xorChecksums[first + j] = XorChecksumFromChain(f + j * BlockSize, buf[j], length);
  }
}

bool TPageCipher::DecryptIfXorChecksum(uint8_t* data, size_t length, uint32_t xorChecksum) const {
  const size_t blocks = length / BlockSize;
  // F[i-1] for every block, from the cipher text; a page's worth on the stack, more on the heap.
  constexpr size_t kStackBlocks = 256;
  CryptoPP::FixedSizeSecBlock<uint8_t, BlockSize * kStackBlocks> onStack;
  CryptoPP::SecByteBlock onHeap;
  uint8_t* chain = onStack;
  if (blocks > kStackBlocks) {
    onHeap.New(blocks * BlockSize);
    chain = onHeap.data();
  }
  CryptoPP::FixedSizeSecBlock<uint8_t, BlockSize> f;
  std::memcpy(f, f0_, BlockSize);
  for (size_t i = 0; i < blocks; ++i) {
    std::memcpy(chain + i * BlockSize, f, BlockSize);
    XorBlock(f, data + i * BlockSize);
  }
  if (XorChecksumFromChain(f, data, length) != xorChecksum) return false;
  // P = D(C) ^ F[i-1], all blocks independent.
  if (blocks > 0)
    dec_.AdvancedProcessBlocks(data, chain, data, blocks * BlockSize,
                               CryptoPP::BlockTransformation::BT_AllowParallel);
  if (const size_t r = length % BlockSize) CryptPartial(f, data + blocks * BlockSize, r);
  return true;
}

void TPageCipher::Decrypt(uint8_t* data, size_t length) const {
  CryptoPP::FixedSizeSecBlock<uint8_t, BlockSize * kDecryptBatchBlocks> chain;
  CryptoPP::FixedSizeSecBlock<uint8_t, BlockSize> f;
  std::memcpy(f, f0_, BlockSize);
  const size_t blocks = length / BlockSize;
  for (size_t done = 0; done < blocks;) {
    const size_t n = std::min(kDecryptBatchBlocks, blocks - done);
    uint8_t* first = data + done * BlockSize;
    // F[i-1] for every block of the batch, from the ciphertext before it is overwritten.
    for (size_t i = 0; i < n; ++i) {
      std::memcpy(chain + i * BlockSize, f, BlockSize);
      XorBlock(f, first + i * BlockSize);
    }
    // P = D(C) ^ F[i-1], all blocks independent.
    dec_.AdvancedProcessBlocks(first, chain, first, n * BlockSize,
                               CryptoPP::BlockTransformation::BT_AllowParallel);
    done += n;
  }
  if (const size_t r = length % BlockSize) CryptPartial(f, data + blocks * BlockSize, r);
}

}  // namespace quillmar
