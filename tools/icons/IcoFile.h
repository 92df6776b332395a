#pragma once
// The icon file format (".ico") and PNG, as the icon generator writes them.
//
// An icon file here holds one 32-bit image per size: ICONDIR (6 bytes), one ICONDIRENTRY (16 bytes)
// per image, then for each image a DIB: BITMAPINFOHEADER (40 bytes, height doubled for the two
// masks), the colour (XOR) bitmap in BGRA rows bottom-up with straight alpha, and the 1-bit AND mask,
// rows bottom-up padded to 32 bits, a set bit where the pixel is fully transparent. Desktops that
// ignore alpha fall back on the AND mask.
#include <stdexcept>
#include <string>
#include <vector>

#include "Raster.h"

namespace quillmar::icons {

class EIconFormat : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

// REQUIRES: each image square, 1 to 256 pixels.
std::string WriteIco(const std::vector<Image>& images);
// Reads what WriteIco writes (32-bit DIB images); throws EIconFormat naming what is wrong.
std::vector<Image> ReadIco(const std::string& bytes);
// Whether the AND mask of every image marks exactly the pixels with alpha 0.
bool IcoMasksMatchAlpha(const std::string& bytes);

// An RGBA PNG of the image (for looking at icons).
std::string WritePng(const Image& image);

}  // namespace quillmar::icons
