#include "shell/frmChangePassword.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "base/SecureWipe.h"
#include "core/qmGlobal.h"
#include "core/qmLoginRules.h"
#include "shell/qmMessages.h"
#include "shell/qmProgressRunner.h"
#include "widgets/qmText.h"

namespace quillmar {

namespace {

QLineEdit* PasswordBox(const QString& name, QWidget* parent) {
  auto* box = new QLineEdit(parent);
  box->setObjectName(name);
  box->setEchoMode(QLineEdit::Password);
  // One character more than any master password may have: a longer paste is refused with a message,
  // never taken cut.
  box->setMaxLength(static_cast<int>(login::kMaxPasswordLength) + 1);
  return box;
}

constexpr char kMsgMakeCompatible[] =
    "This Safe is hardened. Made readable by older versions, it loses its key derivation: anyone who "
    "gets a copy of the Safe file (or of a backup made from now on) can then try passwords hundreds of "
    "thousands of times faster, and its master password can have at most %1 characters.\n\n"
    "Make the Safe readable by older versions?";

}  // namespace

TfrmChangePassword::TfrmChangePassword(TqmGlobal& g, QWidget* parent)
    : QDialog(parent), g_(g), current_(g.SafeKind()) {
  setObjectName(QStringLiteral("TfrmChangePassword"));
  setWindowTitle(QStringLiteral("Change Password"));
  auto* layout = new QVBoxLayout(this);
  kindLabel_ = new QLabel(
      QStringLiteral("This Safe is %1.").arg(QString::fromStdString(g.SafeKeyDerivation().Describe())), this);
  kindLabel_->setObjectName(QStringLiteral("lblSafeKind"));
  kindLabel_->setWordWrap(true);
  layout->addWidget(kindLabel_);
  auto* grid = new QGridLayout;
  grid->setHorizontalSpacing(10);
  oldPassword_ = PasswordBox(QStringLiteral("OldPassword"), this);
  newPassword_ = PasswordBox(QStringLiteral("NewPassword"), this);
  newPasswordConfirm_ = PasswordBox(QStringLiteral("NewPasswordConfirm"), this);
  const struct {
    const char* caption;
    QLineEdit* box;
  } rows[] = {{"&Old password: ", oldPassword_},
              {"&New password: ", newPassword_},
              {"&Re-enter password: ", newPasswordConfirm_}};
  int row = 0;
  for (const auto& r : rows) {
    auto* label = new QLabel(QString::fromLatin1(r.caption), this);
    label->setBuddy(r.box);
    grid->addWidget(label, row, 0);
    grid->addWidget(r.box, row, 1);
    ++row;
  }
  chkCompatible_ = new QCheckBox(QStringLiteral("Readable by older versions (weaker protection)"), this);
  chkCompatible_->setObjectName(QStringLiteral("chkCompatible"));
  chkCompatible_->setChecked(current_ == TqmSafeKind::Compatible);
  grid->addWidget(chkCompatible_, row, 1);
  grid->setColumnStretch(1, 1);
  grid->setColumnMinimumWidth(1, 220);
  layout->addLayout(grid);
  rule_ = new QLabel(this);
  rule_->setObjectName(QStringLiteral("lblPasswordRule"));
  rule_->setWordWrap(true);
  rule_->setStyleSheet(QStringLiteral("color: #4a5563;"));
  layout->addWidget(rule_);
  connect(chkCompatible_, &QCheckBox::toggled, this, &TfrmChangePassword::UpdateRule);
  UpdateRule();
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("btnOk"));
  buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("OK"));
  buttons->button(QDialogButtonBox::Ok)->setDefault(true);
  buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("btnCancel"));
  buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Cancel"));
  connect(buttons, &QDialogButtonBox::accepted, this, &TfrmChangePassword::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &TfrmChangePassword::reject);
  layout->addWidget(buttons);
}

TqmSafeKind TfrmChangePassword::ChosenKind() const {
  return chkCompatible_->isChecked() ? TqmSafeKind::Compatible : TqmSafeKind::Hardened;
}

void TfrmChangePassword::UpdateRule() {
  const TqmSafeKind kind = ChosenKind();
  QString text = kind == TqmSafeKind::Compatible
                     ? QStringLiteral("At least %1 and at most %2 characters.")
                           .arg(login::kMinPasswordLength)
                           .arg(login::MasterPasswordLimit(kind))
                     : QStringLiteral("At least %1 characters.").arg(login::kMinPasswordLength);
  if (kind == current_)
    text += kind == TqmSafeKind::Compatible ? QStringLiteral(" The Safe stays readable by older versions.")
                                            : QStringLiteral(" The Safe stays hardened.");
  else if (kind == TqmSafeKind::Hardened)
    text += QStringLiteral(" The Safe becomes hardened: older versions can no longer open it.");
  else
    text += QStringLiteral(" The Safe loses its hardening (weaker protection).");
  rule_->setText(text);
}

TfrmChangePassword::~TfrmChangePassword() {
  WipeString(old_);
  WipeString(new_);
}

void TfrmChangePassword::accept() {
  std::string oldText, newText, confirm;
  TWipeOnExit w1(oldText), w2(newText), w3(confirm);
  QString problem;
  QString typed = oldPassword_->text();
  const bool oldOk = ToSafeText(typed, oldText);
  WipeQString(typed);
  if (!oldOk) {
    ShowWarning(this, QString::fromLatin1(login::kMsgOldPasswordIncorrect));
    oldPassword_->setFocus();
    return;
  }
  typed = newPassword_->text();
  const bool newOk = ToSafeText(typed, newText, &problem, QStringLiteral("new password"));
  WipeQString(typed);
  typed = newPasswordConfirm_->text();
  if (!ToSafeText(typed, confirm)) confirm = std::string(1, '\0');
  WipeQString(typed);
  const TqmSafeKind kind = ChosenKind();
  std::string refusal;
  // The check of the old password is one key derivation for a hardened Safe: on a worker, under the
  // wait cursor, while the window keeps painting.
  TqmProgressRunner::RunBusy(
      nullptr, [&] { refusal = login::ChangePasswordProblem(g_, oldText, newText, confirm, kind); });
  // A new password the code page cannot hold is refused after a wrong old one.
  if (!newOk && refusal != login::kMsgOldPasswordIncorrect) refusal = ToUtf8(problem);
  if (!refusal.empty()) {
    ShowWarning(this, FromMessage(refusal));
    (refusal == login::kMsgOldPasswordIncorrect ? oldPassword_ : newPassword_)->setFocus();
    return;
  }
  if (current_ == TqmSafeKind::Hardened && kind == TqmSafeKind::Compatible &&
      !AskYesNo(this, QString::fromLatin1(kMsgMakeCompatible).arg(login::MasterPasswordLimit(kind)))) {
    chkCompatible_->setFocus();
    return;
  }
  old_ = oldText;
  new_ = newText;
  kind_ = kind == current_ ? std::nullopt : std::optional<TqmSafeKind>(kind);
  for (QLineEdit* box : {oldPassword_, newPassword_, newPasswordConfirm_}) box->clear();
  QDialog::accept();
}

}  // namespace quillmar
