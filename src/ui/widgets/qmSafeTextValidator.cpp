#include "widgets/qmSafeTextValidator.h"

#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QToolTip>

#include "base/CodePage.h"
#include "model/qmFieldValues.h"
#include "widgets/qmText.h"

namespace quillmar {

QString UnencodableInputMessage() {
  return QStringLiteral(
             "This character cannot be stored: the Safe's code page (%1) cannot hold it. "
             "The text was left as it was.")
      .arg(QString::fromStdString(SafeCodePage().Name()));
}

bool CanHoldAsSafeText(const QString& text) {
  if (text.isEmpty()) return true;
  const QByteArray utf8 = text.toUtf8();
  return SafeCodePage().CanEncode(std::string_view(utf8.constData(), static_cast<size_t>(utf8.size())));
}

void ShowMessageBeside(QWidget* box, const QString& message) {
  if (box == nullptr) return;
  const QPoint at = box->mapToGlobal(QPoint(box->width(), box->height() / 2));
  QToolTip::showText(at, message, box, QRect(), 6000);
}

// --- TqmInsertionValidator ------------------------------------------------------------------------------

TqmInsertionValidator::TqmInsertionValidator(QLineEdit* box) : QValidator(box), accepted_(box->text()) {
  connect(box, &QLineEdit::textChanged, this, [this](const QString& text) { accepted_ = text; });
  box->setValidator(this);
}

QValidator::State TqmInsertionValidator::validate(QString& input, int& pos) const {
  // What the edit changed: the common start and end with the text accepted before stay.
  const qsizetype oldSize = accepted_.size(), newSize = input.size();
  qsizetype prefix = 0;
  const qsizetype shorter = std::min(oldSize, newSize);
  while (prefix < shorter && accepted_.at(prefix) == input.at(prefix)) ++prefix;
  qsizetype suffix = 0;
  while (suffix < shorter - prefix && accepted_.at(oldSize - 1 - suffix) == input.at(newSize - 1 - suffix))
    ++suffix;
  const QString inserted = input.mid(prefix, newSize - prefix - suffix);
  if (inserted.isEmpty()) return Acceptable;
  const QString kept = input.left(prefix) + input.right(suffix);
  bool refuse = false;
  const QString taken = Filter(kept, inserted, &refuse);
  if (refuse) return Invalid;
  if (taken != inserted) {
    input = input.left(prefix) + taken + input.right(suffix);
    pos = static_cast<int>(prefix + taken.size());
  }
  return Acceptable;
}

// --- TqmSafeTextValidator -------------------------------------------------------------------------------

QString TqmSafeTextValidator::Filter(const QString&, const QString& inserted, bool* refuse) const {
  if (CanHoldAsSafeText(inserted)) return inserted;
  *refuse = true;
  emit refused(UnencodableInputMessage());
  return QString();
}

// --- TqmNumberKeyValidator ------------------------------------------------------------------------------

TqmNumberKeyValidator::TqmNumberKeyValidator(QLineEdit* box, QChar separator)
    : TqmInsertionValidator(box), separator_(separator.toLatin1() ? separator.toLatin1() : '.') {}

QString TqmNumberKeyValidator::Filter(const QString& kept, const QString& inserted, bool*) const {
  // The filter takes digits and separators only: everything else (any non-ASCII character
  // included) is left out, so the conversion to Latin-1 loses nothing that could be taken.
  const std::string taken =
      FilterNumberText(kept.toLatin1().toStdString(), inserted.toLatin1().toStdString(), separator_);
  return QString::fromLatin1(taken.data(), static_cast<qsizetype>(taken.size()));
}

// --- TqmSafePlainTextEdit -------------------------------------------------------------------------------

void TqmSafePlainTextEdit::keyPressEvent(QKeyEvent* event) {
  const QString text = event->text();
  if (!isReadOnly() && !text.isEmpty() && text.at(0).isPrint() && !CanHoldAsSafeText(text)) {
    emit refused(UnencodableInputMessage());
    event->accept();
    return;
  }
  QPlainTextEdit::keyPressEvent(event);
}

bool TqmSafePlainTextEdit::canInsertFromMimeData(const QMimeData* source) const {
  return source->hasText() && QPlainTextEdit::canInsertFromMimeData(source);
}

void TqmSafePlainTextEdit::insertFromMimeData(const QMimeData* source) {
  if (source->hasText() && !CanHoldAsSafeText(source->text())) {
    emit refused(UnencodableInputMessage());
    return;
  }
  QPlainTextEdit::insertFromMimeData(source);
}

void TqmSafePlainTextEdit::inputMethodEvent(QInputMethodEvent* event) {
  if (!event->commitString().isEmpty() && !CanHoldAsSafeText(event->commitString())) {
    emit refused(UnencodableInputMessage());
    QInputMethodEvent cleared(event->preeditString(), event->attributes());
    QPlainTextEdit::inputMethodEvent(&cleared);
    return;
  }
  QPlainTextEdit::inputMethodEvent(event);
}

}  // namespace quillmar
