#include "autofill/frmSelectURLPage.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <QWebEngineView>

#include "autofill/QXAFWizard.h"
#include "autofill/qmAutoFillPictures.h"
#include "autofill/qmWebEngine.h"
#include "shell/qmMessages.h"
#include "widgets/qmText.h"

namespace quillmar {

TfrmSelectURLPage::TfrmSelectURLPage(TQXAFWizard* wizard, int index)
    : TfrmBaseWizardPage(wizard, index), wizard_(wizard) {
  setObjectName(QStringLiteral("frmSelectURLPage"));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  auto* row = new QHBoxLayout;
  auto* label = new QLabel(QStringLiteral("Address:"), this);
  cmbAddress_ = new QComboBox(this);
  cmbAddress_->setObjectName(QStringLiteral("cmbAddress"));
  cmbAddress_->setEditable(true);
  cmbAddress_->setInsertPolicy(QComboBox::NoInsert);
  cmbAddress_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  label->setBuddy(cmbAddress_);
  btnGo_ = new QPushButton(QStringLiteral("Go"), this);
  btnGo_->setObjectName(QStringLiteral("btnGo"));
  btnGo_->setAutoDefault(false);
  row->addWidget(label);
  row->addWidget(cmbAddress_, 1);
  row->addWidget(btnGo_);
  layout->addLayout(row);

  auto* holder = new QWidget(this);
  browserArea_ = new QVBoxLayout(holder);
  browserArea_->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(holder, 1);

  connect(btnGo_, &QPushButton::clicked, this, &TfrmSelectURLPage::RequestLoad);
  connect(cmbAddress_->lineEdit(), &QLineEdit::returnPressed, this, &TfrmSelectURLPage::RequestLoad);
  connect(cmbAddress_, &QComboBox::activated, this, &TfrmSelectURLPage::RequestLoad);
}

bool TfrmSelectURLPage::Current() const {
  return wizard_->CurrentIndex() == Index();
}

void TfrmSelectURLPage::GetCaptions(QString&, QString& title, QString& subtitle) {
  title = QStringLiteral("Step 1 - Select web page form (login) URL address");
  subtitle =
      QStringLiteral("Please type in web address or copy it from your web browser and click the GO button.");
}

void TfrmSelectURLPage::GetImages(QPixmap& left, QPixmap& top) {
  left = QPixmap();
  top = AutoFillTopPicture();
}

void TfrmSelectURLPage::GetPanelVisibility(bool& titleBand, bool& leftPanel) {
  titleBand = true;
  leftPanel = false;
}

void TfrmSelectURLPage::AdjustButtons(QPushButton* next, QPushButton*, QPushButton*, QPushButton*) {
  next->setEnabled(!FirstShow() && !loading_);
  next->setDefault(false);
  next->setAutoDefault(false);
}

void TfrmSelectURLPage::BeforeShow() {
  if (FirstShow()) {
    for (const std::string& url : wizard_->Urls()) cmbAddress_->addItem(FromSafeText(url));
    if (!wizard_->Urls().empty()) cmbAddress_->setCurrentIndex(0);
    // The browser starts here, on first use.
    webBrowser_ = new QWebEngineView(this);
    webBrowser_->setObjectName(QStringLiteral("webBrowser"));
    page_ = new TqmWebPage(webBrowser_);
    // A link that asks for a new window (target=_blank) opens in this same view.
    page_->NewWindow = [this] { return static_cast<QWebEnginePage*>(page_); };
    webBrowser_->setPage(page_);
    connect(page_, &QWebEnginePage::loadStarted, this, &TfrmSelectURLPage::LoadStarted);
    connect(page_, &QWebEnginePage::loadFinished, this, &TfrmSelectURLPage::LoadFinished);
    connect(page_, &TqmWebPage::linkClicked, this,
            [this](const QUrl& url) { cmbAddress_->setEditText(url.toString()); });
    wizard_->SetBrowser(webBrowser_);
  }
  // Page 2 shows the browser too; it comes back here.
  if (webBrowser_->parentWidget() != browserArea_->parentWidget()) browserArea_->addWidget(webBrowser_);
  webBrowser_->setEnabled(true);
  webBrowser_->show();
}

void TfrmSelectURLPage::AfterShow() {
  const bool first = FirstShow();
  TfrmBaseWizardPage::AfterShow();
  cmbAddress_->setFocus();
  cmbAddress_->lineEdit()->selectAll();
  if (first && wizard_->Urls().size() == 1) Load();
}

bool TfrmSelectURLPage::CanLeave(TWizardDirection) {
  if (wizard_->Listing().html) return true;
  ShowError(window(), QString::fromLatin1(kMsgNavigate));
  return false;
}

void TfrmSelectURLPage::RequestLoad() {
  // Enter on an address of the list reports both the Enter and the choice: one load.
  if (loadRequested_) return;
  loadRequested_ = true;
  QTimer::singleShot(0, this, [this] {
    loadRequested_ = false;
    Load();
  });
}

void TfrmSelectURLPage::Load() {
  const QString text = cmbAddress_->currentText().trimmed();
  if (text.isEmpty() || !webBrowser_) return;
  const QUrl url = QUrl::fromUserInput(text);
  if (!url.isValid()) {
    ShowError(window(), QStringLiteral("\"%1\" is not a web address. Type an address such as "
                                       "https://www.example.com/login and click Go.")
                            .arg(text));
    return;
  }
  webBrowser_->load(url);
}

void TfrmSelectURLPage::LoadStarted() {
  loading_ = true;
  wizard_->SetCapturedAddress(cmbAddress_->currentText().trimmed());
  if (Current()) wizard_->Window()->Next()->setEnabled(false);
}

void TfrmSelectURLPage::LoadFinished() {
  loading_ = false;
  if (Current() && !wizard_->Busy()) wizard_->Window()->Next()->setEnabled(true);
}

}  // namespace quillmar
