#include "container/FreeSpaceManager.h"

#include <algorithm>
#include <climits>
#include <string>

#include "container/Checksum.h"
#include "container/SFSError.h"

namespace quillmar {

// Everything GetPages changes in memory before it writes, so that a container that cannot grow is left
// as it was.
struct TFreeSpaceManager::TUndo {
  int32_t ExtentCount = 0, PFSPageCount = 0, GAMPageCount = 0, FreeExtents = 0, MixedExtents = 0;
  size_t PFSSize = 0, GAMSize = 0;
  bool TailSaved = false;
  std::vector<uint8_t> PFSTail, GAMTail, SGAMTail;  // the last old map page of each kind
  std::vector<TExtentUndo> Extents;                 // state of old extents before each take
};

TFreeSpaceManager::TGeometry TFreeSpaceManager::ComputeGeometry(int32_t pageSize, int32_t extentSize) {
  TGeometry g;
  g.PageSize = pageSize;
  g.ExtentSize = extentSize;
  int64_t d = static_cast<int64_t>(pageSize) - TPageHeader::Size;
  if (d <= 0 || extentSize <= 0)
    throw ESFSError("TFreeSpaceManager.Create - invalid page size " + std::to_string(pageSize) +
                    " or extent size " + std::to_string(extentSize) + "; the container header is damaged.");
  int64_t bits = 8 * d;
  g.PFSBytesPerPage = static_cast<int32_t>((bits - bits % extentSize) / 8);
  g.ExtentsPerPFSPage = static_cast<int32_t>(static_cast<int64_t>(g.PFSBytesPerPage) * 8 / extentSize);
  if (g.ExtentsPerPFSPage <= 0)
    throw ESFSError("TFreeSpaceManager.Create - extent size " + std::to_string(extentSize) +
                    " is too large for page size " + std::to_string(pageSize) +
                    ": one free-space page must cover at least one extent.");
  g.GAMBytesPerPage = static_cast<int32_t>((bits - bits % g.ExtentsPerPFSPage) / 8);
  g.ExtentsPerGAMPage = g.GAMBytesPerPage * 8;
  return g;
}

TFreeSpaceManager::TFreeSpaceManager(TPageFileManager& pfm) : pfm_(pfm) {
  geo_ = ComputeGeometry(pfm_.PageSize(), pfm_.ExtentPageCount());
  int32_t total = pfm_.TotalPageCount();
  pfsPageCount_ = pfm_.PFSPageCount();
  gamPageCount_ = pfm_.GAMPageCount();
  if (total < 1 || pfsPageCount_ < 0 || gamPageCount_ < 0)
    throw ESFSError(
        "TFreeSpaceManager.Create - the container header holds a negative page count; the "
        "container is damaged.");
  extentCount_ = (total - 1) / geo_.ExtentSize;
  if (static_cast<int64_t>(pfsPageCount_) * geo_.ExtentsPerPFSPage < extentCount_)
    throw ESFSError("TFreeSpaceManager.Create - PFSPageCount * FPageSize < FExtentCount!");
  if (static_cast<int64_t>(gamPageCount_) * geo_.ExtentsPerGAMPage < extentCount_)
    throw ESFSError("TFreeSpaceManager.Create - GAMPageCount * FPageSize < FExtentCount!");

  TPageHeader header;
  std::vector<uint8_t> buf(static_cast<size_t>(pfm_.PageDataSize()));
  // The bitmaps grow page by page as pages are read, so a damaged count fails at its first missing page
  // instead of allocating its full size first.
  for (int32_t k = 0; k < pfsPageCount_; ++k) {
    int32_t pageNo = PFSPageNo(k);
    if (pageNo < 0 || !pfm_.ReadPage(pageNo, header, buf.data(), false, nullptr, geo_.PFSBytesPerPage))
      throw ESFSError("TFreeSpaceManager.LoadPFS - can not load page, pageNo = " + std::to_string(pageNo));
    pfs_.insert(pfs_.end(), buf.begin(), buf.begin() + geo_.PFSBytesPerPage);
  }
  for (int32_t j = 0; j < gamPageCount_; ++j) {
    int32_t pageNo = GAMPageNo(j);
    if (pageNo < 0 || !pfm_.ReadPage(pageNo, header, buf.data(), false, nullptr, geo_.GAMBytesPerPage))
      throw ESFSError("TFreeSpaceManager.LoadGAM - can not load page, pageNo = " + std::to_string(pageNo));
    gam_.insert(gam_.end(), buf.begin(), buf.begin() + geo_.GAMBytesPerPage);
    if (!pfm_.ReadPage(pageNo + 1, header, buf.data(), false, nullptr, geo_.GAMBytesPerPage))
      throw ESFSError("TFreeSpaceManager.LoadGAM - can not load SGAM page, pageNo = " +
                      std::to_string(pageNo));
    sgam_.insert(sgam_.end(), buf.begin(), buf.begin() + geo_.GAMBytesPerPage);
  }
  for (int32_t x = 0; x < extentCount_; ++x) {
    if (GAMBit(x)) ++freeExtents_;
    if (SGAMBit(x)) ++mixedExtents_;
  }
  ClearDirty();
}

int32_t TFreeSpaceManager::PFSPageNo(int32_t k) const {
  int64_t p = 1 + static_cast<int64_t>(k) * geo_.ExtentsPerPFSPage * geo_.ExtentSize;
  return p > INT32_MAX ? -1 : static_cast<int32_t>(p);
}

int32_t TFreeSpaceManager::GAMPageNo(int32_t j) const {
  int64_t p = 2 + static_cast<int64_t>(j) * geo_.ExtentsPerGAMPage * geo_.ExtentSize;
  return p > INT32_MAX - 1 ? -1 : static_cast<int32_t>(p);
}

bool TFreeSpaceManager::IsMapPage(int32_t pageNo) const {
  if (pageNo < 1) return false;
  int64_t pfsStride = static_cast<int64_t>(geo_.ExtentsPerPFSPage) * geo_.ExtentSize;
  int64_t q = pageNo - 1;
  if (q % pfsStride == 0 && q / pfsStride < pfsPageCount_) return true;
  int64_t gamStride = static_cast<int64_t>(geo_.ExtentsPerGAMPage) * geo_.ExtentSize;
  for (int64_t off = 2; off <= 3; ++off) {
    int64_t r = pageNo - off;
    if (r >= 0 && r % gamStride == 0 && r / gamStride < gamPageCount_) return true;
  }
  return false;
}

bool TFreeSpaceManager::IsPageFree(int32_t pageNo) const {
  return Bit(pfs_, static_cast<int64_t>(pageNo) - 1);
}

int32_t TFreeSpaceManager::HighestUsedPage() const {
  int64_t i = static_cast<int64_t>(extentCount_) * geo_.ExtentSize - 1;
  while (i >= 0) {
    if (i % 8 == 7 && pfs_[i / 8] == 0xFF) {  // a whole byte of free pages
      i -= 8;
      continue;
    }
    if (!Bit(pfs_, i)) return static_cast<int32_t>(i + 1);
    --i;
  }
  return 0;
}

bool TFreeSpaceManager::ExtentHasFreePage(int32_t x) const {
  int64_t first = static_cast<int64_t>(x) * geo_.ExtentSize;
  for (int64_t i = first; i < first + geo_.ExtentSize; ++i)
    if (Bit(pfs_, i)) return true;
  return false;
}

bool TFreeSpaceManager::ExtentAllFree(int32_t x) const {
  int64_t first = static_cast<int64_t>(x) * geo_.ExtentSize;
  for (int64_t i = first; i < first + geo_.ExtentSize; ++i)
    if (!Bit(pfs_, i)) return false;
  return true;
}

void TFreeSpaceManager::SetExtentState(int32_t x, bool gam, bool sgam) {
  bool oldGam = GAMBit(x), oldSgam = SGAMBit(x);
  if (oldGam == gam && oldSgam == sgam) return;
  freeExtents_ += (gam ? 1 : 0) - (oldGam ? 1 : 0);
  mixedExtents_ += (sgam ? 1 : 0) - (oldSgam ? 1 : 0);
  SetBit(gam_, x, gam);
  SetBit(sgam_, x, sgam);
  MarkGAMDirty(x);
}

void TFreeSpaceManager::MarkPFSDirty(int32_t managedIndex) {
  pfsDirty_[static_cast<size_t>(managedIndex /
                                (static_cast<int64_t>(geo_.ExtentsPerPFSPage) * geo_.ExtentSize))] = true;
}

void TFreeSpaceManager::MarkGAMDirty(int32_t extent) {
  gamDirty_[static_cast<size_t>(extent / geo_.ExtentsPerGAMPage)] = true;
}

void TFreeSpaceManager::ClearDirty() {
  // After a failed map write the disk may hold a mix of old and new map pages: every page is then
  // written again by the next save, so the disk comes back to what memory holds.
  pfsDirty_.assign(static_cast<size_t>(pfsPageCount_), resyncAll_);
  gamDirty_.assign(static_cast<size_t>(gamPageCount_), resyncAll_);
}

void TFreeSpaceManager::FollowTransaction() {
  if (pfm_.TransactionId() != transaction_) {
    transaction_ = pfm_.TransactionId();
    freedInTransaction_.clear();
  }
}

void TFreeSpaceManager::TakeFromExtent(int32_t x, int32_t count, std::vector<int32_t>& pages, bool uniform,
                                       TUndo& undo) {
  int64_t first = static_cast<int64_t>(x) * geo_.ExtentSize;
  bool wasGam = GAMBit(x), wasSgam = SGAMBit(x);
  bool took = false;
  const bool inTransaction = pfm_.InTransaction();
  if (inTransaction) FollowTransaction();
  for (int64_t i = first; i < first + geo_.ExtentSize && static_cast<int32_t>(pages.size()) < count; ++i) {
    if (!Bit(pfs_, i)) continue;
    SetBit(pfs_, i, false);
    pages.push_back(static_cast<int32_t>(i + 1));
    if (inTransaction && freedInTransaction_.count(static_cast<int32_t>(i + 1)) == 0)
      pfm_.MarkFreeAtStart(static_cast<int32_t>(i + 1));
    MarkPFSDirty(static_cast<int32_t>(i));
    took = true;
  }
  if (!took) return;
  if (x < undo.ExtentCount) undo.Extents.push_back({x, wasGam, wasSgam});
  if (!ExtentHasFreePage(x))
    SetExtentState(x, false, false);  // full: neither free nor shared
  else
    SetExtentState(x, false, wasSgam || !uniform);
}

int32_t TFreeSpaceManager::Scan(int32_t from, int32_t count, std::vector<int32_t>& pages, bool uniform,
                                TUndo& undo) {
  int32_t x = from;
  while (x < extentCount_ && static_cast<int32_t>(pages.size()) < count) {
    if (x % 8 == 0 && x + 8 <= extentCount_ && gam_[x / 8] == 0 && (uniform || sgam_[x / 8] == 0)) {
      x += 8;  // eight extents with nothing to offer
      continue;
    }
    if (GAMBit(x) || (!uniform && SGAMBit(x))) TakeFromExtent(x, count, pages, uniform, undo);
    ++x;
  }
  return x;
}

int32_t TFreeSpaceManager::AddExtents(int64_t missing, bool uniform) {
  const int32_t e = geo_.ExtentSize;
  int64_t usable = 0;
  int32_t added = 0;
  int64_t mustCover = 0;  // highest map page created so far (beyond the current extent for E < 3)
  for (;;) {
    int64_t x = static_cast<int64_t>(extentCount_) + added;
    int64_t lastPageOfAdded = x * e;  // last page of the extents added so far (page = index + 1)
    if (usable >= missing && lastPageOfAdded >= mustCover) break;
    // The header's page count is signed 32-bit: the container cannot grow past it.
    if (static_cast<int64_t>(pfm_.TotalPageCount()) + static_cast<int64_t>(added + 1) * e > INT32_MAX)
      return -added - 1;
    if (x == static_cast<int64_t>(geo_.ExtentsPerPFSPage) * pfsPageCount_) {
      int32_t pageNo = PFSPageNo(pfsPageCount_);
      ++pfsPageCount_;
      pfs_.resize(pfs_.size() + static_cast<size_t>(geo_.PFSBytesPerPage), 0xFF);
      pfsDirty_.push_back(false);
      mustCover = std::max<int64_t>(mustCover, pageNo);
      if (x == static_cast<int64_t>(geo_.ExtentsPerGAMPage) * gamPageCount_) {
        int32_t gamNo = GAMPageNo(gamPageCount_);
        ++gamPageCount_;
        gam_.resize(gam_.size() + static_cast<size_t>(geo_.GAMBytesPerPage), 0xFF);
        sgam_.resize(sgam_.size() + static_cast<size_t>(geo_.GAMBytesPerPage), 0x00);
        gamDirty_.push_back(false);
        mustCover = std::max<int64_t>(mustCover, static_cast<int64_t>(gamNo) + 1);
      }
    }
    // A new extent: every page free except the map pages placed in it.
    int32_t used = 0;
    for (int64_t i = x * e; i < (x + 1) * e; ++i) {
      bool map = IsMapPage(static_cast<int32_t>(i + 1));
      SetBit(pfs_, i, !map);
      if (map) ++used;
    }
    MarkPFSDirty(static_cast<int32_t>(x * e));
    // Set the bits directly: the extent does not count yet, so the counters are adjusted here.
    bool gam = used == 0, sgam = used > 0 && used < e;
    SetBit(gam_, x, gam);
    SetBit(sgam_, x, sgam);
    MarkGAMDirty(static_cast<int32_t>(x));
    if (gam) {
      ++freeExtents_;
      usable += e;
    } else if (sgam) {
      ++mixedExtents_;
      if (!uniform) usable += e - used;
    }
    ++added;
  }
  extentCount_ += added;
  return added;
}

void TFreeSpaceManager::Rollback(TUndo& undo, std::vector<int32_t>& pages) {
  if (undo.TailSaved) {
    pfs_.resize(undo.PFSSize);
    gam_.resize(undo.GAMSize);
    sgam_.resize(undo.GAMSize);
    if (!undo.PFSTail.empty())
      std::copy(undo.PFSTail.begin(), undo.PFSTail.end(), pfs_.end() - undo.PFSTail.size());
    if (!undo.GAMTail.empty()) {
      std::copy(undo.GAMTail.begin(), undo.GAMTail.end(), gam_.end() - undo.GAMTail.size());
      std::copy(undo.SGAMTail.begin(), undo.SGAMTail.end(), sgam_.end() - undo.SGAMTail.size());
    }
  }
  int64_t oldManaged = static_cast<int64_t>(undo.ExtentCount) * geo_.ExtentSize;
  for (int32_t p : pages)
    if (p - 1 < oldManaged) SetBit(pfs_, p - 1, true);
  for (auto it = undo.Extents.rbegin(); it != undo.Extents.rend(); ++it) {
    SetBit(gam_, it->Extent, it->Gam);
    SetBit(sgam_, it->Extent, it->Sgam);
  }
  extentCount_ = undo.ExtentCount;
  pfsPageCount_ = undo.PFSPageCount;
  gamPageCount_ = undo.GAMPageCount;
  freeExtents_ = undo.FreeExtents;
  mixedExtents_ = undo.MixedExtents;
  pfm_.SetPFSPageCount(pfsPageCount_);
  pfm_.SetGAMPageCount(gamPageCount_);
  ClearDirty();
  pages.clear();
}

bool TFreeSpaceManager::EnsureFileHolds(int32_t pageNo) {
  int64_t need = (static_cast<int64_t>(pageNo) + 1) * geo_.PageSize;
  if (pfm_.ContainerSize() >= need) return true;
  return pfm_.SetContainerSize(need);
}

bool TFreeSpaceManager::GetPages(int32_t count, int32_t hintPage, std::vector<int32_t>& pages, bool uniform) {
  pages.clear();
  ClearDirty();
  if (count <= 0) return true;
  TUndo undo;
  undo.ExtentCount = extentCount_;
  undo.PFSPageCount = pfsPageCount_;
  undo.GAMPageCount = gamPageCount_;
  undo.FreeExtents = freeExtents_;
  undo.MixedExtents = mixedExtents_;
  undo.PFSSize = pfs_.size();
  undo.GAMSize = gam_.size();
  try {
    int32_t hintExtent = (hintPage - 1) / geo_.ExtentSize;
    if (hintExtent >= 0 && hintExtent < extentCount_) TakeFromExtent(hintExtent, count, pages, uniform, undo);

    int32_t scanPos = extentCount_;
    if ((uniform && freeExtents_ > 0) || (!uniform && (mixedExtents_ > 0 || freeExtents_ > 0)))
      scanPos = Scan(0, count, pages, uniform, undo);

    if (static_cast<int32_t>(pages.size()) < count) {
      // Keep the last map page of each kind as it is: new extents may lie in it.
      undo.TailSaved = true;
      if (!pfs_.empty()) undo.PFSTail.assign(pfs_.end() - geo_.PFSBytesPerPage, pfs_.end());
      if (!gam_.empty()) {
        undo.GAMTail.assign(gam_.end() - geo_.GAMBytesPerPage, gam_.end());
        undo.SGAMTail.assign(sgam_.end() - geo_.GAMBytesPerPage, sgam_.end());
      }
      int32_t oldExtents = extentCount_;
      int32_t added = AddExtents(count - static_cast<int64_t>(pages.size()), uniform);
      if (added < 0) {  // the container reached the largest page count the header can hold
        Rollback(undo, pages);
        return false;
      }
      if (added == 0) throw ESFSError("TFreeSpaceManager.GetPages - AddExtents does not append any extents.");
      pfm_.SetPFSPageCount(pfsPageCount_);
      pfm_.SetGAMPageCount(gamPageCount_);
      if (!pfm_.AddPages(geo_.ExtentSize * added)) {
        Rollback(undo, pages);
        return false;
      }
      Scan(std::max(scanPos, oldExtents), count, pages, uniform, undo);
      if (static_cast<int32_t>(pages.size()) < count)
        throw ESFSError("TFreeSpaceManager.GetPages - AddExtents appends too small pages.");
    }
    // A page past the end of a shortened file: give the file its room back before anyone writes there.
    int32_t highest = *std::max_element(pages.begin(), pages.end());
    if (!EnsureFileHolds(highest)) {
      Rollback(undo, pages);
      return false;
    }
    WriteDirtyPages();
  } catch (...) {
    Rollback(undo, pages);
    throw;
  }
  return true;
}

void TFreeSpaceManager::FreePages(std::vector<int32_t> pages) {
  ClearDirty();
  std::sort(pages.begin(), pages.end());
  pages.erase(std::unique(pages.begin(), pages.end()), pages.end());
  int32_t highest = HighestUsedPage();
  int32_t cut = highest;
  int32_t total = pfm_.TotalPageCount();
  int64_t managed = static_cast<int64_t>(extentCount_) * geo_.ExtentSize;
  std::vector<int32_t> touched;
  const bool inTransaction = pfm_.InTransaction();
  if (inTransaction) FollowTransaction();
  for (int32_t p : pages) {
    // Page 0, map pages and pages outside the extents are never handed out, so never taken back.
    if (p < 1 || p >= total || p - 1 >= managed || IsMapPage(p)) continue;
    if (inTransaction) freedInTransaction_.insert(p);
    if (p >= cut) cut = p - 1;
    SetBit(pfs_, p - 1, true);
    MarkPFSDirty(p - 1);
    int32_t x = (p - 1) / geo_.ExtentSize;
    if (touched.empty() || touched.back() != x) touched.push_back(x);
  }
  for (int32_t x : touched) {
    if (ExtentAllFree(x))
      SetExtentState(x, true, false);
    else if (!GAMBit(x) && !SGAMBit(x))
      SetExtentState(x, false, true);  // a full extent with a hole: let ordinary requests find it
  }
  WriteDirtyPages();
  if (cut < highest) pfm_.SetContainerSize((static_cast<int64_t>(cut) + 1) * geo_.PageSize);
}

bool TFreeSpaceManager::Resync() {
  if (!resyncAll_) return true;
  ClearDirty();
  try {
    WriteDirtyPages();
  } catch (const EQuillmarError&) {
    return false;
  }
  return true;
}

void TFreeSpaceManager::WriteDirtyPages() {
  try {
    SaveGAM();
    SavePFS();
  } catch (...) {
    resyncAll_ = true;
    throw;
  }
  resyncAll_ = false;
}

void TFreeSpaceManager::SaveGAM() {
  if (static_cast<int32_t>(gamDirty_.size()) != gamPageCount_)
    throw ESFSError("TFreeSpaceManager.SaveGAM - pages.ItemCount <> GAMPageMap.ItemCount!");
  std::vector<uint8_t> buf(static_cast<size_t>(geo_.GAMBytesPerPage));
  for (int32_t j = 0; j < gamPageCount_; ++j) {
    if (!gamDirty_[static_cast<size_t>(j)]) continue;
    int32_t pageNo = GAMPageNo(j);
    size_t off = static_cast<size_t>(j) * static_cast<size_t>(geo_.GAMBytesPerPage);
    TPageHeader h;
    h.PageType = ptGAM;
    h.EncryptionType = etNone;
    h.ChecksumType = ctXor;
    std::copy(gam_.begin() + static_cast<ptrdiff_t>(off),
              gam_.begin() + static_cast<ptrdiff_t>(off + buf.size()), buf.begin());
    if (!pfm_.WritePage(pageNo, h, buf.data(), nullptr, geo_.GAMBytesPerPage))
      throw ESFSError("TFreeSpaceManager.SaveGAM - can not save page, pageNo = " + std::to_string(pageNo));
    TPageHeader s;
    s.PageType = ptSGAM;
    s.EncryptionType = etNone;
    s.ChecksumType = ctXor;
    std::copy(sgam_.begin() + static_cast<ptrdiff_t>(off),
              sgam_.begin() + static_cast<ptrdiff_t>(off + buf.size()), buf.begin());
    if (!pfm_.WritePage(pageNo + 1, s, buf.data(), nullptr, geo_.GAMBytesPerPage))
      throw ESFSError("TFreeSpaceManager.SaveGAM - can not save SGAM page, pageNo = " +
                      std::to_string(pageNo));
    gamDirty_[static_cast<size_t>(j)] = false;
  }
}

void TFreeSpaceManager::SavePFS() {
  if (static_cast<int32_t>(pfsDirty_.size()) != pfsPageCount_)
    throw ESFSError("TFreeSpaceManager.SavePFS - pages.ItemCount <> PFSPageMap.ItemCount!");
  std::vector<uint8_t> buf(static_cast<size_t>(geo_.PFSBytesPerPage));
  for (int32_t k = 0; k < pfsPageCount_; ++k) {
    if (!pfsDirty_[static_cast<size_t>(k)]) continue;
    int32_t pageNo = PFSPageNo(k);
    size_t off = static_cast<size_t>(k) * static_cast<size_t>(geo_.PFSBytesPerPage);
    TPageHeader h;
    h.PageType = ptPFS;
    h.EncryptionType = etNone;
    h.ChecksumType = ctXor;
    std::copy(pfs_.begin() + static_cast<ptrdiff_t>(off),
              pfs_.begin() + static_cast<ptrdiff_t>(off + buf.size()), buf.begin());
    if (!pfm_.WritePage(pageNo, h, buf.data(), nullptr, geo_.PFSBytesPerPage))
      throw ESFSError("TFreeSpaceManager.SavePFS - can not save page, pageNo = " + std::to_string(pageNo));
    pfsDirty_[static_cast<size_t>(k)] = false;
  }
}

}  // namespace quillmar
