#pragma once
// quillmar-cml: the file-manager helper of Brelkan Quillmar II (CmlArguments.h gives its command
// line). It builds the hand-over text and delivers it (CmlDelivery.h), and installs the menu items
// of the file managers that call it (ActionInstaller.h).
#include <ostream>
#include <string>
#include <vector>

namespace quillmar {

// Runs the command line (arguments without the program's name). Exit status: 0 done, 1 failed,
// 2 usage error.
int RunCml(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);

}  // namespace quillmar
