#include "container/PageReadAhead.h"

#include <chrono>

#include "base/SecureWipe.h"
#include "container/PageFileManager.h"

namespace quillmar {

const uint8_t* TPageReadAhead::TWindow::Payload(int32_t page, int32_t pageSize) const {
  return Images.data() + size_t(page) * size_t(pageSize) + TPageHeader::Size;
}

TPageReadAhead::TPageReadAhead(int32_t pageSize, const TContainerKey& key, TReadBytes read)
    : pageSize_(pageSize),
      read_(std::move(read)),
      readerKey_(key),
      helperKey_(key.Empty() ? TContainerKey() : TContainerKey::FromBytes(key.Bytes())) {
  helper_ = std::thread([this] { Helper(); });
}

TPageReadAhead::~TPageReadAhead() {
  {
    std::lock_guard<std::mutex> lock(m_);
    stop_ = true;
  }
  cv_.notify_all();
  helper_.join();
  // Decoded pages stay in the buffers until they are overwritten or the object goes.
  for (TEntry& e : windows_) SecureWipe(e.window->Images.data(), e.window->Images.size());
  for (auto& w : spare_) SecureWipe(w->Images.data(), w->Images.size());
}

void TPageReadAhead::Decode(TWindow& w, const TContainerKey& key) const {
  const int32_t D = pageSize_ - TPageHeader::Size;
  for (int32_t r = 0; r < w.Pages; ++r)
    w.Results[size_t(r)] = r < w.ReadOk ? TPageFileManager::DecodeStoredImage(
                                              w.Images.data() + size_t(r) * size_t(pageSize_), D, key)
                                        : TPageFileManager::ErrReadPageHeader;
}

int32_t TPageReadAhead::ReadPages(TWindow& w) const {
  int32_t done = 0;
  while (done < w.Pages) {
    int32_t run = 1;
    while (done + run < w.Pages && w.PageNos[size_t(done + run)] == w.PageNos[size_t(done + run - 1)] + 1)
      ++run;
    const int64_t bytes = int64_t(run) * pageSize_;
    const int64_t got = read_(int64_t(w.PageNos[size_t(done)]) * pageSize_,
                              w.Images.data() + size_t(done) * size_t(pageSize_), bytes);
    done += int32_t(got / pageSize_);
    if (got < bytes) break;
  }
  return done;
}

TPageReadAhead::TEntry* TPageReadAhead::TakeWork(bool mayRead) {
  for (TEntry& e : windows_)
    if (e.state == TState::Read || (mayRead && e.state == TState::Unread)) return &e;
  return nullptr;
}

void TPageReadAhead::Helper() {
  std::unique_lock<std::mutex> lock(m_);
  for (;;) {
    TEntry* e = nullptr;
    cv_.wait(lock, [&] { return stop_ || (e = TakeWork(readsAllowed_)) != nullptr; });
    if (stop_) return;
    Work(*e, helperKey_, lock, true);
  }
}

void TPageReadAhead::Work(TEntry& e, const TContainerKey& key, std::unique_lock<std::mutex>& lock,
                          bool byHelper) {
  // The entry stays in place while it is worked on: the reader waits for it before dropping it.
  const bool read = e.state == TState::Unread;
  e.state = TState::Working;
  if (read && byHelper) ++helperReads_;
  TWindow& w = *e.window;
  lock.unlock();
  bool failed = false;
  if (read) {
    try {
      w.ReadOk = ReadPages(w);
    } catch (...) {
      // The device failed: the reader reads these pages itself and reports it.
      failed = true;
    }
    if (byHelper) {
      lock.lock();
      --helperReads_;
      cv_.notify_all();
      lock.unlock();
    }
  }
  if (!failed) Decode(w, key);
  lock.lock();
  e.failed = failed;
  e.state = TState::Done;
  cv_.notify_all();
}

std::unique_ptr<TPageReadAhead::TWindow> TPageReadAhead::NewWindow(int32_t pages) {
  std::unique_ptr<TWindow> w;
  {
    std::lock_guard<std::mutex> lock(m_);
    if (!spare_.empty()) {
      w = std::move(spare_.back());
      spare_.pop_back();
    }
  }
  if (!w) w = std::make_unique<TWindow>();
  w->Pages = pages;
  w->ReadOk = 0;
  // A buffer never shrinks, so that the destructor's wipe covers every byte it ever held.
  if (w->Images.size() < size_t(pages) * size_t(pageSize_))
    w->Images.resize(size_t(pages) * size_t(pageSize_));
  w->Results.assign(size_t(pages), 0);
  w->PageNos.clear();
  return w;
}

void TPageReadAhead::Recycle(std::unique_ptr<TWindow> window) {
  spare_.push_back(std::move(window));
}

void TPageReadAhead::Queue(std::unique_ptr<TWindow> window, bool alreadyRead) {
  {
    std::lock_guard<std::mutex> lock(m_);
    windows_.push_back({std::move(window), alreadyRead ? TState::Read : TState::Unread, false});
  }
  cv_.notify_all();
}

void TPageReadAhead::AllowReads() {
  {
    std::lock_guard<std::mutex> lock(m_);
    readsAllowed_ = true;
  }
  cv_.notify_all();
}

void TPageReadAhead::StopReads() {
  std::unique_lock<std::mutex> lock(m_);
  readsAllowed_ = false;
  if (helperReads_ > 0) {
    // A read of a window takes microseconds: waiting for it on this core costs less than being woken
    // (every read call ends here).
    lock.unlock();
    const auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(100);
    while (helperReads_.load(std::memory_order_acquire) > 0 && std::chrono::steady_clock::now() < until)
      std::this_thread::yield();
    lock.lock();
    cv_.wait(lock, [&] { return helperReads_ == 0; });
  }
}

const TPageReadAhead::TWindow* TPageReadAhead::Find(int64_t index, uint64_t stamp) {
  std::unique_lock<std::mutex> lock(m_);
  TEntry* found = nullptr;
  for (TEntry& e : windows_)
    if (index >= e.window->First && index < e.window->First + e.window->Pages) {
      found = &e;
      break;
    }
  if (!found || found->window->Stamp != stamp) return nullptr;
  while (found->state != TState::Done) {
    if (found->state != TState::Working) {
      Work(*found, readerKey_, lock, false);  // the helper has not come to it: this thread does it
    } else if (TEntry* mine = TakeWork(true)) {
      Work(*mine, readerKey_, lock, false);  // help with a later one meanwhile
    } else {
      cv_.wait(lock);
    }
  }
  return found->failed ? nullptr : found->window.get();
}

void TPageReadAhead::WaitIdle(std::unique_lock<std::mutex>& lock) {
  cv_.wait(lock, [&] {
    for (const TEntry& e : windows_)
      if (e.state == TState::Working) return false;
    return true;
  });
}

void TPageReadAhead::DropBefore(int64_t index) {
  std::unique_lock<std::mutex> lock(m_);
  while (!windows_.empty() && windows_.front().window->First + windows_.front().window->Pages <= index) {
    if (windows_.front().state == TState::Working) {
      WaitIdle(lock);
      continue;
    }
    Recycle(std::move(windows_.front().window));
    windows_.pop_front();
  }
}

void TPageReadAhead::Clear() {
  std::unique_lock<std::mutex> lock(m_);
  WaitIdle(lock);
  for (TEntry& e : windows_) Recycle(std::move(e.window));
  windows_.clear();
}

size_t TPageReadAhead::Queued() {
  std::lock_guard<std::mutex> lock(m_);
  return windows_.size();
}

int64_t TPageReadAhead::End() {
  std::lock_guard<std::mutex> lock(m_);
  if (windows_.empty()) return -1;
  return windows_.back().window->First + windows_.back().window->Pages;
}

}  // namespace quillmar
