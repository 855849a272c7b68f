// The query planner: from a parsed sentence to a plan the executor runs.
//
// Design note — the plan objects
// ------------------------------
// A sentence selects the records of one file that meet any of its sets of criteria (OR of ANDs),
// sorts them and projects columns. The planner turns it into these objects:
//
// BoundField      A field resolved against the file's dictionary (dictionary.h): the key, an
//                 attribute number or a dictionary item, with its compare mode. `slot` numbers
//                 the expression fields of the plan so that the executor evaluates each I item
//                 once per record, however many criteria, sort keys and columns read it.
//
// BoundTest /     One criterion: a field and its tests (one per value joined with " OR op").
// BoundCriterion  A record meets it when any leaf value of the field meets any test. The
//                 constant's "is it a canonical number" question is answered here, once.
//
// AccessPath      How the records of one scan are found, in order of preference:
//                   kKeyEqual    AVEC 0 = "X": one point lookup;
//                   kKeyPrefix   AVEC 0 = "X]": a range of the file's key order, [X, X+1);
//                   kIndexEqual  = "X" on an indexed field: one range of the index, keys in
//                                key order;
//                   kIndexPrefix = "X]" on an indexed field: a range of the index, keys in
//                                value order, possibly repeated (several values of a record);
//                   kFullScan    every record, in key order.
//                 Only a criterion with a single = test can serve, on the key or on a field with
//                 an index; an index never serves = on a field that compares as numbers ("R"),
//                 because its entries are texts. The key wins over indexes because nothing is
//                 known of an index's selectivity, and the panel's key prefixes are narrow.
//
// ScanStep        One access path and the filter its records must pass: the sets of criteria
//                 (OR of ANDs) with the criterion that the access path already guarantees
//                 taken out. An empty filter passes everything.
//
// Plan            The file, the scan steps, whether their results must be merged by key (one
//                 step per set when the sets need different access paths; a record met by two
//                 sets is kept once), the sort keys and the columns. When some set can only be
//                 served by a full scan, the plan is one full scan with the whole filter. Rows
//                 are ordered by the sort keys, then by key; a single scan in key order with no
//                 sort keys needs no sort.
//
// BuildPlan works in three steps: binding (the criteria and sort keys resolved to fields),
// parsing the attribute list into columns, and choosing the access paths of the scan steps.
//
// PlanText prints a plan, one line per object; `mvdb explain` shows it and tests compare it.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "mvdb/dictionary.h"
#include "mvdb/query/ast.h"

namespace varnolde::mvdb {

struct BoundField {
  std::shared_ptr<const Field> field;
  int slot = -1;  // expression slot, -1 for the key and attributes
};

struct BoundTest {
  Op op = Op::kEq;
  Pattern pattern = Pattern::kExact;
  std::string value;
  bool value_is_number = false;
};

struct BoundCriterion {
  BoundField field;
  std::vector<BoundTest> tests;
};

using CriteriaSet = std::vector<BoundCriterion>;

struct AccessPath {
  enum class Kind { kFullScan, kKeyEqual, kKeyPrefix, kIndexEqual, kIndexPrefix };
  Kind kind = Kind::kFullScan;
  std::string value;  // the key, key prefix, index value or index prefix
  std::string index;  // the index's name (Field::IndexName) for the index kinds

  bool InKeyOrder() const { return kind != Kind::kIndexPrefix; }
  bool operator==(const AccessPath&) const = default;
};

struct ScanStep {
  AccessPath access;
  std::vector<CriteriaSet> filter;  // OR of sets; empty = every record passes
};

struct SortKey {
  BoundField field;
  bool descending = false;
};

struct Plan {
  std::string file;
  std::vector<ScanStep> steps;
  bool merge_by_key = false;
  std::vector<SortKey> sort;
  std::vector<BoundField> columns;
  int slots = 0;  // number of expression slots

  // Whether rows must be sorted after the scans (they do not come out in their final order).
  bool NeedsSort() const;
};

// What the planner needs to know of the database.
class Catalog {
 public:
  virtual ~Catalog() = default;
  virtual bool HasFile(std::string_view file) = 0;
  // The field of attribute number n (0 the key); the catalog may share one per number.
  virtual std::shared_ptr<const Field> Attribute(int n) {
    return std::make_shared<const Field>(AttributeField(n));
  }
  // The dictionary item `name` of file; nullptr when it is not defined. Raises kBadData for a
  // malformed item.
  virtual std::shared_ptr<const Field> DictItem(std::string_view file, std::string_view name) = 0;
  // Whether file has a usable index stored under index_name (Field::IndexName).
  virtual bool HasIndex(std::string_view file, std::string_view index_name) = 0;
};

struct PlanOptions {
  bool full_scan_only = false;  // ignore keys and indexes (tests compare both ways)
};

// Resolves and plans a parsed sentence. `columns` is the attribute list of the request
// (numbers or dictionary names separated by blanks; empty means "0"). Raises kUnknownFile,
// kUnknownDictItem and kBadQuery naming the position in sentence (or in the list), kBadData for
// a malformed dictionary item.
Plan BuildPlan(const SentenceAst& ast, std::string_view sentence, std::string_view columns,
               Catalog& catalog, const PlanOptions& options = {});

// The plan in readable text, one object per line (see the design note).
std::string PlanText(const Plan& plan);

}  // namespace varnolde::mvdb
