#include "repository/frmPasswordRepository.h"

#include <QAction>
#include <QApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHash>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QTimer>
#include <QTreeView>
#include <QUrl>
#include <QVBoxLayout>
#include <functional>

#include "core/qmCategoryTemplate.h"
#include "core/qmGlobal.h"
#include "core/qmRepositoryRules.h"
#include "core/qmTrayMenus.h"
#include "reminders/qmReminderWindows.h"
#include "repository/frmCategoryManagement.h"
#include "repository/frmFindEntry.h"
#include "repository/frmPasswordHealth.h"
#include "repository/qmRepositoryEntryViewer.h"
#include "repository/qmRepositoryModel.h"
#include "repository/qmRepositoryTreeView.h"
#include "repository/qmRepsitoryItemEditor.h"
#include "shell/qmMessages.h"
#include "shell/qmProgressRunner.h"
#include "widgets/qmHotLabel.h"
#include "widgets/qmSafeTextValidator.h"
#include "widgets/qmSecretClipboard.h"
#include "widgets/qmText.h"

namespace quillmar {

namespace {

constexpr char kMsgNoCategories[] =
    "No categories found. Please create categories using \"Category manager\"";
constexpr char kMsgSelectCategory[] = "First select category the create entry";

// Sort-order column shown for the rest of the run (Shift + double-click on "Select task ...").
bool showSortOrder = false;

// SetReadHook's settings.
std::function<void(const TqmProgress&)> readHook;
int readProgressAfterMs = 0;

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
                     manageCategories_, showReminderList_, passwordHealth_}) {
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

  txtFilter_ = new QLineEdit(this);
  txtFilter_->setObjectName(QStringLiteral("txtFilter"));
  txtFilter_->setPlaceholderText(QStringLiteral("Filter (Ctrl+E)"));
  txtFilter_->setClearButtonEnabled(true);
  txtFilter_->installEventFilter(this);
  auto* filterGuard = new TqmSafeTextValidator(txtFilter_);
  connect(filterGuard, &TqmSafeTextValidator::refused, this,
          [this](const QString& message) { ShowMessageBeside(txtFilter_, message); });
  right->addWidget(txtFilter_);
  filterTimer_ = new QTimer(this);
  filterTimer_->setSingleShot(true);
  filterTimer_->setInterval(200);
  connect(txtFilter_, &QLineEdit::textChanged, filterTimer_, qOverload<>(&QTimer::start));
  connect(filterTimer_, &QTimer::timeout, this, [this] { SetFilter(txtFilter_->text()); });
  view_ = new TqmRepositoryTreeView(this);
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
  connect(view_, &QWidget::customContextMenuRequested, this, &TfrmPasswordRepository::ShowContextMenu);
  connect(view_, &TqmRepositoryTreeView::dropRequested, this, &TfrmPasswordRepository::DropItem);
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
  manageCategories_->setShortcut(QKeySequence(Qt::Key_F7));
  showReminderList_->setShortcut(QKeySequence(Qt::Key_F8));
  connect(manageCategories_, &QAction::triggered, this, &TfrmPasswordRepository::ManageCategories);

  copyUserName_ = make("copyUserName", "Copy User Name", "Copy the user name of the selected entry",
                       QKeySequence(Qt::CTRL | Qt::Key_B));
  copyPassword_ = make("copyPassword", "Copy Password", "Copy the password of the selected entry",
                       QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C));
  moveUp_ = make("moveItemUp", "Move Up", "Move the selected item up", QKeySequence(Qt::CTRL | Qt::Key_Up));
  moveDown_ =
      make("moveItemDown", "Move Down", "Move the selected item down", QKeySequence(Qt::CTRL | Qt::Key_Down));
  moveToCategory_ =
      make("moveToCategory", "Move to Category ...", "Move the selected item into another category",
           QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_M));
  passwordHealth_ = make("passwordHealth", "Password Health", "List reused, weak and missing passwords", {});
  focusFilter_ = make("focusFilter", "Filter", "Show only the entries that match a text",
                      QKeySequence(Qt::CTRL | Qt::Key_E));
  connect(copyUserName_, &QAction::triggered, this, [this] { CopyFieldValue(false); });
  connect(copyPassword_, &QAction::triggered, this, [this] { CopyFieldValue(true); });
  connect(moveUp_, &QAction::triggered, this, [this] { MoveItem(-1); });
  connect(moveDown_, &QAction::triggered, this, [this] { MoveItem(+1); });
  connect(moveToCategory_, &QAction::triggered, this, &TfrmPasswordRepository::MoveToCategory);
  connect(passwordHealth_, &QAction::triggered, this, &TfrmPasswordRepository::PasswordHealth);
  connect(focusFilter_, &QAction::triggered, this, [this] {
    txtFilter_->setFocus();
    txtFilter_->selectAll();
  });
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
  const TItem item = CurrentItem();
  copyUserName_->setEnabled(entry && item.entry && UserNameFieldIndex(*item.entry) >= 0);
  copyPassword_->setEnabled(entry && item.entry && PasswordFieldIndex(*item.entry) >= 0);
  moveUp_->setEnabled(any && !filtering_);
  moveDown_->setEnabled(any && !filtering_);
  moveToCategory_->setEnabled(any && !filtering_);
  showReminderList_->setEnabled(ReminderWindowsAvailable());
}

