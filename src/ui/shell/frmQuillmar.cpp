#include "shell/frmQuillmar.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QFileInfo>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QStackedLayout>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <chrono>

#include "base/SecureWipe.h"
#include "core/qmGlobal.h"
#include "core/qmLoginRules.h"
#include "shell/frmAbout.h"
#include "shell/frmHelp.h"
#include "shell/frmLogin.h"
#include "shell/frmPreferences.h"
#include "shell/qmMessages.h"
#include "shell/qmProgressRunner.h"
#include "shell/qmSafeWatch.h"
#include "shell/qmScreenLockWatcher.h"
#include "widgets/qmHotLabel.h"
#include "widgets/qmPictures.h"
#include "widgets/qmSecretClipboard.h"
#include "widgets/qmText.h"

namespace quillmar {

namespace {

struct TTabInfo {
  const char* name;   // object names: "img" + name, "lbl" + name
  const char* label;  // the text under the picture
};
constexpr TTabInfo kTabs[kTabCount] = {{"PasswordRepository", "Password Repository"},
                                       {"FileLocker", "File Locker"},
                                       {"CryptoMail", "Zavozo Rero"},
                                       {"Options", "Options"}};

// A look at what another program changed waits this long for a program that holds the Safe, and is
// tried again this often after this long before its failure is shown: the window thread never waits
// the whole busy timeout for it.
constexpr std::chrono::milliseconds kRefreshWait{300};
constexpr int kRefreshRetries = 20;
constexpr int kRefreshRetryMs = 500;

bool IsInputEvent(QEvent::Type type) {
  switch (type) {
    case QEvent::KeyPress:
    case QEvent::MouseButtonPress:
    case QEvent::MouseMove:
    case QEvent::Wheel:
    case QEvent::TouchBegin:
      return true;
    default:
      return false;
  }
}

}  // namespace

TfrmQuillmar::TOptions::TOptions() : trayAvailable(QSystemTrayIcon::isSystemTrayAvailable()) {}

TfrmQuillmar::TfrmQuillmar(TqmGlobal& g, TOptions options, QWidget* parent)
    : QMainWindow(parent), g_(g), options_(std::move(options)), gate_(this) {
  setObjectName(QStringLiteral("TfrmQuillmar"));
  setWindowTitle(ProductTitle());
  setWindowIcon(ApplicationIcon());
  setAcceptDrops(true);

  tmrMinimize_ = new QTimer(this);
  tmrMinimize_->setObjectName(QStringLiteral("tmrMinimize"));
  tmrMinimize_->setSingleShot(true);
  tmrMinimize_->setInterval(options_.minimizeDelayMs);
  connect(tmrMinimize_, &QTimer::timeout, this, [this] {
    gate_.Post([this] {
      // A window minimised and restored again meanwhile stays.
      const bool cancelledLogin = toTrayAfterLogin_;
      toTrayAfterLogin_ = false;
      if (cancelledLogin || isMinimized()) SendToTray();
    });
  });
  tmrLockRecivedFiles_ = new QTimer(this);
  tmrLockRecivedFiles_->setObjectName(QStringLiteral("tmrLockRecivedFiles"));
  tmrLockRecivedFiles_->setSingleShot(true);
  tmrLockRecivedFiles_->setInterval(options_.receivedFilesDelayMs);
  connect(tmrLockRecivedFiles_, &QTimer::timeout, this,
          [this] { gate_.Post([this] { ProcessReceived(); }); });
  idleTimer_ = new QTimer(this);
  idleTimer_->setObjectName(QStringLiteral("tmrIdleLock"));
  idleTimer_->setSingleShot(true);
  connect(idleTimer_, &QTimer::timeout, this, [this] {
    gate_.Post([this] {
      if (g_.SafeOpen()) LockSafe();
    });
  });

  safeWatch_ = new TqmSafeWatch(this);
  connect(safeWatch_, &TqmSafeWatch::changed, this, &TfrmQuillmar::PostRefresh);
  g_.AddSafeListener(this);

  BuildActions();
  BuildWindow();
  exitOnLoginCancel_ = !g_.StartMinimized();
  shellOptions_ = TqmShellOptions::Load(g_.IniFile());

  // The buses are reached only once the option is on (RestartIdleTimer), not at every start.
  screenLock_ = new TqmScreenLockWatcher(this);
  connect(screenLock_, &TqmScreenLockWatcher::screenLocked, this, [this] {
    if (!shellOptions_.lockOnScreenLock) return;
    gate_.Post([this] {
      if (g_.SafeOpen()) LockSafe();
    });
  });
  qApp->installEventFilter(this);
  // The core's long operations: pending events run (painting, timers, the instance channel; no
  // input), and the gate is held while they last.
  // On the worker of a progress window the hooks do nothing: the window thread runs its events
  // and holds the gate itself (qmProgressRunner.h).
  // Events that run inside a call of the core never start what waits in the gate: a lock in the
  // middle of loading a category would pull the Safe away from under its caller.
  g_.SetProcessEvents([this] {
    if (!TqmProgressRunner::OnWindowThread()) return;
    TqmBusyGate::TScope inside(gate_);
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  });
  g_.SetBusyPointer([this](bool busy) {
    if (!TqmProgressRunner::OnWindowThread()) return;
    if (busy) {
      gate_.Enter();
      QApplication::setOverrideCursor(Qt::WaitCursor);
    } else {
      QApplication::restoreOverrideCursor();
      gate_.Leave();
    }
  });
  UpdateSafeLabel();
  RebuildSafesMenu();
  UpdateCommands();
}

TfrmQuillmar::~TfrmQuillmar() {
  g_.RemoveSafeListener(this);
  qApp->removeEventFilter(this);
  g_.SetProcessEvents({});
  g_.SetBusyPointer({});
  if (help_) delete help_.data();
}

// --- Building the window ------------------------------------------------------------------------------

QAction* TfrmQuillmar::AddAction(const QString& name, const QString& text, const QKeySequence& shortcut,
                                 void (TfrmQuillmar::*slot)()) {
  auto* action = new QAction(text, this);
  action->setObjectName(name);
  if (!shortcut.isEmpty()) {
    action->setShortcut(shortcut);
    action->setShortcutContext(Qt::WindowShortcut);
  }
  connect(action, &QAction::triggered, this, slot);
  addAction(action);
  return action;
}

void TfrmQuillmar::BuildActions() {
  AddAction(QStringLiteral("changePassword"), QStringLiteral("Change Password"), {},
            &TfrmQuillmar::ChangePassword);
  AddAction(QStringLiteral("newSafe"), QStringLiteral("New Safe"), {}, &TfrmQuillmar::NewSafe);
  AddAction(QStringLiteral("deleteSafe"), QStringLiteral("Delete Safe"), {}, &TfrmQuillmar::DeleteSafe);
  AddAction(QStringLiteral("BackupSafe"), QStringLiteral("Backup current Safe"), {},
            &TfrmQuillmar::BackupSafe);
  AddAction(QStringLiteral("RestoreSafe"), QStringLiteral("Restore to current Safe"), {},
            &TfrmQuillmar::RestoreSafe);
  AddAction(QStringLiteral("lockSafe"), QStringLiteral("Lock Safe"),
            QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_L), &TfrmQuillmar::LockSafe);
  AddAction(QStringLiteral("help"), QStringLiteral("Help"), QKeySequence(Qt::Key_F1),
            &TfrmQuillmar::HelpForTab);
  AddAction(QStringLiteral("about"), QStringLiteral("About Brelkan Quillmar II"), {},
            &TfrmQuillmar::ShowAbout);
  AddAction(QStringLiteral("exit"), QStringLiteral("Exit"), QKeySequence(Qt::CTRL | Qt::Key_Q),
            &TfrmQuillmar::ExitCommand);
  AddAction(QStringLiteral("login"), QStringLiteral("Login ..."), {}, &TfrmQuillmar::RestoreFromTray);
  for (int tab = 0; tab < kTabCount; ++tab) {
    auto* action = new QAction(QString::fromLatin1(kTabs[tab].label), this);
    action->setObjectName(QStringLiteral("selectTab%1").arg(tab + 1));
    action->setShortcut(QKeySequence(Qt::CTRL | static_cast<Qt::Key>(Qt::Key_1 + tab)));
    connect(action, &QAction::triggered, this, [this, tab] { SelectTab(tab); });
    addAction(action);
  }

