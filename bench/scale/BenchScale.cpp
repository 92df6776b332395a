// The command line at 100, 1,000 and 10,000 entries, beside KeePassXC's keepassxc-cli when it is
// installed: `ls -R`, `show` of one entry, `add` of one entry and a CSV export, timed as whole runs of
// the programs (start, key, work, exit), and the bytes one `add` writes (the program's write calls, and
// what the kernel counts as written to the disk).
//
// Both vaults hold the same generated entries in one category ("Web"): Quillmar's Safe is made through
// the Safe layer (not 10,000 runs of the command line), KeePassXC's by `keepassxc-cli import` of the
// same entries as KeePass 2 XML. Each takes its cheapest key derivation: a compatible Safe (its key is
// the password itself), and the shortest decryption time keepassxc-cli accepts (-t 100).
//
// QM_BENCH_SCALE_SIZES (e.g. "100,1000"), QM_BENCH_SCALE_REPEATS (the median of that many runs, 5 by
// default) and QM_BENCH_CLI (the program to measure) change the run. Without keepassxc-cli the reference
// column is 0 and Quillmar's figures stand alone. QM_BENCH_SCALE_KEEP=1 keeps the vaults (for a profiler)
// and prints their folder.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "BenchReport.h"
#include "base/Exception.h"
#include "model/qmCategory.h"
#include "model/qmField.h"
#include "model/qmRepositoryEntry.h"
#include "safe/qmSFSWrapper.h"

using namespace quillmar;
using quillmar::bench::ReportFigure;
namespace fs = std::filesystem;

