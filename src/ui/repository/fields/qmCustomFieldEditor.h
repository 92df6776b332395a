#pragma once
// The field editors of the entry editor: one small panel per field of the entry, holding the
// field's caption and the controls that edit its value. This header holds the family's bases; the
// editors of the twelve types are in qmFieldEditors.h and made by CreateFieldEditor
// (qmFieldFactory.h).
//
//   TqmCustomFieldEditor                      panel and caption
//     TqmNormalTextFieldEditor                a one-line box (type 0)
//       TqmCustomNormalTextButtonFieldEditor  a box and a square button at the right
//       TqmCustomNumericFieldEditor           a box with the Number key filter
//         TqmCustomNumericButtonFieldEditor   and a calculator button
//
// Rules of the family:
//  - An editor writes its field's Value on each change the person makes, never when it loads (the
//    one exception: a Date field whose value reads as day 0 shows today and writes it at once).
//  - A character the Safe's code page cannot hold is refused as it is typed or pasted, with a
//    message beside the box (LastRefusal()).
//  - The panel is white, without bevel, at (10, 10), owner width - 35 wide and one row high; the
//    caption ("*" for a required field, then Name and ": ") sits at its left, CaptionWidth wide.
//    A box starts at CaptionWidth + 3, centred vertically, and ends 3 pixels before the panel's
//    right edge, or 1 pixel before its button (square, 1 pixel from the top, bottom and right).
//  - Buttons take no keyboard focus: each has a key in its box (the type says which), so that Tab
//    goes from field to field in field order.
//  - Object names: the panel fld<i>, its caption fld<i>Caption, the value's control fld<i>Value,
//    the button fld<i>Button (i: the field's index in the entry).
#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>
#include <string>

#include "repository/fields/qmFieldContext.h"

class QFrame;
class QKeySequence;
class QLabel;
class QLineEdit;
class QToolButton;
class QWidget;

namespace quillmar {

class TqmField;

class TqmCustomFieldEditor : public QObject {
  Q_OBJECT
public:
  // The message when an editor is made without a window to live in.
  static constexpr char kMsgOwnerNotWindowed[] = "Owner must be descendant of QWidget class";

  // owner: the work area the panel lives in (it owns the editor too). field: the entry's field,
  // edited in place (not owned; it must outlive the editor). Call Init() once made.
  // Throws EQuillmarError(kMsgOwnerNotWindowed) for a null owner.
  TqmCustomFieldEditor(QWidget* owner, TqmField& field, const TqmFieldContext& context);
  ~TqmCustomFieldEditor() override;

  // CreateControls, LoadValue, LayoutControls.
  void Init();

  TqmField& Field() const { return field_; }
  const TqmFieldContext& Context() const { return context_; }
  QFrame* Panel() const { return panel_; }
  QLabel* Caption() const { return caption_; }

  int Left() const { return left_; }
  int Top() const { return top_; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  void SetLeft(int v);
  void SetTop(int v);
  void SetWidth(int v);
  void SetHeight(int v);
  int CaptionWidth() const { return captionWidth_; }
  // Fixes the caption to width pixels and lays the controls out again.
  void SetCaptionWidth(int width);
  void Invalidate();

  // The first control of the editor that can take the keyboard focus (the required check moves the
  // focus there); null when there is none.
  QWidget* FocusControl() const;
  // The last refusal's message ("" when nothing was refused).
  const QString& LastRefusal() const { return lastRefusal_; }

signals:
  // The editor wrote the field's Value.
  void valueWritten();

protected:
  virtual void CreateControls();
  virtual void LoadValue() {}
  virtual void LayoutControls();
  virtual void ButtonAction() {}

  // Writes Value (nothing while the editor loads).
  void WriteValue(const std::string& value);
  bool Loading() const { return loading_; }
  // The caption's text: "*" for a required field, Name and ": ".
  virtual QString CaptionText() const;
  // Shows the refusal beside box and keeps it for LastRefusal().
  void Refuse(QWidget* box, const QString& message);

  // A square button with the glyph and the hint, named fld<i> + suffix, that takes no focus and runs
  // act when clicked.
  QToolButton* MakeButton(const char* glyph, const QString& hint, const char* suffix,
                          std::function<void()> act);
  // A key on target (and its children) that runs act.
  void AddKey(QWidget* target, const QKeySequence& keys, std::function<void()> act);
  // Places button square at the panel's right, `right` pixels from its right edge; returns its left.
  int PlaceRightButton(QToolButton* button, int right);
  // The row the box sits in: the panel's height for one-row editors.
  virtual int RowHeightOfPanel() const;
  QWidget* Owner() const { return owner_; }
  // The window dialogs of the editor belong to.
  QWidget* DialogParent() const;

  QWidget* owner_;
  TqmField& field_;
  TqmFieldContext context_;
  QFrame* panel_ = nullptr;
  QLabel* caption_ = nullptr;
  int captionWidth_ = 0;
  int left_ = 0, top_ = 0, width_ = 0, height_ = 0;

private:
  bool loading_ = false;
  QString lastRefusal_;
};

// Type 0: a one-line box.
class TqmNormalTextFieldEditor : public TqmCustomFieldEditor {
  Q_OBJECT
public:
  using TqmCustomFieldEditor::TqmCustomFieldEditor;
  QLineEdit* Box() const { return box_; }

protected:
  void CreateControls() override;
  void LoadValue() override;
  void LayoutControls() override;
  // Installs the guard of typed and pasted text (the code page's, by default) once loaded.
  virtual void GuardBox();
  // The box's text as the field's Value.
  virtual void WriteBox();
  // The right end of the box (the panel's width - 3, or where a button begins - 1).
  virtual int BoxRight() const;

  QLineEdit* box_ = nullptr;
};

// A box and a square button at its right.
class TqmCustomNormalTextButtonFieldEditor : public TqmNormalTextFieldEditor {
  Q_OBJECT
public:
  using TqmNormalTextFieldEditor::TqmNormalTextFieldEditor;
  QToolButton* Button() const { return button_; }

protected:
  void CreateControls() override;
  void LayoutControls() override;
  int BoxRight() const override;
  virtual const char* Glyph() const = 0;
  virtual QString Hint() const = 0;
  // The key in the box that runs the button (Ctrl+Return unless the type has its own).
  virtual QKeySequence ButtonKey() const;

  QToolButton* button_ = nullptr;
};

// A box with the Number key filter (model/qmFieldValues.h): digits, and one decimal separator
// ("." and "," become the locale's); typed and pasted text alike.
class TqmCustomNumericFieldEditor : public TqmNormalTextFieldEditor {
  Q_OBJECT
public:
  using TqmNormalTextFieldEditor::TqmNormalTextFieldEditor;

protected:
  void LoadValue() override;
  void GuardBox() override;
};

// And a calculator button (Ctrl+Return): the calculator starts from the number shown.
class TqmCustomNumericButtonFieldEditor : public TqmCustomNumericFieldEditor {
  Q_OBJECT
public:
  using TqmCustomNumericFieldEditor::TqmCustomNumericFieldEditor;
  QToolButton* Button() const { return button_; }

protected:
  void CreateControls() override;
  void LayoutControls() override;
  int BoxRight() const override;
  void ButtonAction() override;
  virtual const char* Glyph() const = 0;
  // The number the calculator starts from.
  virtual double ShownNumber() const;
  // Puts the calculator's result into the editor (and so into Value).
  virtual void TakeResult(double result);

  QToolButton* button_ = nullptr;
};

}  // namespace quillmar
