#pragma once
// The cost chosen for the key derivation of new hardened keys (a new Safe, a change of password).
//
// Rules: at least 64 MiB and 3 passes; lanes 2 on a machine with two or more cores, else 1; from
// there memory is raised (up to 1 GiB), then passes (up to 10), until one derivation takes about half
// a second on this machine. Those caps are the bounds beyond which a Safe's derivation is costly
// (TKeyDerivation::Costly): nothing this program makes goes past them. The cost is measured once per run (the
// first time a new key is made) and kept. It is stored in each container, so a Safe made on a fast machine
// still opens on a slow one (more slowly).
//
// For tests only: a low test cost replaces the calibrated one, so that test suites which make many
// Safes stay fast. It is set through SetTestKdfCost, or for programs a test runs through the
// environment variable QUILLMAR_TEST_KDF_COST="MEMORY_KIB,PASSES,LANES". The program's own windows
// and commands offer no way to set it. Without it, a cost below the minimums is refused.
#include <functional>
#include <optional>

#include "container/KeyDerivation.h"

namespace quillmar {

struct TKdfCostRules {
  static constexpr uint32_t MinMemoryKiB = 64 * 1024;
  static constexpr uint32_t MinPasses = 3;
  static constexpr uint32_t CapMemoryKiB = TKeyDerivation::UsualMaxMemoryKiB;  // 1 GiB
  static constexpr uint32_t CapPasses = TKeyDerivation::UsualMaxPasses;        // 10
  static constexpr double TargetSeconds = 0.5;
};

inline constexpr char kTestKdfCostVariable[] = "QUILLMAR_TEST_KDF_COST";

// Seconds one derivation at `cost` takes; the calibration's measure.
using TKdfTimer = std::function<double(const TKdfCost& cost)>;

// Chooses a cost by the rules above with `timeOf` as the measure (default: real Argon2id runs of a
// throw-away password). Pure apart from the measure, so it can be checked with a model of a machine.
TKdfCost CalibrateKdfCost(double targetSeconds = TKdfCostRules::TargetSeconds, const TKdfTimer& timeOf = {});

// The cost new keys get in this run: the test cost when one is set, else the calibrated cost
// (measured at the first call, then kept).
TKdfCost NewKeyCost();

// About how many seconds one derivation at `cost` takes on this machine: a small derivation is timed
// once per run (a few milliseconds) and scaled by memory times passes. For the question before a
// costly derivation and its progress; a rough figure, not a promise.
double EstimateDerivationSeconds(const TKdfCost& cost);

// A new Argon2id derivation with `cost` and 16 fresh random bytes of salt. Throws ESFSError when the
// cost is below the minimums (64 MiB, 3 passes) while no test cost is set, or breaks the reader's
// bounds.
TKeyDerivation MakeKeyDerivation(const TKdfCost& cost);
// MakeKeyDerivation(NewKeyCost()).
TKeyDerivation NewKeyDerivation();

// --- For tests only ----------------------------------------------------------------------------
// Sets the test cost of this process, or with nullopt turns test costs off (the calibrated cost is
// used whatever the environment says). Either takes precedence over the environment variable until
// ResetTestKdfCost. Throws ESFSError for a cost no reader could follow.
void SetTestKdfCost(std::optional<TKdfCost> cost);
// The environment variable decides again.
void ResetTestKdfCost();
// The test cost in force (the one set, else the environment's), if any. Throws ESFSError when the
// environment variable is set but malformed, naming it.
std::optional<TKdfCost> TestKdfCost();

}  // namespace quillmar
