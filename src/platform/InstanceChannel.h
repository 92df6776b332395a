#pragma once
// The channel between copies of the desktop program: only one copy runs per user and home folder.
// The first copy holds the run lock for its whole life and listens on a local socket; a later copy
// (or the file-manager helper quillmar-cml) finds the lock taken, connects to the socket, sends one
// frame and waits for the one-byte answer before it ends.
//
// Names: both files are derived from "Brelkan Quillmar II", the user id and the canonical home
// folder, so copies for different home folders (tests, a second set of Safes) never meet. They live
// in $XDG_RUNTIME_DIR when that is a private folder of the user, else in /tmp/quillmar-<uid>, a 0700
// folder of the user made when missing (a folder there that belongs to someone else, or that others
// can enter, is refused).
//
// Frame: a 4-byte big-endian byte count, then that many bytes (at most kMaxFramePayload). The
// payload is kRestoreMessage ("bring the running copy to the front") or a received-files text as
// the command line carries it ("/rf:[3][1]/home/alice/a.txt|"). The listener answers kAnswerByte at
// once, before it does anything with the payload.
//
// The lock is an advisory lock on the lock file (flock): the system drops it when the process ends,
// however it ends, so a copy that crashed never blocks the next start; the socket file it left
// behind is removed by the next first copy before it listens.
//
// Plain POSIX; no part of this needs a display.
#include <cstdint>
#include <string>
#include <string_view>

namespace quillmar {

inline constexpr char kInstanceName[] = "Brelkan Quillmar II";
inline constexpr char kRestoreMessage[] = "qvt-restore";
inline constexpr char kAnswerByte = 1;
inline constexpr uint32_t kMaxFramePayload = 1u << 20;

// The folder of the socket and lock files (see the top). Creates /tmp/quillmar-<uid> when it is
// needed. Throws EQuillmarError when no private folder can be had.
std::string InstanceFolder();

// "<folder>/brelkan-quillmar-ii-<uid>-<16 hex digits>" with ".sock" or ".lock". homeFolder is made
// canonical first (symbolic links resolved as far as the path exists), so two spellings of one
// folder give the same names.
std::string InstanceSocketPath(const std::string& homeFolder);
std::string InstanceLockPath(const std::string& homeFolder);

// The frame around a payload. Throws EQuillmarError for a payload longer than kMaxFramePayload.
std::string EncodeInstanceFrame(std::string_view payload);

// Takes frames out of a byte stream as it arrives in pieces.
class TInstanceFrameReader {
public:
  void Feed(const char* data, size_t size);
  // The next whole frame's payload; false while none is complete.
  bool Take(std::string& payload);
  // A count above kMaxFramePayload was read: the stream is not ours and must be dropped.
  bool Broken() const { return broken_; }

private:
  std::string buffer_;
  bool broken_ = false;
};

// The run lock of one home folder: the first copy holds it for its whole run.
class TInstanceLock {
public:
  TInstanceLock() = default;
  ~TInstanceLock();
  TInstanceLock(const TInstanceLock&) = delete;
  TInstanceLock& operator=(const TInstanceLock&) = delete;

  // Takes the lock without waiting. False when another process holds it. Throws EQuillmarError
  // when the lock file cannot be opened at all.
  bool TryAcquire(const std::string& lockPath);
  bool Held() const { return fd_ >= 0; }
  void Release();

private:
  int fd_ = -1;
};

enum class TInstanceSendResult {
  Delivered,   // the running copy answered
  NoListener,  // nothing listens on the socket (no copy runs, or it has not started listening yet)
  NoAnswer,    // connected, but no answer came in time
};

// Connects to the socket, sends the payload as one frame and waits up to timeoutMs for the answer
// byte. Never throws.
TInstanceSendResult SendToRunningInstance(const std::string& socketPath, std::string_view payload,
                                          int timeoutMs);

// What a later copy does: tries SendToRunningInstance until it is delivered, or until waitMs have
// passed while nothing listens (the first copy may hold the lock but not listen yet).
TInstanceSendResult HandOverToRunningInstance(const std::string& socketPath, std::string_view payload,
                                              int waitMs);

}  // namespace quillmar
