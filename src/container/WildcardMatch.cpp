#include "container/WildcardMatch.h"

namespace quillmar {

namespace {

bool CharsMatch(char m, char n) {
  unsigned a = static_cast<unsigned char>(m), b = static_cast<unsigned char>(n);
  if (a == b) return true;
  unsigned diff = a > b ? a - b : b - a;
  return diff == 32 && (a & b) >= 65;
}

}  // namespace

bool MatchesWildcard(std::string_view mask, std::string_view name) {
  if (mask == "*.*") return true;
  size_t m = 0, n = 0;
  size_t starMask = std::string_view::npos, starName = 0;
  while (n < name.size()) {
    if (m < mask.size() && mask[m] == '*') {
      starMask = m++;
      starName = n;
    } else if (m < mask.size() && (mask[m] == '?' || CharsMatch(mask[m], name[n]))) {
      ++m;
      ++n;
    } else if (starMask != std::string_view::npos) {
      // Let the last "*" take one more character and retry from there.
      m = starMask + 1;
      n = ++starName;
    } else {
      return false;
    }
  }
  while (m < mask.size() && mask[m] == '*') ++m;
  return m == mask.size();
}

}  // namespace quillmar
