#pragma once
// TPageCipher: the one cipher construction of the container engine, used for page payloads and for every
// field of a key record.
//
//  - Key: RIPEMD-256 of all bytes of the text key (a password's characters, or the 33 bytes of a
//    TContainerKey) is the 32-byte key of AES-256.
//  - F0 = E(sixteen 0xFF bytes). Every Encrypt/Decrypt call starts from F0; nothing carries over between
//    calls, so one object may serve any number of pages (and, being immutable, several threads at once).
//  - Full blocks:  C[i] = E(P[i] ^ F[i-1]),  F[i] = C[i] ^ F[i-1].
//    Decryption:   P[i] = D(C[i]) ^ F[i-1]; the F values are running XORs of the ciphertext, so the
//                  blocks are decrypted independently (in parallel, many blocks per call).
//  - A final partial block of r < 16 bytes: S = E(F), C = P ^ S[0..r) (the same in both directions).
//
// The key schedule and F0 live in memory that is wiped when the object dies.
#include <cryptopp/aes.h>
#include <cryptopp/secblock.h>

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace quillmar {

class TPageCipher {
public:
  static constexpr size_t BlockSize = 16;

  // textKey may be empty (the hash of no bytes is a key like any other).
  TPageCipher(const uint8_t* textKey, size_t length);
  explicit TPageCipher(std::string_view textKey)
      : TPageCipher(reinterpret_cast<const uint8_t*>(textKey.data()), textKey.size()) {}

  TPageCipher(const TPageCipher&) = delete;
  TPageCipher& operator=(const TPageCipher&) = delete;

  // In place; any length (a trailing partial block uses the partial-block rule).
  void Encrypt(uint8_t* data, size_t length) const;
  void Decrypt(uint8_t* data, size_t length) const;

  // Encrypts `count` separate buffers of `length` bytes each, exactly as Encrypt would one by one. The
  // chain of one buffer is serial, but the chains of different buffers are independent, so their
  // blocks are interleaved and go through the block cipher several at a time (the bulk path of
  // consecutive pages). With xorChecksums (count values), each buffer's XOR checksum of its cipher
  // text (container/Checksum.h) comes out too, at almost no cost: the last chain value XOR F0 is the
  // XOR of all cipher blocks.
  void EncryptMany(uint8_t* const* buffers, size_t count, size_t length,
                   uint32_t* xorChecksums = nullptr) const;

  // Decrypts in place as Decrypt does, but only when the XOR checksum of the cipher text is
  // xorChecksum: true then; false otherwise, with data untouched. One pass over the cipher text gives
  // both the checksum and the chain values the decryption needs.
  bool DecryptIfXorChecksum(uint8_t* data, size_t length, uint32_t xorChecksum) const;

private:
  void CryptPartial(const uint8_t* chain, uint8_t* data, size_t r) const;
  // The XOR checksum of a buffer whose full blocks XOR (with F0) to the chain value `chain`: the
  // folded chain, and the whole words of the trailing partial block.
  uint32_t XorChecksumFromChain(const uint8_t* chain, const uint8_t* data, size_t length) const;

  CryptoPP::AES::Encryption enc_;
  CryptoPP::AES::Decryption dec_;
  CryptoPP::FixedSizeSecBlock<uint8_t, 16> f0_;
};

}  // namespace quillmar
