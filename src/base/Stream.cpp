#include "base/Stream.h"

#include <algorithm>
#include <vector>

#include "base/Exception.h"

namespace quillmar {

void TStream::ReadBuffer(void* buffer, int64_t count) {
  if (count < 0 || Read(buffer, count) != count) throw EStreamError("Stream read error");
}

void TStream::WriteBuffer(const void* buffer, int64_t count) {
  if (count < 0 || Write(buffer, count) != count) throw EStreamError("Stream write error");
}

int32_t TStream::ReadInt32() {
  unsigned char b[4];
  ReadBuffer(b, 4);
  uint32_t v = uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
  return static_cast<int32_t>(v);
}

void TStream::WriteInt32(int32_t value) {
  uint32_t v = static_cast<uint32_t>(value);
  unsigned char b[4] = {static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8),
                        static_cast<unsigned char>(v >> 16), static_cast<unsigned char>(v >> 24)};
  WriteBuffer(b, 4);
}

std::string TStream::ReadString(int64_t count) {
  std::string out;
  if (count <= 0) return out;
  // Never trust a length field with the allocation: grow in bounded steps as bytes actually arrive.
  constexpr int64_t kStep = 1 << 20;
  while (count > 0) {
    int64_t want = std::min(count, kStep);
    size_t old = out.size();
    out.resize(old + static_cast<size_t>(want));
    int64_t got = Read(out.data() + old, want);
    if (got < 0) got = 0;
    out.resize(old + static_cast<size_t>(got));
    if (got < want) break;
    count -= got;
  }
  return out;
}

int64_t TStream::CopyFrom(TStream& source, int64_t count) {
  std::vector<char> buf(1 << 16);
  int64_t total = 0;
  while (count < 0 || total < count) {
    int64_t want = static_cast<int64_t>(buf.size());
    if (count >= 0) want = std::min(want, count - total);
    int64_t got = source.Read(buf.data(), want);
    if (got <= 0) break;
    WriteBuffer(buf.data(), got);
    total += got;
    if (got < want && count >= 0) break;
  }
  return total;
}

}  // namespace quillmar
