#include "base/FileStream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <limits>

#include "base/Exception.h"

namespace quillmar {

namespace {
// Largest single transfer asked of the system; bigger requests are split.
constexpr int64_t kMaxChunk = int64_t(1) << 30;
}  // namespace

TFileStream::TFileStream(const std::string& fileName, TFileMode mode) : fileName_(fileName), mode_(mode) {
  int flags = O_CLOEXEC;
  switch (mode) {
    case TFileMode::Create:
      flags |= O_RDWR | O_CREAT | O_TRUNC;
      break;
    case TFileMode::Read:
      flags |= O_RDONLY;
      break;
    case TFileMode::ReadWrite:
      flags |= O_RDWR;
      break;
  }
  do {
    fd_ = ::open(fileName.c_str(), flags, 0600);
  } while (fd_ < 0 && errno == EINTR);
  if (fd_ < 0) {
    int err = errno;
    throw EStreamError(
        std::string(mode == TFileMode::Create ? "Cannot create file \"" : "Cannot open file \"") + fileName +
        "\": " + std::strerror(err));
  }
}

TFileStream::~TFileStream() {
  if (fd_ >= 0) ::close(fd_);
}

void TFileStream::Fail(const char* what, int err) const {
  throw EStreamError(std::string(what) + " \"" + fileName_ + "\": " + std::strerror(err));
}

int64_t TFileStream::Read(void* buffer, int64_t count) {
  int64_t done = 0;
  auto* p = static_cast<char*>(buffer);
  while (done < count) {
    int64_t want = count - done < kMaxChunk ? count - done : kMaxChunk;
    ssize_t got = ::pread(fd_, p + done, static_cast<size_t>(want), static_cast<off_t>(position_));
    if (got < 0) {
      if (errno == EINTR) continue;
      Fail("Cannot read file", errno);
    }
    if (got == 0) break;  // end of file
    done += got;
    position_ += got;
  }
  return done;
}

int64_t TFileStream::Write(const void* buffer, int64_t count) {
  if (count <= 0) return 0;
  if (mode_ == TFileMode::Read)
    throw EStreamError("The file \"" + fileName_ + "\" is open for reading only.");
  int64_t done = 0;
  const auto* p = static_cast<const char*>(buffer);
  while (done < count) {
    int64_t want = count - done < kMaxChunk ? count - done : kMaxChunk;
    ssize_t put = ::pwrite(fd_, p + done, static_cast<size_t>(want), static_cast<off_t>(position_));
    if (put < 0) {
      if (errno == EINTR) continue;
      if (done > 0 && errno == ENOSPC) break;  // a short count tells the caller the device is full
      Fail("Cannot write file", errno);
    }
    if (put == 0) break;
    done += put;
    position_ += put;
  }
  return done;
}

int64_t TFileStream::Seek(int64_t offset, TSeekOrigin origin) {
  int64_t base = 0;
  switch (origin) {
    case TSeekOrigin::Begin:
      base = 0;
      break;
    case TSeekOrigin::Current:
      base = position_;
      break;
    case TSeekOrigin::End:
      base = Size();
      break;
  }
  if ((offset < 0 && base + offset < 0) ||
      (offset > 0 && base > std::numeric_limits<int64_t>::max() - offset))
    throw EStreamError("Stream seek error");
  position_ = base + offset;
  return position_;
}

int64_t TFileStream::Size() {
  struct stat st {};
  if (::fstat(fd_, &st) != 0) Fail("Cannot get the size of file", errno);
  return static_cast<int64_t>(st.st_size);
}

void TFileStream::SetSize(int64_t newSize) {
  if (newSize < 0) throw EStreamError("Stream size error");
  if (mode_ == TFileMode::Read)
    throw EStreamError("The file \"" + fileName_ + "\" is open for reading only.");
  int rc;
  do {
    rc = ::ftruncate(fd_, static_cast<off_t>(newSize));
  } while (rc != 0 && errno == EINTR);
  if (rc != 0) Fail("Cannot resize file", errno);
  if (position_ > newSize) position_ = newSize;
}

void TFileStream::Flush() {
  if (mode_ == TFileMode::Read) return;
  if (::fsync(fd_) != 0) Fail("Cannot write file", errno);
}

}  // namespace quillmar
