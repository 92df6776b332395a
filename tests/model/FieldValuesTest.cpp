// How Yes/No, Date, Currency and Number values read and are written, with both separators.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "model/qmFieldValues.h"

namespace quillmar {
namespace {

TEST(FieldValues, YesNoReadsNumbersTheTwoWordsAndTakesEverythingElseAsYes) {
  for (const char* no : {"false", "FALSE", "False", "0", "0.0", "-0", " 0 "})
    EXPECT_FALSE(ReadYesNo(no)) << no;
  for (const char* yes : {"True", "tRUE", "", "no", "abc", "1", "-3", "0.5", "falsey", "1e400"})
    EXPECT_TRUE(ReadYesNo(yes)) << yes;
  EXPECT_EQ(YesNoText(true), "True");
  EXPECT_EQ(YesNoText(false), "False");
  EXPECT_FALSE(ReadYesNo(YesNoText(false)));
}

TEST(FieldValues, DateCutsAtTheSeparatorsAndRefusesWhatIsNoDay) {
  EXPECT_EQ(ReadDateDay("38000.75"), 38000);
  EXPECT_EQ(ReadDateDay("38000,75"), 38000);
  EXPECT_EQ(ReadDateDay("38000,5.25"), 38000);  // cut at "." first, then at ","
  EXPECT_EQ(ReadDateDay("-5"), -5);
  EXPECT_EQ(ReadDateDay("+12"), 12);
  // Junk, empty text and an integer with anything after it read as 0.
  for (const char* junk : {"", "-", "abc", "12abc", " 12", "1e3", "0x10"})
    EXPECT_EQ(ReadDateDay(junk), 0) << junk;
  // The first and last days of the years 1..9999 read; one beyond, day 10^9 and overflow do not.
  EXPECT_EQ(ReadDateDay("-693593"), kFirstReadableDay);
  EXPECT_EQ(ReadDateDay("2958465"), kLastReadableDay);
  EXPECT_EQ(ReadDateDay("-693594"), 0);
  EXPECT_EQ(ReadDateDay("2958466"), 0);
  EXPECT_EQ(ReadDateDay("1000000000"), 0);
  EXPECT_EQ(ReadDateDay(std::string(400, '9')), 0);
  EXPECT_EQ(ReadDateDay("-" + std::string(30, '9')), 0);
  EXPECT_EQ(ReadDateDay(DateDayText(45123)), 45123);

  EXPECT_EQ(DayOfDateTime(38000.75), 38000);
  EXPECT_EQ(DayOfDateTime(-1.25), -1);  // the whole-day part, as the value is stored
  EXPECT_EQ(DayOfDateTime(1e300), 0);
  EXPECT_TRUE(IsReadableDay(TodayDay()));
  EXPECT_GT(TodayDay(), 45000);  // after 2023
}

TEST(FieldValues, NumbersReadWithTheCallersSeparator) {
  for (char sep : {'.', ','}) {
    SCOPED_TRACE(std::string("separator ") + sep);
    EXPECT_DOUBLE_EQ(ReadNumber("1,5", sep), 1.5);
    EXPECT_DOUBLE_EQ(ReadNumber("1.5", sep), 1.5);
    EXPECT_DOUBLE_EQ(ReadNumber(" -12.25 ", sep), -12.25);
    EXPECT_DOUBLE_EQ(ReadNumber("+3", sep), 3);
    EXPECT_DOUBLE_EQ(ReadNumber(".5", sep), 0.5);
    EXPECT_DOUBLE_EQ(ReadNumber("2.5E3", sep), 2500);
    // Two separators, grouping, currency signs, an exponent without digits: junk reads 0.
    for (const char* junk :
         {"", "abc", "1.000.000", "1,000.5", "$12", "12 EUR", "1e", ".", "--1", "nan", "inf"})
      EXPECT_EQ(ReadNumber(junk, sep), 0) << junk;
    // Beyond a double: 0, not infinity.
    EXPECT_EQ(ReadNumber(std::string(400, '9'), sep), 0);
    EXPECT_EQ(ReadNumber("1e400", sep), 0);
  }
  EXPECT_EQ(NormalizeSeparators("1.234,5", ','), "1,234,5");
  EXPECT_EQ(NormalizeSeparators("1,5", '.'), "1.5");
}

TEST(FieldValues, NumbersAreWrittenWithTheSeparatorAndReadBack) {
  EXPECT_EQ(FixedTwoText(1.5, '.'), "1.50");
  EXPECT_EQ(FixedTwoText(1.5, ','), "1,50");
  EXPECT_EQ(FixedTwoText(-1234567.125, '.'), "-1234567.12");  // no grouping
  EXPECT_EQ(FixedTwoText(std::nan(""), '.'), "0.00");
  EXPECT_EQ(FixedTwoText(1e300, '.').size(), 301u + 3u);  // in full, without failing
  EXPECT_EQ(NumberText(12.5, ','), "12,5");
  EXPECT_EQ(NumberText(0.1 + 0.2, '.'), "0.3");  // 15 significant digits
  EXPECT_EQ(NumberText(std::numeric_limits<double>::infinity(), '.'), "0");
  for (double v : {0.0, 12.34, -0.001, 123456789012.5, 1e20, 3e-9})
    for (char sep : {'.', ','}) {
      EXPECT_DOUBLE_EQ(ReadNumber(NumberText(v, sep), sep), v) << v;
      EXPECT_NEAR(ReadNumber(FixedTwoText(v, sep), sep), v, 0.005) << v;
    }
}

TEST(FieldValues, TheNumberKeyFilterTakesDigitsAndOneSeparator) {
  EXPECT_EQ(FilterNumberText("", "12,3.4-e", '.'), "12.34");
  EXPECT_EQ(FilterNumberText("", "12,3.4-e", ','), "12,34");
  EXPECT_EQ(FilterNumberText("5.", "1.2", '.'), "12");  // the box holds the separator already
  EXPECT_EQ(FilterNumberKey("1", '.', ',').value_or('?'), ',');
  EXPECT_FALSE(FilterNumberKey("1,", '.', ',').has_value());
  EXPECT_FALSE(FilterNumberKey("", '-', '.').has_value());
  EXPECT_FALSE(FilterNumberKey("", 'e', '.').has_value());
  EXPECT_FALSE(FilterNumberKey("", '+', '.').has_value());
  EXPECT_EQ(FilterNumberKey("1.2", '\b', '.').value_or('?'), '\b');
}

}  // namespace
}  // namespace quillmar
