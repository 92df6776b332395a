#pragma once
// TfrmRepositoryEntryEditor: "Password Repository Entry Editor", the window in which a new or saved
// entry's icon, field values and autofill record are edited (modal, 400 pixels wide, its height free).
// It is run by TqmRepsitoryItemEditor::EditEntry (qmRepsitoryItemEditor.h), which gives it the entry's
// edit session; the repository tab never makes it itself.
//
// The work area (scrWorkArea) scrolls: at its top the icon strip ("Icon:", imgIcon in a 32 x 32
// frame, btnBrowse), then one field editor per field in field order, from 51 pixels down, each 10
// pixels below the one before. Below it: btnAutoFillWizard ("Web Page Autofill Wizard"), btnOK
// ("OK", the default button) and btnCancel ("Cancel").
//
//  - Showing: the remembered left, top and height (the settings edtrLeft, edtrTop, edtrHeight) are
//    applied, each when not 0, and the position only when the window would then be on a screen;
//    otherwise the window is centred on its parent. The first field's editor has the focus; Tab
//    follows the fields in order; Escape is Cancel.
//  - Browse: the icon browser for entry icons; an icon it yields is shown (and saved on OK).
//  - The wizard button runs the autofill wizard (disabled while it is not available) with the values
//    of the URL fields and the names of all fields; Finish replaces the window's autofill text,
//    Cancel keeps it.
//  - OK: stores the window's position and height in the settings; then, at the first required field
//    that is empty, focuses it and says "Required fields is empty"; at a value the entry's record
//    could not hold exactly, focuses its field and says why; when another program changed or deleted
//    the saved entry since the window opened (the session compares), asks "This entry was changed by
//    another program since you opened it." (or "... deleted ..."): Overwrite saves the window's
//    entry, Keep theirs closes the window leaving the entry to the controller, which takes back the
//    window's changes and loads theirs (KeptTheirs), Cancel returns to the window. Otherwise the entry
//    (icon and autofill text included) is saved through the session, and the window closes with OK
//    only once it is on the disk. A failed save says why and keeps the window and everything typed.
//  - Cancel (and closing the window) rolls the session back: values, icon, autofill text, attached
//    files and reminders are as they were before the window opened. When that fails, the window says
//    why and stays open for another try.
#include <QDialog>
#include <QMessageBox>
#include <string>
#include <vector>

class QLabel;
class QPushButton;
class QScrollArea;
class QWidget;

namespace quillmar {

class TqmGlobal;
class TqmEntryEditSession;
class TqmCustomFieldEditor;
enum class TqmStoredEntry;

class TfrmRepositoryEntryEditor : public QDialog {
  Q_OBJECT
public:
  static constexpr int kWidth = 400;
  // Where the first field editor goes in the work area: the icon strip's height + 10.
  static constexpr int kIconStripHeight = 41;
  static constexpr int kFirstTop = kIconStripHeight + 10;

  // session: the entry being edited (its fields are edited in place). Neither is owned.
  TfrmRepositoryEntryEditor(TqmGlobal& global, TqmEntryEditSession& session, QWidget* parent);
  ~TfrmRepositoryEntryEditor() override;

  // What EditEntry hands over before the window is shown.
  void SetIcon(const std::string& iconBytes);
  void SetAutoFill(const std::string& autoFill) { autoFill_ = autoFill; }
  void SetCaptionWidth(int width) { captionWidth_ = width; }
  // Makes the field editors (once).
  void BuildEditors();

  const std::string& Icon() const { return icon_; }
  const std::string& AutoFill() const { return autoFill_; }
  const std::vector<TqmCustomFieldEditor*>& Editors() const { return editors_; }
  // The window closed on "Keep theirs": the session is still open, for KeepStored.
  bool KeptTheirs() const { return keptTheirs_; }
  QScrollArea* WorkArea() const { return workArea_; }

  // The question of OK when another program changed or deleted the entry: Save is "Overwrite",
  // Discard "Keep theirs"; Cancel (also Enter and Escape) returns to the editor.
  static QMessageBox::StandardButton AskConflict(QWidget* parent, TqmStoredEntry stored);

  // The buttons' actions, as a click runs them.
  void Browse();
  void RunWizard();
  void Ok();
  void reject() override;

protected:
  void showEvent(QShowEvent* event) override;

private:
  // Browse, the fields in their order, then the buttons below.
  void SetTabOrder();
  void PlaceWindow();
  // The editor of the field at index, or null.
  TqmCustomFieldEditor* EditorOf(int index) const;
  void FocusField(int index);
  void StorePosition();

  TqmGlobal& g_;
  TqmEntryEditSession& session_;
  std::string icon_;
  std::string autoFill_;
  int captionWidth_ = 0;
  int nextTop_ = kFirstTop;
  bool built_ = false;
  bool placed_ = false;
  bool rollbackFailed_ = false;
  bool keptTheirs_ = false;
  std::vector<TqmCustomFieldEditor*> editors_;

  QScrollArea* workArea_;
  QWidget* content_;
  QLabel* imgIcon_;
  QPushButton* btnBrowse_;
  QPushButton* btnAutoFillWizard_;
  QPushButton* btnOK_;
  QPushButton* btnCancel_;
};

}  // namespace quillmar
