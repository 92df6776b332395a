#include "repository/frmPasswordRepository.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QTreeView>
#include <QUrl>
#include <QVBoxLayout>
#include <functional>

#include "core/qmGlobal.h"
#include "core/qmTrayMenus.h"
#include "reminders/qmReminderWindows.h"
#include "repository/frmFindEntry.h"
#include "repository/qmRepositoryEntryViewer.h"
#include "repository/qmRepositoryModel.h"
#include "repository/qmRepsitoryItemEditor.h"
#include "shell/qmMessages.h"
#include "widgets/qmHotLabel.h"
#include "widgets/qmText.h"

namespace quillmar {

namespace {

constexpr char kMsgNoCategories[] =
    "No categories found. Please create categories using \"Category manager\"";
constexpr char kMsgSelectCategory[] = "First select category the create entry";

// The system clipboard as the model's entry and category records use it: plain ASCII text (a marker
// and Base64), so no code page is involved.
class TQtClipboard : public TqmClipboard {
public:
  std::string GetText() override { return ToUtf8(QApplication::clipboard()->text()); }
  void SetText(const std::string& text) override {
    QApplication::clipboard()->setText(QString::fromLatin1(text));
  }
};

// Sort-order column shown for the rest of the run (Shift + double-click on "Select task ...").
bool showSortOrder = false;

}  // namespace

TfrmPasswordRepository::TfrmPasswordRepository(TqmShell& shell, QWidget* parent)
    : TqmTabWindow(parent), shell_(shell) {
  setObjectName(QStringLiteral("TfrmPasswordRepository"));
  MakeActions();

  auto* layout = new QHBoxLayout(this);
  auto* panel = new QVBoxLayout;
  auto* selectTask = new QLabel(QStringLiteral("Select task ..."), this);
  selectTask->setObjectName(QStringLiteral("lblSelectTask"));
  selectTask->installEventFilter(this);
  panel->addWidget(selectTask);
  for (QAction* a : {newEntry_, modifyEntry_, copyEntry_, pasteEntry_, deleteEntry_, findEntry_,
                     manageCategories_, showReminderList_}) {
    auto* link = new TqmHotLabel(a->text(), this);
    link->setObjectName(QStringLiteral("lnk") + a->objectName());
    link->SetAction(a);
    panel->addWidget(link);
  }
  panel->addStretch(1);
  layout->addLayout(panel);

  auto* right = new QVBoxLayout;
  auto* header = new QHBoxLayout;
  headerIcon_ = new QLabel(this);
  headerIcon_->setFixedSize(16, 16);
  lblEntryFullCaption_ = new QLabel(this);
  lblEntryFullCaption_->setObjectName(QStringLiteral("lblEntryFullCaption"));
  lblEntryFullCaption_->setMaximumWidth(550);
  QFont bold = lblEntryFullCaption_->font();
  bold.setBold(true);
  lblEntryFullCaption_->setFont(bold);
  header->addWidget(headerIcon_);
  header->addWidget(lblEntryFullCaption_, 1);
  right->addLayout(header);

  view_ = new QTreeView(this);
  view_->setObjectName(QStringLiteral("pwdRepositoryList"));
  view_->setHeaderHidden(true);
  view_->setUniformRowHeights(true);
  view_->setContextMenuPolicy(Qt::CustomContextMenu);
  view_->installEventFilter(this);
  right->addWidget(view_, 1);
  viewer_ = new TqmRepositoryEntryViewer(shell.Global(), this);
  right->addWidget(viewer_);
  layout->addLayout(right, 1);

  connect(view_, &QTreeView::doubleClicked, this, [this](const QModelIndex&) {
    if (modifyEntry_->isEnabled()) ModifyEntry();
  });
  connect(view_, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
    QMenu menu(this);
    menu.addActions({newEntry_, modifyEntry_, copyEntry_, pasteEntry_, deleteEntry_});
    menu.addSeparator();
    menu.addAction(findEntry_);
    menu.addSeparator();
    menu.addAction(manageCategories_);
    menu.addSeparator();
    menu.addAction(showReminderList_);
    menu.exec(view_->viewport()->mapToGlobal(at));
  });
  connect(viewer_, &TqmRepositoryEntryViewer::entrySaved, this,
          [this](TqmRepositoryEntry*) { model_->ItemChanged(CurrentItem()); });
  if (TfrmFindEntry* find = TfrmFindEntry::Existing(shell_))
    connect(find, &TfrmFindEntry::searchChanged, this, &TfrmPasswordRepository::SearchChanged);
  Reload();
}