void TfrmPasswordRepository::Reload() {
  // The filter remembers items of the tree that goes now.
  if (filtering_) ClearFilter();
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
  // Every change of what the tree shows reaches the view through the model: the tray lists it anew
  // at its next opening.
  trayStale_ = true;
  const auto stale = [this] { trayStale_ = true; };
  connect(model_, &QAbstractItemModel::modelReset, this, stale);
  connect(model_, &QAbstractItemModel::layoutChanged, this, stale);
  connect(model_, &QAbstractItemModel::rowsInserted, this, stale);
  connect(model_, &QAbstractItemModel::rowsRemoved, this, stale);
  connect(model_, &QAbstractItemModel::rowsMoved, this, stale);
  connect(model_, &QAbstractItemModel::dataChanged, this, stale);
  ShowNewWarnings();
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
  if (filtering_) ApplyFilterRows();
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
  item.entry->CopyToClipboard(SecretRecordClipboard());
}

void TfrmPasswordRepository::PasteEntry() {
  if (tree_->Root().categories.empty()) ShowInformation(this, QString::fromLatin1(kMsgNoCategories));
  TqmRepositoryTree::TNode* node = TargetCategory();
  if (!node) {
    ShowInformation(this, QString::fromLatin1(kMsgSelectCategory));
    return;
  }
  try {
    const TItem pasted = tree_->PasteEntry(*node, SecretRecordClipboard());
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
  if (managingCategories_) {
    // The tree is out of date until the manager closes: nothing of it is listed.
    EmptyTrayMenus(autoFill, webSites);
    return;
  }
  const bool inPlace = trayAutoFill_.menu == autoFill && traySites_.menu == webSites &&
                       autoFill->actions() == trayAutoFill_.actions &&
                       webSites->actions() == traySites_.actions;
  // Nothing changed and the menus still hold what was put there at the last opening.
  if (!trayStale_ && inPlace) return;
  if (!trayStale_) {
    // Unchanged items in menus that were emptied or are others: the same actions again.
    PutTrayActions(trayAutoFill_, autoFill);
    PutTrayActions(traySites_, webSites);
    return;
  }
  // Whether every category was read before: then the walk reads nothing and the model stays as it is
  // (a model refresh at 10,000 entries costs more than the menus).
  std::function<bool(const TqmRepositoryTree::TNode&)> allLoaded = [&](const TqmRepositoryTree::TNode& node) {
    if (!node.loaded) return false;
    for (const auto& c : node.categories)
      if (!allLoaded(*c)) return false;
    return true;
  };
  const bool readBefore = allLoaded(tree_->Root());
  TqmTrayMenus menus;
  try {
    menus = quillmar::BuildTrayMenus(shell_.Global(), *tree_);
  } catch (const std::exception&) {
    // A Safe that cannot be read lists nothing; the tab says why when it is shown.
    EmptyTrayMenus(autoFill, webSites);
    return;
  }
  if (!readBefore) Refreshed(CurrentItem());
  trayIcons_.clear();
  FillTrayMenu(trayAutoFill_, autoFill, std::move(menus.AutoFill), true);
  FillTrayMenu(traySites_, webSites, std::move(menus.Sites), false);
  // Set after the refresh above, whose model reset would otherwise mark the new items stale.
  trayStale_ = false;
}

void TfrmPasswordRepository::FillTrayMenu(TTrayMenu& tray, QMenu* menu, std::vector<TqmTrayItem> items,
                                          bool autoFill) {
  auto iconOf = [this](const std::string& bytes) {
    if (bytes.empty()) return QIcon();
    const QByteArray key(bytes.data(), static_cast<qsizetype>(bytes.size()));
    auto it = trayIcons_.constFind(key);
    if (it != trayIcons_.constEnd()) return *it;
    QPixmap pixmap;
    pixmap.loadFromData(key, "ICO");
    return *trayIcons_.insert(key, QIcon(pixmap));
  };
  // A menu item's text takes "&" for the mark of its access key: the categories' "&" ("Computers &
  // Networks") is doubled to show as it is.
  auto captionOf = [](const TqmTrayItem& item) {
    return FromSafeText(item.Caption).replace(QLatin1Char('&'), QLatin1String("&&"));
  };
  // The menu shows the tab's actions in order, or is made to below.
  const bool inMenu = tray.menu == menu && menu->actions() == tray.actions;
  const qsizetype kept = std::min<qsizetype>(tray.actions.size(), static_cast<qsizetype>(items.size()));
  // Items in the same place: only a caption or icon that differs is set (each change costs the menu
  // a relayout).
  for (qsizetype i = 0; i < kept; ++i) {
    const TqmTrayItem& was = tray.items[static_cast<size_t>(i)];
    const TqmTrayItem& now = items[static_cast<size_t>(i)];
    QAction* a = tray.actions[i];
    if (was.Caption != now.Caption) a->setText(captionOf(now));
    if (was.Icon != now.Icon) a->setIcon(iconOf(now.Icon));
  }
  // Items beyond the new list go; new ones are made.
  while (tray.actions.size() > kept) delete tray.actions.takeLast();
  for (size_t i = static_cast<size_t>(kept); i < items.size(); ++i) {
    auto* a = new QAction(iconOf(items[i].Icon), captionOf(items[i]), this);
    const int index = static_cast<int>(i);
    connect(a, &QAction::triggered, this, [this, autoFill, index] { TrayItemChosen(autoFill, index); });
    tray.actions.append(a);
  }
  if (inMenu) {
    for (qsizetype i = kept; i < tray.actions.size(); ++i) menu->addAction(tray.actions[i]);
  } else {
    PutTrayActions(tray, menu);
  }
  tray.items = std::move(items);
}

void TfrmPasswordRepository::PutTrayActions(TTrayMenu& tray, QMenu* menu) {
  // What others put into the menu goes (as the menu's own clear would have it), and the tab's actions
  // leave a menu filled before.
  if (tray.menu && tray.menu != menu)
    for (QAction* a : tray.actions) tray.menu->removeAction(a);
  menu->clear();
  menu->addActions(tray.actions);
  tray.menu = menu;
}

void TfrmPasswordRepository::EmptyTrayMenus(QMenu* autoFill, QMenu* webSites) {
  for (TTrayMenu* tray : {&trayAutoFill_, &traySites_})
    if (tray->menu)
      for (QAction* a : tray->actions) tray->menu->removeAction(a);
  autoFill->clear();
  webSites->clear();
  trayStale_ = true;
}

void TfrmPasswordRepository::TrayItemChosen(bool autoFill, int index) {
  const TTrayMenu& tray = autoFill ? trayAutoFill_ : traySites_;
  if (trayStale_ || index < 0 || static_cast<size_t>(index) >= tray.items.size()) {
    // The tree changed while the menu was open (another program's change came in): the item may
    // name an entry that is gone.
    ShowInformation(this, QStringLiteral("The entries changed while the menu was open. Open the menu again "
                                         "and choose the item once more."));
    return;
  }
  const TqmTrayItem& item = tray.items[static_cast<size_t>(index)];
  if (autoFill) {
    if (!shell_.Global().FillWebForm(*item.Item.entry))
      ShowWarning(this, QStringLiteral("The web form could not be filled."));
    return;
  }
  std::string refusal;
  const std::string address = SiteAddress(item.Data, refusal);
  if (address.empty()) {
    ShowWarning(this, FromSafeText(refusal));
    return;
  }
  if (!QDesktopServices::openUrl(QUrl(FromSafeText(address))))
    ShowWarning(this, QStringLiteral("The web site %1 could not be opened: no program for web addresses "
                                     "answered. Set up a web browser for this desktop and try again.")
                          .arg(FromSafeText(address)));
}

bool TfrmPasswordRepository::eventFilter(QObject* watched, QEvent* event) {
  if (watched == txtFilter_ && event->type() == QEvent::ShortcutOverride &&
      static_cast<QKeyEvent*>(event)->key() == Qt::Key_Insert) {
    // Insert in the filter box is the box's own key, not New.
    event->accept();
    return true;
  }
  if (watched == txtFilter_ && event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Escape) {
      ClearFilter();
      view_->setFocus();
      return true;
    }
    if (key->key() == Qt::Key_Down || key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
      // On to the tree, at once (not after the pause of typing).
      filterTimer_->stop();
      SetFilter(txtFilter_->text());
      view_->setFocus();
      return true;
    }
  }
  if (watched == view_ && event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    const Qt::KeyboardModifiers mods = key->modifiers() & ~Qt::KeypadModifier;
    if (key->key() == Qt::Key_Menu) {
      const QRect row = view_->visualRect(view_->currentIndex());
      ShowContextMenu(row.isValid() ? row.center() : QPoint(0, 0));
      return true;
    }
    // Ctrl+Up and Ctrl+Down move the item (when the window has no shortcut for them, the tree would
    // move its cursor instead).
    if ((key->key() == Qt::Key_Up || key->key() == Qt::Key_Down) && mods == Qt::ControlModifier) {
      if (moveUp_->isEnabled()) MoveItem(key->key() == Qt::Key_Up ? -1 : +1);
      return true;
    }
    if (key->key() == Qt::Key_Escape && filtering_) {
      ClearFilter();
      return true;
    }
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

QWidget* TfrmPasswordRepository::TreeView() const {
  return view_;
}

QMenu* TfrmPasswordRepository::ContextMenu() {
  if (!menu_) {
    menu_ = new QMenu(this);
    menu_->setObjectName(QStringLiteral("mnuRepository"));
    menu_->addActions({newEntry_, modifyEntry_, copyEntry_, pasteEntry_, deleteEntry_});
    menu_->addSeparator();
    menu_->addAction(findEntry_);
    menu_->addSeparator();
    menu_->addAction(manageCategories_);
    menu_->addSeparator();
    menu_->addAction(showReminderList_);
    menu_->addSeparator();
    menu_->addActions({copyUserName_, copyPassword_, moveToCategory_});
  }
  return menu_;
}

void TfrmPasswordRepository::ShowContextMenu(const QPoint& at) {
  ContextMenu()->exec(view_->viewport()->mapToGlobal(at));
}

void TfrmPasswordRepository::CopyFieldValue(bool password) {
  const TItem item = CurrentItem();
  if (!item.entry) return;
  const int index = password ? PasswordFieldIndex(*item.entry) : UserNameFieldIndex(*item.entry);
  if (index < 0) return;
  const std::string& value = item.entry->FieldAt(index).Value();
  if (value.empty()) {
    ShowInformation(this, password
                              ? QStringLiteral("The password of this entry is empty. Nothing was copied.")
                              : QStringLiteral("The user name of this entry is empty. Nothing was copied."));
    return;
  }
  // Taken off the clipboard again after the clear delay, and when the Safe closes.
  TqmSecretClipboard::Instance().Copy(FromSafeText(value));
}

void TfrmPasswordRepository::ManageCategories() {
  // The manager changes categories under the tree: the tab lets go of what it shows and reads anew.
  if (filtering_) ClearFilter();
  viewer_->ShowEntry(nullptr);
  {
    // Meanwhile the tab's tree is out of date: the tray lists nothing from it until the reload.
    managingCategories_ = true;
    TfrmCategoryManagement manager(shell_.Global(), shell_.Window());
    manager.exec();
    managingCategories_ = false;
  }
  Reload();
}

bool TfrmPasswordRepository::DropItem(const TItem& source, const TItem& target, TqmDropMode mode) {
  if (filtering_ || !TqmRepositoryTree::CanDrop(source, target, mode)) return false;
  // Where an entry ends up: its node changes when it moves to another category.
  TqmRepositoryTree::TNode* destination =
      mode == TqmDropMode::On ? target.node : &TqmRepositoryTree::ParentOf(target);
  try {
    if (!tree_->Drop(source, target, mode)) return false;
  } catch (const std::exception& e) {
    // Nothing changed: the Safe and the tree are as they were.
    ShowError(this, FromMessage(e.what()));
    Refreshed(source);
    return false;
  }
  TItem moved = source;
  if (source.entry) moved.node = destination;
  Refreshed(moved);
  return true;
}

bool TfrmPasswordRepository::MoveItem(int delta) {
  const TItem item = CurrentItem();
  if (item.IsNone() || filtering_) return false;
  TItem neighbour;
  if (item.entry) {
    auto& list = item.node->entries;
    for (size_t i = 0; i < list.size(); ++i) {
      if (list[i].get() != item.entry) continue;
      const long j = static_cast<long>(i) + delta;
      if (j >= 0 && j < static_cast<long>(list.size()))
        neighbour = {item.node, list[static_cast<size_t>(j)].get()};
    }
  } else {
    auto& list = item.node->parent->categories;
    for (size_t i = 0; i < list.size(); ++i) {
      if (list[i].get() != item.node) continue;
      const long j = static_cast<long>(i) + delta;
      if (j >= 0 && j < static_cast<long>(list.size())) neighbour = {list[static_cast<size_t>(j)].get()};
    }
  }
  if (neighbour.IsNone()) return false;  // first or last of its kind already
  return DropItem(item, neighbour, delta < 0 ? TqmDropMode::Above : TqmDropMode::Below);
}

bool TfrmPasswordRepository::MoveItemTo(TqmRepositoryTree::TNode& category) {
  const TItem item = CurrentItem();
  if (item.IsNone() || !category.category) return false;
  if (!TqmRepositoryTree::CanDrop(item, {&category}, TqmDropMode::On)) {
    ShowInformation(
        this, &TqmRepositoryTree::ParentOf(item) == &category
                  ? QStringLiteral("The item is in that category already.")
                  : QStringLiteral("A category cannot be moved into itself or into a category below it."));
    return false;
  }
  return DropItem(item, {&category}, TqmDropMode::On);
}

void TfrmPasswordRepository::MoveToCategory() {
  if (CurrentItem().IsNone() || filtering_) return;
  TqmRepositoryTree::TNode* chosen = nullptr;
  {
    // The categories of the tab's own tree: the choice is a node of it.
    QDialog chooser(shell_.Window());
    chooser.setObjectName(QStringLiteral("dlgMoveToCategory"));
    chooser.setWindowTitle(QStringLiteral("Move to Category"));
    auto* layout = new QVBoxLayout(&chooser);
    auto* label = new QLabel(QStringLiteral("Choose the category to move the selected item into:"), &chooser);
    layout->addWidget(label);
    auto* list = new QTreeView(&chooser);
    list->setObjectName(QStringLiteral("lstMoveTarget"));
    list->setHeaderHidden(true);
    list->setIndentation(10);
    TqmRepositoryModel categories(*tree_, true);
    list->setModel(&categories);
    list->setColumnHidden(1, true);
    label->setBuddy(list);
    layout->addWidget(list, 1);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &chooser);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, &chooser, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &chooser, &QDialog::reject);
    connect(list, &QTreeView::doubleClicked, &chooser, &QDialog::accept);
    chooser.resize(360, 400);
    if (categories.rowCount() > 0) list->setCurrentIndex(categories.index(0, 0));
    list->setFocus();
    if (chooser.exec() == QDialog::Accepted) {
      const TItem picked = categories.ItemOf(list->currentIndex());
      if (picked.IsCategory()) chosen = picked.node;
    }
    list->setModel(nullptr);
  }
  // The chooser may have read categories the tab's model has not shown yet.
  if (!chosen) {
    Refreshed(CurrentItem());
    return;
  }
  if (!MoveItemTo(*chosen)) Refreshed(CurrentItem());
}

