#include "core/qmIniFile.h"

#include "core/IniFile.h"

namespace quillmar {

std::string TqmIniFile::LastUsedSafe() const {
  return ReadIniValue(path_, kSafeSection, kLastUsedKey).value_or(std::string());
}

void TqmIniFile::SetLastUsedSafe(const std::string& name) const {
  WriteIniValue(path_, kSafeSection, kLastUsedKey, name);
}

}  // namespace quillmar
