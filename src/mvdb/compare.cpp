#include "mvdb/compare.h"

#include <cstdio>
#include <cstring>

namespace varnolde::mvdb {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

int Sign(int v) { return (v > 0) - (v < 0); }

// Splits a canonical number into sign, integer digits and decimal digits.
struct NumberParts {
  bool negative;
  std::string_view integer;
  std::string_view decimals;
};

NumberParts Split(std::string_view text) {
  NumberParts parts{false, {}, {}};
  if (!text.empty() && text[0] == '-') {
    parts.negative = true;
    text.remove_prefix(1);
  }
  std::size_t dot = text.find('.');
  if (dot == std::string_view::npos) {
    parts.integer = text;
  } else {
    parts.integer = text.substr(0, dot);
    parts.decimals = text.substr(dot + 1);
  }
  return parts;
}

int CompareMagnitudes(const NumberParts& a, const NumberParts& b) {
  if (a.integer.size() != b.integer.size()) return a.integer.size() < b.integer.size() ? -1 : 1;
  if (int c = a.integer.compare(b.integer)) return Sign(c);
  // Decimals never end in zero, so byte order of the decimal digits is numeric order.
  return Sign(a.decimals.compare(b.decimals));
}

// Rank of a text in the sort order of the default mode.
int SortRank(std::string_view text, bool is_number) {
  if (is_number) return 1;
  if (text.empty() || static_cast<unsigned char>(text[0]) < static_cast<unsigned char>('-')) {
    return 0;
  }
  return 2;
}

// A decimal text read once: optional minus, integer digits, optionally a point and decimal
// digits, and nothing else (ok false otherwise). Canonical checks and normalising share it.
struct DecimalScan {
  bool ok = false;
  bool negative = false;
  bool has_point = false;
  std::string_view integer;
  std::string_view decimals;
};

DecimalScan ScanDecimal(std::string_view text) {
  DecimalScan scan;
  std::size_t i = 0;
  if (i < text.size() && text[i] == '-') {
    scan.negative = true;
    ++i;
  }
  const std::size_t int_start = i;
  while (i < text.size() && IsDigit(text[i])) ++i;
  scan.integer = text.substr(int_start, i - int_start);
  if (i < text.size() && text[i] == '.') {
    scan.has_point = true;
    const std::size_t dec_start = ++i;
    while (i < text.size() && IsDigit(text[i])) ++i;
    scan.decimals = text.substr(dec_start, i - dec_start);
  }
  scan.ok = i == text.size();
  return scan;
}

}  // namespace

bool IsCanonicalNumber(std::string_view text) {
  const DecimalScan scan = ScanDecimal(text);
  if (!scan.ok || scan.integer.empty()) return false;
  if (scan.integer.size() > 1 && scan.integer.front() == '0') return false;  // "007"
  if (scan.has_point) return !scan.decimals.empty() && scan.decimals.back() != '0';
  return !(scan.negative && scan.integer == "0");  // "-0" is not canonical
}

int CompareCanonicalNumbers(std::string_view a, std::string_view b) {
  NumberParts pa = Split(a);
  NumberParts pb = Split(b);
  if (pa.negative != pb.negative) return pa.negative ? -1 : 1;
  int magnitude = CompareMagnitudes(pa, pb);
  return pa.negative ? -magnitude : magnitude;
}

int CompareBytes(std::string_view a, std::string_view b) {
  std::size_t n = a.size() < b.size() ? a.size() : b.size();
  if (n != 0) {
    if (int c = std::memcmp(a.data(), b.data(), n)) return Sign(c);
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

bool NormalizeDecimal(std::string_view text, std::string& canonical) {
  const DecimalScan scan = ScanDecimal(text);
  std::string_view integer = scan.integer;
  std::string_view decimals = scan.decimals;
  const bool negative = scan.negative;
  if (!scan.ok || (integer.empty() && decimals.empty())) return false;
  while (!integer.empty() && integer.front() == '0') integer.remove_prefix(1);
  while (!decimals.empty() && decimals.back() == '0') decimals.remove_suffix(1);
  canonical.clear();
  if (negative && !(integer.empty() && decimals.empty())) canonical.push_back('-');
  if (integer.empty())
    canonical.push_back('0');
  else
    canonical.append(integer);
  if (!decimals.empty()) {
    canonical.push_back('.');
    canonical.append(decimals);
  }
  return true;
}

namespace {

// kNumber mode: numbers by value, texts that are not numbers before them, in byte order.
int CompareAsNumbers(std::string_view a, std::string_view b) {
  std::string ca, cb;
  bool na = NormalizeDecimal(a, ca);
  bool nb = NormalizeDecimal(b, cb);
  if (na && nb) return CompareCanonicalNumbers(ca, cb);
  if (na != nb) return na ? 1 : -1;
  return CompareBytes(a, b);
}

}  // namespace

int CompareWithConstant(std::string_view value, std::string_view constant, bool constant_is_number,
                        CompareMode mode) {
  switch (mode) {
    case CompareMode::kText:
      return CompareBytes(value, constant);
    case CompareMode::kNumber:
      return CompareAsNumbers(value, constant);
    case CompareMode::kDefault:
      break;
  }
  if (constant_is_number && IsCanonicalNumber(value)) {
    return CompareCanonicalNumbers(value, constant);
  }
  return CompareBytes(value, constant);
}

int CompareValues(std::string_view a, std::string_view b, CompareMode mode) {
  return CompareWithConstant(a, b, IsCanonicalNumber(b), mode);
}

// Ranks: 0 texts first, 1 canonical numbers (compared by value), 2 texts last.
int SortRank(std::string_view value, CompareMode mode, std::string& scratch,
             std::string_view& compare_text) {
  compare_text = value;
  switch (mode) {
    case CompareMode::kText:
      return 0;
    case CompareMode::kNumber:
      if (!NormalizeDecimal(value, scratch)) return 0;
      compare_text = scratch;
      return 1;
    case CompareMode::kDefault:
      break;
  }
  return SortRank(value, IsCanonicalNumber(value));
}

int CompareRanked(int rank_a, std::string_view a, int rank_b, std::string_view b) {
  if (rank_a != rank_b) return rank_a < rank_b ? -1 : 1;
  return rank_a == 1 ? CompareCanonicalNumbers(a, b) : CompareBytes(a, b);
}

int CompareForSort(std::string_view a, std::string_view b, CompareMode mode) {
  std::string scratch_a, scratch_b;
  std::string_view text_a, text_b;
  int rank_a = SortRank(a, mode, scratch_a, text_a);
  int rank_b = SortRank(b, mode, scratch_b, text_b);
  return CompareRanked(rank_a, text_a, rank_b, text_b);
}

std::string CanonicalNumberText(double number) {
  char buffer[400];
  // %f never uses an exponent; the largest double needs 309 integer digits.
  int length = std::snprintf(buffer, sizeof buffer, "%.9f", number);
  std::string_view text(buffer, length > 0 ? static_cast<std::size_t>(length) : 0);
  std::size_t dot = text.find('.');
  if (dot != std::string_view::npos) {
    std::size_t end = text.size();
    while (end > dot + 1 && text[end - 1] == '0') --end;
    if (end == dot + 1) end = dot;
    text = text.substr(0, end);
  }
  if (text == "-0") return "0";
  return std::string(text);
}

}  // namespace varnolde::mvdb
