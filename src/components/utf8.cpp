#include "components/utf8.h"

namespace varnolde::utf8 {

int Next(std::string_view text, std::size_t& at) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at++);
  if (lead < 0x80) return lead;
  // The lead byte gives the length and the range of the first continuation byte, which rules
  // out overlong forms, surrogates and values past U+10FFFF.
  int length = 0;
  int code = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    code = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    code = lead & 0x0F;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    code = lead & 0x07;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return -1;
  }
  for (int k = 1; k < length; ++k, low = 0x80, high = 0xBF) {
    if (at >= text.size() || byte(at) < low || byte(at) > high) return -1;
    code = (code << 6) | (byte(at++) & 0x3F);
  }
  return code;
}

std::size_t Length(std::string_view text) { return CharsBefore(text, text.size()); }

std::size_t CharsBefore(std::string_view text, std::size_t offset) {
  std::size_t count = 0;
  for (std::size_t at = 0; at < offset && at < text.size(); ++count) Next(text, at);
  return count;
}

std::size_t ByteOffset(std::string_view text, std::size_t index) {
  std::size_t at = 0;
  for (std::size_t n = 0; n < index && at < text.size(); ++n) Next(text, at);
  return at;
}

std::size_t FirstInvalid(std::string_view text) {
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t start = at;
    if (Next(text, at) < 0) return start;
  }
  return std::string_view::npos;
}

bool Append(std::string& out, int code_point) {
  if (code_point < 0 || code_point > 0x10FFFF || (code_point >= 0xD800 && code_point <= 0xDFFF)) {
    return false;
  }
  const int length = code_point < 0x80 ? 1 : code_point < 0x800 ? 2 : code_point < 0x10000 ? 3 : 4;
  static constexpr int kLeadBits[] = {0, 0x00, 0xC0, 0xE0, 0xF0};
  char bytes[4];
  for (int k = length - 1; k > 0; --k, code_point >>= 6) {
    bytes[k] = static_cast<char>(0x80 | (code_point & 0x3F));
  }
  bytes[0] = static_cast<char>(kLeadBits[length] | code_point);
  out.append(bytes, static_cast<std::size_t>(length));
  return true;
}

}  // namespace varnolde::utf8
