#pragma once
// Date-time numbers and the other time forms the stored formats use.
//
//  - TDateTime: a double counting days since 1899-12-30 00:00 in local time; the fraction is the time
//    of day. Before that day the whole part is negative and the fraction still counts forward from
//    midnight (-1.25 is 1899-12-29 06:00).
//  - DOS date and time: 32 bits, the date in the high word (bits 9-15 year - 1980, 5-8 month, 0-4 day)
//    and the time in the low word (bits 11-15 hour, 5-10 minute, 0-4 seconds / 2). Local time.
//  - File time: a signed 64-bit count of 100 ns units since 1601-01-01 00:00 UTC.
// Conversions between local and universal time use the system's time-zone rules for the date in
// question (daylight saving included).
#include <cstdint>
#include <ctime>

namespace quillmar {

using TDateTime = double;

struct TDateTimeParts {
  int year = 1899, month = 12, day = 30;
  int hour = 0, minute = 0, second = 0, millisecond = 0;
  bool operator==(const TDateTimeParts&) const = default;
};

// True when the parts name a real calendar day (years 1..9999) and time of day.
bool IsValidDateTime(const TDateTimeParts& parts);
// Throws EQuillmarError("Invalid date or time") when the parts are not valid.
TDateTime EncodeDateTime(const TDateTimeParts& parts);
TDateTime EncodeDate(int year, int month, int day);
// Rounds to the nearest millisecond. Values outside years 1..9999 throw EQuillmarError.
TDateTimeParts DecodeDateTime(TDateTime value);

// The local time now.
TDateTime NowDateTime();

// Seconds since 1970-01-01 UTC to and from local date-time numbers.
TDateTime UnixToDateTime(int64_t unixSeconds);
int64_t DateTimeToUnix(TDateTime localValue);

// DOS date/time (local). DateTimeToDosDateTime gives 0 for years outside 1980..2107; the seconds are
// rounded down to even. TryDosDateTimeToDateTime returns false for a value that is no valid date/time.
uint32_t DateTimeToDosDateTime(TDateTime localValue);
bool TryDosDateTimeToDateTime(uint32_t dos, TDateTime& result);

// File times (UTC).
constexpr int64_t kFileTimeTicksPerSecond = 10'000'000;
constexpr int64_t kFileTimeUnixEpoch = 116'444'736'000'000'000;  // 1970-01-01 as a file time
inline int64_t UnixToFileTime(int64_t unixSeconds, int64_t nanoseconds = 0) {
  return kFileTimeUnixEpoch + unixSeconds * kFileTimeTicksPerSecond + nanoseconds / 100;
}
// Whole seconds, rounded toward the past.
int64_t FileTimeToUnix(int64_t fileTime);
// Between local date-time numbers and UTC file times.
int64_t DateTimeToFileTime(TDateTime localValue);
TDateTime FileTimeToDateTime(int64_t fileTime);
// Between local DOS date/time and UTC file times (how directory times are stored). An invalid DOS
// value gives the file time of 1980-01-01 00:00 local.
int64_t DosDateTimeToFileTime(uint32_t dos);
uint32_t FileTimeToDosDateTime(int64_t fileTime);

}  // namespace quillmar
