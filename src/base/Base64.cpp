#include "base/Base64.h"

#include <array>

namespace quillmar {

namespace {
constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

constexpr std::array<signed char, 256> MakeReverse() {
  std::array<signed char, 256> r{};
  for (auto& v : r) v = -1;
  for (int i = 0; i < 64; ++i) r[static_cast<unsigned char>(kAlphabet[i])] = static_cast<signed char>(i);
  return r;
}
constexpr auto kReverse = MakeReverse();
}  // namespace

std::string Base64Encode(std::string_view bytes) {
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  size_t i = 0;
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  for (; i + 3 <= bytes.size(); i += 3) {
    uint32_t v = uint32_t(p[i]) << 16 | uint32_t(p[i + 1]) << 8 | p[i + 2];
    out += kAlphabet[v >> 18];
    out += kAlphabet[(v >> 12) & 63];
    out += kAlphabet[(v >> 6) & 63];
    out += kAlphabet[v & 63];
  }
  size_t rest = bytes.size() - i;
  if (rest == 1) {
    uint32_t v = uint32_t(p[i]) << 16;
    out += kAlphabet[v >> 18];
    out += kAlphabet[(v >> 12) & 63];
    out += "==";
  } else if (rest == 2) {
    uint32_t v = uint32_t(p[i]) << 16 | uint32_t(p[i + 1]) << 8;
    out += kAlphabet[v >> 18];
    out += kAlphabet[(v >> 12) & 63];
    out += kAlphabet[(v >> 6) & 63];
    out += '=';
  }
  return out;
}

std::string Base64Decode(std::string_view text) {
  std::string out;
  out.reserve(text.size() / 4 * 3);
  for (size_t g = 0; g + 4 <= text.size(); g += 4) {
    uint32_t v = 0;
    int n = 0;
    for (size_t k = 0; k < 4; ++k) {
      signed char d = kReverse[static_cast<unsigned char>(text[g + k])];
      if (d < 0) continue;  // not in the alphabet: carries no data
      v = v << 6 | static_cast<uint32_t>(d);
      ++n;
    }
    if (n < 2) continue;
    v <<= 6 * (4 - n);
    out += static_cast<char>(v >> 16);
    if (n >= 3) out += static_cast<char>((v >> 8) & 0xFF);
    if (n == 4) out += static_cast<char>(v & 0xFF);
  }
  return out;
}

}  // namespace quillmar
