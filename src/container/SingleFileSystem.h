#pragma once
// TSingleFileSystem: an open container and the one API through which the rest of the program uses it.
// It owns the page file, free-space, directory and file-map managers, keeps the table of open file
// handles, and offers file and folder operations by path, wildcard searches, copy, export, rebuild
// (repair) and change of password.
//
// Contract:
//  - Paths use "\" or "/" separators; a leading separator starts at the root, otherwise at the current
//    folder.
//  - Handle numbers are 0, 1, 2, ... in order of opening and are not reused while the container is open.
//  - Light failures return false / a negative number and set LastError() (codes below and the page codes
//    -7 .. -13 of TPageFileManager); structural and I/O errors throw ESFSError.
//  - Every operation that changes the container is one transaction of the rollback journal
//    (RollbackJournal.h): when it returns, its change is on the disk; when it throws, or the program
//    stops in the middle, the container is exactly as before (the next open rolls an interrupted
//    change back). Callers group several operations into one all-or-nothing change with
//    TSFSTransaction; operations inside it join it, reads inside it see its changes, and it becomes
//    durable when the outermost one commits. Nothing in a rolled-back transaction stays: handles
//    opened in it are dropped, and the directory, maps and current folder are as before it.
//  - Opening a file for reading changes nothing on the disk by itself: its access time is written
//    with the next change, and not at all when the container is closed before one. A container
//    opened and closed without a change keeps its bytes.
//  - Containers opened read-only are never written, not even their access times.
//  - Destruction closes the handles and the part files.
//  - Several programs may share a container (modes without fmExclusive; PageFileManager.h says how):
//    every operation that reads holds the shared lock for its length (TSFSReadLock groups several
//    into one consistent read), every change the exclusive lock (a transaction). Whenever a lock is
//    taken and another program changed the container since this object last looked, the directory,
//    free-space maps, file maps and page header are read again before anything else happens: a
//    change is never made on stale structures. Open handles follow their file by path (a handle
//    whose file was removed or replaced meanwhile is dropped); the current folder stays where it was,
//    or goes back to the root. What changed is kept for TakeExternalChanges.
//  - Single-threaded for its callers: one thread uses a container at a time. Inside, bulk work runs on
//    helper threads of its own (WorkerThreadCount(), base/WorkerThreads.h): a handle opened for
//    reading that is read through in order has its next pages decoded ahead (the helper goes with the
//    handle), and a rebuild copies large files through a pipeline (its threads end with the file).
//    Only the calling thread does the container's I/O, except that a rebuild's reading thread reads
//    the old file while the calling thread writes the new one. QM_THREADS=1 keeps everything on the
//    calling thread.
#include <cryptopp/secblock.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <type_traits>
#include <vector>

#include "base/Stream.h"
#include "container/ContainerKey.h"
#include "container/ContainerSecrets.h"
#include "container/DIRManager.h"
#include "container/KeyRecord.h"
#include "container/SFSConstants.h"
#include "container/TextKey.h"

namespace quillmar {

class TPageFileManager;
class TSFSTransaction;
class TSFSReadLock;
class TFreeSpaceManager;
class TUserFilePageMapManager;
class TSFSPartStorage;
class TPageReadAhead;

// What a rebuild changed beyond copying: a folder or a file it dropped, a range of a file's bytes that
// could not be read and were written as zeros, or pages whose encryption mark was set back to the one
// their file needs (the mark is not covered by the page's checksum; with the wrong one the page would
// be read through the wrong cipher).
struct TRebuildNote {
  enum class TKind { FolderDropped, FileDropped, BytesZeroed, PageMarksRestored };
  TKind Kind = TKind::FileDropped;
  std::string Path;    // the container path
  int64_t Offset = 0;  // BytesZeroed: the first byte and the number of bytes; PageMarksRestored: the
  int64_t Length = 0;  // number of pages in Length
};

// A read that began on a container which another program then changed, and a change of it that this
// program wanted to make based on that read: nothing was changed; read again and try again.
class ESFSChanged : public ESFSError {
public:
  explicit ESFSChanged(const std::string& message) : ESFSError(message) {}
};

// What other programs changed in a container since it was last asked (TakeExternalChanges).
struct TSFSExternalChanges {
  // How many times a change of another program was taken in (0: none).
  uint64_t Count = 0;
  // The full paths ("\a\b") of the items added, removed or changed in any way (size, times, map,
  // key record, attributes), folders included; sorted. It may be incomplete (a file rewritten in place
  // within the same two seconds with the same size and pages; a change taken in while this program's
  // own change was rolled back): Count still says that something changed, and with no path at all
  // anything may have.
  std::vector<std::string> Paths;
};

// Last error codes and open modes (fmCreate: FileOpen creates, replacing a file of that name):
// TSFSConstants.
class TSingleFileSystem : public TSFSConstants {
public:
  // Events. Each is optional.
  // Progress of rebuilds and exports, percent 0..100; setting cancel stops the operation.
  std::function<void(bool& cancel, double percent)> OnProgress;
  // Progress of one file transfer (copy, save to disk).
  std::function<void(const std::string& fileName, double percent)> OnFileProgress;
  // Export: may the disk file be replaced by the container file?
  std::function<void(const std::string& diskFile, const std::string& containerFile, bool& allow)> OnOverwrite;
  // The container could not grow.
  std::function<void()> OnNoSpace;
  // A file with its own password was opened with a wrong one: ask again (cancel gives up).
  std::function<void(const std::string& containerFile, std::string& password, bool& cancel)> OnPasswordQuery;

