#include "widgets/qmPictures.h"

#include <QHash>
#include <QIconEngine>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <cstring>

#include "icons/Glyphs.h"

namespace quillmar {

namespace {

constexpr char kProductTitle[] = "Brelkan Quillmar II";

// The glyph of each tab, and a second one drawn small over its corner ("" for none).
struct TTabGlyphs {
  const char* glyph;
  const char* badge;
};
constexpr TTabGlyphs kTabGlyphs[4] = {{"key", ""}, {"folder", "padlock"}, {"envelope", ""}, {"gear", ""}};

QImage Grayed(const QImage& source, qreal opacity) {
  QImage image = source.convertToFormat(QImage::Format_ARGB32);
  for (int y = 0; y < image.height(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < image.width(); ++x) {
      const QRgb p = line[x];
      const int g = qGray(p);
      // Lighter grey, so that the active tab stands out.
      const int v = std::min(255, 90 + g * 2 / 3);
      line[x] = qRgba(v, v, v, static_cast<int>(qAlpha(p) * opacity));
    }
  }
  return image;
}

}  // namespace

QImage GlyphImage(const char* name, int size) {
  // Drawing is slow (anti-aliased by supersampling): each glyph is drawn once per size.
  static QHash<QPair<QString, int>, QImage> cache;
  const QPair<QString, int> key(QString::fromLatin1(name), size);
  if (auto it = cache.constFind(key); it != cache.constEnd()) return *it;
  const icons::Glyph* glyph = icons::FindGlyph(name);
  QImage image(size, size, QImage::Format_ARGB32);
  image.fill(Qt::transparent);
  if (glyph == nullptr || size <= 0) return image;
  // Larger pictures have pixels enough for a lighter anti-aliasing (the icon files use 6 x 6).
  icons::Canvas canvas(size, size >= 24 ? 3 : 6);
  glyph->draw(canvas);
  const icons::Image drawn = canvas.Resolve();
  for (int y = 0; y < drawn.height && y < size; ++y)
    std::memcpy(image.scanLine(y), drawn.At(0, y), static_cast<size_t>(std::min(drawn.width, size)) * 4);
  cache.insert(key, image);
  return image;
}

QPixmap ApplicationPicture(int size) {
  static QHash<int, QPixmap> cache;
  if (auto it = cache.find(size); it != cache.end()) return *it;
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  const qreal r = size * 0.2;
  QRectF box(size * 0.03, size * 0.03, size * 0.94, size * 0.94);
  QLinearGradient fill(box.topLeft(), box.bottomLeft());
  fill.setColorAt(0, QColor(0x3b, 0x78, 0xd0));
  fill.setColorAt(1, QColor(0x16, 0x33, 0x7a));
  p.setPen(QPen(QColor(0x10, 0x26, 0x5c), std::max(1.0, size / 32.0)));
  p.setBrush(fill);
  p.drawRoundedRect(box, r, r);
  const int glyph = static_cast<int>(size * 0.72);
  p.drawImage(QPointF((size - glyph) / 2.0, (size - glyph) / 2.0 + size * 0.02),
              GlyphImage("padlock", glyph));
  p.end();
  cache.insert(size, pixmap);
  return pixmap;
}

namespace {

// The application icon drawn at the size asked for, when it is asked for: drawing every size up
// front would slow the start.
class TApplicationIconEngine : public QIconEngine {
public:
  void paint(QPainter* painter, const QRect& rect, QIcon::Mode, QIcon::State) override {
    const int size = std::min(rect.width(), rect.height());
    painter->drawPixmap(rect.topLeft(), ApplicationPicture(size));
  }
  QPixmap pixmap(const QSize& size, QIcon::Mode, QIcon::State) override {
    return ApplicationPicture(std::min(size.width(), size.height()));
  }
  QIconEngine* clone() const override { return new TApplicationIconEngine; }
  QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override {
    return {QSize(16, 16), QSize(22, 22), QSize(24, 24),   QSize(32, 32),
            QSize(48, 48), QSize(64, 64), QSize(128, 128), QSize(256, 256)};
  }
};

}  // namespace

QIcon ApplicationIcon() {
  return QIcon(new TApplicationIconEngine);
}

QPixmap LogoPicture() {
  return ApplicationPicture(48);
}

QPixmap LoginTopPicture(int width, int height, bool withLogo) {
  QPixmap pixmap(width, height);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.setRenderHint(QPainter::TextAntialiasing);
  QLinearGradient fill(0, 0, width, height);
  fill.setColorAt(0, QColor(0x16, 0x33, 0x7a));
  fill.setColorAt(1, QColor(0x3b, 0x78, 0xd0));
  p.fillRect(pixmap.rect(), fill);
  // A band of faint keys along the right edge.
  const QImage key = Grayed(GlyphImage("key", height - 16), 0.18);
  for (int x = width - (height - 16) - 8; x > width / 2; x -= height + 4) p.drawImage(x, 8, key);
  const int logo = withLogo ? std::min(48, height - 16) : 0;
  if (withLogo) p.drawPixmap(14, (height - logo) / 2, ApplicationPicture(logo));
  QFont title = p.font();
  title.setPixelSize(std::max(12, height / 3));
  title.setBold(true);
  p.setFont(title);
  p.setPen(Qt::white);
  const int textLeft = withLogo ? 14 + logo + 14 : 18;
  p.drawText(QRect(textLeft, 8, width - textLeft - 8, height / 2 - 2), Qt::AlignLeft | Qt::AlignBottom,
             QString::fromLatin1(kProductTitle));
  const QString subtitle = QStringLiteral("Passwords, files and messages in one encrypted Safe");
  QFont sub = p.font();
  sub.setBold(false);
  // As large as fits the banner's width.
  for (int size = std::max(10, height / 6); size >= 8; --size) {
    sub.setPixelSize(size);
    if (QFontMetrics(sub).horizontalAdvance(subtitle) <= width - textLeft - 10) break;
  }
  p.setFont(sub);
  p.setPen(QColor(0xdc, 0xe8, 0xfa));
  p.drawText(QRect(textLeft, height / 2 + 2, width - textLeft - 8, height / 2 - 8),
             Qt::AlignLeft | Qt::AlignTop, subtitle);
  p.end();
  return pixmap;
}

QPixmap TabPicture(int tab, bool active, int size) {
  static QHash<int, QPixmap> cache;
  const int key = (std::clamp(tab, 0, 3) * 2 + (active ? 1 : 0)) * 10000 + size;
  if (auto it = cache.constFind(key); it != cache.constEnd()) return *it;
  const TTabGlyphs& glyphs = kTabGlyphs[std::clamp(tab, 0, 3)];
  QImage image(size, size, QImage::Format_ARGB32);
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  if (active) {
    p.setPen(QPen(QColor(0x3b, 0x78, 0xd0), std::max(1.0, size / 24.0)));
    p.setBrush(QColor(0xdc, 0xe8, 0xfa));
    p.drawEllipse(QRectF(1, 1, size - 2, size - 2));
  }
  const int glyph = static_cast<int>(size * 0.66);
  const qreal at = (size - glyph) / 2.0;
  p.drawImage(QPointF(at, at), GlyphImage(glyphs.glyph, glyph));
  if (glyphs.badge[0] != '\0') {
    const int badge = static_cast<int>(size * 0.4);
    p.drawImage(QPointF(size - badge - size * 0.1, size - badge - size * 0.08),
                GlyphImage(glyphs.badge, badge));
  }
  p.end();
  if (!active) image = Grayed(image, 0.85);
  const QPixmap pixmap = QPixmap::fromImage(image);
  cache.insert(key, pixmap);
  return pixmap;
}

QImage NamedPicture(const QString& name) {
  if (name == QLatin1String("IDJ_LOGO_48_48")) return LogoPicture().toImage();
  if (name == QLatin1String("IDJ_LOGIN_TOP")) return LoginTopPicture(460, 72, true).toImage();
  if (name == QLatin1String("APP_ICON")) return ApplicationPicture(64).toImage();
  if (name.startsWith(QLatin1String("TAB_"))) {
    bool ok = false;
    const int tab = name.mid(4, 1).toInt(&ok);
    if (ok && tab >= 0 && tab <= 3)
      return TabPicture(tab, name.endsWith(QLatin1String("_ACTIVE")), 40).toImage();
  }
  return {};
}

}  // namespace quillmar
