#pragma once
// TfrmPasswordGenerator: makes a new password for a password box (modal). Either a random password
// of a chosen length from chosen character classes (upper case, lower case, digits, symbols, with
// or without look-alike characters), or a passphrase of words from the word list shipped with the
// program. The entropy of what the rules allow is shown in bits; rules that cannot be met say why
// and block OK. The generator is the core's (core/qmPasswordGenerator.h: the system's random source,
// no modulo bias). The choices are kept for the next opening during the run.
//
// objectNames: rbPassword, rbPassphrase, spnLength, chkUpper, chkLower, chkDigits, chkSymbols,
// chkNoLookAlikes, spnWords, txtSeparator, chkCapitalize, txtGenerated, btnRegenerate, lblEntropy,
// btnOK, btnCancel.
#include <QDialog>
#include <QString>

#include "core/qmPasswordGenerator.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;

namespace quillmar {

class TfrmPasswordGenerator : public QDialog {
  Q_OBJECT
public:
  // source: where the randomness comes from (screenshots pass a fixed one); null: the system's.
  // It must outlive the window.
  explicit TfrmPasswordGenerator(QWidget* parent, TqmRandomSource* source = nullptr);
  ~TfrmPasswordGenerator() override;

  // The password shown (what OK hands over).
  QString Password() const;
  // Draws a new one under the rules shown.
  void Regenerate();

private:
  void RulesChanged();
  bool ReadRules(TqmPasswordRules& password, TqmPassphraseRules& phrase, QString& problem) const;

  QRadioButton* rbPassword_;
  QRadioButton* rbPassphrase_;
  QGroupBox* grpPassword_;
  QGroupBox* grpPassphrase_;
  QSpinBox* spnLength_;
  QCheckBox* chkUpper_;
  QCheckBox* chkLower_;
  QCheckBox* chkDigits_;
  QCheckBox* chkSymbols_;
  QCheckBox* chkNoLookAlikes_;
  QSpinBox* spnWords_;
  QLineEdit* txtSeparator_;
  QCheckBox* chkCapitalize_;
  QLineEdit* txtGenerated_;
  QLabel* lblEntropy_;
  QPushButton* ok_;
  TqmRandomSource* source_;
};

}  // namespace quillmar
