#pragma once
// Guards of the boxes in which Safe text is typed, applied to typed and pasted text alike:
//  - TqmSafeTextValidator (line edits) and TqmSafePlainTextEdit (multi-line boxes) refuse an insertion
//    that holds a character the Safe's code page cannot hold: the box keeps its text and refused()
//    carries the message to show beside it. Nothing is replaced or cut.
//  - TqmNumberKeyValidator applies the Number field's key filter (model/qmFieldValues.h,
//    FilterNumberText) to every insertion: what the filter refuses is left out, the rest is taken.
// The validators look only at what an edit inserts (the difference to the text they last accepted),
// so that a long text costs nothing per key and a loaded value is never judged.
#include <QPlainTextEdit>
#include <QString>
#include <QValidator>

class QLineEdit;

namespace quillmar {

// The message shown when an insertion is refused for the code page.
QString UnencodableInputMessage();

// Whether text can be held by the Safe's code page.
bool CanHoldAsSafeText(const QString& text);

// Shows message beside box (a tooltip at its right edge) for a few seconds.
void ShowMessageBeside(QWidget* box, const QString& message);

// Base: follows the box's text, so that validate() sees what an edit inserts.
class TqmInsertionValidator : public QValidator {
  Q_OBJECT
public:
  // Installs itself on box (which must already show its loaded text).
  explicit TqmInsertionValidator(QLineEdit* box);
  State validate(QString& input, int& pos) const override;

signals:
  void refused(const QString& message) const;

protected:
  // The inserted text between prefix and suffix of the accepted text; returns the text to insert
  // instead (nullopt-like: refuse sets *refuse and returns "").
  virtual QString Filter(const QString& kept, const QString& inserted, bool* refuse) const = 0;

private:
  QString accepted_;
};

class TqmSafeTextValidator : public TqmInsertionValidator {
  Q_OBJECT
public:
  using TqmInsertionValidator::TqmInsertionValidator;

protected:
  QString Filter(const QString& kept, const QString& inserted, bool* refuse) const override;
};

class TqmNumberKeyValidator : public TqmInsertionValidator {
  Q_OBJECT
public:
  TqmNumberKeyValidator(QLineEdit* box, QChar separator);

protected:
  QString Filter(const QString& kept, const QString& inserted, bool* refuse) const override;

private:
  char separator_;
};

// A multi-line box for Safe text (the Memo field): typed, pasted, dropped and composed text that the
// code page cannot hold is refused as a whole.
class TqmSafePlainTextEdit : public QPlainTextEdit {
  Q_OBJECT
public:
  using QPlainTextEdit::QPlainTextEdit;

signals:
  void refused(const QString& message);

protected:
  void keyPressEvent(QKeyEvent* event) override;
  void insertFromMimeData(const QMimeData* source) override;
  bool canInsertFromMimeData(const QMimeData* source) const override;
  void inputMethodEvent(QInputMethodEvent* event) override;
};

}  // namespace quillmar
