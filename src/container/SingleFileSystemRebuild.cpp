// The rebuild of a container into a new file ("repair") and the change of password, which is a
// rebuild under a new master key.
//
// Safety rules of the rebuild:
//  - The original container is only read until the swap: no page, header or directory item of it is
//    written, so any failure or cancel before the swap leaves it byte for byte as it was. The new file
//    is a scratch file without a journal: until the swap it is nobody's Safe.
//  - The new file is flushed to disk (fsync of every part) before it is renamed into place, and the
//    folder is synced after the renames, so a crash leaves either the old or the new container under
//    the container's name (the other under "_new" or the numbered name), or, between the two renames,
//    only "<file>0" (the old container, whole) and "<file>_new" (the new one, whole).
//    RecoverInterruptedRebuild puts "<file>0" back in that case and removes what is left over when the
//    container exists.
//  - From the swap's start to its end the new file is held locked, so that a recovery in another
//    program never acts on a swap in progress.
//  - Any failure before the swap removes the "_new" file.
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <thread>

#include "base/OrderedPipeline.h"
#include "base/SecureWipe.h"
#include "base/WorkerThreads.h"
#include "container/Checksum.h"
#include "container/FreeSpaceManager.h"
#include "container/PageFileManager.h"
#include "container/SFSAbstractFile.h"
#include "container/SFSError.h"
#include "container/SFSHugeFile.h"
#include "container/SingleFileSystem.h"
#include "container/UserFilePageMapManager.h"

