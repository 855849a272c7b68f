// UTF-8 texts measured and cut in characters.
//
// Texts are kept as UTF-8 bytes while widths, carets, maximum lengths and error positions count
// characters (Unicode code points). An ill-formed sequence counts as one character per maximal
// subpart (it ends at the first byte that cannot continue it), the way a display shows one
// replacement character for it, so that any byte string can be measured and cut without loss.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace varnolde::utf8 {

// The code point that begins at byte `at` (before text's end), moving `at` past it; -1 for an
// ill-formed sequence, `at` then past its maximal subpart (at least one byte).
int Next(std::string_view text, std::size_t& at);

// Characters in text.
std::size_t Length(std::string_view text);
// Characters that begin before byte `offset`.
std::size_t CharsBefore(std::string_view text, std::size_t offset);
// The byte offset of character `index` (text's size when the text is shorter).
std::size_t ByteOffset(std::string_view text, std::size_t index);
// The first `count` characters of text.
inline std::string_view Left(std::string_view text, std::size_t count) {
  return text.substr(0, ByteOffset(text, count));
}
// The byte offset of the first ill-formed sequence (overlong forms, surrogates and values past
// U+10FFFF included), or std::string_view::npos.
std::size_t FirstInvalid(std::string_view text);
inline bool IsValid(std::string_view text) { return FirstInvalid(text) == std::string_view::npos; }

// Appends code_point to out; false (and out unchanged) for a negative value, a surrogate or a
// value beyond U+10FFFF.
bool Append(std::string& out, int code_point);

}  // namespace varnolde::utf8
