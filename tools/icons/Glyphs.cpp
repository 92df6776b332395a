#include "Glyphs.h"

#include <algorithm>
#include <string>

namespace quillmar::icons {

namespace {

// Palette.
constexpr uint32_t kBlue = 0x2F7FD8, kGreen = 0x3DA34A, kRed = 0xD64541, kGold = 0xE9B21E, kYellow = 0xF2C230,
                   kSlate = 0x3A4450, kSteel = 0x9AA5B1, kBrown = 0x8B5A2B, kDark = 0x2D3339;

const RGBA kWhite = Hex(0xFFFFFF);

// A detail line: at least one pixel wide.
float W(const Canvas& c, float units) {
  return std::max(units, c.Px());
}

// A stroke that carries the shape: at least two pixels wide, so that it stays solid at 16 pixels
// instead of turning into a blur of half-covered pixels.
float Bold(const Canvas& c, float units) {
  return std::max(units, 2.0f * c.Px());
}

// The inside of a shape less its one-pixel border, for details that must stay within it.
Sdf Inner(const Canvas& c, const Sdf& s) {
  return Grow(s, -c.Px());
}

Paint Screen() {
  return Linear(0, 6, Hex(0x7FC0F5), 0, 24, Hex(0x2F6FC0));
}

void Folder(Canvas& c) {
  c.Body(Box(3, 5, 14, 12, 1.5f), 0xD99A1E);
  c.Body(Box(3, 8, 29, 27, 2), 0xE0A526);
  c.Body(Polygon({{6, 13}, {30.5f, 13}, {28, 27}, {3, 27}}), 0xF5C542);
}

void Globe(Canvas& c) {
  Sdf ball = Circle(16, 16, 13.5f);
  c.Body(ball, kBlue);
  Sdf in = Inner(c, ball);
  RGBA line = Hex(0xDDEBFA);
  float w = W(c, 1.3f);
  c.Fill(Intersect(in, Stroke(Ellipse(16, 16, 5.5f, 13.5f), w)), line);
  c.Fill(Intersect(in, Segment(16, 0, 16, 32, w)), line);
  c.Fill(Intersect(in, Segment(0, 16, 32, 16, w)), line);
  if (!c.Small()) {
    c.Fill(Intersect(in, Segment(0, 9, 32, 9, w)), line);
    c.Fill(Intersect(in, Segment(0, 23, 32, 23, w)), line);
  }
}

void Browser(Canvas& c) {
  Sdf frame = Box(2, 4, 30, 28, 2.5f);
  c.Body(frame, 0x3A7BD5);
  c.Fill(Box(4, 10, 28, 26, 0.8f), kWhite);
  if (c.Small()) {
    c.Fill(Box(6, 13, 26, 15, 0.5f), Hex(0x9DB7D9));
  } else {
    c.Fill(Circle(6.5f, 7, 1.2f), Hex(0xFF6058));
    c.Fill(Circle(10, 7, 1.2f), Hex(0xFFBD2E));
    c.Fill(Circle(13.5f, 7, 1.2f), Hex(0x28C940));
    c.Fill(Box(6, 12, 26, 15, 1), Hex(0xC9D6E8));
    c.Fill(Segment(7, 19, 23, 19, 1.4f), Hex(0x9AA5B1));
    c.Fill(Segment(7, 23, 18, 23, 1.4f), Hex(0x9AA5B1));
  }
}

void Envelope(Canvas& c) {
  Sdf paper = Box(2, 7, 30, 25, 2);
  c.Body(paper, 0xF3EEDC);
  Sdf in = Inner(c, paper);
  float w = W(c, 1.6f);
  c.Fill(Intersect(in, Polyline({{2.5f, 8}, {16, 18.5f}, {29.5f, 8}}, w)), Hex(0x8C7B55));
  c.Fill(Intersect(in, Segment(3, 24.5f, 12.5f, 15.5f, W(c, 1.2f))), Hex(0xB5A77F));
  c.Fill(Intersect(in, Segment(29, 24.5f, 19.5f, 15.5f, W(c, 1.2f))), Hex(0xB5A77F));
}

void Card(Canvas& c) {
  Sdf card = Box(1.5f, 6, 30.5f, 26, 2.5f);
  c.Body(card, 0x2E8B57);
  Sdf in = Inner(c, card);
  c.Fill(Intersect(in, Box(0, 9.5f, 32, 13.5f)), Hex(0x1E2A33));
  c.Body(Box(5, 16, 11.5f, 21.5f, 1), 0xE8C252);
  if (!c.Small()) c.Fill(Segment(15, 22, 27, 22, 1.5f), Hex(0xCFEBDC));
}

void Bank(Canvas& c) {
  const uint32_t stone = 0xC3CAD1;
  c.Body(Polygon({{16, 2}, {30.5f, 10.5f}, {1.5f, 10.5f}}), stone);
  for (float x : {7.5f, 16.0f, 24.5f}) c.Body(Box(x - 2.2f, 12, x + 2.2f, 25), stone);
  c.Body(Box(3, 9.5f, 29, 13), stone);
  c.Body(Box(1.5f, 24, 30.5f, 29, 0.8f), stone);
}

void Key(Canvas& c) {
  // The shaft and the bit are at least three pixels thick at 16 pixels, so that they show their
  // colour inside the border; at 16 pixels the bit is one broad tooth.
  float h = c.Small() ? 3.2f : 2.9f;  // half the shaft's thickness
  Sdf key = Union(Circle(8.5f, 16, 7.5f), Box(13, 16 - h, 30.5f, 16 + h, 1));
  if (c.Small()) {
    key = Union(key, Box(23, 16, 30.5f, 24.5f, 0.8f));
  } else {
    key = Union(key, Box(21.5f, 16, 25, 24, 0.6f));
    key = Union(key, Box(27, 16, 30.5f, 22, 0.6f));
  }
  key = Subtract(key, Circle(6.5f, 16, c.Small() ? 2.6f : 2.4f));
  c.Body(Rotate(key, 16, 16, 45), kGold);
}

void IdBadge(Canvas& c) {
  Sdf card = Box(2.5f, 6, 29.5f, 27, 2.5f);
  c.Body(card, 0xEEF3F8);
  Sdf in = Inner(c, card);
  c.Fill(Intersect(in, Box(0, 0, 32, 11)), Hex(kBlue));
  c.Fill(Box(13, 3.5f, 19, 8.5f, 1), Hex(0x6B7885));
  c.Fill(Circle(10, 15.8f, 2.9f), Hex(0x5B6B7A));
  c.Fill(Intersect(Ellipse(10, 25, 5.2f, 5), Intersect(in, Box(0, 0, 32, 25))), Hex(0x5B6B7A));
  RGBA gray = Hex(0x8C99A6);
  float w = W(c, 1.5f);
  c.Fill(Segment(17.5f, 15.5f, 26, 15.5f, w), gray);
  c.Fill(Segment(17.5f, 19.5f, 26, 19.5f, w), gray);
  if (!c.Small()) c.Fill(Segment(17.5f, 23.5f, 22.5f, 23.5f, w), gray);
}

void Note(Canvas& c) {
  Sdf sheet = Polygon({{4, 3}, {28, 3}, {28, 21}, {21, 28.5f}, {4, 28.5f}});
  c.Body(sheet, 0xF7D154);
  c.Body(Polygon({{28, 21}, {21, 21}, {21, 28.5f}}), 0xD9AE2E);
  RGBA ink = Hex(0xA9841C);
  float w = W(c, 1.5f);
  c.Fill(Segment(8, 9, 24, 9, w), ink);
  c.Fill(Segment(8, 14, 24, 14, w), ink);
  c.Fill(Segment(8, 19, 17, 19, w), ink);
}

void Disc(Canvas& c) {
  Sdf disc = Subtract(Circle(16, 16, 13.5f), Circle(16, 16, 2.6f));
  c.Body(disc, 0xC9D3DD);
  Sdf in = Inner(c, disc);
  c.Fill(Intersect(in, Intersect(Subtract(Circle(16, 16, 12), Circle(16, 16, 6)), Wedge(16, 16, 200, 250))),
         Hex(0x9FE3F0, 0.9f));
  c.Fill(Intersect(in, Intersect(Subtract(Circle(16, 16, 12), Circle(16, 16, 6)), Wedge(16, 16, 20, 70))),
         Hex(0xF3A6D8, 0.9f));
  c.Fill(Ring(16, 16, 5, W(c, 1.4f)), Hex(0x7D8A97));
}

void StarGlyph(Canvas& c) {
  c.Body(Star(16, 17, 15, 6.6f, 5), kYellow);
}

void Computer(Canvas& c) {
  c.Body(Polygon({{13, 21}, {19, 21}, {20.5f, 26.5f}, {11.5f, 26.5f}}), 0x8A939B);
  c.Body(Box(7, 25.5f, 25, 29, 1.2f), 0x8A939B);
  c.Body(Box(1.5f, 3.5f, 30.5f, 22, 2), kSlate);
  c.Fill(Box(4, 6, 28, 19.5f, 0.5f), Screen());
}

void Padlock(Canvas& c) {
  c.Body(Intersect(Stroke(Box(9.5f, 3.5f, 22.5f, 22, 6.5f), Bold(c, 3.6f)), Box(0, 0, 32, 16)), 0xA0A8B0);
  Sdf body = Box(5, 14, 27, 29.5f, 2.5f);
  c.Body(body, kGold);
  RGBA hole = Hex(0x5A4208);
  c.Fill(Circle(16, 20, 2.4f), hole);
  c.Fill(Polygon({{14.8f, 20}, {17.2f, 20}, {18.2f, 25.5f}, {13.8f, 25.5f}}), hole);
}

void At(Canvas& c) {
  // Strokes of two pixels at 16 pixels and three at 32, with a clear pixel or two between them.
  RGBA ink = Hex(0x2F6FC0);
  float w = c.Small() ? 4.4f : 3.6f;
  float outer = c.Small() ? 11.6f : 12.6f, inner = c.Small() ? 4.6f : 5.2f;
  float stem = 16 + inner + w / 2 - 0.2f;
  c.Fill(Intersect(Ring(16, 16, outer, w), Wedge(16, 16, 45, 360)), ink);
  c.Fill(Ring(16, 16, inner, w), ink);
  c.Fill(Polyline({{stem, 9.5f}, {stem, 19}, {stem + 2, 21.8f}, {stem + 5, 22.6f}}, w), ink);
}

void Coins(Canvas& c) {
  for (float y : {21.5f, 15.5f, 9.5f}) {
    c.Body(Union(Ellipse(16, y + 3.5f, 11, 4), Box(5, y, 27, y + 3.5f)), 0xC9911A);
    c.Body(Ellipse(16, y, 11, 4), 0xF2C94C);
  }
}

void Wallet(Canvas& c) {
  c.Body(Rotate(Box(6, 4, 22, 13, 1.5f), 14, 8.5f, -10), kBlue);
  c.Body(Box(2.5f, 8.5f, 29, 28, 3), kBrown);
  c.Body(Box(17, 13.5f, 30.5f, 23, 2.5f), 0xB07A42);
  c.Fill(Circle(21.5f, 18.2f, 1.9f), Hex(0xF0D27A));
}

void Home(Canvas& c) {
  c.Body(Box(21, 4.5f, 25.5f, 13), 0x9C3B32);
  c.Body(Box(5.5f, 13, 26.5f, 29), 0xF1E3C8);
  c.Body(Polygon({{16, 2.5f}, {31, 15.5f}, {1, 15.5f}}), kRed);
  c.Body(Box(13, 19.5f, 19, 29, 1), kBrown);
  if (!c.Small()) c.Fill(Box(7.8f, 18, 11.3f, 21.5f, 0.5f), Hex(0x7FC0F5));
}

void Car(Canvas& c) {
  c.Body(Union(Box(1.5f, 14.5f, 30.5f, 24, 3), Polygon({{7.5f, 15}, {11, 7.5f}, {22, 7.5f}, {26.5f, 15}})),
         kRed);
  RGBA glass = Hex(0xBFE3F5);
  c.Fill(Polygon({{10.5f, 14}, {12.6f, 9.5f}, {15.5f, 9.5f}, {15.5f, 14}}), glass);
  c.Fill(Polygon({{17.5f, 14}, {17.5f, 9.5f}, {21, 9.5f}, {23.8f, 14}}), glass);
  for (float x : {8.5f, 23.5f}) {
    c.Body(Circle(x, 24, 4.2f), kDark);
    c.Fill(Circle(x, 24, 1.6f), Hex(0xB0B8C0));
  }
}

void Plane(Canvas& c) {
  // Broad wings and a fat fuselage: at 16 pixels thin wings are only border.
  Sdf p = Segment(16, 3, 16, 29, 6);
  p = Union(p, Polygon({{16, 8.5f}, {31, 17.5f}, {31, 22}, {16, 19}, {1, 22}, {1, 17.5f}}));
  p = Union(p, Polygon({{16, 22.5f}, {23.5f, 27}, {23.5f, 30.5f}, {16, 29}, {8.5f, 30.5f}, {8.5f, 27}}));
  c.Body(Rotate(p, 16, 16, 45), 0x4A90D9);
}

void Cart(Canvas& c) {
  // A mid-grey frame, so that the cart shows on dark backgrounds as well as on light ones.
  RGBA frame = Hex(0x6B7785);
  c.Body(Polygon({{7, 8}, {30.5f, 8}, {26.5f, 19}, {9.5f, 19}}), kGreen);
  c.Fill(Polyline({{1.5f, 5}, {6, 5}, {9.5f, 22}, {26.5f, 22}}, Bold(c, 3)), frame);
  if (!c.Small()) {
    c.Fill(Segment(14.5f, 9.5f, 15.5f, 17.5f, 1.2f), Hex(0x1F6A2B));
    c.Fill(Segment(21.5f, 9.5f, 21, 17.5f, 1.2f), Hex(0x1F6A2B));
  }
  c.Body(Circle(11.5f, 27, 3.4f), 0x6B7785);
  c.Body(Circle(24, 27, 3.4f), 0x6B7785);
}

void Gift(Canvas& c) {
  c.Body(Rotate(Ellipse(11, 7.5f, 5, 3.2f), 11, 7.5f, 25), kYellow);
  c.Body(Rotate(Ellipse(21, 7.5f, 5, 3.2f), 21, 7.5f, -25), kYellow);
  c.Body(Box(4, 14, 28, 29.5f, 1.5f), kRed);
  c.Body(Box(2.5f, 9.5f, 29.5f, 15, 1.5f), 0xE25A4F);
  c.Fill(Box(13.8f, 10.5f, 18.2f, 28.5f), Hex(kYellow));
}

void Heart(Canvas& c) {
  Sdf h = Union(Circle(10.2f, 11.5f, 7.3f), Circle(21.8f, 11.5f, 7.3f));
  h = Union(h, Polygon({{3.4f, 14.5f}, {28.6f, 14.5f}, {16, 28.5f}}));
  c.Body(h, 0xE0445A);
}

void Phone(Canvas& c) {
  c.Body(Box(8.5f, 1.5f, 23.5f, 30.5f, 3), kDark);
  c.Fill(Box(10.8f, 5, 21.2f, 24.5f, 0.5f), Screen());
  c.Fill(Circle(16, 27.3f, c.Small() ? 1.0f : 1.4f), Hex(0x8A939B));
}

void Laptop(Canvas& c) {
  c.Body(Box(4.5f, 4, 27.5f, 21.5f, 1.5f), kSlate);
  c.Fill(Box(6.8f, 6.3f, 25.2f, 19.2f, 0.3f), Screen());
  c.Body(Polygon({{4, 20.5f}, {28, 20.5f}, {31.5f, 26.5f}, {0.5f, 26.5f}}), 0xAEB7C0);
  if (!c.Small()) c.Fill(Box(13, 22.3f, 19, 23.8f, 0.5f), Hex(0x7D8791));
}

void Wifi(Canvas& c) {
  // Three bands do not fit in 16 pixels at a readable width: there it has two, each two pixels wide.
  RGBA ink = Hex(kBlue);
  if (c.Small()) {
    for (float r : {9.5f, 18.0f})
      c.Fill(Intersect(Ring(16, 26.5f, r, 5.0f), Wedge(16, 26.5f, -135, -45)), ink);
    c.Fill(Circle(16, 26.5f, 3.8f), ink);
  } else {
    for (float r : {8.5f, 15.0f, 21.5f})
      c.Fill(Intersect(Ring(16, 27.5f, r, 4.0f), Wedge(16, 27.5f, -135, -45)), ink);
    c.Fill(Circle(16, 27.5f, 3.4f), ink);
  }
}

void Cloud(Canvas& c) {
  Sdf s = Union(Circle(10.5f, 18.5f, 6.5f), Circle(18, 13.5f, 8.5f));
  s = Union(s, Union(Circle(24.5f, 19, 6), Box(4, 18, 30.5f, 25.5f, 6)));
  c.Body(s, 0x8FBCE8);
}

void Server(Canvas& c) {
  for (int i = 0; i < 3; ++i) {
    float y = 2.5f + 9.3f * static_cast<float>(i);
    c.Body(Box(3.5f, y, 28.5f, y + 8.3f, 1.5f), 0x5B6B7A);
    c.Fill(Circle(8, y + 4.15f, 1.6f), Hex(0x4CD964));
    c.Fill(Segment(13, y + 4.15f, 24.5f, y + 4.15f, W(c, 1.4f)), Hex(0x2A333C));
  }
}

void Game(Canvas& c) {
  Sdf pad = Union(Box(3, 9, 29, 21, 6), Union(Circle(8.5f, 21, 5.8f), Circle(23.5f, 21, 5.8f)));
  c.Body(pad, 0x4A4F8C);
  RGBA light = Hex(0xE8EAF6);
  c.Fill(Box(6, 14, 13, 17, 0.4f), light);
  c.Fill(Box(8, 12, 11, 19, 0.4f), light);
  c.Fill(Circle(21.5f, 13.8f, 1.8f), Hex(0xFF6B6B));
  c.Fill(Circle(25, 17.2f, 1.8f), Hex(0x6BE58B));
}

void Music(Canvas& c) {
  // Stems and beam of at least two pixels at 16 pixels, three at 32; a lighter purple than the
  // palette's so that the notes show on dark backgrounds.
  float s = c.Small() ? 4.4f : 3.8f;
  Sdf n = Union(Rotate(Ellipse(8.5f, 25, 5.6f, 4.2f), 8.5f, 25, -20),
                Rotate(Ellipse(23, 22, 5.6f, 4.2f), 23, 22, -20));
  n = Union(n, Union(Box(13.8f - s, 6.5f, 13.8f, 24.5f), Box(28.2f - s, 3.5f, 28.2f, 21.5f)));
  n = Union(n, Polygon({{13.8f - s, 7}, {28.2f, 3}, {28.2f, 9.5f}, {13.8f - s, 13.5f}}));
  c.Body(n, 0xA274E0);
}

void Camera(Canvas& c) {
  c.Body(Box(9.5f, 5, 20.5f, 12, 1.5f), kSlate);
  c.Body(Box(1.5f, 9, 30.5f, 27.5f, 3), kSlate);
  c.Body(Circle(16, 18.2f, 7), kSteel);
  c.Fill(Circle(16, 18.2f, 4.2f), Hex(0x1F2A36));
  c.Fill(Circle(14.5f, 16.7f, 1.3f), WithAlpha(kWhite, 0.85f));
  c.Fill(Box(24, 11.5f, 28, 14.3f, 0.6f), Hex(kYellow));
}

void Person(Canvas& c) {
  c.Body(Intersect(Ellipse(16, 31, 13, 13), Box(0, 0, 32, 30.5f)), 0x3D7CC9);
  c.Body(Circle(16, 10.5f, 7), 0xF0C8A0);
}

void Chat(Canvas& c) {
  c.Body(Union(Box(1.5f, 3.5f, 30.5f, 22.5f, 5), Polygon({{7, 20}, {15, 20}, {5.5f, 29}})), kGreen);
  for (float x : {9.5f, 16.0f, 22.5f}) c.Fill(Circle(x, 13, 2.1f), kWhite);
}

void Calendar(Canvas& c) {
  Sdf page = Box(2.5f, 5, 29.5f, 29.5f, 2.5f);
  c.Body(page, 0xF4F6F8);
  c.Fill(Intersect(Inner(c, page), Box(0, 0, 32, 12)), Hex(kRed));
  RGBA ring = Hex(kDark);
  c.Fill(Box(8, 2, 11, 8.5f, 1.2f), ring);
  c.Fill(Box(21, 2, 24, 8.5f, 1.2f), ring);
  RGBA cell = Hex(0x9AA5B1);
  for (float y : {15.0f, 21.5f})
    for (float x : {6.5f, 13.5f, 20.5f}) c.Fill(Box(x, y, x + 5, y + 4.5f, 0.5f), cell);
  c.Fill(Box(20.5f, 21.5f, 25.5f, 26, 0.5f), Hex(kRed));
}

void Clock(Canvas& c) {
  c.Body(Circle(16, 16, 14), kBlue);
  c.Fill(Circle(16, 16, 11), Hex(0xF7F9FB));
  RGBA hand = Hex(kDark);
  c.Fill(Segment(16, 16, 16, 8, 2.4f), hand);
  c.Fill(Segment(16, 16, 21.5f, 19.5f, 2.4f), hand);
  if (!c.Small())
    for (int i = 0; i < 12; i += 3)
      c.Fill(Rotate(Box(15.3f, 5.8f, 16.7f, 7.8f), 16, 16, 30.0f * static_cast<float>(i)), Hex(0x7D8A97));
}

void Shield(Canvas& c) {
  c.Body(Polygon({{16, 2},
                  {22, 4.5f},
                  {28, 5.5f},
                  {28, 15},
                  {25.5f, 21},
                  {21, 26},
                  {16, 30},
                  {11, 26},
                  {6.5f, 21},
                  {4, 15},
                  {4, 5.5f},
                  {10, 4.5f}}),
         kBlue);
  c.Fill(Polyline({{10, 16}, {14.5f, 20.5f}, {22.5f, 11}}, 3.2f), kWhite);
}

void Briefcase(Canvas& c) {
  c.Fill(Intersect(Stroke(Box(11.5f, 3.5f, 20.5f, 12, 2), 2.6f), Box(0, 0, 32, 10)), Hex(0x5E3A17));
  Sdf body = Box(1.5f, 9, 30.5f, 28.5f, 2.5f);
  c.Body(body, kBrown);
  c.Fill(Intersect(Inner(c, body), Box(0, 16, 32, 17.6f)), Hex(0x5E3A17));
  c.Fill(Box(13.8f, 14, 18.2f, 19.5f, 0.8f), Hex(0xE9C46A));
}

void Health(Canvas& c) {
  c.Body(Box(2.5f, 2.5f, 29.5f, 29.5f, 6), 0xF4F6F8);
  c.Body(Union(Box(12.3f, 6.5f, 19.7f, 25.5f, 1), Box(6.5f, 12.3f, 25.5f, 19.7f, 1)), 0xE04848);
}

void Book(Canvas& c) {
  c.Body(Box(7, 5, 28, 30, 1.5f), 0xFBFBF7);
  c.Body(Box(4, 2.5f, 25, 27, 1.5f), 0x2E6DB4);
  c.Fill(Box(4.9f, 3.4f, 8, 26.1f), Hex(0x1F4F86));
  c.Fill(Box(11.5f, 7.5f, 21.5f, 12, 0.6f), Hex(kYellow));
}

void Bolt(Canvas& c) {
  // Broad arms, and orange rather than the star's yellow, so the two never pass for each other.
  c.Body(Polygon({{17, 1}, {4, 18.5f}, {13.5f, 18.5f}, {9, 31}, {28, 12}, {18.5f, 12}, {25, 1}}), 0xF39C12);
}

void Pin(Canvas& c) {
  Sdf p = Union(Circle(16, 12, 9.5f), Polygon({{7.6f, 16.5f}, {24.4f, 16.5f}, {16, 30.5f}}));
  c.Body(Subtract(p, Circle(16, 12, 3.6f)), kRed);
}

void Gear(Canvas& c) {
  Sdf g = Circle(16, 16, 10);
  for (int i = 0; i < 8; ++i)
    g = Union(g, Rotate(Box(13.6f, 1.5f, 18.4f, 8, 1), 16, 16, 45.0f * static_cast<float>(i)));
  c.Body(Subtract(g, Circle(16, 16, 4.2f)), 0x8A939B);
}

const std::vector<Glyph> kGlyphs = {
    {"folder", Folder},     {"globe", Globe},   {"browser", Browser}, {"envelope", Envelope},
    {"card", Card},         {"bank", Bank},     {"key", Key},         {"idbadge", IdBadge},
    {"note", Note},         {"disc", Disc},     {"star", StarGlyph},  {"computer", Computer},
    {"padlock", Padlock},   {"at", At},         {"coins", Coins},     {"wallet", Wallet},
    {"home", Home},         {"car", Car},       {"plane", Plane},     {"cart", Cart},
    {"gift", Gift},         {"heart", Heart},   {"phone", Phone},     {"laptop", Laptop},
    {"wifi", Wifi},         {"cloud", Cloud},   {"server", Server},   {"game", Game},
    {"music", Music},       {"camera", Camera}, {"person", Person},   {"chat", Chat},
    {"calendar", Calendar}, {"clock", Clock},   {"shield", Shield},   {"briefcase", Briefcase},
    {"health", Health},     {"book", Book},     {"bolt", Bolt},       {"pin", Pin},
    {"gear", Gear},
};

}  // namespace

const std::vector<Glyph>& AllGlyphs() {
  return kGlyphs;
}

const Glyph* FindGlyph(std::string_view name) {
  for (const Glyph& g : kGlyphs)
    if (name == g.name) return &g;
  return nullptr;
}

Image Render(const Glyph& glyph, int pixels) {
  Canvas canvas(pixels);
  glyph.draw(canvas);
  return canvas.Resolve();
}

}  // namespace quillmar::icons
