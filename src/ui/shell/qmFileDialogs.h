#pragma once
// The one way the program asks for a file: a non-native QFileDialog (the same on every desktop)
// without its own overwrite question, since the core asks that itself. Tests and screenshots put a
// script in its place.
#include <QString>
#include <QStringList>
#include <functional>

class QWidget;

namespace quillmar {

struct TqmFileRequest {
  // Open: one existing file; Save: a file to write; OpenFiles: one or more existing files
  // (ChooseFiles); Folder: an existing folder (ChooseFolder).
  enum class TKind { Open, Save, OpenFiles, Folder };
  TKind kind = TKind::Open;
  QString caption;
  QString filter;         // Qt form: "Brelkan Safe backup (*.qvtb)"
  QString defaultSuffix;  // "qvtb": added to a typed name that has none (Save)
  QString folder;         // where the dialog starts ("" for the last folder used)
  QString fileName;       // the name proposed in the folder (Save): "Demo 2025-03-01.qvtb"
};

// The user's documents folder (xdg-user-dir DOCUMENTS), or the home folder when it is not there.
QString DocumentsFolder();

// The chosen file (absolute), or "" when the user cancelled.
QString ChooseFile(QWidget* parent, const TqmFileRequest& request);
// The chosen files (absolute; kind Open or OpenFiles: several may be chosen), or none when the user
// cancelled.
QStringList ChooseFiles(QWidget* parent, const TqmFileRequest& request);
// The chosen folder (absolute, kind Folder), or "" when the user cancelled.
QString ChooseFolder(QWidget* parent, const TqmFileRequest& request);

// While set, ChooseFile, ChooseFiles and ChooseFolder return the script's answer instead of showing a
// dialog (for ChooseFiles the paths separated by line breaks).
using TqmFileDialogScript = std::function<QString(const TqmFileRequest&)>;
void SetFileDialogScript(TqmFileDialogScript script);

}  // namespace quillmar
