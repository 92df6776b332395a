#pragma once
// The one place that knows which editor and which viewer each field type has. A type code this
// program does not know (12 and above) gets a read-only text box in both, so that its value is seen
// and kept as it is, never lost and never a crash.
#include <QWidget>

#include "repository/fields/qmCustomFieldEditor.h"
#include "repository/fields/qmCustomFieldViewer.h"

namespace quillmar {

// A new editor of the field in owner (which owns it), made (Init) and ready to be placed.
// Throws EQuillmarError(TqmCustomFieldEditor::kMsgOwnerNotWindowed) for a null owner.
TqmCustomFieldEditor* CreateFieldEditor(QWidget* owner, TqmField& field, const TqmFieldContext& context);
// A new viewer of the field in owner (which owns it), made (Init); its layout runs when its width and
// caption width are set. A null owner gives a viewer that shows nothing (owned by no one: the caller
// deletes it).
TqmCustomFieldViewer* CreateFieldViewer(QWidget* owner, TqmField& field, const TqmFieldContext& context);

}  // namespace quillmar
