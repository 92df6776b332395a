#pragma once
// The program `quillmar`: the single-instance rule, then the application object, the main window and
// the event loop.
//
//   quillmar [--home DIR] [/sm] [/rf:[command][count]path|...]
//
// A copy started while another runs for the same home folder hands "/rf:" files (or else
// "qvt-restore") to it and ends before it makes the application object, touching nothing.
#include <functional>

namespace quillmar {

class TfrmQuillmar;

int RunQuillmar(int argc, char** argv);

// Called with the main window once it exists (the benchmark of the start uses it).
void SetMainWindowHook(std::function<void(TfrmQuillmar&)> hook);

}  // namespace quillmar