void TfrmPasswordRepository::SetFilter(const QString& text) {
  if (text.isEmpty()) {
    ClearFilter();
    return;
  }
  std::string safe;
  if (!ToSafeText(text, safe)) return;  // the box's guard has refused the character already
  const bool first = !filtering_;
  if (first) {
    expandedBeforeFilter_ = view_->ExpandedNodes();
    selectedBeforeFilter_ = CurrentItem();
    // Every item takes part: what is not read yet is read now, once, on a worker (the window keeps
    // painting; after a second a progress dialog offers Cancel, which leaves the filter off).
    if (!ReadEveryEntry(QStringLiteral("Reading every entry for the filter ..."))) {
      expandedBeforeFilter_.clear();
      selectedBeforeFilter_ = {};
      ClearFilter();
      return;
    }
    filtering_ = true;
    view_->SetDropsAllowed(false);
  }
  filterText_ = safe;
  if (txtFilter_->text() != text) {
    txtFilter_->setText(text);
    filterTimer_->stop();
  }
  if (first) {
    // The model learns of everything read above.
    const TItem keep = CurrentItem();
    Refreshed(keep.IsNone() ? selectedBeforeFilter_ : keep);
  } else {
    // A further keystroke: the tree and the model are as they were; only which rows show changes.
    ApplyFilterRows();
  }
  // The selection moves to the first match unless it is on a match already (a category shown only
  // for what it holds is none).
  auto matches = [this](const TItem& item) {
    if (item.IsNone()) return false;
    return item.entry ? RepositoryFilterMatches(*item.entry, filterText_)
                      : RepositoryFilterMatches(*item.node->category, filterText_);
  };
  if (!RowShown(CurrentItem()) || !matches(CurrentItem())) {
    QModelIndex shown;
    for (QModelIndex i = model_->index(0, 0); i.isValid(); i = view_->indexBelow(i)) {
      if (matches(model_->ItemOf(i))) {
        shown = i;
        break;
      }
    }
    if (shown.isValid()) {
      view_->setCurrentIndex(shown);
      SelectionChanged();
    }
  }
  UpdateActions();
}

