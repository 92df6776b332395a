#pragma once
// TFreeSpaceManager: which pages of a container are in use. Hands out pages to the directory, the file
// maps and file data, takes them back, and grows the container by whole extents.
//
// Terms: P page size, D = P - 32, E extent size in pages. Managed pages are 1 .. total - 1; managed
// index i = page - 1. Extent x holds managed indexes x*E .. x*E + E - 1; extent count =
// (total page count - 1) / E.
//
// Three bitmaps (bit b in byte b / 8 under mask 1 << (b % 8); 1 means free), each stored in pages of its
// own (never encrypted, checksum type 0, payload = the bitmap bytes of one page):
//   PFS  (type 4)  one bit per managed page: 1 = free. PFS page k covers extents k*EPP onward and is
//                  page 1 + k*EPP*E, the first page of the first extent it covers.
//   GAM  (type 2)  one bit per extent: 1 = the extent is wholly free.
//   SGAM (type 3)  one bit per extent: 1 = the extent is shared by several owners and has free pages.
//                  GAM page j and SGAM page j cover extents j*EPG onward; GAM page j is page
//                  2 + j*EPG*E and its SGAM page the page after it.
// with PFS bytes per page = (8D - 8D mod E) / 8, EPP = PFS bytes * 8 / E, GAM bytes per page =
// (8D - 8D mod EPP) / 8, EPG = GAM bytes * 8 (2016, 2016, 2016, 16128 for P = 2048, E = 8).
//
// Invariants (over the existing extents; checked by CheckIntegrity):
//   - The PFS bits are authoritative. Every map page (PFS, GAM, SGAM) is marked in use.
//   - GAM bit x is 1 exactly when all E pages of extent x are free. When a request takes the first page
//     of a wholly free extent, the extent is recorded at once as no longer wholly free (GAM bit 0):
//     as shared (SGAM bit 1) for an ordinary request, as owned by one owner (SGAM bit 0) for a uniform
//     one. (The alternative, keeping GAM bit 1 until the extent's last page is taken, would leave GAM
//     claiming free extents that are partly used.)
//   - SGAM bit x is 1 only when the extent has both free and used pages; GAM and SGAM are never both 1.
//     Freeing pages of a full extent makes it shared (SGAM 1) so that ordinary requests find the hole;
//     freeing its last used page makes it wholly free (GAM 1, SGAM 0).
//   - Free-extent count = set GAM bits, mixed count = set SGAM bits.
//   - PFS page count = ceil(extents / EPP), GAM page count = ceil(extents / EPG) (header fields).
//   - Inside a transaction of the page file, a page handed out that was free when the transaction
//     began is reported to it (MarkFreeAtStart): its old bytes need not be journaled.
//   - The container file may end before the header's total page count after the highest pages were
//     freed (FreePages shortens it); every page in use lies inside the file. A page handed out past the
//     end is given back to the file first.
//
// Failures: structural and I/O errors throw ESFSError with the messages below; a container that cannot
// grow makes GetPages return false, with every in-memory change of that call undone (the caller turns it
// into the no-space error -17). Once map pages are being written, a failed write throws and nothing is
// rolled back.
//
// Single-threaded. Keeps a reference to the page file manager, which must outlive it.
#include <cstdint>
#include <unordered_set>
#include <vector>

#include "container/PageFileManager.h"

namespace quillmar {

class TFreeSpaceManager {
public:
  // Sizes derived from the page size and the extent size.
  struct TGeometry {
    int32_t PageSize = 0;
    int32_t ExtentSize = 0;
    int32_t PFSBytesPerPage = 0;
    int32_t ExtentsPerPFSPage = 0;
    int32_t GAMBytesPerPage = 0;
    int32_t ExtentsPerGAMPage = 0;
  };
  // Throws ESFSError when one map page could not cover a single extent (extent size larger than
  // 8 * D pages) or the sizes are not positive.
  static TGeometry ComputeGeometry(int32_t pageSize, int32_t extentSize);

  // Computes the sizes, checks that the map pages of the header cover every extent, and loads the PFS,
  // GAM and SGAM pages. Throws
  //   "TFreeSpaceManager.Create - PFSPageCount * FPageSize < FExtentCount!"
  //   "TFreeSpaceManager.Create - GAMPageCount * FPageSize < FExtentCount!"
  //   "TFreeSpaceManager.LoadPFS - can not load page, pageNo = <n>"
  //   "TFreeSpaceManager.LoadGAM - can not load page, pageNo = <GAM page>"
  //   "TFreeSpaceManager.LoadGAM - can not load SGAM page, pageNo = <GAM page>"
  explicit TFreeSpaceManager(TPageFileManager& pfm);
  TFreeSpaceManager(const TFreeSpaceManager&) = delete;
  TFreeSpaceManager& operator=(const TFreeSpaceManager&) = delete;

