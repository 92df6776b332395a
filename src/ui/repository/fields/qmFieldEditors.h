#pragma once
// The editors of the twelve field types (the family's rules: qmCustomFieldEditor.h). Keys in the
// value's box: Ctrl+Return runs the type's button (open the mail program, the web site, the file,
// the calculator, the reminder), Ctrl+H shows or hides a password, Ctrl+G generates one, Alt+Down
// opens the calendar, Ctrl+O attaches a file.
#include <QString>

#include "repository/fields/qmCustomFieldEditor.h"

class QCheckBox;
class QDateEdit;
class QDoubleSpinBox;
class QPlainTextEdit;

namespace quillmar {

class TqmStrengthMeter;

// Type 1: a masked box, a button that shows or hides it (Ctrl+H), a generator button (Ctrl+G) and
// the strength meter under the box (fld<i>Generate, fld<i>Strength).
class TqmPasswordFieldEditor : public TqmCustomNormalTextButtonFieldEditor {
  Q_OBJECT
public:
  using TqmCustomNormalTextButtonFieldEditor::TqmCustomNormalTextButtonFieldEditor;
  bool Masked() const;
  void ToggleMask();
  // Runs the password generator; its password replaces the box's text on OK.
  void Generate();
  TqmStrengthMeter* Meter() const { return meter_; }

protected:
  void CreateControls() override;
  void LoadValue() override;
  void LayoutControls() override;
  void ButtonAction() override { ToggleMask(); }
  int BoxRight() const override;
  int RowHeightOfPanel() const override;
  const char* Glyph() const override { return "IDB_PASSWORD"; }
  QString Hint() const override { return QStringLiteral("Show/Hide Password"); }
  QKeySequence ButtonKey() const override;

private:
  QToolButton* generate_ = nullptr;
  TqmStrengthMeter* meter_ = nullptr;
};

// Type 5: opens "mailto:" and the address with the desktop's mail program.
class TqmEMailFieldEditor : public TqmCustomNormalTextButtonFieldEditor {
  Q_OBJECT
public:
  using TqmCustomNormalTextButtonFieldEditor::TqmCustomNormalTextButtonFieldEditor;

protected:
  void ButtonAction() override;
  const char* Glyph() const override { return "IDB_EMAIL"; }
  QString Hint() const override { return QStringLiteral("Open Mail Client"); }
};

// Type 11: opens the text as typed with the desktop's handler.
class TqmURLFieldEditor : public TqmCustomNormalTextButtonFieldEditor {
  Q_OBJECT
public:
  using TqmCustomNormalTextButtonFieldEditor::TqmCustomNormalTextButtonFieldEditor;

protected:
  void ButtonAction() override;
  const char* Glyph() const override { return "IDB_WEBSITE"; }
  QString Hint() const override { return QStringLiteral("Visit Website"); }
};

// Type 6: a read-only box naming the attached file, the attach button (Ctrl+O) and an Open button
// (fld<i>Open, Ctrl+Return; disabled while no file is named). Attaching goes through the edit
// session: the old file is released when the entry is saved, and Cancel takes everything back.
class TqmFileFieldEditor : public TqmCustomNormalTextButtonFieldEditor {
  Q_OBJECT
public:
  using TqmCustomNormalTextButtonFieldEditor::TqmCustomNormalTextButtonFieldEditor;
  // The attach action: choose a file, ask before replacing the one named, store it.
  void Attach();
  void Open();

protected:
  void CreateControls() override;
  void LoadValue() override;
  void LayoutControls() override;
  void GuardBox() override {}
  void WriteBox() override {}
  void ButtonAction() override { Attach(); }
  int BoxRight() const override;
  const char* Glyph() const override { return "IDB_OPENFILE"; }
  QString Hint() const override { return QStringLiteral("Browse for File"); }
  QKeySequence ButtonKey() const override;
  virtual QString OpenHint() const { return QStringLiteral("Open File"); }

private:
  void ShowName();
  QToolButton* open_ = nullptr;
};

// Type 9: as File.
class TqmPictureFieldEditor : public TqmFileFieldEditor {
  Q_OBJECT
public:
  using TqmFileFieldEditor::TqmFileFieldEditor;

protected:
  QString Hint() const override { return QStringLiteral("Browse for Picture"); }
  QString OpenHint() const override { return QStringLiteral("Open Picture"); }
};

// Type 7: a number box with the locale's separator, two decimals, no grouping and no symbol (its
// text is the stored value); the calculator starts from the amount shown.
class TqmCurrencyFieldEditor : public TqmCustomNumericButtonFieldEditor {
  Q_OBJECT
public:
  using TqmCustomNumericButtonFieldEditor::TqmCustomNumericButtonFieldEditor;
  QDoubleSpinBox* CurrencyBox() const { return currency_; }

