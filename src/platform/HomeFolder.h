#pragma once
// The home folder: where the program keeps its Safes ("<name>.qvt"), its ini file and its two
// temporary folders. It is the folder given with --home DIR, else $QUILLMAR_HOME, else
// $XDG_DATA_HOME/quillmar, else $HOME/.local/share/quillmar.
//
// Folders the program makes for itself are private to the user (mode 0700): they hold the Safes and,
// in the temporary folders, decrypted copies of locked files.
#include <string>

namespace quillmar {

// The home folder as an absolute path ending in "/". option is the value of --home ("" when not
// given); relative paths are taken from the current folder. Does not create anything.
// Throws EQuillmarError when no folder can be worked out (no HOME and none of the variables set).
std::string ResolveHomeFolder(const std::string& option);

// Creates folder with its missing parents; every folder it creates gets mode 0700. With tighten, an
// existing folder is also set to 0700 (used for the temporary folders, which hold decrypted data).
// Throws EQuillmarError naming the folder and the reason when it cannot be made, or when the path
// exists but is no folder.
void EnsurePrivateFolder(const std::string& folder, bool tighten);

}  // namespace quillmar
