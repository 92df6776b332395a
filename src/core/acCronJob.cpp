#include "core/acCronJob.h"

namespace quillmar {

TacCronJob::TacCronJob(int tag, const std::string& cronMask, THandler handler)
    : tag_(tag), cronMask_(cronMask), mask_(cronMask), handler_(std::move(handler)) {}

void TacCronJob::SetCronMask(const std::string& value) {
  cronMask_ = value;
  mask_ = TacCronMask(value);
}

bool TacCronJob::IsDue(const TCronTime& time) const {
  if (!active_) return false;
  if (dueDate_ != 0 && dueDate_ != time.year * 10000 + time.month * 100 + time.day) return false;
  return mask_.Matches(time);
}

}  // namespace quillmar
