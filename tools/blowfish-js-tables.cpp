// Prints the initial Blowfish P-array and S-boxes (hexadecimal digits of pi, from the published
// algorithm) as JavaScript array literals, for the decryptor embedded in the Zavozo Rero document
// template (src/core/resources/IDH_CM_TEMPLATE.html). The tables are taken from Crypto++ so that the
// browser and the program share one source; the core test CryptoMailTemplateTest compares the
// template's copy with Crypto++'s again on every run.
//
// Build and run by hand when the template is rewritten:
//   g++ -std=c++20 -O1 tools/blowfish-js-tables.cpp -o /tmp/bf-tables $(pkg-config --cflags --libs
//   libcrypto++) /tmp/bf-tables > /tmp/tables.js
#include <cstdint>
#include <cstdio>

// Crypto++ keeps its initial tables in a private class; its library exports them, so they are named
// here by their symbols.
extern const uint32_t kBlowfishPInit[18] __asm__("_ZN8CryptoPP8Blowfish4Base6p_initE");
extern const uint32_t kBlowfishSInit[1024] __asm__("_ZN8CryptoPP8Blowfish4Base6s_initE");

namespace {
void PrintArray(const char* name, const uint32_t* words, int count) {
  std::printf("var %s = [", name);
  for (int i = 0; i < count; ++i) {
    if (i % 8 == 0) std::printf("\r\n  ");
    std::printf("0x%08x%s", static_cast<unsigned>(words[i]), i + 1 < count ? "," : "");
  }
  std::printf("];\r\n");
}
}  // namespace

int main() {
  PrintArray("BF_P", kBlowfishPInit, 18);
  PrintArray("BF_S", kBlowfishSInit, 4 * 256);
  return 0;
}
