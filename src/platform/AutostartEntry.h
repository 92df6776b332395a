#pragma once
// Starting the program with the desktop session: an XDG autostart entry,
// $XDG_CONFIG_HOME/autostart/quillmar.desktop (else ~/.config/autostart/quillmar.desktop), whose Exec
// line is the program's absolute path and its arguments.
//
// Exec quoting follows the Desktop Entry rules: an argument holding a blank or one of the reserved
// characters is put in double quotes, inside which `"`, `` ` ``, `$` and `\` get a backslash; a literal
// `%` is written `%%` (a field code otherwise). The string escapes of the file format then apply on
// top: every backslash is doubled. So a path /opt/a b/x is written "/opt/a b/x" and a backslash in
// a quoted argument becomes four backslashes in the file.
#include <string>
#include <vector>

namespace quillmar {

inline constexpr char kAutostartFileName[] = "quillmar.desktop";

// The entry's path (the folder need not exist).
std::string AutostartEntryPath();

// One argument as the Exec key's value holds it (quoting, "%%" and the string escapes). Throws
// EQuillmarError for an empty argument or one holding a control character, which an Exec line
// cannot carry.
std::string DesktopEntryExecArgument(const std::string& argument);

// The whole file for the command (command[0] the program's absolute path).
std::string AutostartEntryText(const std::vector<std::string>& command);

// Writes the entry (folders made as needed; the file replaced in one rename). Throws EQuillmarError
// saying what failed.
void WriteAutostartEntry(const std::vector<std::string>& command);

// Removes the entry; true when it is gone (also when there was none). Never throws.
bool RemoveAutostartEntry();

bool AutostartEntryExists();

}  // namespace quillmar
