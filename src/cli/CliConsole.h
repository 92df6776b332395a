#pragma once
// TCliConsole: the program's standard output and error, and the conversion between the terminal's
// UTF-8 and the 8-bit text of the Safe (its code page, windows-1252 unless QUILLMAR_CODEPAGE names
// another).
//
// Everything a command prints passes through Show, everything it takes from the command line (names,
// values, passwords) through Take: a character the code page cannot hold is refused with a usage
// error that names the argument and the position, never its text (it may be a password).
#include <ostream>
#include <string>
#include <string_view>

#include "base/CodePage.h"

namespace quillmar {

class TCliConsole {
public:
  TCliConsole(std::ostream& out, std::ostream& err) : out_(out), err_(err) {}

  std::ostream& Out() { return out_; }
  std::ostream& Err() { return err_; }
  const TCodePage& CodePage() const { return codePage_; }

  // 8-bit Safe text as UTF-8. A byte the code page has no character for is shown as U+FFFD.
  std::string Show(std::string_view ansi) const;
  // A command-line text in the Safe's code page. what names it in the error ("the value of --set").
  std::string Take(std::string_view utf8, const std::string& what) const;
  // The same for a password: the error is "3" (it cannot be the password of any Safe) when
  // forOpening, else a usage error.
  std::string TakePassword(std::string_view utf8, bool forOpening) const;

  // One line on standard output (text already UTF-8).
  void Line(std::string_view utf8) { out_ << utf8 << '\n'; }
  // An error line on standard error: "quillmar-cli: " + text, its control characters (a line break
  // in a name the user gave) written "\x0A" so that it stays one line.
  void Error(std::string_view utf8);

private:
  std::ostream& out_;
  std::ostream& err_;
  TCodePage codePage_;
};

// A message text of the layers below (8-bit, may hold CR LF) as one UTF-8 line.
std::string OneLine(const TCliConsole& console, std::string_view ansi);

}  // namespace quillmar
