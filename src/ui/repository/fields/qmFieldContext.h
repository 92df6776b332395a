#pragma once
// What a field editor or viewer is given beside its field: the application object, the entry the
// field belongs to, the field's index in it, the edit session (editors), and what a viewer calls
// when one of its actions saved the entry. Also the few helpers the whole family shares: the row
// height, the locale's decimal separator and date format, the object names.
#include <QDate>
#include <QString>
#include <functional>

class QFrame;
class QLabel;
class QWidget;

namespace quillmar {

class TqmGlobal;
class TqmEntryEditSession;
class TqmRepositoryEntry;

struct TqmFieldContext {
  TqmGlobal* global = nullptr;
  // The entry the field belongs to (not owned). Viewers: the URL viewer's autofill record and
  // name-value list, and the entry a reminder viewer's action saves.
  TqmRepositoryEntry* entry = nullptr;
  // The field's position in the entry: it names the controls (fld<i>, fld<i>Value, ...).
  int index = 0;
  // Editors: the session the entry is edited in (attached files and reminders go through it).
  TqmEntryEditSession* session = nullptr;
  // Viewers: called (later, from the event loop) after an action saved the entry.
  std::function<void()> entrySaved;
};

namespace fields {

// The height of one row of the family (a box and its caption): 24 pixels, or what the font needs.
int RowHeight(const QWidget* reference);
// The locale's decimal separator (QLocale()).
char DecimalSeparator();
// The locale's short date format with the year in four digits.
QString ShortDateFormat();
// The date of a day number (days since 1899-12-30) and back.
QDate DateOfDay(int day);
int DayOfDate(const QDate& date);
// "fld<i>" followed by suffix.
QString ControlName(int index, const char* suffix = "");
// The family's panel (white, without bevel, fld<i>) in owner at (10, 10), width wide and one row
// high, with its caption label (fld<i>Caption) at the left; shown.
QFrame* MakePanel(QWidget* owner, int index, int width, const QString& caption, QLabel** captionLabel);

}  // namespace fields

}  // namespace quillmar
