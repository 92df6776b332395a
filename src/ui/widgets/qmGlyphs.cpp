#include "widgets/qmGlyphs.h"

#include <QFile>
#include <QHash>
#include <QIconEngine>
#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>
#include <memory>

namespace quillmar {

namespace {

// Renders the SVG at the size asked for; disabled: drawn at low opacity and without colour.
class TSvgIconEngine : public QIconEngine {
public:
  explicit TSvgIconEngine(QByteArray svg) : svg_(std::move(svg)) {}

  void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State) override {
    QSvgRenderer renderer(svg_);
    if (mode == QIcon::Disabled) {
      // Grey, lighter: drawn into an image first so that the colour can be taken away.
      const qreal dpr = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
      QImage image(rect.size() * dpr, QImage::Format_ARGB32_Premultiplied);
      image.fill(Qt::transparent);
      {
        QPainter p(&image);
        renderer.render(&p);
      }
      for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
          const int a = qAlpha(line[x]);
          const int v = std::min(a, 150 * a / 255);
          line[x] = qRgba(v, v, v, a * 2 / 5);
        }
      }
      image.setDevicePixelRatio(dpr);
      painter->drawImage(rect, image);
      return;
    }
    renderer.render(painter, rect);
  }

  QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
    QPixmap pm(size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    paint(&p, QRect(QPoint(0, 0), size), mode, state);
    return pm;
  }

  QIconEngine* clone() const override { return new TSvgIconEngine(svg_); }
  QString key() const override { return QStringLiteral("quillmar-svg"); }

private:
  QByteArray svg_;
};

}  // namespace

QIcon ButtonGlyph(const QString& resourceName) {
  static QHash<QString, QByteArray> cache;
  auto it = cache.find(resourceName);
  if (it == cache.end()) {
    QFile file(QStringLiteral(":/glyphs/%1.svg").arg(resourceName));
    QByteArray svg;
    if (file.open(QIODevice::ReadOnly)) svg = file.readAll();
    it = cache.insert(resourceName, svg);
  }
  if (it->isEmpty()) return QIcon();
  return QIcon(new TSvgIconEngine(*it));
}

}  // namespace quillmar
