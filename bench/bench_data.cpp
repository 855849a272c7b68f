// The benchmarks' shared data (bench_data.h).
#include "bench_data.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>
#include <cstdio>
#include <stdexcept>
#include <time.h>

#include "components/tables.h"
#include "mvdb/dynarray.h"

namespace varnolde::bench {
namespace {

namespace fs = std::filesystem;
using mvdb::ExtractField;
using mvdb::kAM;

// The attributes of a record from attribute first on, marks between them included; empty when
// the record has fewer.
std::string_view AttributesFrom(std::string_view text, int first) {
  std::size_t start = 0;
  for (int marks = 1; marks < first; ++marks) {
    start = text.find(kAM, start);
    if (start == std::string_view::npos) return {};
    ++start;
  }
  return text.substr(start);
}

// Opening for reading only (the options' other members as they come).
mvdb::OpenOptions ReadOnly() {
  mvdb::OpenOptions options;
  options.read_only = true;
  return options;
}

std::string StoredDate(std::chrono::year_month_day day) {
  using namespace std::chrono;
  return std::to_string((sys_days{day} - sys_days{1967y / December / 31}).count());
}

// Fills the relational schema from the mvdb records, in one transaction.
void BuildRelational(mvdb::Database& source, const std::string& path) {
  const std::string partial = path + ".partial";
  fs::remove(partial);
  sqlite3* db = OpenSqlite(partial, false);
  Exec(db, "PRAGMA synchronous=OFF");
  Exec(db,
       "CREATE TABLE contrat(k TEXT PRIMARY KEY, caregiver TEXT NOT NULL, employer TEXT, "
       "entity TEXT, cared_for TEXT, start INTEGER, end INTEGER, flag28 TEXT, flag65 TEXT, "
       "other TEXT);"
       "CREATE TABLE civilaidant(code TEXT PRIMARY KEY, civility TEXT, surname TEXT, "
       "firstname TEXT, grp TEXT, other TEXT);"
       "CREATE TABLE acompte(k TEXT PRIMARY KEY, amount INTEGER, paid_on INTEGER);"
       "CREATE TABLE association(code TEXT PRIMARY KEY, name TEXT, employer_name TEXT);"
       "CREATE TABLE civilaide(code TEXT PRIMARY KEY, civility TEXT, surname TEXT, "
       "firstname TEXT);"
       "CREATE TABLE users(login TEXT PRIMARY KEY, functions TEXT, levels TEXT, grps TEXT);"
       "BEGIN");
  auto nullable_int = [](Sql& sql, int index, std::string_view text) {
    if (text.empty()) return;  // stays NULL after Reset
    sql.Bind(index, static_cast<std::int64_t>(std::stoll(std::string(text))));
  };
  {
    Sql insert(db, "INSERT INTO contrat VALUES(?,?,?,?,?,?,?,?,?,?)");
    source.ForEachRecord(tables::kContrat, [&](std::string_view key, std::string_view text) {
      insert.Bind(1, key).Bind(2, key.substr(0, 5)).Bind(3, ExtractField(text, kAM, 1));
      insert.Bind(4, ExtractField(text, kAM, 2)).Bind(5, ExtractField(text, kAM, 3));
      nullable_int(insert, 6, ExtractField(text, kAM, 7));
      nullable_int(insert, 7, ExtractField(text, kAM, 8));
      insert.Bind(8, ExtractField(text, kAM, 28)).Bind(9, ExtractField(text, kAM, 65));
      insert.Bind(10, AttributesFrom(text, 9));
      insert.Run();
    });
    Sql caregiver(db, "INSERT INTO civilaidant VALUES(?,?,?,?,?,?)");
    source.ForEachRecord(tables::kCivilAidant, [&](std::string_view key, std::string_view text) {
      caregiver.Bind(1, key).Bind(2, ExtractField(text, kAM, 1)).Bind(3, ExtractField(text, kAM, 2));
      caregiver.Bind(4, ExtractField(text, kAM, 3)).Bind(5, ExtractField(text, kAM, 31));
      caregiver.Bind(6, text).Run();
    });
    Sql advance(db, "INSERT INTO acompte VALUES(?,?,?)");
    source.ForEachRecord(tables::kAcompteBull, [&](std::string_view key, std::string_view text) {
      advance.Bind(1, key);
      nullable_int(advance, 2, ExtractField(text, kAM, 1));
      nullable_int(advance, 3, ExtractField(text, kAM, 2));
      advance.Run();
    });
    Sql entity(db, "INSERT INTO association VALUES(?,?,?)");
    source.ForEachRecord(tables::kAssociation, [&](std::string_view key, std::string_view text) {
      entity.Bind(1, key).Bind(2, ExtractField(text, kAM, 1)).Bind(3, ExtractField(text, kAM, 2));
      entity.Run();
    });
    Sql person(db, "INSERT INTO civilaide VALUES(?,?,?,?)");
    source.ForEachRecord(tables::kCivilAide, [&](std::string_view key, std::string_view text) {
      person.Bind(1, key).Bind(2, ExtractField(text, kAM, 1)).Bind(3, ExtractField(text, kAM, 2));
      person.Bind(4, ExtractField(text, kAM, 3)).Run();
    });
    Sql user(db, "INSERT INTO users VALUES(?,?,?,?)");
    source.ForEachRecord(tables::kUtilisateurs, [&](std::string_view key, std::string_view text) {
      user.Bind(1, key).Bind(2, ExtractField(text, kAM, 1)).Bind(3, ExtractField(text, kAM, 2));
      user.Bind(4, ExtractField(text, kAM, 3)).Run();
    });
  }
  Exec(db,
       "CREATE INDEX contrat_period ON contrat(caregiver, entity, start, end);"
       "CREATE INDEX civilaidant_name ON civilaidant(upper(surname || ' ' || firstname));"
       "COMMIT; ANALYZE;");
  sqlite3_close_v2(db);
  fs::rename(partial, path);
}

// Rows for COPY ... FROM STDIN in PostgreSQL's text format, sent in large pieces.
class CopyIn {
 public:
  CopyIn(PgConnection& connection, const std::string& statement) : connection_(connection) {
    std::unique_ptr<PGresult, decltype(&PQclear)> result(
        PQexec(connection.get(), statement.c_str()), &PQclear);
    if (PQresultStatus(result.get()) != PGRES_COPY_IN) {
      throw std::runtime_error(statement + ": " + PQerrorMessage(connection.get()));
    }
  }
  CopyIn& Text(std::string_view value) {
    Separate();
    for (char c : value) {
      switch (c) {
        case '\\': buffer_ += "\\\\"; break;
        case '\t': buffer_ += "\\t"; break;
        case '\n': buffer_ += "\\n"; break;
        case '\r': buffer_ += "\\r"; break;
        default: buffer_ += c;
      }
    }
    return *this;
  }
  // An integer column: the attribute's digits, NULL when it is empty.
  CopyIn& Number(std::string_view value) {
    if (value.empty()) {
      Separate();
      buffer_ += "\\N";
      return *this;
    }
    return Text(value);
  }
  // A bytea column, for texts holding the marks (bytes that are no UTF-8).
  CopyIn& Bytes(std::string_view value) {
    static constexpr char kHex[] = "0123456789abcdef";
    Separate();
    buffer_ += "\\\\x";
    for (char c : value) {
      buffer_ += kHex[static_cast<unsigned char>(c) >> 4];
      buffer_ += kHex[static_cast<unsigned char>(c) & 15];
    }
    return *this;
  }
  void EndRow() {
    buffer_ += '\n';
    first_ = true;
    if (buffer_.size() > (1 << 20)) Flush();
  }
  void Finish() {
    Flush();
    if (PQputCopyEnd(connection_.get(), nullptr) != 1) Fail();
    std::unique_ptr<PGresult, decltype(&PQclear)> result(PQgetResult(connection_.get()), &PQclear);
    if (PQresultStatus(result.get()) != PGRES_COMMAND_OK) Fail();
    while (PGresult* rest = PQgetResult(connection_.get())) PQclear(rest);
  }

