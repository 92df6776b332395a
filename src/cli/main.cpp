// quillmar-cli: keeps a Quillmar Safe from the command line. Everything is in TCliApplication.
#include <iostream>
#include <string>
#include <vector>

#include "cli/CliApplication.h"
#include "platform/ProcessHardening.h"

int main(int argc, char** argv) {
  // First of all: no core dump may ever hold a Safe's key.
  quillmar::HardenProcess();
  std::vector<std::string> args(argv + 1, argv + argc);
  quillmar::TCliApplication app(std::cout, std::cerr, 0);
  return app.Run(args);
}
