// The password generator (classes, look-alikes, passphrases, entropy, an unbiased draw from the
// system's random source) and the strength estimate's bands.
#include <gtest/gtest.h>

#include <cmath>
#include <deque>
#include <map>
#include <set>

#include "base/Exception.h"
#include "core/qmPasswordGenerator.h"
#include "core/qmPasswordStrength.h"
#include "model/RecordCheck.h"
#include "model/qmRepositoryEntry.h"

namespace quillmar {
namespace {

// Gives the numbers it was handed, in order.
class TScriptedRandom : public TqmRandomSource {
public:
  explicit TScriptedRandom(std::deque<uint32_t> values) : values_(std::move(values)) {}
  uint32_t Next32() override {
    EXPECT_FALSE(values_.empty()) << "more numbers drawn than scripted";
    if (values_.empty()) return 0;
    const uint32_t v = values_.front();
    values_.pop_front();
    return v;
  }
  size_t Left() const { return values_.size(); }

private:
  std::deque<uint32_t> values_;
};

// The chi-square value above which a fair draw over `cells` equally likely cells lands with a
// probability below 1e-12 (Wilson-Hilferty, z = 7.04): a bound no fair run reaches in practice, which
// a modulo bias of a byte-sized draw (some cells 25 % more likely) exceeds many times over.
double ChiSquareBound(size_t cells) {
  const double k = static_cast<double>(cells - 1);
  const double a = 2.0 / (9.0 * k);
  return k * std::pow(1.0 - a + 7.04 * std::sqrt(a), 3);
}

TEST(PasswordGenerator, TheDrawRejectsTheNumbersThatWouldBiasIt) {
  // 2^32 mod 62 is 4: the numbers 0..3 are drawn again, so every result is reached equally often.
  TScriptedRandom source({0, 3, 66});
  EXPECT_EQ(UniformBelow(62, source), 66u % 62u);
  EXPECT_EQ(source.Left(), 0u);
  TScriptedRandom top({0xFFFFFFFFu});
  EXPECT_EQ(UniformBelow(62, top), 0xFFFFFFFFu % 62u);
  TScriptedRandom one({12345});
  EXPECT_EQ(UniformBelow(1, one), 0u);
  TScriptedRandom power({0, 0xFFFFFFFFu});  // a power of two never rejects
  EXPECT_EQ(UniformBelow(64, power), 0u);
}

TEST(PasswordGenerator, EveryClassAppearsAndEachIsUniformWithinItself) {
  TqmPasswordRules rules;  // all four classes, 20 characters
  const auto classes = PasswordClasses(rules);
  ASSERT_EQ(classes.size(), 4u);
  std::map<char, size_t> counts;
  TqmSystemRandom random;
  for (int i = 0; i < 10000; ++i) {
    const std::string p = GeneratePassword(rules, random);
    ASSERT_EQ(p.size(), 20u);
    for (const auto& c : classes) ASSERT_NE(p.find_first_of(c), std::string::npos) << "a class was starved";
    for (char ch : p) ++counts[ch];
  }
  for (const auto& c : classes) {
    size_t total = 0;
    for (char ch : c) total += counts[ch];
    const double expected = static_cast<double>(total) / static_cast<double>(c.size());
    double chi = 0;
    for (char ch : c) chi += std::pow(static_cast<double>(counts[ch]) - expected, 2) / expected;
    EXPECT_LT(chi, ChiSquareBound(c.size())) << "class " << c;
  }
  // As short as the number of classes: one of each, in every order.
  rules.length = 4;
  for (int i = 0; i < 200; ++i) {
    const std::string p = GeneratePassword(rules, random);
    for (const auto& c : classes) EXPECT_NE(p.find_first_of(c), std::string::npos) << p;
  }
}

TEST(PasswordGenerator, RulesLookAlikesAndEntropy) {
  TqmPasswordRules rules;
  rules.noLookAlikes = true;
  for (const auto& c : PasswordClasses(rules))
    EXPECT_EQ(c.find_first_of("Il1|O0o`'\""), std::string::npos) << c;
  // Symbols never build a record's markers: a generated password is always stored exactly.
  rules.noLookAlikes = false;
  rules.length = 200;
  TqmRepositoryEntry e;
  e.Fields().Add(TqmField(0, "Password", ftPassword, false, GeneratePassword(rules)));
  EXPECT_EQ(RecordProblem(e), "");
  EXPECT_EQ(PasswordClasses(rules)[3].find_first_of("<>"), std::string::npos);

  TqmPasswordRules digits;
  digits.upper = digits.lower = digits.symbols = false;
  digits.length = 4;
  EXPECT_NEAR(PasswordEntropyBits(digits), std::log2(1e4), 1e-9);
  // Two classes of two characters: 2 * 26 * 10 passwords hold one of each.
  TqmPasswordRules two = digits;
  two.lower = true;
  two.length = 2;
  EXPECT_NEAR(PasswordEntropyBits(two), std::log2(520.0), 1e-9);
  EXPECT_NEAR(PasswordEntropyBits(TqmPasswordRules{}), 20 * std::log2(92.0), 0.5);

  TqmPasswordRules none = digits;
  none.digits = false;
  EXPECT_NE(PasswordRulesProblem(none), "");
  EXPECT_EQ(PasswordEntropyBits(none), 0);
  EXPECT_THROW(GeneratePassword(none), EQuillmarError);
  TqmPasswordRules tooShort;
  tooShort.length = 3;  // four classes cannot fit
  EXPECT_NE(PasswordRulesProblem(tooShort), "");
  tooShort.length = kMaxGeneratedLength + 1;
  EXPECT_NE(PasswordRulesProblem(tooShort), "");
}

TEST(PasswordGenerator, PassphrasesComeFromTheWordList) {
  const auto& words = PassphraseWords();
  EXPECT_EQ(words.size(), 7776u);
  EXPECT_EQ(std::set<std::string_view>(words.begin(), words.end()).size(), words.size()) << "no repeats";
  for (auto w : words)
    ASSERT_TRUE(!w.empty() && w.find_first_not_of("abcdefghijklmnopqrstuvwxyz-") == w.npos) << w;

  TqmPassphraseRules rules;
  rules.words = 5;
  rules.separator = " ";
  rules.capitalize = true;
  const std::string phrase = GeneratePassphrase(rules);
  size_t count = 0;
  for (size_t start = 0; start <= phrase.size(); ++count) {
    const size_t end = std::min(phrase.find(' ', start), phrase.size());
    std::string word = phrase.substr(start, end - start);
    ASSERT_FALSE(word.empty());
    EXPECT_TRUE(word[0] >= 'A' && word[0] <= 'Z') << word;
    word[0] = static_cast<char>(word[0] - 'A' + 'a');
    EXPECT_NE(std::find(words.begin(), words.end(), word), words.end()) << word;
    start = end + 1;
  }
  EXPECT_EQ(count, 5u);
  EXPECT_NEAR(PassphraseEntropyBits(rules), 5 * std::log2(7776.0), 1e-9);
  rules.separator = "<";
  EXPECT_NE(PassphraseRulesProblem(rules), "");
  EXPECT_THROW(GeneratePassphrase(rules), EQuillmarError);
  rules.separator = "-";
  rules.words = 2;
  EXPECT_NE(PassphraseRulesProblem(rules), "");
}

TEST(PasswordStrength, BandsFollowTheEstimatedBits) {
  EXPECT_EQ(StrengthBandOf(0), TqmStrengthBand::VeryWeak);
  EXPECT_EQ(StrengthBandOf(27.9), TqmStrengthBand::VeryWeak);
  EXPECT_EQ(StrengthBandOf(28), TqmStrengthBand::Weak);
  EXPECT_EQ(StrengthBandOf(36), TqmStrengthBand::Fair);
  EXPECT_EQ(StrengthBandOf(60), TqmStrengthBand::Strong);
  EXPECT_EQ(StrengthBandOf(128), TqmStrengthBand::VeryStrong);
  EXPECT_EQ(StrengthBandOf(std::nan("")), TqmStrengthBand::VeryWeak);
  EXPECT_STREQ(StrengthBandName(TqmStrengthBand::Fair), "Fair");

  EXPECT_EQ(EstimateStrength("").bits, 0);
  // A common password and a keyboard walk are very weak, whatever their length.
  EXPECT_EQ(EstimateStrength("password").band, TqmStrengthBand::VeryWeak);
  EXPECT_EQ(EstimateStrength("qwertyuiop").band, TqmStrengthBand::VeryWeak);
  // The estimate sees dictionary words where character counting would not.
  EXPECT_LT(EstimateStrength("Password1!").bits, EstimateStrength("x7#Qm9!kLp").bits);
  // What the generator makes is strong: twenty random characters, six words.
  TqmPasswordRules rules;
  EXPECT_GE(EstimateStrength(GeneratePassword(rules)).band, TqmStrengthBand::Strong);
  TqmPassphraseRules phrase;
  phrase.words = 6;
  EXPECT_GE(EstimateStrength(GeneratePassphrase(phrase)).bits, 60);
  rules.length = 64;
  EXPECT_EQ(EstimateStrength(GeneratePassword(rules)).band, TqmStrengthBand::VeryStrong);
}

}  // namespace
}  // namespace quillmar
