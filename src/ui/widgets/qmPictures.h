#pragma once
// The program's pictures, drawn by the program itself: the application icon, the login window's
// "IDJ_LOGO_48_48" and "IDJ_LOGIN_TOP", and the tab pictures of the main window (an inactive and an
// active one per tab). The glyphs come from the project's icon drawings (tools/icons); frames,
// gradients and text are painted here.
#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <QString>

namespace quillmar {

// The application icon (window, tray, autostart), in several sizes.
QIcon ApplicationIcon();
// The icon's picture at one size.
QPixmap ApplicationPicture(int size);
// "IDJ_LOGO_48_48".
QPixmap LogoPicture();
// "IDJ_LOGIN_TOP": the banner at the top of the login window (withLogo: the application's picture
// at its left, as the About window shows it).
QPixmap LoginTopPicture(int width = 460, int height = 72, bool withLogo = false);
// The picture of tab 0..3 (Password Repository, File Locker, Zavozo Rero, Options).
QPixmap TabPicture(int tab, bool active, int size = 40);
// One of the project's icon glyphs ("key", "padlock", ...) at size x size; a blank image when there
// is no glyph of that name.
QImage GlyphImage(const char* name, int size);

// A picture by its resource name, for the help pages: "IDJ_LOGO_48_48", "IDJ_LOGIN_TOP",
// "TAB_<n>_ACTIVE" and "TAB_<n>". A null image for an unknown name.
QImage NamedPicture(const QString& name);

}  // namespace quillmar
