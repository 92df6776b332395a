#include "cli/CliCommandTable.h"

#include "cli/CliCommands.h"

namespace quillmar {

namespace {

const TCliOptionDef kYes{"--yes", "-y", "", false, "do not ask: answer yes to the question"};
const TCliOptionDef kAttach{
    "--attach", "", "NAME=DISKFILE", true,
    "attach a copy of DISKFILE to the Safe and name it in the File or Picture field NAME"};
const TCliOptionDef kAttachYes{"--yes", "-y", "", false,
                               "replace an attached file of the same name without asking"};

std::vector<TCliCommandDef> MakeCommands() {
  std::vector<TCliCommandDef> c;
  c.push_back({"safes",
               RunSafes,
               "",
               "list the Safes in the home folder, one name a line",
               "Lists the Safes of the home folder (the files NAME.qvt in it), one name a line.\n",
               0,
               0,
               {}});
  c.push_back({"create",
               RunCreate,
               "SAFE [--demo] [--compatible]",
               "create a new Safe from the template",
               "Creates the Safe SAFE from the template: its categories, field templates, icons and\n"
               "reminders. Asks for the new master password (twice on a terminal, one line from a pipe).\n"
               "The name has at least 4 characters, the master password at least 5.\n"
               "The Safe is hardened: its key is derived from the master password by Argon2id, which\n"
               "makes each guess of the password cost about half a second and a lot of memory.\n",
               1,
               1,
               {{"--demo", "", "", false, "also keep the template's sample entries and File Locker files"},
                {"--compatible", "", "", false,
                 "readable by older versions (weaker protection: no slow key derivation, and a master "
                 "password of at most 32 characters)"}}});
  c.push_back({"delete",
               RunDelete,
               "SAFE [--yes]",
               "delete a Safe file",
               "Deletes the Safe file SAFE.qvt for good. Asks first unless --yes is given.\n",
               1,
               1,
               {kYes}});
  c.push_back(
      {"check",
       RunCheck,
       "SAFE [--deep]",
       "check that a Safe opens",
       "Prints the check code and its meaning: 0 usable, 1 not a Safe file, 2 wrong password,\n"
       "4 cannot be opened. Exit 0 when usable, 3 on a wrong password, 1 on any other problem.\n"
       "Then the Safe's kind: hardened, with its key derivation's memory, passes and lanes, or\n"
       "compatible (no key derivation). With --deep one \"problem:\" line per damaged thing (a\n"
       "record, a file and where it cannot be read, a page of the container) follows, and one\n"
       "\"recovered:\" line per category a repair gave a new record (rename it; it is no problem).\n",
       1,
       1,
       {{"--deep", "", "", false, "also check the container's structure and read every file in it"}}});
  c.push_back(
      {"ls",
       RunLs,
       "SAFE [CATEGORY] [-R]",
       "list categories and entries",
       "Lists the categories (ending in \"/\") and entry titles in CATEGORY (default: the top\n"
       "level), one a line, in tree order. A record that cannot be read is named in a warning and\n"
       "the rest is listed; the exit code is then 1. A category whose record is damaged is listed\n"
       "under its folder's name followed by \" (damaged)\", with what is in it.\n",
       1,
       2,
       {{"--recursive", "-R", "", false, "list the whole tree below, indented two blanks per level"}}});
  c.push_back({"show",
               RunShow,
               "SAFE ENTRY [--reveal] [--extract DIR [--yes]]",
               "show an entry's fields",
               "Prints one \"Name: value\" line per field of ENTRY, in field order. Password fields show\n"
               "as ******** unless --reveal is given; File and Picture fields show the name of the\n"
               "attached file. For a category (\"Internet/Web Logins/\") the fields of its template:\n"
               "what a new entry gets.\n"
               "With --extract DIR the entry's attached files are written into DIR instead (created\n"
               "when missing; each file private to you) and their paths printed, one a line.\n",
               2,
               2,
               {{"--reveal", "", "", false, "show password fields in clear"},
                {"--extract", "", "DIR", false, "write the entry's attached files into DIR"},
                {"--yes", "-y", "", false, "with --extract: replace files of the same name in DIR"}}});
  c.push_back({"add",
               RunAdd,
               "SAFE CATEGORY [--set NAME=VALUE]... [--ask NAME]... [--attach NAME=DISKFILE]...",
               "add an entry",
               "Adds an entry to CATEGORY with the fields of the category's template and prints its path.\n"
               "The title is the value of the first field. Values given with --set show in the process list\n"
               "and the shell's history: give secrets with --ask. File and Picture fields take a file with\n"
               "--attach: a copy is attached to the Safe under the disk file's name. Attached files are\n"
               "known by name: when one of that name exists, replacing it (asked, or --yes) replaces it for\n"
               "every entry that names it. Reminders are set in the desktop program.\n",
               2,
               2,
               {{"--set", "", "NAME=VALUE", true, "give field NAME the value VALUE"},
                {"--ask", "", "NAME", true,
                 "read the value of field NAME like a password (no echo; from a pipe: the next line)"},
                kAttach,
                kAttachYes}});
  c.push_back(
      {"edit",
       RunEdit,
       "SAFE ENTRY (--set NAME=VALUE | --ask NAME | --attach NAME=DISKFILE)...",
       "change field values of an entry",
       "Changes the values of the named fields of ENTRY and prints its path. --attach gives a File\n"
       "or Picture field a newly attached copy of DISKFILE (as for add); --set \"NAME=\" empties one.\n"
       "The file a field named before is deleted from the Safe unless another entry names it.\n",
       2,
       2,
       {{"--set", "", "NAME=VALUE", true, "give field NAME the value VALUE"},
        {"--ask", "", "NAME", true,
         "read the value of field NAME like a password (no echo; from a pipe: the next line)"},
        kAttach,
        kAttachYes}});
  c.push_back({"rm",
               RunRm,
               "SAFE ENTRY [--yes]",
               "delete an entry",
               "Deletes ENTRY, with its reminder and attached files. Asks first (while the Safe's\n"
               "\"confirm deletion\" setting is on) unless --yes is given.\n",
               2,
               2,
               {kYes}});
  c.push_back({"mkcat",
               RunMkcat,
               "SAFE PATH [--field NAME:TYPE[:required]]...",
               "create a category",
               "Creates the category PATH (its parent must exist) with the given template fields.\n"
               "TYPE is a code 0-11, a type name (Normal Text, Password Field, Date, Yes/No, Reminder\n"
               "(Yes/No), Email address, File, Currency, Number, Picture, Text Field/Memo, URL; letter\n"
               "case and blanks do not matter) or one of: text, password, date, yesno, reminder, email,\n"
               "file, currency, number, picture, memo, url.\n",
               2,
               2,
               {{"--field", "", "NAME:TYPE[:required]", true, "add a template field"}}});
  c.push_back({"rmcat",
               RunRmcat,
               "SAFE PATH",
               "delete a category",
               "Deletes the category PATH with its sub-categories. A category that holds entries is\n"
               "refused: remove or move its entries first.\n",
               2,
               2,
               {}});
  c.push_back({"mv",
               RunMv,
               "SAFE ENTRY-OR-CATEGORY DEST-CATEGORY",
               "move an entry or category",
               "Moves an entry or a category (with everything in it) into DEST-CATEGORY (\"/\" is the top\n"
               "level, for categories). It goes last among its new siblings.\n",
               3,
               3,
               {}});
  c.push_back({"search",
               RunSearch,
               "SAFE TEXT [--case] [--all-fields]",
               "find entries",
               "Prints the paths of the entries whose title contains TEXT, in tree order.\n",
               2,
               2,
               {{"--case", "", "", false, "letter case must match"},
                {"--all-fields", "", "", false, "search every field's value, not only the title"}}});
  c.push_back({"files",
               RunFiles,
               "SAFE [FOLDER]",
               "list a File Locker folder",
               "Lists FOLDER of the File Locker (default: its root): folders ending in \"/\", then files\n"
               "as name, size and time separated by tabs.\n",
               1,
               2,
               {}});
  c.push_back({"lock",
               RunLock,
               "SAFE DISKFILE... [--into FOLDER] [--remove-from-disk]",
               "lock files into the Safe",
               "Encrypts each DISKFILE into the File Locker folder FOLDER (default: the root).\n",
               2,
               -1,
               {{"--into", "", "FOLDER", false, "the File Locker folder to lock into"},
                {"--remove-from-disk", "", "", false, "delete each disk file once it is locked"},
                {"--yes", "-y", "", false, "replace a file of the same name in the Safe without asking"}}});
  c.push_back({"unlock",
               RunUnlock,
               "SAFE PATH DESTDIR [--keep]",
               "take a file out of the Safe",
               "Decrypts the File Locker file PATH into the disk folder DESTDIR and removes it from the\n"
               "Safe unless --keep is given.\n",
               3,
               3,
               {{"--keep", "", "", false, "leave the file in the Safe"},
                {"--yes", "-y", "", false, "replace a file of the same name in DESTDIR without asking"}}});
  c.push_back({"mkdir",
               RunMkdir,
               "SAFE FOLDER",
               "create a File Locker folder",
               "Creates FOLDER (and missing parents) in the File Locker.\n",
               2,
               2,
               {}});
  c.push_back({"rename",
               RunRename,
               "SAFE PATH NEWNAME",
               "rename a File Locker file or folder",
               "Gives the File Locker file or folder PATH the name NEWNAME in the same folder.\n",
               3,
               3,
               {}});
  c.push_back({"rmfile",
               RunRmfile,
               "SAFE PATH [--yes]",
               "delete a File Locker file or folder",
               "Deletes the File Locker file or folder PATH (a folder with all its contents). Asks first\n"
               "unless --yes is given.\n",
               2,
               2,
               {kYes}});
  c.push_back({"reminders",
               RunReminders,
               "SAFE",
               "list the reminders",
               "Lists the reminders: id, name, type, actions, start and end, separated by tabs.\n",
               1,
               1,
               {}});
  c.push_back({"cryptomail",
               RunCryptoMail,
               "(--file F | --message TEXT) --out FILE [--name N] [--email E] [--website W] [--notes T]",
               "write a Zavozo Rero document",
               "Encrypts a file or a message under a password agreed with the recipient into an HTML\n"
               "document that decrypts itself in a browser. Asks for the shared password (twice on a\n"
               "terminal, one line from a pipe; at least 5 characters).\n",
               0,
               0,
               {{"--file", "", "F", false, "the file to encrypt"},
                {"--message", "", "TEXT", false, "the message to encrypt"},
                {"--out", "", "FILE", false, "where to write the document"},
                {"--name", "", "N", false, "your name, shown to the recipient"},
                {"--email", "", "E", false, "your e-mail address, shown to the recipient"},
                {"--website", "", "W", false, "your web site, shown to the recipient"},
                {"--notes", "", "T", false, "notes shown to the recipient"},
                {"--yes", "-y", "", false, "replace FILE when it exists"}}});
  c.push_back({"passwd",
               RunPasswd,
               "SAFE [--harden | --compatible [--yes]]",
               "change the master password (or the Safe's kind)",
               "Asks for the current master password, then the new one (twice on a terminal; from a\n"
               "pipe: the old, then the new, one line each). The Safe keeps its kind and a hardened\n"
               "Safe gets a new salt. With --harden or --compatible the kind changes too (the new\n"
               "password may then be the old one).\n",
               1,
               1,
               {{"--harden", "", "", false, "make a compatible Safe hardened (slow, salted key derivation)"},
                {"--compatible", "", "", false,
                 "make a hardened Safe readable by older versions: weaker protection, asked first"},
                kYes}});
  c.push_back({"repair",
               RunRepair,
               "SAFE",
               "rebuild the Safe file",
               "Rebuilds the Safe's container file, then checks it as check --deep does. Prints what\n"
               "was set right, what was lost (files dropped, bytes set to zero) and what could not be\n"
               "mended; \"Repaired\" and exit 0 only when the Safe is whole again, else exit 1.\n"
               "Records the program needs are written anew where they cannot be read: the default\n"
               "settings, a category record \"Recovered FOLDER\" with the fields of its first entry (so\n"
               "that every entry in it is shown again); reminder records that hold nothing go.\n",
               1,
               1,
               {}});
  c.push_back({"backup",
               RunBackup,
               "SAFE FILE",
               "copy the Safe to a backup file",
               "Writes a backup of the Safe to FILE (a copy under the same master password).\n",
               2,
               2,
               {{"--yes", "-y", "", false, "replace FILE when it exists"}}});
  c.push_back({"restore",
               RunRestore,
               "SAFE FILE [--yes]",
               "replace the Safe with a backup",
               "Replaces the Safe with the backup FILE. Asks first unless --yes is given. The restored\n"
               "Safe opens with the password it had when the backup was taken.\n",
               2,
               2,
               {kYes}});
  c.push_back(
      {"export",
       RunExport,
       "SAFE --format csv|json [--out FILE]",
       "export every entry, unencrypted",
       "Writes every entry with its category path and fields as CSV (one row per field) or JSON,\n"
       "to FILE or standard output. The output is NOT encrypted: keep it safe and delete it.\n",
       1,
       1,
       {{"--format", "", "csv|json", false, "the output format"},
        {"--out", "", "FILE", false, "write to FILE (created private to you) instead of standard output"},
        {"--yes", "-y", "", false, "replace FILE when it exists"}}});
  c.push_back(
      {"import",
       RunImport,
       "SAFE FILE --format keepassxc|bitwarden|csv [--into CATEGORY] [--map TARGET=COLUMN,...]... "
       "[--dry-run] "
       "[--replace-unencodable]",
       "import entries from another password manager",
       "Imports the entries of FILE, an export of another password manager, as one change of the Safe:\n"
       "all of them or, when anything fails, none. Formats: keepassxc (KeePassXC's CSV export),\n"
       "bitwarden (Bitwarden's unencrypted JSON export), csv (a CSV file with a header line; also the\n"
       "CSV that \"quillmar-cli export\" writes, which comes back with exactly its fields).\n"
       "Groups and folders become categories below CATEGORY (default: the top level), made from the\n"
       "template's \"Web Logins\" when missing; entries without one go into CATEGORY, or the Safe's\n"
       "\"Web Logins\" (cards, identities and notes into \"Credit Cards\", \"Identities\" and \"Notes\").\n"
       "Values without a field of their own (custom fields, a TOTP secret, more web addresses) get\n"
       "one, added to the category's template; what has no field at all goes into the notes.\n"
       "An entry with a character the Safe's code page cannot hold is left out and named, with the\n"
       "field and the character, unless --replace-unencodable is given. Prints a summary; exit 1\n"
       "when anything was left out. Delete FILE once the import is checked: it is not encrypted.\n"
       "--map for csv: TARGET is Title, Username, Password, URL, Notes, Email, TOTP, Group or the\n"
       "name of a field; COLUMN a header of FILE. Columns not mapped are taken by a known header\n"
       "name (title, name, username, password, url, notes, group, folder, ...), else into the notes.\n",
       2,
       2,
       {{"--format", "", "keepassxc|bitwarden|csv", false, "the format of FILE"},
        {"--into", "", "CATEGORY", false, "the category to import into (made when missing)"},
        {"--map", "", "TARGET=COLUMN,...", true, "for csv: which column gives what"},
        {"--dry-run", "", "", false, "print what would be created and change nothing"},
        {"--replace-unencodable", "", "", false,
         "import entries with characters the Safe cannot hold, writing \"?\" for each"}}});
  return c;
}

}  // namespace

const TCliOptionDef* TCliCommandDef::FindOption(const std::string& nameOrAlias) const {
  for (const auto& o : options)
    if (o.name == nameOrAlias || (!o.alias.empty() && o.alias == nameOrAlias)) return &o;
  return nullptr;
}

const std::vector<TCliCommandDef>& CliCommands() {
  static const std::vector<TCliCommandDef> commands = MakeCommands();
  return commands;
}

const TCliCommandDef* FindCliCommand(const std::string& name) {
  for (const auto& c : CliCommands())
    if (c.name == name) return &c;
  return nullptr;
}

std::string CliProgramUsage() {
  std::string s =
      "Usage: quillmar-cli [--home DIR] [--json] [--wait SECONDS] COMMAND ARGS...\n"
      "\n"
      "Keeps a Quillmar Safe from the command line: the password repository, the File Locker,\n"
      "reminders, backup and restore, and Zavozo Rero documents.\n"
      "\n"
      "Options:\n"
      "  --home DIR   the folder holding the Safes (default: $QUILLMAR_HOME, else\n"
      "               $XDG_DATA_HOME/quillmar, else ~/.local/share/quillmar)\n"
      "  --json       JSON output for safes, ls, show, search, files and reminders\n"
      "  --wait SECONDS  how long to wait while another program changes (or, for a change, reads)\n"
      "               the Safe before giving up (default 5)\n"
      "  --help       this text; \"quillmar-cli COMMAND --help\" explains a command\n"
      "  --version    the program's version\n"
      "  --allow-costly-derivation\n"
      "               open a Safe whose key derivation asks for more than this program ever\n"
      "               uses (over 1 GiB of memory or 10 passes): such a file was made elsewhere\n"
      "               or changed, and opening it can take minutes; without it, it is refused\n"
      "\n"
      "Commands:\n";
  for (const auto& c : CliCommands()) {
    std::string line = "  " + c.name;
    line.resize(std::max<size_t>(line.size() + 1, 14), ' ');
    s += line + c.summary + "\n";
  }
  s += "\n"
       "Passwords are read from the terminal without echo; when standard input is not a terminal,\n"
       "each password asked is one line of it.\n"
       "Paths: categories joined by \"/\" with the entry's title last (\"Internet/E-Mail/My mailbox\");\n"
       "\"\\/\" is a \"/\" inside a name; \"title#2\" is the second of several equal titles.\n"
       "File Locker paths are relative to its root, with \"/\" separators.\n"
       "Exit codes: 0 success, 1 a problem found (check), 2 usage error, 3 wrong password,\n"
       "4 any other failure.\n";
  return s;
}

std::string CliCommandUsage(const TCliCommandDef& command) {
  std::string s = "Usage: quillmar-cli [--home DIR] [--json] [--wait SECONDS] " + command.name;
  if (!command.arguments.empty()) s += " " + command.arguments;
  s += "\n\n" + command.details;
  if (!command.options.empty()) {
    s += "\nOptions:\n";
    for (const auto& o : command.options) {
      std::string left = "  " + o.name;
      if (!o.alias.empty()) left += ", " + o.alias;
      if (!o.valueName.empty()) left += " " + o.valueName;
      if (o.repeatable) left += " (repeatable)";
      if (left.size() < 34)
        left.resize(34, ' ');
      else
        left += "\n" + std::string(34, ' ');
      s += left + o.help + "\n";
    }
  }
  return s;
}

}  // namespace quillmar
