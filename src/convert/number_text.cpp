#include "convert/number_text.h"

namespace varnolde::convert_internal {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::string_view TakeDigits(std::string_view& rest) {
  std::size_t n = 0;
  while (n < rest.size() && IsDigit(rest[n])) ++n;
  std::string_view digits = rest.substr(0, n);
  rest.remove_prefix(n);
  return digits;
}

}  // namespace

int NumberText::SignificantIntegerDigits() const {
  const std::size_t first = integer_digits.find_first_not_of('0');
  return first == std::string::npos ? 0 : static_cast<int>(integer_digits.size() - first);
}

int NumberText::SignificantDecimals() const {
  const std::size_t last = decimal_digits.find_last_not_of('0');
  return last == std::string::npos ? 0 : static_cast<int>(last + 1);
}

std::string NumberText::PlainText() const {
  std::string text = negative ? "-" : "";
  text += integer_digits.empty() ? "0" : integer_digits;
  if (!decimal_digits.empty()) text += "." + decimal_digits;
  return text;
}

void NumberText::RoundDecimals(int decimals) {
  const auto kept = static_cast<std::size_t>(decimals);
  if (decimal_digits.size() <= kept) return;
  const bool round_up = decimal_digits[kept] >= '5';
  decimal_digits.resize(kept);
  if (!round_up) return;
  // Add one unit of the last kept digit, carrying through the decimals into the integer part.
  std::string digits = integer_digits + decimal_digits;
  std::size_t i = digits.size();
  while (i > 0 && digits[i - 1] == '9') digits[--i] = '0';
  if (i == 0) {
    digits.insert(digits.begin(), '1');
  } else {
    ++digits[i - 1];
  }
  integer_digits = digits.substr(0, digits.size() - kept);
  decimal_digits = digits.substr(digits.size() - kept);
}

std::string_view TrimBlanks(std::string_view text) {
  const std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  const std::size_t last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

std::optional<NumberText> ScanNumberText(std::string_view text, std::string_view separator) {
  std::string_view rest = TrimBlanks(text);
  NumberText number;
  if (!rest.empty() && rest.front() == '-') {
    number.negative = true;
    rest.remove_prefix(1);
  }
  number.integer_digits = std::string(TakeDigits(rest));
  if (!separator.empty() && rest.starts_with(separator)) {
    rest.remove_prefix(separator.size());
    number.decimal_digits = std::string(TakeDigits(rest));
  }
  if (!rest.empty()) return std::nullopt;
  if (number.integer_digits.empty() && number.decimal_digits.empty()) return std::nullopt;
  return number;
}

}  // namespace varnolde::convert_internal
