#include "cli/CliPasswordReader.h"

#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

#include "base/SecretMemory.h"
#include "base/SecureWipe.h"
#include "cli/CliError.h"

namespace quillmar {

namespace {

// The terminal state to put back when a signal ends the program while echo is off. Only one
// password is read at a time, so one slot is enough.
struct termios gSavedTerminal;
volatile sig_atomic_t gEchoOffFd = -1;

extern "C" void RestoreTerminalAndReraise(int sig) {
  if (gEchoOffFd >= 0) tcsetattr(gEchoOffFd, TCSAFLUSH, &gSavedTerminal);
  std::signal(sig, SIG_DFL);
  std::raise(sig);
}

// Turns echo off on a terminal for its lifetime.
class TEchoOff {
public:
  explicit TEchoOff(int fd) : fd_(fd) {
    if (tcgetattr(fd_, &saved_) != 0) return;
    struct termios quiet = saved_;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    quiet.c_lflag |= ECHONL;
    gSavedTerminal = saved_;
    gEchoOffFd = fd_;
    oldInt_ = std::signal(SIGINT, RestoreTerminalAndReraise);
    oldTerm_ = std::signal(SIGTERM, RestoreTerminalAndReraise);
    oldHup_ = std::signal(SIGHUP, RestoreTerminalAndReraise);
    active_ = tcsetattr(fd_, TCSAFLUSH, &quiet) == 0;
  }
  ~TEchoOff() {
    if (active_) tcsetattr(fd_, TCSAFLUSH, &saved_);
    if (gEchoOffFd == fd_) {
      gEchoOffFd = -1;
      std::signal(SIGINT, oldInt_);
      std::signal(SIGTERM, oldTerm_);
      std::signal(SIGHUP, oldHup_);
    }
  }
  TEchoOff(const TEchoOff&) = delete;
  TEchoOff& operator=(const TEchoOff&) = delete;

private:
  int fd_;
  struct termios saved_ {};
  bool active_ = false;
  void (*oldInt_)(int) = SIG_DFL;
  void (*oldTerm_)(int) = SIG_DFL;
  void (*oldHup_)(int) = SIG_DFL;
};

}  // namespace

TCliPasswordReader::TCliPasswordReader(int fd, std::ostream& prompts)
    : fd_(fd), prompts_(prompts), interactive_(isatty(fd) == 1) {}

bool TCliPasswordReader::ReadLine(std::string& line) {
  WipeString(line);
  // Collected in secret memory (locked, wiped as it grows) and copied out once, so that no partial
  // copies of a password are left in freed memory.
  TSecretChars typed;
  typed.reserve(256);
  bool gotAny = false;
  for (;;) {
    char c;
    const ssize_t n = ::read(fd_, &c, 1);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    gotAny = true;
    if (c == '\n') break;
    typed.push_back(c);
  }
  if (!typed.empty() && typed.back() == '\r') typed.pop_back();
  line.assign(typed.data(), typed.size());
  SecureWipe(typed.data(), typed.size());
  return gotAny;
}

std::string TCliPasswordReader::Read(const std::string& prompt, const std::string& what) {
  std::string line;
  bool got;
  if (interactive_) {
    prompts_ << prompt << std::flush;
    TEchoOff quiet(fd_);
    got = ReadLine(line);
  } else {
    got = ReadLine(line);
  }
  if (!got) {
    WipeString(line);
    throw UsageError("no " + what + " given: standard input ended before it (give one line per password)");
  }
  return line;
}

std::string TCliPasswordReader::ReadNew(const std::string& prompt, const std::string& confirmPrompt,
                                        const std::string& what) {
  std::string first = Read(prompt, what);
  if (!interactive_) return first;
  std::string second = Read(confirmPrompt, what);
  const bool same = first == second;
  WipeString(second);
  if (!same) {
    WipeString(first);
    throw UsageError("the two entries of the " + what + " differ; nothing was changed");
  }
  return first;
}

std::string TCliPasswordReader::ReadAnswer(const std::string& prompt) {
  prompts_ << prompt << std::flush;
  std::string line;
  ReadLine(line);
  return line;
}

}  // namespace quillmar
