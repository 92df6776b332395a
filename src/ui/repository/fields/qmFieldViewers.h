#pragma once
// The viewers of the twelve field types (the family's rules: qmCustomFieldViewer.h).
#include <QString>

#include "repository/fields/qmCustomFieldViewer.h"

class QCheckBox;
class QPlainTextEdit;

namespace quillmar {

// Type 1: a masked box, the show/hide button and a Copy button (fld<i>Copy).
class TqmPasswordFieldViewer : public TqmCustomNormalTextButtonFieldViewer {
  Q_OBJECT
public:
  using TqmCustomNormalTextButtonFieldViewer::TqmCustomNormalTextButtonFieldViewer;
  bool Masked() const;
  QToolButton* CopyButton() const { return copy_; }

protected:
  void CreateControls() override;
  void ButtonAction() override;
  int ButtonsWidth() const override;
  const char* Glyph() const override { return "IDB_PASSWORD"; }
  QString Hint() const override { return QStringLiteral("Show/Hide Password"); }

private:
  QToolButton* copy_ = nullptr;
};

// Type 2: the day in the locale's short date format; the calendar button is hidden.
class TqmDateFieldViewer : public TqmCustomNormalTextButtonFieldViewer {
  Q_OBJECT
public:
  using TqmCustomNormalTextButtonFieldViewer::TqmCustomNormalTextButtonFieldViewer;
  QString CopyText() const override { return ShownText(); }

protected:
  void CreateControls() override;
  QString ShownText() const override;
  const char* Glyph() const override { return "IDB_CALENDAR"; }
  QString Hint() const override { return QString(); }
};

// Type 6: the attached file's name and the Open button (disabled while no file is named).
class TqmFileFieldViewer : public TqmCustomNormalTextButtonFieldViewer {
  Q_OBJECT
public:
  using TqmCustomNormalTextButtonFieldViewer::TqmCustomNormalTextButtonFieldViewer;

protected:
  void LoadValue() override;
  void ButtonAction() override;
  const char* Glyph() const override { return "IDB_OPENFILE"; }
  QString Hint() const override { return QStringLiteral("Open File"); }
};

// Type 9: as File.
class TqmPictureFieldViewer : public TqmFileFieldViewer {
  Q_OBJECT
public:
  using TqmFileFieldViewer::TqmFileFieldViewer;

protected:
  QString Hint() const override { return QStringLiteral("Open Picture"); }
};

// Type 7: the amount in the locale's currency format.
class TqmCurrencyFieldViewer : public TqmCustomNumericButtonFieldViewer {
  Q_OBJECT
public:
  using TqmCustomNumericButtonFieldViewer::TqmCustomNumericButtonFieldViewer;
  QString CopyText() const override { return ShownText(); }

protected:
  QString ShownText() const override;
};

// Type 8: fixed point with two decimals and the locale's separator, no grouping.
class TqmNumberFieldViewer : public TqmCustomNumericButtonFieldViewer {
  Q_OBJECT
public:
  using TqmCustomNumericButtonFieldViewer::TqmCustomNumericButtonFieldViewer;
  QString CopyText() const override { return ShownText(); }

protected:
  QString ShownText() const override;
};

// Type 3: a check box showing the value's reading; a click puts the mark back.
class TqmYesNoFieldViewer : public TqmCustomFieldViewer {
  Q_OBJECT
public:
  using TqmCustomFieldViewer::TqmCustomFieldViewer;
  QCheckBox* Box() const { return box_; }

protected:
  void CreateControls() override;
  void LoadValue() override;
  void LayoutControls() override;

private:
  QCheckBox* box_ = nullptr;
};

// Type 4: checked while the field names a reminder; then the button opens the reminder window
// (disabled while the reminder windows are not available). What the window changes is saved with
// the entry at once (a Delete empties the field).
class TqmReminderFieldViewer : public TqmCustomFieldViewer {
  Q_OBJECT
public:
  using TqmCustomFieldViewer::TqmCustomFieldViewer;
  QCheckBox* Box() const { return box_; }
  QToolButton* Button() const { return button_; }

protected:
  void CreateControls() override;
  void LoadValue() override;
  void LayoutControls() override;
  void ButtonAction() override;

private:
  QCheckBox* box_ = nullptr;
  QToolButton* button_ = nullptr;
};

// Type 10: the caption at the left, at the top, and a read-only multi-line box (no word wrap).
class TqmTextFieldMemoFieldViewer : public TqmCustomFieldViewer {
  Q_OBJECT
public:
  using TqmCustomFieldViewer::TqmCustomFieldViewer;
  QPlainTextEdit* Box() const { return box_; }

protected:
  void CreateControls() override;
  void LoadValue() override;
  void LayoutControls() override;

private:
  QPlainTextEdit* box_ = nullptr;
};

// Type 5: the address as a link; it and the button open the mail program.
class TqmEMailFieldViewer : public TqmLinkButtonFieldViewer {
  Q_OBJECT
public:
  using TqmLinkButtonFieldViewer::TqmLinkButtonFieldViewer;

protected:
  void ButtonAction() override;
  const char* Glyph() const override { return "IDB_EMAIL"; }
  QString Hint() const override { return QStringLiteral("Open Mail Client"); }
};

// Type 11: the address as a link; it and the button visit the site ("http://" put in front when the
// address names no scheme); the autofill button at the far right fills the site's login form from
// the entry (enabled when the address occurs in the entry's autofill record and a filler is set).
class TqmURLFieldViewer : public TqmLinkButtonFieldViewer {
  Q_OBJECT
public:
  using TqmLinkButtonFieldViewer::TqmLinkButtonFieldViewer;
  QToolButton* AutoFillButton() const { return autoFill_; }
  void AutoFill();

protected:
  void CreateControls() override;
  void LoadValue() override;
  void LayoutControls() override;
  void ButtonAction() override;
  const char* Glyph() const override { return "IDB_WEBSITE"; }
  QString Hint() const override { return QStringLiteral("Visit Website"); }

private:
  QToolButton* autoFill_ = nullptr;
};

}  // namespace quillmar
