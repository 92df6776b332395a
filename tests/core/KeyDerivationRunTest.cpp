// The login's key derivation: a cost beyond what this program writes is run only with the user's
// agreement, and a long derivation reports progress and can be given up.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "container/KeyDerivationCost.h"
#include "container/SingleFileSystem.h"
#include "core/qmGlobal.h"
#include "core/qmKeyDerivationRun.h"
#include "support/ContainerDamage.h"
#include "support/ExpectThrow.h"
#include "support/ScriptedPrompter.h"
#include "support/TempDir.h"

namespace quillmar {
namespace {

using test::TempDir;
using test::TScriptedPrompter;

constexpr char kPassword[] = "derive me";

TKeyDerivation Argon(uint32_t memoryKiB, uint32_t passes) {
  TKeyDerivation d;
  d.Algorithm = TKeyDerivation::kdArgon2id;
  d.Lanes = 1;
  d.MemoryKiB = memoryKiB;
  d.Passes = passes;
  return d;
}

class CostlyDerivation : public ::testing::Test {
protected:
  CostlyDerivation() : g_(dir_.file("home"), {"quillmar"}, &prompter_) {
    g_.CreateSafe(g_.SafeFile("Main"), kPassword);  // hardened, at the tests' tiny cost
  }
  TempDir dir_;
  TScriptedPrompter prompter_;
  TqmGlobal g_;
};

TEST_F(CostlyDerivation, TheUserIsAskedWithTheCostAndNoLeavesTheSafeUnopened) {
  test::SetKeyDerivationCost(g_.SafeFile("Main"), 2u * 1024 * 1024, 20);
  prompter_.ExpectYesNo(false);
  const std::string refused =
      test::ExpectThrow<ECostlyDerivation>([&] { g_.TextKeyFor(g_.SafeFile("Main"), kPassword); });
  ASSERT_EQ(prompter_.Questions.size(), 1u);
  const std::string& question = prompter_.Questions[0];
  EXPECT_NE(question.find("The Safe Main asks for a key derivation of 2 GiB of memory and 20 passes"),
            std::string::npos)
      << question;
  EXPECT_NE(question.find("on this computer"), std::string::npos) << question;
  EXPECT_NE(question.find("Open it anyway?"), std::string::npos) << question;
  EXPECT_NE(refused.find("was not opened"), std::string::npos) << refused;
  // The Safe layer's own checks refuse it too, without asking (nobody agreed).
  EXPECT_EQ(g_.CheckSafe(g_.SafeFile("Main"), kPassword, false), TqmSFSWrapper::csCannotOpen);
  EXPECT_THROW(TqmSFSWrapper::TextKeyFor(g_.SafeFile("Main"), kPassword), ECostlyDerivation);
  // Without anyone to ask it is refused as well.
  g_.SetPrompter(nullptr);
  EXPECT_THROW(g_.TextKeyFor(g_.SafeFile("Main"), kPassword), ECostlyDerivation);
  g_.SetPrompter(&prompter_);
}

TEST_F(CostlyDerivation, YesRunsTheDerivationTheHeaderNames) {
  const TTextKey usual = g_.TextKeyFor(g_.SafeFile("Main"), kPassword);  // no question
  EXPECT_TRUE(prompter_.Questions.empty());
  test::SetKeyDerivationCost(g_.SafeFile("Main"), 64, 11);  // costly by its passes, and cheap to run
  prompter_.ExpectYesNo(true);
  const TTextKey key = g_.TextKeyFor(g_.SafeFile("Main"), kPassword);
  EXPECT_EQ(key.Derivation().Passes, 11u);
  EXPECT_FALSE(key == usual);
  EXPECT_NE(prompter_.Questions.at(0).find("64 KiB of memory and 11 passes"), std::string::npos);
}

TEST(DeriveWithProgress, ReportsUpToTheEndAndGivesTheSameKey) {
  const TKeyDerivation d = Argon(64, 2);
  std::vector<double> seen;
  const TTextKey key = DeriveWithProgress(
      kPassword, d, [&](double fraction, bool&) { seen.push_back(fraction); }, 100);
  EXPECT_TRUE(key == TTextKey::Derive(kPassword, d));
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen.back(), 1.0);
  for (size_t i = 1; i < seen.size(); ++i) EXPECT_LE(seen[i - 1], seen[i]);
  // A derivation expected to be short just runs.
  seen.clear();
  EXPECT_TRUE(DeriveWithProgress(
                  kPassword, d, [&](double f, bool&) { seen.push_back(f); }, 0.5) ==
              TTextKey::Derive(kPassword, d));
  EXPECT_TRUE(seen.empty());
}

TEST(DeriveWithProgress, ACancelReturnsWhileTheDerivationRunsOn) {
  // Long enough (64 MiB, 8 passes) to be running at the first report, a tenth of a second in.
  const TKeyDerivation d = Argon(64 * 1024, 8);
  int reports = 0;
  EXPECT_THROW(DeriveWithProgress(
                   kPassword, d,
                   [&](double fraction, bool& cancel) {
                     ++reports;
                     EXPECT_LT(fraction, 1.0);
                     cancel = true;
                   },
                   100),
               EDerivationCancelled);
  EXPECT_EQ(reports, 1);
}

}  // namespace
}  // namespace quillmar
