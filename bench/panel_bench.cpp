// The advances panel's jobs on a large employer's database, each done by the engine (and the
// panel) and the obvious way in a plain relational schema, on the same data in the same run:
// on an SQLite file beside a relational SQLite file, and (the benchmarks named Server_...) on
// a PostgreSQL server beside a relational database of the same server, reached through libpq
// prepared statements. Every benchmark reports the median and 99th percentile of one operation
// in microseconds over random caregivers or prefixes, and on the server the statements and
// round trips per operation (bench/pq_count.h); the scans report records per second.
// scripts/bench.sh makes the databases and runs this; docs/performance.md reads the figures.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <functional>
#include <iostream>
#include <optional>
#include <random>
#include <set>

#include "bench_data.h"
#include "components/database.h"
#include "components/tables.h"
#include "host/panel_session.h"
#include "mvdb/dynarray.h"
#include "panel/layout.h"
#include "toolkit/headless/clerk_driver.h"
#include "toolkit/headless/headless_toolkit.h"

namespace varnolde::bench {
namespace {

namespace t = varnolde::tables;

constexpr std::string_view kContractColumns = "0 1 2 3 7 8 28 65";

void Report(benchmark::State& state, Latencies& latencies) {
  state.counters["median_us"] = latencies.Percentile(50);
  state.counters["p99_us"] = latencies.Percentile(99);
  state.counters["cpu_median_us"] = latencies.CpuPercentile(50);
  state.counters["samples"] = static_cast<double>(latencies.Count());
  if (latencies.StatementsPerOperation() > 0) {
    state.counters["statements"] = latencies.StatementsPerOperation();
    state.counters["round_trips"] = latencies.RoundTripsPerOperation();
  }
}

std::string Request(std::string_view sentence, std::string_view file, std::string_view columns) {
  return std::string(sentence) + mvdb::kAM + std::string(file) + mvdb::kAM + std::string(columns);
}

// ---- The period contract query ---------------------------------------------------------------

void ContractQuery_Mvdb(benchmark::State& state) {
  const BenchData& data = Data();
  auto link = mvdb::OpenDatabase(data.mvdb_path);
  std::vector<std::string> requests;
  for (const auto& caregiver : data.caregivers) {
    requests.push_back(Request(PeriodContractSentence(caregiver, data.first_day, data.last_day),
                               t::kContrat, kContractColumns));
  }
  Latencies latencies;
  std::size_t i = 0, rows = 0;
  for (auto _ : state) {
    const std::string& request = requests[i++ % requests.size()];
    std::int32_t count = 0;
    latencies.Start();
    auto result = link->Select(request, "", count);
    latencies.Stop();
    rows += static_cast<std::size_t>(count);
    benchmark::DoNotOptimize(result);
  }
  Report(state, latencies);
  state.counters["rows_per_query"] = static_cast<double>(rows) / static_cast<double>(i);
}

// The same question in SQL: the caregiver and entity through the composite index, the rest
// filtered, the same columns returned.
constexpr const char* kContractSql =
    "SELECT k, employer, entity, cared_for, start, end, flag28, flag65 FROM contrat "
    "WHERE caregiver = ?1 AND entity IN (?2, '02') AND start <= ?3 "
    "AND (end IS NULL OR end >= ?4) AND flag65 IS NOT 'O' "
    "AND ((entity = ?2 AND employer IS NOT 'O2') OR (entity = ?2 AND entity = '02' AND "
    "flag28 = '1')) ORDER BY start, end, k";

void ContractQuery_Sqlite(benchmark::State& state) {
  const BenchData& data = Data();
  sqlite3* db = OpenSqlite(data.relational_path, true);
  {
    Sql query(db, kContractSql);
    const std::int64_t first = std::stoll(data.first_day), last = std::stoll(data.last_day);
    Latencies latencies;
    std::size_t i = 0, rows = 0;
    for (auto _ : state) {
      const SampleCaregiver& caregiver = data.caregivers[i++ % data.caregivers.size()];
      latencies.Start();
      query.Bind(1, caregiver.code).Bind(2, caregiver.entity).Bind(3, last).Bind(4, first);
      std::string result;  // built like the engine's result, one row per contract
      while (query.Step()) {
        for (int c = 0; c < 8; ++c) {
          if (c > 0) result += mvdb::kVM;
          result += query.Text(c);
        }
        result += mvdb::kAM;
        ++rows;
      }
      query.Reset();
      latencies.Stop();
      benchmark::DoNotOptimize(result);
    }
    Report(state, latencies);
    state.counters["rows_per_query"] = static_cast<double>(rows) / static_cast<double>(i);
  }
  sqlite3_close_v2(db);
}

// ---- The name search ------------------------------------------------------------------------

const std::vector<std::string>& Prefixes(const benchmark::State& state, const BenchData& data) {
  return state.range(0) == 0 ? data.popular_prefixes : data.rare_prefixes;
}

void NameSearch_Mvdb(benchmark::State& state) {
  const BenchData& data = Data();
  auto link = mvdb::OpenDatabase(data.mvdb_path);
  const auto& prefixes = Prefixes(state, data);
  Latencies latencies;
  std::size_t i = 0, rows = 0;
  for (auto _ : state) {
    const std::string request =
        Request("SSELECT CIVILAIDANT AVEC NomPrenomAidant = \"" + prefixes[i++ % prefixes.size()] +
                    "]\" PAR 2 PAR 3",
                t::kCivilAidant, "0 2 3");
    std::int32_t count = 0;
    latencies.Start();
    auto result = link->Select(request, "", count);
    latencies.Stop();
    rows += static_cast<std::size_t>(count);
    benchmark::DoNotOptimize(result);
  }
  Report(state, latencies);
  state.counters["rows_per_query"] = static_cast<double>(rows) / static_cast<double>(i);
}

void NameSearch_Sqlite(benchmark::State& state) {
  const BenchData& data = Data();
  sqlite3* db = OpenSqlite(data.relational_path, true);
  {
    Sql query(db,
              "SELECT code, surname, firstname FROM civilaidant "
              "WHERE upper(surname || ' ' || firstname) >= ?1 "
              "AND upper(surname || ' ' || firstname) < ?2 ORDER BY surname, firstname, code");
    const auto& prefixes = Prefixes(state, data);
    Latencies latencies;
    std::size_t i = 0, rows = 0;
    for (auto _ : state) {
      const std::string& prefix = prefixes[i++ % prefixes.size()];
      std::string after = prefix;
      after.back() = static_cast<char>(after.back() + 1);
      latencies.Start();
      query.Bind(1, prefix).Bind(2, after);
      std::string result;
      while (query.Step()) {
        result.append(query.Text(0)).append(1, mvdb::kVM).append(query.Text(1));
        result.append(1, mvdb::kVM).append(query.Text(2)).append(1, mvdb::kAM);
        ++rows;
      }
      query.Reset();
      latencies.Stop();
      benchmark::DoNotOptimize(result);
    }
    Report(state, latencies);
    state.counters["rows_per_query"] = static_cast<double>(rows) / static_cast<double>(i);
  }
  sqlite3_close_v2(db);
}

// ---- The whole caregiver lookup -------------------------------------------------------------

std::vector<std::string> CodesOfEntity(const BenchData& data, const std::string& entity) {
  std::vector<std::string> codes;
  for (const auto& caregiver : data.caregivers) {
    if (caregiver.entity == entity) codes.push_back(caregiver.code);
  }
  return codes;
}

// From the fifth digit of the caregiver's code typed to the lists filled, as a clerk sees it.
void CaregiverLookup_Panel(benchmark::State& state) {
  const BenchData& data = Data();
  HeadlessToolkit toolkit;
  auto session = host::PanelSession::Open(toolkit, data.mvdb_path,
                                          host::SessionSettings{"gestionnaire", "fr_FR"});
  ClerkDriver clerk(toolkit);
  clerk.Type(panel::txt_Entite, "001");
  const std::vector<std::string> codes = CodesOfEntity(data, "001");
  Latencies latencies;
  std::size_t i = 0, rows = 0;
  for (auto _ : state) {
    const std::string& code = codes[i++ % codes.size()];
    state.PauseTiming();
    while (!toolkit.Text(panel::txt_CodeAidant).empty()) {
      clerk.PressKey(panel::txt_CodeAidant, ClerkKey::kBackspace);
    }
    clerk.Type(panel::txt_CodeAidant, code.substr(0, 4));
    // A caregiver with no contract this month makes the panel offer the previous month.
    if (toolkit.PendingAnswers() == 0) toolkit.QueueAnswer(kAnswerNo);
    state.ResumeTiming();
    latencies.Start();
    clerk.Type(panel::txt_CodeAidant, code.substr(4));
    latencies.Stop();
    rows += static_cast<std::size_t>(toolkit.ListCount(panel::Lst_CodeContrat));
  }
  Report(state, latencies);
  state.counters["rows_per_lookup"] = static_cast<double>(rows) / static_cast<double>(i);
}

// The same reads in SQL: the user's rights, the caregiver, the period contracts, then for each
// contract its advance of the month and its employer's name.
void CaregiverLookup_Sqlite(benchmark::State& state) {
  const BenchData& data = Data();
  sqlite3* db = OpenSqlite(data.relational_path, true);
  {
    Sql user(db, "SELECT functions, levels, grps FROM users WHERE login = ?1");
    Sql caregiver(db, "SELECT surname, firstname, grp FROM civilaidant WHERE code = ?1");
    Sql contracts(db, kContractSql);
    Sql advance(db, "SELECT amount, paid_on FROM acompte WHERE k = ?1");
    Sql entity(db, "SELECT employer_name FROM association WHERE code = ?1");
    Sql person(db, "SELECT surname, firstname FROM civilaide WHERE code = ?1");
    const std::vector<std::string> codes = CodesOfEntity(data, "001");
    const std::int64_t first = std::stoll(data.first_day), last = std::stoll(data.last_day);
    Latencies latencies;
    std::size_t i = 0, rows = 0;
    for (auto _ : state) {
      const std::string& code = codes[i++ % codes.size()];
      latencies.Start();
      std::string shown;
      user.Bind(1, "gestionnaire");
      if (user.Step()) shown += user.Text(2);
      user.Reset();
      caregiver.Bind(1, code);
      if (caregiver.Step()) shown.append(caregiver.Text(0)).append(caregiver.Text(1));
      caregiver.Reset();
      contracts.Bind(1, code).Bind(2, "001").Bind(3, last).Bind(4, first);
      std::vector<std::pair<std::string, std::string>> found;  // key, employer
      while (contracts.Step()) {
        found.emplace_back(contracts.Text(0), contracts.Text(1) == "02"
                                                  ? std::string(contracts.Text(3).substr(0, 5))
                                                  : std::string(contracts.Text(1)));
      }
      contracts.Reset();
      for (const auto& [key, employer] : found) {
        advance.Bind(1, key + "202611");
        if (advance.Step()) shown += std::to_string(advance.Int(0));
        advance.Reset();
        Sql& name = employer.size() == 5 ? person : entity;
        name.Bind(1, employer);
        if (name.Step()) shown += name.Text(0);
        name.Reset();
      }
      latencies.Stop();
      rows += found.size();
      benchmark::DoNotOptimize(shown);
    }
    Report(state, latencies);
    state.counters["rows_per_lookup"] = static_cast<double>(rows) / static_cast<double>(i);
  }
  sqlite3_close_v2(db);
}

// ---- A durable validation of ten rows ------------------------------------------------------

using AdvanceRows = std::vector<std::pair<std::string, std::string>>;

// Ten advances of one caregiver (or of the caregivers after it), for each of the first 50
// sample caregivers, read from the relational copy.
std::vector<AdvanceRows> TenAdvances(const BenchData& data) {
  std::vector<AdvanceRows> sets;
  const std::size_t count = std::min<std::size_t>(50, data.caregivers.size());
  if (data.server) {
    PgConnection db(data.relational_path);
    PgSql query(db, "SELECT k, amount, paid_on FROM acompte WHERE k >= $1 ORDER BY k LIMIT 10");
    for (std::size_t s = 0; s < count; ++s) {
      query.Run({data.caregivers[s].code});
      auto& rows = sets.emplace_back();
      for (int r = 0; r < query.Rows(); ++r) {
        std::string text = std::string(query.Text(r, 1)) + mvdb::kAM;
        if (!query.IsNull(r, 2)) text += query.Text(r, 2);
        rows.emplace_back(query.Text(r, 0), text);
      }
    }
    return sets;
  }
  sqlite3* db = OpenSqlite(data.relational_path, true);
  {
    Sql query(db, "SELECT k, amount, paid_on FROM acompte WHERE k >= ?1 ORDER BY k LIMIT 10");
    for (std::size_t s = 0; s < count; ++s) {
      query.Bind(1, data.caregivers[s].code);
      auto& rows = sets.emplace_back();
      while (query.Step()) {
        std::string text = std::to_string(query.Int(1)) + mvdb::kAM;
        if (!query.IsNull(2)) text += std::to_string(query.Int(2));
        rows.emplace_back(query.Text(0), text);
      }
      query.Reset();
    }
  }
  sqlite3_close_v2(db);
  return sets;
}

// What the panel's validation does for ten rows: one transaction; a lock named after each
// caregiver, the advances read ahead, and a read of each stored advance, through which the
// panel makes sure that no other clerk changed them since they were shown; then a savepoint per
// row, the stored advance read, deleted and written again; one durable commit.
void ValidateWithEngine(DatabaseLink& link, DbFile& advances, const AdvanceRows& rows) {
  link.Begin();
  std::set<std::string> caregivers;
  for (const auto& [key, text] : rows) caregivers.insert(key.substr(0, 5));
  for (const std::string& caregiver : caregivers) {
    link.Lock(std::string(t::kAcompteBull) + " " + caregiver);
  }
  std::vector<std::string> keys;
  for (const auto& [key, text] : rows) keys.push_back(key);
  link.ReadAhead(t::kAcompteBull, keys);
  for (const auto& [key, text] : rows) benchmark::DoNotOptimize(advances.Read(key)->Get());
  for (const auto& [key, text] : rows) {
    link.Savepoint("acompte_ligne");
    advances.Read(key)->DBDelete();
    auto written = advances.ReadForUpdate(key);
    written->Set(text);
    written->DBWrite();
    link.ReleaseSavepoint("acompte_ligne");
  }
  link.Commit();
}

// The same ten deletes and inserts in one transaction of the relational schema.
class RelationalValidation {
 public:
  explicit RelationalValidation(sqlite3* db)
      : begin_(db, "BEGIN IMMEDIATE"),
        commit_(db, "COMMIT"),
        remove_(db, "DELETE FROM acompte WHERE k = ?1"),
        insert_(db, "INSERT INTO acompte VALUES(?1, ?2, ?3)") {}

