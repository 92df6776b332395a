#pragma once
// TIntegrityCheck: a check of a container's structures against each other and against what is on disk.
// Each layer contributes what it knows:
//   - every page a structure refers to is claimed (ClaimPage) with the name of its owner; a claimed page
//     must lie in the managed extents, be marked in use in PFS and be claimed only once;
//   - each layer adds the problems it finds in its own structure (AddProblem);
// and Finish() then reports every page marked in use that nobody claimed, and every page in use that
// lies past the end of the file.
//
// The free-space maps and the directory contribute through CheckFreeSpaceMaps and CheckDirectory; a
// later layer (the file page maps) adds its map chains and data pages with a TIntegrityContributor
// passed to CheckIntegrity.
//
// The check only reads. Problems are plain texts naming pages and item numbers (never item contents
// beyond names), at most MaxProblems of them plus a count of the rest.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "container/DIRManager.h"
#include "container/FreeSpaceManager.h"
#include "container/PageFileManager.h"

namespace quillmar {

class TIntegrityCheck {
public:
  static constexpr size_t MaxProblems = 1000;

  TIntegrityCheck(TPageFileManager& pfm, TFreeSpaceManager& fsm);

  // Records that `owner` (for example "directory page 3") uses page pageNo.
  void ClaimPage(int32_t pageNo, const std::string& owner);
  void AddProblem(const std::string& text);
  // True when some owner has claimed the page.
  bool IsClaimed(int32_t pageNo) const;

  TPageFileManager& PageFile() const { return pfm_; }
  TFreeSpaceManager& FreeSpace() const { return fsm_; }

  // Adds the problems of pages in use that nobody claimed or that lie past the end of the file, and
  // returns every problem found (empty when the container is sound).
  std::vector<std::string> Finish();

private:
  TPageFileManager& pfm_;
  TFreeSpaceManager& fsm_;
  std::vector<int32_t> owner_;  // per page: index into owners_, -1 when unclaimed
  std::vector<std::string> owners_;
  std::vector<std::string> problems_;
  size_t dropped_ = 0;
};

using TIntegrityContributor = std::function<void(TIntegrityCheck&)>;

// The maps: their pages claimed and compared with the bitmaps in memory; header page counts; GAM, SGAM
// and PFS agreeing for every extent; the free and mixed counts.
void CheckFreeSpaceMaps(TIntegrityCheck& check);
// The directory: its page chain (read from disk, claimed, compared with the table in memory), the
// header's page and item counts, the indexes, and the rules every live item keeps (names, parents,
// folders, no duplicate names in a folder, no loops).
void CheckDirectory(TIntegrityCheck& check, const TDIRManager& dir);

// The whole check: maps, directory, then each further contributor, then Finish().
std::vector<std::string> CheckIntegrity(TPageFileManager& pfm, TFreeSpaceManager& fsm, const TDIRManager& dir,
                                        const std::vector<TIntegrityContributor>& more = {});

}  // namespace quillmar