  mnuSafes_ = new QMenu(this);
  mnuSafes_->setObjectName(QStringLiteral("mnuSafes"));

  mnuView_ = new QMenu(this);
  mnuView_->setObjectName(QStringLiteral("mnuView"));
  viewGroup_ = new QActionGroup(this);
  viewGroup_->setExclusive(true);
  const char* views[4][2] = {
      {"viewIcons", "Icons"}, {"viewTiles", "Tiles"}, {"viewList", "List"}, {"viewDetails", "Details"}};
  for (int i = 0; i < 4; ++i) {
    QAction* action = mnuView_->addAction(QString::fromLatin1(views[i][1]));
    action->setObjectName(QString::fromLatin1(views[i][0]));
    action->setCheckable(true);
    action->setChecked(i == 0);
    viewGroup_->addAction(action);
    connect(action, &QAction::triggered, this, [this, i](bool) { ViewStyleChosen(i); });
  }

  mnuApplication_ = new QMenu(this);
  mnuApplication_->setObjectName(QStringLiteral("mnuApplication"));
  mnuAutoFill_ = new QMenu(QStringLiteral("AutoFill Web Forms"), mnuApplication_);
  mnuAutoFill_->setObjectName(QStringLiteral("mnuAutoFill"));
  mnuVisitWebSites_ = new QMenu(QStringLiteral("Visit WebSites"), mnuApplication_);
  mnuVisitWebSites_->setObjectName(QStringLiteral("mnuVisitWebSites"));
  actAutoFill_ = mnuApplication_->addMenu(mnuAutoFill_);
  actVisitWebSites_ = mnuApplication_->addMenu(mnuVisitWebSites_);
  actTrayLock_ = mnuApplication_->addAction(FindAction(QStringLiteral("lockSafe"))->text());
  actTrayLock_->setObjectName(QStringLiteral("trayLockSafe"));
  connect(actTrayLock_, &QAction::triggered, this, [this] { gate_.Post([this] { LockSafe(); }); });
  // The window's keys do nothing while the menu is the tray icon's: its items show none.
  mnuApplication_->addAction(FindAction(QStringLiteral("about")));
  QAction* trayHelp = mnuApplication_->addAction(FindAction(QStringLiteral("help"))->text());
  trayHelp->setObjectName(QStringLiteral("trayHelp"));
  connect(trayHelp, &QAction::triggered, this, &TfrmQuillmar::HelpForTab);
  QAction* trayExit = mnuApplication_->addAction(FindAction(QStringLiteral("exit"))->text());
  trayExit->setObjectName(QStringLiteral("trayExit"));
  connect(trayExit, &QAction::triggered, this, &TfrmQuillmar::ExitCommand);
  actTraySeparator_ = mnuApplication_->addSeparator();
  actLogin_ = FindAction(QStringLiteral("login"));
  mnuApplication_->addAction(actLogin_);
  connect(mnuApplication_, &QMenu::aboutToShow, this, &TfrmQuillmar::BuildApplicationMenu);
}

