#pragma once
// The strength estimate under every password box: how many bits of guessing a password is worth to an
// attacker who knows how people choose passwords (dictionary words, names, dates, keyboard patterns,
// repeats and sequences), as the zxcvbn estimator (libzxcvbn) computes it, and a band for the meter.
//
// Bands by estimated bits:  below 28 VeryWeak, below 36 Weak, below 60 Fair, below 128 Strong, from 128
// VeryStrong. The text is UTF-8 (the box's text); the copies made for the estimator are wiped.
#include <string_view>

namespace quillmar {

enum class TqmStrengthBand { VeryWeak, Weak, Fair, Strong, VeryStrong };

struct TqmStrength {
  double bits = 0;  // estimated; 0 for the empty password
  TqmStrengthBand band = TqmStrengthBand::VeryWeak;
};

TqmStrength EstimateStrength(std::string_view utf8Password);
// The band of that many bits.
TqmStrengthBand StrengthBandOf(double bits);
// "Very weak", "Weak", "Fair", "Strong", "Very strong".
const char* StrengthBandName(TqmStrengthBand band);

}  // namespace quillmar
