#pragma once
// The user's desktop and temporary folders, as this desktop names them.
#include <string>

namespace quillmar {

// The desktop folder: what `xdg-user-dir DESKTOP` prints, else $HOME/Desktop. The folder need not
// exist yet.
std::string DesktopFolder();

// The name the desktop folder has on this system (its last path element), "Desktop" when there is none.
std::string DesktopFolderDisplayName();

// The user's data and configuration folders: $XDG_DATA_HOME (else $HOME/.local/share) and
// $XDG_CONFIG_HOME (else $HOME/.config); a relative value of the variable is ignored, as the XDG
// rules say. "" when neither the variable nor HOME is set.
std::string UserDataFolder();
std::string UserConfigFolder();

// The temporary folder: $TMPDIR when set and not empty, else "/tmp".
std::string TempFolder();

}  // namespace quillmar