namespace quillmar {

namespace {

std::string Quoted(const std::string& path) {
  return "\"" + path + "\"";
}

std::string ParentPath(const std::string& fullPath) {
  size_t cut = fullPath.find_last_of('\\');
  if (cut == std::string::npos || cut == 0) return "\\";
  return fullPath.substr(0, cut);
}

constexpr char kLineBreak[] = "\n";

// A file's pages are copied in runs of at most this many pages (consecutive in the old and in the new
// file: one read and one write each); files of at least kThreadedCopyPages pages on several threads.
constexpr int64_t kCopyRunPages = 256;
constexpr int64_t kThreadedCopyPages = 4 * kCopyRunPages;
// The runs in flight hold at most about this many bytes, however many threads there are.
constexpr size_t kCopyBytesInFlight = size_t(32) << 20;

// Runs in flight for `threads`: two per worker and two more keep every thread busy, as far as
// kCopyBytesInFlight allows (at least two: one read while one is written).
size_t CopyRunSlots(int threads, int32_t pageSize) {
  if (threads == 1) return 1;
  const size_t byBytes = kCopyBytesInFlight / (size_t(kCopyRunPages) * size_t(pageSize));
  return std::max<size_t>(2, std::min(size_t(threads) * 2 + 2, byBytes));
}

// One run of a file's pages on its way from the old container to the new one.
struct TCopyRun {
  int64_t first = 0;  // the file's page index of the run's first page
  int64_t len = 0;
  int32_t got = 0;              // pages read in full
  std::vector<uint8_t> images;  // stored page images, decoded and encoded in place
  std::vector<uint8_t> good;    // per page: read and decoded
  int64_t marksRestored = 0;
};

// The runs in flight, wiped when the copy ends however it ends (they hold decrypted pages). A run
// holds at most runPages pages: a small file's buffers are no larger than the file, so that copying
// many small files does not clear and wipe a full run's buffer for each.
struct TCopyRuns {
  TCopyRuns(size_t count, size_t pageSize, size_t runPages) : runs(count) {
    for (TCopyRun& run : runs) {
      run.images.resize(runPages * pageSize);
      run.good.resize(runPages);
    }
  }
  ~TCopyRuns() {
    for (TCopyRun& run : runs) SecureWipe(run.images.data(), run.images.size());
  }
  std::vector<TCopyRun> runs;
};

// Attributes and the three times go with an item into the rebuilt container.
void CopyItemDetails(const TDIRItem& from, TDIRItem& to) {
  to.Attributes = from.Attributes;
  to.CreationTime = from.CreationTime;
  to.LastWriteTime = from.LastWriteTime;
  to.LastAccessTime = from.LastAccessTime;
}

}  // namespace

TSingleFileSystem::TSingleFileSystem(const std::string& fileName, TSFSPartStorage* storage)
    : fileName_(fileName), storage_(storage), mode_(fmReadWriteExclusive) {}

TSFSPartStorage& TSingleFileSystem::Storage() const {
  return storage_ ? *storage_ : DiskPartStorage();
}

std::unique_ptr<TSingleFileSystem> TSingleFileSystem::MakeRebuildTarget(const std::string& name, bool newKey,
                                                                        const TContainerSecrets& secrets) {
  std::unique_ptr<TSingleFileSystem> target(new TSingleFileSystem(name, storage_));
  const int32_t extent = pfm_->ExtentPageCount();
  const int32_t pageSize = pfm_->PageSize();
  if (newKey) {
    // A new key record, and the new key's derivation in the header.
    target->pfm_ =
        std::make_unique<TPageFileManager>(name, -1, extent, pageSize, false, secrets, fmCreate, storage_);
    if (target->pfm_->IsEncrypted()) target->key_ = secrets.Key;
  } else {
    // The same key record, master key and key derivation: stored pages can be copied as they are, and
    // the old text key opens the result.
    target->pfm_ = std::make_unique<TPageFileManager>(name, -1, extent, pageSize, false, "", "", TTextKey(),
                                                      fmCreate, storage_);
    if (pfm_->IsEncrypted()) {
      target->pfm_->SetKeyRecord(pfm_->KeyRecord(), pfm_->ContainerKey());
      target->pfm_->SetKeyDerivation(pfm_->KeyDerivation());
      target->key_ = key_;
    }
  }
  target->pfm_->SetCompressionMethod(pfm_->CompressionMethod());
  target->pfm_->SaveHeader();
  target->OpenManagers();
  return target;
}

bool TSingleFileSystem::CopyFilePages(TSingleFileSystem& target, const TDIRItem& src, int32_t newItem,
                                      bool reencrypt, bool strict, const std::string& path, std::string& log,
                                      const std::function<bool(int64_t pages)>& onPages) {
  const int32_t D = pfm_->PageDataSize();
  const int64_t steps = (src.FileSize + D - 1) / D;
  if (steps == 0) return true;
  TDIRItem item = target.dir_->ReadItem(newItem);
  if (!target.maps_->SetFileSize(item, false, src.FileSize)) {
    NoSpace();
    throw ESFSError("Not enough space");
  }
  target.dir_->WriteItem(newItem, item);

  const std::vector<int32_t>* srcMaps = nullptr;
  const std::vector<int32_t>* srcData = nullptr;
  std::vector<int32_t> noPages;
  if (src.FirstMapPageNo != -1) {
    try {
      maps_->GetMaps(src, srcMaps, srcData);
    } catch (const ESFSError&) {
      srcData = &noPages;  // an unreadable map: every page counts as unreadable
    }
  } else {
    srcData = &noPages;
  }
  const std::vector<int32_t>* dstMaps = nullptr;
  const std::vector<int32_t>* dstData = nullptr;
  target.maps_->GetMaps(item, dstMaps, dstData);
  const std::vector<int32_t> sourcePages = *srcData;  // the source cache may be evicted while copying
  const std::vector<int32_t> targetPages = *dstData;

  // Pages of a file with its own password, and every page of a repair, are copied as stored; the
  // others are decrypted with the old container key and encrypted with the new one.
  const bool raw = !reencrypt || src.HasPassword;
  const uint8_t newEncryption = src.HasPassword ? etRijndael : target.pfm_->EncryptionType();
  // The encryption mark a page of this file carries in the source container.
  const uint8_t sourceEncryption = src.HasPassword ? etRijndael : pfm_->EncryptionType();
  const int32_t pageSize = pfm_->PageSize();
  // Large files go through a pipeline (base/OrderedPipeline.h): runs are read from the old file on one
  // thread, checked and re-encrypted on all of them, and written to the new file in order on this
  // one, so that reads, cipher work and writes overlap. Small files take the one-thread path.
  const int threads = steps >= kThreadedCopyPages ? WorkerThreadCount() : 1;
  const int64_t runPages = std::min(kCopyRunPages, steps);
  TCopyRuns runs(CopyRunSlots(threads, pageSize), size_t(pageSize), size_t(runPages));
  // Key objects of their own for every worker when there are several: cipher objects are not shared
  // between threads.
  std::vector<TContainerKey> oldKeys, newKeys;
  auto own = [threads](const TContainerKey& k) {
    return threads == 1 || k.Empty() ? k : TContainerKey::FromBytes(k.Bytes());
  };
  for (int w = 0; w < threads; ++w) {
    oldKeys.push_back(own(pfm_->ContainerKey()));
    newKeys.push_back(own(target.pfm_->ContainerKey()));
  }

  int64_t next = 0;  // the producer's next page
  auto produce = [&](size_t slot) {
    if (next >= steps) return false;
    TCopyRun& run = runs.runs[slot];
    const int64_t i = next;
    int64_t len = 1;
    const bool haveSource = size_t(i) < sourcePages.size();
    while (i + len < steps && len < runPages &&
           targetPages[size_t(i + len)] == targetPages[size_t(i + len - 1)] + 1 && haveSource &&
           size_t(i + len) < sourcePages.size() &&
           sourcePages[size_t(i + len)] == sourcePages[size_t(i + len - 1)] + 1)
      ++len;
    run.first = i;
    run.len = len;
    run.got = haveSource ? pfm_->ReadStoredPages(sourcePages[size_t(i)], int32_t(len), run.images.data()) : 0;
    next = i + len;
    return true;
  };
  auto decode = [&](size_t slot, int worker) {
    TCopyRun& run = runs.runs[slot];
    run.marksRestored = 0;
    std::vector<uint8_t*> rekey;
    for (int64_t p = 0; p < run.len; ++p) {
      uint8_t* image = run.images.data() + size_t(p) * size_t(pageSize);
      // A page whose mark differs from its file's would be read through the wrong cipher, or none;
      // the mark is outside the checksum, so it is set back before the page is decoded. Pages of
      // zeros stored plain (gaps, pages a repair zeroed) are sound as they are.
      uint8_t* const mark = image + 9;
      if (p < run.got && *mark != sourceEncryption &&
          !(*mark == etNone &&
            std::all_of(image + TPageHeader::Size, image + pageSize, [](uint8_t b) { return b == 0; }))) {
        *mark = sourceEncryption;
        ++run.marksRestored;
      }
      bool good = false;
      if (p < run.got) {
        if (raw) {
          // Stored as it was, checksum included.
          const TPageHeader header = TPageHeader::DecodeFrom(image);
          good = VerifyChecksum(header.ChecksumType, header.Checksum, image + TPageHeader::Size, size_t(D));
        } else {
          good = TPageFileManager::DecodeStoredImage(image, D, oldKeys[size_t(worker)]) == ErrNone;
          if (good) rekey.push_back(image);
        }
      }
      run.good[size_t(p)] = good;
    }
    if (!rekey.empty()) {
      TPageHeader header;
      header.PageType = ptFileData;
      header.EncryptionType = newEncryption;
      header.ChecksumType = 0;
      if (!TPageFileManager::EncodeStoredImages(rekey.data(), rekey.size(), D, header,
                                                newKeys[size_t(worker)]))
        throw ESFSError("TSingleFileSystem.ChangePassword - no key to encrypt with");
    }
  };
  int64_t marksRestored = 0;
  // How the copy stops early: a strict rebuild drops the file, or the progress handler cancels.
  enum class TStop { FileDropped, Cancelled };
  auto consume = [&](size_t slot) {
    TCopyRun& run = runs.runs[slot];
    for (int64_t p = 0; p < run.len; ++p) {
      if (run.good[size_t(p)]) continue;
      if (strict) {
        log += "File " + Quoted(path) + " deleted. " + kLineBreak;
        if (rebuildNotes_) rebuildNotes_->push_back({TRebuildNote::TKind::FileDropped, path, 0, 0});
        throw TStop::FileDropped;
      }
      // Salvage: an unreadable page becomes a page of zeros, stored plain so that it reads back.
      const int64_t offset = (run.first + p) * D;
      const int64_t length = std::min<int64_t>(D, src.FileSize - offset);
      if (rebuildNotes_) {
        // Consecutive pages make one range.
        auto& losses = *rebuildNotes_;
        if (!losses.empty() && losses.back().Kind == TRebuildNote::TKind::BytesZeroed &&
            losses.back().Path == path && losses.back().Offset + losses.back().Length == offset)
          losses.back().Length += length;
        else
          losses.push_back({TRebuildNote::TKind::BytesZeroed, path, offset, length});
      }
      uint8_t* image = run.images.data() + size_t(p) * size_t(pageSize);
      std::fill(image, image + pageSize, uint8_t(0));
      TPageHeader header;
      header.PageType = ptFileData;
      header.EncryptionType = etNone;
      TPageFileManager::EncodeStoredImages(&image, 1, D, header, TContainerKey());
    }
    marksRestored += run.marksRestored;
    if (!target.pfm_->WriteStoredPages(targetPages[size_t(run.first)], int32_t(run.len), run.images.data())) {
      NoSpace();
      throw ESFSError("Not enough space");
    }
    // The disk writes the new file while the copy goes on; the flush before the swap waits for the rest.
    target.pfm_->StartWriteback(targetPages[size_t(run.first)], int32_t(run.len));
    if (!onPages(run.len)) throw TStop::Cancelled;
  };
  try {
    TOrderedPipeline::Run(runs.runs.size(), threads, produce, {{true, decode}}, consume);
  } catch (TStop stop) {
    return stop == TStop::Cancelled;  // cancelled: the target is discarded
  }
  if (marksRestored > 0 && rebuildNotes_)
    rebuildNotes_->push_back({TRebuildNote::TKind::PageMarksRestored, path, 0, marksRestored});
  return true;
}

void TSingleFileSystem::Reopen(const TTextKey& key) {
  CloseManagers();
  pfm_ = std::make_unique<TPageFileManager>(fileName_, -1, 8, 2048, false, "", "", key, mode_, storage_);
  key_ = pfm_->IsEncrypted() ? key : TTextKey();
  OpenManagers();
  pfm_->SetJournaled(!journalOff_ && !pfm_->ReadOnly());
}

bool TSingleFileSystem::Rebuild(std::string& log, bool strict, bool changePassword,
                                const TContainerSecrets& newSecrets) {
  lastError_ = 0;
  if (pfm_->ReadOnly()) return false;
  if (txnDepth_ > 0)
    throw ESFSError("TSingleFileSystem.RepairFile - A change of the container is in progress.");
  // The rebuilt file replaces this one: no other program may have it open, or it would go on with
  // the old one.
  if (!pfm_->HoldAlone()) {
    log += std::filesystem::path(fileName_).filename().string() +
           " is open in another program; close it there and try again.";
    log += kLineBreak;
    return false;
  }
  // Until the swap (which reopens the container) others may join again whenever the rebuild stops.
  struct TAlone {
    TPageFileManager* pfm;
    ~TAlone() {
      if (pfm) pfm->ReleaseAlone();
    }
  } alone{pfm_.get()};
  if (!handles_.empty()) {
    // Item numbers change in a rebuild: an open handle would afterwards point at another file.
    log += "Files of the container are open; close them before rebuilding it.";
    log += kLineBreak;
    return false;
  }
  int64_t free = Storage().FreeSpace(fileName_);
  if (free >= 0 && free < pfm_->ContainerSize() && oldFilesCloser_.joinable()) {
    // The container an earlier rebuild replaced may still be giving its space back.
    WaitForOldFiles();
    free = Storage().FreeSpace(fileName_);
  }
  if (free >= 0 && free < pfm_->ContainerSize()) {
    log += "Not enough space.";
    NoSpace();
    return false;
  }

  const std::string newName = fileName_ + "_new";
  const std::string remembered = dir_->CurrentDir();
  if (Storage().Exists(newName)) TSFSHugeFile::DeleteContainer(newName, storage_);  // left by a crash
  std::unique_ptr<TSingleFileSystem> target;
  auto discardTarget = [&] {
    target.reset();
    TSFSHugeFile::DeleteContainer(newName, storage_);
  };
  bool cancel = false;
  try {
    target = MakeRebuildTarget(newName, changePassword, newSecrets);
    const int32_t count = dir_->ItemCount();
    // Progress counts one unit per item and one per data page, so that a large file reports as it
    // goes (every run of pages, at most 1 MiB) rather than once when it is done.
    const int64_t pageData = pfm_->PageDataSize();
    int64_t totalUnits = count, doneUnits = 0;
    for (int32_t k = 0; k < count; ++k) {
      const TDIRItem item = dir_->ReadItem(k);
      if (!item.Deleted && !item.IsFolder) totalUnits += (item.FileSize + pageData - 1) / pageData;
    }
    auto advance = [&](int64_t units) {
      doneUnits += units;
      if (OnProgress) OnProgress(cancel, std::min(100.0, double(doneUnits) / double(totalUnits) * 100.0));
      return !cancel;
    };
    // The progress handler may set cancel: checked before every item, after every run of pages and
    // after the last item.
    for (int32_t k = 0; k < count && !cancel; ++k) {
      const TDIRItem src = dir_->ReadItem(k);
      if (!src.Deleted) {
        const std::string path = dir_->FullPath(k);
        if (src.IsFolder) {
          target->dir_->ForceDirectories(path);
          int32_t made = target->dir_->Resolve(path, TDIRManager::RootItem);
          if (made < 0 || !target->dir_->ReadItem(made).IsFolder) {
            log += "Directory " + Quoted(path) + " deleted. " + kLineBreak;
            if (rebuildNotes_) rebuildNotes_->push_back({TRebuildNote::TKind::FolderDropped, path, 0, 0});
          } else {
            // Folders keep their attributes and times too.
            TDIRItem folder = target->dir_->ReadItem(made);
            CopyItemDetails(src, folder);
            target->dir_->WriteItem(made, folder);
          }
        } else {
          const std::string parent = ParentPath(path);
          if (parent != "\\") target->dir_->ForceDirectories(parent);
          if (parent != "\\" && !target->dir_->DirectoryExists(parent)) {
            log += "Directory " + Quoted(parent) + " deleted. " + kLineBreak;
            if (rebuildNotes_) rebuildNotes_->push_back({TRebuildNote::TKind::FileDropped, path, 0, 0});
          } else {
            int32_t made = target->dir_->CreateFileItem(path);
            if (made < 0) {
              if (target->dir_->LastError() == ErrNoSpace) {
                NoSpace();
                throw ESFSError("Not enough space");
              }
              log += "File " + Quoted(path) + " deleted. " + kLineBreak;
              if (rebuildNotes_) rebuildNotes_->push_back({TRebuildNote::TKind::FileDropped, path, 0, 0});
            } else {
              TDIRItem copy = target->dir_->ReadItem(made);
              copy.KeyRecord = src.KeyRecord;
              copy.HasPassword = src.HasPassword;
              CopyItemDetails(src, copy);
              target->dir_->WriteItem(made, copy);
              if (!CopyFilePages(*target, src, made, changePassword, strict, path, log, advance))
                target->DeleteFile(path);
            }
          }
        }
      }
      if (!cancel) advance(1);
    }
    if (cancel) {
      discardTarget();
      log += "RepairFile cancelled. Original file restored.";
      log += kLineBreak;
      return false;
    }
    target->fsm_->Resync();
    if (!target->pfm_->Flush()) throw ESFSError("The new file could not be written to the disk.");
  } catch (const std::exception& e) {
    log += "Critical error occured. Original file restored.";
    log += kLineBreak;
    log += e.what();
    discardTarget();
    return false;
  }

  // Both containers are closed (the new one flushed) before the files are swapped; the new file stays
  // locked through the swap (the lock follows it to its new name).
  target.reset();
  std::unique_ptr<TSFSAbstractFile> swapLock;
  try {
    swapLock = Storage().Open(newName, true, TSFSLock::Exclusive);
  } catch (const ESFSError& e) {
    log += "Critical error occured. Original file restored.";
    log += kLineBreak;
    log += e.what();
    TSFSHugeFile::DeleteContainer(newName, storage_);
    return false;
  }
  const TTextKey key = changePassword ? newSecrets.Key : key_;
  alone.pfm = nullptr;
  CloseManagers();
  pfm_.reset();

  std::string oldName;
  for (int n = 0;; ++n) {
    oldName = fileName_ + std::to_string(n);
    if (!Storage().Exists(oldName) && !Storage().Exists(TSFSHugeFile::PartFileName(oldName, 1))) break;
  }
  bool swapped = false;
  if (TSFSHugeFile::RenameContainer(fileName_, oldName, storage_)) {
    if (TSFSHugeFile::RenameContainer(newName, fileName_, storage_)) {
      swapped = true;
    } else {
      TSFSHugeFile::RenameContainer(oldName, fileName_, storage_);
    }
  }
  Storage().SyncFolder(fileName_);
  if (!swapped) {
    swapLock.reset();
    TSFSHugeFile::DeleteContainer(newName, storage_);
    Reopen(key_);
    dir_->ChangeDir(remembered);
    lastError_ = ErrRenameFailed;
    return false;
  }
  RetireOldFiles(oldName);
  Storage().SyncFolder(fileName_);
  swapLock.reset();
  Reopen(key);
  if (!dir_->ChangeDir(remembered)) dir_->ChangeDir("\\");
  cancel = false;
  if (OnProgress) OnProgress(cancel, 100);
  return true;
}

void TSingleFileSystem::WaitForOldFiles() {
  if (oldFilesCloser_.joinable()) oldFilesCloser_.join();
}

void TSingleFileSystem::RetireOldFiles(const std::string& oldName) {
  // Deleting a large file costs the file system as much as a good part of writing it (ext4 with
  // online discard: about 0.3 s for 512 MiB), and all of it falls on the last close of the file, not
  // on the removal of its name. So on the disk the old container's files are held open while their
  // names go (at once, and made durable by the folder sync that follows), and closed on a thread of
  // their own: the rebuild returns as soon as the new container is in place, and the space comes
  // back meanwhile. A crash before the close loses nothing: the file system frees a removed file
  // whatever happens to the program. The next rebuild that lacks the space, and the destructor, wait
  // for the thread. Storages other than the disk (tests) delete in place.
  WaitForOldFiles();
  if (storage_) {
    TSFSHugeFile::DeleteContainer(oldName, storage_);
    return;
  }
  std::vector<std::unique_ptr<TSFSAbstractFile>> open;
  TSFSHugeFile::DeleteContainer(oldName, nullptr, &open);
  if (open.empty()) return;
  try {
    oldFilesCloser_ = std::thread([files = std::move(open)]() mutable { files.clear(); });
  } catch (const std::system_error&) {
    // No thread to be had: the files were closed here, on the way out of the thread's constructor.
  }
}

std::vector<std::string> TSingleFileSystem::RecoverInterruptedRebuild(const std::string& fileName,
                                                                      TSFSPartStorage* storage) {
  TSFSPartStorage& s = storage ? *storage : DiskPartStorage();
  std::vector<std::string> notices;
  const std::string newName = fileName + "_new";
  const std::string oldName = fileName + "0";
  const bool haveNew = s.Exists(newName);
  const bool haveOld = s.Exists(oldName);
  if (!haveNew && !haveOld) return notices;
  // A file some program holds is in use (a rebuild in progress holds the container, then the new file
  // through the swap): then nothing here is a leftover yet.
  std::vector<std::unique_ptr<TSFSAbstractFile>> locks;
  if (!LockAll(s, {fileName, newName, oldName}, locks)) return notices;
  locks.clear();
  const auto nameOf = [](const std::string& path) { return std::filesystem::path(path).filename().string(); };
  const std::string name = nameOf(fileName);
  auto remove = [&](const std::string& path, const std::string& what) {
    if (TSFSHugeFile::DeleteContainer(path, &s))
      notices.push_back("Removed " + nameOf(path) + ", " + what + ".");
  };
  if (s.Exists(fileName)) {
    // The swap was finished (or never begun): the others are a copy from before, or an unfinished new file.
    if (haveNew) remove(newName, "left by an interrupted repair or change of password of " + name);
    if (haveOld)
      remove(oldName, "the copy of " + name + " from before an interrupted repair or change of password");
    s.SyncFolder(fileName);
    return notices;
  }
  // The container's own file is missing: the swap stopped between its two renames. The old file is
  // whole (it was the container); it goes back, and the new one, never swapped in, goes.
  bool oldWhole = false;
  if (haveOld) {
    try {
      TPageFileManager probe(oldName, -1, 8, 2048, false, "", "", "", fmReadOnly, &s);
      oldWhole = true;
    } catch (const std::exception&) {
    }
  }
  if (oldWhole && TSFSHugeFile::RenameContainer(oldName, fileName, &s)) {
    s.SyncFolder(fileName);
    notices.push_back("Put " + name + " back from " + nameOf(oldName) +
                      ": a repair or change of password of it was interrupted; it is as it was before.");
    if (haveNew) remove(newName, "left by that interrupted repair or change of password");
    s.SyncFolder(fileName);
    return notices;
  }
  std::string files;
  for (const std::string& path : {oldName, newName})
    if (s.Exists(path)) files += (files.empty() ? "" : " and ") + nameOf(path);
  notices.push_back(name +
                    " is missing after an interrupted repair or change of password, and no whole copy of it "
                    "could be put back. Its data is in " +
                    files + "; nothing was changed. Rename the file you want to keep to " + name + ".");
  return notices;
}

bool TSingleFileSystem::RepairFile(std::string& log, bool strict, std::vector<TRebuildNote>* notes) {
  rebuildNotes_ = notes;
  try {
    const bool ok = Rebuild(log, strict, false, TContainerSecrets{});
    rebuildNotes_ = nullptr;
    // A rebuild that did not swap leaves the container as it was.
    if (!ok && notes) notes->clear();
    return ok;
  } catch (...) {
    rebuildNotes_ = nullptr;
    throw;
  }
}

bool TSingleFileSystem::ChangePassword(const TTextKey& newKey, std::string_view question,
                                       std::string_view answer) {
  lastError_ = 0;
  if (pfm_->ReadOnly()) return false;
  if (newKey.IsDerived() && !question.empty())
    throw ESFSError("TSingleFileSystem.ChangePassword - A hardened container has no recovery question.");
  const std::string_view newPassword = newKey.Text();
  const TContainerSecrets secrets{newKey, std::string(question), std::string(answer)};
  bool cancel = false;
  if (newKey == key_) {
    if (OnProgress) OnProgress(cancel, 0);
    if (pfm_->IsEncrypted()) {
      // Only the recovery fields change: the record is remade around the master key in use.
      const TContainerKey key = pfm_->ContainerKey();
      TKeyRecord record = TKeyRecord::MakeWithMasterKey(secrets, key.Bytes());
      TSFSTransaction change(*this);
      pfm_->SetKeyRecord(record, TContainerKey::FromMasterKey(key.Bytes()));
      pfm_->SaveHeader();
      change.Commit();
    }
    if (OnProgress) OnProgress(cancel, 100);
    return true;
  }
  // The new record is made first, so that a password or question the record cannot hold is refused
  // before any work (it throws the key record's message).
  if (!newPassword.empty()) TKeyRecord::Make(secrets);
  std::string log;
  return Rebuild(log, false, true, secrets);
}

}  // namespace quillmar
