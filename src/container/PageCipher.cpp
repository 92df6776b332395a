#include "container/PageCipher.h"

#include <cryptopp/misc.h>
#include <cryptopp/ripemd.h>

#include <cstring>

namespace quillmar {

namespace {

// Chaining values of this many blocks are prepared at once for the parallel decryption.
constexpr size_t kDecryptBatchBlocks = 64;

inline void XorBlock(uint8_t* a, const uint8_t* b) {
  for (size_t i = 0; i < TPageCipher::BlockSize; ++i) a[i] ^= b[i];
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
    // C = E(P ^ F) in one call, then F ^= C. The chain is inherently serial.
    enc_.AdvancedProcessBlocks(block, f, block, BlockSize, CryptoPP::BlockTransformation::BT_XorInput);
    XorBlock(f, block);
  }
  if (const size_t r = length % BlockSize) CryptPartial(f, data + blocks * BlockSize, r);
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
    dec_.AdvancedProcessBlocks(first, chain, first, n * BlockSize, CryptoPP::BlockTransformation::BT_AllowParallel);
    done += n;
  }
  if (const size_t r = length % BlockSize) CryptPartial(f, data + blocks * BlockSize, r);
}

}  // namespace quillmar
