#include "repository/frmFindEntry.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "shell/qmMessages.h"
#include "shell/qmTabWindow.h"

namespace quillmar {

namespace {

TqmFindRequest& Request() {
  static TqmFindRequest request;
  return request;
}

}  // namespace

const TqmFindRequest& TfrmFindEntry::LastRequest() {
  return Request();
}

TfrmFindEntry* TfrmFindEntry::Existing(TqmShell& shell) {
  QWidget* main = shell.Window();
  return main ? main->findChild<TfrmFindEntry*>(QStringLiteral("TfrmFindEntry"), Qt::FindDirectChildrenOnly)
              : nullptr;
}

TfrmFindEntry* TfrmFindEntry::ShowFor(TqmShell& shell) {
  TfrmFindEntry* window = Existing(shell);
  const bool made = window == nullptr;
  if (made) window = new TfrmFindEntry(shell, shell.Window());
  if (made || !window->isVisible()) {
    window->adjustSize();
    if (QWidget* main = shell.Window()) {
      const QRect frame = main->frameGeometry();
      window->move(frame.center() - QPoint(window->width() / 2, window->height() / 2));
    }
  }
  window->show();
  window->raise();
  window->activateWindow();
  window->txtFind_->setFocus();
  window->txtFind_->selectAll();
  return window;
}

TfrmFindEntry::TfrmFindEntry(TqmShell& shell, QWidget* mainWindow)
    : QDialog(mainWindow, Qt::Tool | Qt::WindowStaysOnTopHint), shell_(shell) {
  setObjectName(QStringLiteral("TfrmFindEntry"));
  setWindowTitle(ProductTitle() + QStringLiteral(" [Find]"));
  setModal(false);
  auto* layout = new QVBoxLayout(this);
  auto* grid = new QGridLayout();
  auto* label = new QLabel(QStringLiteral("&Text to find:"), this);
  txtFind_ = new QLineEdit(this);
  txtFind_->setObjectName(QStringLiteral("txtFind"));
  txtFind_->setMinimumWidth(240);
  label->setBuddy(txtFind_);
  grid->addWidget(label, 0, 0);
  grid->addWidget(txtFind_, 0, 1);
  chkCaseSensitive_ = new QCheckBox(QStringLiteral("Case &sensivity"), this);
  chkCaseSensitive_->setObjectName(QStringLiteral("chkCaseSensitive"));
  chkAllFields_ = new QCheckBox(QStringLiteral("Search &all fields"), this);
  chkAllFields_->setObjectName(QStringLiteral("chkAllFields"));
  chkAllFields_->setChecked(true);
  grid->addWidget(chkCaseSensitive_, 1, 1);
  grid->addWidget(chkAllFields_, 2, 1);
  layout->addLayout(grid);
  auto* buttons = new QHBoxLayout();
  buttons->addStretch(1);
  auto* findNext = new QPushButton(QStringLiteral("&Find Next"), this);
  findNext->setObjectName(QStringLiteral("btnFindNext"));
  findNext->setDefault(true);
  auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
  cancel->setObjectName(QStringLiteral("btnCancel"));
  cancel->setAutoDefault(false);
  buttons->addWidget(findNext);
  buttons->addWidget(cancel);
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);

  connect(txtFind_, &QLineEdit::textEdited, this, &TfrmFindEntry::searchChanged);
  connect(chkCaseSensitive_, &QCheckBox::clicked, this, &TfrmFindEntry::searchChanged);
  connect(chkAllFields_, &QCheckBox::clicked, this, &TfrmFindEntry::searchChanged);
  connect(findNext, &QPushButton::clicked, this, &TfrmFindEntry::FindNext);
  connect(cancel, &QPushButton::clicked, this, &TfrmFindEntry::reject);
}

void TfrmFindEntry::FindNext() {
  TqmFindRequest& request = Request();
  request.text = txtFind_->text();
  request.caseSensitive = chkCaseSensitive_->isChecked();
  request.allFields = chkAllFields_->isChecked();
  shell_.PostFindNext(request.text, request.caseSensitive, request.allFields);
}

void TfrmFindEntry::reject() {
  // Kept for the next Find: only hidden.
  hide();
}

}  // namespace quillmar
