// Fuzzes dynamic-array decoding and the comparison of stored values: any bytes, marks anywhere.
// Fields read back as they were written, the attribute index agrees with the plain scan, and
// the orders used by criteria and sorting are consistent.
#include <cstdint>
#include <string>

#include "fuzz_check.h"
#include "mvdb/compare.h"
#include "mvdb/dynarray.h"

namespace {

using namespace varnolde::mvdb;

int Sign(int value) { return (value > 0) - (value < 0); }

void CheckFields(std::string_view text, char mark) {
  const int count = CountFields(text, mark);
  FUZZ_CHECK(count >= 0 && (count == 0) == text.empty());
  // The fields, joined again by the mark, give the text back.
  std::string joined;
  for (int i = 1; i <= count; ++i) {
    if (i > 1) joined += mark;
    joined += ExtractField(text, mark, i);
  }
  FUZZ_CHECK(joined == text);
  FUZZ_CHECK(ExtractField(text, mark, 0).empty() && ExtractField(text, mark, count + 1).empty());
}

void CheckAttributeIndex(std::string_view text) {
  AttributeIndex index(text);
  const int count = CountFields(text, kAM);
  // Read out of order on purpose: the index is built lazily.
  FUZZ_CHECK(index.Attribute(count / 2 + 1) == ExtractField(text, kAM, count / 2 + 1));
  FUZZ_CHECK(index.Count() == count);
  for (int a = -1; a <= count + 2; ++a) FUZZ_CHECK(index.Attribute(a) == ExtractField(text, kAM, a));
}

void CheckReplace(std::string_view text, int index, std::string_view field) {
  const std::string replaced = ReplaceField(text, kAM, index, field);
  FUZZ_CHECK(ExtractField(replaced, kAM, index) == field);
  const int before = CountFields(text, kAM);
  if (!replaced.empty()) FUZZ_CHECK(CountFields(replaced, kAM) == std::max(before, index));
  for (int a = 1; a <= before; ++a) {
    if (a != index) FUZZ_CHECK(ExtractField(replaced, kAM, a) == ExtractField(text, kAM, a));
  }
}

void CheckValues(std::string_view attribute) {
  std::string joined;
  int values = 0;
  AnyValue(attribute, [&](std::string_view value) {
    FUZZ_CHECK(value.find(kVM) == std::string_view::npos && value.find(kSVM) == std::string_view::npos);
    if (values++ > 0) joined += attribute[joined.size()];
    joined += value;
    return false;
  });
  FUZZ_CHECK(joined == attribute);
  FUZZ_CHECK(FirstValue(attribute) == ExtractField(ExtractField(attribute, kVM, 1), kSVM, 1));
}

void CheckCompare(std::string_view a, std::string_view b) {
  for (CompareMode mode : {CompareMode::kDefault, CompareMode::kText, CompareMode::kNumber}) {
    FUZZ_CHECK(CompareValues(a, a, mode) == 0);
    FUZZ_CHECK(Sign(CompareValues(a, b, mode)) == -Sign(CompareValues(b, a, mode)));
    FUZZ_CHECK(Sign(CompareWithConstant(a, b, IsCanonicalNumber(b), mode)) ==
               Sign(CompareValues(a, b, mode)));
    FUZZ_CHECK(CompareForSort(a, a, mode) == 0);
    FUZZ_CHECK(Sign(CompareForSort(a, b, mode)) == -Sign(CompareForSort(b, a, mode)));
  }
  // Equality of canonical numbers is equality of their texts.
  if (IsCanonicalNumber(a) && IsCanonicalNumber(b)) {
    FUZZ_CHECK((CompareCanonicalNumbers(a, b) == 0) == (a == b));
  }
  std::string canonical;
  if (NormalizeDecimal(a, canonical)) {
    FUZZ_CHECK(IsCanonicalNumber(canonical));
    std::string again;
    FUZZ_CHECK(NormalizeDecimal(canonical, again) && again == canonical);
  }
  if (IsCanonicalNumber(a)) {
    std::string same;
    FUZZ_CHECK(NormalizeDecimal(a, same) && same == a);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  for (char mark : {kAM, kVM, kSVM}) CheckFields(text, mark);
  CheckAttributeIndex(text);
  CheckValues(ExtractField(text, kAM, 1));
  // A field to write: the input's last attribute without marks, at a place the first byte picks.
  std::string field(ExtractField(text, kAM, CountFields(text, kAM)));
  std::erase_if(field, IsMark);
  const int index = size > 0 ? 1 + static_cast<unsigned char>(text[0]) % 12 : 1;
  CheckReplace(text, index, field);
  // Two values to compare: the input split at its first attribute mark.
  const std::size_t split = text.find(kAM);
  CheckCompare(text.substr(0, split), split == std::string_view::npos ? "" : text.substr(split + 1));
  return 0;
}
