// How two stored values compare, in criteria and in sorting.
//
// Texts are compared as numbers only when both are canonical numbers: an optional minus, digits
// with no leading zero unless the integer part is 0, and optional decimals that do not end in
// zero ("-0" is not canonical: zero has the one text "0"). Otherwise they compare as UTF-8
// bytes. So "002" and "02" stay distinct codes while day numbers 9999 and 10000 compare by value,
// and since every number has one canonical text, equality is always byte equality.
//
// A dictionary item may force a mode: kText compares bytes only; kNumber compares any decimal
// text by value ("002" = "2") and places texts that are not numbers before all numbers.
//
// Pairwise, a number and a text compare as bytes. That rule is not transitive when texts that
// begin like numbers ("1a", "007") meet numbers, so sorting uses a total order that agrees with
// it everywhere else: first texts below "-" in byte order (the empty text among them), then the
// canonical numbers by value, then the other texts in byte order.
#pragma once

#include <string>
#include <string_view>

namespace varnolde::mvdb {

enum class CompareMode { kDefault, kText, kNumber };

// Whether text is a canonical number (see above).
bool IsCanonicalNumber(std::string_view text);

// Orders two canonical numbers by value. REQUIRES: both canonical.
int CompareCanonicalNumbers(std::string_view a, std::string_view b);

// Orders two texts by bytes (negative, 0, positive).
int CompareBytes(std::string_view a, std::string_view b);

// The pairwise comparison used by criteria, in the given mode.
int CompareValues(std::string_view a, std::string_view b, CompareMode mode);

// The same with the canonical-number test of b done beforehand (criteria compare many stored
// values against one constant).
int CompareWithConstant(std::string_view value, std::string_view constant, bool constant_is_number,
                        CompareMode mode);

// The total order used for sorting (see above).
int CompareForSort(std::string_view a, std::string_view b, CompareMode mode);

// The same order split in two, so that a sort can prepare each value once: SortRank gives the
// value's rank in the mode (lower ranks sort first) and the text to compare within the rank,
// which may be written to scratch; CompareRanked then compares two prepared values.
int SortRank(std::string_view value, CompareMode mode, std::string& scratch,
             std::string_view& compare_text);
int CompareRanked(int rank_a, std::string_view a, int rank_b, std::string_view b);

// The canonical text of a decimal number written any way ("007.50" -> "7.5", "-0" -> "0");
// false when text is not a plain decimal number (digits with an optional minus and point).
bool NormalizeDecimal(std::string_view text, std::string& canonical);

// The canonical text of a double rounded to 9 decimals: no exponent, no trailing zeros
// (123456.00000000001 -> "123456", 0.5 -> "0.5", -0.0 -> "0"). REQUIRES: number is finite.
std::string CanonicalNumberText(double number);

}  // namespace varnolde::mvdb
