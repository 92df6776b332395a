#pragma once
// TqmField: one typed field of a category (a template, with an empty value) or of an entry.
//
// Record text (GetText), names and values written raw, no escaping:
//   <field sortorder="%d" name="%s" type="%d" required="%d">%s</field>
// ParseText reads it back by the marker rules of RecordScan.h: the attributes sortorder, name, type
// and required (a missing one keeps the field's value; type and required keep the low 8 bits), then
// Value = the text after the first ">" up to the first "</field>" after it (empty when none follows).
// In a stream a field is a 32-bit little-endian length followed by that many bytes of record text.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/Stream.h"

namespace quillmar {

// A field type code, stored as a decimal number in the record. Codes 0..11 are known; any other code
// is kept as read but has no name, viewer or editor.
using TqmFieldType = uint8_t;

inline constexpr TqmFieldType ftNormalText = 0;
inline constexpr TqmFieldType ftPassword = 1;
inline constexpr TqmFieldType ftDate = 2;
inline constexpr TqmFieldType ftYesNo = 3;
inline constexpr TqmFieldType ftReminder = 4;  // the value is the id of a reminder record, or empty
inline constexpr TqmFieldType ftEMail = 5;
inline constexpr TqmFieldType ftFile = 6;  // the value names a file in the Safe's attached files
inline constexpr TqmFieldType ftCurrency = 7;
inline constexpr TqmFieldType ftNumber = 8;
inline constexpr TqmFieldType ftPicture = 9;  // the value names a picture in the attached files
inline constexpr TqmFieldType ftTextMemo = 10;
inline constexpr TqmFieldType ftURL = 11;
inline constexpr int kFieldTypeCount = 12;

// The display names in code order, as the category editor lists them.
const std::array<std::string, kFieldTypeCount>& FieldTypeNames();
// The display name of a code; "" for an unknown code.
std::string FieldTypeName(TqmFieldType type);
// The code of a display name (exact comparison); a name that matches none gives ftNormalText.
TqmFieldType FieldTypeFromName(std::string_view name);

class TqmField {
public:
  TqmField() = default;
  TqmField(int32_t sortOrder, std::string name, TqmFieldType type, bool required, std::string value = {});
  TqmField(const TqmField&) = default;
  TqmField& operator=(const TqmField&) = default;
  ~TqmField();  // wipes the value: it may be a password

  int32_t SortOrder() const { return sortOrder_; }
  void SetSortOrder(int32_t v) { sortOrder_ = v; }
  const std::string& Name() const { return name_; }
  void SetName(const std::string& v);
  TqmFieldType FieldType() const { return fieldType_; }
  void SetFieldType(TqmFieldType v) { fieldType_ = v; }
  // The stored byte: 0 or 1 as the program sets it; other values read from a record are kept.
  uint8_t Required() const { return required_; }
  bool IsRequired() const { return required_ != 0; }
  void SetRequired(uint8_t v) { required_ = v; }
  const std::string& Value() const { return value_; }
  void SetValue(const std::string& v);

  std::string TypeName() const { return FieldTypeName(fieldType_); }

  std::string GetText() const;
  void ParseText(std::string_view text);
  // Writes the 4-byte length and the record text.
  void SaveToStream(TStream& stream) const;
  // Reads the 4-byte length and that many bytes, then parses them. A negative length or one beyond
  // the end of the stream throws EStreamError before anything is read or allocated.
  void LoadFromStream(TStream& stream);

  bool operator==(const TqmField&) const = default;

private:
  int32_t sortOrder_ = 0;
  std::string name_;
  TqmFieldType fieldType_ = ftNormalText;
  uint8_t required_ = 0;
  std::string value_;
};

// Reads a 32-bit length or count from stream and checks it against the bytes left: throws EStreamError
// ("Stream read error: ...") naming what (for example "field length") when it is negative or more
// than (bytes left / unitSize). Used by every reader of length-framed records.
int32_t ReadCheckedLength(TStream& stream, const char* record, const char* what, int64_t unitSize = 1);

}  // namespace quillmar
