#pragma once
// The frame's side of the four tabs: the interface every tab window offers the main window, what
// the main window offers them (TqmShell), and the factories that make them. A feature window
// replaces its tab's placeholder by giving its own factory in qmTabFactories.cpp; the frame is not
// touched.
#include <QString>
#include <QStringList>
#include <QWidget>
#include <array>
#include <functional>

class QMenu;

namespace quillmar {

class TqmGlobal;
class TqmBusyGate;
struct TqmSafeChanges;

enum TqmTab : int { tabPasswordRepository = 0, tabFileLocker = 1, tabCryptoMail = 2, tabOptions = 3 };
inline constexpr int kTabCount = 4;

// A feature window shown on a tab. It is made on the tab's first selection, shown and hidden with
// the tab, and freed (deleteLater) when the Safe is closed, switched or locked. It holds no rules:
// what it does to the Safe it asks of TqmGlobal.
class TqmTabWindow : public QWidget {
  Q_OBJECT
public:
  using QWidget::QWidget;

  // Shown by the frame as the tab's name and description.
  virtual QString Caption() const = 0;
  virtual QString Hint() const = 0;
  // The help page of the tab (F1), one of the program's help pages ("IDH_HELP_FILELOCKER").
  virtual QString HelpPage() const = 0;
  // Each time the tab is selected (after the window was shown).
  virtual void TabShown() {}
  // Before the frame frees the window, and when the program ends: save what should outlive it.
  virtual void SaveState() {}
  // Another program changed the open Safe (TqmGlobal::RefreshFromDisk says what): show it, keeping
  // the selection where the item still exists. Called on the window thread from the busy gate (no
  // long operation or dialog is open), after the settings and the reminder schedule took the change
  // in. By default nothing happens.
  virtual void SafeChangedElsewhere(const TqmSafeChanges& changes) {}

  // File Locker: lock one disk file into the folder it shows, without any message; true when it
  // was locked. Dropped and received files come this way.
  virtual bool LockDiskFile(const QString& path) { return false; }
  // File Locker: lock the files (and folders) of one drop or one received command as one run: one
  // refresh, and what failed named in one message. By default LockDiskFile for each.
  virtual void LockDiskFiles(const QStringList& paths) {
    for (const QString& path : paths) LockDiskFile(path);
  }
  // File Locker: the view style, 0 large icons, 1 small icons, 2 list, 3 details; -1 the next one.
  virtual void SetViewStyle(int style) {}
  // Zavozo Rero: select "File to be encrypted" with this file.
  virtual void PresetFile(const QString& path) {}
  // Password Repository: the find window's "find next".
  virtual void FindNext(const QString& text, bool caseSensitive, bool allFields) {}
  // Password Repository: fill the tray menu's "AutoFill Web Forms" and "Visit WebSites", called at
  // each opening of the menu. The menus come as the last call left them: the tab makes them show its
  // items (removing what else they hold) and may leave them as they are when nothing changed.
  virtual void BuildTrayMenus(QMenu* autoFill, QMenu* webSites) {}
};

// What the main window offers the tab windows.
class TqmShell {
public:
  virtual ~TqmShell() = default;
  virtual TqmGlobal& Global() = 0;
  virtual TqmBusyGate& Gate() = 0;
  // The main window (parent of dialogs).
  virtual QWidget* Window() = 0;
  // The queued calls of the frame: each runs after the caller has returned (and after a long
  // operation or a dialog that is open has ended). 1026, 1027, 1029.
  virtual void PostFindNext(const QString& text, bool caseSensitive, bool allFields) = 0;
  virtual void PostRestoreSafe() = 0;
  virtual void PostCryptoMailFile(const QString& path) = 0;
  // The Safe commands the Options tab offers.
  virtual void BackupSafe() = 0;
  virtual void ShowHelp(const QString& page) = 0;
  // The preferences were changed (the frame takes the locking options anew).
  virtual void OptionsChanged() = 0;
  // Entries and categories of the Safe changed outside the Password Repository (an import): its
  // window, which holds what it loaded, is freed and made anew from the Safe when next shown.
  virtual void EntriesChanged() = 0;
};

using TqmTabFactory = std::function<TqmTabWindow*(TqmShell& shell, QWidget* parent)>;

struct TqmTabFactories {
  std::array<TqmTabFactory, kTabCount> Create;
  // The program's windows (placeholders where a feature's window is not built yet).
  static TqmTabFactories Default();
};

}  // namespace quillmar
