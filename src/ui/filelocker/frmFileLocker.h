#pragma once
// TfrmFileLocker: the File Locker tab. The list of one folder of the Safe's File Locker
// (TssFileLockerListView) with its commands in the list's context menu and as links at the right:
// lock files or a folder into the Safe, open a locked file through a temporary copy, take files and
// folders back out to a disk folder, delete, rename, create folders, and send a file to Zavozo Rero.
//
// The window gathers input, asks the core (TqmGlobal, TqmLockerCommands) and shows the result: lock
// and unlock runs and the copies for Open and Send run on a worker thread in the progress window with
// Cancel (TqmProgressRunner), the list holds what was loaded last and is loaded again after each
// command. Dropped and received files come through LockDiskFiles.
#include <QString>
#include <string>
#include <vector>

#include "shell/qmTabWindow.h"

class QAction;
class QMenu;
class QVBoxLayout;

namespace quillmar {

class TssFileLockerListView;
class TqmHotLabel;
struct TqmLockOutcome;
struct TqmLockerStatus;
struct TqmLockerItem;

class TfrmFileLocker : public TqmTabWindow {
  Q_OBJECT
public:
  TfrmFileLocker(TqmShell& shell, QWidget* parent);

  QString Caption() const override { return QStringLiteral("File Locker"); }
  QString Hint() const override { return QStringLiteral("Securely lock away any file"); }
  QString HelpPage() const override { return QStringLiteral("IDH_HELP_FILELOCKER"); }
  void TabShown() override;
  bool LockDiskFile(const QString& path) override;
  void LockDiskFiles(const QStringList& paths) override;
  void SetViewStyle(int style) override;
  // Another program changed the folder shown, or one above it: the folder is listed anew (the nearest
  // one above it when it is gone) and the items selected before stay selected where they are still
  // there.
  void SafeChangedElsewhere(const TqmSafeChanges& changes) override;

  // Shows folder (a container folder ending in "\") loaded anew; the command state is that of no
  // selection.
  void Refresh(const std::string& folder);
  void Refresh() { Refresh(currentFolder_); }
  const std::string& CurrentFolder() const { return currentFolder_; }
  int ViewStyle() const;
  TssFileLockerListView* List() const { return list_; }
  QMenu* ContextMenu() const { return menu_; }

  // The commands (also the actions' slots).
  void LockFileCommand();
  void LockFolderCommand();
  void OpenFileCommand();
  void UnlockFileCommand();
  void DeleteCommand();
  void SendFileCommand();
  void RenameCommand();
  void CreateFolderCommand();
  // The up item, a folder or a file of the list was activated (double click, Enter).
  void ActivateRow(int row);
  void GoUp();
  // Drags the selected files out (to the file manager) as temporary copies made as Open does.
  void DragOut();

private:
  QAction* AddAction(const char* name, const QString& caption, const QString& hint, const QKeySequence& key,
                     void (TfrmFileLocker::*slot)());
  void AddLink(QAction* action, const QString& note);
  void UpdateCommands();
  std::vector<const TqmLockerItem*> SelectedItems() const;
  const TqmLockerItem* SelectedFile() const;
  // Locks the disk paths into the current folder as one run, with one refresh and one message for
  // what was not locked (fromDialog: a single file that failed gets the message of old, with the
  // reason). The number of files locked.
  int LockPaths(const QStringList& paths, bool fromDialog);
  // The temporary copy of the selected file, made as Open does; "" when there is none.
  QString TakeOutSelectedCopy();
  void RenameTo(const QByteArray& oldName, const QString& newName);
  // The progress window's text for a run.
  QString StatusText(const QString& verb, const TqmLockerStatus& status, double seconds) const;

  TqmShell& shell_;
  std::string currentFolder_;
  int sortKey_;
  TssFileLockerListView* list_;
  QMenu* menu_;
  QAction* lockFile_;
  QAction* lockFolder_;
  QAction* openFile_;
  QAction* unlockFile_;
  QAction* deleteItem_;
  QAction* sendFile_;
  QAction* renameItem_;
  QAction* createFolder_;
  QVBoxLayout* links_;
};

}  // namespace quillmar
