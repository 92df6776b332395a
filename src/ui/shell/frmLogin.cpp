#include "shell/frmLogin.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QResizeEvent>
#include <QShowEvent>
#include <QVBoxLayout>
#include <algorithm>

#include "base/SecureWipe.h"
#include "core/qmGlobal.h"
#include "core/qmLoginRules.h"
#include "platform/DesktopLauncher.h"
#include "shell/qmMessages.h"
#include "shell/qmProgressRunner.h"
#include "widgets/qmPictures.h"
#include "widgets/qmScreenPlacement.h"
#include "widgets/qmText.h"

namespace quillmar {

namespace {

// One character more than any master password may have: a longer paste is cut to this and then
// refused with a message saying the limit, never taken cut.
constexpr int kPasswordBoxLimit = static_cast<int>(login::kMaxPasswordLength) + 1;
// The least width of the password boxes' column; the window grows beyond it when its content needs
// more (the check boxes of create mode), and the banner is drawn for the width it has.
constexpr int kFieldColumnWidth = 300;
constexpr int kBannerHeight = 72;
// A key derivation that runs longer than this shows its progress.
constexpr int kDerivationProgressAfterMs = 1000;

}  // namespace

TfrmLogin::TfrmLogin(TqmGlobal& g, QWidget* parent) : QDialog(parent), g_(g) {
  setObjectName(QStringLiteral("TfrmLogin"));
  setWindowTitle(ProductTitle());
  setWindowIcon(ApplicationIcon());

  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(0, 0, 0, 12);
  banner_ = new QLabel(this);
  banner_->setObjectName(QStringLiteral("imgLoginTop"));
  // Drawn for the window's width (resizeEvent); it never decides the width itself.
  banner_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
  banner_->setFixedHeight(kBannerHeight);
  banner_->setScaledContents(false);
  outer->addWidget(banner_);

  auto* body = new QHBoxLayout;
  body->setContentsMargins(16, 8, 16, 0);
  body->setSpacing(16);
  auto* logo = new QLabel(this);
  logo->setObjectName(QStringLiteral("imgLogo"));
  logo->setPixmap(LogoPicture());
  logo->setAlignment(Qt::AlignTop);
  body->addWidget(logo, 0, Qt::AlignTop);

  auto* form = new QGridLayout;
  form->setHorizontalSpacing(10);
  form->setVerticalSpacing(8);
  lblNotes1_ = new QLabel(this);
  lblNotes1_->setObjectName(QStringLiteral("lblNotes1"));
  lblNotes1_->setWordWrap(true);
  form->addWidget(lblNotes1_, 0, 0, 1, 2);

  lblUserName_ = new QLabel(QStringLiteral("Safe Name:"), this);
  lblUserName_->setObjectName(QStringLiteral("lblUserName"));
  txtUserName_ = new QLineEdit(this);
  txtUserName_->setObjectName(QStringLiteral("txtUserName"));
  txtUserName_->setMaxLength(static_cast<int>(login::kMaxSafeNameLength));
  cmbUserName_ = new QComboBox(this);
  cmbUserName_->setObjectName(QStringLiteral("cmbUserName"));
  cmbUserName_->setEditable(false);
  cmbUserName_->setMaxVisibleItems(15);
  auto* nameCell = new QHBoxLayout;
  nameCell->setContentsMargins(0, 0, 0, 0);
  nameCell->addWidget(txtUserName_);
  nameCell->addWidget(cmbUserName_);
  form->addWidget(lblUserName_, 1, 0);
  form->addLayout(nameCell, 1, 1);

  lblMasterPassword_ = new QLabel(QStringLiteral("Master Password:"), this);
  lblMasterPassword_->setObjectName(QStringLiteral("lblMasterPassword"));
  txtMasterPassword_ = new QLineEdit(this);
  txtMasterPassword_->setObjectName(QStringLiteral("txtMasterPassword"));
  txtMasterPassword_->setEchoMode(QLineEdit::Password);
  txtMasterPassword_->setMaxLength(kPasswordBoxLimit);
  lblMasterPassword_->setBuddy(txtMasterPassword_);
  form->addWidget(lblMasterPassword_, 2, 0);
  form->addWidget(txtMasterPassword_, 2, 1);

  lblMasterPasswordConfirm_ = new QLabel(QStringLiteral("Confirm:"), this);
  lblMasterPasswordConfirm_->setObjectName(QStringLiteral("lblMasterPasswordConfirm"));
  txtMasterPasswordConfirm_ = new QLineEdit(this);
  txtMasterPasswordConfirm_->setObjectName(QStringLiteral("txtMasterPasswordConfirm"));
  txtMasterPasswordConfirm_->setEchoMode(QLineEdit::Password);
  txtMasterPasswordConfirm_->setMaxLength(kPasswordBoxLimit);
  lblMasterPasswordConfirm_->setBuddy(txtMasterPasswordConfirm_);
  form->addWidget(lblMasterPasswordConfirm_, 3, 0);
  form->addWidget(txtMasterPasswordConfirm_, 3, 1);

  chkDemo_ = new QCheckBox(QStringLiteral("Fill with demo data"), this);
  chkDemo_->setObjectName(QStringLiteral("chkDemo"));
  chkDemo_->setToolTip(QStringLiteral("Mark to have Safe filled with demo data."));
  form->addWidget(chkDemo_, 4, 1);
  chkCompatible_ = new QCheckBox(QStringLiteral("Readable by older versions (weaker protection)"), this);
  chkCompatible_->setObjectName(QStringLiteral("chkCompatible"));
  chkCompatible_->setToolTip(
      QStringLiteral("Mark only if older versions of the program must open this Safe. Its master password is "
                     "then at most %1 characters long and guessed far faster by anyone holding a copy of "
                     "the file.")
          .arg(login::MasterPasswordLimit(TqmSafeKind::Compatible)));
  chkCompatible_->setVisible(false);
  form->addWidget(chkCompatible_, 5, 1);
  form->setColumnStretch(1, 1);
  form->setColumnMinimumWidth(1, kFieldColumnWidth);
  body->addLayout(form, 1);
  outer->addLayout(body);
  outer->addStretch(1);

  auto* buttons = new QHBoxLayout;
  buttons->setContentsMargins(16, 8, 16, 0);
  btnNewSafe_ = new QPushButton(QStringLiteral("&New Safe"), this);
  btnNewSafe_->setObjectName(QStringLiteral("btnNewSafe"));
  btnNewSafe_->setAutoDefault(false);
  btnDeleteSafe_ = new QPushButton(QStringLiteral("&Delete Safe"), this);
  btnDeleteSafe_->setObjectName(QStringLiteral("btnDeleteSafe"));
  btnDeleteSafe_->setAutoDefault(false);
  btnOk_ = new QPushButton(QStringLiteral("&OK"), this);
  btnOk_->setObjectName(QStringLiteral("btnOk"));
  btnOk_->setDefault(true);
  btnCancel_ = new QPushButton(QStringLiteral("&Cancel"), this);
  btnCancel_->setObjectName(QStringLiteral("btnCancel"));
  btnCancel_->setAutoDefault(false);
  buttons->addWidget(btnNewSafe_);
  buttons->addWidget(btnDeleteSafe_);
  buttons->addStretch(1);
  buttons->addWidget(btnOk_);
  buttons->addWidget(btnCancel_);
  outer->addLayout(buttons);

  connect(btnOk_, &QPushButton::clicked, this, &TfrmLogin::accept);
  connect(btnCancel_, &QPushButton::clicked, this, &TfrmLogin::reject);
  connect(btnNewSafe_, &QPushButton::clicked, this, &TfrmLogin::NewSafe);
  connect(btnDeleteSafe_, &QPushButton::clicked, this, &TfrmLogin::DeleteSafe);
  connect(cmbUserName_, &QComboBox::currentTextChanged, this,
          [this](const QString& name) { txtUserName_->setText(name); });

  setTabOrder(txtUserName_, cmbUserName_);
  setTabOrder(cmbUserName_, txtMasterPassword_);
  setTabOrder(txtMasterPassword_, txtMasterPasswordConfirm_);
  setTabOrder(txtMasterPasswordConfirm_, chkDemo_);
  setTabOrder(chkDemo_, chkCompatible_);
  setTabOrder(chkCompatible_, btnOk_);
  setTabOrder(btnOk_, btnCancel_);
  setTabOrder(btnCancel_, btnNewSafe_);
  setTabOrder(btnNewSafe_, btnDeleteSafe_);

  const std::string last = g_.ReadLastUsedSafe();
  g_.SetSafeName(last);
  preselect_ = last;
}

TfrmLogin::~TfrmLogin() {
  ClearPasswords();
}

void TfrmLogin::SetRequest(int mode, const std::string& safeName) {
  requestedMode_ = mode;
  if (!safeName.empty()) preselect_ = safeName;
}

void TfrmLogin::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  if (banner_->pixmap().width() != width()) banner_->setPixmap(LoginTopPicture(width(), kBannerHeight));
}

