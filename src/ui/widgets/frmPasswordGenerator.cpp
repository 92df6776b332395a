#include "widgets/frmPasswordGenerator.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <cmath>

#include "base/Exception.h"
#include "base/SecureWipe.h"
#include "widgets/qmGlyphs.h"
#include "widgets/qmText.h"

namespace quillmar {

namespace {

// The choices of the last generator closed during this run.
struct TLastChoices {
  bool passphrase = false;
  TqmPasswordRules password;
  TqmPassphraseRules phrase;
};
TLastChoices& Last() {
  static TLastChoices last;
  return last;
}

}  // namespace

TfrmPasswordGenerator::TfrmPasswordGenerator(QWidget* parent, TqmRandomSource* source)
    : QDialog(parent), source_(source) {
  setObjectName(QStringLiteral("TfrmPasswordGenerator"));
  setWindowTitle(QStringLiteral("Password Generator"));
  const TLastChoices& last = Last();
  auto* layout = new QVBoxLayout(this);

  auto* kinds = new QHBoxLayout();
  rbPassword_ = new QRadioButton(QStringLiteral("&Password"), this);
  rbPassword_->setObjectName(QStringLiteral("rbPassword"));
  rbPassphrase_ = new QRadioButton(QStringLiteral("Pass&phrase"), this);
  rbPassphrase_->setObjectName(QStringLiteral("rbPassphrase"));
  kinds->addWidget(rbPassword_);
  kinds->addWidget(rbPassphrase_);
  kinds->addStretch(1);
  layout->addLayout(kinds);

  grpPassword_ = new QGroupBox(QStringLiteral("Random characters"), this);
  auto* pw = new QFormLayout(grpPassword_);
  spnLength_ = new QSpinBox(grpPassword_);
  spnLength_->setObjectName(QStringLiteral("spnLength"));
  spnLength_->setRange(kMinGeneratedLength, kMaxGeneratedLength);
  spnLength_->setValue(last.password.length);
  pw->addRow(QStringLiteral("&Length:"), spnLength_);
  auto check = [this](const QString& text, const char* name, bool on, QWidget* group) {
    auto* box = new QCheckBox(text, group);
    box->setObjectName(QString::fromLatin1(name));
    box->setChecked(on);
    return box;
  };
  chkUpper_ = check(QStringLiteral("&Upper case (A-Z)"), "chkUpper", last.password.upper, grpPassword_);
  chkLower_ = check(QStringLiteral("L&ower case (a-z)"), "chkLower", last.password.lower, grpPassword_);
  chkDigits_ = check(QStringLiteral("&Digits (0-9)"), "chkDigits", last.password.digits, grpPassword_);
  chkSymbols_ = check(QStringLiteral("&Symbols (!#$%&&*+-/=?@^_~ ...)"), "chkSymbols", last.password.symbols,
                      grpPassword_);
  chkNoLookAlikes_ = check(QStringLiteral("&No look-alikes (I l 1 | O 0 o ` ' \")"), "chkNoLookAlikes",
                           last.password.noLookAlikes, grpPassword_);
  for (QCheckBox* box : {chkUpper_, chkLower_, chkDigits_, chkSymbols_, chkNoLookAlikes_}) pw->addRow(box);
  layout->addWidget(grpPassword_);

  grpPassphrase_ = new QGroupBox(QStringLiteral("Words"), this);
  auto* pp = new QFormLayout(grpPassphrase_);
  spnWords_ = new QSpinBox(grpPassphrase_);
  spnWords_->setObjectName(QStringLiteral("spnWords"));
  spnWords_->setRange(kMinPassphraseWords, kMaxPassphraseWords);
  spnWords_->setValue(last.phrase.words);
  pp->addRow(QStringLiteral("&Words:"), spnWords_);
  txtSeparator_ = new QLineEdit(FromSafeText(last.phrase.separator), grpPassphrase_);
  txtSeparator_->setObjectName(QStringLiteral("txtSeparator"));
  txtSeparator_->setMaxLength(3);
  txtSeparator_->setMaximumWidth(60);
  pp->addRow(QStringLiteral("S&eparator:"), txtSeparator_);
  chkCapitalize_ =
      check(QStringLiteral("&Capitalize words"), "chkCapitalize", last.phrase.capitalize, grpPassphrase_);
  pp->addRow(chkCapitalize_);
  layout->addWidget(grpPassphrase_);

  auto* result = new QHBoxLayout();
  txtGenerated_ = new QLineEdit(this);
  txtGenerated_->setObjectName(QStringLiteral("txtGenerated"));
  txtGenerated_->setReadOnly(true);
  txtGenerated_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  txtGenerated_->setMinimumWidth(340);
  result->addWidget(txtGenerated_, 1);
  auto* again =
      new QPushButton(ButtonGlyph(QStringLiteral("IDB_GENERATE")), QStringLiteral("&Generate again"), this);
  again->setObjectName(QStringLiteral("btnRegenerate"));
  again->setAutoDefault(false);
  result->addWidget(again);
  layout->addLayout(result);
  lblEntropy_ = new QLabel(this);
  lblEntropy_->setObjectName(QStringLiteral("lblEntropy"));
  lblEntropy_->setWordWrap(true);
  layout->addWidget(lblEntropy_);

  auto* buttons = new QDialogButtonBox(this);
  ok_ = buttons->addButton(QDialogButtonBox::Ok);
  ok_->setObjectName(QStringLiteral("btnOK"));
  auto* cancel = buttons->addButton(QDialogButtonBox::Cancel);
  cancel->setObjectName(QStringLiteral("btnCancel"));
  layout->addWidget(buttons);
  ok_->setDefault(true);

  (last.passphrase ? rbPassphrase_ : rbPassword_)->setChecked(true);
  connect(again, &QPushButton::clicked, this, &TfrmPasswordGenerator::Regenerate);
  connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  for (QRadioButton* r : {rbPassword_, rbPassphrase_})
    connect(r, &QRadioButton::toggled, this, [this](bool on) {
      if (on) RulesChanged();
    });
  for (QSpinBox* s : {spnLength_, spnWords_})
    connect(s, &QSpinBox::valueChanged, this, &TfrmPasswordGenerator::RulesChanged);
  for (QCheckBox* c : {chkUpper_, chkLower_, chkDigits_, chkSymbols_, chkNoLookAlikes_, chkCapitalize_})
    connect(c, &QCheckBox::toggled, this, &TfrmPasswordGenerator::RulesChanged);
  connect(txtSeparator_, &QLineEdit::textChanged, this, &TfrmPasswordGenerator::RulesChanged);
  RulesChanged();
}

TfrmPasswordGenerator::~TfrmPasswordGenerator() {
  QString shown = txtGenerated_->text();
  txtGenerated_->clear();
  WipeQString(shown);
  TLastChoices& last = Last();
  TqmPasswordRules password;
  TqmPassphraseRules phrase;
  QString problem;
  ReadRules(password, phrase, problem);
  last.passphrase = rbPassphrase_->isChecked();
  last.password = password;
  if (PassphraseRulesProblem(phrase).empty()) last.phrase = phrase;
}

QString TfrmPasswordGenerator::Password() const {
  return txtGenerated_->text();
}

bool TfrmPasswordGenerator::ReadRules(TqmPasswordRules& password, TqmPassphraseRules& phrase,
                                      QString& problem) const {
  password.length = spnLength_->value();
  password.upper = chkUpper_->isChecked();
  password.lower = chkLower_->isChecked();
  password.digits = chkDigits_->isChecked();
  password.symbols = chkSymbols_->isChecked();
  password.noLookAlikes = chkNoLookAlikes_->isChecked();
  phrase.words = spnWords_->value();
  phrase.capitalize = chkCapitalize_->isChecked();
  QString separatorProblem;
  if (!ToSafeText(txtSeparator_->text(), phrase.separator, &separatorProblem, QStringLiteral("separator"))) {
    problem = separatorProblem;
    return false;
  }
  problem = FromMessage(rbPassphrase_->isChecked() ? PassphraseRulesProblem(phrase)
                                                   : PasswordRulesProblem(password));
  return problem.isEmpty();
}

void TfrmPasswordGenerator::RulesChanged() {
  const bool phrase = rbPassphrase_->isChecked();
  grpPassword_->setEnabled(!phrase);
  grpPassphrase_->setEnabled(phrase);
  Regenerate();
}

void TfrmPasswordGenerator::Regenerate() {
  TqmPasswordRules passwordRules;
  TqmPassphraseRules phraseRules;
  QString problem;
  QString old = txtGenerated_->text();
  if (!ReadRules(passwordRules, phraseRules, problem)) {
    txtGenerated_->clear();
    WipeQString(old);
    lblEntropy_->setStyleSheet(QStringLiteral("color: #b00020;"));
    lblEntropy_->setText(problem);
    ok_->setEnabled(false);
    return;
  }
  const bool phrase = rbPassphrase_->isChecked();
  std::string made;
  double bits = 0;
  try {
    if (source_ != nullptr)
      made = phrase ? GeneratePassphrase(phraseRules, *source_) : GeneratePassword(passwordRules, *source_);
    else
      made = phrase ? GeneratePassphrase(phraseRules) : GeneratePassword(passwordRules);
    bits = phrase ? PassphraseEntropyBits(phraseRules) : PasswordEntropyBits(passwordRules);
  } catch (const std::exception& e) {
    txtGenerated_->clear();
    lblEntropy_->setStyleSheet(QStringLiteral("color: #b00020;"));
    lblEntropy_->setText(FromMessage(e.what()));
    ok_->setEnabled(false);
    return;
  }
  txtGenerated_->setText(FromSafeText(made));
  WipeString(made);
  WipeQString(old);
  txtGenerated_->setCursorPosition(0);
  lblEntropy_->setStyleSheet(QString());
  lblEntropy_->setText(QStringLiteral("Entropy: %1 bits").arg(static_cast<int>(std::floor(bits))));
  ok_->setEnabled(true);
}

}  // namespace quillmar
