#include "repository/frmCategoryManagement.h"

#include <QAction>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QVBoxLayout>

#include "core/qmCategoryTemplate.h"
#include "core/qmGlobal.h"
#include "model/RecordCheck.h"
#include "repository/frmIconBrowser.h"
#include "repository/qmRepositoryModel.h"
#include "repository/qmRepositoryTreeView.h"
#include "shell/qmMessages.h"
#include "widgets/qmHotLabel.h"
#include "widgets/qmSafeTextValidator.h"
#include "widgets/qmSecretClipboard.h"
#include "widgets/qmText.h"

namespace quillmar {

namespace {

constexpr int kColName = 0;
constexpr int kColType = 1;
constexpr int kColRequired = 2;

QString TrueFalse(bool value) {
  return value ? QStringLiteral("True") : QStringLiteral("False");
}

QIcon IconFromBytes(const std::string& bytes) {
  QPixmap pixmap;
  if (!bytes.empty())
    pixmap.loadFromData(reinterpret_cast<const uchar*>(bytes.data()), static_cast<uint>(bytes.size()), "ICO");
  return QIcon(pixmap);
}

// The in-place editors of the grid: a drop-down list of the twelve type names in code order for
// "Type", of True and False for "Required"; the text editor (guarded for the code page) for names.
class TFieldDelegate : public QStyledItemDelegate {
public:
  using QStyledItemDelegate::QStyledItemDelegate;

  QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                        const QModelIndex& index) const override {
    if (index.column() == kColName) {
      QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
      if (auto* line = qobject_cast<QLineEdit*>(editor)) {
        auto* guard = new TqmSafeTextValidator(line);
        QObject::connect(guard, &TqmSafeTextValidator::refused, line,
                         [line](const QString& message) { ShowMessageBeside(line, message); });
      }
      return editor;
    }
    auto* box = new QComboBox(parent);
    box->setObjectName(index.column() == kColType ? QStringLiteral("cmbFieldType")
                                                  : QStringLiteral("cmbFieldRequired"));
    if (index.column() == kColType) {
      for (const std::string& name : TqmGlobal::FieldTypeNames()) box->addItem(FromSafeText(name));
    } else {
      box->addItems({TrueFalse(true), TrueFalse(false)});
    }
    return box;
  }
  void setEditorData(QWidget* editor, const QModelIndex& index) const override {
    if (auto* box = qobject_cast<QComboBox*>(editor)) {
      box->setCurrentText(index.data().toString());
      return;
    }
    QStyledItemDelegate::setEditorData(editor, index);
  }
  void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override {
    if (auto* box = qobject_cast<QComboBox*>(editor)) {
      model->setData(index, box->currentText());
      return;
    }
    QStyledItemDelegate::setModelData(editor, model, index);
  }
};

}  // namespace

