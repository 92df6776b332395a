#pragma once
// The deep check of the open Safe, and the repair that says what it could not mend. Both front ends
// show their lines: the command line's check --deep and repair, the desktop's Options tab.
//
// Lines are 8-bit Safe text (container paths and names in the Safe's code page), one per problem,
// each saying what is damaged. They never quote a record's content.
#include <string>
#include <vector>

#include "safe/qmProgress.h"

namespace quillmar {

class TqmGlobal;

// Reads everything the open Safe holds and returns one line per problem (empty: the Safe is sound):
//  - the container's structure: maps, directory, every file's pages and their encryption marks
//    (TSingleFileSystem::CheckIntegrity); these lines start with "container: ";
//  - every category folder (one without its record hides what is in it) and every record of the
//    repository: one that cannot be read, is empty, holds no record of its kind, or does not read
//    back as it is stored (text beside its fields, as a value that held "</field>" left behind);
//  - every reminder record (readable, and a reminder record), the settings text, every icon;
//  - every attached file and every File Locker file: every byte must be readable.
// Pending window events run after each file. REQUIRES: a Safe is open.
std::vector<std::string> DeepCheckSafe(TqmGlobal& global);

struct TqmRepairResult {
  bool rebuilt = false;                // the container was rebuilt and put in place
  std::string failure;                 // why not, when !rebuilt (the rebuild's log)
  std::vector<std::string> lost;       // what the rebuild dropped or set to zero, one line each
  std::vector<std::string> mended;     // what it set right beyond the rebuild itself
  std::vector<std::string> remaining;  // DeepCheckSafe afterwards: what the repair could not mend
                                       // (not run when the rebuild failed or was cancelled)
  // True when the Safe is whole again: rebuilt, nothing lost and no problem left.
  bool Whole() const { return rebuilt && lost.empty() && remaining.empty(); }
};

// Rebuilds the open Safe's container (TqmGlobal::Repair), then writes anew the records the program
// cannot do without where they are still damaged, each with a line in lost: the settings (the
// settings in use: the defaults when they could not be read at the opening), every category record
// that cannot be read or is missing while its folder holds something (a new record "Recovered
// <folder name>" with the fields of the first entry in it and no values, so that everything in it is
// shown again), and reminder records that hold no reminder (removed). Then it checks it deeply. A repair that
// loses data or leaves problems is not whole, and says so line by line. progress hears of the rebuild; a
// cancel there leaves the Safe as it was (rebuilt false). A rebuild that did not go through is not
// followed by the check: the Safe is as it was, and the failure says why. REQUIRES: a Safe is open.
TqmRepairResult RepairSafe(TqmGlobal& global, const TqmProgress& progress = {});

// One line per category a repair recovered (its record reads "Recovered <its folder name>") and the
// user has not renamed yet: check --deep lists them (they are no damage any more, but their name
// and template were made up). REQUIRES: a Safe is open.
std::vector<std::string> RecoveredCategories(TqmGlobal& global);

}  // namespace quillmar
