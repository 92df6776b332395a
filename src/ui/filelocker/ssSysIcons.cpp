#include "filelocker/ssSysIcons.h"

#include <QFileInfo>
#include <QIcon>
#include <QMimeDatabase>
#include <QPainter>
#include <QStyle>

#include "widgets/qmPictures.h"

namespace quillmar {

namespace {

// Keys of their own for folders and the up item: no extension can hold a "/".
const QString kFolderKey = QStringLiteral("/folder");
const QString kUpKey = QStringLiteral("/up");

}  // namespace

TssSysIcons::TssSysIcons(int size, QStyle* style) : size_(size), style_(style) {}

QString TssSysIcons::KeyOf(const QString& fileName) {
  return QFileInfo(fileName).suffix().toLower();
}

QPixmap TssSysIcons::Picture(TKind kind, const QString& name, bool locked) {
  const QString key = kind == TKind::Folder ? kFolderKey : kind == TKind::Up ? kUpKey : KeyOf(name);
  auto it = pictures_.find(key);
  if (it == pictures_.end()) {
    QPixmap plain = Plain(kind, key);
    // Folders and the up item show the same picture in both slots.
    QPixmap overlay = kind == TKind::File ? WithLock(plain) : plain;
    it = pictures_.insert(key, {plain, overlay});
  }
  return locked ? it->second : it->first;
}

QPixmap TssSysIcons::Plain(TKind kind, const QString& key) {
  QIcon icon;
  if (kind == TKind::Folder) {
    icon = QIcon::fromTheme(QStringLiteral("folder"), style_->standardIcon(QStyle::SP_DirIcon));
  } else if (kind == TKind::Up) {
    icon = QIcon::fromTheme(QStringLiteral("go-up"), style_->standardIcon(QStyle::SP_FileDialogToParent));
  } else {
    static const QMimeDatabase mimes;
    const QMimeType type = mimes.mimeTypeForFile(QStringLiteral("x.") + key, QMimeDatabase::MatchExtension);
    icon = QIcon::fromTheme(type.iconName());
    if (icon.isNull()) icon = QIcon::fromTheme(type.genericIconName());
    if (icon.isNull()) icon = style_->standardIcon(QStyle::SP_FileIcon);
  }
  QPixmap picture(size_, size_);
  picture.fill(Qt::transparent);
  QPainter painter(&picture);
  icon.paint(&painter, QRect(0, 0, size_, size_));
  return picture;
}

QPixmap TssSysIcons::WithLock(const QPixmap& plain) const {
  QPixmap picture = plain;
  QPainter painter(&picture);
  const int lock = size_ >= 32 ? 15 : 9;
  const int top = size_ >= 32 ? 17 : 1;
  painter.drawImage(QRect(0, top, lock, lock), GlyphImage("padlock", lock));
  return picture;
}

}  // namespace quillmar
