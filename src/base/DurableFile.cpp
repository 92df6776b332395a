#include "base/DurableFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <vector>

#include "base/RandomName.h"

namespace quillmar {

namespace fs = std::filesystem;

namespace {

// Closes the descriptor when it goes out of scope.
struct TFd {
  int fd = -1;
  ~TFd() {
    if (fd >= 0) ::close(fd);
  }
};

std::string Reason(int err) {
  return std::strerror(err);
}

[[noreturn]] void Fail(const std::string& file, const char* what, int err) {
  throw EDurableFileError("The file " + file + " " + what + ": " + Reason(err) + ".", Reason(err));
}

// The part of a file name a temporary name beside it repeats: at most 64 bytes, cut before a UTF-8
// continuation byte, so that the temporary name stays within the system's limit on a name's length
// however long the target's is.
std::string ShortStem(const std::string& name) {
  constexpr size_t kMax = 64;
  if (name.size() <= kMax) return name;
  size_t cut = kMax;
  while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;
  return name.substr(0, cut);
}

// A new file beside target ("." + (the start of) its name + random + ".part"), open for reading and
// writing, private until it is complete (mode, less the umask).
int CreateTempBeside(const std::string& target, unsigned mode, std::string& temp) {
  const fs::path targetPath(target);
  fs::path folder = targetPath.parent_path();
  if (folder.empty()) folder = ".";
  int fd = -1;
  RandomFreeName((folder / ("." + ShortStem(targetPath.filename().string()) + ".")).string(), ".part",
                 [&](const std::string& name) {
                   fd = ::open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, mode & 07777);
                   if (fd >= 0) {
                     temp = name;
                     return false;
                   }
                   if (errno == EEXIST) return true;
                   Fail(target, "cannot be written", errno);
                 });
  return fd;
}

// The temporary file as a stream for the caller's fill. A failed write is remembered (errno), so that
// the error can name the target and the system's reason.
class TTempStream : public TStream {
public:
  explicit TTempStream(int fd) : fd_(fd) {}

  int64_t Read(void* buffer, int64_t count) override {
    if (count <= 0) return 0;
    const int64_t n = ReadAll(fd_, buffer, static_cast<size_t>(count));
    if (n < 0) throw EStreamError(std::string("Stream read error: ") + Reason(errno));
    return n;
  }
  int64_t Write(const void* buffer, int64_t count) override {
    if (count <= 0) return 0;
    if (!WriteAll(fd_, buffer, static_cast<size_t>(count))) {
      error_ = errno;
      return 0;
    }
    return count;
  }
  int64_t Seek(int64_t offset, TSeekOrigin origin) override {
    const int whence = origin == TSeekOrigin::Begin     ? SEEK_SET
                       : origin == TSeekOrigin::Current ? SEEK_CUR
                                                        : SEEK_END;
    const off_t at = ::lseek(fd_, static_cast<off_t>(offset), whence);
    if (at < 0) throw EStreamError("Stream seek error");
    return static_cast<int64_t>(at);
  }
  int64_t Size() override {
    struct stat st {};
    if (::fstat(fd_, &st) != 0) {
      error_ = errno;
      throw EStreamError("Stream size error");
    }
    return static_cast<int64_t>(st.st_size);
  }
  void SetSize(int64_t newSize) override {
    if (newSize < 0) throw EStreamError("Stream size error");
    int rc;
    do rc = ::ftruncate(fd_, static_cast<off_t>(newSize));
    while (rc != 0 && errno == EINTR);
    if (rc != 0) {
      error_ = errno;
      throw EStreamError("Stream write error");
    }
    if (Position() > newSize) Seek(newSize, TSeekOrigin::Begin);
  }

  // The errno of the first failed write, resize or size query; 0 when none failed.
  int Error() const { return error_; }

private:
  int fd_;
  int error_ = 0;
};

}  // namespace

bool WriteAll(int fd, const void* data, size_t size) {
  const char* at = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t n = ::write(fd, at, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    at += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

int64_t ReadAll(int fd, void* data, size_t size) {
  char* at = static_cast<char*>(data);
  size_t done = 0;
  while (done < size) {
    const ssize_t n = ::read(fd, at + done, size - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  return static_cast<int64_t>(done);
}

bool SyncFolderOf(const std::string& fileName) {
  fs::path folder = fs::path(fileName).parent_path();
  if (folder.empty()) folder = ".";
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  int rc;
  do rc = ::fsync(fd);
  while (rc != 0 && errno == EINTR);
  const int err = errno;
  ::close(fd);
  return rc == 0 || err == EINVAL || err == EROFS;
}

bool ReplaceFile(const std::string& target, const TFillFile& fill, unsigned mode) {
  std::string temp;
  TFd out;
  out.fd = CreateTempBeside(target, mode, temp);
  // Whatever happens before the rename, the temporary file goes and the target stays as it was.
  auto dropTemp = [&] {
    if (out.fd >= 0) ::close(out.fd);
    out.fd = -1;
    ::unlink(temp.c_str());
  };
  TTempStream stream(out.fd);
  try {
    const bool complete = fill(stream);
    if (stream.Error() != 0) Fail(target, "cannot be written", stream.Error());
    if (!complete) {
      dropTemp();
      return false;
    }
  } catch (...) {
    const int err = stream.Error();
    dropTemp();
    if (err != 0) Fail(target, "cannot be written", err);
    throw;
  }
  int err = 0;
  const char* what = "cannot be written";
  if (::fsync(out.fd) != 0) err = errno;
  const int closed = ::close(out.fd);
  out.fd = -1;
  if (err == 0 && closed != 0) err = errno;
  if (err == 0 && ::rename(temp.c_str(), target.c_str()) != 0) {
    err = errno;
    what = "cannot be replaced";
  }
  if (err != 0) {
    dropTemp();
    Fail(target, what, err);
  }
  SyncFolderOf(target);
  return true;
}

bool ReplaceFileWithCopy(const std::string& source, const std::string& target,
                         const TCopyProgress& progress) {
  TFd in;
  in.fd = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
  if (in.fd < 0) Fail(source, "cannot be read", errno);
  struct stat st;
  if (::fstat(in.fd, &st) != 0 || !S_ISREG(st.st_mode))
    throw EDurableFileError("The file " + source + " cannot be read: it is no regular file.",
                            "it is no regular file");

  return ReplaceFile(target, [&](TStream& out) {
    std::vector<char> buffer(1 << 16);
    const int64_t total = st.st_size;
    int64_t done = 0, unreported = 0;
    bool cancel = false;
    for (;;) {
      const int64_t n = ReadAll(in.fd, buffer.data(), buffer.size());
      if (n < 0) Fail(source, "cannot be read", errno);
      if (n == 0) return true;
      out.WriteBuffer(buffer.data(), n);
      done += n;
      unreported += n;
      if (progress && unreported >= (int64_t(1) << 20)) {
        unreported = 0;
        progress(done, total, cancel);
        if (cancel) return false;
      }
    }
  });
}

void ReplaceFileWithBytes(const std::string& target, std::string_view bytes, unsigned mode) {
  ReplaceFile(
      target,
      [&](TStream& out) {
        out.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
        return true;
      },
      mode);
}

}  // namespace quillmar
