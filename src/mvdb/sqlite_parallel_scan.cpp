// A full scan of a large file on two cores.
//
// A scan steps through every page of the file's table, and on one core it is bound by SQLite
// reading the pages and handing each record over. Here the key range is cut into ranges of
// about equal width, and two connections — the storage's own and a helper's — take the ranges
// one after the other, each into its own part of the query's sink; the parts are joined in
// key order at the end, so the result is the one of a scan on one connection.
//
// Both connections must read the same state of the file. SQLite as Debian builds it cannot
// hand a read transaction's view to another connection, so a third connection takes the write
// lock (BEGIN IMMEDIATE) for the instant both read transactions begin: no transaction can
// commit in between, so both see the last one committed. It gives the lock back at once;
// writers wait for a few microseconds, never for the scan. When the lock is busy (a writer is
// at work), the scan runs on one connection and does not wait.
#include <sqlite3.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <exception>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "mvdb/sqlite_storage.h"
#include "mvdb/sqlite_storage_internal.h"
#include "mvdb/sqlite_storage_state.h"

namespace varnolde::mvdb {

namespace {

// Ranges per scan: enough that the two connections finish together when the keys are spread
// unevenly over their width, few enough that the B-tree descents at their starts do not count.
constexpr int kRanges = 64;

// Keys that cut [first, last] into up to `ranges` ranges of equal width, reading the eight bytes
// after the two keys' common prefix as a number; strictly increasing, each above first and not
// above last.
std::vector<std::string> CutPoints(std::string_view first, std::string_view last, int ranges) {
  const std::size_t common =
      static_cast<std::size_t>(std::mismatch(first.begin(), first.end(), last.begin(), last.end())
                                   .first -
                               first.begin());
  auto number = [common](std::string_view key) {
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < 8; ++i) {
      const std::size_t at = common + i;
      value = value << 8 | (at < key.size() ? static_cast<unsigned char>(key[at]) : 0u);
    }
    return value;
  };
  const std::uint64_t low = number(first), high = number(last);
  std::vector<std::string> cuts;
  for (int i = 1; i < ranges; ++i) {
    const std::uint64_t width = high - low, n = static_cast<std::uint64_t>(ranges),
                        step = static_cast<std::uint64_t>(i);
    const std::uint64_t value = low + width / n * step + width % n * step / n;
    std::string cut(first.substr(0, common));
    for (int byte = 7; byte >= 0; --byte) cut.push_back(static_cast<char>(value >> (8 * byte)));
    while (cut.size() > common + 1 && cut.back() == '\0') cut.pop_back();
    if (cut <= first || cut > last || (!cuts.empty() && cut <= cuts.back())) continue;
    cuts.push_back(std::move(cut));
  }
  return cuts;
}

Connection OpenHelper(const std::string& name, int flags, int busy_timeout_ms) {
  sqlite3* db = nullptr;
  int rc = sqlite3_open_v2(name.c_str(), &db, flags, nullptr);
  Connection connection(db);
  CheckSqlite(db, rc);
  sqlite3_busy_timeout(db, busy_timeout_ms);
  return connection;
}

// Ends a read transaction; there is nothing to undo.
void EndRead(sqlite3* db) noexcept {
  if (sqlite3_get_autocommit(db) == 0) sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
}

// The ranges of one scan and the parts of its sink, shared by the two connections.
struct Ranges {
  explicit Ranges(const std::string& file_table) : table(file_table) {}

  const std::string& table;
  std::vector<std::string> cuts;                // range i is [cuts[i - 1], cuts[i])
  std::vector<std::unique_ptr<RowSink>> parts;  // one per range
  std::vector<std::exception_ptr> errors;       // one per range
  std::vector<char> done;                       // one per range
  std::atomic<std::size_t> next{0};
  std::atomic<bool> stop{false};

  // Takes ranges until none is left, on db. A failure before any range is taken leaves the
  // ranges to the other connection and is kept in failure.
  void Take(sqlite3* db, std::exception_ptr& failure) noexcept {
    std::unique_ptr<Statement> between, from;
    try {
      between = std::make_unique<Statement>(
          db, "SELECT 1 FROM " + table + " WHERE k >= ?1 AND k < ?2 AND mvdb_visit(k, v, ?3)");
      from = std::make_unique<Statement>(
          db, "SELECT 1 FROM " + table + " WHERE k >= ?1 AND mvdb_visit(k, v, ?3)");
    } catch (...) {
      failure = std::current_exception();
      return;
    }
    for (;;) {
      const std::size_t i = next.fetch_add(1);
      if (i >= parts.size() || stop.load()) return;
      const bool last = i + 1 == parts.size();
      Statement& statement = last ? *from : *between;
      StatementUse use(statement);
      VisitTarget target{parts[i].get(), nullptr};
      try {
        use->BindBlob(1, i == 0 ? std::string_view() : std::string_view(cuts[i - 1]));
        if (!last) use->BindBlob(2, cuts[i]);
        use->BindPointer(3, &target, kVisitTargetType);
        RunVisit(statement, target);
        done[i] = 1;
      } catch (...) {
        errors[i] = std::current_exception();
        stop = true;
      }
    }
  }
};

}  // namespace

