#pragma once
// TRollbackJournal: the rollback journal of a container, the file "<container file>-journal" beside it.
//
// Why. Pages are overwritten in place, and one change of the file system touches several pages (a
// directory page, the free-space maps, file maps, the header). A crash between two of those writes
// would leave a container that no longer opens. The journal keeps the old image of every page a
// transaction overwrites, so that an interrupted transaction is undone before anything is read.
//
// File format (little-endian). Between transactions the file is empty or absent.
//   Header, 64 bytes at offset 0:
//      0  8  magic "QMRJRNL1"
//      8  4  page size P of the container
//     12  4  nonce: a random number of this transaction, part of every record's and seal's checksum
//     16  8  original logical size of the container data, in bytes
//     24  4  CRC-32 of the container header (256 bytes at logical offset 0) as the transaction began
//     28 32  reserved, zero
//     60  4  CRC-32 of bytes 0..59
//   Record, one per page whose old image is kept:
//      0  4  page number (0 for the page holding the container header)
//      4  P  the page's bytes as they were when the transaction began (zeros past the end of the file)
//    4+P  4  CRC-32 of the nonce, the page number and the image
//   Seal, closing the records written since the previous seal (a segment):
//      0  4  0xFFFFFFFF (no page has this number)
//      4  4  nonce
//      8  4  number of records in the segment
//     12  4  CRC-32 of the container header as it is once the segment's pages are written
//     16  4  CRC-32 over the checksums of the segment's records, in order
//     20  4  CRC-32 of bytes 0..19 of the seal
//
// Protocol of a transaction (TPageFileManager drives it; one transaction at a time):
//   1. Begin: the container's size and the checksum of its header are noted. Nothing is written.
//   2. Before the first change to a page that existed when the transaction began (it lies below the
//      original size) and was in use then, its old image is added to the journal's buffer (Add); the
//      change itself stays in the page file manager's cache. Pages beyond the original size, and pages
//      that were free when the transaction began, need no old image: a rollback cuts the file back
//      and restores the free-space maps, which frees them again. Those are written to the container
//      at once.
//   3. Seal (at commit, or when the cache has grown too large): the buffered records are appended
//      (after the header, when the journal is still empty) and the journal is synced; the folder is
//      synced once after the journal file was created; then the seal is appended in a write of its
//      own and the journal is synced again. Only then are the cached pages written to the container.
//   4. Commit: the container is synced; then the journal is emptied (cut to 0 bytes) and synced. That
//      is the commit point: a crash before it rolls the transaction back, a crash after it keeps it.
//      So one transaction costs four syncs however many pages it writes (a fifth, of the folder, when
//      the journal file is new). Cutting the container file shorter (its top pages were freed) waits
//      until after the commit point.
//   5. Rollback in the running program: the pages written from sealed segments are put back, the file
//      is cut to its original size and synced, and the journal is emptied.
//   6. Close: the empty journal file is removed.
//
// Invariants:
//   - A container page whose old image is kept is never written before its record and the seal after
//     it are synced.
//   - A seal is never written before the records it vouches for are synced.
//   - A page has at most one record per transaction: its image from the transaction's beginning.
//   - The journal is empty or absent whenever no transaction is open.
//   - The container header changes only through page 0, which always has a record first; so the
//     container's header is the one the transaction began with, or the one a sealed segment leads
//     to, or (torn by a crash while it was written) no valid header at all.
//
// Power cuts. A program that is killed loses nothing it wrote: the kernel still has it. A power cut (or
// a crash of the system) loses what was not synced yet, any part of it, in any order, and may tear a
// block at a sector. The two syncs of step 3 are what makes the journal trustworthy then: when the
// records and their seal went to the disk in one write and one sync, the block holding the seal could
// reach the disk while a block of the records (or the journal's header) did not, and recovery found a
// valid seal over records that fail their checksums: a journal it must call damaged, though no page
// of the container had been overwritten yet. With the seal written and synced only after its
// records are on the disk, a valid seal proves its records whole; a seal that did not make it proves
// that no page it covers was written (step 3 writes them only after the second sync). A record that
// fails its checksum under a valid seal is therefore damage that happened after it was written. The
// price is one sync per transaction (four instead of three); the container's own writes need no more
// than the one sync of step 4, since the journal can undo any subset of them.
//
// Recovery, whenever a program takes a lock on the container (TPageFileManager::Acquire), in every mode:
//   - No journal, an empty one, or one without its magic: nothing to undo.
//   - No valid seal: the journal was never completely written, so no page with a record had been
//     overwritten yet, and it undoes nothing; unless the container says otherwise (Examine): its
//     header is no longer the one the journal began with, or a page whose record is intact differs
//     from that record. Then the seal was lost after pages were written: the journal is damaged. A
//     sound unfinished journal is removed by the next open for writing, once the container's header
//     loads without it.
//   - Sealed segments: the journal is hot. It is rolled back under the exclusive lock (a reader takes
//     it for the moment, and needs write access to do it), then removed once the container's header
//     loads. Records after the last seal were never sealed: they are checked
//     against the container as above (pages they cover must not have been written).
//   - A record of a sealed segment that fails its checksum, a seal behind a damaged header or a
//     damaged seal followed by a valid one: the journal was damaged after it was written. Nothing is
//     changed and opening is refused, naming the journal. Salvage (a repair) puts back the records
//     that still check.
//   - A container whose header is neither the one the journal began with nor one its seals lead to
//     (and is not torn): the journal belongs to another file (the container was replaced). Nothing is
//     changed and opening is refused.
//
// A journal is only examined under the container's transaction lock (TransactionLock.h), and only
// written or removed under its exclusive lock: a live writer's journal is never mistaken for a
// leftover.
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "container/SFSAbstractFile.h"
#include "container/SFSError.h"

