// The syntax tree of a query sentence, as the parser leaves it: names unresolved, values as
// written (without their delimiters and wildcards). The planner resolves it against the
// database. Offsets are byte offsets into the sentence, kept for error messages.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace varnolde::mvdb {

enum class Op { kEq, kNe, kLt, kGt, kLe, kGe };

// What a value matches: the whole text, or (from its "]" and "[" wildcards) a part of it.
enum class Pattern { kExact, kBeginsWith, kEndsWith, kContains };

struct TestAst {
  Op op = Op::kEq;
  Pattern pattern = Pattern::kExact;
  std::string value;
  std::size_t offset = 0;
};

// "AVEC field op value [OR op value]...": met when any value of the field meets any test.
struct CriterionAst {
  std::string field;
  std::size_t field_offset = 0;
  std::vector<TestAst> tests;
};

struct SortKeyAst {
  std::string field;
  std::size_t offset = 0;
  bool descending = false;
};

struct SentenceAst {
  std::string file;
  std::size_t file_offset = 0;
  // Sets of criteria joined by OR; the criteria of one set are joined by AND. No set: every
  // record is selected.
  std::vector<std::vector<CriterionAst>> sets;
  std::vector<SortKeyAst> sort;
};

}  // namespace varnolde::mvdb
