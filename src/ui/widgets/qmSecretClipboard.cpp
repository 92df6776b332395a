#include "widgets/qmSecretClipboard.h"

#include <QApplication>
#include <QClipboard>
#include <QMimeData>

namespace quillmar {

TqmSecretClipboard& TqmSecretClipboard::Instance() {
  // Made on first use and parented to the application, so that it ends (and clears) with it.
  static QPointer<TqmSecretClipboard> instance;
  if (!instance) {
    instance = new TqmSecretClipboard();
    instance->setParent(QCoreApplication::instance());
  }
  return *instance;
}

TqmSecretClipboard::TqmSecretClipboard() {
  timer_.setSingleShot(true);
  timer_.setInterval(kDefaultClearDelayMs);
  connect(&timer_, &QTimer::timeout, this, &TqmSecretClipboard::Forget);
  connect(qApp, &QCoreApplication::aboutToQuit, this, &TqmSecretClipboard::Forget);
}

TqmSecretClipboard::~TqmSecretClipboard() {
  Forget();
}

void TqmSecretClipboard::Copy(const QString& text) {
  auto* mime = new QMimeData();
  mime->setText(text);
  mime->setData(QString::fromLatin1(kHintFormat), QByteArrayLiteral("secret"));
  // The clipboard owns the data from here on; it deletes it when something else is copied.
  QApplication::clipboard()->setMimeData(mime, QClipboard::Clipboard);
  ours_ = mime;
  timer_.start();
}

bool TqmSecretClipboard::Holding() const {
  if (!ours_) return false;
  const QClipboard* clipboard = QApplication::clipboard();
  if (!clipboard) return false;
  return clipboard->mimeData(QClipboard::Clipboard) == ours_.data();
}

void TqmSecretClipboard::Forget() {
  timer_.stop();
  if (!ours_) return;
  const bool holding = Holding();
  ours_.clear();
  if (holding) {
    QApplication::clipboard()->clear(QClipboard::Clipboard);
    emit cleared();
  }
}

void TqmSecretClipboard::SetClearDelay(int ms) {
  timer_.setInterval(ms);
}

}  // namespace quillmar