void TfrmQuillmar::BuildWindow() {
  auto* central = new QWidget(this);
  central->setObjectName(QStringLiteral("pnlMain"));
  setCentralWidget(central);
  auto* outer = new QVBoxLayout(central);
  outer->setContentsMargins(0, 0, 0, 0);
  outer->setSpacing(0);

  // The header: the product, the Safe with its menu, Lock and Help.
  auto* header = new QFrame(central);
  header->setObjectName(QStringLiteral("pnlHeader"));
  header->setStyleSheet(
      QStringLiteral("#pnlHeader { background: qlineargradient(x1:0, y1:0, x2:1, y2:0, "
                     "stop:0 #16337a, stop:1 #3b78d0); } #pnlHeader QLabel { color: white; }"));
  auto* headerLayout = new QHBoxLayout(header);
  headerLayout->setContentsMargins(12, 8, 12, 8);
  auto* logo = new QLabel(header);
  logo->setPixmap(ApplicationPicture(32));
  headerLayout->addWidget(logo);
  auto* title = new QLabel(ProductTitle(), header);
  QFont titleFont = title->font();
  titleFont.setPointSizeF(titleFont.pointSizeF() * 1.35);
  titleFont.setBold(true);
  title->setFont(titleFont);
  headerLayout->addWidget(title);
  headerLayout->addStretch(1);
  lblSafeCaption_ = new QLabel(QStringLiteral("Safe:"), header);
  lblSafeCaption_->setObjectName(QStringLiteral("lblSafeCaption"));
  headerLayout->addWidget(lblSafeCaption_);
  lblSafeName_ = new TqmHotLabel(QString(), header);
  lblSafeName_->setObjectName(QStringLiteral("lblSafeName"));
  lblSafeName_->setToolTip(QStringLiteral("Your Safes: change, make or delete a Safe, change its password"));
  lblSafeName_->setStyleSheet(QStringLiteral("color: white;"));
  connect(lblSafeName_, &TqmHotLabel::clicked, this, &TfrmQuillmar::ShowSafesMenu);
  headerLayout->addWidget(lblSafeName_);
  headerLayout->addSpacing(12);
  btnLockSafe_ = new QToolButton(header);
  btnLockSafe_->setObjectName(QStringLiteral("btnLockSafe"));
  btnLockSafe_->setDefaultAction(FindAction(QStringLiteral("lockSafe")));
  btnLockSafe_->setToolTip(QStringLiteral("Lock the Safe now (Ctrl+Shift+L)"));
  headerLayout->addWidget(btnLockSafe_);
  headerLayout->addSpacing(12);
  auto* help = new TqmHotLabel(QStringLiteral("Help"), header);
  help->setObjectName(QStringLiteral("lnkHelp"));
  help->setToolTip(QStringLiteral("The program's help (F1)"));
  help->setStyleSheet(QStringLiteral("color: white;"));
  connect(help, &TqmHotLabel::clicked, this, [this] { ShowHelp(QStringLiteral("IDH_HELP")); });
  headerLayout->addWidget(help);
  outer->addWidget(header);

  auto* body = new QHBoxLayout;
  body->setContentsMargins(0, 0, 0, 0);
  body->setSpacing(0);
  outer->addLayout(body, 1);

  // The tab strip: a picture and a label per tab.
  auto* strip = new QFrame(central);
  strip->setObjectName(QStringLiteral("pnlTabs"));
  strip->setStyleSheet(QStringLiteral("#pnlTabs { background: #eef2f8; border-right: 1px solid #cdd6e4; }"));
  auto* stripLayout = new QVBoxLayout(strip);
  stripLayout->setContentsMargins(10, 14, 10, 14);
  stripLayout->setSpacing(2);
  for (int tab = 0; tab < kTabCount; ++tab) {
    auto* picture = new QLabel(strip);
    picture->setObjectName(QStringLiteral("img") + QString::fromLatin1(kTabs[tab].name));
    picture->setPixmap(TabPicture(tab, false));
    picture->setAlignment(Qt::AlignCenter);
    picture->setCursor(Qt::PointingHandCursor);
    picture->installEventFilter(this);
    tabPictures_[static_cast<size_t>(tab)] = picture;
    auto* label = new TqmHotLabel(QString::fromLatin1(kTabs[tab].label), strip);
    label->setObjectName(QStringLiteral("lbl") + QString::fromLatin1(kTabs[tab].name));
    label->setAlignment(Qt::AlignCenter);
    label->setToolTip(QStringLiteral("Ctrl+%1").arg(tab + 1));
    connect(label, &TqmHotLabel::clicked, this, [this, tab] { SelectTab(tab); });
    tabLabels_[static_cast<size_t>(tab)] = label;
    stripLayout->addWidget(picture);
    stripLayout->addWidget(label);
    stripLayout->addSpacing(14);
  }
  stripLayout->addStretch(1);
  strip->setFixedWidth(176);
  body->addWidget(strip);

  // The tab's name and description over the form panel.
  auto* right = new QVBoxLayout;
  right->setContentsMargins(18, 12, 18, 10);
  right->setSpacing(4);
  auto* nameRow = new QHBoxLayout;
  lblTabName_ = new QLabel(central);
  lblTabName_->setObjectName(QStringLiteral("lblTabName"));
  QFont nameFont = lblTabName_->font();
  nameFont.setPointSizeF(nameFont.pointSizeF() * 1.5);
  nameFont.setBold(true);
  lblTabName_->setFont(nameFont);
  lblTabName_->setStyleSheet(QStringLiteral("color: #16337a;"));
  nameRow->addWidget(lblTabName_);
  nameRow->addStretch(1);
  btnView_ = new QToolButton(central);
  btnView_->setObjectName(QStringLiteral("btnView"));
  btnView_->setText(QStringLiteral("View"));
  btnView_->setToolTip(QStringLiteral("Icons, Tiles, List, Details: a click shows the next"));
  btnView_->setPopupMode(QToolButton::MenuButtonPopup);
  btnView_->setMenu(mnuView_);
  btnView_->setVisible(false);
  connect(btnView_, &QToolButton::clicked, this, &TfrmQuillmar::ViewButtonClicked);
  nameRow->addWidget(btnView_);
  right->addLayout(nameRow);
  lblTabDescription_ = new QLabel(central);
  lblTabDescription_->setObjectName(QStringLiteral("lblTabDescription"));
  lblTabDescription_->setStyleSheet(QStringLiteral("color: #4a5563;"));
  right->addWidget(lblTabDescription_);
  auto* line = new QFrame(central);
  line->setFrameShape(QFrame::HLine);
  line->setFrameShadow(QFrame::Sunken);
  right->addSpacing(4);
  right->addWidget(line);
  right->addSpacing(6);
  pnlForm_ = new QWidget(central);
  pnlForm_->setObjectName(QStringLiteral("pnlForm"));
  formStack_ = new QStackedLayout(pnlForm_);
  formStack_->setContentsMargins(0, 0, 0, 0);
  BuildLockedPanel();
  formStack_->addWidget(pnlLocked_);
  right->addWidget(pnlForm_, 1);
  auto* footer = new QHBoxLayout;
  footer->addStretch(1);
  auto* about = new TqmHotLabel(QStringLiteral("About"), central);
  about->setObjectName(QStringLiteral("lnkAbout"));
  about->SetAction(FindAction(QStringLiteral("about")));
  about->setToolTip(QStringLiteral("Version and home folder"));
  footer->addWidget(about);
  right->addLayout(footer);
  body->addLayout(right, 1);

  resize(860, 580);
}

