// Plans remembered by the shape of their sentence.
//
// The panel sends the same few sentences again and again with other values (another
// caregiver's code, another month). A plan depends on the values only through whether each is
// empty and which values are equal to one another (a number-valued test is decided per value),
// so PlanCache plans a sentence once per shape — its words and operators, each value's
// wildcards, the attribute list, and for the values that pattern of emptiness and equality —
// with stand-ins for the values, remembers where each value goes, and writes the sentence's own
// values there. The shape is read from the sentence's tokens alone: a sentence of a known shape
// is neither parsed nor planned again, and costs no allocation beyond the values written.
//
// The cache belongs to one engine and is used by one thread at a time. The caller passes the
// generation of its catalog (files, dictionaries, indexes): when it differs from the one the
// cache was filled under, the cache is emptied first. Failures are ParseSentence's and
// BuildPlan's; nothing is remembered for a sentence that fails.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "mvdb/query/ast.h"
#include "mvdb/query/planner.h"

namespace varnolde::mvdb {

class PlanCache {
 public:
  // The plan of sentence, valid until the next call. table, when not empty, is the file the
  // request names besides its sentence: a sentence on another file raises kBadQuery.
  const Plan& Get(std::string_view sentence, std::string_view table, std::string_view columns,
                  Catalog& catalog, const PlanOptions& options, std::uint64_t generation);

 private:
  static constexpr std::size_t kCapacity = 128;  // shapes; the panel sends about ten

  struct Entry {
    std::string file;  // as the sentence names it
    Plan plan;
    // Where the values go: a text of the plan and the number of the distinct value it holds;
    // the test whose value it is, to be told whether the value is a number (null for an access
    // path).
    struct Slot {
      std::string* text;
      BoundTest* test;
      std::size_t value;
    };
    std::vector<Slot> slots;
  };

  // Reads the shape of sentence into shape_ and its distinct non-empty values, in order of
  // first appearance, into values_; false when the sentence does not even split into tokens.
  bool ReadShape(std::string_view sentence, std::string_view columns, const PlanOptions& options);
  // Plans ast with stand-ins for its values and remembers it under shape_.
  Entry& Remember(const SentenceAst& ast, std::string_view sentence, std::string_view columns,
              Catalog& catalog, const PlanOptions& options);

  std::unordered_map<std::string, Entry> plans_;  // by shape; nodes never move
  std::uint64_t generation_ = 0;
  std::string shape_;
  std::vector<std::string_view> values_;
  Entry unshaped_;  // the plan of a sentence whose values its tokens did not tell
};

}  // namespace varnolde::mvdb
