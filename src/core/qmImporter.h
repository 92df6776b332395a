#pragma once
// TqmImporter: puts the records read from another password manager's export (core/qmImportSource.h)
// into the open Safe, as entries in categories. Both front ends use it: the command line's `import`
// and the desktop's import dialog, which shows the plan as a preview and then runs it on a worker
// thread under a progress window with Cancel.
//
// Two steps:
//  1. Plan reads the Safe's category tree (nothing is written; a read-only Safe will do) and works
//     out everything: which categories receive entries, which are made, which template fields are
//     added, every entry with its fields, and every record that is skipped and why. The plan is what
//     a dry run prints and what the preview shows.
//  2. Run carries the plan out as one change of the Safe (TqmSFSWrapper::TChange): when it returns
//     true every entry is on the disk; when it throws, or is cancelled, or the program stops in the
//     middle, the Safe is exactly as it was: nothing is ever half-imported.
//
// Where a record goes. The import has a base: the category `into` names, or the top level. A record
// with a group (a KeePassXC group, a Bitwarden folder, a CSV group column) goes into the category of
// that path below the base; missing categories are made from the template's "Web Logins" (its fields
// and icon). A record without a group goes into the home category of its kind: logins into the base
// itself when `into` is given, else into the Safe's "Web Logins" (the first category of that name in
// the tree; made from the template, with its parent "Internet", when the Safe has none); notes,
// cards and identities into "Notes", "Credit Cards" and "Identities" below the base when `into` is
// given, else the Safe's own, found and made the same way. Categories are matched by name, the first
// of equal names unless the path says "name#n". Quillmar's own export names full paths from the top
// level (below the base when `into` is given); a category it makes takes the template category of
// the same name when there is one, else the fields of its first entry.
//
// How values become fields. An entry gets the fields of its category's template, in order (an
// export's entry gets exactly its own fields). A role value goes into the category's field for that
// role: the title into the first field, the password into the first "Password Field", the web
// address into the first "URL", the notes into the first "Text Field/Memo", the e-mail address into
// the first "Email address", the user name into the first "Normal Text" field after the first whose
// name holds "user" or "login". A named value goes into the field of that name. When the category
// has no such field it is added to the entry and to the category's template (so that later entries
// get it too): roles under the names "Title", "User name", "Password", "Address", "Notes" and
// "E-mail", named values under their own name and type. A value whose field this entry already
// filled is kept in a field of its own ("Password (2)", not added to the template). What the
// record has no field for at all (extras: "Brand", KeePassXC's unknown columns) is written into
// the notes, one "label: value" line each.
//
// Text. The records are UTF-8; the Safe holds its code page (TCodePage). A character the code page
// cannot hold is reported per entry, field and character (a password's character is not shown,
// only its position), and the entry is skipped, unless replaceUnencodable is set: each such
// character is then written as "?" and the report says so. A record that could not be stored
// exactly (a value holding "</field>", a name with a '"' or a line break; model/RecordCheck.h) is
// skipped with the reason. Nothing is cut or changed silently.
//
// The plan's texts meant for people (paths, titles, messages) are UTF-8, ready to show.
//
// Threading: one thread at a time; the desktop plans under its busy gate and runs under its
// progress runner, and touches nothing of the Safe meanwhile.
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "base/CodePage.h"
#include "core/qmImportSource.h"
#include "safe/qmProgress.h"

namespace quillmar {

class TqmGlobal;

struct TqmImportOptions {
  // The base category as names from the top level, in the Safe's code page ("#n" picks among equal
  // names); empty: the top level. Missing categories of the path are made from the template's "Web
  // Logins".
  std::vector<TqmImportPathPart> into;
  bool replaceUnencodable = false;
};

struct TqmImportPlan {
  struct TCategory {
    std::vector<std::string> names;        // the names from the top level down (UTF-8)
    std::string path;                      // "Internet/Web Logins" (the names joined by "/")
    bool created = false;                  // made by the import
    std::string madeFrom;                  // for a made category: the template category it copies, or ""
                                           // when its fields are those of its first entry
    std::vector<std::string> addedFields;  // template fields the import adds: "TOTP (Password Field)"
    size_t entries = 0;                    // entries the import puts into it
  };
  struct TEntry {
    size_t category = 0;  // index into categories
    std::string where;    // "line 12"
    std::string title;
    bool titleTaken = false;         // another entry of the category has this title already
    std::vector<std::string> notes;  // what was left out or changed (replaced characters, ...)
  };
  struct TSkipped {
    std::string where;
    std::string title;
    std::string reason;        // whole sentences
    bool unencodable = false;  // left out for characters the code page cannot hold (replaceUnencodable
                               // would import it)
  };

  // Every category the import makes, changes or fills, parents before children, in the order met.
  std::vector<TCategory> categories;
  std::vector<TEntry> entries;
  std::vector<TSkipped> skipped;
  // About the whole import: the source's notes, records of the Safe that could not be read, ...
  std::vector<std::string> notes;

  size_t CreatedCategories() const;
  size_t FilledCategories() const;
  size_t ChangedTemplates() const;
  size_t TakenTitles() const;
  // One sentence with `verb` in front ("Imported", "Would import"): "Imported 12 entries into 3
  // categories; 2 categories made; 1 category template extended; 1 record skipped."
  std::string Summary(const std::string& verb) const;
};

class TqmImporter {
public:
  // REQUIRES: a Safe is open in global, and stays open while this object lives.
  TqmImporter(TqmGlobal& global, const TCodePage& codePage);
  ~TqmImporter();
  TqmImporter(const TqmImporter&) = delete;
  TqmImporter& operator=(const TqmImporter&) = delete;

  // Works out what importing source would do (see the top); reads the Safe, writes nothing. A later
  // call replaces the plan. Throws EQuillmarError when `into` cannot be a category, and the Safe
  // layer's errors when the Safe cannot be read.
  const TqmImportPlan& Plan(const TqmImportSource& source, const TqmImportOptions& options);
  const TqmImportPlan& CurrentPlan() const { return plan_; }

  // Carries the plan out as one change of the Safe. progress (qmProgress.h) hears of every entry
  // saved; a cancel gives false with the Safe as it was. Throws (the Safe as it was) when a write
  // fails. A plan with nothing to import changes nothing and gives true.
  // REQUIRES: Plan was called and not yet run; the Safe is open for writing and has not changed
  // since the plan was made.
  bool Run(const TqmProgress& progress = {});

private:
  class TWork;
  TqmGlobal& global_;
  TCodePage codePage_;
  TqmImportPlan plan_;
  std::unique_ptr<TWork> work_;
};

}  // namespace quillmar
