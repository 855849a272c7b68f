#include "mvdb/query/executor.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "components/errors.h"
#include "mvdb/compare.h"
#include "mvdb/dynarray.h"

namespace varnolde::mvdb {
namespace {

bool Holds(Op op, int c) {
  switch (op) {
    case Op::kEq:
      return c == 0;
    case Op::kNe:
      return c != 0;
    case Op::kLt:
      return c < 0;
    case Op::kGt:
      return c > 0;
    case Op::kLe:
      return c <= 0;
    case Op::kGe:
      return c >= 0;
  }
  return false;
}

bool TestMet(const BoundTest& test, std::string_view value, CompareMode mode) {
  bool matched;
  switch (test.pattern) {
    case Pattern::kExact:
      return Holds(test.op, CompareWithConstant(value, test.value, test.value_is_number, mode));
    case Pattern::kBeginsWith:
      matched = value.starts_with(test.value);
      break;
    case Pattern::kEndsWith:
      matched = value.ends_with(test.value);
      break;
    case Pattern::kContains:
      matched = value.find(test.value) != std::string_view::npos;
      break;
    default:
      matched = false;
  }
  return test.op == Op::kNe ? !matched : matched;
}

// Spans are 32-bit offsets into the arena.
constexpr std::size_t kMaxArena = 0xF0000000u;

struct Span {
  std::uint32_t offset;
  std::uint32_t size;
};

// A sort value prepared once (compare.h, SortRank): its rank and the text compared within it.
struct SortValue {
  Span text;
  int rank;
};

struct Row {
  Span key;
  Span text;
  std::uint32_t sort_values;  // index of the row's first span in Collector::sort_values_
};

class Collector : public RowSink {
 public:
  // Starts a query of plan, keeping the memory of earlier queries.
  void Start(const Plan& plan, RowSink* selected) {
    plan_ = &plan;
    selected_ = selected;
    const auto slots = static_cast<std::size_t>(plan.slots);
    if (slots_.size() < slots) slots_.resize(slots);
    evaluated_.assign(slots, 0);
    arena_.clear();
    rows_.clear();
    sort_values_.clear();
  }

  void SetFilter(const std::vector<CriteriaSet>* filter) { filter_ = filter; }

  void Row(std::string_view key, std::string_view text) override {
    index_.Reset(text);
    RecordView record{key, &index_};
    std::fill(evaluated_.begin(), evaluated_.end(), 0);
    if (!filter_->empty() && !Matches(record)) return;
    if (selected_ != nullptr) selected_->Row(key, text);

    struct Row row;
    row.key = Append(key);
    row.text.offset = static_cast<std::uint32_t>(arena_.size());
    for (std::size_t c = 0; c < plan_->columns.size(); ++c) {
      if (c > 0) arena_.push_back(kVM);
      for (char ch : Value(plan_->columns[c], record)) arena_.push_back(ch == kVM ? kSVM : ch);
    }
    row.text.size = static_cast<std::uint32_t>(arena_.size() - row.text.offset);
    row.sort_values = static_cast<std::uint32_t>(sort_values_.size());
    for (const SortKey& key_field : plan_->sort) {
      std::string_view compare_text;
      int rank = SortRank(FirstValue(Value(key_field.field, record)), key_field.field.field->mode,
                          sort_scratch_, compare_text);
      sort_values_.push_back(SortValue{Append(compare_text), rank});
    }
    rows_.push_back(row);
    if (arena_.size() > kMaxArena) {
      throw ComponentError(err::kBadQuery, "résultat de la requête trop volumineux");
    }
  }

  // A part shares the plan and the filter, which nothing changes during a scan, and keeps its
  // own working memory. A sink that hands the selected records on cannot be shared out.
  std::unique_ptr<RowSink> Split() override {
    if (selected_ != nullptr) return nullptr;
    auto part = std::make_unique<Collector>();
    part->Start(*plan_, nullptr);
    part->SetFilter(filter_);
    return part;
  }

  void Join(RowSink& part) override {
    auto& other = static_cast<Collector&>(part);  // made by Split
    const auto base = static_cast<std::uint32_t>(arena_.size());
    const auto first_sort_value = static_cast<std::uint32_t>(sort_values_.size());
    if (arena_.size() + other.arena_.size() > kMaxArena) {
      throw ComponentError(err::kBadQuery, "résultat de la requête trop volumineux");
    }
    arena_.append(other.arena_);
    for (SortValue value : other.sort_values_) {
      value.text.offset += base;
      sort_values_.push_back(value);
    }
    for (struct Row row : other.rows_) {
      row.key.offset += base;
      row.text.offset += base;
      row.sort_values += first_sort_value;
      rows_.push_back(row);
    }
  }

