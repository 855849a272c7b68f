// Helpers shared by the storage layer's source files.
#pragma once

#include <exception>
#include <string>

#include "components/errors.h"
#include "mvdb/sqlite_util.h"
#include "mvdb/sqlite_storage.h"

namespace varnolde::mvdb {

// kWriteFailed with the text "<what> impossible : <cause>".
ComponentError WriteFailure(const std::string& what, const std::string& cause);

// Page caches, in KiB: the connection's, which keeps the pages that point reads come back to;
// a full scan's, small, since a scan passes every page once and a large cache would hand it
// memory gone cold for the processor.
inline constexpr int kPageCacheKiB = 32768;
inline constexpr int kScanCacheKiB = 512;
inline void SetPageCache(sqlite3* db, int kib) {
  Exec(db, "PRAGMA cache_size = -" + std::to_string(kib));
}
// A full scan's page cache on db for the life of the object, the connection's after it.
class ScanPageCache {
 public:
  explicit ScanPageCache(sqlite3* db) : db_(db) { SetPageCache(db_, kScanCacheKiB); }
  ~ScanPageCache() {
    try {
      SetPageCache(db_, kPageCacheKiB);
    } catch (...) {
      // A cache left small only makes later reads slower.
    }
  }
  ScanPageCache(const ScanPageCache&) = delete;
  ScanPageCache& operator=(const ScanPageCache&) = delete;

 private:
  sqlite3* db_;
};

// The SQL function mvdb_visit(k, v, target), target a VisitTarget bound as a pointer: hands
// one record to the target's sink where it lies in the database page, so that a full scan
// copies no record (a selected row would be copied), and selects nothing. What the sink raises
// is kept in the target, and the statement fails: no exception may cross SQLite.
struct VisitTarget {
  RowSink* sink = nullptr;
  std::exception_ptr error;
};
inline constexpr const char* kVisitTargetType = "mvdb_visit_target";
void RegisterVisit(sqlite3* db);
// Steps statement, whose mvdb_visit calls go to target, to its end; raises what the sink
// raised, or the statement's own failure.
void RunVisit(Statement& statement, VisitTarget& target);

// The connections a full scan on two cores uses beside the storage's own
// (sqlite_parallel_scan.cpp).
struct SqliteStorage::ScanHelpers {
  Connection lock_holder;  // takes the write lock while both reads begin
  Connection reader;       // reads the second connection's ranges
};

// One write or delete: a savepoint inside a transaction, BEGIN IMMEDIATE ... COMMIT outside.
// Leaving the scope without Commit() undoes everything done in it.
class SqliteStorage::WriteScope {
 public:
  explicit WriteScope(SqliteStorage& storage) : storage_(storage), nested_(storage.InTransaction()) {
    if (storage.read_only_) throw SqliteError(SQLITE_READONLY, "base ouverte en lecture seule");
    if (!nested_) storage.StopReading();
    StatementUse use(nested_ ? *storage.savepoint_stmt_ : *storage.begin_stmt_);
    use->Run();
    active_ = true;
    try {
      storage.DropStaleCaches();
    } catch (...) {
      Abort();
      throw;
    }
  }
  ~WriteScope() {
    if (active_) Abort();
  }
  WriteScope(const WriteScope&) = delete;
  WriteScope& operator=(const WriteScope&) = delete;

  void Commit() {
    try {
      StatementUse use(nested_ ? *storage_.release_stmt_ : *storage_.commit_stmt_);
      use->Run();
      active_ = false;
    } catch (...) {
      Abort();
      throw;
    }
  }

 private:
  void Abort() noexcept {
    active_ = false;
    if (!nested_) return storage_.UndoTransaction();
    storage_.caches_stale_ = true;  // a created table or index may have been undone
    try {
      {
        StatementUse use(*storage_.rollback_to_stmt_);
        use->Run();
      }
      StatementUse use(*storage_.release_stmt_);
      use->Run();
    } catch (...) {
      // SQLite may have rolled the whole transaction back already.
    }
  }

  SqliteStorage& storage_;
  bool nested_;
  bool active_ = false;
};

template <class Write>
void SqliteStorage::RunWrite(const std::string& what, Write&& write) {
  const bool began_in_transaction = InTransaction();
  try {
    WriteScope scope(*this);
    write();
    scope.Commit();
  } catch (const SqliteError& e) {
    throw WriteFailure(what, CauseOfWriteFailure(e, began_in_transaction));
  } catch (const ComponentError& e) {
    if (e.number() == err::kWriteFailed) throw;
    throw WriteFailure(what, e.what());
  }
}

}  // namespace varnolde::mvdb
