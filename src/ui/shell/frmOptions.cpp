#include "shell/frmOptions.h"

#include <QAction>
#include <QGridLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QVBoxLayout>

#include "container/SingleFileSystem.h"
#include "core/qmGlobal.h"
#include "core/qmLoginRules.h"
#include "shell/frmPreferences.h"
#include "shell/qmMessages.h"
#include "shell/qmProgressRunner.h"
#include "widgets/qmHotLabel.h"
#include "widgets/qmText.h"

namespace quillmar {

std::vector<std::string> DeepCheckSafe(TqmGlobal& g) {
  std::vector<std::string> problems;
  try {
    if (TSingleFileSystem* sfs = g.Wrapper().Container())
      for (std::string& p : sfs->CheckIntegrity()) problems.push_back("container: " + p);
  } catch (const std::exception& e) {
    problems.push_back(std::string("container: ") + e.what());
  }
  try {
    for (std::string& p : g.Wrapper().ReadAllFiles()) problems.push_back("file " + p);
  } catch (const std::exception& e) {
    problems.push_back(std::string("files: ") + e.what());
  }
  return problems;
}

TfrmOptions::TfrmOptions(TqmShell& shell, QWidget* parent) : TqmTabWindow(parent), shell_(shell) {
  setObjectName(QStringLiteral("TfrmOptions"));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  grid_ = new QGridLayout;
  grid_->setHorizontalSpacing(24);
  grid_->setVerticalSpacing(14);
  grid_->setColumnStretch(1, 1);
  layout->addLayout(grid_);

  AddCommand(QStringLiteral("preferences"), QStringLiteral("Preferences"),
             QStringLiteral("Modify your preferences"),
             QStringLiteral("Confirmations, starting with the desktop, locking, and the File Locker."),
             &TfrmOptions::Preferences);
  AddCommand(QStringLiteral("repair"), QStringLiteral("Repair"), QStringLiteral("Repair safe"),
             QStringLiteral("Rebuilds the Safe file, drops what was deleted, and checks everything in it."),
             &TfrmOptions::Repair);
  AddCommand(QStringLiteral("BackupSafe"), QStringLiteral("Backup current Safe"),
             QStringLiteral("Backup current Safe"),
             QStringLiteral("Writes a copy of the Safe (.qvtb) that opens with the current master password."),
             &TfrmOptions::Backup);
  AddCommand(QStringLiteral("RestoreSafe"), QStringLiteral("Restore to current Safe"),
             QStringLiteral("Restore to current Safe"),
             QStringLiteral("Replaces this Safe with a backup; it then opens with the backup's password."),
             &TfrmOptions::Restore);

  checkCaption_ = new QLabel(QStringLiteral("Check after the last repair:"), this);
  checkCaption_->setObjectName(QStringLiteral("lblCheckResult"));
  checkResult_ = new QPlainTextEdit(this);
  checkResult_->setObjectName(QStringLiteral("txtCheckResult"));
  checkResult_->setReadOnly(true);
  checkResult_->setMaximumHeight(140);
  checkCaption_->setBuddy(checkResult_);
  checkCaption_->hide();
  checkResult_->hide();
  layout->addSpacing(16);
  layout->addWidget(checkCaption_);
  layout->addWidget(checkResult_);
  layout->addStretch(1);
}

QAction* TfrmOptions::AddCommand(const QString& name, const QString& caption, const QString& hint,
                                 const QString& text, void (TfrmOptions::*slot)()) {
  auto* action = new QAction(caption, this);
  action->setObjectName(name);
  action->setToolTip(hint);
  connect(action, &QAction::triggered, this, slot);
  addAction(action);
  auto* link = new TqmHotLabel(caption, this);
  link->setObjectName(QStringLiteral("lnk") + name.at(0).toUpper() + name.mid(1));
  link->setToolTip(hint);
  link->SetAction(action);
  auto* description = new QLabel(text, this);
  description->setWordWrap(true);
  description->setStyleSheet(QStringLiteral("color: #4a5563;"));
  grid_->addWidget(link, row_, 0, Qt::AlignLeft | Qt::AlignTop);
  grid_->addWidget(description, row_, 1, Qt::AlignTop);
  ++row_;
  return action;
}

void TfrmOptions::Preferences() {
  TfrmPreferences dialog(shell_.Global(), shell_.Window());
  if (dialog.exec() == QDialog::Accepted) shell_.OptionsChanged();
}

void TfrmOptions::Repair() {
  TqmGlobal& g = shell_.Global();
  if (!g.SafeOpen()) return;
  bool repaired = false;
  std::string log;
  bool cancelled = false;
  try {
    cancelled =
        TqmProgressRunner::Run(shell_.Window(), &shell_.Gate(), QStringLiteral("Repairing the Safe ..."),
                               [&](const TqmProgress& progress) { repaired = g.Repair(progress, &log); });
  } catch (const std::exception& e) {
    ShowError(shell_.Window(), QStringLiteral("The Safe could not be repaired.\n\n") + FromMessage(e.what()));
    return;
  }
  if (!repaired) {
    if (cancelled) {
      ShowInformation(shell_.Window(),
                      QStringLiteral("The repair was cancelled. The Safe was left as it was."));
      return;
    }
    QString why = FromMessage(log).trimmed();
    if (why.isEmpty()) why = QStringLiteral("The rebuild of the Safe file failed.");
    ShowError(shell_.Window(),
              QStringLiteral("The Safe could not be repaired; it was left as it was.\n\n") + why);
    return;
  }
  const std::vector<std::string> problems = DeepCheckSafe(g);
  QString text;
  if (problems.empty()) {
    text = QStringLiteral(
        "No problems found: the container's structure is sound and every file in the Safe "
        "was read back in full.");
  } else {
    text = QStringLiteral("%1 problem(s) found:\n").arg(problems.size());
    for (const std::string& p : problems) text += QStringLiteral("- ") + FromMessage(p) + QLatin1Char('\n');
  }
  checkResult_->setPlainText(text);
  checkCaption_->show();
  checkResult_->show();
  if (problems.empty())
    ShowInformation(shell_.Window(), QString::fromLatin1(login::kMsgRepaired));
  else
    ShowWarning(shell_.Window(),
                QString::fromLatin1(login::kMsgRepaired) +
                    QStringLiteral("\n\nThe check that followed found %1 problem(s); they are "
                                   "listed on the Options tab.")
                        .arg(problems.size()));
}

void TfrmOptions::Backup() {
  shell_.BackupSafe();
}

void TfrmOptions::Restore() {
  // The restore frees this window: it runs after this call has returned.
  shell_.PostRestoreSafe();
}

QString TfrmOptions::CheckResult() const {
  return checkResult_->isVisible() || !checkResult_->toPlainText().isEmpty() ? checkResult_->toPlainText()
                                                                             : QString();
}

}  // namespace quillmar
