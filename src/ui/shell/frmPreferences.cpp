#include "shell/frmPreferences.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QSpinBox>
#include <QStandardPaths>
#include <QVBoxLayout>
#include <filesystem>

#include "base/Exception.h"
#include "core/qmFileManagerRefresh.h"
#include "core/qmGlobal.h"
#include "core/qmShellOptions.h"
#include "platform/AutostartEntry.h"
#include "platform/HomeFolder.h"
#include "shell/qmMessages.h"
#include "shell/qmProgressRunner.h"
#include "widgets/qmText.h"

namespace quillmar {

namespace {

std::string Canonical(const std::string& path) {
  std::error_code ec;
  std::string s = std::filesystem::weakly_canonical(path, ec).string();
  if (ec) s = path;
  while (s.size() > 1 && s.back() == '/') s.pop_back();
  return s;
}

}  // namespace

std::vector<std::string> AutostartCommand(const TqmGlobal& g) {
  std::vector<std::string> command{ToUtf8(QCoreApplication::applicationFilePath())};
  std::string defaultHome;
  try {
    defaultHome = ResolveHomeFolder("");
  } catch (const EQuillmarError&) {
  }
  if (defaultHome.empty() || Canonical(defaultHome) != Canonical(g.HomeFolder())) {
    command.push_back("--home");
    command.push_back(Canonical(g.HomeFolder()));
  }
  command.push_back("/sm");
  return command;
}

bool ApplyAutostart(QWidget* parent, const TqmGlobal& g, bool on) {
  try {
    if (on) {
      WriteAutostartEntry(AutostartCommand(g));
    } else if (!RemoveAutostartEntry()) {
      ShowError(
          parent,
          QStringLiteral("The autostart entry %1 could not be removed.").arg(FromUtf8(AutostartEntryPath())));
      return false;
    }
    return true;
  } catch (const std::exception& e) {
    ShowError(parent, FromMessage(e.what()));
    return false;
  }
}

QString FileManagerHelper() {
  const QString name = QStringLiteral("quillmar-cml");
  const QString beside = QCoreApplication::applicationDirPath() + QLatin1Char('/') + name;
  if (QFileInfo(beside).isExecutable()) return beside;
  const QString installed = FromUtf8(InstalledFileManagerHelper());
  if (!installed.isEmpty() && QFileInfo(installed).isExecutable()) return installed;
  return QStandardPaths::findExecutable(name);
}

QStringList FileManagerHelperArguments(const TqmGlobal& g, bool on) {
  if (!on) return {QStringLiteral("uninstall")};
  QStringList arguments;
  // The command the autostart entry runs knows whether the home folder needs naming.
  const std::vector<std::string> command = AutostartCommand(g);
  for (size_t i = 0; i + 1 < command.size(); ++i)
    if (command[i] == "--home") arguments << QStringLiteral("--home") << FromUtf8(command[i + 1]);
  arguments << QStringLiteral("--program") << QCoreApplication::applicationFilePath()
            << QStringLiteral("install");
  return arguments;
}

bool ApplyFileManagerMenu(QWidget* parent, const TqmGlobal& g, bool on) {
  const QString helper = FileManagerHelper();
  if (helper.isEmpty()) {
    ShowError(parent,
              QStringLiteral("The file manager's menu cannot be changed: quillmar-cml was found neither "
                             "beside the program (%1) nor on the PATH. Install it with the program.")
                  .arg(QCoreApplication::applicationDirPath()));
    return false;
  }
  const QStringList arguments = FileManagerHelperArguments(g, on);
  QString output, errors, failure;
  int exitCode = -1;
  // It writes a few small files and may run update-desktop-database: off the window thread.
  TqmProgressRunner::RunBusy(nullptr, [&] {
    QProcess process;
    process.start(helper, arguments);
    if (!process.waitForStarted(10000)) {
      failure = process.errorString();
      return;
    }
    if (!process.waitForFinished(60000)) {
      process.kill();
      process.waitForFinished(5000);
      failure = QStringLiteral("It did not finish within a minute.");
      return;
    }
    output = QString::fromUtf8(process.readAllStandardOutput()).trimmed();
    errors = QString::fromUtf8(process.readAllStandardError()).trimmed();
    exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    if (exitCode != 0 && errors.isEmpty())
      failure = QStringLiteral("It ended with the code %1.").arg(exitCode);
  });
  const QString what =
      on ? QStringLiteral("Brelkan Quillmar could not be added to the file manager's menu.")
         : QStringLiteral("Brelkan Quillmar could not be removed from the file manager's menu.");
  if (exitCode != 0) {
    ShowError(parent, what + QStringLiteral("\n\n") + (failure.isEmpty() ? errors : failure) +
                          QStringLiteral("\n\n(%1 %2)").arg(helper, arguments.join(QLatin1Char(' '))));
    return false;
  }
  QString text = on ? QStringLiteral("Brelkan Quillmar was added to the file manager's menu.")
                    : QStringLiteral("Brelkan Quillmar was removed from the file manager's menu.");
  if (!output.isEmpty()) text += QStringLiteral("\n\n") + output;
  ShowInformation(parent, text);
  return true;
}

TfrmPreferences::TfrmPreferences(TqmGlobal& g, QWidget* parent) : QDialog(parent), g_(g) {
  setObjectName(QStringLiteral("TfrmPreferences"));
  setWindowTitle(QStringLiteral("Options"));
  auto* layout = new QVBoxLayout(this);

  auto* system = new QGroupBox(QStringLiteral("  System  "), this);
  system->setObjectName(QStringLiteral("grpSystem"));
  auto* systemLayout = new QVBoxLayout(system);
  confirmDeletion_ = new QCheckBox(QStringLiteral("Confirm deletion"), system);
  confirmDeletion_->setObjectName(QStringLiteral("chkConfirmDeletion"));
  autoStart_ = new QCheckBox(QStringLiteral("Startup when the desktop starts"), system);
  autoStart_->setObjectName(QStringLiteral("chkAutoStart"));
  lockOnMinimize_ =
      new QCheckBox(QStringLiteral("Lock on minimize and prompt for password when restore"), system);
  lockOnMinimize_->setObjectName(QStringLiteral("chkLockOnMinimize"));
  systemLayout->addWidget(confirmDeletion_);
  systemLayout->addWidget(autoStart_);
  systemLayout->addWidget(lockOnMinimize_);
  fileManagerMenu_ = new QCheckBox(QStringLiteral("Add Brelkan Quillmar to the file manager's menu"), system);
  fileManagerMenu_->setObjectName(QStringLiteral("chkFileManagerMenu"));
  fileManagerMenu_->setToolTip(
      QStringLiteral("Lock, encrypt or send files from the right-click menu of Nautilus, Nemo, Dolphin and "
                     "Thunar, and from \"Open with\""));
  systemLayout->addWidget(fileManagerMenu_);
  layout->addWidget(system);

  auto* locker = new QGroupBox(QStringLiteral("  File Locker  "), this);
  locker->setObjectName(QStringLiteral("grpFileLocker"));
  auto* lockerLayout = new QVBoxLayout(locker);
  removeFile_ = new QCheckBox(QStringLiteral("Remove file from hard disk when locking"), locker);
  removeFile_->setObjectName(QStringLiteral("chkRemoveFile"));
  lockerLayout->addWidget(removeFile_);
  layout->addWidget(locker);

  auto* locking = new QGroupBox(QStringLiteral("  Locking (this computer)  "), this);
  locking->setObjectName(QStringLiteral("grpLocking"));
  auto* lockingLayout = new QVBoxLayout(locking);
  auto* idleRow = new QHBoxLayout;
  auto* idleLabel = new QLabel(QStringLiteral("&Lock the Safe after"), locking);
  idleMinutes_ = new QSpinBox(locking);
  idleMinutes_->setObjectName(QStringLiteral("spnIdleLock"));
  idleMinutes_->setRange(0, TqmShellOptions::kMaxIdleLockMinutes);
  idleMinutes_->setSpecialValueText(QStringLiteral("never"));
  idleMinutes_->setSuffix(QStringLiteral(" min"));
  idleLabel->setBuddy(idleMinutes_);
  idleRow->addWidget(idleLabel);
  idleRow->addWidget(idleMinutes_);
  idleRow->addWidget(new QLabel(QStringLiteral("without keyboard or mouse input"), locking));
  idleRow->addStretch(1);
  lockingLayout->addLayout(idleRow);
  lockOnScreenLock_ = new QCheckBox(QStringLiteral("Lock the Safe when the screen locks"), locking);
  lockOnScreenLock_->setObjectName(QStringLiteral("chkLockOnScreenLock"));
  lockingLayout->addWidget(lockOnScreenLock_);
  layout->addWidget(locking);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("btnOk"));
  buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("btnCancel"));
  connect(buttons, &QDialogButtonBox::accepted, this, &TfrmPreferences::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &TfrmPreferences::reject);
  layout->addWidget(buttons);

  const TqmSettings& s = g_.Settings();
  confirmDeletion_->setChecked(s.App.confDel.Value());
  // A click writes or removes the entry at once, whatever the outcome of the dialog: the box shows
  // whether it is there.
  autoStart_->setChecked(AutostartEntryExists());
  lockOnMinimize_->setChecked(s.App.lockOnMinimize.Value());
  removeFile_->setChecked(s.FileLocker.removeFileFromDisk.Value());
  const TqmShellOptions options = TqmShellOptions::Load(g_.IniFile());
  idleMinutes_->setValue(options.idleLockMinutes);
  lockOnScreenLock_->setChecked(options.lockOnScreenLock);
  fileManagerMenu_->setChecked(FileManagerActionsInstalled(g_.HomeFolder()));
  // Only a click acts at once, not the loading above.
  connect(autoStart_, &QCheckBox::clicked, this, &TfrmPreferences::AutoStartClicked);
  connect(fileManagerMenu_, &QCheckBox::clicked, this, &TfrmPreferences::FileManagerMenuClicked);
}

