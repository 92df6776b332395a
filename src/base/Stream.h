#pragma once
// TStream: a seekable byte stream with 64-bit positions, the common currency between the layers
// (memory buffers, disk files and files inside a container all are streams).
//
// Contract:
//  - Read/Write move the position by the number of bytes transferred and return that number; a short
//    count is not an error by itself (end of stream, full device). ReadBuffer/WriteBuffer throw
//    EStreamError when fewer bytes than asked were transferred.
//  - Seek returns the new position; seeking before 0 throws EStreamError. Seeking past the end is
//    allowed; a later Write there fills the gap with zero bytes.
//  - SetSize grows (with zero bytes) or shrinks; a position past the new end moves to the end.
#include <cstdint>
#include <string>

namespace quillmar {

enum class TSeekOrigin { Begin, Current, End };

class TStream {
public:
  virtual ~TStream() = default;

  virtual int64_t Read(void* buffer, int64_t count) = 0;
  virtual int64_t Write(const void* buffer, int64_t count) = 0;
  virtual int64_t Seek(int64_t offset, TSeekOrigin origin) = 0;
  virtual int64_t Size() = 0;
  virtual void SetSize(int64_t newSize) = 0;

  int64_t Position() { return Seek(0, TSeekOrigin::Current); }
  void SetPosition(int64_t pos) { Seek(pos, TSeekOrigin::Begin); }

  // Throw EStreamError("Stream read error") / ("Stream write error") on a short transfer.
  void ReadBuffer(void* buffer, int64_t count);
  void WriteBuffer(const void* buffer, int64_t count);

  // Little-endian 32-bit signed integers, as the record formats store them.
  int32_t ReadInt32();
  void WriteInt32(int32_t value);

  // Reads count bytes (or fewer at the end of the stream) as 8-bit text.
  std::string ReadString(int64_t count);
  void WriteString(const std::string& text) { WriteBuffer(text.data(), static_cast<int64_t>(text.size())); }

  // Copies count bytes (all remaining when count is negative) from source at its position; returns
  // the number copied. Uses a bounded buffer whatever the size.
  int64_t CopyFrom(TStream& source, int64_t count = -1);
};

}  // namespace quillmar
