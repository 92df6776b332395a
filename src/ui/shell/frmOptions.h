#pragma once
// TfrmOptions: the Options tab. Four links: "Preferences" (the TfrmPreferences dialog), "Repair"
// (the Safe's rebuild, with progress and Cancel, followed by the deep check, whose findings the tab
// shows), "Backup current Safe" and "Restore to current Safe" (the main window's commands; the
// restore is posted, since it frees this window).
#include <string>
#include <vector>

#include "shell/qmTabWindow.h"

class QAction;
class QGridLayout;
class QLabel;
class QPlainTextEdit;

namespace quillmar {

class TqmHotLabel;

// The deep check of the open Safe after a repair: the container's structure and every byte of every
// file read back. One line per problem; none when the Safe is sound.
std::vector<std::string> DeepCheckSafe(TqmGlobal& g);

class TfrmOptions : public TqmTabWindow {
  Q_OBJECT
public:
  TfrmOptions(TqmShell& shell, QWidget* parent);
  QString Caption() const override { return QStringLiteral("Options"); }
  QString Hint() const override {
    return QStringLiteral("Specify preferences, backup & restore and repair safes");
  }
  QString HelpPage() const override { return QStringLiteral("IDH_HELP_OPTIONS"); }

  void Preferences();
  void Repair();
  void Backup();
  void Restore();

  // What the last repair's check found, as shown.
  QString CheckResult() const;

private:
  QAction* AddCommand(const QString& name, const QString& caption, const QString& hint, const QString& text,
                      void (TfrmOptions::*slot)());

  TqmShell& shell_;
  QGridLayout* grid_;
  int row_ = 0;
  QLabel* checkCaption_;
  QPlainTextEdit* checkResult_;
};

}  // namespace quillmar
