#pragma once
// TCliContext: what every command works with: the parsed command line, the console, the password
// reader, the prompter and the application core (TqmGlobal) over the home folder.
//
// OpenSafe is the command line's login: it checks the Safe's name, reads the master password, checks
// it without touching the file (a wrong password changes nothing on disk) and opens the Safe.
#include <memory>
#include <string>

#include "cli/CliArguments.h"
#include "cli/CliConsole.h"
#include "cli/CliPasswordReader.h"
#include "cli/CliPrompter.h"
#include "core/qmGlobal.h"

namespace quillmar {

class TCliContext {
public:
  TCliContext(TCliArguments args, TCliConsole& console, int inputFd);
  ~TCliContext();

  const TCliArguments& Args() const { return args_; }
  const std::string& Arg(size_t i) const { return args_.args.at(i); }
  bool Json() const { return args_.json; }
  TCliConsole& Console() { return console_; }
  TCliPasswordReader& Passwords() { return reader_; }
  TCliPrompter& Prompter() { return prompter_; }
  // Created on first use over the home folder (created 0700 when missing).
  TqmGlobal& Global();

  // Refuses a name that cannot be a Safe's (empty, with "/", starting with ".", or not storable).
  static void CheckSafeName(const std::string& name);
  // The Safe's file in the home folder.
  std::string SafeFile(const std::string& name);
  // Throws (exit 4) when the Safe's file does not exist, naming the home folder. What an interrupted
  // repair or change of password left is dealt with first (a Safe it left without its file is put
  // back), with a note.
  void RequireSafe(const std::string& name);
  // Reads the master password and opens the Safe with its settings (the Safe's key is derived once);
  // readOnly for commands that only read (a shared lock: other readers may run at the same time,
  // writers are refused meanwhile, and nothing of the Safe is written). Exit 3 on a wrong password, 4
  // when the file is no Safe or cannot be opened (another program writes it, for one). `password`,
  // when given, receives the password as stored (the Safe's code page); the caller wipes it.
  // salvageJournal (the repair): a journal that opening refuses as damaged is salvaged first, once
  // the password is known to be right (TqmGlobal::SalvageJournal), with a line on what was done.
  void OpenSafe(const std::string& name, bool readOnly = false, std::string* password = nullptr,
                bool salvageJournal = false);
  // The one-line refusal of a Safe whose key derivation is costly (see --allow-costly-derivation).
  static std::string CostlyRefusal(const std::string& name, const TKeyDerivation& derivation);
  // A question of the command itself (not of the layers below): --yes answers it; else asked on a
  // terminal; else refused with a message that says to add --yes.
  void Confirm(const std::string& questionUtf8, const std::string& refusedWhat);
  // After an operation returned false: the reason the layers below gave (a notice, a question
  // answered No), or fallback.
  std::string ReasonOr(const std::string& fallback);

private:
  TCliArguments args_;
  TCliConsole& console_;
  TCliPasswordReader reader_;
  TCliPrompter prompter_;
  std::unique_ptr<TqmGlobal> global_;
};

}  // namespace quillmar
