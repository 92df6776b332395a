#include "platform/DesktopApplications.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <set>

namespace quillmar {

namespace {

std::string EnvOr(const char* name, const std::string& fallback) {
  const char* v = std::getenv(name);
  return v && *v ? std::string(v) : fallback;
}

std::string Trim(const std::string& s) {
  size_t b = s.find_first_not_of(" \t\r");
  if (b == std::string::npos) return "";
  size_t e = s.find_last_not_of(" \t\r");
  return s.substr(b, e - b + 1);
}

// The ";"-separated list of a desktop entry value ("\;" is a ";" inside an item).
std::vector<std::string> SplitList(const std::string& value) {
  std::vector<std::string> items;
  std::string cur;
  for (size_t i = 0; i < value.size(); ++i) {
    if (value[i] == '\\' && i + 1 < value.size() && value[i + 1] == ';') {
      cur += ';';
      ++i;
    } else if (value[i] == ';') {
      if (!cur.empty()) items.push_back(cur);
      cur.clear();
    } else {
      cur += value[i];
    }
  }
  if (!cur.empty()) items.push_back(cur);
  return items;
}

// The escapes of a desktop entry's string values (\s \n \t \r \\).
std::string Unescape(const std::string& value) {
  std::string out;
  for (size_t i = 0; i < value.size(); ++i) {
    if (value[i] != '\\' || i + 1 == value.size()) {
      out += value[i];
      continue;
    }
    char c = value[++i];
    switch (c) {
      case 's':
        out += ' ';
        break;
      case 'n':
        out += '\n';
        break;
      case 't':
        out += '\t';
        break;
      case 'r':
        out += '\r';
        break;
      case '\\':
        out += '\\';
        break;
      default:
        out += '\\';
        out += c;
    }
  }
  return out;
}

bool IsDirectory(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

void CollectEntries(const std::string& folder, const std::string& prefix, int depth,
                    std::vector<std::pair<std::string, std::string>>& out) {
  if (depth > 4) return;  // desktop entry folders are shallow; a link loop stops here
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return;
  std::vector<std::string> names;
  while (dirent* e = ::readdir(dir)) {
    std::string name = e->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  ::closedir(dir);
  std::sort(names.begin(), names.end());
  for (const std::string& name : names) {
    std::string path = folder + "/" + name;
    if (IsDirectory(path)) {
      CollectEntries(path, prefix + name + "-", depth + 1, out);
    } else if (name.size() > 8 && name.compare(name.size() - 8, 8, ".desktop") == 0) {
      out.emplace_back(prefix + name, path);
    }
  }
}

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

}  // namespace

std::vector<std::string> DesktopApplicationFolders() {
  std::vector<std::string> folders;
  std::string home = EnvOr("HOME", "");
  std::string dataHome = EnvOr("XDG_DATA_HOME", home.empty() ? "" : home + "/.local/share");
  if (!dataHome.empty()) folders.push_back(dataHome + "/applications");
  std::string dirs = EnvOr("XDG_DATA_DIRS", "/usr/local/share:/usr/share");
  size_t start = 0;
  while (start <= dirs.size()) {
    size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    std::string d = dirs.substr(start, end - start);
    if (!d.empty()) folders.push_back(d + "/applications");
    start = end + 1;
  }
  return folders;
}

bool ReadDesktopApplication(const std::string& path, const std::string& id, const std::string& mimeType,
                            TDesktopApplication& out) {
  std::ifstream in(path);
  if (!in) return false;
  out = TDesktopApplication{};
  out.id = id;
  out.path = path;
  bool inMain = false;
  std::string type, line;
  bool hidden = false;
  std::vector<std::string> types;
  while (std::getline(in, line)) {
    line = Trim(line);
    if (line.empty() || line[0] == '#') continue;
    if (line[0] == '[') {
      inMain = line == "[Desktop Entry]";
      continue;
    }
    if (!inMain) continue;
    size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    std::string key = Trim(line.substr(0, eq));
    std::string value = Trim(line.substr(eq + 1));
    if (key == "Type")
      type = value;
    else if (key == "Name")
      out.name = Unescape(value);
    else if (key == "Exec")
      out.exec = value;
    else if (key == "Icon")
      out.icon = Unescape(value);
    else if (key == "Hidden")
      hidden = value == "true";
    else if (key == "MimeType")
      types = SplitList(value);
  }
  if (type != "Application" || out.exec.empty() || hidden) return false;
  if (out.name.empty()) out.name = id;
  out.handlesType = !mimeType.empty() && std::find(types.begin(), types.end(), mimeType) != types.end();
  return true;
}

std::vector<TDesktopApplication> ListDesktopApplications(const std::string& mimeType,
                                                         const std::vector<std::string>& folders) {
  std::vector<TDesktopApplication> apps;
  std::set<std::string> seen;
  for (const std::string& folder : folders) {
    std::vector<std::pair<std::string, std::string>> entries;
    CollectEntries(folder, "", 0, entries);
    for (const auto& [id, path] : entries) {
      if (!seen.insert(id).second) continue;  // an earlier folder's entry of this id wins (or hides it)
      TDesktopApplication app;
      if (ReadDesktopApplication(path, id, mimeType, app)) apps.push_back(std::move(app));
    }
  }
  std::stable_sort(apps.begin(), apps.end(), [](const TDesktopApplication& a, const TDesktopApplication& b) {
    if (a.handlesType != b.handlesType) return a.handlesType;
    return Lower(a.name) < Lower(b.name);
  });
  return apps;
}

std::string FileUri(const std::string& path) {
  static const char hex[] = "0123456789ABCDEF";
  std::string uri = "file://";
  for (unsigned char c : path) {
    if (std::isalnum(c) || c == '/' || c == '-' || c == '_' || c == '.' || c == '~') {
      uri += static_cast<char>(c);
    } else {
      uri += '%';
      uri += hex[c >> 4];
      uri += hex[c & 15];
    }
  }
  return uri;
}

std::vector<std::string> DesktopExecArguments(const TDesktopApplication& app, const std::string& path) {
  // First the words, as the quoting rules give them; then the field codes, each in its word.
  std::vector<std::string> words;
  std::string cur;
  bool inWord = false, quoted = false;
  const std::string& exec = app.exec;
  for (size_t i = 0; i < exec.size(); ++i) {
    char c = exec[i];
    if (quoted) {
      if (c == '\\' && i + 1 < exec.size() && std::string("\"`$\\").find(exec[i + 1]) != std::string::npos) {
        cur += exec[++i];
      } else if (c == '"') {
        quoted = false;
      } else {
        cur += c;
      }
    } else if (c == '"') {
      quoted = true;
      inWord = true;
    } else if (c == ' ' || c == '\t') {
      if (inWord) words.push_back(cur);
      cur.clear();
      inWord = false;
    } else {
      cur += c;
      inWord = true;
    }
  }
  if (inWord) words.push_back(cur);

  std::vector<std::string> argv;
  bool hadFile = false;
  for (const std::string& w : words) {
    // A word that is exactly one list code stands for the file.
    if (w == "%F" || w == "%f") {
      argv.push_back(path);
      hadFile = true;
      continue;
    }
    if (w == "%U" || w == "%u") {
      argv.push_back(FileUri(path));
      hadFile = true;
      continue;
    }
    if (w == "%i") continue;
    std::string out;
    for (size_t i = 0; i < w.size(); ++i) {
      if (w[i] != '%' || i + 1 == w.size()) {
        out += w[i];
        continue;
      }
      char code = w[++i];
      switch (code) {
        case '%':
          out += '%';
          break;
        case 'f':
        case 'F':
          out += path;
          hadFile = true;
          break;
        case 'u':
        case 'U':
          out += FileUri(path);
          hadFile = true;
          break;
        case 'c':
          out += app.name;
          break;
        case 'k':
          out += app.path;
          break;
        default:
          break;  // %i inside a word, %d %D %n %N %v %m: dropped
      }
    }
    if (!out.empty() || w.empty()) argv.push_back(out);
  }
  if (!hadFile && !argv.empty()) argv.push_back(path);
  return argv;
}

}  // namespace quillmar
