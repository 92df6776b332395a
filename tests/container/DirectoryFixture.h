#pragma once
// A real container file in a temporary folder with its page file, free-space maps and directory, for the
// tests of the free-space maps, the directory and the integrity check. Reopen() closes everything and
// opens the file again, as the program does at its next start.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "container/DIRManager.h"
#include "container/FreeSpaceManager.h"
#include "container/IntegrityCheck.h"
#include "container/PageFileManager.h"
#include "container/SFSError.h"
#include "support/ExpectThrow.h"
#include "support/FaultyPartStorage.h"
#include "support/TempDir.h"

namespace quillmar::test {

struct TDirectoryFixture {
  TempDir temp;
  std::string path = temp.file("safe.qvt");
  std::string password;
  TFaultyPartStorage storage;
  std::unique_ptr<TPageFileManager> pfm;
  std::unique_ptr<TFreeSpaceManager> fsm;
  std::unique_ptr<TDIRManager> dir;

  explicit TDirectoryFixture(std::string pw = "", int32_t extentSize = 8, int32_t pageSize = 2048)
      : password(std::move(pw)) {
    pfm = std::make_unique<TPageFileManager>(path, -1, extentSize, pageSize, false, "", "", password,
                                             TPageFileManager::fmCreate, &storage);
    fsm = std::make_unique<TFreeSpaceManager>(*pfm);
    dir = std::make_unique<TDIRManager>(*pfm, *fsm);
  }

  void Close() {
    dir.reset();
    fsm.reset();
    pfm.reset();
  }
  void Reopen() {
    Close();
    pfm = std::make_unique<TPageFileManager>(path, -1, 8, 2048, false, "", "", password, 18, &storage);
    fsm = std::make_unique<TFreeSpaceManager>(*pfm);
    dir = std::make_unique<TDIRManager>(*pfm, *fsm);
  }

  std::vector<std::string> Check(const std::vector<TIntegrityContributor>& more = {}) {
    return CheckIntegrity(*pfm, *fsm, *dir, more);
  }

  int64_t FilePages() const { return pfm->ContainerSize() / pfm->PageSize(); }
};

inline std::string Join(const std::vector<std::string>& lines) {
  std::string r;
  for (const auto& l : lines) r += l + "\n";
  return r;
}

}  // namespace quillmar::test
