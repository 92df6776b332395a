#include "core/IniFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

#include "base/Exception.h"
#include "base/RandomName.h"

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

std::vector<std::string> ReadLines(const std::string& file) {
  std::vector<std::string> lines;
  std::ifstream in(file, std::ios::binary);
  if (!in) return lines;
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

void WriteAtomically(const std::string& path, const std::string& bytes) {
  std::string temp;
  int fd = -1;
  RandomFreeName(path + ".", ".part", [&](const std::string& name) {
    fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0) {
      temp = name;
      return false;
    }
    if (errno == EEXIST) return true;
    throw EQuillmarError("The file " + path + " cannot be written: " + std::strerror(errno) + ".");
  });
  size_t done = 0;
  bool ok = true;
  while (ok && done < bytes.size()) {
    ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0)
      ok = false;
    else
      done += static_cast<size_t>(n);
  }
  if (ok) ok = ::fsync(fd) == 0;
  int err = errno;
  if (::close(fd) != 0 && ok) {
    ok = false;
    err = errno;
  }
  if (ok && ::rename(temp.c_str(), path.c_str()) != 0) {
    ok = false;
    err = errno;
  }
  if (!ok) {
    ::unlink(temp.c_str());
    throw EQuillmarError("The file " + path + " cannot be written: " + std::strerror(err) + ".");
  }
}

}  // namespace

std::optional<std::string> ReadIniValue(const std::string& file, const std::string& section,
                                        const std::string& key) {
  const std::string wantSection = Lower(section), wantKey = Lower(key);
  bool inSection = false;
  for (const std::string& line : ReadLines(file)) {
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
  std::vector<std::string> lines = ReadLines(file);
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
  WriteAtomically(file, text);
}

}  // namespace quillmar