 private:
  void Separate() {
    if (!first_) buffer_ += '\t';
    first_ = false;
  }
  void Flush() {
    const int size = static_cast<int>(buffer_.size());
    if (PQputCopyData(connection_.get(), buffer_.data(), size) != 1) Fail();
    buffer_.clear();
  }
  [[noreturn]] void Fail() {
    throw std::runtime_error(std::string("COPY: ") + PQerrorMessage(connection_.get()));
  }

  PgConnection& connection_;
  std::string buffer_;
  bool first_ = true;
};

// Fills the relational schema on the server from the mvdb records, in one transaction, then
// lets the server gather its statistics as an administrator would after a bulk load.
void BuildPgRelational(mvdb::Database& source, PgConnection& db) {
  db.Exec(
      "BEGIN;"
      "CREATE TABLE contrat(k text COLLATE \"C\" PRIMARY KEY,"
      " caregiver text COLLATE \"C\" NOT NULL, employer text COLLATE \"C\","
      " entity text COLLATE \"C\", cared_for text COLLATE \"C\","
      " start integer, \"end\" integer, flag28 text COLLATE \"C\", flag65 text COLLATE \"C\","
      " other bytea);"
      "CREATE TABLE civilaidant(code text COLLATE \"C\" PRIMARY KEY, civility text,"
      " surname text COLLATE \"C\", firstname text COLLATE \"C\", grp text, other bytea);"
      "CREATE TABLE acompte(k text COLLATE \"C\" PRIMARY KEY, amount bigint, paid_on integer);"
      "CREATE TABLE association(code text COLLATE \"C\" PRIMARY KEY, name text,"
      " employer_name text);"
      "CREATE TABLE civilaide(code text COLLATE \"C\" PRIMARY KEY, civility text, surname text,"
      " firstname text);"
      "CREATE TABLE users(login text COLLATE \"C\" PRIMARY KEY, functions text, levels text,"
      " grps text);");
  {
    CopyIn contracts(db, "COPY contrat FROM STDIN");
    source.ForEachRecord(tables::kContrat, [&](std::string_view key, std::string_view text) {
      contracts.Text(key).Text(key.substr(0, 5)).Text(ExtractField(text, kAM, 1));
      contracts.Text(ExtractField(text, kAM, 2)).Text(ExtractField(text, kAM, 3));
      contracts.Number(ExtractField(text, kAM, 7)).Number(ExtractField(text, kAM, 8));
      contracts.Text(ExtractField(text, kAM, 28)).Text(ExtractField(text, kAM, 65));
      contracts.Bytes(AttributesFrom(text, 9));
      contracts.EndRow();
    });
    contracts.Finish();
  }
  {
    CopyIn caregivers(db, "COPY civilaidant FROM STDIN");
    source.ForEachRecord(tables::kCivilAidant, [&](std::string_view key, std::string_view text) {
      caregivers.Text(key).Text(ExtractField(text, kAM, 1)).Text(ExtractField(text, kAM, 2));
      caregivers.Text(ExtractField(text, kAM, 3)).Text(ExtractField(text, kAM, 31)).Bytes(text);
      caregivers.EndRow();
    });
    caregivers.Finish();
  }
  {
    CopyIn advances(db, "COPY acompte FROM STDIN");
    source.ForEachRecord(tables::kAcompteBull, [&](std::string_view key, std::string_view text) {
      advances.Text(key).Number(ExtractField(text, kAM, 1)).Number(ExtractField(text, kAM, 2));
      advances.EndRow();
    });
    advances.Finish();
  }
  {
    CopyIn entities(db, "COPY association FROM STDIN");
    source.ForEachRecord(tables::kAssociation, [&](std::string_view key, std::string_view text) {
      entities.Text(key).Text(ExtractField(text, kAM, 1)).Text(ExtractField(text, kAM, 2));
      entities.EndRow();
    });
    entities.Finish();
  }
  {
    CopyIn persons(db, "COPY civilaide FROM STDIN");
    source.ForEachRecord(tables::kCivilAide, [&](std::string_view key, std::string_view text) {
      persons.Text(key).Text(ExtractField(text, kAM, 1)).Text(ExtractField(text, kAM, 2));
      persons.Text(ExtractField(text, kAM, 3)).EndRow();
    });
    persons.Finish();
  }
  {
    CopyIn users(db, "COPY users FROM STDIN");
    source.ForEachRecord(tables::kUtilisateurs, [&](std::string_view key, std::string_view text) {
      users.Text(key).Text(ExtractField(text, kAM, 1)).Text(ExtractField(text, kAM, 2));
      users.Text(ExtractField(text, kAM, 3)).EndRow();
    });
    users.Finish();
  }
  db.Exec(
      "CREATE INDEX contrat_period ON contrat(caregiver, entity, start, \"end\");"
      "CREATE INDEX civilaidant_name ON civilaidant((upper(surname || ' ' || firstname)));"
      "COMMIT");
  db.Exec("VACUUM ANALYZE contrat, civilaidant, acompte, association, civilaide, users");
}

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

// The sample of the mvdb database of data (mvdb_path and server filled in).
void Sample(BenchData& data, mvdb::Database& database);

BenchData LoadFile() {
  BenchData data;
  const std::string env = Environment("VARNOLDE_BENCH_DB");
  data.mvdb_path = !env.empty() ? env : "var/bench/large.db";
  data.relational_path = data.mvdb_path + ".relational.db";
  if (!fs::exists(data.mvdb_path)) {
    throw std::runtime_error(data.mvdb_path + " is missing: make it with `mvdb generate` "
                             "(scripts/bench.sh does)");
  }
  auto database = mvdb::OpenMvdb(data.mvdb_path, ReadOnly());
  if (!fs::exists(data.relational_path)) BuildRelational(*database, data.relational_path);
  Sample(data, *database);
  database->ForEachRecord(tables::kContrat,
                          [&](std::string_view, std::string_view) { ++data.contracts; });
  return data;
}

BenchData LoadServer() {
  BenchData data;
  data.server = true;
  data.mvdb_path = Environment("VARNOLDE_BENCH_SERVER");
  data.relational_path = Environment("VARNOLDE_BENCH_RELATIONAL");
  if (data.mvdb_path.empty() || data.relational_path.empty()) {
    throw std::runtime_error("VARNOLDE_BENCH_SERVER and VARNOLDE_BENCH_RELATIONAL name the "
                             "server's databases (scripts/bench.sh sets them)");
  }
  auto database = mvdb::OpenMvdb(data.mvdb_path, ReadOnly());
  {
    PgConnection relational(data.relational_path);
    if (relational.Value("SELECT to_regclass('public.contrat') IS NOT NULL") != "t") {
      const auto start = std::chrono::steady_clock::now();
      BuildPgRelational(*database, relational);
      std::fprintf(stderr, "relational copy on the server built in %.1f s\n",
                   std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
  }
  Sample(data, *database);
  return data;
}

void Sample(BenchData& data, mvdb::Database& database) {

  std::vector<std::string> codes;
  std::map<std::string, int> prefixes;       // three letters
  std::map<std::string, int> long_prefixes;  // five letters
  database.ForEachRecord(tables::kCivilAidant, [&](std::string_view key, std::string_view text) {
    if (key.find_first_not_of("0123456789") == std::string_view::npos) codes.emplace_back(key);
    std::string_view surname = ExtractField(text, kAM, tables::civilaidant::kFirstName);
    if (surname.size() >= 3) ++prefixes[std::string(surname.substr(0, 3))];
    if (surname.size() >= 5) ++long_prefixes[std::string(surname.substr(0, 5))];
  });
  std::mt19937_64 random(20261106);
  std::shuffle(codes.begin(), codes.end(), random);
  codes.resize(std::min<std::size_t>(codes.size(), 2000));
  auto contracts = database.OpenFile(tables::kContrat);
  for (const std::string& code : codes) {
    auto first = contracts->Read(code + "001");
    data.caregivers.push_back({code, first->Get(tables::contrat::kEntity)});
  }
  std::vector<std::pair<int, std::string>> by_count;
  for (const auto& [prefix, count] : prefixes) by_count.emplace_back(count, prefix);
  std::sort(by_count.rbegin(), by_count.rend());
  for (std::size_t i = 0; i < by_count.size() && data.popular_prefixes.size() < 5; ++i) {
    data.popular_prefixes.push_back(by_count[i].second);
  }
  for (const auto& [prefix, count] : long_prefixes) {
    if (count <= 20 && data.rare_prefixes.size() < 50) data.rare_prefixes.push_back(prefix);
  }
  if (data.popular_prefixes.empty() || data.rare_prefixes.empty() || data.caregivers.empty()) {
    throw std::runtime_error(data.mvdb_path + " is too small to sample caregivers and names");
  }
  using namespace std::chrono;
  data.first_day = StoredDate(2026y / November / 1);
  data.last_day = StoredDate(2026y / November / 30);
}

}  // namespace

bool FileWanted() {
  return std::getenv("VARNOLDE_BENCH_DB") != nullptr ||
         std::getenv("VARNOLDE_BENCH_SERVER") == nullptr;
}

bool ServerWanted() { return std::getenv("VARNOLDE_BENCH_SERVER") != nullptr; }

const BenchData& Data() {
  static const BenchData data = LoadFile();
  return data;
}

const BenchData& ServerData() {
  static const BenchData data = LoadServer();
  return data;
}

std::string PeriodContractSentence(const SampleCaregiver& caregiver, const std::string& first_day,
                                   const std::string& last_day) {
  const std::string per_caregiver = " AND AVEC 0 = \"" + caregiver.code + "]\" AND AVEC 7 =< \"" +
                                    last_day + "\" AND AVEC 8 = \"\" OR >= \"" + first_day +
                                    "\" AND AVEC 65 # \"O\"";
  return "SSELECT CONTRAT AVEC 2 = \"" + caregiver.entity + "\" AND AVEC 1 # \"O2\"" +
         per_caregiver + " OR AVEC 2 = \"" + caregiver.entity + "\"" + per_caregiver +
         " AND AVEC 2 = \"02\" AND AVEC 28 = \"1\" PAR 7 PAR 8";
}

Sql::Sql(sqlite3* db, std::string_view text) : db_(db) {
  if (sqlite3_prepare_v3(db, text.data(), static_cast<int>(text.size()), SQLITE_PREPARE_PERSISTENT,
                         &statement_, nullptr) != SQLITE_OK) {
    throw std::runtime_error("cannot prepare \"" + std::string(text) + "\": " + sqlite3_errmsg(db));
  }
}

Sql::~Sql() { sqlite3_finalize(statement_); }

Sql& Sql::Bind(int index, std::string_view text) {
  sqlite3_bind_text(statement_, index, text.data(), static_cast<int>(text.size()), SQLITE_STATIC);
  return *this;
}

Sql& Sql::Bind(int index, std::int64_t number) {
  sqlite3_bind_int64(statement_, index, number);
  return *this;
}

bool Sql::Step() {
  const int rc = sqlite3_step(statement_);
  if (rc == SQLITE_ROW) return true;
  if (rc != SQLITE_DONE) {
    const std::string message = sqlite3_errmsg(db_);
    Reset();
    throw std::runtime_error("SQLite: " + message);
  }
  return false;
}

void Sql::Run() {
  while (Step()) {
  }
  Reset();
}

std::string_view Sql::Text(int column) const {
  const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement_, column));
  return text == nullptr ? std::string_view()
                         : std::string_view(text, sqlite3_column_bytes(statement_, column));
}

std::int64_t Sql::Int(int column) const { return sqlite3_column_int64(statement_, column); }
bool Sql::IsNull(int column) const { return sqlite3_column_type(statement_, column) == SQLITE_NULL; }

void Sql::Reset() {
  sqlite3_reset(statement_);
  sqlite3_clear_bindings(statement_);
}

PgConnection::PgConnection(const std::string& conninfo) {
  connection_ = PQconnectdb(conninfo.c_str());
  if (PQstatus(connection_) != CONNECTION_OK) {
    const std::string message = PQerrorMessage(connection_);
    PQfinish(connection_);
    // libpq's message names the server and the database, never a password.
    throw std::runtime_error("cannot connect to the server: " + message);
  }
}

PgConnection::~PgConnection() { PQfinish(connection_); }

void PgConnection::Exec(const std::string& sql) {
  std::unique_ptr<PGresult, decltype(&PQclear)> result(PQexec(connection_, sql.c_str()), &PQclear);
  const ExecStatusType status = PQresultStatus(result.get());
  if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
    throw std::runtime_error("server: " + std::string(PQerrorMessage(connection_)));
  }
}

