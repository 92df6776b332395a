#pragma once
// What the tests of quillmar-cml share: a private desktop (home folder with Safes, XDG folders, a
// runtime folder for the instance socket, a folder of fake helper programs first in PATH), a fake
// running program on the instance socket, a recording fake program for starts, running the built
// quillmar-cml, and the parsers the file managers apply to the commands we write.
#include <sys/types.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "support/ScopedEnv.h"
#include "support/TempDir.h"

namespace quillmar::test {

// The running program's end of the instance socket: records every frame's payload and answers it
// (or stays silent).
class TFakeInstance {
public:
  TFakeInstance(const std::string& socketPath, bool answer);
  ~TFakeInstance();
  TFakeInstance(const TFakeInstance&) = delete;
  TFakeInstance& operator=(const TFakeInstance&) = delete;
  std::vector<std::string> Payloads();

private:
  void Serve();
  int fd_ = -1;
  bool answer_;
  std::string path_;
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::vector<std::string> payloads_;
  std::thread thread_;
};

struct TRunResult {
  int Status = -1;
  std::string Out;
  std::string Err;
};

// A desktop of its own for one test; the environment is set in this process (children inherit it)
// and put back afterwards.
class TCmlDesktop {
public:
  TCmlDesktop();
  const std::string& Root() const { return root_; }
  std::string Home() const { return root_ + "/home/"; }  // the program's home folder
  std::string Data() const { return root_ + "/data"; }
  std::string Config() const { return root_ + "/config"; }
  std::string FakeBin() const { return root_ + "/bin"; }
  std::string Files() const { return root_ + "/files"; }  // where the test's files lie
  std::string SocketPath() const;
  // The python3 of the test's own PATH (absolute), found before the fake bin folder came first.
  const std::string& RealPython() const { return realPython_; }

  void AddSafe(const std::string& name) const;
  // A file under Files() (folders made); its absolute path.
  std::string MakeFile(const std::string& relative, const std::string& content = "x") const;
  // From now on notifications are recorded as the calls of "notify-send" (else they are dropped).
  void RecordNotifications() const;
  // The fake python3 answers the install's question "is python3-nautilus there?" with yes or no.
  void SetNautilusPython(bool present) const;
  // A recording program: each start writes its arguments (NUL-ended) to Recording(name).
  std::string MakeRecorder(const std::string& name) const;
  std::string Recording(const std::string& name) const { return root_ + "/" + name + ".calls"; }
  // The arguments a recorder was started with, waiting up to 30 s for its start; empty when none.
  std::vector<std::string> WaitForCall(const std::string& name) const;

  // Runs argv (argv[0] a path) in cwd (the current folder when empty) and waits for it.
  TRunResult Run(const std::vector<std::string>& argv, const std::string& cwd = {}) const;
  TRunResult Cml(const std::vector<std::string>& arguments, const std::string& cwd = {}) const;

private:
  TempDir dir_;
  std::string root_;
  std::string realPython_;
  std::vector<std::unique_ptr<TScopedEnv>> env_;
};

// The payload the program would get for these paths, by hand: "\"[command][count]p|...\"".
std::string ExpectedHandOver(int command, const std::vector<std::string>& paths);

// --- How the file managers read commands -----------------------------------------------------------
// GLib's g_shell_parse_argv (Nemo's Exec, Thunar's command): blanks split; single quotes keep all;
// in double quotes a backslash escapes only $ ` " \ and a line break; no expansion.
std::vector<std::string> GShellSplit(const std::string& line);
// The Desktop Entry Exec rules (Dolphin, "Open with"): double quotes with backslash escapes of
// " ` $ \; the words; "%%" is "%".
std::vector<std::string> DesktopExecSplit(const std::string& line);
// The string escapes of a key file value (\\ \s \n \t \r).
std::string KeyFileUnescape(const std::string& value);
// A key's value in the section of a key file; "" when missing.
std::string KeyFileValue(const std::string& text, const std::string& section, const std::string& key);
std::string XmlUnescape(const std::string& text);
// g_filename_to_uri: file:// and the path with everything but the unreserved and "!$&'()*+,;=:@/"
// percent-escaped.
std::string FileUri(const std::string& path);

}  // namespace quillmar::test