void TfrmPasswordRepository::SetReadHook(std::function<void(const std::function<void(double, bool&)>&)> hook,
                                         int progressAfterMs) {
  readHook = std::move(hook);
  readProgressAfterMs = progressAfterMs;
}

bool TfrmPasswordRepository::ReadEveryEntry(QWidget* parent, TqmShell& shell, TqmRepositoryTree& tree,
                                            const QString& label) {
  TqmRepositoryTree::TPendingRead pending;
  bool complete = false;
  TqmProgressRunner::RunBusyWithProgress(parent, &shell.Gate(), label,
                                         readHook ? readProgressAfterMs : kReadProgressAfterMs,
                                         [&](const TqmProgress& progress) {
                                           if (readHook) readHook(progress);
                                           complete = tree.ReadUnloaded(tree.Root(), pending, progress);
                                         });
  if (!complete) return false;  // cancelled: nothing of it is kept
  tree.AttachRead(pending);
  return true;
}

bool TfrmPasswordRepository::ReadEveryEntry(const QString& label) {
  try {
    return ReadEveryEntry(this, shell_, *tree_, label);
  } catch (const std::exception& e) {
    ShowError(this, FromMessage(e.what()));
    return false;
  }
}

void TfrmPasswordRepository::ApplyFilterRows() {
  // A category is shown when it matches or holds something shown; an entry when it matches. The
  // categories that hold something shown are expanded.
  std::function<bool(TqmRepositoryTree::TNode&, const QModelIndex&)> walk =
      [&](TqmRepositoryTree::TNode& node, const QModelIndex& parent) {
        bool any = false;
        int row = 0;
        for (auto& c : node.categories) {
          const QModelIndex index = model_->index(row, 0, parent);
          const bool below = c->loaded && walk(*c, index);
          const bool shown = below || RepositoryFilterMatches(*c->category, filterText_);
          // Only rows whose state changes are touched: a keystroke changes few of 10,000.
          if (view_->isRowHidden(row, parent) == shown) view_->setRowHidden(row, parent, !shown);
          if (below && !view_->isExpanded(index)) view_->setExpanded(index, true);
          any = any || shown;
          ++row;
        }
        for (auto& e : node.entries) {
          const bool shown = RepositoryFilterMatches(*e, filterText_);
          if (view_->isRowHidden(row, parent) == shown) view_->setRowHidden(row, parent, !shown);
          any = any || shown;
          ++row;
        }
        return any;
      };
  walk(tree_->Root(), QModelIndex());
}

