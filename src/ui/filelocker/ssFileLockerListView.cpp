#include "filelocker/ssFileLockerListView.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListView>
#include <QTreeView>
#include <algorithm>
#include <functional>

#include "filelocker/qmLockerModel.h"
#include "filelocker/ssSysIcons.h"
#include "widgets/qmText.h"

namespace quillmar {

namespace {

// A view whose drags are started by the window: dragging locked files out needs their copies first.
template <class View>
class TDragOutView : public View {
public:
  using View::View;
  std::function<void()> OnDrag;

protected:
  void startDrag(Qt::DropActions) override {
    if (OnDrag) OnDrag();
  }
};

}  // namespace

TssFileLockerListView::TssFileLockerListView(QWidget* parent)
    : QStackedWidget(parent),
      model_(new TqmLockerModel(this)),
      selection_(new QItemSelectionModel(model_, this)),
      icons_(new TDragOutView<QListView>(this)),
      details_(new TDragOutView<QTreeView>(this)),
      small_(std::make_unique<TssSysIconsSmall>(style())),
      large_(std::make_unique<TssSysIconsLarge>(style())) {
  setObjectName(QStringLiteral("lvFiles"));
  icons_->setObjectName(QStringLiteral("lvFilesIcons"));
  details_->setObjectName(QStringLiteral("lvFilesDetails"));
  icons_->setModel(model_);
  icons_->setSelectionModel(selection_);
  icons_->setUniformItemSizes(true);
  icons_->setResizeMode(QListView::Adjust);
  icons_->setMovement(QListView::Static);
  details_->setModel(model_);
  details_->setSelectionModel(selection_);
  details_->setRootIsDecorated(false);
  details_->setItemsExpandable(false);
  details_->setUniformRowHeights(true);
  details_->setAllColumnsShowFocus(true);
  details_->setIconSize(QSize(16, 16));
  QHeaderView* header = details_->header();
  header->setSectionsClickable(true);
  header->setSortIndicatorShown(true);
  header->setStretchLastSection(false);
  // The name takes what the other columns leave; they are as wide as what they show.
  header->setSectionResizeMode(0, QHeaderView::Stretch);
  for (int column = 1; column < 4; ++column)
    header->setSectionResizeMode(column, QHeaderView::ResizeToContents);
  connect(header, &QHeaderView::sectionClicked, this, &TssFileLockerListView::HeaderClicked);
  for (QAbstractItemView* view :
       {static_cast<QAbstractItemView*>(icons_), static_cast<QAbstractItemView*>(details_)})
    Prepare(view);
  addWidget(icons_);
  addWidget(details_);
  connect(selection_, &QItemSelectionModel::selectionChanged, this, &TssFileLockerListView::SelectionChanged);
  connect(model_, &QAbstractItemModel::modelReset, this, &TssFileLockerListView::FitListGrid);
  connect(model_, &QAbstractItemModel::rowsInserted, this, &TssFileLockerListView::FitListGrid);
  SetViewStyle(0);
}

TssFileLockerListView::~TssFileLockerListView() {
  // The model points at the pictures: it goes first.
  model_->SetIcons(nullptr);
}

void TssFileLockerListView::Prepare(QAbstractItemView* view) {
  view->setSelectionMode(QAbstractItemView::ExtendedSelection);
  view->setSelectionBehavior(QAbstractItemView::SelectRows);
  view->setEditTriggers(QAbstractItemView::EditKeyPressed);
  // Files can be dragged out to the file manager; nothing is dropped on the list itself.
  view->setDragEnabled(true);
  view->setDragDropMode(QAbstractItemView::DragOnly);
  view->setContextMenuPolicy(Qt::CustomContextMenu);
  view->setTextElideMode(Qt::ElideMiddle);
  view->installEventFilter(this);
  connect(view, &QAbstractItemView::activated, this,
          [this](const QModelIndex& index) { emit Activated(index.row()); });
  connect(view, &QWidget::customContextMenuRequested, this,
          [this, view](const QPoint& pos) { emit ContextMenuRequested(view->viewport()->mapToGlobal(pos)); });
}

QAbstractItemView* TssFileLockerListView::View() const {
  return style_ == 3 ? static_cast<QAbstractItemView*>(details_) : icons_;
}

void TssFileLockerListView::SetViewStyle(int style) {
  const bool hadFocus = View()->hasFocus();
  style_ = style < 0 ? (style_ + 1) % 4 : std::min(style, 3);
  switch (style_) {
    case 0:  // large icons: pictures above their names, in rows
      icons_->setViewMode(QListView::IconMode);
      icons_->setFlow(QListView::LeftToRight);
      icons_->setWrapping(true);
      icons_->setIconSize(QSize(32, 32));
      icons_->setGridSize(QSize(112, 72));
      icons_->setWordWrap(true);
      model_->SetIcons(large_.get());
      break;
    case 1:  // small icons: names beside small pictures, in rows
      icons_->setViewMode(QListView::ListMode);
      icons_->setFlow(QListView::LeftToRight);
      icons_->setWrapping(true);
      icons_->setIconSize(QSize(16, 16));
      icons_->setWordWrap(false);
      model_->SetIcons(small_.get());
      break;
    case 2:  // list: names beside small pictures, in columns
      icons_->setViewMode(QListView::ListMode);
      icons_->setFlow(QListView::TopToBottom);
      icons_->setWrapping(true);
      icons_->setIconSize(QSize(16, 16));
      icons_->setWordWrap(false);
      model_->SetIcons(small_.get());
      break;
    default:  // details
      model_->SetIcons(small_.get());
      break;
  }
  FitListGrid();
  setCurrentWidget(View());
  if (hadFocus) View()->setFocus();
}

void TssFileLockerListView::FitListGrid() {
  if (style_ != 1 && style_ != 2) {
    model_->SetCellSize(QSize());
    return;
  }
  const int least = style_ == 1 ? 190 : 220;
  // Files whose copy waits are shown in italics, which may be wider.
  QFont italic = icons_->font();
  italic.setItalic(true);
  const QFontMetrics regular(icons_->font()), slanted(italic);
  int widest = 0;
  for (const TqmLockerItem& item : model_->Items()) {
    const QString name = FromSafeText(item.Name);
    widest = std::max(widest, (item.CopyWaiting ? slanted : regular).horizontalAdvance(name));
  }
  // Picture, gaps and margins beside the name. The list view gives every item the size of the first
  // (uniform sizes, for long folders), so every name cell asks for the size the longest name needs;
  // the list scrolls sideways rather than cut a name short.
  const QSize cell(std::max(widest + 44, least), 22);
  model_->SetCellSize(cell);
  icons_->setGridSize(cell);
}

std::vector<int> TssFileLockerListView::SelectedRows() const {
  std::vector<int> rows;
  for (const QModelIndex& index : selection_->selectedRows(0)) rows.push_back(index.row());
  std::sort(rows.begin(), rows.end());
  return rows;
}

void TssFileLockerListView::SelectRow(int row) {
  if (row < 0 || row >= model_->rowCount()) {
    selection_->clear();
    return;
  }
  const QModelIndex index = model_->index(row, 0);
  selection_->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  View()->scrollTo(index);
}

void TssFileLockerListView::EditRow(int row) {
  if (row < 0 || row >= model_->rowCount()) return;
  const QModelIndex index = model_->index(row, 0);
  selection_->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  View()->setFocus();
  View()->edit(index);
}

TInlineEdit TssFileLockerListView::InlineEdit() const {
  TInlineEdit edit;
  QAbstractItemView* view = View();
  // The view's editor of the current item's name, while it is open.
  const QModelIndex index = selection_->currentIndex();
  const TqmLockerItem* item = model_->ItemAt(index.row());
  auto* editor = qobject_cast<QLineEdit*>(view->indexWidget(model_->index(index.row(), 0)));
  if (!item || !editor) return edit;
  edit.Row = index.row();
  edit.Name = item->Name;
  edit.Text = editor->text();
  edit.Cursor = editor->cursorPosition();
  edit.SelectionStart = editor->selectionStart();
  edit.SelectionLength = static_cast<int>(editor->selectedText().size());
  return edit;
}

void TssFileLockerListView::ResumeInlineEdit(int row, const TInlineEdit& edit) {
  EditRow(row);
  auto* editor = qobject_cast<QLineEdit*>(View()->indexWidget(model_->index(row, 0)));
  if (!editor) return;
  editor->setText(edit.Text);
  if (edit.SelectionStart >= 0 && edit.SelectionLength > 0)
    editor->setSelection(edit.SelectionStart, edit.SelectionLength);
  else
    editor->setCursorPosition(edit.Cursor);
}

bool TssFileLockerListView::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress && (watched == icons_ || watched == details_)) {
    // While a name is edited the keys go to the editor, not to the view.
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Backspace && key->modifiers() == Qt::NoModifier) {
      emit UpRequested();
      return true;
    }
  }
  return QStackedWidget::eventFilter(watched, event);
}

}  // namespace quillmar
