#include "repository/frmRepositoryEntryEditor.h"

#include <QApplication>
#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QShowEvent>
#include <QVBoxLayout>
#include <algorithm>

#include "core/qmEntryEditSession.h"
#include "core/qmGlobal.h"
#include "model/RecordCheck.h"
#include "model/qmRepositoryEntry.h"
#include "repository/fields/qmFieldFactory.h"
#include "repository/frmIconBrowser.h"
#include "repository/qmRepositorySeams.h"
#include "shell/qmMessages.h"
#include "widgets/qmIconImages.h"
#include "widgets/qmText.h"

namespace quillmar {

namespace {

// The first field whose value makes the entry's record unable to hold it exactly: the values are
// taken in field order into a copy until the copy has the problem. -1 when no field is to blame (the
// autofill text, say).
int FieldToBlame(const TqmRepositoryEntry& entry) {
  const int count = entry.Fields().Count();
  for (int upTo = 0; upTo < count; ++upTo) {
    TqmRepositoryEntry probe(entry.Parent());
    probe.SetSortOrder(entry.SortOrder());
    for (int i = 0; i < count; ++i) {
      TqmField field = entry.FieldAt(i);
      if (i > upTo) field.SetValue(std::string());
      probe.Fields().Add(field);
    }
    if (!RecordProblem(probe).empty()) return upTo;
  }
  return -1;
}

}  // namespace

TfrmRepositoryEntryEditor::TfrmRepositoryEntryEditor(TqmGlobal& global, TqmEntryEditSession& session,
                                                     QWidget* parent)
    : QDialog(parent), g_(global), session_(session) {
  setObjectName(QStringLiteral("TfrmRepositoryEntryEditor"));
  setWindowTitle(QStringLiteral("Password Repository Entry Editor"));
  setFixedWidth(kWidth);
  setMinimumHeight(200);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 8);

  workArea_ = new QScrollArea(this);
  workArea_->setObjectName(QStringLiteral("scrWorkArea"));
  workArea_->setFrameShape(QFrame::NoFrame);
  workArea_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  workArea_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  workArea_->setWidgetResizable(false);
  content_ = new QWidget();
  content_->setObjectName(QStringLiteral("pnlWorkArea"));
  content_->resize(kWidth, kFirstTop);
  workArea_->setWidget(content_);
  // Three positions per notch of the wheel.
  workArea_->verticalScrollBar()->setSingleStep(12);
  layout->addWidget(workArea_, 1);

  // The icon strip, at the top of the work area.
  auto* iconLabel = new QLabel(QStringLiteral("Icon:"), content_);
  iconLabel->setGeometry(10, 0, 40, kIconStripHeight);
  imgIcon_ = new QLabel(content_);
  imgIcon_->setObjectName(QStringLiteral("imgIcon"));
  imgIcon_->setFrameShape(QFrame::StyledPanel);
  imgIcon_->setAlignment(Qt::AlignCenter);
  imgIcon_->setGeometry(54, 3, 36, 36);
  btnBrowse_ = new QPushButton(QStringLiteral("&Browse"), content_);
  btnBrowse_->setObjectName(QStringLiteral("btnBrowse"));
  btnBrowse_->setAutoDefault(false);
  btnBrowse_->adjustSize();
  btnBrowse_->move(100, (kIconStripHeight - btnBrowse_->height()) / 2);

  auto* buttons = new QHBoxLayout();
  buttons->setContentsMargins(10, 0, 10, 0);
  btnAutoFillWizard_ = new QPushButton(QStringLiteral("&Web Page Autofill Wizard"), this);
  btnAutoFillWizard_->setObjectName(QStringLiteral("btnAutoFillWizard"));
  btnAutoFillWizard_->setAutoDefault(false);
  btnAutoFillWizard_->setEnabled(RepositorySeams().autoFillWizardAvailable());
  if (!btnAutoFillWizard_->isEnabled())
    btnAutoFillWizard_->setToolTip(QStringLiteral("The autofill wizard is not available in this version."));
  btnOK_ = new QPushButton(QStringLiteral("OK"), this);
  btnOK_->setObjectName(QStringLiteral("btnOK"));
  btnOK_->setDefault(true);
  btnCancel_ = new QPushButton(QStringLiteral("Cancel"), this);
  btnCancel_->setObjectName(QStringLiteral("btnCancel"));
  btnCancel_->setAutoDefault(false);
  buttons->addWidget(btnAutoFillWizard_);
  buttons->addStretch(1);
  buttons->addWidget(btnOK_);
  buttons->addWidget(btnCancel_);
  layout->addLayout(buttons);

  connect(btnBrowse_, &QPushButton::clicked, this, &TfrmRepositoryEntryEditor::Browse);
  connect(btnAutoFillWizard_, &QPushButton::clicked, this, &TfrmRepositoryEntryEditor::RunWizard);
  connect(btnOK_, &QPushButton::clicked, this, &TfrmRepositoryEntryEditor::Ok);
  connect(btnCancel_, &QPushButton::clicked, this, &TfrmRepositoryEntryEditor::reject);
  resize(kWidth, 480);
}

