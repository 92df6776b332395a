#include "model/qmField.h"

#include "base/Exception.h"
#include "base/SecureWipe.h"
#include "model/RecordScan.h"

namespace quillmar {

const std::array<std::string, kFieldTypeCount>& FieldTypeNames() {
  static const std::array<std::string, kFieldTypeCount> kNames = {
      "Normal Text", "Password Field", "Date",   "Yes/No",  "Reminder (Yes/No)", "Email address",
      "File",        "Currency",       "Number", "Picture", "Text Field/Memo",   "URL"};
  return kNames;
}

std::string FieldTypeName(TqmFieldType type) {
  return type < kFieldTypeCount ? FieldTypeNames()[type] : std::string();
}

TqmFieldType FieldTypeFromName(std::string_view name) {
  const auto& names = FieldTypeNames();
  for (int i = 0; i < kFieldTypeCount; ++i)
    if (names[i] == name) return static_cast<TqmFieldType>(i);
  return ftNormalText;
}

TqmField::TqmField(int32_t sortOrder, std::string name, TqmFieldType type, bool required, std::string value)
    : sortOrder_(sortOrder),
      name_(std::move(name)),
      fieldType_(type),
      required_(required ? 1 : 0),
      value_(std::move(value)) {}

TqmField::~TqmField() {
  WipeString(value_);
}

void TqmField::SetName(const std::string& v) {
  if (v != name_) name_ = v;
}

void TqmField::SetValue(const std::string& v) {
  if (v == value_) return;
  WipeString(value_);
  value_ = v;
}

std::string TqmField::GetText() const {
  std::string t;
  t.reserve(80 + name_.size() + value_.size());
  t += "<field sortorder=\"";
  t += std::to_string(sortOrder_);
  t += "\" name=\"";
  t += name_;
  t += "\" type=\"";
  t += std::to_string(fieldType_);
  t += "\" required=\"";
  t += std::to_string(required_);
  t += "\">";
  t += value_;
  t += "</field>";
  return t;
}

void TqmField::ParseText(std::string_view text) {
  record::ScanIntAttribute(text, "sortorder", sortOrder_);
  record::ScanStringAttribute(text, "name", name_);
  record::ScanByteAttribute(text, "type", fieldType_);
  record::ScanByteAttribute(text, "required", required_);
  WipeString(value_);
  size_t gt = text.find('>');
  if (gt == std::string_view::npos) return;
  size_t end = text.find("</field>", gt + 1);
  if (end == std::string_view::npos) return;
  value_.assign(text.substr(gt + 1, end - gt - 1));
}

void TqmField::SaveToStream(TStream& stream) const {
  std::string text = GetText();
  stream.WriteInt32(static_cast<int32_t>(text.size()));
  stream.WriteString(text);
  WipeString(text);
}

void TqmField::LoadFromStream(TStream& stream) {
  int32_t length = ReadCheckedLength(stream, "field", "field length");
  std::string text = stream.ReadString(length);
  if (static_cast<int32_t>(text.size()) != length) {
    WipeString(text);
    throw EStreamError("Stream read error");
  }
  ParseText(text);
  WipeString(text);
}

int32_t ReadCheckedLength(TStream& stream, const char* record, const char* what, int64_t unitSize) {
  int32_t n = stream.ReadInt32();
  if (n < 0)
    throw EStreamError(std::string("Stream read error: the ") + record + " record is damaged (" + what + " " +
                       std::to_string(n) + ").");
  int64_t left = stream.Size() - stream.Position();
  if (left < 0) left = 0;
  if (int64_t(n) > left / unitSize)
    throw EStreamError(std::string("Stream read error: the ") + record + " record is cut short (" + what +
                       " " + std::to_string(n) + ", but only " + std::to_string(left) + " bytes follow).");
  return n;
}

}  // namespace quillmar
