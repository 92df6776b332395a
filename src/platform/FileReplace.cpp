#include "platform/FileReplace.h"

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

std::string Reason() {
  return std::strerror(errno);
}

bool WriteAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

bool ReplaceFileWithCopy(const std::string& source, const std::string& target,
                         const TCopyProgress& progress) {
  TFd in;
  in.fd = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
  if (in.fd < 0) throw EQuillmarError("The file " + source + " cannot be read: " + Reason() + ".");
  struct stat st;
  if (::fstat(in.fd, &st) != 0 || !S_ISREG(st.st_mode))
    throw EQuillmarError("The file " + source + " cannot be read: it is no regular file.");

  fs::path targetPath(target);
  fs::path folder = targetPath.parent_path();
  if (folder.empty()) folder = ".";
  std::string temp;
  TFd out;
  RandomFreeName((folder / ("." + targetPath.filename().string() + ".")).string(), ".part",
                 [&](const std::string& name) {
                   out.fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
                   if (out.fd >= 0) {
                     temp = name;
                     return false;
                   }
                   if (errno == EEXIST) return true;
                   throw EQuillmarError("The file " + target + " cannot be written: " + Reason() + ".");
                 });

  auto fail = [&](const std::string& what) {
    std::string message = what + Reason() + ".";
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
    ssize_t n = ::read(in.fd, buffer.data(), buffer.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      fail("The file " + source + " cannot be read: ");
    }
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
  if (::fsync(out.fd) != 0) fail("The file " + target + " cannot be written: ");
  if (::close(out.fd) != 0) {
    out.fd = -1;
    std::string message = "The file " + target + " cannot be written: " + Reason() + ".";
    ::unlink(temp.c_str());
    throw EQuillmarError(message);
  }
  out.fd = -1;
  if (::rename(temp.c_str(), target.c_str()) != 0) {
    std::string message = "The file " + target + " cannot be replaced: " + Reason() + ".";
    ::unlink(temp.c_str());
    throw EQuillmarError(message);
  }
  TFd dir;
  dir.fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir.fd >= 0) ::fsync(dir.fd);
  return true;
}

}  // namespace quillmar
