#include "repository/qmRepositoryTreeView.h"

#include <QDragMoveEvent>
#include <QDropEvent>
#include <QMetaObject>
#include <functional>
#include <set>

#include "repository/qmRepositoryModel.h"

namespace quillmar {

TqmRepositoryTreeView::TqmRepositoryTreeView(QWidget* parent) : QTreeView(parent) {
  setIndentation(10);
  setDragEnabled(true);
  setAcceptDrops(true);
  setDropIndicatorShown(true);
  setDragDropMode(QAbstractItemView::DragDrop);
  // A copy, as far as Qt knows: it must never take the dragged row out of the model itself.
  setDefaultDropAction(Qt::CopyAction);
}

TqmRepositoryModel* TqmRepositoryTreeView::Model() const {
  return qobject_cast<TqmRepositoryModel*>(model());
}

std::vector<TqmRepositoryTreeView::TNode*> TqmRepositoryTreeView::ExpandedNodes() const {
  std::vector<TNode*> expanded;
  if (!Model()) return expanded;
  std::function<void(TNode&)> walk = [&](TNode& node) {
    for (auto& c : node.categories) {
      const QModelIndex index = Model()->IndexOf({c.get()});
      if (!index.isValid() || !isExpanded(index)) continue;
      expanded.push_back(c.get());
      walk(*c);
    }
  };
  walk(Model()->Tree().Root());
  return expanded;
}

void TqmRepositoryTreeView::ResetModel(const std::vector<TNode*>& expanded) {
  if (!Model()) return;
  Model()->Refresh();
  // Only nodes still in the tree are looked at: a removed one is gone with its memory.
  std::set<const TNode*> wanted(expanded.begin(), expanded.end());
  std::function<void(TNode&)> walk = [&](TNode& node) {
    for (auto& c : node.categories) {
      if (!wanted.count(c.get())) continue;
      setExpanded(Model()->IndexOf({c.get()}), true);
      walk(*c);
    }
  };
  walk(Model()->Tree().Root());
}

void TqmRepositoryTreeView::startDrag(Qt::DropActions supportedActions) {
  // The dragged item is the focused one.
  dragged_ = Model() ? Model()->ItemOf(currentIndex()) : TItem{};
  QTreeView::startDrag(supportedActions & Qt::CopyAction);
  dragged_ = {};
}

bool TqmRepositoryTreeView::DropAt(QDropEvent* event, TItem& target, TqmDropMode& mode) {
  if (!dropsAllowed_ || !Model() || dragged_.IsNone() || event->source() != this) return false;
  // The indicator is worked out by the base class's dragMoveEvent, which has run before this.
  const QModelIndex index = indexAt(event->position().toPoint());
  switch (dropIndicatorPosition()) {
    case AboveItem:
      mode = TqmDropMode::Above;
      break;
    case BelowItem:
      mode = TqmDropMode::Below;
      break;
    case OnItem:
      mode = TqmDropMode::On;
      break;
    case OnViewport:
      return false;
  }
  target = Model()->ItemOf(index.siblingAtColumn(0));
  return TqmRepositoryTree::CanDrop(dragged_, target, mode);
}

void TqmRepositoryTreeView::dragMoveEvent(QDragMoveEvent* event) {
  QTreeView::dragMoveEvent(event);
  TItem target;
  TqmDropMode mode = TqmDropMode::On;
  if (DropAt(event, target, mode)) {
    event->setDropAction(Qt::CopyAction);
    event->accept();
  } else {
    event->ignore();
  }
}

void TqmRepositoryTreeView::dropEvent(QDropEvent* event) {
  TItem target;
  TqmDropMode mode = TqmDropMode::On;
  const bool accepted = DropAt(event, target, mode);
  const TItem source = dragged_;
  // Nothing of Qt's own drop: the rows stay as they are until the receiver refreshes the model.
  event->setDropAction(Qt::IgnoreAction);
  event->accept();
  setState(NoState);
  viewport()->update();
  if (!accepted) return;
  // After the drag has ended: the receiver resets the model, which must not happen inside it.
  QMetaObject::invokeMethod(
      this, [this, source, target, mode] { emit dropRequested(source, target, mode); }, Qt::QueuedConnection);
}

}  // namespace quillmar
