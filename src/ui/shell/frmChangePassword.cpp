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
#include "widgets/qmText.h"

namespace quillmar {

namespace {

QLineEdit* PasswordBox(const QString& name, QWidget* parent) {
  auto* box = new QLineEdit(parent);
  box->setObjectName(name);
  box->setEchoMode(QLineEdit::Password);
  box->setMaxLength(1024);  // never cuts a pass phrase; too long ones are refused with a message
  return box;
}

}  // namespace

TfrmChangePassword::TfrmChangePassword(TqmGlobal& g, QWidget* parent) : QDialog(parent), g_(g) {
  setObjectName(QStringLiteral("TfrmChangePassword"));
  setWindowTitle(QStringLiteral("Change Password"));
  auto* layout = new QVBoxLayout(this);
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
  chkCompatible_->setVisible(login::kSafeKindChoice);
  grid->addWidget(chkCompatible_, row, 1);
  grid->setColumnStretch(1, 1);
  grid->setColumnMinimumWidth(1, 220);
  layout->addLayout(grid);
  auto* note = new QLabel(QStringLiteral("At least %1 and at most %2 characters.")
                              .arg(login::kMinPasswordLength)
                              .arg(login::MasterPasswordLimit()),
                          this);
  note->setObjectName(QStringLiteral("lblPasswordRule"));
  note->setStyleSheet(QStringLiteral("color: #4a5563;"));
  layout->addWidget(note);
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
  std::string refusal = login::ChangePasswordProblem(g_.MasterPassword(), oldText, newText, confirm);
  // A new password the code page cannot hold is refused after a wrong old one.
  if (!newOk && refusal != login::kMsgOldPasswordIncorrect) refusal = ToUtf8(problem);
  if (!refusal.empty()) {
    ShowWarning(this, FromMessage(refusal));
    (refusal == login::kMsgOldPasswordIncorrect ? oldPassword_ : newPassword_)->setFocus();
    return;
  }
  old_ = oldText;
  new_ = newText;
  for (QLineEdit* box : {oldPassword_, newPassword_, newPasswordConfirm_}) box->clear();
  QDialog::accept();
}

}  // namespace quillmar
