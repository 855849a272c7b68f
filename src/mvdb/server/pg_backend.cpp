#include "mvdb/server/pg_backend.h"

#include <libpq-fe.h>

#include <cctype>
#include <cstring>
#include <memory>
#include <set>
#include <vector>

#include "components/errors.h"

namespace varnolde::mvdb {
namespace {

constexpr std::int64_t kLayoutFormat = 1;
constexpr char kChannel[] = "mvdb_catalog";

using ResultPtr = std::unique_ptr<PGresult, decltype(&PQclear)>;
ResultPtr Wrap(PGresult* result) { return ResultPtr(result, &PQclear); }

// The server's reason in French, from its SQLSTATE: the server's own text is in the server's
// language, which is not the clerk's.
std::string Cause(PGconn* connection, const PGresult* result) {
  if (PQstatus(connection) == CONNECTION_BAD) return "connexion au serveur perdue";
  const char* state = result != nullptr ? PQresultErrorField(result, PG_DIAG_SQLSTATE) : nullptr;
  const std::string code = state != nullptr ? state : "";
  if (code == "55P03") return "délai d'attente d'un verrou dépassé";
  if (code == "40001" || code == "40P01") return "conflit avec une autre écriture";
  if (code == "42501") return "droits insuffisants sur le serveur";
  if (code == "25006") return "base ouverte en lecture seule";
  if (code.starts_with("53")) return "ressources du serveur épuisées (disque ou mémoire)";
  if (code.starts_with("57P") || code.starts_with("08")) return "serveur arrêté ou injoignable";
  if (code.starts_with("23")) return "contrainte de la base non respectée";
  if (code.starts_with("25")) return "transaction du serveur interrompue";
  if (code.empty()) return "le serveur n'a pas répondu";
  return "refus du serveur (code " + code + ")";
}


class PgBackend final : public Backend {
 public:
  PgBackend(std::string conninfo, std::string name, bool read_only, int lock_timeout_ms)
      : conninfo_(std::move(conninfo)),
        name_(std::move(name)),
        read_only_(read_only),
        lock_timeout_ms_(lock_timeout_ms) {}
  ~PgBackend() override {
    if (connection_ != nullptr) PQfinish(connection_);
  }

  // Connects and prepares the session; raises kDatabaseOpen.
  void Connect(bool may_initialize) {
    connection_ = PQconnectdb(conninfo_.c_str());
    if (PQstatus(connection_) != CONNECTION_OK) {
      throw OpenFailure("connexion impossible (" + ConnectCause() + ")");
    }
    try {
      SetUpSession();
      CheckLayout(may_initialize);
    } catch (const StorageError& e) {
      throw OpenFailure(e.what());
    }
  }

  const std::string& Name() const override { return name_; }
  bool ReadOnly() const override { return read_only_; }

  std::optional<std::int64_t> FindFile(std::string_view name) override {
    return Reading([&]() -> std::optional<std::int64_t> {
      ResultPtr result = Run("cat_find", "SELECT id FROM mvdb_file WHERE name = $1", {name});
      if (PQntuples(result.get()) == 0) return std::nullopt;
      return Integer(result.get(), 0);
    });
  }

  std::vector<std::string> FileNames() override {
    return Reading([&] {
      ResultPtr result = Run("cat_files", "SELECT name FROM mvdb_file ORDER BY name", {});
      std::vector<std::string> names;
      for (int row = 0; row < PQntuples(result.get()); ++row) names.emplace_back(Bytes(result.get(), row, 0));
      return names;
    });
  }

  std::int64_t AddFile(std::string_view name) override {
    ResultPtr result =
        Run("cat_add_file", "INSERT INTO mvdb_file (name) VALUES ($1) RETURNING id", {name});
    const std::int64_t id = Integer(result.get(), 0);
    Exec("CREATE TABLE f" + std::to_string(id) + " (k bytea PRIMARY KEY, v bytea NOT NULL)");
    Exec(std::string("NOTIFY ") + kChannel);
    return id;
  }

  std::vector<IndexEntry> Indexes(std::string_view file) override {
    return Reading([&] {
      ResultPtr result = Run("cat_indexes",
                             "SELECT id, field FROM mvdb_index WHERE file = $1 ORDER BY field", {file});
      std::vector<IndexEntry> indexes;
      for (int row = 0; row < PQntuples(result.get()); ++row) {
        indexes.push_back({Integer(result.get(), row), Bytes(result.get(), row, 1)});
      }
      return indexes;
    });
  }

