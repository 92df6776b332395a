// The instance channel: names, frames, the run lock and the client against a plain socket server.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>

#include "platform/InstanceChannel.h"
#include "support/TempDir.h"

namespace quillmar {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

class TScopedEnv {
public:
  TScopedEnv(const char* name, const std::string* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old, had_ = true;
    if (value)
      ::setenv(name, value->c_str(), 1);
    else
      ::unsetenv(name);
  }
  ~TScopedEnv() {
    if (had_)
      ::setenv(name_.c_str(), old_.c_str(), 1);
    else
      ::unsetenv(name_.c_str());
  }

private:
  std::string name_, old_;
  bool had_ = false;
};

// A listening socket served by a thread: answers each whole frame with answer (or never, when
// answer is 0) and keeps the payloads it got.
class TTestListener {
public:
  TTestListener(const std::string& path, char answer) : answer_(answer) {
    fd_ = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    std::strncpy(a.sun_path, path.c_str(), sizeof a.sun_path - 1);
    EXPECT_EQ(::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a), 0) << std::strerror(errno);
    EXPECT_EQ(::listen(fd_, 4), 0);
    thread_ = std::thread([this] {
      int c = ::accept(fd_, nullptr, nullptr);
      if (c < 0) return;
      TInstanceFrameReader reader;
      char buf[1000];
      std::string payload;
      ssize_t n;
      while ((n = ::read(c, buf, sizeof buf)) > 0) {
        reader.Feed(buf, size_t(n));
        if (reader.Take(payload)) {
          received = payload;
          if (answer_ != 0) (void)!::write(c, &answer_, 1);
          break;
        }
      }
      // Holds the connection a while for the client that waits in vain.
      if (answer_ == 0) std::this_thread::sleep_for(std::chrono::milliseconds(600));
      ::close(c);
    });
  }
  ~TTestListener() {
    ::shutdown(fd_, SHUT_RDWR);
    thread_.join();
    ::close(fd_);
  }
  std::string received;

private:
  int fd_;
  char answer_;
  std::thread thread_;
};

TEST(InstanceChannel, NamesComeFromTheUserAndTheCanonicalHomeAndLiveInAPrivateRuntimeFolder) {
  TempDir dir;
  const std::string runtime = dir.file("run");
  fs::create_directories(runtime);
  fs::permissions(runtime, fs::perms::owner_all, fs::perm_options::replace);
  TScopedEnv env("XDG_RUNTIME_DIR", &runtime);
  fs::create_directories(dir.file("home"));
  fs::create_symlink(dir.file("home"), dir.file("link"));

  const std::string socket = InstanceSocketPath(dir.file("home"));
  EXPECT_EQ(fs::path(socket).parent_path(), fs::path(runtime));
  EXPECT_EQ(fs::path(socket).extension(), ".sock");
  EXPECT_NE(fs::path(socket).filename().string().find("brelkan-quillmar-ii-" + std::to_string(::getuid())),
            std::string::npos);
  // Other spellings of the same folder meet; another folder does not.
  EXPECT_EQ(InstanceSocketPath(dir.file("home") + "/"), socket);
  EXPECT_EQ(InstanceSocketPath(dir.file("link")), socket);
  EXPECT_EQ(InstanceSocketPath(dir.file("home") + "/../home"), socket);
  EXPECT_NE(InstanceSocketPath(dir.file("other")), socket);
  EXPECT_EQ(fs::path(InstanceLockPath(dir.file("home"))).replace_extension(".sock").string(), socket);
}

TEST(InstanceChannel, AnOpenRuntimeFolderIsNotUsed) {
  TempDir dir;
  const std::string runtime = dir.file("run");
  fs::create_directories(runtime);
  fs::permissions(runtime, fs::perms::owner_all | fs::perms::others_exec, fs::perm_options::replace);
  TScopedEnv env("XDG_RUNTIME_DIR", &runtime);
  const std::string socket = InstanceSocketPath(dir.file("home"));
  EXPECT_EQ(fs::path(socket).parent_path(), fs::path("/tmp/quillmar-" + std::to_string(::getuid())));
  struct stat st;
  ASSERT_EQ(::lstat(fs::path(socket).parent_path().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  TScopedEnv none("XDG_RUNTIME_DIR", nullptr);
  EXPECT_EQ(InstanceSocketPath(dir.file("home")), socket);
}

TEST(InstanceChannel, FramesArriveWholeFromAnyPiecesAndForeignStreamsAreDropped) {
  const std::string hand = "/rf:[3][2]/home/al ice/a.txt|/tmp/b|";
  std::string stream =
      EncodeInstanceFrame(kRestoreMessage) + EncodeInstanceFrame(hand) + EncodeInstanceFrame("");
  TInstanceFrameReader reader;
  std::vector<std::string> got;
  std::string payload;
  for (char c : stream) {
    reader.Feed(&c, 1);
    while (reader.Take(payload)) got.push_back(payload);
  }
  EXPECT_EQ(got, (std::vector<std::string>{kRestoreMessage, hand, ""}));
  EXPECT_FALSE(reader.Broken());

  TInstanceFrameReader foreign;
  foreign.Feed("GET / HTTP/1.1\r\n", 16);
  EXPECT_FALSE(foreign.Take(payload));
  EXPECT_TRUE(foreign.Broken());
  EXPECT_THROW(EncodeInstanceFrame(std::string(kMaxFramePayload + 1, 'x')), std::exception);
}

TEST(InstanceChannel, TheRunLockIsHeldByOneAtATimeAndFreedWithItsHolder) {
  TempDir dir;
  const std::string path = dir.file("run.lock");
  TInstanceLock first;
  ASSERT_TRUE(first.TryAcquire(path));
  TInstanceLock second;
  EXPECT_FALSE(second.TryAcquire(path));
  EXPECT_FALSE(second.Held());
  first.Release();
  EXPECT_TRUE(second.TryAcquire(path));

  // A process that ends (however it ends) drops its lock.
  second.Release();
  pid_t child = ::fork();
  if (child == 0) {
    TInstanceLock held;
    held.TryAcquire(path);
    ::_exit(held.Held() ? 0 : 1);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_TRUE(first.TryAcquire(path));
}

TEST(InstanceChannel, TheClientDeliversWaitsForTheAnswerAndTellsAStaleSocketFromASilentOne) {
  TempDir dir;
  const std::string path = dir.file("s.sock");
  EXPECT_EQ(SendToRunningInstance(path, kRestoreMessage, 200), TInstanceSendResult::NoListener);
  {
    TTestListener listener(path, kAnswerByte);
    EXPECT_EQ(SendToRunningInstance(path, "/rf:[3][1]/tmp/x y|", 2000), TInstanceSendResult::Delivered);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(listener.received, "/rf:[3][1]/tmp/x y|");
  }
  // The listener is gone but its socket file is still there (as after a crash).
  ASSERT_TRUE(fs::exists(path));
  auto t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(SendToRunningInstance(path, kRestoreMessage, 2000), TInstanceSendResult::NoListener);
  EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(500));
  fs::remove(path);
  {
    TTestListener silent(path, 0);
    t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(SendToRunningInstance(path, kRestoreMessage, 200), TInstanceSendResult::NoAnswer);
    EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(190));
  }
  fs::remove(path);
  {
    TTestListener wrong(path, 'x');
    EXPECT_EQ(SendToRunningInstance(path, kRestoreMessage, 2000), TInstanceSendResult::NoAnswer);
  }
}

}  // namespace
}  // namespace quillmar
