#include "base/DateTime.h"

#include <chrono>
#include <cmath>

#include "base/Exception.h"

namespace quillmar {

namespace {

constexpr double kMsPerDay = 86'400'000.0;

// Days from 1970-01-01 to y-m-d in the proleptic Gregorian calendar (H. Hinnant's algorithm).
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void CivilFromDays(int64_t z, int& y, int& m, int& d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t yy = static_cast<int64_t>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int>(yy + (m <= 2));
}

const int64_t kEpoch1899 = DaysFromCivil(1899, 12, 30);  // days from 1970 to the date-time epoch

bool IsLeap(int y) {
  return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}
int DaysInMonth(int y, int m) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeap(y) ? 29 : kDays[m - 1];
}

// Local broken-down time to seconds since 1970 UTC (mktime with the zone's rules for that date).
int64_t LocalToUnix(const TDateTimeParts& p) {
  std::tm tm{};
  tm.tm_year = p.year - 1900;
  tm.tm_mon = p.month - 1;
  tm.tm_mday = p.day;
  tm.tm_hour = p.hour;
  tm.tm_min = p.minute;
  tm.tm_sec = p.second;
  tm.tm_isdst = -1;
  return static_cast<int64_t>(std::mktime(&tm));
}

TDateTimeParts UnixToLocalParts(int64_t unixSeconds) {
  std::time_t t = static_cast<std::time_t>(unixSeconds);
  std::tm tm{};
  localtime_r(&t, &tm);
  TDateTimeParts p;
  p.year = tm.tm_year + 1900;
  p.month = tm.tm_mon + 1;
  p.day = tm.tm_mday;
  p.hour = tm.tm_hour;
  p.minute = tm.tm_min;
  p.second = tm.tm_sec;
  return p;
}

int64_t FloorDiv(int64_t a, int64_t b) {
  return a / b - ((a % b != 0) && ((a < 0) != (b < 0)));
}

}  // namespace

bool IsValidDateTime(const TDateTimeParts& p) {
  return p.year >= 1 && p.year <= 9999 && p.month >= 1 && p.month <= 12 && p.day >= 1 &&
         p.day <= DaysInMonth(p.year, p.month) && p.hour >= 0 && p.hour < 24 && p.minute >= 0 &&
         p.minute < 60 && p.second >= 0 && p.second < 60 && p.millisecond >= 0 && p.millisecond < 1000;
}

TDateTime EncodeDateTime(const TDateTimeParts& p) {
  if (!IsValidDateTime(p)) throw EQuillmarError("Invalid date or time");
  double days = static_cast<double>(
      DaysFromCivil(p.year, static_cast<unsigned>(p.month), static_cast<unsigned>(p.day)) - kEpoch1899);
  double fraction = ((p.hour * 60.0 + p.minute) * 60.0 + p.second) * 1000.0 + p.millisecond;
  fraction /= kMsPerDay;
  // Before the epoch the fraction still counts forward from midnight: -1 + 0.25 is written -1.25.
  return days >= 0 ? days + fraction : days - fraction;
}

TDateTime EncodeDate(int year, int month, int day) {
  TDateTimeParts p;
  p.year = year, p.month = month, p.day = day;
  return EncodeDateTime(p);
}

TDateTimeParts DecodeDateTime(TDateTime value) {
  if (!std::isfinite(value) || value < -693594.0 || value >= 2958466.0)  // 0001-01-01 .. 9999-12-31
    throw EQuillmarError("Invalid date or time");
  double whole = std::trunc(value);
  int64_t ms = std::llround(std::fabs(value - whole) * kMsPerDay);
  int64_t days = static_cast<int64_t>(whole);
  if (ms >= static_cast<int64_t>(kMsPerDay)) {  // rounding reached the next midnight
    ms -= static_cast<int64_t>(kMsPerDay);
    days += 1;  // the fraction counts forward from midnight, also before the epoch
  }
  TDateTimeParts p;
  CivilFromDays(days + kEpoch1899, p.year, p.month, p.day);
  p.millisecond = static_cast<int>(ms % 1000);
  p.second = static_cast<int>(ms / 1000 % 60);
  p.minute = static_cast<int>(ms / 60000 % 60);
  p.hour = static_cast<int>(ms / 3600000);
  return p;
}

TDateTime NowDateTime() {
  auto now = std::chrono::system_clock::now().time_since_epoch();
  int64_t ms = std::chrono::duration_cast<std::chrono::milliseconds>(now).count();
  TDateTimeParts p = UnixToLocalParts(FloorDiv(ms, 1000));
  p.millisecond = static_cast<int>(ms - FloorDiv(ms, 1000) * 1000);
  return EncodeDateTime(p);
}

TDateTime UnixToDateTime(int64_t unixSeconds) {
  return EncodeDateTime(UnixToLocalParts(unixSeconds));
}

int64_t DateTimeToUnix(TDateTime localValue) {
  TDateTimeParts p = DecodeDateTime(localValue);
  return LocalToUnix(p);
}

uint32_t DateTimeToDosDateTime(TDateTime localValue) {
  TDateTimeParts p;
  try {
    p = DecodeDateTime(localValue);
  } catch (const EQuillmarError&) {
    return 0;
  }
  if (p.year < 1980 || p.year > 2107) return 0;
  uint32_t date = static_cast<uint32_t>((p.year - 1980) << 9 | p.month << 5 | p.day);
  uint32_t time = static_cast<uint32_t>(p.hour << 11 | p.minute << 5 | p.second / 2);
  return date << 16 | time;
}

bool TryDosDateTimeToDateTime(uint32_t dos, TDateTime& result) {
  TDateTimeParts p;
  p.year = static_cast<int>(dos >> 25) + 1980;
  p.month = static_cast<int>(dos >> 21 & 15);
  p.day = static_cast<int>(dos >> 16 & 31);
  p.hour = static_cast<int>(dos >> 11 & 31);
  p.minute = static_cast<int>(dos >> 5 & 63);
  p.second = static_cast<int>(dos & 31) * 2;
  if (!IsValidDateTime(p)) return false;
  result = EncodeDateTime(p);
  return true;
}

int64_t FileTimeToUnix(int64_t fileTime) {
  return FloorDiv(fileTime - kFileTimeUnixEpoch, kFileTimeTicksPerSecond);
}

int64_t DateTimeToFileTime(TDateTime localValue) {
  TDateTimeParts p = DecodeDateTime(localValue);
  return UnixToFileTime(LocalToUnix(p)) + int64_t(p.millisecond) * 10'000;
}

TDateTime FileTimeToDateTime(int64_t fileTime) {
  int64_t seconds = FileTimeToUnix(fileTime);
  TDateTimeParts p = UnixToLocalParts(seconds);
  p.millisecond = static_cast<int>((fileTime - UnixToFileTime(seconds)) / 10'000);
  return EncodeDateTime(p);
}

int64_t DosDateTimeToFileTime(uint32_t dos) {
  TDateTime local;
  if (!TryDosDateTimeToDateTime(dos, local)) local = EncodeDate(1980, 1, 1);
  return DateTimeToFileTime(local);
}

uint32_t FileTimeToDosDateTime(int64_t fileTime) {
  try {
    return DateTimeToDosDateTime(FileTimeToDateTime(fileTime));
  } catch (const EQuillmarError&) {
    return 0;
  }
}

}  // namespace quillmar
