// Small text helpers of the panel (UTF-8; lengths and cuts count code points).
#pragma once

#include <string>
#include <string_view>

#include "components/utf8.h"

namespace varnolde::panel {

inline size_t Length(std::string_view text) { return utf8::Length(text); }

// The first n characters of text.
inline std::string Left(std::string_view text, size_t n) {
  return std::string(utf8::Left(text, n));
}

// text completed on the left with "0" up to width characters.
inline std::string ZeroPad(std::string_view text, size_t width) {
  const size_t n = Length(text);
  return n >= width ? std::string(text) : std::string(width - n, '0') + std::string(text);
}

inline std::string LTrim(std::string_view text) {
  const size_t start = text.find_first_not_of(' ');
  return start == std::string_view::npos ? std::string() : std::string(text.substr(start));
}

inline std::string Trim(std::string_view text) {
  const size_t start = text.find_first_not_of(' ');
  if (start == std::string_view::npos) return {};
  const size_t end = text.find_last_not_of(' ');
  return std::string(text.substr(start, end - start + 1));
}

// X between double quotes, as the query sentences write their values.
inline std::string Quoted(std::string_view value) {
  return "\"" + std::string(value) + "\"";
}

inline bool IsDigitKey(int key_code) { return key_code >= '0' && key_code <= '9'; }

}  // namespace varnolde::panel
