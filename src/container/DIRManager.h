#pragma once
// TDIRManager: the names of a container. One flat table of 512-byte items (TDIRItem), stored in a chain
// of directory pages and held wholly in memory (TDIRArray), with path resolution, a current folder,
// creation, renaming and deletion of items, open counts and wildcard searches.
//
// On disk:
//   - n = D / 512 items per directory page (3 for 2048-byte pages). Item k lives on the (k / n)-th page
//     of the chain at slot k % n. A directory page (type 1, checksum type 0, encrypted like file data
//     when the container is encrypted) has a payload of 512 * n bytes: its n items in order, zeros past
//     the last item.
//   - The chain starts at the header's first directory page and follows the page headers' next fields
//     for the header's directory page count; the last page's next field is -1.
//   - Directory page count = ceil(item count / n). Deleted items keep their slot (deleted flag 1) and
//     the slot is reused by the next new item.
//   - Times are the local clock at two-second precision, stored as UTC file times.
//
// Invariants kept by every operation (checked by CheckIntegrity):
//   - A live (not deleted) item's parent is the root (-1) or a live folder, and following parents
//     always reaches the root: a folder is never moved into itself or below itself.
//   - No two live items of one folder have the same name (letter case ignored); names are 1..259 bytes,
//     hold no separator and are not "..".
//   - Folders have is-folder 1, attribute 16 and no file map (-1).
//   - The current folder is the root or a live item.
//
// Access times follow the rule file systems settled on ("relatime"): opening a file sets its last
// access time only when that is older than its last write or more than a day old, so that reading an
// item again the same day writes nothing, and a save never rewrites the directory pages of everything
// read since the last save. A read-only container never sets one.
//
// Every change is written through at once (the item's page, then the header), with one exception: in
// a journaled container the access time that opening a file sets is kept in memory until the next
// write of that item's page or FlushAccessTimes (the facade calls it inside its next transaction), so
// that reading never costs a transaction of its own. Page I/O failures throw
// ESFSError with the messages below; running out of space sets LastError() to ErrNoSpace (-17) and
// returns false or -1. When a write fails, the table in memory is left as it was before the call.
//
// Taking in another program's change (Refresh) reads again only the directory pages whose stored
// bytes changed. Each page's stored image (its 32-byte header and its payload as on the disk,
// encrypted in an encrypted container) is kept beside the items decoded from it. The items in memory
// are a function of the header's three directory fields, the stored images of the pages of the chain,
// and the container key: decoding (checksum, cipher, item layout) looks at nothing else, and the key
// cannot change under an open container (a change of password replaces the file, which the next lock
// refuses). Refresh follows the chain anew from the header (re-read by every lock) through the next
// fields of the images it reads, and compares every page's image in full with the kept one: equal
// bytes decode to equal items, so an unchanged page need not be decoded, and a changed one cannot be
// missed. A page this program writes keeps the image it wrote (a transaction rolled back has its
// directory loaded anew); a page whose write failed, or that holds access times not on the disk yet,
// has no known image and is decoded again. Pages that lie one after the other in the chain kept are
// read in one call each run (most directory pages do). A hash of the images would save memory but
// could collide; the images cost as many bytes as the stored directory.
//
// Single-threaded. Keeps references to the page file and free-space managers, which must outlive it
// (Refresh may hand it another free-space manager).
#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "container/DIRArray.h"
#include "container/FreeSpaceManager.h"
#include "container/PageFileManager.h"
#include "container/SFSConstants.h"

