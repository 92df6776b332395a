#pragma once
// Converting text between the layers below the desktop and Qt.
//
//  - Safe text (records, settings, passwords, names inside a Safe) is 8-bit text in the Safe's code
//    page (base/CodePage.h). Converting a QString into it refuses a character the code page cannot
//    hold, with a message; nothing is replaced silently.
//  - Safe names and disk paths are UTF-8 (they are file names), never code-page text.
//  - Messages from the layers below are shown as they are: text that is valid UTF-8 (plain ASCII,
//    or a message that names a disk path) is read as UTF-8, anything else as Safe text; CR LF line
//    breaks become line breaks.
#include <QString>
#include <string>
#include <string_view>

namespace quillmar {

class TCodePage;

// The code page of Safe text (one for the run).
const TCodePage& SafeCodePage();

// Safe text to QString. A byte the code page does not define shows as U+FFFD.
QString FromSafeText(std::string_view text);
// QString to Safe text. False when a character cannot be held; problem then says which position
// (what names the text in the message: "password", "text").
bool ToSafeText(const QString& text, std::string& out, QString* problem = nullptr,
                const QString& what = QStringLiteral("text"));

QString FromUtf8(const std::string& text);
std::string ToUtf8(const QString& text);

// A message of a lower layer (see the top).
QString FromMessage(const std::string& text);

// Overwrites the characters of text (when it holds the only copy of them) and empties it.
void WipeQString(QString& text);

}  // namespace quillmar
