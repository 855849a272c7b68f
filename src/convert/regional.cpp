// RegionalSettings on ICU: one date format "MMMM yyyy" and one decimal format "###0.00" per
// locale, built once and guarded by a mutex (ICU formats are not safe for concurrent use).
#include "convert/regional.h"

#include <unicode/dcfmtsym.h>
#include <unicode/decimfmt.h>
#include <unicode/gregocal.h>
#include <unicode/smpdtfmt.h>
#include <unicode/timezone.h>
#include <unicode/unistr.h>

#include <array>
#include <charconv>
#include <cmath>
#include <mutex>

#include "components/errors.h"
#include "convert/day_number.h"
#include "convert/locale_names.h"
#include "convert/number_text.h"

namespace varnolde {
namespace {

using convert_internal::NumberText;

constexpr double kMillisecondsPerDay = 86400000.0;
constexpr std::int64_t kUnixEpochDayNumber = 732;  // 1 January 1970 in the stored form
constexpr int kSampleYear = 2000;

std::string ToUtf8(const icu::UnicodeString& text) {
  std::string result;
  text.toUTF8String(result);
  return result;
}

icu::UnicodeString FromUtf8(std::string_view text) {
  return icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
}

[[noreturn]] void ThrowNotAPeriod(std::string_view text) {
  throw ComponentError(err::kTypeMismatch, "Type incompatible : « " + std::string(text) +
                                               " » n'est pas un mois suivi d'une année");
}

class IcuRegionalSettings final : public RegionalSettings {
 public:
  IcuRegionalSettings(std::string locale_name, const icu::Locale& locale)
      : locale_name_(std::move(locale_name)), locale_(locale) {
    // Years are written with the digits 0-9 in every locale, as amounts are.
    UErrorCode status = U_ZERO_ERROR;
    icu::Locale date_locale(locale_);
    date_locale.setKeywordValue("numbers", "latn", status);
    status = U_ZERO_ERROR;
    month_year_format_ = std::make_unique<icu::SimpleDateFormat>(
        icu::UnicodeString(u"MMMM yyyy"), date_locale, status);
    if (U_FAILURE(status)) {
      // Only a broken ICU installation gets here; root data always exists.
      status = U_ZERO_ERROR;
      month_year_format_ = std::make_unique<icu::SimpleDateFormat>(
          icu::UnicodeString(u"MMMM yyyy"), icu::Locale::getRoot(), status);
    }
    // Periods are months of the Gregorian calendar whatever the locale's own calendar, read
    // at midnight UTC so that a day number is never shifted by a time zone.
    status = U_ZERO_ERROR;
    icu::GregorianCalendar calendar(*icu::TimeZone::getGMT(), locale_, status);
    calendar.setGregorianChange(U_DATE_MIN, status);  // proleptic, as day numbers are
    month_year_format_->setCalendar(calendar);
    month_year_format_->setTimeZone(*icu::TimeZone::getGMT());
    // What each month's text holds before its year: a Gregorian month's name does not depend
    // on the year, so reading a period back is a comparison with these twelve texts.
    for (int month = 1; month <= 12; ++month) {
      std::string text = MonthYearText(YearMonth{kSampleYear, month});
      text.resize(text.size() - 4);
      month_prefixes_[static_cast<std::size_t>(month - 1)] = std::move(text);
    }

    // Amounts are typed with the digits 0-9 in every locale, so number formats use the Latin
    // digits with the locale's separators, and a plain "-" that ToNumber reads back.
    icu::Locale number_locale(locale_);
    status = U_ZERO_ERROR;
    number_locale.setKeywordValue("numbers", "latn", status);
    status = U_ZERO_ERROR;
    icu::DecimalFormatSymbols symbols(number_locale, status);
    if (U_FAILURE(status)) {
      status = U_ZERO_ERROR;
      symbols = icu::DecimalFormatSymbols(icu::Locale::getRoot(), status);
    }
    symbols.setSymbol(icu::DecimalFormatSymbols::kMinusSignSymbol, icu::UnicodeString(u"-"));
    const icu::UnicodeString separator =
        symbols.getSymbol(icu::DecimalFormatSymbols::kDecimalSeparatorSymbol);
    decimal_separator_utf8_ = separator.isEmpty() ? "." : ToUtf8(separator);
    decimal_separator_ = separator.isEmpty() ? U'.' : static_cast<char32_t>(separator.char32At(0));
    status = U_ZERO_ERROR;
    fixed2_format_ =
        std::make_unique<icu::DecimalFormat>(icu::UnicodeString(u"###0.00"), symbols, status);
    fixed2_format_->setGroupingUsed(false);
    // Ties away from zero, as amounts are rounded by hand: 0.125 -> 0.13, -2.345 -> -2.35.
    fixed2_format_->setRoundingMode(icu::DecimalFormat::kRoundHalfUp);
  }

