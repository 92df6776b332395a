#pragma once
// Icons as the Safe keeps them (the bytes of an ".ico" file) and as the windows show them.
#include <QImage>
#include <QPixmap>
#include <string>

namespace quillmar {

// The picture of the icon's image closest to size x size (the smallest one not smaller, else the
// largest), scaled to size; a null pixmap when the bytes are no image the program can read.
QPixmap IconPixmap(const std::string& iconBytes, int size);

// The ".ico" file of a picture: 16 x 16 and 32 x 32 pixels, 32-bit with alpha, the picture scaled
// smoothly into the square (kept in proportion, centred). REQUIRES: a picture that is not null.
std::string IcoFromImage(const QImage& image);

// Reads an icon file the person chose: an ".ico" is kept as it is when the program can read it, any
// other picture (PNG) becomes an ".ico" by IcoFromImage. False (bytes untouched) when the file
// cannot be read or holds no picture; problem then says why.
bool ReadIconFile(const QString& path, std::string& bytes, QString* problem = nullptr);

}  // namespace quillmar
