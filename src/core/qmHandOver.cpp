#include "core/qmHandOver.h"

#include <algorithm>
#include <filesystem>

namespace quillmar {

namespace fs = std::filesystem;

namespace {

bool EndsWith(const std::string& name, const std::string& tail) {
  return name.size() > tail.size() && name.compare(name.size() - tail.size(), tail.size(), tail) == 0;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool StartsWithNoCase(const std::string& text, const char* prefix) {
  for (size_t i = 0; prefix[i] != '\0'; ++i) {
    if (i >= text.size()) return false;
    const char a = text[i] >= 'A' && text[i] <= 'Z' ? char(text[i] - 'A' + 'a') : text[i];
    if (a != prefix[i]) return false;
  }
  return true;
}

}  // namespace

bool ParseDecimal(const std::string& text, int& value) {
  if (text.empty()) return false;
  size_t i = (text[0] == '-' || text[0] == '+') ? 1 : 0;
  if (i == text.size()) return false;
  long long v = 0;
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    v = v * 10 + (text[i] - '0');
    if (v > 2147483648LL) return false;
  }
  if (text[0] == '-') v = -v;
  if (v > 2147483647LL || v < -2147483648LL) return false;
  value = static_cast<int>(v);
  return true;
}

TqmReceivedFiles ParseReceivedFiles(const std::string& text) {
  TqmReceivedFiles result;
  std::string rest = text;
  // The number between the first "[" and the first "]"; everything up to that "]" is used up.
  auto takeNumber = [&rest]() {
    int value = 0;
    size_t close = rest.find(']');
    if (close == std::string::npos) return 0;
    size_t open = rest.find('[');
    if (open != std::string::npos && open < close &&
        !ParseDecimal(rest.substr(open + 1, close - open - 1), value))
      value = 0;
    rest.erase(0, close + 1);
    return value;
  };
  result.Command = takeNumber();
  result.Count = std::max(0, takeNumber());
  for (int i = 0; i < result.Count; ++i) {
    size_t bar = rest.find('|');
    if (bar == std::string::npos) break;
    std::string path = rest.substr(0, bar);
    rest.erase(0, bar + 1);
    if (!path.empty()) result.Paths.push_back(std::move(path));
  }
  return result;
}

std::vector<std::string> SafeNamesIn(const std::string& homeFolder) {
  std::vector<std::string> names;
  std::error_code ec;
  const std::string ext = kSafeFileExtension;
  const std::string interrupted = ext + "0";  // the Safe's file during the swap of a repair
  for (fs::directory_iterator it(homeFolder, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code typeError;
    if (!it->is_regular_file(typeError)) continue;
    std::string name = it->path().filename().string();
    if (EndsWith(name, ext)) {
      names.push_back(name.substr(0, name.size() - ext.size()));
    } else if (EndsWith(name, interrupted)) {
      const std::string safe = name.substr(0, name.size() - interrupted.size());
      std::error_code e;
      if (!fs::exists(it->path().parent_path() / (safe + ext), e)) names.push_back(safe);
    }
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::string SelectionText(const std::vector<std::string>& paths) {
  std::string text = "[" + std::to_string(paths.size()) + "]";
  for (const std::string& path : paths) {
    text += path;
    text += '|';
  }
  return text;
}

std::string HandOverText(int command, const std::vector<std::string>& paths) {
  return "\"[" + std::to_string(command) + "]" + SelectionText(paths) + "\"";
}

std::string StartArgument(int command, const std::vector<std::string>& paths) {
  return std::string(kStartArgumentPrefix) + "[" + std::to_string(command) + "]" + SelectionText(paths);
}

std::string CheckHandOverPath(const std::string& path) {
  if (path.empty()) return "An empty file name was left out.";
  if (path.find('|') != std::string::npos)
    return path +
           " was left out: its name holds the character \"|\", which Brelkan Quillmar II reads as the end of "
           "a name. Rename it to hand it over.";
  if (path.size() > kMaxHandOverPath)
    return path + " was left out: its path is " + std::to_string(path.size()) +
           " bytes long, and Brelkan Quillmar II takes at most " + std::to_string(kMaxHandOverPath) + ".";
  return {};
}

bool LooksLikeUri(const std::string& item) {
  if (item.empty() || !((item[0] >= 'a' && item[0] <= 'z') || (item[0] >= 'A' && item[0] <= 'Z')))
    return false;
  for (size_t i = 1; i < item.size(); ++i) {
    const char c = item[i];
    if (c == ':') return i + 1 < item.size() && item[i + 1] == '/';
    const bool schemeChar = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                            c == '+' || c == '-' || c == '.';
    if (!schemeChar) return false;
  }
  return false;
}

bool DecodeFileUri(const std::string& uri, std::string& path, std::string& error) {
  if (!StartsWithNoCase(uri, "file:")) {
    error = uri + " was left out: it is not a file on this computer (only file:// addresses are taken).";
    return false;
  }
  std::string rest = uri.substr(5);
  if (rest.compare(0, 2, "//") == 0) {
    const size_t slash = rest.find('/', 2);
    const std::string host = rest.substr(2, slash == std::string::npos ? std::string::npos : slash - 2);
    if (!host.empty() && !(host.size() == 9 && StartsWithNoCase(host, "localhost"))) {
      error = uri + " was left out: it names a file on the computer \"" + host + "\", not on this one.";
      return false;
    }
    rest = slash == std::string::npos ? std::string() : rest.substr(slash);
  }
  if (rest.empty() || rest[0] != '/') {
    error = uri + " was left out: the address holds no absolute path.";
    return false;
  }
  std::string decoded;
  decoded.reserve(rest.size());
  for (size_t i = 0; i < rest.size(); ++i) {
    if (rest[i] != '%') {
      decoded += rest[i];
      continue;
    }
    const int hi = i + 2 < rest.size() ? HexValue(rest[i + 1]) : -1;
    const int lo = i + 2 < rest.size() ? HexValue(rest[i + 2]) : -1;
    if (hi < 0 || lo < 0) {
      error = uri + " was left out: it holds a \"%\" that is not followed by two hexadecimal digits.";
      return false;
    }
    const char c = static_cast<char>(hi * 16 + lo);
    if (c == '\0') {
      error = uri + " was left out: it holds an escaped NUL character, which no file name can hold.";
      return false;
    }
    decoded += c;
    i += 2;
  }
  path = std::move(decoded);
  return true;
}

THandOverPaths PrepareHandOverPaths(const std::vector<std::string>& items, const std::string& currentFolder) {
  THandOverPaths result;
  for (const std::string& item : items) {
    std::string path;
    if (LooksLikeUri(item)) {
      std::string error;
      if (!DecodeFileUri(item, path, error)) {
        result.Refusals.push_back(std::move(error));
        continue;
      }
    } else if (!item.empty() && item[0] != '/') {
      // File managers may pass names relative to the folder they show (Nautilus' scripts do).
      std::string name = item;
      while (name.compare(0, 2, "./") == 0) name.erase(0, 2);
      path = currentFolder;
      if (path.empty() || path.back() != '/') path += '/';
      path += name;
    } else {
      path = item;
    }
    std::string why = CheckHandOverPath(path);
    if (why.empty())
      result.Paths.push_back(std::move(path));
    else
      result.Refusals.push_back(std::move(why));
  }
  return result;
}

}  // namespace quillmar
