#pragma once
// TfrmLogin: the login window. Open mode picks a Safe from the list and takes its master password;
// create mode takes a new Safe's name, its password twice and whether to fill it with demo data.
// "&New Safe" turns to create mode, "&Delete Safe" deletes the chosen Safe (its password first).
// OK closes the window only when the Safe was created or checked (login::ValidateLogin); Cancel in
// create mode with Safes in the list goes back to open mode. SafeName is written to the ini file
// as "lastused" on every OK. Create mode offers "Readable by older versions (weaker protection)",
// off: new Safes are hardened. The master password is derived into the Safe's key once (with the
// busy pointer); after OK the window holds that key for the open, and no typed password.
#include <QDialog>
#include <string>

#include "core/qmSafeTypes.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace quillmar {

class TqmGlobal;

class TfrmLogin : public QDialog {
  Q_OBJECT
public:
  // Reads SafeName and the Safe to preselect from the ini file ("lastused").
  TfrmLogin(TqmGlobal& g, QWidget* parent);
  ~TfrmLogin() override;

  // The mode asked for (login::kModeCreate, kModeOpen, 0 for none) and the Safe to preselect ("" to
  // keep the ini's).
  void SetRequest(int mode, const std::string& safeName);
  int Mode() const { return mode_; }
  // After OK: the key of the Safe that was checked or created (SafeName's), to open it with.
  const TTextKey& Key() const { return key_; }

  void accept() override;
  void reject() override;

protected:
  void showEvent(QShowEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

private:
  void ChooseModeAndLayout();
  void FillList();
  void LayoutCreate(bool fromNewSafe);
  void LayoutOpen();
  void NewSafe();
  void DeleteSafe();
  // The validation of OK and Delete: 0 when the Safe may be used.
  int Validate();
  void ClearPasswords();

  TqmGlobal& g_;
  int mode_ = 0;
  int requestedMode_ = 0;
  std::string preselect_;
  bool layoutDone_ = false;
  TTextKey key_;

  QLabel* banner_;
  QLabel* lblUserName_;
  QLineEdit* txtUserName_;
  QComboBox* cmbUserName_;
  QLabel* lblMasterPassword_;
  QLineEdit* txtMasterPassword_;
  QLabel* lblMasterPasswordConfirm_;
  QLineEdit* txtMasterPasswordConfirm_;
  QCheckBox* chkDemo_;
  QCheckBox* chkCompatible_;
  QLabel* lblNotes1_;
  QPushButton* btnNewSafe_;
  QPushButton* btnDeleteSafe_;
  QPushButton* btnOk_;
  QPushButton* btnCancel_;
};

}  // namespace quillmar