void TfrmLogin::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!event->spontaneous() && !layoutDone_) {
    layoutDone_ = true;
    ChooseModeAndLayout();
    // In the middle of the screen, wherever the main window is (at the first start it has no
    // place of its own yet, and the login would sit in its corner).
    CentreOnScreen(this);
  }
  // The password box gets the focus (the name box in create mode when it is empty).
  if (mode_ == login::kModeCreate && txtUserName_->text().isEmpty())
    txtUserName_->setFocus();
  else
    txtMasterPassword_->setFocus();
}

void TfrmLogin::ChooseModeAndLayout() {
  FillList();
  if (g_.Settings().App.fs.Value() || cmbUserName_->count() == 0)
    LayoutCreate(false);
  else if (requestedMode_ == login::kModeCreate)
    LayoutCreate(false);
  else
    LayoutOpen();
}

void TfrmLogin::FillList() {
  const std::vector<std::string> names = g_.SafeNames();
  QSignalBlocker block(cmbUserName_);
  cmbUserName_->clear();
  for (size_t i = 0; i < names.size() && i < login::kMaxListedSafes; ++i)
    cmbUserName_->addItem(FromUtf8(names[i]));
  btnNewSafe_->setEnabled(static_cast<size_t>(cmbUserName_->count()) < login::kMaxListedSafes);
  btnNewSafe_->setVisible(true);
  btnDeleteSafe_->setVisible(true);
  int index = -1;
  if (!preselect_.empty()) index = cmbUserName_->findText(FromUtf8(preselect_), Qt::MatchExactly);
  if (index < 0 && !g_.SafeName().empty())
    index = cmbUserName_->findText(FromUtf8(g_.SafeName()), Qt::MatchExactly);
  if (index < 0 && cmbUserName_->count() > 0) index = 0;
  cmbUserName_->setCurrentIndex(index);
  txtUserName_->setText(cmbUserName_->currentText());
  preselect_.clear();
}

