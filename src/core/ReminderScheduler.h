#pragma once
// TReminderScheduler: the one scheduler thread of the program and the list of schedule jobs it
// watches.
//
// The thread wakes at every 10 ms boundary of the clock. When the local time has moved on to
// another second since it last looked, it tests every active job against that second while holding
// the job list's lock, and hands each due job to the owning thread through the poster: the poster
// is called on the scheduler thread and must only queue the task for the owning thread (the UI binds
// it to a queued call on the window thread, the CLI to its own loop). The task, when the owning
// thread runs it, looks the job up again and calls its handler — a job removed in the meantime is
// not run, and tasks that run after the scheduler is gone do nothing. A second the thread misses
// (the machine was suspended, the process stalled) is not caught up.
//
// On this platform the thread keeps the normal priority: raising it needs privileges a desktop
// program does not have, and its work is a few bit tests per second.
//
// Thread safety: every member may be called from any thread; the handlers run only where the poster
// sends them. Handlers may change the job list (they run without the lock held).
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <thread>
#include <vector>

#include "core/acCronJob.h"

namespace quillmar {

// Where the scheduler takes its ticks and the local time from; tests give one they step by hand.
class TSchedulerClock {
public:
  virtual ~TSchedulerClock() = default;
  // Blocks until the next tick (the next 10 ms boundary); false when stop was requested instead.
  virtual bool WaitForTick(std::stop_token stop) = 0;
  // The local time now, to the second.
  virtual TCronTime LocalNow() = 0;
};

// The real clock: steady-clock ticks on 10 ms boundaries, local time from the system's zone rules.
class TSystemSchedulerClock : public TSchedulerClock {
public:
  bool WaitForTick(std::stop_token stop) override;
  TCronTime LocalNow() override;
};

class TReminderScheduler {
public:
  using TTask = std::function<void()>;
  using TPoster = std::function<void(TTask)>;

  // REQUIRES: poster is set. The clock defaults to TSystemSchedulerClock. The thread starts with
  // Start, not here.
  explicit TReminderScheduler(TPoster poster, std::shared_ptr<TSchedulerClock> clock = nullptr);
  // Stops the thread; tasks still queued with the owner do nothing when they run.
  ~TReminderScheduler();
  TReminderScheduler(const TReminderScheduler&) = delete;
  TReminderScheduler& operator=(const TReminderScheduler&) = delete;

  void Start();
  void Stop();
  bool Running() const { return thread_.joinable(); }

  // The job list.
  void Clear();
  void Add(TacCronJob job);
  // Removes the first job with that tag; false when there is none.
  bool Remove(int tag);
  // Calls change on the first job with that tag, under the lock; false when there is none.
  // change must not call back into the scheduler.
  bool Update(int tag, const std::function<void(TacCronJob&)>& change);
  std::optional<TacCronJob> Find(int tag) const;
  std::vector<TacCronJob> Jobs() const;

  // Hands a task to the owning thread through the poster, guarded like the job tasks.
  void Post(TTask task);

  // One look at the clock, as the thread does on every tick: when the second differs from the one
  // seen last, posts the due jobs. Returns how many were posted.
  int Tick();

private:
  struct TEntry {
    uint64_t serial;
    TacCronJob job;
  };
  struct TState {
    mutable std::mutex mutex;
    std::vector<TEntry> jobs;
    uint64_t nextSerial = 1;
  };

  static void RunJob(const std::weak_ptr<TState>& state, uint64_t serial);

  TPoster poster_;
  std::shared_ptr<TSchedulerClock> clock_;
  std::shared_ptr<TState> state_;
  std::optional<TCronTime> lastSecond_;  // only touched by Tick
  std::mutex tickMutex_;
  std::jthread thread_;
};

}  // namespace quillmar
