#include "repository/qmRepositoryModel.h"

#include <QPixmap>

#include "widgets/qmText.h"

namespace quillmar {

TqmRepositoryModel::TqmRepositoryModel(TqmRepositoryTree& tree, bool categoriesOnly, QObject* parent)
    : QAbstractItemModel(parent), tree_(tree), categoriesOnly_(categoriesOnly) {}

TqmRepositoryModel::TItem TqmRepositoryModel::ItemOf(const QModelIndex& index) const {
  if (!index.isValid()) return {};
  return static_cast<const TRow*>(index.internalPointer())->item;
}

TqmRepositoryModel::TRow* TqmRepositoryModel::RowFor(const TItem& item) const {
  const void* key = item.entry ? static_cast<const void*>(item.entry) : static_cast<const void*>(item.node);
  auto& row = rows_[key];
  if (!row) row = std::make_unique<TRow>();
  row->item = item;
  return row.get();
}

QModelIndex TqmRepositoryModel::IndexOf(const TItem& item, int column) const {
  if (item.IsNone() || (!item.entry && !item.node->category)) return {};
  if (item.entry && categoriesOnly_) return {};
  const int row = TqmRepositoryTree::PositionOf(item);
  if (row < 0) return {};
  return createIndex(row, column, RowFor(item));
}

void TqmRepositoryModel::Refresh() {
  beginResetModel();
  rows_.clear();
  icons_.clear();
  endResetModel();
}

void TqmRepositoryModel::ItemChanged(const TItem& item) {
  icons_.erase(item.entry ? static_cast<const void*>(item.entry) : static_cast<const void*>(item.node));
  const QModelIndex first = IndexOf(item, 0);
  if (first.isValid()) emit dataChanged(first, IndexOf(item, 1));
}

TqmRepositoryModel::TNode* TqmRepositoryModel::NodeOf(const QModelIndex& parent) const {
  if (!parent.isValid()) return &tree_.Root();
  const TItem item = ItemOf(parent);
  return item.entry ? nullptr : item.node;
}

QModelIndex TqmRepositoryModel::index(int row, int column, const QModelIndex& parent) const {
  TNode* node = NodeOf(parent);
  if (!node || column < 0 || column > 1 || row < 0 || row >= rowCount(parent)) return {};
  return createIndex(row, column, RowFor(TqmRepositoryTree::ChildAt(*node, row)));
}

QModelIndex TqmRepositoryModel::parent(const QModelIndex& child) const {
  const TItem item = ItemOf(child);
  if (item.IsNone()) return {};
  TNode& parentNode = TqmRepositoryTree::ParentOf(item);
  return IndexOf({&parentNode});
}

int TqmRepositoryModel::rowCount(const QModelIndex& parent) const {
  if (parent.isValid() && parent.column() != 0) return 0;
  const TNode* node = NodeOf(parent);
  if (!node || !node->loaded) return 0;
  return static_cast<int>(node->categories.size() + (categoriesOnly_ ? 0 : node->entries.size()));
}

int TqmRepositoryModel::columnCount(const QModelIndex&) const {
  return 2;
}

bool TqmRepositoryModel::hasChildren(const QModelIndex& parent) const {
  const TNode* node = NodeOf(parent);
  if (!node || (parent.isValid() && parent.column() != 0)) return false;
  return !node->loaded || rowCount(parent) > 0;
}

bool TqmRepositoryModel::canFetchMore(const QModelIndex& parent) const {
  const TNode* node = NodeOf(parent);
  return node && !node->loaded;
}

void TqmRepositoryModel::fetchMore(const QModelIndex& parent) {
  TNode* node = NodeOf(parent);
  if (!node || node->loaded) return;
  // The children are read as one step; the rows appear once they are there.
  tree_.Load(*node);
  const int count = rowCount(parent);
  if (count > 0) {
    beginInsertRows(parent, 0, count - 1);
    endInsertRows();
  }
}

QIcon TqmRepositoryModel::IconOf(const TItem& item) const {
  const void* key = item.entry ? static_cast<const void*>(item.entry) : static_cast<const void*>(item.node);
  auto found = icons_.find(key);
  if (found != icons_.end()) return found->second;
  const std::string& bytes = item.entry ? item.entry->Icon() : item.node->category->Icon();
  QPixmap pixmap;
  QIcon icon;
  if (!bytes.empty() && pixmap.loadFromData(reinterpret_cast<const uchar*>(bytes.data()),
                                            static_cast<uint>(bytes.size()), "ICO"))
    icon = QIcon(pixmap.scaled(16, 16, Qt::KeepAspectRatio, Qt::SmoothTransformation));
  icons_[key] = icon;
  return icon;
}

QVariant TqmRepositoryModel::data(const QModelIndex& index, int role) const {
  const TItem item = ItemOf(index);
  if (item.IsNone()) return {};
  if (role == Qt::DisplayRole) {
    if (index.column() == 1)
      return QString::number(item.entry ? item.entry->SortOrder() : item.node->category->SortOrder());
    return FromSafeText(item.entry ? item.entry->Title() : item.node->category->Name());
  }
  if (role == Qt::DecorationRole && index.column() == 0) return IconOf(item);
  return {};
}

QVariant TqmRepositoryModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  return section == 0 ? QStringLiteral("Name") : QStringLiteral("Sort order");
}

Qt::ItemFlags TqmRepositoryModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::ItemIsDropEnabled;
  return Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsDragEnabled | Qt::ItemIsDropEnabled;
}

}  // namespace quillmar
