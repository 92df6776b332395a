#pragma once
// The applications the desktop knows: its desktop entries ("<id>.desktop" files in the
// "applications" folders of $XDG_DATA_HOME and $XDG_DATA_DIRS), read for the "Open with" chooser that
// is offered when no program is associated with a file's type, and the command line of one of them
// for a file (the Exec key with its field codes).
//
// Only what the chooser needs is read: the [Desktop Entry] group's Type, Name, Exec, Icon, MimeType,
// NoDisplay and Hidden. An entry is offered when it is an application with an Exec line and is
// neither hidden nor deleted (Hidden=true); NoDisplay entries are offered too, since they are often
// exactly the programs that open a type. A user's entry hides a system entry of the same id.
#include <string>
#include <vector>

namespace quillmar {

struct TDesktopApplication {
  std::string id;            // "org.gnome.TextEditor.desktop"
  std::string name;          // Name (the untranslated one)
  std::string exec;          // Exec, as written
  std::string icon;          // Icon: a theme name or a path; may be empty
  std::string path;          // the desktop entry's own path
  bool handlesType = false;  // MimeType lists the type asked for
};

// The folders searched, most important first: $XDG_DATA_HOME/applications (default
// ~/.local/share/applications), then each of $XDG_DATA_DIRS (default /usr/local/share:/usr/share)
// with "/applications".
std::vector<std::string> DesktopApplicationFolders();

// Reads one desktop entry; false when it is no offerable application (see the top).
bool ReadDesktopApplication(const std::string& path, const std::string& id, const std::string& mimeType,
                            TDesktopApplication& out);

// Every offerable application of the folders (each id once, the first folder winning): those whose
// MimeType lists mimeType first, then the others, each group by name ignoring case. Sub-folders give
// ids with "-" for "/" (kde/dolphin.desktop is kde-dolphin.desktop).
std::vector<TDesktopApplication> ListDesktopApplications(const std::string& mimeType,
                                                         const std::vector<std::string>& folders);

// The words of an Exec value for one disk file: quoting and escapes as desktop entries define them
// (double quotes group, a backslash inside them escapes ", `, $ and \); the field codes %f and %F
// become the path, %u and %U the path as a file:// address, %% a "%", %c the name, %k the entry's
// path; %i and the deprecated codes vanish. When the line has no file code the path is added last.
std::vector<std::string> DesktopExecArguments(const TDesktopApplication& app, const std::string& path);

// The path as a file:// address (each byte outside the unreserved set and "/" written as %XX).
std::string FileUri(const std::string& path);

}  // namespace quillmar
