#include "cli/CliApplication.h"

#include <functional>
#include <map>

#include "cli/CliArguments.h"
#include "cli/CliCommands.h"
#include "cli/CliError.h"

namespace quillmar {

namespace {

const std::map<std::string, std::function<int(TCliContext&)>>& Handlers() {
  static const std::map<std::string, std::function<int(TCliContext&)>> handlers = {
      {"safes", RunSafes},
      {"create", RunCreate},
      {"delete", RunDelete},
      {"check", RunCheck},
      {"ls", RunLs},
      {"show", RunShow},
      {"add", RunAdd},
      {"edit", RunEdit},
      {"rm", RunRm},
      {"mkcat", RunMkcat},
      {"rmcat", RunRmcat},
      {"mv", RunMv},
      {"search", RunSearch},
      {"files", RunFiles},
      {"lock", RunLock},
      {"unlock", RunUnlock},
      {"mkdir", RunMkdir},
      {"rename", RunRename},
      {"rmfile", RunRmfile},
      {"reminders", RunReminders},
      {"cryptomail", RunCryptoMail},
      {"passwd", RunPasswd},
      {"repair", RunRepair},
      {"backup", RunBackup},
      {"restore", RunRestore},
      {"export", RunExport},
  };
  return handlers;
}

}  // namespace

TCliApplication::TCliApplication(std::ostream& out, std::ostream& err, int inputFd)
    : out_(out), err_(err), inputFd_(inputFd) {}

int TCliApplication::Run(const std::vector<std::string>& args) {
  TCliConsole console(out_, err_);
  try {
    TCliArguments a = TCliArguments::Parse(args);
    if (a.version) {
      console.Line("quillmar-cli 2.0.0");
      return kExitOk;
    }
    if (a.help) {
      out_ << (a.command ? CliCommandUsage(*a.command) : CliProgramUsage());
      return kExitOk;
    }
    auto handler = Handlers().find(a.command->name);
    if (handler == Handlers().end())
      throw Failure("the command " + a.command->name + " is not available yet");
    TCliContext context(std::move(a), console, inputFd_);
    const int code = handler->second(context);
    context.Prompter().Flush();
    out_.flush();
    return code;
  } catch (const ECliError& e) {
    out_.flush();
    console.Error(e.what());
    return e.Code();
  } catch (const std::exception& e) {
    out_.flush();
    console.Error(std::string("failed: ") + OneLine(console, e.what()));
    return kExitFailure;
  }
}

}  // namespace quillmar
