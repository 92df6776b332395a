#include "core/acCronJob.h"

#include <cmath>

#include "base/DateTime.h"
#include "base/Exception.h"

namespace quillmar {

namespace {

bool InSet(uint64_t set, int n) {
  return (set >> n) & 1u;
}

// The first number at or above from, below limit, in set; -1 when there is none.
int FirstIn(uint64_t set, int from, int limit) {
  for (int n = from; n < limit; ++n)
    if (InSet(set, n)) return n;
  return -1;
}

// The earliest time of day at or after h:m:s the three sets allow; false when none is left that day.
bool FirstTimeOfDay(const TacCronMask& mask, int h, int m, int s, TCronTime& at) {
  for (int hour = FirstIn(mask.Field(2), h, 24); hour >= 0; hour = FirstIn(mask.Field(2), hour + 1, 24)) {
    const int m0 = hour == h ? m : 0;
    for (int minute = FirstIn(mask.Field(1), m0, 60); minute >= 0;
         minute = FirstIn(mask.Field(1), minute + 1, 60)) {
      const int s0 = hour == h && minute == m ? s : 0;
      const int second = FirstIn(mask.Field(0), s0, 60);
      if (second < 0) continue;
      at.hour = hour;
      at.minute = minute;
      at.second = second;
      return true;
    }
  }
  return false;
}

}  // namespace

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

bool TacCronJob::NextDue(const TCronTime& from, TCronTime& due) const {
  if (mask_.IsEmpty()) return false;
  double first = 0;
  try {
    first = EncodeDate(from.year, from.month, from.day);
  } catch (const EQuillmarError&) {
    return false;
  }
  constexpr int kDaysAhead = 4 * 366;
  for (int k = 0; k <= kDaysAhead; ++k) {
    TDateTimeParts date;
    try {
      date = DecodeDateTime(first + k);
    } catch (const EQuillmarError&) {
      return false;
    }
    if (dueDate_ != 0 && dueDate_ != date.year * 10000 + date.month * 100 + date.day) continue;
    // 1899-12-30, day 0, was a Saturday.
    const long long number = static_cast<long long>(std::floor(first)) + k;
    const int dayOfWeek = static_cast<int>(((number + 6) % 7 + 7) % 7);
    const bool dayMatches =
        InSet(mask_.Field(3), date.day) && InSet(mask_.Field(4), date.month) &&
        (InSet(mask_.Field(5), dayOfWeek) || (dayOfWeek == 0 && InSet(mask_.Field(5), 7)));
    if (!dayMatches) continue;
    TCronTime at{date.year, date.month, date.day, 0, 0, 0, dayOfWeek};
    const bool today = k == 0;
    if (FirstTimeOfDay(mask_, today ? from.hour : 0, today ? from.minute : 0, today ? from.second : 0, at)) {
      due = at;
      return true;
    }
  }
  return false;
}

}  // namespace quillmar