TfrmCategoryManagement::TfrmCategoryManagement(TqmGlobal& global, QWidget* parent)
    : QDialog(parent), g_(global), tree_(std::make_unique<TqmRepositoryTree>(global)) {
  setObjectName(QStringLiteral("TfrmCategoryManagement"));
  setWindowTitle(QStringLiteral("Category Management"));
  MakeActions();

  // "  Categories  "
  auto* categories = new QGroupBox(QStringLiteral("  Categories  "), this);
  auto* left = new QVBoxLayout(categories);
  auto* selectTask = new QLabel(QStringLiteral("Select task ..."), categories);
  selectTask->setObjectName(QStringLiteral("lblSelectTask"));
  selectTask->installEventFilter(this);
  left->addWidget(selectTask);
  auto* links = new QHBoxLayout;
  for (QAction* a : {aNew_, aModify_, aCopy_, aPaste_, aDelete_}) {
    auto* link = new TqmHotLabel(a->text(), categories);
    link->setObjectName(QStringLiteral("lnk") + a->objectName());
    link->SetAction(a);
    links->addWidget(link);
  }
  links->addStretch(1);
  left->addLayout(links);
  auto* note =
      new QLabel(QStringLiteral("Right mouse click on selected category for menu options"), categories);
  note->setObjectName(QStringLiteral("lblNote"));
  note->setWordWrap(true);
  left->addWidget(note);
  view_ = new TqmRepositoryTreeView(categories);
  view_->setObjectName(QStringLiteral("categoriesListView"));
  view_->setHeaderHidden(true);
  view_->setUniformRowHeights(true);
  view_->setContextMenuPolicy(Qt::CustomContextMenu);
  view_->installEventFilter(this);
  model_ = new TqmRepositoryModel(*tree_, true, this);
  left->addWidget(view_, 1);

  // "  Properties  "
  auto* properties = new QGroupBox(QStringLiteral("  Properties  "), this);
  auto* grid = new QGridLayout(properties);
  auto* nameLabel = new QLabel(QStringLiteral("Name"), properties);
  txtCategoryName_ = new QLineEdit(properties);
  txtCategoryName_->setObjectName(QStringLiteral("txtCategoryName"));
  nameLabel->setBuddy(txtCategoryName_);
  auto* guard = new TqmSafeTextValidator(txtCategoryName_);
  connect(guard, &TqmSafeTextValidator::refused, this,
          [this](const QString& message) { ShowMessageBeside(txtCategoryName_, message); });
  grid->addWidget(nameLabel, 0, 0);
  grid->addWidget(txtCategoryName_, 0, 1, 1, 2);
  grid->addWidget(new QLabel(QStringLiteral("Icon"), properties), 1, 0);
  icon_ = new QLabel(properties);
  icon_->setObjectName(QStringLiteral("imgCategoryIcon"));
  icon_->setFixedSize(32, 32);
  icon_->setFrameShape(QFrame::StyledPanel);
  icon_->setAlignment(Qt::AlignCenter);
  grid->addWidget(icon_, 1, 1);
  btnBrowse_ = new QPushButton(QStringLiteral("Browse ..."), properties);
  btnBrowse_->setObjectName(QStringLiteral("btnBrowseIcon"));
  grid->addWidget(btnBrowse_, 1, 2, Qt::AlignLeft);
  auto* fieldLabel = new QLabel(QStringLiteral("Field List"), properties);
  grid->addWidget(fieldLabel, 2, 0, 1, 3);
  fields_ = new QTableWidget(0, 3, properties);
  fields_->setObjectName(QStringLiteral("fieldsListView"));
  fieldLabel->setBuddy(fields_);
  fields_->setHorizontalHeaderLabels(
      {QStringLiteral("Field Name"), QStringLiteral("Type"), QStringLiteral("Required")});
  fields_->verticalHeader()->hide();
  fields_->setSelectionBehavior(QAbstractItemView::SelectRows);
  fields_->setSelectionMode(QAbstractItemView::SingleSelection);
  fields_->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                           QAbstractItemView::SelectedClicked);
  fields_->setItemDelegate(new TFieldDelegate(fields_));
  fields_->horizontalHeader()->setSectionResizeMode(kColName, QHeaderView::Stretch);
  fields_->horizontalHeader()->setSectionResizeMode(kColType, QHeaderView::ResizeToContents);
  fields_->horizontalHeader()->setSectionResizeMode(kColRequired, QHeaderView::ResizeToContents);
  fields_->verticalHeader()->setDefaultSectionSize(fields_->fontMetrics().height() + 8);
  fields_->installEventFilter(this);
  grid->addWidget(fields_, 3, 0, 1, 3);
  auto* fieldButtons = new QHBoxLayout;
  auto button = [&](const char* name, const char* caption) {
    auto* b = new QPushButton(QString::fromLatin1(caption), properties);
    b->setObjectName(QString::fromLatin1(name));
    b->setAutoDefault(false);
    fieldButtons->addWidget(b);
    return b;
  };
  btnAdd_ = button("btnAddField", "Add");
  btnRemove_ = button("btnRemoveField", "Remove");
  btnUp_ = button("btnMoveUp", "Move Up");
  btnDown_ = button("btnMoveDown", "Move Down");
  btnUp_->setToolTip(QStringLiteral("Alt+Up"));
  btnDown_->setToolTip(QStringLiteral("Alt+Down"));
  fieldButtons->addStretch(1);
  grid->addLayout(fieldButtons, 4, 0, 1, 3);
  grid->setColumnStretch(2, 1);
  grid->setRowStretch(3, 1);

  auto* buttons = new QDialogButtonBox(this);
  QPushButton* ok = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
  ok->setObjectName(QStringLiteral("btnOK"));
  QPushButton* cancel = buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
  cancel->setObjectName(QStringLiteral("btnCancel"));
  connect(buttons, &QDialogButtonBox::accepted, this, &TfrmCategoryManagement::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &TfrmCategoryManagement::reject);

  auto* body = new QHBoxLayout;
  body->addWidget(categories, 1);
  body->addWidget(properties, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(body, 1);
  layout->addWidget(buttons);
  resize(720, 480);

  connect(txtCategoryName_, &QLineEdit::textEdited, this, &TfrmCategoryManagement::NameEdited);
  connect(btnBrowse_, &QPushButton::clicked, this, &TfrmCategoryManagement::BrowseIcon);
  connect(btnAdd_, &QPushButton::clicked, this, &TfrmCategoryManagement::AddField);
  connect(btnRemove_, &QPushButton::clicked, this, &TfrmCategoryManagement::RemoveField);
  connect(btnUp_, &QPushButton::clicked, this, [this] { MoveField(-1); });
  connect(btnDown_, &QPushButton::clicked, this, [this] { MoveField(+1); });
  connect(fields_, &QTableWidget::itemChanged, this, &TfrmCategoryManagement::FieldEdited);
  connect(fields_, &QTableWidget::currentCellChanged, this, [this](int row, int, int previous, int) {
    if (filling_) return;
    // A move of the grid's focus counts as an edit of the category.
    if (row != previous) modified_ = true;
    UpdateButtons();
  });
  connect(view_, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
    QMenu menu(this);
    menu.addActions({aNew_, aModify_, aCopy_, aPaste_, aDelete_});
    menu.exec(view_->viewport()->mapToGlobal(at));
  });
  connect(view_, &TqmRepositoryTreeView::dropRequested, this, &TfrmCategoryManagement::Dropped);

  // The top level, sorted; no category is current yet.
  try {
    tree_->Load(tree_->Root());
  } catch (const std::exception& e) {
    ShowError(this, FromMessage(e.what()));
  }
  view_->setModel(model_);
  view_->setColumnHidden(1, true);
  view_->header()->setSectionResizeMode(0, QHeaderView::Stretch);
  connect(view_->selectionModel(), &QItemSelectionModel::currentChanged, this,
          &TfrmCategoryManagement::CurrentChanged);
  ShowCurrent();
  // The keyboard starts in the tree: Down selects the first category.
  view_->setFocus();
}

