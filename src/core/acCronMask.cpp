#include "core/acCronMask.h"

#include <charconv>
#include <vector>

namespace quillmar {

namespace {

constexpr uint64_t kFull = ~uint64_t(0);
constexpr int kHighest = 59;

std::vector<std::string> Split(const std::string& text, char separator, bool skipEmpty) {
  std::vector<std::string> parts;
  std::string current;
  for (char c : text) {
    if (c == separator) {
      if (!skipEmpty || !current.empty()) parts.push_back(current);
      current.clear();
    } else {
      current += c;
    }
  }
  if (!skipEmpty || !current.empty()) parts.push_back(current);
  return parts;
}

// Reads an unsigned decimal number at pos; false when there is none (or it is absurdly long).
bool ReadNumber(const std::string& text, size_t& pos, int& value) {
  const char* first = text.data() + pos;
  const char* last = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(first, last, value);
  if (ec != std::errc() || ptr == first || value < 0) return false;
  pos += static_cast<size_t>(ptr - first);
  return true;
}

uint64_t ParseItem(const std::string& item) {
  size_t pos = 0;
  int a = 0, b = 0, step = 1;
  if (!ReadNumber(item, pos, a)) return 0;
  bool range = false, stepped = false;
  if (pos < item.size() && item[pos] == '-') {
    ++pos;
    if (!ReadNumber(item, pos, b)) return 0;
    range = true;
  }
  if (pos < item.size() && item[pos] == '+') {
    ++pos;
    if (!ReadNumber(item, pos, step) || step == 0) return 0;
    stepped = true;
  }
  if (pos != item.size()) return 0;
  if (!range) b = stepped ? kHighest : a;
  if (b > kHighest) b = kHighest;
  uint64_t set = 0;
  for (long long n = a; n <= b; n += step) set |= uint64_t(1) << n;
  return set;
}

uint64_t ParseField(const std::string& field) {
  if (field.find('*') != std::string::npos) return kFull;
  uint64_t set = 0;
  for (const std::string& item : Split(field, ',', false)) set |= ParseItem(item);
  return set;
}

bool Has(uint64_t set, int n) {
  return n >= 0 && n < 64 && (set >> n & 1) != 0;
}

}  // namespace

TacCronMask::TacCronMask(const std::string& text) {
  std::vector<std::string> fields = Split(text, ' ', true);
  if (fields.empty()) return;
  empty_ = false;
  for (int i = 0; i < 6; ++i)
    fields_[i] = i < static_cast<int>(fields.size()) ? ParseField(fields[i]) : kFull;
}

bool TacCronMask::Matches(const TCronTime& t) const {
  if (empty_) return false;
  bool weekday = Has(fields_[5], t.dayOfWeek) || (t.dayOfWeek == 0 && Has(fields_[5], 7));
  return Has(fields_[0], t.second) && Has(fields_[1], t.minute) && Has(fields_[2], t.hour) &&
         Has(fields_[3], t.day) && Has(fields_[4], t.month) && weekday;
}

}  // namespace quillmar
