#pragma once
// TUserFilePageMapManager: which data pages hold a container file's bytes.
//
// On disk: a file's directory item names its first map page (FirstMapPageNo; -1 for a file without
// pages). Map pages (type 5, never encrypted, XOR checksum) form a chain through the page header's
// next field; each payload is M = D/4 little-endian 32-bit page numbers. A file of size s has
// ceil(s / D) data pages (type 6); entry j of the whole map (map page j / M, slot j % M) is the page
// holding file bytes j*D .. j*D + D - 1. Entries past the page count are not meaningful (written 0).
// Invariants kept here:
//   - the chain has ceil(n / M) map pages (at least one while the file has a map) and ends with -1;
//   - every map and data page of a file is marked used in the free-space maps and belongs to that
//     file only;
//   - a file whose page count drops to 0 has no map at all (FirstMapPageNo -1).
// Map lists are cached per file (keyed by the first map page), two caches of at most 100 files each,
// so that successive reads and writes of one file do not re-read its map chain.
//
// The page count of a file is taken from the cached data-page list when present, else from the item's
// size. REQUIRES of callers: update the item's FileSize right after growing or shrinking its pages
// (within the same operation), so that the two never disagree once the cache forgets the file.
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "container/DIRItem.h"
#include "container/SFSConstants.h"

namespace quillmar {

class TPageFileManager;
class TFreeSpaceManager;

class TUserFilePageMapManager : public TSFSConstants {
public:
  static constexpr size_t MaxCachedFiles = 100;

  TUserFilePageMapManager(TPageFileManager& pages, TFreeSpaceManager& freeSpace);

  // The map pages and data pages of the file, from the cache or read from its chain. Raises
  // ESFSError on a file without map, an unreadable map page or a chain that ends too early.
  // The references stay valid until the next call that changes or loads maps.
  void GetMaps(const TDIRItem& item, const std::vector<int32_t>*& mapPages,
               const std::vector<int32_t>*& dataPages);

  // Appends count data pages (zero-filled on disk when initialise) and the map pages they need;
  // may set item.FirstMapPageNo (the caller writes the item). False with LastError -17 when the
  // free-space maps cannot provide the pages; nothing is then left allocated.
  bool AppendPages(TDIRItem& item, int32_t count, bool initialise) {
    return AppendPages(item, count, initialise ? count : 0);
  }
  // The same, zero-filling only the first `zeroCount` of the new pages (the caller writes the others).
  bool AppendPages(TDIRItem& item, int32_t count, int32_t zeroCount);

  // Frees the last count data pages and the map pages no longer needed.
  void DeletePagesFromEOF(TDIRItem& item, int32_t count);

  // Appends or frees data pages so that the file has ceil(newSize / D) of them, and sets
  // item.FileSize to newSize on success.
  bool SetFileSize(TDIRItem& item, bool initialise, int64_t newSize);

  // The data pages holding bytes [position, position + count). With extend, the file's pages are
  // first grown (zero-filled) to cover position + count. False with LastError -17 when growing failed;
  // an empty result for a range outside the file's pages.
  // With zeroWritten false, new pages inside the range are not zero-filled (the caller is about to
  // write them); new pages before the range still are.
  bool GetPagesForRange(TDIRItem& item, bool extend, int64_t count, int64_t position,
                        std::vector<int32_t>& pages, bool zeroWritten = true);

  // Number of data pages for a size.
  int64_t PageCountFor(int64_t size) const { return (size + dataSize_ - 1) / dataSize_; }
  int32_t EntriesPerMapPage() const { return perMap_; }
  int32_t LastError() const { return lastError_; }

  // Forget cached lists (after a rebuild, or before reading maps that were written elsewhere).
  void ClearCaches();

private:
  struct Lists {
    std::vector<int32_t> maps;
    std::vector<int32_t> data;
  };
  Lists& Load(const TDIRItem& item);
  void WriteMapPages(const Lists& lists, size_t fromMapIndex);
  void WriteZeroPages(const std::vector<int32_t>& pages);

  TPageFileManager& pages_;
  TFreeSpaceManager& freeSpace_;
  int32_t dataSize_;
  int32_t perMap_;
  int32_t lastError_ = 0;
  std::unordered_map<int32_t, Lists> cache_;
};

}  // namespace quillmar