namespace quillmar {

class TSFSHugeFile;

// A journal that cannot be used to undo an interrupted change (damaged, or another file's), or a hot
// journal that cannot be rolled back now. The container is left as it was.
class ESFSJournalError : public ESFSError {
public:
  explicit ESFSJournalError(const std::string& message) : ESFSError(message) {}
};

// What a journal file holds, read without changing anything.
struct TJournalContents {
  enum class TState {
    Absent,      // no journal file
    Empty,       // empty, or no journal magic: nothing to undo
    Unfinished,  // never completely written (no valid seal): nothing was overwritten
    Hot,         // sealed segments: an interrupted transaction to roll back
    Damaged,     // a sealed part fails its checksum: cannot be used
  };
  TState State = TState::Absent;
  std::string Problem;  // for Damaged: what fails
  int64_t FileSize = 0;
  int32_t PageSize = 0;
  int64_t OriginalSize = 0;
  uint32_t StartHeaderCrc = 0;
  std::vector<uint32_t> HeaderCrcs;                // the header checksum after each sealed segment
  std::vector<std::pair<int32_t, int64_t>> Pages;  // sealed records: page number, file offset of image
  int32_t Segments = 0;
  int32_t UnsealedRecords = 0;  // records after the last seal (never applied)
  // The records after the last seal that pass their own checksum: page number, file offset of image.
  std::vector<std::pair<int32_t, int64_t>> UnsealedPages;
  // Every record of the journal that passes its own checksum, sealed or not, and the number that do
  // not (what a repair can still put back of a damaged journal).
  std::vector<std::pair<int32_t, int64_t>> IntactPages;
  int32_t DamagedRecords = 0;
  // The header checksums named by seals that fail their own check (a repair's clue that the journal
  // belongs to the container).
  std::vector<uint32_t> BrokenSealHeaderCrcs;

  // One line for the user: what the journal holds and what opening the container does with it.
  std::string Describe(const std::string& journalFile) const;
};

class TRollbackJournal {
public:
  static constexpr int32_t HeaderSize = 64;
  static constexpr int32_t SealSize = 24;

  // containerFile + "-journal".
  static std::string FileName(const std::string& containerFile);

  // The journal of an open container (not owned: storage). Nothing is opened until the first Seal.
  TRollbackJournal(TSFSPartStorage& storage, const std::string& containerFile, int32_t pageSize);
  ~TRollbackJournal();  // closes the file (RemoveIfEmpty removes it)
  TRollbackJournal(const TRollbackJournal&) = delete;
  TRollbackJournal& operator=(const TRollbackJournal&) = delete;

  // A new transaction: a fresh nonce; the buffer is emptied.
  void Begin(int64_t originalSize, uint32_t startHeaderCrc);
  // Buffers the old image (PageSize() bytes) of a page.
  void Add(int32_t pageNo, const uint8_t* image);
  size_t Pending() const { return pending_; }
  // Writes the buffered records and a seal (the header first when the journal is empty), syncs the
  // journal, and the folder once after the file was created. Throws ESFSError when a write or sync
  // fails (the journal may then hold an unfinished segment, which recovery ignores).
  void Seal(uint32_t headerAfterCrc);
  // True once a segment of this transaction is sealed (container pages may have been written).
  bool Sealed() const { return sealed_; }
  // Empties the journal file and syncs it. Throws ESFSError when that fails; the journal then still
  // holds the transaction (when the file was emptied but the sync failed, its bytes are written back),
  // so that it can be rolled back, unless even that failed.
  void Clear();
  // Drops the buffer and the transaction's state (after Clear, or when nothing was sealed), and
  // closes the file.
  void End();
  // Between transactions: removes the journal file when it is empty. Throws ESFSError when it cannot
  // be read; false when it holds something or could not be removed. REQUIRES: the container's
  // exclusive lock.
  bool RemoveIfEmpty();
  int32_t PageSize() const { return pageSize_; }
  const std::string& Path() const { return path_; }

