#pragma once
// TfrmQuillmar: the main window, the frame of the program. It hosts the four tab windows (made by
// their factories on first selection), shows the open Safe's name with the Safes menu, runs the
// login and the Safe commands (change, new, delete, change of password, backup, restore), sends the
// window to the tray (locking the Safe when asked to), and takes files from drops, from a second
// copy of the program and from the command line.
//
// Re-entrancy: while a long operation or a modal dialog runs, whatever could close or switch the
// Safe (a lock, Exit, a posted restore, a received command, a reminder firing) waits in the busy
// gate and runs when it ends. Received commands are queued, never replaced or dropped.
//
// The window class the file-manager helper looks for is its objectName, "TfrmQuillmar".
#include <QMainWindow>
#include <QPointer>
#include <array>
#include <chrono>
#include <optional>
#include <set>
#include <string>

#include "core/qmGlobal.h"
#include "core/qmReceivedFiles.h"
#include "core/qmSafeTypes.h"
#include "core/qmShellOptions.h"
#include "shell/qmBusyGate.h"
#include "shell/qmTabWindow.h"

class QAction;
class QActionGroup;
class QLabel;
class QMenu;
class QMimeData;
class QPushButton;
class QStackedLayout;
class QSystemTrayIcon;
class QTimer;
class QToolButton;

namespace quillmar {

class TqmGlobal;
class TqmHotLabel;
class TqmSafeWatch;
class TfrmHelp;
class TqmScreenLockWatcher;

class TfrmQuillmar : public QMainWindow, public TqmShell, public TqmSafeListener {
  Q_OBJECT
public:
  struct TOptions {
    // Whether "to the tray" hides the window behind a tray icon. Without a tray the window is never
    // hidden: a lock leaves it showing the Safe locked with Unlock ... and Exit, and a window the
    // user minimised stays in the task bar. Default: whether the desktop has a tray.
    bool trayAvailable;
    int minimizeDelayMs = 70;        // tmrMinimize
    int receivedFilesDelayMs = 200;  // tmrLockRecivedFiles
    bool watchScreenLock = true;     // listen for the desktop's screen lock (once the option is on)
    TqmTabFactories factories = TqmTabFactories::Default();
    TOptions();
  };

  enum class TLoginOutcome { Opened, Cancelled, Ended };

  TfrmQuillmar(TqmGlobal& g, TOptions options = TOptions(), QWidget* parent = nullptr);
  ~TfrmQuillmar() override;

  // Program start: the window is shown and the login runs; with "/sm" (and no received files on
  // the command line) the program starts in the tray instead.
  void Start();

  // --- TqmShell --------------------------------------------------------------------------------------
  TqmGlobal& Global() override { return g_; }
  TqmBusyGate& Gate() override { return gate_; }
  QWidget* Window() override { return this; }
  void PostFindNext(const QString& text, bool caseSensitive, bool allFields) override;
  void PostRestoreSafe() override;
  void PostCryptoMailFile(const QString& path) override;
  void BackupSafe() override;
  void ShowHelp(const QString& page) override;
  void OptionsChanged() override;
  void EntriesChanged() override;

  // --- The login and the Safe commands -------------------------------------------------------------
  // The open flow: the login window, then the Safe is opened. Nothing happens while a Safe is
  // open. forExit: the login that lets opened copies be written back before the program ends (a
  // cancel only returns).
  TLoginOutcome ShowLogin(int mode, const std::string& safeName, bool forExit = false);
  // The one Safe switch, for a change of Safe, a new Safe and a restore. LeaveSafe closes the open
  // Safe to replace it: opened copies go back into it first (Cancel there: false, nothing closed),
  // then the temporary folders are emptied, the tab windows saved and freed, and the Safe closed; its
  // name and key are kept as the previous Safe. SwitchSafe runs the login of the switch, whose
  // cancel reopens the previous Safe, and then forgets that Safe's key.
  bool LeaveSafe();
  void SwitchSafe(int mode, const std::string& name);
  void ChangeSafe(const std::string& name);
  void NewSafe();
  void DeleteSafe();
  void ChangePassword();
  void RestoreSafe();
  // Closes the Safe now and sends the window to the tray; restoring asks for the password. Without
  // a tray the window stays and shows the Safe locked, with Unlock ... and Exit.
  void LockSafe();

  // --- Tabs --------------------------------------------------------------------------------------------
  void SelectTab(int tab);
  // Saves and frees every tab window, then saves the settings.
  void CloseTabWindows();
  int CurrentTab() const { return currentTab_; }
  TqmTabWindow* TabWindow(int tab) const { return tabs_[static_cast<size_t>(tab)].data(); }

  // --- Other programs ----------------------------------------------------------------------------------
  // While a Safe is open its file is watched (TqmSafeWatch); a change posts one look through the busy
  // gate: the core says what another program changed (TqmGlobal::RefreshFromDisk, which also merges
  // the settings and rebuilds the reminder schedule) and every tab window is told (SafeChanged). A
  // look that fails (another program holding the Safe for long) is tried again a few times, then the
  // reason is shown once.
  void RefreshFromDisk();
  // TqmSafeListener: tells the tab windows.
  void SafeChanged(const TqmSafeChanges& changes) override;
  TqmSafeWatch* SafeWatch() const { return safeWatch_; }

