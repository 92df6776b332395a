#pragma once
// Opening a disk file as a double-click in the file manager would: with the program the desktop
// associates with its type (xdg-open, no shell in between). When the desktop has none for the type
// (`xdg-mime query default TYPE` answers nothing), the "Open with" chooser lists the desktop's
// applications, those for the type first, and starts the one the person picks (or a program file
// they browse for). The File Locker, the File and Picture fields and the attachments use it.
#include <QDialog>
#include <QString>
#include <vector>

#include "platform/DesktopApplications.h"

class QLabel;
class QListWidget;
class QPushButton;

namespace quillmar {

// Opens path (see the top). False when nothing was started: the chooser was cancelled, or the
// program could not be started (a message then said so, naming the file).
bool OpenWithDesktop(QWidget* parent, const QString& path);

// The desktop's default application for the file's type; "" when there is none or xdg-mime is
// missing. Waits at most a few seconds for xdg-mime.
QString DefaultApplicationFor(const QString& path);

// The chooser (modal). objectNames: lstApplications, btnBrowse, btnOK, btnCancel.
class TfrmOpenWith : public QDialog {
  Q_OBJECT
public:
  TfrmOpenWith(const QString& path, const QString& mimeType, QWidget* parent);

  // After exec() returned Accepted: the argument vector to start.
  std::vector<std::string> Command() const { return command_; }

private:
  void Browse();
  void Accept();

  QString path_;
  std::vector<TDesktopApplication> apps_;
  QListWidget* list_;
  QPushButton* ok_;
  std::vector<std::string> command_;
};

}  // namespace quillmar
