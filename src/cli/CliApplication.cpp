#include "cli/CliApplication.h"

#include "cli/CliArguments.h"
#include "cli/CliCommandTable.h"
#include "cli/CliContext.h"
#include "cli/CliError.h"
#include "core/qmGlobal.h"

namespace quillmar {

TCliApplication::TCliApplication(std::ostream& out, std::ostream& err, int inputFd)
    : out_(out), err_(err), inputFd_(inputFd) {}

int TCliApplication::Run(const std::vector<std::string>& args) {
  TCliConsole console(out_, err_);
  try {
    TCliArguments a = TCliArguments::Parse(args);
    if (a.version) {
      console.Line("quillmar-cli " + TqmGlobal::ProgramVersionText());
      return kExitOk;
    }
    if (a.help) {
      out_ << (a.command ? CliCommandUsage(*a.command) : CliProgramUsage());
      return kExitOk;
    }
    const TCliHandler run = a.command->run;
    TCliContext context(std::move(a), console, inputFd_);
    const int code = run(context);
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
