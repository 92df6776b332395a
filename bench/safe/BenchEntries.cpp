// Loading every entry of a category by sort order, at 100 and at 2,000 entries: the cost per entry must
// not grow with the category (the first load indexes the folder once).
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>

#include "BenchReport.h"
#include "model/qmCategory.h"
#include "model/qmField.h"
#include "model/qmRepositoryEntry.h"
#include "safe/qmSFSWrapper.h"

using namespace quillmar;
using quillmar::bench::BestSeconds;
using quillmar::bench::ReportFigure;
namespace fs = std::filesystem;

namespace {

double PerEntrySeconds(const std::string& dir, int count) {
  std::string file = dir + "/entries" + std::to_string(count) + ".qvt";
  TqmSFSWrapper safe;
  safe.CreateEmptySafe(file, "bench password");
  safe.OpenSafe(file, "bench password");
  TqmCategory cat;
  cat.SetName("Many");
  safe.SaveCategory(cat);
  const std::string path = cat.FolderPath();
  for (int i = 0; i < count; ++i) {
    TqmRepositoryEntry e(&cat);
    e.SetSortOrder(i);
    e.Fields().Add(TqmField(0, "Title", ftNormalText, true, "entry " + std::to_string(i)));
    e.Fields().Add(TqmField(1, "User name", ftNormalText, false, "user" + std::to_string(i)));
    e.Fields().Add(TqmField(2, "Password", ftPassword, false, "pw-" + std::to_string(i * 7919)));
    safe.SaveEntry(path, e);
  }
  safe.CloseSafe();
  double seconds = 1e300;
  for (int round = 0; round < 3; ++round) {
    // A fresh object per round, so that the folder index is built inside the measured time; opening
    // the Safe is not measured.
    TqmSFSWrapper reader;
    reader.OpenSafe(file, "bench password");
    seconds = std::min(seconds, BestSeconds(1, [&] {
                         for (int i = 0; i < count; ++i) {
                           TqmRepositoryEntry e(&cat);
                           if (!reader.LoadEntry(path, i, e)) std::fprintf(stderr, "entry %d missing\n", i);
                         }
                       }));
    reader.CloseSafe();
  }
  safe.OpenSafe(file, "bench password");
  safe.CloseSafe();
  fs::remove(file);
  return seconds / count;
}

}  // namespace

int main() {
  std::string dir = (fs::temp_directory_path() / ("qm-bench-entries-" + std::to_string(::getpid()))).string();
  fs::create_directories(dir);
  double small = PerEntrySeconds(dir, 100);
  double large = PerEntrySeconds(dir, 2000);
  fs::remove_all(dir);
  ReportFigure("safe/load entries: per entry at 2000 vs at 100", large * 1e6, small * 1e6, "us/entry",
               "ratio <= 3");
  return 0;
}
