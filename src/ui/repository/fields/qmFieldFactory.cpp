#include "repository/fields/qmFieldFactory.h"

#include "base/Exception.h"
#include "model/qmField.h"
#include "repository/fields/qmFieldEditors.h"
#include "repository/fields/qmFieldViewers.h"

namespace quillmar {

TqmCustomFieldEditor* CreateFieldEditor(QWidget* owner, TqmField& field, const TqmFieldContext& context) {
  if (owner == nullptr) throw EQuillmarError(TqmCustomFieldEditor::kMsgOwnerNotWindowed);
  TqmCustomFieldEditor* editor = nullptr;
  switch (field.FieldType()) {
    case ftNormalText:
      editor = new TqmNormalTextFieldEditor(owner, field, context);
      break;
    case ftPassword:
      editor = new TqmPasswordFieldEditor(owner, field, context);
      break;
    case ftDate:
      editor = new TqmDateFieldEditor(owner, field, context);
      break;
    case ftYesNo:
      editor = new TqmYesNoFieldEditor(owner, field, context);
      break;
    case ftReminder:
      editor = new TqmReminderFieldEditor(owner, field, context);
      break;
    case ftEMail:
      editor = new TqmEMailFieldEditor(owner, field, context);
      break;
    case ftFile:
      editor = new TqmFileFieldEditor(owner, field, context);
      break;
    case ftCurrency:
      editor = new TqmCurrencyFieldEditor(owner, field, context);
      break;
    case ftNumber:
      editor = new TqmNumberFieldEditor(owner, field, context);
      break;
    case ftPicture:
      editor = new TqmPictureFieldEditor(owner, field, context);
      break;
    case ftTextMemo:
      editor = new TqmTextFieldMemoFieldEditor(owner, field, context);
      break;
    case ftURL:
      editor = new TqmURLFieldEditor(owner, field, context);
      break;
    default:
      editor = new TqmReadOnlyFieldEditor(owner, field, context);
      break;
  }
  editor->Init();
  return editor;
}

TqmCustomFieldViewer* CreateFieldViewer(QWidget* owner, TqmField& field, const TqmFieldContext& context) {
  TqmCustomFieldViewer* viewer = nullptr;
  switch (field.FieldType()) {
    case ftPassword:
      viewer = new TqmPasswordFieldViewer(owner, field, context);
      break;
    case ftDate:
      viewer = new TqmDateFieldViewer(owner, field, context);
      break;
    case ftYesNo:
      viewer = new TqmYesNoFieldViewer(owner, field, context);
      break;
    case ftReminder:
      viewer = new TqmReminderFieldViewer(owner, field, context);
      break;
    case ftEMail:
      viewer = new TqmEMailFieldViewer(owner, field, context);
      break;
    case ftFile:
      viewer = new TqmFileFieldViewer(owner, field, context);
      break;
    case ftCurrency:
      viewer = new TqmCurrencyFieldViewer(owner, field, context);
      break;
    case ftNumber:
      viewer = new TqmNumberFieldViewer(owner, field, context);
      break;
    case ftPicture:
      viewer = new TqmPictureFieldViewer(owner, field, context);
      break;
    case ftTextMemo:
      viewer = new TqmTextFieldMemoFieldViewer(owner, field, context);
      break;
    case ftURL:
      viewer = new TqmURLFieldViewer(owner, field, context);
      break;
    default:  // Normal Text, and the types this program does not know
      viewer = new TqmNormalTextFieldViewer(owner, field, context);
      break;
  }
  viewer->Init();
  return viewer;
}

}  // namespace quillmar