TfrmCategoryManagement::~TfrmCategoryManagement() {
  view_->setModel(nullptr);
}

void TfrmCategoryManagement::MakeActions() {
  auto make = [this](const char* name, const char* caption, const char* hint, const QKeySequence& key) {
    auto* a = new QAction(QString::fromLatin1(caption), this);
    a->setObjectName(QString::fromLatin1(name));
    a->setToolTip(QString::fromLatin1(hint));
    a->setStatusTip(QString::fromLatin1(hint));
    if (!key.isEmpty()) a->setShortcut(key);
    addAction(a);
    return a;
  };
  aNew_ = make("aNewCategory", "New", "Add new category", QKeySequence(Qt::CTRL | Qt::Key_N));
  aModify_ =
      make("aModifyCategory", "Modify", "Modify selected category", QKeySequence(Qt::CTRL | Qt::Key_M));
  aCopy_ = make("aCopyCategory", "Copy", "Copy selected category", QKeySequence(Qt::CTRL | Qt::Key_C));
  aPaste_ = make("aPasteCategory", "Paste", "Paste selected category", QKeySequence(Qt::CTRL | Qt::Key_V));
  // Delete works in the tree only (the name box and the grid keep their own Delete).
  aDelete_ = make("aDeleteCategory", "Delete", "Delete selected category", {});
  aDelete_->setShortcut(QKeySequence::Delete);
  aDelete_->setShortcutContext(Qt::WidgetShortcut);
  connect(aNew_, &QAction::triggered, this, &TfrmCategoryManagement::NewCategory);
  connect(aModify_, &QAction::triggered, this, &TfrmCategoryManagement::ModifyCategory);
  connect(aCopy_, &QAction::triggered, this, &TfrmCategoryManagement::CopyCategory);
  connect(aPaste_, &QAction::triggered, this, &TfrmCategoryManagement::PasteCategory);
  connect(aDelete_, &QAction::triggered, this, &TfrmCategoryManagement::DeleteCategory);
}