  // Takes `count` free pages into `pages`: first the free pages of the hint page's extent (in ascending
  // order, whatever its GAM and SGAM bits), then, scanning extents from 0 upward, wholly free extents
  // and (unless uniform) shared extents with free pages; when these do not suffice the container grows
  // by whole extents. Writes the changed map pages (GAM/SGAM first, then PFS).
  // Returns false when the container could not grow (nothing changed, `pages` empty). Throws on
  // structural and I/O errors:
  //   "TFreeSpaceManager.GetPages - AddExtents does not append any extents."
  //   "TFreeSpaceManager.GetPages - AddExtents appends too small pages."
  //   the save messages of WriteDirtyPages.
  bool GetPages(int32_t count, int32_t hintPage, std::vector<int32_t>& pages, bool uniform = false);

  // Returns the pages to the free state and writes the changed map pages. Pages outside the managed
  // range and the map pages themselves are ignored (freeing them would hand out page 0 or a map page
  // to a new owner). When the highest page in use is freed, the container file is shortened to end
  // after the page below it; the header's total page count stays.
  void FreePages(std::vector<int32_t> pages);

  // After a map write failed, writes every map page again so that the disk holds what memory holds.
  // Returns true when nothing is pending (any more); false when the write failed again.
  bool Resync();

  // --- Inspection (tests, integrity check) -----------------------------------------------------------
  const TGeometry& Geometry() const { return geo_; }
  int32_t ExtentCount() const { return extentCount_; }
  int32_t FreeExtentCount() const { return freeExtents_; }
  int32_t MixedExtentCount() const { return mixedExtents_; }
  int32_t PFSPageCount() const { return pfsPageCount_; }
  int32_t GAMPageCount() const { return gamPageCount_; }
  int32_t PFSPageNo(int32_t k) const;
  int32_t GAMPageNo(int32_t j) const;
  int32_t SGAMPageNo(int32_t j) const { return GAMPageNo(j) + 1; }
  // True for the pages the placement rule gives to existing PFS, GAM and SGAM pages.
  bool IsMapPage(int32_t pageNo) const;
  // REQUIRES: 1 <= pageNo; false for pages outside the loaded bitmap.
  bool IsPageFree(int32_t pageNo) const;
  bool GAMBit(int32_t extent) const { return Bit(gam_, extent); }
  bool SGAMBit(int32_t extent) const { return Bit(sgam_, extent); }
  // The highest page whose PFS bit says "in use", 0 when there is none.
  int32_t HighestUsedPage() const;
  const std::vector<uint8_t>& PFSBitmap() const { return pfs_; }
  const std::vector<uint8_t>& GAMBitmap() const { return gam_; }
  const std::vector<uint8_t>& SGAMBitmap() const { return sgam_; }
  TPageFileManager& PageFile() const { return pfm_; }

private:
  struct TExtentUndo {
    int32_t Extent;
    bool Gam, Sgam;
  };
  struct TUndo;

  static bool Bit(const std::vector<uint8_t>& map, int64_t b) {
    return b >= 0 && static_cast<size_t>(b / 8) < map.size() && (map[b / 8] >> (b % 8)) & 1;
  }
  static void SetBit(std::vector<uint8_t>& map, int64_t b, bool v) {
    uint8_t mask = static_cast<uint8_t>(1u << (b % 8));
    if (v)
      map[b / 8] |= mask;
    else
      map[b / 8] &= static_cast<uint8_t>(~mask);
  }
  void SetExtentState(int32_t x, bool gam, bool sgam);
  bool ExtentHasFreePage(int32_t x) const;
  bool ExtentAllFree(int32_t x) const;
  void MarkPFSDirty(int32_t managedIndex);
  void MarkGAMDirty(int32_t extent);
  void ClearDirty();
  void TakeFromExtent(int32_t x, int32_t count, std::vector<int32_t>& pages, bool uniform, TUndo& undo);
  int32_t Scan(int32_t from, int32_t count, std::vector<int32_t>& pages, bool uniform, TUndo& undo);
  int32_t AddExtents(int64_t missing, bool uniform);
  void Rollback(TUndo& undo, std::vector<int32_t>& pages);
  void WriteDirtyPages();
  void SaveGAM();
  void SavePFS();
  bool EnsureFileHolds(int32_t pageNo);

  TPageFileManager& pfm_;
  TGeometry geo_;
  int32_t extentCount_ = 0;
  int32_t pfsPageCount_ = 0;
  int32_t gamPageCount_ = 0;
  int32_t freeExtents_ = 0;
  int32_t mixedExtents_ = 0;
  std::vector<uint8_t> pfs_, gam_, sgam_;
  std::vector<bool> pfsDirty_, gamDirty_;
  bool resyncAll_ = false;  // a map write failed: write every map page next time
  // Pages freed in the page file's current transaction: handed out again, their old bytes still
  // matter to a rollback. Every other free page handed out was free when the transaction began.
  std::unordered_set<int32_t> freedInTransaction_;
  uint64_t transaction_ = 0;
  void FollowTransaction();
};

}  // namespace quillmar
