#include "base/DurableFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <vector>

#include "base/Exception.h"
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

// A new private file beside target ("." + its name + random + ".part"), open for writing.
int CreateTempBeside(const std::string& target, std::string& temp) {
  const fs::path targetPath(target);
  fs::path folder = targetPath.parent_path();
  if (folder.empty()) folder = ".";
  int fd = -1;
  RandomFreeName((folder / ("." + targetPath.filename().string() + ".")).string(), ".part",
                 [&](const std::string& name) {
                   fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
                   if (fd >= 0) {
                     temp = name;
                     return false;
                   }
                   if (errno == EEXIST) return true;
                   throw EQuillmarError("The file " + target + " cannot be written: " + Reason(errno) + ".");
                 });
  return fd;
}

// Syncs and closes the temporary file, renames it over target and syncs the folder; on failure the
// temporary file is removed and the error thrown.
void CommitTemp(TFd& out, const std::string& temp, const std::string& target) {
  std::string failure;
  if (::fsync(out.fd) != 0) failure = "The file " + target + " cannot be written: " + Reason(errno) + ".";
  const int closed = ::close(out.fd);
  out.fd = -1;
  if (failure.empty() && closed != 0)
    failure = "The file " + target + " cannot be written: " + Reason(errno) + ".";
  if (failure.empty() && ::rename(temp.c_str(), target.c_str()) != 0)
    failure = "The file " + target + " cannot be replaced: " + Reason(errno) + ".";
  if (!failure.empty()) {
    ::unlink(temp.c_str());
    throw EQuillmarError(failure);
  }
  SyncFolderOf(target);
}

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

bool ReplaceFileWithCopy(const std::string& source, const std::string& target,
                         const TCopyProgress& progress) {
  TFd in;
  in.fd = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
  if (in.fd < 0) throw EQuillmarError("The file " + source + " cannot be read: " + Reason(errno) + ".");
  struct stat st;
  if (::fstat(in.fd, &st) != 0 || !S_ISREG(st.st_mode))
    throw EQuillmarError("The file " + source + " cannot be read: it is no regular file.");

  std::string temp;
  TFd out;
  out.fd = CreateTempBeside(target, temp);
  auto fail = [&](const std::string& what) {
    const std::string message = what + Reason(errno) + ".";
    ::close(out.fd);
    out.fd = -1;
    ::unlink(temp.c_str());
    throw EQuillmarError(message);
  };

  std::vector<char> buffer(1 << 16);
  const int64_t total = st.st_size;
  int64_t done = 0, unreported = 0;
  bool cancel = false;
  for (;;) {
    const int64_t n = ReadAll(in.fd, buffer.data(), buffer.size());
    if (n < 0) fail("The file " + source + " cannot be read: ");
    if (n == 0) break;
    if (!WriteAll(out.fd, buffer.data(), static_cast<size_t>(n)))
      fail("The file " + target + " cannot be written: ");
    done += n;
    unreported += n;
    if (progress && unreported >= (int64_t(1) << 20)) {
      unreported = 0;
      progress(done, total, cancel);
      if (cancel) {
        ::close(out.fd);
        out.fd = -1;
        ::unlink(temp.c_str());
        return false;
      }
    }
  }
  CommitTemp(out, temp, target);
  return true;
}

void ReplaceFileWithBytes(const std::string& target, std::string_view bytes) {
  std::string temp;
  TFd out;
  out.fd = CreateTempBeside(target, temp);
  if (!WriteAll(out.fd, bytes.data(), bytes.size())) {
    const std::string message = "The file " + target + " cannot be written: " + Reason(errno) + ".";
    ::close(out.fd);
    out.fd = -1;
    ::unlink(temp.c_str());
    throw EQuillmarError(message);
  }
  CommitTemp(out, temp, target);
}

}  // namespace quillmar
