#pragma once
// TfrmWelcomePage: page 0 of the autofill wizard: what the wizard does, in three steps. It sets the
// window's caption, shows the left panel with the large picture and hides the title band.
#include "autofill/frmBaseWizardPage.h"

namespace quillmar {

class TfrmWelcomePage : public TfrmBaseWizardPage {
  Q_OBJECT
public:
  TfrmWelcomePage(TWizard* wizard, int index);

  void GetCaptions(QString& caption, QString& title, QString& subtitle) override;
  void GetImages(QPixmap& left, QPixmap& top) override;
  void GetPanelVisibility(bool& titleBand, bool& leftPanel) override;
};

}  // namespace quillmar
