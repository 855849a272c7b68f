// Reading the text of a plain decimal number, shared by the number conversion and the amount
// normalisation of this directory (not part of the component contracts).
//
// The accepted form is: blanks (spaces, tabs), an optional "-", digits, optionally the decimal
// separator followed by more digits, blanks. At least one digit must appear; "12," and ",5"
// are accepted, grouping separators, exponents and a "+" are not. ScanNumberText never fails:
// it returns nothing for a text of another form.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace varnolde::convert_internal {

struct NumberText {
  bool negative = false;
  std::string integer_digits;  // as written, leading zeros included; may be empty (",5")
  std::string decimal_digits;  // as written, trailing zeros included; may be empty

  // Digits that carry value: integer digits without leading zeros, decimals without
  // trailing zeros ("0012,500" -> 2 and 1).
  int SignificantIntegerDigits() const;
  int SignificantDecimals() const;
  // The number in the C locale's form ("-12.5"), for std::from_chars.
  std::string PlainText() const;
  // Keeps at most `decimals` decimal digits, rounding half away from zero on the digits as
  // written ("12,345" -> "12,35", "-2,675" -> "-2,68", "9,995" -> "10,00"): no binary
  // floating point is involved, so what the clerk typed is what gets rounded.
  void RoundDecimals(int decimals);
};

// Blanks around a text: spaces and tabs.
std::string_view TrimBlanks(std::string_view text);

// separator is the decimal separator in UTF-8 (one or more bytes, never empty).
std::optional<NumberText> ScanNumberText(std::string_view text, std::string_view separator);

}  // namespace varnolde::convert_internal