void TfrmCategoryManagement::Select(TNode* node) {
  const QModelIndex index = model_->IndexOf({node});
  if (!index.isValid()) return;
  for (QModelIndex up = index.parent(); up.isValid(); up = up.parent()) view_->setExpanded(up, true);
  view_->setCurrentIndex(index);
  view_->scrollTo(index);
  view_->setFocus();
  // The same node again (after a save) is shown anew as well.
  if (current_ != node) CurrentChanged();
}

void TfrmCategoryManagement::CurrentChanged() {
  const TqmRepositoryTree::TItem item = model_->ItemOf(view_->currentIndex());
  if (item.IsNone() || item.node == current_) return;
  if (modified_ && current_) SaveCurrent();
  current_ = item.node;
  ShowCurrent();
}

bool TfrmCategoryManagement::SaveCurrent() {
  if (!current_) return true;
  try {
    g_.SaveCategory(*current_->category);
    return true;
  } catch (const std::exception& e) {
    ShowError(this, FromMessage(e.what()));
    return false;
  }
}

void TfrmCategoryManagement::ShowCurrent() {
  const bool any = current_ != nullptr;
  txtCategoryName_->setText(any ? FromSafeText(current_->category->Name()) : QString());
  const QIcon icon = any ? IconFromBytes(current_->category->Icon()) : QIcon();
  icon_->setPixmap(icon.isNull() ? QPixmap() : icon.pixmap(32, 32));
  FillFields();
  aModify_->setEnabled(any);
  aCopy_->setEnabled(any);
  aDelete_->setEnabled(any);
  txtCategoryName_->setEnabled(any);
  btnBrowse_->setEnabled(any);
  UpdateButtons();
}

void TfrmCategoryManagement::FillFields() {
  filling_ = true;
  fields_->setRowCount(0);
  if (current_) {
    const TqmCategory& c = *current_->category;
    fields_->setRowCount(c.Fields().Count());
    for (int i = 0; i < c.Fields().Count(); ++i) {
      const TqmField& f = c.FieldAt(i);
      fields_->setItem(i, kColName, new QTableWidgetItem(FromSafeText(f.Name())));
      fields_->setItem(i, kColType, new QTableWidgetItem(FromSafeText(f.TypeName())));
      fields_->setItem(i, kColRequired, new QTableWidgetItem(TrueFalse(f.IsRequired())));
    }
  }
  fields_->setCurrentIndex({});
  fields_->clearSelection();
  filling_ = false;
}

int TfrmCategoryManagement::SelectedField() const {
  return fields_->currentIndex().isValid() ? fields_->currentRow() : -1;
}

void TfrmCategoryManagement::SelectField(int row) {
  if (row < 0 || row >= fields_->rowCount()) return;
  fields_->setCurrentCell(row, kColName);
  fields_->selectRow(row);
  UpdateButtons();
}

void TfrmCategoryManagement::UpdateButtons() {
  const int row = SelectedField();
  const int count = fields_->rowCount();
  btnAdd_->setEnabled(current_ != nullptr);
  btnRemove_->setEnabled(current_ && row >= 0 && count > 0);
  btnUp_->setEnabled(current_ && row > 0);
  btnDown_->setEnabled(current_ && row >= 0 && row < count - 1);
}

void TfrmCategoryManagement::NameEdited(const QString& text) {
  if (!current_ || text.isEmpty()) return;  // an empty box keeps the last name
  std::string name;
  if (!ToSafeText(text, name)) return;  // the guard has refused it already
  TqmCategory& c = *current_->category;
  const std::string before = c.Name();
  c.SetName(name);
  const std::string problem = RecordProblem(c);
  if (!problem.empty()) {
    // The record could not carry it: the box and the category keep the name they had.
    c.SetName(before);
    const int cursor = txtCategoryName_->cursorPosition();
    txtCategoryName_->setText(FromSafeText(before));
    txtCategoryName_->setCursorPosition(std::min<int>(cursor, txtCategoryName_->text().size()));
    ShowMessageBeside(txtCategoryName_, FromMessage(problem));
    return;
  }
  modified_ = true;
  model_->ItemChanged({current_});
}

