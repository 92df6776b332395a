#include "shell/qmPlaceholderTabs.h"

#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "core/qmGlobal.h"
#include "model/qmCategory.h"
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

// --- Zavozo Rero --------------------------------------------------------------------------------------

TfrmCryptoMailPlaceholder::TfrmCryptoMailPlaceholder(TqmShell&, QWidget* parent) : TqmTabWindow(parent) {
  setObjectName(QStringLiteral("TfrmCryptoMail"));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(NoteLabel(QStringLiteral("Zavozo Rero encrypts a file or a message for someone who knows "
                                             "the password you agreed on. Its window comes with a later "
                                             "version of the program; a file sent here from the File Locker "
                                             "or the file manager is shown below."),
                              this));
  auto* caption = new QLabel(QStringLiteral("File to be encrypted:"), this);
  caption->setObjectName(QStringLiteral("rbFile"));
  layout->addWidget(caption);
  fileName_ = new QLineEdit(this);
  fileName_->setObjectName(QStringLiteral("FileName"));
  fileName_->setReadOnly(true);
  fileName_->setPlaceholderText(QStringLiteral("(no file chosen)"));
  caption->setBuddy(fileName_);
  layout->addWidget(fileName_);
  layout->addStretch(1);
}

void TfrmCryptoMailPlaceholder::PresetFile(const QString& path) {
  fileName_->setText(path);
}

QString TfrmCryptoMailPlaceholder::PresetPath() const {
  return fileName_->text();
}

}  // namespace quillmar
