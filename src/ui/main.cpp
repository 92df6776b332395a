// quillmar: the desktop program.
#include <cstdio>
#include <cstring>

#include "core/qmGlobal.h"
#include "platform/ProcessHardening.h"
#include "shell/qmProgram.h"

int main(int argc, char** argv) {
  quillmar::HardenProcess();  // no core dump may ever hold a Safe's key
  // "--version" answers before anything starts (no display, no single-instance check), so that
  // scripts and package checks can ask it anywhere.
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::printf("quillmar %s\n", quillmar::TqmGlobal::ProgramVersionText().c_str());
    return 0;
  }
  return quillmar::RunQuillmar(argc, argv);
}
