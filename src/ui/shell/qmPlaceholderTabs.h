#pragma once
// The tab windows of features whose own windows come later: each shows the tab's caption and hint
// and what it can of the Safe, and answers the frame's calls that belong to it. The File Locker's
// locks dropped and received files into its root folder as the File Locker will; Zavozo Rero's
// shows the file preset for it.
#include <QString>

#include "shell/qmTabWindow.h"

class QLabel;
class QLineEdit;
class QListWidget;
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

class TfrmFileLockerPlaceholder : public TqmTabWindow {
  Q_OBJECT
public:
  TfrmFileLockerPlaceholder(TqmShell& shell, QWidget* parent);
  QString Caption() const override { return QStringLiteral("File Locker"); }
  QString Hint() const override { return QStringLiteral("Securely lock away any file"); }
  QString HelpPage() const override { return QStringLiteral("IDH_HELP_FILELOCKER"); }
  void TabShown() override { Refresh(); }
  bool LockDiskFile(const QString& path) override;
  void SetViewStyle(int style) override;

  int ViewStyle() const { return viewStyle_; }
  // The folder of the Safe the window shows ("\File Locker\").
  const std::string& CurrentFolder() const { return currentFolder_; }

private:
  void Refresh();

  TqmShell& shell_;
  std::string currentFolder_;
  QListWidget* list_;
  int viewStyle_ = 0;
};

}  // namespace quillmar
