#include "convert/format_converter.h"

#include <charconv>
#include <cstdio>
#include <optional>

#include "components/errors.h"
#include "components/utf8.h"
#include "convert/day_number.h"
#include "convert/number_text.h"

namespace varnolde {
namespace {

using convert_internal::NumberText;
using convert_internal::TrimBlanks;

// Stored dates are written for the years a four-digit year can hold.
const std::int64_t kFirstDayNumber = DayNumberFromCivil(CivilDate{1, 1, 1});
const std::int64_t kLastDayNumber = DayNumberFromCivil(CivilDate{9999, 12, 31});

[[noreturn]] void ThrowNotADate(std::string_view text) {
  throw ComponentError(err::kTypeMismatch, "Type incompatible : « " + std::string(text) +
                                               " » n'est pas une date jj/mm/aaaa");
}

std::string Utf8(char32_t code_point) {
  std::string text;
  utf8::Append(text, static_cast<int>(code_point));
  return text;
}

// Reads between min_digits and max_digits ASCII digits from the front of rest.
std::optional<int> TakeNumber(std::string_view& rest, std::size_t min_digits,
                              std::size_t max_digits) {
  std::size_t n = 0;
  while (n < rest.size() && n < max_digits && rest[n] >= '0' && rest[n] <= '9') ++n;
  if (n < min_digits) return std::nullopt;
  int value = 0;
  std::from_chars(rest.data(), rest.data() + n, value);
  rest.remove_prefix(n);
  return value;
}

bool TakeSlash(std::string_view& rest) {
  if (rest.empty() || rest.front() != '/') return false;
  rest.remove_prefix(1);
  return true;
}

class RegionalFormatConverter final : public FormatConverter {
 public:
  explicit RegionalFormatConverter(std::shared_ptr<const RegionalSettings> regional)
      : regional_(std::move(regional)), separator_(Utf8(regional_->DecimalSeparator())) {}

  std::string TextToDate(std::string_view text) const override {
    std::string_view rest = TrimBlanks(text);
    const std::optional<int> day = TakeNumber(rest, 1, 2);
    if (!day || !TakeSlash(rest)) ThrowNotADate(text);
    const std::optional<int> month = TakeNumber(rest, 1, 2);
    if (!month || !TakeSlash(rest)) ThrowNotADate(text);
    const std::optional<int> year = TakeNumber(rest, 4, 4);
    if (!year || !rest.empty()) ThrowNotADate(text);
    const CivilDate date{*year, *month, *day};
    if (date.year < 1 || !IsValidCivilDate(date)) ThrowNotADate(text);
    return std::to_string(DayNumberFromCivil(date));
  }

  std::string DateToText(std::string_view stored) const override {
    const std::string_view trimmed = TrimBlanks(stored);
    const std::optional<NumberText> number = convert_internal::ScanNumberText(trimmed, "");
    if (!number) {
      throw ComponentError(err::kTypeMismatch, "Type incompatible : « " + std::string(stored) +
                                                   " » n'est pas une date enregistrée");
    }
    std::int64_t day_number = 0;
    const std::string plain = number->PlainText();
    const auto [end, error] =
        std::from_chars(plain.data(), plain.data() + plain.size(), day_number);
    if (error != std::errc() || day_number < kFirstDayNumber || day_number > kLastDayNumber) {
      throw ComponentError(err::kOverflow, "Dépassement de capacité : la date enregistrée « " +
                                               std::string(stored) +
                                               " » tombe hors des années 0001 à 9999");
    }
    const CivilDate date = CivilFromDayNumber(day_number);
    char text[48];
    std::snprintf(text, sizeof text, "%02d/%02d/%04d", date.day, date.month, date.year);
    return text;
  }

  std::string FormatNumberField(const TextBox& box, int integer_digits,
                                int decimals) const override {
    return NormaliseAmount(box.Text(), integer_digits, decimals, true);
  }

  std::string FormatAmountText(std::string_view text, bool with_decimals) const override {
    return NormaliseAmount(text, kAmountIntegerDigits, kAmountDecimals, with_decimals);
  }

 private:
  static constexpr int kAmountIntegerDigits = 5;
  static constexpr int kAmountDecimals = 2;

  // The amount rounded to `decimals` decimals on its digits as written (half away from zero)
  // and written with exactly that many (or none, when with_decimals is false and they are all
  // zero); the trimmed text when it is no number or has more than `integer_digits` integer
  // digits. For two decimals the result is what FormatFixed2 writes for the same value.
  std::string NormaliseAmount(std::string_view text, int integer_digits, int decimals,
                              bool with_decimals) const {
    if (integer_digits < 0 || decimals < 0) {
      throw ComponentError(err::kInvalidCall, "Appel de procédure incorrect : " +
                                                  std::to_string(integer_digits) + " chiffres, " +
                                                  std::to_string(decimals) + " décimales");
    }
    const std::string_view trimmed = TrimBlanks(text);
    std::optional<NumberText> number = convert_internal::ScanNumberText(trimmed, separator_);
    if (!number) return std::string(trimmed);
    number->RoundDecimals(decimals);
    if (number->SignificantIntegerDigits() > integer_digits) return std::string(trimmed);
    const std::string& digits = number->integer_digits;
    const std::size_t first = digits.find_first_not_of('0');
    const std::string integer_part = first == std::string::npos ? "0" : digits.substr(first);
    std::string decimal_part =
        number->decimal_digits.substr(0, static_cast<std::size_t>(number->SignificantDecimals()));
    const bool is_zero = integer_part == "0" && decimal_part.empty();
    std::string result = number->negative && !is_zero ? "-" : "";
    result += integer_part;
    if (with_decimals || !decimal_part.empty()) {
      decimal_part.resize(static_cast<std::size_t>(decimals), '0');
      if (!decimal_part.empty()) result += separator_ + decimal_part;
    }
    return result;
  }

  std::shared_ptr<const RegionalSettings> regional_;
  std::string separator_;  // UTF-8
};

}  // namespace

std::shared_ptr<const FormatConverter> MakeFormatConverter(
    std::shared_ptr<const RegionalSettings> regional) {
  if (!regional) {
    throw ComponentError(err::kInvalidCall,
                         "Appel de procédure incorrect : paramètres régionaux absents");
  }
  return std::make_shared<RegionalFormatConverter>(std::move(regional));
}

}  // namespace varnolde