namespace quillmar {

// The find data of one search hit, as the desktop's file search gives it.
struct TSFSFindData {
  uint32_t FileAttributes = 0;
  int64_t CreationTime = 0;  // UTC file times
  int64_t LastAccessTime = 0;
  int64_t LastWriteTime = 0;
  uint32_t FileSizeHigh = 0;
  uint32_t FileSizeLow = 0;
  std::string FileName;
};

// A search in progress (FindFirst / FindNext / FindClose).
struct TSearchRec {
  uint32_t Time = 0;  // last write time, local DOS date and time
  int64_t Size = 0;   // file size in bytes
  uint32_t Attr = 0;
  std::string Name;
  uint32_t ExcludeAttr = 0;
  int32_t FindHandle = -1;  // the search slot; -1 when none is held
  TSFSFindData FindData;
};

// ErrNoSpace and the non-zero results of FindFirst / FindNext (ErrPathNotFound, ErrInvalidHandle,
// ErrNoMoreFiles): TSFSConstants.
class TDIRManager : public TSFSConstants {
public:
  // Results of Resolve besides item numbers.
  static constexpr int32_t RootItem = -1;
  static constexpr int32_t InvalidPath = -2;
  static constexpr int32_t NotFound = -3;

  // Loads the directory (Load).
  TDIRManager(TPageFileManager& pfm, TFreeSpaceManager& fsm);
  ~TDIRManager();
  TDIRManager(const TDIRManager&) = delete;
  TDIRManager& operator=(const TDIRManager&) = delete;

  // Reads the directory pages and items. Throws "TDIRManager.Load - can not load page, pageNo = <n>",
  // and a damage message when the header's counts cannot be right or the chain visits a page twice.
  void Load();

  // Brings the directory in memory to what the disk holds after another program's change (see the
  // top): only pages whose stored image differs are decoded, only the items that differ are
  // re-indexed. Everything is read before anything changes: when a page cannot be read, or the
  // header's counts or the chain are damaged, it throws as Load does and the directory in memory is
  // left as it was. Afterwards the free-space manager is `fsm` (read anew by the caller), open counts
  // are 0 (the caller retains its handles' items again), access times not yet on the disk are gone
  // (as with a fresh Load), and the current folder is the same path, or the root when it is gone.
  // `changedPaths` receives the full paths of the items added, removed or changed in any way but their
  // access time (for a renamed or moved item its old and its new path, and those of every item below
  // it); unsorted, possibly with repeats.
  void Refresh(TFreeSpaceManager& fsm, std::vector<std::string>& changedPaths);

  // --- Items ---------------------------------------------------------------------------------------
  int32_t ItemCount() const { return items_.Count(); }
  int32_t ItemsPerPage() const { return itemsPerPage_; }
  // Throws "TDIRArray.ReadItem - invalid itemNo = <k>".
  const TDIRItem& ReadItem(int32_t k) const { return items_.ReadItem(k); }
  // Stores a new item: in the first deleted slot when there is one, else appended (taking a new
  // directory page when the last one is full). False with LastError -17 when no page could be had.
  // Throws "TDIRManager.AddItem - can not load last page, pageNo = ", "... can not save last page, ...",
  // "TDIRManager.AddItem - can not load  page, pageNo = ", "... can not save page, pageNo = ".
  bool AddItem(const TDIRItem& item, int32_t* itemNo = nullptr);
  // Replaces item k (re-indexing it) and writes its page. When the current folder is deleted, the
  // current folder moves up to the nearest live folder. Throws the TDIRArray.UpdateItem messages,
  // "TDIRManager.WriteItem - can not load  page, pageNo = ", "... can not save page, pageNo = ".
  void WriteItem(int32_t k, const TDIRItem& item);

  // --- Paths ---------------------------------------------------------------------------------------
  // The item a path names, RootItem (-1) for the root, InvalidPath (-2) for an empty or malformed path
  // or a start outside -1 .. ItemCount() - 1, NotFound (-3) when it names nothing. ".." at the root stays
  // at the root. Relative paths start at `start`.
  int32_t Resolve(std::string_view path, int32_t start) const;
  int32_t Resolve(std::string_view path) const { return Resolve(path, current_); }
  // "\" + the names from the root down joined by "\"; "\" for the root.
  std::string FullPath(int32_t k) const;

