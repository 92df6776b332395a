#pragma once
// TPageReadAhead: the data pages of one container file, decoded ahead of a reader that goes through
// the file in order, so that checking and decrypting pages runs on a second core while the reader's
// thread reads further pages from the disk and copies out what it was asked for.
//
// Division of work:
//  - the reader's thread does all I/O (a container is used by one thread at a time): it reads the
//    stored images of the next pages into a window (NewWindow) and queues it (Queue);
//  - a helper thread, started with the object, decodes queued windows in file order (checksum, then
//    decryption with a key object of its own);
//  - the reader takes decoded pages out (Find); while it waits for a window the helper is still
//    decoding, it decodes a queued one itself, so both cores stay busy whichever is ahead.
// Windows carry a stamp (the container's change count when their pages were read); Find gives
// nothing for a window of another stamp: pages read before a change are never served after it.
//
// Memory: the windows queued (the caller keeps them to a few) and as many spare buffers, reused for
// the next windows; every buffer is wiped when the object goes. All calls come from the reader's
// thread. The destructor stops the helper and waits for it.
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "container/ContainerKey.h"

namespace quillmar {

class TPageReadAhead {
public:
  // Consecutive pages of the file, stored images decoded in place.
  struct TWindow {
    int64_t First = 0;   // file page index of the first page
    int32_t Pages = 0;   // pages in the window
    int32_t ReadOk = 0;  // pages read in full from the disk (the others count as unreadable)
    uint64_t Stamp = 0;
    std::vector<uint8_t> Images;   // at least Pages stored page images
    std::vector<int32_t> Results;  // per page: 0, or the page file's error code once decoded

    const uint8_t* Payload(int32_t page, int32_t pageSize) const;
  };

  // key: the file's effective key (empty: pages are only checked). REQUIRES: pageSize > 32.
  TPageReadAhead(int32_t pageSize, const TContainerKey& key);
  ~TPageReadAhead();
  TPageReadAhead(const TPageReadAhead&) = delete;
  TPageReadAhead& operator=(const TPageReadAhead&) = delete;

  // A window to fill with `pages` stored images (a recycled buffer when there is one).
  std::unique_ptr<TWindow> NewWindow(int32_t pages);
  // Queues a filled window (First, Pages, ReadOk and Stamp set) after the ones queued.
  void Queue(std::unique_ptr<TWindow> window);
  // The queued window holding file page `index` with this stamp, decoded (waiting or helping until it
  // is); null when there is none. Valid until the next call that drops or queues windows.
  const TWindow* Find(int64_t index, uint64_t stamp);
  // Drops the windows that end at or before file page `index`.
  void DropBefore(int64_t index);
  // Drops every window.
  void Clear();
  // Windows queued, and the file page index after the last of them (-1 when there is none).
  size_t Queued();
  int64_t End();

private:
  enum class TState { Queued, Decoding, Done };
  struct TEntry {
    std::unique_ptr<TWindow> window;
    TState state = TState::Queued;
  };

  void Helper();
  void Decode(TWindow& w, const TContainerKey& key) const;
  // Takes the first queued window for decoding (REQUIRES: m_ held); null when none waits.
  TEntry* TakeQueued();
  // Decodes a window this thread took, outside the lock, and marks it done (REQUIRES: lock holds m_).
  void DecodeTaken(TEntry& e, const TContainerKey& key, std::unique_lock<std::mutex>& lock);
  // Waits until no window is being decoded by the helper (REQUIRES: lock holds m_).
  void WaitIdle(std::unique_lock<std::mutex>& lock);
  void Recycle(std::unique_ptr<TWindow> window);

  const int32_t pageSize_;
  TContainerKey readerKey_;
  TContainerKey helperKey_;  // a copy: cipher objects are not shared between threads
  std::mutex m_;
  std::condition_variable cv_;
  std::deque<TEntry> windows_;  // in file order
  std::vector<std::unique_ptr<TWindow>> spare_;
  bool stop_ = false;
  std::thread helper_;
};

}  // namespace quillmar
