#pragma once
// TfrmPasswordRepository: the Password Repository tab. The tree of the Safe's categories and entries
// (pwdRepositoryList over TqmRepositoryModel), a header with the selected item's icon and path
// (lblEntryFullCaption), the read-only view of the selected entry below it, and a task panel of links
// to the entry commands. What a command does to the Safe is an operation of the repository tree
// (core/qmRepositoryTree.h); the window gathers input, asks, calls it and shows the result.
#include <QByteArray>
#include <QHash>
#include <QIcon>
#include <QList>
#include <QPointer>
#include <QString>
#include <functional>
#include <memory>
#include <set>
#include <string>

#include "core/qmRepositoryTree.h"
#include "core/qmTrayMenus.h"
#include "shell/qmTabWindow.h"

class QAction;
class QLabel;
class QLineEdit;
class QModelIndex;
class QTimer;

namespace quillmar {

class TqmRepositoryModel;
class TqmRepositoryEntryViewer;
class TqmRepositoryTreeView;

class TfrmPasswordRepository : public TqmTabWindow {
  Q_OBJECT
public:
  using TItem = TqmRepositoryTree::TItem;
  enum class TSelection { None, Category, Entry };

  TfrmPasswordRepository(TqmShell& shell, QWidget* parent);
  ~TfrmPasswordRepository() override;

  QString Caption() const override { return QStringLiteral("Password Repository"); }
  QString Hint() const override { return QStringLiteral("Keep track of any sesitive information"); }
  QString HelpPage() const override { return QStringLiteral("IDH_HELP_PWDREPOSITORY"); }
  void FindNext(const QString& text, bool caseSensitive, bool allFields) override;
  // Fills the tray's two menus. The items are kept between openings: an opening after which nothing
  // in the tree changed (no model signal since the last one) finds the menus as they are and leaves
  // them; after a change the list is made again and only the items that differ are touched.
  void BuildTrayMenus(QMenu* autoFill, QMenu* webSites) override;

  // Drops the tree and reads the top level anew; the first category is selected.
  void Reload();
  TSelection Selection() const { return selection_; }
  TItem CurrentItem() const;
  void Select(const TItem& item);
  // The tree the tab shows (tests).
  TqmRepositoryTree& Tree() { return *tree_; }
  // The text of the last FindNext call.
  QString LastFind() const { return lastFind_; }

  // Carries out a drop (or a move key) through the core's drop operation, as one change of the Safe;
  // the source stays selected. False when the rule refuses it, the filter is on, or the Safe refused
  // the move (which is then said).
  bool DropItem(const TItem& source, const TItem& target, TqmDropMode mode);
  // Ctrl+Up (-1) and Ctrl+Down (+1): the selected item changes places with the one of its kind
  // before or after it.
  bool MoveItem(int delta);
  // Moves the selected item into the category (as its first item of its kind).
  bool MoveItemTo(TqmRepositoryTree::TNode& category);

  // The filter (txtFilter): shows only the items that match text, with the categories above them;
  // an empty text ends it. Applied at once here; typing applies it after a short pause.
  void SetFilter(const QString& text);
  // Ends the filter (Escape): the whole tree again, as it was expanded, the selected item kept.
  void ClearFilter();
  bool Filtering() const { return filtering_; }
  // Whether the row of item is shown (not hidden by the filter).
  bool RowShown(const TItem& item) const;

  // The tree's context menu.
  QMenu* ContextMenu();
  QWidget* TreeView() const;

  // Opens the entry found by the password health window: selects it and starts Modify.
  void OpenEntry(const TItem& item);

  // Tests: work run on the worker at the start of the full read (given the read's progress, so that
  // it can wait there for a Cancel), and how long the read runs before its progress dialog appears.
  // An empty hook restores the defaults.
  static void SetReadHook(std::function<void(const std::function<void(double, bool&)>&)> hook,
                          int progressAfterMs = kReadProgressAfterMs);
  // Reads every entry of tree not read yet on a worker (the window keeps painting; after a second a
  // progress dialog under parent offers Cancel), then the tree takes the read in on this thread. False
  // when it was cancelled: the tree is as it was. A failed read throws, the tree as it was.
  static bool ReadEveryEntry(QWidget* parent, TqmShell& shell, TqmRepositoryTree& tree, const QString& label);

private:
  // How long the first full read of the tree runs before its progress dialog (with Cancel) shows.
  static constexpr int kReadProgressAfterMs = 1000;
  // ReadEveryEntry for the tab's tree; false when it was cancelled or failed (said), and then the tree
  // is as it was.
  bool ReadEveryEntry(const QString& label);

