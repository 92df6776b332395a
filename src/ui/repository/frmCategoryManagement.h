#pragma once
// TfrmCategoryManagement: the category manager (modal, "Category Management"). The category tree
// (categoriesListView, categories only, over the same model and drop rule as the repository tab) on
// the left; the current category's name (txtCategoryName), icon ("Browse ...") and template fields
// (fieldsListView, edited in place) on the right.
//
// Most changes reach the Safe at once: New, Paste, Delete and drops are operations of the repository
// tree (core/qmRepositoryTree.h), and adding or removing a field saves the category. Edits of the name,
// icon, field names, types and flags stay in memory and set the modified flag; while it is set, the
// category left by a switch is saved (the flag stays set, so every category left later is saved
// again). OK refuses to close while a category the tree has loaded has no field, showing it; then
// saves the current category when the flag is set. Cancel closes without saving the pending edits.
// Names the category record cannot carry are refused where they are typed, naming the character.
//
// objectNames: categoriesListView, txtCategoryName, imgCategoryIcon, btnBrowseIcon, fieldsListView,
// btnAddField, btnRemoveField, btnMoveUp, btnMoveDown, btnOK, btnCancel, lblSelectTask; actions
// aNewCategory, aModifyCategory, aCopyCategory, aPasteCategory, aDeleteCategory.
#include <QDialog>
#include <memory>

#include "core/qmRepositoryTree.h"

class QAction;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;
class QTableWidgetItem;

namespace quillmar {

class TqmGlobal;
class TqmRepositoryModel;
class TqmRepositoryTreeView;

class TfrmCategoryManagement : public QDialog {
  Q_OBJECT
public:
  using TNode = TqmRepositoryTree::TNode;

  // REQUIRES: a Safe is open.
  TfrmCategoryManagement(TqmGlobal& global, QWidget* parent);
  ~TfrmCategoryManagement() override;

  TqmRepositoryTree& Tree() { return *tree_; }
  // The category whose properties are shown (null when none).
  TNode* Current() const { return current_; }
  bool Modified() const { return modified_; }
  // Selects and focuses the category node (its ancestors expanded), which makes it current.
  void Select(TNode* node);
  // The field row the grid has focused, -1 when none.
  int SelectedField() const;
  void SelectField(int row);

  void NewCategory();
  void ModifyCategory();
  void CopyCategory();
  void PasteCategory();
  void DeleteCategory();
  void AddField();
  void RemoveField();
  // delta -1: Move Up, +1: Move Down.
  void MoveField(int delta);

  void accept() override;

protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  void MakeActions();
  void CurrentChanged();
  // Shows the current category's name, icon and fields (nothing with none).
  void ShowCurrent();
  void FillFields();
  void UpdateButtons();
  // Saves the current category; false (after saying why) when the Safe refused it.
  bool SaveCurrent();
  void NameEdited(const QString& text);
  void BrowseIcon();
  void FieldEdited(QTableWidgetItem* item);
  // The parent New and Paste work under: the focused category, else the top level.
  TNode& TargetParent();
  void Refresh(const std::vector<TNode*>& expanded, TNode* select);
  void Dropped(const TqmRepositoryTree::TItem& source, const TqmRepositoryTree::TItem& target,
               TqmDropMode mode);

  TqmGlobal& g_;
  std::unique_ptr<TqmRepositoryTree> tree_;
  TqmRepositoryModel* model_;
  TqmRepositoryTreeView* view_;
  QLineEdit* txtCategoryName_;
  QLabel* icon_;
  QPushButton* btnBrowse_;
  QTableWidget* fields_;
  QPushButton* btnAdd_;
  QPushButton* btnRemove_;
  QPushButton* btnUp_;
  QPushButton* btnDown_;
  QAction* aNew_;
  QAction* aModify_;
  QAction* aCopy_;
  QAction* aPaste_;
  QAction* aDelete_;

  TNode* current_ = nullptr;
  bool modified_ = false;
  bool filling_ = false;  // the grid is being filled: no edit of the user's
};

}  // namespace quillmar