  // Used when OnPasswordQuery is not set: a modal text input with the caption
  // "Password for \"<path>\"" and the prompt "Enter password: ". The layer above installs it; returns
  // false on cancel. Without one a wrong file password simply fails.
  using TPasswordDialog =
      std::function<bool(const std::string& caption, const std::string& prompt, std::string& value)>;
  static void SetDefaultPasswordDialog(TPasswordDialog dialog);

  // Opens (or with mode 0xFFFF creates) a container under a text key (the password, or for a hardened
  // container the derived D; see TTextKey). An existing container whose key derivation cannot be
  // followed is refused with the derivation's message; one whose key record the key does not open is
  // refused with "TSingleFileSystem.Create - invalid password specified, file name = \"<file>\"",
  // both before any page is read. Other failures raise the page file manager's messages. inMemory
  // containers are not supported.
  TSingleFileSystem(const std::string& fileName, int64_t partSize, int32_t extentSize, int32_t pageSize,
                    uint8_t defaultCompression, const TContainerSecrets& secrets, bool inMemory,
                    uint32_t mode, TSFSPartStorage* storage = nullptr);
  // The same with the secrets given one by one.
  TSingleFileSystem(const std::string& fileName, int64_t partSize, int32_t extentSize, int32_t pageSize,
                    uint8_t defaultCompression, std::string_view answer, std::string_view question,
                    const TTextKey& key, bool inMemory, uint32_t mode, TSFSPartStorage* storage = nullptr)
      : TSingleFileSystem(fileName, partSize, extentSize, pageSize, defaultCompression,
                          TContainerSecrets{key, std::string(question), std::string(answer)}, inMemory, mode,
                          storage) {}
  // The same with a password as the text key (a compatible container).
  TSingleFileSystem(const std::string& fileName, int64_t partSize, int32_t extentSize, int32_t pageSize,
                    uint8_t defaultCompression, std::string_view answer, std::string_view question,
                    std::string_view password, bool inMemory, uint32_t mode,
                    TSFSPartStorage* storage = nullptr)
      : TSingleFileSystem(fileName, partSize, extentSize, pageSize, defaultCompression, answer, question,
                          TTextKey::FromPassword(password), inMemory, mode, storage) {}
  ~TSingleFileSystem();
  TSingleFileSystem(const TSingleFileSystem&) = delete;
  TSingleFileSystem& operator=(const TSingleFileSystem&) = delete;

