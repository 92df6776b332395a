#pragma once
// EncryptAndDeliver: the Zavozo Rero command without its window. Validates the password, encrypts the
// file or message into the document (CryptoMail.h), writes "Encrypted.html" to the desktop or to the
// temporary folder and, for the latter, hands it to the default e-mail program.
//
// The reply information and the choices come in as a plain struct; reading and writing them as the
// Safe's settings ("st", "em", "in", "iem", "iw", "ia"; "ss" is the window's own) belongs to the
// application core.
#include <functional>
#include <string>

#include "platform/UserFolders.h"
#include "platform/XdgEmailHandOver.h"

namespace quillmar {

// What the application core keeps in the Safe's settings for Zavozo Rero. Texts are 8-bit
// (windows-1252), as typed.
struct TqmCryptoMailOptions {
  int destination = 1;     // "st": 0 the desktop, 1 the default e-mail program
  bool fileMode = true;    // "em": encrypt the file (true) or the typed message (false)
  std::string name;        // "in"  riName
  std::string email;       // "iem" riEMail
  std::string website;     // "iw"  riWebsite
  std::string additional;  // "ia"  riAdditional, as typed with CR LF (the settings hold its Base64)
};

// One run of the command. The password texts are wiped when the request dies.
struct TqmCryptoMailRequest {
  TqmCryptoMailOptions options;
  std::string fileName;  // path of the file to encrypt (file mode); empty: the document carries no data
  std::string message;   // 8-bit text (message mode)
  std::string password;  // 8-bit text, at least 5 characters
  std::string passwordConfirm;
  std::string recipient;  // the recipient's e-mail address (mail program only)
  ~TqmCryptoMailRequest();
};

// Where the document goes; tests put other folders and a recording hand-over here.
struct TqmCryptoMailDesktop {
  std::function<std::string()> desktopFolder = DesktopFolder;
  std::function<std::string()> tempFolder = TempFolder;
  std::function<bool(const TqmMailHandOver&)> handOver = HandOverToMailProgram;
};

enum class TqmCryptoMailOutcome {
  Refused,             // a validation failure; message says why (warning), nothing was written
  Saved,               // written to the desktop; message is "Encrypt complete." (information)
  HandedOver,          // written to the temporary folder and handed to the mail program; no message
  MailProgramMissing,  // written to the temporary folder, but no mail program could be started (warning)
};

struct TqmCryptoMailResult {
  TqmCryptoMailOutcome outcome = TqmCryptoMailOutcome::Refused;
  std::string message;       // text for the user, empty when nothing is to be shown
  std::string documentPath;  // the written document, empty when refused
};

inline constexpr const char* kCryptoMailDocumentName = "Encrypted.html";
inline constexpr const char* kCryptoMailSubject = "Brelkan Quillmar: Encrypted message/document";
extern const char* const kCryptoMailBody;

// The message to the mail program for the written document.
TqmMailHandOver CryptoMailHandOver(const TqmCryptoMailRequest& request, const std::string& documentPath);

// Runs the command. progress(percent) lets the caller show CryptoMailProgressText(percent) and let
// window events run; it is called with 0 before the work starts and then after every data
// parameter. Throws EQuillmarError (with a message for the user) when the file cannot be read or the
// document cannot be written; a document of the same name is then left as it was.
TqmCryptoMailResult EncryptAndDeliver(const TqmCryptoMailRequest& request,
                                      const std::function<void(int percent)>& progress = {},
                                      const TqmCryptoMailDesktop& desktop = {});

}  // namespace quillmar
