#pragma once
// Disk paths as the core compares them: absolute and lexically normal ("a/./b/../c" is "a/c"), with
// no symbolic link resolved, so that the same file named two ways is recognised as one.
#include <filesystem>
#include <string>

namespace quillmar {

// The absolute, lexically normal form of a disk path (the path as given when it cannot be made
// absolute).
inline std::string NormalDiskPath(const std::string& path) {
  std::error_code ec;
  std::filesystem::path p = std::filesystem::absolute(path, ec);
  if (ec) p = path;
  return p.lexically_normal().string();
}

// The path with one "/" at its end (a folder as the core names it).
inline std::string WithTrailingSlash(std::string path) {
  if (path.empty() || path.back() != '/') path += '/';
  return path;
}

}  // namespace quillmar
