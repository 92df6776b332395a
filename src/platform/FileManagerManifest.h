#pragma once
// The manifest of the file-manager actions: what `quillmar-cml install` wrote, for `uninstall` (which
// removes exactly that), `refresh` (which writes the same routes again for the Safes there are now)
// and the program (which runs `refresh` after it made or deleted a Safe of the home folder the
// actions serve).
//
// It is $XDG_DATA_HOME/quillmar-cml/manifest (else ~/.local/share/...), a text of "key=value" lines:
//   cml=<path>          the quillmar-cml that wrote it (absolute)
//   program=<path>      the program the actions start when none runs ("" when none was found)
//   home=<folder>       the home folder the actions serve (absolute, ending in "/")
//   home-option=yes|no  whether the actions' commands carry "--home" (install was given one)
//   route=<name>        one line per route written (nautilus-python, nautilus-scripts, nemo, dolphin,
//                       thunar, open-with)
//   file=<path>         one line per file written
//   folder=<path>       one line per folder made (removed again when empty)
//   thunar-id=<id>      one line per action merged into Thunar's uca.xml
//   thunar-created=yes  uca.xml did not exist before install (uninstall removes it when nothing but
//                       what install started it with is left)
// Lines starting with "#" and lines of unknown keys are skipped (a later version may add keys).
// Values cannot hold a line break: install refuses such paths.
#include <string>
#include <vector>

namespace quillmar {

struct TFileManagerManifest {
  std::string Cml;
  std::string Program;
  std::string Home;
  bool HomeOption = false;
  std::vector<std::string> Routes;
  std::vector<std::string> Files;
  std::vector<std::string> Folders;
  std::vector<std::string> ThunarIds;
  bool ThunarCreated = false;
};

// The manifest's path; "" when no data folder can be worked out (neither XDG_DATA_HOME nor HOME).
std::string FileManagerManifestPath();

std::string FileManagerManifestText(const TFileManagerManifest& manifest);
TFileManagerManifest ParseFileManagerManifest(const std::string& text);

// Reads the manifest at path. False when there is none; throws EQuillmarError when it exists but
// cannot be read.
bool ReadFileManagerManifest(const std::string& path, TFileManagerManifest& manifest);

}  // namespace quillmar
