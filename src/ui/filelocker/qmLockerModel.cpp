#include "filelocker/qmLockerModel.h"

#include <QFont>

#include "filelocker/ssSysIcons.h"
#include "widgets/qmText.h"

namespace quillmar {

TqmLockerModel::TqmLockerModel(QObject* parent) : QAbstractTableModel(parent) {}

void TqmLockerModel::SetItems(std::vector<TqmLockerItem> items, int sortKey) {
  beginResetModel();
  items_ = std::move(items);
  sortKey_ = sortKey;
  SortLockerItems(items_, sortKey_);
  endResetModel();
}

void TqmLockerModel::Sort(int sortKey) {
  emit layoutAboutToBeChanged();
  sortKey_ = sortKey;
  SortLockerItems(items_, sortKey_);
  emit layoutChanged();
}

const TqmLockerItem* TqmLockerModel::ItemAt(int row) const {
  return row >= 0 && row < static_cast<int>(items_.size()) ? &items_[static_cast<size_t>(row)] : nullptr;
}

int TqmLockerModel::RowOf(const std::string& name) const {
  return FindLockerItem(items_, name);
}

void TqmLockerModel::SetIcons(TssSysIcons* icons) {
  beginResetModel();
  icons_ = icons;
  endResetModel();
}

int TqmLockerModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(items_.size());
}

int TqmLockerModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : 4;
}

QVariant TqmLockerModel::data(const QModelIndex& index, int role) const {
  const TqmLockerItem* item = ItemAt(index.row());
  if (!item) return {};
  switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
      switch (index.column()) {
        case 0:
          return FromSafeText(item->Name);
        case 1:
          return FromSafeText(item->Path);
        case 2:
          return QString::fromStdString(item->SizeText());
        case 3:
          return QString::fromStdString(item->Modified);
      }
      return {};
    case Qt::DecorationRole:
      if (index.column() != 0 || !icons_) return {};
      return icons_->Picture(item->IsUp()       ? TssSysIcons::TKind::Up
                             : item->IsFolder() ? TssSysIcons::TKind::Folder
                                                : TssSysIcons::TKind::File,
                             FromSafeText(item->Name), item->IsFile());
    case Qt::SizeHintRole:
      if (index.column() == 0 && cellSize_.isValid()) return cellSize_;
      return {};
    case Qt::TextAlignmentRole:
      if (index.column() == 2) return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
      if (index.column() == 3) return QVariant::fromValue(Qt::AlignCenter);
      return {};
    case Qt::ToolTipRole:
      if (item->CopyWaiting)
        return QStringLiteral(
            "A copy of this file was opened. Changes made to it are written back into the "
            "Safe when the Safe closes.");
      return {};
    case Qt::FontRole:
      if (item->CopyWaiting && index.column() == 0) {
        QFont font;
        font.setItalic(true);
        return font;
      }
      return {};
  }
  return {};
}

QVariant TqmLockerModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal) return {};
  if (role == Qt::DisplayRole) {
    static const char* const kCaptions[] = {"File Name", "Path", "Size", "Last Updated"};
    return section >= 0 && section < 4 ? QString::fromLatin1(kCaptions[section]) : QVariant();
  }
  if (role == Qt::TextAlignmentRole) {
    if (section == 2) return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
    if (section == 3) return QVariant::fromValue(Qt::AlignCenter);
  }
  return {};
}

Qt::ItemFlags TqmLockerModel::flags(const QModelIndex& index) const {
  const TqmLockerItem* item = ItemAt(index.row());
  if (!item) return Qt::NoItemFlags;
  Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
  if (index.column() == 0 && !item->IsUp()) f |= Qt::ItemIsEditable;
  return f;
}

bool TqmLockerModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (role != Qt::EditRole || index.column() != 0 || !ItemAt(index.row()) || ItemAt(index.row())->IsUp())
    return false;
  // The window renames through the core once the editor is gone; the caption stays until then.
  const std::string& name = ItemAt(index.row())->Name;
  emit RenameRequested(QByteArray(name.data(), static_cast<qsizetype>(name.size())), value.toString());
  return false;
}

}  // namespace quillmar
