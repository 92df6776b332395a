#include "base/CodePage.h"

#include <iconv.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "base/SecureWipe.h"

namespace quillmar {

namespace {

// One iconv conversion descriptor, closed on scope exit.
class TIconv {
public:
  TIconv(const std::string& to, const std::string& from) : cd_(iconv_open(to.c_str(), from.c_str())) {}
  ~TIconv() {
    if (ok()) iconv_close(cd_);
  }
  TIconv(const TIconv&) = delete;
  TIconv& operator=(const TIconv&) = delete;
  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
  iconv_t get() const { return cd_; }

private:
  iconv_t cd_;
};

bool IsUndefined1252(unsigned char b) {
  return b == 0x81 || b == 0x8D || b == 0x8F || b == 0x90 || b == 0x9D;
}

// Length of the valid UTF-8 sequence starting at s[i], or 0 when it is not valid (overlong forms,
// surrogates and code points above U+10FFFF are invalid).
size_t Utf8SequenceLength(std::string_view s, size_t i, uint32_t* codePoint) {
  unsigned char c = static_cast<unsigned char>(s[i]);
  size_t len;
  uint32_t cp;
  if (c < 0x80) {
    *codePoint = c;
    return 1;
  } else if (c >= 0xC2 && c <= 0xDF) {
    len = 2, cp = c & 0x1F;
  } else if (c >= 0xE0 && c <= 0xEF) {
    len = 3, cp = c & 0x0F;
  } else if (c >= 0xF0 && c <= 0xF4) {
    len = 4, cp = c & 0x07;
  } else {
    return 0;
  }
  if (i + len > s.size()) return 0;
  for (size_t k = 1; k < len; ++k) {
    unsigned char d = static_cast<unsigned char>(s[i + k]);
    if ((d & 0xC0) != 0x80) return 0;
    cp = cp << 6 | (d & 0x3F);
  }
  if ((len == 3 && cp < 0x800) || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
      (cp >= 0xD800 && cp <= 0xDFFF))
    return 0;
  *codePoint = cp;
  return len;
}

// Converts one piece with iconv, appending to out. On a sequence it cannot convert (or one cut off at
// the end) returns false and sets failedAt to its offset in piece.
bool ConvertPiece(iconv_t cd, std::string_view piece, std::string& out, size_t* failedAt = nullptr) {
  iconv(cd, nullptr, nullptr, nullptr, nullptr);  // reset the shift state
  char* in = const_cast<char*>(piece.data());
  size_t inLeft = piece.size();
  while (inLeft > 0) {
    char buf[256];
    char* o = buf;
    size_t oLeft = sizeof buf;
    size_t rc = iconv(cd, &in, &inLeft, &o, &oLeft);
    out.append(buf, static_cast<size_t>(o - buf));
    if (rc == static_cast<size_t>(-1) && errno != E2BIG) {
      if (failedAt != nullptr) *failedAt = piece.size() - inLeft;
      return false;
    }
  }
  char buf[64];
  char* o = buf;
  size_t oLeft = sizeof buf;
  if (iconv(cd, nullptr, nullptr, &o, &oLeft) == static_cast<size_t>(-1)) {
    if (failedAt != nullptr) *failedAt = piece.size();
    return false;
  }
  out.append(buf, static_cast<size_t>(o - buf));
  return true;
}

}  // namespace

TCodePage::TCodePage(std::string name) : name_(std::move(name)) {
  TIconv probe("UTF-8", name_);
  if (!probe.ok()) throw ECodePageError("The code page \"" + name_ + "\" is not known to this system.");
  std::string upper;
  for (char c : name_) upper += static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
  isWindows1252_ = upper == "WINDOWS-1252" || upper == "CP1252" || upper == "MS-ANSI";
}

std::string TCodePage::DefaultName() {
  const char* env = std::getenv("QUILLMAR_CODEPAGE");
  return env != nullptr && *env != '\0' ? std::string(env) : std::string("windows-1252");
}

std::string TCodePage::ToUtf8(std::string_view text) const {
  TIconv cd("UTF-8", name_);
  if (!cd.ok()) throw ECodePageError("The code page \"" + name_ + "\" is not known to this system.");
  std::string out;
  out.reserve(text.size() + text.size() / 2);
  size_t i = 0;
  while (i < text.size()) {
    // Convert up to the next undefined windows-1252 byte (or the end), then pass that byte through.
    size_t j = i;
    if (isWindows1252_) {
      while (j < text.size() && !IsUndefined1252(static_cast<unsigned char>(text[j]))) ++j;
    } else {
      j = text.size();
    }
    size_t failedAt = 0;
    if (!ConvertPiece(cd.get(), text.substr(i, j - i), out, &failedAt))
      throw ECodePageError("Byte " + std::to_string(i + failedAt + 1) +
                           " of the text has no meaning in the code page " + name_ + ".");
    if (j < text.size()) {
      out += static_cast<char>(0xC2);
      out += text[j];
      ++j;
    }
    i = j;
  }
  return out;
}

AnsiString TCodePage::FromUtf8(std::string_view utf8) const {
  TIconv cd(name_, "UTF-8");
  if (!cd.ok()) throw ECodePageError("The code page \"" + name_ + "\" is not known to this system.");
  AnsiString out;
  out.reserve(utf8.size());
  size_t position = 0;  // characters so far
  for (size_t i = 0; i < utf8.size();) {
    ++position;
    uint32_t cp = 0;
    size_t len = Utf8SequenceLength(utf8, i, &cp);
    if (len == 0)
      throw ECodePageError("Character " + std::to_string(position) + " of the text is not valid UTF-8.");
    if (cp < 0x80) {
      out += static_cast<char>(cp);
    } else if (isWindows1252_ && cp <= 0xFF && IsUndefined1252(static_cast<unsigned char>(cp))) {
      out += static_cast<char>(cp);
    } else if (!ConvertPiece(cd.get(), utf8.substr(i, len), out)) {
      throw ECodePageError("Character " + std::to_string(position) +
                           " of the text cannot be stored in the code page " + name_ +
                           ". Remove or replace it.");
    }
    i += len;
  }
  return out;
}

bool TCodePage::CanEncode(std::string_view utf8) const {
  try {
    AnsiString converted = FromUtf8(utf8);
    WipeString(converted);  // the text may be a password
    return true;
  } catch (const ECodePageError&) {
    return false;
  }
}

}  // namespace quillmar
