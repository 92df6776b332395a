// TfrmQuillmar: files handed over by another instance, the calls queued for the window, and files
// dropped on the File Locker.
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QTimer>
#include <QUrl>

#include "core/qmGlobal.h"
#include "shell/frmQuillmar.h"
#include "widgets/qmText.h"

namespace quillmar {

// --- Received files, queued calls ----------------------------------------------------------------------

void TfrmQuillmar::ReceiveFiles(const QByteArray& text) {
  if (inTray_) RestoreFromTray();
  received_.Push(text.toStdString());
  tmrLockRecivedFiles_->start();
}

void TfrmQuillmar::RestoreRequested() {
  BringToFront();
}

void TfrmQuillmar::ProcessReceived() {
  // With no Safe open the commands wait for the next login.
  if (!g_.SafeOpen()) return;
  std::string command;
  if (!received_.Take(command)) return;
  HandleReceivedFiles(command);
  if (!received_.Empty()) tmrLockRecivedFiles_->start();
}

void TfrmQuillmar::HandleReceivedFiles(const std::string& text) {
  if (!g_.SafeOpen()) {
    received_.PushFront(text);
    return;
  }
  const TqmReceivedPlan plan = PlanReceivedFiles(text, g_.SafeNames(), g_.SafeName());
  switch (plan.Kind) {
    case TqmReceivedPlan::TKind::Nothing:
      return;
    case TqmReceivedPlan::TKind::CryptoMail:
      SelectTab(tabCryptoMail);
      if (!plan.File.empty())
        if (TqmTabWindow* mail = TabWindow(tabCryptoMail)) mail->PresetFile(FromUtf8(plan.File));
      break;
    case TqmReceivedPlan::TKind::Lock:
      LockReceivedFiles(plan.Files);
      break;
    case TqmReceivedPlan::TKind::SwitchAndLock:
      BringToFront();
      ChangeSafe(plan.TargetSafe);
      if (g_.SafeOpen() && g_.SafeName() == plan.TargetSafe) LockReceivedFiles(plan.Files);
      break;
  }
  BringToFront();
}

void TfrmQuillmar::LockReceivedFiles(const std::vector<std::string>& files) {
  SelectTab(tabFileLocker);
  TqmTabWindow* locker = TabWindow(tabFileLocker);
  if (!locker) return;
  QStringList paths;
  for (const std::string& file : files) paths << FromUtf8(file);
  locker->LockDiskFiles(paths);
}

void TfrmQuillmar::PostFindNext(const QString& text, bool caseSensitive, bool allFields) {
  QMetaObject::invokeMethod(
      this,
      [this, text, caseSensitive, allFields] {
        gate_.Post([this, text, caseSensitive, allFields] {
          TqmTabWindow* repository = TabWindow(tabPasswordRepository);
          if (repository && repository->isVisible()) repository->FindNext(text, caseSensitive, allFields);
        });
      },
      Qt::QueuedConnection);
}

void TfrmQuillmar::PostRestoreSafe() {
  QMetaObject::invokeMethod(
      this, [this] { gate_.Post([this] { RestoreSafe(); }); }, Qt::QueuedConnection);
}

void TfrmQuillmar::PostCryptoMailFile(const QString& path) {
  QMetaObject::invokeMethod(
      this,
      [this, path] {
        gate_.Post([this, path] {
          if (!g_.SafeOpen()) return;
          SelectTab(tabCryptoMail);
          if (TqmTabWindow* mail = TabWindow(tabCryptoMail)) mail->PresetFile(path);
        });
      },
      Qt::QueuedConnection);
}

// --- Drops -------------------------------------------------------------------------------------------

bool TfrmQuillmar::DropAccepted(const QMimeData* mime) const {
  if (currentTab_ != tabFileLocker || !g_.SafeOpen() || !mime || !mime->hasUrls()) return false;
  for (const QUrl& url : mime->urls())
    if (url.isLocalFile()) return true;
  return false;
}

void TfrmQuillmar::dragEnterEvent(QDragEnterEvent* event) {
  // Drags that start in the program (copies dragged out of the File Locker) are not locked back.
  if (event->source() == nullptr && DropAccepted(event->mimeData()))
    event->acceptProposedAction();
  else
    event->ignore();
}

void TfrmQuillmar::dragMoveEvent(QDragMoveEvent* event) {
  // Drags that start in the program (copies dragged out of the File Locker) are not locked back.
  if (event->source() == nullptr && DropAccepted(event->mimeData()))
    event->acceptProposedAction();
  else
    event->ignore();
}

void TfrmQuillmar::dropEvent(QDropEvent* event) {
  if (event->source() != nullptr || !DropAccepted(event->mimeData())) {
    event->ignore();
    return;
  }
  event->acceptProposedAction();
  std::vector<std::string> files;
  for (const QUrl& url : event->mimeData()->urls())
    if (url.isLocalFile()) files.push_back(ToUtf8(url.toLocalFile()));
  TqmTabWindow* locker = TabWindow(tabFileLocker);
  if (!locker) return;
  QStringList paths;
  for (const std::string& file : files) paths << FromUtf8(file);
  locker->LockDiskFiles(paths);
}

}  // namespace quillmar