void TfrmLogin::LayoutCreate(bool fromNewSafe) {
  mode_ = login::kModeCreate;
  // No Safe stays open while a new one is made.
  if (g_.SafeOpen()) g_.CloseSafe();
  txtUserName_->setVisible(true);
  cmbUserName_->setVisible(false);
  lblMasterPasswordConfirm_->setVisible(true);
  txtMasterPasswordConfirm_->setVisible(true);
  btnNewSafe_->setVisible(false);
  btnDeleteSafe_->setVisible(false);
  chkDemo_->setVisible(true);
  chkDemo_->setChecked(true);
  chkCompatible_->setVisible(true);
  chkCompatible_->setChecked(false);
  lblUserName_->setBuddy(txtUserName_);
  lblNotes1_->setText(QString::fromLatin1(login::kNoteCreate));
  g_.SetSafeName(LogonUserName());
  txtUserName_->setText(fromNewSafe ? QString() : FromUtf8(g_.SafeName()));
}

void TfrmLogin::LayoutOpen() {
  mode_ = login::kModeOpen;
  txtUserName_->setVisible(false);
  cmbUserName_->setVisible(true);
  lblMasterPasswordConfirm_->setVisible(false);
  txtMasterPasswordConfirm_->setVisible(false);
  btnNewSafe_->setVisible(true);
  btnDeleteSafe_->setVisible(true);
  chkDemo_->setVisible(false);
  chkDemo_->setChecked(false);
  chkCompatible_->setVisible(false);
  chkCompatible_->setChecked(false);
  lblUserName_->setBuddy(cmbUserName_);
  lblNotes1_->setText(QString::fromLatin1(login::kNoteOpen));
  txtUserName_->setText(cmbUserName_->currentText());
}

void TfrmLogin::NewSafe() {
  LayoutCreate(true);
  ClearPasswords();
  txtUserName_->setFocus();
}

void TfrmLogin::ClearPasswords() {
  QString text = txtMasterPassword_->text();
  WipeQString(text);
  text = txtMasterPasswordConfirm_->text();
  WipeQString(text);
  txtMasterPassword_->clear();
  txtMasterPasswordConfirm_->clear();
}

