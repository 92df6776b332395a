#pragma once
// The user's desktop and temporary folders, as this desktop names them.
#include <string>

namespace quillmar {

// The desktop folder: what `xdg-user-dir DESKTOP` prints, else $HOME/Desktop. The folder need not
// exist yet.
std::string DesktopFolder();

// The name the desktop folder has on this system (its last path element), "Desktop" when there is none.
std::string DesktopFolderDisplayName();

// The temporary folder: $TMPDIR when set and not empty, else "/tmp".
std::string TempFolder();

}  // namespace quillmar
