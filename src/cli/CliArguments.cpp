#include "cli/CliArguments.h"

#include <algorithm>
#include <cstdlib>

#include "cli/CliError.h"

namespace quillmar {

namespace {

std::string CommandHint(const TCliCommandDef* command) {
  return command ? " (see \"quillmar-cli " + command->name + " --help\")" : " (see \"quillmar-cli --help\")";
}

}  // namespace

std::optional<std::string> TCliArguments::Value(const std::string& option) const {
  auto it = options_.find(option);
  if (it == options_.end() || it->second.empty()) return std::nullopt;
  return it->second.back();
}

std::vector<std::string> TCliArguments::Values(const std::string& option) const {
  auto it = options_.find(option);
  return it == options_.end() ? std::vector<std::string>{} : it->second;
}

TCliArguments TCliArguments::Parse(const std::vector<std::string>& argv) {
  TCliArguments a;
  bool optionsEnded = false;
  bool helpCommand = false;  // "help COMMAND"

  for (size_t i = 0; i < argv.size(); ++i) {
    const std::string& arg = argv[i];
    const bool looksLikeOption = !optionsEnded && arg.size() > 1 && arg[0] == '-';
    if (!looksLikeOption) {
      if (!a.command && !helpCommand) {
        if (arg == "help") {
          helpCommand = true;
          a.help = true;
          continue;
        }
        a.command = FindCliCommand(arg);
        if (!a.command) throw UsageError("unknown command \"" + arg + "\"" + CommandHint(nullptr));
        continue;
      }
      if (helpCommand && !a.command) {
        a.command = FindCliCommand(arg);
        if (!a.command) throw UsageError("unknown command \"" + arg + "\"" + CommandHint(nullptr));
        continue;
      }
      a.args.push_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }

    std::string name = arg;
    std::optional<std::string> inlineValue;
    if (arg.rfind("--", 0) == 0) {
      const size_t eq = arg.find('=');
      if (eq != std::string::npos) {
        name = arg.substr(0, eq);
        inlineValue = arg.substr(eq + 1);
      }
    }
    auto takeValue = [&](const std::string& what) -> std::string {
      if (inlineValue) return *inlineValue;
      if (i + 1 >= argv.size())
        throw UsageError("option " + name + " needs " + what + CommandHint(a.command));
      return argv[++i];
    };

    // The program's own options.
    if (name == "--home") {
      a.home = takeValue("a folder");
      if (a.home->empty()) throw UsageError("option --home needs a folder, not an empty text");
      continue;
    }
    if (name == "--wait") {
      const std::string text = takeValue("a number of seconds");
      // A plain decimal number of seconds, at most a day (strtod would take "inf", "nan", hex).
      const bool plain = !text.empty() && text.size() <= 12 &&
                         text.find_first_not_of("0123456789.") == std::string::npos &&
                         std::count(text.begin(), text.end(), '.') <= 1 && text != ".";
      const double seconds = plain ? std::strtod(text.c_str(), nullptr) : -1;
      if (!plain || seconds > 86400)
        throw UsageError("option --wait needs a number of seconds from 0 to 86400, not \"" + text + "\"");
      a.wait = seconds;
      continue;
    }
    if (name == "--json" || name == "--help" || name == "-h" || name == "--version" ||
        name == "--allow-costly-derivation") {
      if (inlineValue) throw UsageError("option " + name + " takes no value");
      if (name == "--json")
        a.json = true;
      else if (name == "--allow-costly-derivation")
        a.allowCostlyDerivation = true;
      else if (name == "--version")
        a.version = true;
      else
        a.help = true;
      continue;
    }

    const TCliOptionDef* opt = a.command ? a.command->FindOption(name) : nullptr;
    if (!opt) {
      if (a.command)
        throw UsageError("command " + a.command->name + " has no option " + name + CommandHint(a.command));
      throw UsageError("unknown option " + name + CommandHint(nullptr));
    }
    auto& values = a.options_[opt->name];
    if (!values.empty() && !opt->repeatable)
      throw UsageError("option " + opt->name + " is given more than once" + CommandHint(a.command));
    if (opt->valueName.empty()) {
      if (inlineValue) throw UsageError("option " + opt->name + " takes no value");
      values.emplace_back();
    } else {
      values.push_back(takeValue(opt->valueName));
    }
  }

  if (a.help || a.version) return a;
  if (!a.command) throw UsageError("no command given" + CommandHint(nullptr));
  const int n = static_cast<int>(a.args.size());
  if (n < a.command->minArgs)
    throw UsageError("too few arguments for " + a.command->name + ": quillmar-cli " + a.command->name + " " +
                     a.command->arguments);
  if (a.command->maxArgs >= 0 && n > a.command->maxArgs)
    throw UsageError("too many arguments for " + a.command->name + ": unexpected \"" +
                     a.args[a.command->maxArgs] + "\"" + CommandHint(a.command));
  return a;
}

}  // namespace quillmar
