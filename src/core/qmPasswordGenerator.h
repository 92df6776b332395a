#pragma once
// The password generator of the password editors: random passwords from chosen character classes, or
// passphrases of words from the list compiled into the program, with their entropy in bits.
//
// Randomness comes from the system's source (getrandom); every choice among n possibilities is drawn
// without modulo bias (UniformBelow). A password holds at least one character of every chosen class:
// passwords that miss one are drawn again as a whole, so every password that has all classes is
// equally likely, and the entropy is that of exactly those passwords.
//
// Generated text is always stored exactly: the symbols leave out "<" and ">", from which the record
// formats build their markers, and a passphrase separator may not hold them.
//
// The word list: src/core/resources/PASSPHRASE_WORDS.txt, the EFF Large Wordlist (7776 words, (c) 2016
// Electronic Frontier Foundation, CC BY 3.0), compiled in.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quillmar {

// A source of uniformly random 32-bit numbers.
class TqmRandomSource {
public:
  virtual ~TqmRandomSource() = default;
  virtual uint32_t Next32() = 0;
};

// The system's random source (getrandom), read in blocks; the block is wiped when the object goes.
// Throws EQuillmarError when the system gives no random bytes.
class TqmSystemRandom : public TqmRandomSource {
public:
  TqmSystemRandom() = default;
  ~TqmSystemRandom() override;
  TqmSystemRandom(const TqmSystemRandom&) = delete;
  TqmSystemRandom& operator=(const TqmSystemRandom&) = delete;
  uint32_t Next32() override;

private:
  uint32_t block_[64] = {};
  size_t used_ = 64;
};

// A number in 0..bound-1, each equally likely: draws below 2^32 mod bound are drawn again, so that
// the remaining draws cover every result the same number of times. REQUIRES: bound > 0.
uint32_t UniformBelow(uint32_t bound, TqmRandomSource& source);

// --- Passwords ---------------------------------------------------------------------------------------
struct TqmPasswordRules {
  int length = 20;
  bool upper = true;    // A-Z
  bool lower = true;    // a-z
  bool digits = true;   // 0-9
  bool symbols = true;  // ! " # $ % & ' ( ) * + , - . / : ; = ? @ [ \ ] ^ _ ` { | } ~
  // Leaves out characters easily taken for others: I l 1 | O 0 o ` ' "
  bool noLookAlikes = false;
};

inline constexpr int kMinGeneratedLength = 1;
inline constexpr int kMaxGeneratedLength = 1024;

// The characters of each chosen class under the rules, in class order (upper, lower, digits,
// symbols); classes not chosen are left out.
std::vector<std::string> PasswordClasses(const TqmPasswordRules& rules);
// "" when a password can be made under the rules; else why not: no class chosen, or a length outside
// 1..1024 or shorter than the number of classes (each must appear).
std::string PasswordRulesProblem(const TqmPasswordRules& rules);
// A new password. Throws EQuillmarError (with PasswordRulesProblem's message) for rules that cannot
// be met.
std::string GeneratePassword(const TqmPasswordRules& rules, TqmRandomSource& source);
std::string GeneratePassword(const TqmPasswordRules& rules);
// log2 of the number of passwords the rules allow (those with every chosen class); 0 for rules that
// cannot be met.
double PasswordEntropyBits(const TqmPasswordRules& rules);

// --- Passphrases -------------------------------------------------------------------------------------
struct TqmPassphraseRules {
  int words = 6;
  std::string separator = "-";  // Safe text
  bool capitalize = false;      // each word's first letter upper case (adds no entropy)
};

inline constexpr int kMinPassphraseWords = 3;
inline constexpr int kMaxPassphraseWords = 20;

// The compiled-in word list, in its order.
const std::vector<std::string_view>& PassphraseWords();
// "" when a passphrase can be made under the rules; else why not (a word count outside 3..20, a
// separator longer than 3 characters or holding "<", ">" or a control character).
std::string PassphraseRulesProblem(const TqmPassphraseRules& rules);
// A new passphrase: words drawn independently from the list, joined by the separator. Throws
// EQuillmarError for rules that cannot be met.
std::string GeneratePassphrase(const TqmPassphraseRules& rules, TqmRandomSource& source);
std::string GeneratePassphrase(const TqmPassphraseRules& rules);
// words * log2(size of the list); 0 for rules that cannot be met.
double PassphraseEntropyBits(const TqmPassphraseRules& rules);

}  // namespace quillmar
