#include "container/IntegrityCheck.h"

#include <cryptopp/secblock.h>

#include <algorithm>
#include <cstring>

#include "container/ContainerPath.h"

namespace quillmar {

namespace {

std::string P(int32_t pageNo) {
  return "page " + std::to_string(pageNo);
}
std::string I(int32_t k) {
  return "item " + std::to_string(k);
}

}  // namespace

TIntegrityCheck::TIntegrityCheck(TPageFileManager& pfm, TFreeSpaceManager& fsm)
    : pfm_(pfm), fsm_(fsm), owner_(static_cast<size_t>(std::max(pfm.TotalPageCount(), 1)), -1) {}

void TIntegrityCheck::AddProblem(const std::string& text) {
  if (problems_.size() < MaxProblems)
    problems_.push_back(text);
  else
    ++dropped_;
}

bool TIntegrityCheck::IsClaimed(int32_t pageNo) const {
  return pageNo >= 0 && static_cast<size_t>(pageNo) < owner_.size() &&
         owner_[static_cast<size_t>(pageNo)] >= 0;
}

void TIntegrityCheck::ClaimPage(int32_t pageNo, const std::string& owner) {
  int64_t managedEnd = 1 + static_cast<int64_t>(fsm_.ExtentCount()) * fsm_.Geometry().ExtentSize;
  if (pageNo < 1 || pageNo >= managedEnd) {
    AddProblem(owner + " refers to " + P(pageNo) + ", which is outside the container's managed pages 1.." +
               std::to_string(managedEnd - 1));
    return;
  }
  int32_t& slot = owner_[static_cast<size_t>(pageNo)];
  if (slot >= 0) {
    AddProblem(P(pageNo) + " is used twice: by " + owners_[static_cast<size_t>(slot)] + " and by " + owner);
    return;
  }
  if (fsm_.IsPageFree(pageNo)) AddProblem(P(pageNo) + " (" + owner + ") is marked free in PFS");
  slot = static_cast<int32_t>(owners_.size());
  owners_.push_back(owner);
}

std::vector<std::string> TIntegrityCheck::Finish() {
  const int64_t managed = static_cast<int64_t>(fsm_.ExtentCount()) * fsm_.Geometry().ExtentSize;
  const int64_t filePages = pfm_.ContainerSize() / pfm_.PageSize();
  for (int64_t i = 0; i < managed; ++i) {
    int32_t pageNo = static_cast<int32_t>(i + 1);
    if (fsm_.IsPageFree(pageNo)) continue;
    if (!IsClaimed(pageNo)) AddProblem(P(pageNo) + " is marked in use in PFS but nothing refers to it");
    if (pageNo >= filePages)
      AddProblem(P(pageNo) + " is in use but lies past the end of the file (" + std::to_string(filePages) +
                 " pages)");
  }
  std::vector<std::string> r = problems_;
  if (dropped_ > 0) r.push_back("... and " + std::to_string(dropped_) + " more problems");
  return r;
}

void CheckFreeSpaceMaps(TIntegrityCheck& check) {
  TPageFileManager& pfm = check.PageFile();
  const TFreeSpaceManager& fsm = check.FreeSpace();
  const auto& g = fsm.Geometry();
  const int32_t extents = fsm.ExtentCount();
  const int32_t total = pfm.TotalPageCount();

  if (1 + static_cast<int64_t>(extents) * g.ExtentSize > total)
    check.AddProblem("the extents reach past the header's total page count " + std::to_string(total));
  const int64_t pfsNeeded = (static_cast<int64_t>(extents) + g.ExtentsPerPFSPage - 1) / g.ExtentsPerPFSPage;
  const int64_t gamNeeded = (static_cast<int64_t>(extents) + g.ExtentsPerGAMPage - 1) / g.ExtentsPerGAMPage;
  if (pfm.PFSPageCount() != pfsNeeded || fsm.PFSPageCount() != pfsNeeded)
    check.AddProblem("the header counts " + std::to_string(pfm.PFSPageCount()) + " PFS pages (in memory " +
                     std::to_string(fsm.PFSPageCount()) + "), " + std::to_string(extents) + " extents need " +
                     std::to_string(pfsNeeded));
  if (pfm.GAMPageCount() != gamNeeded || fsm.GAMPageCount() != gamNeeded)
    check.AddProblem("the header counts " + std::to_string(pfm.GAMPageCount()) + " GAM pages (in memory " +
                     std::to_string(fsm.GAMPageCount()) + "), " + std::to_string(extents) + " extents need " +
                     std::to_string(gamNeeded));

  // Map pages: claimed, of the right type, and on disk as in memory.
  std::vector<uint8_t> buf(static_cast<size_t>(pfm.PageDataSize()));
  auto checkPage = [&](int32_t pageNo, uint8_t type, const char* kind, int32_t index,
                       const std::vector<uint8_t>& map, int32_t bytes) {
    std::string owner = std::string(kind) + " page " + std::to_string(index);
    check.ClaimPage(pageNo, owner);
    TPageHeader h;
    if (!pfm.ReadPage(pageNo, h, buf.data(), false, nullptr, bytes)) {
      check.AddProblem(owner + " (" + P(pageNo) + ") cannot be read, error " +
                       std::to_string(pfm.LastError()));
      return;
    }
    if (h.PageType != type)
      check.AddProblem(owner + " (" + P(pageNo) + ") has page type " + std::to_string(h.PageType));
    size_t off = static_cast<size_t>(index) * static_cast<size_t>(bytes);
    if (off + static_cast<size_t>(bytes) > map.size() ||
        std::memcmp(buf.data(), map.data() + off, static_cast<size_t>(bytes)) != 0)
      check.AddProblem(owner + " (" + P(pageNo) + ") on disk differs from the map in memory");
  };
  for (int32_t k = 0; k < fsm.PFSPageCount(); ++k)
    checkPage(fsm.PFSPageNo(k), ptPFS, "PFS", k, fsm.PFSBitmap(), g.PFSBytesPerPage);
  for (int32_t j = 0; j < fsm.GAMPageCount(); ++j) {
    checkPage(fsm.GAMPageNo(j), ptGAM, "GAM", j, fsm.GAMBitmap(), g.GAMBytesPerPage);
    checkPage(fsm.SGAMPageNo(j), ptSGAM, "SGAM", j, fsm.SGAMBitmap(), g.GAMBytesPerPage);
  }

  // Per extent: GAM says wholly free exactly when PFS does; SGAM only for extents with free and used
  // pages.
  int32_t freeCount = 0, mixedCount = 0;
  for (int32_t x = 0; x < extents; ++x) {
    int32_t freePages = 0;
    for (int32_t i = 0; i < g.ExtentSize; ++i)
      if (fsm.IsPageFree(1 + x * g.ExtentSize + i)) ++freePages;
    bool gam = fsm.GAMBit(x), sgam = fsm.SGAMBit(x);
    if (gam) ++freeCount;
    if (sgam) ++mixedCount;
    std::string ext = "extent " + std::to_string(x);
    if (gam && freePages != g.ExtentSize)
      check.AddProblem(ext + " is marked wholly free in GAM but " + std::to_string(g.ExtentSize - freePages) +
                       " of its pages are in use");
    if (!gam && freePages == g.ExtentSize) check.AddProblem(ext + " is wholly free but not marked so in GAM");
    if (sgam && (freePages == 0 || freePages == g.ExtentSize))
      check.AddProblem(ext + " is marked shared in SGAM but has " + std::to_string(freePages) +
                       " free pages");
  }
  if (freeCount != fsm.FreeExtentCount())
    check.AddProblem("the free-extent count is " + std::to_string(fsm.FreeExtentCount()) + " but GAM marks " +
                     std::to_string(freeCount));
  if (mixedCount != fsm.MixedExtentCount())
    check.AddProblem("the mixed-extent count is " + std::to_string(fsm.MixedExtentCount()) +
                     " but SGAM marks " + std::to_string(mixedCount));
}

void CheckDirectory(TIntegrityCheck& check, const TDIRManager& dir) {
  TPageFileManager& pfm = check.PageFile();
  const TDIRArray& items = dir.Items();
  const int32_t n = dir.ItemsPerPage();
  const int32_t count = items.Count();

  if (pfm.DirItemCount() != count)
    check.AddProblem("the header counts " + std::to_string(pfm.DirItemCount()) +
                     " directory items, the table " + std::to_string(count));
  const int64_t pagesNeeded = (static_cast<int64_t>(count) + n - 1) / n;
  if (pfm.DirPageCount() != pagesNeeded)
    check.AddProblem("the header counts " + std::to_string(pfm.DirPageCount()) + " directory pages, " +
                     std::to_string(count) + " items need " + std::to_string(pagesNeeded));
  if (static_cast<size_t>(pfm.DirPageCount()) != dir.DirectoryPages().size())
    check.AddProblem("the directory holds " + std::to_string(dir.DirectoryPages().size()) +
                     " pages in memory, the header " + std::to_string(pfm.DirPageCount()));

  // The chain as stored, page by page against the table in memory.
  const int32_t length = n * static_cast<int32_t>(TDIRItem::Size);
  CryptoPP::SecByteBlock buf(static_cast<size_t>(length));
  int32_t pageNo = pfm.FirstDirPage();
  for (int32_t i = 0; i < pfm.DirPageCount(); ++i) {
    std::string owner = "directory page " + std::to_string(i);
    if (static_cast<size_t>(i) < dir.DirectoryPages().size() &&
        dir.DirectoryPages()[static_cast<size_t>(i)] != pageNo)
      check.AddProblem(owner + " is " + P(pageNo) + " in the stored chain but " +
                       P(dir.DirectoryPages()[static_cast<size_t>(i)]) + " in memory");
    bool wasClaimed = check.IsClaimed(pageNo);
    check.ClaimPage(pageNo, owner);
    if (wasClaimed) break;  // a chain that comes back on itself: following it further repeats it
    TPageHeader h;
    if (!pfm.ReadPage(pageNo, h, buf.data(), false, nullptr, length)) {
      check.AddProblem(owner + " (" + P(pageNo) + ") cannot be read, error " +
                       std::to_string(pfm.LastError()));
      break;
    }
    if (h.PageType != ptDirectory)
      check.AddProblem(owner + " (" + P(pageNo) + ") has page type " + std::to_string(h.PageType));
    for (int32_t s = 0; s < n; ++s) {
      int64_t k = static_cast<int64_t>(i) * n + s;
      if (k >= count) break;
      TDIRItem stored = TDIRItem::Deserialize(buf.data() + static_cast<size_t>(s) * TDIRItem::Size);
      // An access time set by reading is written with the next change: only that may differ.
      if (dir.HasUnsavedAccessTimes())
        stored.LastAccessTime = items.ReadItem(static_cast<int32_t>(k)).LastAccessTime;
      if (!(stored == items.ReadItem(static_cast<int32_t>(k))))
        check.AddProblem(I(static_cast<int32_t>(k)) + " on disk differs from the table in memory");
    }
    pageNo = h.NextPage;
  }

  std::string why;
  if (!items.IndexesConsistent(&why)) check.AddProblem("directory indexes: " + why);

  for (int32_t k = 0; k < count; ++k) {
    const TDIRItem& it = items.ReadItem(k);
    if (it.Deleted) continue;
    if (!IsStorableName(it.Name) || it.Name.size() > kMaxNameLength)
      check.AddProblem(I(k) + " has a name that cannot be stored: \"" + it.Name + "\"");
    if (it.ParentID != -1) {
      if (it.ParentID < 0 || it.ParentID >= count) {
        check.AddProblem(I(k) + " has parent " + std::to_string(it.ParentID) + ", which does not exist");
        continue;
      }
      const TDIRItem& parent = items.ReadItem(it.ParentID);
      if (parent.Deleted || !parent.IsFolder)
        check.AddProblem(I(k) + " has parent " + std::to_string(it.ParentID) +
                         ", which is not a live folder");
    }
    if (it.IsFolder && ((it.Attributes & faDirectory) == 0 || it.FirstMapPageNo != -1 || it.HasPassword))
      check.AddProblem(I(k) + " is a folder without the folder attribute, or with a file map or password");
    if (!it.IsFolder && (it.Attributes & faDirectory) != 0)
      check.AddProblem(I(k) + " is a file with the folder attribute");
    if (it.FileSize < 0) check.AddProblem(I(k) + " has a negative size");
    if (items.FindChild(it.ParentID, it.Name) != k)
      check.AddProblem(I(k) + " shares its name with another item of its folder");
    int32_t p = it.ParentID;
    int guard = count;
    while (p >= 0 && p < count && guard-- > 0) p = items.ReadItem(p).ParentID;
    if (guard <= 0) check.AddProblem(I(k) + " lies in a loop of folders");
  }
  int32_t cur = dir.CurrentFolder();
  if (cur != -1 && (cur < 0 || cur >= count || items.ReadItem(cur).Deleted))
    check.AddProblem("the current folder " + std::to_string(cur) + " is not a live item");
}

std::vector<std::string> CheckIntegrity(TPageFileManager& pfm, TFreeSpaceManager& fsm, const TDIRManager& dir,
                                        const std::vector<TIntegrityContributor>& more) {
  TIntegrityCheck check(pfm, fsm);
  CheckFreeSpaceMaps(check);
  CheckDirectory(check, dir);
  for (const auto& contribute : more) contribute(check);
  return check.Finish();
}

}  // namespace quillmar
