#pragma once
// Path and name rules of the container directory.
//
//  - "\" and "/" both separate components. A leading separator makes a path absolute (from the root);
//    otherwise it starts at a given folder. "\" or "/" alone names the root.
//  - ".." names the parent of the folder reached so far (the root's parent is the root). "." has no
//    special meaning.
//  - An empty component after the first (two separators in a row) makes a path invalid; one trailing
//    separator is allowed and ignored.
//  - A component longer than kMaxNameLength characters is cut to that length.
//  - Names compare without regard to letter case: ASCII letters and the letters of the Latin range of
//    the 8-bit code page (windows-1252 and ISO-8859-1: À..Þ against à..þ, Š, Œ, Ž, Ÿ against š, œ, ž, ÿ).
//    The order of names is that of their folded bytes; only equality is part of the stored format.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace quillmar {

inline constexpr size_t kMaxNameLength = 259;

inline bool IsPathSeparator(char c) {
  return c == '\\' || c == '/';
}
// "\" or "/" alone.
inline bool IsRootPath(std::string_view path) {
  return path.size() == 1 && IsPathSeparator(path[0]);
}

struct TPathComponents {
  bool Absolute = false;
  std::vector<std::string> Names;  // each cut to kMaxNameLength; ".." kept as a component
};

// Splits a path into components. False for an empty path and for a path with an empty component after
// the first one (a trailing separator does not count). The root path gives Absolute with no names.
bool SplitPathComponents(std::string_view path, TPathComponents& out);

// A path split at its last separator, a trailing separator first removed.
struct TPathSplit {
  bool HasFolder = false;  // false: the path is one name, relative to the current folder
  std::string Folder;      // the folder part; "\" (or "/") when the name sits directly under the root
  std::string Name;        // the last component, cut to kMaxNameLength; may be empty for bad input
};
TPathSplit SplitLastComponent(std::string_view path);

// The case-folded form of a name (the key of the name index).
std::string FoldName(std::string_view name);
// <0, 0, >0 over the folded forms.
int CompareNames(std::string_view a, std::string_view b);
inline bool SameName(std::string_view a, std::string_view b) {
  return CompareNames(a, b) == 0;
}

// True when two whole paths differ only in letter case.
inline bool SamePathIgnoringCase(std::string_view a, std::string_view b) {
  return CompareNames(a, b) == 0;
}

// A name that may be stored in a directory item: not empty, no separator, not "..".
bool IsStorableName(std::string_view name);

}  // namespace quillmar
