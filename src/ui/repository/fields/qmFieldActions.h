#pragma once
// The actions the field editors and viewers share: opening a mail program, a web site or an attached
// file, and the reminder window of a "Reminder (Yes/No)" field. Each says what went wrong in a
// message box (naming the file or address) and returns whether it did its work.
#include <string>

class QWidget;

namespace quillmar {

class TqmGlobal;
class TqmEntryEditSession;

namespace fields {

// "mailto:" + address (Safe text) with the desktop's mail program.
bool OpenMailTo(QWidget* parent, const std::string& address);
// The address (Safe text) as it is, with the desktop's handler.
bool OpenAddress(QWidget* parent, const std::string& address);
// The address with "http://" in front when it holds no "://" (the URL viewer's visit).
std::string VisitAddress(const std::string& address);
// A read-only copy of the attached file `name` (Safe text), opened with the desktop's program for
// its type or the "Open with" chooser. "File does not exist." when the Safe holds no such file.
bool OpenAttachedFile(QWidget* parent, TqmGlobal& global, const std::string& name);

// The reminder window on the "Reminder (Yes/No)" field at index of the session's entry: it stores or
// deletes through the session. The schedule is rebuilt afterwards, whatever the button. False when
// the reminder windows are not available (nothing happened).
bool EditFieldReminder(QWidget* parent, TqmGlobal& global, TqmEntryEditSession& session, int index);

}  // namespace fields

}  // namespace quillmar
