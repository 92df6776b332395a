#pragma once
// Received-files commands (from the command line "/rf:", a second copy of the program or the
// file-manager helper): what one asks for, and the queue they wait in.
//
// Every command is kept and carried out in the order it came; none replaces or drops another.
// A command leaves the queue before it is carried out, so work that the command itself starts (the
// login of a change of Safe, which hands over the command line's files) never meets it again.
// Commands wait while no Safe is open and are carried out after the next successful login.
#include <deque>
#include <string>
#include <vector>

namespace quillmar {

struct TqmReceivedPlan {
  enum class TKind {
    Nothing,       // unknown command, or a Safe position outside the list
    CryptoMail,    // select Zavozo Rero; File (when not empty) is preset there
    Lock,          // lock Files into the open Safe (the folder the File Locker shows)
    SwitchAndLock  // change to TargetSafe, then lock Files when that Safe is open
  };
  TKind Kind = TKind::Nothing;
  std::string TargetSafe;
  std::string File;                // CryptoMail: the first path, when it names an existing file
  std::vector<std::string> Files;  // Lock, SwitchAndLock: the paths that name existing files
};

// What the command text asks for ("[" command "][" count "]" then paths each ended by "|", maybe
// after other characters). Paths that are empty or name no existing regular file are left out.
// safeNames: TqmGlobal::SafeNames(); openSafe: the open Safe's name ("" when none is open).
TqmReceivedPlan PlanReceivedFiles(const std::string& text, const std::vector<std::string>& safeNames,
                                  const std::string& openSafe);

class TqmReceivedFilesQueue {
public:
  void Push(std::string command) { queue_.push_back(std::move(command)); }
  // Puts a command before the others (the command line's, which came first).
  void PushFront(std::string command) { queue_.push_front(std::move(command)); }
  // Takes the oldest command out; false when there is none.
  bool Take(std::string& command);
  bool Empty() const { return queue_.empty(); }
  size_t Size() const { return queue_.size(); }

private:
  std::deque<std::string> queue_;
};

}  // namespace quillmar
