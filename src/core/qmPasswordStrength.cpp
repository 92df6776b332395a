#include "core/qmPasswordStrength.h"

#include <zxcvbn.h>

#include <cmath>
#include <string>

#include "base/SecureWipe.h"

namespace quillmar {

TqmStrengthBand StrengthBandOf(double bits) {
  if (!(bits >= 28)) return TqmStrengthBand::VeryWeak;  // NaN included
  if (bits < 36) return TqmStrengthBand::Weak;
  if (bits < 60) return TqmStrengthBand::Fair;
  if (bits < 128) return TqmStrengthBand::Strong;
  return TqmStrengthBand::VeryStrong;
}

const char* StrengthBandName(TqmStrengthBand band) {
  switch (band) {
    case TqmStrengthBand::Weak:
      return "Weak";
    case TqmStrengthBand::Fair:
      return "Fair";
    case TqmStrengthBand::Strong:
      return "Strong";
    case TqmStrengthBand::VeryStrong:
      return "Very strong";
    default:
      return "Very weak";
  }
}

TqmStrength EstimateStrength(std::string_view utf8Password) {
  TqmStrength result;
  if (utf8Password.empty()) return result;
  // The estimator reads a NUL-ended text; a NUL inside ends what it sees.
  std::string text(utf8Password);
  const double bits = ZxcvbnMatch(text.c_str(), nullptr, nullptr);
  WipeString(text);
  result.bits = std::isfinite(bits) && bits > 0 ? bits : 0;
  result.band = StrengthBandOf(result.bits);
  return result;
}

}  // namespace quillmar
