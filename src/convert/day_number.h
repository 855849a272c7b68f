// Stored dates: whole day numbers and the calendar dates they stand for.
//
// A stored date is the number of days since 31 December 1967 (day 0); day 1 is 1 January 1968,
// day 732 is 1 January 1970, and earlier dates have negative numbers. The calendar is the
// proleptic Gregorian one (every fourth year is leap, except centuries not divisible by 400),
// so each day from 1 January 0001 to 31 December 9999 has exactly one number and adding n to
// a number gives the date n days later.
//
// These functions are pure and never fail: callers check IsValidCivilDate before converting
// a calendar date they did not make themselves.
#pragma once

#include <cstdint>

namespace varnolde {

struct CivilDate {
  int year;   // 1..9999 for the dates the converter reads and writes
  int month;  // 1..12
  int day;    // 1..DaysInMonth(year, month)
  friend bool operator==(const CivilDate&, const CivilDate&) = default;
};

bool IsLeapYear(int year);
// 28..31; 0 when month is outside 1..12.
int DaysInMonth(int year, int month);
bool IsValidCivilDate(const CivilDate& date);

// REQUIRES: IsValidCivilDate(date).
std::int64_t DayNumberFromCivil(const CivilDate& date);
// REQUIRES: |day_number| < kMaxDayNumberMagnitude. The year of the result may fall outside
// 1..9999; callers that write four-digit years check it.
inline constexpr std::int64_t kMaxDayNumberMagnitude = 1'000'000'000;
CivilDate CivilFromDayNumber(std::int64_t day_number);

}  // namespace varnolde