TfrmPasswordRepository::~TfrmPasswordRepository() {
  // The view shows entries of the tree: it goes first.
  viewer_->ShowEntry(nullptr);
  view_->setModel(nullptr);
}

void TfrmPasswordRepository::MakeActions() {
  auto make = [this](const char* name, const char* caption, const char* hint, const QKeySequence& key) {
    auto* a = new QAction(QString::fromLatin1(caption), this);
    a->setObjectName(QString::fromLatin1(name));
    a->setToolTip(QString::fromLatin1(hint));
    a->setStatusTip(QString::fromLatin1(hint));
    if (!key.isEmpty()) a->setShortcut(key);
    a->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    addAction(a);
    return a;
  };
  newEntry_ = make("newEntry", "New", "Add new password repository entry", QKeySequence(Qt::Key_Insert));
  modifyEntry_ = make("modifyEntry", "Modify", "Modify selected password repository entry",
                      QKeySequence(Qt::CTRL | Qt::Key_M));
  copyEntry_ = make("copyEntry", "Copy", "Copy selected password repository entry",
                    QKeySequence(Qt::CTRL | Qt::Key_C));
  pasteEntry_ = make("pasteEntry", "Paste", "Paste selected password repository entry",
                     QKeySequence(Qt::CTRL | Qt::Key_V));
  deleteEntry_ =
      make("deleteEntry", "Delete", "Delete selected password repository entry", QKeySequence::Delete);
  findEntry_ =
      make("findEntry", "Find", "Search the password repository", QKeySequence(Qt::CTRL | Qt::Key_F));
  manageCategories_ = make("manageCategories", "Manage Categories",
                           "Add, modify and delete password repository categories", {});
  showReminderList_ =
      make("showReminderList", "Show Reminder List", "Review all reminders in the system", {});
  connect(newEntry_, &QAction::triggered, this, &TfrmPasswordRepository::NewEntry);
  connect(modifyEntry_, &QAction::triggered, this, &TfrmPasswordRepository::ModifyEntry);
  connect(copyEntry_, &QAction::triggered, this, &TfrmPasswordRepository::CopyEntry);
  connect(pasteEntry_, &QAction::triggered, this, &TfrmPasswordRepository::PasteEntry);
  connect(deleteEntry_, &QAction::triggered, this, &TfrmPasswordRepository::DeleteEntry);
  connect(findEntry_, &QAction::triggered, this, [this] {
    TfrmFindEntry* find = TfrmFindEntry::ShowFor(shell_);
    connect(find, &TfrmFindEntry::searchChanged, this, &TfrmPasswordRepository::SearchChanged,
            Qt::UniqueConnection);
  });
  connect(showReminderList_, &QAction::triggered, this, [this] { ShowReminderList(shell_.Window()); });
  // The category manager is not part of this version of the tab.
  manageCategories_->setEnabled(false);
}

TqmRepositoryTree::TItem TfrmPasswordRepository::CurrentItem() const {
  return model_ ? model_->ItemOf(view_->currentIndex()) : TItem{};
}

void TfrmPasswordRepository::UpdateActions() {
  const bool entry = selection_ == TSelection::Entry;
  const bool any = selection_ != TSelection::None;
  newEntry_->setEnabled(any);
  modifyEntry_->setEnabled(entry);
  copyEntry_->setEnabled(entry);
  pasteEntry_->setEnabled(any);
  deleteEntry_->setEnabled(entry);
  showReminderList_->setEnabled(ReminderWindowsAvailable());
}

