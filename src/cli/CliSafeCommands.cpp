// The commands on the Safe as a whole: safes, create, delete, check, passwd, repair, backup, restore.
#include <filesystem>
#include <functional>

#include "base/SecureWipe.h"
#include "cli/CliCommands.h"
#include "cli/CliError.h"
#include "cli/CliJsonWriter.h"
#include "cli/CliRepository.h"
#include "container/SingleFileSystem.h"
#include "model/qmReminderEvent.h"
#include "model/qvtIcon.h"
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

// A stream that takes bytes and keeps none: reading every locked file for the deep check.
class TDiscardStream : public TStream {
public:
  int64_t Read(void*, int64_t) override { return 0; }
  int64_t Write(const void*, int64_t count) override {
    size_ += count;
    return count;
  }
  int64_t Seek(int64_t offset, TSeekOrigin origin) override {
    return origin == TSeekOrigin::End ? size_ : offset;
  }
  int64_t Size() override { return size_; }
  void SetSize(int64_t n) override { size_ = n; }

private:
  int64_t size_ = 0;
};

// Reads everything the Safe holds through the layers that use it; each failure is one problem line.
void ReadEverything(TCliContext& c, std::vector<std::string>& problems) {
  TqmGlobal& g = c.Global();
  auto guard = [&](const std::string& what, const std::function<void()>& f) {
    try {
      f();
    } catch (const std::exception& e) {
      problems.push_back(what + ": " + OneLine(c.Console(), e.what()));
    }
  };
  TCliRepository repo(g, c.Console());
  guard("password repository", [&] { repo.LoadAll(repo.Root()); });
  for (auto& w : repo.TakeWarnings()) problems.push_back(w);
  guard("reminders", [&] {
    const int n = g.ReminderCount();
    for (int i = 0; i < n; ++i) {
      TqmReminderEvent r;
      if (!g.LoadReminderAt(i, r)) problems.push_back("reminder " + std::to_string(i) + " cannot be read");
    }
  });
  guard("settings", [&] { g.Wrapper().ReadSettingsText(); });
  for (int kind : {0, 1}) {
    guard(kind == 0 ? "category icons" : "entry icons", [&] {
      std::vector<std::string> names;
      g.ListIcons(kind, names);
      for (const auto& n : names) {
        TqvtIcon icon;
        if (!g.LoadIcon(kind, n, icon)) problems.push_back("icon " + c.Console().Show(n) + " cannot be read");
      }
    });
  }
  std::function<void(const std::string&)> walk = [&](const std::string& folder) {
    const int files = g.CountFiles(folder);
    for (int i = 0; i < files; ++i) {
      const std::string name = g.FileInfoAt(folder, i).Name;
      guard("File Locker file " + folder + name, [&] {
        TDiscardStream sink;
        g.Wrapper().UnlockToStream(folder + name, sink, g.MasterPassword());
      });
    }
    const int folders = g.CountFolders(folder);
    for (int i = 0; i < folders; ++i) walk(folder + g.FolderInfoAt(folder, i).Name + "\\");
  };
  guard("File Locker", [&] { walk(g.FileLockerRoot()); });
  // Last, every byte of every file, attachments included.
  guard("files", [&] {
    for (const auto& p : g.Wrapper().ReadAllFiles()) problems.push_back("file " + OneLine(c.Console(), p));
  });
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
  TSecret password;
  ReadNewPassword(c, password, "New master password for " + name + ": ");
  g.SetDemoData(c.Args().Has("--demo"));
  try {
    g.CreateSafe(file, password.text);
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
  try {
    password.text = c.Console().TakePassword(typed.text, true);
    code = c.Global().CheckSafe(file, password.text, false, true);
  } catch (const ECliError&) {
    code = TqmSFSWrapper::csWrongPassword;
  }
  if (!journal.empty() && TSingleFileSystem::DescribeJournal(file).empty())
    c.Console().Line("journal: the interrupted change was undone; the Safe is as it was before it");
  std::string line = std::to_string(code) + " " + CheckMeaning(code);
  if (code == TqmSFSWrapper::csCannotOpen) line += ": " + c.ReasonOr("reason unknown");
  c.Console().Line(line);
  // A wrong password is reported as such (3), like every other command; other findings are 1.
  if (code == TqmSFSWrapper::csWrongPassword) return kExitWrongPassword;
  if (code != TqmSFSWrapper::csUsable) return kExitProblem;
  if (!c.Args().Has("--deep")) return kExitOk;

  // The deep check: the container's own structure, then every record and file read back.
  std::vector<std::string> problems;
  TqmGlobal& g = c.Global();
  try {
    g.OpenSafeByName(name, password.text, true);
  } catch (const std::exception& e) {
    c.Console().Line("problem: the Safe cannot be opened: " + OneLine(c.Console(), e.what()));
    return kExitProblem;
  }
  try {
    for (auto& p : g.Wrapper().Container()->CheckIntegrity())
      problems.push_back("container: " + OneLine(c.Console(), p));
  } catch (const std::exception& e) {
    problems.push_back("container: " + OneLine(c.Console(), e.what()));
  }
  ReadEverything(c, problems);
  for (const auto& p : problems) c.Console().Line("problem: " + p);
  c.Console().Line(problems.empty() ? "deep check: no problems found"
                                    : "deep check: " + std::to_string(problems.size()) + " problem(s) found");
  return problems.empty() ? kExitOk : kExitProblem;
}

int RunPasswd(TCliContext& c) {
  const std::string name = c.Arg(0);
  c.OpenSafe(name);
  TSecret password;
  ReadNewPassword(c, password, "New master password for " + name + ": ");
  TqmGlobal& g = c.Global();
  if (password.text == g.MasterPassword()) {
    c.Console().Line("The new master password is the old one; nothing was changed");
    return kExitOk;
  }
  TSecret old;
  old.text = g.MasterPassword();
  bool ok;
  try {
    ok = g.ChangePassword(old.text, password.text);
  } catch (const std::exception& e) {
    throw Failure("the master password was not changed: " + OneLine(c.Console(), e.what()));
  }
  if (!ok) throw Failure("the master password was not changed: " + c.ReasonOr("the Safe refused the change"));
  c.Console().Line("Changed the master password of " + name);
  return kExitOk;
}

int RunRepair(TCliContext& c) {
  const std::string name = c.Arg(0);
  c.OpenSafe(name);
  bool ok;
  try {
    ok = c.Global().Repair();
  } catch (const std::exception& e) {
    throw Failure("the Safe \"" + name + "\" could not be repaired: " + OneLine(c.Console(), e.what()));
  }
  if (!ok)
    throw Failure("the Safe \"" + name + "\" could not be repaired: " + c.ReasonOr("the rebuild failed"));
  c.Console().Line("Repaired the Safe " + name);
  return kExitOk;
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
