#include "shell/qmPlaceholderTabs.h"

#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QVBoxLayout>

#include "core/qmGlobal.h"
#include "shell/qmMessages.h"
#include "widgets/qmPictures.h"
#include "model/qmCategory.h"
#include "widgets/qmText.h"

namespace quillmar {

namespace {

QLabel* NoteLabel(const QString& text, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setWordWrap(true);
  label->setObjectName(QStringLiteral("lblPlaceholderNote"));
  label->setStyleSheet(QStringLiteral("color: #4a5563;"));
  return label;
}

}  // namespace

// --- Zavozo Rero --------------------------------------------------------------------------------------

TfrmCryptoMailPlaceholder::TfrmCryptoMailPlaceholder(TqmShell&, QWidget* parent) : TqmTabWindow(parent) {
  setObjectName(QStringLiteral("TfrmCryptoMail"));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(NoteLabel(QStringLiteral("Zavozo Rero encrypts a file or a message for someone who knows "
                                             "the password you agreed on. Its window comes with a later "
                                             "version of the program; a file sent here from the File Locker "
                                             "or the file manager is shown below."),
                              this));
  auto* caption = new QLabel(QStringLiteral("File to be encrypted:"), this);
  caption->setObjectName(QStringLiteral("rbFile"));
  layout->addWidget(caption);
  fileName_ = new QLineEdit(this);
  fileName_->setObjectName(QStringLiteral("FileName"));
  fileName_->setReadOnly(true);
  fileName_->setPlaceholderText(QStringLiteral("(no file chosen)"));
  caption->setBuddy(fileName_);
  layout->addWidget(fileName_);
  layout->addStretch(1);
}

void TfrmCryptoMailPlaceholder::PresetFile(const QString& path) {
  fileName_->setText(path);
}

QString TfrmCryptoMailPlaceholder::PresetPath() const {
  return fileName_->text();
}

}  // namespace quillmar