TfrmRepositoryEntryEditor::~TfrmRepositoryEntryEditor() = default;

void TfrmRepositoryEntryEditor::SetIcon(const std::string& iconBytes) {
  icon_ = iconBytes;
  const QPixmap picture = IconPixmap(icon_, 32);
  imgIcon_->setPixmap(picture);
  imgIcon_->setToolTip(picture.isNull() && !icon_.empty() ? QStringLiteral("This icon cannot be shown.")
                                                          : QString());
}

void TfrmRepositoryEntryEditor::BuildEditors() {
  if (built_) return;
  built_ = true;
  // The editors' width follows the work area's (the owner's width - 35).
  content_->resize(kWidth, kFirstTop);
  TqmRepositoryEntry& entry = session_.Entry();
  TqmFieldContext context;
  context.global = &g_;
  context.entry = &entry;
  context.session = &session_;
  for (int i = 0; i < entry.Fields().Count(); ++i) {
    context.index = i;
    TqmCustomFieldEditor* editor = CreateFieldEditor(content_, entry.FieldAt(i), context);
    if (captionWidth_ != 0) editor->SetCaptionWidth(captionWidth_);
    editor->SetTop(nextTop_);
    nextTop_ += editor->Height() + 10;
    editors_.push_back(editor);
  }
  content_->resize(kWidth, nextTop_);
  SetTabOrder();
  if (!editors_.empty())
    if (QWidget* first = editors_.front()->FocusControl()) first->setFocus();
}

void TfrmRepositoryEntryEditor::SetTabOrder() {
  // Tab goes as the window reads: Browse beside the icon, the fields from top to bottom (each with
  // the controls of its panel in their own order), then the buttons below. The panels are made after
  // the buttons, so their place in the chain is set here.
  std::vector<QWidget*> order{btnBrowse_};
  for (TqmCustomFieldEditor* editor : editors_) {
    QFrame* panel = editor->Panel();
    if (panel == nullptr) continue;
    // The panel's controls in the chain's present order (the order the panel made them in).
    std::vector<QWidget*> inPanel;
    for (QWidget* w : panel->findChildren<QWidget*>())
      if (w->focusPolicy() & Qt::TabFocus) inPanel.push_back(w);
    for (QWidget* w = panel->nextInFocusChain(); w != panel && !inPanel.empty(); w = w->nextInFocusChain()) {
      auto it = std::find(inPanel.begin(), inPanel.end(), w);
      if (it == inPanel.end()) continue;
      order.push_back(w);
      inPanel.erase(it);
    }
    order.insert(order.end(), inPanel.begin(), inPanel.end());
  }
  order.insert(order.end(), {btnAutoFillWizard_, btnOK_, btnCancel_});
  for (size_t i = 0; i + 1 < order.size(); ++i) QWidget::setTabOrder(order[i], order[i + 1]);
}

TqmCustomFieldEditor* TfrmRepositoryEntryEditor::EditorOf(int index) const {
  for (TqmCustomFieldEditor* editor : editors_)
    if (&editor->Field() == &session_.Entry().FieldAt(index)) return editor;
  return nullptr;
}

void TfrmRepositoryEntryEditor::FocusField(int index) {
  TqmCustomFieldEditor* editor = EditorOf(index);
  if (editor == nullptr) return;
  workArea_->ensureWidgetVisible(editor->Panel());
  if (QWidget* control = editor->FocusControl()) control->setFocus(Qt::OtherFocusReason);
}

void TfrmRepositoryEntryEditor::showEvent(QShowEvent* event) {
  BuildEditors();
  if (!placed_) PlaceWindow();
  QDialog::showEvent(event);
}

void TfrmRepositoryEntryEditor::PlaceWindow() {
  placed_ = true;
  const auto& settings = g_.Settings().PasswordRepository;
  const int left = settings.edtrLeft.Value();
  const int top = settings.edtrTop.Value();
  const int rememberedHeight = settings.edtrHeight.Value();
  if (rememberedHeight > 0) resize(kWidth, std::max(minimumHeight(), rememberedHeight));
  QRect wanted(frameGeometry().topLeft(), size());
  bool remembered = false;
  if (left != 0 || top != 0) {
    wanted.moveTopLeft(QPoint(left != 0 ? left : x(), top != 0 ? top : y()));
    // A remembered place is used only when enough of the window (its top strip at least) would be
    // on a screen of this desktop: screens change between runs.
    const QRect titleStrip(wanted.topLeft(), QSize(wanted.width(), 24));
    for (const QScreen* screen : QGuiApplication::screens()) {
      const QRect shared = screen->availableGeometry().intersected(titleStrip);
      if (shared.width() >= 100 && shared.height() >= 12) remembered = true;
    }
  }
  if (remembered) {
    move(wanted.topLeft());
  } else if (QWidget* owner = parentWidget()) {
    const QRect frame = owner->window()->frameGeometry();
    move(frame.center() - QPoint(width() / 2, height() / 2));
  }
}