  // --- Tests before opening ------------------------------------------------------------------------
  static bool IsContainerFile(const std::string& fileName);
  static bool IsContainerEncrypted(const std::string& fileName);
  // The rollback journal kept beside a container while it is changed ("<file>-journal").
  static std::string JournalFileName(const std::string& fileName);
  // What the container's journal file holds and what opening the container does with it, in one line;
  // "" when there is none. Reads only.
  static std::string DescribeJournal(const std::string& fileName);
  // True when the container has a journal that opening refuses as damaged (see RollbackJournal.h):
  // only SalvageJournal (a repair) gets past it. Reads only.
  static bool HasDamagedJournal(const std::string& fileName, TSFSPartStorage* storage = nullptr);
  // For a repair of a container whose journal is damaged: checks the key against the container's
  // header (or, when that is torn, against the header the journal kept), then puts back what the
  // journal still holds and keeps the journal aside (TRollbackJournal::Salvage). False (nothing
  // changed) when the key does not open the container; otherwise what it did goes to `done`, one line
  // each (nothing when there is no journal). Throws ESFSInUse when another program has the container
  // open, ESFSJournalError when the journal cannot be used at all (nothing changed), ESFSError when
  // a write fails.
  static bool SalvageJournal(const std::string& fileName, const TTextKey& key, std::vector<std::string>& done,
                             TSFSPartStorage* storage = nullptr);
  static bool CheckContainerPassword(const std::string& fileName, std::string_view password) {
    return CheckContainerPassword(fileName, TTextKey::FromPassword(password));
  }
  // True when the container is not encrypted or the key opens it (its derivation is the header's and
  // the key record accepts it). Cheap: no derivation is run.
  static bool CheckContainerPassword(const std::string& fileName, const TTextKey& key);
  // The key derivation in the container's header (algorithm none for a compatible container). Throws
  // ESFSError when the file is no container, its header is damaged, or the derivation cannot be
  // followed (the message names the problem; nothing is reserved for it).
  static TKeyDerivation ReadKeyDerivation(const std::string& fileName);
  // True when the container fileName is kept in more than one part file (its part chain, read from the
  // files themselves, has a second part). False for a container in one file, and for a file that is no
  // container or whose part chain is broken. Reads only; takes no lock.
  static bool IsMultiPart(const std::string& fileName, TSFSPartStorage* storage = nullptr);

  // --- Handles ---------------------------------------------------------------------------------------
  // Opens a file; mode 0xFFFF creates it (deleting an existing one: -16 when that is not possible).
  // Returns the handle, -1 when the file does not exist or its password was not given, -17 when there
  // was no space to create it.
  int32_t FileOpen(std::string_view path, uint32_t mode, std::string_view answer = {},
                   std::string_view question = {}, std::string_view password = {});
  void FileClose(int32_t handle);
  int64_t FileRead(int32_t handle, void* buffer, int64_t count);
  int64_t FileWrite(int32_t handle, const void* buffer, int64_t count);
  // Moves the handle's position to offset from the origin and returns it. No bounds check.
  // ErrUnknownHandle for an unknown handle.
  int64_t FileSeek(int32_t handle, TSeekOrigin origin, int64_t offset);
  // The new size, or a negative error (ErrUnknownHandle, ErrNoSpace, read-only -10).
  int64_t FileSetSize(int32_t handle, int64_t size);
  // Size of the open file, ErrUnknownHandle for an unknown handle.
  int64_t FileSize(int32_t handle) const;
  // The container path of an open handle ("" for an unknown one).
  std::string HandlePath(int32_t handle) const;

  // --- Items by path -------------------------------------------------------------------------------
  bool FileExists(std::string_view path);
  // False when the item does not exist, has open handles, or is a folder that still holds items.
  bool DeleteFile(std::string_view path);
  bool RenameFile(std::string_view oldPath, std::string_view newPath);
  uint32_t FileGetAttr(std::string_view path);                      // 0 when not found
  int32_t FileSetAttr(std::string_view path, uint32_t attributes);  // -1 when not found, else 0
  // Local DOS date and time of the last write, -1 when not found.
  int64_t FileAge(std::string_view path);
  // The three times of an item (file times, as TDIRItem keeps them); false when it does not exist.
  struct TItemTimes {
    int64_t Creation = 0;
    int64_t LastWrite = 0;
    int64_t LastAccess = 0;
  };
  bool GetItemTimes(std::string_view path, TItemTimes& times);
  // Gives the item those times (a change that is not the user's, such as re-encrypting a file in
  // place, keeps what the user sees). False when it does not exist or the container is read-only.
  bool SetItemTimes(std::string_view path, const TItemTimes& times);
  bool GetKeyRecord(std::string_view path, TKeyRecord& record);
  bool SetKeyRecord(std::string_view path, const TKeyRecord& record);

  // --- Folders and searches ------------------------------------------------------------------------
  int FindFirst(std::string_view maskPath, uint32_t attributes, TSearchRec& rec);
  int FindNext(TSearchRec& rec);
  void FindClose(TSearchRec& rec);
  std::string GetCurrentDir() const;
  bool ChangeDir(std::string_view path);
  bool RemoveDir(std::string_view path);
  bool ForceDirectories(std::string_view path);
  bool DirectoryExists(std::string_view path);
  // True when the folder does not exist or holds no item.
  bool IsDirEmpty(std::string_view path);
  // Deletes the folder with everything in it; the number of files deleted (0 when it does not exist).
  int32_t DeleteDirectory(std::string_view path);
  // Deletes the files matching the mask (folder + name mask) that pass the attribute filter;
  // recursive also empties and removes sub-folders. The number of files deleted.
  int32_t DeleteFiles(std::string_view maskPath, uint32_t attributes, bool recursive);

