#include "shell/frmOptions.h"

#include <QAction>
#include <QGridLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QVBoxLayout>

#include "core/qmGlobal.h"
#include "core/qmLoginRules.h"
#include "core/qmSafeCheck.h"
#include "shell/frmPreferences.h"
#include "shell/qmMessages.h"
#include "shell/qmProgressRunner.h"
#include "widgets/qmHotLabel.h"
#include "widgets/qmText.h"

namespace quillmar {

namespace {

void AddSection(QString& text, const QString& caption, const std::vector<std::string>& lines) {
  if (lines.empty()) return;
  if (!text.isEmpty()) text += QLatin1Char('\n');
  text += caption.arg(lines.size()) + QLatin1Char('\n');
  for (const std::string& line : lines) text += QStringLiteral("- ") + FromMessage(line) + QLatin1Char('\n');
}

}  // namespace

QString RepairReport(const TqmRepairResult& result) {
  QString text;
  if (result.Whole())
    text = QStringLiteral(
        "No problems found: the container's structure is sound and every record and file in the Safe was "
        "read back in full.\n");
  else
    text = QStringLiteral("The Safe was rebuilt, but it is not whole.\n");
  AddSection(text, QStringLiteral("Lost (%1):"), result.lost);
  AddSection(text, QStringLiteral("Not mended (%1):"), result.remaining);
  AddSection(text, QStringLiteral("Set right (%1):"), result.mended);
  return text;
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
  TqmRepairResult result;
  TqmOutcomeTexts texts;
  texts.cancelled = QStringLiteral("The repair was cancelled. The Safe was left as it was.");
  texts.failed = QStringLiteral("The Safe could not be repaired.");
  // The rebuild and the deep check after it both run while the window keeps its events.
  const TqmOutcome outcome = RunWithOutcome(
      shell_.Window(), &shell_.Gate(), QStringLiteral("Repairing the Safe ..."), texts,
      [&](const TqmProgress& progress, std::string& why) {
        // The rebuild's log is kept for a cancelled rebuild too: a cancel handed to it tells the
        // two apart.
        bool cancelAsked = false;
        result = RepairSafe(g, [&](double fraction, bool& cancel) {
          progress(fraction, cancel);
          if (cancel) cancelAsked = true;
        });
        if (!result.rebuilt && !cancelAsked) {
          const bool logSays = result.failure.find_first_not_of(" \t\r\n") != std::string::npos;
          why = std::string("It was left as it was.\n\n") +
                (logSays ? result.failure : std::string("The rebuild of the Safe file failed."));
        }
        return result.rebuilt;
      });
  if (outcome != TqmOutcome::Done) return;
  checkResult_->setPlainText(RepairReport(result));
  checkCaption_->show();
  checkResult_->show();
  if (result.Whole()) {
    ShowInformation(shell_.Window(), QString::fromLatin1(login::kMsgRepaired));
    return;
  }
  // Never "successfully repaired": say what the Safe lost and what is still wrong.
  QString text = QStringLiteral("The Safe was rebuilt, but it is not whole:");
  if (!result.lost.empty())
    text += QStringLiteral("\n- %1 part(s) could not be read and were dropped or set to zero")
                .arg(result.lost.size());
  if (!result.remaining.empty())
    text += QStringLiteral("\n- %1 problem(s) the repair could not mend").arg(result.remaining.size());
  text += QStringLiteral(
      "\n\nEach is listed on the Options tab. A backup made before the damage, restored with \"Restore to "
      "current Safe\", may still hold what was lost.");
  ShowWarning(shell_.Window(), text);
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
