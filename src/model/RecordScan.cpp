#include "model/RecordScan.h"

#include <limits>

namespace quillmar::record {

std::optional<std::string_view> ScanAttribute(std::string_view text, std::string_view name) {
  std::string key(name);
  key += "=\"";
  size_t at = text.find(key);
  if (at == std::string_view::npos) return std::nullopt;
  size_t start = at + key.size();
  size_t end = text.find('"', start);
  if (end == std::string_view::npos) return text.substr(start);
  return text.substr(start, end - start);
}

std::optional<std::string_view> ScanElement(std::string_view text, std::string_view open,
                                            std::string_view close) {
  size_t at = text.find(open);
  if (at == std::string_view::npos) return std::nullopt;
  size_t start = at + open.size();
  size_t end = text.find(close, start);
  if (end == std::string_view::npos) return std::string_view();
  return text.substr(start, end - start);
}

int32_t ToInt(std::string_view text) {
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  if (i == text.size()) return 0;
  int64_t value = 0;
  for (; i < text.size(); ++i) {
    char c = text[i];
    if (c < '0' || c > '9') return 0;
    value = value * 10 + (c - '0');
    if (value > int64_t(std::numeric_limits<int32_t>::max()) + 1) return 0;
  }
  if (negative) value = -value;
  if (value > std::numeric_limits<int32_t>::max()) return 0;
  return static_cast<int32_t>(value);
}

void ScanIntAttribute(std::string_view text, std::string_view name, int32_t& target) {
  if (auto v = ScanAttribute(text, name)) target = ToInt(*v);
}

void ScanByteAttribute(std::string_view text, std::string_view name, uint8_t& target) {
  if (auto v = ScanAttribute(text, name))
    target = static_cast<uint8_t>(static_cast<uint32_t>(ToInt(*v)) & 0xFF);
}

void ScanStringAttribute(std::string_view text, std::string_view name, std::string& target) {
  if (auto v = ScanAttribute(text, name)) target.assign(v->data(), v->size());
}

}  // namespace quillmar::record
