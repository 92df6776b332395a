#pragma once
// TMemoryStream: a TStream over a growable buffer in memory.
//
// The buffer may hold decrypted record text, so it is wiped whenever memory is given back: when it
// grows into a new allocation, on Clear and on destruction. Shrinking with SetSize zeroes the bytes cut
// off. Apart from that it follows the TStream contract exactly (seeking past the end and writing there
// fills the gap with zero bytes).
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "base/SecureWipe.h"
#include "base/Stream.h"

namespace quillmar {

class TMemoryStream : public TStream {
public:
  TMemoryStream() = default;
  // Starts with a copy of bytes, positioned at 0.
  explicit TMemoryStream(std::string_view bytes);
  ~TMemoryStream() override;
  TMemoryStream(const TMemoryStream&) = delete;
  TMemoryStream& operator=(const TMemoryStream&) = delete;

  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t Size() override { return size_; }
  void SetSize(int64_t newSize) override;

  // The whole content, independent of the position. The view is valid until the next write or resize.
  std::string_view View() const { return {data_.get(), size_}; }
  std::string ToString() const { return std::string(View()); }
  const char* Data() const { return data_.get(); }
  // A memory stream never grows beyond this (64 GiB); larger sizes throw EStreamError without
  // trying to allocate.
  static constexpr size_t kMaxSize = size_t(1) << 36;

  // Empties the stream (size and position 0) and wipes and frees the buffer.
  void Clear();

private:
  void Reserve(size_t needed);

  std::unique_ptr<char[]> data_;
  size_t size_ = 0;
  size_t capacity_ = 0;
  int64_t position_ = 0;
};

}  // namespace quillmar
