#include "model/qvtIcon.h"

#include "base/Exception.h"

namespace quillmar {

void TqvtIcon::LoadFromStream(TStream& stream) {
  int64_t left = stream.Size() - stream.Position();
  if (left < 0) left = 0;
  std::string bytes = stream.ReadString(left);
  if (static_cast<int64_t>(bytes.size()) != left) throw EStreamError("Stream read error");
  image_ = std::move(bytes);
}

}  // namespace quillmar
