// Character-level editing of UTF-8 texts for the headless toolkit (internal).
//
// Carets, maximum lengths and key codes count characters (code points), while texts are kept
// as UTF-8 bytes. An ill-formed byte counts as one character, so that any text the program
// sets can be edited without loss.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace varnolde::headless {

int CharCount(std::string_view text);

// The byte offset of character index (clamped to the text's end).
std::size_t ByteOffset(std::string_view text, int index);

// Appends code point to out; false (and out unchanged) for a surrogate or a value beyond
// U+10FFFF.
bool AppendCodePoint(std::string& out, int code_point);

// The code points of text, or the byte offset of its first ill-formed sequence.
struct DecodedText {
  std::vector<int> code_points;
  std::optional<std::size_t> bad_byte;
};
DecodedText Decode(std::string_view text);

}  // namespace varnolde::headless
