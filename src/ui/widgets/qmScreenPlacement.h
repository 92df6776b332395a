#pragma once
// Where the program's windows appear: inside the part of their screen that windows may use (its
// available geometry, without panels and docks), whatever the desktop's own placement did and
// however large the window wanted to be.
//
// TqmApplication installs TqmScreenPlacer, which does this for every top-level window the program
// shows (dialogs, message boxes, Help, the main window), so a new window needs nothing of its own;
// a window that wants a particular place (the login, centred) sets it in its showEvent, and the
// placer then only keeps it inside.
#include <QObject>

class QWidget;

namespace quillmar {

// Moves the window, and shrinks it when it is larger, so that its frame lies inside the available
// geometry of its screen. A frame the desktop has not drawn yet counts with the height of a title
// bar.
void KeepOnScreen(QWidget* window);

// Centres the window's frame over its parent's window when that is shown (else leaves it).
void CentreOnParent(QWidget* window);

// Centres the window's frame on the available geometry of its screen (then as KeepOnScreen).
void CentreOnScreen(QWidget* window);

// Keeps every top-level window inside its screen: when it is shown, and again when it is first
// activated after that (by then the desktop has drawn its frame).
class TqmScreenPlacer : public QObject {
  Q_OBJECT
public:
  using QObject::QObject;

protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
};

}  // namespace quillmar
