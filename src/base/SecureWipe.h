#pragma once
// Overwriting secrets before their memory is given back.
#include <cstddef>
#include <string>

namespace quillmar {

// Overwrites size bytes at data with zeros in a way the compiler may not remove.
void SecureWipe(void* data, size_t size);

// Zeros the whole buffer of text (its capacity, not just its length), then empties it.
void WipeString(std::string& text);

}  // namespace quillmar
