#include "base/MemoryStream.h"

#include <cstring>
#include <limits>
#include <new>

#include "base/Exception.h"

namespace quillmar {

TMemoryStream::TMemoryStream(std::string_view bytes) {
  Reserve(bytes.size());
  if (!bytes.empty()) std::memcpy(data_.get(), bytes.data(), bytes.size());
  size_ = bytes.size();
}

TMemoryStream::~TMemoryStream() {
  Clear();
}

void TMemoryStream::Clear() {
  SecureWipe(data_.get(), capacity_);
  data_.reset();
  size_ = capacity_ = 0;
  position_ = 0;
}

void TMemoryStream::Reserve(size_t needed) {
  if (needed <= capacity_) return;
  if (needed > kMaxSize)
    throw EStreamError("Not enough memory for a stream of " + std::to_string(needed) + " bytes");
  size_t cap = capacity_ < 64 ? 64 : capacity_;
  while (cap < needed) cap = cap > kMaxSize / 2 ? needed : cap * 2;
  std::unique_ptr<char[]> fresh;
  try {
    fresh.reset(new char[cap]);
  } catch (const std::bad_alloc&) {
    throw EStreamError("Not enough memory for a stream of " + std::to_string(needed) + " bytes");
  }
  if (size_ > 0) std::memcpy(fresh.get(), data_.get(), size_);
  std::memset(fresh.get() + size_, 0, cap - size_);
  SecureWipe(data_.get(), capacity_);
  data_ = std::move(fresh);
  capacity_ = cap;
}

int64_t TMemoryStream::Read(void* buffer, int64_t count) {
  if (count <= 0 || position_ >= static_cast<int64_t>(size_)) return 0;
  int64_t avail = static_cast<int64_t>(size_) - position_;
  int64_t n = count < avail ? count : avail;
  std::memcpy(buffer, data_.get() + position_, static_cast<size_t>(n));
  position_ += n;
  return n;
}

int64_t TMemoryStream::Write(const void* buffer, int64_t count) {
  if (count <= 0) return 0;
  if (count > std::numeric_limits<int64_t>::max() - position_) throw EStreamError("Stream write error");
  size_t end = static_cast<size_t>(position_ + count);
  Reserve(end);
  if (static_cast<size_t>(position_) > size_)  // the gap after a seek past the end holds zero bytes
    std::memset(data_.get() + size_, 0, static_cast<size_t>(position_) - size_);
  std::memcpy(data_.get() + position_, buffer, static_cast<size_t>(count));
  if (end > size_) size_ = end;
  position_ += count;
  return count;
}

int64_t TMemoryStream::Seek(int64_t offset, TSeekOrigin origin) {
  int64_t base = 0;
  switch (origin) {
    case TSeekOrigin::Begin:
      base = 0;
      break;
    case TSeekOrigin::Current:
      base = position_;
      break;
    case TSeekOrigin::End:
      base = static_cast<int64_t>(size_);
      break;
  }
  if ((offset < 0 && base + offset < 0) ||
      (offset > 0 && base > std::numeric_limits<int64_t>::max() - offset))
    throw EStreamError("Stream seek error");
  position_ = base + offset;
  return position_;
}

void TMemoryStream::SetSize(int64_t newSize) {
  if (newSize < 0) throw EStreamError("Stream size error");
  size_t n = static_cast<size_t>(newSize);
  if (n > size_) {
    Reserve(n);
    std::memset(data_.get() + size_, 0, n - size_);
  } else {
    SecureWipe(data_.get() + n, size_ - n);
  }
  size_ = n;
  if (position_ > newSize) position_ = newSize;
}

}  // namespace quillmar
