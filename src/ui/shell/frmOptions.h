#pragma once
// TfrmOptions: the Options tab. Five links: "Preferences" (the TfrmPreferences dialog), "Repair"
// (the core's RepairSafe: the Safe's rebuild, with progress and Cancel, followed by the core's deep
// check; the tab shows what was set right, lost and not mended, or that nothing was found), "Backup
// current Safe" and "Restore to current Safe" (the main window's commands; the restore is posted,
// since it frees this window), and "Import..." (TfrmImport: entries from another password
// manager's export).
#include <string>
#include <vector>

#include "shell/qmTabWindow.h"

class QAction;
class QGridLayout;
class QLabel;
class QPlainTextEdit;

namespace quillmar {

class TqmHotLabel;
struct TqmRepairResult;

// What the tab shows after a repair: what was set right, lost and not mended (core/qmSafeCheck.h),
// or that the check found nothing.
QString RepairReport(const TqmRepairResult& result);

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
  void Import();

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
