#pragma once
// TfrmChangePassword: the old password and the new one twice, and the kind the Safe is to have. The
// window shows the Safe's kind ("This Safe is hardened (Argon2id, ...)") and the check box
// "Readable by older versions (weaker protection)", marked when the Safe is compatible; changing it
// changes the kind with the password (making a hardened Safe compatible asks first). OK is accepted
// only when the old password is the master password and the new one may be used for the kind chosen
// (login::ChangePasswordProblem); each refusal shows its message and keeps the dialog open. The change
// itself is the caller's.
#include <QDialog>
#include <optional>
#include <string>

#include "core/qmSafeTypes.h"

class QCheckBox;
class QLabel;
class QLineEdit;

namespace quillmar {

class TqmGlobal;

class TfrmChangePassword : public QDialog {
  Q_OBJECT
public:
  // REQUIRES: a Safe is open.
  TfrmChangePassword(TqmGlobal& g, QWidget* parent);
  ~TfrmChangePassword() override;

  void accept() override;

  // After OK: the two passwords as Safe text (wiped when the dialog dies).
  const std::string& OldPassword() const { return old_; }
  const std::string& NewPassword() const { return new_; }
  // After OK: the kind the Safe is to have, or nullopt when it keeps its kind (TqmGlobal::ChangePassword).
  std::optional<TqmSafeKind> Kind() const { return kind_; }

private:
  TqmSafeKind ChosenKind() const;
  void UpdateRule();

  TqmGlobal& g_;
  TqmSafeKind current_;
  QLabel* kindLabel_;
  QLineEdit* oldPassword_;
  QLineEdit* newPassword_;
  QLineEdit* newPasswordConfirm_;
  QCheckBox* chkCompatible_;
  QLabel* rule_;
  std::string old_;
  std::string new_;
  std::optional<TqmSafeKind> kind_;
};

}  // namespace quillmar
