#pragma once
// Handing files to the program: quillmar-cml with --send, --lock, --lock-into or --command.
//
//  1. The command: --lock-into SAFE becomes 4 + the Safe's position in the home folder's Safe list
//     as it is now (an action names a Safe, and positions shift when Safes come and go); a Safe that
//     no longer exists is reported and nothing is sent.
//  2. The files: see PrepareHandOverPaths (core/qmHandOver.h); folders are refused too (the actions
//     are for files). Every refusal is reported by name and the rest is sent, counted as sent.
//  3. Delivery: the hand-over text over the instance socket of the home folder, waiting up to 5 s
//     for the program's answer. When nothing listens there (no copy runs, or a stale socket file),
//     the program is started detached with the start argument (and --home when given). Success only
//     when the program answered or was started; a silent socket or a failed start is a failure.
//  4. "Brelkan Quillmar II not found!" when no program can be found: on stderr and as a desktop
//     notification titled "Brelkan Quillmar II". Other failures are notified too when stderr is no
//     terminal (a file manager shows none).
#include <ostream>

#include "shellext/CmlArguments.h"

namespace quillmar {

inline constexpr int kAnswerWaitMs = 5000;
// The kernel's limit on one argument (MAX_ARG_STRLEN, 32 pages of 4 KiB).
inline constexpr size_t kMaxArgumentBytes = 32 * 4096;
inline constexpr char kMsgProgramNotFound[] = "Brelkan Quillmar II not found!";

// Exit status: 0 delivered or started, 1 failed (one line on err per problem).
int RunHandOver(const TCmlArguments& arguments, std::ostream& err);

}  // namespace quillmar
