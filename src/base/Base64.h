#pragma once
// Base64 with the standard alphabet, "=" padding and no line breaks. Empty input encodes to "".
//
// Decoding is deliberately lenient, as the stored records need: the text is read in whole groups of
// four characters and a trailing group of fewer than four is ignored; inside a group, characters
// outside the alphabet ("=" included) carry no data; a group with 4 data characters gives 3 bytes,
// 3 give 2, 2 give 1, fewer give none.
#include <string>
#include <string_view>

namespace quillmar {

std::string Base64Encode(std::string_view bytes);
std::string Base64Decode(std::string_view text);

}  // namespace quillmar
