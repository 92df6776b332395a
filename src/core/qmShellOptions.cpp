#include "core/qmShellOptions.h"

#include <algorithm>
#include <charconv>

#include "core/IniFile.h"

namespace quillmar {

TqmShellOptions TqmShellOptions::Load(const std::string& iniFile) {
  TqmShellOptions options;
  try {
    if (auto text = ReadIniValue(iniFile, kSection, kIdleLockKey)) {
      int minutes = 0;
      auto [end, ec] = std::from_chars(text->data(), text->data() + text->size(), minutes);
      if (ec == std::errc() && end == text->data() + text->size())
        options.idleLockMinutes = std::clamp(minutes, 0, kMaxIdleLockMinutes);
    }
    if (auto text = ReadIniValue(iniFile, kSection, kScreenLockKey)) {
      if (*text == "1" || *text == "-1" || *text == "true" || *text == "True")
        options.lockOnScreenLock = true;
      else if (*text == "0" || *text == "false" || *text == "False")
        options.lockOnScreenLock = false;
    }
  } catch (...) {
    // An unreadable ini file gives the defaults.
  }
  return options;
}

void TqmShellOptions::Save(const std::string& iniFile) const {
  WriteIniValue(iniFile, kSection, kIdleLockKey,
                std::to_string(std::clamp(idleLockMinutes, 0, kMaxIdleLockMinutes)));
  WriteIniValue(iniFile, kSection, kScreenLockKey, lockOnScreenLock ? "1" : "0");
}

}  // namespace quillmar
