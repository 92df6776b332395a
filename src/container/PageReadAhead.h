#pragma once
// TPageReadAhead: the data pages of one container file, read and decoded ahead of a reader that goes
// through the file in order, so that reading pages from the disk, checking and decrypting them run on
// a second core while the reader's thread copies out what it was asked for.
//
// Division of work:
//  - the reader's thread queues windows of consecutive file pages (NewWindow, Queue): either with the
//    container pages to read (the usual case), or already read (inside a transaction, whose changed
//    pages only the container's own reads see);
//  - a helper thread, started with the object, takes the queued windows in file order: reads their
//    pages (only while the reader allows it, see AllowReads) and decodes them (checksum, then
//    decryption with a key object of its own);
//  - the reader takes decoded pages out (Find); while it waits for a window the helper is still
//    working on, it reads and decodes a queued one itself, so both cores stay busy whichever is
//    ahead.
// Reads of the helper's: the reader allows them only while it holds the container's shared lock and
// changes nothing (during one read call), and StopReads waits for the one running, so every page is
// read under that lock, as the reader's own reads are. The read function given to the constructor
// must be safe to call beside the reader's thread (TPageFileManager::ReadStoredBytesConcurrently).
// Windows carry a stamp (the container's change count when they were queued); Find gives nothing for
// a window of another stamp: pages queued before a change are never served after it. A window whose
// read failed with an error is not served either: the reader reads those pages itself and reports
// the error as it would without the read-ahead.
//
// Memory: the windows queued (the caller keeps them to a few) and as many spare buffers, reused for
// the next windows; every buffer is wiped when the object goes. All calls come from the reader's
// thread. The destructor stops the helper and waits for it.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "container/ContainerKey.h"

namespace quillmar {

class TPageReadAhead {
public:
  // Reads count bytes of the container's stored pages from byte offset: the bytes read (short at the
  // end of the data); throws on a device error.
  using TReadBytes = std::function<int64_t(int64_t offset, void* buffer, int64_t count)>;

  // Consecutive pages of the file, stored images decoded in place.
  struct TWindow {
    int64_t First = 0;   // file page index of the first page
    int32_t Pages = 0;   // pages in the window
    int32_t ReadOk = 0;  // pages read in full from the disk (the others count as unreadable)
    uint64_t Stamp = 0;
    std::vector<int32_t> PageNos;  // the container page of each file page, for a window queued unread
    std::vector<uint8_t> Images;   // at least Pages stored page images
    std::vector<int32_t> Results;  // per page: 0, or the page file's error code once decoded

    const uint8_t* Payload(int32_t page, int32_t pageSize) const;
  };

  // key: the file's effective key (empty: pages are only checked). REQUIRES: pageSize > 32.
  TPageReadAhead(int32_t pageSize, const TContainerKey& key, TReadBytes read);
  ~TPageReadAhead();
  TPageReadAhead(const TPageReadAhead&) = delete;
  TPageReadAhead& operator=(const TPageReadAhead&) = delete;

  // A window to fill with `pages` pages (a recycled buffer when there is one).
  std::unique_ptr<TWindow> NewWindow(int32_t pages);
  // Queues a window after the ones queued (First, Pages and Stamp set). alreadyRead: its images are
  // read (ReadOk set); otherwise PageNos says which container pages to read into it.
  void Queue(std::unique_ptr<TWindow> window, bool alreadyRead);
  // Lets the helper read pages from now on / stops it from starting another read and waits for the
  // one it is doing.
  void AllowReads();
  void StopReads();
  // Reads of the helper allowed for the life of the object (none when constructed with null).
  class TReadsAllowed {
  public:
    explicit TReadsAllowed(std::shared_ptr<TPageReadAhead> ahead) : ahead_(std::move(ahead)) {
      if (ahead_) ahead_->AllowReads();
    }
    ~TReadsAllowed() {
      if (ahead_) ahead_->StopReads();
    }
    TReadsAllowed(const TReadsAllowed&) = delete;
    TReadsAllowed& operator=(const TReadsAllowed&) = delete;

  private:
    std::shared_ptr<TPageReadAhead> ahead_;
  };
  // The queued window holding file page `index` with this stamp, read and decoded (waiting or
  // helping until it is); null when there is none, or when reading it failed with an error. Valid
  // until the next call that drops or queues windows. Reads on the caller's thread.
  const TWindow* Find(int64_t index, uint64_t stamp);
  // Drops the windows that end at or before file page `index`.
  void DropBefore(int64_t index);
  // Drops every window.
  void Clear();
  // Windows queued, and the file page index after the last of them (-1 when there is none).
  size_t Queued();
  int64_t End();

private:
  // Unread -> (taken) Working -> Done; a window queued read starts at Read.
  enum class TState { Unread, Read, Working, Done };
  struct TEntry {
    std::unique_ptr<TWindow> window;
    TState state = TState::Unread;
    bool failed = false;  // reading it threw: not served
  };

  void Helper();
  void Decode(TWindow& w, const TContainerKey& key) const;
  // Reads a window's pages, a run of consecutive container pages at a time; the pages read in full
  // before the first short read. Throws what the read function throws.
  int32_t ReadPages(TWindow& w) const;
  // The first window in file order that waits for work this thread may do (REQUIRES: m_ held).
  TEntry* TakeWork(bool mayRead);
  // Reads (when unread) and decodes a window this thread took, outside the lock, and marks it done
  // (REQUIRES: lock holds m_). byHelper: the read counts as the helper's (StopReads waits for it).
  void Work(TEntry& e, const TContainerKey& key, std::unique_lock<std::mutex>& lock, bool byHelper);
  // Waits until no window is being worked on (REQUIRES: lock holds m_).
  void WaitIdle(std::unique_lock<std::mutex>& lock);
  void Recycle(std::unique_ptr<TWindow> window);

  const int32_t pageSize_;
  const TReadBytes read_;
  TContainerKey readerKey_;
  TContainerKey helperKey_;  // a copy: cipher objects are not shared between threads
  std::mutex m_;
  std::condition_variable cv_;
  std::deque<TEntry> windows_;  // in file order
  std::vector<std::unique_ptr<TWindow>> spare_;
  bool readsAllowed_ = false;
  std::atomic<int> helperReads_{0};  // reads of the helper running (0 or 1); changed under m_
  bool stop_ = false;
  std::thread helper_;
};

}  // namespace quillmar
