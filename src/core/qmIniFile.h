#pragma once
// TqmIniFile: the program's own ini file, <home>/Quillmar.ini, as the application object uses it.
// It keeps the Safe used last in section [safe], key lastused; other sections (the desktop's
// [options] among them), keys and comments belong to others and survive every write (core/IniFile.h
// reads and writes the single values).
#include <string>

namespace quillmar {

class TqmIniFile {
public:
  static constexpr char kFileName[] = "Quillmar.ini";
  static constexpr char kSafeSection[] = "safe";
  static constexpr char kLastUsedKey[] = "lastused";

  // homeFolder ends in "/".
  explicit TqmIniFile(const std::string& homeFolder) : path_(homeFolder + kFileName) {}

  const std::string& Path() const { return path_; }
  // [safe] lastused; "" when the file or the key is missing or the file cannot be read.
  std::string LastUsedSafe() const;
  // Writes [safe] lastused=name, keeping the rest of the file. Throws EQuillmarError when the file
  // cannot be read or written, or the name holds a line break; the old file is then kept.
  void SetLastUsedSafe(const std::string& name) const;

private:
  std::string path_;
};

}  // namespace quillmar