void TfrmRepositoryEntryEditor::StorePosition() {
  auto& settings = g_.Settings().PasswordRepository;
  const QPoint at = frameGeometry().topLeft();
  settings.edtrLeft.SetValue(at.x());
  settings.edtrTop.SetValue(at.y());
  settings.edtrHeight.SetValue(height());
}

void TfrmRepositoryEntryEditor::Browse() {
  TfrmIconBrowser browser(g_, TqmSFSWrapper::ikEntry, this);
  if (browser.exec() != QDialog::Accepted || browser.Result().Empty()) return;
  SetIcon(browser.Result().Image());
}

void TfrmRepositoryEntryEditor::RunWizard() {
  const TqmRepositorySeams& seams = RepositorySeams();
  if (!seams.autoFillWizardAvailable()) return;
  std::vector<std::string> urls, names;
  const TqmRepositoryEntry& entry = session_.Entry();
  for (int i = 0; i < entry.Fields().Count(); ++i) {
    const TqmField& field = entry.FieldAt(i);
    if (field.FieldType() == ftURL) urls.push_back(field.Value());
    names.push_back(field.Name());
  }
  std::optional<std::string> record;
  try {
    record = seams.runAutoFillWizard(this, urls, names);
  } catch (const std::exception& e) {
    ShowError(this, FromMessage(e.what()));
    return;
  }
  if (record) autoFill_ = *record;
}

QMessageBox::StandardButton TfrmRepositoryEntryEditor::AskConflict(QWidget* parent, TqmStoredEntry stored) {
  const QString question = QString::fromLatin1(stored == TqmStoredEntry::Deleted ? kMsgEntryDeletedElsewhere
                                                                                 : kMsgEntryChangedElsewhere);
  return AskWithCaptions(parent, QMessageBox::Warning, question,
                         {{QMessageBox::Save, QStringLiteral("&Overwrite")},
                          {QMessageBox::Discard, QStringLiteral("&Keep theirs")},
                          {QMessageBox::Cancel, QStringLiteral("Cancel")}},
                         QMessageBox::Cancel, QMessageBox::Cancel);
}

void TfrmRepositoryEntryEditor::Ok() {
  StorePosition();
  TqmRepositoryEntry& entry = session_.Entry();
  const int empty = FirstEmptyRequiredField(entry);
  if (empty >= 0) {
    FocusField(empty);
    ShowWarning(this, QString::fromLatin1(kMsgRequiredFieldsEmpty));
    FocusField(empty);
    return;
  }
  session_.SetIcon(icon_);
  session_.SetAutoFill(autoFill_);
  const std::string problem = session_.StorageProblem();
  if (!problem.empty()) {
    const int field = FieldToBlame(entry);
    ShowWarning(this, FromMessage(problem));
    if (field >= 0) FocusField(field);
    return;
  }
  // Another program may have changed the entry since the window opened: the user says whose stays.
  TqmStoredEntry stored = TqmStoredEntry::Unchanged;
  try {
    stored = session_.StoredChange();
  } catch (const std::exception& e) {
    ShowError(this, QStringLiteral("The entry could not be compared with the Safe; nothing was written and "
                                   "the editor keeps what you typed.\n\n%1")
                        .arg(FromMessage(e.what())));
    return;
  }
  if (stored != TqmStoredEntry::Unchanged) {
    const QMessageBox::StandardButton answer = AskConflict(this, stored);
    if (answer == QMessageBox::Discard) {
      // The controller takes the changes back and loads theirs, once the field editors are gone.
      keptTheirs_ = true;
      QDialog::reject();
      return;
    }
    if (answer != QMessageBox::Save) return;
  }
  try {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    session_.Commit();
    QApplication::restoreOverrideCursor();
  } catch (const std::exception& e) {
    QApplication::restoreOverrideCursor();
    ShowError(this, QStringLiteral("The entry could not be saved; nothing of it was written and the editor "
                                   "keeps what you typed.\n\n%1")
                        .arg(FromMessage(e.what())));
    return;
  }
  for (const std::string& warning : session_.Warnings()) ShowWarning(this, FromMessage(warning));
  accept();
}

void TfrmRepositoryEntryEditor::reject() {
  if (!session_.Finished()) {
    try {
      session_.Rollback();
    } catch (const std::exception& e) {
      if (!rollbackFailed_) {
        rollbackFailed_ = true;
        ShowError(this, QStringLiteral("The changes made to the Safe in this editor (attached files, "
                                       "reminders) could not be taken back:\n\n%1\n\nPress Cancel again to "
                                       "try once more.")
                            .arg(FromMessage(e.what())));
        return;
      }
      ShowError(this,
                QStringLiteral("The changes could not be taken back:\n\n%1").arg(FromMessage(e.what())));
    }
  }
  QDialog::reject();
}

}  // namespace quillmar
