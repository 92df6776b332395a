// Feeds arbitrary bytes to the container engine as a container file: it is opened, every folder is
// walked, every file read, the integrity check run, and a file written and deleted. Damage may be
// refused with an exception; it must never crash, hang, or allocate without bound (a key derivation
// in the header beyond its bounds is refused before anything is reserved). The seeds are
// unencrypted containers, so that the fuzzer reaches the structures rather than random cipher text.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <functional>
#include <string>
#include <vector>

#include "container/DIRManager.h"
#include "container/SFSFileStream.h"
#include "container/SingleFileSystem.h"

namespace {

using namespace quillmar;

const std::string& ScratchFile() {
  static const std::string path = "/tmp/qm-container-fuzz-" + std::to_string(::getpid()) + ".qvt";
  return path;
}

void Exercise(TSingleFileSystem& s) {
  int budget = 200;  // items visited, so that a huge directory cannot make one input slow
  std::vector<char> buffer(65536);
  std::function<void(const std::string&, int)> walk = [&](const std::string& folder, int depth) {
    if (depth > 8) return;
    std::vector<std::pair<std::string, bool>> items;
    TSearchRec rec;
    for (int r = s.FindFirst(folder + "*.*", faAnyFile, rec); r == 0 && budget-- > 0; r = s.FindNext(rec))
      items.emplace_back(rec.Name, (rec.Attr & faDirectory) != 0);
    s.FindClose(rec);
    for (const auto& [name, isFolder] : items) {
      if (name == "." || name == ".." || name.empty()) continue;
      if (isFolder) {
        walk(folder + name + "\\", depth + 1);
        continue;
      }
      try {
        TSFSFileStream f(&s, 0, "", "", "pw", 0, folder + name);
        int64_t left = std::min<int64_t>(f.Size(), 1 << 20);
        while (left > 0) {
          int64_t got = f.Read(buffer.data(), std::min<int64_t>(left, int64_t(buffer.size())));
          if (got <= 0) break;
          left -= got;
        }
      } catch (const std::exception&) {
      }
    }
  };
  walk("\\", 0);
  try {
    s.CheckIntegrity();
  } catch (const std::exception&) {
  }
  try {
    TSFSFileStream f(&s, 0, "", "", "", 0xFFFF, "\\fuzz-new");
    std::string data(5000, 'n');
    f.WriteBuffer(data.data(), int64_t(data.size()));
  } catch (const std::exception&) {
  }
  try {
    s.DeleteFile("\\fuzz-new");
  } catch (const std::exception&) {
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string& path = ScratchFile();
  if (FILE* f = std::fopen(path.c_str(), "wb")) {
    std::fwrite(data, 1, size, f);
    std::fclose(f);
  } else {
    return 0;
  }
  // The default password dialog is not installed: a file with its own password simply fails to open.
  TSingleFileSystem::SetDefaultPasswordDialog(nullptr);
  const std::string journal = TSingleFileSystem::JournalFileName(path);
  std::remove(journal.c_str());  // a journal of the previous input would not belong to this one
  try {
    TSingleFileSystem s(path, -1, 8, 2048, 0, "", "", "", false, 2);
    Exercise(s);
  } catch (const std::exception&) {
  }
  // The same bytes read as a journal: what a damaged journal holds is untrusted input too.
  if (FILE* f = std::fopen(journal.c_str(), "wb")) {
    std::fwrite(data, 1, size, f);
    std::fclose(f);
    (void)TSingleFileSystem::DescribeJournal(path);
  }
  std::remove(journal.c_str());
  // The key derivation named in the header: refused beyond its bounds; a cheap one is followed and
  // the container opened with the key it gives (a wrong key, unless the input holds the right record).
  try {
    const TKeyDerivation d = TSingleFileSystem::ReadKeyDerivation(path);
    if (d.Hardened() && d.MemoryKiB <= 256 && d.Passes <= 2) {
      TSingleFileSystem s(path, -1, 8, 2048, 0, "", "", TTextKey::Derive("pw", d), false, 2);
      Exercise(s);
    }
  } catch (const std::exception&) {
  }
  std::remove(path.c_str());
  for (int k = 1; k < 4; ++k) std::remove((path + std::to_string(k)).c_str());
  return 0;
}
