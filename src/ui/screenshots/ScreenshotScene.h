#pragma once
// TqmScreenshotScene: what the screenshot rows start from (Screenshots.h). Everything is made on
// first use, in a folder of fixed name, so a row that needs only a label costs nothing and the
// pictures show the same paths in every run:
//   <root>/home/        the home folder with the demo Safes "Demo" (with demo data, the one used
//                       last), "Household" and "Travel"
//   <root>/Documents/   the user's documents (Folder("Documents"))
//   <root>/config/, run/  the desktop's folders while the scene lives (nothing reaches the user's)
// The look is fixed too: the Fusion style, DejaVu Sans 10 pt, the en_US locale, progress dialogs at
// once.
#include <QByteArray>
#include <QPixmap>
#include <QString>
#include <QStringList>
#include <memory>

class QMenu;
class QWidget;

namespace quillmar {

class TqmGlobal;
class TqmQtPrompter;
class TqmUiScript;
class TfrmQuillmar;
namespace test {
class TDesktopSandbox;
}

class TqmScreenshotScene {
public:
  static constexpr char kDemoSafe[] = "Demo";
  static constexpr char kDemoPassword[] = "demo-pass";

  // root: the scene's folder, emptied by the caller.
  explicit TqmScreenshotScene(const QString& root);
  ~TqmScreenshotScene();
  TqmScreenshotScene(const TqmScreenshotScene&) = delete;
  TqmScreenshotScene& operator=(const TqmScreenshotScene&) = delete;

  // A folder below the root (made when missing), for files a row shows: Folder("Documents").
  QString Folder(const QString& name);
  // Writes a file of the user's documents (Folder("Documents")) and gives its path; throws when it
  // cannot be written.
  QString DocumentFile(const QString& name, const QByteArray& content);
  // The application object over the home folder with the demo Safes (made on first use). SafeName
  // is the demo Safe again after every row.
  TqmGlobal& Global();
  // The main window at 860 x 580, no tray, logged in to the demo Safe through the login window
  // (again, when a row locked it). Throws when the login does not go through.
  TfrmQuillmar& MainWindow();
  // Locks the main window's Safe, if the main window exists (a row that shows the login window
  // alone: the login closes an open Safe when it turns to making a new one).
  void LockMainWindow();
  // The script that answers the windows a row opens.
  TqmUiScript& Script();

  // Lets the windows lay themselves out and paint.
  static void Settle(int ms = 30);
  // The widget as it shows now.
  static QPixmap Grab(QWidget* widget);
  // The menu as it shows when it pops up (its aboutToShow runs).
  static QPixmap GrabMenu(QMenu* menu);
  // The window with a menu drawn open below the widget it belongs to.
  static QPixmap WithMenu(QWidget* window, QWidget* anchor, const QPixmap& menu);

  // After a row: the problems its script met (taken), after any modal window it left was closed.
  QStringList FinishRow();

private:
  QString root_;
  std::unique_ptr<test::TDesktopSandbox> sandbox_;
  std::unique_ptr<TqmQtPrompter> prompter_;
  std::unique_ptr<TqmGlobal> g_;
  std::unique_ptr<TqmUiScript> script_;
  std::unique_ptr<TfrmQuillmar> window_;
};

}  // namespace quillmar
