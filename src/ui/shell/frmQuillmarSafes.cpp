// TfrmQuillmar: the Safes menu, the Safe's label and the tray hint, and the commands on Safes (lock,
// change, new, delete, change of password, backup and restore).
#include <QAction>
#include <QDate>
#include <QLabel>
#include <QMenu>
#include <QStackedLayout>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QToolButton>

#include "core/qmGlobal.h"
#include "core/qmLoginRules.h"
#include "shell/frmChangePassword.h"
#include "shell/frmQuillmar.h"
#include "shell/qmFileDialogs.h"
#include "shell/qmMessages.h"
#include "shell/qmProgressRunner.h"
#include "widgets/qmHotLabel.h"
#include "widgets/qmPictures.h"
#include "widgets/qmText.h"

namespace quillmar {

namespace {

constexpr char kNoneSelected[] = "<none selected>";
constexpr char kBackupFilter[] = "Brelkan Safe backup (*.qvtb)";

// Mnemonics: "&" in a Safe's name is shown, not taken as a shortcut.
QString MenuText(const std::string& utf8) {
  return FromUtf8(utf8).replace(QLatin1Char('&'), QStringLiteral("&&"));
}

}  // namespace

// --- Safes menu, label, hint ----------------------------------------------------------------------------

bool TfrmQuillmar::ChosenSafeLocked() const {
  if (g_.SafeOpen() || g_.SafeName().empty()) return false;
  // The name the login left may be one it refused, or that of a Safe it was about to make.
  const std::vector<std::string> names = g_.SafeNames();
  return std::find(names.begin(), names.end(), g_.SafeName()) != names.end();
}

void TfrmQuillmar::UpdateSafeLabel() {
  lblSafeCaption_->setText(ChosenSafeLocked() ? QStringLiteral("Locked:") : QStringLiteral("Safe:"));
  lblSafeName_->setText(FromUtf8(g_.SafeName()));
  lblSafeName_->updateGeometry();
}

void TfrmQuillmar::RebuildSafesMenu() {
  mnuSafes_->clear();
  const std::vector<std::string> names = g_.SafeNames();
  int listed = 0;
  for (const std::string& name : names) {
    if (name == g_.SafeName()) continue;
    QAction* action = mnuSafes_->addAction(MenuText(name));
    action->setObjectName(QStringLiteral("changeSafe"));
    action->setData(FromUtf8(name));
    connect(action, &QAction::triggered, this, [this, name] { ChangeSafe(name); });
    ++listed;
  }
  if (names.size() >= 2 && listed > 0) mnuSafes_->addSeparator();
  mnuSafes_->addAction(FindAction(QStringLiteral("changePassword")));
  mnuSafes_->addAction(FindAction(QStringLiteral("newSafe")));
  mnuSafes_->addAction(FindAction(QStringLiteral("deleteSafe")));
}

void TfrmQuillmar::ShowSafesMenu() {
  RebuildSafesMenu();
  mnuSafes_->popup(lblSafeName_->mapToGlobal(QPoint(0, lblSafeName_->height())));
}

QString TfrmQuillmar::TrayHint() const {
  if (ChosenSafeLocked())
    return QStringLiteral("%1 [Locked: %2]").arg(ProductTitle(), FromUtf8(g_.SafeName()));
  return QStringLiteral("%1 [Safe: %2]")
      .arg(ProductTitle(),
           g_.SafeName().empty() ? QString::fromLatin1(kNoneSelected) : FromUtf8(g_.SafeName()));
}

void TfrmQuillmar::UpdateTrayHint() {
  if (trayIcon_) trayIcon_->setToolTip(TrayHint());
}

void TfrmQuillmar::UpdateCommands() {
  const bool open = g_.SafeOpen();
  UpdateSafeLabel();
  UpdateTrayHint();
  for (const char* name : {"changePassword", "deleteSafe", "BackupSafe", "RestoreSafe", "lockSafe"})
    FindAction(QString::fromLatin1(name))->setEnabled(open);
  for (int tab = 0; tab < kTabCount; ++tab) {
    FindAction(QStringLiteral("selectTab%1").arg(tab + 1))->setEnabled(open);
    tabLabels_[static_cast<size_t>(tab)]->setEnabled(open);
    tabPictures_[static_cast<size_t>(tab)]->setEnabled(open);
  }
  if (!open) {
    UpdateLockedPanel();
    formStack_->setCurrentWidget(pnlLocked_);
    lblTabName_->clear();
    lblTabDescription_->clear();
    btnView_->setVisible(false);
    for (int tab = 0; tab < kTabCount; ++tab)
      tabPictures_[static_cast<size_t>(tab)]->setPixmap(TabPicture(tab, false));
    currentTab_ = -1;
  }
}

// --- Safe commands --------------------------------------------------------------------------------------

void TfrmQuillmar::Lock() {
  if (!g_.SafeOpen()) return;
  CloseTabWindows();
  // Nothing of the Safe's password stays in memory while it is locked: closing forgets the Safe's
  // key, and a key kept for a cancelled switch goes too.
  g_.CloseSafe();
  previousKey_ = TTextKey();
  idleTimer_->stop();
  UpdateCommands();
}

void TfrmQuillmar::LockSafe() {
  if (!g_.SafeOpen()) return;
  Lock();
  SendToTray();
}

bool TfrmQuillmar::LeaveSafe() {
  if (!g_.SafeOpen()) return true;
  // Opened files go back first; Cancel there stops before anything is closed.
  if (!g_.UpdateOpenedFiles()) return false;
  previousSafeName_ = g_.SafeName();
  previousKey_ = g_.SafeKey();
  g_.EmptyTempFolders();
  CloseTabWindows();
  g_.CloseSafe();
  UpdateCommands();
  return true;
}

void TfrmQuillmar::SwitchSafe(int mode, const std::string& name) {
  switching_ = true;
  ShowLogin(mode, name);
  switching_ = false;
  previousKey_ = TTextKey();
}

void TfrmQuillmar::ChangeSafe(const std::string& name) {
  if (!LeaveSafe()) return;
  SwitchSafe(login::kModeOpen, name);
}

void TfrmQuillmar::NewSafe() {
  if (!LeaveSafe()) return;
  SwitchSafe(login::kModeCreate, std::string());
}

void TfrmQuillmar::DeleteSafe() {
  if (!g_.SafeOpen()) return;
  if (!AskYesNo(this, QString::fromLatin1(login::kMsgDeleteSafe))) return;
  const std::string name = g_.SafeName();
  // Kept for a failed delete (closing the Safe forgets its own); freed when this returns.
  const TTextKey key = g_.SafeKey();
  CloseTabWindows();
  if (!g_.DeleteSafeFile(name)) {
    ShowError(this, QString::fromLatin1(login::kMsgCantDelete));
    // The Safe is still there: it opens again as it was.
    try {
      g_.OpenSafeByName(name, key);
      SelectTab(tabPasswordRepository);
    } catch (const std::exception& e) {
      ShowError(this, FromMessage(e.what()));
    }
    UpdateCommands();
    return;
  }
  UpdateCommands();
  ShowLogin(login::kModeOpen, std::string());
}

void TfrmQuillmar::ChangePassword() {
  if (!g_.SafeOpen()) return;
  TfrmChangePassword dialog(g_, this);
  if (dialog.exec() != QDialog::Accepted) return;
  TqmOutcomeTexts texts;
  texts.cancelled =
      QStringLiteral("The change of password was cancelled. The Safe keeps its old master password.");
  texts.failed = QStringLiteral("The master password was not changed.");
  texts.declined = QStringLiteral(
      "The master password was not changed: the Safe refused the change. Its old master password still "
      "opens it.");
  const TqmOutcome outcome = RunWithOutcome(
      this, &gate_, QStringLiteral("Changing the master password ..."), texts,
      [&](const TqmProgress& progress, std::string&) {
        return g_.ChangePassword(dialog.OldPassword(), dialog.NewPassword(), dialog.Kind(), progress);
      });
  if (outcome != TqmOutcome::Done) return;
  if (dialog.Kind())
    ShowInformation(this, QStringLiteral("The master password was changed. The Safe is now %1.")
                              .arg(QString::fromStdString(g_.SafeKeyDerivation().Describe())));
  else
    ShowInformation(this, QStringLiteral("The master password was changed."));
}

void TfrmQuillmar::BackupSafe() {
  if (!g_.SafeOpen()) return;
  TqmFileRequest request;
  request.kind = TqmFileRequest::TKind::Save;
  request.caption = QStringLiteral("Backup current Safe");
  request.filter = QString::fromLatin1(kBackupFilter);
  request.defaultSuffix = QStringLiteral("qvtb");
  request.folder = DocumentsFolder();
  request.fileName =
      QStringLiteral("%1 %2.qvtb").arg(FromUtf8(g_.SafeName()), QDate::currentDate().toString(Qt::ISODate));
  const QString target = ChooseFile(this, request);
  if (target.isEmpty()) return;
  TqmOutcomeTexts texts;
  texts.done =
      QStringLiteral("The Safe was backed up to %1.\nThe backup opens with the current master password.")
          .arg(target);
  texts.cancelled = QStringLiteral("The backup was cancelled. Nothing was written.");
  texts.failed = QStringLiteral("The Safe was not backed up.");
  // The settings go into the Safe first (on this thread, as the windows show them), so that the
  // backup holds them.
  try {
    g_.SaveSettings();
  } catch (const std::exception& e) {
    ShowError(this, texts.failed + QStringLiteral("\n\n") + FromMessage(e.what()));
    return;
  }
  // A No to overwriting the chosen file is declined in silence.
  RunWithOutcome(
      this, &gate_, QStringLiteral("Backing up the Safe ..."), texts,
      [&](const TqmProgress& progress, std::string&) { return g_.Backup(ToUtf8(target), progress); });
}

void TfrmQuillmar::RestoreSafe() {
  if (!g_.SafeOpen()) return;
  if (!AskYesNo(this, QString::fromLatin1(login::kMsgRestoreWarning))) return;
  TqmFileRequest request;
  request.kind = TqmFileRequest::TKind::Open;
  request.caption = QStringLiteral("Restore to current Safe");
  request.filter = QString::fromLatin1(kBackupFilter);
  request.defaultSuffix = QStringLiteral("qvtb");
  request.folder = DocumentsFolder();
  const QString backup = ChooseFile(this, request);
  if (backup.isEmpty()) return;
  // The Safe is left as for a switch before it is replaced (Cancel stops); its key is kept here for a
  // failed restore, and freed when this returns.
  if (!LeaveSafe()) return;
  const std::string name = previousSafeName_;
  const TTextKey key = previousKey_;
  previousKey_ = TTextKey();
  try {
    g_.Restore(ToUtf8(backup));
    // Before the login, which would otherwise just appear: what happened, and which password opens
    // the Safe now.
    ShowInformation(this, QStringLiteral("The Safe %1 was restored from the backup\n%2\n\nIt opens with the "
                                         "master password it had when the backup was made.")
                              .arg(FromUtf8(name), backup));
  } catch (const std::exception& e) {
    ShowError(this, FromMessage(e.what()));
    // Nothing was changed: the Safe opens again as it was.
    try {
      g_.OpenSafeByName(name, key);
      UpdateCommands();
      SelectTab(tabOptions);
      RestartIdleTimer();
      return;
    } catch (const std::exception&) {
      // Then the login below says what is wrong.
    }
  }
  g_.SetSafeName(name);
  ShowLogin(login::kModeOpen, name);
}

}  // namespace quillmar
