#include "repository/fields/qmFieldContext.h"

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

}  // namespace quillmar::fields
