#pragma once
// Where the program's windows appear: inside the part of their screen that windows may use (its
// available geometry, without panels and docks), whatever the desktop's own placement did and
// however large the window wanted to be.
class QWidget;

namespace quillmar {

// Moves the window, and shrinks it when it is larger, so that its frame lies inside the available
// geometry of its screen. A frame the desktop has not drawn yet counts with the height of a title
// bar.
void KeepOnScreen(QWidget* window);

// Centres the window's frame on the available geometry of its screen (then as KeepOnScreen).
void CentreOnScreen(QWidget* window);

}  // namespace quillmar
