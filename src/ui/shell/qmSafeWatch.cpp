#include "shell/qmSafeWatch.h"

#include <QFileInfo>
#include <QFileSystemWatcher>

namespace quillmar {

TqmSafeWatch::TqmSafeWatch(QObject* parent, int settleMs)
    : QObject(parent), watcher_(new QFileSystemWatcher(this)) {
  settle_.setSingleShot(true);
  settle_.setInterval(settleMs);
  connect(&settle_, &QTimer::timeout, this, [this] {
    // A rename seen only as the file's removal: the new file may be there by now.
    RewatchFile();
    emit changed();
  });
  connect(watcher_, &QFileSystemWatcher::fileChanged, this, &TqmSafeWatch::FileSignal);
  connect(watcher_, &QFileSystemWatcher::directoryChanged, this, &TqmSafeWatch::FolderSignal);
}

void TqmSafeWatch::Follow(const QString& file) {
  settle_.stop();
  const QStringList watched = watcher_->files() + watcher_->directories();
  if (!watched.isEmpty()) watcher_->removePaths(watched);
  file_ = file;
  folder_.clear();
  if (file_.isEmpty()) return;
  folder_ = QFileInfo(file_).absolutePath();
  watcher_->addPath(folder_);
  RewatchFile();
}

bool TqmSafeWatch::WatchingFile() const {
  return !file_.isEmpty() && watcher_->files().contains(file_);
}

bool TqmSafeWatch::RewatchFile() {
  if (file_.isEmpty() || WatchingFile() || !QFileInfo::exists(file_)) return false;
  return watcher_->addPath(file_);
}

void TqmSafeWatch::FileSignal(const QString& path) {
  if (path != file_) return;
  settle_.start();
}

void TqmSafeWatch::FolderSignal(const QString& path) {
  if (path != folder_) return;
  // Other files of the folder (the journal, the settings file, copies) come and go with every change;
  // only a Safe file that came back unwatched is news here. A change in place is the file's own signal.
  if (RewatchFile()) settle_.start();
}

}  // namespace quillmar
