#include "autofill/frmAssignFieldsPage.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QJsonObject>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSplitter>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QWebEngineView>

#include "autofill/QXAFWizard.h"
#include "autofill/qmAutoFillPictures.h"
#include "autofill/qmWebEngine.h"
#include "shell/qmMessages.h"
#include "widgets/qmText.h"

namespace quillmar {

namespace {

// Tree nodes: what they are and where.
enum TNodeKind { kFrameNode = 1, kFormNode, kInputNode };
constexpr int kKindRole = Qt::UserRole;
constexpr int kFrameRole = Qt::UserRole + 1;
constexpr int kFormRole = Qt::UserRole + 2;
constexpr int kNameRole = Qt::UserRole + 3;
// Match lines: the assignment's parts (Safe text).
constexpr int kFieldRole = Qt::UserRole;
constexpr int kInputRole = Qt::UserRole + 3;

QByteArray Bytes(const std::string& s) {
  return QByteArray(s.data(), static_cast<qsizetype>(s.size()));
}

std::string String(const QByteArray& b) {
  return std::string(b.constData(), static_cast<size_t>(b.size()));
}

QString Character(char c) {
  return QStringLiteral("\"%1\"").arg(QLatin1Char(c));
}

}  // namespace

TfrmAssignFieldsPage::TfrmAssignFieldsPage(TQXAFWizard* wizard, int index)
    : TfrmBaseWizardPage(wizard, index), wizard_(wizard) {
  setObjectName(QStringLiteral("frmAssignFieldsPage"));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  splitter_ = new QSplitter(Qt::Vertical, this);
  splitter_->setChildrenCollapsible(false);
  layout->addWidget(splitter_);

  auto* top = new QWidget(splitter_);
  auto* topLayout = new QVBoxLayout(top);
  topLayout->setContentsMargins(0, 0, 0, 4);
  auto* lists = new QHBoxLayout;
  lists->setSpacing(12);
  left_ = new QWidget(top);
  auto* leftLayout = new QVBoxLayout(left_);
  leftLayout->setContentsMargins(0, 0, 0, 0);
  auto* fieldsLabel = new QLabel(QStringLiteral("Repository fields"), left_);
  lstRepositoryFields_ = new QListWidget(left_);
  lstRepositoryFields_->setObjectName(QStringLiteral("lstRepositoryFields"));
  fieldsLabel->setBuddy(lstRepositoryFields_);
  leftLayout->addWidget(fieldsLabel);
  leftLayout->addWidget(lstRepositoryFields_);
  lists->addWidget(left_);
  auto* rightLayout = new QVBoxLayout;
  auto* formsLabel = new QLabel(QStringLiteral("HTML form fields"), top);
  tvFormFields_ = new QTreeWidget(top);
  tvFormFields_->setObjectName(QStringLiteral("tvFormFields"));
  tvFormFields_->setHeaderHidden(true);
  tvFormFields_->setColumnCount(1);
  formsLabel->setBuddy(tvFormFields_);
  rightLayout->addWidget(formsLabel);
  rightLayout->addWidget(tvFormFields_);
  lists->addLayout(rightLayout, 1);
  topLayout->addLayout(lists, 3);

  auto* below = new QHBoxLayout;
  auto* matchColumn = new QVBoxLayout;
  lstMatches_ = new QListWidget(top);
  lstMatches_->setObjectName(QStringLiteral("lstMatches"));
  lstMatches_->setAccessibleName(QStringLiteral("Matches"));
  matchColumn->addWidget(lstMatches_);
  chkSubmitForm_ = new QCheckBox(QStringLiteral("Submit form"), top);
  chkSubmitForm_->setObjectName(QStringLiteral("chkSubmitForm"));
  matchColumn->addWidget(chkSubmitForm_);
  below->addLayout(matchColumn, 1);
  auto* buttons = new QVBoxLayout;
  btnMatch_ = new QPushButton(QStringLiteral("&Match"), top);
  btnMatch_->setObjectName(QStringLiteral("btnMatch"));
  btnMatch_->setAutoDefault(false);
  btnMatch_->setEnabled(false);
  btnRemove_ = new QPushButton(QStringLiteral("&Remove"), top);
  btnRemove_->setObjectName(QStringLiteral("btnRemove"));
  btnRemove_->setAutoDefault(false);
  btnRemove_->setEnabled(false);
  buttons->addWidget(btnMatch_);
  buttons->addWidget(btnRemove_);
  buttons->addStretch();
  below->addLayout(buttons);
  topLayout->addLayout(below, 2);

  auto* previewHolder = new QWidget(splitter_);
  preview_ = new QVBoxLayout(previewHolder);
  preview_->setContentsMargins(0, 4, 0, 0);
  splitter_->addWidget(top);
  splitter_->addWidget(previewHolder);
  splitter_->setStretchFactor(0, 3);
  splitter_->setStretchFactor(1, 2);

  connect(lstRepositoryFields_, &QListWidget::itemSelectionChanged, this,
          &TfrmAssignFieldsPage::UpdateMatchButtons);
  connect(tvFormFields_, &QTreeWidget::itemSelectionChanged, this, [this] {
    UpdateMatchButtons();
    Outline();
  });
  connect(tvFormFields_, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item) {
    if (item && item->data(0, kKindRole).toInt() == kInputNode && btnMatch_->isEnabled()) Match();
  });
  connect(lstMatches_, &QListWidget::itemSelectionChanged, this, &TfrmAssignFieldsPage::UpdateMatchButtons);
  connect(btnMatch_, &QPushButton::clicked, this, &TfrmAssignFieldsPage::Match);
  connect(btnRemove_, &QPushButton::clicked, this, &TfrmAssignFieldsPage::Remove);
  tvFormFields_->installEventFilter(this);
  lstMatches_->installEventFilter(this);
}

