#include "repository/frmIconBrowser.h"

#include <QApplication>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "core/qmGlobal.h"
#include "model/RecordCheck.h"
#include "shell/qmFileDialogs.h"
#include "shell/qmMessages.h"
#include "widgets/qmIconImages.h"
#include "widgets/qmText.h"

namespace quillmar {

TfrmIconBrowser::TfrmIconBrowser(TqmGlobal& global, int kind, QWidget* parent)
    : QDialog(parent), g_(global), kind_(kind) {
  setObjectName(QStringLiteral("TfrmIconBrowser"));
  setWindowTitle(QStringLiteral("Icon Browser"));
  auto* layout = new QVBoxLayout(this);
  list_ = new QListWidget(this);
  list_->setObjectName(QStringLiteral("lstIcons"));
  list_->setViewMode(QListView::IconMode);
  list_->setIconSize(QSize(32, 32));
  // Each cell is wide enough for a name of a dozen characters; the text of every item is measured
  // on its own (uniform sizes would take the first, often short, name's width for all of them).
  list_->setGridSize(QSize(fontMetrics().horizontalAdvance(QStringLiteral("smartphone.ico")) + 16, 64));
  list_->setResizeMode(QListView::Adjust);
  list_->setMovement(QListView::Static);
  list_->setWordWrap(true);
  list_->setTextElideMode(Qt::ElideMiddle);
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  layout->addWidget(list_, 1);

  auto* buttons = new QHBoxLayout();
  auto* load = new QPushButton(QStringLiteral("&Load From File"), this);
  load->setObjectName(QStringLiteral("btnLoadFromFile"));
  load->setAutoDefault(false);
  buttons->addWidget(load);
  buttons->addStretch(1);
  auto* ok = new QPushButton(QStringLiteral("OK"), this);
  ok->setObjectName(QStringLiteral("btnOK"));
  ok->setDefault(true);
  auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
  cancel->setObjectName(QStringLiteral("btnCancel"));
  cancel->setAutoDefault(false);
  buttons->addWidget(ok);
  buttons->addWidget(cancel);
  layout->addLayout(buttons);

  connect(load, &QPushButton::clicked, this,
          [this] { LoadFromFile(QApplication::keyboardModifiers().testFlag(Qt::ShiftModifier)); });
  connect(ok, &QPushButton::clicked, this, &TfrmIconBrowser::Ok);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(list_, &QListWidget::itemActivated, this, [this] { Ok(); });
  resize(520, 380);
}

void TfrmIconBrowser::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!loaded_) LoadIcons();
}

int TfrmIconBrowser::LoadIcons() {
  loaded_ = true;
  list_->clear();
  std::vector<std::string> names;
  g_.ListIcons(static_cast<TqmSFSWrapper::TIconKind>(kind_), names);
  struct TShown {
    QString caption;
    std::string name;
    QPixmap picture;
  };
  std::vector<TShown> shown;
  shown.reserve(names.size());
  for (const std::string& name : names) {
    TqvtIcon icon;
    if (!g_.LoadIcon(kind_, name, icon)) continue;
    shown.push_back({FromSafeText(name), name, IconPixmap(icon.Image(), 32)});
  }
  // Sorted by caption once, then added in that order (adding to a sorting list costs more per item).
  std::sort(shown.begin(), shown.end(), [](const TShown& a, const TShown& b) {
    return QString::localeAwareCompare(a.caption, b.caption) < 0;
  });
  list_->setUpdatesEnabled(false);
  for (TShown& s : shown) {
    auto* item = new QListWidgetItem(QIcon(s.picture), s.caption);
    item->setData(Qt::UserRole, QByteArray(s.name.data(), static_cast<qsizetype>(s.name.size())));
    item->setToolTip(s.caption);
    list_->addItem(item);
  }
  list_->setUpdatesEnabled(true);
  if (list_->count() > 0) list_->setCurrentRow(0, QItemSelectionModel::NoUpdate);
  return list_->count();
}

void TfrmIconBrowser::Ok() {
  if (!fromFile_) {
    if (QListWidgetItem* item = list_->currentItem(); item && item->isSelected()) {
      const QByteArray name = item->data(Qt::UserRole).toByteArray();
      TqvtIcon icon;
      try {
        if (g_.LoadIcon(kind_, name.toStdString(), icon)) result_ = icon;
      } catch (const std::exception& e) {
        ShowError(this, FromMessage(e.what()));
        return;
      }
    }
  }
  accept();
}

QString TfrmIconBrowser::NotAnIconMessage(const QStringList& files) {
  return QStringLiteral("These files could not be stored as icons:\n%1").arg(files.join(QLatin1Char('\n')));
}

void TfrmIconBrowser::LoadFromFile(bool several) {
  TqmFileRequest request;
  request.caption = QStringLiteral("Load From File");
  request.filter = QStringLiteral("Icons (*.ico *.png)");
  QStringList files;
  if (several) {
    files = ChooseFiles(this, request);
  } else {
    const QString file = ChooseFile(this, request);
    if (!file.isEmpty()) files << file;
  }
  if (files.isEmpty()) {
    reject();
    return;
  }
  QStringList refused;
  bool stored = false;
  for (const QString& file : files) {
    const QFileInfo info(file);
    std::string bytes;
    QString problem;
    if (!ReadIconFile(file, bytes, &problem)) {
      refused << QStringLiteral("%1: %2").arg(file, problem);
      continue;
    }
    // Stored as "<file name>.ico": an icon's own name, anything else with ".ico" in place of its
    // extension.
    const QString name = info.completeBaseName() + QStringLiteral(".ico");
    std::string safeName;
    QString encodeProblem;
    if (!ToSafeText(name, safeName, &encodeProblem, QStringLiteral("file name"))) {
      refused << QStringLiteral("%1: %2").arg(file, encodeProblem);
      continue;
    }
    if (std::string nameProblem = NameProblem(safeName, "The icon's name"); !nameProblem.empty()) {
      refused << QStringLiteral("%1: %2").arg(file, FromMessage(nameProblem));
      continue;
    }
    try {
      TqvtIcon icon(safeName, bytes);
      g_.SaveIcon(kind_, icon, safeName);
      result_ = icon;
      stored = true;
    } catch (const std::exception& e) {
      refused << QStringLiteral("%1: %2").arg(file, FromMessage(e.what()));
    }
  }
  if (!refused.isEmpty()) ShowError(this, NotAnIconMessage(refused));
  if (stored) {
    fromFile_ = true;
    accept();
  } else {
    LoadIcons();
  }
}

}  // namespace quillmar
