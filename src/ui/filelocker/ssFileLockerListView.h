#pragma once
// TssFileLockerListView (objectName "lvFiles"): the File Locker's list. One model (TqmLockerModel)
// and one selection, shown in one of four styles: 0 large icons, 1 small icons, 2 list, 3 details
// (the columns, with a header whose clicks ask for another order). Extended selection; Enter and a
// double click activate the current item, Backspace asks for the folder above, F2 edits the name,
// typing selects by name. A drag of the selection asks the window (DragRequested), which makes the
// files' copies and drags those.
#include <QStackedWidget>
#include <QString>
#include <memory>
#include <string>

class QAbstractItemView;
class QItemSelectionModel;
class QListView;
class QTreeView;

namespace quillmar {

// A name being edited in place: the item (Row -1: none), what was typed, and where the cursor was.
struct TInlineEdit {
  int Row = -1;
  std::string Name;  // the item's name (Safe text)
  QString Text;
  int Cursor = 0;
  int SelectionStart = -1;
  int SelectionLength = 0;
};

class TqmLockerModel;
class TssSysIconsSmall;
class TssSysIconsLarge;

class TssFileLockerListView : public QStackedWidget {
  Q_OBJECT
public:
  explicit TssFileLockerListView(QWidget* parent = nullptr);
  ~TssFileLockerListView() override;

  TqmLockerModel* Model() const { return model_; }
  QItemSelectionModel* Selection() const { return selection_; }
  // The view of the current style.
  QAbstractItemView* View() const;
  QListView* IconView() const { return icons_; }
  QTreeView* DetailsView() const { return details_; }

  // 0..3 as above; -1 the next style (after 3 back to 0); other values are taken as the nearest one.
  void SetViewStyle(int style);
  int ViewStyle() const { return style_; }

  // The selected rows in the order shown.
  std::vector<int> SelectedRows() const;
  // Selects the row alone and makes it current (-1: no selection).
  void SelectRow(int row);
  // Starts editing the name of the row.
  void EditRow(int row);
  // The name being edited in place now (Row -1 when none).
  TInlineEdit InlineEdit() const;
  // Edits the name of the row again, with the text and cursor of edit (an edit the reload closed).
  void ResumeInlineEdit(int row, const TInlineEdit& edit);

signals:
  void Activated(int row);
  void UpRequested();
  void HeaderClicked(int column);
  void SelectionChanged();
  void ContextMenuRequested(const QPoint& globalPos);
  // The user started to drag the selected items out of the list.
  void DragRequested();

protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  // In the two list styles, cells as wide as the longest name (within bounds), so that names fit.
  void FitListGrid();
  void Prepare(QAbstractItemView* view);

  TqmLockerModel* model_;
  QItemSelectionModel* selection_;
  QListView* icons_;
  QTreeView* details_;
  std::unique_ptr<TssSysIconsSmall> small_;
  std::unique_ptr<TssSysIconsLarge> large_;
  int style_ = 0;
};

}  // namespace quillmar
