#pragma once
// Starting other programs the way the desktop does: a document or web address with the program the
// desktop associates with it (xdg-open), or a program with its parameters. Started programs run on
// their own; they are not waited for and end up as children of nobody (no zombies are left).
#include <string>
#include <vector>

namespace quillmar {

// Starts argv[0] (looked up through PATH) with the arguments, detached. False when it could not be
// started (not found, not executable); the program's own outcome is not known.
bool LaunchDetached(const std::vector<std::string>& argv);

// Opens a document, folder or address with the desktop's default handler (xdg-open).
bool OpenDocument(const std::string& target);

// What a reminder's "start a program" asks for: when file is an executable file (not a folder) it
// is started with params split into words as a shell would (blanks separate, double and single
// quotes group, backslash escapes the next character, no expansion of any kind); any other file or
// address is opened with OpenDocument and params are not used.
bool OpenProgramOrDocument(const std::string& file, const std::string& params);

// The words of a parameter text as described above.
std::vector<std::string> SplitParameters(const std::string& params);

// The name of the user logged on: the account's name from the password database, else $USER, else "".
std::string LogonUserName();

}  // namespace quillmar
