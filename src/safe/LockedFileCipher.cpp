#include "safe/LockedFileCipher.h"

#include <cryptopp/blowfish.h>
#include <cryptopp/misc.h>
#include <cryptopp/secblock.h>
#include <cryptopp/sha.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <string>

#include "base/Exception.h"

namespace quillmar {

namespace {

constexpr size_t kBlock = 8;

void Xor8(uint8_t* dst, const uint8_t* a, const uint8_t* b) {
  uint64_t x, y;
  std::memcpy(&x, a, kBlock);
  std::memcpy(&y, b, kBlock);
  x ^= y;
  std::memcpy(dst, &x, kBlock);
}

}  // namespace

struct TLockedFileChain::TImpl {
  CryptoPP::Blowfish::Encryption enc;
  CryptoPP::Blowfish::Decryption dec;
  CryptoPP::FixedSizeSecBlock<uint8_t, kBlock> chain;  // the last cipher block (or the initial value)
};

TLockedFileChain::TLockedFileChain(std::string_view password, TDirection direction)
    : impl_(std::make_unique<TImpl>()), direction_(direction) {
  CryptoPP::SecByteBlock key(CryptoPP::SHA1::DIGESTSIZE);
  CryptoPP::SHA1().CalculateDigest(key, reinterpret_cast<const CryptoPP::byte*>(password.data()),
                                   password.size());
  impl_->enc.SetKey(key, key.size());
  if (direction == TDirection::Decrypt) impl_->dec.SetKey(key, key.size());
  std::memset(impl_->chain, 0, kBlock);
  impl_->enc.ProcessBlock(impl_->chain);
}

TLockedFileChain::TLockedFileChain(const uint8_t* key, size_t keyLength, const uint8_t* initialValue,
                                   TDirection direction)
    : impl_(std::make_unique<TImpl>()), direction_(direction) {
  impl_->enc.SetKey(key, keyLength);
  if (direction == TDirection::Decrypt) impl_->dec.SetKey(key, keyLength);
  std::memcpy(impl_->chain, initialValue, kBlock);
}

TLockedFileChain::~TLockedFileChain() = default;

void TLockedFileChain::Process(const uint8_t* in, uint8_t* out, size_t count, bool final) {
  if (finished_) throw std::logic_error("TLockedFileChain::Process called after the final piece");
  size_t tail = count % kBlock;
  if (tail != 0 && !final)
    throw std::logic_error("TLockedFileChain::Process: only the final piece may end in a partial block");
  size_t full = count - tail;
  uint8_t* reg = impl_->chain;

  if (direction_ == TDirection::Encrypt) {
    for (size_t i = 0; i < full; i += kBlock) {
      Xor8(reg, reg, in + i);
      impl_->enc.ProcessBlock(reg);
      std::memcpy(out + i, reg, kBlock);
    }
  } else {
    CryptoPP::FixedSizeSecBlock<uint8_t, kBlock> cipher;
    for (size_t i = 0; i < full; i += kBlock) {
      std::memcpy(cipher, in + i, kBlock);  // kept before out (possibly the same buffer) is written
      impl_->dec.ProcessAndXorBlock(cipher, reg, out + i);
      std::memcpy(reg, cipher, kBlock);
    }
  }

  if (tail != 0) {
    CryptoPP::FixedSizeSecBlock<uint8_t, kBlock> pad;
    impl_->enc.ProcessBlock(reg, pad);
    for (size_t j = 0; j < tail; ++j) out[full + j] = static_cast<uint8_t>(in[full + j] ^ pad[j]);
  }
  if (final) finished_ = true;
}

namespace {

// Reads into buf until it is full or the source ends; returns the number of bytes read.
size_t ReadPiece(TStream& source, uint8_t* buf, size_t size) {
  size_t got = 0;
  while (got < size) {
    int64_t n = source.Read(buf + got, static_cast<int64_t>(size - got));
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
  return got;
}

// Runs source through transform piece by piece into dest. transform(in, out, count, final).
template <class Transform>
void Pump(TStream& source, TStream& dest, const TCipherProgress& progress, size_t pieceSize,
          Transform&& transform) {
  if (pieceSize == 0 || pieceSize % kBlock != 0)
    throw std::logic_error("TLockedFileCipher: the piece size must be a non-zero multiple of 8");
  const int64_t start = source.Position();
  int64_t total = source.Size() - start;
  if (total < 0) total = 0;
  CryptoPP::SecByteBlock in(pieceSize), out(pieceSize);
  int64_t done = 0;
  int lastPercent = -1;
  for (;;) {
    size_t got = ReadPiece(source, in, pieceSize);
    bool final = got < pieceSize;
    // A source that ends before its size did not deliver every byte (a damaged page): the result
    // would be cut short, so the whole operation fails.
    if (final && done + static_cast<int64_t>(got) < total) {
      const int64_t offset = start + done + static_cast<int64_t>(got);
      throw EUnreadableData(
          "Stream read error: the bytes from offset " + std::to_string(offset) + " on cannot be read",
          offset);
    }
    transform(in.data(), out.data(), got, final);
    dest.WriteBuffer(out, static_cast<int64_t>(got));
    done += static_cast<int64_t>(got);
    if (progress) {
      int percent =
          final ? 100 : (total > 0 ? static_cast<int>(std::min<int64_t>(done, total) * 100 / total) : 0);
      if (percent != lastPercent) {
        lastPercent = percent;
        progress(percent);
      }
    }
    if (final) break;
  }
}

}  // namespace

void TLockedFileCipher::Encrypt(TStream& source, TStream& dest, std::string_view password,
                                const TCipherProgress& progress, size_t pieceSize) {
  TLockedFileChain chain(password, TLockedFileChain::TDirection::Encrypt);
  Pump(source, dest, progress, pieceSize,
       [&](const uint8_t* in, uint8_t* out, size_t n, bool final) { chain.Process(in, out, n, final); });
}

void TLockedFileCipher::Decrypt(TStream& source, TStream& dest, std::string_view password,
                                const TCipherProgress& progress, size_t pieceSize) {
  TLockedFileChain chain(password, TLockedFileChain::TDirection::Decrypt);
  Pump(source, dest, progress, pieceSize,
       [&](const uint8_t* in, uint8_t* out, size_t n, bool final) { chain.Process(in, out, n, final); });
}

void TLockedFileCipher::Rekey(TStream& source, TStream& dest, std::string_view oldPassword,
                              std::string_view newPassword, const TCipherProgress& progress,
                              size_t pieceSize) {
  TLockedFileChain decrypt(oldPassword, TLockedFileChain::TDirection::Decrypt);
  TLockedFileChain encrypt(newPassword, TLockedFileChain::TDirection::Encrypt);
  Pump(source, dest, progress, pieceSize, [&](const uint8_t* in, uint8_t* out, size_t n, bool final) {
    decrypt.Process(in, out, n, final);  // the plain piece lives only in out, and is encrypted in place
    encrypt.Process(out, out, n, final);
  });
}

}  // namespace quillmar
