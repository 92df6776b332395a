#pragma once
// How the values of Yes/No, Date, Currency and Number fields read and are written as text. A field
// stores its value as text (model/qmField.h); the editors and viewers of both front ends read and
// write it through these functions, so that one value shows the same everywhere.
//
// The decimal separator is the caller's (the desktop passes its locale's, the command line "."): no
// function here looks at the process locale, so the C library's locale (which Qt sets) changes
// nothing. Every function takes any text, however long or odd: junk and numbers beyond what a double
// or a day can hold read as 0, never as infinity, NaN or an error.
//
//  - Yes/No: a text that reads as a number is Yes unless it is 0; "True" and "False" in any letter case
//    are Yes and No; anything else, the empty text included, is Yes. Written "True" or "False".
//  - Date: the value is a whole number of days since 1899-12-30 in decimal. Reading cuts the text at
//    its first "." and then at its first ","; the rest must be a decimal integer (an optional sign and
//    digits) naming a day of the years 1 to 9999; anything else reads as day 0.
//  - Currency and Number: every "." and "," of the stored text is first replaced by the separator
//    (NormalizeSeparators); the result reads as a floating-point number with that separator: blanks
//    around it, an optional sign, digits with at most one separator, an optional exponent ("e" or "E",
//    an optional sign, digits). Nothing else is a number.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quillmar {

// --- Yes/No ------------------------------------------------------------------------------------------
bool ReadYesNo(std::string_view value);
// "True" or "False".
std::string YesNoText(bool yes);

// --- Date --------------------------------------------------------------------------------------------
// Day numbers of 0001-01-01 and 9999-12-31: the days a Date field can name.
inline constexpr int32_t kFirstReadableDay = -693593;
inline constexpr int32_t kLastReadableDay = 2958465;

bool IsReadableDay(int64_t day);
// The day a Date value names; 0 (1899-12-30) for junk, overflow and days outside the years 1..9999.
int32_t ReadDateDay(std::string_view value);
// The stored form of a day: the number in decimal ("-5", "45123").
std::string DateDayText(int32_t day);
// The day number of a date-time number (its whole-day part); 0 for one outside the years 1..9999.
int32_t DayOfDateTime(double dateTime);
// Today's day number (local time): what a Date editor writes when its value reads as 0.
int32_t TodayDay();

// --- Currency and Number --------------------------------------------------------------------------------
// The stored text with every "." and "," replaced by separator.
std::string NormalizeSeparators(std::string_view value, char separator);
// The number the stored text reads as (after NormalizeSeparators); 0 for junk and for numbers beyond
// the range of a double (a 400-digit number reads 0).
double ReadNumber(std::string_view value, char separator);
// A calculator's result as the editors write it: the shortest form of up to 15 significant digits
// with separator ("12.5", "0.1", "1e+20"); non-finite numbers are written "0".
std::string NumberText(double number, char separator);
// Fixed point with two decimals, no grouping ("1234.50"): the Number viewer, and the Currency editor's
// box (whose text is the stored value). Non-finite numbers are written as 0.
std::string FixedTwoText(double number, char separator);

// The Number editor's key filter. `kept` is the text that stays in the box around the insertion (the
// box's text without a selection being replaced). A digit or backspace (0x08) is taken as it is; "."
// or "," becomes separator unless kept already holds separator (then it is refused); every other
// character is refused. nullopt: refused.
std::optional<char> FilterNumberKey(std::string_view kept, char typed, char separator);
// The filter applied to inserted (typed or pasted) text, character by character: what is taken of it.
// "12,3.4-e" inserted into an empty box gives "12.34" with ".", "12,34" with ",".
std::string FilterNumberText(std::string_view kept, std::string_view inserted, char separator);

}  // namespace quillmar
