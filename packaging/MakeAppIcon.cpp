// Draws the program's icon for the desktop's icon theme: the padlock glyph on a blue rounded square,
// the same picture the desktop program draws for its windows (widgets/qmPictures.cpp), as PNG files.
//
//   qm_make_app_icon OUTDIR SIZE...
//
// OUTDIR receives hicolor/SIZExSIZE/apps/quillmar.png for every size (the layout of an icon theme,
// ready to be installed under share/icons).
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "Glyphs.h"
#include "IcoFile.h"
#include "Raster.h"

using namespace quillmar::icons;

namespace {

// Draws src over dst at (x0, y0), straight alpha on both.
void Over(Image& dst, const Image& src, int x0, int y0) {
  for (int y = 0; y < src.height; ++y)
    for (int x = 0; x < src.width; ++x) {
      if (x0 + x < 0 || y0 + y < 0 || x0 + x >= dst.width || y0 + y >= dst.height) continue;
      const uint8_t* s = src.At(x, y);
      uint8_t* d = dst.At(x0 + x, y0 + y);
      const float sa = s[3] / 255.0f, da = d[3] / 255.0f;
      const float a = sa + da * (1 - sa);
      for (int k = 0; k < 3; ++k)
        d[k] = a > 0 ? static_cast<uint8_t>((s[k] * sa + d[k] * da * (1 - sa)) / a + 0.5f) : 0;
      d[3] = static_cast<uint8_t>(a * 255 + 0.5f);
    }
}

Image AppIcon(int size) {
  // The square: a gradient from light to dark blue with a dark border, as in the program's windows.
  Canvas canvas(size, size >= 24 ? 3 : 6);
  const Sdf square = Box(0.96f, 0.96f, 31.04f, 31.04f, 6.4f);
  canvas.Outlined(square, Linear(0, 1, Hex(0x3B78D0), 0, 31, Hex(0x16337A)), Hex(0x10265C),
                  std::max(1.0f, static_cast<float>(size) / 32.0f));
  Image icon = canvas.Resolve();
  // The padlock at 72 % of the size, a little below the middle.
  const Glyph* padlock = FindGlyph("padlock");
  const int glyph = static_cast<int>(size * 0.72);
  if (padlock && glyph > 0) {
    Image lock = Render(*padlock, glyph);
    Over(icon, lock, (size - glyph) / 2, static_cast<int>(std::lround((size - glyph) / 2.0 + size * 0.02)));
  }
  return icon;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: qm_make_app_icon OUTDIR SIZE...\n");
    return 2;
  }
  const std::filesystem::path out = argv[1];
  for (int i = 2; i < argc; ++i) {
    const int size = std::atoi(argv[i]);
    if (size < 8 || size > 1024) {
      std::fprintf(stderr, "qm_make_app_icon: not a size: %s\n", argv[i]);
      return 2;
    }
    const std::string name = std::to_string(size) + "x" + std::to_string(size);
    const std::filesystem::path dir = out / "hicolor" / name / "apps";
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    const std::string png = WritePng(AppIcon(size));
    std::ofstream file(dir / "quillmar.png", std::ios::binary | std::ios::trunc);
    file.write(png.data(), static_cast<std::streamsize>(png.size()));
    file.close();
    if (!file || ec) {
      std::fprintf(stderr, "qm_make_app_icon: cannot write %s\n", (dir / "quillmar.png").string().c_str());
      return 1;
    }
  }
  return 0;
}
