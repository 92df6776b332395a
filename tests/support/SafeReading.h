#pragma once
// Reads every file of an open Safe back, for tests that must prove a Safe whole after a crash or a
// failure: every page's checksum and every compressed block of every record, icon, reminder,
// attachment and locked file.

#include <functional>
#include <string>
#include <vector>

#include "safe/qmSFSWrapper.h"

namespace quillmar::test {

// One line per file that cannot be read in full (its path in the Safe and why); empty when all read.
inline std::vector<std::string> ReadEveryFile(TqmSFSWrapper& safe) {
  std::vector<std::string> problems;
  std::function<void(const std::string&)> walk = [&](const std::string& folder) {
    for (const std::string& name : safe.ListNames(folder, false)) {
      const std::string problem = safe.FileReadProblem(folder + name);
      if (!problem.empty()) problems.push_back("\"" + folder + name + "\": " + problem);
    }
    for (const std::string& name : safe.ListNames(folder, true)) walk(folder + name + "\\");
  };
  walk("\\");
  return problems;
}

}  // namespace quillmar::test
