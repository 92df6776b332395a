#pragma once
// TfrmPreferences: the preferences dialog ("Options"). The Safe's settings are loaded into its
// check boxes and written back, and saved into the Safe, only on OK. "Startup when the desktop
// starts" acts at once, whatever the dialog's outcome: it writes or removes the autostart entry.
// So does "Add Brelkan Quillmar to the file manager's menu": it runs `quillmar-cml install` or
// `uninstall` (the file-manager actions that hand files to the program) and shows what it did.
// The locking options of this computer (idle minutes, lock with the screen) are kept in
// Quillmar.ini, not in the Safe.
#include <QDialog>
#include <QString>
#include <QStringList>
#include <string>
#include <vector>

class QCheckBox;
class QSpinBox;

namespace quillmar {

class TqmGlobal;

// The command the autostart entry runs: the program's absolute path, "--home DIR" when the home
// folder is not the default one, and "/sm".
std::vector<std::string> AutostartCommand(const TqmGlobal& g);
// Writes (on) or removes (off) the autostart entry; a message says what failed. True on success.
bool ApplyAutostart(QWidget* parent, const TqmGlobal& g, bool on);

// The file-manager helper quillmar-cml: beside the program, else the one that installed the actions,
// else on PATH; "" when there is none.
QString FileManagerHelper();
// The arguments that install (on) or uninstall the file-manager actions for the program and home
// folder of g: "--home DIR" when it is not the default home folder, "--program PATH", "install".
QStringList FileManagerHelperArguments(const TqmGlobal& g, bool on);
// Installs (on) or uninstalls the file-manager actions through quillmar-cml; what it did, or what
// failed, is shown. True on success.
bool ApplyFileManagerMenu(QWidget* parent, const TqmGlobal& g, bool on);

class TfrmPreferences : public QDialog {
  Q_OBJECT
public:
  TfrmPreferences(TqmGlobal& g, QWidget* parent);

  void accept() override;

private:
  void AutoStartClicked(bool checked);
  void FileManagerMenuClicked(bool checked);

  TqmGlobal& g_;
  QCheckBox* confirmDeletion_;
  QCheckBox* autoStart_;
  QCheckBox* lockOnMinimize_;
  QCheckBox* fileManagerMenu_;
  QCheckBox* removeFile_;
  QSpinBox* idleMinutes_;
  QCheckBox* lockOnScreenLock_;
};

}  // namespace quillmar
