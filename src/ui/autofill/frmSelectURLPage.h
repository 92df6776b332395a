#pragma once
// TfrmSelectURLPage: page 1 of the autofill wizard: an "Address:" box with a drop-down list of the
// entry's web addresses, a "Go" button and the embedded browser (the wizard's browser, which page 2
// shows too).
//
//  - On the first show the list gets the entry's addresses and the box its first one; with exactly
//    one address it is loaded at once. "Go", a choice from the list or Enter in the box loads the box's
//    text (an address without a scheme is taken as http).
//  - When a page starts loading, Next is disabled and the box's text becomes the captured address; a
//    link click in the page first puts the link's address into the box (form posts and redirects
//    leave it alone, so the address is the one the user reached by hand). When it has finished, Next
//    is enabled. Next is never the default button here: Enter belongs to the box.
//  - The page can be left (either way) only with an HTML document loaded from an address; otherwise
//    "Navigate to url before next page.".
#include <QUrl>

#include "autofill/frmBaseWizardPage.h"

class QComboBox;
class QPushButton;
class QVBoxLayout;
class QWebEngineView;

namespace quillmar {

class TQXAFWizard;
class TqmWebPage;

class TfrmSelectURLPage : public TfrmBaseWizardPage {
  Q_OBJECT
public:
  static constexpr char kMsgNavigate[] = "Navigate to url before next page.";

  TfrmSelectURLPage(TQXAFWizard* wizard, int index);

  void GetCaptions(QString& caption, QString& title, QString& subtitle) override;
  void GetImages(QPixmap& left, QPixmap& top) override;
  void GetPanelVisibility(bool& titleBand, bool& leftPanel) override;
  void AdjustButtons(QPushButton* next, QPushButton* prev, QPushButton* finish, QPushButton* cancel) override;
  void BeforeShow() override;
  void AfterShow() override;
  bool CanLeave(TWizardDirection direction) override;

  // Loads the box's text in the browser.
  void Load();
  bool Loading() const { return loading_; }

private:
  void RequestLoad();
  void LoadStarted();
  void LoadFinished();
  bool Current() const;

  TQXAFWizard* wizard_;
  QComboBox* cmbAddress_;
  QPushButton* btnGo_;
  QVBoxLayout* browserArea_;
  QWebEngineView* webBrowser_ = nullptr;
  TqmWebPage* page_ = nullptr;
  bool loading_ = false;
  bool loadRequested_ = false;
};

}  // namespace quillmar
