// quillmar: the desktop program.
#include "platform/ProcessHardening.h"
#include "shell/qmProgram.h"

int main(int argc, char** argv) {
  quillmar::HardenProcess();  // no core dump may ever hold a Safe's key
  return quillmar::RunQuillmar(argc, argv);
}
