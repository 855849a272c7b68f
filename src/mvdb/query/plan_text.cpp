// Printing plans. The format is stable (documented in docs/query-language.md):
//
//   SELECT FROM <file>
//   SEARCH KEY = "X" | SEARCH KEY PREFIX "X" | SEARCH INDEX <name> = "X" |
//   SEARCH INDEX <name> PREFIX "X" | SCAN ALL
//     FILTER <criteria>                     (absent when every record passes)
//   MERGE BY KEY                            (several searches)
//   SORT BY <field> [DESC], ..., KEY | ORDER BY KEY (no sort needed)
//   COLUMNS <fields>
#include "mvdb/query/parser.h"
#include "mvdb/query/planner.h"

namespace varnolde::mvdb {
namespace {

std::string Quote(std::string_view value) {
  char delimiter = '"';
  if (value.find('"') != std::string_view::npos) {
    delimiter = value.find('\'') == std::string_view::npos ? '\'' : '\\';
  }
  std::string text(1, delimiter);
  text.append(value);
  text.push_back(delimiter);
  return text;
}

std::string TestText(const BoundTest& test) {
  std::string value;
  if (test.pattern == Pattern::kEndsWith || test.pattern == Pattern::kContains) value += '[';
  value += test.value;
  if (test.pattern == Pattern::kBeginsWith || test.pattern == Pattern::kContains) value += ']';
  return std::string(OperatorSymbol(test.op)) + " " + Quote(value);
}

std::string CriterionText(const BoundCriterion& criterion) {
  std::string text = criterion.field.field->name + " ";
  if (criterion.tests.size() == 1) return text + TestText(criterion.tests.front());
  text += "(";
  for (std::size_t i = 0; i < criterion.tests.size(); ++i) {
    if (i > 0) text += " OR ";
    text += TestText(criterion.tests[i]);
  }
  return text + ")";
}

std::string FilterText(const std::vector<CriteriaSet>& filter) {
  std::string text;
  for (std::size_t s = 0; s < filter.size(); ++s) {
    if (s > 0) text += " OR ";
    if (filter.size() > 1) text += "(";
    for (std::size_t c = 0; c < filter[s].size(); ++c) {
      if (c > 0) text += " AND ";
      text += CriterionText(filter[s][c]);
    }
    if (filter.size() > 1) text += ")";
  }
  return text;
}

std::string AccessText(const AccessPath& access) {
  switch (access.kind) {
    case AccessPath::Kind::kFullScan:
      return "SCAN ALL";
    case AccessPath::Kind::kKeyEqual:
      return "SEARCH KEY = " + Quote(access.value);
    case AccessPath::Kind::kKeyPrefix:
      return "SEARCH KEY PREFIX " + Quote(access.value);
    case AccessPath::Kind::kIndexEqual:
      return "SEARCH INDEX " + access.index + " = " + Quote(access.value);
    case AccessPath::Kind::kIndexPrefix:
      return "SEARCH INDEX " + access.index + " PREFIX " + Quote(access.value);
  }
  return "?";
}

}  // namespace

std::string PlanText(const Plan& plan) {
  std::string text = "SELECT FROM " + plan.file + "\n";
  for (const ScanStep& step : plan.steps) {
    text += AccessText(step.access) + "\n";
    if (!step.filter.empty()) text += "  FILTER " + FilterText(step.filter) + "\n";
  }
  if (plan.merge_by_key) text += "MERGE BY KEY\n";
  if (plan.NeedsSort()) {
    text += "SORT BY ";
    for (const SortKey& key : plan.sort) {
      text += key.field.field->name + (key.descending ? " DESC, " : ", ");
    }
    text += "KEY\n";
  } else {
    text += "ORDER BY KEY (no sort needed)\n";
  }
  text += "COLUMNS";
  for (const BoundField& column : plan.columns) text += " " + column.field->name;
  text += "\n";
  return text;
}

}  // namespace varnolde::mvdb
