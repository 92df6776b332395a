#pragma once
// TqmRepositoryTreeView: the tree of the repository tab (pwdRepositoryList) and of the category
// manager (categoriesListView) over a TqmRepositoryModel. Rows can be dragged within the tree; the
// view works out the drop mode from the drop indicator (above, on or below the row under the pointer;
// nowhere over the empty viewport), asks the core's rule (TqmRepositoryTree::CanDrop) while the row
// is dragged over, and hands an accepted drop on through dropRequested, queued, after the drag has
// ended. Qt never moves a row itself: the receiver carries the drop out in the Safe and refreshes.
// While drops are switched off (SetDropsAllowed(false), the tab's filter) every drop is refused.
// Each row is indented 10 pixels per level.
#include <QTreeView>
#include <vector>

#include "core/qmRepositoryTree.h"

namespace quillmar {

class TqmRepositoryModel;

class TqmRepositoryTreeView : public QTreeView {
  Q_OBJECT
public:
  using TItem = TqmRepositoryTree::TItem;

  explicit TqmRepositoryTreeView(QWidget* parent = nullptr);

  using TNode = TqmRepositoryTree::TNode;

  // The category nodes shown expanded now (before an operation of the tree).
  std::vector<TNode*> ExpandedNodes() const;
  // After an operation: the model forgets its rows, and those of nodes that are still in the tree are
  // expanded again.
  void ResetModel(const std::vector<TNode*>& expanded);

  void SetDropsAllowed(bool allowed) { dropsAllowed_ = allowed; }
  bool DropsAllowed() const { return dropsAllowed_; }

signals:
  void dropRequested(quillmar::TqmRepositoryTree::TItem source, quillmar::TqmRepositoryTree::TItem target,
                     quillmar::TqmDropMode mode);

protected:
  void startDrag(Qt::DropActions supportedActions) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

private:
  TqmRepositoryModel* Model() const;
  // The target and mode of the drop at the event's position; false when there is none.
  bool DropAt(QDropEvent* event, TItem& target, TqmDropMode& mode);

  TItem dragged_;
  bool dropsAllowed_ = true;
};

}  // namespace quillmar
