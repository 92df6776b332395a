#include "cli/CliContext.h"

#include <filesystem>

#include "base/SecureWipe.h"
#include "cli/CliError.h"
#include "container/SingleFileSystem.h"
#include "core/qmLoginRules.h"
#include "platform/HomeFolder.h"

namespace quillmar {

namespace fs = std::filesystem;

TCliContext::TCliContext(TCliArguments args, TCliConsole& console, int inputFd)
    : args_(std::move(args)),
      console_(console),
      reader_(inputFd, console.Err()),
      prompter_(console, reader_) {
  prompter_.SetAssumeYes(args_.Has("--yes"));
  prompter_.SetAllowCostlyDerivation(args_.allowCostlyDerivation);
  TqmGlobal::SetBusyTimeout(std::chrono::milliseconds(int64_t(args_.wait.value_or(5.0) * 1000.0 + 0.5)));
}

TCliContext::~TCliContext() = default;

TqmGlobal& TCliContext::Global() {
  if (!global_) {
    std::string home;
    try {
      home = ResolveHomeFolder(args_.home.value_or(""));
      global_ = std::make_unique<TqmGlobal>(home, std::vector<std::string>{"quillmar-cli"}, &prompter_);
    } catch (const EQuillmarError& e) {
      throw Failure(std::string("the home folder cannot be used: ") + e.what());
    }
  }
  return *global_;
}

void TCliContext::CheckSafeName(const std::string& name) {
  if (name.empty()) throw UsageError("a Safe's name must not be empty");
  if (name.find('/') != std::string::npos || name.find('\\') != std::string::npos)
    throw UsageError("\"" + name + "\" is not a Safe name: give the name only, without folder (see --home)");
  if (name[0] == '.') throw UsageError("a Safe's name must not start with \".\"");
  if (name.size() > 4 && name.compare(name.size() - 4, 4, TqmGlobal::kSafeExtension) == 0)
    throw UsageError("give the Safe's name without \".qvt\": \"" + name.substr(0, name.size() - 4) + "\"");
}

std::string TCliContext::SafeFile(const std::string& name) {
  CheckSafeName(name);
  return Global().SafeFile(name);
}

void TCliContext::RequireSafe(const std::string& name) {
  const std::string file = SafeFile(name);
  for (const std::string& notice : TqmSFSWrapper::RecoverLeftovers(file))
    prompter_.ShowMessage(TqmPrompter::TMessageKind::Information, "", notice);
  std::error_code ec;
  if (!fs::is_regular_file(file, ec)) {
    // A journal whose Safe is gone is not left unnoticed.
    const std::string journal = TSingleFileSystem::DescribeJournal(file);
    throw Failure("there is no Safe \"" + name + "\" in " + Global().HomeFolder() +
                  " (see \"quillmar-cli safes\", or give --home)" +
                  (journal.empty() ? std::string() : "; but its " + journal));
  }
}

void TCliContext::OpenSafe(const std::string& name, bool readOnly, std::string* keepPassword,
                           bool salvageJournal) {
  RequireSafe(name);
  const std::string file = SafeFile(name);
  std::string typed = reader_.Read("Master password for " + name + ": ", "master password");
  std::string password;
  try {
    password = console_.TakePassword(typed, true);
  } catch (...) {
    WipeString(typed);
    throw;
  }
  WipeString(typed);

  TqmGlobal& g = Global();
  // The repair: a journal that opening refuses as damaged is salvaged first, once the password is known
  // to be right; then the Safe is checked like any other.
  if (salvageJournal && TSingleFileSystem::HasDamagedJournal(file)) {
    std::vector<std::string> done;
    bool opens;
    try {
      const TTextKey key = g.TextKeyFor(file, password);
      opens = g.SalvageJournal(file, key, done);
    } catch (const ECostlyDerivation& e) {
      WipeString(password);
      throw Failure(CostlyRefusal(name, e.Derivation()));
    } catch (const std::exception& e) {
      WipeString(password);
      throw Failure("the damaged journal of the Safe \"" + name +
                    "\" cannot be used: " + OneLine(console_, e.what()));
    }
    if (!opens) {
      WipeString(password);
      throw ECliError(kExitWrongPassword, "wrong master password for the Safe \"" + name + "\"");
    }
    for (const std::string& line : done) console_.Line("journal: " + OneLine(console_, line));
  }
  // The Safe's key is derived once (about half a second for a hardened Safe), then checked and opened
  // with; the password itself is not kept.
  login::TOpenCheck check;
  // The check's container is the one opened below (the directory is read once per command).
  g.Wrapper().KeepCheckedContainer(true);
  try {
    check = login::CheckSafeByPassword(g, file, password, readOnly);
  } catch (const std::exception& e) {
    WipeString(password);
    throw Failure("the Safe \"" + name + "\" cannot be checked: " + e.what());
  }
  if (keepPassword) *keepPassword = password;
  WipeString(password);
  if (check.costly) throw Failure(CostlyRefusal(name, *check.costly));
  switch (check.code) {
    case TqmSFSWrapper::csUsable:
      break;
    case TqmSFSWrapper::csWrongPassword:
      throw ECliError(kExitWrongPassword, "wrong master password for the Safe \"" + name + "\"");
    case TqmSFSWrapper::csNotContainer:
      throw Failure(file + " is not a Safe file (or it is damaged)");
    default:
      throw Failure("the Safe \"" + name + "\" cannot be opened: " +
                    (check.reason.empty() ? ReasonOr("another program may hold it open")
                                          : OneLine(console_, check.reason)));
  }
  const TTextKey key = check.key;
  try {
    g.OpenSafeByName(name, key, readOnly);
  } catch (const std::exception& e) {
    throw Failure("the Safe \"" + name + "\" cannot be opened: " + OneLine(console_, e.what()));
  }
}

std::string TCliContext::CostlyRefusal(const std::string& name, const TKeyDerivation& derivation) {
  return "the Safe \"" + name + "\" was not opened: its key derivation asks for " + derivation.CostText() +
         ", more than quillmar-cli ever uses (at most " +
         std::to_string(TKeyDerivation::UsualMaxMemoryKiB / (1024 * 1024)) + " GiB and " +
         std::to_string(TKeyDerivation::UsualMaxPasses) +
         " passes); the file was made elsewhere or changed, and opening it could take minutes and that much "
         "memory. If you trust the file, add --allow-costly-derivation";
}

void TCliContext::Confirm(const std::string& questionUtf8, const std::string& refusedWhat) {
  if (args_.Has("--yes")) return;
  if (!reader_.Interactive())
    throw Failure(refusedWhat + ": nobody can be asked \"" + questionUtf8 + "\" (add --yes to confirm)");
  std::string answer = reader_.ReadAnswer(questionUtf8 + " [y/N] ");
  for (auto& c : answer) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (answer != "y" && answer != "yes") throw Failure(refusedWhat + ": not confirmed");
}

std::string TCliContext::ReasonOr(const std::string& fallback) {
  auto notices = prompter_.TakeNotices();
  if (!notices.empty()) return notices.back();
  if (!prompter_.Unanswered().empty())
    return "nobody can be asked \"" + prompter_.Unanswered() + "\" (add --yes to answer yes)";
  if (!prompter_.Declined().empty()) return "answered no to \"" + prompter_.Declined() + "\"";
  return fallback;
}

}  // namespace quillmar