void TfrmPreferences::FileManagerMenuClicked(bool checked) {
  const bool done = ApplyFileManagerMenu(this, g_, checked);
  // The box shows what is installed now, whatever the helper managed.
  QSignalBlocker block(fileManagerMenu_);
  fileManagerMenu_->setChecked(done ? checked : FileManagerActionsInstalled(g_.HomeFolder()));
}

void TfrmPreferences::AutoStartClicked(bool checked) {
  if (!ApplyAutostart(this, g_, checked)) {
    QSignalBlocker block(autoStart_);
    autoStart_->setChecked(!checked);
  }
}

void TfrmPreferences::accept() {
  TqmSettings& s = g_.Settings();
  const std::string before = s.GetText();
  s.App.confDel.SetValue(confirmDeletion_->isChecked());
  s.App.autoStart.SetValue(autoStart_->isChecked());
  s.App.lockOnMinimize.SetValue(lockOnMinimize_->isChecked());
  s.FileLocker.removeFileFromDisk.SetValue(removeFile_->isChecked());
  try {
    g_.SaveSettings();
    TqmShellOptions options;
    options.idleLockMinutes = idleMinutes_->value();
    options.lockOnScreenLock = lockOnScreenLock_->isChecked();
    options.Save(g_.IniFile());
  } catch (const std::exception& e) {
    s.ParseText(before);  // what the Safe holds
    ShowError(this, QStringLiteral("The preferences could not be saved.\n\n") + FromMessage(e.what()));
    return;
  }
  QDialog::accept();
}

}  // namespace quillmar