void TfrmPasswordRepository::ClearFilter() {
  filterTimer_->stop();
  if (!txtFilter_->text().isEmpty()) {
    // Not with signals blocked: the box hides its clear button on its own change signal.
    txtFilter_->clear();
    filterTimer_->stop();
  }
  if (!filtering_) return;
  filtering_ = false;
  filterText_.clear();
  view_->SetDropsAllowed(true);
  const TItem chosen = CurrentItem();
  view_->ResetModel(expandedBeforeFilter_);
  expandedBeforeFilter_.clear();
  // The item chosen while filtering stays selected (shown, with its categories expanded).
  const TItem keep = chosen.IsNone() ? selectedBeforeFilter_ : chosen;
  selectedBeforeFilter_ = {};
  if (keep.IsNone()) {
    Refreshed({});
  } else {
    Select(keep);
  }
  UpdateActions();
}

bool TfrmPasswordRepository::RowShown(const TItem& item) const {
  const QModelIndex index = model_->IndexOf(item);
  if (!index.isValid()) return false;
  for (QModelIndex i = index; i.isValid(); i = i.parent())
    if (view_->isRowHidden(i.row(), i.parent())) return false;
  return true;
}

void TfrmPasswordRepository::OpenEntry(const TItem& item) {
  if (!item.entry) return;
  if (filtering_) ClearFilter();
  Select(item);
  view_->setFocus();
  if (CurrentItem() == item) ModifyEntry();
}