void TfrmPasswordRepository::Reload() {
  selection_ = TSelection::None;
  lblEntryFullCaption_->clear();
  headerIcon_->clear();
  viewer_->ShowEntry(nullptr);
  // The old model stays usable (with its tree) until the view has let go of it.
  TqmRepositoryModel* old = model_;
  std::unique_ptr<TqmRepositoryTree> oldTree = std::move(tree_);
  tree_ = std::make_unique<TqmRepositoryTree>(shell_.Global());
  model_ = new TqmRepositoryModel(*tree_, false, this);
  if (shell_.Global().SafeOpen()) {
    try {
      tree_->Load(tree_->Root());
    } catch (const std::exception& e) {
      ShowError(this, FromMessage(e.what()));
    }
  }
  QItemSelectionModel* oldSelection = view_->selectionModel();
  view_->setModel(model_);
  delete oldSelection;
  delete old;
  oldTree.reset();
  view_->setColumnHidden(1, !showSortOrder);
  view_->header()->setSectionResizeMode(0, QHeaderView::Stretch);
  connect(view_->selectionModel(), &QItemSelectionModel::currentChanged, this,
          &TfrmPasswordRepository::SelectionChanged);
  const std::vector<std::string> warnings = tree_->TakeWarnings();
  if (!warnings.empty()) {
    std::string all;
    for (const std::string& w : warnings) all += w + "\n";
    ShowWarning(this, FromMessage(all));
  }
  if (model_->rowCount() > 0) {
    view_->setCurrentIndex(model_->index(0, 0));
    view_->setFocus();
  }
  UpdateActions();
}

void TfrmPasswordRepository::SelectionChanged() {
  const TItem item = CurrentItem();
  if (item.IsNone()) return;
  selection_ = item.entry ? TSelection::Entry : TSelection::Category;
  lblEntryFullCaption_->setText(
      FromSafeText(item.entry ? item.entry->NamePath() : item.node->category->NamePath()));
  const QIcon icon = model_->data(model_->IndexOf(item), Qt::DecorationRole).value<QIcon>();
  headerIcon_->setPixmap(icon.isNull() ? QPixmap() : icon.pixmap(16, 16));
  viewer_->ShowEntry(item.entry);
  UpdateActions();
}

void TfrmPasswordRepository::Select(const TItem& item) {
  const QModelIndex index = model_->IndexOf(item);
  if (!index.isValid()) return;
  for (QModelIndex up = index.parent(); up.isValid(); up = up.parent()) view_->setExpanded(up, true);
  view_->setCurrentIndex(index);
  view_->scrollTo(index, QAbstractItemView::PositionAtCenter);
  SelectionChanged();
}

void TfrmPasswordRepository::Refreshed(const TItem& item) {
  // Category nodes outlive every change the tab makes: their expanded state is kept by pointer.
  std::vector<TqmRepositoryTree::TNode*> expanded;
  std::function<void(TqmRepositoryTree::TNode&)> collect = [&](TqmRepositoryTree::TNode& node) {
    for (auto& c : node.categories) {
      const QModelIndex index = model_->IndexOf({c.get()});
      if (index.isValid() && view_->isExpanded(index)) expanded.push_back(c.get());
      if (c->loaded) collect(*c);
    }
  };
  collect(tree_->Root());
  model_->Refresh();
  for (auto* node : expanded) view_->setExpanded(model_->IndexOf({node}), true);
  if (item.IsNone()) {
    selection_ = TSelection::None;
    lblEntryFullCaption_->clear();
    headerIcon_->clear();
    viewer_->ShowEntry(nullptr);
    UpdateActions();
  } else {
    Select(item);
  }
}

TqmRepositoryTree::TNode* TfrmPasswordRepository::TargetCategory() {
  const TItem item = CurrentItem();
  if (item.IsNone()) return nullptr;
  return item.node;  // an entry's node is its category
}

void TfrmPasswordRepository::NewEntry() {
  TqmGlobal& g = shell_.Global();
  if (tree_->Root().categories.empty()) ShowInformation(this, QString::fromLatin1(kMsgNoCategories));
  TqmRepositoryTree::TNode* node = TargetCategory();
  if (!node) {
    ShowInformation(this, QString::fromLatin1(kMsgSelectCategory));
    return;
  }
  std::unique_ptr<TqmRepositoryEntry> entry = tree_->NewEntry(*node);
  TqmRepsitoryItemEditor editor(g, node->category.get(), shell_.Window(), entry.get());
  if (editor.EditEntry() != QDialog::Accepted) return;
  try {
    Refreshed(tree_->AddSavedEntry(*node, std::move(entry)));
  } catch (const std::exception& e) {
    ShowError(this, FromMessage(e.what()));
    Reload();
  }
}

