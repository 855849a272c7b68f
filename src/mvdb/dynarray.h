// Dynamic arrays: the text form of every record and query result.
//
// A dynamic array is UTF-8 text split into attributes by the attribute mark (0xFE), attributes
// into values by the value mark (0xFD) and values into subvalues by the subvalue mark (0xFC).
// Positions count from 1; reading past the end yields the empty text, never an error.
//
// The free functions work on string_views and never allocate unless they build a new text.
// AttributeIndex remembers where each attribute starts so that a record is scanned once, however
// many criteria or columns read it; it borrows the text it indexes, which must outlive it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "components/database.h"

namespace varnolde::mvdb {

inline constexpr char kAM = kAttributeMark;
inline constexpr char kVM = kValueMark;
inline constexpr char kSVM = kSubvalueMark;

// True for the three mark bytes.
inline bool IsMark(char c) { return c == kAM || c == kVM || c == kSVM; }

// Field `index` (from 1) of text split on mark; the empty text when index < 1 or past the end.
std::string_view ExtractField(std::string_view text, char mark, int index);

// Number of fields of text split on mark; 0 for the empty text.
int CountFields(std::string_view text, char mark);

// Replaces field `index` (from 1) of text split on mark, adding empty fields before it when
// the text has fewer. REQUIRES: index >= 1.
std::string ReplaceField(std::string_view text, char mark, int index, std::string_view field);

// Calls visit(value) for every value of an attribute, values and subvalues alike: an attribute
// is met by a criterion when one of its leaf values is. The empty attribute has one empty value.
template <class Visit>
bool AnyValue(std::string_view attribute, Visit&& visit) {
  std::size_t start = 0;
  for (std::size_t i = 0; i < attribute.size(); ++i) {
    if (attribute[i] == kVM || attribute[i] == kSVM) {
      if (visit(attribute.substr(start, i - start))) return true;
      start = i + 1;
    }
  }
  return visit(attribute.substr(start));
}

// The first leaf value of an attribute (the part before any value or subvalue mark).
std::string_view FirstValue(std::string_view attribute);

// Lazily built table of attribute positions of one record text.
class AttributeIndex {
 public:
  AttributeIndex() = default;
  explicit AttributeIndex(std::string_view text) { Reset(text); }

  // Indexes a new text, reusing the table's memory.
  void Reset(std::string_view text);
  std::string_view text() const { return text_; }

  // Attribute a (from 1); the empty text for a < 1 or past the end.
  std::string_view Attribute(int a);
  // Number of attributes; 0 for the empty text.
  int Count();

 private:
  // Extends starts_ until attribute a is located or the text ends.
  void ScanTo(int a);

  std::string_view text_;
  std::vector<std::uint32_t> starts_;  // starts_[i] = offset of attribute i + 1
  std::size_t scanned_ = 0;            // every mark before this offset is in starts_
  bool complete_ = false;
};

}  // namespace varnolde::mvdb
