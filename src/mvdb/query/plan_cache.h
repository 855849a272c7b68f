// Plans remembered by the shape of their sentence.
//
// The panel sends the same few sentences again and again with other values (another
// caregiver's code, another month). A plan depends on the values only through whether each is
// empty and which values are equal to one another (a number-valued test is decided per value),
// so PlanCache plans a sentence once per shape — its file, fields, operators, wildcards, sort
// keys, columns, and for each value that pattern of emptiness and equality — with stand-ins
// for the values, remembers where each value goes, and writes the sentence's own values there.
//
// The cache belongs to one engine and is used by one thread at a time. The caller passes the
// generation of its catalog (files, dictionaries, indexes): when it differs from the one the
// cache was filled under, the cache is emptied first. Failures are BuildPlan's; nothing is
// remembered for a sentence that fails to plan.
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
  // The plan of ast, valid until the next call.
  const Plan& Get(const SentenceAst& ast, std::string_view sentence, std::string_view columns,
                  Catalog& catalog, const PlanOptions& options, std::uint64_t generation);

 private:
  static constexpr std::size_t kCapacity = 128;  // shapes; the panel sends about ten

  struct Entry {
    Plan plan;
    // Where the values go: a text of the plan and the number of the value it holds; the test
    // whose value it is, to be told whether the value is a number (null for an access path).
    struct Slot {
      std::string* text;
      BoundTest* test;
      std::size_t value;
    };
    std::vector<Slot> slots;
  };

  std::unordered_map<std::string, Entry> plans_;  // by shape; nodes never move
  std::uint64_t generation_ = 0;
};

}  // namespace varnolde::mvdb
