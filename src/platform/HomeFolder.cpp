#include "platform/HomeFolder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

#include "base/Exception.h"

namespace quillmar {

namespace fs = std::filesystem;

namespace {

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

std::string WithTrailingSlash(std::string path) {
  if (path.empty() || path.back() != '/') path += '/';
  return path;
}

}  // namespace

std::string ResolveHomeFolder(const std::string& option) {
  fs::path folder;
  if (!option.empty()) {
    folder = option;
  } else if (std::string env = Env("QUILLMAR_HOME"); !env.empty()) {
    folder = env;
  } else if (std::string data = Env("XDG_DATA_HOME"); !data.empty() && data[0] == '/') {
    // The XDG rules say a relative $XDG_DATA_HOME is to be ignored.
    folder = fs::path(data) / "quillmar";
  } else if (std::string home = Env("HOME"); !home.empty()) {
    folder = fs::path(home) / ".local" / "share" / "quillmar";
  } else {
    throw EQuillmarError(
        "The home folder cannot be found: neither HOME nor QUILLMAR_HOME is set. Start the program with "
        "--home DIR.");
  }
  std::error_code ec;
  fs::path absolute = fs::absolute(folder, ec);
  if (ec) absolute = folder;
  std::string text = absolute.lexically_normal().string();
  return WithTrailingSlash(text);
}

void EnsurePrivateFolder(const std::string& folder, bool tighten) {
  fs::path path = fs::path(folder).lexically_normal();
  if (path.has_filename() == false && path.has_parent_path()) path = path.parent_path();
  // Make the missing folders from the outermost one inwards, each with 0700.
  std::vector<fs::path> missing;
  for (fs::path p = path; !p.empty(); p = p.parent_path()) {
    struct stat st;
    if (::stat(p.c_str(), &st) == 0) {
      if (!S_ISDIR(st.st_mode))
        throw EQuillmarError("The folder " + p.string() +
                             " cannot be made: a file of that name is in the way.");
      break;
    }
    missing.push_back(p);
    if (p == p.parent_path()) break;
  }
  for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
    if (::mkdir(it->c_str(), 0700) != 0 && errno != EEXIST)
      throw EQuillmarError("The folder " + it->string() + " cannot be made: " + std::strerror(errno) + ".");
    // mkdir applies the umask; the mode asked for is 0700 whatever the umask says.
    ::chmod(it->c_str(), 0700);
  }
  if (tighten && missing.empty() && ::chmod(path.c_str(), 0700) != 0)
    throw EQuillmarError("The folder " + path.string() + " cannot be made private: " + std::strerror(errno) +
                         ".");
}

}  // namespace quillmar
