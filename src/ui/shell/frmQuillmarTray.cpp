// TfrmQuillmar: the tray icon, sending the window to the tray and back, and the application menu.
#include <QAction>
#include <QMenu>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QTimer>

#include "core/qmGlobal.h"
#include "core/qmLoginRules.h"
#include "shell/frmQuillmar.h"
#include "widgets/qmPictures.h"

namespace quillmar {

// --- Tray ------------------------------------------------------------------------------------------------

void TfrmQuillmar::ShowTrayIcon() {
  if (!trayIcon_) {
    trayIcon_ = new QSystemTrayIcon(ApplicationIcon(), this);
    trayIcon_->setObjectName(QStringLiteral("qmTrayIcon"));
    trayIcon_->setContextMenu(mnuApplication_);
    connect(trayIcon_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
      if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick)
        gate_.Post([this] {
          if (inTray_) RestoreFromTray();
        });
    });
  }
  UpdateTrayHint();
  trayIcon_->show();
}

void TfrmQuillmar::HideTrayIcon() {
  if (!trayIcon_) return;
  trayIcon_->hide();
  trayIcon_->deleteLater();
  trayIcon_ = nullptr;
}

void TfrmQuillmar::SendToTray() {
  tmrMinimize_->stop();
  if (options_.trayAvailable) {
    inTray_ = true;
    ShowTrayIcon();
    hide();
  } else {
    // Nothing hides the window without a tray: one the user minimised stays in the task bar (and
    // restoring it asks for the password if the Safe locks now); a visible one stays visible.
    inTray_ = isMinimized();
  }
  if (g_.SafeOpen() && g_.Settings().App.lockOnMinimize.Value()) Lock();
  if (!g_.SafeOpen() && !inTray_) btnUnlock_->setFocus();
}

void TfrmQuillmar::RestoreFromTray() {
  const bool wasInTray = inTray_;
  inTray_ = false;
  tmrMinimize_->stop();
  HideTrayIcon();
  if (isMinimized() || !isVisible()) showNormal();
  raise();
  activateWindow();
  if (!wasInTray && g_.SafeOpen()) return;
  // The window's show handler: a locked Safe asks for its password; a cancel goes back to the tray.
  gate_.Post([this] {
    if (!g_.SafeOpen() && !inTray_ && !ended_) ShowLogin(login::kModeOpen, g_.SafeName());
  });
}

void TfrmQuillmar::BringToFront() {
  if (inTray_) {
    RestoreFromTray();
    return;
  }
  if (isMinimized()) showNormal();
  show();
  raise();
  activateWindow();
}

void TfrmQuillmar::BuildApplicationMenu() {
  // While a long operation runs on its worker, nothing here may read the Safe.
  const bool open = g_.SafeOpen() && gate_.Depth() == 0;
  actAutoFill_->setVisible(open);
  actVisitWebSites_->setVisible(open);
  actTrayLock_->setVisible(open);
  actTraySeparator_->setVisible(!open);
  actLogin_->setVisible(!open);
  // The repository tab keeps the two submenus' items between openings (10,000 entries make
  // thousands of items) and changes only what changed; without it they are empty.
  TqmTabWindow* repository = open ? TabWindow(tabPasswordRepository) : nullptr;
  if (repository) {
    repository->BuildTrayMenus(mnuAutoFill_, mnuVisitWebSites_);
  } else {
    mnuAutoFill_->clear();
    mnuVisitWebSites_->clear();
  }
  mnuAutoFill_->setEnabled(!mnuAutoFill_->isEmpty());
  mnuVisitWebSites_->setEnabled(!mnuVisitWebSites_->isEmpty());
}

}  // namespace quillmar
