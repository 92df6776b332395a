#pragma once
// Keeps the file-manager actions in step with the Safe list. The actions hold one "Lock file in
// [Safe: %s]" item per Safe of the home folder they serve; after a Safe of that folder was made or
// deleted, `quillmar-cml refresh` writes them again. The core runs it itself (the desktop and the
// command line make and delete Safes through TqmGlobal), so no window has to know.
#include <string>

namespace quillmar {

// When the manifest of installed actions exists (platform/FileManagerManifest.h) and serves
// homeFolder, starts its quillmar-cml with "refresh", detached (not waited for). True when it was
// started. Never throws: the Safe was made or deleted whatever becomes of the menu.
bool RefreshFileManagerActions(const std::string& homeFolder);

// Whether the file-manager actions are installed for homeFolder: the manifest exists and serves that
// folder (the desktop's Preferences show it as their check box). False when the manifest cannot be
// read; never throws.
bool FileManagerActionsInstalled(const std::string& homeFolder);
// The quillmar-cml that installed the actions ("" when none did, or the manifest cannot be read).
std::string InstalledFileManagerHelper();

}  // namespace quillmar
