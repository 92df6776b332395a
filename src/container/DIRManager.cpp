#include "container/DIRManager.h"

#include <cryptopp/secblock.h>

#include <algorithm>
#include <chrono>
#include <limits>
#include <unordered_set>

#include "base/DateTime.h"
#include "base/SecureWipe.h"
#include "container/Checksum.h"
#include "container/ContainerPath.h"
#include "container/SFSError.h"
#include "container/WildcardMatch.h"

namespace quillmar {

namespace {

std::string PageText(int32_t pageNo) {
  return std::to_string(pageNo);
}

// Reads stored directory pages in runs. Most directory pages lie in runs of consecutive pages (a new
// one is taken next to the last), and each read is a system call: where the chain in memory has a run
// from the page asked for, the whole run is read at once and the following pages come from it.
class TImageRuns {
public:
  static constexpr int32_t kMaxRun = 64;
  TImageRuns(TPageFileManager& pfm, const std::vector<int32_t>& expected) : pfm_(pfm), expected_(expected) {}
  // The stored page pageNo (PageSize() bytes, its checksum not verified) when the chain in memory
  // expects a run there at `index`; null when it is to be read alone.
  const uint8_t* Find(size_t index, int32_t pageNo) {
    const size_t pageSize = static_cast<size_t>(pfm_.PageSize());
    if (count_ > 0 && pageNo >= first_ && pageNo - first_ < count_)
      return buffer_.data() + static_cast<size_t>(pageNo - first_) * pageSize;
    if (index >= expected_.size() || expected_[index] != pageNo) return nullptr;
    int32_t run = 1;
    while (run < kMaxRun && index + static_cast<size_t>(run) < expected_.size() &&
           expected_[index + static_cast<size_t>(run)] == pageNo + run)
      ++run;
    if (run < 2) return nullptr;
    buffer_.resize(static_cast<size_t>(run) * pageSize);
    first_ = pageNo;
    count_ = pfm_.ReadStoredPages(pageNo, run, buffer_.data());  // whole pages read; fewer at the end
    return count_ > 0 ? buffer_.data() : nullptr;
  }

private:
  TPageFileManager& pfm_;
  const std::vector<int32_t>& expected_;
  std::vector<uint8_t> buffer_;
  int32_t first_ = 0;
  int32_t count_ = 0;
};

}  // namespace

TDIRManager::TDIRManager(TPageFileManager& pfm, TFreeSpaceManager& fsm) : pfm_(pfm), fsm_(&fsm) {
  itemsPerPage_ = pfm_.PageDataSize() / static_cast<int32_t>(TDIRItem::Size);
  if (itemsPerPage_ < 1)
    throw ESFSError("TDIRManager.Load - the page size is too small for directory items.");
  Load();
}

TDIRManager::~TDIRManager() {
  Forget(keyMemo_);
}

int64_t TDIRManager::NowFileTime() {
  // The current second through local time to the two-second steps of DOS times and back. The
  // conversion looks at the time zone file each time (mktime); opening thousands of files in one
  // second converts once per thread.
  thread_local int64_t second = std::numeric_limits<int64_t>::min();
  thread_local int64_t value = 0;
  const int64_t unixNow =
      std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
          .count();
  if (unixNow != second) {
    value = DosDateTimeToFileTime(DateTimeToDosDateTime(UnixToDateTime(unixNow)));
    second = unixNow;
  }
  return value;
}

void TDIRManager::CheckCounts(int32_t pageCount, int32_t itemCount) const {
  if (pageCount < 0 || itemCount < 0 ||
      static_cast<int64_t>(itemCount) > static_cast<int64_t>(pageCount) * itemsPerPage_)
    throw ESFSError("TDIRManager.Load - the header counts " + std::to_string(itemCount) + " items on " +
                    std::to_string(pageCount) + " directory pages; the container is damaged.");
}

void TDIRManager::ReadStoredImage(int32_t pageNo, uint8_t* image, int32_t& next) {
  const int32_t length = itemsPerPage_ * static_cast<int32_t>(TDIRItem::Size);
  TPageHeader header;
  // Raw: the checksum is verified, the payload stays as stored.
  if (!pfm_.ReadPage(pageNo, header, image + TPageHeader::Size, true, nullptr, length))
    throw ESFSError("TDIRManager.Load - can not load page, pageNo = " + PageText(pageNo));
  header.EncodeTo(image);
  next = header.NextPage;
}

void TDIRManager::DecodeImage(int32_t pageNo, const uint8_t* image, int64_t first, int32_t itemCount,
                              std::vector<TDIRItem>& out) {
  const int32_t length = itemsPerPage_ * static_cast<int32_t>(TDIRItem::Size);
  // The plain items are secret: decoded in a buffer that is wiped when freed.
  CryptoPP::SecByteBlock plain(image, ImageSize());
  if (TPageFileManager::DecodeStoredImage(plain.data(), length, pfm_.EffectiveKey(nullptr)) != 0)
    throw ESFSError("TDIRManager.Load - can not load page, pageNo = " + PageText(pageNo));
  for (int32_t s = 0; s < itemsPerPage_ && first + s < itemCount; ++s)
    out.push_back(
        TDIRItem::Deserialize(plain.data() + TPageHeader::Size + static_cast<size_t>(s) * TDIRItem::Size));
}

void TDIRManager::KeepImage(size_t pageIndex, const uint8_t* image) {
  const size_t size = ImageSize();
  if (images_.size() < (pageIndex + 1) * size) images_.resize((pageIndex + 1) * size);
  if (imageKnown_.size() < pageIndex + 1) imageKnown_.resize(pageIndex + 1, false);
  std::copy(image, image + size, images_.begin() + static_cast<std::ptrdiff_t>(pageIndex * size));
  imageKnown_[pageIndex] = true;
}

void TDIRManager::ForgetImage(size_t pageIndex) {
  if (pageIndex < imageKnown_.size()) imageKnown_[pageIndex] = false;
}

void TDIRManager::Load() {
  Forget(keyMemo_);
  items_.Clear();
  pages_.clear();
  images_.clear();
  imageKnown_.clear();
  unsavedTimes_.clear();
  current_ = -1;
  currentPath_ = "\\";
  const int32_t pageCount = pfm_.DirPageCount();
  const int32_t itemCount = pfm_.DirItemCount();
  CheckCounts(pageCount, itemCount);
  std::vector<uint8_t> image(ImageSize());
  std::vector<TDIRItem> decoded;
  std::unordered_set<int32_t> seen;
  items_.SetSize(itemCount);
  int32_t pageNo = pfm_.FirstDirPage();
  for (int32_t i = 0; i < pageCount; ++i) {
    if (!seen.insert(pageNo).second)
      throw ESFSError("TDIRManager.Load - the directory page chain comes back to page " + PageText(pageNo) +
                      "; the container is damaged.");
    int32_t next = -1;
    ReadStoredImage(pageNo, image.data(), next);
    decoded.clear();
    DecodeImage(pageNo, image.data(), items_.Count(), itemCount, decoded);
    pages_.push_back(pageNo);
    KeepImage(pages_.size() - 1, image.data());
    for (TDIRItem& item : decoded) items_.Add(std::move(item));
    pageNo = next;
  }
}

void TDIRManager::Refresh(TFreeSpaceManager& fsm, std::vector<std::string>& changedPaths) {
  // --- Read: nothing in memory changes until everything is read --------------------------------------
  const int32_t pageCount = pfm_.DirPageCount();
  const int32_t itemCount = pfm_.DirItemCount();
  CheckCounts(pageCount, itemCount);
  const int32_t oldCount = items_.Count();
  const size_t size = ImageSize();
  std::vector<int32_t> chain;
  chain.reserve(static_cast<size_t>(pageCount));
  // The pages decoded again: their index in the chain and their new image.
  std::vector<std::pair<size_t, std::vector<uint8_t>>> fresh;
  // The items that differ from those in memory (or are new), by item number.
  std::vector<std::pair<int32_t, TDIRItem>> differ;
  std::vector<uint8_t> image(size);
  std::vector<TDIRItem> decoded;
  std::unordered_set<int32_t> seen;
  TImageRuns runs(pfm_, pages_);
  // Slots between the old and the new item count were not decoded from their page, or are gone.
  const int64_t countLow = std::min(oldCount, itemCount), countHigh = std::max(oldCount, itemCount);
  int32_t pageNo = pfm_.FirstDirPage();
  for (int32_t i = 0; i < pageCount; ++i) {
    if (!seen.insert(pageNo).second)
      throw ESFSError("TDIRManager.Load - the directory page chain comes back to page " + PageText(pageNo) +
                      "; the container is damaged.");
    const size_t index = static_cast<size_t>(i);
    int32_t next = -1;
    const int64_t first = static_cast<int64_t>(i) * itemsPerPage_;
    const bool countMoved = first < countHigh && first + itemsPerPage_ > countLow;
    const bool kept = index < imageKnown_.size() && imageKnown_[index] && unsavedTimes_.count(index) == 0;
    const uint8_t* keptImage = kept ? images_.data() + index * size : nullptr;
    bool known;
    if (const uint8_t* stored = runs.Find(index, pageNo)) {
      // The checksum of a page that differs from the kept image is verified as it is decoded; one
      // that does not is the kept image, verified when it was read or written. The page header is
      // compared as it decodes (its reserved bytes are ignored on reading).
      const TPageHeader header = TPageHeader::DecodeFrom(stored);
      header.EncodeTo(image.data());
      next = header.NextPage;
      known = kept && std::equal(image.begin(), image.begin() + TPageHeader::Size, keptImage) &&
              std::equal(stored + TPageHeader::Size, stored + size, keptImage + TPageHeader::Size);
      if (!known || countMoved)
        std::copy(stored + TPageHeader::Size, stored + size, image.begin() + TPageHeader::Size);
    } else {
      ReadStoredImage(pageNo, image.data(), next);
      known = kept && std::equal(image.begin(), image.end(), keptImage);
    }
    chain.push_back(pageNo);
    if (!known || countMoved) {
      decoded.clear();
      DecodeImage(pageNo, image.data(), first, itemCount, decoded);
      for (size_t s = 0; s < decoded.size(); ++s) {
        const int32_t k = static_cast<int32_t>(first + static_cast<int64_t>(s));
        if (k >= oldCount || !(items_.ReadItem(k) == decoded[s]))
          differ.emplace_back(k, std::move(decoded[s]));
      }
      if (!known) fresh.emplace_back(index, image);
    }
    pageNo = next;
  }

  // --- What the change touched, as paths before it ---------------------------------------------------
  // Moving or renaming a folder moves everything below it; an item's own change is told at its path.
  auto movesOthers = [](const TDIRItem& a, const TDIRItem& b) {
    return a.Deleted != b.Deleted || a.ParentID != b.ParentID || a.Name != b.Name;
  };
  auto sameForReport = [](const TDIRItem& a, const TDIRItem& b) {
    return a.FirstMapPageNo == b.FirstMapPageNo && a.FileSize == b.FileSize &&
           a.CreationTime == b.CreationTime && a.LastWriteTime == b.LastWriteTime &&
           a.Attributes == b.Attributes && a.IsFolder == b.IsFolder && a.HasPassword == b.HasPassword &&
           a.KeyRecord == b.KeyRecord;
  };
  std::vector<int32_t> told;  // items whose paths are told after the change too
  for (const auto& [k, item] : differ) {
    if (k >= oldCount) {
      told.push_back(k);
      continue;
    }
    const TDIRItem& old = items_.ReadItem(k);
    if (old.Deleted) {
      told.push_back(k);
    } else if (movesOthers(old, item)) {
      CollectPaths(k, changedPaths);
      told.push_back(k);
    } else if (!sameForReport(old, item)) {
      changedPaths.push_back(FullPath(k));
    }
  }
  for (int32_t k = itemCount; k < oldCount; ++k)
    if (!items_.ReadItem(k).Deleted) CollectPaths(k, changedPaths);

  // --- Take it in (memory only) -----------------------------------------------------------------------
  Forget(keyMemo_);
  unsavedTimes_.clear();
  while (items_.Count() > itemCount) items_.RemoveLast();
  for (auto& [k, item] : differ) {
    if (k < items_.Count())
      items_.UpdateItem(k, std::move(item));
    else
      items_.Add(std::move(item));  // differ holds the new slots in order
  }
  for (int32_t k = 0; k < items_.Count(); ++k) items_.SetOpenCount(k, 0);
  pages_ = std::move(chain);
  images_.resize(pages_.size() * size);
  imageKnown_.resize(pages_.size(), false);
  for (const auto& [index, bytes] : fresh) KeepImage(index, bytes.data());
  fsm_ = &fsm;

  // --- The paths after it -------------------------------------------------------------------------------
  for (int32_t k : told)
    if (!items_.ReadItem(k).Deleted) CollectPaths(k, changedPaths);
  // The current folder by its path; the root when it is gone.
  const int32_t current = currentPath_ == "\\" ? RootItem : ResolveWalk(currentPath_, RootItem);
  current_ = IsLiveFolder(current) ? current : RootItem;
  currentPath_ = FullPath(current_);
}

void TDIRManager::CollectPaths(int32_t k, std::vector<std::string>& out) const {
  std::vector<int32_t> todo{k};
  // A loop in damaged parents cannot keep this going: each item is taken once.
  std::unordered_set<int32_t> done;
  while (!todo.empty()) {
    const int32_t item = todo.back();
    todo.pop_back();
    if (!done.insert(item).second) continue;
    out.push_back(FullPath(item));
    if (items_.ReadItem(item).IsFolder)
      for (int32_t child : items_.Children(item)) todo.push_back(child);
  }
}

void TDIRManager::WriteItemPage(size_t pageIndex, bool readHeaderFirst, const char* op) {
  const int32_t pageNo = pages_[pageIndex];
  TPageHeader header;
  if (readHeaderFirst && !pfm_.ReadPage(pageNo, header, nullptr, false, nullptr, 0))
    throw ESFSError(std::string("TDIRManager.") + op + " - can not load  page, pageNo = " + PageText(pageNo));
  header.PageType = ptDirectory;
  header.EncryptionType = pfm_.EncryptionType();
  header.ChecksumType = ctXor;
  const int32_t length = itemsPerPage_ * static_cast<int32_t>(TDIRItem::Size);
  // Zero-filled (a null source; the size-only constructor leaves the bytes as the heap had them), so
  // that the slots after the last item are stored as zeros; wiped when freed.
  CryptoPP::SecByteBlock buf(nullptr, static_cast<size_t>(length));
  int64_t first = static_cast<int64_t>(pageIndex) * itemsPerPage_;
  for (int32_t s = 0; s < itemsPerPage_ && first + s < items_.Count(); ++s)
    items_.ReadItem(static_cast<int32_t>(first + s))
        .Serialize(buf.data() + static_cast<size_t>(s) * TDIRItem::Size);
  // A failed write may have left anything on the disk: its image is not known then.
  ForgetImage(pageIndex);
  if (!pfm_.WritePage(pageNo, header, buf.data(), nullptr, length))
    throw ESFSError(std::string("TDIRManager.") + op + " - can not save page, pageNo = " + PageText(pageNo));
  unsavedTimes_.erase(pageIndex);
  // The buffer is left as stored, the header with its checksum: the image the disk holds now (or at
  // the commit; a transaction rolled back has its directory loaded anew).
  std::vector<uint8_t> image(ImageSize());
  header.EncodeTo(image.data());
  std::copy(buf.begin(), buf.end(), image.begin() + TPageHeader::Size);
  KeepImage(pageIndex, image.data());
}

void TDIRManager::FlushAccessTimes() {
  while (!unsavedTimes_.empty()) WriteItemPage(*unsavedTimes_.begin(), true, "WriteItem");
}

bool TDIRManager::AddItem(const TDIRItem& item, int32_t* itemNo) {
  lastError_ = 0;
  TDIRItem live = item;
  live.Deleted = false;
  int32_t slot = items_.FirstDeleted();
  if (slot >= 0) {
    WriteItem(slot, live);
    if (itemNo) *itemNo = slot;
    return true;
  }
  const int32_t count = items_.Count();
  const int32_t oldFirst = pfm_.FirstDirPage(), oldPages = pfm_.DirPageCount(),
                oldItems = pfm_.DirItemCount();
  int32_t newPage = -1;
  bool appended = false;
  try {
    if (static_cast<int64_t>(pages_.size()) * itemsPerPage_ == count) {
      std::vector<int32_t> got;
      int32_t hint = pages_.empty() ? pfm_.FirstManagedPage() : pages_.back();
      if (!fsm_->GetPages(1, hint, got, pages_.size() > 8)) {
        lastError_ = ErrNoSpace;
        return false;
      }
      newPage = got[0];
      // The new page is written (with the new item) before the chain points to it.
      pages_.push_back(newPage);
    }
    items_.Add(live);
    appended = true;
    const size_t pageIndex = static_cast<size_t>(count / itemsPerPage_);
    WriteItemPage(pageIndex, count % itemsPerPage_ != 0, "AddItem");
    if (newPage >= 0) {
      if (pages_.size() > 1) {
        const int32_t last = pages_[pages_.size() - 2];
        TPageHeader header;
        if (!pfm_.ReadPage(last, header, nullptr, false, nullptr, 0))
          throw ESFSError("TDIRManager.AddItem - can not load last page, pageNo = " + PageText(last));
        header.NextPage = newPage;
        const size_t lastIndex = pages_.size() - 2;
        const bool known = lastIndex < imageKnown_.size() && imageKnown_[lastIndex];
        ForgetImage(lastIndex);
        if (!pfm_.WritePage(last, header, nullptr, nullptr, 0))
          throw ESFSError("TDIRManager.AddItem - can not save last page, pageNo = " + PageText(last));
        // Only the page header was written, the payload is as kept.
        if (known) {
          header.EncodeTo(images_.data() + lastIndex * ImageSize());
          imageKnown_[lastIndex] = true;
        }
      } else {
        pfm_.SetFirstDirPage(newPage);
      }
      pfm_.SetDirPageCount(static_cast<int32_t>(pages_.size()));
    }
    pfm_.SetDirItemCount(count + 1);
    pfm_.SaveHeader();
  } catch (...) {
    // Leave the table and the header image as they were; give back a page taken for this item.
    if (appended) items_.RemoveLast();
    pfm_.SetFirstDirPage(oldFirst);
    pfm_.SetDirPageCount(oldPages);
    pfm_.SetDirItemCount(oldItems);
    if (newPage >= 0) {
      pages_.pop_back();
      try {
        fsm_->FreePages({newPage});
      } catch (...) {
      }
    }
    throw;
  }
  if (itemNo) *itemNo = count;
  return true;
}

void TDIRManager::WriteItem(int32_t k, const TDIRItem& item) {
  if (k < 0 || k >= items_.Count())
    throw ESFSError("TDIRArray.UpdateItem - invalid itemNo = " + std::to_string(k));
  TDIRItem old = items_.ReadItem(k);
  int32_t oldOpen = items_.OpenCount(k);
  items_.UpdateItem(k, item);
  try {
    WriteItemPage(static_cast<size_t>(k / itemsPerPage_), true, "WriteItem");
  } catch (...) {
    items_.UpdateItem(k, old);
    items_.SetOpenCount(k, oldOpen);
    throw;
  }
  if (item.Deleted && current_ >= 0) MoveCurrentToLiveFolder();
}

void TDIRManager::MoveCurrentToLiveFolder() {
  int32_t k = current_;
  int guard = items_.Count() + 1;
  while (k >= 0 && k < items_.Count() && items_.ReadItem(k).Deleted && guard-- > 0)
    k = items_.ReadItem(k).ParentID;
  if (k < -1 || k >= items_.Count() || guard <= 0) k = -1;
  if (k != current_) {
    current_ = k;
    currentPath_ = FullPath(k);
  }
}

int32_t TDIRManager::Resolve(std::string_view path, int32_t start) const {
  if (path.empty() || start < -1 || start >= items_.Count()) return InvalidPath;
  if (IsRootPath(path)) return RootItem;
  // A name in a folder: the folder part resolves as it did for the last path in the same folder while
  // the directory's names are unchanged; only the last name is looked up. A path ending in a separator
  // or in ".." takes the walk.
  const size_t sep = path.find_last_of("\\/");
  if (sep != std::string_view::npos && sep + 1 < path.size() && path.substr(sep + 1) != "..") {
    const std::string_view folder = path.substr(0, sep + 1);
    TFolderMemo& m = folderMemo_;
    if (!m.Valid || m.Generation != items_.Generation() || m.Start != start || m.Folder != folder) {
      m.Item = ResolveWalk(folder, start);
      m.Folder.assign(folder);
      m.Start = start;
      m.Generation = items_.Generation();
      m.Valid = true;
    }
    if (m.Item < RootItem) return m.Item;
    const int32_t k = items_.FindChild(m.Item, path.substr(sep + 1, kMaxNameLength));
    return k < 0 ? NotFound : k;
  }
  return ResolveWalk(path, start);
}

int32_t TDIRManager::ResolveWalk(std::string_view path, int32_t start) const {
  if (IsRootPath(path)) return RootItem;
  TPathComponents parts;
  if (!SplitPathComponents(path, parts)) return InvalidPath;
  int32_t cur = parts.Absolute ? RootItem : start;
  for (const std::string& name : parts.Names) {
    if (name == "..") {
      if (cur == RootItem) continue;  // the root's parent is the root
      int32_t parent = items_.ReadItem(cur).ParentID;
      if (parent < -1 || parent >= items_.Count()) return NotFound;
      cur = parent;
    } else {
      int32_t next = items_.FindChild(cur, name);
      if (next < 0) return NotFound;
      cur = next;
    }
  }
  return cur;
}

std::string TDIRManager::FullPath(int32_t k) const {
  if (k < 0 || k >= items_.Count()) return "\\";
  std::vector<const std::string*> names;
  int guard = items_.Count();
  while (k >= 0 && k < items_.Count() && guard-- > 0) {
    const TDIRItem& it = items_.ReadItem(k);
    names.push_back(&it.Name);
    k = it.ParentID;
  }
  std::string r;
  for (auto it = names.rbegin(); it != names.rend(); ++it) r += "\\" + **it;
  return r.empty() ? "\\" : r;
}

bool TDIRManager::IsLiveFolder(int32_t k) const {
  if (k == RootItem) return true;
  if (k < 0 || k >= items_.Count()) return false;
  const TDIRItem& it = items_.ReadItem(k);
  return !it.Deleted && it.IsFolder;
}

bool TDIRManager::IsInside(int32_t k, int32_t folder) const {
  int guard = items_.Count() + 1;
  while (k >= 0 && k < items_.Count() && guard-- > 0) {
    if (k == folder) return true;
    k = items_.ReadItem(k).ParentID;
  }
  return guard <= 0;  // a loop in the parents: treat as inside, refuse
}

int32_t TDIRManager::ResolveFolder(const TPathSplit& split) const {
  return split.HasFolder ? Resolve(split.Folder, current_) : current_;
}

int32_t TDIRManager::CreateFileItem(std::string_view path, std::string_view password, std::string_view answer,
                                    std::string_view question) {
  lastError_ = 0;
  if (path.empty() || IsRootPath(path)) return -1;
  TPathSplit split = SplitLastComponent(path);
  if (!IsStorableName(split.Name)) return -1;
  int32_t parent = ResolveFolder(split);
  if (parent < RootItem || !IsLiveFolder(parent)) return -1;
  if (items_.FindChild(parent, split.Name) >= 0) return -1;  // two items of one name would hide one
  TDIRItem item;
  item.Name = split.Name;
  item.ParentID = parent;
  item.FirstMapPageNo = -1;
  item.CreationTime = item.LastWriteTime = item.LastAccessTime = NowFileTime();
  if (!password.empty()) {
    item.KeyRecord = TKeyRecord::Make(password, question, answer);
    item.HasPassword = true;
  }
  int32_t k = -1;
  return AddItem(item, &k) ? k : -1;
}

int32_t TDIRManager::OpenItem(std::string_view path, std::string_view password, TContainerKey& key,
                              bool withoutKey) {
  key = TContainerKey();
  int32_t k = Resolve(path, current_);
  if (k < 0) return -1;
  TDIRItem item = items_.ReadItem(k);
  if (item.IsFolder) return -1;
  if (item.HasPassword) {
    TContainerKey fileKey;
    bool right;
    std::unique_ptr<TKeyMemo> memo = std::move(keyMemo_);
    if (memo && memo->Item == k && memo->Record == item.KeyRecord && memo->Password == password) {
      fileKey = memo->Key;
      right = memo->Right;
    } else {
      right = item.KeyRecord.Open(password, fileKey);
    }
    Forget(memo);
    if (right)
      key = fileKey;
    else if (!withoutKey)
      return -1;  // a wrong key would read garbage and write it back as the file's content
  }
  const int64_t now = NowFileTime();
  if (!pfm_.ReadOnly() && AccessTimeDue(item, now)) {
    item.LastAccessTime = now;
    if (pfm_.Journaled()) {
      items_.UpdateItem(k, item);
      unsavedTimes_.insert(static_cast<size_t>(k / itemsPerPage_));
    } else {
      WriteItem(k, item);
    }
  }
  items_.SetOpenCount(k, items_.OpenCount(k) + 1);
  return k;
}

bool TDIRManager::AccessTimeDue(const TDIRItem& item, int64_t now) {
  constexpr int64_t kDay = 24 * 60 * 60 * kFileTimeTicksPerSecond;
  return item.LastAccessTime < item.LastWriteTime || now - item.LastAccessTime > kDay;
}

void TDIRManager::RetainItem(int32_t k) {
  if (k < 0 || k >= items_.Count()) return;
  items_.SetOpenCount(k, items_.OpenCount(k) + 1);
}

void TDIRManager::CloseItem(int32_t k) {
  if (k < 0 || k >= items_.Count()) return;
  if (items_.OpenCount(k) > 0) items_.SetOpenCount(k, items_.OpenCount(k) - 1);
}

bool TDIRManager::Rename(std::string_view oldPath, std::string_view newPath) {
  lastError_ = 0;
  int32_t k = Resolve(oldPath, current_);
  if (k < 0) return false;
  int32_t existing = Resolve(newPath, current_);
  if (existing >= RootItem && existing != k) return false;
  if (items_.OpenCount(k) > 0) return false;
  if (newPath.empty() || IsRootPath(newPath)) return false;
  TPathSplit split = SplitLastComponent(newPath);
  if (!IsStorableName(split.Name)) return false;
  int32_t parent = ResolveFolder(split);
  if (parent < RootItem) {
    if (!ForceDirectories(split.Folder)) return false;
    parent = ResolveFolder(split);
    if (parent < RootItem) return false;
  }
  if (!IsLiveFolder(parent)) return false;
  if (items_.ReadItem(k).IsFolder && IsInside(parent, k)) return false;
  // One write moves the item: a crash can leave it at its old or its new place, never deleted.
  TDIRItem item = items_.ReadItem(k);
  item.ParentID = parent;
  item.Name = split.Name;
  item.Deleted = false;
  item.LastWriteTime = item.LastAccessTime = NowFileTime();
  WriteItem(k, item);
  if (current_ >= 0 && IsInside(current_, k)) currentPath_ = FullPath(current_);
  return true;
}

bool TDIRManager::CreateDir(std::string_view path) {
  lastError_ = 0;
  if (path.empty() || IsRootPath(path) || DirectoryExists(path)) return false;
  TPathSplit split = SplitLastComponent(path);
  if (!IsStorableName(split.Name)) return false;
  int32_t parent = ResolveFolder(split);
  if (parent < RootItem || !IsLiveFolder(parent)) return false;
  TDIRItem item;
  item.Name = split.Name;
  item.ParentID = parent;
  item.FirstMapPageNo = -1;
  item.CreationTime = item.LastWriteTime = item.LastAccessTime = NowFileTime();
  item.Attributes = faDirectory;
  item.IsFolder = true;
  return AddItem(item);
}

bool TDIRManager::ForceDirectories(std::string_view path) {
  lastError_ = 0;
  if (path.empty()) return false;
  TPathSplit split = SplitLastComponent(path);
  if (split.HasFolder && !IsRootPath(split.Folder)) {
    if (!DirectoryExists(split.Folder) && !ForceDirectories(split.Folder)) {
      if (lastError_ == ErrNoSpace) return false;
      throw ESFSError("TDIRManager.ForceDirectories - ForceDirectories error!");
    }
    std::string full = split.Folder + "\\" + split.Name;
    return DirectoryExists(full) || CreateDir(full);
  }
  return DirectoryExists(path) || CreateDir(path);
}

bool TDIRManager::DirectoryExists(std::string_view path) const {
  if (IsRootPath(path) || path == ".") return true;
  return Resolve(path, current_) >= RootItem;
}

bool TDIRManager::RemoveDir(std::string_view path) {
  lastError_ = 0;
  int32_t k = Resolve(path, current_);
  if (k < 0) return false;
  TDIRItem item = items_.ReadItem(k);
  if (!item.IsFolder || items_.HasChildren(k)) return false;
  item.Deleted = true;
  item.LastWriteTime = item.LastAccessTime = NowFileTime();
  WriteItem(k, item);
  return true;
}

bool TDIRManager::ChangeDir(std::string_view path) {
  int32_t k = Resolve(path, current_);
  if (k < RootItem) return false;
  current_ = k;
  currentPath_ = FullPath(k);
  return true;
}

void TDIRManager::SetKeyRecord(int32_t k, const TKeyRecord& record) {
  TDIRItem item = items_.ReadItem(k);
  item.KeyRecord = record;
  item.HasPassword = !record.IsZero();
  WriteItem(k, item);
}

bool TDIRManager::CheckItemPassword(int32_t k, std::string_view password) const {
  const TDIRItem& item = items_.ReadItem(k);
  if (!item.HasPassword) return true;
  Forget(keyMemo_);
  auto memo = std::make_unique<TKeyMemo>();
  memo->Right = item.KeyRecord.Open(password, memo->Key);
  memo->Item = k;
  memo->Record = item.KeyRecord;
  memo->Password.assign(password);
  keyMemo_ = std::move(memo);
  return keyMemo_->Right;
}

void TDIRManager::Forget(std::unique_ptr<TKeyMemo>& memo) {
  if (!memo) return;
  WipeString(memo->Password);
  memo.reset();
}

void TDIRManager::FillSearchRec(int32_t k, TSearchRec& rec) const {
  const TDIRItem& it = items_.ReadItem(k);
  rec.Name = it.Name;
  rec.Attr = it.Attributes;
  rec.Size = it.FileSize;
  rec.Time = FileTimeToDosDateTime(it.LastWriteTime);
  rec.FindData.FileAttributes = it.Attributes;
  rec.FindData.CreationTime = it.CreationTime;
  rec.FindData.LastAccessTime = it.LastAccessTime;
  rec.FindData.LastWriteTime = it.LastWriteTime;
  rec.FindData.FileSizeHigh = static_cast<uint32_t>(static_cast<uint64_t>(it.FileSize) >> 32);
  rec.FindData.FileSizeLow = static_cast<uint32_t>(static_cast<uint64_t>(it.FileSize) & 0xFFFFFFFFu);
  rec.FindData.FileName = it.Name;
}

int TDIRManager::FindFirst(std::string_view maskPath, uint32_t attributes, TSearchRec& rec) {
  rec.FindHandle = -1;
  rec.ExcludeAttr = (attributes & 30u) ^ 30u;
  std::string_view mask = maskPath;
  int32_t folder = current_;
  size_t pos = maskPath.find_last_of("\\/");
  if (pos != std::string_view::npos) {
    std::string_view folderPart = pos == 0 ? maskPath.substr(0, 1) : maskPath.substr(0, pos);
    mask = maskPath.substr(pos + 1);
    folder = Resolve(folderPart, current_);
  }
  if (folder < RootItem) return ErrPathNotFound;
  TSearchSlot found;
  found.Used = true;
  found.Folder = folder;
  for (int32_t k : items_.Children(folder)) {
    const TDIRItem& it = items_.ReadItem(k);
    if ((it.Attributes & rec.ExcludeAttr) == 0 && MatchesWildcard(mask, it.Name)) found.Hits.push_back(k);
  }
  if (found.Hits.empty()) return ErrNoMoreFiles;
  int32_t slot;
  if (!freeSlots_.empty()) {
    slot = freeSlots_.back();
    freeSlots_.pop_back();
  } else {
    slot = static_cast<int32_t>(slots_.size());
    slots_.emplace_back();
  }
  slots_[static_cast<size_t>(slot)] = std::move(found);
  rec.FindHandle = slot;
  FillSearchRec(slots_[static_cast<size_t>(slot)].Hits[0], rec);
  return 0;
}

int TDIRManager::FindNext(TSearchRec& rec) {
  if (rec.FindHandle < 0 || static_cast<size_t>(rec.FindHandle) >= slots_.size() ||
      !slots_[static_cast<size_t>(rec.FindHandle)].Used)
    return ErrInvalidHandle;
  TSearchSlot& s = slots_[static_cast<size_t>(rec.FindHandle)];
  while (++s.Pos < s.Hits.size()) {
    int32_t k = s.Hits[s.Pos];
    if (k >= items_.Count()) continue;
    const TDIRItem& it = items_.ReadItem(k);
    if (it.Deleted || it.ParentID != s.Folder) continue;  // gone (or its slot reused) since FindFirst
    FillSearchRec(k, rec);
    return 0;
  }
  return ErrNoMoreFiles;
}

void TDIRManager::FindClose(TSearchRec& rec) {
  if (rec.FindHandle >= 0 && static_cast<size_t>(rec.FindHandle) < slots_.size() &&
      slots_[static_cast<size_t>(rec.FindHandle)].Used) {
    slots_[static_cast<size_t>(rec.FindHandle)] = TSearchSlot();
    freeSlots_.push_back(rec.FindHandle);
  }
  rec.FindHandle = -1;
}

}  // namespace quillmar
