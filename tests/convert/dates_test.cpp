// Stored dates through the conversion object: every day of 1900..2100 against the standard
// library's calendar, the forms TextToDate accepts and refuses, and the month bounds that the
// panel computes from them.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "components/errors.h"
#include "convert/format_converter.h"
#include "convert/regional.h"

namespace varnolde {
namespace {

using namespace std::chrono;

class DatesTest : public ::testing::Test {
 protected:
  std::shared_ptr<const FormatConverter> converter_ =
      MakeFormatConverter(MakeRegionalSettings("fr_FR"));

  long ToDay(const std::string& text) const { return std::stol(converter_->TextToDate(text)); }
  std::string ToText(long day) const { return converter_->DateToText(std::to_string(day)); }

  void ExpectRefused(const std::string& text, ErrorNumber number) const {
    try {
      converter_->TextToDate(text);
      ADD_FAILURE() << "accepted \"" << text << "\"";
    } catch (const ComponentError& e) {
      EXPECT_EQ(e.number(), number) << text;
    }
  }
};

std::string DdMmYyyy(const year_month_day& date) {
  char text[48];
  std::snprintf(text, sizeof text, "%02u/%02u/%04d", static_cast<unsigned>(date.day()),
                static_cast<unsigned>(date.month()), static_cast<int>(date.year()));
  return text;
}

TEST_F(DatesTest, DayNumbersCountFromTheLastDayOf1967) {
  EXPECT_EQ(converter_->TextToDate("31/12/1967"), "0");
  EXPECT_EQ(converter_->TextToDate("01/01/1968"), "1");
  EXPECT_EQ(converter_->TextToDate("01/01/1970"), "732");
  EXPECT_EQ(converter_->TextToDate("30/12/1967"), "-1");
  EXPECT_EQ(converter_->DateToText("0"), "31/12/1967");
  EXPECT_EQ(converter_->DateToText("-366"), "30/12/1966");
}

// Covers the round trip DateToText(TextToDate(x)) for every day of 1968..2100 and beyond.
TEST_F(DatesTest, EveryDayFrom1900To2100MatchesTheCalendarAndRoundTrips) {
  const sys_days day_zero = sys_days(1967y / December / 31);
  int checked = 0;
  for (sys_days day = sys_days(1900y / January / 1); day <= sys_days(2100y / December / 31);
       day += days(1)) {
    const long number = (day - day_zero).count();
    const std::string text = DdMmYyyy(year_month_day(day));
    ASSERT_EQ(ToText(number), text);
    ASSERT_EQ(ToDay(text), number);
    ASSERT_EQ(converter_->DateToText(converter_->TextToDate(text)), text);
    ++checked;
  }
  EXPECT_EQ(checked, 73414);
}

TEST_F(DatesTest, AcceptsOneOrTwoDigitDayAndMonthWithBlanksAround) {
  const std::string june_first = converter_->TextToDate("01/06/2004");
  EXPECT_EQ(converter_->TextToDate("01/6/2004"), june_first);
  EXPECT_EQ(converter_->TextToDate("1/6/2004"), june_first);
  EXPECT_EQ(converter_->TextToDate("1/06/2004"), june_first);
  EXPECT_EQ(converter_->TextToDate("  01/06/2004\t"), june_first);
  EXPECT_EQ(converter_->TextToDate("31/12/9999"), converter_->TextToDate("31/12/9999 "));
  EXPECT_EQ(converter_->DateToText(converter_->TextToDate("1/1/0001")), "01/01/0001");
}

TEST_F(DatesTest, RefusesTextsThatAreNotDates) {
  for (const char* text : {"", "   ", "31/04/2004", "00/01/2004", "32/01/2004", "01/00/2004",
                           "01/13/2004", "01/06/04", "01/06/20041", "001/06/2004", "01/006/2004",
                           "01-06-2004", "01.06.2004", "1//2004", "01/06/2004x", "x01/06/2004",
                           "01 /06/2004", "01/06/0000", "-1/06/2004", "01/06/+004",
                           "29/02/2003", "29/02/1900", "29/02/2100", "30/02/2004"}) {
    ExpectRefused(text, err::kTypeMismatch);
  }
}

TEST_F(DatesTest, DateToTextRefusesNonIntegersAndOutOfRangeDays) {
  const long last = ToDay("31/12/9999");
  const long first = ToDay("01/01/0001");
  EXPECT_EQ(ToText(last), "31/12/9999");
  EXPECT_EQ(ToText(first), "01/01/0001");
  const std::pair<std::string, ErrorNumber> cases[] = {
      {"", err::kTypeMismatch},   {"  ", err::kTypeMismatch},  {"abc", err::kTypeMismatch},
      {"12.5", err::kTypeMismatch}, {"12,0", err::kTypeMismatch}, {"1e3", err::kTypeMismatch},
      {"+5", err::kTypeMismatch}, {"--5", err::kTypeMismatch}, {"5-", err::kTypeMismatch},
      {"0x10", err::kTypeMismatch}, {std::to_string(last + 1), err::kOverflow},
      {std::to_string(first - 1), err::kOverflow}, {"99999999999999999999999", err::kOverflow}};
  for (const auto& [stored, number] : cases) {
    try {
      converter_->DateToText(stored);
      ADD_FAILURE() << "accepted \"" << stored << "\"";
    } catch (const ComponentError& e) {
      EXPECT_EQ(e.number(), number) << stored;
    }
  }
  EXPECT_EQ(converter_->DateToText(" 13271 "), "01/05/2004");
}

// The bounds of a pay period as the contract query computes them: the first of the month, the
// 30th-day probe to detect December, then the first of the next month minus one.
struct MonthBounds {
  std::string first;
  std::string last;
};

MonthBounds PeriodBounds(const FormatConverter& converter, int month, int year) {
  char first[48];
  std::snprintf(first, sizeof first, "01/%02d/%04d", month, year);
  const long start = std::stol(converter.TextToDate(first));
  const std::string probe = converter.DateToText(std::to_string(start + 29));
  const std::string next = probe.substr(3, 2) == "12"
                               ? "01/01/" + std::to_string(year + 1)
                               : "01/" + std::to_string(month + 1) + "/" + std::to_string(year);
  const long end = std::stol(converter.TextToDate(next)) - 1;
  return {converter.DateToText(std::to_string(start)), converter.DateToText(std::to_string(end))};
}

TEST_F(DatesTest, EveryMonthBoundOf1968To2100MatchesTheCalendar) {
  for (int year = 1968; year <= 2100; ++year) {
    for (unsigned month = 1; month <= 12; ++month) {
      const year_month_day_last last_day{std::chrono::year(year), month_day_last(std::chrono::month(month))};
      ASSERT_EQ(PeriodBounds(*converter_, static_cast<int>(month), year).last,
                DdMmYyyy(year_month_day(last_day)));
    }
  }
}

}  // namespace
}  // namespace varnolde
