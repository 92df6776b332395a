#include "cli/CliConsole.h"

#include "base/SecureWipe.h"
#include "cli/CliError.h"
#include "cli/CliItemPath.h"

namespace quillmar {

std::string TCliConsole::Show(std::string_view ansi) const {
  try {
    return codePage_.ToUtf8(ansi);
  } catch (const ECodePageError&) {
    // Convert byte by byte so that one bad byte does not hide the rest.
    std::string out;
    for (char c : ansi) {
      try {
        out += codePage_.ToUtf8(std::string_view(&c, 1));
      } catch (const ECodePageError&) {
        out += "\xEF\xBF\xBD";
      }
    }
    return out;
  }
}

std::string TCliConsole::Take(std::string_view utf8, const std::string& what) const {
  try {
    return codePage_.FromUtf8(utf8);
  } catch (const ECodePageError& e) {
    throw UsageError(what + " cannot be stored in the Safe's code page " + codePage_.Name() + ": " +
                     e.what());
  }
}

std::string TCliConsole::TakePassword(std::string_view utf8, bool forOpening) const {
  try {
    return codePage_.FromUtf8(utf8);
  } catch (const ECodePageError&) {
    // The conversion error names a position only; still, say nothing about the text.
    if (forOpening)
      throw ECliError(kExitWrongPassword,
                      "wrong master password (it holds a character that the Safe's code page " +
                          codePage_.Name() + " cannot hold)");
    throw UsageError("the password holds a character that the Safe's code page " + codePage_.Name() +
                     " cannot hold; choose another");
  }
}

void TCliConsole::Error(std::string_view utf8) {
  err_ << "quillmar-cli: " << TCliItemPath::EscapeControls(utf8) << std::endl;
}

std::string OneLine(const TCliConsole& console, std::string_view ansi) {
  std::string text = console.Show(ansi);
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' || text[i] == '\n') {
      if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      while (!out.empty() && out.back() == ' ') out.pop_back();
      out += ' ';
      while (i + 1 < text.size() && text[i + 1] == ' ') ++i;
    } else {
      out += text[i];
    }
  }
  return out;
}

}  // namespace quillmar
