#include "core/qmKeyDerivationRun.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>

#include "base/SecretMemory.h"
#include "container/KeyDerivationCost.h"

namespace quillmar {

namespace {

// One derivation on a thread of its own; shared with the thread, so that an abandoned one can end
// on its own.
class TDerivationJob {
public:
  TDerivationJob(std::string_view password, const TKeyDerivation& derivation)
      : password_(password.begin(), password.end()), derivation_(derivation) {}

  void Run() {
    TTextKey key;
    std::exception_ptr error;
    try {
      key = TTextKey::Derive(std::string_view(password_.data(), password_.size()), derivation_);
    } catch (...) {
      error = std::current_exception();
    }
    std::lock_guard<std::mutex> lock(mutex_);
    password_ = TSecretChars();  // wiped: the key is made
    key_ = key;
    error_ = error;
    done_ = true;
    cv_.notify_all();
  }
  // True once the derivation ended (within timeout).
  bool Wait(std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(mutex_);
    return cv_.wait_for(lock, timeout, [this] { return done_; });
  }
  TTextKey Result() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (error_) std::rethrow_exception(error_);
    return key_;
  }

private:
  std::mutex mutex_;
  std::condition_variable cv_;
  bool done_ = false;
  TSecretChars password_;
  TKeyDerivation derivation_;
  TTextKey key_;
  std::exception_ptr error_;
};

}  // namespace

std::string DurationText(double seconds) {
  if (seconds < 90) return "about " + std::to_string(std::max(1L, std::lround(seconds))) + " seconds";
  if (seconds < 90 * 60) return "about " + std::to_string(std::lround(seconds / 60)) + " minutes";
  return "about " + std::to_string(std::lround(seconds / 3600)) + " hours";
}

std::string CostlyDerivationQuestion(const std::string& safeName, const TKeyDerivation& derivation) {
  const double seconds = EstimateDerivationSeconds(derivation.Cost());
  return "The Safe " + safeName + " asks for a key derivation of " + derivation.CostText() +
         ", more than this program ever uses (at most " +
         std::to_string(TKeyDerivation::UsualMaxMemoryKiB / (1024 * 1024)) + " GiB of memory and " +
         std::to_string(TKeyDerivation::UsualMaxPasses) +
         " passes). The file was made elsewhere or changed, possibly to make opening it cost you time and "
         "memory. Opening it takes " +
         DurationText(seconds) + " on this computer, every time. Open it anyway?";
}

TTextKey DeriveWithProgress(std::string_view password, const TKeyDerivation& derivation,
                            const TqmProgress& progress, double estimateSeconds) {
  if (!progress || !derivation.Hardened()) return TTextKey::Derive(password, derivation);
  // Refused (with its reason) before a thread or any memory is taken for it.
  if (std::string problem = derivation.Problem(); !problem.empty())
    return TTextKey::Derive(password, derivation);
  const double estimate =
      estimateSeconds >= 0 ? estimateSeconds : EstimateDerivationSeconds(derivation.Cost());
  if (estimate <= 1.0) return TTextKey::Derive(password, derivation);

  auto job = std::make_shared<TDerivationJob>(password, derivation);
  std::thread([job] { job->Run(); }).detach();
  TqmProgressMeter meter(progress, 1.0);
  const auto start = std::chrono::steady_clock::now();
  while (!job->Wait(std::chrono::milliseconds(100))) {
    const double spent = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    // Past the estimate the bar waits just short of the end.
    if (!meter.At(std::min(0.99, spent / estimate))) throw EDerivationCancelled();
  }
  TTextKey key = job->Result();
  meter.At(1.0);
  return key;
}

}  // namespace quillmar
