// Counting, cutting and checking UTF-8 texts, well-formed or not.
#include <gtest/gtest.h>

#include "components/utf8.h"

namespace varnolde {
namespace {

constexpr auto kNone = std::string_view::npos;

TEST(Utf8, AnIllFormedSequenceCountsOneCharacterPerMaximalSubpart) {
  struct Case {
    std::string_view text;
    std::size_t length;
    std::size_t first_invalid;
  };
  const Case cases[] = {
      {"", 0, kNone},
      {"abc", 3, kNone},
      {"é€𝄞", 3, kNone},
      {"a\xC3", 2, 1},               // cut short at the end
      {"\xC3\x28\xA0", 3, 0},        // a lead byte, then bytes that cannot follow it
      {"\xE2\x82", 1, 0},            // a truncated three-byte form is one subpart
      {"\xC0\xAF", 2, 0},            // overlong
      {"\xED\xA0\x80", 3, 0},        // a surrogate
      {"\xF4\x90\x80\x80", 4, 0},    // past U+10FFFF
      {"ab\xFF" "cd", 5, 2},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(utf8::Length(c.text), c.length) << c.text;
    EXPECT_EQ(utf8::FirstInvalid(c.text), c.first_invalid) << c.text;
  }
}

TEST(Utf8, CutsFallOnCharacterBoundaries) {
  EXPECT_EQ(utf8::Left("aé€b", 3), "aé€");
  EXPECT_EQ(utf8::Left("aé", 9), "aé");
  EXPECT_EQ(utf8::CharsBefore("aé€b", 3), 2u);  // "€" begins at byte 3
  EXPECT_EQ(utf8::CharsBefore("aé€b", 4), 3u);
  EXPECT_EQ(utf8::ByteOffset("aé€b", 2), 3u);
}

TEST(Utf8, OnlyScalarValuesAreAppended) {
  std::string out;
  for (int code : {0x41, 0xE9, 0x20AC, 0x1D11E}) EXPECT_TRUE(utf8::Append(out, code));
  EXPECT_EQ(out, "Aé€𝄞");
  for (int code : {-1, 0xD800, 0x110000}) EXPECT_FALSE(utf8::Append(out, code));
  EXPECT_EQ(out, "Aé€𝄞");
}

}  // namespace
}  // namespace varnolde
