#include "cryptomail/frmCryptoMail.h"

#include <QAction>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMetaObject>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QVBoxLayout>
#include <atomic>
#include <initializer_list>

#include "base/CodePage.h"
#include "base/SecureWipe.h"
#include "core/CryptoMail.h"
#include "core/qmGlobal.h"
#include "platform/UserFolders.h"
#include "shell/qmFileDialogs.h"
#include "shell/qmMessages.h"
#include "shell/qmProgressRunner.h"
#include "widgets/qmHotLabel.h"
#include "widgets/qmText.h"

namespace quillmar {

namespace {

constexpr char kShowReply[] = "Show Reply information";
constexpr char kHideReply[] = "Hide Reply information";

// The document's code page, whatever the Safe's is.
const TCodePage& DocumentCodePage() {
  static const TCodePage codePage("windows-1252");
  return codePage;
}

// Text for the document: CR LF line ends, windows-1252. False with the message when a character
// cannot be held (named, unless the text is secret).
bool ToDocumentText(QString text, std::string& out, const QString& what, bool secret, QString& problem) {
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  text.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
  for (int i = 0; i < text.size(); ++i) {
    const int width = text.at(i).isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
    const QString one = text.mid(i, width);
    if (!DocumentCodePage().CanEncode(one.toStdString())) {
      problem = secret ? QStringLiteral(
                             "The %1 holds a character (at position %2) that the encrypted document "
                             "(windows-1252) cannot hold. Please choose it without that character.")
                             .arg(what)
                             .arg(i + 1)
                       : QStringLiteral(
                             "The %1 holds the character \"%2\", which the encrypted document "
                             "(windows-1252) cannot hold. Please type it without that character.")
                             .arg(what, one);
      return false;
    }
    i += width - 1;
  }
  QByteArray utf8 = text.toUtf8();
  out = DocumentCodePage().FromUtf8(std::string_view(utf8.constData(), static_cast<size_t>(utf8.size())));
  utf8.fill('\0');
  return true;
}

QLabel* BuddyLabel(const QString& text, QWidget* buddy, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setBuddy(buddy);
  return label;
}

}  // namespace

TfrmCryptoMail::TfrmCryptoMail(TqmShell& shell, QWidget* parent) : TqmTabWindow(parent), shell_(shell) {
  setObjectName(QStringLiteral("TfrmCryptoMail"));
  auto* outer = new QVBoxLayout(this);
  pages_ = new QStackedWidget(this);
  outer->addWidget(pages_);

  auto* input = new QWidget(pages_);
  input->setObjectName(QStringLiteral("pnlInput"));
  auto* layout = new QVBoxLayout(input);

  // The source.
  auto* source = new QGroupBox(input);
  auto* sourceGrid = new QGridLayout(source);
  rbFile_ = new QRadioButton(QStringLiteral("&File to be encrypted"), source);
  rbFile_->setObjectName(QStringLiteral("rbFile"));
  rbMessage_ = new QRadioButton(QStringLiteral("Encrypt te&xt message"), source);
  rbMessage_->setObjectName(QStringLiteral("rbMessage"));
  fileName_ = new QLineEdit(source);
  fileName_->setObjectName(QStringLiteral("FileName"));
  fileName_->setReadOnly(true);
  btnFileName_ = new QPushButton(QStringLiteral("..."), source);
  btnFileName_->setObjectName(QStringLiteral("btnFileName"));
  btnFileName_->setAccessibleName(QStringLiteral("Choose the file to be encrypted"));
  theMessage_ = new QPlainTextEdit(source);
  theMessage_->setObjectName(QStringLiteral("theMessage"));
  theMessage_->setTabChangesFocus(true);
  sourceGrid->addWidget(rbFile_, 0, 0, 1, 2);
  sourceGrid->addWidget(fileName_, 1, 0);
  sourceGrid->addWidget(btnFileName_, 1, 1);
  sourceGrid->addWidget(rbMessage_, 2, 0, 1, 2);
  sourceGrid->addWidget(theMessage_, 3, 0, 1, 2);
  sourceGrid->setRowStretch(3, 1);
  layout->addWidget(source, 1);

  // Password and delivery.
  auto* grid = new QGridLayout;
  password_ = new QLineEdit(input);
  password_->setObjectName(QStringLiteral("Password"));
  password_->setEchoMode(QLineEdit::Password);
  passwordConfirm_ = new QLineEdit(input);
  passwordConfirm_->setObjectName(QStringLiteral("PasswordConfirm"));
  passwordConfirm_->setEchoMode(QLineEdit::Password);
  destination_ = new QComboBox(input);
  destination_->setObjectName(QStringLiteral("Destination"));
  const std::string desktopName = DesktopFolderDisplayName();
  destination_->addItem(desktopName.empty() ? QStringLiteral("Desktop") : FromUtf8(desktopName));
  destination_->addItem(QStringLiteral("Default Email Program"));
  recipient_ = new QLineEdit(input);
  recipient_->setObjectName(QStringLiteral("Recipient"));
  grid->addWidget(BuddyLabel(QStringLiteral("&Password:"), password_, input), 0, 0);
  grid->addWidget(password_, 0, 1);
  grid->addWidget(BuddyLabel(QStringLiteral("&Confirm:"), passwordConfirm_, input), 1, 0);
  grid->addWidget(passwordConfirm_, 1, 1);
  auto* note = new QLabel(QStringLiteral("Recipient needs this password to decrypt message"), input);
  note->setStyleSheet(QStringLiteral("color: #4a5563;"));
  grid->addWidget(note, 2, 1);
  grid->addWidget(BuddyLabel(QStringLiteral("&Deliver message/document using:"), destination_, input), 3, 0);
  grid->addWidget(destination_, 3, 1);
  grid->addWidget(BuddyLabel(QStringLiteral("&Recipients email address:"), recipient_, input), 4, 0);
  grid->addWidget(recipient_, 4, 1);
  grid->setColumnStretch(1, 1);
  layout->addLayout(grid);

  // Commands.
  encrypt_ = new QAction(QStringLiteral("&Encrypt"), this);
  encrypt_->setObjectName(QStringLiteral("encrypt"));
  encrypt_->setToolTip(QStringLiteral(
      "Encrypt selected file or message and send it via email \nto the specified recipient or to the "
      "desktop."));
  showSettings_ = new QAction(QString::fromLatin1(kHideReply), this);
  showSettings_->setObjectName(QStringLiteral("showSettings"));
  showSettings_->setToolTip(QStringLiteral("Show or hide encrypted return information."));
  auto* links = new QHBoxLayout;
  lnkShowSettings_ = new TqmHotLabel(QString::fromLatin1(kHideReply), input);
  lnkShowSettings_->setObjectName(QStringLiteral("lnkShowSettings"));
  lnkShowSettings_->SetAction(showSettings_);
  auto* lnkEncrypt = new TqmHotLabel(QStringLiteral("Encrypt"), input);
  lnkEncrypt->setObjectName(QStringLiteral("lnkEncrypt"));
  lnkEncrypt->SetAction(encrypt_);
  btnEncrypt_ = new QPushButton(QStringLiteral("&Encrypt"), input);
  btnEncrypt_->setObjectName(QStringLiteral("btnEncrypt"));
  btnEncrypt_->setToolTip(encrypt_->toolTip());
  links->addWidget(lnkShowSettings_);
  links->addStretch(1);
  links->addWidget(lnkEncrypt);
  links->addWidget(btnEncrypt_);
  layout->addLayout(links);

  // Reply information.
  replyPanel_ = new QGroupBox(QStringLiteral("Reply information as displayed to recipient"), input);
  replyPanel_->setObjectName(QStringLiteral("pnlReply"));
  auto* reply = new QGridLayout(replyPanel_);
  riName_ = new QLineEdit(replyPanel_);
  riName_->setObjectName(QStringLiteral("riName"));
  riEMail_ = new QLineEdit(replyPanel_);
  riEMail_->setObjectName(QStringLiteral("riEMail"));
  riWebsite_ = new QLineEdit(replyPanel_);
  riWebsite_->setObjectName(QStringLiteral("riWebsite"));
  riAdditional_ = new QPlainTextEdit(replyPanel_);
  riAdditional_->setObjectName(QStringLiteral("riAdditional"));
  riAdditional_->setTabChangesFocus(true);
  riAdditional_->setFixedHeight(60);
  reply->addWidget(BuddyLabel(QStringLiteral("&Name:"), riName_, replyPanel_), 0, 0);
  reply->addWidget(riName_, 0, 1);
  reply->addWidget(BuddyLabel(QStringLiteral("E&mail address:"), riEMail_, replyPanel_), 1, 0);
  reply->addWidget(riEMail_, 1, 1);
  reply->addWidget(BuddyLabel(QStringLiteral("&Website:"), riWebsite_, replyPanel_), 2, 0);
  reply->addWidget(riWebsite_, 2, 1);
  reply->addWidget(BuddyLabel(QStringLiteral("N&otes:"), riAdditional_, replyPanel_), 3, 0, Qt::AlignTop);
  reply->addWidget(riAdditional_, 3, 1);
  layout->addWidget(replyPanel_);
  pages_->addWidget(input);

  // The progress panel, in place of the input while the command runs.
  progressText_ = new QLabel(pages_);
  progressText_->setObjectName(QStringLiteral("lblProgress"));
  progressText_->setAlignment(Qt::AlignCenter);
  pages_->addWidget(progressText_);

  connect(rbFile_, &QRadioButton::toggled, this, &TfrmCryptoMail::UpdateSources);
  connect(btnFileName_, &QPushButton::clicked, this, &TfrmCryptoMail::ChooseFile);
  connect(encrypt_, &QAction::triggered, this, &TfrmCryptoMail::Encrypt);
  connect(btnEncrypt_, &QPushButton::clicked, this, &TfrmCryptoMail::Encrypt);
  connect(showSettings_, &QAction::triggered, this, [this] {
    replyShown_ = !replyShown_;
    UpdateReplyPanel();
    StoreSettings();
  });
  for (QLineEdit* box : {riName_, riEMail_, riWebsite_})
    connect(box, &QLineEdit::textChanged, this, &TfrmCryptoMail::StoreSettings);
  connect(riAdditional_, &QPlainTextEdit::textChanged, this, &TfrmCryptoMail::StoreSettings);
  connect(destination_, &QComboBox::currentIndexChanged, this, &TfrmCryptoMail::StoreSettings);
  connect(rbFile_, &QRadioButton::toggled, this, &TfrmCryptoMail::StoreSettings);
  LoadSettings();
}

TfrmCryptoMail::~TfrmCryptoMail() {
  for (QLineEdit* box : {password_, passwordConfirm_}) {
    QString text = box->text();
    box->clear();
    WipeQString(text);
  }
}

void TfrmCryptoMail::TabShown() {
  LoadSettings();
}

void TfrmCryptoMail::LoadSettings() {
  // Sources off, settings in, panel laid out, sources on by the choice; nothing is stored meanwhile.
  loading_ = true;
  fileName_->setEnabled(false);
  btnFileName_->setEnabled(false);
  theMessage_->setEnabled(false);
  const TqmCryptoMailOptions o = LoadCryptoMailOptions(shell_.Global().Settings());
  destination_->setCurrentIndex(o.destination == 0 ? 0 : 1);
  rbFile_->setChecked(o.fileMode);
  rbMessage_->setChecked(!o.fileMode);
  replyShown_ = o.replyShown;
  riName_->setText(FromSafeText(o.name));
  riEMail_->setText(FromSafeText(o.email));
  riWebsite_->setText(FromSafeText(o.website));
  QString notes = FromSafeText(o.additional);
  notes.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  riAdditional_->setPlainText(notes);
  UpdateReplyPanel();
  UpdateSources();
  loading_ = false;
}

void TfrmCryptoMail::SafeChangedElsewhere(const TqmSafeChanges& changes) {
  if (!changes.Settings && !changes.Unknown) return;
  // The frame merged the change into the settings before this call; TabShown loads them anyway.
  if (isVisible() && EditingSettings()) return;
  LoadSettings();
}

bool TfrmCryptoMail::EditingSettings() {
  // The control that takes what is typed into the window (also while another program is in front).
  const QWidget* focus = window()->focusWidget();
  for (const QWidget* control :
       std::initializer_list<const QWidget*>{riName_, riEMail_, riWebsite_, riAdditional_})
    if (focus == control || (focus && control->isAncestorOf(focus))) return true;
  TqmCryptoMailOptions shown;
  if (!GatherOptions(shown, true)) return true;
  return false;
}

bool TfrmCryptoMail::GatherOptions(TqmCryptoMailOptions& o, bool quiet) {
  o.destination = destination_->currentIndex() == 0 ? 0 : 1;
  o.fileMode = rbFile_->isChecked();
  o.replyShown = replyShown_;
  QString problem;
  const struct {
    QString text;
    std::string* out;
    const char* what;
  } texts[] = {{riName_->text(), &o.name, "name"},
               {riEMail_->text(), &o.email, "e-mail address"},
               {riWebsite_->text(), &o.website, "website"},
               {riAdditional_->toPlainText(), &o.additional, "notes"}};
  for (const auto& t : texts)
    if (!ToDocumentText(t.text, *t.out, QString::fromLatin1(t.what), false, problem)) {
      if (!quiet) ShowWarning(this, problem);
      return false;
    }
  return true;
}

void TfrmCryptoMail::StoreSettings() {
  if (loading_) return;
  TqmCryptoMailOptions o;
  // A character the document cannot hold is refused when encrypting; until then the settings keep
  // what they held.
  if (!GatherOptions(o, true)) return;
  try {
    StoreCryptoMailSettings(o, shell_.Global().Settings());
  } catch (const std::exception&) {
    // A line break cannot be typed into the one-line boxes; nothing to keep then.
  }
}

void TfrmCryptoMail::SaveState() {
  StoreSettings();
}

void TfrmCryptoMail::UpdateSources() {
  const bool file = rbFile_->isChecked();
  fileName_->setEnabled(file);
  btnFileName_->setEnabled(file);
  theMessage_->setEnabled(!file);
}

void TfrmCryptoMail::UpdateReplyPanel() {
  replyPanel_->setVisible(replyShown_);
  const QString text = QString::fromLatin1(replyShown_ ? kHideReply : kShowReply);
  showSettings_->setText(text);
  lnkShowSettings_->setText(text);
}

void TfrmCryptoMail::PresetFile(const QString& path) {
  rbFile_->setChecked(true);
  fileName_->setText(path);
}

QString TfrmCryptoMail::PresetPath() const {
  return fileName_->text();
}

void TfrmCryptoMail::ChooseFile() {
  TqmFileRequest request;
  request.caption = QStringLiteral("File to be encrypted");
  request.filter = QStringLiteral("All files (*)");
  const QString path = quillmar::ChooseFile(this, request);
  if (!path.isEmpty()) fileName_->setText(path);
}

void TfrmCryptoMail::ShowProgress(int percent) {
  progressText_->setText(FromMessage(CryptoMailProgressText(percent)));
  pages_->setCurrentIndex(1);
}

void TfrmCryptoMail::ShowInput() {
  pages_->setCurrentIndex(0);
}

void TfrmCryptoMail::Encrypt() {
  TqmCryptoMailRequest request;
  if (!GatherOptions(request.options, false)) return;
  QString problem;
  request.fileName = ToUtf8(fileName_->text());
  if (!ToDocumentText(theMessage_->toPlainText(), request.message, QStringLiteral("message"), false,
                      problem) ||
      !ToDocumentText(password_->text(), request.password, QStringLiteral("password"), true, problem) ||
      !ToDocumentText(passwordConfirm_->text(), request.passwordConfirm, QStringLiteral("password"), true,
                      problem) ||
      !ToDocumentText(recipient_->text(), request.recipient, QStringLiteral("recipient's address"), false,
                      problem)) {
    ShowWarning(this, problem);
    return;
  }
  StoreSettings();

  ShowProgress(0);
  TqmCryptoMailResult result;
  QPointer<QLabel> label(progressText_);
  std::atomic<int> shown{0};
  TqmOutcomeTexts texts;
  texts.cancelled = QStringLiteral("The encryption was cancelled. Nothing was written.");
  texts.failed = QStringLiteral("Nothing was encrypted.");
  const TqmOutcome outcome =
      RunWithOutcome(window(), &shell_.Gate(), QStringLiteral("Encrypting ..."), texts,
                     [&](const TqmProgress& p, std::string&) {
                       result = EncryptAndDeliver(
                           request,
                           [&](double fraction, bool& cancel) {
                             p(fraction, cancel);
                             const int percent = static_cast<int>(fraction * 100);
                             if (percent != shown.exchange(percent))
                               QMetaObject::invokeMethod(
                                   label.data(),
                                   [label, percent] {
                                     if (label) label->setText(FromMessage(CryptoMailProgressText(percent)));
                                   },
                                   Qt::QueuedConnection);
                           },
                           desktop_);
                       // Every other outcome is the command's end, told below.
                       return result.outcome != TqmCryptoMailOutcome::Cancelled;
                     });
  ShowInput();
  lastDocument_ = result.documentPath;
  if (outcome != TqmOutcome::Done) return;
  switch (result.outcome) {
    case TqmCryptoMailOutcome::Refused:
      ShowPlain(this, FromMessage(result.message));
      break;
    case TqmCryptoMailOutcome::Cancelled:
    case TqmCryptoMailOutcome::HandedOver:
      break;
    case TqmCryptoMailOutcome::Saved:
      ShowInformation(this,
                      FromMessage(result.message) + QStringLiteral("\n\n") + FromUtf8(result.documentPath));
      break;
    case TqmCryptoMailOutcome::MailProgramMissing:
      ShowWarning(this, FromMessage(result.message));
      break;
  }
}

}  // namespace quillmar
