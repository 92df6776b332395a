#pragma once
// Reading and writing single values of an ini file ("[section]" lines, "key=value" lines, ";"
// comments), as Quillmar.ini in the home folder keeps them. Section and key names compare without
// regard to letter case; values are taken with the blanks around them removed.
//
// Writing keeps every other line of the file as it was (other sections, other keys, comments,
// blank lines); it replaces the first line of the key in its section or adds the key at the end of
// the section (and the section at the end of the file). The file is replaced in one rename after
// the new text is on the disk, so a failed write leaves the old file whole. Lines end in CR LF.
#include <optional>
#include <string>

namespace quillmar {

// The value, or nothing when the file, the section or the key is missing, or the file cannot be read.
std::optional<std::string> ReadIniValue(const std::string& file, const std::string& section,
                                        const std::string& key);

// Throws EQuillmarError when the file cannot be written, when it exists but cannot be read (writing
// it anew would lose its other lines), or when value holds a line break (it would end the line and
// start another key). The file is unchanged then.
void WriteIniValue(const std::string& file, const std::string& section, const std::string& key,
                   const std::string& value);

}  // namespace quillmar