// What the form shows while no Safe is open: that the Safe is locked, Unlock ... and Exit. It is
// what a person sees of a locked program on a desktop without a tray, where the window stays.
void TfrmQuillmar::BuildLockedPanel() {
  pnlLocked_ = new QWidget(pnlForm_);
  pnlLocked_->setObjectName(QStringLiteral("pnlLocked"));
  auto* layout = new QVBoxLayout(pnlLocked_);
  layout->addStretch(1);
  auto* picture = new QLabel(pnlLocked_);
  picture->setPixmap(LogoPicture());
  picture->setAlignment(Qt::AlignCenter);
  layout->addWidget(picture);
  lblLockedTitle_ = new QLabel(pnlLocked_);
  lblLockedTitle_->setObjectName(QStringLiteral("lblLockedTitle"));
  QFont titleFont = lblLockedTitle_->font();
  titleFont.setPointSizeF(titleFont.pointSizeF() * 1.5);
  titleFont.setBold(true);
  lblLockedTitle_->setFont(titleFont);
  lblLockedTitle_->setStyleSheet(QStringLiteral("color: #16337a;"));
  lblLockedTitle_->setAlignment(Qt::AlignCenter);
  layout->addWidget(lblLockedTitle_);
  lblLocked_ = new QLabel(pnlLocked_);
  lblLocked_->setObjectName(QStringLiteral("lblLocked"));
  lblLocked_->setAlignment(Qt::AlignCenter);
  lblLocked_->setWordWrap(true);
  lblLocked_->setTextFormat(Qt::PlainText);
  layout->addWidget(lblLocked_);
  layout->addSpacing(12);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  btnUnlock_ = new QPushButton(pnlLocked_);
  btnUnlock_->setObjectName(QStringLiteral("btnUnlock"));
  btnUnlock_->setAutoDefault(true);
  connect(btnUnlock_, &QPushButton::clicked, this, &TfrmQuillmar::RestoreFromTray);
  btnExit_ = new QPushButton(QStringLiteral("E&xit"), pnlLocked_);
  btnExit_->setObjectName(QStringLiteral("btnExit"));
  btnExit_->setAutoDefault(true);
  btnExit_->setToolTip(QStringLiteral("End the program (Ctrl+Q)"));
  connect(btnExit_, &QPushButton::clicked, this, &TfrmQuillmar::ExitCommand);
  buttons->addWidget(btnUnlock_);
  buttons->addWidget(btnExit_);
  buttons->addStretch(1);
  layout->addLayout(buttons);
  layout->addStretch(2);
}

