#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <ctime>

#include "base/DateTime.h"
#include "base/Exception.h"

namespace quillmar {
namespace {

TDateTimeParts Parts(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0) {
  TDateTimeParts p;
  p.year = y, p.month = mo, p.day = d, p.hour = h, p.minute = mi, p.second = s, p.millisecond = ms;
  return p;
}

// Runs the test body in a fixed zone with daylight saving (no zone database needed).
class DateTimeInZone : public ::testing::Test {
protected:
  void SetUp() override {
    const char* old = std::getenv("TZ");
    hadTz_ = old != nullptr;
    if (hadTz_) oldTz_ = old;
    ::setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
    ::tzset();
  }
  void TearDown() override {
    if (hadTz_)
      ::setenv("TZ", oldTz_.c_str(), 1);
    else
      ::unsetenv("TZ");
    ::tzset();
  }
  bool hadTz_ = false;
  std::string oldTz_;
};

TEST(DateTime, DayNumbersCountFrom30December1899) {
  EXPECT_EQ(EncodeDate(1899, 12, 30), 0.0);
  EXPECT_EQ(EncodeDate(1900, 1, 1), 2.0);
  EXPECT_EQ(EncodeDate(1970, 1, 1), 25569.0);
  EXPECT_EQ(EncodeDate(2000, 1, 1), 36526.0);
  EXPECT_EQ(EncodeDate(2000, 3, 1), 36586.0);  // 2000 is a leap year
  EXPECT_EQ(EncodeDateTime(Parts(2000, 1, 1, 12)), 36526.5);
  EXPECT_EQ(EncodeDateTime(Parts(2000, 1, 1, 6)), 36526.25);
  // Before the epoch the fraction still counts forward from midnight.
  EXPECT_EQ(EncodeDateTime(Parts(1899, 12, 29, 6)), -1.25);
  EXPECT_EQ(DecodeDateTime(-1.25), Parts(1899, 12, 29, 6));
  EXPECT_EQ(DecodeDateTime(36526.5), Parts(2000, 1, 1, 12));
  EXPECT_EQ(DecodeDateTime(EncodeDate(1, 1, 1)), Parts(1, 1, 1));
}

TEST(DateTime, DecodeRoundsToTheMillisecondAndRefusesNonsense) {
  TDateTimeParts p = Parts(2024, 2, 29, 23, 59, 59, 999);
  EXPECT_EQ(DecodeDateTime(EncodeDateTime(p)), p);
  // Just short of midnight rounds up into the next day, not to hour 24.
  EXPECT_EQ(DecodeDateTime(EncodeDate(2024, 3, 1) - 1e-10), Parts(2024, 3, 1));
  EXPECT_THROW(EncodeDate(2023, 2, 29), EQuillmarError);
  EXPECT_THROW(EncodeDateTime(Parts(2023, 1, 1, 24)), EQuillmarError);
  EXPECT_THROW(DecodeDateTime(1e12), EQuillmarError);
  EXPECT_THROW(DecodeDateTime(std::nan("")), EQuillmarError);
}

TEST(DateTime, DosDateTimePacksTwoSecondPrecision) {
  // 2020-06-15 13:45:31: date word 0x50CF, time word 0x6DAF (seconds 31 -> 15 two-second units).
  EXPECT_EQ(DateTimeToDosDateTime(EncodeDateTime(Parts(2020, 6, 15, 13, 45, 31))), 0x50CF6DAFu);
  TDateTime back = 0;
  ASSERT_TRUE(TryDosDateTimeToDateTime(0x50CF6DAFu, back));
  EXPECT_EQ(DecodeDateTime(back), Parts(2020, 6, 15, 13, 45, 30));
  EXPECT_EQ(DateTimeToDosDateTime(EncodeDate(1979, 12, 31)), 0u);
  EXPECT_EQ(DateTimeToDosDateTime(EncodeDate(2108, 1, 1)), 0u);
  EXPECT_EQ(DateTimeToDosDateTime(EncodeDate(2107, 12, 31)), 0xFF9F0000u);
  EXPECT_FALSE(TryDosDateTimeToDateTime(0, back));            // month 0, day 0
  EXPECT_FALSE(TryDosDateTimeToDateTime(0x0021C000u, back));  // hour 24
}

TEST_F(DateTimeInZone, FileTimesAreUtcAndDateTimesLocal) {
  EXPECT_EQ(UnixToFileTime(0), 116444736000000000);
  EXPECT_EQ(UnixToFileTime(946684800), 125911584000000000);  // 2000-01-01 00:00 UTC
  EXPECT_EQ(FileTimeToUnix(125911584000000000 + 9999999), 946684800);
  EXPECT_EQ(FileTimeToUnix(116444736000000000 - 1), -1);  // before 1970 rounds toward the past
  // Winter: UTC+1. 2000-01-01 01:00 local is 00:00 UTC.
  EXPECT_EQ(DateTimeToFileTime(EncodeDateTime(Parts(2000, 1, 1, 1))), 125911584000000000);
  EXPECT_EQ(DecodeDateTime(FileTimeToDateTime(125911584000000000 + 5000000)),
            Parts(2000, 1, 1, 1, 0, 0, 500));
  // Summer: UTC+2, by the rule of that date and not of today.
  int64_t summerUtc = UnixToFileTime(962409600);  // 2000-07-01 00:00 UTC
  EXPECT_EQ(DecodeDateTime(FileTimeToDateTime(summerUtc)), Parts(2000, 7, 1, 2));
  EXPECT_EQ(DateTimeToUnix(EncodeDateTime(Parts(2000, 7, 1, 2))), 962409600);
  EXPECT_EQ(DecodeDateTime(UnixToDateTime(962409600)), Parts(2000, 7, 1, 2));
  // A local DOS time becomes a UTC file time and comes back the same.
  uint32_t dos = DateTimeToDosDateTime(EncodeDateTime(Parts(2000, 7, 1, 2, 0, 10)));
  EXPECT_EQ(DosDateTimeToFileTime(dos), summerUtc + 10 * kFileTimeTicksPerSecond);
  EXPECT_EQ(FileTimeToDosDateTime(DosDateTimeToFileTime(dos)), dos);
}

TEST_F(DateTimeInZone, NowIsTheLocalClock) {
  TDateTime now = NowDateTime();
  int64_t unixNow = static_cast<int64_t>(std::time(nullptr));
  EXPECT_NEAR(static_cast<double>(DateTimeToUnix(now)), static_cast<double>(unixNow), 2.0);
}

}  // namespace
}  // namespace quillmar