  std::string LocaleName() const override { return locale_name_; }

  std::string MonthYearText(YearMonth period) const override {
    if (period.month < 1 || period.month > 12 || period.year < 1 || period.year > 9999) {
      throw ComponentError(err::kOverflow, "Dépassement de capacité : période " +
                                               std::to_string(period.month) + "/" +
                                               std::to_string(period.year));
    }
    const std::int64_t day = DayNumberFromCivil(CivilDate{period.year, period.month, 1});
    const double when = static_cast<double>(day - kUnixEpochDayNumber) * kMillisecondsPerDay;
    icu::UnicodeString text;
    {
      std::lock_guard lock(mutex_);
      month_year_format_->format(when, text);
    }
    return ToUtf8(text.toUpper(locale_));
  }

  // Read by comparing the text, in the locale's capitals, with the texts MonthYearText writes,
  // never by ICU's date parser: that one cannot read every locale's capitals back (Turkish
  // dotted capitals, Greek capitals without their accents).
  YearMonth ParseMonthYear(std::string_view text) const override {
    const std::string_view trimmed = convert_internal::TrimBlanks(text);
    // "yyyy": the last four characters are the year's digits.
    int year = 0;
    if (trimmed.size() <= 4) ThrowNotAPeriod(trimmed);
    const std::string_view year_text = trimmed.substr(trimmed.size() - 4);
    const auto [end, error] =
        std::from_chars(year_text.data(), year_text.data() + year_text.size(), year);
    if (error != std::errc() || end != year_text.data() + year_text.size() || year < 1) {
      ThrowNotAPeriod(trimmed);
    }
    const std::string upper =
        ToUtf8(FromUtf8(trimmed.substr(0, trimmed.size() - 4)).toUpper(locale_));
    for (int month = 1; month <= 12; ++month) {
      if (month_prefixes_[static_cast<std::size_t>(month - 1)] == upper) return {year, month};
    }
    ThrowNotAPeriod(trimmed);
  }

  std::string FormatFixed2(double number) const override {
    if (!std::isfinite(number)) {
      throw ComponentError(err::kOverflow, "Dépassement de capacité : montant infini");
    }
    // Whatever rounds to zero is written without a sign.
    if (std::fabs(number) < 0.005) number = 0.0;
    icu::UnicodeString text;
    {
      std::lock_guard lock(mutex_);
      fixed2_format_->format(number, text);
    }
    return ToUtf8(text);
  }

  double ToNumber(std::string_view text) const override {
    const std::optional<NumberText> number =
        convert_internal::ScanNumberText(text, decimal_separator_utf8_);
    if (!number) {
      throw ComponentError(err::kTypeMismatch, "Type incompatible : « " + std::string(text) +
                                                   " » n'est pas un nombre");
    }
    const std::string plain = number->PlainText();
    double value = 0;
    const auto [end, error] = std::from_chars(plain.data(), plain.data() + plain.size(), value);
    if (error != std::errc() || end != plain.data() + plain.size() || !std::isfinite(value)) {
      throw ComponentError(err::kOverflow, "Dépassement de capacité : « " + std::string(text) +
                                               " »");
    }
    return value;
  }

  char32_t DecimalSeparator() const override { return decimal_separator_; }

  std::string ToUpper(std::string_view text) const override {
    return ToUtf8(FromUtf8(text).toUpper(icu::Locale::getRoot()));
  }

 private:
  std::string locale_name_;
  icu::Locale locale_;
  std::string decimal_separator_utf8_;
  char32_t decimal_separator_ = U'.';
  mutable std::mutex mutex_;
  std::unique_ptr<icu::SimpleDateFormat> month_year_format_;
  std::unique_ptr<icu::DecimalFormat> fixed2_format_;
  std::array<std::string, 12> month_prefixes_;  // "MARS " of "MARS 2002", January first
};

}  // namespace

std::shared_ptr<const RegionalSettings> MakeRegionalSettings(std::string_view locale) {
  std::string name = locale.empty() ? LocaleFromEnvironment()
                                    : convert_internal::NormaliseLocaleName(locale);
  const icu::Locale behaviour = convert_internal::HasLanguageData(name)
                                    ? icu::Locale(name.c_str())
                                    : icu::Locale::getRoot();
  return std::make_shared<IcuRegionalSettings>(std::move(name), behaviour);
}

}  // namespace varnolde
