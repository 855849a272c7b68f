// The advances panel's jobs on a large employer's database, each done by the engine (and the
// panel) and the obvious way in a plain relational SQLite schema, on the same data in the same
// run. Every benchmark reports the median and 99th percentile of one operation in
// microseconds over random caregivers or prefixes; the scans report records per second.
// scripts/bench.sh makes the database and runs this; docs/performance.md reads the figures.
#include <benchmark/benchmark.h>

#include <iostream>
#include <random>

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

const std::vector<std::string>& Prefixes(const benchmark::State& state) {
  return state.range(0) == 0 ? Data().popular_prefixes : Data().rare_prefixes;
}

void NameSearch_Mvdb(benchmark::State& state) {
  const BenchData& data = Data();
  auto link = mvdb::OpenDatabase(data.mvdb_path);
  const auto& prefixes = Prefixes(state);
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
    const auto& prefixes = Prefixes(state);
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

std::vector<std::string> CodesOfEntity(const std::string& entity) {
  std::vector<std::string> codes;
  for (const auto& caregiver : Data().caregivers) {
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
  const std::vector<std::string> codes = CodesOfEntity("001");
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
    const std::vector<std::string> codes = CodesOfEntity("001");
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

// Ten advances of one caregiver (or of the caregivers after it), for each sample caregiver.
std::vector<std::vector<std::pair<std::string, std::string>>> TenAdvances(sqlite3* db) {
  Sql query(db, "SELECT k, amount, paid_on FROM acompte WHERE k >= ?1 ORDER BY k LIMIT 10");
  std::vector<std::vector<std::pair<std::string, std::string>>> sets;
  for (std::size_t s = 0; s < 50 && s < Data().caregivers.size(); ++s) {
    query.Bind(1, Data().caregivers[s].code);
    auto& rows = sets.emplace_back();
    while (query.Step()) {
      std::string text = std::to_string(query.Int(1)) + mvdb::kAM;
      if (!query.IsNull(2)) text += std::to_string(query.Int(2));
      rows.emplace_back(query.Text(0), text);
    }
    query.Reset();
  }
  return sets;
}

using AdvanceRows = std::vector<std::pair<std::string, std::string>>;

// What the panel's validation does for ten rows: one transaction, a savepoint per row, the
// stored advance deleted and written again, one durable commit.
void ValidateWithEngine(DatabaseLink& link, DbFile& advances, const AdvanceRows& rows) {
  link.Begin();
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
  sqlite3* reader = OpenSqlite(data.relational_path, true);
  const auto sets = TenAdvances(reader);
  sqlite3_close_v2(reader);
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
    const auto sets = TenAdvances(db);
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
    const auto sets = TenAdvances(db);
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

BENCHMARK(ContractQuery_Mvdb)->Iterations(4000)->Unit(benchmark::kMicrosecond);
BENCHMARK(ContractQuery_Sqlite)->Iterations(4000)->Unit(benchmark::kMicrosecond);
BENCHMARK(NameSearch_Mvdb)->ArgName("rare")->Arg(0)->Iterations(60)->Unit(benchmark::kMillisecond);
BENCHMARK(NameSearch_Sqlite)->ArgName("rare")->Arg(0)->Iterations(60)->Unit(benchmark::kMillisecond);
BENCHMARK(NameSearch_Mvdb)->ArgName("rare")->Arg(1)->Iterations(2000)->Unit(benchmark::kMicrosecond);
BENCHMARK(NameSearch_Sqlite)->ArgName("rare")->Arg(1)->Iterations(2000)->Unit(benchmark::kMicrosecond);
BENCHMARK(CaregiverLookup_Panel)->Iterations(1000)->Unit(benchmark::kMicrosecond);
BENCHMARK(CaregiverLookup_Sqlite)->Iterations(1000)->Unit(benchmark::kMicrosecond);
BENCHMARK(Validation_Mvdb)->Iterations(300)->Unit(benchmark::kMicrosecond);
BENCHMARK(Validation_Sqlite)->Iterations(300)->Unit(benchmark::kMicrosecond);
BENCHMARK(Validation_Interleaved)->Iterations(300)->Unit(benchmark::kMicrosecond);
BENCHMARK(FullScan_Mvdb)->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(FullScan_Sqlite)->Iterations(5)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace varnolde::bench

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  try {
    varnolde::bench::Data();  // loads the sample (and builds the relational copy) up front
  } catch (const std::exception& e) {
    std::cerr << "panel_bench: " << e.what() << '\n';
    return 1;
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
