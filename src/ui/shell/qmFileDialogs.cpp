#include "shell/qmFileDialogs.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QStandardPaths>

namespace quillmar {

namespace {

TqmFileDialogScript& Script() {
  static TqmFileDialogScript script;
  return script;
}

QString& LastFolder() {
  static QString folder;
  return folder;
}

QStringList Choose(QWidget* parent, const TqmFileRequest& request);

}  // namespace

QString DocumentsFolder() {
  const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
  return !documents.isEmpty() && QFileInfo(documents).isDir() ? documents : QDir::homePath();
}

void SetFileDialogScript(TqmFileDialogScript script) {
  Script() = std::move(script);
}

QString ChooseFile(QWidget* parent, const TqmFileRequest& request) {
  if (Script()) return Script()(request);
  const QStringList chosen = Choose(parent, request);
  return chosen.isEmpty() ? QString() : chosen.first();
}

QStringList ChooseFiles(QWidget* parent, const TqmFileRequest& request) {
  if (Script()) return Script()(request).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
  // Several files are chosen whether the request says Open or OpenFiles.
  TqmFileRequest several = request;
  if (several.kind == TqmFileRequest::TKind::Open) several.kind = TqmFileRequest::TKind::OpenFiles;
  return Choose(parent, several);
}

QString ChooseFolder(QWidget* parent, const TqmFileRequest& request) {
  if (Script()) return Script()(request);
  const QStringList chosen = Choose(parent, request);
  return chosen.isEmpty() ? QString() : chosen.first();
}

namespace {

QStringList Choose(QWidget* parent, const TqmFileRequest& request) {
  QFileDialog dialog(parent, request.caption);
  dialog.setObjectName(QStringLiteral("qmFileDialog"));
  dialog.setOption(QFileDialog::DontUseNativeDialog, true);
  dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
  const bool save = request.kind == TqmFileRequest::TKind::Save;
  dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  switch (request.kind) {
    case TqmFileRequest::TKind::Save:
      dialog.setFileMode(QFileDialog::AnyFile);
      break;
    case TqmFileRequest::TKind::OpenFiles:
      dialog.setFileMode(QFileDialog::ExistingFiles);
      break;
    case TqmFileRequest::TKind::Folder:
      dialog.setFileMode(QFileDialog::Directory);
      dialog.setOption(QFileDialog::ShowDirsOnly, true);
      break;
    case TqmFileRequest::TKind::Open:
      dialog.setFileMode(QFileDialog::ExistingFile);
      break;
  }
  if (!request.filter.isEmpty()) dialog.setNameFilters({request.filter, QStringLiteral("All files (*)")});
  if (!request.defaultSuffix.isEmpty()) dialog.setDefaultSuffix(request.defaultSuffix);
  const QString folder = !request.folder.isEmpty() ? request.folder : LastFolder();
  if (!folder.isEmpty()) dialog.setDirectory(folder);
  if (!request.fileName.isEmpty()) dialog.selectFile(request.fileName);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  QStringList chosen;
  for (const QString& file : dialog.selectedFiles()) chosen << QFileInfo(file).absoluteFilePath();
  LastFolder() = request.kind == TqmFileRequest::TKind::Folder ? chosen.first()
                                                               : QFileInfo(chosen.first()).absolutePath();
  return chosen;
}

}  // namespace

}  // namespace quillmar
