// Locking, unlocking and re-keying a 512 MiB file held in memory streams, beside the physical limit of
// the format on one core: Blowfish-CBC alone over the same bytes in one call. Decryption parallelises
// (each block needs only the cipher block before it), so unlocking may beat the one-core loop by the
// number of cores; encryption is one chain, so locking can at best match it, with the reading and
// writing beside it on the other cores. Each threaded figure has its one-thread value beside it.
// The same file is then locked into and unlocked from a Safe, so that the container's page cipher and
// its reads and writes count too (the Safe's journal off: the disk's syncs are not the cipher's work).
#include <cryptopp/blowfish.h>
#include <cryptopp/modes.h>
#include <cryptopp/sha.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "BenchReport.h"
#include "base/MemoryStream.h"
#include "container/SingleFileSystem.h"
#include "safe/LockedFileCipher.h"
#include "safe/qmSFSWrapper.h"

using namespace quillmar;
using namespace quillmar::bench;

int main(int argc, char** argv) {
  // "--only lock|unlock|rekey|safe" measures one group (the lock's output is made for the others
  // still, unmeasured).
  const std::string only = argc >= 3 && std::string(argv[1]) == "--only" ? argv[2] : "";
  auto wanted = [&](const char* group) { return only.empty() || only == group; };
  constexpr int64_t kSize = int64_t(512) << 20;
  constexpr double kMiB = double(kSize) / (1 << 20);
  const std::string password = "bench password";

  std::string plain(static_cast<size_t>(kSize), '\0');
  for (size_t i = 0; i < plain.size(); ++i) plain[i] = static_cast<char>((i * 2654435761u) >> 11);
  TMemoryStream source(plain);
  TMemoryStream locked;
  locked.SetSize(kSize);  // allocated up front, so the runs measure the cipher and not the allocator
  TMemoryStream unlocked;
  unlocked.SetSize(kSize);

  auto lock = [&] {
    source.SetPosition(0);
    locked.SetPosition(0);
    TLockedFileCipher::Encrypt(source, locked, password, [](int) {});
  };
  auto unlock = [&] {
    locked.SetPosition(0);
    unlocked.SetPosition(0);
    TLockedFileCipher::Decrypt(locked, unlocked, password, [](int) {});
  };
  TMemoryStream rekeyed;
  rekeyed.SetSize(kSize);
  auto rekey = [&] {
    locked.SetPosition(0);
    rekeyed.SetPosition(0);
    TLockedFileCipher::Rekey(locked, rekeyed, password, "new password", [](int) {});
  };

  // The reference: Crypto++'s own CBC mode, whole buffer in one call, on one core.
  CryptoPP::byte key[20];
  CryptoPP::SHA1().CalculateDigest(key, reinterpret_cast<const CryptoPP::byte*>(password.data()),
                                   password.size());
  CryptoPP::byte iv[8] = {0};
  CryptoPP::Blowfish::Encryption(key, sizeof key).ProcessBlock(iv);
  std::vector<CryptoPP::byte> out(static_cast<size_t>(kSize));
  auto cbcEncrypt = [&] {
    CryptoPP::CBC_Mode<CryptoPP::Blowfish>::Encryption e(key, sizeof key, iv);
    e.ProcessData(out.data(), reinterpret_cast<const CryptoPP::byte*>(plain.data()), plain.size());
  };
  auto cbcDecrypt = [&] {
    CryptoPP::CBC_Mode<CryptoPP::Blowfish>::Decryption d(key, sizeof key, iv);
    d.ProcessData(out.data(), reinterpret_cast<const CryptoPP::byte*>(locked.Data()), plain.size());
  };

  // Measured in turns (the threaded path, the one-thread path, the reference), best of each, so that a
  // busy spell of the machine weighs on all alike.
  const int threads = WorkerThreadCount();
  struct TBest {
    double many = 1e300, one = 1e300, reference = 1e300;
  };
  auto turns = [&](int repeats, auto&& ours, auto&& reference) {
    TBest best;
    for (int i = 0; i < repeats; ++i) {
      best.many = std::min(best.many, BestSeconds(1, ours));
      {
        TThreadsForBench oneThread(1);
        best.one = std::min(best.one, BestSeconds(1, ours));
      }
      best.reference = std::min(best.reference, BestSeconds(1, reference));
    }
    return best;
  };

  TBest tLock, tUnlock, tRekey;
  if (wanted("lock")) {
    tLock = turns(3, lock, cbcEncrypt);
    if (std::memcmp(out.data(), locked.Data(), static_cast<size_t>(kSize)) != 0) {
      std::fprintf(stderr, "locked bytes differ from Blowfish-CBC\n");
      return 1;
    }
  } else {
    lock();
  }
  if (wanted("unlock")) {
    tUnlock = turns(3, unlock, cbcDecrypt);
    if (unlocked.View() != plain) {
      std::fprintf(stderr, "unlocked bytes differ from the original\n");
      return 1;
    }
  }
  if (wanted("rekey")) {
    tRekey = turns(2, rekey, [&] {
      cbcDecrypt();
      cbcEncrypt();
    });
  }

  // Through a Safe (in the temporary folder): lock from memory into the File Locker, unlock into memory.
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / ("qm-bench-locker-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  const std::string safeFile = (dir / "bench.qvt").string();
  const std::string lockedPath = std::string(TqmSFSWrapper::kFileLockerRoot) + "big.bin";
  TBest tSafeLock, tSafeUnlock;
  if (wanted("safe")) {
    TqmSFSWrapper safe;
    safe.CreateEmptySafe(safeFile, password);
    const TTextKey textKey = TqmSFSWrapper::TextKeyFor(safeFile, password);
    safe.OpenSafe(safeFile, textKey);
    safe.Container()->DisableJournal();
    auto safeLock = [&] {
      source.SetPosition(0);
      safe.LockStream(lockedPath, source, textKey);
    };
    auto safeUnlock = [&] {
      unlocked.SetPosition(0);
      safe.UnlockToStream(lockedPath, unlocked, textKey);
    };
    tSafeLock = turns(2, safeLock, cbcEncrypt);
    tSafeUnlock = turns(2, safeUnlock, cbcDecrypt);
    safe.CloseSafe();
  }
  fs::remove_all(dir);
  if (wanted("safe") && unlocked.View() != plain) {
    std::fprintf(stderr, "bytes unlocked from the Safe differ from the original\n");
    return 1;
  }

  // Each figure on the machine's threads, then on one (the same reference beside both).
  auto report = [&](const std::string& what, const TBest& t, const std::string& unit,
                    const std::string& target, const std::string& oneTarget) {
    ReportFigure("safe: " + what + " (MiB/s)", kMiB / t.many, kMiB / t.reference, unit, target, threads);
    ReportFigure("safe: " + what + ", one thread", kMiB / t.one, kMiB / t.reference, unit, oneTarget, 1);
  };
  const std::string encrypt = "MiB/s vs one-core Blowfish-CBC encrypt";
  const std::string decrypt = "MiB/s vs one-core Blowfish-CBC decrypt";
  if (wanted("lock"))
    report("lock 512 MiB file", tLock, encrypt, "target ratio >= 0.97", "as before: ratio >= 0.8");
  if (wanted("unlock"))
    report("unlock 512 MiB file", tUnlock, decrypt, "target ratio >= 1.6", "as before: ratio >= 0.8");
  if (wanted("rekey"))
    report("re-key 512 MiB file", tRekey, "MiB/s vs one-core CBC decrypt + encrypt", "target ratio >= 1.4",
           "as before: ratio >= 0.8");
  if (wanted("safe")) {
    report("lock 512 MiB into a Safe", tSafeLock, encrypt, "whole path, for comparison", "for comparison");
    report("unlock 512 MiB from a Safe", tSafeUnlock, decrypt, "whole path, for comparison",
           "for comparison");
  }
  return 0;
}
