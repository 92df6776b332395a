#pragma once
// An independent, block-by-block rendering of the page cipher for tests: RIPEMD-256 of the text key as
// the AES-256 key, F0 = E(16 x 0xFF), C = E(P ^ F), F ^= C, a final partial block XORed with E(F).
// Written straight from the rules with one ProcessBlock call per step, so it shares nothing with the
// engine's batched implementation.
#include <cryptopp/aes.h>
#include <cryptopp/ripemd.h>

#include <cstdint>
#include <string>

namespace quillmar::test {

inline std::string RefEncrypt(const std::string& textKey, std::string data, bool decrypt = false) {
  uint8_t key[32];
  CryptoPP::RIPEMD256().CalculateDigest(key, reinterpret_cast<const uint8_t*>(textKey.data()),
                                        textKey.size());
  CryptoPP::AES::Encryption e(key, 32);
  CryptoPP::AES::Decryption d(key, 32);
  uint8_t f[16], ones[16];
  for (auto& b : ones) b = 0xFF;
  e.ProcessBlock(ones, f);
  size_t i = 0;
  auto* p = reinterpret_cast<uint8_t*>(data.data());
  for (; i + 16 <= data.size(); i += 16) {
    uint8_t in[16], out[16];
    if (!decrypt) {
      for (int j = 0; j < 16; ++j) in[j] = p[i + j] ^ f[j];
      e.ProcessBlock(in, out);
      for (int j = 0; j < 16; ++j) {
        f[j] ^= out[j];
        p[i + j] = out[j];
      }
    } else {
      for (int j = 0; j < 16; ++j) in[j] = p[i + j];
      d.ProcessBlock(in, out);
      for (int j = 0; j < 16; ++j) {
        p[i + j] = out[j] ^ f[j];
        f[j] ^= in[j];
      }
    }
  }
  if (i < data.size()) {
    uint8_t s[16];
    e.ProcessBlock(f, s);
    for (size_t j = 0; i + j < data.size(); ++j) p[i + j] ^= s[j];
  }
  return data;
}

inline std::string RefDecrypt(const std::string& textKey, const std::string& data) {
  return RefEncrypt(textKey, data, true);
}

inline std::string Hex(const std::string& bytes) {
  static const char* digits = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

inline std::string Unhex(const std::string& hex) {
  std::string out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2)
    out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  return out;
}

inline std::string Bytes(const uint8_t* p, size_t n) {
  return std::string(reinterpret_cast<const char*>(p), n);
}

inline uint32_t LE32(const std::string& s, size_t off) {
  return static_cast<uint32_t>(static_cast<uint8_t>(s[off])) |
         static_cast<uint32_t>(static_cast<uint8_t>(s[off + 1])) << 8 |
         static_cast<uint32_t>(static_cast<uint8_t>(s[off + 2])) << 16 |
         static_cast<uint32_t>(static_cast<uint8_t>(s[off + 3])) << 24;
}

inline uint16_t RefCrc16Arc(const std::string& s) {  // bitwise, no table
  uint16_t crc = 0;
  for (unsigned char c : s) {
    crc ^= c;
    for (int b = 0; b < 8; ++b)
      crc = (crc & 1) ? static_cast<uint16_t>((crc >> 1) ^ 0xA001) : static_cast<uint16_t>(crc >> 1);
  }
  return crc;
}

inline uint32_t RefXor(const std::string& s) {
  uint32_t x = 0;
  for (size_t i = 0; i + 4 <= s.size(); i += 4) x ^= LE32(s, i);
  return x;
}

}  // namespace quillmar::test
