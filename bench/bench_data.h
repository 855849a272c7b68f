// What the panel benchmarks share: the large database, a sample of its caregivers and name
// prefixes, the same data in a plain relational schema, and latency statistics.
//
// Two places hold the data, each with its relational copy beside it:
//   - an SQLite file made by `mvdb generate` (scripts/bench.sh), named by the environment
//     variable VARNOLDE_BENCH_DB (default var/bench/large.db); the relational copy is an SQLite
//     file next to it (suffix ".relational.db"), built from it on first use through a
//     temporary file renamed when complete;
//   - a database on a PostgreSQL server made by `mvdb generate`, its connection text in
//     VARNOLDE_BENCH_SERVER; the relational copy is another database of the same server,
//     VARNOLDE_BENCH_RELATIONAL, empty at first and filled from the server's mvdb database on
//     first use, in one transaction.
// Failures are reported as std::runtime_error naming the file or the database; a benchmark
// program then stops with a message.
#pragma once

#include <libpq-fe.h>
#include <sqlite3.h>

#include <chrono>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "mvdb/link.h"
#include "pq_count.h"

namespace varnolde::bench {

struct SampleCaregiver {
  std::string code;    // five characters
  std::string entity;  // the entity of the caregiver's first contract
};

struct BenchData {
  bool server = false;          // the data is on a PostgreSQL server
  std::string mvdb_path;        // the file's path, or the server database's connection text
  std::string relational_path;  // the SQLite file, or the connection text of the server's copy
  std::vector<SampleCaregiver> caregivers;  // random, codes made of digits only
  std::vector<std::string> popular_prefixes;  // three letters, the most frequent surnames
  std::vector<std::string> rare_prefixes;     // five letters, at most 20 caregivers each
  std::int64_t contracts = 0;  // counted for the file only (its full scan benchmarks)
  std::string first_day;  // the first open period's bounds, as stored dates
  std::string last_day;
};

// Which places the environment names: the file when VARNOLDE_BENCH_DB is set or when
// VARNOLDE_BENCH_SERVER is not; the server when VARNOLDE_BENCH_SERVER is set (it then needs
// VARNOLDE_BENCH_RELATIONAL too).
bool FileWanted();
bool ServerWanted();

// Opens the sample once per process; builds the relational copy when missing. Data() is the
// file, ServerData() the server.
const BenchData& Data();
const BenchData& ServerData();

// The period contract query the panel sends for one caregiver, entity and month.
std::string PeriodContractSentence(const SampleCaregiver& caregiver, const std::string& first_day,
                                   const std::string& last_day);

// A prepared statement on a connection, reset after each use.
class Sql {
 public:
  Sql(sqlite3* db, std::string_view text);
  ~Sql();
  Sql(const Sql&) = delete;
  Sql& operator=(const Sql&) = delete;
  Sql& Bind(int index, std::string_view text);
  Sql& Bind(int index, std::int64_t number);
  bool Step();  // true while a row is available
  void Run();   // steps to completion
  std::string_view Text(int column) const;
  std::int64_t Int(int column) const;
  bool IsNull(int column) const;
  void Reset();

 private:
  sqlite3* db_;
  sqlite3_stmt* statement_ = nullptr;
};

// Opens an SQLite connection (WAL, synchronous=FULL) or throws.
sqlite3* OpenSqlite(const std::string& path, bool read_only);
void Exec(sqlite3* db, const char* sql);

// A connection to a PostgreSQL server, closed on destruction; throws std::runtime_error when
// it cannot connect (the message names the database, never a password).
class PgConnection {
 public:
  explicit PgConnection(const std::string& conninfo);
  ~PgConnection();
  PgConnection(const PgConnection&) = delete;
  PgConnection& operator=(const PgConnection&) = delete;
  PGconn* get() const { return connection_; }
  // Runs SQL text (one or more statements without parameters) or throws.
  void Exec(const std::string& sql);
  // The first column of the first row of a query, nullopt when it returns no row.
  std::optional<std::string> Value(const std::string& sql);

 private:
  PGconn* connection_ = nullptr;
};

// A statement prepared once on a connection, run with text parameters (nullopt for NULL);
// the rows of the last run stay readable until the next.
class PgSql {
 public:
  PgSql(PgConnection& connection, std::string_view text);
  PgSql(const PgSql&) = delete;
  PgSql& operator=(const PgSql&) = delete;
  PgSql& Run(std::initializer_list<std::optional<std::string_view>> parameters);
  int Rows() const { return PQntuples(result_.get()); }
  std::string_view Text(int row, int column) const;
  bool IsNull(int row, int column) const { return PQgetisnull(result_.get(), row, column) != 0; }

 private:
  PgConnection& connection_;
  std::string name_;
  std::unique_ptr<PGresult, decltype(&PQclear)> result_{nullptr, &PQclear};
};

// Per-operation latencies in microseconds: wall-clock time, and the thread's CPU time, which
// other programs running on the machine disturb less; and the statements and round trips to a
// PostgreSQL server each operation made (bench/pq_count.h).
class Latencies {
 public:
  // Starts timing one operation.
  void Start();
  // Ends the operation started last.
  void Stop();
  double Percentile(double p) { return PercentileOf(wall_, p); }
  double CpuPercentile(double p) { return PercentileOf(cpu_, p); }
  std::size_t Count() const { return wall_.size(); }
  // Per operation, over every operation timed.
  double StatementsPerOperation() const { return PerOperation(server_.statements); }
  double RoundTripsPerOperation() const { return PerOperation(server_.round_trips); }

 private:
  static double PercentileOf(std::vector<double>& samples, double p);
  double PerOperation(std::int64_t total) const {
    return wall_.empty() ? 0 : static_cast<double>(total) / static_cast<double>(wall_.size());
  }

  std::vector<double> wall_;
  std::vector<double> cpu_;
  std::chrono::steady_clock::time_point wall_start_;
  double cpu_start_ = 0;
  PqCounts server_start_;
  PqCounts server_;
};

}  // namespace varnolde::bench