  void Run(const AdvanceRows& rows) {
    begin_.Run();
    for (const auto& [key, text] : rows) {
      remove_.Bind(1, key).Run();
      const std::string_view paid_on = mvdb::ExtractField(text, mvdb::kAM, 2);
      insert_.Bind(1, key).Bind(2, std::stoll(std::string(mvdb::ExtractField(text, mvdb::kAM, 1))));
      if (!paid_on.empty()) insert_.Bind(3, std::stoll(std::string(paid_on)));
      insert_.Run();
    }
    commit_.Run();
  }

 private:
  Sql begin_, commit_, remove_, insert_;
};

void Validation_Mvdb(benchmark::State& state) {
  const BenchData& data = Data();
  const auto sets = TenAdvances(data);
  auto link = mvdb::OpenDatabase(data.mvdb_path);
  auto advances = link->OpenFile(t::kAcompteBull);
  Latencies latencies;
  std::size_t i = 0;
  for (auto _ : state) {
    const auto& rows = sets[i++ % sets.size()];
    latencies.Start();
    ValidateWithEngine(*link, *advances, rows);
    latencies.Stop();
  }
  Report(state, latencies);
}

void Validation_Sqlite(benchmark::State& state) {
  const BenchData& data = Data();
  sqlite3* db = OpenSqlite(data.relational_path, false);
  {
    const auto sets = TenAdvances(data);
    RelationalValidation relational_validation(db);
    Latencies latencies;
    std::size_t i = 0;
    for (auto _ : state) {
      const auto& rows = sets[i++ % sets.size()];
      latencies.Start();
      relational_validation.Run(rows);
      latencies.Stop();
    }
    Report(state, latencies);
  }
  sqlite3_close_v2(db);
}

// Both validations in turns, so that the disk's moments of slow syncs (other programs writing)
// fall on both alike: the engine's figures as median_us and p99_us, the relational ones as
// sqlite_median_us and sqlite_p99_us.
void Validation_Interleaved(benchmark::State& state) {
  const BenchData& data = Data();
  sqlite3* db = OpenSqlite(data.relational_path, false);
  {
    const auto sets = TenAdvances(data);
    RelationalValidation relational_validation(db);
    auto link = mvdb::OpenDatabase(data.mvdb_path);
    auto advances = link->OpenFile(t::kAcompteBull);
    Latencies engine, relational;
    std::size_t i = 0;
    for (auto _ : state) {
      const auto& rows = sets[i++ % sets.size()];
      engine.Start();
      ValidateWithEngine(*link, *advances, rows);
      engine.Stop();
      relational.Start();
      relational_validation.Run(rows);
      relational.Stop();
    }
    Report(state, engine);
    state.counters["sqlite_median_us"] = relational.Percentile(50);
    state.counters["sqlite_p99_us"] = relational.Percentile(99);
    state.counters["ratio"] = engine.Percentile(50) / relational.Percentile(50);
  }
  sqlite3_close_v2(db);
}

// ---- A full scan with criteria on an attribute no index serves -----------------------------

void FullScan_Mvdb(benchmark::State& state) {
  const BenchData& data = Data();
  auto link = mvdb::OpenDatabase(data.mvdb_path);
  const std::string request =
      Request("SSELECT CONTRAT AVEC 4 = \"INTERIM\"", t::kContrat, "0");
  Latencies latencies;
  for (auto _ : state) {
    std::int32_t count = 0;
    latencies.Start();
    auto result = link->Select(request, "", count);
    latencies.Stop();
    benchmark::DoNotOptimize(result);
  }
  Report(state, latencies);
  state.counters["Mrecords_per_s"] =
      static_cast<double>(data.contracts) / latencies.Percentile(50);  // records per µs = M/s
  state.counters["cpu_Mrecords_per_s"] =
      static_cast<double>(data.contracts) / latencies.CpuPercentile(50);
}

// The reference: SQLite stepping through the relational contracts with a test on a column.
void FullScan_Sqlite(benchmark::State& state) {
  const BenchData& data = Data();
  sqlite3* db = OpenSqlite(data.relational_path, true);
  {
    Sql query(db, "SELECT k FROM contrat WHERE cared_for = 'INTERIM'");
    Latencies latencies;
    for (auto _ : state) {
      latencies.Start();
      query.Run();
      latencies.Stop();
    }
    Report(state, latencies);
    state.counters["Mrecords_per_s"] =
        static_cast<double>(data.contracts) / latencies.Percentile(50);
    state.counters["cpu_Mrecords_per_s"] =
        static_cast<double>(data.contracts) / latencies.CpuPercentile(50);
  }
  sqlite3_close_v2(db);
}

// ---- The same jobs on a PostgreSQL server, beside a relational database there ------------
//
// Each server benchmark does the engine's operation and the relational one in turns (which
// goes first alternates), so that the moments when other programs take the machine's two
// cores fall on both alike: the engine's figures as median_us, p99_us, statements and
// round_trips, the relational ones as relational_median_us, relational_p99_us and
// relational_round_trips, and ratio = the engine's median / the relational median.

// One operation of one side: does operation number i, timing it with latencies; returns the
// rows it found.
using Operation = std::function<std::size_t(std::size_t i, Latencies& latencies)>;

void InTurns(benchmark::State& state, const Operation& engine, const Operation& relational,
             const char* rows_name) {
  Latencies engine_times, relational_times;
  std::size_t i = 0, engine_rows = 0, relational_rows = 0;
  for (auto _ : state) {
    if (i % 2 == 0) {
      engine_rows += engine(i, engine_times);
      relational_rows += relational(i, relational_times);
    } else {
      relational_rows += relational(i, relational_times);
      engine_rows += engine(i, engine_times);
    }
    ++i;
  }
  Report(state, engine_times);
  state.counters["relational_median_us"] = relational_times.Percentile(50);
  state.counters["relational_p99_us"] = relational_times.Percentile(99);
  state.counters["relational_round_trips"] = relational_times.RoundTripsPerOperation();
  state.counters["ratio"] = engine_times.Percentile(50) / relational_times.Percentile(50);
  const double n = static_cast<double>(std::max<std::size_t>(i, 1));
  state.counters[rows_name] = static_cast<double>(engine_rows) / n;
  state.counters[std::string("relational_") + rows_name] = static_cast<double>(relational_rows) / n;
}

// The period contract query in SQL, as on the relational SQLite file; NULLS FIRST because
// SQLite and the engine put an empty end before the others.
constexpr const char* kContractPgSql =
    "SELECT k, employer, entity, cared_for, start, \"end\", flag28, flag65 FROM contrat "
    "WHERE caregiver = $1 AND entity IN ($2, '02') AND start <= $3 "
    "AND (\"end\" IS NULL OR \"end\" >= $4) AND flag65 IS DISTINCT FROM 'O' "
    "AND ((entity = $2 AND employer IS DISTINCT FROM 'O2') OR (entity = $2 AND entity = '02' "
    "AND flag28 = '1')) ORDER BY start, \"end\" NULLS FIRST, k";

// A Select through the engine's link, timed.
std::size_t EngineSelect(DatabaseLink& link, const std::string& request, Latencies& latencies) {
  std::int32_t count = 0;
  latencies.Start();
  auto result = link.Select(request, "", count);
  latencies.Stop();
  benchmark::DoNotOptimize(result);
  return static_cast<std::size_t>(count);
}

void Server_ContractQuery(benchmark::State& state) {
  const BenchData& data = ServerData();
  auto link = mvdb::OpenDatabase(data.mvdb_path);
  std::vector<std::string> requests;
  for (const auto& caregiver : data.caregivers) {
    requests.push_back(Request(PeriodContractSentence(caregiver, data.first_day, data.last_day),
                               t::kContrat, kContractColumns));
  }
  PgConnection db(data.relational_path);
  PgSql query(db, kContractPgSql);
  InTurns(
      state,
      [&](std::size_t i, Latencies& latencies) {
        return EngineSelect(*link, requests[i % requests.size()], latencies);
      },
      [&](std::size_t i, Latencies& latencies) {
        const SampleCaregiver& caregiver = data.caregivers[i % data.caregivers.size()];
        latencies.Start();
        query.Run({caregiver.code, caregiver.entity, data.last_day, data.first_day});
        std::string result;  // built like the engine's result, one row per contract
        for (int r = 0; r < query.Rows(); ++r) {
          for (int c = 0; c < 8; ++c) {
            if (c > 0) result += mvdb::kVM;
            result += query.Text(r, c);
          }
          result += mvdb::kAM;
        }
        latencies.Stop();
        benchmark::DoNotOptimize(result);
        return static_cast<std::size_t>(query.Rows());
      },
      "rows_per_query");
}

void Server_NameSearch(benchmark::State& state) {
  const BenchData& data = ServerData();
  const auto& prefixes = Prefixes(state, data);
  auto link = mvdb::OpenDatabase(data.mvdb_path);
  PgConnection db(data.relational_path);
  PgSql query(db,
              "SELECT code, surname, firstname FROM civilaidant "
              "WHERE upper(surname || ' ' || firstname) >= $1 "
              "AND upper(surname || ' ' || firstname) < $2 ORDER BY surname, firstname, code");
  InTurns(
      state,
      [&](std::size_t i, Latencies& latencies) {
        const std::string request = Request("SSELECT CIVILAIDANT AVEC NomPrenomAidant = \"" +
                                                prefixes[i % prefixes.size()] + "]\" PAR 2 PAR 3",
                                            t::kCivilAidant, "0 2 3");
        return EngineSelect(*link, request, latencies);
      },
      [&](std::size_t i, Latencies& latencies) {
        const std::string& prefix = prefixes[i % prefixes.size()];
        std::string after = prefix;
        after.back() = static_cast<char>(after.back() + 1);
        latencies.Start();
        query.Run({prefix, after});
        std::string result;
        for (int r = 0; r < query.Rows(); ++r) {
          result.append(query.Text(r, 0)).append(1, mvdb::kVM).append(query.Text(r, 1));
          result.append(1, mvdb::kVM).append(query.Text(r, 2)).append(1, mvdb::kAM);
        }
        latencies.Stop();
        benchmark::DoNotOptimize(result);
        return static_cast<std::size_t>(query.Rows());
      },
      "rows_per_query");
}

// The panel's lookup as in CaregiverLookup_Panel; the relational side does the same reads as
// CaregiverLookup_Sqlite, one prepared statement after the other.
void Server_CaregiverLookup(benchmark::State& state) {
  const BenchData& data = ServerData();
  const std::vector<std::string> codes = CodesOfEntity(data, "001");
  HeadlessToolkit toolkit;
  auto session = host::PanelSession::Open(toolkit, data.mvdb_path,
                                          host::SessionSettings{"gestionnaire", "fr_FR"});
  ClerkDriver clerk(toolkit);
  clerk.Type(panel::txt_Entite, "001");
  PgConnection db(data.relational_path);
  PgSql user(db, "SELECT functions, levels, grps FROM users WHERE login = $1");
  PgSql caregiver(db, "SELECT surname, firstname, grp FROM civilaidant WHERE code = $1");
  PgSql contracts(db, kContractPgSql);
  PgSql advance(db, "SELECT amount, paid_on FROM acompte WHERE k = $1");
  PgSql entity(db, "SELECT employer_name FROM association WHERE code = $1");
  PgSql person(db, "SELECT surname, firstname FROM civilaide WHERE code = $1");
  InTurns(
      state,
      [&](std::size_t i, Latencies& latencies) {
        const std::string& code = codes[i % codes.size()];
        while (!toolkit.Text(panel::txt_CodeAidant).empty()) {
          clerk.PressKey(panel::txt_CodeAidant, ClerkKey::kBackspace);
        }
        clerk.Type(panel::txt_CodeAidant, code.substr(0, 4));
        if (toolkit.PendingAnswers() == 0) toolkit.QueueAnswer(kAnswerNo);
        latencies.Start();
        clerk.Type(panel::txt_CodeAidant, code.substr(4));
        latencies.Stop();
        return static_cast<std::size_t>(toolkit.ListCount(panel::Lst_CodeContrat));
      },
      [&](std::size_t i, Latencies& latencies) {
        const std::string& code = codes[i % codes.size()];
        latencies.Start();
        std::string shown;
        user.Run({"gestionnaire"});
        if (user.Rows() > 0) shown += user.Text(0, 2);
        caregiver.Run({code});
        if (caregiver.Rows() > 0) shown.append(caregiver.Text(0, 0)).append(caregiver.Text(0, 1));
        contracts.Run({code, "001", data.last_day, data.first_day});
        std::vector<std::pair<std::string, std::string>> found;  // key, employer
        for (int r = 0; r < contracts.Rows(); ++r) {
          found.emplace_back(contracts.Text(r, 0),
                             contracts.Text(r, 1) == "02"
                                 ? std::string(contracts.Text(r, 3).substr(0, 5))
                                 : std::string(contracts.Text(r, 1)));
        }
        for (const auto& [key, employer] : found) {
          advance.Run({key + "202611"});
          if (advance.Rows() > 0) shown += advance.Text(0, 0);
          PgSql& name = employer.size() == 5 ? person : entity;
          name.Run({employer});
          if (name.Rows() > 0) shown += name.Text(0, 0);
        }
        latencies.Stop();
        benchmark::DoNotOptimize(shown);
        return found.size();
      },
      "rows_per_lookup");
}

// The ten deletes and inserts in one transaction of the relational database, committed
// durably (the server's default synchronous_commit).
class PgRelationalValidation {
 public:
  explicit PgRelationalValidation(PgConnection& db)
      : db_(db),
        remove_(db, "DELETE FROM acompte WHERE k = $1"),
        insert_(db, "INSERT INTO acompte VALUES($1, $2, $3)") {}

