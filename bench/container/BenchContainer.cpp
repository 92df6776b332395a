// Page cipher throughput on 2016-byte page payloads, beside a plain AES-256 loop that encrypts the same
// bytes one block per call (the physical limit of this format on one core: every page block costs one
// block-cipher call).
#include <cryptopp/aes.h>

#include <cstdint>
#include <cstdio>
#include <vector>

#include "BenchReport.h"
#include "container/ContainerKey.h"
#include "container/PageCipher.h"

using namespace quillmar;
using quillmar::bench::BestSeconds;
using quillmar::bench::ReportFigure;

namespace {

constexpr size_t kPayload = 2016;
constexpr size_t kPages = 4096;  // 8 MB per round
constexpr int kRepeats = 7;

volatile uint8_t sink;

}  // namespace

int main() {
  std::vector<uint8_t> master(32);
  for (size_t i = 0; i < master.size(); ++i) master[i] = static_cast<uint8_t>(i * 7 + 1);
  TContainerKey key = TContainerKey::FromMasterKey(master.data());
  const TPageCipher& cipher = key.Cipher();

  std::vector<uint8_t> data(kPayload * kPages);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 131 + 17);
  const double mb = static_cast<double>(data.size()) / 1e6;

  uint8_t aesKey[32];
  for (int i = 0; i < 32; ++i) aesKey[i] = static_cast<uint8_t>(i);
  CryptoPP::AES::Encryption aes(aesKey, 32);
  CryptoPP::AES::Decryption aesDec(aesKey, 32);

  double plainEnc = BestSeconds(kRepeats, [&] {
    for (size_t p = 0; p < kPages; ++p) {
      uint8_t* page = data.data() + p * kPayload;
      for (size_t b = 0; b < kPayload; b += 16) aes.ProcessBlock(page + b);
    }
  });
  double plainDec = BestSeconds(kRepeats, [&] {
    for (size_t p = 0; p < kPages; ++p) {
      uint8_t* page = data.data() + p * kPayload;
      for (size_t b = 0; b < kPayload; b += 16) aesDec.ProcessBlock(page + b);
    }
  });
  double pageEnc = BestSeconds(kRepeats, [&] {
    for (size_t p = 0; p < kPages; ++p) cipher.Encrypt(data.data() + p * kPayload, kPayload);
  });
  std::vector<uint8_t*> pagePtrs;
  for (size_t p = 0; p < kPages; ++p) pagePtrs.push_back(data.data() + p * kPayload);
  double manyEnc = BestSeconds(kRepeats, [&] { cipher.EncryptMany(pagePtrs.data(), kPages, kPayload); });
  double pageDec = BestSeconds(kRepeats, [&] {
    for (size_t p = 0; p < kPages; ++p) cipher.Decrypt(data.data() + p * kPayload, kPayload);
  });
  sink = data[12345];

  ReportFigure("container/page cipher encrypt 2016-byte pages", mb / pageEnc, mb / plainEnc,
               "MB/s vs plain AES-256 block loop", "ratio >= 0.8");
  ReportFigure("container/page cipher encrypt, pages in batches", mb / manyEnc, mb / plainEnc,
               "MB/s vs plain AES-256 block loop", "ratio >= 0.8");
  ReportFigure("container/page cipher decrypt 2016-byte pages", mb / pageDec, mb / plainDec,
               "MB/s vs plain AES-256 block loop", "ratio >= 1.0");
  return 0;
}
