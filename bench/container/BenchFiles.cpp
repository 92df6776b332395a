// Container files at size: streaming 256 MiB through a container file beside the page cipher alone
// and beside cp, the memory growth while writing and reading 1 GiB, rebuilding and changing the
// password of a 512 MiB container beside cp of it, and the directory at 1,000 and 100,000 items. The
// reading, the rebuild and the change of password run on the machine's threads and on one.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "BenchReport.h"
#include "container/ContainerKey.h"
#include "container/DIRManager.h"
#include "container/PageCipher.h"
#include "container/SFSFileStream.h"
#include "container/SingleFileSystem.h"

using namespace quillmar;
using quillmar::bench::BestSeconds;
using quillmar::bench::ReportFigure;
using quillmar::bench::TThreadsForBench;
namespace fs = std::filesystem;

namespace {

constexpr int64_t kMiB = 1024 * 1024;
constexpr int64_t kChunk = 1 * kMiB;

std::string g_dir;

std::vector<uint8_t> Pattern(size_t n) {
  std::vector<uint8_t> v(n);
  uint32_t x = 12345;
  for (auto& b : v) {
    x = x * 1103515245 + 12345;
    b = uint8_t(x >> 16);
  }
  return v;
}

std::unique_ptr<TSingleFileSystem> NewContainer(const std::string& path) {
  fs::remove(path);
  return std::make_unique<TSingleFileSystem>(path, -1, 8, 2048, 0, "", "", "bench password", false, 0xFFFF);
}

// A new file written as one change (as the Safe layer writes files): durable when it returns.
double WriteFile(TSingleFileSystem& s, const std::string& name, int64_t bytes,
                 const std::vector<uint8_t>& chunk) {
  return BestSeconds(1, [&] {
    TSFSTransaction change(s);
    {
      TSFSFileStream f(&s, 0, "", "", "", 0xFFFF, name);
      for (int64_t done = 0; done < bytes; done += kChunk) f.WriteBuffer(chunk.data(), kChunk);
    }
    change.Commit();
  });
}

double CopySeconds(const std::string& from, const std::string& to) {
  fs::remove(to);
  std::string cmd = "cp '" + from + "' '" + to + "' && sync -f '" + to + "'";
  double s = BestSeconds(1, [&] {
    if (std::system(cmd.c_str()) != 0) std::fprintf(stderr, "cp failed\n");
  });
  fs::remove(to);
  return s;
}

void StreamFigures() {
  const int64_t size = 256 * kMiB;
  std::vector<uint8_t> chunk = Pattern(size_t(kChunk));
  std::string path = g_dir + "/stream.qvt";
  auto s = NewContainer(path);
  double write = BestSeconds(2, [&] { WriteFile(*s, "\\big", size, chunk); });
  std::vector<uint8_t> in(static_cast<size_t>(kChunk));
  auto readAll = [&] {
    TSFSFileStream f(s.get(), 0, "", "", "", 0, "\\big");
    for (int64_t done = 0; done < size; done += kChunk) f.ReadBuffer(in.data(), kChunk);
  };
  // The limit: the page cipher alone over the same bytes in 2016-byte payloads, on one core.
  std::vector<uint8_t> master = Pattern(32);
  TContainerKey key = TContainerKey::FromMasterKey(master.data());
  std::vector<uint8_t> pages = Pattern(size_t(2016 * 4096));
  const int64_t rounds = size / int64_t(pages.size()) + 1;
  auto cipherDecrypt = [&] {
    for (int64_t r = 0; r < rounds; ++r)
      for (size_t p = 0; p < 4096; ++p) key.Cipher().Decrypt(pages.data() + p * 2016, 2016);
  };
  // In turns, best of each: the threaded read, the one-thread read, the cipher alone.
  double read = 1e300, readOne = 1e300, cipherDec = 1e300;
  for (int i = 0; i < 3; ++i) {
    read = std::min(read, BestSeconds(1, readAll));
    {
      TThreadsForBench oneThread(1);
      readOne = std::min(readOne, BestSeconds(1, readAll));
    }
    cipherDec = std::min(cipherDec, BestSeconds(1, cipherDecrypt));
  }
  s.reset();
  double cipherEnc = BestSeconds(2, [&] {
    for (int64_t r = 0; r < rounds; ++r)
      for (size_t p = 0; p < 4096; ++p) key.Cipher().Encrypt(pages.data() + p * 2016, 2016);
  });
  const double mb = double(size) / 1e6;
  const double cipherMb = double(rounds) * double(pages.size()) / 1e6;

  std::string plain = g_dir + "/plain.bin";
  {
    FILE* f = std::fopen(plain.c_str(), "wb");
    for (int64_t done = 0; done < size; done += kChunk) std::fwrite(chunk.data(), 1, size_t(kChunk), f);
    std::fclose(f);
  }
  double cp = CopySeconds(plain, g_dir + "/plain.copy");
  fs::remove(plain);
  fs::remove(path);

  ReportFigure("stream write 256 MiB vs page cipher encrypt", mb / write, cipherMb / cipherEnc, "MB/s",
               "ratio >= 0.6");
  ReportFigure("stream read 256 MiB vs page cipher decrypt", mb / read, cipherMb / cipherDec,
               "MB/s vs one-core page cipher decrypt", "target ratio >= 1.0");
  ReportFigure("stream read 256 MiB, one thread", mb / readOne, cipherMb / cipherDec,
               "MB/s vs one-core page cipher decrypt", "as before: ratio >= 0.7", 1);
  ReportFigure("stream write 256 MiB vs cp of 256 MiB", mb / write, mb / cp, "MB/s", "peer");
}

// Peak resident memory growth (MiB) while `work` runs in a child process, so that earlier figures do
// not count; -1 when the child failed.
template <class F>
double PeakGrowthInChild(F&& work) {
  int pipeFd[2];
  if (::pipe(pipeFd) != 0) return -1;
  pid_t pid = ::fork();
  if (pid == 0) {
    ::close(pipeFd[0]);
    struct rusage before {};
    ::getrusage(RUSAGE_SELF, &before);
    work();
    struct rusage after {};
    ::getrusage(RUSAGE_SELF, &after);
    double growth = double(after.ru_maxrss - before.ru_maxrss) / 1024.0;  // MiB
    if (::write(pipeFd[1], &growth, sizeof growth) != sizeof growth) std::_Exit(1);
    std::_Exit(0);
  }
  ::close(pipeFd[1]);
  double growth = -1;
  if (::read(pipeFd[0], &growth, sizeof growth) != sizeof growth) growth = -1;
  ::close(pipeFd[0]);
  ::waitpid(pid, nullptr, 0);
  return growth;
}

// Writing a 1 GiB file, then reading it through (with the pages decoded ahead on the other threads).
void MemoryFigure() {
  const std::string path = g_dir + "/memory.qvt";
  const double writing = PeakGrowthInChild([&] {
    std::vector<uint8_t> chunk = Pattern(size_t(kChunk));
    auto s = NewContainer(path);
    WriteFile(*s, "\\huge", 1024 * kMiB, chunk);
  });
  const double reading = PeakGrowthInChild([&] {
    auto s = std::make_unique<TSingleFileSystem>(path, -1, 8, 2048, 0, "", "", "bench password", false, 0);
    std::vector<uint8_t> chunk(static_cast<size_t>(kChunk));
    TSFSFileStream f(s.get(), 0, "", "", "", 0, "\\huge");
    for (int64_t done = 0; done < 1024 * kMiB; done += kChunk) f.ReadBuffer(chunk.data(), kChunk);
  });
  fs::remove(path);
  ReportFigure("peak memory growth writing 1 GiB vs limit", writing, 32, "MiB", "ratio < 1");
  ReportFigure("peak memory growth reading 1 GiB vs limit", reading, 32, "MiB", "ratio < 1");
}

void RebuildFigures() {
  const int64_t size = 512 * kMiB;
  std::vector<uint8_t> chunk = Pattern(size_t(kChunk));
  std::string path = g_dir + "/rebuild.qvt";
  {
    auto s = NewContainer(path);
    // A few large files and some small ones, as a Safe with a full File Locker has.
    for (int i = 0; i < 4; ++i) WriteFile(*s, "\\file" + std::to_string(i), size / 4 - kMiB, chunk);
    TSFSTransaction change(*s);
    for (int i = 0; i < 200; ++i) {
      TSFSFileStream f(s.get(), 0, "", "", "", 0xFFFF, "\\small" + std::to_string(i));
      f.WriteBuffer(chunk.data(), 4000);
    }
    change.Commit();
  }
  // In turns, best of each: cp, the threaded rebuild and change of password, then the same on one
  // thread. The first operations after the container was written run while the disk is still busy
  // with it (and with freeing the space of the copy cp made), so a single run in a fixed order
  // penalises whichever comes first.
  double cp = 1e300, repair[2] = {1e300, 1e300}, change[2] = {1e300, 1e300};
  {
    auto s = std::make_unique<TSingleFileSystem>(path, -1, 8, 2048, 0, "", "", "bench password", false, 18);
    std::string log;
    const char* passwords[2] = {"bench password", "another password"};
    int current = 0;
    for (int round = 0; round < 2; ++round) {
      cp = std::min(cp, CopySeconds(path, g_dir + "/rebuild.copy"));
      for (int one = 0; one < 2; ++one) {
        std::unique_ptr<TThreadsForBench> oneThread;
        if (one) oneThread = std::make_unique<TThreadsForBench>(1);
        repair[one] = std::min(repair[one], BestSeconds(1, [&] {
                                 if (!s->RepairFile(log, true))
                                   std::fprintf(stderr, "repair failed: %s\n", log.c_str());
                               }));
        change[one] = std::min(change[one], BestSeconds(1, [&] {
                                 current = 1 - current;
                                 if (!s->ChangePassword(passwords[current], "", ""))
                                   std::fprintf(stderr, "change of password failed\n");
                               }));
      }
    }
  }
  double mib = double(fs::file_size(path)) / double(kMiB);
  fs::remove(path);
  ReportFigure("rebuild 512 MiB container vs cp", repair[0], cp, "s", "target ratio <= 1.3");
  ReportFigure("rebuild 512 MiB container, one thread", repair[1], cp, "s", "as before: ratio <= 2.0", 1);
  ReportFigure("change password 512 MiB container vs cp", change[0], cp, "s", "target ratio <= 2.0");
  ReportFigure("change password 512 MiB container, one thread", change[1], cp, "s", "as before: ratio <= 3.0",
               1);
  std::printf("  (container %.0f MiB; cp %.2f s)\n", mib, cp);
}

void DirectoryFigures() {
  double add[2], resolve[2], list[2];
  const int counts[2] = {1000, 100000};
  for (int c = 0; c < 2; ++c) {
    std::string path = g_dir + "/dir.qvt";
    auto s = NewContainer(path);
    s->ForceDirectories("\\folder");
    const int n = counts[c];
    // Filled in 100 folders so that listing one folder stays a fixed amount of work; the filling, and
    // the creations measured, are one change each (so that the figure is the directory's work, not
    // the disk's syncs).
    {
      TSFSTransaction change(*s);
      for (int f = 0; f < 100; ++f) s->ForceDirectories("\\d" + std::to_string(f));
      for (int i = 0; i < n - 1100; ++i) {
        int32_t h = s->FileOpen("\\d" + std::to_string(i % 100) + "\\x" + std::to_string(i), 0xFFFF);
        s->FileClose(h);
      }
      change.Commit();
    }
    const int ops = 1000;
    add[c] = BestSeconds(1,
                         [&] {
                           TSFSTransaction change(*s);
                           for (int i = 0; i < ops; ++i) {
                             int32_t h = s->FileOpen("\\folder\\n" + std::to_string(i), 0xFFFF);
                             s->FileClose(h);
                           }
                           change.Commit();
                         }) /
             ops;
    TDIRManager& d = s->Directory();
    resolve[c] = BestSeconds(3,
                             [&] {
                               for (int i = 0; i < ops; ++i)
                                 if (d.Resolve("\\folder\\n" + std::to_string(i)) < 0)
                                   std::fprintf(stderr, "missing\n");
                             }) /
                 ops;
    list[c] = BestSeconds(3, [&] {
      TSearchRec rec;
      int found = 0;
      for (int r = s->FindFirst("\\folder\\*.*", faAnyFile, rec); r == 0; r = s->FindNext(rec)) ++found;
      s->FindClose(rec);
      if (found != ops) std::fprintf(stderr, "listed %d\n", found);
    });
    s.reset();
    fs::remove(path);
  }
  ReportFigure("directory: create file at 100k vs 1k items", add[1] * 1e6, add[0] * 1e6, "us/op",
               "ratio <= 3");
  ReportFigure("directory: resolve path at 100k vs 1k items", resolve[1] * 1e6, resolve[0] * 1e6, "us/op",
               "ratio <= 3");
  ReportFigure("directory: list 1000-file folder at 100k vs 1k", list[1] * 1e3, list[0] * 1e3, "ms",
               "ratio <= 3");
}

}  // namespace

int main(int argc, char** argv) {
  const char* tmp = std::getenv("QM_BENCH_DIR");
  g_dir = tmp ? tmp : (fs::temp_directory_path() / ("qm-bench-" + std::to_string(::getpid()))).string();
  fs::create_directories(g_dir);
  // "--only stream|memory|rebuild|directory" (or the group alone) measures one group.
  const std::string only = argc >= 3 && std::string(argv[1]) == "--only" ? argv[2] : argc > 1 ? argv[1] : "";
  auto wanted = [&](const char* group) { return only.empty() || only == group; };
  if (wanted("stream")) StreamFigures();
  if (wanted("memory")) MemoryFigure();
  if (wanted("rebuild")) RebuildFigures();
  if (wanted("directory")) DirectoryFigures();
  fs::remove_all(g_dir);
  return 0;
}
