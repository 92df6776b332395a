#include "repository/fields/qmFieldViewers.h"

#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPlainTextEdit>
#include <QToolButton>

#include "core/qmEntryEditSession.h"
#include "core/qmGlobal.h"
#include "model/qmField.h"
#include "model/qmFieldValues.h"
#include "model/qmRepositoryEntry.h"
#include "repository/fields/qmFieldActions.h"
#include "repository/qmRepositorySeams.h"
#include "shell/qmMessages.h"
#include "widgets/qmHotLabel.h"
#include "widgets/qmText.h"

namespace quillmar {

using fields::ControlName;

// --- Password --------------------------------------------------------------------------------------------

void TqmPasswordFieldViewer::CreateControls() {
  TqmCustomNormalTextButtonFieldViewer::CreateControls();
  box_->setEchoMode(QLineEdit::Password);
  copy_ = MakeButton("IDB_COPY", QStringLiteral("Copy Password"), "Copy", [this] { CopyValue(); });
}

bool TqmPasswordFieldViewer::Masked() const {
  return box_->echoMode() == QLineEdit::Password;
}

void TqmPasswordFieldViewer::ButtonAction() {
  box_->setEchoMode(Masked() ? QLineEdit::Normal : QLineEdit::Password);
}

int TqmPasswordFieldViewer::ButtonsWidth() const {
  return 2 * (ButtonSize() + 2);
}

// --- Date -----------------------------------------------------------------------------------------------

void TqmDateFieldViewer::CreateControls() {
  TqmCustomNormalTextButtonFieldViewer::CreateControls();
  button_->setEnabled(false);
  button_->hide();
  button_->setFixedWidth(0);
}

QString TqmDateFieldViewer::ShownText() const {
  return QLocale().toString(fields::DateOfDay(ReadDateDay(field_.Value())), fields::ShortDateFormat());
}

// --- File and Picture -----------------------------------------------------------------------------------

void TqmFileFieldViewer::LoadValue() {
  TqmCustomNormalTextButtonFieldViewer::LoadValue();
  button_->setEnabled(!field_.Value().empty());
}

void TqmFileFieldViewer::ButtonAction() {
  if (field_.Value().empty() || context_.global == nullptr) return;
  fields::OpenAttachedFile(DialogParent(), *context_.global, field_.Value());
}

// --- Currency and Number ----------------------------------------------------------------------------------

QString TqmCurrencyFieldViewer::ShownText() const {
  return QLocale().toCurrencyString(Number());
}

QString TqmNumberFieldViewer::ShownText() const {
  const std::string text = FixedTwoText(Number(), fields::DecimalSeparator());
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

// --- Yes/No -----------------------------------------------------------------------------------------------

void TqmYesNoFieldViewer::CreateControls() {
  TqmCustomFieldViewer::CreateControls();
  box_ = new QCheckBox(panel_);
  box_->setObjectName(ControlName(context_.index, "Value"));
  box_->setAccessibleName(FromSafeText(field_.Name()));
  caption_->setBuddy(box_);
  connect(box_, &QCheckBox::clicked, this, [this] { box_->setChecked(ReadYesNo(field_.Value())); });
}

void TqmYesNoFieldViewer::LoadValue() {
  box_->setChecked(ReadYesNo(field_.Value()));
}

void TqmYesNoFieldViewer::LayoutControls() {
  TqmCustomFieldViewer::LayoutControls();
  box_->setGeometry(captionWidth_ + 3, 3, 30, std::max(0, height_ - 6));
}

// --- Reminder ---------------------------------------------------------------------------------------------

void TqmReminderFieldViewer::CreateControls() {
  TqmCustomFieldViewer::CreateControls();
  box_ = new QCheckBox(panel_);
  box_->setObjectName(ControlName(context_.index, "Value"));
  box_->setAccessibleName(FromSafeText(field_.Name()));
  caption_->setBuddy(box_);
  connect(box_, &QCheckBox::clicked, this, [this] { box_->setChecked(!field_.Value().empty()); });
  button_ = MakeButton("IDB_REMINDER", QStringLiteral("Show Reminder"), "Button", [this] { ButtonAction(); });
}

void TqmReminderFieldViewer::LoadValue() {
  const bool set = !field_.Value().empty();
  box_->setChecked(set);
  button_->setVisible(set);
  button_->setEnabled(RepositorySeams().reminderWindowsAvailable() && context_.entry != nullptr &&
                      context_.global != nullptr);
}

void TqmReminderFieldViewer::LayoutControls() {
  TqmCustomFieldViewer::LayoutControls();
  box_->setGeometry(captionWidth_ + 3, 3, 30, std::max(0, height_ - 6));
  PlaceButton(button_, captionWidth_ + 3 + 30);
}

void TqmReminderFieldViewer::ButtonAction() {
  if (context_.entry == nullptr || context_.global == nullptr) return;
  TqmGlobal& g = *context_.global;
  try {
    // What the window stores or deletes is saved with the entry at once; a session that ends without
    // its Commit (a failure) takes the reminder's change back.
    TqmEntryEditSession session(g, *context_.entry);
    if (!fields::EditFieldReminder(DialogParent(), g, session, context_.index)) return;
    session.Commit();
  } catch (const std::exception& e) {
    ShowError(DialogParent(), FromMessage(e.what()));
  }
  LoadValue();
  EntrySaved();
}

// --- Memo -------------------------------------------------------------------------------------------------

void TqmTextFieldMemoFieldViewer::CreateControls() {
  TqmCustomFieldViewer::CreateControls();
  caption_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  box_ = new QPlainTextEdit(panel_);
  box_->setObjectName(ControlName(context_.index, "Value"));
  box_->setReadOnly(true);
  box_->setLineWrapMode(QPlainTextEdit::NoWrap);
  box_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  box_->setTabChangesFocus(true);
  box_->setAccessibleName(FromSafeText(field_.Name()));
  caption_->setBuddy(box_);
  height_ = 45 + (fields::RowHeight(owner_) - 24);
  panel_->resize(width_, height_);
}

void TqmTextFieldMemoFieldViewer::LoadValue() {
  box_->setPlainText(FromSafeText(field_.Value()));
}

void TqmTextFieldMemoFieldViewer::LayoutControls() {
  caption_->setGeometry(0, 0, captionWidth_ + 3, height_);
  const int left = captionWidth_ + 3;
  box_->setGeometry(left, 0, std::max(0, width_ - left - 3), height_);
}

// --- E-mail -----------------------------------------------------------------------------------------------

void TqmEMailFieldViewer::ButtonAction() {
  if (field_.Value().empty()) return;
  fields::OpenMailTo(DialogParent(), field_.Value());
}

// --- URL --------------------------------------------------------------------------------------------------

void TqmURLFieldViewer::CreateControls() {
  TqmLinkButtonFieldViewer::CreateControls();
  autoFill_ = MakeButton("IDB_AUTOFILL", QStringLiteral("Click to Auto-fill Website"), "AutoFill",
                         [this] { AutoFill(); });
}

void TqmURLFieldViewer::LoadValue() {
  TqmLinkButtonFieldViewer::LoadValue();
  const std::string& value = field_.Value();
  button_->setEnabled(!value.empty());
  const bool inRecord = context_.entry != nullptr && !value.empty() &&
                        context_.entry->AutoFill().find(value) != std::string::npos;
  autoFill_->setEnabled(inRecord && context_.global != nullptr &&
                        RepositorySeams().autoFillFillerAvailable());
}

void TqmURLFieldViewer::LayoutControls() {
  PlaceButton(autoFill_, width_ - 2 - ButtonSize());
  PlaceButton(button_, width_ - 2 - ButtonSize() - 2 - ButtonSize());
  TqmLinkFieldViewer::LayoutControls();
}

void TqmURLFieldViewer::ButtonAction() {
  if (field_.Value().empty()) return;
  fields::OpenAddress(DialogParent(), fields::VisitAddress(field_.Value()));
}

void TqmURLFieldViewer::AutoFill() {
  if (context_.entry == nullptr || context_.global == nullptr || !autoFill_->isEnabled()) return;
  bool filled = false;
  try {
    filled = context_.global->FillWebForm(*context_.entry);
  } catch (const std::exception& e) {
    ShowError(DialogParent(), FromMessage(e.what()));
    return;
  }
  if (!filled)
    ShowWarning(DialogParent(),
                QStringLiteral("The web form of %1 could not be filled. Please check that the "
                               "page still offers the form the entry's autofill record "
                               "describes.")
                    .arg(FromSafeText(field_.Value())));
}

}  // namespace quillmar
