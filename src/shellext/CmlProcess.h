#pragma once
// What quillmar-cml needs of processes and programs: its own path, finding programs, running a
// helper to its end, and telling the person about a failure on the desktop.
#include <string>
#include <vector>

namespace quillmar {

inline constexpr char kProgramTitle[] = "Brelkan Quillmar II";
inline constexpr char kProgramFileName[] = "quillmar";

// The running program's own file, absolute (from /proc/self/exe); "" when it cannot be read.
std::string SelfPath();

// A regular file this user may execute.
bool IsExecutableFile(const std::string& path);

// The first executable file called name in the folders of $PATH; "" when there is none.
std::string FindInPath(const std::string& name);

// The program the actions start when none runs: explicit (when not empty), else recorded (the path
// written at install), else "quillmar" beside quillmar-cml, else "quillmar" in $PATH. The first that
// is an executable file; "" when none is. An explicit path that is not one is not passed over:
// explicitOk is then false.
std::string FindProgram(const std::string& explicitPath, const std::string& recorded, bool& explicitOk);

// Runs argv[0] (looked up in $PATH) with the arguments, its output thrown away, and waits for it.
// Its exit status; -1 when it could not be started or did not end normally.
int RunAndWait(const std::vector<std::string>& argv);

// Shows message as a desktop notification titled "Brelkan Quillmar II" (notify-send, when present),
// not waited for. False when no notification could be started.
bool NotifyDesktop(const std::string& message);

}  // namespace quillmar