void TfrmPasswordRepository::ModifyEntry() {
  const TItem item = CurrentItem();
  if (!item.entry) return;
  TqmRepsitoryItemEditor editor(shell_.Global(), item.entry->Parent(), shell_.Window(), item.entry);
  if (editor.EditEntry() != QDialog::Accepted) return;
  model_->ItemChanged(item);
  SelectionChanged();
}

void TfrmPasswordRepository::CopyEntry() {
  const TItem item = CurrentItem();
  if (!item.entry) return;
  TQtClipboard clipboard;
  item.entry->CopyToClipboard(clipboard);
}

void TfrmPasswordRepository::PasteEntry() {
  if (tree_->Root().categories.empty()) ShowInformation(this, QString::fromLatin1(kMsgNoCategories));
  TqmRepositoryTree::TNode* node = TargetCategory();
  if (!node) {
    ShowInformation(this, QString::fromLatin1(kMsgSelectCategory));
    return;
  }
  TQtClipboard clipboard;
  try {
    const TItem pasted = tree_->PasteEntry(*node, clipboard);
    if (!pasted.IsNone()) Refreshed(pasted);
  } catch (const std::exception& e) {
    ShowError(this, FromMessage(e.what()));
  }
}

void TfrmPasswordRepository::DeleteEntry() {
  const TItem item = CurrentItem();
  if (!item.entry) return;
  TqmGlobal& g = shell_.Global();
  TqmRepositoryTree::TNode& node = *item.node;
  if (g.Settings().App.confDel.Value() &&
      !AskYesNo(this, QStringLiteral("Delete entry %1?").arg(FromSafeText(item.entry->Title())))) {
    // Kept; the entries of its category are numbered 0..m-1 all the same.
    try {
      TqmSFSWrapper::TChange change(g.Wrapper());
      tree_->Renumber(node);
      change.Commit();
    } catch (const std::exception& e) {
      ShowError(this, FromMessage(e.what()));
    }
    Refreshed(item);
    return;
  }
  viewer_->ShowEntry(nullptr);
  try {
    Refreshed(tree_->DeleteEntry(node, *item.entry));
  } catch (const std::exception& e) {
    ShowError(this, FromMessage(e.what()));
    viewer_->ShowEntry(item.entry);
  }
}

void TfrmPasswordRepository::FindNext(const QString& text, bool caseSensitive, bool allFields) {
  lastFind_ = text;
  std::string safeText;
  TItem hit;
  if (ToSafeText(text, safeText)) {
    try {
      hit = tree_->FindNext(CurrentItem(), searchChanged_, safeText, caseSensitive, allFields);
    } catch (const std::exception& e) {
      ShowError(this, FromMessage(e.what()));
    }
  }
  searchChanged_ = false;
  // The walk may have read categories: the model learns of them before anything is selected.
  Refreshed(hit.IsNone() ? CurrentItem() : hit);
}

void TfrmPasswordRepository::BuildTrayMenus(QMenu* autoFill, QMenu* webSites) {
  TqmTrayMenus menus;
  try {
    menus = quillmar::BuildTrayMenus(shell_.Global(), *tree_);
  } catch (const std::exception&) {
    return;  // a Safe that cannot be read lists nothing; the tab says why when it is shown
  }
  Refreshed(CurrentItem());
  auto iconOf = [](const std::string& bytes) {
    QPixmap pixmap;
    if (!bytes.empty())
      pixmap.loadFromData(reinterpret_cast<const uchar*>(bytes.data()), static_cast<uint>(bytes.size()),
                          "ICO");
    return QIcon(pixmap);
  };
  for (const TqmTrayItem& item : menus.AutoFill) {
    QAction* a = autoFill->addAction(iconOf(item.Icon), FromSafeText(item.Caption));
    // The menu is built afresh at each opening: its entries are those of the tree now.
    connect(a, &QAction::triggered, this, [this, entry = item.Item.entry] {
      if (!shell_.Global().FillWebForm(*entry))
        ShowWarning(this, QStringLiteral("The web form could not be filled."));
    });
  }
  for (const TqmTrayItem& item : menus.Sites) {
    QAction* a = webSites->addAction(iconOf(item.Icon), FromSafeText(item.Caption));
    connect(a, &QAction::triggered, this, [this, value = item.Data] {
      std::string refusal;
      const std::string address = SiteAddress(value, refusal);
      if (address.empty()) {
        ShowWarning(this, FromSafeText(refusal));
        return;
      }
      QDesktopServices::openUrl(QUrl(FromSafeText(address)));
    });
  }
}

