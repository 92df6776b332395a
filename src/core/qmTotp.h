#pragma once
// One-time codes (TOTP, RFC 6238) of a text field whose value is an "otpauth://totp/" URI, as
// authenticator apps take them:
//   otpauth://totp/Example:alice@example.com?secret=JBSWY3DPEHPK3PXP&issuer=Example&digits=6&period=30
// The value is stored as the plain text it is: older programs show the URI.
//
// Parameters (names and the values of algorithm in any letter case, %XX escapes decoded):
//   secret     required: the key in Base32 (RFC 4648; letter case, blanks and "=" padding ignored)
//   algorithm  SHA1 (the default), SHA256 or SHA512: the HMAC's hash
//   digits     6 (the default), 7 or 8
//   period     seconds per code, 30 by default; 1 to 86400
//   issuer     shown; the label (the path after "totp/") is shown too
// Anything else is ignored. A URI whose secret, algorithm, digits or period cannot be used is refused
// with a message naming what is wrong (never the secret).
//
// The code: HOTP (RFC 4226) with the counter floor(unix time / period), the HMAC (Crypto++) truncated
// dynamically, modulo 10^digits, with leading zeros.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quillmar {

enum class TqmTotpAlgorithm { Sha1, Sha256, Sha512 };

struct TqmTotp {
  std::string secret;  // the key's bytes (wiped when the record goes)
  TqmTotpAlgorithm algorithm = TqmTotpAlgorithm::Sha1;
  int digits = 6;
  int period = 30;
  std::string label;   // decoded, as given after "totp/"
  std::string issuer;  // decoded; "" when not given

  TqmTotp() = default;
  TqmTotp(const TqmTotp&) = default;
  TqmTotp& operator=(const TqmTotp&) = default;
  ~TqmTotp();
};

// True when text begins with "otpauth://totp/" (letter case ignored): a field whose value should show
// a code. Says nothing about whether the rest can be used (ParseTotpUri).
bool IsTotpUri(std::string_view text);

// The parameters of the URI; nullopt when it cannot be used, with the reason in *problem (when given).
std::optional<TqmTotp> ParseTotpUri(std::string_view uri, std::string* problem = nullptr);

// The code at that moment (seconds since 1970-01-01 UTC), digits long.
std::string TotpCode(const TqmTotp& totp, int64_t unixTime);
// Seconds until the code of that moment changes: 1 to period.
int TotpSecondsLeft(const TqmTotp& totp, int64_t unixTime);

// RFC 4648 Base32 (letter case, blanks and "=" padding ignored); nullopt for any other character.
std::optional<std::string> DecodeBase32(std::string_view text);

}  // namespace quillmar
