#pragma once
// TStringArray: a growable array of strings (the tray menus keep one string per item in them).
#include <string>
#include <vector>

namespace quillmar {

class TStringArray {
public:
  void Add(const std::string& s) { items_.push_back(s); }
  int Count() const { return static_cast<int>(items_.size()); }
  // The i-th string, or "" when i is below 0 or not below Count().
  std::string Get(int i) const;
  void Clear() { items_.clear(); }

private:
  std::vector<std::string> items_;
};

}  // namespace quillmar
