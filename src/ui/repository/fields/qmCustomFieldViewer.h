#pragma once
// The field viewers of the read-only entry view (TqmRepositoryEntryViewer): one small panel per
// field, its caption and the value shown, with the type's button (which works: show a password,
// open a file, a mail program, a web site, a reminder). This header holds the family's bases; the
// viewers of the twelve types are in qmFieldViewers.h and made by CreateFieldViewer
// (qmFieldFactory.h).
//
//   TqmCustomFieldViewer                        panel, caption, the Copy menu
//     TqmNormalTextFieldViewer                  a read-only box (type 0; one-time codes)
//       TqmCustomNormalTextButtonFieldViewer    a box and a button after it
//       TqmCustomNumericFieldViewer             a box showing a number
//         TqmCustomNumericButtonFieldViewer
//     TqmLinkFieldViewer                        a link label instead of a box
//       TqmLinkButtonFieldViewer                a link label and a button
//
// Rules of the family:
//  - A viewer never writes its field, except through an action that saves the entry at once (the
//    reminder window's Delete).
//  - Made with (owner, field): the panel (white, no bevel, at (10, 10), owner width - 30 wide, one
//    row high) with the caption Name + ": " (no required mark), and the value loaded. The layout
//    runs when the width or the caption width is set.
//  - A box starts at CaptionWidth + 3 and ends 3 pixels before the panel's right edge; a button
//    narrows it by its width + 2 and sits right after it (square, 1 pixel from the top and bottom).
//  - Every viewer's context menu (the panel and its controls; also the menu key) offers "Copy",
//    which puts the value (as CopyText says) on the clipboard through TqmSecretClipboard.
//  - Object names as the editors': fld<i>, fld<i>Caption, fld<i>Value, fld<i>Button, fld<i>AutoFill;
//    fld<i>Copy for a copy button; fld<i>Menu for the context menu.
#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <string>

#include "repository/fields/qmFieldContext.h"

class QAction;
class QFrame;
class QLabel;
class QLineEdit;
class QMenu;
class QTimer;
class QToolButton;
class QWidget;

namespace quillmar {

class TqmField;
class TqmHotLabel;
struct TqmTotp;

class TqmCustomFieldViewer : public QObject {
  Q_OBJECT
public:
  // owner: the scroll box the panel lives in (it owns the viewer); null: the viewer makes nothing.
  // field: not owned; it must outlive the viewer. Call Init() once made.
  TqmCustomFieldViewer(QWidget* owner, TqmField& field, const TqmFieldContext& context);
  ~TqmCustomFieldViewer() override;

  // CreateControls and LoadValue (the layout runs when the width or caption width is set).
  void Init();

  TqmField& Field() const { return field_; }
  QFrame* Panel() const { return panel_; }
  QLabel* Caption() const { return caption_; }

  int Left() const { return left_; }
  int Top() const { return top_; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  void SetLeft(int v);
  void SetTop(int v);
  // Lays the viewer out again.
  void SetWidth(int v);
  void SetHeight(int v);
  int CaptionWidth() const { return captionWidth_; }
  void SetCaptionWidth(int width);
  void Invalidate();

  // What Copy puts on the clipboard: the value as shown, but a password in full and a one-time
  // code's current code.
  virtual QString CopyText() const;
  // The context menu's Copy.
  void CopyValue();
  QMenu* ContextMenu() const { return menu_; }

protected:
  virtual void CreateControls();
  virtual void LayoutControls();
  virtual void LoadValue() {}
  virtual void ButtonAction() {}

  // A square button named fld<i> + suffix with the glyph and hint, running act.
  QToolButton* MakeButton(const char* glyph, const QString& hint, const char* suffix,
                          std::function<void()> act);
  void PlaceButton(QToolButton* button, int left);
  // The square size of a button.
  int ButtonSize() const { return std::max(0, height_ - 2); }
  QWidget* DialogParent() const;
  // Asks the owner to show the entry again (from the event loop: this viewer may go with it).
  void EntrySaved();

  QWidget* owner_;
  TqmField& field_;
  TqmFieldContext context_;
  QFrame* panel_ = nullptr;
  QLabel* caption_ = nullptr;
  QMenu* menu_ = nullptr;
  int captionWidth_ = 0;
  int left_ = 0, top_ = 0, width_ = 0, height_ = 0;

private:
  void InstallMenu();
};

// Type 0: a read-only box. A value that is an "otpauth://totp/" address shows instead the current
// one-time code and the seconds it has left, refreshed each second, with a Copy button (fld<i>Copy);
// an address that cannot be used shows as it is, with the reason in its tooltip.
class TqmNormalTextFieldViewer : public TqmCustomFieldViewer {
  Q_OBJECT
public:
  TqmNormalTextFieldViewer(QWidget* owner, TqmField& field, const TqmFieldContext& context);
  ~TqmNormalTextFieldViewer() override;
  QLineEdit* Box() const { return box_; }
  QString CopyText() const override;

