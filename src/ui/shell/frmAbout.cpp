#include "shell/frmAbout.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/qmGlobal.h"
#include "shell/qmMessages.h"
#include "widgets/qmPictures.h"
#include "widgets/qmText.h"

namespace quillmar {

TfrmAbout::TfrmAbout(const TqmGlobal& g, QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("TfrmAbout"));
  setWindowTitle(WindowTitle(QStringLiteral("About")));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 12);
  picture_ = new QLabel(this);
  picture_->setObjectName(QStringLiteral("imgAbout"));
  picture_->setPixmap(LoginTopPicture(420, 80, true));
  picture_->setCursor(Qt::PointingHandCursor);
  picture_->setToolTip(QStringLiteral("Click to close"));
  picture_->installEventFilter(this);
  layout->addWidget(picture_);
  auto* text = new QLabel(this);
  text->setObjectName(QStringLiteral("lblVersion"));
  text->setTextFormat(Qt::PlainText);
  text->setText(
      QStringLiteral("Version %1\n\nA single-user vault: passwords, locked files, encrypted messages "
                     "and reminders, kept in one encrypted Safe file.\n\nSafes live in %2")
          .arg(FromUtf8(g.VersionText()), FromUtf8(g.HomeFolder())));
  text->setWordWrap(true);
  text->setContentsMargins(16, 8, 16, 0);
  text->setTextInteractionFlags(Qt::TextSelectableByMouse);
  layout->addWidget(text);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  buttons->setContentsMargins(16, 0, 16, 0);
  buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("btnOk"));
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  layout->addWidget(buttons);
  setFixedWidth(420);
}

bool TfrmAbout::eventFilter(QObject* watched, QEvent* event) {
  if (watched == picture_ && event->type() == QEvent::MouseButtonRelease &&
      static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
    accept();
    return true;
  }
  return QDialog::eventFilter(watched, event);
}

}  // namespace quillmar
