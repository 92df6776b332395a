#pragma once
// TfrmIconBrowser: picks an icon for a category or an entry from those kept in the Safe (each kind
// has a folder of its own), or loads new ones from files (modal).
//
//  - When shown, it lists every icon of its kind at 32 x 32, captioned with its name, sorted by name.
//  - A double-click (or Enter) on an icon closes it with OK; OK with an icon selected makes that icon
//    the result. OK with none selected leaves the result as it is.
//  - "Load From File": one file, or several while Shift is held as the button is pressed. Icons
//    (".ico") are stored as they are; other pictures (PNG) are stored as an ".ico" of 16 and 32
//    pixels named after the file with ".ico". Each is stored under its file name (replacing an icon
//    of that name), in the folder of the browser's kind. The icon of the last file stored becomes the
//    result and the browser closes with OK. A file that is no picture is named in an error and
//    skipped (the files stored before and after it stay stored); when none could be stored the
//    browser stays open. Cancelling the file dialog closes the browser with Cancel.
//
// The caller uses Result() after OK, and only when it is not empty.
// objectNames: lstIcons, btnLoadFromFile, btnOK, btnCancel.
#include <QDialog>

#include "model/qvtIcon.h"

class QListWidget;
class QPushButton;

namespace quillmar {

class TqmGlobal;

class TfrmIconBrowser : public QDialog {
  Q_OBJECT
public:
  // kind: TqmSFSWrapper::ikCategory or ikEntry. REQUIRES: a Safe is open.
  TfrmIconBrowser(TqmGlobal& global, int kind, QWidget* parent);

  const TqvtIcon& Result() const { return result_; }
  // Lists the icons of the kind anew (done when the browser is first shown). Returns how many.
  int LoadIcons();
  // The "Load From File" action; several: as with Shift held.
  void LoadFromFile(bool several);

  QListWidget* List() const { return list_; }

  // The message of a file that could not be stored as an icon.
  static QString NotAnIconMessage(const QStringList& files);

protected:
  void showEvent(QShowEvent* event) override;

private:
  void Ok();

  TqmGlobal& g_;
  int kind_;
  bool loaded_ = false;
  bool fromFile_ = false;
  TqvtIcon result_;
  QListWidget* list_;
};

}  // namespace quillmar