  // --- Copy and export -----------------------------------------------------------------------------
  // Copies a file within the container (replacing the destination), in chunks of 102400 bytes with
  // file-progress events. The destination keeps the source's key record and attributes; `password`
  // opens both. True when every byte was copied.
  bool CopyFile(std::string_view source, std::string_view destination, std::string_view password = {});
  // Overwrite modes of ExportFiles.
  static constexpr int owOverwrite = 0, owSkip = 1, owAsk = 2;
  // Writes the matching files (and with recursive the sub-folders) into diskFolder, giving each disk
  // file the item's attributes and date. Names that are not safe file names on this platform are
  // refused (ESFSError naming them) and never written. Progress events; cancel stops. False when the
  // container folder or the disk folder is missing or the export was cancelled.
  bool ExportFiles(std::string_view maskPath, const std::string& diskFolder, int overwriteMode,
                   bool recursive, uint32_t attributes);

  // --- Rebuild and change of password -------------------------------------------------------------------
  // Rebuilds the container into "<file>_new" and swaps it in, keeping the master key; deleted items are
  // dropped. The log gets a line per problem, and notes (when given) one entry per folder or file
  // dropped, per range of bytes that could not be read and were zeroed (strict drops such a file
  // instead) and per file whose page marks were restored. False on failure or cancel (the container
  // is then as it was, with no "_new" file left, and notes is empty).
  bool RepairFile(std::string& log, bool strict, std::vector<TRebuildNote>* notes = nullptr);
  // A new key rebuilds the container with a new master key, writing the new key's derivation into the
  // header (so a password makes the container compatible, a derived key hardened); the current key
  // only remakes the key record's recovery fields. A derived key takes no recovery question (throws
  // ESFSError). False for a read-only container or on failure (LastError).
  bool ChangePassword(const TTextKey& newKey, std::string_view question, std::string_view answer);
  bool ChangePassword(std::string_view newPassword, std::string_view question, std::string_view answer) {
    return ChangePassword(TTextKey::FromPassword(newPassword), question, answer);
  }

  // --- Transactions ------------------------------------------------------------------------------------
  // Begin, commit and roll back nest: only the outermost commit makes the change durable, and a
  // rollback of an inner one (an exception through it) makes the outermost one roll back too.
  // CommitTransaction throws ESFSError when the change cannot be made durable, after rolling it back.
  // For read-only containers and containers without a journal they only count. The outermost
  // BeginTransaction takes the exclusive lock (throws ESFSBusy after the busy timeout) and takes in
  // what another program changed; inside a read (BeginRead) it throws ESFSChanged when another
  // program changed the container since the read began (nothing is changed then).
  void BeginTransaction();
  void CommitTransaction();
  void RollbackTransaction();
  int TransactionDepth() const { return txnDepth_; }
  // A consistent read of several operations (TSFSReadLock does it): the shared lock is held from the
  // outermost BeginRead to its EndRead; inside a transaction they only count. BeginRead throws as
  // TPageFileManager::Acquire.
  void BeginRead();
  void EndRead();
  // Looks now whether another program changed the container, and takes it in (see the contract).
  // True when it did.
  bool Refresh();
  // What other programs changed since the last call (or since the container was opened).
  TSFSExternalChanges TakeExternalChanges();
  // How long a lock is waited for while another program reads or writes a container, for every
  // container of this program (TPageFileManager::SetBusyTimeout; 5 seconds unless set).
  static void SetBusyTimeout(std::chrono::milliseconds timeout);
  static std::chrono::milliseconds BusyTimeout();
  // How many changes of other programs this object has taken in so far.
  uint64_t ExternalChangeCount() const { return externalCount_; }
  // Takes the container for this program alone until it is closed (no other program has it open);
  // false when another program has it open. The rebuild does it itself. ReleaseAlone lets others
  // join again.
  bool HoldAlone();
  void ReleaseAlone();
  // Turns the journal off for a scratch copy that is replaced as a whole (no crash safety of its own;
  // changes are written at once). REQUIRES: no open transaction.
  void DisableJournal();
  // The leftovers of an interrupted rebuild of fileName ("<file>_new", and "<file>0", the old file
  // during the swap), dealt with before the container is opened: when the container exists, they are
  // removed; when it is missing and the old file is whole, that is put back under the container's
  // name. Leftovers some program is working on (locked) are left alone. Returns one notice per file
  // acted on, or naming the files that hold the data when nothing could be put back.
  static std::vector<std::string> RecoverInterruptedRebuild(const std::string& fileName,
                                                            TSFSPartStorage* storage = nullptr);

