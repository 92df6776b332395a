#include "repository/frmPasswordHealth.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <cmath>
#include <functional>

#include "repository/frmPasswordRepository.h"
#include "shell/qmMessages.h"
#include "shell/qmProgressRunner.h"
#include "shell/qmTabWindow.h"
#include "widgets/qmText.h"

namespace quillmar {

namespace {

constexpr int kEntryRole = Qt::UserRole + 1;

int CountEntries(const TqmRepositoryTree::TNode& node) {
  int count = static_cast<int>(node.entries.size());
  for (const auto& c : node.categories) count += CountEntries(*c);
  return count;
}

}  // namespace

TfrmPasswordHealth::TfrmPasswordHealth(TqmShell& shell, TqmRepositoryTree& tree, QWidget* parent)
    : QDialog(parent), shell_(shell), tree_(tree) {
  setObjectName(QStringLiteral("TfrmPasswordHealth"));
  setWindowTitle(QStringLiteral("Password Health"));
  auto* layout = new QVBoxLayout(this);
  summary_ = new QLabel(this);
  summary_->setObjectName(QStringLiteral("lblHealthSummary"));
  summary_->setWordWrap(true);
  layout->addWidget(summary_);
  list_ = new QTreeWidget(this);
  list_->setObjectName(QStringLiteral("lstHealth"));
  list_->setColumnCount(3);
  list_->setHeaderLabels({QStringLiteral("Entry"), QStringLiteral("Field"), QStringLiteral("Problem")});
  list_->setRootIsDecorated(true);
  list_->setUniformRowHeights(true);
  list_->header()->setSectionResizeMode(0, QHeaderView::Stretch);
  list_->header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
  list_->header()->setSectionResizeMode(2, QHeaderView::ResizeToContents);
  summary_->setBuddy(list_);
  layout->addWidget(list_, 1);
  auto* buttons = new QDialogButtonBox(this);
  QPushButton* open = buttons->addButton(QStringLiteral("Open"), QDialogButtonBox::AcceptRole);
  open->setObjectName(QStringLiteral("btnOpen"));
  QPushButton* close = buttons->addButton(QStringLiteral("Close"), QDialogButtonBox::RejectRole);
  close->setObjectName(QStringLiteral("btnClose"));
  layout->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::accepted, this, [this] { Open(list_->currentItem()); });
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(list_, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* row, int) { Open(row); });
  connect(list_, &QTreeWidget::currentItemChanged, this, [open](QTreeWidgetItem* row, QTreeWidgetItem*) {
    open->setEnabled(row && row->data(0, kEntryRole).isValid());
  });
  open->setEnabled(false);
  // Wide enough for an entry three categories deep beside its field and problem.
  resize(900, 440);
}

bool TfrmPasswordHealth::Compute() {
  try {
    // What is not read yet is read on a worker first (the window keeps painting; after a second a
    // progress dialog offers Cancel); the tree takes it in on this thread, then the check below only
    // reads memory.
    if (!TfrmPasswordRepository::ReadEveryEntry(parentWidget(), shell_, tree_,
                                                QStringLiteral("Reading every entry ...")))
      return false;  // cancelled: the tree is as it was
  } catch (const std::exception& e) {
    ShowError(parentWidget(), FromMessage(e.what()));
    return false;
  }
  const int total = std::max(1, CountEntries(tree_.Root()));
  std::vector<TqmHealthFinding> findings;
  bool stopped = false;
  try {
    const bool cancelled =
        TqmProgressRunner::Run(parentWidget(), &shell_.Gate(), QStringLiteral("Checking the passwords ..."),
                               [&](const TqmProgress& progress) {
                                 int done = 0;
                                 findings = CheckPasswordHealth(tree_, SafeCodePage(), [&] {
                                   bool cancel = false;
                                   if (progress) progress(static_cast<double>(++done) / total, cancel);
                                   stopped = stopped || cancel;
                                   return cancel;
                                 });
                               });
    if (cancelled || stopped) return false;
  } catch (const std::exception& e) {
    ShowError(parentWidget(), FromMessage(e.what()));
    return false;
  }
  findings_ = std::move(findings);
  Fill();
  return true;
}

bool TfrmPasswordHealth::Run() {
  if (!Compute()) return false;
  return exec() == QDialog::Accepted && !chosen_.IsNone();
}

void TfrmPasswordHealth::Fill() {
  list_->clear();
  int reused = 0;
  int weak = 0;
  int empty = 0;
  QTreeWidgetItem* group = nullptr;
  int groupNumber = -1;
  auto entryRow = [&](QTreeWidgetItem* parent, const TqmHealthFinding& f, const QString& problem) {
    auto* row = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(list_);
    const TqmRepositoryEntry& e = *f.Item.entry;
    row->setText(0, FromSafeText(e.DisplayPath()));
    row->setText(1, f.Field >= 0 && f.Field < e.Fields().Count() ? FromSafeText(e.FieldAt(f.Field).Name())
                                                                 : QString());
    row->setText(2, problem);
    // The row's entry, by its place in the findings.
    row->setData(0, kEntryRole, static_cast<int>(&f - findings_.data()));
  };
  for (const TqmHealthFinding& f : findings_) {
    switch (f.Problem) {
      case TqmHealthProblem::Reused:
        if (f.Group != groupNumber) {
          groupNumber = f.Group;
          ++reused;
          group = new QTreeWidgetItem(list_);
          group->setText(0, QStringLiteral("Same password, group %1").arg(reused));
          group->setFirstColumnSpanned(true);
          group->setExpanded(true);
        }
        entryRow(group, f, QStringLiteral("Reused"));
        break;
      case TqmHealthProblem::Weak:
        ++weak;
        entryRow(nullptr, f,
                 QStringLiteral("Weak (about %1 bits)").arg(static_cast<int>(std::floor(f.Bits))));
        break;
      case TqmHealthProblem::EmptyRequired:
        ++empty;
        entryRow(nullptr, f, QStringLiteral("Required, but empty"));
        break;
    }
  }
  for (int i = 0; i < list_->topLevelItemCount(); ++i) list_->topLevelItem(i)->setExpanded(true);
  // Without groups the list is flat: no room for the branch marks.
  list_->setRootIsDecorated(reused > 0);
  if (findings_.empty()) {
    summary_->setText(QStringLiteral("No reused, weak or missing passwords were found."));
  } else {
    summary_->setText(QStringLiteral("Reused passwords: %1 group(s). Weak passwords: %2. Empty required "
                                     "passwords: %3. Open an entry to change its password.")
                          .arg(reused)
                          .arg(weak)
                          .arg(empty));
  }
  if (list_->topLevelItemCount() > 0) list_->setCurrentItem(list_->topLevelItem(0));
  list_->setFocus();
}

void TfrmPasswordHealth::Open(QTreeWidgetItem* row) {
  if (!row) return;
  const QVariant which = row->data(0, kEntryRole);
  if (!which.isValid()) {
    row->setExpanded(!row->isExpanded());  // a group's heading opens and closes
    return;
  }
  chosen_ = findings_[static_cast<size_t>(which.toInt())].Item;
  accept();
}

}  // namespace quillmar
