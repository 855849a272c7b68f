// Plans by shape (plan_cache.h).
#include "mvdb/query/plan_cache.h"

#include <vector>

#include "mvdb/compare.h"
#include "mvdb/dynarray.h"

namespace varnolde::mvdb {
namespace {

// A stand-in for the n-th distinct value: it begins with an attribute mark, which no value of
// a sentence can hold, so it never meets a real value in the plan.
std::string StandIn(std::size_t n) { return std::string(1, kAM) + std::to_string(n); }

// The shape of a sentence, and its distinct non-empty values in order of first appearance.
// Every part is followed by a separator byte that names, fields and values cannot hold.
struct Shape {
  std::string key;
  std::vector<std::string> values;
};

Shape ShapeOf(const SentenceAst& ast, std::string_view columns, const PlanOptions& options) {
  Shape shape;
  auto part = [&](std::string_view text) {
    shape.key.append(text);
    shape.key.push_back(kVM);
  };
  part(ast.file);
  part(options.full_scan_only ? "F" : "P");
  for (const auto& set : ast.sets) {
    part("|");
    for (const CriterionAst& criterion : set) {
      part(criterion.field);
      for (const TestAst& test : criterion.tests) {
        shape.key.push_back(static_cast<char>('0' + static_cast<int>(test.op)));
        shape.key.push_back(static_cast<char>('0' + static_cast<int>(test.pattern)));
        if (test.value.empty()) {
          part("");
          continue;
        }
        std::size_t n = 0;
        while (n < shape.values.size() && shape.values[n] != test.value) ++n;
        if (n == shape.values.size()) shape.values.push_back(test.value);
        part(std::to_string(n));
      }
    }
  }
  for (const SortKeyAst& key : ast.sort) part((key.descending ? "-" : "+") + key.field);
  part(columns);
  return shape;
}

// The number of the value a stand-in stands for, or -1 for a text that is no stand-in.
long StandInNumber(const std::string& text) {
  if (text.empty() || text[0] != kAM) return -1;
  return static_cast<long>(std::stoul(text.substr(1)));
}

}  // namespace

const Plan& PlanCache::Get(const SentenceAst& ast, std::string_view sentence,
                           std::string_view columns, Catalog& catalog, const PlanOptions& options,
                           std::uint64_t generation) {
  if (generation != generation_) {
    plans_.clear();
    generation_ = generation;
  }
  Shape shape = ShapeOf(ast, columns, options);
  auto found = plans_.find(shape.key);
  if (found == plans_.end()) {
    SentenceAst blank = ast;
    for (auto& set : blank.sets) {
      for (CriterionAst& criterion : set) {
        for (TestAst& test : criterion.tests) {
          if (test.value.empty()) continue;
          std::size_t n = 0;
          while (shape.values[n] != test.value) ++n;
          test.value = StandIn(n);
        }
      }
    }
    Entry entry{BuildPlan(blank, sentence, columns, catalog, options), {}};
    if (plans_.size() >= kCapacity) plans_.clear();
    found = plans_.emplace(std::move(shape.key), std::move(entry)).first;
    Entry& stored = found->second;
    auto note = [&](std::string& text, BoundTest* test) {
      const long n = StandInNumber(text);
      if (n >= 0) stored.slots.push_back({&text, test, static_cast<std::size_t>(n)});
    };
    for (ScanStep& step : stored.plan.steps) {
      note(step.access.value, nullptr);
      for (CriteriaSet& set : step.filter) {
        for (BoundCriterion& criterion : set) {
          for (BoundTest& test : criterion.tests) note(test.value, &test);
        }
      }
    }
  }
  Entry& entry = found->second;
  for (const Entry::Slot& slot : entry.slots) {
    *slot.text = shape.values[slot.value];
    if (slot.test != nullptr) slot.test->value_is_number = IsCanonicalNumber(*slot.text);
  }
  return entry.plan;
}

}  // namespace varnolde::mvdb
