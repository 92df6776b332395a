#include "widgets/qmOpenWith.h"

#include <QDialogButtonBox>
#include <QFileInfo>
#include <QIcon>
#include <QLabel>
#include <QListWidget>
#include <QMimeDatabase>
#include <QProcess>
#include <QPushButton>
#include <QVBoxLayout>

#include "platform/DesktopLauncher.h"
#include "shell/qmFileDialogs.h"
#include "shell/qmMessages.h"
#include "widgets/qmText.h"

namespace quillmar {

namespace {

QString MimeTypeOf(const QString& path) {
  return QMimeDatabase().mimeTypeForFile(path).name();
}

void CouldNotStart(QWidget* parent, const QString& path) {
  ShowError(parent, QStringLiteral("No program could be started to open %1.").arg(path));
}

}  // namespace

QString DefaultApplicationFor(const QString& path) {
  QProcess p;
  p.start(QStringLiteral("xdg-mime"), {QStringLiteral("query"), QStringLiteral("default"), MimeTypeOf(path)});
  if (!p.waitForStarted(3000)) return QString();
  if (!p.waitForFinished(5000)) {
    p.kill();
    p.waitForFinished(1000);
    return QString();
  }
  if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) return QString();
  return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

bool OpenWithDesktop(QWidget* parent, const QString& path) {
  if (!DefaultApplicationFor(path).isEmpty()) {
    if (OpenDocument(ToUtf8(path))) return true;
    CouldNotStart(parent, path);
    return false;
  }
  TfrmOpenWith chooser(path, MimeTypeOf(path), MessageParent(parent));
  if (chooser.exec() != QDialog::Accepted) return false;
  if (LaunchDetached(chooser.Command())) return true;
  CouldNotStart(parent, path);
  return false;
}

TfrmOpenWith::TfrmOpenWith(const QString& path, const QString& mimeType, QWidget* parent)
    : QDialog(parent), path_(path) {
  setWindowTitle(QStringLiteral("Open with"));
  auto* layout = new QVBoxLayout(this);
  auto* note = new QLabel(QStringLiteral("Choose the program you want to use to open this file:\n%1")
                              .arg(QFileInfo(path).fileName()),
                          this);
  note->setWordWrap(true);
  layout->addWidget(note);

  apps_ = ListDesktopApplications(mimeType.toStdString(), DesktopApplicationFolders());
  list_ = new QListWidget(this);
  list_->setObjectName(QStringLiteral("lstApplications"));
  list_->setIconSize(QSize(16, 16));
  for (const TDesktopApplication& app : apps_) {
    auto* item = new QListWidgetItem(FromUtf8(app.name), list_);
    QString icon = FromUtf8(app.icon);
    if (!icon.isEmpty()) item->setIcon(QFileInfo(icon).isAbsolute() ? QIcon(icon) : QIcon::fromTheme(icon));
    if (app.handlesType) {
      QFont f = item->font();
      f.setBold(true);
      item->setFont(f);
    }
  }
  layout->addWidget(list_, 1);

  auto* buttons = new QDialogButtonBox(this);
  auto* browse = buttons->addButton(QStringLiteral("&Browse ..."), QDialogButtonBox::ActionRole);
  browse->setObjectName(QStringLiteral("btnBrowse"));
  ok_ = buttons->addButton(QDialogButtonBox::Ok);
  ok_->setObjectName(QStringLiteral("btnOK"));
  auto* cancel = buttons->addButton(QDialogButtonBox::Cancel);
  cancel->setObjectName(QStringLiteral("btnCancel"));
  layout->addWidget(buttons);

  ok_->setEnabled(false);
  connect(list_, &QListWidget::currentRowChanged, this, [this](int row) { ok_->setEnabled(row >= 0); });
  connect(list_, &QListWidget::itemActivated, this, [this] { Accept(); });
  connect(ok_, &QPushButton::clicked, this, [this] { Accept(); });
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(browse, &QPushButton::clicked, this, [this] { Browse(); });
  if (!apps_.empty()) list_->setCurrentRow(0);
  list_->setFocus();
  resize(420, 360);
}

void TfrmOpenWith::Accept() {
  int row = list_->currentRow();
  if (row < 0 || row >= static_cast<int>(apps_.size())) return;
  command_ = DesktopExecArguments(apps_[row], ToUtf8(path_));
  if (!command_.empty()) accept();
}

void TfrmOpenWith::Browse() {
  TqmFileRequest request;
  request.caption = QStringLiteral("Choose a program");
  request.folder = QStringLiteral("/usr/bin");
  QString program = ChooseFile(this, request);
  if (program.isEmpty()) return;
  if (!QFileInfo(program).isExecutable() || QFileInfo(program).isDir()) {
    ShowWarning(this, QStringLiteral("%1 is not a program that can be started.").arg(program));
    return;
  }
  command_ = {ToUtf8(program), ToUtf8(path_)};
  accept();
}

}  // namespace quillmar
