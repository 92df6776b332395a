#include "Raster.h"

#include <algorithm>
#include <cmath>

namespace quillmar::icons {

namespace {
constexpr float kPi = 3.14159265358979f;

float Length(float x, float y) {
  return std::sqrt(x * x + y * y);
}

float SegmentDistance(float px, float py, float x0, float y0, float x1, float y1) {
  float dx = x1 - x0, dy = y1 - y0;
  float len2 = dx * dx + dy * dy;
  float t = len2 > 0 ? std::clamp(((px - x0) * dx + (py - y0) * dy) / len2, 0.0f, 1.0f) : 0.0f;
  return Length(px - (x0 + t * dx), py - (y0 + t * dy));
}
}  // namespace

RGBA Hex(uint32_t rgb, float alpha) {
  return {((rgb >> 16) & 255) / 255.0f, ((rgb >> 8) & 255) / 255.0f, (rgb & 255) / 255.0f, alpha};
}

RGBA Shade(RGBA c, float amount) {
  float t = std::fabs(amount), target = amount > 0 ? 1.0f : 0.0f;
  return {c.r + (target - c.r) * t, c.g + (target - c.g) * t, c.b + (target - c.b) * t, c.a};
}

RGBA WithAlpha(RGBA c, float alpha) {
  return {c.r, c.g, c.b, alpha};
}

Paint Solid(RGBA c) {
  return [c](float, float) { return c; };
}

Paint Linear(float x0, float y0, RGBA c0, float x1, float y1, RGBA c1) {
  float dx = x1 - x0, dy = y1 - y0, len2 = dx * dx + dy * dy;
  return [=](float x, float y) {
    float t = len2 > 0 ? std::clamp(((x - x0) * dx + (y - y0) * dy) / len2, 0.0f, 1.0f) : 0.0f;
    return RGBA{c0.r + (c1.r - c0.r) * t, c0.g + (c1.g - c0.g) * t, c0.b + (c1.b - c0.b) * t,
                c0.a + (c1.a - c0.a) * t};
  };
}

Sdf Circle(float cx, float cy, float r) {
  return [=](float x, float y) { return Length(x - cx, y - cy) - r; };
}

Sdf Ellipse(float cx, float cy, float rx, float ry) {
  return [=](float x, float y) {
    float k = Length((x - cx) / rx, (y - cy) / ry);
    return (k - 1.0f) * std::min(rx, ry);
  };
}

Sdf Box(float x0, float y0, float x1, float y1, float r) {
  float cx = (x0 + x1) / 2, cy = (y0 + y1) / 2, hx = (x1 - x0) / 2, hy = (y1 - y0) / 2;
  r = std::min({r, hx, hy});
  return [=](float x, float y) {
    float qx = std::fabs(x - cx) - hx + r, qy = std::fabs(y - cy) - hy + r;
    return Length(std::max(qx, 0.0f), std::max(qy, 0.0f)) + std::min(std::max(qx, qy), 0.0f) - r;
  };
}

Sdf Segment(float x0, float y0, float x1, float y1, float width) {
  return [=](float x, float y) { return SegmentDistance(x, y, x0, y0, x1, y1) - width / 2; };
}

Sdf Polyline(const Points& points, float width) {
  return [points, width](float x, float y) {
    float d = 1e9f;
    for (size_t i = 0; i + 1 < points.size(); ++i)
      d = std::min(d, SegmentDistance(x, y, points[i].first, points[i].second, points[i + 1].first,
                                      points[i + 1].second));
    return d - width / 2;
  };
}

Sdf Polygon(const Points& points) {
  return [points](float x, float y) {
    float d = 1e9f;
    bool inside = false;
    for (size_t i = 0, j = points.size() - 1; i < points.size(); j = i++) {
      auto [xi, yi] = points[i];
      auto [xj, yj] = points[j];
      d = std::min(d, SegmentDistance(x, y, xj, yj, xi, yi));
      if ((yi > y) != (yj > y) && x < (xj - xi) * (y - yi) / (yj - yi) + xi) inside = !inside;
    }
    return inside ? -d : d;
  };
}

Sdf Ring(float cx, float cy, float r, float w) {
  return Stroke(Circle(cx, cy, r), w);
}

Sdf Wedge(float cx, float cy, float a0, float a1) {
  // Approximate distance (exact sign): the angular difference scaled by the radius.
  return [=](float x, float y) {
    float a = std::atan2(y - cy, x - cx) * 180.0f / kPi;
    float span = a1 - a0;
    float rel = std::fmod(a - a0 + 720.0f, 360.0f);
    float r = Length(x - cx, y - cy);
    if (rel <= span) return -std::min(rel, span - rel) * kPi / 180.0f * r;
    float out = std::min(rel - span, 360.0f - rel);
    return out * kPi / 180.0f * r;
  };
}

Sdf Star(float cx, float cy, float outer, float inner, int n, float rotationDeg) {
  Points pts;
  for (int i = 0; i < 2 * n; ++i) {
    float a = (rotationDeg + 180.0f * static_cast<float>(i) / static_cast<float>(n)) * kPi / 180.0f;
    float r = i % 2 == 0 ? outer : inner;
    pts.emplace_back(cx + r * std::cos(a), cy + r * std::sin(a));
  }
  return Polygon(pts);
}

Sdf Union(Sdf a, Sdf b) {
  return [a, b](float x, float y) { return std::min(a(x, y), b(x, y)); };
}
Sdf Intersect(Sdf a, Sdf b) {
  return [a, b](float x, float y) { return std::max(a(x, y), b(x, y)); };
}
Sdf Subtract(Sdf a, Sdf b) {
  return [a, b](float x, float y) { return std::max(a(x, y), -b(x, y)); };
}
Sdf Grow(Sdf a, float d) {
  return [a, d](float x, float y) { return a(x, y) - d; };
}
Sdf Stroke(Sdf a, float w) {
  return [a, w](float x, float y) { return std::fabs(a(x, y)) - w / 2; };
}
Sdf Rotate(Sdf a, float cx, float cy, float degrees) {
  float c = std::cos(-degrees * kPi / 180.0f), s = std::sin(-degrees * kPi / 180.0f);
  return [=](float x, float y) {
    float dx = x - cx, dy = y - cy;
    return a(cx + dx * c - dy * s, cy + dx * s + dy * c);
  };
}
Sdf Translate(Sdf a, float dx, float dy) {
  return [=](float x, float y) { return a(x - dx, y - dy); };
}

Canvas::Canvas(int pixels, int supersample)
    : pixels_(pixels),
      ss_(supersample),
      n_(pixels * supersample),
      samples_(static_cast<size_t>(n_ * n_ * 4), 0.0f) {}

void Canvas::Fill(const Sdf& shape, const Paint& paint) {
  const float unit = 32.0f / static_cast<float>(n_);
  for (int sy = 0; sy < n_; ++sy) {
    float y = (static_cast<float>(sy) + 0.5f) * unit;
    for (int sx = 0; sx < n_; ++sx) {
      float x = (static_cast<float>(sx) + 0.5f) * unit;
      if (shape(x, y) > 0) continue;
      RGBA c = paint(x, y);
      float* d = &samples_[static_cast<size_t>((sy * n_ + sx) * 4)];
      float k = 1.0f - c.a;
      d[0] = c.r * c.a + d[0] * k;
      d[1] = c.g * c.a + d[1] * k;
      d[2] = c.b * c.a + d[2] * k;
      d[3] = c.a + d[3] * k;
    }
  }
}

void Canvas::Outlined(const Sdf& shape, const Paint& paint, RGBA line, float linePixels) {
  Fill(shape, line);
  Fill(Grow(shape, -linePixels * Px()), paint);
}

void Canvas::Body(const Sdf& shape, uint32_t base) {
  RGBA c = Hex(base);
  // The gradient runs over the whole design grid so that neighbouring parts shade alike.
  Outlined(shape, Linear(0, 2, Shade(c, 0.35f), 0, 30, Shade(c, -0.08f)), Shade(c, Small() ? -0.5f : -0.55f),
           Small() ? 0.75f : 1.0f);
}

Image Canvas::Resolve() const {
  Image img;
  img.width = img.height = pixels_;
  img.bgra.resize(static_cast<size_t>(pixels_ * pixels_ * 4));
  const float count = static_cast<float>(ss_ * ss_);
  for (int py = 0; py < pixels_; ++py)
    for (int px = 0; px < pixels_; ++px) {
      float acc[4] = {0, 0, 0, 0};
      for (int j = 0; j < ss_; ++j)
        for (int i = 0; i < ss_; ++i) {
          const float* s = &samples_[static_cast<size_t>(((py * ss_ + j) * n_ + px * ss_ + i) * 4)];
          for (int k = 0; k < 4; ++k) acc[k] += s[k];
        }
      for (float& v : acc) v /= count;
      uint8_t* out = img.At(px, py);
      float a = acc[3];
      auto to8 = [](float v) {
        return static_cast<uint8_t>(std::lround(std::clamp(v, 0.0f, 1.0f) * 255.0f));
      };
      uint8_t a8 = to8(a);
      if (a8 == 0) {
        out[0] = out[1] = out[2] = out[3] = 0;
        continue;
      }
      out[0] = to8(acc[2] / a);
      out[1] = to8(acc[1] / a);
      out[2] = to8(acc[0] / a);
      out[3] = a8;
    }
  return img;
}

}  // namespace quillmar::icons
