// Locking and unlocking a 512 MiB file held in memory streams, beside the physical limit of the
// format: Blowfish-CBC alone over the same bytes in one call (the chaining makes encryption serial,
// so nothing can go faster than the block cipher itself).
#include <cryptopp/blowfish.h>
#include <cryptopp/modes.h>
#include <cryptopp/sha.h>

#include <cstring>
#include <string>
#include <vector>

#include "BenchReport.h"
#include "base/MemoryStream.h"
#include "safe/LockedFileCipher.h"

using namespace quillmar;
using namespace quillmar::bench;

int main() {
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

  // The reference: Crypto++'s own CBC mode, whole buffer in one call.
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

  double tLock = BestSeconds(3, lock);
  double tCbcEnc = BestSeconds(3, cbcEncrypt);
  if (std::memcmp(out.data(), locked.Data(), static_cast<size_t>(kSize)) != 0) {
    std::fprintf(stderr, "locked bytes differ from Blowfish-CBC\n");
    return 1;
  }
  double tUnlock = BestSeconds(3, unlock);
  double tCbcDec = BestSeconds(3, cbcDecrypt);
  if (unlocked.View() != plain) {
    std::fprintf(stderr, "unlocked bytes differ from the original\n");
    return 1;
  }
  double tRekey = BestSeconds(2, rekey);

  ReportFigure("safe: lock 512 MiB file (MiB/s)", kMiB / tLock, kMiB / tCbcEnc,
               "MiB/s vs Blowfish-CBC encrypt", "target ratio >= 0.8");
  ReportFigure("safe: unlock 512 MiB file (MiB/s)", kMiB / tUnlock, kMiB / tCbcDec,
               "MiB/s vs Blowfish-CBC decrypt", "target ratio >= 0.8");
  ReportFigure("safe: re-key 512 MiB file (MiB/s)", kMiB / tRekey, kMiB / (tCbcEnc + tCbcDec),
               "MiB/s vs CBC decrypt + encrypt", "target ratio >= 0.8");
  return 0;
}
