#include "core/ReminderScheduler.h"

#include <chrono>
#include <condition_variable>
#include <ctime>

namespace quillmar {

bool TSystemSchedulerClock::WaitForTick(std::stop_token stop) {
  using namespace std::chrono;
  const auto now = steady_clock::now();
  const auto tick = milliseconds(10);
  const auto next = time_point_cast<milliseconds>(now) -
                    time_point_cast<milliseconds>(now).time_since_epoch() % tick + tick;
  std::mutex m;
  std::condition_variable_any cv;
  std::unique_lock lock(m);
  cv.wait_until(lock, stop, next, [] { return false; });
  return !stop.stop_requested();
}

TCronTime TSystemSchedulerClock::LocalNow() {
  std::time_t t = std::time(nullptr);
  std::tm tm{};
  localtime_r(&t, &tm);
  TCronTime c;
  c.year = tm.tm_year + 1900;
  c.month = tm.tm_mon + 1;
  c.day = tm.tm_mday;
  c.hour = tm.tm_hour;
  c.minute = tm.tm_min;
  c.second = tm.tm_sec;
  c.dayOfWeek = tm.tm_wday;
  return c;
}

TReminderScheduler::TReminderScheduler(TPoster poster, std::shared_ptr<TSchedulerClock> clock)
    : poster_(std::move(poster)),
      clock_(clock ? std::move(clock) : std::make_shared<TSystemSchedulerClock>()),
      state_(std::make_shared<TState>()) {}

TReminderScheduler::~TReminderScheduler() {
  Stop();
  // Queued tasks hold only a weak reference: with the state gone they do nothing.
  state_.reset();
}

void TReminderScheduler::Start() {
  if (thread_.joinable()) return;
  thread_ = std::jthread([this](std::stop_token stop) {
    while (clock_->WaitForTick(stop)) Tick();
  });
}

void TReminderScheduler::Stop() {
  if (!thread_.joinable()) return;
  thread_.request_stop();
  thread_.join();
  thread_ = std::jthread();
}

void TReminderScheduler::Clear() {
  std::lock_guard lock(state_->mutex);
  state_->jobs.clear();
}

void TReminderScheduler::Add(TacCronJob job) {
  std::lock_guard lock(state_->mutex);
  state_->jobs.push_back({state_->nextSerial++, std::move(job)});
}

bool TReminderScheduler::Remove(int tag) {
  std::lock_guard lock(state_->mutex);
  auto& jobs = state_->jobs;
  for (auto it = jobs.begin(); it != jobs.end(); ++it) {
    if (it->job.Tag() == tag) {
      jobs.erase(it);
      return true;
    }
  }
  return false;
}

bool TReminderScheduler::Update(int tag, const std::function<void(TacCronJob&)>& change) {
  std::lock_guard lock(state_->mutex);
  for (auto& e : state_->jobs) {
    if (e.job.Tag() == tag) {
      change(e.job);
      return true;
    }
  }
  return false;
}

std::optional<TacCronJob> TReminderScheduler::Find(int tag) const {
  std::lock_guard lock(state_->mutex);
  for (const auto& e : state_->jobs)
    if (e.job.Tag() == tag) return e.job;
  return std::nullopt;
}

std::vector<TacCronJob> TReminderScheduler::Jobs() const {
  std::lock_guard lock(state_->mutex);
  std::vector<TacCronJob> out;
  out.reserve(state_->jobs.size());
  for (const auto& e : state_->jobs) out.push_back(e.job);
  return out;
}

void TReminderScheduler::Post(TTask task) {
  std::weak_ptr<TState> weak = state_;
  poster_([weak, task = std::move(task)] {
    if (weak.lock()) task();
  });
}

int TReminderScheduler::Tick() {
  std::lock_guard tickLock(tickMutex_);
  TCronTime now = clock_->LocalNow();
  if (lastSecond_ && *lastSecond_ == now) return 0;
  lastSecond_ = now;
  std::vector<uint64_t> due;
  {
    std::lock_guard lock(state_->mutex);
    for (const auto& e : state_->jobs)
      if (e.job.IsDue(now)) due.push_back(e.serial);
  }
  // Posted outside the lock, so that a poster that runs the task at once cannot deadlock.
  std::weak_ptr<TState> weak = state_;
  for (uint64_t serial : due) poster_([weak, serial] { RunJob(weak, serial); });
  return static_cast<int>(due.size());
}

void TReminderScheduler::RunJob(const std::weak_ptr<TState>& weak, uint64_t serial) {
  std::shared_ptr<TState> state = weak.lock();
  if (!state) return;
  TacCronJob job;
  {
    std::lock_guard lock(state->mutex);
    auto it = state->jobs.begin();
    while (it != state->jobs.end() && it->serial != serial) ++it;
    if (it == state->jobs.end() || !it->job.Active()) return;
    job = it->job;
  }
  state.reset();
  if (job.Handler()) job.Handler()(job);
}

}  // namespace quillmar
