#include "widgets/qmStrengthMeter.h"

#include <QPainter>
#include <cmath>

#include "base/SecureWipe.h"
#include "widgets/qmText.h"

namespace quillmar {

namespace {

QColor BandColour(TqmStrengthBand band) {
  switch (band) {
    case TqmStrengthBand::VeryWeak:
      return QColor(0xc6, 0x28, 0x28);
    case TqmStrengthBand::Weak:
      return QColor(0xe6, 0x7e, 0x22);
    case TqmStrengthBand::Fair:
      return QColor(0xd4, 0xac, 0x0d);
    case TqmStrengthBand::Strong:
      return QColor(0x4c, 0xa3, 0x3b);
    case TqmStrengthBand::VeryStrong:
      return QColor(0x1e, 0x7d, 0x32);
  }
  return Qt::gray;
}

}  // namespace

TqmStrengthMeter::TqmStrengthMeter(QWidget* parent) : QWidget(parent) {
  QFont f = font();
  f.setPointSizeF(f.pointSizeF() * 0.8);
  setFont(f);
  setAttribute(Qt::WA_OpaquePaintEvent, false);
}

void TqmStrengthMeter::SetPassword(const QString& password) {
  empty_ = password.isEmpty();
  cut_ = password.size() > kEstimatedCharacters;
  QString head = cut_ ? password.left(kEstimatedCharacters) : password;
  std::string utf8 = ToUtf8(head);
  strength_ = EstimateStrength(utf8);
  WipeString(utf8);
  WipeQString(head);
  setToolTip(empty_ ? QString()
                    : QStringLiteral("Estimated strength: how many guesses (as a power of two) an attacker "
                                     "who knows common passwords would need."));
  update();
}

QString TqmStrengthMeter::Text() const {
  if (empty_) return QString();
  return QStringLiteral("%1, %2%3 bits")
      .arg(QString::fromLatin1(StrengthBandName(strength_.band)))
      .arg(cut_ ? QStringLiteral("at least ") : QString())
      .arg(static_cast<int>(std::floor(strength_.bits)));
}

QSize TqmStrengthMeter::sizeHint() const {
  return QSize(160, fontMetrics().height() + 2);
}

void TqmStrengthMeter::paintEvent(QPaintEvent*) {
  if (empty_) return;
  QPainter p(this);
  const QString text = Text();
  const int textWidth = fontMetrics().horizontalAdvance(text) + 8;
  const int barWidth = std::max(20, width() - textWidth);
  const int barHeight = 5;
  const QRect bar(0, (height() - barHeight) / 2, barWidth, barHeight);
  p.fillRect(bar, QColor(0xe2, 0xe5, 0xea));
  // 128 bits fill the bar: beyond that nothing is gained.
  const double share = std::clamp(strength_.bits / 128.0, 0.04, 1.0);
  p.fillRect(QRect(bar.left(), bar.top(), static_cast<int>(bar.width() * share), bar.height()),
             BandColour(strength_.band));
  p.setPen(palette().color(QPalette::WindowText));
  p.drawText(QRect(barWidth + 6, 0, width() - barWidth - 6, height()), Qt::AlignLeft | Qt::AlignVCenter,
             text);
}

}  // namespace quillmar