void TfrmAssignFieldsPage::GetCaptions(QString&, QString& title, QString& subtitle) {
  title = QStringLiteral("Step 2 - Match repository fields with corresponding HTML form fields");
  subtitle = QStringLiteral(
      "Please mark repository field to the left with corresponding HTML form fields to the rigth and click "
      "the "
      "Match button, then the Finish button when you're done");
}

void TfrmAssignFieldsPage::GetImages(QPixmap& left, QPixmap& top) {
  left = QPixmap();
  top = AutoFillTopPicture();
}

void TfrmAssignFieldsPage::GetPanelVisibility(bool& titleBand, bool& leftPanel) {
  titleBand = true;
  leftPanel = false;
}

void TfrmAssignFieldsPage::AdjustButtons(QPushButton*, QPushButton*, QPushButton*, QPushButton*) {
  UpdateFinish();
}

void TfrmAssignFieldsPage::BeforeShow() {
  // The page in the browser is shown below the lists, to look at only: a click there would change
  // the page the lists describe.
  if (QWebEngineView* browser = wizard_->Browser()) {
    preview_->addWidget(browser);
    browser->setEnabled(false);
    browser->show();
  }
}

void TfrmAssignFieldsPage::OnLeave() {
  if (QWebEngineView* browser = wizard_->Browser())
    RunAutoFillScript(
        browser->page(),
        QJsonObject{{QStringLiteral("op"), QStringLiteral("outline")},
                    {QStringLiteral("target"), QJsonValue()}},
        [](const QVariant&, const QString&) {}, this);
}

bool TfrmAssignFieldsPage::CanEnter(TWizardDirection) {
  lstRepositoryFields_->clear();
  for (const std::string& name : wizard_->FieldNames()) lstRepositoryFields_->addItem(FromSafeText(name));
  tvFormFields_->clear();
  const TqmFormListing& listing = wizard_->Listing();
  if (listing.html) {
    ListDocument(listing.page, nullptr, -1);
    for (int k = 0; k < listing.frames.size(); ++k) {
      auto* frame = new QTreeWidgetItem(tvFormFields_, {QStringLiteral("frame[%1]").arg(k)});
      frame->setData(0, kKindRole, kFrameNode);
      frame->setData(0, kFrameRole, k);
      ListDocument(listing.frames[k], frame, k);
      if (frame->childCount() == 0)
        delete frame;
      else
        frame->setExpanded(true);
    }
  }
  if (!listing.html || listing.InputCount() == 0) {
    ShowError(window(), QString::fromLatin1(kMsgNoForms));
    return false;
  }
  UpdateMatchButtons();
  return true;
}

