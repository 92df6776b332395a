#include "platform/InstanceChannel.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>

#include "base/Exception.h"

namespace quillmar {

namespace fs = std::filesystem;

namespace {

// The longest path a local socket address can hold (sun_path less its terminator).
constexpr size_t kMaxSocketPath = sizeof(sockaddr_un::sun_path) - 1;

// A folder that only this user can enter: a real folder (not a link), owned by the user, mode
// without any group or other bits.
bool IsPrivateFolder(const std::string& path) {
  struct stat st;
  if (::lstat(path.c_str(), &st) != 0) return false;
  return S_ISDIR(st.st_mode) && st.st_uid == ::getuid() && (st.st_mode & 077) == 0;
}

std::string RuntimeFolder() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime == nullptr || runtime[0] != '/') return {};
  std::string folder = runtime;
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  return IsPrivateFolder(folder) ? folder : std::string();
}

std::string TmpFolder() {
  const std::string folder = "/tmp/quillmar-" + std::to_string(::getuid());
  if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
    throw EQuillmarError("The folder " + folder + " cannot be made: " + std::strerror(errno) + ".");
  if (!IsPrivateFolder(folder))
    throw EQuillmarError("The folder " + folder +
                         " is not a private folder of this user (it is a link, belongs to someone else "
                         "or others can enter it). Remove it and start the program again.");
  return folder;
}

uint64_t Fnv1a(std::string_view text, uint64_t hash = 14695981039346656037ull) {
  for (unsigned char c : text) {
    hash ^= c;
    hash *= 1099511628211ull;
  }
  return hash;
}

std::string CanonicalHome(const std::string& homeFolder) {
  std::error_code ec;
  fs::path p = fs::weakly_canonical(fs::absolute(homeFolder, ec), ec);
  if (ec) p = fs::path(homeFolder).lexically_normal();
  std::string s = p.string();
  while (s.size() > 1 && s.back() == '/') s.pop_back();
  return s;
}

std::string BaseName(const std::string& homeFolder) {
  const std::string uid = std::to_string(::getuid());
  uint64_t h = Fnv1a(kInstanceName);
  h = Fnv1a(std::string_view("\0", 1), h);
  h = Fnv1a(uid, h);
  h = Fnv1a(std::string_view("\0", 1), h);
  h = Fnv1a(CanonicalHome(homeFolder), h);
  char hex[17];
  std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(h));
  return "brelkan-quillmar-ii-" + uid + "-" + hex;
}

std::string PathFor(const std::string& homeFolder, const char* extension) {
  const std::string name = BaseName(homeFolder) + extension;
  std::string folder = RuntimeFolder();
  // Both files go in one folder; the socket's name must fit a socket address.
  if (folder.empty() || folder.size() + 1 + BaseName(homeFolder).size() + 5 > kMaxSocketPath)
    folder = TmpFolder();
  return folder + "/" + name;
}

bool SendAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
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

std::string InstanceFolder() {
  std::string folder = RuntimeFolder();
  return folder.empty() ? TmpFolder() : folder;
}

std::string InstanceSocketPath(const std::string& homeFolder) {
  return PathFor(homeFolder, ".sock");
}

std::string InstanceLockPath(const std::string& homeFolder) {
  return PathFor(homeFolder, ".lock");
}

std::string EncodeInstanceFrame(std::string_view payload) {
  if (payload.size() > kMaxFramePayload)
    throw EQuillmarError("The message for the running program is too long (" +
                         std::to_string(payload.size()) + " bytes; at most " +
                         std::to_string(kMaxFramePayload) + ").");
  const uint32_t n = static_cast<uint32_t>(payload.size());
  std::string frame;
  frame.reserve(4 + payload.size());
  frame += static_cast<char>((n >> 24) & 0xFF);
  frame += static_cast<char>((n >> 16) & 0xFF);
  frame += static_cast<char>((n >> 8) & 0xFF);
  frame += static_cast<char>(n & 0xFF);
  frame.append(payload.data(), payload.size());
  return frame;
}

void TInstanceFrameReader::Feed(const char* data, size_t size) {
  if (!broken_) buffer_.append(data, size);
}

bool TInstanceFrameReader::Take(std::string& payload) {
  if (broken_ || buffer_.size() < 4) return false;
  const auto* b = reinterpret_cast<const unsigned char*>(buffer_.data());
  const uint32_t n = (uint32_t(b[0]) << 24) | (uint32_t(b[1]) << 16) | (uint32_t(b[2]) << 8) | uint32_t(b[3]);
  if (n > kMaxFramePayload) {
    broken_ = true;
    buffer_.clear();
    return false;
  }
  if (buffer_.size() < 4 + size_t(n)) return false;
  payload.assign(buffer_, 4, n);
  buffer_.erase(0, 4 + size_t(n));
  return true;
}

TInstanceLock::~TInstanceLock() {
  Release();
}

bool TInstanceLock::TryAcquire(const std::string& lockPath) {
  Release();
  int fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0)
    throw EQuillmarError("The lock file " + lockPath + " cannot be opened: " + std::strerror(errno) + ".");
  for (;;) {
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
      fd_ = fd;
      return true;
    }
    if (errno == EINTR) continue;
    ::close(fd);
    return false;
  }
}

void TInstanceLock::Release() {
  if (fd_ >= 0) ::close(fd_);  // closing the last descriptor drops the lock
  fd_ = -1;
}

TInstanceSendResult SendToRunningInstance(const std::string& socketPath, std::string_view payload,
                                          int timeoutMs) {
  if (socketPath.size() > kMaxSocketPath || payload.size() > kMaxFramePayload)
    return TInstanceSendResult::NoListener;
  int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return TInstanceSendResult::NoListener;
  struct TClose {
    int fd;
    ~TClose() { ::close(fd); }
  } closer{fd};
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, socketPath.data(), socketPath.size());
  int r;
  do r = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  while (r != 0 && errno == EINTR);
  if (r != 0) return TInstanceSendResult::NoListener;
  if (!SendAll(fd, EncodeInstanceFrame(payload).data(), payload.size() + 4))
    return TInstanceSendResult::NoAnswer;

  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now())
            .count();
    if (left <= 0) return TInstanceSendResult::NoAnswer;
    pollfd p{fd, POLLIN, 0};
    int n = ::poll(&p, 1, static_cast<int>(left));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return TInstanceSendResult::NoAnswer;
    char answer = 0;
    ssize_t got = ::recv(fd, &answer, 1, 0);
    if (got < 0 && errno == EINTR) continue;
    return got == 1 && answer == kAnswerByte ? TInstanceSendResult::Delivered : TInstanceSendResult::NoAnswer;
  }
}

TInstanceSendResult HandOverToRunningInstance(const std::string& socketPath, std::string_view payload,
                                              int waitMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
  for (;;) {
    TInstanceSendResult result = SendToRunningInstance(socketPath, payload, waitMs);
    if (result != TInstanceSendResult::NoListener || std::chrono::steady_clock::now() >= deadline)
      return result;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

}  // namespace quillmar
