// quillmar: the desktop program.
#include "shell/qmProgram.h"

int main(int argc, char** argv) {
  return quillmar::RunQuillmar(argc, argv);
}
