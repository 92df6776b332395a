#pragma once
// A fresh temporary folder for one test, removed with everything in it when the object dies.
#include <filesystem>
#include <string>

namespace quillmar::test {

class TempDir {
public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::string file(const std::string& name) const { return (path_ / name).string(); }

private:
  std::filesystem::path path_;
};

// Whole-file helpers for tests that look at bytes on disk themselves.
std::string ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::string& bytes);

}  // namespace quillmar::test
