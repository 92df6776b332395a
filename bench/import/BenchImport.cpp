// Importing 10,000 entries (a KeePassXC CSV export with ten groups) beside adding the same entries
// through the core in a loop, as `add` makes them (the category's fields and icon, the values set,
// SaveEntry; all in one change of the Safe, as the import is). The figure is the import's speed over the
// loop's: reading the file, planning and checking every entry must not cost much more than saving them.
#include <time.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "BenchReport.h"
#include "base/CodePage.h"
#include "core/qmGlobal.h"
#include "core/qmImportSource.h"
#include "core/qmImporter.h"
#include "core/qmRepositoryTree.h"
#include "model/qmCategory.h"
#include "model/qmRepositoryEntry.h"
#include "model/qvtIcon.h"

using namespace quillmar;
using quillmar::bench::ReportFigure;
namespace fs = std::filesystem;

namespace {

constexpr int kEntries = 10000;
constexpr int kGroups = 10;
constexpr char kPassword[] = "bench import pw";

struct TRow {
  std::string group, title, user, password, url, notes;
};

std::vector<TRow> Rows() {
  std::vector<TRow> rows;
  for (int i = 0; i < kEntries; ++i)
    rows.push_back({"Group " + std::to_string(i % kGroups), "Entry " + std::to_string(i),
                    "user" + std::to_string(i), "pw-" + std::to_string(i * 7919) + "-x",
                    "https://site" + std::to_string(i) + ".example",
                    i % 3 == 0 ? "A note, with \"quotes\"" : ""});
  return rows;
}

std::string Csv(const std::vector<TRow>& rows) {
  auto q = [](const std::string& s) {
    std::string out = "\"";
    for (char c : s) out += c == '"' ? std::string("\"\"") : std::string(1, c);
    return out + "\"";
  };
  std::string csv = "\"Group\",\"Title\",\"Username\",\"Password\",\"URL\",\"Notes\"\n";
  for (const auto& r : rows)
    csv += q("Root/" + r.group) + "," + q(r.title) + "," + q(r.user) + "," + q(r.password) + "," + q(r.url) +
           "," + q(r.notes) + "\n";
  return csv;
}

// CPU seconds of this process taken by f(): the machine may be busy with other work, and both sides
// do the same kind of work (each commits once), so CPU time compares them more steadily than wall
// time.
double Seconds(const std::function<void()>& f) {
  auto now = [] {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
  };
  const double t0 = now();
  f();
  return now() - t0;
}

}  // namespace

int main() {
  const std::string dir =
      (fs::temp_directory_path() / ("qm-bench-import-" + std::to_string(::getpid()))).string();
  fs::create_directories(dir);
  const auto rows = Rows();
  const std::string csv = Csv(rows);
  const TCodePage codePage("windows-1252");
  double bestImport = 1e300, bestLoop = 1e300;
  {
    TqmGlobal g(dir, {"quillmar"});
    g.CreateSafe(g.SafeFile("Fresh"), kPassword, TqmSafeKind::Compatible);
    const std::string fresh = dir + "/Fresh.qvt";
    for (int round = 0; round < 3; ++round) {
      // The import: reading the file, the plan, the change.
      fs::copy_file(fresh, dir + "/Import.qvt", fs::copy_options::overwrite_existing);
      g.OpenSafeByName("Import", kPassword);
      bestImport = std::min(bestImport, Seconds([&] {
                              TqmImporter importer(g, codePage);
                              importer.Plan(ReadImportText(csv, TqmImportFormat::KeePassXC), {});
                              if (!importer.Run()) std::fprintf(stderr, "the import did not run\n");
                            }));
      g.CloseSafe();

      // The same entries through the core: the categories made first (not timed), then one entry
      // after the other from its category's fields, in one change.
      fs::copy_file(fresh, dir + "/Loop.qvt", fs::copy_options::overwrite_existing);
      g.OpenSafeByName("Loop", kPassword);
      std::vector<std::unique_ptr<TqmCategory>> categories;
      {
        TqmSFSWrapper::TChange change(g.Wrapper());
        for (int k = 0; k < kGroups; ++k) {
          auto c = std::make_unique<TqmCategory>();
          c->SetName("Group " + std::to_string(k));
          c->SetSortOrder(100 + k);
          for (const char* name :
               {"Web site name", "Address", "User name", "Password", "E-mail used", "Notes"})
            c->Fields().Add(TqmField(c->Fields().Count(), name, ftNormalText, false));
          TqvtIcon icon;
          if (g.LoadIcon(TqmSFSWrapper::ikCategory, "browser.ico", icon)) c->SetIcon(icon.Image());
          g.SaveCategory(*c);
          categories.push_back(std::move(c));
        }
      }
      bestLoop = std::min(bestLoop, Seconds([&] {
                            TqmSFSWrapper::TChange change(g.Wrapper());
                            std::vector<int32_t> next(kGroups, 0);
                            for (int i = 0; i < kEntries; ++i) {
                              const TRow& r = rows[static_cast<size_t>(i)];
                              TqmCategory& c = *categories[static_cast<size_t>(i % kGroups)];
                              TqmRepositoryEntry e(&c);
                              e.PrepareFromCategory(c);
                              e.SetIcon(c.Icon());
                              e.FieldAt(0).SetValue(r.title);
                              e.FieldAt(1).SetValue(r.url);
                              e.FieldAt(2).SetValue(r.user);
                              e.FieldAt(3).SetValue(r.password);
                              e.FieldAt(5).SetValue(r.notes);
                              e.SetSortOrder(next[static_cast<size_t>(i % kGroups)]++);
                              g.SaveEntry(c.FolderPath(), e);
                            }
                            change.Commit();
                          }));
      g.CloseSafe();
    }
  }
  fs::remove_all(dir);
  ReportFigure("import/10000 entries: import vs core add loop", kEntries / bestImport, kEntries / bestLoop,
               "entries/s", "ratio >= 0.8");
  return 0;
}
