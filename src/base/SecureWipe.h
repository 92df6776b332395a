#pragma once
// Overwriting secrets before their memory is given back.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace quillmar {

// Overwrites size bytes at data with zeros in a way the compiler may not remove.
void SecureWipe(void* data, size_t size);

// Zeros the whole buffer of text (its capacity, not just its length), then empties it.
void WipeString(std::string& text);

// Wipes a string or a byte buffer when the scope that holds it ends, however it ends.
class TWipeOnExit {
public:
  explicit TWipeOnExit(std::string& text) : text_(&text) {}
  explicit TWipeOnExit(std::vector<uint8_t>& bytes) : bytes_(&bytes) {}
  ~TWipeOnExit() {
    if (text_) WipeString(*text_);
    if (bytes_) SecureWipe(bytes_->data(), bytes_->size());
  }
  TWipeOnExit(const TWipeOnExit&) = delete;
  TWipeOnExit& operator=(const TWipeOnExit&) = delete;

private:
  std::string* text_ = nullptr;
  std::vector<uint8_t>* bytes_ = nullptr;
};

}  // namespace quillmar
