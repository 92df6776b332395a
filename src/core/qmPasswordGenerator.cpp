#include "core/qmPasswordGenerator.h"

#include <sys/random.h>

#include <cerrno>
#include <cmath>

#include "base/Exception.h"
#include "base/SecureWipe.h"
#include "core/EmbeddedResources.h"

namespace quillmar {

namespace {

constexpr std::string_view kUpper = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";
constexpr std::string_view kLower = "abcdefghijklmnopqrstuvwxyz";
constexpr std::string_view kDigits = "0123456789";
// Printable ASCII punctuation without "<" and ">" (see the header).
constexpr std::string_view kSymbols = "!\"#$%&'()*+,-./:;=?@[\\]^_`{|}~";
constexpr std::string_view kLookAlikes = "Il1|O0o`'\"";

std::string Without(std::string_view chars, bool dropLookAlikes) {
  std::string out;
  for (char c : chars)
    if (!dropLookAlikes || kLookAlikes.find(c) == std::string_view::npos) out += c;
  return out;
}

std::string Joined(const std::vector<std::string>& classes) {
  std::string all;
  for (const auto& c : classes) all += c;
  return all;
}

bool HasEveryClass(const std::string& password, const std::vector<std::string>& classes) {
  for (const auto& c : classes)
    if (password.find_first_of(c) == std::string::npos) return false;
  return true;
}

char Upper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

}  // namespace

// --- Randomness --------------------------------------------------------------------------------------------

TqmSystemRandom::~TqmSystemRandom() {
  SecureWipe(block_, sizeof block_);
}

uint32_t TqmSystemRandom::Next32() {
  if (used_ == std::size(block_)) {
    auto* bytes = reinterpret_cast<char*>(block_);
    size_t have = 0;
    while (have < sizeof block_) {
      const ssize_t got = ::getrandom(bytes + have, sizeof block_ - have, 0);
      if (got < 0) {
        if (errno == EINTR) continue;
        throw EQuillmarError("The system gives no random numbers; no password was made.");
      }
      have += static_cast<size_t>(got);
    }
    used_ = 0;
  }
  const uint32_t value = block_[used_];
  block_[used_++] = 0;
  return value;
}

uint32_t UniformBelow(uint32_t bound, TqmRandomSource& source) {
  // 2^32 mod bound, in 32-bit arithmetic.
  const uint32_t rejected = static_cast<uint32_t>(-bound) % bound;
  for (;;) {
    const uint32_t r = source.Next32();
    if (r >= rejected) return r % bound;
  }
}

// --- Passwords ---------------------------------------------------------------------------------------------

std::vector<std::string> PasswordClasses(const TqmPasswordRules& rules) {
  std::vector<std::string> classes;
  if (rules.upper) classes.push_back(Without(kUpper, rules.noLookAlikes));
  if (rules.lower) classes.push_back(Without(kLower, rules.noLookAlikes));
  if (rules.digits) classes.push_back(Without(kDigits, rules.noLookAlikes));
  if (rules.symbols) classes.push_back(Without(kSymbols, rules.noLookAlikes));
  return classes;
}

std::string PasswordRulesProblem(const TqmPasswordRules& rules) {
  const size_t classes = PasswordClasses(rules).size();
  if (classes == 0) return "Choose at least one kind of character for the password.";
  if (rules.length < kMinGeneratedLength || rules.length > kMaxGeneratedLength)
    return "A generated password has 1 to " + std::to_string(kMaxGeneratedLength) + " characters.";
  if (static_cast<size_t>(rules.length) < classes)
    return "The password must be at least " + std::to_string(classes) +
           " characters long to hold one of each chosen kind.";
  return {};
}

std::string GeneratePassword(const TqmPasswordRules& rules, TqmRandomSource& source) {
  if (const std::string problem = PasswordRulesProblem(rules); !problem.empty())
    throw EQuillmarError(problem);
  const auto classes = PasswordClasses(rules);
  const std::string alphabet = Joined(classes);
  std::string password(static_cast<size_t>(rules.length), '\0');
  do {
    for (char& c : password) c = alphabet[UniformBelow(static_cast<uint32_t>(alphabet.size()), source)];
  } while (!HasEveryClass(password, classes));
  return password;
}

std::string GeneratePassword(const TqmPasswordRules& rules) {
  TqmSystemRandom random;
  return GeneratePassword(rules, random);
}

double PasswordEntropyBits(const TqmPasswordRules& rules) {
  if (!PasswordRulesProblem(rules).empty()) return 0;
  const auto classes = PasswordClasses(rules);
  double total = 0;
  for (const auto& c : classes) total += static_cast<double>(c.size());
  // The share of all passwords over the alphabet that hold every class, by inclusion and exclusion
  // over the sets of classes left out.
  double share = 0;
  const unsigned subsets = 1u << classes.size();
  for (unsigned s = 0; s < subsets; ++s) {
    double left = total;
    int sign = 1;
    for (size_t i = 0; i < classes.size(); ++i)
      if (s & (1u << i)) {
        left -= static_cast<double>(classes[i].size());
        sign = -sign;
      }
    share += sign * std::pow(left / total, rules.length);
  }
  return rules.length * std::log2(total) + std::log2(share);
}

// --- Passphrases
// ---------------------------------------------------------------------------------------------

const std::vector<std::string_view>& PassphraseWords() {
  static const std::vector<std::string_view> words = [] {
    std::vector<std::string_view> list;
    std::string_view text = EmbeddedResource("PASSPHRASE_WORDS");
    while (!text.empty()) {
      const size_t end = text.find('\n');
      std::string_view line = text.substr(0, end);
      text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
      if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
      if (!line.empty() && line[0] != '#') list.push_back(line);
    }
    return list;
  }();
  return words;
}

std::string PassphraseRulesProblem(const TqmPassphraseRules& rules) {
  if (rules.words < kMinPassphraseWords || rules.words > kMaxPassphraseWords)
    return "A passphrase has " + std::to_string(kMinPassphraseWords) + " to " +
           std::to_string(kMaxPassphraseWords) + " words.";
  if (rules.separator.size() > 3) return "The words of a passphrase are separated by at most 3 characters.";
  for (unsigned char c : rules.separator)
    if (c == '<' || c == '>' || c < 0x20 || c == 0x7F)
      return "The separator of a passphrase cannot hold \"<\", \">\" or control characters.";
  return {};
}

std::string GeneratePassphrase(const TqmPassphraseRules& rules, TqmRandomSource& source) {
  if (const std::string problem = PassphraseRulesProblem(rules); !problem.empty())
    throw EQuillmarError(problem);
  const auto& words = PassphraseWords();
  std::string phrase;
  for (int i = 0; i < rules.words; ++i) {
    if (i > 0) phrase += rules.separator;
    std::string word(words[UniformBelow(static_cast<uint32_t>(words.size()), source)]);
    if (rules.capitalize) word[0] = Upper(word[0]);
    phrase += word;
    WipeString(word);
  }
  return phrase;
}

std::string GeneratePassphrase(const TqmPassphraseRules& rules) {
  TqmSystemRandom random;
  return GeneratePassphrase(rules, random);
}

double PassphraseEntropyBits(const TqmPassphraseRules& rules) {
  if (!PassphraseRulesProblem(rules).empty()) return 0;
  return rules.words * std::log2(static_cast<double>(PassphraseWords().size()));
}

}  // namespace quillmar