int TfrmLogin::Validate() {
  login::TLoginInput input;
  input.mode = mode_;
  input.safeName = ToUtf8(mode_ == login::kModeCreate ? txtUserName_->text() : cmbUserName_->currentText());
  input.demoData = chkDemo_->isChecked();
  input.kind = mode_ == login::kModeCreate && chkCompatible_->isChecked() ? TqmSafeKind::Compatible
                                                                          : TqmSafeKind::Hardened;
  key_ = TTextKey();
  TWipeOnExit wipePassword(input.password), wipeConfirm(input.confirm);
  QString problem;
  QString typed = txtMasterPassword_->text();
  const bool encodable = ToSafeText(typed, input.password, &problem, QStringLiteral("password"));
  WipeQString(typed);
  if (!encodable) {
    g_.SetSafeName(input.safeName);
    ShowWarning(this, problem);
    return login::kRefused;
  }
  if (mode_ == login::kModeCreate) {
    typed = txtMasterPasswordConfirm_->text();
    // A confirmation that cannot be encoded cannot match.
    if (!ToSafeText(typed, input.confirm)) input.confirm = std::string(1, '\0');
    WipeQString(typed);
  }
  login::TLoginResult result;
  bool cancelled = false;
  try {
    // The key derivation (about half a second; a new hardened Safe also calibrates its cost) runs
    // on a worker: the window keeps painting under the wait cursor and takes no input. A Safe made
    // with a higher cost (made elsewhere, and accepted at the question about it) may take minutes:
    // after a second a progress dialog shows how far it is and offers Cancel.
    cancelled = TqmProgressRunner::RunBusyWithProgress(
        this, nullptr, QStringLiteral("Deriving the Safe's key from the master password ..."),
        kDerivationProgressAfterMs, [&](const TqmProgress& progress) {
          g_.SetDerivationProgress(progress);
          struct TUnbind {
            TqmGlobal& g;
            ~TUnbind() { g.SetDerivationProgress({}); }
          } unbind{g_};
          result = login::ValidateLogin(g_, input);
        });
  } catch (const std::exception& e) {
    ShowError(this, FromMessage(e.what()));
    return login::kRefused;
  }
  // A Cancel the derivation honoured: the user knows; the window stays for another try.
  if (cancelled && result.code != 0) {
    txtMasterPassword_->setFocus();
    return login::kRefused;
  }
  if (result.code != 0) {
    if (result.code == login::kRefused)
      ShowWarning(this, FromMessage(result.message));
    else
      ShowError(this, FromMessage(result.message));
  }
  key_ = result.code == 0 ? result.key : TTextKey();
  return result.code;
}

void TfrmLogin::accept() {
  // The open that follows an accepted check (the main window's, at once) takes the container the
  // check opened, so that the Safe's directory is read once: with many entries it is most of the
  // login's time. Only for that open: a refused check, or the check of Delete, leaves the file free.
  g_.Wrapper().KeepCheckedContainer(mode_ == login::kModeOpen);
  const int code = Validate();
  if (code != 0) g_.Wrapper().KeepCheckedContainer(false);
  // "lastused" names a Safe that is there (never a name the validation refused).
  const std::vector<std::string> names = g_.SafeNames();
  if (std::find(names.begin(), names.end(), g_.SafeName()) != names.end()) {
    try {
      g_.WriteLastUsedSafe();
    } catch (const std::exception&) {
      // The Safe opens all the same; only the preselection of the next start is lost.
    }
  }
  if (code == 0) {
    ClearPasswords();
    QDialog::accept();
    return;
  }
  if (code == TqmSFSWrapper::csWrongPassword) {
    // Typed again from the start, not appended to.
    ClearPasswords();
    txtMasterPassword_->setFocus();
  }
}

void TfrmLogin::reject() {
  key_ = TTextKey();
  if (cmbUserName_->count() > 0 && mode_ == login::kModeCreate) {
    LayoutOpen();
    ClearPasswords();
    txtMasterPassword_->setFocus();
    return;
  }
  ClearPasswords();
  QDialog::reject();
}

void TfrmLogin::DeleteSafe() {
  if (mode_ != login::kModeOpen || cmbUserName_->count() == 0) return;
  if (!AskYesNo(this, QString::fromLatin1(login::kMsgDeleteSafe))) return;
  const std::string name = ToUtf8(cmbUserName_->currentText());
  const int code = Validate();
  key_ = TTextKey();  // the check's key is not needed to delete
  bool deleted = false;
  if (code == 0) {
    deleted = g_.DeleteSafeFile(name);
  } else if (code == 1) {
    if (AskYesNo(this, FromMessage(login::NotASafeMessage(g_.SafeFile(name))) + QStringLiteral("\n") +
                           QString::fromLatin1(login::kMsgDeleteAnyway)))
      deleted = g_.DeleteSafeFile(name);
  }
  if (!deleted) {
    ShowError(this, QString::fromLatin1(login::kMsgCantDelete));
    return;
  }
  ClearPasswords();
  ChooseModeAndLayout();
  if (mode_ == login::kModeCreate && txtUserName_->text().isEmpty())
    txtUserName_->setFocus();
  else
    txtMasterPassword_->setFocus();
}

}  // namespace quillmar
