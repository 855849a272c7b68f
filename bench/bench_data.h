// What the panel benchmarks share: the large database, a sample of its caregivers and name
// prefixes, the same data in a plain relational SQLite schema, and latency statistics.
//
// The mvdb database is made by `mvdb generate` (scripts/bench.sh); its path comes from the
// environment variable VARNOLDE_BENCH_DB (default var/bench/large.db). The relational copy
// lives next to it (suffix ".relational.db") and is built from it on first use, through a
// temporary file renamed when complete. Failures are reported as std::runtime_error naming the
// file; a benchmark program then stops with a message.
#pragma once

#include <sqlite3.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "mvdb/link.h"

namespace varnolde::bench {

struct SampleCaregiver {
  std::string code;    // five characters
  std::string entity;  // the entity of the caregiver's first contract
};

struct BenchData {
  std::string mvdb_path;
  std::string relational_path;
  std::vector<SampleCaregiver> caregivers;  // random, codes made of digits only
  std::vector<std::string> popular_prefixes;  // three letters, the most frequent surnames
  std::vector<std::string> rare_prefixes;     // five letters, at most 20 caregivers each
  std::int64_t contracts = 0;
  std::string first_day;  // the first open period's bounds, as stored dates
  std::string last_day;
};

// Opens the sample once per process; builds the relational copy when missing.
const BenchData& Data();

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

// Per-operation latencies in microseconds: wall-clock time, and the thread's CPU time, which
// other programs running on the machine disturb less.
class Latencies {
 public:
  // Starts timing one operation.
  void Start();
  // Ends the operation started last.
  void Stop();
  double Percentile(double p) { return PercentileOf(wall_, p); }
  double CpuPercentile(double p) { return PercentileOf(cpu_, p); }
  std::size_t Count() const { return wall_.size(); }

 private:
  static double PercentileOf(std::vector<double>& samples, double p);

  std::vector<double> wall_;
  std::vector<double> cpu_;
  std::chrono::steady_clock::time_point wall_start_;
  double cpu_start_ = 0;
};

}  // namespace varnolde::bench
