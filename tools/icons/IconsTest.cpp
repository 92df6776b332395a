#include <gtest/gtest.h>
#include <zlib.h>

#include <cmath>
#include <set>
#include <string>
#include <vector>

#include "Glyphs.h"
#include "IcoFile.h"
#include "Raster.h"
#include "safe/TemplateContent.h"

namespace quillmar::icons {
namespace {

uint32_t Le32(const std::string& s, size_t at) {
  return uint32_t(uint8_t(s[at])) | uint32_t(uint8_t(s[at + 1])) << 8 | uint32_t(uint8_t(s[at + 2])) << 16 |
         uint32_t(uint8_t(s[at + 3])) << 24;
}
uint32_t Be32(const std::string& s, size_t at) {
  return uint32_t(uint8_t(s[at])) << 24 | uint32_t(uint8_t(s[at + 1])) << 16 |
         uint32_t(uint8_t(s[at + 2])) << 8 | uint32_t(uint8_t(s[at + 3]));
}

// Mean difference of two same-size images over colour and alpha, both composited on mid grey.
double Difference(const Image& a, const Image& b) {
  double sum = 0;
  for (int y = 0; y < a.height; ++y)
    for (int x = 0; x < a.width; ++x)
      for (int k = 0; k < 3; ++k) {
        auto on = [&](const Image& im) {
          const uint8_t* p = im.At(x, y);
          return p[k] * (p[3] / 255.0) + 128 * (1 - p[3] / 255.0);
        };
        sum += std::fabs(on(a) - on(b));
      }
  return sum / (a.width * a.height * 3);
}

TEST(Raster, EdgesAreAntiAliasedAndFillsExact) {
  Canvas c(32, 4);
  c.Fill(Box(4, 4, 12, 12), Hex(0xFF0000));        // exactly on pixel edges
  c.Fill(Box(20, 4, 20.5f, 12), Hex(0x00FF00));    // half a pixel wide
  c.Fill(Circle(16, 24, 6), Hex(0x0000FF, 0.5f));  // half transparent
  Image img = c.Resolve();
  EXPECT_EQ(img.At(4, 4)[3], 255);
  EXPECT_EQ(img.At(4, 4)[2], 255);  // BGRA: red is the third byte
  EXPECT_EQ(img.At(3, 4)[3], 0);
  EXPECT_EQ(img.At(12, 4)[3], 0);
  EXPECT_NEAR(img.At(20, 8)[3], 128, 1);
  EXPECT_EQ(img.At(20, 8)[1], 255);  // straight alpha: the colour stays pure
  EXPECT_NEAR(img.At(16, 24)[3], 128, 1);
  int partial = 0;
  for (int x = 0; x < 32; ++x) partial += img.At(x, 18)[3] > 0 && img.At(x, 18)[3] < 128;
  EXPECT_GT(partial, 0);  // the circle's top edge is soft
}

TEST(Raster, LaterPaintsCoverEarlierOnes) {
  Canvas c(16);
  c.Fill(Box(0, 0, 32, 32), Hex(0x102030));
  c.Fill(Box(0, 0, 16, 32), Hex(0xFFFFFF, 0.5f));
  Image img = c.Resolve();
  EXPECT_EQ(img.At(12, 8)[0], 0x30);
  EXPECT_NEAR(img.At(2, 8)[0], (0x30 + 255) / 2, 1);
  EXPECT_EQ(img.At(2, 8)[3], 255);
}

TEST(IcoFile, LayoutIsTheStandardTwoImageDibIcon) {
  const Glyph* key = FindGlyph("key");
  ASSERT_NE(key, nullptr);
  Image small = Render(*key, 16), big = Render(*key, 32);
  std::string ico = WriteIco({small, big});
  const size_t dib16 = 40 + 16 * 16 * 4 + 4 * 16, dib32 = 40 + 32 * 32 * 4 + 4 * 32;
  ASSERT_EQ(ico.size(), 6 + 2 * 16 + dib16 + dib32);
  EXPECT_EQ(ico.substr(0, 6), std::string("\0\0\1\0\2\0", 6));
  EXPECT_EQ(uint8_t(ico[6]), 16);
  EXPECT_EQ(uint8_t(ico[22]), 32);
  EXPECT_EQ(Le32(ico, 6 + 8), dib16);
  EXPECT_EQ(Le32(ico, 6 + 12), 38u);
  EXPECT_EQ(Le32(ico, 22 + 12), 38 + dib16);
  EXPECT_EQ(Le32(ico, 38), 40u);      // BITMAPINFOHEADER
  EXPECT_EQ(Le32(ico, 38 + 8), 32u);  // height doubled
  EXPECT_EQ(uint8_t(ico[38 + 14]), 32);

  auto back = ReadIco(ico);
  ASSERT_EQ(back.size(), 2u);
  EXPECT_EQ(back[0].bgra, small.bgra);
  EXPECT_EQ(back[1].bgra, big.bgra);
  EXPECT_TRUE(IcoMasksMatchAlpha(ico));
  // The bottom row of the 16-pixel colour bitmap comes first.
  EXPECT_EQ(ico.substr(38 + 40, 64), std::string(reinterpret_cast<const char*>(small.At(0, 15)), 64));
}

TEST(IcoFile, DamagedFilesAreRefused) {
  std::string ico = WriteIco({Render(AllGlyphs()[0], 16)});
  EXPECT_THROW(ReadIco(ico.substr(0, 4)), EIconFormat);
  EXPECT_THROW(ReadIco(ico.substr(0, ico.size() - 1)), EIconFormat);
  std::string wrongType = ico;
  wrongType[2] = 2;  // a cursor file
  EXPECT_THROW(ReadIco(wrongType), EIconFormat);
  std::string wrongSize = ico;
  wrongSize[6] = 32;
  EXPECT_THROW(ReadIco(wrongSize), EIconFormat);
  Image notSquare;
  notSquare.width = 16;
  notSquare.height = 8;
  notSquare.bgra.resize(16 * 8 * 4);
  EXPECT_THROW(WriteIco({notSquare}), EIconFormat);
}

TEST(IcoFile, PngIsWellFormed) {
  Image img = Render(AllGlyphs()[1], 16);
  std::string png = WritePng(img);
  ASSERT_EQ(png.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
  size_t at = 8;
  std::string idat;
  std::vector<std::string> types;
  while (at + 12 <= png.size()) {
    uint32_t len = Be32(png, at);
    std::string td = png.substr(at + 4, 4 + len);
    EXPECT_EQ(Be32(png, at + 8 + len),
              crc32(0, reinterpret_cast<const Bytef*>(td.data()), static_cast<uInt>(td.size())));
    types.push_back(td.substr(0, 4));
    if (types.back() == "IDAT") idat += td.substr(4);
    at += 12 + len;
  }
  EXPECT_EQ(at, png.size());
  EXPECT_EQ(types, (std::vector<std::string>{"IHDR", "IDAT", "IEND"}));
  std::string raw(16 * (1 + 16 * 4), '\0');
  uLongf rawLen = static_cast<uLongf>(raw.size());
  ASSERT_EQ(uncompress(reinterpret_cast<Bytef*>(raw.data()), &rawLen,
                       reinterpret_cast<const Bytef*>(idat.data()), static_cast<uLong>(idat.size())),
            Z_OK);
  EXPECT_EQ(rawLen, raw.size());
  const uint8_t* p = img.At(5, 7);
  const char* q = raw.data() + 7 * 65 + 1 + 5 * 4;  // RGBA in the PNG
  EXPECT_EQ(uint8_t(q[0]), p[2]);
  EXPECT_EQ(uint8_t(q[2]), p[0]);
  EXPECT_EQ(uint8_t(q[3]), p[3]);
}

// What makes a glyph read at its size, measured on its pixels.
struct Legibility {
  double ink = 0;    // share of the square covered, counting each pixel by its alpha
  double clear = 0;  // share of fully transparent pixels
  double bold = 0;   // share of covered pixels that lie in a covered block of 2 x 2 (16 px) or 3 x 3 (32 px)
  double soft = 0;   // share of the drawn pixels that are only partly covered
  double onLight = 0;  // share of pixels that stand out from a light background
  double onDark = 0;   // ... and from a dark one
};

Legibility Measure(const Image& img) {
  const int n = img.width, block = n <= 16 ? 2 : 3;
  const int kCovered = 160;  // alpha of a pixel that reads as part of the shape
  auto alpha = [&](int x, int y) { return x < 0 || y < 0 || x >= n || y >= n ? 0 : int(img.At(x, y)[3]); };
  auto solidBlock = [&](int x0, int y0) {
    for (int y = y0; y < y0 + block; ++y)
      for (int x = x0; x < x0 + block; ++x)
        if (alpha(x, y) < kCovered) return false;
    return true;
  };
  Legibility m;
  int covered = 0, inBlock = 0, drawn = 0, soft = 0, onLight = 0, onDark = 0;
  for (int y = 0; y < n; ++y)
    for (int x = 0; x < n; ++x) {
      const uint8_t* p = img.At(x, y);
      const int a = p[3];
      m.ink += a / 255.0;
      m.clear += a == 0;
      if (a > 25) ++drawn;
      if (a > 25 && a < 224) ++soft;
      if (a >= kCovered) {
        ++covered;
        bool found = false;
        for (int dy = 1 - block; dy <= 0 && !found; ++dy)
          for (int dx = 1 - block; dx <= 0 && !found; ++dx) found = solidBlock(x + dx, y + dy);
        inBlock += found;
      }
      // Luminance of the pixel composited on the background, against the background alone.
      const double lum = 0.299 * p[2] + 0.587 * p[1] + 0.114 * p[0], k = a / 255.0;
      onLight += std::fabs(lum * k + 238 * (1 - k) - 238) >= 48;
      onDark += std::fabs(lum * k + 48 * (1 - k) - 48) >= 48;
    }
  const double area = n * n;
  m.ink /= area;
  m.clear /= area;
  m.bold = covered ? double(inBlock) / covered : 0;
  m.soft = drawn ? double(soft) / drawn : 1;
  m.onLight = onLight / area;
  m.onDark = onDark / area;
  return m;
}

TEST(Glyphs, MeasureTellsBoldFromThinAndCrispFromBlurred) {
  // The measure itself: a 2-pixel bar is bold at 16, a 1-pixel hairline is not; a box on pixel
  // edges is crisp, a hairline on a half pixel is all soft pixels.
  Canvas bar(16), hair(16), dark(16);
  bar.Fill(Box(4, 4, 28, 8), Hex(0xFFFFFF));
  hair.Fill(Box(4, 5, 28, 7), Hex(0xFFFFFF));
  dark.Fill(Box(4, 4, 28, 28), Hex(0x303030));
  Legibility b = Measure(bar.Resolve()), h = Measure(hair.Resolve()), d = Measure(dark.Resolve());
  EXPECT_DOUBLE_EQ(b.bold, 1.0);
  EXPECT_DOUBLE_EQ(b.soft, 0.0);
  EXPECT_DOUBLE_EQ(h.bold, 0.0);
  Canvas half(16);
  half.Fill(Box(4, 5, 28, 6), Hex(0xFFFFFF));
  EXPECT_DOUBLE_EQ(Measure(half.Resolve()).soft, 1.0);
  EXPECT_GT(d.onLight, 0.5);
  EXPECT_DOUBLE_EQ(d.onDark, 0.0);  // dark grey on a dark background does not show
}

TEST(Glyphs, EveryGlyphReadsAtBothSizes) {
  const auto& glyphs = AllGlyphs();
  EXPECT_GE(glyphs.size(), 40u);
  std::set<std::string> names;
  for (const Glyph& g : glyphs) {
    EXPECT_TRUE(names.insert(g.name).second) << g.name;
    for (int size : {16, 32}) {
      SCOPED_TRACE(std::string(g.name) + " at " + std::to_string(size));
      Legibility m = Measure(Render(g, size));
      // It fills a fair part of its square and leaves some of it clear.
      EXPECT_GE(m.ink, 0.20);
      EXPECT_GE(m.clear, 0.05);
      // Its strokes are at least two pixels wide at 16 and three at 32: no hairlines.
      EXPECT_GE(m.bold, size == 16 ? 0.85 : 0.80);
      // Its edges are sharp: mostly fully covered pixels, not a haze of half-covered ones.
      EXPECT_LE(m.soft, size == 16 ? 0.55 : 0.40);
      // It shows on a light and on a dark background (lists, menus, a dark desktop panel).
      EXPECT_GE(m.onLight, 0.15);
      EXPECT_GE(m.onDark, 0.15);
    }
  }
}

TEST(Glyphs, NoTwoGlyphsLookAlike) {
  const auto& glyphs = AllGlyphs();
  for (int size : {16, 32}) {
    std::vector<Image> images;
    for (const Glyph& g : glyphs) images.push_back(Render(g, size));
    for (size_t i = 0; i < glyphs.size(); ++i)
      for (size_t j = i + 1; j < glyphs.size(); ++j)
        EXPECT_GT(Difference(images[i], images[j]), 12.0)
            << glyphs[i].name << " and " << glyphs[j].name << " look alike at " << size;
  }
}

TEST(Glyphs, TheTemplateSafeNamesOnlyIconsThatAreDrawn) {
  for (const std::string& name : TemplateCategoryIcons())
    EXPECT_NE(FindGlyph(name.substr(0, name.size() - 4)), nullptr) << name;
  for (const std::string& name : TemplateEntryIcons())
    EXPECT_NE(FindGlyph(name.substr(0, name.size() - 4)), nullptr) << name;
  EXPECT_GE(TemplateCategoryIcons().size(), 10u);
  EXPECT_GE(TemplateEntryIcons().size(), 30u);
}

}  // namespace
}  // namespace quillmar::icons
