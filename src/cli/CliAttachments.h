#pragma once
// TCliAttachments: the File and Picture fields of an entry on the command line. Their value is the
// name of a file attached to the Safe ("\Quillmar.System.Info\Attached Files\<name>"); an attached
// file is known by its name only, so entries that name the same file share it.
//
// add and edit, with --attach NAME=DISKFILE (repeatable), on the entry of an edit session
// (core/qmEntryEditSession.h), which owns the attachments' life cycle:
//   TCliAttachments a(c);      // checks the options and the disk files before the Safe is opened
//   a.Bind(entry);             // finds the fields; sets the names the files will be stored under
//   ... --set / --ask, the required-field check, the storage check ...
//   a.Attach(session);         // stores the files (the overwrite question, or --yes)
//   session.Commit();          // saves the entry; releases the files it no longer names
// A failure after Attach is undone by the session's rollback.
//
// Names are Safe text (its code page) inside the Safe and UTF-8 on the command line and the disk.
#include <string>
#include <vector>

#include "cli/CliContext.h"
#include "core/qmEntryEditSession.h"
#include "model/qmField.h"
#include "model/qmRepositoryEntry.h"

namespace quillmar {

class TCliAttachments {
public:
  // Checks every --attach: the NAME=DISKFILE form, that the disk file exists, is a file and can be
  // read, and that its name is one the Safe can store. Usage errors otherwise; nothing is opened.
  explicit TCliAttachments(TCliContext& c);

  bool Any() const { return !items_.empty(); }

  // Finds each NAME among the entry's fields (a usage error when there is none, or when it is not a
  // File or Picture field, or when it is also given with --set) and gives each named field the name
  // its file will be stored under.
  void Bind(TqmRepositoryEntry& entry);
  // Attaches the files through the session. An attachment of the same name goes through the overwrite
  // question (--yes answers it; replacing it changes it for every entry that names it). When one is
  // declined or fails, ECliError is thrown; the session's rollback lets go of those attached so far.
  void Attach(TqmEntryEditSession& session);

  // show --extract DIR: writes the files the entry's File and Picture fields name into dir (created
  // when missing), each private to the user, and returns their paths in field order (a file named
  // twice is written once). An existing file in dir is replaced only with --yes; otherwise nothing
  // is written. Files that are not in the Safe are skipped and listed in problems.
  struct TExtracted {
    std::vector<std::string> paths;
    std::vector<std::string> problems;
  };
  static TExtracted Extract(TCliContext& c, const TqmRepositoryEntry& entry, const std::string& dir);

private:
  struct TItem {
    std::string option;     // as given, for messages
    std::string fieldName;  // Safe text
    std::string diskFile;
    std::string name;  // the stored name: the disk file's name as Safe text
    int field = -1;    // its index in the entry
  };

  TCliContext& c_;
  std::vector<TItem> items_;
};

}  // namespace quillmar
