// Draws the project's icons and writes each as a two-image (16 and 32 pixels) ".ico" file.
//
//   qm_make_icons OUTDIR [--sheet FILE.png]
//
// OUTDIR receives NAME.ico for every glyph and icons.txt, the list of names written. With --sheet
// a contact sheet of all icons (enlarged and at their real sizes) is written as PNG for review.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "Glyphs.h"
#include "IcoFile.h"

using namespace quillmar::icons;

namespace {

bool WriteFile(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) {
    std::fprintf(stderr, "qm_make_icons: cannot write %s\n", path.string().c_str());
    return false;
  }
  return true;
}

// Draws src scaled by an integer factor onto dst at (x0, y0), blending over what is there.
void Blit(Image& dst, const Image& src, int x0, int y0, int scale) {
  for (int y = 0; y < src.height * scale; ++y)
    for (int x = 0; x < src.width * scale; ++x) {
      const uint8_t* s = src.At(x / scale, y / scale);
      uint8_t* d = dst.At(x0 + x, y0 + y);
      float a = s[3] / 255.0f;
      for (int k = 0; k < 3; ++k) d[k] = static_cast<uint8_t>(s[k] * a + d[k] * (1 - a) + 0.5f);
      d[3] = 255;
    }
}

Image ContactSheet() {
  const auto& glyphs = AllGlyphs();
  const int cellW = 244, cellH = 104, cols = 4;
  const int rows = static_cast<int>((glyphs.size() + cols - 1) / cols);
  Image sheet;
  sheet.width = cellW * cols;
  sheet.height = cellH * rows;
  sheet.bgra.assign(static_cast<size_t>(sheet.width * sheet.height * 4), 0);
  for (int y = 0; y < sheet.height; ++y)
    for (int x = 0; x < sheet.width; ++x) {
      uint8_t* p = sheet.At(x, y);
      bool dark = x % cellW >= 204 && y % cellH >= 84;  // a dark patch to judge the icons on
      p[0] = p[1] = p[2] = dark ? 0x30 : 0xEE;
      p[3] = 255;
    }
  for (size_t i = 0; i < glyphs.size(); ++i) {
    int cx = static_cast<int>(i % cols) * cellW, cy = static_cast<int>(i / cols) * cellH;
    Image big = Render(glyphs[i], 32), small = Render(glyphs[i], 16);
    Blit(sheet, big, cx + 4, cy + 4, 3);
    Blit(sheet, small, cx + 104, cy + 4, 6);
    Blit(sheet, big, cx + 206, cy + 4, 1);
    Blit(sheet, small, cx + 206, cy + 44, 1);
    Blit(sheet, small, cx + 206, cy + 86, 1);
  }
  return sheet;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 && !(argc == 4 && std::string(argv[2]) == "--sheet")) {
    std::fprintf(stderr, "usage: qm_make_icons OUTDIR [--sheet FILE.png]\n");
    return 2;
  }
  std::filesystem::path dir = argv[1];
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  if (ec) {
    std::fprintf(stderr, "qm_make_icons: cannot create %s: %s\n", dir.string().c_str(), ec.message().c_str());
    return 1;
  }
  std::string index;
  for (const Glyph& g : AllGlyphs()) {
    std::string ico = WriteIco({Render(g, 16), Render(g, 32)});
    if (!WriteFile(dir / (std::string(g.name) + ".ico"), ico)) return 1;
    index += std::string(g.name) + ".ico\n";
  }
  if (argc == 4 && !WriteFile(argv[3], WritePng(ContactSheet()))) return 1;
  // Written last: its presence tells the build that every icon is there.
  return WriteFile(dir / "icons.txt", index) ? 0 : 1;
}
