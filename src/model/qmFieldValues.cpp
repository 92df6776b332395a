#include "model/qmFieldValues.h"

#include <charconv>
#include <cmath>

#include "base/DateTime.h"

namespace quillmar {

namespace {

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

char Lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (Lower(a[i]) != Lower(b[i])) return false;
  return true;
}

// Reads text as a number whose decimal separator is `separator` (see the header); false when it is
// none or lies beyond the range of a double.
bool ParseNumber(std::string_view text, char separator, double& result) {
  size_t i = 0, n = text.size();
  while (i < n && IsBlank(text[i])) ++i;
  while (n > i && IsBlank(text[n - 1])) --n;
  // The number in the form from_chars reads, which knows no locale: "." as separator, no "+".
  std::string plain;
  if (i < n && (text[i] == '+' || text[i] == '-')) {
    if (text[i] == '-') plain += '-';
    ++i;
  }
  size_t digits = 0;
  for (; i < n && IsDigit(text[i]); ++i, ++digits) plain += text[i];
  if (i < n && text[i] == separator) {
    plain += '.';
    for (++i; i < n && IsDigit(text[i]); ++i, ++digits) plain += text[i];
  }
  if (digits == 0) return false;
  if (i < n && (text[i] == 'e' || text[i] == 'E')) {
    plain += 'e';
    ++i;
    if (i < n && (text[i] == '+' || text[i] == '-')) plain += text[i++];
    size_t exponent = 0;
    for (; i < n && IsDigit(text[i]); ++i, ++exponent) plain += text[i];
    if (exponent == 0) return false;
  }
  if (i != n) return false;
  double value = 0;
  const auto [end, ec] = std::from_chars(plain.data(), plain.data() + plain.size(), value);
  if (ec != std::errc() || end != plain.data() + plain.size() || !std::isfinite(value)) return false;
  result = value;
  return true;
}

std::string WithSeparator(std::string text, char separator) {
  for (char& c : text)
    if (c == '.') c = separator;
  return text;
}

}  // namespace

// --- Yes/No --------------------------------------------------------------------------------------------

bool ReadYesNo(std::string_view value) {
  double number = 0;
  if (ParseNumber(value, '.', number)) return number != 0;
  if (EqualsIgnoringCase(value, "false")) return false;
  return true;  // "True", and everything that is neither a number nor "False"
}

std::string YesNoText(bool yes) {
  return yes ? "True" : "False";
}

// --- Date ----------------------------------------------------------------------------------------------

bool IsReadableDay(int64_t day) {
  return day >= kFirstReadableDay && day <= kLastReadableDay;
}

int32_t ReadDateDay(std::string_view value) {
  value = value.substr(0, value.find('.'));
  value = value.substr(0, value.find(','));
  size_t i = 0;
  bool negative = false;
  if (!value.empty() && (value[0] == '-' || value[0] == '+')) {
    negative = value[0] == '-';
    i = 1;
  }
  if (i == value.size()) return 0;
  int64_t day = 0;
  for (; i < value.size(); ++i) {
    if (!IsDigit(value[i])) return 0;
    day = day * 10 + (value[i] - '0');
    // Stops before overflow: any number this far out is no readable day.
    if (day > kLastReadableDay + int64_t{1}) day = kLastReadableDay + int64_t{1};
  }
  if (negative) day = -day;
  return IsReadableDay(day) ? static_cast<int32_t>(day) : 0;
}

std::string DateDayText(int32_t day) {
  return std::to_string(day);
}

int32_t DayOfDateTime(double dateTime) {
  if (!std::isfinite(dateTime)) return 0;
  const double whole = std::trunc(dateTime);
  if (whole < kFirstReadableDay || whole > kLastReadableDay) return 0;
  return static_cast<int32_t>(whole);
}

int32_t TodayDay() {
  return DayOfDateTime(NowDateTime());
}

// --- Currency and Number --------------------------------------------------------------------------------

std::string NormalizeSeparators(std::string_view value, char separator) {
  std::string out(value);
  for (char& c : out)
    if (c == '.' || c == ',') c = separator;
  return out;
}

double ReadNumber(std::string_view value, char separator) {
  double number = 0;
  return ParseNumber(NormalizeSeparators(value, separator), separator, number) ? number : 0;
}

std::string NumberText(double number, char separator) {
  if (!std::isfinite(number)) number = 0;
  char buffer[64];
  const auto [end, ec] =
      std::to_chars(buffer, buffer + sizeof buffer, number, std::chars_format::general, 15);
  if (ec != std::errc()) return "0";
  return WithSeparator(std::string(buffer, end), separator);
}

std::string FixedTwoText(double number, char separator) {
  if (!std::isfinite(number)) number = 0;
  // The largest double written in full has 309 digits before the point.
  char buffer[400];
  const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, number, std::chars_format::fixed, 2);
  if (ec != std::errc()) return WithSeparator("0.00", separator);
  return WithSeparator(std::string(buffer, end), separator);
}

std::optional<char> FilterNumberKey(std::string_view kept, char typed, char separator) {
  if (IsDigit(typed) || typed == '\b') return typed;
  if (typed == '.' || typed == ',') {
    if (kept.find(separator) != std::string_view::npos) return std::nullopt;
    return separator;
  }
  return std::nullopt;
}

std::string FilterNumberText(std::string_view kept, std::string_view inserted, char separator) {
  std::string taken;
  std::string box(kept);
  for (char c : inserted) {
    if (c == '\b') continue;  // pasted text carries no key strokes
    if (auto accepted = FilterNumberKey(box, c, separator)) {
      taken += *accepted;
      box += *accepted;
    }
  }
  return taken;
}

}  // namespace quillmar
