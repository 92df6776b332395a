#pragma once
// Options of the desktop program that belong to this computer rather than to a Safe: they live in
// Quillmar.ini, section [options], beside [safe] lastused.
//
//   idleLockMinutes=N     lock the open Safe after N minutes without keyboard or mouse input
//                         (0, the default, never)
//   lockOnScreenLock=1|0  lock the open Safe when the desktop's screen locks (default off)
//
// A value that does not parse keeps the default; N is taken between 0 and kMaxIdleLockMinutes.
#include <string>

namespace quillmar {

struct TqmShellOptions {
  static constexpr char kSection[] = "options";
  static constexpr char kIdleLockKey[] = "idleLockMinutes";
  static constexpr char kScreenLockKey[] = "lockOnScreenLock";
  static constexpr int kMaxIdleLockMinutes = 24 * 60;

  int idleLockMinutes = 0;
  bool lockOnScreenLock = false;

  // From the ini file (defaults for what is missing). Never throws.
  static TqmShellOptions Load(const std::string& iniFile);
  // Writes both keys, keeping everything else in the file. Throws EQuillmarError when the file
  // cannot be written (the old one is then kept).
  void Save(const std::string& iniFile) const;
};

}  // namespace quillmar
