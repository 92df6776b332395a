#include "core/IniFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <sstream>
#include <vector>

#include "base/DurableFile.h"
#include "base/Exception.h"

namespace quillmar {

namespace {

std::string Trim(const std::string& s) {
  size_t b = s.find_first_not_of(" \t\r\n");
  if (b == std::string::npos) return {};
  size_t e = s.find_last_not_of(" \t\r\n");
  return s.substr(b, e - b + 1);
}

std::string Lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

// The file's lines without their line ends. A missing file has none; a file that exists but cannot
// be read (no permission, a folder, a read error) gives nothing, with the reason in `reason`.
std::optional<std::vector<std::string>> ReadLines(const std::string& file, std::string& reason) {
  std::vector<std::string> lines;
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT) return lines;
    reason = std::strerror(errno);
    return std::nullopt;
  }
  std::string text;
  char buffer[16384];
  for (;;) {
    const int64_t n = ReadAll(fd, buffer, sizeof buffer);
    if (n < 0) {
      reason = std::strerror(errno);
      ::close(fd);
      return std::nullopt;
    }
    if (n == 0) break;
    text.append(buffer, static_cast<size_t>(n));
  }
  ::close(fd);
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

// "[name]" gives name (lower case); anything else gives nothing.
std::optional<std::string> SectionOf(const std::string& line) {
  std::string t = Trim(line);
  if (t.empty() || t.front() != '[') return std::nullopt;
  size_t close = t.find(']');
  if (close == std::string::npos) return std::nullopt;
  return Lower(Trim(t.substr(1, close - 1)));
}

// The key of a "key=value" line (lower case), or nothing.
std::optional<std::string> KeyOf(const std::string& line) {
  std::string t = Trim(line);
  if (t.empty() || t[0] == ';' || t[0] == '#') return std::nullopt;
  size_t eq = t.find('=');
  if (eq == std::string::npos) return std::nullopt;
  return Lower(Trim(t.substr(0, eq)));
}

}  // namespace

std::optional<std::string> ReadIniValue(const std::string& file, const std::string& section,
                                        const std::string& key) {
  const std::string wantSection = Lower(section), wantKey = Lower(key);
  std::string reason;
  const auto lines = ReadLines(file, reason);
  if (!lines) return std::nullopt;
  bool inSection = false;
  for (const std::string& line : *lines) {
    if (auto s = SectionOf(line)) {
      inSection = *s == wantSection;
      continue;
    }
    if (!inSection) continue;
    auto k = KeyOf(line);
    if (k && *k == wantKey) {
      std::string t = Trim(line);
      return Trim(t.substr(t.find('=') + 1));
    }
  }
  return std::nullopt;
}

void WriteIniValue(const std::string& file, const std::string& section, const std::string& key,
                   const std::string& value) {
  if (value.find_first_of("\r\n") != std::string::npos)
    throw EQuillmarError("The value for " + key + " cannot hold a line break.");
  // A file that exists but cannot be read is not replaced: its other lines would be lost.
  std::string reason;
  auto read = ReadLines(file, reason);
  if (!read)
    throw EQuillmarError("The file " + file + " cannot be read: " + reason + ". It was not changed.");
  std::vector<std::string>& lines = *read;
  const std::string wantSection = Lower(section), wantKey = Lower(key);
  const std::string entry = key + "=" + value;
  bool inSection = false, done = false;
  // The line after the last key line of the section (where a new key goes), -1 before the section.
  long insertAt = -1;
  for (size_t i = 0; i < lines.size() && !done; ++i) {
    if (auto s = SectionOf(lines[i])) {
      if (inSection) break;
      inSection = *s == wantSection;
      if (inSection) insertAt = static_cast<long>(i) + 1;
      continue;
    }
    if (!inSection) continue;
    auto k = KeyOf(lines[i]);
    if (k && *k == wantKey) {
      lines[i] = entry;
      done = true;
    } else if (!Trim(lines[i]).empty()) {
      insertAt = static_cast<long>(i) + 1;
    }
  }
  if (!done) {
    if (insertAt < 0) {
      if (!lines.empty() && !Trim(lines.back()).empty()) lines.push_back("");
      lines.push_back("[" + section + "]");
      lines.push_back(entry);
    } else {
      lines.insert(lines.begin() + insertAt, entry);
    }
  }
  std::string text;
  for (const std::string& l : lines) text += l + "\r\n";
  ReplaceFileWithBytes(file, text);
}

}  // namespace quillmar
