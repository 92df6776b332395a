#include "shell/qmPlaceholderTabs.h"

#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPixmap>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <filesystem>

#include "core/qmGlobal.h"
#include "model/qmCategory.h"
#include "shell/qmMessages.h"
#include "widgets/qmPictures.h"
#include "widgets/qmText.h"

namespace quillmar {

namespace {

QLabel* NoteLabel(const QString& text, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setWordWrap(true);
  label->setObjectName(QStringLiteral("lblPlaceholderNote"));
  label->setStyleSheet(QStringLiteral("color: #4a5563;"));
  return label;
}

QString SizeText(uint32_t bytes) {
  return QLocale().formattedDataSize(bytes, 1, QLocale::DataSizeTraditionalFormat);
}

}  // namespace

// --- Password Repository -----------------------------------------------------------------------------

TfrmPasswordRepositoryPlaceholder::TfrmPasswordRepositoryPlaceholder(TqmShell& shell, QWidget* parent)
    : TqmTabWindow(parent), shell_(shell) {
  setObjectName(QStringLiteral("TfrmPasswordRepository"));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(
      NoteLabel(QStringLiteral("The categories of this Safe. The repository view that lists and "
                               "edits the entries comes with a later version of the program; "
                               "until then quillmar-cli lists and edits them."),
                this));
  tree_ = new QTreeWidget(this);
  tree_->setObjectName(QStringLiteral("tvCategories"));
  tree_->setColumnCount(2);
  tree_->setHeaderLabels({QStringLiteral("Category"), QStringLiteral("Entries")});
  tree_->setIconSize(QSize(20, 20));
  tree_->setRootIsDecorated(true);
  layout->addWidget(tree_, 1);
}

void TfrmPasswordRepositoryPlaceholder::AddCategories(const TqmCategory* parent, QTreeWidgetItem* parentItem,
                                                      int depth) {
  TqmGlobal& g = shell_.Global();
  const int count = g.CountSubcategories(parent);
  for (int i = 0; i < count; ++i) {
    TqmCategory category(const_cast<TqmCategory*>(parent));
    if (!g.LoadCategory(parent, i, false, category) || category.FolderName().empty()) continue;
    auto* item = parentItem ? new QTreeWidgetItem(parentItem) : new QTreeWidgetItem(tree_);
    item->setText(0, FromSafeText(category.Name()));
    item->setText(1, QString::number(g.CountEntries(category.FolderPath())));
    item->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
    QPixmap icon;
    if (category.HasIcon() && icon.loadFromData(reinterpret_cast<const uchar*>(category.Icon().data()),
                                                static_cast<uint>(category.Icon().size()), "ICO"))
      item->setIcon(0, QIcon(icon));
    // Nested categories are shown to a sensible depth (a damaged Safe could nest without end).
    if (depth < 16) AddCategories(&category, item, depth + 1);
  }
}

void TfrmPasswordRepositoryPlaceholder::TabShown() {
  tree_->clear();
  if (!shell_.Global().SafeOpen()) return;
  AddCategories(nullptr, nullptr, 0);
  tree_->expandAll();
  tree_->header()->setStretchLastSection(false);
  tree_->header()->setSectionResizeMode(0, QHeaderView::Stretch);
  tree_->header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
}

void TfrmPasswordRepositoryPlaceholder::FindNext(const QString& text, bool, bool) {
  lastFind_ = text;
}

// --- File Locker ------------------------------------------------------------------------------------

TfrmFileLockerPlaceholder::TfrmFileLockerPlaceholder(TqmShell& shell, QWidget* parent)
    : TqmTabWindow(parent), shell_(shell), currentFolder_(TqmSFSWrapper::FileLockerRoot()) {
  setObjectName(QStringLiteral("TfrmFileLocker"));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(
      NoteLabel(QStringLiteral("The files locked in this Safe. Drop files on this window to lock "
                               "them into the Safe. Browsing, opening and unlocking come with a "
                               "later version of the program."),
                this));
  list_ = new QListWidget(this);
  list_->setObjectName(QStringLiteral("TssFileLockerListView"));
  layout->addWidget(list_, 1);
  SetViewStyle(0);
}

bool TfrmFileLockerPlaceholder::LockDiskFile(const QString& path) {
  TqmGlobal& g = shell_.Global();
  if (!g.SafeOpen()) return false;
  const std::string disk = ToUtf8(path);
  // A folder cannot be locked; it is skipped without a message.
  std::error_code ec;
  if (!std::filesystem::is_regular_file(disk, ec)) return false;
  if (!g.LockFile(currentFolder_, disk, true)) {
    // A name the Safe refuses (a control character, too long, outside the code page) or a file that
    // cannot be read: the file stays on the disk and the user learns why. (No reason: the user
    // declined to overwrite a locked file of that name.)
    if (!g.LastLockError().empty())
      ShowError(shell_.Window(),
                QStringLiteral("The file \"%1\" was not locked into the Safe; it stays on the disk.\n\n")
                        .arg(QFileInfo(path).fileName()) +
                    FromMessage(g.LastLockError()));
    Refresh();
    return false;
  }
  if (g.Settings().FileLocker.removeFileFromDisk.Value()) std::filesystem::remove(disk, ec);
  Refresh();
  return true;
}

void TfrmFileLockerPlaceholder::SetViewStyle(int style) {
  viewStyle_ = style < 0 ? (viewStyle_ + 1) % 4 : std::min(style, 3);
  const bool icons = viewStyle_ <= 1;
  list_->setViewMode(icons ? QListView::IconMode : QListView::ListMode);
  list_->setIconSize(viewStyle_ == 0 ? QSize(32, 32) : QSize(16, 16));
  list_->setGridSize(viewStyle_ == 0 ? QSize(120, 70) : QSize());
  list_->setWordWrap(viewStyle_ == 0);
  list_->setResizeMode(QListView::Adjust);
  Refresh();
}

void TfrmFileLockerPlaceholder::Refresh() {
  list_->clear();
  TqmGlobal& g = shell_.Global();
  if (!g.SafeOpen()) return;
  const QIcon folderIcon(QPixmap::fromImage(GlyphImage("folder", 32)));
  const QIcon fileIcon(QPixmap::fromImage(GlyphImage("note", 32)));
  for (int i = 0, n = g.CountFolders(currentFolder_); i < n; ++i) {
    const TqmFileInfo info = g.FolderInfoAt(currentFolder_, i);
    auto* item = new QListWidgetItem(folderIcon, FromSafeText(info.Name), list_);
    if (viewStyle_ == 3)
      item->setText(item->text() + QStringLiteral("\tfolder\t") + FromSafeText(info.Modified));
  }
  for (int i = 0, n = g.CountFiles(currentFolder_); i < n; ++i) {
    const TqmFileInfo info = g.FileInfoAt(currentFolder_, i);
    auto* item = new QListWidgetItem(fileIcon, FromSafeText(info.Name), list_);
    item->setData(Qt::UserRole, static_cast<qulonglong>(info.Size));
    if (viewStyle_ == 3)
      item->setText(item->text() + QStringLiteral("\t") + SizeText(info.Size) + QStringLiteral("\t") +
                    FromSafeText(info.Modified));
    item->setToolTip(QStringLiteral("%1, %2").arg(SizeText(info.Size), FromSafeText(info.Modified)));
  }
}

}  // namespace quillmar
