#pragma once
// TssSysIcons: the File Locker's icons at one size (16 or 32 pixels). Each key owns two pictures:
// the plain one and one with the lock drawn over it at the left edge (17 pixels down on 32-pixel
// icons, 1 pixel down on 16-pixel ones). A file's key is its lower-cased extension, and its picture
// the one the desktop shows for that type (the MIME database and the icon theme; the style's file
// icon when the theme has none); folders and the up item have keys of their own. Pictures are made
// on first use and kept.
#include <QHash>
#include <QPixmap>
#include <QString>

class QStyle;

namespace quillmar {

class TssSysIcons {
public:
  enum class TKind { File, Folder, Up };

  TssSysIcons(int size, QStyle* style);

  int Size() const { return size_; }
  // The picture of an item (name: the file's name, for its extension); locked: with the lock.
  QPixmap Picture(TKind kind, const QString& name, bool locked);
  // The key of a file name: its lower-cased extension ("" when it has none).
  static QString KeyOf(const QString& fileName);
  // How many keys are known.
  int Count() const { return static_cast<int>(pictures_.size()); }

private:
  QPixmap Plain(TKind kind, const QString& key);
  QPixmap WithLock(const QPixmap& plain) const;

  int size_;
  QStyle* style_;
  QHash<QString, std::pair<QPixmap, QPixmap>> pictures_;
};

// TssSysIconsSmall and TssSysIconsLarge: the two sizes the list uses.
class TssSysIconsSmall : public TssSysIcons {
public:
  explicit TssSysIconsSmall(QStyle* style) : TssSysIcons(16, style) {}
};
class TssSysIconsLarge : public TssSysIcons {
public:
  explicit TssSysIconsLarge(QStyle* style) : TssSysIcons(32, style) {}
};

}  // namespace quillmar