  std::int64_t AddIndex(std::string_view file, std::int64_t file_id,
                        std::string_view field) override {
    ResultPtr result = Run("cat_add_index",
                           "INSERT INTO mvdb_index (file, field) VALUES ($1, $2) RETURNING id",
                           {file, field});
    const std::int64_t id = Integer(result.get(), 0);
    Exec("CREATE TABLE x" + std::to_string(id) +
         " (v bytea NOT NULL, k bytea NOT NULL, PRIMARY KEY (v, k))");
    Exec(std::string("NOTIFY ") + kChannel);
    return id;
  }

  void DropIndex(std::int64_t index_id) override {
    const std::string id = std::to_string(index_id);
    Exec("DELETE FROM mvdb_index WHERE id = " + id);
    Exec("DROP TABLE x" + id);
    Exec(std::string("NOTIFY ") + kChannel);
  }

  bool Get(std::int64_t file_id, std::string_view key, std::string& text) override {
    return Reading([&] {
      const std::string f = std::to_string(file_id);
      ResultPtr result = Run("g" + f, "SELECT v FROM f" + f + " WHERE k = $1", {key});
      if (PQntuples(result.get()) == 0) return false;
      text = Bytes(result.get(), 0, 0);
      return true;
    });
  }

  void Put(std::int64_t file_id, std::string_view key, std::string_view text) override {
    const std::string f = std::to_string(file_id);
    Run("p" + f,
        "INSERT INTO f" + f + " (k, v) VALUES ($1, $2) ON CONFLICT (k) DO UPDATE SET v = EXCLUDED.v",
        {key, text});
  }

  void Remove(std::int64_t file_id, std::string_view key) override {
    const std::string f = std::to_string(file_id);
    Run("d" + f, "DELETE FROM f" + f + " WHERE k = $1", {key});
  }

  void Scan(std::int64_t file_id, const AccessPath& access, std::int64_t index_id,
            RowSink& sink) override {
    Reading([&] {
      ScanOnce(file_id, access, index_id, sink);
      return 0;
    });
  }

  void AddEntry(std::int64_t index_id, std::string_view value, std::string_view key) override {
    const std::string x = std::to_string(index_id);
    Run("xa" + x, "INSERT INTO x" + x + " (v, k) VALUES ($1, $2) ON CONFLICT DO NOTHING",
        {value, key});
  }

  void RemoveEntry(std::int64_t index_id, std::string_view value, std::string_view key) override {
    const std::string x = std::to_string(index_id);
    Run("xd" + x, "DELETE FROM x" + x + " WHERE v = $1 AND k = $2", {value, key});
  }

  void ClearIndex(std::int64_t index_id) override { Exec("DELETE FROM x" + std::to_string(index_id)); }

  bool CatalogChanged() override {
    PQconsumeInput(connection_);
    bool changed = std::exchange(catalog_unknown_, false);
    while (PGnotify* notice = PQnotifies(connection_)) {
      changed = true;
      PQfreemem(notice);
    }
    return changed;
  }

  void StartRead() override {
    if (PQstatus(connection_) == CONNECTION_BAD && !in_transaction_) Reconnect();
  }

  void NoteDictionaryChange() override {
    Exec("UPDATE mvdb_meta SET value = value + 1 WHERE name = 'dict_generation'");
    Exec(std::string("NOTIFY ") + kChannel);
  }

  void Begin() override {
    // A connection lost between two operations is taken up again before a new transaction.
    if (PQstatus(connection_) == CONNECTION_BAD) Reconnect();
    Exec("BEGIN");
    in_transaction_ = true;
  }
  void Commit() override {
    in_transaction_ = false;
    Exec("COMMIT");
  }
  void Rollback() override {
    in_transaction_ = false;
    if (PQstatus(connection_) != CONNECTION_BAD) Exec("ROLLBACK");
  }
  void Savepoint(std::string_view name) override { Exec("SAVEPOINT " + Identifier(name)); }
  void Release(std::string_view name) override { Exec("RELEASE SAVEPOINT " + Identifier(name)); }
  void RollbackTo(std::string_view name) override {
    Exec("ROLLBACK TO SAVEPOINT " + Identifier(name));
  }
  bool TransactionLost() override {
    if (!in_transaction_) return false;
    if (PQstatus(connection_) == CONNECTION_BAD ||
        PQtransactionStatus(connection_) == PQTRANS_IDLE) {
      in_transaction_ = false;
      return true;
    }
    return false;
  }

