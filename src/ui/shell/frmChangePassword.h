#pragma once
// TfrmChangePassword: the old password and the new one twice. OK is accepted only when the old
// password is the master password and the new one may be used (login::ChangePasswordProblem); each
// refusal shows its message and keeps the dialog open. The change itself is the caller's.
#include <QDialog>
#include <string>

class QCheckBox;
class QLineEdit;

namespace quillmar {

class TqmGlobal;

class TfrmChangePassword : public QDialog {
  Q_OBJECT
public:
  TfrmChangePassword(TqmGlobal& g, QWidget* parent);
  ~TfrmChangePassword() override;

  void accept() override;

  // After OK: the two passwords as Safe text (wiped when the dialog dies).
  const std::string& OldPassword() const { return old_; }
  const std::string& NewPassword() const { return new_; }

private:
  TqmGlobal& g_;
  QLineEdit* oldPassword_;
  QLineEdit* newPassword_;
  QLineEdit* newPasswordConfirm_;
  QCheckBox* chkCompatible_;
  std::string old_;
  std::string new_;
};

}  // namespace quillmar
