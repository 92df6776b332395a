#include "screenshots/Screenshots.h"

#include <QDir>
#include <QTemporaryDir>
#include <algorithm>
#include <map>
#include <set>

#include "screenshots/ScreenshotScene.h"

namespace quillmar {

namespace {

std::map<std::string, std::vector<TqmScreenshotRow>>& Areas() {
  static std::map<std::string, std::vector<TqmScreenshotRow>> areas;
  return areas;
}

}  // namespace

TqmScreenshotRows::TqmScreenshotRows(const char* area, std::vector<TqmScreenshotRow> rows) {
  auto& list = Areas()[area];
  for (TqmScreenshotRow& row : rows) list.push_back(std::move(row));
}

std::vector<TqmScreenshotRow> ScreenshotTable() {
  std::vector<TqmScreenshotRow> table;
  for (const auto& [area, rows] : Areas()) table.insert(table.end(), rows.begin(), rows.end());
  return table;
}

bool TqmScreenshotRun::Ok() const {
  return error.isEmpty() &&
         std::all_of(rows.begin(), rows.end(), [](const auto& r) { return r.error.isEmpty(); });
}

bool IsBlankImage(const QImage& image) {
  if (image.isNull() || image.width() < 8 || image.height() < 8) return true;
  const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
  std::set<QRgb> colours;
  for (int y = 0; y < rgb.height(); y += 2) {
    const auto* line = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
    for (int x = 0; x < rgb.width(); x += 2) {
      colours.insert(line[x]);
      if (colours.size() > 16) return false;
    }
  }
  return true;
}

TqmScreenshotRun WriteScreenshots(const std::vector<TqmScreenshotRow>& rows, const QString& folder,
                                  const QString& only) {
  TqmScreenshotRun run;
  std::vector<const TqmScreenshotRow*> chosen;
  QStringList names;
  for (const TqmScreenshotRow& row : rows) {
    names << row.file;
    if (only.isEmpty() || row.file == only) chosen.push_back(&row);
  }
  if (chosen.empty()) {
    run.error = only.isEmpty() ? QStringLiteral("The table has no rows.")
                               : QStringLiteral("No screenshot is named %1. The table has: %2")
                                     .arg(only, names.join(QStringLiteral(", ")));
    return run;
  }
  if (!QDir().mkpath(folder)) {
    run.error = QStringLiteral("The folder %1 cannot be made.").arg(folder);
    return run;
  }
  QTemporaryDir sceneFolder;
  if (!sceneFolder.isValid()) {
    run.error = QStringLiteral("No folder for the demo Safes can be made.");
    return run;
  }
  TqmScreenshotScene scene(sceneFolder.path());
  for (const TqmScreenshotRow* row : chosen) {
    TqmScreenshotResult result{row->file, QString(), QString()};
    QPixmap picture;
    try {
      picture = row->take(scene);
    } catch (const std::exception& e) {
      result.error = QString::fromUtf8(e.what());
    }
    const QStringList problems = scene.FinishRow();
    if (result.error.isEmpty() && !problems.isEmpty()) result.error = problems.join(QStringLiteral("; "));
    if (result.error.isEmpty() && IsBlankImage(picture.toImage()))
      result.error = QStringLiteral("the picture is blank");
    if (result.error.isEmpty()) {
      const QString file = QDir(folder).filePath(row->file);
      if (picture.save(file, "PNG"))
        result.path = file;
      else
        result.error = QStringLiteral("%1 cannot be written").arg(file);
    }
    run.rows.push_back(result);
  }
  return run;
}

}  // namespace quillmar
