#include "widgets/qmText.h"

#include <QByteArray>
#include <QStringDecoder>

#include "base/CodePage.h"

namespace quillmar {

const TCodePage& SafeCodePage() {
  static const TCodePage codePage;
  return codePage;
}

QString FromSafeText(std::string_view text) {
  try {
    const std::string utf8 = SafeCodePage().ToUtf8(text);
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
  } catch (const ECodePageError&) {
    // Byte by byte, so that one undefined byte does not hide the rest.
    QString out;
    for (char c : text) {
      try {
        const std::string one = SafeCodePage().ToUtf8(std::string_view(&c, 1));
        out += QString::fromUtf8(one.data(), static_cast<qsizetype>(one.size()));
      } catch (const ECodePageError&) {
        out += QChar(QChar::ReplacementCharacter);
      }
    }
    return out;
  }
}

bool ToSafeText(const QString& text, std::string& out, QString* problem, const QString& what) {
  QByteArray utf8 = text.toUtf8();
  try {
    out = SafeCodePage().FromUtf8(std::string_view(utf8.constData(), static_cast<size_t>(utf8.size())));
    utf8.fill('\0');
    return true;
  } catch (const ECodePageError&) {
    utf8.fill('\0');
    if (problem) {
      // The position, never the character: the text may be a password.
      int position = 0;
      for (int i = 0; i < text.size(); ++i) {
        const int width = text.at(i).isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        if (!SafeCodePage().CanEncode(text.mid(i, width).toStdString())) {
          position = i + 1;
          break;
        }
        i += width - 1;
      }
      *problem = QStringLiteral(
                     "The %1 holds a character (at position %2) that the Safe's code page %3 cannot "
                     "hold. Please type it without that character.")
                     .arg(what)
                     .arg(position)
                     .arg(QString::fromStdString(SafeCodePage().Name()));
    }
    return false;
  }
}

QString FromUtf8(const std::string& text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string ToUtf8(const QString& text) {
  return text.toStdString();
}

QString FromMessage(const std::string& text) {
  QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  QString message = decoder.decode(QByteArrayView(text.data(), static_cast<qsizetype>(text.size())));
  if (decoder.hasError()) message = FromSafeText(text);
  message.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  return message;
}

void WipeQString(QString& text) {
  if (!text.isEmpty()) text.fill(QChar(u'\0'));
  text.clear();
}

}  // namespace quillmar