void TfrmQuillmar::UpdateLockedPanel() {
  const std::string& name = g_.SafeName();
  if (!ChosenSafeLocked()) {
    lblLockedTitle_->setText(QStringLiteral("No Safe is open"));
    lblLocked_->setText(QStringLiteral("Open one of your Safes, or make a new one."));
    btnUnlock_->setText(QStringLiteral("&Open a Safe ..."));
  } else {
    lblLockedTitle_->setText(QStringLiteral("Locked"));
    lblLocked_->setText(
        QStringLiteral("The Safe %1 is locked. Unlock it with its master password, or exit the program.")
            .arg(FromUtf8(name)));
    btnUnlock_->setText(QStringLiteral("&Unlock ..."));
  }
}

TfrmHelp* TfrmQuillmar::HelpWindow() const {
  return help_.data();
}

QAction* TfrmQuillmar::FindAction(const QString& name) const {
  return findChild<QAction*>(name, Qt::FindDirectChildrenOnly);
}

// --- Start -----------------------------------------------------------------------------------------------

void TfrmQuillmar::Start() {
  std::string command;
  const bool receivedOnCommandLine = g_.ReceivedFilesCommand(command);
  if (g_.StartMinimized() && !receivedOnCommandLine) {
    inTray_ = true;
    if (options_.trayAvailable)
      ShowTrayIcon();
    else
      showMinimized();
    UpdateTrayHint();
    return;
  }
  show();
  gate_.Post([this] {
    if (!g_.SafeOpen()) ShowLogin(login::kModeOpen, g_.SafeName());
  });
}

// --- The login -------------------------------------------------------------------------------------------

