#include "toolkit/headless/utf8_text.h"

#include <unicode/utf8.h>

namespace varnolde::headless {

int CharCount(std::string_view text) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
  const auto length = static_cast<int32_t>(text.size());
  int count = 0;
  for (int32_t i = 0; i < length; ++count) U8_FWD_1(bytes, i, length);
  return count;
}

std::size_t ByteOffset(std::string_view text, int index) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
  const auto length = static_cast<int32_t>(text.size());
  int32_t i = 0;
  for (int n = 0; n < index && i < length; ++n) U8_FWD_1(bytes, i, length);
  return static_cast<std::size_t>(i);
}

bool AppendCodePoint(std::string& out, int code_point) {
  if (code_point < 0 || code_point > 0x10FFFF || U_IS_SURROGATE(code_point)) return false;
  uint8_t buffer[U8_MAX_LENGTH];
  int32_t length = 0;
  U8_APPEND_UNSAFE(buffer, length, code_point);
  out.append(reinterpret_cast<const char*>(buffer), static_cast<std::size_t>(length));
  return true;
}

DecodedText Decode(std::string_view text) {
  DecodedText result;
  const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
  const auto length = static_cast<int32_t>(text.size());
  for (int32_t i = 0; i < length;) {
    const int32_t start = i;
    UChar32 code_point = 0;
    U8_NEXT(bytes, i, length, code_point);
    if (code_point < 0) {
      result.bad_byte = static_cast<std::size_t>(start);
      return result;
    }
    result.code_points.push_back(code_point);
  }
  return result;
}

}  // namespace varnolde::headless
