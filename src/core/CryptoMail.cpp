#include "core/CryptoMail.h"

#include <crypto++/blowfish.h>
#include <crypto++/secblock.h>
#include <crypto++/sha.h>

#include <cstdio>
#include <cstring>

#include "base/Base64.h"
#include "base/SecureWipe.h"
#include "core/EmbeddedResources.h"

namespace quillmar {

namespace {

char AsciiLower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualsIgnoreCase(const char* a, std::string_view b) {
  for (size_t i = 0; i < b.size(); ++i)
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  return true;
}

// Position of the next occurrence of pattern (non-empty) in text at or after from, or npos.
size_t FindIgnoreCase(std::string_view text, std::string_view pattern, size_t from) {
  if (pattern.size() > text.size()) return std::string_view::npos;
  const size_t last = text.size() - pattern.size();
  const char first = pattern[0];
  const bool firstIsLetter = AsciiLower(first) != first || (first >= 'a' && first <= 'z');
  for (size_t i = from; i <= last;) {
    if (!firstIsLetter) {
      // The placeholders start with "{", which the Base64 data never holds: memchr skips it quickly.
      const void* hit = std::memchr(text.data() + i, first, last - i + 1);
      if (!hit) return std::string_view::npos;
      i = static_cast<size_t>(static_cast<const char*>(hit) - text.data());
    } else if (AsciiLower(text[i]) != AsciiLower(first)) {
      ++i;
      continue;
    }
    if (EqualsIgnoreCase(text.data() + i, pattern)) return i;
    ++i;
  }
  return std::string_view::npos;
}

}  // namespace

std::string CryptoMailProgressText(int percent) {
  char buf[160];
  std::snprintf(
      buf, sizeof buf,
      "Encryption in progress.\r\nThis may take several minutes for larger files.\r\n%d%% of %d%% complete",
      percent, 100);
  return buf;
}

std::string CryptoMailEncrypt(std::string_view password, std::string_view plain) {
  return *CryptoMailEncrypt(password, plain, {});
}

std::optional<std::string> CryptoMailEncrypt(std::string_view password, std::string_view plain,
                                             const std::function<bool(size_t bytesDone)>& step) {
  if (plain.empty()) return std::string();
  CryptoPP::SecByteBlock key(CryptoPP::SHA1::DIGESTSIZE);
  CryptoPP::SHA1().CalculateDigest(key, reinterpret_cast<const CryptoPP::byte*>(password.data()),
                                   password.size());
  CryptoPP::Blowfish::Encryption bf(key, key.size());
  // The register starts as E(0); per byte: encrypt it, XOR, shift left by one byte, append the cipher
  // byte. (A loop of our own: Crypto++'s general CFB with a one-byte feedback is far slower.)
  CryptoPP::FixedSizeSecBlock<CryptoPP::byte, 16> block;
  CryptoPP::byte* reg = block.data();
  CryptoPP::byte* out = block.data() + 8;
  std::memset(reg, 0, 8);
  bf.ProcessBlock(reg);
  std::string cipher(plain);
  auto* p = reinterpret_cast<CryptoPP::byte*>(cipher.data());
  const size_t n = cipher.size();
  for (size_t from = 0; from < n;) {
    const size_t to = step ? std::min(n, from + kCryptoMailStep) : n;
    for (size_t i = from; i < to; ++i) {
      bf.ProcessBlock(reg, out);
      p[i] ^= out[0];
      std::memmove(reg, reg + 1, 7);
      reg[7] = p[i];
    }
    from = to;
    if (step && !step(from)) {
      SecureWipe(cipher.data(), cipher.size());
      return std::nullopt;
    }
  }
  return Base64Encode(cipher);
}

std::string BuildCryptoMailParameters(std::string_view key, std::string_view fileName, std::string_view data,
                                      const std::function<void(int percent)>& progress) {
  const size_t count = data.size() / kCryptoMailParameterSize + 1;
  std::string p;
  p.reserve(key.size() + fileName.size() + data.size() + (count + 1) * 32 + 128);
  p.append("<param name=\"key\" value=\"").append(key).append("\">\r\n");
  p.append("<param name=\"file_name\" value=\"").append(fileName).append("\">\r\n");
  p.append("<param name=\"count\" value=\"").append(std::to_string(count)).append("\">\r\n");
  for (size_t i = 0; i <= count; ++i) {
    const size_t from = std::min(i * kCryptoMailParameterSize, data.size());
    p.append("<param name=\"").append(std::to_string(i)).append("\" value=\"");
    p.append(data.substr(from, kCryptoMailParameterSize)).append("\">\r\n");
    if (progress) progress(static_cast<int>(i * 100 / count));
  }
  return p;
}

std::string CryptoMailNotes(std::string_view additional) {
  return ReplaceAllIgnoreCase(additional, "\r\n", "<br>");
}

std::string ReplaceAllIgnoreCase(std::string_view text, std::string_view pattern, std::string_view value) {
  if (pattern.empty()) return std::string(text);
  std::string out;
  size_t from = 0;
  size_t hit = FindIgnoreCase(text, pattern, 0);
  if (hit == std::string_view::npos) return std::string(text);
  out.reserve(text.size() + value.size());
  while (hit != std::string_view::npos) {
    out.append(text.substr(from, hit - from)).append(value);
    from = hit + pattern.size();
    hit = FindIgnoreCase(text, pattern, from);
  }
  out.append(text.substr(from));
  return out;
}

std::string BuildCryptoMailDocument(std::string_view templ, const TqmCryptoMailDocumentFields& fields) {
  std::string doc = ReplaceAllIgnoreCase(templ, "{%name%}", fields.name);
  doc = ReplaceAllIgnoreCase(doc, "{%email%}", fields.email);
  doc = ReplaceAllIgnoreCase(doc, "{%url%}", fields.url);
  doc = ReplaceAllIgnoreCase(doc, "{%addidtional%}", fields.notes);
  doc = ReplaceAllIgnoreCase(doc, "{%encrypteddata%}", fields.parameters);
  return ReplaceAllIgnoreCase(doc, "{%codebase%}", fields.codebase);
}

std::string_view CryptoMailTemplate() {
  return EmbeddedResource("IDH_CM_TEMPLATE");
}

}  // namespace quillmar
