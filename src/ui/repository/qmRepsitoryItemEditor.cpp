#include "repository/qmRepsitoryItemEditor.h"

#include <QFontMetrics>

#include "core/qmEntryEditSession.h"
#include "core/qmGlobal.h"
#include "model/qmCategory.h"
#include "model/qmRepositoryEntry.h"
#include "repository/frmRepositoryEntryEditor.h"
#include "shell/qmMessages.h"
#include "widgets/qmText.h"

namespace quillmar {

namespace {

TqmRepsitoryItemEditor::TWindowHook windowHook = nullptr;

}  // namespace

void TqmRepsitoryItemEditor::SetWindowHook(TWindowHook hook) {
  windowHook = hook;
}

TqmRepsitoryItemEditor::TqmRepsitoryItemEditor(TqmGlobal& global, TqmCategory* category, QWidget* owner,
                                               TqmRepositoryEntry* entry)
    : g_(global), mode_(modeEdit), owner_(owner), category_(category), entry_(entry) {
  if (entry_->Fields().Count() == 0) {
    mode_ = modeNew;
    PrepareFromCategory();
  }
}

void TqmRepsitoryItemEditor::PrepareFromCategory() {
  if (category_ != nullptr) entry_->PrepareFromCategory(*category_);
}

int TqmRepsitoryItemEditor::CaptionWidth(const QFont& font) const {
  const QFontMetrics metrics(font);
  int width = 0;
  for (const auto& field : entry_->Fields()) {
    if (field->FieldType() == ftTextMemo) continue;
    width = std::max(width, metrics.horizontalAdvance(FromSafeText(field->Name()) + QStringLiteral("*:")));
  }
  return width;
}

int TqmRepsitoryItemEditor::EditEntry() {
  std::unique_ptr<TqmEntryEditSession> session;
  try {
    session = std::make_unique<TqmEntryEditSession>(g_, *entry_);
  } catch (const std::exception& e) {
    ShowError(owner_, FromMessage(e.what()));
    return QDialog::Rejected;
  }
  int result = QDialog::Rejected;
  bool keptTheirs = false;
  {
    TfrmRepositoryEntryEditor window(g_, *session, owner_);
    window.SetIcon(entry_->Icon());
    window.SetAutoFill(entry_->AutoFill());
    window.SetCaptionWidth(CaptionWidth(window.font()));
    window.BuildEditors();
    if (windowHook) windowHook(window);
    result = window.exec();
    keptTheirs = window.KeptTheirs();
  }
  // Their entry replaces the fields the window's editors held: only once the window is gone.
  if (keptTheirs) {
    try {
      return session->KeepStored() ? QDialog::Accepted : QDialog::Rejected;
    } catch (const std::exception& e) {
      ShowError(owner_, FromMessage(e.what()));
    }
  }
  // The window ends the session (Commit on OK, Rollback on Cancel); one left open is rolled back.
  if (!session->Finished()) {
    try {
      session->Rollback();
    } catch (const std::exception& e) {
      ShowError(owner_, FromMessage(e.what()));
    }
    return QDialog::Rejected;
  }
  return result;
}

}  // namespace quillmar