TfrmQuillmar::TLoginOutcome TfrmQuillmar::ShowLogin(int mode, const std::string& safeName, bool forExit) {
  if (g_.SafeOpen()) return TLoginOutcome::Opened;
  TqmBusyGate::TScope busy(gate_);
  UpdateSafeLabel();
  RebuildSafesMenu();
  UpdateTrayHint();
  int loginMode = mode;
  std::string preselect = safeName;
  for (;;) {
    // The key the login derived (or the previous Safe's): the open takes it, no password is kept.
    TTextKey key;
    {
      TfrmLogin login(g_, this);
      login.SetRequest(loginMode, preselect);
      if (login.exec() == QDialog::Accepted) {
        key = login.Key();
      } else {
        if (forExit) return TLoginOutcome::Cancelled;
        if (exitOnLoginCancel_) {
          EndProgram();
          return TLoginOutcome::Ended;
        }
        if (switching_ && !previousKey_.Empty()) {
          // The login of a switch was cancelled: the Safe that was open before opens again.
          g_.SetSafeName(previousSafeName_);
          key = previousKey_;
        } else {
          UpdateSafeLabel();
          RebuildSafesMenu();
          UpdateCommands();
          if (options_.trayAvailable) {
            toTrayAfterLogin_ = true;
            tmrMinimize_->start();
          } else {
            // Without a tray the window stays, locked, with Unlock ... and Exit.
            btnUnlock_->setFocus();
          }
          return TLoginOutcome::Cancelled;
        }
      }
    }
    // A copy: OpenSafeByName sets SafeName from its argument.
    const std::string name = g_.SafeName();
    try {
      g_.OpenSafeByName(name, key);
      // The login's check kept its container for this open only (TfrmLogin::accept).
      g_.Wrapper().KeepCheckedContainer(false);
      break;
    } catch (const std::exception& e) {
      g_.Wrapper().KeepCheckedContainer(false);
      // The Safe checked out but does not open now (removed or taken meanwhile): say why and ask
      // again, rather than ending the program.
      ShowError(this, FromMessage(e.what()));
      loginMode = login::kModeOpen;
      preselect = name;
    }
  }

  UpdateTrayHint();
  exitOnLoginCancel_ = false;
  safeWatch_->Follow(FromUtf8(g_.CurrentSafeFile()));
  try {
    g_.ScheduleReminders();
  } catch (const std::exception& e) {
    ShowWarning(this, FromMessage(e.what()));
  }
  UpdateSafeLabel();
  RebuildSafesMenu();
  UpdateCommands();
  if (forExit) return TLoginOutcome::Opened;

  TqmSettings& settings = g_.Settings();
  if (settings.App.fs.Value()) {
    // The Safe's first start: the program starts with the desktop from now on.
    if (ApplyAutostart(this, g_, true)) settings.App.autoStart.SetValue(true);
  }
  SelectTab(tabPasswordRepository);
  if (settings.App.fs.Value()) {
    settings.App.fs.SetValue(false);
    try {
      g_.SaveSettings();
    } catch (const std::exception& e) {
      ShowWarning(this, FromMessage(e.what()));
    }
  }
  std::string command;
  if (g_.ReceivedFilesCommand(command)) {
    g_.ReceivedFilesHandled();
    received_.PushFront(command);
  }
  if (!received_.Empty()) tmrLockRecivedFiles_->start();
  RestartIdleTimer();
  ReportLeftoverCopies();
  return TLoginOutcome::Opened;
}

void TfrmQuillmar::ReportLeftoverCopies() {
  QStringList fresh;
  for (const std::string& file : g_.UnaccountedTempFiles())
    if (reportedLeftovers_.insert(file).second) fresh << FromUtf8(file);
  if (fresh.isEmpty()) return;
  QString list;
  for (int i = 0; i < fresh.size() && i < 10; ++i) list += QStringLiteral("\n  ") + fresh[i];
  if (fresh.size() > 10) list += QStringLiteral("\n  ... and %1 more").arg(fresh.size() - 10);
  ShowWarning(this,
              QStringLiteral("Decrypted copies of locked files were left in the program's temporary folder "
                             "by an earlier run, or belong to a Safe that is not open:%1\n\nThey are not "
                             "written into this Safe. Open them to keep your changes (lock them into the "
                             "Safe again), then delete them: they stay until you do.")
                  .arg(list));
}

// --- Tabs -------------------------------------------------------------------------------------------------

void TfrmQuillmar::SelectTab(int tab) {
  if (tab < 0 || tab >= kTabCount || !g_.SafeOpen()) return;
  // No setUpdatesEnabled(false) around the switch: the window paints only once control is back in the
  // event loop, so the switch shows in one piece anyway. Disabling updates of the whole window here
  // (with a tab made on first use selecting its first item) left it unpainted after a login under X:
  // the login dialog's pixels stayed until the window was exposed again.
  for (int t = 0; t < kTabCount; ++t) tabPictures_[static_cast<size_t>(t)]->setPixmap(TabPicture(t, false));
  btnView_->setVisible(false);
  QPointer<TqmTabWindow>& window = tabs_[static_cast<size_t>(tab)];
  if (!window) {
    window = options_.factories.Create[static_cast<size_t>(tab)](*this, pnlForm_);
    formStack_->addWidget(window);
    if (tab == tabFileLocker) {
      // A File Locker made anew shows the view chosen in the menu.
      const QList<QAction*> views = viewGroup_->actions();
      for (int i = 0; i < views.size(); ++i)
        if (views[i]->isChecked()) window->SetViewStyle(i);
    }
  }
  tabPictures_[static_cast<size_t>(tab)]->setPixmap(TabPicture(tab, true));
  lblTabName_->setText(window->Caption());
  lblTabDescription_->setText(window->Hint());
  formStack_->setCurrentWidget(window);
  currentTab_ = tab;
  if (tab == tabFileLocker) btnView_->setVisible(true);
  window->TabShown();
}