void TfrmPasswordRepository::PasswordHealth() {
  TItem open;
  {
    TfrmPasswordHealth health(shell_, *tree_, shell_.Window());
    if (!health.Run()) {
      Refreshed(CurrentItem());
      return;
    }
    open = health.Chosen();
  }
  // The check may have read categories the model has not shown yet.
  Refreshed(CurrentItem());
  if (!open.IsNone()) OpenEntry(open);
}

void TfrmPasswordRepository::ShowNewWarnings() {
  std::string all;
  for (const std::string& w : tree_->TakeWarnings())
    if (warned_.insert(w).second) all += w + "\n";
  if (!all.empty()) ShowWarning(this, FromMessage(all));
}

void TfrmPasswordRepository::SafeChangedElsewhere(const TqmSafeChanges& changes) {
  if (!changes.Unknown && !changes.Categories && changes.EntryFolders.empty()) return;
  bool followed = false;
  try {
    followed = shell_.Global().SafeOpen() && FollowChanges(changes);
  } catch (const std::exception&) {
    // The tree is as it was: the reading anew below says what cannot be read.
  }
  if (!followed) ReadAnewKeepingPlaces();
  ShowNewWarnings();
}

bool TfrmPasswordRepository::FollowChanges(const TqmSafeChanges& changes) {
  std::vector<TItem> changed;
  if (!model_->FollowChanges(
          changes, [this](const TItem& going) { Leaving(going); }, changed))
    return false;
  if (filtering_) {
    // New categories take part in the filter as the others: read, then the rows matched again.
    tree_->LoadAll(tree_->Root());
    Refreshed(CurrentItem());
    return true;
  }
  // The header and the entry view show the selected item and the names of its categories.
  const TItem current = CurrentItem();
  for (const TItem& item : changed) {
    if (current.IsNone()) break;
    if (item == current || (item.IsCategory() && TqmRepositoryTree::IsBelow(current, *item.node))) {
      SelectionChanged();
      break;
    }
  }
  UpdateActions();
  return true;
}

