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
  QFileDialog dialog(parent, request.caption);
  dialog.setObjectName(QStringLiteral("qmFileDialog"));
  dialog.setOption(QFileDialog::DontUseNativeDialog, true);
  dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
  const bool save = request.kind == TqmFileRequest::TKind::Save;
  dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  if (!request.filter.isEmpty()) dialog.setNameFilters({request.filter, QStringLiteral("All files (*)")});
  if (!request.defaultSuffix.isEmpty()) dialog.setDefaultSuffix(request.defaultSuffix);
  const QString folder = !request.folder.isEmpty() ? request.folder : LastFolder();
  if (!folder.isEmpty()) dialog.setDirectory(folder);
  if (!request.fileName.isEmpty()) dialog.selectFile(request.fileName);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  const QString chosen = QFileInfo(dialog.selectedFiles().first()).absoluteFilePath();
  LastFolder() = QFileInfo(chosen).absolutePath();
  return chosen;
}

}  // namespace quillmar