void TfrmQuillmar::FreeTabWindow(int tab) {
  QPointer<TqmTabWindow>& window = tabs_[static_cast<size_t>(tab)];
  if (!window) return;
  TqmTabWindow* w = window.data();
  window.clear();
  try {
    w->SaveState();
  } catch (const std::exception& e) {
    ShowError(this, FromMessage(e.what()));
  }
  formStack_->removeWidget(w);
  w->hide();
  // Freed from the event loop: the window may be the one whose command is running now.
  w->deleteLater();
}

void TfrmQuillmar::EntriesChanged() {
  FreeTabWindow(tabPasswordRepository);
  // Shown now: made anew at once.
  if (currentTab_ == tabPasswordRepository) SelectTab(tabPasswordRepository);
}

void TfrmQuillmar::CloseTabWindows() {
  // The Safe is about to close: its file is no longer watched.
  safeWatch_->Follow(QString());
  refreshRetries_ = 0;
  // Values of this Safe copied to the clipboard go with it.
  TqmSecretClipboard::Instance().Forget();
  for (int tab = 0; tab < kTabCount; ++tab) FreeTabWindow(tab);
  currentTab_ = -1;
  formStack_->setCurrentWidget(pnlLocked_);
  btnView_->setVisible(false);
  try {
    g_.SaveSettings();
  } catch (const std::exception& e) {
    ShowError(this,
              QStringLiteral("The settings could not be saved into the Safe.\n\n") + FromMessage(e.what()));
  }
}

void TfrmQuillmar::ViewStyleChosen(int style) {
  if (TqmTabWindow* locker = TabWindow(tabFileLocker)) locker->SetViewStyle(style);
}

void TfrmQuillmar::ViewButtonClicked() {
  const QList<QAction*> views = viewGroup_->actions();
  int checked = 0;
  for (int i = 0; i < views.size(); ++i)
    if (views[i]->isChecked()) checked = i;
  const int next = (checked + 1) % static_cast<int>(views.size());
  views[next]->setChecked(true);
  ViewStyleChosen(next);
}

// --- Other programs ---------------------------------------------------------------------------------------

void TfrmQuillmar::PostRefresh() {
  // One look waits at a time: the changes of everything that happened before it are found by it.
  if (refreshPosted_) return;
  refreshPosted_ = true;
  gate_.Post([this] {
    refreshPosted_ = false;
    RefreshFromDisk();
  });
}

void TfrmQuillmar::RefreshFromDisk() {
  if (!g_.SafeOpen()) return;
  // The look itself waits only briefly; the tab windows read with the usual patience (SafeChanged).
  busyTimeout_ = TqmGlobal::BusyTimeout();
  TqmGlobal::SetBusyTimeout(std::min(*busyTimeout_, kRefreshWait));
  try {
    g_.RefreshFromDisk();  // tells SafeChanged
    RestoreBusyTimeout();
    refreshRetries_ = 0;
    refreshProblemShown_.clear();
  } catch (const std::exception& e) {
    RestoreBusyTimeout();
    // Mostly another program changing the Safe for a while: it is looked at again a little later.
    if (++refreshRetries_ <= kRefreshRetries) {
      QTimer::singleShot(kRefreshRetryMs, this, [this] {
        if (g_.SafeOpen()) PostRefresh();
      });
      return;
    }
    refreshRetries_ = 0;
    const QString problem = FromMessage(e.what());
    if (problem == refreshProblemShown_) return;  // said once; the next change tries again
    refreshProblemShown_ = problem;
    ShowWarning(this, QStringLiteral("What another program changed in the Safe could not be read, so the "
                                     "windows may not show it yet. It is read again with the next change, "
                                     "or when you lock and unlock the Safe.\n\n%1")
                          .arg(problem));
  }
}

void TfrmQuillmar::RestoreBusyTimeout() {
  if (busyTimeout_) TqmGlobal::SetBusyTimeout(*busyTimeout_);
  busyTimeout_.reset();
}