  std::string DescribeAccess(const AccessPath& access) const override {
    switch (access.kind) {
      case AccessPath::Kind::kFullScan: return "serveur : parcours de toute la table, par clé";
      case AccessPath::Kind::kKeyEqual: return "serveur : lecture d'une clé (clé primaire)";
      case AccessPath::Kind::kKeyPrefix: return "serveur : intervalle de clés (clé primaire)";
      case AccessPath::Kind::kIndexEqual:
        return "serveur : valeur de l'index jointe à la table (clé primaire de l'index)";
      case AccessPath::Kind::kIndexPrefix:
        return "serveur : intervalle de l'index joint à la table (clé primaire de l'index)";
    }
    return {};
  }

 private:
  ComponentError OpenFailure(const std::string& cause) const {
    return ComponentError(err::kDatabaseOpen, name_ + " : " + cause);
  }

  std::string ConnectCause() const {
    // libpq's message is in English and may name the user; keep only what the user needs.
    const std::string message = PQerrorMessage(connection_);
    if (message.find("password") != std::string::npos)
      return "authentification refusée (mot de passe absent ou faux)";
    if (message.find("does not exist") != std::string::npos) return "base ou rôle inexistant";
    if (message.find("authentication") != std::string::npos) return "authentification refusée";
    if (message.find("SSL") != std::string::npos || message.find("certificate") != std::string::npos)
      return "connexion chiffrée refusée (SSL)";
    return "serveur injoignable";
  }

  void SetUpSession() {
    prepared_.clear();
    Exec("SET client_min_messages = warning");
    Exec("SET lock_timeout = " + std::to_string(lock_timeout_ms_ > 0 ? lock_timeout_ms_ : 1));
    if (read_only_) Exec("SET default_transaction_read_only = on");
    Exec(std::string("LISTEN ") + kChannel);
    catalog_unknown_ = true;
  }

  void CheckLayout(bool may_initialize) {
    ResultPtr result = Query(
        "SELECT to_regclass('public.mvdb_meta') IS NOT NULL, "
        "(SELECT count(*) FROM pg_catalog.pg_tables WHERE schemaname = 'public')");
    const bool has_meta = std::strcmp(PQgetvalue(result.get(), 0, 0), "t") == 0;
    const long tables = std::strtol(PQgetvalue(result.get(), 0, 1), nullptr, 10);
    if (!has_meta) {
      if (tables != 0) throw StorageError("ce n'est pas une base mvdb (tables d'une autre application)");
      if (!may_initialize) throw StorageError("ce n'est pas une base mvdb (base vide)");
      Initialize();
      return;
    }
    ResultPtr format = Query("SELECT value FROM mvdb_meta WHERE name = 'format'");
    const long version = PQntuples(format.get()) == 1 ? std::strtol(PQgetvalue(format.get(), 0, 0), nullptr, 10) : 0;
    if (version != kLayoutFormat) {
      throw StorageError("format mvdb " + std::to_string(version) + " sur le serveur, ce programme lit le format " +
                         std::to_string(kLayoutFormat));
    }
  }

  void Initialize() {
    Exec("BEGIN");
    try {
      Exec("CREATE TABLE mvdb_meta (name text PRIMARY KEY, value bigint NOT NULL)");
      Exec("INSERT INTO mvdb_meta VALUES ('format', " + std::to_string(kLayoutFormat) +
           "), ('dict_generation', 0)");
      Exec("CREATE TABLE mvdb_file (id bigserial PRIMARY KEY, name bytea NOT NULL UNIQUE)");
      Exec("CREATE TABLE mvdb_index (id bigserial PRIMARY KEY, file bytea NOT NULL, "
           "field bytea NOT NULL, UNIQUE (file, field))");
      // Attribute n of a record (n from 1): the bytes between the (n-1)th and nth attribute
      // marks. LATIN1 maps every byte to one character and back, so the split is by bytes.
      Exec("CREATE FUNCTION mvdb_attr(record bytea, n integer) RETURNS bytea "
           "LANGUAGE sql IMMUTABLE STRICT PARALLEL SAFE AS "
           "$$ SELECT convert_to(split_part(convert_from(record, 'LATIN1'), chr(254), n), 'LATIN1') $$");
      Exec("COMMIT");
    } catch (...) {
      Query("ROLLBACK");
      throw;
    }
  }

  void Reconnect() {
    PQreset(connection_);
    if (PQstatus(connection_) != CONNECTION_OK) {
      throw StorageError("connexion au serveur perdue, reprise impossible (" + ConnectCause() + ")");
    }
    in_transaction_ = false;
    SetUpSession();
  }

