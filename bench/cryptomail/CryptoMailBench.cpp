// Zavozo Rero: encrypting a 32 MiB file into its document (EncryptAndDeliver, from reading the file to
// the written document) beside the limit of the format, a plain Blowfish 8-bit cipher feedback loop
// over the same bytes: one block encryption per byte, nothing else.
#include <crypto++/blowfish.h>
#include <crypto++/modes.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "BenchReport.h"
#include "core/CryptoMail.h"
#include "core/CryptoMailDelivery.h"

namespace {

using namespace quillmar;
namespace fs = std::filesystem;

// The format's cipher written as the plainest loop: encrypt the register, XOR, shift, append.
void PlainCfb8(const CryptoPP::byte* key, CryptoPP::byte* data, size_t n) {
  CryptoPP::Blowfish::Encryption bf(key, 20);
  CryptoPP::byte reg[8] = {0}, out[8];
  bf.ProcessBlock(reg);
  for (size_t i = 0; i < n; ++i) {
    bf.ProcessBlock(reg, out);
    data[i] ^= out[0];
    std::memmove(reg, reg + 1, 7);
    reg[7] = data[i];
  }
}

}  // namespace

int main() {
  constexpr size_t kSize = 32u << 20;
  const double mib = static_cast<double>(kSize) / (1 << 20);
  const fs::path dir = fs::temp_directory_path() / ("qm-bench-cryptomail-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  std::string bytes(kSize, '\0');
  uint32_t seed = 1;
  for (auto& c : bytes) c = static_cast<char>((seed = seed * 1664525u + 1013904223u) >> 24);
  const std::string source = (dir / "source.bin").string();
  {
    FILE* f = std::fopen(source.c_str(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
  }

  CryptoPP::byte key[20];
  for (int i = 0; i < 20; ++i) key[i] = static_cast<CryptoPP::byte>(i * 7 + 1);
  std::string work = bytes;
  const double plain = bench::BestSeconds(3, [&] {
    std::memcpy(work.data(), bytes.data(), kSize);
    PlainCfb8(key, reinterpret_cast<CryptoPP::byte*>(work.data()), kSize);
  });

  TqmCryptoMailRequest request;
  request.password = request.passwordConfirm = "benchmark password";
  request.options.destination = 0;
  request.options.fileMode = true;
  request.fileName = source;
  TqmCryptoMailDesktop desktop;
  desktop.desktopFolder = [&] { return (dir / "out").string(); };
  const double whole = bench::BestSeconds(3, [&] { EncryptAndDeliver(request, {}, desktop); });
  const double cipherOnly = bench::BestSeconds(3, [&] { CryptoMailEncrypt(request.password, bytes); });

  bench::ReportFigure("cryptomail encrypt 32 MiB file to document", mib / whole, mib / plain,
                      "MiB/s vs plain Blowfish CFB-8 loop", "ratio >= 0.8");
  bench::ReportFigure("cryptomail CryptoMailEncrypt 32 MiB", mib / cipherOnly, mib / plain,
                      "MiB/s vs plain Blowfish CFB-8 loop", "ratio >= 0.9");
  fs::remove_all(dir);
  return 0;
}
