#include "widgets/qmIconImages.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QPainter>

#include "icons/IcoFile.h"

namespace quillmar {

namespace {

icons::Image ToIconImage(const QImage& source, int size) {
  QImage square(size, size, QImage::Format_ARGB32);
  square.fill(Qt::transparent);
  {
    QPainter p(&square);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    const QImage scaled = source.scaled(size, size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    p.drawImage((size - scaled.width()) / 2, (size - scaled.height()) / 2, scaled);
  }
  icons::Image image;
  image.width = size;
  image.height = size;
  image.bgra.resize(static_cast<size_t>(size) * size * 4);
  for (int y = 0; y < size; ++y) {
    const auto* line = reinterpret_cast<const QRgb*>(square.constScanLine(y));
    for (int x = 0; x < size; ++x) {
      uint8_t* px = image.At(x, y);
      px[0] = static_cast<uint8_t>(qBlue(line[x]));
      px[1] = static_cast<uint8_t>(qGreen(line[x]));
      px[2] = static_cast<uint8_t>(qRed(line[x]));
      px[3] = static_cast<uint8_t>(qAlpha(line[x]));
    }
  }
  return image;
}

}  // namespace

QPixmap IconPixmap(const std::string& iconBytes, int size) {
  if (iconBytes.empty()) return QPixmap();
  QByteArray data = QByteArray::fromRawData(iconBytes.data(), static_cast<qsizetype>(iconBytes.size()));
  QBuffer buffer(&data);
  buffer.open(QIODevice::ReadOnly);
  QImageReader reader(&buffer);
  reader.setDecideFormatFromContent(true);
  QImage best;
  const int count = std::max(1, reader.imageCount());
  for (int i = 0; i < count; ++i) {
    if (i > 0 && !reader.jumpToImage(i)) break;
    QImage image = reader.read();
    if (image.isNull()) continue;
    const bool bigEnough = image.width() >= size;
    const bool bestBigEnough = !best.isNull() && best.width() >= size;
    if (best.isNull() || (bigEnough && (!bestBigEnough || image.width() < best.width())) ||
        (!bigEnough && !bestBigEnough && image.width() > best.width()))
      best = image;
  }
  if (best.isNull()) return QPixmap();
  if (best.width() != size || best.height() != size)
    best = best.scaled(size, size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
  return QPixmap::fromImage(best);
}

std::string IcoFromImage(const QImage& image) {
  const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
  return icons::WriteIco({ToIconImage(argb, 16), ToIconImage(argb, 32)});
}

bool ReadIconFile(const QString& path, std::string& bytes, QString* problem) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    if (problem) *problem = file.errorString();
    return false;
  }
  const QByteArray data = file.readAll();
  if (file.error() != QFileDevice::NoError) {
    if (problem) *problem = file.errorString();
    return false;
  }
  const std::string raw(data.constData(), static_cast<size_t>(data.size()));
  QBuffer buffer;
  buffer.setData(data);
  buffer.open(QIODevice::ReadOnly);
  QImageReader reader(&buffer);
  reader.setDecideFormatFromContent(true);
  const QByteArray format = reader.format();
  const QImage image = reader.read();
  if (image.isNull()) {
    if (problem) *problem = QStringLiteral("it holds no picture this program can read");
    return false;
  }
  bytes = format == "ico" ? raw : IcoFromImage(image);
  return true;
}

}  // namespace quillmar
