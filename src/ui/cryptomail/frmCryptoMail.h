#pragma once
// TfrmCryptoMail: the Zavozo Rero tab. A file or a typed message is encrypted under a password
// agreed with the recipient into "Encrypted.html", saved on the desktop or handed to the default
// e-mail program (core/CryptoMailDelivery.h).
//
// The choices and the reply information are the Safe's settings ("st", "em", "ss", "in", "iem",
// "iw", "ia"): read on every show, written into the settings record when a reply field changes and
// when the window is saved (SaveState), never while they are being loaded.
//
// Encrypt runs on a worker thread with progress and Cancel (nothing is written after a Cancel); the
// progress text stands in place of the input panel meanwhile. The document is windows-1252 text: a
// character it cannot hold is refused with a message naming it.
#include <QString>
#include <string>

#include "core/CryptoMailDelivery.h"
#include "shell/qmTabWindow.h"

class QAction;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QStackedWidget;
class QWidget;

namespace quillmar {

class TqmHotLabel;

class TfrmCryptoMail : public TqmTabWindow {
  Q_OBJECT
public:
  TfrmCryptoMail(TqmShell& shell, QWidget* parent);
  ~TfrmCryptoMail() override;

  QString Caption() const override { return QStringLiteral("Zavozo Rero"); }
  QString Hint() const override {
    return QStringLiteral("Send secure encrypted files and messages via e-Mail to anyone");
  }
  QString HelpPage() const override { return QStringLiteral("IDH_HELP_CRYPTOMAIL"); }
  void TabShown() override;
  void SaveState() override;
  void PresetFile(const QString& path) override;
  // Another program changed the settings: the window shows them at once, unless it is shown and its
  // reply information is being typed (a box of it has the focus, or holds text the settings could not
  // take); then at its next show, so that nothing typed is lost.
  void SafeChangedElsewhere(const TqmSafeChanges& changes) override;

  QString PresetPath() const;
  // Where the document goes; tests put their own folders and hand-over here.
  void SetDesktop(TqmCryptoMailDesktop desktop) { desktop_ = std::move(desktop); }
  // Shows the progress panel at percent (the screenshots show it without running the command).
  void ShowProgress(int percent);
  void ShowInput();
  // The document written by the last Encrypt ("" when none).
  const std::string& LastDocument() const { return lastDocument_; }

  // Runs the command as the button does.
  void Encrypt();

private:
  void LoadSettings();
  // A box of the reply information has the focus, or one holds what the settings could not take yet.
  bool EditingSettings();
  // The window's choices and reply information; false (message shown) when one cannot be kept.
  bool GatherOptions(TqmCryptoMailOptions& options, bool quiet);
  void StoreSettings();
  void UpdateSources();
  void UpdateReplyPanel();
  void ChooseFile();

  TqmShell& shell_;
  TqmCryptoMailDesktop desktop_;
  bool loading_ = false;
  bool replyShown_ = true;
  std::string lastDocument_;

  QStackedWidget* pages_;
  QLabel* progressText_;
  QRadioButton* rbFile_;
  QRadioButton* rbMessage_;
  QLineEdit* fileName_;
  QPushButton* btnFileName_;
  QPlainTextEdit* theMessage_;
  QLineEdit* password_;
  QLineEdit* passwordConfirm_;
  QComboBox* destination_;
  QLineEdit* recipient_;
  QWidget* replyPanel_;
  QLineEdit* riName_;
  QLineEdit* riEMail_;
  QLineEdit* riWebsite_;
  QPlainTextEdit* riAdditional_;
  QAction* encrypt_;
  QAction* showSettings_;
  TqmHotLabel* lnkShowSettings_;
  QPushButton* btnEncrypt_;
};

}  // namespace quillmar
