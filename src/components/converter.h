// The conversion object and the user's regional settings.
//
// RegionalSettings answers what the user's locale decides: month names, capitals, the decimal
// separator. FormatConverter is the payroll application's conversion object: stored dates are
// whole day numbers written in decimal, day 1 being 1 January 1968 (day 0 = 31 December 1967,
// the convention of multivalue databases), so that adding n gives the date n days later.
//
// Conversions that fail raise ComponentError err::kTypeMismatch (a text that is not a date or
// a number) or err::kOverflow (out of range).
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "components/toolkit.h"

namespace varnolde {

struct YearMonth {
  int year;   // four digits
  int month;  // 1..12
  friend bool operator==(const YearMonth&, const YearMonth&) = default;
};

class RegionalSettings {
 public:
  virtual ~RegionalSettings() = default;
  virtual std::string LocaleName() const = 0;  // e.g. "fr_FR"
  // The first day of that month formatted "mmmm yyyy" in the user's language, in capitals
  // by the locale's rules, the year in the digits 0-9: "MARS 2002", "FÉVRIER 2004".
  virtual std::string MonthYearText(YearMonth period) const = 0;
  // Reads such a text back in any case, in every locale; raises kTypeMismatch.
  virtual YearMonth ParseMonthYear(std::string_view text) const = 0;
  // The pattern "####0.00": at least one integer digit, exactly two decimals, no grouping,
  // the regional decimal separator. 12.5 -> "12,50" in French.
  virtual std::string FormatFixed2(double number) const = 0;
  // A number written with the regional decimal separator; blanks around it are ignored.
  // Raises kTypeMismatch for anything else (an empty text included).
  virtual double ToNumber(std::string_view text) const = 0;
  // The decimal separator as a Unicode code point (',' in French).
  virtual char32_t DecimalSeparator() const = 0;
  // Upper case by the language-independent rules the database's UPCASE uses ("Léa" -> "LÉA",
  // "dupuis" -> "DUPUIS" in every locale), so that a typed name meets the stored names.
  virtual std::string ToUpper(std::string_view text) const = 0;
};

class FormatConverter {
 public:
  virtual ~FormatConverter() = default;
  // "dd/mm/yyyy" with one- or two-digit day and month -> stored day number text.
  virtual std::string TextToDate(std::string_view text) const = 0;
  // Stored day number -> "dd/mm/yyyy", always ten characters.
  virtual std::string DateToText(std::string_view stored) const = 0;
  // The amount held by the box, normalised (see docs/regional-settings.md).
  virtual std::string FormatNumberField(const TextBox& box, int integer_digits,
                                        int decimals) const = 0;
  // An amount text as the amount box shows it (see docs/regional-settings.md).
  virtual std::string FormatAmountText(std::string_view text, bool with_decimals) const = 0;
};

}  // namespace varnolde
