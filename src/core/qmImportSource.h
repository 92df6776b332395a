#pragma once
// What an import reads from another password manager's export, before anything of the Safe is
// looked at: records in a neutral form, with their text still in UTF-8. The importer
// (core/qmImporter.h) places them in the Safe's categories and converts the text to the Safe's code
// page.
//
// Formats:
//  - KeePassXC's CSV export: the columns "Group", "Title", "Username", "Password", "URL", "Notes" and,
//    where present, "TOTP", "Icon", "Last Modified", "Created" (found by name, in any order). The
//    first part of "Group" is the database's root group and is dropped; the rest ("Internet/Shops")
//    are the categories below the import's base. "TOTP" becomes a password field "TOTP"; "Icon",
//    "Last Modified" and "Created" are KeePassXC's own data that an entry here has no place for and
//    are left out (said once in the notes of the source). Any other column goes into the entry's
//    notes as "column: value".
//  - Bitwarden's unencrypted JSON export: folders (a "/" in a folder's name nests it), items of type
//    1 (login: every URI, the first as the address, the others as further address fields), 2 (secure
//    note), 3 (card) and 4 (identity); custom fields (text, hidden as password fields, boolean as
//    Yes/No; linked fields point at another value and are left out). An organisation's export names
//    collections instead of folders: the first collection of an item counts as its folder. Cards and
//    identities keep the fields of the template's "Credit Cards" and "Identities"; what those have no
//    field for goes into the notes. Password history, favourites and dates are left out. An encrypted
//    export is refused with a message that says how to make an unencrypted one.
//  - Generic CSV with a header line: a column mapping (ParseColumnMapping) says which column gives
//    what; columns it does not name are taken by their header when that is a known name (title,
//    name, username, password, url, notes, email, group, folder, totp, ...), and every other column
//    with a value goes into the notes. The delimiter ("," ";" or tab) is taken from the header line.
//    A file with exactly the header "category,title,field,type,value" is Quillmar's own `export`
//    (one row per field): its rows become entries with exactly those fields, in that order, in the
//    category the path names (the command line's path syntax: "/" between names, "\/" for a "/"
//    inside one, "name#n" for the n-th of equal names). An entry's rows follow each other; a new
//    entry starts where the category or title changes or a field name repeats.
//
// Text must be UTF-8 (a byte-order mark is dropped); anything else is refused as a whole, naming the
// byte, before a single record is taken. Errors of the file (EQuillmarError) name the line or the
// item.
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "model/qmField.h"

namespace quillmar {

enum class TqmImportFormat { KeePassXC, Bitwarden, Csv };

// "keepassxc", "bitwarden", "csv" (letter case ignored); nullopt for anything else.
std::optional<TqmImportFormat> ImportFormatNamed(std::string_view name);
// The names ImportFormatNamed takes, in that order, separated by "|".
std::string ImportFormatNames();

// What a record is; it decides the category a record without a group goes into.
enum class TqmImportKind { Login, Note, Card, Identity };
// The template category of a kind: "Web Logins", "Notes", "Credit Cards", "Identities".
const char* ImportHomeCategory(TqmImportKind kind);

// Where a value goes in an entry: one of the common roles, found in any category by its fields
// (see core/qmImporter.h), or the field of that name.
enum class TqmImportRole { Field, Title, UserName, Password, Url, Notes, Email };

struct TqmImportValue {
  TqmImportRole role = TqmImportRole::Field;
  std::string name;                  // the field's name for role Field (UTF-8)
  TqmFieldType type = ftNormalText;  // the type of a field made for it
  std::string value;                 // UTF-8; wiped when the value dies (it may be a password)

  TqmImportValue() = default;
  TqmImportValue(TqmImportRole r, std::string n, TqmFieldType t, std::string v)
      : role(r), name(std::move(n)), type(t), value(std::move(v)) {}
  TqmImportValue(const TqmImportValue&) = default;
  TqmImportValue(TqmImportValue&&) = default;
  TqmImportValue& operator=(const TqmImportValue&) = default;
  TqmImportValue& operator=(TqmImportValue&&) = default;
  ~TqmImportValue();
};

// One name of a category path, as read (UTF-8); occurrence n > 0 picks the n-th of equal names.
struct TqmImportPathPart {
  std::string name;
  int occurrence = 0;
  bool operator==(const TqmImportPathPart&) const = default;
};

struct TqmImportRecord {
  std::string where;  // "line 12", "item 3": where the record is in the file
  TqmImportKind kind = TqmImportKind::Login;
  std::vector<TqmImportPathPart> group;  // categories below the import's base; empty: the kind's
  bool exactFields = false;              // `export`'s rows: the fields are exactly `values`, in order
  std::vector<TqmImportValue> values;
  std::vector<std::pair<std::string, std::string>> extras;  // label and value, for the notes
  std::vector<std::string> notes;  // what was left out of this record, and why (UTF-8)

  // The title as read: the value of role Title, or the first value of an exact record.
  std::string Title() const;
};

struct TqmImportSource {
  TqmImportFormat format = TqmImportFormat::Csv;
  std::vector<TqmImportRecord> records;
  // Records the reader could not take at all: where, title and why (UTF-8), one line each.
  std::vector<std::string> skipped;
  // About the whole file (columns left out, ...).
  std::vector<std::string> notes;
};

// One pair of a column mapping: a target (a role: Title, Username, Password, URL, Notes, Email;
// Group for the category path; or any other text, a field of that name) and the header of the column
// that gives it.
struct TqmColumnMapping {
  std::string target;
  std::string column;
};
// "Title=name,Password=pw": pairs separated by ",", each TARGET=COLUMN. Throws EQuillmarError for a
// pair without "=" or with an empty side.
std::vector<TqmColumnMapping> ParseColumnMapping(std::string_view text);

// Reads an export. mapping applies to the generic CSV only. Throws EQuillmarError (naming the line
// or item) when the file cannot be read as that format.
TqmImportSource ReadImportText(std::string_view text, TqmImportFormat format,
                               const std::vector<TqmColumnMapping>& mapping = {});
// The same from a file; throws EQuillmarError naming the file when it cannot be read.
TqmImportSource ReadImportFile(const std::string& path, TqmImportFormat format,
                               const std::vector<TqmColumnMapping>& mapping = {});

}  // namespace quillmar
