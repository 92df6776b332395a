#include "CliRunner.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <stdexcept>
#include <thread>

namespace quillmar::test {

namespace {

std::vector<char*> Argv(const std::vector<std::string>& args, std::vector<std::string>& store) {
  store.clear();
  store.push_back(CliProgram());
  store.insert(store.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& s : store) argv.push_back(s.data());
  argv.push_back(nullptr);
  return argv;
}

int ExitCode(int status) {
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace

std::string CliProgram() {
#ifdef QM_CLI_PROGRAM
  return QM_CLI_PROGRAM;
#else
  return "quillmar-cli";
#endif
}

TCliRun RunCli(const std::vector<std::string>& args, const std::string& input) {
  int in[2], out[2], err[2];
  if (pipe(in) || pipe(out) || pipe(err)) throw std::runtime_error("pipe failed");
  std::vector<std::string> store;
  auto argv = Argv(args, store);
  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    dup2(in[0], 0);
    dup2(out[1], 1);
    dup2(err[1], 2);
    for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) close(fd);
    execv(argv[0], argv.data());
    _exit(127);
  }
  close(in[0]);
  close(out[1]);
  close(err[1]);
  // Feed the input and drain both outputs together so that no pipe fills up.
  size_t written = 0;
  if (input.empty()) close(in[1]);
  TCliRun run;
  bool outOpen = true, errOpen = true, inOpen = !input.empty();
  while (outOpen || errOpen) {
    std::vector<pollfd> fds;
    if (outOpen) fds.push_back({out[0], POLLIN, 0});
    if (errOpen) fds.push_back({err[0], POLLIN, 0});
    if (inOpen) fds.push_back({in[1], POLLOUT, 0});
    if (poll(fds.data(), fds.size(), 30000) <= 0) break;
    for (const auto& p : fds) {
      if (!p.revents) continue;
      if (p.fd == in[1]) {
        const ssize_t n = write(in[1], input.data() + written, input.size() - written);
        if (n > 0) written += static_cast<size_t>(n);
        if (n <= 0 || written == input.size()) {
          close(in[1]);
          inOpen = false;
        }
        continue;
      }
      char buf[4096];
      const ssize_t n = read(p.fd, buf, sizeof buf);
      if (n <= 0) {
        (p.fd == out[0] ? outOpen : errOpen) = false;
        continue;
      }
      (p.fd == out[0] ? run.out : run.err).append(buf, static_cast<size_t>(n));
    }
  }
  if (inOpen) close(in[1]);
  close(out[0]);
  close(err[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  run.code = ExitCode(status);
  return run;
}

TCliRun RunCliOnTerminal(const std::vector<std::string>& args, const std::vector<std::string>& lines) {
  std::vector<std::string> store;
  auto argv = Argv(args, store);
  int master = -1;
  const pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
  if (pid < 0) throw std::runtime_error("forkpty failed");
  if (pid == 0) {
    execv(argv[0], argv.data());
    _exit(127);
  }
  TCliRun run;
  size_t next = 0;
  size_t seenPrompts = 0;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  for (;;) {
    pollfd p{master, POLLIN, 0};
    const int r = poll(&p, 1, 100);
    if (r > 0) {
      char buf[4096];
      const ssize_t n = read(master, buf, sizeof buf);
      if (n <= 0) break;  // the child closed the terminal
      run.out.append(buf, static_cast<size_t>(n));
    }
    // A prompt ends in ": " or "] "; answer each one with the next line.
    size_t prompts = 0;
    for (size_t i = 0; i + 1 < run.out.size(); ++i)
      if ((run.out[i] == ':' || run.out[i] == ']' || run.out[i] == '?') && run.out[i + 1] == ' ') ++prompts;
    if (prompts > seenPrompts && next < lines.size()) {
      seenPrompts = prompts;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));  // let the child turn echo off
      const std::string line = lines[next++] + "\r";
      if (write(master, line.data(), line.size()) < 0) break;
    }
    if (std::chrono::steady_clock::now() > deadline) {
      kill(pid, SIGKILL);
      break;
    }
  }
  close(master);
  int status = 0;
  waitpid(pid, &status, 0);
  run.code = ExitCode(status);
  return run;
}

}  // namespace quillmar::test
