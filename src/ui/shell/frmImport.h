#pragma once
// TfrmImport: the import dialog of the Options tab ("Import from another password manager"). The
// user picks an export file and its format (KeePassXC CSV, Bitwarden JSON, or a CSV with a header
// line and an optional column mapping), optionally a category to import into, and whether
// characters the Safe cannot hold may be written as "?".
//
// Preview reads the file and plans the import (core/qmImporter.h) under the busy runner, and shows
// what will be created: every category (made or existing, template fields added) with its entries,
// what each entry loses or changes, and every record left out with its reason. Import carries the
// plan out under the progress runner with Cancel: one change of the Safe, so a cancel or a failure
// leaves it as it was. Any change of the file, format or options drops the preview; Import needs a
// fresh one. After a cancel or a failure the preview is made again, so Import can be retried.
#include <QDialog>
#include <memory>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;

namespace quillmar {

class TqmBusyGate;
class TqmGlobal;
class TqmImporter;
struct TqmImportPlan;

// The preview (tvPreview) has a top-level line per category (its path, and what happens to it), its
// entries below it, then "Left out (n)" and "Notes (n)" with a line each.
class TfrmImport : public QDialog {
  Q_OBJECT
public:
  TfrmImport(TqmGlobal& g, TqmBusyGate& gate, QWidget* parent);
  ~TfrmImport() override;

  // Sets the file (and picks the format from its name: .json is Bitwarden's, else the CSV format
  // chosen, KeePassXC's by default), then makes the preview (Preview's result).
  bool SetFile(const QString& path);
  // Reads the file and plans the import; shows the preview or says what is wrong. True when there
  // is a plan to run.
  bool Preview();
  // Runs the previewed plan. True when the entries are on the disk.
  bool Import();
  // Whether an import of this dialog reached the disk (the entries of the Safe changed).
  bool Imported() const { return imported_; }

private:
  void ChooseFile();
  void FormatChanged();
  void DropPreview();
  void ShowPlan(const TqmImportPlan& plan);

  TqmGlobal& g_;
  TqmBusyGate& gate_;
  std::unique_ptr<TqmImporter> importer_;
  bool planned_ = false;
  bool imported_ = false;
  QString plannedFile_;

  QLineEdit* file_;
  QPushButton* browse_;
  QComboBox* format_;
  QLabel* mappingLabel_;
  QLineEdit* mapping_;
  QLineEdit* into_;
  QCheckBox* replace_;
  QPushButton* preview_;
  QTreeWidget* tree_;
  QLabel* summary_;
  QPushButton* import_;
  QPushButton* close_;
};

}  // namespace quillmar
