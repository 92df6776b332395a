#include "screenshots/Screenshots.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <map>
#include <set>

#include "screenshots/ScreenshotScene.h"

namespace quillmar {

namespace {

std::map<std::string, std::vector<TqmScreenshotRow>>& Areas() {
  static std::map<std::string, std::vector<TqmScreenshotRow>> areas;
  return areas;
}

// The scene's folder: the same name in every run (no random path in a picture), private to the
// user, and held by one run at a time (a second run waits for the first to end). Where the fixed
// folder cannot be had (another user's, or not a folder), a temporary folder stands in and the
// pictures that show a path differ from run to run.
class TSceneFolder {
public:
  TSceneFolder() {
    const QString fixed = QDir::tempPath() + QStringLiteral("/quillmar-screenshots");
    if (Take(fixed)) {
      path_ = fixed;
      return;
    }
    std::fprintf(stderr, "qm_screenshots: %s cannot be used; the pictures show a temporary folder instead\n",
                 QFile::encodeName(fixed).constData());
    if (temp_.isValid()) path_ = temp_.path();
  }
  ~TSceneFolder() {
    if (fd_ < 0) return;
    Empty(path_);
    ::close(fd_);  // lets the next run in
  }
  TSceneFolder(const TSceneFolder&) = delete;
  TSceneFolder& operator=(const TSceneFolder&) = delete;

  // "" when no folder could be had.
  const QString& Path() const { return path_; }

private:
  bool Take(const QString& folder) {
    const QByteArray name = QFile::encodeName(folder);
    if (::mkdir(name.constData(), 0700) != 0 && errno != EEXIST) return false;
    // Ours, a folder, no link: nothing of another user's is written through it.
    fd_ = ::open(name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    struct stat st {};
    if (fd_ < 0 || ::fstat(fd_, &st) != 0 || st.st_uid != ::geteuid() || !S_ISDIR(st.st_mode)) return false;
    if (::fchmod(fd_, 0700) != 0) return false;
    if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
      std::fprintf(stderr, "qm_screenshots: waiting for another screenshot run to end\n");
      if (::flock(fd_, LOCK_EX) != 0) return false;
    }
    // What an earlier run left (one that was killed) goes.
    Empty(folder);
    return true;
  }

  static void Empty(const QString& folder) {
    QDir dir(folder);
    for (const QString& entry :
         dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)) {
      QFileInfo info(dir.filePath(entry));
      if (info.isDir() && !info.isSymLink())
        QDir(info.filePath()).removeRecursively();
      else
        QFile::remove(info.filePath());
    }
  }

  int fd_ = -1;
  QTemporaryDir temp_;
  QString path_;
};

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
  TSceneFolder sceneFolder;
  if (sceneFolder.Path().isEmpty()) {
    run.error = QStringLiteral("No folder for the demo Safes can be made.");
    return run;
  }
  TqmScreenshotScene scene(sceneFolder.Path());
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