  // A read, tried again once on a new connection when the connection was lost outside a
  // transaction.
  template <class Read>
  auto Reading(Read&& read) -> decltype(read()) {
    try {
      return read();
    } catch (const StorageError&) {
      if (in_transaction_ || PQstatus(connection_) != CONNECTION_BAD) throw;
    }
    Reconnect();
    return read();
  }

  static std::string Identifier(std::string_view name) {
    std::string quoted = "\"";
    for (char c : name) {
      if (c == '"') quoted += '"';
      if (c != '\0') quoted += c;
    }
    return quoted + "\"";
  }

  // Runs SQL with no parameter and no result rows expected; raises StorageError.
  void Exec(const std::string& sql) { Query(sql); }

  ResultPtr Query(const std::string& sql) {
    ResultPtr result = Wrap(PQexec(connection_, sql.c_str()));
    Check(result.get());
    return result;
  }

  void Check(const PGresult* result) {
    const ExecStatusType status = result != nullptr ? PQresultStatus(result) : PGRES_FATAL_ERROR;
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK &&
        status != PGRES_SINGLE_TUPLE) {
      throw StorageError(Cause(connection_, result));
    }
  }

  void Prepare(const std::string& name, const std::string& sql, int parameters) {
    if (prepared_.count(name) != 0) return;
    ResultPtr result = Wrap(PQprepare(connection_, name.c_str(), sql.c_str(), parameters, nullptr));
    Check(result.get());
    prepared_.insert(name);
  }

  // Runs a statement prepared once per connection, with byte parameters and byte results.
  ResultPtr Run(const std::string& name, const std::string& sql,
                std::initializer_list<std::string_view> parameters) {
    Prepare(name, sql, static_cast<int>(parameters.size()));
    std::vector<const char*> values;
    std::vector<int> lengths;
    std::vector<int> formats(parameters.size(), 1);
    for (std::string_view parameter : parameters) {
      values.push_back(parameter.data());
      lengths.push_back(static_cast<int>(parameter.size()));
    }
    ResultPtr result = Wrap(PQexecPrepared(connection_, name.c_str(), static_cast<int>(values.size()),
                                           values.data(), lengths.data(), formats.data(), 1));
    Check(result.get());
    return result;
  }

  static std::string Bytes(const PGresult* result, int row, int column) {
    return std::string(PQgetvalue(result, row, column),
                       static_cast<std::size_t>(PQgetlength(result, row, column)));
  }

  // A bigint column in binary form (network byte order).
  static std::int64_t Integer(const PGresult* result, int row) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(PQgetvalue(result, row, 0));
    std::uint64_t value = 0;
    for (int i = 0; i < 8; ++i) value = (value << 8) | bytes[i];
    return static_cast<std::int64_t>(value);
  }

  // The smallest text greater than every text beginning with prefix; false when there is none.
  static bool PrefixEnd(std::string_view prefix, std::string& end) {
    end.assign(prefix);
    while (!end.empty() && static_cast<unsigned char>(end.back()) == 0xFF) end.pop_back();
    if (end.empty()) return false;
    end.back() = static_cast<char>(static_cast<unsigned char>(end.back()) + 1);
    return true;
  }

  void ScanOnce(std::int64_t file_id, const AccessPath& access, std::int64_t index_id,
                RowSink& sink) {
    const std::string f = std::to_string(file_id);
    const std::string x = std::to_string(index_id);
    const std::string join = " FROM x" + x + " AS x JOIN f" + f + " AS t ON t.k = x.k";
    std::string end;
    switch (access.kind) {
      case AccessPath::Kind::kFullScan:
        return Stream("sa" + f, "SELECT k, v FROM f" + f + " ORDER BY k", {}, sink);
      case AccessPath::Kind::kKeyEqual:
        return Stream("se" + f, "SELECT k, v FROM f" + f + " WHERE k = $1", {access.value}, sink);
      case AccessPath::Kind::kKeyPrefix:
        if (PrefixEnd(access.value, end)) {
          return Stream("sr" + f, "SELECT k, v FROM f" + f + " WHERE k >= $1 AND k < $2 ORDER BY k",
                        {access.value, end}, sink);
        }
        return Stream("sf" + f, "SELECT k, v FROM f" + f + " WHERE k >= $1 ORDER BY k",
                      {access.value}, sink);
      case AccessPath::Kind::kIndexEqual:
        return Stream("xe" + x, "SELECT t.k, t.v" + join + " WHERE x.v = $1 ORDER BY x.k",
                      {access.value}, sink);
      case AccessPath::Kind::kIndexPrefix:
        if (PrefixEnd(access.value, end)) {
          return Stream("xr" + x,
                        "SELECT t.k, t.v" + join + " WHERE x.v >= $1 AND x.v < $2 ORDER BY x.v, x.k",
                        {access.value, end}, sink);
        }
        return Stream("xf" + x, "SELECT t.k, t.v" + join + " WHERE x.v >= $1 ORDER BY x.v, x.k",
                      {access.value}, sink);
    }
  }