  // The largest amount the box holds (both signs).
  static constexpr double kLimit = 9999999999999.99;

protected:
  void CreateControls() override;
  void LoadValue() override;
  void LayoutControls() override;
  const char* Glyph() const override { return "IDB_CURRENCY"; }
  double ShownNumber() const override;
  void TakeResult(double result) override;

private:
  QDoubleSpinBox* currency_ = nullptr;
};

// Type 8.
class TqmNumberFieldEditor : public TqmCustomNumericButtonFieldEditor {
  Q_OBJECT
public:
  using TqmCustomNumericButtonFieldEditor::TqmCustomNumericButtonFieldEditor;

protected:
  const char* Glyph() const override { return "IDB_NUMERIC"; }
};

// Type 2: a date box with spin buttons (the locale's short format, four-digit years, years 1 to
// 9999) and the calendar button (Alt+Down).
class TqmDateFieldEditor : public TqmCustomFieldEditor {
  Q_OBJECT
public:
  using TqmCustomFieldEditor::TqmCustomFieldEditor;
  QDateEdit* Box() const { return box_; }
  QToolButton* Button() const { return button_; }

protected:
  void CreateControls() override;
  void LoadValue() override;
  void LayoutControls() override;
  void ButtonAction() override;

private:
  QDateEdit* box_ = nullptr;
  QToolButton* button_ = nullptr;
};

// Type 3: a check box; each click writes "True" or "False".
class TqmYesNoFieldEditor : public TqmCustomFieldEditor {
  Q_OBJECT
public:
  using TqmCustomFieldEditor::TqmCustomFieldEditor;
  QCheckBox* Box() const { return box_; }

protected:
  void CreateControls() override;
  void LoadValue() override;
  void LayoutControls() override;

private:
  QCheckBox* box_ = nullptr;
};

// Type 4: a check box that shows whether the field names a reminder (a click puts the mark back)
// and the button that opens the reminder window (Ctrl+Return), disabled while the reminder windows
// are not available. The window stores and deletes through the edit session, so that Cancel of the
// entry editor takes it back.
class TqmReminderFieldEditor : public TqmCustomFieldEditor {
  Q_OBJECT
public:
  using TqmCustomFieldEditor::TqmCustomFieldEditor;
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

// Type 10: the caption across the top and a multi-line box below (no word wrap). Line breaks are
// written as the stored value had them (CR LF unless it held bare LF only).
class TqmTextFieldMemoFieldEditor : public TqmCustomFieldEditor {
  Q_OBJECT
public:
  using TqmCustomFieldEditor::TqmCustomFieldEditor;
  QPlainTextEdit* Box() const { return box_; }

protected:
  void CreateControls() override;
  void LoadValue() override;
  void LayoutControls() override;

private:
  QPlainTextEdit* box_ = nullptr;
  bool bareLineFeeds_ = false;
};

// A field of a type this program does not know: its value shown read-only and never written.
class TqmReadOnlyFieldEditor : public TqmNormalTextFieldEditor {
  Q_OBJECT
public:
  using TqmNormalTextFieldEditor::TqmNormalTextFieldEditor;

protected:
  void LoadValue() override;
  void WriteBox() override {}
};

}  // namespace quillmar