  // Reads a journal file. Never changes anything; a missing file is Absent.
  static TJournalContents Read(TSFSPartStorage& storage, const std::string& journalFile);
  // Read, then the unsealed part checked against the container (see Recovery at the top): an
  // unfinished journal, or the records after a hot journal's last seal, that the container shows
  // were followed by written pages make the journal Damaged. Never changes anything.
  static TJournalContents Examine(TSFSPartStorage& storage, const std::string& journalFile,
                                  const std::string& containerFile);
  // Puts the images of the sealed segments back into the container (open read/write), cuts it to its
  // original size and syncs it. Throws ESFSJournalError when the journal belongs to another file,
  // ESFSError when a write fails.
  static void Apply(TSFSPartStorage& storage, const std::string& journalFile,
                    const TJournalContents& contents, TSFSHugeFile& container);
  // What a journal file is, in a few bytes (its size, header and last bytes): a journal with the
  // same stamp holds what it held when it was examined. "" when there is none.
  static std::string Stamp(TSFSPartStorage& storage, const std::string& journalFile);
  // Removes a journal that has done its work (or undid nothing), or empties it when it cannot be
  // removed, and syncs the folder. Throws ESFSJournalError when neither works for a journal that held
  // something to undo (`mattered`).
  static void Retire(TSFSPartStorage& storage, const std::string& journalFile, bool mattered);
  // The messages of a journal that cannot be used, and of a hot one that cannot be rolled back.
  static std::string DamagedMessage(const std::string& containerFile, const std::string& journalFile,
                                    const std::string& problem);
  static std::string WriteAccessMessage(const std::string& containerFile, const std::string& journalFile,
                                        const std::string& why);

  // What Salvage put back.
  struct TSalvage {
    int32_t PagesRestored = 0;   // pages put back from records that check
    int32_t DamagedRecords = 0;  // records that fail their checksum: their pages were not
    bool SizeRestored = false;   // the container was cut back to its size before the change
    std::string Kept;            // where the journal was kept (SalvagedName)
  };
  // The name a salvaged journal is kept under: journalFile + ".salvaged".
  static std::string SalvagedName(const std::string& journalFile);
  // For a repair of a container whose journal is damaged: puts back the image of every record that
  // still passes its checksum, sealed or not (an unwritten page holds that image anyway), cuts the
  // container to its size before the change when the journal's header is intact, syncs it, and keeps
  // the journal as SalvagedName (replacing an older one) so that the container opens without it.
  // Pages whose records are damaged keep whatever they hold: the repair's rebuild then drops what
  // cannot be read. REQUIRES: the container is not open elsewhere (the caller holds it alone).
  // Throws ESFSJournalError when the journal has no intact header, or names another file (the
  // container's header is valid and none the journal knows), ESFSError when a write fails.
  static TSalvage Salvage(TSFSPartStorage& storage, const std::string& containerFile);

private:
  void OpenFile();
  // Appends bytes at the journal's end (and keeps them while the transaction is small).
  void WriteOut(const std::vector<uint8_t>& bytes);

  TSFSPartStorage& storage_;
  std::string container_;
  std::string path_;
  int32_t pageSize_;
  std::unique_ptr<TSFSAbstractFile> file_;
  bool folderSynced_ = false;  // by this object, since the file was last found missing
  uint32_t nonce_ = 0;
  int64_t originalSize_ = 0;
  uint32_t startHeaderCrc_ = 0;
  int64_t end_ = 0;  // bytes of the journal written in this transaction
  std::vector<uint8_t> buffer_;
  // What this transaction wrote to the journal, while it is not too large: a sync that fails after
  // the journal was emptied (the change is then made but not known to be on the disk) puts it back.
  std::vector<uint8_t> written_;
  bool writtenKept_ = true;
  size_t pending_ = 0;
  uint32_t segmentCrc_ = 0;
  bool sealed_ = false;
};

}  // namespace quillmar
