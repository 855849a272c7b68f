#include "mvdb/query/planner.h"

#include <utility>

#include "components/errors.h"
#include "mvdb/compare.h"
#include "mvdb/query/lexer.h"

namespace varnolde::mvdb {
namespace {

// Resolves field names once per plan and numbers the expression slots. A plan names few
// fields, so a short list beats a map.
class FieldResolver {
 public:
  FieldResolver(const std::string& file, Catalog& catalog) : file_(file), catalog_(catalog) {}

  // name at offset of text (the sentence or the attribute list) for error messages.
  BoundField Resolve(std::string_view name, std::string_view text, std::size_t offset) {
    for (const auto& [known, bound] : resolved_) {
      if (known == name) return bound;
    }
    BoundField bound;
    int attribute = 0;
    if (ParseAttributeNumber(name, attribute)) {
      bound.field = catalog_.Attribute(attribute);
    } else if (!name.empty() && name.front() >= '0' && name.front() <= '9') {
      throw QueryError(err::kBadQuery, text, offset,
                       "numéro d'attribut « " + std::string(name) + " » invalide (0 à " +
                           std::to_string(kMaxAttribute) + ")");
    } else {
      bound.field = catalog_.DictItem(file_, name);
      if (bound.field == nullptr) {
        throw QueryError(err::kUnknownDictItem, text, offset,
                         "élément de dictionnaire « " + std::string(name) + " » inconnu dans " +
                             DictFileOf(file_));
      }
      if (bound.field->kind == Field::Kind::kExpression) bound.slot = slots_++;
    }
    resolved_.emplace_back(name, bound);
    return bound;
  }

  int slots() const { return slots_; }

