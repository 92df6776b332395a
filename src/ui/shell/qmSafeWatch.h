#pragma once
// TqmSafeWatch: tells the frame when the open Safe's file may have been changed by another program
// (the command line beside the desktop). It watches the file, for a change written in place, and the
// file's folder, because a file replaced by a rename is a new file that a watch on the old one no
// longer sees: when the folder changes and the file is there unwatched, the watch takes it up again.
// The signals of one change (the journal's and the Safe's several writes) are gathered for a short
// while and told once through changed(). It never reads the Safe: what changed is the core's to say
// (TqmGlobal::RefreshFromDisk), under its read lock.
#include <QObject>
#include <QString>
#include <QTimer>

class QFileSystemWatcher;

namespace quillmar {

class TqmSafeWatch : public QObject {
  Q_OBJECT
public:
  // settleMs: how long signals are gathered before changed() is emitted.
  explicit TqmSafeWatch(QObject* parent = nullptr, int settleMs = 150);

  // Watches this file (and its folder) from now on; "" stops watching. Signals of an earlier file
  // that are still being gathered are dropped.
  void Follow(const QString& file);
  const QString& File() const { return file_; }
  // The file itself is watched (false while it is missing, between a rename's two steps).
  bool WatchingFile() const;

signals:
  // The file or its folder changed; emitted once per gathered run of signals.
  void changed();

private:
  void FileSignal(const QString& path);
  void FolderSignal(const QString& path);
  // Takes the file up again when it exists and is not watched; true when it did.
  bool RewatchFile();

  QFileSystemWatcher* watcher_;
  QTimer settle_;
  QString file_;
  QString folder_;
};

}  // namespace quillmar