  // --- Tray ----------------------------------------------------------------------------------------------
  void SendToTray();
  void RestoreFromTray();
  void BringToFront();
  bool InTray() const { return inTray_; }
  QSystemTrayIcon* TrayIcon() const { return trayIcon_; }
  QString TrayHint() const;
  // The tray icon's hint: "Brelkan Quillmar II [Safe: Demo]" while the Safe is open, "[Locked: Demo]"
  // while it is not, "[Safe: <none selected>]" when no Safe is chosen.
  // The application menu (the tray icon's), as it is built each time it opens.
  QMenu* ApplicationMenu() const { return mnuApplication_; }
  void BuildApplicationMenu();

  // --- Received files -----------------------------------------------------------------------------------
  // A text from a second copy or the file-manager helper (the instance channel).
  void ReceiveFiles(const QByteArray& text);
  // "qvt-restore" from a second copy.
  void RestoreRequested();
  // Carries out one received command now (a Safe is open).
  void HandleReceivedFiles(const std::string& text);
  const TqmReceivedFilesQueue& ReceivedQueue() const { return received_; }

  // --- For tests and screenshots ---------------------------------------------------------------------
  QMenu* SafesMenu() const { return mnuSafes_; }
  QMenu* ViewMenu() const { return mnuView_; }
  QAction* FindAction(const QString& name) const;
  QTimer* IdleTimer() const { return idleTimer_; }
  TqmScreenLockWatcher* ScreenLockWatcher() const { return screenLock_; }
  TfrmHelp* HelpWindow() const;
  bool Ended() const { return ended_; }

signals:
  // The program is to end (the window closed for good).
  void programEnded();

protected:
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  void BuildWindow();
  void BuildLockedPanel();
  void UpdateLockedPanel();
  void BuildActions();
  QAction* AddAction(const QString& name, const QString& text, const QKeySequence& shortcut,
                     void (TfrmQuillmar::*slot)());
  // Saves and frees one tab window (it is made anew when its tab is selected).
  void FreeTabWindow(int tab);
  void RebuildSafesMenu();
  // A Safe is chosen (SafeName names one of the Safes) and it is not open.
  bool ChosenSafeLocked() const;
  void UpdateSafeLabel();
  void UpdateTrayHint();
  void UpdateCommands();
  void ShowTrayIcon();
  void HideTrayIcon();
  void Lock();
  void EndProgram();
  bool PrepareExit();
  void ProcessReceived();
  void LockReceivedFiles(const std::vector<std::string>& files);
  void ReportLeftoverCopies();
  void RestartIdleTimer();
  void ViewStyleChosen(int style);
  void ViewButtonClicked();
  void ShowSafesMenu();
  void ShowAbout();
  void HelpForTab();
  void ExitCommand();
  bool DropAccepted(const QMimeData* mime) const;

  TqmGlobal& g_;
  TOptions options_;
  TqmBusyGate gate_;
  TqmShellOptions shellOptions_;

  // Part of the state of the open flow.
  bool exitOnLoginCancel_ = true;
  bool switching_ = false;
  std::string previousSafeName_;
  // The key of the Safe that was open before a switch (a cancelled login reopens it); forgotten when
  // the switch ends and by every lock.
  TTextKey previousKey_;

  bool inTray_ = false;
  // A cancelled login sends the window to the tray when tmrMinimize fires.
  bool toTrayAfterLogin_ = false;
  bool closed_ = false;
  bool ended_ = false;
  bool closeQueued_ = false;
  int currentTab_ = -1;
  std::array<QPointer<TqmTabWindow>, kTabCount> tabs_;
  TqmReceivedFilesQueue received_;
  std::set<std::string> reportedLeftovers_;

  TqmSafeWatch* safeWatch_;
  bool refreshPosted_ = false;
  int refreshRetries_ = 0;
  QString refreshProblemShown_;
  void PostRefresh();
  void RestoreBusyTimeout();
  // The busy timeout while a look shortens it.
  std::optional<std::chrono::milliseconds> busyTimeout_;

  QTimer* tmrMinimize_;
  QTimer* tmrLockRecivedFiles_;
  QTimer* idleTimer_;
  QSystemTrayIcon* trayIcon_ = nullptr;
  TqmScreenLockWatcher* screenLock_ = nullptr;
  bool screenLockWatched_ = false;
  QPointer<TfrmHelp> help_;

  QLabel* lblSafeCaption_;
  TqmHotLabel* lblSafeName_;
  QToolButton* btnLockSafe_;
  std::array<QLabel*, kTabCount> tabPictures_{};
  std::array<TqmHotLabel*, kTabCount> tabLabels_{};
  QLabel* lblTabName_;
  QLabel* lblTabDescription_;
  QToolButton* btnView_;
  QWidget* pnlForm_;
  QStackedLayout* formStack_;
  QWidget* pnlLocked_;
  QLabel* lblLockedTitle_;
  QLabel* lblLocked_;
  QPushButton* btnUnlock_;
  QPushButton* btnExit_;

  QMenu* mnuSafes_;
  QMenu* mnuView_;
  QActionGroup* viewGroup_;
  QMenu* mnuApplication_;
  QMenu* mnuAutoFill_;
  QMenu* mnuVisitWebSites_;
  QAction* actAutoFill_;
  QAction* actVisitWebSites_;
  QAction* actTrayLock_;
  QAction* actTraySeparator_;
  QAction* actLogin_;
};

}  // namespace quillmar
