#include "core/qmTotp.h"

#include <cryptopp/hmac.h>
#include <cryptopp/sha.h>

#include <charconv>

#include "base/SecureWipe.h"

namespace quillmar {

namespace {

constexpr std::string_view kPrefix = "otpauth://totp/";

char Lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string Lowered(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = Lower(c);
  return out;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = Lower(c);
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// %XX escapes decoded; "+" is a blank in a query value. A broken escape is kept as it is.
std::string PercentDecoded(std::string_view text, bool plusIsBlank) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size()) {
      const int hi = HexValue(text[i + 1]);
      const int lo = HexValue(text[i + 2]);
      if (hi >= 0 && lo >= 0) {
        out += static_cast<char>(hi * 16 + lo);
        i += 2;
        continue;
      }
    }
    out += plusIsBlank && text[i] == '+' ? ' ' : text[i];
  }
  return out;
}

// A decimal number within [low, high]; nullopt otherwise.
std::optional<int> Bounded(std::string_view text, int low, int high) {
  int value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || value < low || value > high)
    return std::nullopt;
  return value;
}

template <class Hash>
std::string Hmac(const std::string& key, const uint8_t* message, size_t size) {
  CryptoPP::HMAC<Hash> mac(reinterpret_cast<const CryptoPP::byte*>(key.data()), key.size());
  std::string digest(Hash::DIGESTSIZE, '\0');
  mac.Update(message, size);
  mac.Final(reinterpret_cast<CryptoPP::byte*>(digest.data()));
  return digest;
}

int64_t FloorDiv(int64_t a, int64_t b) {
  int64_t q = a / b;
  if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
  return q;
}

}  // namespace

TqmTotp::~TqmTotp() {
  WipeString(secret);
}

bool IsTotpUri(std::string_view text) {
  return text.size() >= kPrefix.size() && Lowered(text.substr(0, kPrefix.size())) == kPrefix;
}

std::optional<std::string> DecodeBase32(std::string_view text) {
  std::string out;
  uint32_t buffer = 0;
  int bits = 0;
  for (char c : text) {
    if (c == ' ' || c == '=' || c == '-') continue;
    c = Lower(c);
    int value;
    if (c >= 'a' && c <= 'z')
      value = c - 'a';
    else if (c >= '2' && c <= '7')
      value = c - '2' + 26;
    else
      return std::nullopt;
    buffer = (buffer << 5) | static_cast<uint32_t>(value);
    bits += 5;
    if (bits >= 8) {
      bits -= 8;
      out += static_cast<char>((buffer >> bits) & 0xFF);
    }
  }
  SecureWipe(&buffer, sizeof buffer);
  return out;
}

std::optional<TqmTotp> ParseTotpUri(std::string_view uri, std::string* problem) {
  auto refuse = [&](const std::string& why) -> std::optional<TqmTotp> {
    if (problem) *problem = why;
    return std::nullopt;
  };
  if (!IsTotpUri(uri)) return refuse("The text is no one-time code address (otpauth://totp/...).");
  std::string_view rest = uri.substr(kPrefix.size());
  const size_t query = rest.find('?');
  TqmTotp totp;
  totp.label = PercentDecoded(rest.substr(0, query), false);
  bool haveSecret = false;
  std::string_view params = query == std::string_view::npos ? std::string_view() : rest.substr(query + 1);
  // A fragment is no part of the parameters.
  params = params.substr(0, params.find('#'));
  while (!params.empty()) {
    const size_t amp = params.find('&');
    const std::string_view pair = params.substr(0, amp);
    params = amp == std::string_view::npos ? std::string_view() : params.substr(amp + 1);
    const size_t eq = pair.find('=');
    const std::string key = Lowered(PercentDecoded(pair.substr(0, eq), true));
    std::string value =
        eq == std::string_view::npos ? std::string() : PercentDecoded(pair.substr(eq + 1), true);
    if (key == "secret") {
      auto decoded = DecodeBase32(value);
      WipeString(value);
      if (!decoded || decoded->empty()) return refuse("The secret of the one-time code is no Base32 text.");
      totp.secret = std::move(*decoded);
      haveSecret = true;
    } else if (key == "algorithm") {
      const std::string a = Lowered(value);
      if (a == "sha1")
        totp.algorithm = TqmTotpAlgorithm::Sha1;
      else if (a == "sha256")
        totp.algorithm = TqmTotpAlgorithm::Sha256;
      else if (a == "sha512")
        totp.algorithm = TqmTotpAlgorithm::Sha512;
      else
        return refuse("The one-time code's algorithm \"" + value + "\" is not SHA1, SHA256 or SHA512.");
    } else if (key == "digits") {
      const auto d = Bounded(value, 6, 8);
      if (!d) return refuse("A one-time code has 6 to 8 digits, not \"" + value + "\".");
      totp.digits = *d;
    } else if (key == "period") {
      const auto p = Bounded(value, 1, 86400);
      if (!p) return refuse("The period of a one-time code is 1 to 86400 seconds, not \"" + value + "\".");
      totp.period = *p;
    } else if (key == "issuer") {
      totp.issuer = value;
    }
  }
  if (!haveSecret) return refuse("The one-time code address has no secret.");
  return totp;
}

std::string TotpCode(const TqmTotp& totp, int64_t unixTime) {
  const int64_t counter = FloorDiv(unixTime, totp.period);
  uint8_t message[8];
  for (int i = 7; i >= 0; --i)
    message[7 - i] = static_cast<uint8_t>(static_cast<uint64_t>(counter) >> (8 * i));
  std::string digest;
  switch (totp.algorithm) {
    case TqmTotpAlgorithm::Sha256:
      digest = Hmac<CryptoPP::SHA256>(totp.secret, message, sizeof message);
      break;
    case TqmTotpAlgorithm::Sha512:
      digest = Hmac<CryptoPP::SHA512>(totp.secret, message, sizeof message);
      break;
    default:
      digest = Hmac<CryptoPP::SHA1>(totp.secret, message, sizeof message);
      break;
  }
  // Dynamic truncation: 31 bits from the offset the last nibble names.
  const size_t offset = static_cast<uint8_t>(digest.back()) & 0x0F;
  const uint32_t binary = (static_cast<uint32_t>(static_cast<uint8_t>(digest[offset]) & 0x7F) << 24) |
                          (static_cast<uint32_t>(static_cast<uint8_t>(digest[offset + 1])) << 16) |
                          (static_cast<uint32_t>(static_cast<uint8_t>(digest[offset + 2])) << 8) |
                          static_cast<uint32_t>(static_cast<uint8_t>(digest[offset + 3]));
  WipeString(digest);
  uint32_t modulus = 1;
  for (int i = 0; i < totp.digits; ++i) modulus *= 10;
  std::string code = std::to_string(binary % modulus);
  if (code.size() < static_cast<size_t>(totp.digits)) code.insert(0, totp.digits - code.size(), '0');
  return code;
}

int TotpSecondsLeft(const TqmTotp& totp, int64_t unixTime) {
  const int64_t into = unixTime - FloorDiv(unixTime, totp.period) * totp.period;
  return static_cast<int>(totp.period - into);
}

}  // namespace quillmar
