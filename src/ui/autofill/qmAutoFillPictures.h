#pragma once
// The pictures of the autofill wizard, drawn by the program: the small one of the title band and the
// tall one of the welcome page's left panel.
#include <QBrush>
#include <QPixmap>

namespace quillmar {

// The title band's picture (a browser window with a key), size x size.
QPixmap AutoFillTopPicture(int size = 48);
// The background of the wizard's left panel: a blue gradient over the panel's whole height.
QBrush LeftPanelBrush();
// The left panel's picture of the welcome page (transparent around the drawing, shown on that blue).
QPixmap AutoFillLeftPicture(int width = 164, int height = 380);

}  // namespace quillmar
