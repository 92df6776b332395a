#pragma once
// The pictures of the autofill wizard, drawn by the program: the small one of the title band and the
// tall one of the welcome page's left panel.
#include <QPixmap>

namespace quillmar {

// The title band's picture (a browser window with a key), size x size.
QPixmap AutoFillTopPicture(int size = 48);
// The left panel's picture of the welcome page.
QPixmap AutoFillLeftPicture(int width = 164, int height = 380);

}  // namespace quillmar
