#pragma once
// TfrmAssignFieldsPage: page 2 of the autofill wizard. At the left the list "Repository fields" (the
// entry's field names), at the right the tree "HTML form fields" (the forms of the page in the
// wizard's browser and of its frames, with their listed inputs); below, the list of matches with
// "&Match" and "&Remove", the check box "Submit form", and the page itself, where the selected input
// is outlined.
//
//  - Entering lists the page afresh from the listing the wizard fetched (the match lines stay: a
//    two-step login is matched over two pages). A page without a listed input is refused with
//    "There are no forms in loaded document".
//  - Tree: a form is "[n] action" (n its number in its document), the inputs outside any form are
//    "[-1] (no form)", a frame is "frame[k]" with its forms below it (a frame without any, one of
//    another site included, is not shown, but the next keeps its number). An input shows its name
//    and, beside it, its label or placeholder.
//  - "&Match" (also Enter or a double click on an input) is enabled while a field is selected and the
//    selected node is an input; it adds the field's assignment (model/qmAutoFillRecord.h) unless that
//    line is there already, or says why the record cannot carry it. "&Remove" (also Delete) removes
//    the selected line. Finish is enabled exactly while there is a line.
#include <string>

#include "autofill/frmBaseWizardPage.h"
#include "model/qmAutoFillRecord.h"

class QCheckBox;
class QListWidget;
class QTreeWidget;
class QTreeWidgetItem;
class QVBoxLayout;
class QSplitter;

namespace quillmar {

class TQXAFWizard;
struct TqmListedDocument;

class TfrmAssignFieldsPage : public TfrmBaseWizardPage {
  Q_OBJECT
public:
  static constexpr char kMsgNoForms[] = "There are no forms in loaded document";

  TfrmAssignFieldsPage(TQXAFWizard* wizard, int index);

  void GetCaptions(QString& caption, QString& title, QString& subtitle) override;
  void GetImages(QPixmap& left, QPixmap& top) override;
  void GetPanelVisibility(bool& titleBand, bool& leftPanel) override;
  void AdjustButtons(QPushButton* next, QPushButton* prev, QPushButton* finish, QPushButton* cancel) override;
  void BeforeShow() override;
  void AfterShow() override;
  void OnLeave() override;
  bool CanEnter(TWizardDirection direction) override;

  // The record of the captured address, the match lines and "Submit form" (Safe text).
  std::string BuildRecord() const;

  void Match();
  void Remove();

protected:
  void resizeEvent(QResizeEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  void ListDocument(const TqmListedDocument& document, QTreeWidgetItem* parent, int frame);
  void UpdateMatchButtons();
  void UpdateFinish();
  void Outline();
  QTreeWidgetItem* SelectedInput() const;

  TQXAFWizard* wizard_;
  QWidget* left_;
  QListWidget* lstRepositoryFields_;
  QTreeWidget* tvFormFields_;
  QListWidget* lstMatches_;
  QPushButton* btnMatch_;
  QPushButton* btnRemove_;
  QCheckBox* chkSubmitForm_;
  QSplitter* splitter_;
  QVBoxLayout* preview_;
};

}  // namespace quillmar
