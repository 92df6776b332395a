#include "core/CryptoMailDelivery.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>

#include "base/Base64.h"
#include "base/CodePage.h"
#include "base/DurableFile.h"
#include "base/Exception.h"
#include "base/FileStream.h"
#include "base/SecureWipe.h"
#include "core/CryptoMail.h"
#include "safe/qmSettings.h"

namespace quillmar {

namespace fs = std::filesystem;

const char* const kCryptoMailBody =
    "Please open attached HTML file with MS Internet Explorer and decrypt\r\nmessage with pre-arranged "
    "password.\r\nThis may take several minutes for larger files.\r\n\r\nYou will be prompted for the "
    "following security message:\r\n\"Do you want to trust signed applet distributed by Brelkan?\"\r\nClick "
    "YES as this action is required to decrypt the message/document.";

TqmCryptoMailRequest::~TqmCryptoMailRequest() {
  WipeString(password);
  WipeString(passwordConfirm);
}

namespace {

std::string ReadWholeFile(const std::string& path) {
  try {
    TFileStream in(path, TFileMode::Read);
    const int64_t size = in.Size();
    std::string bytes(static_cast<size_t>(size), '\0');
    int64_t got = 0;
    while (got < size) {
      const int64_t n = in.Read(bytes.data() + got, size - got);
      if (n <= 0) break;
      got += n;
    }
    bytes.resize(static_cast<size_t>(got));
    return bytes;
  } catch (const EStreamError& e) {
    throw EQuillmarError(std::string("The file to be encrypted could not be read (") + e.what() +
                         "). Check that it still exists and that you may read it, then try again.");
  }
}

// The file's name without its folder as 8-bit windows-1252 text (the code page of the document). A
// character windows-1252 cannot hold becomes "_": the name is only offered to the recipient for saving.
std::string DocumentFileName(const std::string& path) {
  const std::string utf8 = fs::path(path).filename().string();
  TCodePage cp1252("windows-1252");
  std::string out;
  for (size_t i = 0; i < utf8.size();) {
    const unsigned char lead = static_cast<unsigned char>(utf8[i]);
    size_t len = lead < 0x80           ? 1
                 : (lead >> 5) == 0x6  ? 2
                 : (lead >> 4) == 0xE  ? 3
                 : (lead >> 3) == 0x1E ? 4
                                       : 1;
    if (i + len > utf8.size()) len = 1;
    const std::string_view one(utf8.data() + i, len);
    out += cp1252.CanEncode(one) ? cp1252.FromUtf8(one) : std::string("_");
    i += len;
  }
  return out;
}

// Writes bytes to folder/name through a temporary file in the same folder, so that a failure leaves an
// existing document as it was.
std::string WriteDocument(const std::string& folder, const std::string& bytes) {
  const fs::path target = fs::path(folder) / kCryptoMailDocumentName;
  try {
    std::error_code ec;
    fs::create_directories(folder, ec);
    // Whole or not at all, and on the disk before it is offered to the mail program.
    ReplaceFileWithBytes(target.string(), bytes);
  } catch (const std::exception& e) {
    const auto* durable = dynamic_cast<const EDurableFileError*>(&e);
    throw EQuillmarError("The encrypted document could not be written to \"" + target.string() + "\" (" +
                         (durable ? durable->Reason() : std::string(e.what())) +
                         "). Check that the folder exists, that you may write to it and that the disk is not "
                         "full, then try again.");
  }
  return target.string();
}

}  // namespace

TqmMailHandOver CryptoMailHandOver(const TqmCryptoMailRequest& request, const std::string& documentPath) {
  TqmMailHandOver m;
  m.subject = kCryptoMailSubject;
  m.body = kCryptoMailBody;
  if (!request.options.email.empty()) {
    m.originatorAddress = request.options.email;
    m.originatorName = request.options.name.empty() ? request.options.email : request.options.name;
  }
  if (!request.recipient.empty()) {
    m.recipientAddress = request.recipient;
    m.recipientName = request.recipient;
  }
  m.attachment = documentPath;
  return m;
}

std::string MakePrivateFolder(const std::string& folder) {
  std::error_code ec;
  fs::create_directories(folder, ec);
  std::string path = (fs::path(folder) / "quillmar-XXXXXX").string();
  if (!::mkdtemp(path.data()))
    throw EQuillmarError("No private folder for the encrypted document could be made in \"" + folder +
                         "\" (" + std::strerror(errno) +
                         "). Check that the temporary folder exists and that you may " +
                         "write to it, then try again.");
  return path;
}

TqmCryptoMailOptions LoadCryptoMailOptions(const TqmSettings& settings) {
  const TqmCryptoMailSettings& s = settings.CryptoMail;
  TqmCryptoMailOptions o;
  o.destination = s.st.Value() == 0 ? 0 : 1;
  o.fileMode = s.em.Value();
  o.replyShown = s.ss.Value();
  o.name = s.in.Value();
  o.email = s.iem.Value();
  o.website = s.iw.Value();
  o.additional = Base64Decode(s.ia.Value());
  return o;
}

void StoreCryptoMailSettings(const TqmCryptoMailOptions& options, TqmSettings& settings) {
  TqmCryptoMailSettings& s = settings.CryptoMail;
  for (const std::string* text : {&options.name, &options.email, &options.website})
    if (!TqmSettingsString::IsStorable(*text))
      throw EQuillmarError(
          "The reply information cannot be kept: a name, e-mail address or website holds a line break.");
  const TqmCryptoMailOptions stored = LoadCryptoMailOptions(settings);
  if (options.destination != stored.destination) s.st.SetValue(options.destination == 0 ? 0 : 1);
  if (options.fileMode != stored.fileMode) s.em.SetValue(options.fileMode);
  if (options.replyShown != stored.replyShown) s.ss.SetValue(options.replyShown);
  if (options.name != stored.name) s.in.SetValue(options.name);
  if (options.email != stored.email) s.iem.SetValue(options.email);
  if (options.website != stored.website) s.iw.SetValue(options.website);
  if (options.additional != stored.additional) s.ia.SetValue(Base64Encode(options.additional));
}

TqmCryptoMailResult EncryptAndDeliver(const TqmCryptoMailRequest& request, const TqmProgress& progress,
                                      const TqmCryptoMailDesktop& desktop) {
  TqmCryptoMailResult result;
  if (request.password.size() < 5) {
    result.message = "Password needs to be at least 5 digits.";
    return result;
  }
  if (request.password != request.passwordConfirm) {
    result.message = "The passwords you typed do not match. Please type your password in both text boxes.";
    return result;
  }
  // The shares of the work: the encryption, then the parameters, then the document and its writing.
  constexpr double kEncryptShare = 0.85, kParameterShare = 0.12;
  TqmProgressMeter meter(progress);
  auto cancelled = [&] {
    result.outcome = TqmCryptoMailOutcome::Cancelled;
    result.message.clear();
    return result;
  };
  if (!meter.At(0)) return cancelled();

  const bool fileMode = request.options.fileMode;
  std::string plain = fileMode ? (request.fileName.empty() ? std::string() : ReadWholeFile(request.fileName))
                               : request.message;
  std::optional<std::string> data;
  {
    TWipeOnExit wipe(plain);
    const double total = static_cast<double>(std::max<size_t>(plain.size(), 1));
    data = CryptoMailEncrypt(request.password, plain, [&](size_t done) {
      return meter.At(kEncryptShare * static_cast<double>(done) / total);
    });
  }
  if (!data) return cancelled();
  std::string fileName =
      fileMode && !request.fileName.empty() ? DocumentFileName(request.fileName) : std::string();
  const std::string key = CryptoMailEncrypt(request.password, kCryptoMailCheckPhrase);
  const std::string encryptedName = CryptoMailEncrypt(request.password, fileName);

  TqmCryptoMailDocumentFields fields;
  int lastPercent = -1;
  fields.parameters = BuildCryptoMailParameters(key, encryptedName, *data, [&](int percent) {
    if (percent == lastPercent) return;  // one report per percent: a line is only 1 KiB
    lastPercent = percent;
    meter.At(kEncryptShare + kParameterShare * percent / 100.0);
  });
  data.reset();  // the parameter block holds it now
  if (meter.Cancelled()) return cancelled();
  fields.name = request.options.name;
  fields.email = request.options.email;
  fields.url = request.options.website;
  fields.notes = CryptoMailNotes(request.options.additional);
  const std::string document = BuildCryptoMailDocument(CryptoMailTemplate(), fields);
  fields.parameters = std::string();
  // The last moment a cancel is honoured: after this the document is written.
  if (!meter.At(kEncryptShare + kParameterShare)) return cancelled();

  if (request.options.destination == 0) {
    result.documentPath = WriteDocument(desktop.desktopFolder(), document);
    result.outcome = TqmCryptoMailOutcome::Saved;
    result.message = "Encrypt complete.";
    meter.At(1);
    return result;
  }
  result.documentPath = WriteDocument(MakePrivateFolder(desktop.tempFolder()), document);
  meter.At(1);
  if (desktop.handOver(CryptoMailHandOver(request, result.documentPath))) {
    result.outcome = TqmCryptoMailOutcome::HandedOver;
  } else {
    result.outcome = TqmCryptoMailOutcome::MailProgramMissing;
    result.message =
        "No e-mail program could be started (xdg-email was not found). The encrypted document was "
        "saved as \"" +
        result.documentPath + "\"; attach it to a message yourself.";
  }
  return result;
}

}  // namespace quillmar
