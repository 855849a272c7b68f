#include "convert/day_number.h"

namespace varnolde {
namespace {

// Days from 1 January 1970 to 31 December 1967 (day 0 of the stored form).
constexpr std::int64_t kDayZeroFromUnixEpoch = -732;

// Days since 1 January 1970 of a proleptic Gregorian date. The year is shifted to start in
// March, so that the leap day ends a cycle; eras are the 400-year cycles of 146097 days.
std::int64_t DaysFromCivil(std::int64_t year, int month, int day) {
  year -= month <= 2 ? 1 : 0;
  const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
  const std::int64_t year_of_era = year - era * 400;                         // [0, 399]
  const std::int64_t shifted_month = month > 2 ? month - 3 : month + 9;      // March = 0
  const std::int64_t day_of_year = (153 * shifted_month + 2) / 5 + day - 1;  // [0, 365]
  const std::int64_t day_of_era =
      year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;  // [0, 146096]
  return era * 146097 + day_of_era - 719468;
}

}  // namespace

bool IsLeapYear(int year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month) {
  static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return 0;
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

bool IsValidCivilDate(const CivilDate& date) {
  return date.day >= 1 && date.day <= DaysInMonth(date.year, date.month);
}

std::int64_t DayNumberFromCivil(const CivilDate& date) {
  return DaysFromCivil(date.year, date.month, date.day) - kDayZeroFromUnixEpoch;
}

CivilDate CivilFromDayNumber(std::int64_t day_number) {
  // The inverse of DaysFromCivil, on the same March-based 400-year cycles.
  const std::int64_t days = day_number + kDayZeroFromUnixEpoch + 719468;
  const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const std::int64_t day_of_era = days - era * 146097;  // [0, 146096]
  const std::int64_t year_of_era =
      (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
  const std::int64_t day_of_year =
      day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
  const std::int64_t shifted_month = (5 * day_of_year + 2) / 153;  // March = 0
  const int day = static_cast<int>(day_of_year - (153 * shifted_month + 2) / 5 + 1);
  const int month = static_cast<int>(shifted_month < 10 ? shifted_month + 3 : shifted_month - 9);
  const std::int64_t year = year_of_era + era * 400 + (month <= 2 ? 1 : 0);
  return CivilDate{static_cast<int>(year), month, day};
}

}  // namespace varnolde
