#include "base/OrderedPipeline.h"

#include <condition_variable>
#include <cstdint>
#include <exception>
#include <mutex>
#include <stdexcept>
#include <thread>

namespace quillmar {

namespace {

// The shared state of one run: every field is guarded by `m`.
class TPipelineRun {
public:
  TPipelineRun(size_t slots, const TOrderedPipeline::TProduce& produce,
               const std::vector<TOrderedPipeline::TStage>& stages, const TOrderedPipeline::TConsume& consume)
      : produce_(produce),
        stages_(stages),
        consume_(consume),
        slots_(slots),
        nextSerial_(stages.size(), 0),
        last_(int(stages.size())) {}

  void Producer();
  void Worker(int w);
  void Consumer();
  void Fail(std::exception_ptr e);
  // Stops the run (a thread could not be started): the others leave at their next step.
  void Stop();
  std::exception_ptr Error() {
    std::lock_guard<std::mutex> lock(m_);
    return error_;
  }

private:
  enum class TState { Free, Ready, Busy };
  struct TSlot {
    TState state = TState::Free;
    int step = 0;  // the next stage to run; last_ means ready to be consumed
    int64_t seq = 0;
  };

  // A slot ready for some stage (the lowest sequence number first); false when none is.
  bool FindWork(size_t& slot, int& stage) const;
  bool AllStaged() const { return producedAll_ && staged_ == produced_; }

  const TOrderedPipeline::TProduce& produce_;
  const std::vector<TOrderedPipeline::TStage>& stages_;
  const TOrderedPipeline::TConsume& consume_;

  std::mutex m_;
  std::condition_variable cv_;
  std::vector<TSlot> slots_;
  std::vector<int64_t> nextSerial_;  // per serial stage: the sequence number it takes next
  const int last_;
  int64_t produced_ = 0;
  bool producedAll_ = false;
  int64_t staged_ = 0;  // batches through every stage
  int64_t consumed_ = 0;
  bool stop_ = false;
  std::exception_ptr error_;
};

void TPipelineRun::Fail(std::exception_ptr e) {
  std::lock_guard<std::mutex> lock(m_);
  if (!error_) error_ = e;
  stop_ = true;
  cv_.notify_all();
}

void TPipelineRun::Stop() {
  std::lock_guard<std::mutex> lock(m_);
  stop_ = true;
  cv_.notify_all();
}

bool TPipelineRun::FindWork(size_t& slot, int& stage) const {
  bool found = false;
  for (size_t i = 0; i < slots_.size(); ++i) {
    const TSlot& s = slots_[i];
    if (s.state != TState::Ready || s.step >= last_) continue;
    if (!stages_[size_t(s.step)].parallel && s.seq != nextSerial_[size_t(s.step)]) continue;
    if (!found || s.seq < slots_[slot].seq) {
      slot = i;
      stage = s.step;
      found = true;
    }
  }
  return found;
}

void TPipelineRun::Producer() {
  for (;;) {
    size_t slot = 0;
    {
      std::unique_lock<std::mutex> lock(m_);
      auto freeSlot = [&] {
        for (size_t i = 0; i < slots_.size(); ++i)
          if (slots_[i].state == TState::Free) {
            slot = i;
            return true;
          }
        return false;
      };
      cv_.wait(lock, [&] { return stop_ || freeSlot(); });
      if (stop_) return;
      slots_[slot].state = TState::Busy;
    }
    bool more = false;
    try {
      more = produce_(slot);
    } catch (...) {
      Fail(std::current_exception());
      return;
    }
    std::lock_guard<std::mutex> lock(m_);
    if (!more) {
      slots_[slot].state = TState::Free;
      producedAll_ = true;
      cv_.notify_all();
      return;
    }
    slots_[slot] = {TState::Ready, 0, produced_++};
    if (last_ == 0) ++staged_;
    cv_.notify_all();
  }
}

void TPipelineRun::Worker(int w) {
  for (;;) {
    size_t slot = 0;
    int stage = 0;
    {
      std::unique_lock<std::mutex> lock(m_);
      bool work = false;
      cv_.wait(lock, [&] { return stop_ || (work = FindWork(slot, stage)) || AllStaged(); });
      if (stop_ || !work) return;
      slots_[slot].state = TState::Busy;
    }
    try {
      stages_[size_t(stage)].work(slot, w);
    } catch (...) {
      Fail(std::current_exception());
      return;
    }
    std::lock_guard<std::mutex> lock(m_);
    if (!stages_[size_t(stage)].parallel) ++nextSerial_[size_t(stage)];
    slots_[slot].state = TState::Ready;
    slots_[slot].step = stage + 1;
    if (stage + 1 == last_) ++staged_;
    cv_.notify_all();
  }
}

void TPipelineRun::Consumer() {
  for (;;) {
    size_t slot = 0;
    {
      std::unique_lock<std::mutex> lock(m_);
      bool ready = false;
      auto next = [&] {
        for (size_t i = 0; i < slots_.size(); ++i)
          if (slots_[i].state == TState::Ready && slots_[i].step == last_ && slots_[i].seq == consumed_) {
            slot = i;
            return true;
          }
        return false;
      };
      cv_.wait(lock, [&] { return stop_ || (ready = next()) || (producedAll_ && consumed_ == produced_); });
      if (stop_ || !ready) return;
      slots_[slot].state = TState::Busy;
    }
    try {
      consume_(slot);
    } catch (...) {
      Fail(std::current_exception());
      return;
    }
    std::lock_guard<std::mutex> lock(m_);
    ++consumed_;
    slots_[slot].state = TState::Free;
    cv_.notify_all();
  }
}

}  // namespace

void TOrderedPipeline::Run(size_t slots, int threads, const TProduce& produce,
                           const std::vector<TStage>& stages, const TConsume& consume) {
  if (slots == 0 || threads < 1) throw std::logic_error("TOrderedPipeline::Run: no slot or no thread");
  if (threads == 1) {
    // The one-thread path: one batch at a time, every step on the caller's thread.
    while (produce(0)) {
      for (const TStage& stage : stages) stage.work(0, 0);
      consume(0);
    }
    return;
  }
  TPipelineRun run(slots, produce, stages, consume);
  std::vector<std::thread> started;
  try {
    started.emplace_back([&run] { run.Producer(); });
    if (!stages.empty())
      for (int w = 0; w < threads; ++w) started.emplace_back([&run, w] { run.Worker(w); });
  } catch (...) {
    // A thread could not be started: the ones that were stop at their next step.
    run.Fail(std::current_exception());
  }
  run.Consumer();
  run.Stop();
  for (std::thread& t : started) t.join();
  if (std::exception_ptr e = run.Error()) std::rethrow_exception(e);
}

}  // namespace quillmar
