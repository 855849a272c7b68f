// Runs a plan: scans, filters, sorts and projects.
//
// The executor reads records through a RecordSource (the storage layer) that hands each
// record's key and text to a RowSink for the duration of one call only; the executor indexes the
// text once (AttributeIndex) and copies only what a selected row needs into one arena, so that a
// scan allocates next to nothing per record.
//
// The result is a dynamic array: one attribute per row, one value per column; a column's own
// values and subvalues are separated by subvalue marks, since value marks separate the columns.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "mvdb/query/planner.h"

namespace varnolde::mvdb {

class RowSink {
 public:
  virtual ~RowSink() = default;
  virtual void Row(std::string_view key, std::string_view text) = 0;
  // A sink for a part of the same scan that another thread fills while this one is filled, or
  // null when this sink cannot be shared out. Join(part), on this sink's thread once the part
  // is full, then takes the part's rows as if they had come after this sink's own.
  virtual std::unique_ptr<RowSink> Split() { return nullptr; }
  virtual void Join(RowSink& part) {}
};

class RecordSource {
 public:
  virtual ~RecordSource() = default;
  // Passes every record of file that access finds to sink: in key order unless the access is
  // an index prefix, which may also pass a record more than once.
  virtual void Scan(const std::string& file, const AccessPath& access, RowSink& sink) = 0;
};

struct QueryResult {
  std::string text;
  int rows = 0;
  int columns = 0;  // values in each row: the entries of the attribute list
};

// Runs plans one after the other, keeping its working memory from one query to the next, so
// that a small query allocates nothing but its result. selected, when given, also receives
// every record the query selects, whole, as it is met.
class Executor {
 public:
  Executor();
  ~Executor();
  QueryResult Run(const Plan& plan, RecordSource& source, RowSink* selected = nullptr);

 private:
  struct State;
  std::unique_ptr<State> state_;
};


}  // namespace varnolde::mvdb
