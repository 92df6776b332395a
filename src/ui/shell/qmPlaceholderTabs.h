#pragma once
// The tab windows of features whose own windows come later: each shows the tab's caption and hint
// and what it can of the Safe, and answers the frame's calls that belong to it. Zavozo Rero's shows
// the file preset for it.
#include <QString>

#include "shell/qmTabWindow.h"

class QLabel;
class QLineEdit;
class QTreeWidget;
class QTreeWidgetItem;

namespace quillmar {

class TfrmPasswordRepositoryPlaceholder : public TqmTabWindow {
  Q_OBJECT
public:
  TfrmPasswordRepositoryPlaceholder(TqmShell& shell, QWidget* parent);
  QString Caption() const override { return QStringLiteral("Password Repository"); }
  QString Hint() const override { return QStringLiteral("Keep track of any sesitive information"); }
  QString HelpPage() const override { return QStringLiteral("IDH_HELP_PWDREPOSITORY"); }
  void TabShown() override;
  void FindNext(const QString& text, bool caseSensitive, bool allFields) override;

  QString LastFind() const { return lastFind_; }

private:
  void AddCategories(const class TqmCategory* parent, QTreeWidgetItem* parentItem, int depth);

  TqmShell& shell_;
  QTreeWidget* tree_;
  QString lastFind_;
};

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
