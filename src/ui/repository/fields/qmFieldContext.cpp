#include "repository/fields/qmFieldContext.h"

#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>

namespace quillmar::fields {

int RowHeight(const QWidget* reference) {
  // A line edit's own wish decides, so that no box is squeezed below its text on larger fonts.
  static int cached = 0;
  static QFont cachedFont;
  const QFont font = reference ? reference->font() : QFont();
  if (cached == 0 || font != cachedFont) {
    QLineEdit probe;
    probe.setFont(font);
    cached = std::max(24, probe.sizeHint().height() + 2);
    cachedFont = font;
  }
  return cached;
}

char DecimalSeparator() {
  const QString point = QLocale().decimalPoint();
  const char c = point.isEmpty() ? '.' : point.at(0).toLatin1();
  return c == 0 ? '.' : c;
}

QString ShortDateFormat() {
  QString format = QLocale().dateFormat(QLocale::ShortFormat);
  if (!format.contains(QLatin1String("yyyy"))) format.replace(QLatin1String("yy"), QLatin1String("yyyy"));
  return format;
}

QDate DateOfDay(int day) {
  return QDate(1899, 12, 30).addDays(day);
}

int DayOfDate(const QDate& date) {
  return static_cast<int>(QDate(1899, 12, 30).daysTo(date));
}

QString ControlName(int index, const char* suffix) {
  return QStringLiteral("fld%1%2").arg(index).arg(QLatin1String(suffix));
}

QFrame* MakePanel(QWidget* owner, int index, int width, const QString& caption, QLabel** captionLabel) {
  auto* panel = new QFrame(owner);
  panel->setObjectName(ControlName(index));
  panel->setFrameShape(QFrame::NoFrame);
  panel->setAutoFillBackground(true);
  QPalette white = panel->palette();
  white.setColor(QPalette::Window, Qt::white);
  panel->setPalette(white);
  panel->setGeometry(10, 10, std::max(0, width), RowHeight(owner));
  auto* label = new QLabel(caption, panel);
  label->setObjectName(ControlName(index, "Caption"));
  label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  panel->show();
  *captionLabel = label;
  return panel;
}

}  // namespace quillmar::fields
