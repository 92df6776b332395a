#pragma once
// TqmLockerModel: the items of the folder the File Locker shows, as loaded (core/qmLockerItems.h),
// in four columns: "File Name", "Path", "Size" (right-aligned), "Last Updated" (centred). It holds
// what was loaded and never reads the Safe: loading is the window's explicit step (SetItems).
//
// Names can be edited in place (not the up item's); an edit is not applied here but handed to the
// window (RenameRequested, queued), which asks the core and loads the folder again.
#include <QAbstractTableModel>
#include <QSize>
#include <vector>

#include "core/qmLockerItems.h"

class QStyle;

namespace quillmar {

class TssSysIcons;

class TqmLockerModel : public QAbstractTableModel {
  Q_OBJECT
public:
  explicit TqmLockerModel(QObject* parent = nullptr);

  // Replaces the items and orders them by sortKey (SortType2).
  void SetItems(std::vector<TqmLockerItem> items, int sortKey);
  // Orders the items anew.
  void Sort(int sortKey);
  int SortKey() const { return sortKey_; }
  const std::vector<TqmLockerItem>& Items() const { return items_; }
  const TqmLockerItem* ItemAt(int row) const;
  // The row of the item of that name (letter case ignored), -1 when there is none.
  int RowOf(const std::string& name) const;
  // The pictures of column 0 (not owned; null: none).
  void SetIcons(TssSysIcons* icons);
  // The size every name cell of column 0 asks for (the list styles' cell, so that a view that takes
  // one item's size for all takes one the longest name fits in); invalid: the delegate's own.
  void SetCellSize(const QSize& size) { cellSize_ = size; }

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;

signals:
  // oldName: the Safe text of the item's name.
  void RenameRequested(const QByteArray& oldName, const QString& newName);

private:
  std::vector<TqmLockerItem> items_;
  int sortKey_ = locker::kInitialSort;
  TssSysIcons* icons_ = nullptr;
  QSize cellSize_;
};

}  // namespace quillmar