void TfrmAssignFieldsPage::ListDocument(const TqmListedDocument& document, QTreeWidgetItem* parent,
                                        int frame) {
  auto addForm = [&](const QString& text, int form, const QVector<TqmListedInput>& inputs) {
    auto* node = parent ? new QTreeWidgetItem(parent, {text}) : new QTreeWidgetItem(tvFormFields_, {text});
    node->setData(0, kKindRole, kFormNode);
    node->setData(0, kFrameRole, frame);
    node->setData(0, kFormRole, form);
    for (const TqmListedInput& input : inputs) {
      QString shown = input.name;
      if (!input.label.isEmpty()) shown += QStringLiteral("   \u2013 ") + input.label;
      auto* item = new QTreeWidgetItem(node, {shown});
      item->setData(0, kKindRole, kInputNode);
      item->setData(0, kFrameRole, frame);
      item->setData(0, kFormRole, form);
      item->setData(0, kNameRole, input.name);
      item->setToolTip(0, QStringLiteral("%1 (type %2)").arg(input.name, input.type));
    }
    node->setExpanded(true);
  };
  for (int n = 0; n < document.forms.size(); ++n)
    addForm(QStringLiteral("[%1] %2").arg(n).arg(document.forms[n].action), n, document.forms[n].inputs);
  if (!document.noForm.isEmpty()) addForm(QStringLiteral("[-1] (no form)"), -1, document.noForm);
}

QTreeWidgetItem* TfrmAssignFieldsPage::SelectedInput() const {
  const auto selected = tvFormFields_->selectedItems();
  if (selected.size() != 1 || selected[0]->data(0, kKindRole).toInt() != kInputNode) return nullptr;
  return selected[0];
}

void TfrmAssignFieldsPage::UpdateMatchButtons() {
  btnMatch_->setEnabled(!lstRepositoryFields_->selectedItems().isEmpty() && SelectedInput() != nullptr);
  btnRemove_->setEnabled(!lstMatches_->selectedItems().isEmpty());
}

void TfrmAssignFieldsPage::UpdateFinish() {
  wizard_->Window()->Finish()->setEnabled(lstMatches_->count() > 0);
}

void TfrmAssignFieldsPage::Match() {
  QTreeWidgetItem* input = SelectedInput();
  const int row = lstRepositoryFields_->currentRow();
  if (!input || row < 0 || row >= static_cast<int>(wizard_->FieldNames().size()) ||
      !lstRepositoryFields_->item(row)->isSelected())
    return;
  TqmAutoFillAssignment a;
  a.FieldName = wizard_->FieldNames()[static_cast<size_t>(row)];
  a.Frame = input->data(0, kFrameRole).toInt();
  a.Form = input->data(0, kFormRole).toInt();
  const QString inputName = input->data(0, kNameRole).toString();
  const QString fieldName = lstRepositoryFields_->item(row)->text();
  if (!ToSafeText(inputName, a.Input)) {
    ShowError(window(), QStringLiteral("The form field \"%1\" cannot be matched: its name holds a character "
                                       "that this Safe's text cannot hold.")
                            .arg(inputName));
    return;
  }
  const TqmAssignmentProblem problem = AssignmentProblem(a);
  switch (problem.Kind) {
    case TqmAssignmentProblem::kNone:
      break;
    case TqmAssignmentProblem::kFieldNameCharacter:
      ShowError(window(),
                QStringLiteral("The field \"%1\" cannot be matched: an autofill record cannot hold the "
                               "character %2 in a field name. Rename the field, then match it.")
                    .arg(fieldName, Character(problem.Character)));
      return;
    case TqmAssignmentProblem::kInputNameCharacter:
      ShowError(window(),
                QStringLiteral("The form field \"%1\" cannot be matched: an autofill record cannot hold "
                               "the character %2 in the name of a form field.")
                    .arg(inputName, Character(problem.Character)));
      return;
    case TqmAssignmentProblem::kInputNameAmbiguous:
      ShowError(window(), QStringLiteral("The form field \"%1\" cannot be matched: its name begins like the "
                                         "number of a form in a frame, and the record would fill another "
                                         "field.")
                              .arg(inputName));
      return;
    case TqmAssignmentProblem::kEmpty:
      ShowError(window(),
                QStringLiteral("The field \"%1\" cannot be matched: it has no name.").arg(fieldName));
      return;
  }
  const QString line = FromSafeText(a.Text());
  if (!lstMatches_->findItems(line, Qt::MatchExactly).isEmpty()) return;
  auto* item = new QListWidgetItem(line, lstMatches_);
  item->setData(kFieldRole, Bytes(a.FieldName));
  item->setData(kFrameRole, a.Frame);
  item->setData(kFormRole, a.Form);
  item->setData(kInputRole, Bytes(a.Input));
  UpdateFinish();
}