std::optional<std::string> PgConnection::Value(const std::string& sql) {
  std::unique_ptr<PGresult, decltype(&PQclear)> result(PQexec(connection_, sql.c_str()), &PQclear);
  if (PQresultStatus(result.get()) != PGRES_TUPLES_OK) {
    throw std::runtime_error("server: " + std::string(PQerrorMessage(connection_)));
  }
  if (PQntuples(result.get()) == 0) return std::nullopt;
  return std::string(PQgetvalue(result.get(), 0, 0));
}

PgSql::PgSql(PgConnection& connection, std::string_view text) : connection_(connection) {
  static int statements = 0;
  name_ = "bench" + std::to_string(++statements);
  std::unique_ptr<PGresult, decltype(&PQclear)> result(
      PQprepare(connection.get(), name_.c_str(), std::string(text).c_str(), 0, nullptr), &PQclear);
  if (PQresultStatus(result.get()) != PGRES_COMMAND_OK) {
    throw std::runtime_error("cannot prepare \"" + std::string(text) +
                             "\": " + PQerrorMessage(connection.get()));
  }
}

PgSql& PgSql::Run(std::initializer_list<std::optional<std::string_view>> parameters) {
  std::vector<std::string> texts;
  texts.reserve(parameters.size());
  std::vector<const char*> values;
  for (const auto& parameter : parameters) {
    if (parameter) {
      values.push_back(texts.emplace_back(*parameter).c_str());
    } else {
      values.push_back(nullptr);
    }
  }
  result_.reset(PQexecPrepared(connection_.get(), name_.c_str(), static_cast<int>(values.size()),
                               values.data(), nullptr, nullptr, 0));
  const ExecStatusType status = PQresultStatus(result_.get());
  if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
    throw std::runtime_error("server: " + std::string(PQerrorMessage(connection_.get())));
  }
  return *this;
}