bool TfrmPasswordRepository::eventFilter(QObject* watched, QEvent* event) {
  if (watched == view_ && event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    const Qt::KeyboardModifiers mods = key->modifiers() & ~Qt::KeypadModifier;
    if (key->key() == Qt::Key_Insert && mods == Qt::ControlModifier) {
      if (copyEntry_->isEnabled()) copyEntry_->trigger();
      return true;
    }
    if (key->key() == Qt::Key_Insert && mods == Qt::ShiftModifier) {
      if (pasteEntry_->isEnabled()) pasteEntry_->trigger();
      return true;
    }
    if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) && mods == Qt::NoModifier &&
        modifyEntry_->isEnabled()) {
      modifyEntry_->trigger();
      return true;
    }
  }
  if (event->type() == QEvent::MouseButtonDblClick &&
      watched->objectName() == QStringLiteral("lblSelectTask") &&
      (static_cast<QMouseEvent*>(event)->modifiers() & Qt::ShiftModifier)) {
    showSortOrder = true;
    view_->setColumnHidden(1, false);
    return true;
  }
  return TqmTabWindow::eventFilter(watched, event);
}

void TfrmPasswordRepository::SafeChangedElsewhere(const TqmSafeChanges& changes) {
  if (!changes.Unknown && !changes.Categories && changes.EntryFolders.empty()) return;
  using TNode = TqmRepositoryTree::TNode;
  // Places, not pointers: Reload makes every node anew.
  const TItem current = CurrentItem();
  const std::string selectedFolder = current.IsNone() ? std::string() : current.node->FolderPath();
  const std::string selectedFile = current.entry ? current.entry->FileName() : std::string();
  std::vector<std::string> expanded;
  std::function<void(TNode&)> collect = [&](TNode& node) {
    for (auto& c : node.categories) {
      const QModelIndex index = model_->IndexOf({c.get()});
      if (index.isValid() && view_->isExpanded(index)) expanded.push_back(c->FolderPath());
      if (c->loaded) collect(*c);
    }
  };
  collect(tree_->Root());
  Reload();
  // The node at a folder path, read as far as needed; the nearest category above it when it is gone.
  auto find = [this](const std::string& path, bool& exact) {
    TNode* node = &tree_->Root();
    for (exact = path.empty(); !exact;) {
      tree_->Load(*node);
      TNode* next = nullptr;
      for (auto& c : node->categories)
        if (path.compare(0, c->FolderPath().size(), c->FolderPath()) == 0) next = c.get();
      if (next == nullptr) break;
      node = next;
      exact = node->FolderPath() == path;
    }
    return node;
  };
  TItem select;
  std::vector<TNode*> expand;
  try {
    bool exact = false;
    for (const std::string& path : expanded)
      if (TNode* node = find(path, exact); exact) expand.push_back(node);
    if (!current.IsNone()) {
      TNode* node = find(selectedFolder, exact);
      if (node->category) select = {node};
      if (exact && !selectedFile.empty()) {
        tree_->Load(*node);
        for (auto& e : node->entries)
          if (e->FileName() == selectedFile) select = {node, e.get()};
      }
    }
  } catch (const std::exception& e) {
    ShowError(this, FromMessage(e.what()));
  }
  if (select.IsNone()) select = CurrentItem();  // Reload's choice
  Refreshed(select);
  for (TNode* node : expand) view_->setExpanded(model_->IndexOf({node}), true);
  Select(select);
}

}  // namespace quillmar
