#include "shell/qmFileDialogs.h"

#include <QFileDialog>
#include <QFileInfo>

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

void SetFileDialogScript(TqmFileDialogScript script) {
  Script() = std::move(script);
}

namespace {

QStringList RunDialog(QWidget* parent, const TqmFileRequest& request, bool several) {
  QFileDialog dialog(parent, request.caption);
  dialog.setObjectName(QStringLiteral("qmFileDialog"));
  dialog.setOption(QFileDialog::DontUseNativeDialog, true);
  dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
  const bool save = request.kind == TqmFileRequest::TKind::Save;
  dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog.setFileMode(save      ? QFileDialog::AnyFile
                     : several ? QFileDialog::ExistingFiles
                               : QFileDialog::ExistingFile);
  if (!request.filter.isEmpty()) dialog.setNameFilters({request.filter, QStringLiteral("All files (*)")});
  if (!request.defaultSuffix.isEmpty()) dialog.setDefaultSuffix(request.defaultSuffix);
  const QString folder = !request.folder.isEmpty() ? request.folder : LastFolder();
  if (!folder.isEmpty()) dialog.setDirectory(folder);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  QStringList chosen;
  for (const QString& file : dialog.selectedFiles()) chosen << QFileInfo(file).absoluteFilePath();
  LastFolder() = QFileInfo(chosen.first()).absolutePath();
  return chosen;
}

}  // namespace

QString ChooseFile(QWidget* parent, const TqmFileRequest& request) {
  if (Script()) return Script()(request);
  const QStringList chosen = RunDialog(parent, request, false);
  return chosen.isEmpty() ? QString() : chosen.first();
}

QStringList ChooseFiles(QWidget* parent, const TqmFileRequest& request) {
  if (Script()) {
    const QString answer = Script()(request);
    return answer.isEmpty() ? QStringList() : answer.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
  }
  return RunDialog(parent, request, request.kind == TqmFileRequest::TKind::Open);
}

}  // namespace quillmar