std::string_view PgSql::Text(int row, int column) const {
  return std::string_view(PQgetvalue(result_.get(), row, column),
                          static_cast<std::size_t>(PQgetlength(result_.get(), row, column)));
}

sqlite3* OpenSqlite(const std::string& path, bool read_only) {
  sqlite3* db = nullptr;
  const int flags = read_only ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
  if (sqlite3_open_v2(path.c_str(), &db, flags, nullptr) != SQLITE_OK) {
    const std::string message = db != nullptr ? sqlite3_errmsg(db) : "out of memory";
    sqlite3_close_v2(db);
    throw std::runtime_error("cannot open " + path + ": " + message);
  }
  if (!read_only) Exec(db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL");
  return db;
}

void Exec(sqlite3* db, const char* sql) {
  char* error = nullptr;
  if (sqlite3_exec(db, sql, nullptr, nullptr, &error) != SQLITE_OK) {
    const std::string message = error != nullptr ? error : "unknown error";
    sqlite3_free(error);
    throw std::runtime_error(std::string("SQLite: ") + message);
  }
}

namespace {
double ThreadCpuMicroseconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) * 1e6 + static_cast<double>(now.tv_nsec) / 1e3;
}
}  // namespace

void Latencies::Start() {
  server_start_ = PqCounted();
  cpu_start_ = ThreadCpuMicroseconds();
  wall_start_ = std::chrono::steady_clock::now();
}

void Latencies::Stop() {
  const auto wall_end = std::chrono::steady_clock::now();
  cpu_.push_back(ThreadCpuMicroseconds() - cpu_start_);
  wall_.push_back(std::chrono::duration<double, std::micro>(wall_end - wall_start_).count());
  const PqCounts made = PqCounted() - server_start_;
  server_.statements += made.statements;
  server_.round_trips += made.round_trips;
}

double Latencies::PercentileOf(std::vector<double>& samples, double p) {
  if (samples.empty()) return 0;
  std::sort(samples.begin(), samples.end());
  const auto at = static_cast<std::size_t>(p / 100.0 * static_cast<double>(samples.size() - 1));
  return samples[at];
}

}  // namespace varnolde::bench
