#include "autofill/frmWizard.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "autofill/qmAutoFillPictures.h"

namespace quillmar {

TfrmWizard::TfrmWizard(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
  setObjectName(QStringLiteral("frmWizard"));
  setWindowTitle(QStringLiteral("Wizard"));
  setModal(true);

  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(0, 0, 0, 0);
  outer->setSpacing(0);

  pnlTitle_ = new QFrame(this);
  pnlTitle_->setObjectName(QStringLiteral("pnlTitle"));
  pnlTitle_->setAutoFillBackground(true);
  QPalette band = pnlTitle_->palette();
  band.setColor(QPalette::Window, Qt::white);
  band.setColor(QPalette::WindowText, QColor(0x20, 0x20, 0x20));
  pnlTitle_->setPalette(band);
  auto* bandLayout = new QVBoxLayout(pnlTitle_);
  bandLayout->setContentsMargins(0, 0, 0, 0);
  bandLayout->setSpacing(0);
  auto* titleLayout = new QHBoxLayout;
  titleLayout->setContentsMargins(14, 8, 10, 8);
  auto* titles = new QVBoxLayout;
  titles->setSpacing(3);
  lblTitle_ = new QLabel(pnlTitle_);
  lblTitle_->setObjectName(QStringLiteral("lblTitle"));
  QFont bold = lblTitle_->font();
  bold.setBold(true);
  lblTitle_->setFont(bold);
  lblSubtitle_ = new QLabel(pnlTitle_);
  lblSubtitle_->setObjectName(QStringLiteral("lblSubtitle"));
  lblSubtitle_->setWordWrap(true);
  lblSubtitle_->setContentsMargins(14, 0, 0, 0);
  titles->addWidget(lblTitle_);
  titles->addWidget(lblSubtitle_);
  titles->addStretch();
  titleLayout->addLayout(titles, 1);
  imgTop_ = new QLabel(pnlTitle_);
  imgTop_->setObjectName(QStringLiteral("imgTop"));
  imgTop_->setAlignment(Qt::AlignCenter);
  imgTop_->setFixedSize(56, 56);
  titleLayout->addWidget(imgTop_);
  bandLayout->addLayout(titleLayout);
  auto* bandLine = new QFrame(pnlTitle_);
  bandLine->setFrameShape(QFrame::HLine);
  bandLine->setFrameShadow(QFrame::Sunken);
  bandLayout->addWidget(bandLine);
  outer->addWidget(pnlTitle_);

  auto* middle = new QHBoxLayout;
  middle->setContentsMargins(0, 0, 0, 0);
  middle->setSpacing(0);
  pnlLeft_ = new QFrame(this);
  pnlLeft_->setObjectName(QStringLiteral("pnlLeft"));
  pnlLeft_->setAutoFillBackground(true);
  QPalette leftColours = pnlLeft_->palette();
  leftColours.setBrush(QPalette::Window, LeftPanelBrush());
  pnlLeft_->setPalette(leftColours);
  auto* leftLayout = new QVBoxLayout(pnlLeft_);
  leftLayout->setContentsMargins(0, 0, 0, 0);
  imgLeft_ = new QLabel(pnlLeft_);
  imgLeft_->setObjectName(QStringLiteral("imgLeft"));
  imgLeft_->setAlignment(Qt::AlignCenter);
  leftLayout->addWidget(imgLeft_);
  middle->addWidget(pnlLeft_);
  pnlPage_ = new QWidget(this);
  pnlPage_->setObjectName(QStringLiteral("pnlPage"));
  pageLayout_ = new QVBoxLayout(pnlPage_);
  pageLayout_->setContentsMargins(12, 10, 12, 6);
  middle->addWidget(pnlPage_, 1);
  outer->addLayout(middle, 1);

  auto* line = new QFrame(this);
  line->setFrameShape(QFrame::HLine);
  line->setFrameShadow(QFrame::Sunken);
  outer->addWidget(line);
  auto* buttons = new QHBoxLayout;
  buttons->setContentsMargins(12, 8, 12, 10);
  buttons->addStretch();
  auto makeButton = [this, buttons](const char* name, const QString& text) {
    auto* b = new QPushButton(text, this);
    b->setObjectName(QString::fromLatin1(name));
    b->setMinimumWidth(88);
    buttons->addWidget(b);
    return b;
  };
  btnPrev_ = makeButton("btnPrev", QStringLiteral("< &Prev"));
  btnNext_ = makeButton("btnNext", QStringLiteral("&Next >"));
  btnFinish_ = makeButton("btnFinish", QStringLiteral("&Finish"));
  buttons->addSpacing(12);
  btnCancel_ = makeButton("btnCancel", QStringLiteral("&Cancel"));
  btnPrev_->setEnabled(false);
  btnNext_->setDefault(true);
  btnFinish_->setVisible(false);
  outer->addLayout(buttons);
}

QString TfrmWizard::Title() const {
  return lblTitle_->text();
}

QString TfrmWizard::Subtitle() const {
  return lblSubtitle_->text();
}

void TfrmWizard::SetTitles(const QString& title, const QString& subtitle) {
  lblTitle_->setText(title);
  lblSubtitle_->setText(subtitle);
}

QPixmap TfrmWizard::TopPicture() const {
  return imgTop_->pixmap();
}

QPixmap TfrmWizard::LeftPicture() const {
  return imgLeft_->pixmap();
}

void TfrmWizard::SetPictures(const QPixmap& left, const QPixmap& top) {
  imgLeft_->setPixmap(left);
  imgLeft_->setFixedWidth(left.isNull() ? 0 : left.width());
  imgTop_->setPixmap(top);
}

void TfrmWizard::PlacePage(QWidget* page) {
  if (placed_ == page) return;
  if (placed_) {
    placed_->hide();
    pageLayout_->removeWidget(placed_);
  }
  placed_ = page;
  if (page) {
    pageLayout_->addWidget(page);
    page->show();
  }
}

void TfrmWizard::reject() {
  if (OnCancel)
    OnCancel();
  else
    QDialog::reject();
}

}  // namespace quillmar
