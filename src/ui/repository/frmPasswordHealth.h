#pragma once
// TfrmPasswordHealth: the password health report of the open Safe (core/qmPasswordHealth.h) as a
// list (lstHealth): the groups of entries that share one password, the weak passwords and the empty
// required password fields, each entry shown by its path. Enter or a double-click on an entry (or
// "Open", btnOpen) closes the window with that entry chosen, for the repository tab to open it;
// "Close" (btnClose) closes it without.
//
// Compute reads every entry of the tab's tree not read yet first (on a worker, with Cancel after a
// second; once: later checks find them loaded), then estimates the passwords on a worker thread under a
// progress window with Cancel; the worker only reads what is loaded.
#include <QDialog>
#include <vector>

#include "core/qmPasswordHealth.h"
#include "core/qmRepositoryTree.h"

class QLabel;
class QTreeWidget;
class QTreeWidgetItem;

namespace quillmar {

class TqmShell;

class TfrmPasswordHealth : public QDialog {
  Q_OBJECT
public:
  TfrmPasswordHealth(TqmShell& shell, TqmRepositoryTree& tree, QWidget* parent);

  // Checks the passwords and fills the list. False when the check was cancelled or failed (a failure
  // is said).
  bool Compute();
  // Compute, then the window (modal). True when an entry was chosen.
  bool Run();
  const std::vector<TqmHealthFinding>& Findings() const { return findings_; }
  // The entry chosen (none when the window closed without one).
  TqmRepositoryTree::TItem Chosen() const { return chosen_; }
  QTreeWidget* List() const { return list_; }

private:
  void Fill();
  void Open(QTreeWidgetItem* row);

  TqmShell& shell_;
  TqmRepositoryTree& tree_;
  std::vector<TqmHealthFinding> findings_;
  TqmRepositoryTree::TItem chosen_;
  QLabel* summary_;
  QTreeWidget* list_;
};

}  // namespace quillmar
