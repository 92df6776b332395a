// What the rollback journal costs: locking a 256 MiB file into a Safe and saving an entry, each with
// the journal (durable when it returns) beside the same without it (the container's journal turned
// off: written through, nothing synced, as before the journal existed). For comparison the same
// without the journal but made durable by one sync of the Safe at the end is printed too.
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "BenchReport.h"
#include "base/MemoryStream.h"
#include "container/SingleFileSystem.h"
#include "model/qmCategory.h"
#include "model/qmField.h"
#include "model/qmRepositoryEntry.h"
#include "safe/qmSFSWrapper.h"

using namespace quillmar;
using quillmar::bench::BestSeconds;
using quillmar::bench::ReportFigure;
namespace fs = std::filesystem;

namespace {

constexpr char kPassword[] = "bench password";

enum class TMode { Journal, NoJournal, NoJournalSynced };

// A Safe with a few entries and locked files, so that a change touches maps and directory pages that
// hold other items too.
void MakeSafe(const std::string& file) {
  TqmSFSWrapper safe;
  safe.CreateEmptySafe(file, kPassword);
  TqmCategory cat;
  cat.SetName("Bench");
  safe.SaveCategory(cat);
  for (int i = 0; i < 50; ++i) {
    TqmRepositoryEntry e(&cat);
    e.SetSortOrder(i);
    e.Fields().Add(TqmField(0, "Title", ftNormalText, true, "entry " + std::to_string(i)));
    safe.SaveEntry(cat.FolderPath(), e);
    TMemoryStream data(std::string(20000, char('a' + i % 26)));
    safe.LockStream(std::string(TqmSFSWrapper::kFileLockerRoot) + "f" + std::to_string(i), data, kPassword);
  }
}

void Open(TqmSFSWrapper& safe, const std::string& file, TMode mode) {
  safe.OpenSafe(file, kPassword);
  if (mode != TMode::Journal) safe.Container()->DisableJournal();
}

void Finish(TqmSFSWrapper& safe, TMode mode) {
  if (mode == TMode::NoJournalSynced) safe.Container()->PageFile().Flush();
}

double LockSeconds(const std::string& dir, const std::string& plain, TMode mode) {
  const std::string file = dir + "/lock.qvt";
  return BestSeconds(2, [&] {
    // A fresh Safe each round, so that every round writes the same new pages.
    fs::remove(file);
    MakeSafe(file);
    TqmSFSWrapper safe;
    Open(safe, file, mode);
    TMemoryStream source(plain);
    safe.LockStream(std::string(TqmSFSWrapper::kFileLockerRoot) + "big.bin", source, kPassword);
    Finish(safe, mode);
  });
}

double SaveSeconds(const std::string& dir, TMode mode) {
  const std::string file = dir + "/save.qvt";
  fs::remove(file);
  MakeSafe(file);
  TqmSFSWrapper safe;
  Open(safe, file, mode);
  TqmCategory cat;
  safe.LoadCategory(nullptr, 0, false, cat);
  const int rounds = 200;
  return BestSeconds(
             3,
             [&] {
               for (int i = 0; i < rounds; ++i) {
                 TqmRepositoryEntry e(&cat);
                 e.SetFileName("saved.entry");
                 e.SetSortOrder(99);
                 e.Fields().Add(TqmField(0, "Title", ftNormalText, true, "saved " + std::to_string(i)));
                 e.Fields().Add(TqmField(1, "Password", ftPassword, false, "pw-" + std::to_string(i * 7919)));
                 safe.SaveEntry(cat.FolderPath(), e);
                 Finish(safe, mode);
               }
             }) /
         rounds;
}

}  // namespace

int main() {
  const std::string dir =
      (fs::temp_directory_path() / ("qm-bench-journal-" + std::to_string(::getpid()))).string();
  fs::create_directories(dir);
  constexpr int64_t kSize = int64_t(256) << 20;
  std::string plain(static_cast<size_t>(kSize), '\0');
  for (size_t i = 0; i < plain.size(); ++i) plain[i] = static_cast<char>((i * 2654435761u) >> 11);
  const double mib = double(kSize) / (1 << 20);

  const double lockJournal = LockSeconds(dir, plain, TMode::Journal);
  const double lockNone = LockSeconds(dir, plain, TMode::NoJournal);
  const double lockSynced = LockSeconds(dir, plain, TMode::NoJournalSynced);
  const double saveJournal = SaveSeconds(dir, TMode::Journal);
  const double saveNone = SaveSeconds(dir, TMode::NoJournal);
  const double saveSynced = SaveSeconds(dir, TMode::NoJournalSynced);
  fs::remove_all(dir);

  ReportFigure("safe: lock 256 MiB, journal vs none (MiB/s)", mib / lockJournal, mib / lockNone, "MiB/s",
               "target ratio >= 0.8");
  ReportFigure("safe: lock 256 MiB, journal vs none synced once", mib / lockJournal, mib / lockSynced,
               "MiB/s", "for comparison");
  ReportFigure("safe: save an entry, journal vs none (ms)", saveJournal * 1e3, saveNone * 1e3, "ms",
               "target ratio <= 3");
  ReportFigure("safe: save an entry, journal vs none synced once", saveJournal * 1e3, saveSynced * 1e3, "ms",
               "for comparison");
  return 0;
}
