// qm_screenshots OUTDIR: writes the desktop program's screenshots (run with QT_QPA_PLATFORM=offscreen).
#include <QApplication>
#include <QImage>
#include <cstdio>

#include "screenshots/Screenshots.h"

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: qm_screenshots OUTDIR\n");
    return 2;
  }
  QString error;
  const QStringList files = quillmar::WriteScreenshots(QString::fromLocal8Bit(argv[1]), &error);
  for (const QString& file : files) {
    const bool blank = quillmar::IsBlankImage(QImage(file));
    std::printf("%s%s\n", file.toLocal8Bit().constData(), blank ? "  (BLANK)" : "");
    if (blank) error = QStringLiteral("%1 is blank").arg(file);
  }
  if (!error.isEmpty()) {
    std::fprintf(stderr, "qm_screenshots: %s\n", error.toLocal8Bit().constData());
    return 1;
  }
  return files.size() == quillmar::ScreenshotNames().size() ? 0 : 1;
}