namespace {

constexpr char kPassword[] = "bench password";
constexpr char kSafe[] = "Bench";

struct TGenerated {
  std::string title, user, password, url, notes;
};

// Every 50th entry is titled "Mail", so that the listing has titles to number ("Mail#2").
std::vector<TGenerated> Generate(int count) {
  std::vector<TGenerated> out;
  out.reserve(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    TGenerated g;
    g.title = i % 50 == 49 ? "Mail" : "Site " + std::to_string(i);
    g.user = "user" + std::to_string(i) + "@example.org";
    g.password = "pw-" + std::to_string((i + 1) * 7919) + "-Xq";
    g.url = "https://site" + std::to_string(i) + ".example.org/login";
    g.notes = "Account number " + std::to_string(100000 + i);
    out.push_back(g);
  }
  return out;
}

void MakeQuillmarSafe(const std::string& file, const std::vector<TGenerated>& entries) {
  TqmSFSWrapper safe;
  safe.CreateEmptySafe(file, kPassword);
  safe.OpenSafe(file, kPassword);
  TqmCategory cat;
  cat.SetName("Web");
  cat.Fields().Add(TqmField(0, "Title", ftNormalText, true));
  cat.Fields().Add(TqmField(1, "User name", ftNormalText, false));
  cat.Fields().Add(TqmField(2, "Password", ftPassword, false));
  cat.Fields().Add(TqmField(3, "URL", ftURL, false));
  cat.Fields().Add(TqmField(4, "Notes", ftTextMemo, false));
  {
    TqmSFSWrapper::TChange change(safe);
    safe.SaveCategory(cat);
    for (size_t i = 0; i < entries.size(); ++i) {
      const TGenerated& g = entries[i];
      TqmRepositoryEntry e(&cat);
      e.PrepareFromCategory(cat);
      e.SetSortOrder(static_cast<int32_t>(i));
      e.FieldAt(0).SetValue(g.title);
      e.FieldAt(1).SetValue(g.user);
      e.FieldAt(2).SetValue(g.password);
      e.FieldAt(3).SetValue(g.url);
      e.FieldAt(4).SetValue(g.notes);
      safe.SaveEntry(cat.FolderPath(), e);
    }
    change.Commit();
  }
  safe.CloseSafe();
}

std::string Xml(const std::string& s) {
  std::string o;
  for (char ch : s) {
    if (ch == '&')
      o += "&amp;";
    else if (ch == '<')
      o += "&lt;";
    else if (ch == '>')
      o += "&gt;";
    else
      o += ch;
  }
  return o;
}

// A KeePass 2 XML uuid: 16 bytes in Base64 (the number n in the last four).
std::string Uuid(uint32_t n) {
  static const char* const kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  unsigned char b[18] = {0};
  b[12] = static_cast<unsigned char>(n >> 24);
  b[13] = static_cast<unsigned char>(n >> 16);
  b[14] = static_cast<unsigned char>(n >> 8);
  b[15] = static_cast<unsigned char>(n);
  std::string out;
  for (int i = 0; i < 18; i += 3) {
    const uint32_t v = (uint32_t(b[i]) << 16) | (uint32_t(b[i + 1]) << 8) | b[i + 2];
    for (int k = 3; k >= 0; --k) out += kAlphabet[(v >> (6 * k)) & 63];
  }
  return out.substr(0, 22) + "==";
}

void WriteKeePassXml(const std::string& file, const std::vector<TGenerated>& entries) {
  std::ofstream out(file, std::ios::binary);
  out << "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<KeePassFile>\n"
      << "<Meta><Generator>qm_bench_scale</Generator><DatabaseName>Bench</DatabaseName></Meta>\n<Root>\n"
      << "<Group><UUID>" << Uuid(1) << "</UUID><Name>Root</Name>\n"
      << "<Group><UUID>" << Uuid(2) << "</UUID><Name>Web</Name>\n";
  uint32_t id = 3;
  for (const TGenerated& g : entries) {
    out << "<Entry><UUID>" << Uuid(id++) << "</UUID>";
    auto field = [&](const char* key, const std::string& value, bool protect) {
      out << "<String><Key>" << key << "</Key><Value" << (protect ? " ProtectInMemory=\"True\"" : "") << ">"
          << Xml(value) << "</Value></String>";
    };
    field("Title", g.title, false);
    field("UserName", g.user, false);
    field("Password", g.password, true);
    field("URL", g.url, false);
    field("Notes", g.notes, false);
    out << "</Entry>\n";
  }
  out << "</Group>\n</Group>\n</Root>\n</KeePassFile>\n";
}

// One run of a program: its time, the bytes of its write calls and the bytes the kernel counted as
// written to the disk (its block output), and its exit status.
struct TRun {
  double seconds = 0;
  int64_t writeCalls = 0;
  int64_t kernelBytes = 0;
  int status = -1;
};

int64_t OwnWriteCalls() {
  // Reaped children's counts are added to their parent's.
  std::ifstream io("/proc/self/io");
  std::string key;
  int64_t value = 0;
  while (io >> key >> value)
    if (key == "wchar:") return value;
  return 0;
}

TRun Run(const std::vector<std::string>& argv, const std::string& input) {
  int pipeFds[2];
  if (::pipe(pipeFds) != 0) throw EQuillmarError("pipe failed");
  TRun run;
  const int64_t before = OwnWriteCalls();
  const auto t0 = std::chrono::steady_clock::now();
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(pipeFds[0], 0);
    ::close(pipeFds[0]);
    ::close(pipeFds[1]);
    const int null = ::open("/dev/null", O_WRONLY);
    ::dup2(null, 1);
    ::dup2(null, 2);
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    ::execvp(args[0], args.data());
    ::_exit(127);
  }
  ::close(pipeFds[0]);
  // The password lines (a pipe holds them whole; the program reads them when it is ready).
  const ssize_t wrote = ::write(pipeFds[1], input.data(), input.size());
  ::close(pipeFds[1]);
  struct rusage usage {};
  int status = 0;
  ::wait4(pid, &status, 0, &usage);
  run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  run.writeCalls = OwnWriteCalls() - before - (wrote > 0 ? wrote : 0);
  run.kernelBytes = static_cast<int64_t>(usage.ru_oublock) * 512;
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

double Median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// The median time of `repeats` runs; the runs' write figures are those of the median run's neighbours
// (the write volume of a command does not vary).
struct TFigure {
  double seconds = 0;
  double writeCalls = 0;
  double kernelBytes = 0;
  bool failed = false;
};

template <class Argv>
TFigure Measure(int repeats, Argv&& argv, const std::string& input) {
  std::vector<double> times, calls, kernel;
  TFigure f;
  for (int r = 0; r < repeats; ++r) {
    const TRun run = Run(argv(r), input);
    if (run.status != 0) f.failed = true;
    times.push_back(run.seconds);
    calls.push_back(static_cast<double>(run.writeCalls));
    kernel.push_back(static_cast<double>(run.kernelBytes));
  }
  f.seconds = Median(times);
  f.writeCalls = Median(calls);
  f.kernelBytes = Median(kernel);
  return f;
}

std::vector<int> Sizes() {
  std::vector<int> sizes;
  if (const char* s = std::getenv("QM_BENCH_SCALE_SIZES")) {
    std::stringstream in(s);
    std::string part;
    while (std::getline(in, part, ','))
      if (!part.empty()) sizes.push_back(std::stoi(part));
  }
  if (sizes.empty()) sizes = {100, 1000, 10000};
  return sizes;
}

bool HaveKeePassXc() {
  return std::system("command -v keepassxc-cli >/dev/null 2>&1") == 0;
}

struct TResults {
  int size = 0;
  TFigure q[4], k[4];  // ls -R, show, add, export
};

}  // namespace

