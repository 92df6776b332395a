#pragma once
// TCliAttachments: the File and Picture fields of an entry on the command line. Their value is the
// name of a file attached to the Safe ("\Quillmar.System.Info\Attached Files\<name>"); an attached
// file is known by its name only, so entries that name the same file share it.
//
// add and edit, with --attach NAME=DISKFILE (repeatable):
//   TCliAttachments a(c);      // checks the options and the disk files before the Safe is opened
//   a.Bind(entry);             // finds the fields; remembers their old values; sets the new names
//   ... --set / --ask, the required-field check ...
//   a.Attach();                // copies the files into the Safe (the overwrite question, or --yes)
//   save the entry; on failure a.Abandon()
//   a.ReleaseReplaced();       // deletes the old files no entry names any more
//
// Names are Safe text (its code page) inside the Safe and UTF-8 on the command line and the disk.
#include <string>
#include <vector>

#include "cli/CliContext.h"
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
  // File or Picture field, or when it is also given with --set), remembers the values the entry's
  // File and Picture fields had, and gives each named field the name its file will be stored under.
  void Bind(TqmRepositoryEntry& entry);
  // Attaches the files. An attachment of the same name goes through the overwrite question (--yes
  // answers it; replacing it changes it for every entry that names it). When one is declined or
  // fails, the ones attached so far are let go again (see Abandon) and ECliError is thrown.
  void Attach();
  // The entry could not be saved: the files attached by Attach that no saved entry names are
  // deleted again. Never throws.
  void Abandon() noexcept;
  // The entry was saved: each file its File and Picture fields named before Bind and name no more is
  // deleted unless another entry names it. A delete that fails is reported as a warning.
  void ReleaseReplaced();

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
    TqmField* field = nullptr;
    bool attached = false;
  };

  std::string AttachOne(const TItem& item);

  TCliContext& c_;
  std::vector<TItem> items_;
  TqmRepositoryEntry* entry_ = nullptr;
  std::vector<std::string> before_;  // the File and Picture values before Bind
};

}  // namespace quillmar
