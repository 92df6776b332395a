#pragma once
// Shared bits of the model tests.
#include <string>

#include "model/qmClipboard.h"

namespace quillmar::test {

class TFakeClipboard : public TqmClipboard {
public:
  std::string GetText() override { return text; }
  void SetText(const std::string& t) override { text = t; }
  std::string text;
};

// A tiny stand-in for the bytes of an ".ico" file: Base64 "AAABAAEA".
inline const std::string kIconBytes("\0\0\x01\0\x01\0", 6);
inline constexpr const char* kIconBase64 = "AAABAAEA";

// Little-endian 32-bit length as four bytes.
inline std::string Le32(uint32_t v) {
  return std::string{static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16),
                     static_cast<char>(v >> 24)};
}

}  // namespace quillmar::test