  // A new file item (size 0, no pages, times now, attributes 0) with its own key record when a password
  // is given. Returns the item number, or -1 when the path is the root, its folder does not exist or is
  // not a folder, the name is not storable, an item of that name already exists there, or there is no
  // space (LastError -17). Throws the key-record length messages for a too long password or question.
  int32_t CreateFileItem(std::string_view path, std::string_view password = {}, std::string_view answer = {},
                         std::string_view question = {});
  // Opens a file item: open count + 1, `key` receives the file's own key (empty when it has none), last
  // access time set when AccessTimeDue and the container is not read-only. -1 when the path names no
  // file, or the file has
  // its own password and `password` does not open it (then nothing changes), unless withoutKey is set:
  // then the file opens with an empty key (for copying stored pages as they are).
  int32_t OpenItem(std::string_view path, std::string_view password, TContainerKey& key,
                   bool withoutKey = false);
  // Whether opening the item at `now` (a file time) sets its access time: when the access time is older
  // than the last write, or more than a day older than now.
  static bool AccessTimeDue(const TDIRItem& item, int64_t now);
  // Open count - 1 (never below 0).
  void CloseItem(int32_t k);
  // Open count + 1 without touching the item (the facade keeps its handles' counts across a reload).
  void RetainItem(int32_t k);
  // Writes the directory pages whose items got an access time that is not on the disk yet.
  // REQUIRES: inside a transaction of a journaled container.
  void FlushAccessTimes();
  bool HasUnsavedAccessTimes() const { return !unsavedTimes_.empty(); }
  int32_t OpenCount(int32_t k) const {
    items_.ReadItem(k);  // throws for an invalid number
    return items_.OpenCount(k);
  }

  // Moves and/or renames an item. False when the old path names no item (or the root), the new path
  // names another item (a change of letter case alone is allowed), the item is open, the new name is not
  // storable, the new folder cannot be made, or a folder would move into itself or below itself.
  bool Rename(std::string_view oldPath, std::string_view newPath);

  bool CreateDir(std::string_view path);
  // Creates the folder and any missing folders above it. True when the folder exists afterwards.
  // Throws "TDIRManager.ForceDirectories - ForceDirectories error!" when a folder above cannot be made
  // (other than for lack of space, which returns false with LastError -17).
  bool ForceDirectories(std::string_view path);
  // True for "\", "/" and ".", and when the path names an item (file or folder).
  bool DirectoryExists(std::string_view path) const;
  // Deletes an empty folder. False for the root, a file, a folder with items, or a missing path.
  bool RemoveDir(std::string_view path);

  // Makes the item the path names (from the current folder) the current folder.
  bool ChangeDir(std::string_view path);
  int32_t CurrentFolder() const { return current_; }
  const std::string& CurrentDir() const { return currentPath_; }

  // The item's key record, and setting it (has-password follows: set exactly when the record is not
  // zero). CheckItemPassword: true when the item has no password of its own or `password` opens it.
  TKeyRecord GetKeyRecord(int32_t k) const { return items_.ReadItem(k).KeyRecord; }
  void SetKeyRecord(int32_t k, const TKeyRecord& record);
  bool CheckItemPassword(int32_t k, std::string_view password) const;

  // --- Searches ------------------------------------------------------------------------------------
  // Lists the items of the mask path's folder whose names match its last component (a wildcard mask)
  // and whose attributes share no bit with (attributes & 30) ^ 30. 0 when something matched (the record
  // holds the first hit), else non-zero (no slot is then held). Hits come in parent-index order.
  int FindFirst(std::string_view maskPath, uint32_t attributes, TSearchRec& rec);
  // 0 and the next hit, or non-zero at the end or for an unknown search. Hits deleted since FindFirst
  // are skipped.
  int FindNext(TSearchRec& rec);
  void FindClose(TSearchRec& rec);

