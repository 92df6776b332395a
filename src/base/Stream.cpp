#include "base/Stream.h"

#include <algorithm>
#include <vector>

#include "base/Exception.h"
#include "base/LittleEndian.h"

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
  return GetLE<int32_t>(b);
}

void TStream::WriteInt32(int32_t value) {
  unsigned char b[4];
  PutLE<int32_t>(b, value);
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
