#pragma once
// 8-bit text and its conversion to and from UTF-8.
//
// Below the user interface all text is std::string holding 8-bit text in the Safe's code page, byte for
// byte as stored. TCodePage converts between that and UTF-8 (what the UI and the terminal use) through
// iconv. A character the code page cannot hold is an error (ECodePageError), never replaced: the caller
// refuses the input with the message. The message names the position of the character, never the
// text itself, since the text may be a password.
//
// windows-1252 leaves five bytes (0x81, 0x8D, 0x8F, 0x90, 0x9D) undefined; like the desktop this format
// comes from, they are read as the control characters U+0081 ... U+009D and written back as the same
// bytes, so that every stored byte survives a round trip.
#include <string>
#include <string_view>

#include "base/Exception.h"

namespace quillmar {

// Text in the Safe's 8-bit code page (the stored form).
using AnsiString = std::string;

// A text could not be converted: a character the code page cannot hold, input that is not valid
// UTF-8, or an unknown code page.
class ECodePageError : public EQuillmarError {
public:
  explicit ECodePageError(const std::string& message) : EQuillmarError(message) {}
};

class TCodePage {
public:
  // The name is an iconv code page name, for example "windows-1252" or "ISO-8859-2". Throws
  // ECodePageError when the system does not know it.
  explicit TCodePage(std::string name = DefaultName());

  const std::string& Name() const { return name_; }

  // 8-bit text to UTF-8. Throws ECodePageError when a byte has no meaning in the code page.
  std::string ToUtf8(std::string_view text) const;
  // UTF-8 to 8-bit text. Throws ECodePageError naming the (1-based) position of the first character
  // the code page cannot hold, or of the first invalid UTF-8 sequence.
  AnsiString FromUtf8(std::string_view utf8) const;
  // True when FromUtf8 would succeed.
  bool CanEncode(std::string_view utf8) const;

  // "windows-1252", unless the environment variable QUILLMAR_CODEPAGE names another code page.
  static std::string DefaultName();

private:
  std::string name_;
  bool isWindows1252_ = false;
};

}  // namespace quillmar
