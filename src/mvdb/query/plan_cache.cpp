// Plans by shape (plan_cache.h).
#include "mvdb/query/plan_cache.h"

#include <stdexcept>

#include "components/errors.h"
#include "mvdb/compare.h"
#include "mvdb/dynarray.h"
#include "mvdb/query/lexer.h"
#include "mvdb/query/parser.h"

namespace varnolde::mvdb {
namespace {

// A stand-in for the n-th distinct value: it begins with an attribute mark, which no value of
// a sentence can hold, so it never meets a real value in the plan.
std::string StandIn(std::size_t n) { return std::string(1, kAM) + std::to_string(n); }

// The number of the value a stand-in stands for, or -1 for a text that is no stand-in.
long StandInNumber(const std::string& text) {
  if (text.empty() || text[0] != kAM) return -1;
  return static_cast<long>(std::stoul(text.substr(1)));
}

// Appends a part of a shape: its length, then its bytes, so that no text can pass for another.
void AppendPart(std::string& shape, char kind, std::string_view text) {
  shape.push_back(kind);
  const auto size = static_cast<std::uint32_t>(text.size());
  shape.append(reinterpret_cast<const char*>(&size), sizeof size);
  shape.append(text);
}

// The request names the file of its sentence, or none.
void CheckTable(std::string_view file, std::string_view table) {
  if (!table.empty() && table != file) {
    throw ComponentError(err::kBadQuery, "la requête porte sur « " + std::string(file) +
                                             " » mais son attribut 2 nomme « " +
                                             std::string(table) + " »");
  }
}

}  // namespace

bool PlanCache::ReadShape(std::string_view sentence, std::string_view columns,
                          const PlanOptions& options) {
  shape_.clear();
  values_.clear();
  shape_.push_back(options.full_scan_only ? 'F' : 'P');
  AppendPart(shape_, 'C', columns);
  Lexer lexer(sentence);
  // The wildcards of a value are read as the parser reads them: a trailing "]" always, a
  // leading "[" only in a criterion that begins with WITH.
  bool leading_bracket_is_wildcard = false;
  try {
    for (Token token = lexer.Next(); token.kind != TokenKind::kEnd; token = lexer.Next()) {
      if (token.kind != TokenKind::kValue) {
        if (token.kind == TokenKind::kWord && token.keyword == Keyword::kWith) {
          leading_bracket_is_wildcard = EqualsKeyword(token.text, "WITH");
        }
        AppendPart(shape_, token.kind == TokenKind::kWord ? 'W' : 'O', token.text);
        continue;
      }
      std::string_view value = token.text;
      const bool begins = !value.empty() && value.back() == ']';
      if (begins) value.remove_suffix(1);
      const bool ends = leading_bracket_is_wildcard && !value.empty() && value.front() == '[';
      if (ends) value.remove_prefix(1);
      shape_.push_back('V');
      shape_.push_back(static_cast<char>('0' + (begins ? 1 : 0) + (ends ? 2 : 0)));
      if (value.empty()) {
        shape_.push_back('E');
        continue;
      }
      std::size_t n = 0;
      while (n < values_.size() && values_[n] != value) ++n;
      if (n == values_.size()) values_.push_back(value);
      const auto number = static_cast<std::uint32_t>(n);
      shape_.append(reinterpret_cast<const char*>(&number), sizeof number);
    }
  } catch (const ComponentError&) {
    return false;  // the parser raises the same error, with its position
  }
  return true;
}

PlanCache::Entry& PlanCache::Remember(const SentenceAst& ast, std::string_view sentence,
                                  std::string_view columns, Catalog& catalog,
                                  const PlanOptions& options) {
  // The values in the order the parser met them, which is the order of the sentence's tokens;
  // should they ever differ from what the tokens said, the plan is made for this sentence only.
  SentenceAst blank = ast;
  for (auto& set : blank.sets) {
    for (CriterionAst& criterion : set) {
      for (TestAst& test : criterion.tests) {
        if (test.value.empty()) continue;
        std::size_t n = 0;
        while (n < values_.size() && values_[n] != test.value) ++n;
        if (n == values_.size()) {
          unshaped_ = Entry{ast.file, BuildPlan(ast, sentence, columns, catalog, options), {}};
          return unshaped_;
        }
        test.value = StandIn(n);
      }
    }
  }
  Entry entry{ast.file, BuildPlan(blank, sentence, columns, catalog, options), {}};
  if (plans_.size() >= kCapacity) plans_.clear();
  Entry& stored = plans_.insert_or_assign(shape_, std::move(entry)).first->second;
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
  return stored;
}

const Plan& PlanCache::Get(std::string_view sentence, std::string_view table,
                           std::string_view columns, Catalog& catalog, const PlanOptions& options,
                           std::uint64_t generation) {
  if (generation != generation_) {
    plans_.clear();
    generation_ = generation;
  }
  Entry* entry = nullptr;
  if (ReadShape(sentence, columns, options)) {
    auto found = plans_.find(shape_);
    if (found != plans_.end()) entry = &found->second;
  }
  if (entry == nullptr) {
    // A sentence that does not split into tokens does not parse either: this raises.
    SentenceAst ast = ParseSentence(sentence);
    CheckTable(ast.file, table);
    entry = &Remember(ast, sentence, columns, catalog, options);
    if (entry == &unshaped_) return unshaped_.plan;
  } else {
    CheckTable(entry->file, table);
  }
  for (const Entry::Slot& slot : entry->slots) {
    slot.text->assign(values_[slot.value]);
    if (slot.test != nullptr) slot.test->value_is_number = IsCanonicalNumber(*slot.text);
  }
  return entry->plan;
}

}  // namespace varnolde::mvdb
