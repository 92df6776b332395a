#pragma once
// The scanning rules shared by the record readers. The records look like markup but are read by
// searching for fixed markers, never by a general parser:
//
//  - Attribute: its key is the name immediately followed by '="'. The value is the text after the
//    first occurrence of the key anywhere in the text, up to the next '"' (all the rest when none
//    follows). A missing key leaves the target as it was.
//  - Element: the content after the first opening marker up to the first closing marker after it;
//    empty when no closing marker follows.
//  - Numbers: a decimal 32-bit integer with an optional sign and nothing else; any other text,
//    including out-of-range numbers, reads as 0.
// Every search moves forward through the text, so no input can make a scan loop.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quillmar::record {

// The value of attribute name, or nullopt when its key does not occur in text.
std::optional<std::string_view> ScanAttribute(std::string_view text, std::string_view name);

// The content between open and close, or nullopt when open does not occur.
std::optional<std::string_view> ScanElement(std::string_view text, std::string_view open,
                                            std::string_view close);

int32_t ToInt(std::string_view text);

// Convenience: sets target from the attribute when its key occurs.
void ScanIntAttribute(std::string_view text, std::string_view name, int32_t& target);
void ScanByteAttribute(std::string_view text, std::string_view name, uint8_t& target);  // low 8 bits
void ScanStringAttribute(std::string_view text, std::string_view name, std::string& target);

// The opening and closing markers of the icon section (with a blank after "!", not the XML form).
inline constexpr std::string_view kIconOpen = "<! CDATA[";
inline constexpr std::string_view kIconClose = "]]>";

}  // namespace quillmar::record
