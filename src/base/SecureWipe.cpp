#include "base/SecureWipe.h"

namespace quillmar {

void SecureWipe(void* data, size_t size) {
  if (data == nullptr || size == 0) return;
  volatile unsigned char* p = static_cast<volatile unsigned char*>(data);
  while (size--) *p++ = 0;
}

void WipeString(std::string& text) {
  // The bytes between size and capacity may still hold an earlier, longer content.
  text.resize(text.capacity());
  SecureWipe(text.data(), text.size());
  text.clear();
}

}  // namespace quillmar
