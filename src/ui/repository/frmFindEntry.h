#pragma once
// TfrmFindEntry: the repository's find window, "Brelkan Quillmar II [Find]": a small tool window on
// top of the program, centred on the main window, that does not block it.
//
//  - "Text to find:" (txtFind), "Case sensivity" (chkCaseSensitive, off at start) and "Search all
//    fields" (chkAllFields, on at start). Typing or clicking either box emits searchChanged(): the
//    repository then lets the selected entry itself match the next search.
//  - "Find Next" (btnFindNext, the default button) copies the text and the options into the last
//    request (LastRequest(), valid until the next one) and posts the search to the main window
//    (TqmShell::PostFindNext): the repository tab runs it after this window's handler has returned,
//    and only while it is shown. The window stays open for the next "Find Next".
//  - "Cancel" (btnCancel) and Escape hide it; the window is kept and shown again by the next Find.
//
// One window per main window, made on first use (ShowFor) and owned by the main window, so that it
// outlives the repository tab (which connects to searchChanged each time it is made).
#include <QDialog>
#include <QString>

class QCheckBox;
class QLineEdit;

namespace quillmar {

class TqmShell;

struct TqmFindRequest {
  QString text;
  bool caseSensitive = false;
  bool allFields = true;
};

class TfrmFindEntry : public QDialog {
  Q_OBJECT
public:
  // Shows the find window of the shell's main window (made on first use), raised and with the focus
  // in its text box; returns it.
  static TfrmFindEntry* ShowFor(TqmShell& shell);
  // The window of that main window if it was made, else null.
  static TfrmFindEntry* Existing(TqmShell& shell);

  TfrmFindEntry(TqmShell& shell, QWidget* mainWindow);

  // The last request sent ("Find Next"), program-wide.
  static const TqmFindRequest& LastRequest();
  // "Find Next".
  void FindNext();

signals:
  // The text or an option changed since the last search.
  void searchChanged();

protected:
  void reject() override;

private:
  TqmShell& shell_;
  QLineEdit* txtFind_;
  QCheckBox* chkCaseSensitive_;
  QCheckBox* chkAllFields_;
};

}  // namespace quillmar
