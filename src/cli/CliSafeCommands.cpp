// The commands on the Safe as a whole: safes, create, delete, check, passwd, repair, backup, restore.
#include <filesystem>
#include <functional>
#include <optional>

#include "base/SecureWipe.h"
#include "cli/CliCommands.h"
#include "cli/CliError.h"
#include "cli/CliJsonWriter.h"
#include "container/KeyDerivationCost.h"
#include "container/SingleFileSystem.h"
#include "core/qmLoginRules.h"
#include "core/qmSafeCheck.h"
#include "safe/qmSFSWrapper.h"

namespace quillmar {

namespace fs = std::filesystem;

namespace {

// Wipes a password when the command is done with it, however it ends.
struct TSecret {
  std::string text;
  ~TSecret() { WipeString(text); }
};

// A new master password from the user, in the Safe's code page.
void ReadNewPassword(TCliContext& c, TSecret& out, const std::string& prompt) {
  TSecret typed;
  typed.text = c.Passwords().ReadNew(prompt, "Repeat the new master password: ", "new master password");
  if (typed.text.empty()) throw UsageError("the master password must not be empty; nothing was changed");
  out.text = c.Console().TakePassword(typed.text, false);
  // The desktop's rule for every new master password, with its message.
  if (const std::string problem = login::PasswordMinimumProblem(out.text); !problem.empty())
    throw UsageError(problem);
}

// A new hardened key made with a test cost (see container/KeyDerivationCost.h) protects little: say so.
void WarnOfTestCost(TCliContext& c, TqmSafeKind kind) {
  if (kind != TqmSafeKind::Hardened) return;
  try {
    if (!TestKdfCost()) return;
  } catch (const std::exception&) {
    return;  // a malformed value is refused with its message where the key is made
  }
  c.Console().Err() << "quillmar-cli: warning: " << kTestKdfCostVariable
                    << " is set: the Safe's key derivation uses a test cost that protects little\n";
}

// "kind: hardened (Argon2id, 64 MiB, 3 passes, 2 lanes)" or "kind: compatible (no key derivation)".
std::string KindLine(const TKeyDerivation& derivation) {
  return "kind: " + derivation.Describe();
}

const char* CheckMeaning(int code) {
  switch (code) {
    case TqmSFSWrapper::csUsable:
      return "usable";
    case TqmSFSWrapper::csNotContainer:
      return "not a Safe file";
    case TqmSFSWrapper::csWrongPassword:
      return "wrong password";
    case TqmSFSWrapper::csFileExists:
      return "a file of that name exists";
    default:
      return "the Safe cannot be opened";
  }
}

}  // namespace

int RunSafes(TCliContext& c) {
  const auto names = c.Global().SafeNames();
  if (c.Json()) {
    TCliJsonWriter w(c.Console().Out());
    w.BeginArray();
    for (const auto& n : names) w.String(n);
    w.EndArray();
    w.Finish();
  } else {
    for (const auto& n : names) c.Console().Line(n);
  }
  return kExitOk;
}

int RunCreate(TCliContext& c) {
  const std::string name = c.Arg(0);
  const std::string file = c.SafeFile(name);
  TqmGlobal& g = c.Global();
  if (g.CheckSafe(file, "", true) == TqmSFSWrapper::csFileExists)
    throw Failure("a Safe \"" + name + "\" exists already (" + file + "); nothing was changed");
  // The desktop's rules for a new Safe's name, with its messages (Safes made before keep opening).
  if (const std::string problem = login::SafeNameProblem(name); !problem.empty()) throw UsageError(problem);
  const TqmSafeKind kind = c.Args().Has("--compatible") ? TqmSafeKind::Compatible : TqmSafeKind::Hardened;
  TSecret password;
  ReadNewPassword(c, password, "New master password for " + name + ": ");
  g.SetDemoData(c.Args().Has("--demo"));
  WarnOfTestCost(c, kind);
  try {
    g.CreateSafe(file, password.text, kind);
  } catch (const std::exception& e) {
    throw Failure("the Safe \"" + name + "\" could not be created: " + OneLine(c.Console(), e.what()));
  }
  c.Console().Line("Created the Safe " + name + " (" + file + ")");
  return kExitOk;
}

int RunDelete(TCliContext& c) {
  const std::string name = c.Arg(0);
  c.RequireSafe(name);
  c.Confirm("Delete the Safe " + name + " with everything in it? This cannot be undone.",
            "the Safe \"" + name + "\" was not deleted");
  if (!c.Global().DeleteSafeFile(name))
    throw Failure("the Safe \"" + name +
                  "\" could not be deleted: " + c.ReasonOr("the file cannot be removed"));
  c.Console().Line("Deleted the Safe " + name);
  return kExitOk;
}

int RunCheck(TCliContext& c) {
  const std::string name = c.Arg(0);
  c.RequireSafe(name);
  const std::string file = c.SafeFile(name);
  TSecret typed, password;
  typed.text = c.Passwords().Read("Master password for " + name + ": ", "master password");
  // A journal beside the Safe is an interrupted change: what it holds is told before opening the Safe
  // rolls it back.
  const std::string journal = TSingleFileSystem::DescribeJournal(file);
  if (!journal.empty()) c.Console().Line(journal);
  int code;
  TTextKey key;
  std::optional<TKeyDerivation> derivation;
  std::string reason;
  try {
    password.text = c.Console().TakePassword(typed.text, true);
    // What an interrupted program left beside the Safe is dealt with first: a Safe put back from its
    // copy is then checked like any other. One derivation for the check and the deep check's open.
    login::TOpenCheck check = login::CheckSafeByPassword(c.Global(), file, password.text, true);
    WipeString(password.text);
    code = check.code;
    key = check.key;
    reason =
        check.costly ? TCliContext::CostlyRefusal(name, *check.costly) : OneLine(c.Console(), check.reason);
    if (code != TqmSFSWrapper::csNotContainer) {
      try {
        derivation = TqmSFSWrapper::KeyDerivationOf(file);
      } catch (const std::exception&) {
        // A derivation the program cannot follow: its reason is in the result already.
      }
    }
  } catch (const ECliError&) {
    code = TqmSFSWrapper::csWrongPassword;
  } catch (const ECostlyDerivation& e) {
    code = TqmSFSWrapper::csCannotOpen;
    reason = TCliContext::CostlyRefusal(name, e.Derivation());
  } catch (const std::exception& e) {
    code = TqmSFSWrapper::csCannotOpen;
    reason = OneLine(c.Console(), e.what());
  }
  WipeString(password.text);
  if (!journal.empty() && TSingleFileSystem::DescribeJournal(file).empty())
    c.Console().Line("journal: the interrupted change was undone; the Safe is as it was before it");
  std::string line = std::to_string(code) + " " + CheckMeaning(code);
  if (code == TqmSFSWrapper::csCannotOpen)
    line += ": " + (reason.empty() ? c.ReasonOr("reason unknown") : reason);
  c.Console().Line(line);
  // The kind is in the header for anyone to read; it is shown whenever the header could be read.
  if (derivation) c.Console().Line(KindLine(*derivation));
  // A wrong password is reported as such (3), like every other command; other findings are 1.
  if (code == TqmSFSWrapper::csWrongPassword) return kExitWrongPassword;
  if (code != TqmSFSWrapper::csUsable) return kExitProblem;
  if (!c.Args().Has("--deep")) return kExitOk;

  // The deep check: the container's own structure, then every record and file read back.
  TqmGlobal& g = c.Global();
  try {
    g.OpenSafeByName(name, key, true);
  } catch (const std::exception& e) {
    c.Console().Line("problem: the Safe cannot be opened: " + OneLine(c.Console(), e.what()));
    return kExitProblem;
  }
  std::vector<std::string> problems;
  try {
    problems = DeepCheckSafe(g);
  } catch (const std::exception& e) {
    problems.push_back("the check could not go on: " + std::string(e.what()));
  }
  for (const auto& p : problems) c.Console().Line("problem: " + OneLine(c.Console(), p));
  // What a repair made up where records were lost: no damage any more, but the user's to check.
  try {
    for (const auto& made : RecoveredCategories(g))
      c.Console().Line("recovered: " + OneLine(c.Console(), made));
  } catch (const std::exception&) {
    // The problems above say why the repository cannot be walked.
  }
  c.Console().Line(problems.empty() ? "deep check: no problems found"
                                    : "deep check: " + std::to_string(problems.size()) + " problem(s) found");
  return problems.empty() ? kExitOk : kExitProblem;
}

int RunPasswd(TCliContext& c) {
  const std::string name = c.Arg(0);
  const bool harden = c.Args().Has("--harden");
  const bool compatible = c.Args().Has("--compatible");
  if (harden && compatible) throw UsageError("give --harden or --compatible, not both");
  TSecret old;
  c.OpenSafe(name, false, &old.text);
  TqmGlobal& g = c.Global();
  const TqmSafeKind current = g.SafeKind();
  const TqmSafeKind target = harden ? TqmSafeKind::Hardened : compatible ? TqmSafeKind::Compatible : current;
  if (target == TqmSafeKind::Compatible && current == TqmSafeKind::Hardened)
    c.Confirm("Make the Safe " + name +
                  " compatible? Older versions can then open it, but its master password is no longer "
                  "protected by a slow key derivation: whoever gets a copy of the Safe file can try "
                  "passwords billions of times a second.",
              "the Safe \"" + name + "\" was left hardened");
  TSecret password;
  ReadNewPassword(c, password, "New master password for " + name + ": ");
  if (password.text == old.text && target == current) {
    if (harden || compatible)
      c.Console().Line("The Safe " + name + " is " + (harden ? "hardened" : "compatible") +
                       " already and the new master password is the old one; nothing was changed");
    else
      c.Console().Line("The new master password is the old one; nothing was changed");
    return kExitOk;
  }
  WarnOfTestCost(c, target);
  bool ok;
  try {
    ok = g.ChangePassword(old.text, password.text, target);
  } catch (const std::exception& e) {
    throw Failure("the master password was not changed: " + OneLine(c.Console(), e.what()));
  }
  if (!ok) throw Failure("the master password was not changed: " + c.ReasonOr("the Safe refused the change"));
  if (target == current)
    c.Console().Line("Changed the master password of " + name);
  else
    c.Console().Line((target == TqmSafeKind::Hardened ? "Hardened the Safe " : "Made the Safe ") + name +
                     (target == TqmSafeKind::Hardened ? "" : " compatible") +
                     (password.text == old.text ? "" : " and changed its master password"));
  return kExitOk;
}

int RunRepair(TCliContext& c) {
  const std::string name = c.Arg(0);
  c.OpenSafe(name, false, nullptr, true);
  TqmRepairResult result;
  try {
    result = RepairSafe(c.Global());
  } catch (const std::exception& e) {
    throw Failure("the Safe \"" + name + "\" could not be repaired: " + OneLine(c.Console(), e.what()));
  }
  if (!result.rebuilt)
    throw Failure(
        "the Safe \"" + name + "\" could not be repaired: " +
        (result.failure.empty() ? c.ReasonOr("the rebuild failed") : OneLine(c.Console(), result.failure)));
  // The summary: what was set right, what was lost, and what the repair could not mend.
  for (const auto& line : result.mended) c.Console().Line("set right: " + OneLine(c.Console(), line));
  for (const auto& line : result.lost) c.Console().Line("lost: " + OneLine(c.Console(), line));
  for (const auto& line : result.remaining) c.Console().Line("not mended: " + OneLine(c.Console(), line));
  if (result.Whole()) {
    c.Console().Line("Repaired the Safe " + name);
    return kExitOk;
  }
  c.Console().Line(
      "The Safe " + name + " was rebuilt, but it is not whole: " + std::to_string(result.lost.size()) +
      " loss(es), " + std::to_string(result.remaining.size()) + " problem(s) not mended (see above)");
  return kExitProblem;
}

int RunBackup(TCliContext& c) {
  const std::string name = c.Arg(0);
  const std::string target = fs::absolute(c.Arg(1)).string();
  c.OpenSafe(name);
  bool ok;
  try {
    ok = c.Global().Backup(target);
  } catch (const std::exception& e) {
    throw Failure("no backup was written: " + OneLine(c.Console(), e.what()));
  }
  if (!ok) throw Failure("no backup was written to " + target + ": " + c.ReasonOr("refused"));
  c.Console().Line("Wrote a backup of " + name + " to " + target);
  return kExitOk;
}

int RunRestore(TCliContext& c) {
  const std::string name = c.Arg(0);
  const std::string source = fs::absolute(c.Arg(1)).string();
  const std::string file = c.SafeFile(name);
  std::error_code ec;
  if (!fs::is_regular_file(source, ec)) throw Failure("there is no backup file " + source);
  const bool exists = fs::exists(file, ec);
  c.Confirm(exists
                ? "Replace the Safe " + name + " with the backup " + source + "? Its present content is lost."
                : "Restore the backup " + source + " as the new Safe " + name + "?",
            "the Safe \"" + name + "\" was not restored");
  TqmGlobal& g = c.Global();
  g.SetSafeName(name);
  try {
    g.Restore(source);
  } catch (const std::exception& e) {
    throw Failure("the Safe \"" + name + "\" was not restored: " + OneLine(c.Console(), e.what()));
  }
  c.Console().Line("Restored the Safe " + name + " from " + source +
                   "; it opens with the master password it had when the backup was taken");
  return kExitOk;
}

}  // namespace quillmar