  // --- Container ---------------------------------------------------------------------------------------
  int32_t LastError() const { return lastError_; }
  bool IsEncrypted() const;
  // The key derivation of this container (algorithm none for a compatible one).
  TKeyDerivation KeyDerivation() const;
  bool ReadOnly() const;
  uint8_t DefaultCompression() const;
  void SetDefaultCompression(uint8_t method);
  int64_t ContainerSize() const;
  const std::string& FileName() const { return fileName_; }

  // Structural problems of the container (empty when sound): directory chain, free-space maps and every
  // file's map and data pages, each page referenced once and marked used.
  std::vector<std::string> CheckIntegrity();

  // Managers, for the engine's own tests and tools.
  TPageFileManager& PageFile() { return *pfm_; }
  TDIRManager& Directory() { return *dir_; }
  TFreeSpaceManager& FreeSpace() { return *fsm_; }
  TUserFilePageMapManager& Maps() { return *maps_; }

private:
  struct THandle {
    int32_t item = -1;
    int64_t position = 0;
    uint32_t mode = 0;
    TContainerKey key;  // empty when the file has no password of its own
    // Sequential reading: where the last read ended and the change count then; while reads follow
    // one another with no change between them, the pages after them are decoded ahead.
    int64_t readEnd = -1;
    uint64_t readStamp = 0;
    std::shared_ptr<TPageReadAhead> ahead;
  };

  // An empty object for the rebuild target; MakeRebuildTarget fills it.
  TSingleFileSystem(const std::string& fileName, TSFSPartStorage* storage);
  // newKey: the target gets a new key record made from secrets; otherwise this container's record.
  std::unique_ptr<TSingleFileSystem> MakeRebuildTarget(const std::string& name, bool newKey,
                                                       const TContainerSecrets& secrets);
  bool Rebuild(std::string& log, bool strict, bool changePassword, const TContainerSecrets& newSecrets);
  // Copies item k's data pages into the target's new item; false (after a log line) when a strict
  // rebuild drops the file. onPages is called with the number of pages copied after every run of
  // pages; when it returns false (cancel) the copy stops where it is (the caller discards the target).
  bool CopyFilePages(TSingleFileSystem& target, const TDIRItem& src, int32_t newItem, bool reencrypt,
                     bool strict, const std::string& path, std::string& log,
                     const std::function<bool(int64_t pages)>& onPages);
  void Reopen(const TTextKey& key);
  TSFSPartStorage& Storage() const;
  void OpenManagers();
  void CloseManagers();
  // After a rollback: the managers again from the disk, the handles that existed before the
  // transaction kept (others dropped), the current folder as it was.
  void ReloadManagers();
  // After another program's change (a lock found it): the managers again from the disk, the handles
  // and the current folder followed by path, what changed noted for TakeExternalChanges.
  void TakeInExternalChange();
  void RollBackOutermost();
  // Writes the free-space maps again after a failed write (containers without a journal only: with
  // one, the failed change is rolled back).
  void ResyncMaps();
  // Runs f as one transaction (joining an open one).
  template <class F>
  auto Change(F&& f) -> decltype(f());
  THandle* FindHandle(int32_t handle);
  const THandle* FindHandle(int32_t handle) const;
  bool QueryPassword(int32_t item, std::string_view path, std::string& password);
  void NoSpace();
  // Gives back the file's pages past the first `pages` (best effort: a failing device keeps them).
  void KeepPages(TDIRItem& item, int64_t pages);
  // The steps of FileWrite, inside its transaction. WriteAtHandle writes at the handle's position and
  // returns the bytes that belong to the file afterwards (LastError set on a short write).
  int64_t WriteAtHandle(int32_t handle, const void* buffer, int64_t count);
  // The steps of FileRead: n bytes from position into out, from the pages decoded ahead as far as
  // they reach (ReadAhead) and read at once (ReadNow); each returns the bytes done and sets failed
  // (with LastError) at the first page that cannot be read. FillAhead queues the pages after
  // `position` for decoding ahead.
  int64_t ReadAhead(THandle& h, int64_t position, int64_t n, uint8_t* out, bool& failed);
  int64_t ReadNow(const THandle& h, TDIRItem& item, int64_t position, int64_t n, uint8_t* out, bool& failed);
  void FillAhead(THandle& h, const TDIRItem& item, int64_t position);
  // Gives the file the pages for count bytes from position (allocating in its map); false with
  // LastError (and the no-space event) when that fails, nothing allocated.
  bool AllocateWritePages(TDIRItem& item, int64_t position, int64_t count, std::vector<int32_t>& pages);
  // Saves the item's new size and time after done bytes were written at position (failed: the pages
  // past the new size are given back); the bytes that belong to the file when the item cannot be saved.
  int64_t SaveWrittenItem(const THandle& h, TDIRItem& item, int64_t position, int64_t done, bool failed,
                          int32_t oldFirstMap);
  // Commits the write's transaction: written, or 0 with the handle back at position when the change
  // could not be made durable (it was undone).
  int64_t CommitWrite(TSFSTransaction& change, int32_t handle, int64_t position, int64_t written);
  bool ExportOne(const std::string& containerPath, const std::filesystem::path& target, int overwriteMode,
                 const std::string& password);

