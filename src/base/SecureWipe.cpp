#include "base/SecureWipe.h"

#include <cstring>

namespace quillmar {

void SecureWipe(void* data, size_t size) {
  if (data == nullptr || size == 0) return;
  // A plain memset (fast, vectorised) followed by a barrier that makes the compiler assume the
  // memory is read afterwards, so that the store cannot be dropped as dead.
  std::memset(data, 0, size);
  __asm__ __volatile__("" : : "r"(data) : "memory");
}

void WipeString(std::string& text) {
  // The bytes between size and capacity may still hold an earlier, longer content.
  text.resize(text.capacity());
  SecureWipe(text.data(), text.size());
  text.clear();
}

}  // namespace quillmar
