#include "support/CrashTesting.h"

#include <zlib.h>

#include <algorithm>

#include "container/DIRManager.h"
#include "container/SingleFileSystem.h"

namespace quillmar::test {

std::string TFaultRun::Label() const {
  return std::string(fault == TFaultyPartStorage::TFault::Crash ? "crash" : "failure") + " at operation " +
         std::to_string(at) + (succeeded ? " (reported success)" : " (" + error + ")");
}

int64_t ForEveryFault(TFaultyPartStorage& storage, const std::function<void()>& restore,
                      const std::function<bool()>& operation,
                      const std::function<void(const TFaultRun&)>& check, bool alsoSingleFailures) {
  restore();
  storage.Disarm();
  operation();
  const int64_t count = storage.Operations();
  for (int64_t n = 1; n <= count; ++n) {
    for (auto fault : {TFaultyPartStorage::TFault::Crash, TFaultyPartStorage::TFault::Fail}) {
      if (fault == TFaultyPartStorage::TFault::Fail && !alsoSingleFailures) continue;
      restore();
      storage.Arm(fault, n);
      TFaultRun run;
      run.at = n;
      run.fault = fault;
      try {
        run.succeeded = operation();
        if (!run.succeeded) run.error = "reported failure";
      } catch (const std::exception& e) {
        run.error = e.what();
      }
      storage.Disarm();
      check(run);
    }
  }
  return count;
}

std::string ContainerSnapshot(TSingleFileSystem& fs, std::string_view filePassword) {
  std::vector<std::string> lines;
  std::vector<uint8_t> buffer(1 << 16);
  std::function<void(const std::string&)> walk = [&](const std::string& folder) {
    std::vector<std::pair<std::string, TSearchRec>> items;
    TSearchRec rec;
    for (int r = fs.FindFirst(folder + "*.*", faAnyFile, rec); r == 0; r = fs.FindNext(rec))
      items.emplace_back(folder + rec.Name, rec);
    fs.FindClose(rec);
    for (const auto& [path, r] : items) {
      if (r.Attr & faDirectory) {
        lines.push_back(path + "\\ folder attr " + std::to_string(r.Attr));
        walk(path + "\\");
        continue;
      }
      TKeyRecord record;
      fs.GetKeyRecord(path, record);
      const int32_t h = fs.FileOpen(path, 0, {}, {}, filePassword);
      std::string line = path + " file attr " + std::to_string(r.Attr) + " size " + std::to_string(r.Size);
      if (h < 0) {
        lines.push_back(line + " cannot be opened");
        continue;
      }
      uLong crc = ::crc32(0, nullptr, 0);
      int64_t total = 0;
      for (;;) {
        const int64_t got = fs.FileRead(h, buffer.data(), int64_t(buffer.size()));
        if (got <= 0) break;
        crc = ::crc32(crc, buffer.data(), uInt(got));
        total += got;
      }
      const bool whole = total == fs.FileSize(h);
      fs.FileClose(h);
      lines.push_back(line + " crc " + std::to_string(crc) +
                      (whole ? "" : " read only " + std::to_string(total)));
    }
  };
  walk("\\");
  std::sort(lines.begin(), lines.end());
  std::string out;
  for (const auto& l : lines) out += l + "\n";
  return out;
}

std::string ReopenedSnapshot(const std::string& file, std::string_view password,
                             std::string_view filePassword, std::vector<std::string>* problems) {
  TSingleFileSystem fs(file, -1, 8, 4096, 0, "", "", password, false, 0x20);
  if (problems) *problems = fs.CheckIntegrity();
  return ContainerSnapshot(fs, filePassword);
}

}  // namespace quillmar::test
