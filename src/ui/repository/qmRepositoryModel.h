#pragma once
// TqmRepositoryModel: the repository tree (core/qmRepositoryTree.h) as a Qt item model, for the
// repository tab's tree and the category manager's. Column 0 shows a category's Name or an entry's
// Title with its icon, column 1 the SortOrder.
//
// The model only shows what the tree has loaded: data() never reads the Safe. A category whose
// children were not read yet has children as far as the view knows; expanding it reads them
// (fetchMore, the user's own step). After an operation of the tree the tab calls Refresh, which
// resets the model; the view's expanded categories are the caller's to restore (ExpandedItems).
// Another program's changes come in row by row instead (FollowChanges).
// With categoriesOnly the entries are not shown.
#include <QAbstractItemModel>
#include <QIcon>
#include <functional>
#include <memory>
#include <unordered_map>
#include <vector>

#include "core/qmRepositoryTree.h"

namespace quillmar {

class TqmRepositoryModel : public QAbstractItemModel {
  Q_OBJECT
public:
  using TItem = TqmRepositoryTree::TItem;
  using TNode = TqmRepositoryTree::TNode;

  TqmRepositoryModel(TqmRepositoryTree& tree, bool categoriesOnly, QObject* parent = nullptr);

  TqmRepositoryTree& Tree() const { return tree_; }
  // The item of an index (none for the invalid index), and the index of an item (invalid for none,
  // the root, or an item that is not shown).
  TItem ItemOf(const QModelIndex& index) const;
  QModelIndex IndexOf(const TItem& item, int column = 0) const;
  // Forgets every index (the tree changed under it).
  void Refresh();
  // The item's name, number or icon changed.
  void ItemChanged(const TItem& item);
  // Takes other programs' changes into the tree (TqmRepositoryTree::TakeInChanges) with the rows
  // following step by step (inserted, removed, moved, updated in place), so that the view keeps its
  // expanded rows, selection and scroll place. leaving is told of each item before it goes (while it
  // and its row are still there); changed receives the items read anew. False when the tree could
  // not follow (nothing changed then): read it anew instead.
  bool FollowChanges(const TqmSafeChanges& changes, const std::function<void(const TItem&)>& leaving,
                     std::vector<TItem>& changed);

  QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
  QModelIndex parent(const QModelIndex& child) const override;
  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  bool hasChildren(const QModelIndex& parent = {}) const override;
  bool canFetchMore(const QModelIndex& parent) const override;
  void fetchMore(const QModelIndex& parent) override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
  class TFollow;
  struct TRow {
    TItem item;
  };
  TNode* NodeOf(const QModelIndex& parent) const;
  TRow* RowFor(const TItem& item) const;
  QIcon IconOf(const TItem& item) const;

  TqmRepositoryTree& tree_;
  bool categoriesOnly_;
  // One record per item handed out in an index (its internal pointer), keyed by the item's object.
  mutable std::unordered_map<const void*, std::unique_ptr<TRow>> rows_;
  mutable std::unordered_map<const void*, QIcon> icons_;
};

}  // namespace quillmar
