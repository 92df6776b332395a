#pragma once
// The Zavozo Rero document format: the cipher, the parameter block and the HTML document.
//
// Cipher (CryptoMailEncrypt): the key is the SHA-1 digest (20 bytes) of the password's 8-bit text,
// used whole as a 160-bit Blowfish key. The initial vector is eight zero bytes encrypted once with
// that key. The bytes are encrypted with Blowfish in 8-bit cipher feedback (an 8-byte register that
// starts as the initial vector; per byte: encrypt the register, XOR the byte with the first byte of
// the result, shift the register left by one byte and append the cipher byte), and the cipher bytes
// are written as Base64 (standard alphabet, "=" padding, no line breaks). Every value starts again
// from the same initial vector, so the output has exactly the Base64 length of the input.
//
// The document carries the encrypted values as parameters of the decryptor element: "key" (the check
// phrase encrypted, so that the decryptor can tell a wrong password), "file_name" (the encrypted name
// of the file, empty for a message), "count" N = (length of the data text) / 1024 + 1, and the data
// text cut into N + 1 parameters "0" ... "N" of at most 1024 characters (the last one or two empty).
// The decryptor that reads them is plain JavaScript inside the template; the applet element and its
// parameters stay as they are for any reader of the older form.
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace quillmar {

// The fixed text whose encryption lets the decryptor recognise the password (40 characters).
inline constexpr std::string_view kCryptoMailCheckPhrase = "Silver kites drift over the quiet harbor";

// Characters of the data text per data parameter.
inline constexpr size_t kCryptoMailParameterSize = 1024;

// The decryptor's base address written into the applet element ("codebase" and the "codeBase"
// parameter). The decryptor itself is now embedded in the page, so this is a relative address that
// never makes the browser go to the network.
inline constexpr std::string_view kCryptoMailCodebase = "java";

// The progress text shown while a document is assembled ("... 37% of 100% complete").
std::string CryptoMailProgressText(int percent);

// Encrypts the bytes of plain under password (8-bit text, used as it is) and returns the Base64 text
// of the cipher bytes. Empty plain gives "". The derived key is wiped before returning.
std::string CryptoMailEncrypt(std::string_view password, std::string_view plain);
// The same for long data: step(bytesDone) is called after every kCryptoMailStep bytes and at the
// end; when it returns false the work stops and the result is nothing.
inline constexpr size_t kCryptoMailStep = size_t(1) << 20;
std::optional<std::string> CryptoMailEncrypt(std::string_view password, std::string_view plain,
                                             const std::function<bool(size_t bytesDone)>& step);

// The parameter block P: the "key", "file_name" and "count" lines, then the N + 1 data lines, each
// ended by CR LF. progress(percent) is called after each data line with i * 100 / N (0 ... 100).
std::string BuildCryptoMailParameters(std::string_view key, std::string_view fileName, std::string_view data,
                                      const std::function<void(int percent)>& progress = {});

// The notes as the document shows them: every CR LF replaced by "<br>".
std::string CryptoMailNotes(std::string_view additional);

// Replaces every occurrence of pattern in text, ignoring the letter case of ASCII letters, by value.
// The replaced value is not searched again.
std::string ReplaceAllIgnoreCase(std::string_view text, std::string_view pattern, std::string_view value);

// What the template's placeholders are replaced by. The texts are 8-bit (windows-1252) and are
// inserted as they are, without HTML escaping.
struct TqmCryptoMailDocumentFields {
  std::string name;                           // "{%name%}"
  std::string email;                          // "{%email%}"
  std::string url;                            // "{%url%}"
  std::string notes;                          // "{%addidtional%}" (already with "<br>", see CryptoMailNotes)
  std::string parameters;                     // "{%encrypteddata%}" (see BuildCryptoMailParameters)
  std::string codebase{kCryptoMailCodebase};  // "{%codebase%}"
};

// The document: templ with its six placeholders replaced in this order, each of every occurrence and
// ignoring letter case: name, email, url, notes, encrypted data, codebase. A value inserted by an
// earlier replacement is seen by the later ones (the order is part of the format).
std::string BuildCryptoMailDocument(std::string_view templ, const TqmCryptoMailDocumentFields& fields);

// The HTML template "IDH_CM_TEMPLATE" compiled into the program (windows-1252, CR LF).
std::string_view CryptoMailTemplate();

}  // namespace quillmar
