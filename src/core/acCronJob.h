#pragma once
// TacCronJob: one job of the reminder schedule — the reminder's id as a number (Tag), its schedule
// mask, an active flag, the handler run on the owning thread when the job comes due, and, for a
// one-off reminder, the one date on which it may come due.
//
// A job is a value: the scheduler keeps its own copies and hands the handler a copy of the job.
#include <cstdint>
#include <functional>
#include <string>

#include "core/acCronMask.h"

namespace quillmar {

class TacCronJob {
public:
  using THandler = std::function<void(const TacCronJob&)>;

  TacCronJob() = default;
  TacCronJob(int tag, const std::string& cronMask, THandler handler = {});

  int Tag() const { return tag_; }
  void SetTag(int value) { tag_ = value; }
  const std::string& CronMask() const { return cronMask_; }
  // Also parses the mask; an empty mask never comes due.
  void SetCronMask(const std::string& value);
  bool Active() const { return active_; }
  void SetActive(bool value) { active_ = value; }
  // The only local date (year * 10000 + month * 100 + day) on which the job may come due; 0 (the
  // default) for every date the mask allows.
  int32_t DueDate() const { return dueDate_; }
  void SetDueDate(int32_t yyyymmdd) { dueDate_ = yyyymmdd; }
  const THandler& Handler() const { return handler_; }
  void SetHandler(THandler handler) { handler_ = std::move(handler); }

  // True when the job is active, its date (if any) is that of time and its mask matches time.
  bool IsDue(const TCronTime& time) const;
  // The first moment at or after from (looking up to four years ahead) at which the job would come
  // due, active or not; false when there is none.
  bool NextDue(const TCronTime& from, TCronTime& due) const;

private:
  int tag_ = 0;
  std::string cronMask_;
  TacCronMask mask_;
  bool active_ = true;
  int32_t dueDate_ = 0;
  THandler handler_;
};

}  // namespace quillmar
