// Fields: what a criterion, a sort key, a column or an index reads from a record.
//
// A field is the record key (attribute 0), an attribute number, or a dictionary item. Items live
// in the file "DICT <file>", one record per item, keyed by the item's name:
//   attribute 1  the type: "D" (attribute 2 is an attribute number) or "I" (attribute 2 is an
//                expression, below)
//   attribute 3  optional: "L" compares and sorts as text, "R" as numbers (compare.h)
// An I expression is made of attribute references @N (@0 the key), literals in single or double
// quotes, ":" concatenation, UPCASE(...) (every letter upper-cased as ICU does it, "Léa" ->
// "LÉA"), TRIM(...) (outer blanks removed, inner runs of blanks reduced to one) and parentheses.
// Functions work on each value of a multivalued text separately; ":" joins whole texts.
//
// ParseDictItem raises ComponentError kBadData for a malformed item; a Field is immutable once
// built and may be shared between plans.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "mvdb/compare.h"
#include "mvdb/dynarray.h"

namespace varnolde::mvdb {

// The dictionary of file X is the file "DICT X".
inline constexpr std::string_view kDictPrefix = "DICT ";
inline std::string DictFileOf(std::string_view file) {
  return std::string(kDictPrefix) + std::string(file);
}

// A record as the evaluator sees it: its key and its indexed attributes.
struct RecordView {
  std::string_view key;
  AttributeIndex* attributes;
};

class Expression {
 public:
  virtual ~Expression() = default;
  // Appends the expression's value for record to out.
  virtual void Evaluate(RecordView& record, std::string& out) const = 0;
  // The expression written back in its source form (for plans).
  virtual std::string Text() const = 0;
};

// Parses an I expression; raises kBadData naming the item and the character position.
std::shared_ptr<const Expression> ParseExpression(std::string_view item_name,
                                                  std::string_view source);

struct Field {
  enum class Kind { kKey, kAttribute, kExpression };
  Kind kind = Kind::kKey;
  int attribute = 0;                             // kAttribute: the attribute number
  std::shared_ptr<const Expression> expression;  // kExpression
  CompareMode mode = CompareMode::kDefault;
  std::string name;  // as written: "0", "7" or the dictionary item's name

  // The field's value in record; may point into scratch, which it overwrites.
  std::string_view Value(RecordView& record, std::string& scratch) const;
  // The name an index on this field is stored under: the attribute number for attributes and D
  // items, the item name for I items.
  std::string IndexName() const;
};

// A field for attribute number `attribute` (0 the key).
Field AttributeField(int attribute);

// Builds the field of dictionary item `name` from its record text; raises kBadData when the
// item is malformed.
Field ParseDictItem(std::string_view name, std::string_view item_text);

// The full Unicode upper case of UTF-8 text, marks kept in place.
std::string UpperCase(std::string_view text);

// Whether text is a field number ("0", "7"); sets attribute when it is.
bool ParseAttributeNumber(std::string_view text, int& attribute);

// The largest attribute number a field, criterion or column may name.
inline constexpr int kMaxAttribute = 99999;

}  // namespace varnolde::mvdb
