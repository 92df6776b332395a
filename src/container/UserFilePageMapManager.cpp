#include "container/UserFilePageMapManager.h"

#include <algorithm>
#include <cstring>

#include "base/LittleEndian.h"
#include "container/FreeSpaceManager.h"
#include "container/PageFileManager.h"
#include "container/SFSError.h"

namespace quillmar {

namespace {

int64_t CeilDiv(int64_t a, int64_t b) {
  return (a + b - 1) / b;
}

}  // namespace

TUserFilePageMapManager::TUserFilePageMapManager(TPageFileManager& pages, TFreeSpaceManager& freeSpace)
    : pages_(pages),
      freeSpace_(freeSpace),
      dataSize_(pages.PageDataSize()),
      perMap_(pages.PageDataSize() / 4) {}

void TUserFilePageMapManager::ClearCaches() {
  cache_.clear();
}

TUserFilePageMapManager::Lists& TUserFilePageMapManager::Load(const TDIRItem& item) {
  if (item.FirstMapPageNo == -1)
    throw ESFSError("TUserFilePageMapManager.GetMaps - Invalid parameter FileRec.FirstMapPageNo");
  auto it = cache_.find(item.FirstMapPageNo);
  if (it != cache_.end()) return it->second;
  if (cache_.size() > MaxCachedFiles) cache_.clear();

  int64_t n = PageCountFor(std::max<int64_t>(item.FileSize, 0));
  // A damaged directory item may give any size: no file has more pages than the container, so
  // neither the lists nor the walk of the chain go further than that (a longer chain is a loop).
  const int64_t total = pages_.TotalPageCount();
  Lists lists;
  lists.data.reserve(size_t(std::min(n, total)));
  TPage page = pages_.NewPage();
  int32_t pageNo = item.FirstMapPageNo;
  int64_t guard = std::min(std::max<int64_t>(1, CeilDiv(n, perMap_)), total);
  while (true) {
    if (!pages_.ReadPage(pageNo, page, true))
      throw ESFSError("TUserFilePageMapManager.GetMaps - Error on reading map page.");
    lists.maps.push_back(pageNo);
    for (int32_t slot = 0; slot < perMap_ && int64_t(lists.data.size()) < n; ++slot)
      lists.data.push_back(GetLE<int32_t>(page.Data.data() + 4 * slot));
    if (int64_t(lists.data.size()) >= n) break;
    pageNo = page.Header.NextPage;
    // A chain that ends early, or one longer than the file needs (a loop), is damage.
    if (pageNo == -1 || int64_t(lists.maps.size()) >= guard)
      throw ESFSError("TUserFilePageMapManager.GetMaps - Invalid page No in map chain.");
  }
  if (lists.maps.empty() || lists.maps[0] != item.FirstMapPageNo)
    throw ESFSError("TUserFilePageMapManager.GetMaps - UFPMMap.Items[0] <> FirstMapPageNo");
  return cache_.emplace(item.FirstMapPageNo, std::move(lists)).first->second;
}

void TUserFilePageMapManager::GetMaps(const TDIRItem& item, const std::vector<int32_t>*& mapPages,
                                      const std::vector<int32_t>*& dataPages) {
  Lists& l = Load(item);
  mapPages = &l.maps;
  dataPages = &l.data;
}

void TUserFilePageMapManager::WriteMapPages(const Lists& lists, size_t fromMapIndex) {
  TPage page = pages_.NewPage();
  for (size_t q = fromMapIndex; q < lists.maps.size(); ++q) {
    std::memset(page.Data.data(), 0, page.Data.size());
    size_t first = q * size_t(perMap_);
    for (size_t slot = 0; slot < size_t(perMap_) && first + slot < lists.data.size(); ++slot)
      PutLE<uint32_t>(page.Data.data() + 4 * slot, uint32_t(lists.data[first + slot]));
    page.Header = TPageHeader{};
    page.Header.NextPage = q + 1 < lists.maps.size() ? lists.maps[q + 1] : -1;
    page.Header.PageType = ptFileMap;
    page.Header.EncryptionType = etNone;
    page.Header.ChecksumType = 0;
    if (!pages_.WritePage(lists.maps[q], page))
      throw ESFSError("TUserFilePageMapManager.AppendPages - Error on writing map page.");
  }
}

void TUserFilePageMapManager::WriteZeroPages(const std::vector<int32_t>& list) {
  TPage page = pages_.NewPage();
  for (int32_t p : list) {
    std::memset(page.Data.data(), 0, page.Data.size());
    page.Header = TPageHeader{};
    page.Header.PageType = ptFileData;
    page.Header.EncryptionType = etNone;
    if (!pages_.WritePage(p, page))
      throw ESFSError("TUserFilePageMapManager.AppendPages - Error on writing data page.");
  }
}

bool TUserFilePageMapManager::AppendPages(TDIRItem& item, int32_t count, int32_t zeroCount) {
  lastError_ = 0;
  if (count <= 0) throw ESFSError("TUserFilePageMapManager.AppendPages - PageCount <= 0.");
  std::vector<int32_t> newMaps;
  Lists fresh;
  Lists* lists = nullptr;
  size_t rewriteFrom = 0;
  bool hadMap = item.FirstMapPageNo != -1;
  if (!hadMap) {
    if (!freeSpace_.GetPages(int32_t(CeilDiv(count, perMap_)), 1, newMaps, false)) {
      lastError_ = ErrNoSpace;
      return false;
    }
    fresh.maps = newMaps;
    lists = &fresh;
  } else {
    lists = &Load(item);
    int64_t n = int64_t(lists->data.size());
    int64_t m = int64_t(lists->maps.size());
    int64_t extra = CeilDiv(n + count, perMap_) - m;
    rewriteFrom = size_t(m - 1);
    if (extra > 0) {
      if (!freeSpace_.GetPages(int32_t(extra), lists->maps.back() + 1, newMaps, false)) {
        lastError_ = ErrNoSpace;
        return false;
      }
    }
  }

  int64_t n = int64_t(lists->data.size());
  int32_t hint = lists->data.empty() ? 1 : lists->data.back() + 1;
  bool uniform = pages_.ExtentPageCount() < n + count;
  std::vector<int32_t> newData;
  bool gotData;
  try {
    gotData = freeSpace_.GetPages(count, hint, newData, uniform);
  } catch (const EQuillmarError&) {
    if (!newMaps.empty()) {
      try {
        freeSpace_.FreePages(newMaps);
      } catch (const EQuillmarError&) {
        // written again by the free maps' next save
      }
    }
    throw;
  }
  if (!gotData) {
    // Give back the map pages taken for this call so that nothing leaks.
    if (!newMaps.empty()) freeSpace_.FreePages(newMaps);
    lastError_ = ErrNoSpace;
    return false;
  }
  size_t oldMapCount = lists->maps.size();
  size_t oldDataCount = lists->data.size();
  if (hadMap) lists->maps.insert(lists->maps.end(), newMaps.begin(), newMaps.end());
  lists->data.insert(lists->data.end(), newData.begin(), newData.end());
  try {
    if (zeroCount >= count) {
      WriteZeroPages(newData);
    } else if (zeroCount > 0) {
      WriteZeroPages(std::vector<int32_t>(newData.begin(), newData.begin() + zeroCount));
    }
    WriteMapPages(*lists, rewriteFrom);
  } catch (const EQuillmarError&) {
    // The device refused a page: the file keeps the pages it had and the new ones go back to the
    // free maps, so that none is left marked used with nothing referring to it.
    if (hadMap) {
      lists->maps.resize(oldMapCount);
      lists->data.resize(oldDataCount);
    }
    std::vector<int32_t> giveBack = newData;
    giveBack.insert(giveBack.end(), newMaps.begin(), newMaps.end());
    try {
      if (hadMap) WriteMapPages(*lists, rewriteFrom);
      freeSpace_.FreePages(giveBack);
    } catch (const EQuillmarError&) {
      // Still failing: the free maps are written again by their next save.
    }
    throw;
  }
  if (!hadMap) {
    item.FirstMapPageNo = fresh.maps.front();
    cache_[item.FirstMapPageNo] = std::move(fresh);
  }
  return true;
}

void TUserFilePageMapManager::DeletePagesFromEOF(TDIRItem& item, int32_t count) {
  if (item.FirstMapPageNo == -1)
    throw ESFSError("TUserFilePageMapManager.DeletePagesFromEOF - File map not exists.");
  if (count <= 0) return;
  Lists& lists = Load(item);
  int64_t n = int64_t(lists.data.size());
  int64_t k = std::min<int64_t>(count, n);
  int64_t keepMaps = CeilDiv(n - k, perMap_);
  std::vector<int32_t> toFree(lists.data.end() - k, lists.data.end());
  toFree.insert(toFree.end(), lists.maps.begin() + keepMaps, lists.maps.end());
  if (keepMaps == 0) {
    cache_.erase(item.FirstMapPageNo);
    item.FirstMapPageNo = -1;
  } else {
    Lists before = lists;
    lists.data.resize(size_t(n - k));
    lists.maps.resize(size_t(keepMaps));
    try {
      WriteMapPages(lists, size_t(keepMaps - 1));
    } catch (const EQuillmarError&) {
      // The shortened map is not on disk: the file keeps all its pages, none is freed.
      lists = std::move(before);
      throw;
    }
  }
  if (!toFree.empty()) freeSpace_.FreePages(toFree);
}

bool TUserFilePageMapManager::SetFileSize(TDIRItem& item, bool initialise, int64_t newSize) {
  lastError_ = 0;
  if (newSize < 0) newSize = 0;
  int64_t want = PageCountFor(newSize);
  int64_t have = item.FirstMapPageNo == -1 ? 0 : int64_t(Load(item).data.size());
  if (want > have) {
    if (want - have > INT32_MAX) {
      lastError_ = ErrNoSpace;
      return false;
    }
    if (!AppendPages(item, int32_t(want - have), initialise)) return false;
  } else if (want < have) {
    DeletePagesFromEOF(item, int32_t(have - want));
  }
  item.FileSize = newSize;
  return true;
}

bool TUserFilePageMapManager::GetPagesForRange(TDIRItem& item, bool extend, int64_t count, int64_t position,
                                               std::vector<int32_t>& result, bool zeroWritten) {
  lastError_ = 0;
  result.clear();
  if (count <= 0 || position < 0) return true;
  int64_t want = PageCountFor(position + count);
  int64_t have = item.FirstMapPageNo == -1 ? 0 : int64_t(Load(item).data.size());
  if (extend && want > have) {
    const int64_t gap = std::max<int64_t>(0, position / dataSize_ - have);  // new pages before the range
    const int64_t zero = zeroWritten ? want - have : gap;
    if (want - have > INT32_MAX || !AppendPages(item, int32_t(want - have), int32_t(zero))) {
      lastError_ = ErrNoSpace;
      return false;
    }
    have = want;
  }
  if (item.FirstMapPageNo == -1) return true;
  const Lists& lists = Load(item);
  int64_t first = position / dataSize_;
  int64_t last = std::min<int64_t>(want, int64_t(lists.data.size())) - 1;
  for (int64_t j = first; j <= last; ++j) result.push_back(lists.data[size_t(j)]);
  return true;
}

}  // namespace quillmar
