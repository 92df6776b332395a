#pragma once
// Installing the file-manager actions for this user: install, uninstall, refresh and status.
//
// Where the files go ($XDG_DATA_HOME, else ~/.local/share, is DATA; $XDG_CONFIG_HOME, else
// ~/.config, is CONFIG):
//   nautilus   with python3-nautilus: DATA/nautilus-python/extensions/quillmar.py (the Safes are
//              listed as the menu opens); else executable scripts in
//              DATA/nautilus/scripts/Brelkan Quillmar/ (the folder is the submenu)
//   nemo       DATA/nemo/actions/quillmar-NNN-<item>.nemo_action, one per item
//   dolphin    DATA/kio/servicemenus/quillmar.desktop, executable (KIO skips it otherwise)
//   thunar     CONFIG/Thunar/uca.xml: our actions (ids "quillmar-...") merged in, the user's kept,
//              the file replaced in one rename
//   open-with  DATA/applications/quillmar-send.desktop (hidden; command 1 only)
// The manifest (platform/FileManagerManifest.h) lists everything written. install is idempotent
// (twice gives the same bytes) and adds to what is installed; refresh writes the installed routes
// again for the Safes there are now, removing the items of Safes that are gone; uninstall removes
// exactly what the manifest lists and our actions in uca.xml.
//
// Concurrent runs (two Safes made at once, each starting a refresh) take turns on a lock file
// beside the manifest.
#include <ostream>
#include <string>
#include <vector>

namespace quillmar {

struct TInstallRequest {
  std::vector<std::string> Only;  // file managers (CmlArguments.h kFileManagers); empty: all
  std::string Home;               // --home ("" when not given: the commands carry none)
  std::string Program;            // --program ("" when not given)
};

// Exit status 0 done, 1 failed (what failed on err; what was written stays listed in the manifest).
int InstallActions(const TInstallRequest& request, std::ostream& out, std::ostream& err);
int UninstallActions(std::ostream& out, std::ostream& err);
// quiet: nothing on out when all went well (the program runs it after every new or deleted Safe).
int RefreshActions(std::ostream& out, std::ostream& err, bool quiet = true);
int ShowActionStatus(std::ostream& out, std::ostream& err);

}  // namespace quillmar