  // Runs a prepared query and hands its rows to sink as they arrive, one at a time, so that a
  // scan of a large file holds one row in memory, not the file.
  void Stream(const std::string& name, const std::string& sql,
              std::initializer_list<std::string_view> parameters, RowSink& sink) {
    Prepare(name, sql, static_cast<int>(parameters.size()));
    std::vector<const char*> values;
    std::vector<int> lengths;
    std::vector<int> formats(parameters.size(), 1);
    for (std::string_view parameter : parameters) {
      values.push_back(parameter.data());
      lengths.push_back(static_cast<int>(parameter.size()));
    }
    if (PQsendQueryPrepared(connection_, name.c_str(), static_cast<int>(values.size()), values.data(),
                            lengths.data(), formats.data(), 1) == 0) {
      throw StorageError(Cause(connection_, nullptr));
    }
    PQsetSingleRowMode(connection_);
    std::exception_ptr failure;
    std::string error;
    // Every result must be read before the connection takes another statement, even after the
    // sink failed.
    while (PGresult* raw = PQgetResult(connection_)) {
      ResultPtr result = Wrap(raw);
      const ExecStatusType status = PQresultStatus(raw);
      if (status == PGRES_SINGLE_TUPLE) {
        if (failure || !error.empty()) continue;
        try {
          sink.Row(std::string_view(PQgetvalue(raw, 0, 0), static_cast<std::size_t>(PQgetlength(raw, 0, 0))),
                   std::string_view(PQgetvalue(raw, 0, 1), static_cast<std::size_t>(PQgetlength(raw, 0, 1))));
        } catch (...) {
          failure = std::current_exception();
        }
      } else if (status != PGRES_TUPLES_OK && error.empty()) {
        error = Cause(connection_, raw);
      }
    }
    if (failure) std::rethrow_exception(failure);
    if (!error.empty()) throw StorageError(error);
    if (PQstatus(connection_) == CONNECTION_BAD) throw StorageError(Cause(connection_, nullptr));
  }

  std::string conninfo_;
  std::string name_;
  bool read_only_;
  int lock_timeout_ms_;
  PGconn* connection_ = nullptr;
  std::set<std::string> prepared_;
  bool in_transaction_ = false;
  bool catalog_unknown_ = true;
};

}  // namespace

bool IsServerName(std::string_view name) {
  if (name.starts_with("postgresql://") || name.starts_with("postgres://")) return true;
  // libpq key=value text: a keyword of letters and underscores followed by "=".
  std::size_t i = 0;
  while (i < name.size() && std::isspace(static_cast<unsigned char>(name[i]))) ++i;
  const std::size_t start = i;
  while (i < name.size() && (std::isalpha(static_cast<unsigned char>(name[i])) || name[i] == '_')) ++i;
  if (i == start) return false;
  while (i < name.size() && std::isspace(static_cast<unsigned char>(name[i]))) ++i;
  return i < name.size() && name[i] == '=';
}

std::string DescribeServer(const std::string& conninfo) {
  char* error = nullptr;
  PQconninfoOption* options = PQconninfoParse(conninfo.c_str(), &error);
  if (options == nullptr) {
    if (error != nullptr) PQfreemem(error);
    return "serveur (texte de connexion illisible)";
  }
  std::string host, port, database, user;
  for (PQconninfoOption* option = options; option->keyword != nullptr; ++option) {
    const std::string keyword = option->keyword;
    const std::string value = option->val != nullptr ? option->val : "";
    if (keyword == "host" || (keyword == "hostaddr" && host.empty())) host = value;
    else if (keyword == "port") port = value;
    else if (keyword == "dbname") database = value;
    else if (keyword == "user") user = value;
  }
  PQconninfoFree(options);
  if (host.empty()) host = "socket local";
  if (port.empty()) port = "5432";
  if (database.empty()) database = user;
  return "serveur « " + host + ":" + port + " », base « " + database + " »";
}

std::unique_ptr<Backend> OpenServerBackend(const std::string& conninfo, const OpenOptions& options) {
  auto backend = std::make_unique<PgBackend>(conninfo, DescribeServer(conninfo), options.read_only,
                                             options.busy_timeout_ms);
  backend->Connect(options.create && !options.read_only);
  return backend;
}

}  // namespace varnolde::mvdb
