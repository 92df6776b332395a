#include "shellext/CmlProgram.h"

#include "shellext/ActionInstaller.h"
#include "shellext/CmlArguments.h"
#include "shellext/CmlDelivery.h"

namespace quillmar {

int RunCml(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
  TCmlArguments parsed;
  std::string error;
  if (!ParseCmlArguments(arguments, parsed, error)) {
    err << "quillmar-cml: " << error << " See quillmar-cml --help.\n";
    return 2;
  }
  switch (parsed.Mode) {
    case TCmlArguments::TMode::Help:
      out << CmlUsageText();
      return 0;
    case TCmlArguments::TMode::HandOver:
      return RunHandOver(parsed, err);
    case TCmlArguments::TMode::Install:
      return InstallActions({parsed.Only, parsed.Home, parsed.Program}, out, err);
    case TCmlArguments::TMode::Uninstall:
      return UninstallActions(out, err);
    case TCmlArguments::TMode::Refresh:
      return RefreshActions(out, err, true);
    case TCmlArguments::TMode::Status:
      return ShowActionStatus(out, err);
  }
  return 2;
}

}  // namespace quillmar
