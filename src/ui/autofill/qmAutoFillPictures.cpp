#include "autofill/qmAutoFillPictures.h"

#include <QLinearGradient>
#include <QPainter>

#include "widgets/qmPictures.h"

namespace quillmar {

namespace {

// A browser glyph with a key over its lower right corner.
void DrawBrowserWithKey(QPainter& p, QPointF at, int size) {
  p.drawImage(at, GlyphImage("browser", size));
  const int key = size * 11 / 20;
  p.drawImage(at + QPointF(size - key * 0.85, size - key * 0.9), GlyphImage("key", key));
}

}  // namespace

QPixmap AutoFillTopPicture(int size) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  DrawBrowserWithKey(p, QPointF(0, 0), size * 4 / 5);
  p.end();
  return pixmap;
}

QBrush LeftPanelBrush() {
  QLinearGradient fill(0, 0, 0, 1);
  fill.setCoordinateMode(QGradient::ObjectBoundingMode);
  fill.setColorAt(0, QColor(0x16, 0x33, 0x7a));
  fill.setColorAt(1, QColor(0x3b, 0x78, 0xd0));
  return QBrush(fill);
}

QPixmap AutoFillLeftPicture(int width, int height) {
  // Transparent: it is drawn on the panel's blue (LeftPanelBrush), which fills the panel's height.
  QPixmap pixmap(width, height);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  // A light disc behind the picture, so that its dark strokes show on the blue.
  const int glyph = width * 3 / 5;
  const QPointF centre(width / 2.0, height * 0.34);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0xf4, 0xf7, 0xfc));
  p.drawEllipse(centre, glyph * 0.82, glyph * 0.82);
  DrawBrowserWithKey(p, centre - QPointF(glyph / 2.0, glyph / 2.0), glyph);
  p.drawPixmap(QPointF((width - 40) / 2.0, height - 58), ApplicationPicture(40));
  p.end();
  return pixmap;
}

}  // namespace quillmar
