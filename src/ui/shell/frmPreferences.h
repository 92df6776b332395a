#pragma once
// TfrmPreferences: the preferences dialog ("Options"). The Safe's settings are loaded into its
// check boxes and written back, and saved into the Safe, only on OK. "Startup when the desktop
// starts" acts at once, whatever the dialog's outcome: it writes or removes the autostart entry.
// The locking options of this computer (idle minutes, lock with the screen) are kept in
// Quillmar.ini, not in the Safe.
#include <QDialog>
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

class TfrmPreferences : public QDialog {
  Q_OBJECT
public:
  TfrmPreferences(TqmGlobal& g, QWidget* parent);

  void accept() override;

private:
  void AutoStartClicked(bool checked);

  TqmGlobal& g_;
  QCheckBox* confirmDeletion_;
  QCheckBox* autoStart_;
  QCheckBox* lockOnMinimize_;
  QCheckBox* removeFile_;
  QSpinBox* idleMinutes_;
  QCheckBox* lockOnScreenLock_;
};

}  // namespace quillmar
