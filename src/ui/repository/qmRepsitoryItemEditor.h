#pragma once
// TqmRepsitoryItemEditor: the short-lived controller the repository tab makes for its New and Modify
// commands. It prepares a new entry from its category and runs the entry editor
// (TfrmRepositoryEntryEditor) on an edit session of the entry (core/qmEntryEditSession.h).
//
// Use (the repository tab):
//   New:     TqmRepositoryEntry* entry = new TqmRepositoryEntry(category);   // empty, under it
//            TqmRepsitoryItemEditor editor(global, category, window, entry);  // takes the template
//            if (editor.EditEntry() == QDialog::Accepted) { add a node for entry (saved: it has its
//            FileName, and its SortOrder puts it last) } else { delete entry }
//   Modify:  TqmRepsitoryItemEditor editor(global, entry->Parent(), window, entry);
//            if (editor.EditEntry() == QDialog::Accepted) { show the entry again, refresh its row }
//            (after Cancel the entry in memory is as it was before)
//
// EditEntry returns Accepted only once the entry is saved in the Safe (icon and autofill text too);
// there is nothing left for the caller to save. When another program changed the entry meanwhile
// and the user kept theirs, the editor's changes are rolled back and the entry in memory becomes the
// one the Safe holds: Accepted too (show it again); Rejected when they deleted it. On Cancel the session is
// rolled back: the entry's fields, icon and autofill text are restored, files attached in the editor are
// taken out again (a replaced one gets its old content back), reminders made in it are deleted and those
// deleted or changed in it are stored again.
//
// REQUIRES: a Safe is open for writing; category is the entry's Parent() as loaded from the Safe;
// entry and category outlive the controller. The entry stays the caller's.
#include <QFont>
#include <cstdint>

class QWidget;

namespace quillmar {

class TqmGlobal;
class TqmCategory;
class TqmRepositoryEntry;
class TfrmRepositoryEntryEditor;

class TqmRepsitoryItemEditor {
public:
  enum TMode : uint8_t { modeNew = 0, modeEdit = 1 };

  // An entry without fields is new: the mode is modeNew and PrepareFromCategory runs. Otherwise the
  // mode is modeEdit and nothing is copied.
  TqmRepsitoryItemEditor(TqmGlobal& global, TqmCategory* category, QWidget* owner, TqmRepositoryEntry* entry);

  TMode Mode() const { return mode_; }
  // Unless the entry has fields already, a field per template field of the category, in order (same
  // SortOrder, Name, FieldType and Required, empty Value).
  void PrepareFromCategory();
  // The caption column's width in font: the widest Name + "*:" among the fields, Memo fields left
  // out (their caption stands above the box).
  int CaptionWidth(const QFont& font) const;

  // Runs the editor window (modal over the owner) and returns its result: QDialog::Accepted when
  // the entry was saved, QDialog::Rejected when it was cancelled (and rolled back). A hook lets a
  // test or a screenshot reach the window while it is shown.
  int EditEntry();

  // Called with the window once it is built, before it is shown (tests and screenshots).
  using TWindowHook = void (*)(TfrmRepositoryEntryEditor& window);
  static void SetWindowHook(TWindowHook hook);

private:
  TqmGlobal& g_;
  TMode mode_;
  QWidget* owner_;
  TqmCategory* category_;
  TqmRepositoryEntry* entry_;
};

}  // namespace quillmar
