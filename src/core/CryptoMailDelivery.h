#pragma once
// EncryptAndDeliver: the Zavozo Rero command without its window. Validates the password, encrypts the
// file or message into the document (CryptoMail.h), writes "Encrypted.html" to the desktop or, for
// the mail program, into a new private folder (0700) of the temporary folder, and hands it to the
// default e-mail program. (A fixed name in the shared temporary folder could be made beforehand by
// another user, and a second run would overwrite a document the mail program has not read yet.)
//
// The reply information and the choices come in as a plain struct; LoadCryptoMailOptions and
// StoreCryptoMailSettings read and write them as the Safe's settings ("st", "em", "ss", "in", "iem",
// "iw", "ia").
#include <functional>
#include <string>

#include "platform/UserFolders.h"
#include "platform/XdgEmailHandOver.h"
#include "safe/qmProgress.h"

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
  bool replyShown = true;  // "ss": the window shows the reply information
};

class TqmSettings;

// The options as the Safe's settings hold them: "st" (a value other than 0 is the mail program),
// "em", "ss", "in", "iem", "iw" and "ia" (Base64 of the text).
TqmCryptoMailOptions LoadCryptoMailOptions(const TqmSettings& settings);
// Writes the options into the settings record (the caller saves the record into the Safe). Only
// what differs from what LoadCryptoMailOptions reads from the record is written, so that options
// taken from the record and given back unchanged leave its text exactly as it was. Throws
// EQuillmarError when "in", "iem" or "iw" holds a line break (the record is then unchanged).
void StoreCryptoMailSettings(const TqmCryptoMailOptions& options, TqmSettings& settings);

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
  Cancelled,           // a cancel came before the document was written; nothing was written
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

// Runs the command. progress (safe/qmProgress.h) hears of the work done, at least once per MiB of
// data, from 0 before the work starts to 1 when the document is written; the caller shows
// CryptoMailProgressText of its percentage. A cancel asked for before the document is written
// stops the work with the outcome Cancelled and nothing written. Throws EQuillmarError (with a
// message for the user) when the file cannot be read or the document cannot be written; a document
// of the same name is then left as it was.
TqmCryptoMailResult EncryptAndDeliver(const TqmCryptoMailRequest& request, const TqmProgress& progress = {},
                                      const TqmCryptoMailDesktop& desktop = {});

// Makes a new folder private to the user (0700) in folder, for one document; throws EQuillmarError
// saying why when it cannot be made.
std::string MakePrivateFolder(const std::string& folder);

}  // namespace quillmar