  QueryResult Finish() {
    std::vector<std::uint32_t>& order = order_;
    order.resize(rows_.size());
    for (std::uint32_t i = 0; i < order.size(); ++i) order[i] = i;
    if (plan_->NeedsSort()) {
      std::sort(order.begin(), order.end(),
                [&](std::uint32_t a, std::uint32_t b) { return Before(a, b); });
    }
    if (NeedsDedupe()) {
      // A record passed twice has the same sort values and key both times: after the sort,
      // which ends on the key, its copies are neighbours.
      order.erase(std::unique(order.begin(), order.end(),
                              [&](std::uint32_t a, std::uint32_t b) {
                                return View(rows_[a].key) == View(rows_[b].key);
                              }),
                  order.end());
    }
    QueryResult result;
    std::size_t size = 0;
    for (std::uint32_t i : order) size += rows_[i].text.size + 1;
    result.text.reserve(size);
    for (std::size_t i = 0; i < order.size(); ++i) {
      if (i > 0) result.text.push_back(kAM);
      result.text.append(View(rows_[order[i]].text));
    }
    result.rows = static_cast<int>(order.size());
    result.columns = static_cast<int>(plan_->columns.size());
    return result;
  }

 private:
  // Several scans, or an index prefix over multivalued entries, may pass a record twice.
  bool NeedsDedupe() const {
    if (plan_->merge_by_key) return true;
    for (const ScanStep& step : plan_->steps) {
      if (!step.access.InKeyOrder()) return true;
    }
    return false;
  }

  std::string_view Value(const BoundField& field, RecordView& record) {
    if (field.slot < 0) return field.field->Value(record, scratch_);
    auto slot = static_cast<std::size_t>(field.slot);
    if (!evaluated_[slot]) {
      slots_[slot].clear();
      field.field->expression->Evaluate(record, slots_[slot]);
      evaluated_[slot] = 1;
    }
    return slots_[slot];
  }

  bool CriterionMet(const BoundCriterion& criterion, RecordView& record) {
    std::string_view value = Value(criterion.field, record);
    CompareMode mode = criterion.field.field->mode;
    return AnyValue(value, [&](std::string_view v) {
      for (const BoundTest& test : criterion.tests) {
        if (TestMet(test, v, mode)) return true;
      }
      return false;
    });
  }

  bool Matches(RecordView& record) {
    for (const CriteriaSet& set : *filter_) {
      bool all = true;
      for (const BoundCriterion& criterion : set) {
        if (!CriterionMet(criterion, record)) {
          all = false;
          break;
        }
      }
      if (all) return true;
    }
    return false;
  }

  Span Append(std::string_view text) {
    Span span{static_cast<std::uint32_t>(arena_.size()), static_cast<std::uint32_t>(text.size())};
    arena_.append(text);
    return span;
  }

  std::string_view View(Span span) const {
    return std::string_view(arena_).substr(span.offset, span.size);
  }

  bool Before(std::uint32_t a, std::uint32_t b) const {
    const struct Row& ra = rows_[a];
    const struct Row& rb = rows_[b];
    for (std::size_t k = 0; k < plan_->sort.size(); ++k) {
      const SortKey& key = plan_->sort[k];
      const SortValue& a_value = sort_values_[ra.sort_values + k];
      const SortValue& b_value = sort_values_[rb.sort_values + k];
      int c = CompareRanked(a_value.rank, View(a_value.text), b_value.rank, View(b_value.text));
      if (c != 0) return key.descending ? c > 0 : c < 0;
    }
    return CompareBytes(View(ra.key), View(rb.key)) < 0;
  }

  const Plan* plan_ = nullptr;
  const std::vector<CriteriaSet>* filter_ = nullptr;
  RowSink* selected_ = nullptr;
  AttributeIndex index_;
  std::string scratch_;
  std::vector<std::string> slots_;
  std::vector<char> evaluated_;
  std::string arena_;
  std::vector<struct Row> rows_;
  std::vector<SortValue> sort_values_;
  std::string sort_scratch_;
  std::vector<std::uint32_t> order_;
};

}  // namespace

struct Executor::State {
  Collector collector;
};

Executor::Executor() : state_(std::make_unique<State>()) {}
Executor::~Executor() = default;

QueryResult Executor::Run(const Plan& plan, RecordSource& source, RowSink* selected) {
  Collector& collector = state_->collector;
  collector.Start(plan, selected);
  for (const ScanStep& step : plan.steps) {
    collector.SetFilter(&step.filter);
    source.Scan(plan.file, step.access, collector);
  }
  return collector.Finish();
}

}  // namespace varnolde::mvdb