int main() {
  // QM_BENCH_CLI: another build of the program (an older one, for figures before and after a change).
  const char* other = std::getenv("QM_BENCH_CLI");
  const std::string cli = other ? other : QM_CLI_PROGRAM;
  int repeats = 5;
  if (const char* r = std::getenv("QM_BENCH_SCALE_REPEATS")) repeats = std::max(1, std::atoi(r));
  const bool peer = HaveKeePassXc();
  if (!peer)
    std::printf(
        "# keepassxc-cli is not installed (Debian: apt-get install keepassxc): no reference figures\n");
  const fs::path dir = fs::temp_directory_path() / ("qm-bench-scale-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  std::vector<TResults> all;
  const char* const kNames[4] = {"ls -R", "show one entry", "add one entry", "CSV export"};
  for (int size : Sizes()) {
    const auto entries = Generate(size);
    const fs::path home = dir / ("home" + std::to_string(size));
    fs::create_directories(home);
    MakeQuillmarSafe((home / (std::string(kSafe) + ".qvt")).string(), entries);
    const std::string kdbx = (dir / ("bench" + std::to_string(size) + ".kdbx")).string();
    if (peer) {
      const std::string xml = (dir / ("bench" + std::to_string(size) + ".xml")).string();
      WriteKeePassXml(xml, entries);
      const TRun made = Run({"keepassxc-cli", "import", "-q", "-p", "-t", "100", xml, kdbx},
                            std::string(kPassword) + "\n" + kPassword + "\n");
      if (made.status != 0) std::printf("# keepassxc-cli import failed (status %d)\n", made.status);
    }
    const std::string pw = std::string(kPassword) + "\n";
    const std::string shown = "Site " + std::to_string(size / 2);
    const std::string h = home.string();
    TResults res;
    res.size = size;
    auto q = [&](std::vector<std::string> args) {
      args.insert(args.begin(), {cli, "--home", h});
      return args;
    };
    res.q[0] = Measure(
        repeats,
        [&](int) {
          return q({"ls", kSafe, "--recursive"});
        },
        pw);
    res.q[1] = Measure(
        repeats,
        [&](int) {
          return q({"show", kSafe, "Web/" + shown, "--reveal"});
        },
        pw);
    res.q[2] = Measure(
        repeats,
        [&](int r) {
          return q({"add", kSafe, "Web", "--set", "Title=Added " + std::to_string(r), "--set",
                    "User name=bob", "--set", "Password=added-" + std::to_string(r)});
        },
        pw);
    res.q[3] = Measure(
        repeats,
        [&](int) {
          return q({"export", kSafe, "--format", "csv"});
        },
        pw);
    if (peer) {
      res.k[0] = Measure(
          repeats,
          [&](int) {
            return std::vector<std::string>{"keepassxc-cli", "ls", "-q", "-R", kdbx};
          },
          pw);
      res.k[1] = Measure(
          repeats,
          [&](int) {
            return std::vector<std::string>{"keepassxc-cli", "show", "-q", "-s", kdbx, "Web/" + shown};
          },
          pw);
      res.k[2] = Measure(
          repeats,
          [&](int r) {
            return std::vector<std::string>{"keepassxc-cli", "add", "-q", "-u",
                                            "bob",           "-p",  kdbx, "Web/Added " + std::to_string(r)};
          },
          pw + "added\n");
      res.k[3] = Measure(
          repeats,
          [&](int) { return std::vector<std::string>{"keepassxc-cli", "export", "-q", "-f", "csv", kdbx}; },
          pw);
    }
    for (int i = 0; i < 4; ++i)
      if (res.q[i].failed || (peer && res.k[i].failed))
        std::printf("# %s at %d entries: a run failed\n", kNames[i], size);
    all.push_back(res);
  }
  if (std::getenv("QM_BENCH_SCALE_KEEP"))
    std::printf("# the vaults are kept in %s\n", dir.string().c_str());
  else
    fs::remove_all(dir);

  const char* const kTargets[4] = {"ratio <= 0.5 at 10000", "ratio <= 0.5 at 10000", "ratio <= 0.1 at 10000",
                                   "ratio <= 0.5 at 10000"};
  for (const TResults& r : all)
    for (int i = 0; i < 4; ++i)
      ReportFigure(
          "cli/" + std::string(kNames[i]) + " at " + std::to_string(r.size) + " (s, vs keepassxc-cli)",
          r.q[i].seconds, r.k[i].seconds, "s", kTargets[i], 1);
  for (const TResults& r : all) {
    ReportFigure("cli/add: write calls at " + std::to_string(r.size) + " (KiB, vs keepassxc-cli)",
                 r.q[2].writeCalls / 1024, r.k[2].writeCalls / 1024, "KiB",
                 "<= 64 KiB plus the entry's pages", 1);
    ReportFigure("cli/add: kernel's count at " + std::to_string(r.size) + " (KiB, vs keepassxc-cli)",
                 r.q[2].kernelBytes / 1024, r.k[2].kernelBytes / 1024, "KiB",
                 "<= 64 KiB plus the entry's pages", 1);
  }
  if (all.size() > 1) {
    const TResults& small = all.front();
    const TResults& large = all.back();
    ReportFigure(
        "cli/add: write calls at " + std::to_string(large.size) + " vs at " + std::to_string(small.size),
        large.q[2].writeCalls / 1024, small.q[2].writeCalls / 1024, "KiB", "ratio <= 1.5", 1);
    ReportFigure(
        "cli/add: kernel's count at " + std::to_string(large.size) + " vs at " + std::to_string(small.size),
        large.q[2].kernelBytes / 1024, small.q[2].kernelBytes / 1024, "KiB", "ratio <= 1.5", 1);
  }
  return 0;
}