void TfrmCategoryManagement::BrowseIcon() {
  if (!current_) return;
  TfrmIconBrowser browser(g_, TqmSFSWrapper::ikCategory, this);
  if (browser.exec() != QDialog::Accepted || browser.Result().Empty()) return;
  modified_ = true;
  current_->category->SetIcon(browser.Result().Image());
  ShowCurrent();
  model_->ItemChanged({current_});
}

void TfrmCategoryManagement::FieldEdited(QTableWidgetItem* item) {
  if (filling_ || !current_ || !item) return;
  TqmCategory& c = *current_->category;
  const int row = item->row();
  if (row < 0 || row >= c.Fields().Count()) return;
  TqmField& f = c.FieldAt(row);
  const TqmField before = f;
  if (item->column() == kColName) {
    std::string name;
    if (!ToSafeText(item->text(), name)) name = f.Name();
    f.SetName(name);
  } else if (item->column() == kColType) {
    std::string name;
    ToSafeText(item->text(), name);
    f.SetFieldType(static_cast<TqmFieldType>(TqmGlobal::FieldTypeCode(name)));
  } else {
    f.SetRequired(item->text() == TrueFalse(true) ? 1 : 0);
  }
  const std::string problem = RecordProblem(c);
  if (!problem.empty()) f = before;
  modified_ = true;
  // The row shows what the field now holds (a refused name its old one, an unknown type Normal Text).
  filling_ = true;
  fields_->item(row, kColName)->setText(FromSafeText(f.Name()));
  fields_->item(row, kColType)->setText(FromSafeText(f.TypeName()));
  fields_->item(row, kColRequired)->setText(TrueFalse(f.IsRequired()));
  filling_ = false;
  if (!problem.empty()) ShowWarning(this, FromMessage(problem));
}

TqmRepositoryTree::TNode& TfrmCategoryManagement::TargetParent() {
  const TqmRepositoryTree::TItem item = model_->ItemOf(view_->currentIndex());
  return item.IsNone() ? tree_->Root() : *item.node;
}

void TfrmCategoryManagement::Refresh(const std::vector<TNode*>& expanded, TNode* select) {
  view_->ResetModel(expanded);
  if (select) {
    Select(select);
  } else {
    ShowCurrent();
  }
}

void TfrmCategoryManagement::NewCategory() {
  TNode& parent = TargetParent();
  const auto expanded = view_->ExpandedNodes();
  try {
    TNode& added = tree_->AddCategory(parent, kNewCategoryName);
    Refresh(expanded, &added);
  } catch (const std::exception& e) {
    ShowError(this, FromMessage(e.what()));
  }
}

void TfrmCategoryManagement::ModifyCategory() {
  if (!current_) return;
  txtCategoryName_->setFocus();
  txtCategoryName_->selectAll();
}

void TfrmCategoryManagement::CopyCategory() {
  if (!current_) return;
  current_->category->CopyToClipboard(SecretRecordClipboard());
}

void TfrmCategoryManagement::PasteCategory() {
  TNode& parent = TargetParent();
  const auto expanded = view_->ExpandedNodes();
  try {
    TNode& added = tree_->PasteCategory(parent, SecretRecordClipboard());
    Refresh(expanded, &added);
  } catch (const std::exception& e) {
    ShowError(this, FromMessage(e.what()));
  }
}

void TfrmCategoryManagement::DeleteCategory() {
  const TqmRepositoryTree::TItem item = model_->ItemOf(view_->currentIndex());
  if (item.IsNone()) return;
  if (g_.Settings().App.confDel.Value() && !AskYesNo(this, QStringLiteral("Delete?"))) return;
  const auto expanded = view_->ExpandedNodes();
  std::optional<TqmRepositoryTree::TItem> next;
  try {
    next = tree_->DeleteCategory(*item.node);
  } catch (const std::exception& e) {
    ShowError(this, FromMessage(e.what()));
    return;
  }
  if (!next) return;  // refused: the core said why
  // The deleted category is not saved again by the switch that follows.
  modified_ = false;
  if (current_ == item.node) current_ = nullptr;
  Refresh(expanded, next->IsNone() ? nullptr : next->node);
}

