#pragma once
// The one check that a record is stored exactly. The record formats have no escaping: a text that
// holds one of a format's markers (a value with "</field>", a name with '"' or '>') would read back
// cut short, or would forge other values. So before a category, entry, field, reminder or autofill
// record is written (the settings text has its own in safe/qmSettings.h), its text is read back
// through the very scanner that reads it from the Safe, and every value must come back equal. What
// would not is refused; nothing is escaped in a way that other readers of the format would not know.
//
// Names must be one line as well: a control character (below 0x20) in a name is refused. Names are
// category names, template field names, entry titles, and the names of File Locker items and attached
// files. An entry's title is its first field's value; when that field is a Memo ("Text Field/Memo")
// its line breaks are kept, as in every Memo value.
//
// RecordProblem returns "" when the item can be stored, otherwise the message: it says where the text
// is (the field's name, "the category name", ...) and which character sequence cannot be stored. The
// message is 8-bit text in the Safe's code page, like the names it quotes; it never quotes a field's
// value (it may be a password). RequireStorable throws ERecordRefused with that message. The Safe
// layer runs the check before every write; editors run it to refuse the input while it is typed.
#include <string>
#include <string_view>

#include "base/Exception.h"

namespace quillmar {

class TqmField;
class TqmCategory;
class TqmRepositoryEntry;
class TqmReminderEvent;
class TqmAutoFillRecord;

// A text that cannot be stored exactly was refused; nothing was written.
class ERecordRefused : public EQuillmarError {
public:
  explicit ERecordRefused(const std::string& message) : EQuillmarError(message) {}
};

// One field record as a category stream holds it (length-framed).
std::string RecordProblem(const TqmField& field);
// The category stream: the name (one line), the template fields' names (one line) and the whole
// stream read back equal.
std::string RecordProblem(const TqmCategory& category);
// The entry record: read back with the same sort order, icon, autofill text and fields; the title is
// one line unless its field is a Memo.
std::string RecordProblem(const TqmRepositoryEntry& entry);
// The reminder record: every value read back equal (dates to the 15 digits the record keeps; an empty
// days, months or daysofweek is "*", as the record reads it).
std::string RecordProblem(const TqmReminderEvent& reminder);
// The autofill record of an entry (its format, not only the entry's element): at least one
// assignment, and every piece read back equal.
std::string RecordProblem(const TqmAutoFillRecord& record);

template <class Item>
void RequireStorable(const Item& item) {
  const std::string problem = RecordProblem(item);
  if (!problem.empty()) throw ERecordRefused(problem);
}

// "" when name holds no control character; otherwise a message that starts with what (for example
// "The category name") and the name as shown in messages (see ShownInMessage).
std::string NameProblem(std::string_view name, const std::string& what);
// A text for a message, on one line: control characters written as \n, \r, \t or \xNN.
std::string ShownInMessage(std::string_view text);

}  // namespace quillmar