void TfrmPasswordRepository::Leaving(const TItem& going) {
  const TItem current = CurrentItem();
  if (current.IsNone() || going.IsNone()) return;
  const bool hit =
      current == going || (going.IsCategory() && TqmRepositoryTree::IsBelow(current, *going.node));
  if (!hit) return;
  TItem next;
  if (going.entry) {
    next = {going.node};
  } else if (going.node->parent != nullptr && going.node->parent->category) {
    next = {going.node->parent};
  } else {
    // A top-level category: the one after it, else the one before it.
    const int at = TqmRepositoryTree::PositionOf(going);
    auto& top = tree_->Root().categories;
    if (at >= 0 && static_cast<size_t>(at) + 1 < top.size())
      next = {top[static_cast<size_t>(at) + 1].get()};
    else if (at > 0)
      next = {top[static_cast<size_t>(at) - 1].get()};
  }
  if (next.IsNone()) {
    view_->setCurrentIndex(QModelIndex());
    selection_ = TSelection::None;
    lblEntryFullCaption_->clear();
    headerIcon_->clear();
    viewer_->ShowEntry(nullptr);
    UpdateActions();
    return;
  }
  view_->setCurrentIndex(model_->IndexOf(next));
  SelectionChanged();
}

void TfrmPasswordRepository::ReadAnewKeepingPlaces() {
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