void TfrmCategoryManagement::AddField() {
  if (!current_) return;
  modified_ = true;
  const int row = AddTemplateField(*current_->category);
  SaveCurrent();
  ShowCurrent();
  SelectField(row);
  fields_->setFocus();
  fields_->editItem(fields_->item(row, kColName));
}

void TfrmCategoryManagement::RemoveField() {
  const int row = SelectedField();
  if (!current_ || row < 0) return;
  if (g_.Settings().App.confDel.Value() && !AskYesNo(this, QStringLiteral("Delete?"))) return;
  modified_ = true;
  const int next = RemoveTemplateField(*current_->category, row);
  SaveCurrent();
  ShowCurrent();
  SelectField(next);
  fields_->setFocus();
}

void TfrmCategoryManagement::MoveField(int delta) {
  const int row = SelectedField();
  if (!current_ || row < 0 || row + delta < 0 || row + delta >= fields_->rowCount()) return;
  modified_ = true;
  SwapTemplateFields(*current_->category, row, row + delta);
  const int column = std::max(0, fields_->currentColumn());
  FillFields();
  fields_->setCurrentCell(row + delta, column);
  fields_->selectRow(row + delta);
  UpdateButtons();
}

void TfrmCategoryManagement::Dropped(const TqmRepositoryTree::TItem& source,
                                     const TqmRepositoryTree::TItem& target, TqmDropMode mode) {
  const auto expanded = view_->ExpandedNodes();
  try {
    if (!tree_->Drop(source, target, mode)) return;
  } catch (const std::exception& e) {
    ShowError(this, FromMessage(e.what()));
  }
  Refresh(expanded, source.node);
}

void TfrmCategoryManagement::accept() {
  if (TNode* bad = FirstCategoryWithoutFields(tree_->Root())) {
    ShowInformation(this, FromSafeText(CategoryNeedsFieldMessage(*bad->category)));
    // The very category is shown, also when a sibling before it has the same name.
    Select(bad);
    return;
  }
  if (modified_ && current_ && !SaveCurrent()) return;
  QDialog::accept();
}

bool TfrmCategoryManagement::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    const Qt::KeyboardModifiers mods = key->modifiers() & ~Qt::KeypadModifier;
    if (watched == view_ && key->key() == Qt::Key_Menu) {
      const QRect row = view_->visualRect(view_->currentIndex());
      emit view_->customContextMenuRequested(row.isValid() ? row.center() : QPoint(0, 0));
      return true;
    }
    if (watched == view_ && key->key() == Qt::Key_Delete && mods == Qt::NoModifier) {
      if (aDelete_->isEnabled()) DeleteCategory();
      return true;
    }
    // While a cell is edited its editor has the keys, not the grid.
    if (watched == fields_) {
      if (key->key() == Qt::Key_Insert && mods == Qt::NoModifier && btnAdd_->isEnabled()) {
        AddField();
        return true;
      }
      if (key->key() == Qt::Key_Delete && mods == Qt::NoModifier && btnRemove_->isEnabled()) {
        RemoveField();
        return true;
      }
      if (key->key() == Qt::Key_Up && mods == Qt::AltModifier) {
        if (btnUp_->isEnabled()) MoveField(-1);
        return true;
      }
      if (key->key() == Qt::Key_Down && mods == Qt::AltModifier) {
        if (btnDown_->isEnabled()) MoveField(+1);
        return true;
      }
    }
  }
  if (event->type() == QEvent::MouseButtonDblClick &&
      watched->objectName() == QStringLiteral("lblSelectTask") &&
      (static_cast<QMouseEvent*>(event)->modifiers() & Qt::ShiftModifier)) {
    view_->setColumnHidden(1, false);
    return true;
  }
  return QDialog::eventFilter(watched, event);
}

}  // namespace quillmar
