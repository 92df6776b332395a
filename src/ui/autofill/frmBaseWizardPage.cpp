#include "autofill/frmBaseWizardPage.h"

namespace quillmar {

TfrmBaseWizardPage::TfrmBaseWizardPage(TWizard* wizard, int index) : wizard_(wizard), index_(index) {}

void TfrmBaseWizardPage::GetCaptions(QString&, QString&, QString&) {}

void TfrmBaseWizardPage::GetImages(QPixmap& left, QPixmap& top) {
  left = QPixmap();
  top = QPixmap();
}

void TfrmBaseWizardPage::GetPanelVisibility(bool&, bool&) {}

void TfrmBaseWizardPage::AdjustButtons(QPushButton*, QPushButton*, QPushButton*, QPushButton*) {}

void TfrmBaseWizardPage::BeforeShow() {}

void TfrmBaseWizardPage::AfterShow() {
  firstShow_ = false;
}

void TfrmBaseWizardPage::OnLeave() {}

bool TfrmBaseWizardPage::CanLeave(TWizardDirection) {
  return true;
}

bool TfrmBaseWizardPage::CanEnter(TWizardDirection) {
  return true;
}

}  // namespace quillmar
