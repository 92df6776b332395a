#include "model/StringArray.h"

namespace quillmar {

std::string TStringArray::Get(int i) const {
  if (i < 0 || i >= Count()) return std::string();
  return items_[static_cast<size_t>(i)];
}

}  // namespace quillmar
