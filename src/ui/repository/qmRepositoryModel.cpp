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

// Turns each step of the tree into the model's begin and end calls.
class TqmRepositoryModel::TFollow : public TqmRepositoryTree::TFollower {
public:
  TFollow(TqmRepositoryModel& model, const std::function<void(const TItem&)>& leaving,
          std::vector<TItem>& changed)
      : m_(model), leaving_(leaving), changed_(changed) {}

  void Removing(TNode& node, int position, bool entry) override {
    skip_ = Hidden(entry);
    const TItem item = TqmRepositoryTree::ChildAt(node, position);
    if (leaving_) leaving_(item);
    // Every row record below the item goes with it.
    gone_.clear();
    if (item.entry) {
      gone_.push_back(item.entry);
    } else {
      std::function<void(TNode&)> collect = [&](TNode& n) {
        gone_.push_back(&n);
        for (auto& e : n.entries) gone_.push_back(e.get());
        for (auto& c : n.categories) collect(*c);
      };
      collect(*item.node);
    }
    if (!skip_) m_.beginRemoveRows(ParentIndex(node), position, position);
  }
  void Removed() override {
    if (!skip_) m_.endRemoveRows();
    for (const void* key : gone_) {
      m_.rows_.erase(key);
      m_.icons_.erase(key);
    }
    gone_.clear();
  }
  void Inserting(TNode& node, int position, bool entry) override {
    skip_ = Hidden(entry);
    if (!skip_) m_.beginInsertRows(ParentIndex(node), position, position);
  }
  void Inserted() override {
    if (!skip_) m_.endInsertRows();
  }
  void Moving(TNode& node, int from, int to, bool entry) override {
    // Qt counts the place before the move: a row moved down goes before the row after its new place.
    const QModelIndex parent = ParentIndex(node);
    skip_ = Hidden(entry) || !m_.beginMoveRows(parent, from, from, parent, to > from ? to + 1 : to);
  }
  void Moved() override {
    if (!skip_) m_.endMoveRows();
  }
  void Changed(TNode& node, int position, bool entry) override {
    const TItem item = TqmRepositoryTree::ChildAt(node, position);
    changed_.push_back(item);
    const void* key = item.entry ? static_cast<const void*>(item.entry) : static_cast<const void*>(item.node);
    m_.icons_.erase(key);
    if (Hidden(entry)) return;
    emit m_.dataChanged(m_.createIndex(position, 0, m_.RowFor(item)),
                        m_.createIndex(position, 1, m_.RowFor(item)));
  }

private:
  bool Hidden(bool entry) const { return entry && m_.categoriesOnly_; }
  QModelIndex ParentIndex(TNode& node) const { return m_.IndexOf({&node}); }

  TqmRepositoryModel& m_;
  const std::function<void(const TItem&)>& leaving_;
  std::vector<TItem>& changed_;
  bool skip_ = false;
  std::vector<const void*> gone_;
};

bool TqmRepositoryModel::FollowChanges(const TqmSafeChanges& changes,
                                       const std::function<void(const TItem&)>& leaving,
                                       std::vector<TItem>& changed) {
  TFollow follow(*this, leaving, changed);
  return tree_.TakeInChanges(changes, follow);
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
