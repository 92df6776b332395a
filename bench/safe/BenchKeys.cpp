// What a hardened Safe costs an attacker and its owner, at the cost calibrated in this run:
//  - one password guess against a hardened Safe (the derivation of D, then the key record's check)
//    beside one against a compatible Safe (the key record's check alone: RIPEMD-256 of the guess, AES,
//    CRC-16): the ratio is the factor by which offline guessing is slowed;
//  - opening a hardened Safe (reading its header, deriving D, opening the container) beside the
//    derivation alone: the rest of the open must be small next to the half second spent on purpose.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>

#include "BenchReport.h"
#include "container/KeyDerivationCost.h"
#include "container/PageFileManager.h"
#include "container/SingleFileSystem.h"
#include "safe/qmSFSWrapper.h"

using namespace quillmar;
using quillmar::bench::BestSeconds;
using quillmar::bench::ReportFigure;
namespace fs = std::filesystem;

int main() {
  SetTestKdfCost(std::nullopt);  // the cost users get, whatever the environment says
  char pattern[] = "/tmp/qm-bench-keys-XXXXXX";
  if (!::mkdtemp(pattern)) return 1;
  const std::string dir = pattern;
  const std::string hardFile = dir + "/hard.qvt", oldFile = dir + "/old.qvt";
  const std::string password = "bench master password";
  int rc = 0;
  try {
    TqmSFSWrapper maker;
    maker.CreateSafe(hardFile, password, false, TqmSafeKind::Hardened);
    maker.CreateSafe(oldFile, password, false, TqmSafeKind::Compatible);
    const TKeyDerivation derivation = TqmSFSWrapper::KeyDerivationOf(hardFile);
    auto recordOf = [](const std::string& file) {
      TPageFileManager pfm(file, -1, 8, 2048, false, "", "", TTextKey(), TPageFileManager::fmReadOnly);
      return pfm.KeyRecord();
    };
    const TKeyRecord hardRecord = recordOf(hardFile), oldRecord = recordOf(oldFile);

    // A wrong guess each time, as an attacker's would be.
    bool accepted = false;
    const double hardGuess = BestSeconds(3, [&] {
      const TTextKey d = TTextKey::Derive("wrong guess", derivation);
      accepted |= hardRecord.CheckPassword(d.Text());
    });
    constexpr int kOldGuesses = 20000;
    const double oldGuess =
        BestSeconds(3,
                    [&] {
                      for (int i = 0; i < kOldGuesses; ++i)
                        accepted |= oldRecord.CheckPassword(i % 2 ? "wrong guess" : "wrong guesS");
                    }) /
        kOldGuesses;
    if (accepted) std::fprintf(stderr, "note: a wrong guess passed a key record's check (1 in 65536)\n");

    // Measured in turns, best of seven each, so that a busy spell of the machine weighs on both alike.
    double deriveAlone = 1e300, open = 1e300;
    for (int i = 0; i < 7; ++i) {
      deriveAlone = std::min(deriveAlone, BestSeconds(1, [&] { TTextKey::Derive(password, derivation); }));
      // The open alone: closing (which flushes the file) is not part of it.
      TqmSFSWrapper safe;
      open = std::min(open, BestSeconds(1, [&] { safe.OpenSafe(hardFile, password); }));
      safe.CloseSafe();
    }

    ReportFigure("keys: derivation, " + DescribeMemory(derivation.MemoryKiB) + " " +
                     std::to_string(derivation.Passes) + " passes " + std::to_string(derivation.Lanes) +
                     " lanes (s)",
                 deriveAlone, TKdfCostRules::TargetSeconds, "s vs the calibration's target",
                 "about 1 (calibrated once per run)");
    ReportFigure("keys: one password guess, hardened/compatible (us)", hardGuess * 1e6, oldGuess * 1e6,
                 "us vs a guess at a compatible Safe", "target ratio >= 100000");
    ReportFigure("keys: open a hardened Safe (s)", open, deriveAlone, "s vs the derivation alone",
                 "target ratio <= 1.1");
  } catch (const std::exception& e) {
    std::fprintf(stderr, "qm_bench_keys: %s\n", e.what());
    rc = 1;
  }
  std::error_code ec;
  fs::remove_all(dir, ec);
  return rc;
}