  void Run(const AdvanceRows& rows) {
    db_.Exec("BEGIN");
    for (const auto& [key, text] : rows) {
      remove_.Run({key});
      const std::string_view paid_on = mvdb::ExtractField(text, mvdb::kAM, 2);
      insert_.Run({key, mvdb::ExtractField(text, mvdb::kAM, 1),
                   paid_on.empty() ? std::nullopt : std::optional<std::string_view>(paid_on)});
    }
    db_.Exec("COMMIT");
  }

 private:
  PgConnection& db_;
  PgSql remove_, insert_;
};

void Server_Validation(benchmark::State& state) {
  const BenchData& data = ServerData();
  const auto sets = TenAdvances(data);
  auto link = mvdb::OpenDatabase(data.mvdb_path);
  auto advances = link->OpenFile(t::kAcompteBull);
  PgConnection db(data.relational_path);
  PgRelationalValidation relational_validation(db);
  InTurns(
      state,
      [&](std::size_t i, Latencies& latencies) {
        const auto& rows = sets[i % sets.size()];
        latencies.Start();
        ValidateWithEngine(*link, *advances, rows);
        latencies.Stop();
        return rows.size();
      },
      [&](std::size_t i, Latencies& latencies) {
        const auto& rows = sets[i % sets.size()];
        latencies.Start();
        relational_validation.Run(rows);
        latencies.Stop();
        return rows.size();
      },
      "rows_per_validation");
}

// ---- Which benchmarks run -------------------------------------------------------------------

struct Job {
  const char* name;
  void (*run)(benchmark::State&);
  int rare;  // the name searches' argument: 0 popular prefixes, 1 rare ones; -1 none
  int iterations;
  benchmark::TimeUnit unit;
};

constexpr benchmark::TimeUnit kUs = benchmark::kMicrosecond, kMs = benchmark::kMillisecond;

constexpr Job kFileJobs[] = {
    {"ContractQuery_Mvdb", ContractQuery_Mvdb, -1, 4000, kUs},
    {"ContractQuery_Sqlite", ContractQuery_Sqlite, -1, 4000, kUs},
    {"NameSearch_Mvdb", NameSearch_Mvdb, 0, 60, kMs},
    {"NameSearch_Sqlite", NameSearch_Sqlite, 0, 60, kMs},
    {"NameSearch_Mvdb", NameSearch_Mvdb, 1, 2000, kUs},
    {"NameSearch_Sqlite", NameSearch_Sqlite, 1, 2000, kUs},
    {"CaregiverLookup_Panel", CaregiverLookup_Panel, -1, 1000, kUs},
    {"CaregiverLookup_Sqlite", CaregiverLookup_Sqlite, -1, 1000, kUs},
    {"Validation_Mvdb", Validation_Mvdb, -1, 300, kUs},
    {"Validation_Sqlite", Validation_Sqlite, -1, 300, kUs},
    {"Validation_Interleaved", Validation_Interleaved, -1, 300, kUs},
    {"FullScan_Mvdb", FullScan_Mvdb, -1, 5, kMs},
    {"FullScan_Sqlite", FullScan_Sqlite, -1, 5, kMs},
};

// The server's jobs, named Server_... so that a filter picks them out.
constexpr Job kServerJobs[] = {
    {"Server_ContractQuery", Server_ContractQuery, -1, 4000, kUs},
    {"Server_NameSearch", Server_NameSearch, 0, 60, kMs},
    {"Server_NameSearch", Server_NameSearch, 1, 2000, kUs},
    {"Server_CaregiverLookup", Server_CaregiverLookup, -1, 1000, kUs},
    {"Server_Validation", Server_Validation, -1, 300, kUs},
};

template <std::size_t N>
void Register(const Job (&jobs)[N]) {
  for (const Job& job : jobs) {
    auto* benchmark = benchmark::RegisterBenchmark(job.name, job.run);
    if (job.rare >= 0) benchmark->ArgName("rare")->Arg(job.rare);
    benchmark->Iterations(job.iterations)->Unit(job.unit);
  }
}

}  // namespace
}  // namespace varnolde::bench

int main(int argc, char** argv) {
  using namespace varnolde::bench;
  benchmark::Initialize(&argc, argv);
  try {
    // Loads the samples (and builds the relational copies) up front.
    if (FileWanted()) {
      Data();
      Register(kFileJobs);
    }
    if (ServerWanted()) {
      ServerData();
      Register(kServerJobs);
    }
  } catch (const std::exception& e) {
    std::cerr << "panel_bench: " << e.what() << '\n';
    return 1;
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
