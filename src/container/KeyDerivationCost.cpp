#include "container/KeyDerivationCost.h"

#include <cryptopp/osrng.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

#include "container/SFSError.h"

namespace quillmar {

namespace {

std::mutex& CostMutex() {
  static std::mutex m;
  return m;
}

// Guarded by CostMutex. Unset: the environment decides; set to nullopt: no test cost at all.
std::optional<std::optional<TKdfCost>>& SetTestCost() {
  static std::optional<std::optional<TKdfCost>> cost;
  return cost;
}
std::optional<TKdfCost>& CalibratedCost() {
  static std::optional<TKdfCost> cost;
  return cost;
}

std::string CostProblem(const TKdfCost& cost) {
  TKeyDerivation d;
  d.Algorithm = TKeyDerivation::kdArgon2id;
  if (cost.Lanes > 255) return "at most 255 lanes";
  d.Lanes = static_cast<uint8_t>(cost.Lanes);
  d.MemoryKiB = cost.MemoryKiB;
  d.Passes = cost.Passes;
  return d.Problem();
}

double RealTime(const TKdfCost& cost) {
  static const uint8_t salt[TKeyDerivation::SaltSize] = {};
  uint8_t tag[TKeyDerivation::KeySize];
  const auto t0 = std::chrono::steady_clock::now();
  Argon2id("calibration", salt, sizeof salt, {}, {}, cost, tag, sizeof tag);
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

std::optional<TKdfCost> EnvironmentCost() {
  const char* text = std::getenv(kTestKdfCostVariable);
  if (!text || !*text) return std::nullopt;
  unsigned long m = 0, t = 0, p = 0;
  char tail = 0;
  if (std::sscanf(text, "%lu,%lu,%lu%c", &m, &t, &p, &tail) != 3 || m > UINT32_MAX || t > UINT32_MAX ||
      p > UINT32_MAX)
    throw ESFSError(std::string(kTestKdfCostVariable) + " is set but is not MEMORY_KIB,PASSES,LANES.");
  TKdfCost cost{static_cast<uint32_t>(m), static_cast<uint32_t>(t), static_cast<uint32_t>(p)};
  if (std::string problem = CostProblem(cost); !problem.empty())
    throw ESFSError(std::string(kTestKdfCostVariable) + " names a cost no reader can follow.");
  return cost;
}

}  // namespace

TKdfCost CalibrateKdfCost(double targetSeconds, const TKdfTimer& timeOf) {
  const TKdfTimer measure = timeOf ? timeOf : TKdfTimer(RealTime);
  TKdfCost cost{TKdfCostRules::MinMemoryKiB, TKdfCostRules::MinPasses,
                std::thread::hardware_concurrency() >= 2 ? 2u : 1u};
  // Two runs at the floor, the faster one counting: the first also pays for the pages' first touch
  // and is the more disturbed by whatever else the machine does.
  double seconds = std::min(measure(cost), measure(cost));
  if (seconds >= targetSeconds * 0.9) return cost;  // a slow machine keeps the floor
  seconds = std::max(seconds, 1e-6);
  // The time grows with memory times passes. Memory first (what makes guessing costly on graphics
  // cards), in whole MiB up to the cap; then passes for the rest.
  const double factor = targetSeconds / seconds;
  const double memory = std::min<double>(TKdfCostRules::CapMemoryKiB, cost.MemoryKiB * factor);
  cost.MemoryKiB =
      std::max<uint32_t>(TKdfCostRules::MinMemoryKiB, static_cast<uint32_t>(memory / 1024) * 1024);
  const double left = factor * TKdfCostRules::MinMemoryKiB / cost.MemoryKiB;
  if (left > 1.0) {
    const double passes = std::round(TKdfCostRules::MinPasses * left);
    cost.Passes =
        static_cast<uint32_t>(std::clamp<double>(passes, TKdfCostRules::MinPasses, TKdfCostRules::CapPasses));
  }
  return cost;
}

double EstimateDerivationSeconds(const TKdfCost& cost) {
  // 8 MiB, one pass, one lane: long enough to measure, short enough to go unnoticed.
  static const TKdfCost probe{8 * 1024, 1, 1};
  static double probeSeconds = -1;
  {
    std::lock_guard<std::mutex> lock(CostMutex());
    if (probeSeconds < 0) probeSeconds = std::max(RealTime(probe), 1e-4);
  }
  // Lanes share the work between threads (at most 4, see Argon2id).
  const double threads =
      std::max(1u, std::min({cost.Lanes, std::max(1u, std::thread::hardware_concurrency()), 4u}));
  return probeSeconds * (double(cost.MemoryKiB) / probe.MemoryKiB) * cost.Passes / threads;
}

TKdfCost NewKeyCost() {
  if (std::optional<TKdfCost> test = TestKdfCost()) return *test;
  std::lock_guard<std::mutex> lock(CostMutex());
  if (!CalibratedCost()) CalibratedCost() = CalibrateKdfCost();
  return *CalibratedCost();
}

TKeyDerivation MakeKeyDerivation(const TKdfCost& cost) {
  if (std::string problem = CostProblem(cost); !problem.empty())
    throw ESFSError("TKeyDerivation.Make - the cost breaks the reader's bounds.");
  if ((cost.MemoryKiB < TKdfCostRules::MinMemoryKiB || cost.Passes < TKdfCostRules::MinPasses) &&
      !TestKdfCost())
    throw ESFSError("TKeyDerivation.Make - a new key needs at least " +
                    DescribeMemory(TKdfCostRules::MinMemoryKiB) + " and " +
                    std::to_string(TKdfCostRules::MinPasses) + " passes.");
  TKeyDerivation d;
  d.Algorithm = TKeyDerivation::kdArgon2id;
  d.Lanes = static_cast<uint8_t>(cost.Lanes);
  d.MemoryKiB = cost.MemoryKiB;
  d.Passes = cost.Passes;
  CryptoPP::OS_GenerateRandomBlock(false, d.Salt.data(), d.Salt.size());  // /dev/urandom
  return d;
}

TKeyDerivation NewKeyDerivation() {
  return MakeKeyDerivation(NewKeyCost());
}

void SetTestKdfCost(std::optional<TKdfCost> cost) {
  if (cost) {
    if (std::string problem = CostProblem(*cost); !problem.empty())
      throw ESFSError("SetTestKdfCost - the cost breaks the reader's bounds.");
  }
  std::lock_guard<std::mutex> lock(CostMutex());
  SetTestCost() = cost;
}

void ResetTestKdfCost() {
  std::lock_guard<std::mutex> lock(CostMutex());
  SetTestCost().reset();
}

std::optional<TKdfCost> TestKdfCost() {
  {
    std::lock_guard<std::mutex> lock(CostMutex());
    if (SetTestCost()) return *SetTestCost();
  }
  return EnvironmentCost();
}

}  // namespace quillmar
