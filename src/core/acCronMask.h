#pragma once
// TacCronMask: a parsed schedule mask of six fields — second, minute, hour, day of month, month,
// day of week — separated by spaces, and its test against a moment of local time.
//
// Each field is a set of the numbers 0 to 63:
//  - a field containing "*" anywhere, and a field missing at the end of the mask, is the full set;
//  - otherwise it is a comma list of items "a", "a-b", "a+s" or "a-b+s": the numbers a to b in steps
//    of s (with a step and no b, b is 59; s is 1 when not given); numbers above 59 are not added.
//    An item that is no such text (or has a step of 0) adds nothing.
// Days of the week count Monday = 1 to Saturday = 6, and Sunday is both 0 and 7.
// An empty (or blank) mask never matches.
#include <cstdint>
#include <string>

namespace quillmar {

// One moment of local time as the mask sees it.
struct TCronTime {
  int year = 1899, month = 12, day = 30;
  int hour = 0, minute = 0, second = 0;
  int dayOfWeek = 6;  // 0 Sunday, 1 Monday ... 6 Saturday
  bool operator==(const TCronTime&) const = default;
};

class TacCronMask {
public:
  TacCronMask() = default;  // the empty mask
  explicit TacCronMask(const std::string& text);

  bool Matches(const TCronTime& time) const;
  bool IsEmpty() const { return empty_; }
  // The set of field index (0 second ... 5 day of week), as bits 0..63.
  uint64_t Field(int index) const { return fields_[index]; }

private:
  bool empty_ = true;
  uint64_t fields_[6] = {};
};

}  // namespace quillmar