 private:
  const std::string& file_;
  Catalog& catalog_;
  std::vector<std::pair<std::string_view, BoundField>> resolved_;  // views into the sentence
  int slots_ = 0;
};

// Preference of access paths: lower is better.
int Rank(AccessPath::Kind kind) {
  switch (kind) {
    case AccessPath::Kind::kKeyEqual:
      return 0;
    case AccessPath::Kind::kKeyPrefix:
      return 1;
    case AccessPath::Kind::kIndexEqual:
      return 2;
    case AccessPath::Kind::kIndexPrefix:
      return 3;
    case AccessPath::Kind::kFullScan:
      return 4;
  }
  return 4;
}

// The access path one criterion could serve, or kFullScan.
AccessPath AccessFor(const BoundCriterion& criterion, const std::string& file, Catalog& catalog) {
  AccessPath none;
  if (criterion.tests.size() != 1) return none;
  const BoundTest& test = criterion.tests.front();
  if (test.op != Op::kEq) return none;
  bool prefix = test.pattern == Pattern::kBeginsWith;
  if (!prefix && test.pattern != Pattern::kExact) return none;
  if (prefix && test.value.empty()) return none;  // "]" alone: every record
  const Field& field = *criterion.field.field;
  bool numeric = field.mode == CompareMode::kNumber;
  if (!prefix && numeric) return none;  // "002" = "2" as numbers: texts cannot serve
  AccessPath path;
  path.value = test.value;
  if (field.kind == Field::Kind::kKey) {
    path.kind = prefix ? AccessPath::Kind::kKeyPrefix : AccessPath::Kind::kKeyEqual;
    return path;
  }
  std::string index = field.IndexName();
  if (!catalog.HasIndex(file, index)) return none;
  path.kind = prefix ? AccessPath::Kind::kIndexPrefix : AccessPath::Kind::kIndexEqual;
  path.index = index;
  return path;
}

struct SetChoice {
  AccessPath access;
  int criterion = -1;  // the criterion the access serves, -1 for a full scan
};

SetChoice ChooseAccess(const CriteriaSet& set, const std::string& file, Catalog& catalog) {
  SetChoice best;
  for (std::size_t i = 0; i < set.size(); ++i) {
    AccessPath path = AccessFor(set[i], file, catalog);
    if (Rank(path.kind) < Rank(best.access.kind)) {
      best.access = path;
      best.criterion = static_cast<int>(i);
    }
  }
  return best;
}

// The set without the criterion its access path serves.
CriteriaSet Without(CriteriaSet set, int criterion) {
  set.erase(set.begin() + criterion);
  return set;
}

// An OR of sets of which one is empty passes every record.
std::vector<CriteriaSet> Simplify(std::vector<CriteriaSet> filter) {
  for (const CriteriaSet& set : filter) {
    if (set.empty()) return {};
  }
  return filter;
}

// Binding: the criteria of each set resolved against the file's dictionary.
std::vector<CriteriaSet> BindCriteria(const SentenceAst& ast, std::string_view sentence,
                                      FieldResolver& resolver) {
  std::vector<CriteriaSet> sets;
  for (const auto& set_ast : ast.sets) {
    CriteriaSet set;
    for (const CriterionAst& c : set_ast) {
      BoundCriterion bound;
      bound.field = resolver.Resolve(c.field, sentence, c.field_offset);
      for (const TestAst& t : c.tests) {
        bound.tests.push_back(BoundTest{t.op, t.pattern, t.value, IsCanonicalNumber(t.value)});
      }
      set.push_back(std::move(bound));
    }
    sets.push_back(std::move(set));
  }
  return sets;
}

// The attribute list: blank-separated names, "0" when there are none; the list's own offsets
// name a faulty entry.
std::vector<BoundField> ParseColumns(std::string_view columns, FieldResolver& resolver) {
  std::vector<BoundField> bound;
  std::size_t i = 0;
  while (i < columns.size()) {
    while (i < columns.size() && columns[i] == ' ') ++i;
    std::size_t start = i;
    while (i < columns.size() && columns[i] != ' ') ++i;
    if (i > start) {
      try {
        bound.push_back(resolver.Resolve(columns.substr(start, i - start), columns, start));
      } catch (const ComponentError& e) {
        throw ComponentError(e.number(), std::string("liste d'attributs, ") + e.what());
      }
    }
  }
  if (bound.empty()) bound.push_back(resolver.Resolve("0", "0", 0));
  return bound;
}

// Access-path choice: the plan's scan steps for the sets, merged by key when the sets need
// different access paths.
void ChooseScans(std::vector<CriteriaSet> sets, Catalog& catalog, const PlanOptions& options,
                 Plan& plan) {
  if (sets.empty()) {
    plan.steps.push_back(ScanStep{});
    return;
  }
  std::vector<SetChoice> choices;
  bool any_full_scan = options.full_scan_only;
  for (const CriteriaSet& set : sets) {
    choices.push_back(options.full_scan_only ? SetChoice{} : ChooseAccess(set, plan.file, catalog));
    any_full_scan = any_full_scan || choices.back().criterion < 0;
  }
  if (any_full_scan) {
    plan.steps.push_back(ScanStep{AccessPath{}, Simplify(std::move(sets))});
    return;
  }
  bool shared = true;
  for (const SetChoice& choice : choices) shared = shared && choice.access == choices[0].access;
  if (shared) {
    // Every set is served by the same range: one scan, each set without its served criterion.
    ScanStep step{choices[0].access, {}};
    for (std::size_t s = 0; s < sets.size(); ++s) {
      step.filter.push_back(Without(std::move(sets[s]), choices[s].criterion));
    }
    step.filter = Simplify(std::move(step.filter));
    plan.steps.push_back(std::move(step));
    return;
  }
  for (std::size_t s = 0; s < sets.size(); ++s) {
    plan.steps.push_back(
        ScanStep{choices[s].access, Simplify({Without(std::move(sets[s]), choices[s].criterion)})});
  }
  plan.merge_by_key = true;
}

}  // namespace

bool Plan::NeedsSort() const {
  if (!sort.empty() || merge_by_key) return true;
  for (const ScanStep& step : steps) {
    if (!step.access.InKeyOrder()) return true;
  }
  return false;
}

Plan BuildPlan(const SentenceAst& ast, std::string_view sentence, std::string_view columns,
               Catalog& catalog, const PlanOptions& options) {
  if (!catalog.HasFile(ast.file)) {
    throw QueryError(err::kUnknownFile, sentence, ast.file_offset,
                     "fichier « " + ast.file + " » inconnu");
  }
  Plan plan;
  plan.file = ast.file;
  // Fields are resolved, and expression slots numbered, in the order the sentence and then the
  // attribute list name them.
  FieldResolver resolver(plan.file, catalog);
  std::vector<CriteriaSet> sets = BindCriteria(ast, sentence, resolver);
  for (const SortKeyAst& key : ast.sort) {
    plan.sort.push_back({resolver.Resolve(key.field, sentence, key.offset), key.descending});
  }
  plan.columns = ParseColumns(columns, resolver);
  plan.slots = resolver.slots();
  ChooseScans(std::move(sets), catalog, options, plan);
  return plan;
}

}  // namespace varnolde::mvdb
