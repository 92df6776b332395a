#include <iostream>

#include "shellext/CmlProgram.h"

int main(int argc, char** argv) {
  std::vector<std::string> arguments(argv + 1, argv + argc);
  return quillmar::RunCml(arguments, std::cout, std::cerr);
}