SqliteStorage::ScanHelpers* SqliteStorage::Helpers() {
  if (scan_helpers_ == nullptr && !scan_helpers_failed_) {
    try {
      auto helpers = std::make_unique<ScanHelpers>();
      // The lock holder never waits: a busy lock means a scan on one connection.
      helpers->lock_holder = OpenHelper(open_name_, open_flags_, 0);
      helpers->reader = OpenHelper(open_name_, open_flags_, 5000);
      RegisterVisit(helpers->reader.get());
      SetPageCache(helpers->reader.get(), kScanCacheKiB);
      scan_helpers_ = std::move(helpers);
    } catch (const SqliteError&) {
      scan_helpers_failed_ = true;
    }
  }
  return scan_helpers_.get();
}

bool SqliteStorage::ScanOnTwoCores(FileState& file, RowSink& sink) {
  static const unsigned cores = std::thread::hardware_concurrency();  // reads /sys: once
  if (parallel_scan_min_bytes_ < 0 || read_only_ || read_groups_ > 0 ||
      sqlite3_get_autocommit(db_) == 0 || cores < 2) {
    return false;
  }
  if (parallel_scan_min_bytes_ > 0 &&
      QueryInt(db_, "SELECT page_count * page_size FROM pragma_page_count, pragma_page_size") <
          parallel_scan_min_bytes_) {
    return false;
  }
  std::unique_ptr<RowSink> first_part = sink.Split();
  if (first_part == nullptr) return false;
  ScanHelpers* helpers = Helpers();
  if (helpers == nullptr) return false;
  sqlite3* lock = helpers->lock_holder.get();
  sqlite3* reader = helpers->reader.get();
  if (sqlite3_exec(lock, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK) {
    EndRead(lock);
    return false;
  }

  // The three connections' transactions end with the scan.
  struct Transactions {
    SqliteStorage& storage;
    sqlite3* lock;
    sqlite3* reader;
    ~Transactions() {
      EndRead(lock);
      EndRead(reader);
      EndRead(storage.db_);
    }
  } transactions{*this, lock, reader};
  ScanPageCache scan_cache(db_);
  Exec(db_, "BEGIN");
  Statement first(db_, "SELECT k FROM " + file.table + " ORDER BY k LIMIT 1");
  Statement last(db_, "SELECT k FROM " + file.table + " ORDER BY k DESC LIMIT 1");
  if (!first.Step() || !last.Step()) return true;  // no record
  Ranges ranges{file.table};
  ranges.cuts = CutPoints(first.ColumnBlob(0), last.ColumnBlob(0), kRanges);
  bool helper_reads = true;
  try {
    Exec(reader, "BEGIN");
    Statement touch(reader, "SELECT 1 FROM " + file.table + " LIMIT 1");
    touch.Step();
  } catch (const SqliteError&) {
    EndRead(reader);
    helper_reads = false;  // this connection takes every range
  }
  EndRead(lock);

  ranges.parts.push_back(std::move(first_part));
  while (ranges.parts.size() < ranges.cuts.size() + 1) ranges.parts.push_back(sink.Split());
  ranges.errors.resize(ranges.parts.size());
  ranges.done.resize(ranges.parts.size());
  std::exception_ptr own_failure, helper_failure;
  std::thread helper;
  if (helper_reads && ranges.parts.size() > 1) {
    try {
      helper = std::thread([&ranges, &helper_failure, reader] {
        ranges.Take(reader, helper_failure);
      });
    } catch (const std::system_error&) {
      // No thread to be had: this connection takes every range.
    }
  }
  ranges.Take(db_, own_failure);
  if (helper.joinable()) helper.join();
  for (const std::exception_ptr& error : ranges.errors) {
    if (error) std::rethrow_exception(error);
  }
  if (std::find(ranges.done.begin(), ranges.done.end(), 0) != ranges.done.end()) {
    if (own_failure) std::rethrow_exception(own_failure);
    if (helper_failure) std::rethrow_exception(helper_failure);
    throw SqliteError(SQLITE_INTERNAL, SqliteCause(SQLITE_INTERNAL));
  }
  for (auto& part : ranges.parts) sink.Join(*part);
  return true;
}

}  // namespace varnolde::mvdb
