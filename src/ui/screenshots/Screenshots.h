#pragma once
// The screenshots of the desktop program: every window in a fixed, readable state on a demo Safe,
// written as PNG files. Run offscreen (QT_QPA_PLATFORM=offscreen) by `make screenshots` and by the
// tests, which check that each file is there and not blank.
#include <QImage>
#include <QString>
#include <QStringList>

namespace quillmar {

// The file names WriteScreenshots writes, in order.
QStringList ScreenshotNames();

// Writes the screenshots into folder (made when missing) from a demo Safe in a temporary home
// folder. Returns the files written; on failure error says what went wrong and the result holds
// what was written until then. Needs a QApplication.
QStringList WriteScreenshots(const QString& folder, QString* error = nullptr);

// One colour everywhere (or no picture at all).
bool IsBlankImage(const QImage& image);

}  // namespace quillmar