  // One-time codes: whether the value shows one, and the code shown now.
  bool ShowsCode() const { return totp_ != nullptr; }
  QString Code() const { return code_; }
  // Shows the code of that moment (seconds since 1970, UTC): the timer's step.
  void ShowCode(int64_t unixTime);
  // The clock of the codes (tests and screenshots set a fixed one); null: the system's.
  static void SetCodeClock(int64_t (*clock)());

protected:
  void CreateControls() override;
  void LayoutControls() override;
  void LoadValue() override;
  // The right end of the box before any button.
  int BoxRight() const { return width_ - 3; }
  // The text shown in the box.
  virtual QString ShownText() const;

  QLineEdit* box_ = nullptr;

private:
  std::unique_ptr<TqmTotp> totp_;
  QToolButton* copy_ = nullptr;
  QTimer* timer_ = nullptr;
  QString code_;
};

// A box and one button right after it.
class TqmCustomNormalTextButtonFieldViewer : public TqmNormalTextFieldViewer {
  Q_OBJECT
public:
  using TqmNormalTextFieldViewer::TqmNormalTextFieldViewer;
  QToolButton* Button() const { return button_; }

protected:
  void CreateControls() override;
  void LayoutControls() override;
  virtual const char* Glyph() const = 0;
  virtual QString Hint() const = 0;
  // The buttons after the box: their widths, each + 2, narrow it.
  virtual int ButtonsWidth() const;

  QToolButton* button_ = nullptr;
};

// A box showing a number read by the value rules (Currency and Number).
class TqmCustomNumericFieldViewer : public TqmNormalTextFieldViewer {
  Q_OBJECT
public:
  using TqmNormalTextFieldViewer::TqmNormalTextFieldViewer;

protected:
  void CreateControls() override;
  // The number of the value (0 for junk).
  double Number() const;
};

class TqmCustomNumericButtonFieldViewer : public TqmCustomNumericFieldViewer {
  Q_OBJECT
public:
  using TqmCustomNumericFieldViewer::TqmCustomNumericFieldViewer;
};

// A link label (TqmHotLabel: takes the focus, runs on a click, Enter or Space) in place of a box.
class TqmLinkFieldViewer : public TqmCustomFieldViewer {
  Q_OBJECT
public:
  using TqmCustomFieldViewer::TqmCustomFieldViewer;
  TqmHotLabel* Link() const { return link_; }

protected:
  void CreateControls() override;
  void LoadValue() override;
  void LayoutControls() override;
  // The label's right end.
  virtual int LinkRight() const { return width_ - 3; }

  TqmHotLabel* link_ = nullptr;
};

// A link label and a button; clicking either runs the action.
class TqmLinkButtonFieldViewer : public TqmLinkFieldViewer {
  Q_OBJECT
public:
  using TqmLinkFieldViewer::TqmLinkFieldViewer;
  QToolButton* Button() const { return button_; }

protected:
  void CreateControls() override;
  void LayoutControls() override;
  int LinkRight() const override;
  virtual const char* Glyph() const = 0;
  virtual QString Hint() const = 0;

  QToolButton* button_ = nullptr;
};

}  // namespace quillmar
