#pragma once
// TqmRepositoryEntryViewer: the read-only view of one entry under the repository's tree: a panel
// holding a scroll box in which ShowEntry lays out one field viewer per field (fields/). The
// repository tab makes one (619 x 101 pixels, white, borderless, at (10, 292) of the tab) and calls
// ShowEntry(entry) on every change of the selection, ShowEntry(nullptr) for a category or none.
//
// ShowEntry's layout, field by field in order, with the scroll box's width W:
//   - the caption width is the widest Name + ": " of all fields;
//   - ordinary fields fill two columns: one after a left-column field goes into the right column at
//     x = (W - 15) / 2, otherwise into the left one at x = 5; width (W - 20) / 2 - 10;
//   - a Memo takes a row of its own at x = 5, width W - 25; after a left-column field it first moves
//     down by that field's height + 4;
//   - the row starts at y = 1; after a Memo y grows by 2; a field that did not end in the left column
//     adds its height + 1.
// Fields of a type this program does not know show their value read-only as ordinary fields.
//
// The entry is not owned and must outlive the view (or be replaced by another ShowEntry first). A
// viewer's action that saves the entry (a reminder deleted) is followed by entrySaved(entry) and the
// entry is shown again.
#include <QFrame>
#include <vector>

class QScrollArea;

namespace quillmar {

class TqmGlobal;
class TqmRepositoryEntry;
class TqmCustomFieldViewer;

class TqmRepositoryEntryViewer : public QFrame {
  Q_OBJECT
public:
  TqmRepositoryEntryViewer(TqmGlobal& global, QWidget* parent = nullptr);

  // Shows entry (see the top); null shows nothing.
  void ShowEntry(TqmRepositoryEntry* entry);
  TqmRepositoryEntry* Entry() const { return entry_; }

  QScrollArea* ScrollBox() const { return scrollBox_; }
  // The viewers shown, in field order.
  const std::vector<TqmCustomFieldViewer*>& Viewers() const { return viewers_; }

  QSize sizeHint() const override { return QSize(619, 101); }

signals:
  void entrySaved(TqmRepositoryEntry* entry);

private:
  TqmGlobal& g_;
  TqmRepositoryEntry* entry_ = nullptr;
  QScrollArea* scrollBox_;
  QWidget* content_;
  std::vector<TqmCustomFieldViewer*> viewers_;
};

}  // namespace quillmar