void TfrmQuillmar::SafeChanged(const TqmSafeChanges& changes) {
  RestoreBusyTimeout();
  for (const QPointer<TqmTabWindow>& window : tabs_) {
    if (!window) continue;
    try {
      window->SafeChangedElsewhere(changes);
    } catch (const std::exception& e) {
      ShowError(this, FromMessage(e.what()));
    }
  }
}

// --- Help, About, options --------------------------------------------------------------------------------

void TfrmQuillmar::ShowHelp(const QString& page) {
  if (!help_) help_ = new TfrmHelp(nullptr);
  help_->ShowPage(page);
  help_->show();
  help_->raise();
  help_->activateWindow();
}

void TfrmQuillmar::HelpForTab() {
  TqmTabWindow* window = currentTab_ >= 0 ? TabWindow(currentTab_) : nullptr;
  ShowHelp(window ? window->HelpPage() : QStringLiteral("IDH_HELP"));
}

void TfrmQuillmar::ShowAbout() {
  TfrmAbout about(g_, isVisible() ? this : nullptr);
  about.exec();
}

void TfrmQuillmar::OptionsChanged() {
  RestartIdleTimer();
}

void TfrmQuillmar::RestartIdleTimer() {
  shellOptions_ = TqmShellOptions::Load(g_.IniFile());
  if (shellOptions_.lockOnScreenLock && options_.watchScreenLock && !screenLockWatched_) {
    screenLockWatched_ = true;
    screenLock_->Watch(QDBusConnection::sessionBus(), QDBusConnection::systemBus());
  }
  if (g_.SafeOpen() && shellOptions_.idleLockMinutes > 0) {
    idleTimer_->setInterval(shellOptions_.idleLockMinutes * 60 * 1000);
    idleTimer_->start();
  } else {
    idleTimer_->stop();
  }
}

// --- Closing ----------------------------------------------------------------------------------------------

void TfrmQuillmar::ExitCommand() {
  close();
}

void TfrmQuillmar::EndProgram() {
  closed_ = true;
  ended_ = true;
  HideTrayIcon();
  hide();
  emit programEnded();
}

bool TfrmQuillmar::PrepareExit() {
  if (g_.SafeOpen()) {
    if (!g_.UpdateOpenedFiles()) return false;
  } else if (!g_.SafeName().empty() && !g_.OpenedFilesOf(g_.SafeName()).empty()) {
    // Files opened from the locked Safe can only go back with its password.
    const std::string name = g_.SafeName();
    if (inTray_) {
      inTray_ = false;
      HideTrayIcon();
      showNormal();
    }
    if (ShowLogin(login::kModeOpen, name, true) == TLoginOutcome::Opened) {
      if (!g_.UpdateOpenedFiles()) return false;
    } else {
      ShowInformation(this,
                      QStringLiteral("The files you opened from the Safe %1 were not written back into it. "
                                     "They are kept in\n%2\nLog in to %1 and exit again to write them back.")
                          .arg(FromUtf8(name), FromUtf8(g_.TempFolderOf(name))));
    }
  }
  CloseTabWindows();
  return true;
}

void TfrmQuillmar::closeEvent(QCloseEvent* event) {
  if (closed_) {
    event->accept();
    return;
  }
  event->ignore();
  // A close during a long operation or a dialog waits for it (once).
  if (gate_.Depth() > 0 || QApplication::activeModalWidget() != nullptr) {
    if (!closeQueued_) {
      closeQueued_ = true;
      gate_.Post([this] {
        closeQueued_ = false;
        close();
      });
    }
    return;
  }
  {
    TqmBusyGate::TScope busy(gate_);
    if (!PrepareExit()) return;
  }
  closed_ = true;
  ended_ = true;
  tmrMinimize_->stop();
  tmrLockRecivedFiles_->stop();
  idleTimer_->stop();
  HideTrayIcon();
  if (help_) help_->close();
  event->accept();
  emit programEnded();
}

void TfrmQuillmar::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  if (event->type() != QEvent::WindowStateChange || closed_) return;
  if (isMinimized()) {
    if (!inTray_) tmrMinimize_->start();
  } else if (inTray_ && isVisible()) {
    // Restored by the desktop (no tray: the window was only minimised).
    RestoreFromTray();
  }
}

// --- Tab pictures, idle time -------------------------------------------------------------------------

bool TfrmQuillmar::eventFilter(QObject* watched, QEvent* event) {
  if (IsInputEvent(event->type()) && idleTimer_->isActive()) idleTimer_->start();
  if (event->type() == QEvent::MouseButtonRelease) {
    for (int tab = 0; tab < kTabCount; ++tab) {
      if (watched == tabPictures_[static_cast<size_t>(tab)] &&
          static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        SelectTab(tab);
        return true;
      }
    }
  }
  return QMainWindow::eventFilter(watched, event);
}

}  // namespace quillmar