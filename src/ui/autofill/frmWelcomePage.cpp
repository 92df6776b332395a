#include "autofill/frmWelcomePage.h"

#include <QLabel>
#include <QVBoxLayout>

#include "autofill/qmAutoFillPictures.h"

namespace quillmar {

TfrmWelcomePage::TfrmWelcomePage(TWizard* wizard, int index) : TfrmBaseWizardPage(wizard, index) {
  setObjectName(QStringLiteral("frmWelcomePage"));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(14, 18, 14, 8);
  auto* heading = new QLabel(QStringLiteral("Welcome to AutoFill Wizard"), this);
  heading->setObjectName(QStringLiteral("lblWelcome"));
  QFont big = heading->font();
  big.setBold(true);
  big.setPointSizeF(big.pointSizeF() * 1.6);
  heading->setFont(big);
  heading->setWordWrap(true);
  layout->addWidget(heading);
  layout->addSpacing(18);
  auto* text = new QLabel(this);
  text->setObjectName(QStringLiteral("lblSteps"));
  text->setWordWrap(true);
  text->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  text->setText(
      QStringLiteral("This wizard will help you to securely complete a web page form automatically.\n\n"
                     "Step 1 - Select the web page you want to have auto filled.\n\n"
                     "Step 2 - Match each repository field with the corresponding HTML form fields.\n\n"
                     "Step 3 - Click Finish."));
  layout->addWidget(text);
  layout->addStretch();
}

void TfrmWelcomePage::GetCaptions(QString& caption, QString&, QString&) {
  caption = QStringLiteral("Brelkan Quillmar [ Web Page AutoFill Wizard ]");
}

void TfrmWelcomePage::GetImages(QPixmap& left, QPixmap& top) {
  left = AutoFillLeftPicture();
  top = AutoFillTopPicture();
}

void TfrmWelcomePage::GetPanelVisibility(bool& titleBand, bool& leftPanel) {
  titleBand = false;
  leftPanel = true;
}

}  // namespace quillmar
