#include "container/ContainerPath.h"

#include <array>

namespace quillmar {

namespace {

constexpr std::array<unsigned char, 256> MakeFoldTable() {
  std::array<unsigned char, 256> t{};
  for (int i = 0; i < 256; ++i) t[i] = static_cast<unsigned char>(i);
  for (int c = 'A'; c <= 'Z'; ++c) t[c] = static_cast<unsigned char>(c + 32);
  for (int c = 0xC0; c <= 0xDE; ++c)
    if (c != 0xD7) t[c] = static_cast<unsigned char>(c + 32);  // 0xD7 is the multiplication sign
  t[0x8A] = 0x9A;                                              // Š
  t[0x8C] = 0x9C;                                              // Œ
  t[0x8E] = 0x9E;                                              // Ž
  t[0x9F] = 0xFF;                                              // Ÿ
  return t;
}
constexpr std::array<unsigned char, 256> kFold = MakeFoldTable();

std::string CutName(std::string_view name) {
  return std::string(name.substr(0, kMaxNameLength));
}

}  // namespace

bool SplitPathComponents(std::string_view path, TPathComponents& out) {
  out = TPathComponents();
  if (path.empty()) return false;
  size_t pos = 0;
  if (IsPathSeparator(path[0])) {
    out.Absolute = true;
    pos = 1;
  }
  while (pos < path.size()) {
    size_t end = pos;
    while (end < path.size() && !IsPathSeparator(path[end])) ++end;
    if (end == pos) return false;  // two separators in a row
    out.Names.push_back(CutName(path.substr(pos, end - pos)));
    pos = end + 1;  // past the separator; a trailing one ends the loop
  }
  return true;
}

TPathSplit SplitLastComponent(std::string_view path) {
  TPathSplit r;
  if (path.size() > 1 && IsPathSeparator(path.back())) path.remove_suffix(1);
  size_t pos = path.find_last_of("\\/");
  if (pos == std::string_view::npos) {
    r.Name = CutName(path);
    return r;
  }
  r.HasFolder = true;
  r.Folder = pos == 0 ? std::string(path.substr(0, 1)) : std::string(path.substr(0, pos));
  r.Name = CutName(path.substr(pos + 1));
  return r;
}

std::string FoldName(std::string_view name) {
  std::string r(name);
  for (char& c : r) c = static_cast<char>(kFold[static_cast<unsigned char>(c)]);
  return r;
}

int CompareNames(std::string_view a, std::string_view b) {
  size_t n = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < n; ++i) {
    unsigned char x = kFold[static_cast<unsigned char>(a[i])];
    unsigned char y = kFold[static_cast<unsigned char>(b[i])];
    if (x != y) return x < y ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

bool IsStorableName(std::string_view name) {
  if (name.empty() || name == "..") return false;
  for (char c : name)
    if (IsPathSeparator(c) || c == '\0') return false;
  return true;
}

}  // namespace quillmar
