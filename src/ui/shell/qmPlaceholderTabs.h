#pragma once
// The tab windows of features whose own windows come later: each shows the tab's caption and hint
// and what it can of the Safe, and answers the frame's calls that belong to it. Zavozo Rero's shows
// the file preset for it.
#include <QString>

#include "shell/qmTabWindow.h"

class QLabel;
class QLineEdit;

namespace quillmar {

class TfrmCryptoMailPlaceholder : public TqmTabWindow {
  Q_OBJECT
public:
  TfrmCryptoMailPlaceholder(TqmShell& shell, QWidget* parent);
  QString Caption() const override { return QStringLiteral("Zavozo Rero"); }
  QString Hint() const override {
    return QStringLiteral("Send secure encrypted files and messages via e-Mail to anyone");
  }
  QString HelpPage() const override { return QStringLiteral("IDH_HELP_CRYPTOMAIL"); }
  void PresetFile(const QString& path) override;

  QString PresetPath() const;

private:
  QLineEdit* fileName_;
};

}  // namespace quillmar