  std::string fileName_;
  TSFSPartStorage* storage_;
  TTextKey key_;  // empty when the container is not encrypted
  std::unique_ptr<TPageFileManager> pfm_;
  std::unique_ptr<TFreeSpaceManager> fsm_;
  std::unique_ptr<TDIRManager> dir_;
  std::unique_ptr<TUserFilePageMapManager> maps_;
  std::map<int32_t, THandle> handles_;
  std::vector<TRebuildNote>* rebuildNotes_ = nullptr;  // set by RepairFile for its rebuild
  uint32_t mode_ = 0;
  int32_t nextHandle_ = 0;
  int32_t lastError_ = 0;
  int txnDepth_ = 0;
  // Counts every transaction begun and every rollback: pages read ahead under an older count are
  // never served.
  uint64_t changeCount_ = 0;
  bool txnDoomed_ = false;
  bool journalOff_ = false;
  int32_t txnFirstHandle_ = 0;
  std::string txnCurrentDir_;
  // Changes of other programs taken in, and the paths they touched since TakeExternalChanges.
  uint64_t externalCount_ = 0;
  uint64_t externalTaken_ = 0;
  std::vector<std::string> externalPaths_;
  bool reloadPending_ = false;  // taking in a change failed half-way: done again at the next lock
  // Closes the files of the container a rebuild replaced: their names are gone when the rebuild
  // returns, and closing them gives their space back (see Rebuild). Joined by WaitForOldFiles.
  std::thread oldFilesCloser_;
  void WaitForOldFiles();
  // Removes the container `oldName` that a rebuild replaced (see Rebuild).
  void RetireOldFiles(const std::string& oldName);
};

// One consistent read of a container: the shared lock from construction to destruction (see
// TSingleFileSystem::BeginRead).
class TSFSReadLock {
public:
  explicit TSFSReadLock(TSingleFileSystem& sfs) : sfs_(sfs) { sfs_.BeginRead(); }
  ~TSFSReadLock() { sfs_.EndRead(); }
  TSFSReadLock(const TSFSReadLock&) = delete;
  TSFSReadLock& operator=(const TSFSReadLock&) = delete;

private:
  TSingleFileSystem& sfs_;
};

// One all-or-nothing change of a container: rolled back when destroyed without Commit (an exception).
//
//   TSFSTransaction change(sfs);
//   ... operations ...
//   change.Commit();  // durable when it returns (for the outermost one)
class TSFSTransaction {
public:
  explicit TSFSTransaction(TSingleFileSystem& sfs) : sfs_(sfs) { sfs_.BeginTransaction(); }
  ~TSFSTransaction() {
    if (!done_) {
      try {
        sfs_.RollbackTransaction();
      } catch (...) {
      }
    }
  }
  TSFSTransaction(const TSFSTransaction&) = delete;
  TSFSTransaction& operator=(const TSFSTransaction&) = delete;
  void Commit() {
    done_ = true;
    sfs_.CommitTransaction();
  }

private:
  TSingleFileSystem& sfs_;
  bool done_ = false;
};

template <class F>
auto TSingleFileSystem::Change(F&& f) -> decltype(f()) {
  TSFSTransaction change(*this);
  if constexpr (std::is_void_v<decltype(f())>) {
    f();
    change.Commit();
  } else {
    auto result = f();
    change.Commit();
    return result;
  }
}

}  // namespace quillmar