void TfrmAssignFieldsPage::AfterShow() {
  TfrmBaseWizardPage::AfterShow();
  // The keys start where the matching starts: at the fields.
  lstRepositoryFields_->setFocus();
}

void TfrmAssignFieldsPage::Remove() {
  const auto selected = lstMatches_->selectedItems();
  if (selected.isEmpty()) return;
  delete selected[0];
  UpdateMatchButtons();
  UpdateFinish();
}

std::string TfrmAssignFieldsPage::BuildRecord() const {
  TqmAutoFillRecord record;
  const QString captured = wizard_->CapturedAddress();
  if (!ToSafeText(captured, record.Address))
    // An address with characters the Safe's text cannot hold is kept in its encoded form (the same
    // address, in ASCII).
    record.Address = QUrl::fromUserInput(captured).toEncoded().toStdString();
  for (int i = 0; i < lstMatches_->count(); ++i) {
    const QListWidgetItem* item = lstMatches_->item(i);
    TqmAutoFillAssignment a;
    a.FieldName = String(item->data(kFieldRole).toByteArray());
    a.Frame = item->data(kFrameRole).toInt();
    a.Form = item->data(kFormRole).toInt();
    a.Input = String(item->data(kInputRole).toByteArray());
    record.Assignments.push_back(std::move(a));
  }
  record.Submit = chkSubmitForm_->isChecked();
  return record.GetText();
}

void TfrmAssignFieldsPage::Outline() {
  QWebEngineView* browser = wizard_->Browser();
  if (!browser) return;
  QJsonValue target;
  if (QTreeWidgetItem* input = SelectedInput())
    target = QJsonObject{{QStringLiteral("frame"), input->data(0, kFrameRole).toInt()},
                         {QStringLiteral("form"), input->data(0, kFormRole).toInt()},
                         {QStringLiteral("input"), input->data(0, kNameRole).toString()}};
  RunAutoFillScript(
      browser->page(),
      QJsonObject{{QStringLiteral("op"), QStringLiteral("outline")}, {QStringLiteral("target"), target}},
      [](const QVariant&, const QString&) {}, this);
}

void TfrmAssignFieldsPage::resizeEvent(QResizeEvent* event) {
  TfrmBaseWizardPage::resizeEvent(event);
  left_->setFixedWidth(std::max(0, width() / 2 - 6));
}

bool TfrmAssignFieldsPage::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (watched == tvFormFields_ && (key == Qt::Key_Return || key == Qt::Key_Enter)) {
      if (btnMatch_->isEnabled()) Match();
      return true;
    }
    if (watched == lstMatches_ && key == Qt::Key_Delete) {
      // The line with the keyboard's focus, even before the arrows selected it.
      if (lstMatches_->selectedItems().isEmpty() && lstMatches_->currentItem())
        lstMatches_->currentItem()->setSelected(true);
      Remove();
      return true;
    }
  }
  return TfrmBaseWizardPage::eventFilter(watched, event);
}

}  // namespace quillmar