  void MakeActions();
  void UpdateActions();
  void SelectionChanged();
  // The category node New and Paste work in: the focused category, or the focused entry's.
  TqmRepositoryTree::TNode* TargetCategory();
  // The tree changed: the model is reset, expanded categories stay expanded, item is selected.
  void Refreshed(const TItem& item);
  void NewEntry();
  void ModifyEntry();
  void CopyEntry();
  void PasteEntry();
  void DeleteEntry();
  void CopyFieldValue(bool password);
  void ManageCategories();
  void MoveToCategory();
  void PasswordHealth();
  void ShowContextMenu(const QPoint& at);
  void ApplyFilterRows();
  bool eventFilter(QObject* watched, QEvent* event) override;
  // The find window's text or options changed: the selected item may match the next search.
  void SearchChanged() { searchChanged_ = true; }

  TqmShell& shell_;
  std::unique_ptr<TqmRepositoryTree> tree_;
  TqmRepositoryModel* model_ = nullptr;
  TqmRepositoryTreeView* view_;
  QLineEdit* txtFilter_ = nullptr;
  QMenu* menu_ = nullptr;
  QTimer* filterTimer_ = nullptr;
  bool filtering_ = false;
  bool managingCategories_ = false;  // the category manager is open: the tree is out of date
  std::string filterText_;           // Safe text of the filter in force
  std::vector<TqmRepositoryTree::TNode*> expandedBeforeFilter_;
  TItem selectedBeforeFilter_;
  QLabel* headerIcon_;
  QLabel* lblEntryFullCaption_;
  TqmRepositoryEntryViewer* viewer_;
  TSelection selection_ = TSelection::None;
  bool searchChanged_ = true;
  QString lastFind_;

  QAction* newEntry_;
  QAction* modifyEntry_;
  QAction* copyEntry_;
  QAction* pasteEntry_;
  QAction* deleteEntry_;
  QAction* findEntry_;
  QAction* manageCategories_;
  QAction* showReminderList_;
  QAction* copyUserName_;
  QAction* copyPassword_;
  QAction* moveUp_;
  QAction* moveDown_;
  QAction* moveToCategory_;
  QAction* passwordHealth_;
  QAction* focusFilter_;

public:
  // Another program changed categories or entries: the records that changed are read and their rows
  // inserted, removed, moved or updated in place (TqmRepositoryModel::FollowChanges), so the expanded
  // categories, the selection and the scroll place stay; the entry view and the header are shown
  // anew when what they show changed. A selected item that goes leaves the selection to its category
  // (a top-level category to the one beside it): never to another entry, whose password a Copy would
  // then take unnoticed. When the report cannot be followed item by item, the tree is read anew, with
  // the expanded categories and the selected item (or the nearest category above it) found again by
  // their place in the Safe.
  void SafeChangedElsewhere(const TqmSafeChanges& changes) override;

private:
  // The step of SafeChangedElsewhere that follows the changes row by row; false when it could not.
  bool FollowChanges(const TqmSafeChanges& changes);
  // The item is about to go: the selection leaves it (or what holds it) first.
  void Leaving(const TItem& going);
  // The fallback of SafeChangedElsewhere: the tree read anew, places kept.
  void ReadAnewKeepingPlaces();
  // Shows the tree's warnings not shown before in this session: a damaged record is named once, not
  // again at every change another program makes.
  void ShowNewWarnings();
  std::set<std::string> warned_;

  // The tray's items (see BuildTrayMenus). The actions belong to the tab, not to the menus, so that
  // a menu that is cleared by its owner lets go of them without destroying them.
  struct TTrayMenu {
    QPointer<QMenu> menu;            // the menu filled last
    QList<QAction*> actions;         // its items, in order
    std::vector<TqmTrayItem> items;  // what each item hands on (same order)
  };
  // Makes menu show exactly `items` through tray's actions, reusing the actions it has.
  void FillTrayMenu(TTrayMenu& tray, QMenu* menu, std::vector<TqmTrayItem> items, bool autoFill);
  // Puts tray's actions into menu in place of what it holds, taking them out of the menu they were in.
  void PutTrayActions(TTrayMenu& tray, QMenu* menu);
  // An item of the tray was chosen.
  void TrayItemChosen(bool autoFill, int index);
  // Takes the tab's items out of the tray's menus (they list nothing while the tree is out of date).
  void EmptyTrayMenus(QMenu* autoFill, QMenu* webSites);
  TTrayMenu trayAutoFill_;
  TTrayMenu traySites_;
  // Something the tray lists may have changed since the menus were filled.
  bool trayStale_ = true;
  // Decoded icons of the tray's items, by their bytes (entries mostly share their category's icon).
  QHash<QByteArray, QIcon> trayIcons_;
};

}  // namespace quillmar
