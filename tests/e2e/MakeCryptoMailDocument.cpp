// Makes a Zavozo Rero document with the project's own EncryptAndDeliver, for the browser test:
//   qm_cryptomail_document --password P --out DIR (--file PATH | --message-file PATH) [--name NAME]
// writes DIR/Encrypted.html (the "desktop" is DIR) and prints the seconds the encryption took. The
// password and name are UTF-8 and are turned into windows-1252 as the window does; a message file
// holds windows-1252 bytes already.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include "base/CodePage.h"
#include "base/Exception.h"
#include "core/CryptoMailDelivery.h"
#include "support/TempDir.h"

int main(int argc, char** argv) {
  using namespace quillmar;
  TCodePage cp1252("windows-1252");
  TqmCryptoMailRequest request;
  request.options.destination = 0;
  std::string out;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string opt = argv[i], value = argv[i + 1];
    if (opt == "--password")
      request.password = request.passwordConfirm = cp1252.FromUtf8(value);
    else if (opt == "--out")
      out = value;
    else if (opt == "--file")
      request.options.fileMode = true, request.fileName = value;
    else if (opt == "--message-file")
      request.options.fileMode = false, request.message = test::ReadFileBytes(value);
    else if (opt == "--name")
      request.options.name = cp1252.FromUtf8(value);
    else {
      std::fprintf(stderr, "unknown option %s\n", opt.c_str());
      return 2;
    }
  }
  TqmCryptoMailDesktop desktop;
  desktop.desktopFolder = [&] { return out; };
  try {
    if (out.empty()) throw EQuillmarError("--out is missing");
    const auto t0 = std::chrono::steady_clock::now();
    const TqmCryptoMailResult result = EncryptAndDeliver(request, {}, desktop);
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    if (result.outcome != TqmCryptoMailOutcome::Saved) {
      std::fprintf(stderr, "%s\n", result.message.c_str());
      return 1;
    }
    std::printf("%.3f\n", s);
  } catch (const EQuillmarError& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  return 0;
}