  // --- State ---------------------------------------------------------------------------------------
  int32_t LastError() const { return lastError_; }
  const TDIRArray& Items() const { return items_; }
  // The directory pages in chain order, as loaded and extended.
  const std::vector<int32_t>& DirectoryPages() const { return pages_; }
  // The local clock now at two-second precision, as a UTC file time.
  static int64_t NowFileTime();

private:
  struct TSearchSlot {
    bool Used = false;
    int32_t Folder = -1;
    std::vector<int32_t> Hits;
    size_t Pos = 0;
  };

  bool IsLiveFolder(int32_t k) const;
  bool IsInside(int32_t k, int32_t folder) const;  // k is folder or below it
  // Resolves the folder part of a split path (the current folder when there is none).
  int32_t ResolveFolder(const struct TPathSplit& split) const;
  void WriteItemPage(size_t pageIndex, bool readHeaderFirst, const char* op);
  // Checks the header's directory counts (throws the Load message when they cannot be right).
  void CheckCounts(int32_t pageCount, int32_t itemCount) const;
  // Bytes of one stored directory page image: the page header and the item slots.
  size_t ImageSize() const { return TPageHeader::Size + static_cast<size_t>(itemsPerPage_) * TDIRItem::Size; }
  // Reads the stored image of directory page pageNo into `image` (ImageSize() bytes); the next page
  // of the chain in `next`. Throws the Load message when it cannot be read.
  void ReadStoredImage(int32_t pageNo, uint8_t* image, int32_t& next);
  // Decodes a stored image (a copy of it, so the image stays as stored) and appends the items of its
  // slots whose number (`first`, the page's first item number, + slot) is below itemCount.
  void DecodeImage(int32_t pageNo, const uint8_t* image, int64_t first, int32_t itemCount,
                   std::vector<TDIRItem>& out);
  // Keeps (or forgets) the stored image of the page at `pageIndex` of the chain.
  void KeepImage(size_t pageIndex, const uint8_t* image);
  void ForgetImage(size_t pageIndex);
  // The full paths of k and of every item below it (k a live item).
  void CollectPaths(int32_t k, std::vector<std::string>& out) const;
  void FillSearchRec(int32_t k, TSearchRec& rec) const;
  void MoveCurrentToLiveFolder();
  // Resolve, component by component from the root or start.
  int32_t ResolveWalk(std::string_view path, int32_t start) const;

  TPageFileManager& pfm_;
  TFreeSpaceManager* fsm_;
  TDIRArray items_;
  std::vector<int32_t> pages_;
  // The stored image of each page of pages_ as last read or decoded (ImageSize() bytes each), and
  // whether it is known: one whose write failed is not (see the top).
  std::vector<uint8_t> images_;
  std::vector<bool> imageKnown_;
  int32_t itemsPerPage_ = 0;
  int32_t current_ = -1;
  std::string currentPath_ = "\\";
  int32_t lastError_ = 0;
  std::vector<TSearchSlot> slots_;
  std::vector<int32_t> freeSlots_;
  std::set<size_t> unsavedTimes_;  // indexes into pages_ of pages with unsaved access times
  // The folder part of the last path resolved (`\a\b\` of `\a\b\c`), the start it was resolved
  // from, the directory's generation then and what it gave: reading every file of one folder resolves
  // that folder once, not once per file (and per open, which resolves a path twice).
  struct TFolderMemo {
    std::string Folder;
    int32_t Start = 0;
    uint64_t Generation = 0;
    int32_t Item = InvalidPath;
    bool Valid = false;
  };
  mutable TFolderMemo folderMemo_;
  // What CheckItemPassword found for an item, for the OpenItem that follows it (opening a file checks
  // its password first): the key record is opened once per open, not twice. Taken (and wiped) by the
  // next OpenItem; used only for the same item, key record and password.
  struct TKeyMemo {
    int32_t Item = -1;
    TKeyRecord Record;
    std::string Password;
    TContainerKey Key;
    bool Right = false;
  };
  mutable std::unique_ptr<TKeyMemo> keyMemo_;
  static void Forget(std::unique_ptr<TKeyMemo>& memo);
};

}  // namespace quillmar
