#include "shellext/CmlDelivery.h"

#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "core/qmHandOver.h"
#include "platform/DesktopLauncher.h"
#include "platform/FileManagerManifest.h"
#include "platform/HomeFolder.h"
#include "platform/InstanceChannel.h"
#include "shellext/CmlProcess.h"

namespace quillmar {

namespace fs = std::filesystem;

namespace {

class TReporter {
public:
  explicit TReporter(std::ostream& err) : err_(err), terminal_(::isatty(STDERR_FILENO) == 1) {}

  // A file left out: reported now, notified with the others at the end.
  void Warn(const std::string& message) {
    err_ << "quillmar-cml: " << message << "\n";
    if (!pending_.empty()) pending_ += "\n";
    pending_ += message;
  }

  int Fail(const std::string& message, bool alwaysNotify = false) {
    err_ << "quillmar-cml: " << message << "\n";
    if (!pending_.empty()) pending_ += "\n";
    pending_ += message;
    Flush(alwaysNotify);
    return 1;
  }

  int Succeed() {
    Flush(false);
    return 0;
  }

private:
  void Flush(bool alwaysNotify) {
    if (!pending_.empty() && (alwaysNotify || !terminal_)) NotifyDesktop(pending_);
    pending_.clear();
  }

  std::ostream& err_;
  bool terminal_;
  std::string pending_;
};

std::string RecordedProgram() {
  try {
    TFileManagerManifest manifest;
    if (ReadFileManagerManifest(FileManagerManifestPath(), manifest)) return manifest.Program;
  } catch (const std::exception&) {
    // An unreadable manifest only means no recorded program.
  }
  return {};
}

}  // namespace

int RunHandOver(const TCmlArguments& arguments, std::ostream& err) {
  TReporter report(err);
  std::string home;
  try {
    home = ResolveHomeFolder(arguments.Home);
  } catch (const std::exception& e) {
    return report.Fail(e.what());
  }

  int command = arguments.Command;
  if (!arguments.LockInto.empty()) {
    const std::vector<std::string> safes = SafeNamesIn(home);
    const auto at = std::find(safes.begin(), safes.end(), arguments.LockInto);
    if (at == safes.end())
      return report.Fail("There is no Safe \"" + arguments.LockInto + "\" in " + home +
                         " (it was renamed or deleted); nothing was handed over.");
    command = kHandOverLockInto + static_cast<int>(at - safes.begin());
  }

  std::error_code ec;
  const std::string current = fs::current_path(ec).string();
  if (ec)
    return report.Fail("The current folder cannot be read (" + ec.message() + "); nothing was handed over.");
  THandOverPaths prepared = PrepareHandOverPaths(arguments.Files, current);
  for (const std::string& refusal : prepared.Refusals) report.Warn(refusal);
  std::vector<std::string> paths;
  for (std::string& path : prepared.Paths) {
    std::error_code typeError;
    if (fs::is_directory(path, typeError))
      report.Warn(path + " was left out: it is a folder, and only files can be sent or locked.");
    else
      paths.push_back(std::move(path));
  }
  if (paths.empty()) return report.Fail("No file was handed over to Brelkan Quillmar II.");

  std::string socketPath;
  try {
    socketPath = InstanceSocketPath(home);
  } catch (const std::exception& e) {
    return report.Fail(e.what());
  }
  switch (SendToRunningInstance(socketPath, HandOverText(command, paths), kAnswerWaitMs)) {
    case TInstanceSendResult::Delivered:
      return report.Succeed();
    case TInstanceSendResult::NoAnswer:
      return report.Fail(
          "Brelkan Quillmar II is running but did not answer within 5 seconds; the files may "
          "not have been handed over. Try again once it responds.");
    case TInstanceSendResult::NoListener:
      break;
  }

  // No copy runs: start one with the files.
  bool explicitOk = true;
  const std::string program = FindProgram(arguments.Program, RecordedProgram(), explicitOk);
  if (!explicitOk)
    return report.Fail("The program " + arguments.Program +
                       " given with --program is not an executable file.");
  if (program.empty()) return report.Fail(kMsgProgramNotFound, true);
  const std::string argument = StartArgument(command, paths);
  if (argument.size() >= kMaxArgumentBytes)
    return report.Fail("Brelkan Quillmar II is not running, and the " + std::to_string(paths.size()) +
                       " files are too many to start it with (the names take " +
                       std::to_string(argument.size()) + " bytes; at most " +
                       std::to_string(kMaxArgumentBytes - 1) +
                       " fit). Start Brelkan Quillmar II first, or choose fewer files.");
  std::vector<std::string> argv{program};
  if (!arguments.Home.empty()) {
    argv.push_back("--home");
    argv.push_back(home);
  }
  argv.push_back(argument);
  if (!LaunchDetached(argv))
    return report.Fail("Brelkan Quillmar II (" + program +
                       ") could not be started; nothing was handed over.");
  return report.Succeed();
}

}  // namespace quillmar
