#pragma once
// A small vector rasteriser for the project's icons.
//
// Shapes are signed distance functions in a 32 x 32 design grid (x to the right, y downwards,
// negative inside); a canvas of any pixel size samples them on a supersampled grid and composites
// paints over each other, so every edge is anti-aliased by averaging the samples of a pixel.
// Widths that must stay crisp at small sizes are given in pixels through Canvas::Px().
#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

namespace quillmar::icons {

// Straight (not premultiplied) colour, each channel 0..1.
struct RGBA {
  float r = 0, g = 0, b = 0, a = 0;
};

// 0xRRGGBB with an alpha.
RGBA Hex(uint32_t rgb, float alpha = 1.0f);
// Mixes towards white (amount > 0) or black (amount < 0).
RGBA Shade(RGBA c, float amount);
RGBA WithAlpha(RGBA c, float alpha);

using Sdf = std::function<float(float x, float y)>;
using Paint = std::function<RGBA(float x, float y)>;

Paint Solid(RGBA c);
// Linear gradient from c0 at (x0, y0) to c1 at (x1, y1), clamped beyond the ends.
Paint Linear(float x0, float y0, RGBA c0, float x1, float y1, RGBA c1);

using Points = std::vector<std::pair<float, float>>;

Sdf Circle(float cx, float cy, float r);
Sdf Ellipse(float cx, float cy, float rx, float ry);
// Axis-aligned rectangle with corner radius r.
Sdf Box(float x0, float y0, float x1, float y1, float r = 0);
// A thick line with round caps; width is the full width.
Sdf Segment(float x0, float y0, float x1, float y1, float width);
// A thick polyline with round joins.
Sdf Polyline(const Points& points, float width);
// A closed polygon (even-odd rule).
Sdf Polygon(const Points& points);
// Ring centred on the circle of radius r, full width w.
Sdf Ring(float cx, float cy, float r, float w);
// The part of the plane at angles a0..a1 (degrees, clockwise from the x axis since y is down)
// seen from (cx, cy).
Sdf Wedge(float cx, float cy, float a0, float a1);
// A star with n points.
Sdf Star(float cx, float cy, float outer, float inner, int n, float rotationDeg = -90);

Sdf Union(Sdf a, Sdf b);
Sdf Intersect(Sdf a, Sdf b);
Sdf Subtract(Sdf a, Sdf b);
// Grows (d > 0) or shrinks (d < 0) the shape.
Sdf Grow(Sdf a, float d);
// The outline of the shape, full width w, centred on its edge.
Sdf Stroke(Sdf a, float w);
Sdf Rotate(Sdf a, float cx, float cy, float degrees);
Sdf Translate(Sdf a, float dx, float dy);

// An image in 32-bit BGRA rows, top row first, straight alpha.
struct Image {
  int width = 0, height = 0;
  std::vector<uint8_t> bgra;
  uint8_t* At(int x, int y) { return &bgra[static_cast<size_t>((y * width + x) * 4)]; }
  const uint8_t* At(int x, int y) const { return &bgra[static_cast<size_t>((y * width + x) * 4)]; }
};

class Canvas {
public:
  explicit Canvas(int pixels, int supersample = 6);

  int Pixels() const { return pixels_; }
  // One pixel in design units.
  float Px() const { return 32.0f / static_cast<float>(pixels_); }
  bool Small() const { return pixels_ <= 16; }

  void Fill(const Sdf& shape, const Paint& paint);
  void Fill(const Sdf& shape, RGBA color) { Fill(shape, Solid(color)); }
  // The shape filled with paint inside a border of the given colour and pixel width.
  void Outlined(const Sdf& shape, const Paint& paint, RGBA line, float linePixels = 1.0f);
  // The house style: a vertical gradient from a lighter tone to base, with a dark border (one pixel,
  // a little less at 16 pixels where a full pixel would swallow thin parts).
  void Body(const Sdf& shape, uint32_t base);

  Image Resolve() const;

private:
  int pixels_;
  int ss_;
  int n_;                       // samples per row
  std::vector<float> samples_;  // premultiplied RGBA
};

}  // namespace quillmar::icons
