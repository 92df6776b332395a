#pragma once
// The wildcard masks of directory searches.
//  - "*.*" matches every name (with or without a dot).
//  - "?" matches exactly one character; "*" matches any run of characters, including none.
//  - Any other character matches itself, and also a character whose code differs from it by exactly 32
//    when the bitwise AND of the two codes is at least 65 (so ASCII letters match regardless of case).
// Runs in O(mask length x name length) at worst; no recursion.
#include <string_view>

namespace quillmar {

bool MatchesWildcard(std::string_view mask, std::string_view name);

}  // namespace quillmar
