#include "mvdb/server/server_storage.h"

#include <libpq-fe.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <unordered_map>
#include <utility>
#include <vector>

#include "components/errors.h"
#include "mvdb/dictionary.h"
#include "mvdb/dynarray.h"

namespace varnolde::mvdb {
namespace {

constexpr std::int64_t kLayoutFormat = 1;
constexpr char kChannel[] = "mvdb_catalog";
// The savepoint a write or delete inside a transaction runs in, so that its failure undoes it
// alone.
constexpr std::string_view kWriteSavepoint = "mvdb_write";

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


// A failed write: kWriteFailed with the text "<what> impossible : <cause>".
ComponentError WriteFailure(const std::string& what, const std::string& cause) {
  return ComponentError(err::kWriteFailed, what + " impossible : " + cause);
}

// A savepoint statement that was sent with a later statement failed: the transaction is over
// on the server, and the later operation fails with it.
class QueuedFailure : public StorageError {
 public:
  using StorageError::StorageError;
};

// A delete that was sent with a later statement failed: the delete alone is undone and the
// later operation, which did nothing, fails with the delete's write failure (kWriteFailed).
class DeferredWriteFailure : public ComponentError {
 public:
  explicit DeferredWriteFailure(const ComponentError& failure) : ComponentError(failure) {}
};

std::string RecordName(std::string_view file, std::string_view key) {
  return "« " + std::string(key) + " » du fichier « " + std::string(file) + " »";
}

// The smallest text greater than every text beginning with prefix; false when there is none.
bool PrefixEnd(std::string_view prefix, std::string& end) {
  end.assign(prefix);
  while (!end.empty() && static_cast<unsigned char>(end.back()) == 0xFF) end.pop_back();
  if (end.empty()) return false;
  end.back() = static_cast<char>(static_cast<unsigned char>(end.back()) + 1);
  return true;
}

std::string Identifier(std::string_view name) {
  std::string quoted = "\"";
  for (char c : name) {
    if (c == '"') quoted += '"';
    if (c != '\0') quoted += c;
  }
  return quoted + "\"";
}

struct IndexInfo {
  std::int64_t id;
  std::string name;                    // Field::IndexName
  std::shared_ptr<const Field> field;  // null when the field cannot be resolved
  std::string problem;                 // why field is null
  bool holds_records = true;           // entries hold their record (column r)
};

struct FileInfo {
  std::int64_t id;
  std::string name;
  std::vector<IndexInfo> indexes;
};

class PgStorage final : public ServerStorage {
 public:
  PgStorage(std::string conninfo, std::string name, bool read_only, int lock_timeout_ms)
      : conninfo_(std::move(conninfo)),
        name_(std::move(name)),
        read_only_(read_only),
        lock_timeout_ms_(lock_timeout_ms) {}
  ~PgStorage() override {
    if (connection_ != nullptr) PQfinish(connection_);
  }
  PgStorage(const PgStorage&) = delete;
  PgStorage& operator=(const PgStorage&) = delete;

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

  const std::string& path() const override { return name_; }
  std::string ConnectedRole() const override {
    const char* user = PQuser(connection_);
    return user != nullptr ? user : "";
  }

  void DropStaleCaches() override {
    if (CatalogNotified() || std::exchange(caches_stale_, false)) DropCaches();
  }
  void DropStaleCachesAsOfNow() override {
    if (!in_transaction_ && PQstatus(connection_) == CONNECTION_BAD) Reconnect();
    DropStaleCaches();
  }
  bool DropCachesIfChanged() override {
    if (!CatalogNotified()) return false;
    DropCaches();
    return true;
  }
  std::uint64_t CatalogGeneration() const override { return catalog_generation_; }
  void MarkCachesStale() override { caches_stale_ = true; }
  void DropCachesIfMarked() override {
    if (std::exchange(caches_stale_, false)) DropCaches();
  }

  bool HasFile(std::string_view file) override { return FindFile(file) != nullptr; }

  std::shared_ptr<const Field> Attribute(int n) override {
    std::shared_ptr<const Field>& field = attributes_[n];
    if (field == nullptr) field = std::make_shared<const Field>(AttributeField(n));
    return field;
  }

  std::shared_ptr<const Field> DictItem(std::string_view file, std::string_view name) override {
    std::string cache_key = std::string(file) + kAM + std::string(name);  // names hold no mark
    auto found = dictionary_.find(cache_key);
    if (found != dictionary_.end()) return found->second;
    std::shared_ptr<const Field> field;
    FileInfo* dict = FindFile(DictFileOf(file));
    std::string text;
    if (dict != nullptr && Get(dict->id, name, text)) {
      field = std::make_shared<Field>(ParseDictItem(name, text));
    }
    dictionary_.emplace(std::move(cache_key), field);
    return field;
  }

  bool HasIndex(std::string_view file, std::string_view index_name) override {
    FileInfo* info = FindFile(file);
    if (info == nullptr) return false;
    for (const IndexInfo& index : info->indexes) {
      if (index.name == index_name) return index.field != nullptr;
    }
    return false;
  }

  void Scan(const std::string& file, const AccessPath& access, RowSink& sink) override {
    FileInfo& info = RequireFile(file);
    const IndexInfo* index = nullptr;
    if (access.kind == AccessPath::Kind::kIndexEqual ||
        access.kind == AccessPath::Kind::kIndexPrefix) {
      index = FindIndex(info, access.index);
      if (index == nullptr) throw StorageError("index « " + access.index + " » disparu");
    }
    Reading([&] {
      ScanOnce(info.id, access, index, sink);
      return 0;
    });
  }

  bool CreateFile(std::string_view file) override {
    bool valid = !file.empty();
    for (char c : file) valid = valid && !IsMark(c) && c != '\0';
    const std::string what = "création du fichier « " + std::string(file) + " »";
    if (!valid) throw WriteFailure(what, "nom invalide");
    bool created = false;
    RunWrite(what, [&] {
      if (FindFile(file) != nullptr) return;
      ++catalog_generation_;
      ResultPtr result =
          Run("cat_add_file", "INSERT INTO mvdb_file (name) VALUES ($1) RETURNING id", {file});
      Exec("CREATE TABLE f" + std::to_string(Integer(result.get(), 0)) +
           " (k bytea PRIMARY KEY, v bytea NOT NULL)");
      Exec(std::string("NOTIFY ") + kChannel);
      caches_stale_ = true;
      created = true;
    });
    return created;
  }

  std::vector<std::string> FileNames() override {
    return Reading([&] {
      ResultPtr result = Run("cat_files", "SELECT name FROM mvdb_file ORDER BY name", {});
      std::vector<std::string> names;
      for (int row = 0; row < PQntuples(result.get()); ++row) {
        names.emplace_back(Bytes(result.get(), row, 0));
      }
      return names;
    });
  }

  std::vector<std::string> IndexNames(std::string_view file) override {
    std::vector<std::string> names;
    for (const IndexInfo& index : RequireFile(file).indexes) names.push_back(index.name);
    return names;
  }

  bool ReadRecord(std::string_view file, std::string_view key, std::string& text) override {
    try {
      return Get(RequireFile(file).id, key, text);
    } catch (const QueuedFailure& e) {
      throw WriteFailure("lecture de " + RecordName(file, key),
                         std::string(e.what()) + " ; la transaction a été annulée");
    } catch (const StorageError& e) {
      throw ComponentError(err::kDatabaseOpen, name_ + " : lecture de " + RecordName(file, key) +
                                                   " impossible : " + e.what());
    }
  }

  // One statement for all the keys: a binary array of bytea as its parameter. Inside a
  // transaction the records found are locked (FOR UPDATE, in a savepoint of its own, so that a
  // refusal leaves the transaction as it was) and kept until its end to answer its reads; the
  // absent ones are not, since nothing locks an absent key.
  bool ReadAhead(std::string_view file, const std::vector<std::string>& keys,
                 RowSink& found) override {
    try {
      const std::int64_t id = RequireFile(file).id;
      const std::string f = std::to_string(id);
      const std::string array = ByteaArray(keys);
      if (InTransaction()) {
        // A queued delete must fail the operation that carries it, and a read-ahead (a hint,
        // whose failures nobody hears) must not be that operation.
        const bool delete_queued = std::any_of(queued_.begin(), queued_.end(),
                                               [](const Pending& p) { return p.IsDelete(); });
        if (!delete_queued) LockAhead(id, f, array);
        return false;
      }
      return Reading([&] {
        ResultPtr result = RunAfterQueued(
            {"m" + f, "SELECT k, v FROM f" + f + " WHERE k = ANY($1::bytea[])", {array}});
        for (int row = 0; row < PQntuples(result.get()); ++row) {
          found.Row(Value(result.get(), row, 0), Value(result.get(), row, 1));
        }
        return true;
      });
    } catch (const QueuedFailure& e) {
      throw WriteFailure("lecture du fichier « " + std::string(file) + " »",
                         std::string(e.what()) + " ; la transaction a été annulée");
    } catch (const StorageError& e) {
      throw ComponentError(err::kDatabaseOpen, name_ + " : lecture du fichier « " +
                                                   std::string(file) + " » impossible : " +
                                                   e.what());
    }
  }

  void WriteRecord(std::string_view file, std::string_view key, std::string_view text,
                   bool* created) override {
    const std::string what = "écriture de " + RecordName(file, key);
    if (!IsValidKey(key)) throw WriteFailure(what, "clé vide ou contenant un séparateur");
    if (created == nullptr && !file.starts_with(kDictPrefix)) {
      const FileInfo* info = KnownFile(file);
      if (info != nullptr && info->indexes.empty()) {
        const std::string f = std::to_string(info->id);
        return WriteOneStatement(
            what, info->id, "p" + f,
            "INSERT INTO f" + f + " (k, v) VALUES ($1, $2) ON CONFLICT (k) DO UPDATE SET v = EXCLUDED.v",
            {key, text});
      }
    }
    RunWrite(what, [&] {
      FileInfo& info = RequireFile(file);
      known_.erase({info.id, std::string(key)});
      if (!info.indexes.empty() || created != nullptr) {
        std::string old_text;
        const bool existed = Get(info.id, key, old_text);
        const std::string new_text(text);
        UpdateIndexes(info, key, existed ? &old_text : nullptr, &new_text);
        if (created != nullptr) *created = !existed;
      }
      const std::string f = std::to_string(info.id);
      Run("p" + f,
          "INSERT INTO f" + f +
              " (k, v) VALUES ($1, $2) ON CONFLICT (k) DO UPDATE SET v = EXCLUDED.v",
          {key, text});
      if (file.starts_with(kDictPrefix)) ApplyDictionaryChange(file, key);
    });
  }

  void DeleteRecord(std::string_view file, std::string_view key) override {
    if (!file.starts_with(kDictPrefix)) {
      const FileInfo* info = KnownFile(file);
      if (info != nullptr && info->indexes.empty()) {
        const std::string f = std::to_string(info->id);
        return WriteOneStatement("suppression de " + RecordName(file, key), info->id, "d" + f,
                                 "DELETE FROM f" + f + " WHERE k = $1", {key});
      }
    }
    RunWrite("suppression de " + RecordName(file, key), [&] {
      FileInfo& info = RequireFile(file);
      known_.erase({info.id, std::string(key)});
      if (!info.indexes.empty()) {
        std::string old_text;
        if (Get(info.id, key, old_text)) UpdateIndexes(info, key, &old_text, nullptr);
      }
      const std::string f = std::to_string(info.id);
      Run("d" + f, "DELETE FROM f" + f + " WHERE k = $1", {key});
      if (file.starts_with(kDictPrefix)) ApplyDictionaryChange(file, key);
    });
  }

  // The failures of the request itself (unknown file or item, the key) keep their numbers.
  std::int64_t BuildIndex(std::string_view file, std::string_view field_name) override {
    const std::string what = "construction de l'index « " + std::string(field_name) +
                             " » de « " + std::string(file) + " »";
    std::int64_t entries = 0;
    try {
      WriteScope scope(*this);
      ++catalog_generation_;
      FileInfo& info = RequireFile(file);
      std::shared_ptr<const Field> field = IndexedField(file, field_name);
      const std::string name = field->IndexName();
      IndexInfo* index = nullptr;
      for (IndexInfo& existing : info.indexes) {
        if (existing.name == name) index = &existing;
      }
      if (index == nullptr) {
        ResultPtr result =
            Run("cat_add_index", "INSERT INTO mvdb_index (file, field) VALUES ($1, $2) RETURNING id",
                {file, name});
        const std::int64_t id = Integer(result.get(), 0);
        Exec("CREATE TABLE x" + std::to_string(id) +
             " (v bytea NOT NULL, k bytea NOT NULL, r bytea, PRIMARY KEY (v, k))");
        Exec(std::string("NOTIFY ") + kChannel);
        info.indexes.push_back({id, name, nullptr, "", true});
        index = &info.indexes.back();
      } else if (!index->holds_records) {
        // Made by an earlier version: its entries take their records from now on.
        Exec("ALTER TABLE x" + std::to_string(index->id) + " ADD COLUMN r bytea");
        Exec(std::string("NOTIFY ") + kChannel);
        index->holds_records = true;
      }
      index->field = field;
      index->problem.clear();
      entries = FillIndex(info, *index);
      scope.Commit();
    } catch (const StorageError& e) {
      throw WriteFailure(what, e.what());
    }
    return entries;
  }

  void Begin() override {
    if (InTransaction())
      throw ComponentError(err::kBadTransaction, "une transaction est déjà ouverte");
    try {
      if (read_only_) throw StorageError("base ouverte en lecture seule");
      // A connection lost between two operations is taken up again before a new transaction.
      if (PQstatus(connection_) == CONNECTION_BAD) Reconnect();
      queued_.clear();
      known_.clear();
      Exec("BEGIN");
    } catch (const StorageError& e) {
      throw WriteFailure("ouverture de la transaction", e.what());
    }
    in_transaction_ = true;
    savepoints_.clear();
  }

  // A transaction the server ended (the connection lost, the server shut down, a lock conflict)
  // stays open on this side until Commit, which then fails with kWriteFailed, or Rollback.
  void Commit() override {
    if (!in_transaction_) throw ComponentError(err::kBadTransaction, "aucune transaction ouverte");
    in_transaction_ = false;
    savepoints_.clear();
    std::string cause;
    try {
      // A transaction a failed statement aborted would be rolled back by COMMIT without error.
      if (PQtransactionStatus(connection_) != PQTRANS_INTRANS) {
        throw StorageError("transaction interrompue par une erreur");
      }
      // The savepoint statements still queued go in the same batch.
      ResultPtr result = RunAfterQueued({"", "COMMIT", {}});
      if (std::strcmp(PQcmdStatus(result.get()), "COMMIT") != 0) {
        throw StorageError("le serveur a annulé la transaction");
      }
      known_.clear();
      return;
    } catch (const StorageError& e) {
      cause = e.what();
    } catch (const DeferredWriteFailure& e) {  // a queued delete refused
      cause = e.what();
    }
    UndoTransaction();
    throw WriteFailure("validation de la transaction", cause + " ; la transaction a été annulée");
  }

  void Rollback() override {
    if (!in_transaction_) throw ComponentError(err::kBadTransaction, "aucune transaction ouverte");
    UndoTransaction();
  }

  void Savepoint(std::string_view name) override {
    RequireTransaction("point de reprise « " + std::string(name) + " »");
    if (name.empty()) throw ComponentError(err::kBadTransaction, "point de reprise sans nom");
    // Needs no answer of its own: sent with the next statement that needs one.
    queued_.push_back(Pending::Text("SAVEPOINT " + Identifier(name)));
    savepoints_.emplace_back(name);
  }

  void ReleaseSavepoint(std::string_view name) override {
    RequireTransaction("abandon du point de reprise « " + std::string(name) + " »");
    const std::size_t at = FindSavepoint(name);
    queued_.push_back(Pending::Text("RELEASE SAVEPOINT " + Identifier(name)));
    savepoints_.resize(at);
  }

  void RollbackTo(std::string_view name) override {
    RequireTransaction("retour au point de reprise « " + std::string(name) + " »");
    const std::size_t at = FindSavepoint(name);
    caches_stale_ = true;
    known_.clear();  // what was written since the savepoint is undone
    // A delete sent with the roll back that fails is undone alone: the roll back is then
    // sent again, and the caller told of the delete's failure.
    std::optional<ComponentError> deferred;
    while (true) {
      try {
        OnSavepoint("ROLLBACK TO SAVEPOINT ", name, "retour au point de reprise « ");
        break;
      } catch (const DeferredWriteFailure& e) {
        if (!deferred) deferred = e;
      }
    }
    savepoints_.resize(at + 1);
    if (deferred) throw *deferred;
  }

  // A transaction-scoped advisory lock of the server, named by a hash of the name's bytes.
  void Lock(std::string_view name) override {
    RequireTransaction("verrou « " + std::string(name) + " »");
    try {
      RunAfterQueued(
          {"lock", "SELECT pg_advisory_xact_lock(hashtextextended(encode($1, 'hex'), 0))", {name}});
    } catch (const StorageError& e) {
      throw WriteFailure("verrou « " + std::string(name) + " »",
                         std::string(e.what()) + (InTransaction() ? "" : " ; la transaction a été annulée"));
    }
  }

  bool InTransaction() const override {
    return in_transaction_ && PQstatus(connection_) == CONNECTION_OK &&
           PQtransactionStatus(connection_) != PQTRANS_IDLE;
  }

  std::string DescribeAccess(const std::string& file, const AccessPath& access) override {
    std::string statement;
    FileInfo& info = RequireFile(file);
    StatementFor(info.id, access, FindIndex(info, access.index),
                 [&](const std::string&, const std::string& sql) { statement = sql; });
    return statement;
  }

 private:
  // One write or delete: a savepoint inside a transaction, BEGIN ... COMMIT outside. Leaving the
  // scope without Commit() undoes everything done in it.
  class WriteScope {
   public:
    explicit WriteScope(PgStorage& storage) : storage_(storage), nested_(storage.InTransaction()) {
      if (storage.read_only_) throw StorageError("base ouverte en lecture seule");
      // Inside a transaction the server ended, a write would otherwise reconnect and commit
      // on its own, out of the transaction it belongs to.
      if (storage.in_transaction_ && !nested_) {
        throw StorageError(storage.LostCause() + " ; la transaction a été annulée");
      }
      storage.lock_conflict_ = false;
      if (!nested_ && PQstatus(storage.connection_) == CONNECTION_BAD) storage.Reconnect();
      storage.Exec(nested_ ? "SAVEPOINT " + std::string(kWriteSavepoint) : "BEGIN");
      if (!nested_) storage.in_transaction_ = true;
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
        if (nested_) {
          storage_.Exec("RELEASE SAVEPOINT " + std::string(kWriteSavepoint));
        } else {
          ResultPtr result = storage_.Query("COMMIT");
          storage_.in_transaction_ = false;
          if (std::strcmp(PQcmdStatus(result.get()), "COMMIT") != 0) {
            throw StorageError("le serveur a annulé la transaction");
          }
        }
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
      // A lock held elsewhere past the wait, or a deadlock, refuses the whole transaction and
      // not this write alone: on a file the lock is the database's and a validation that
      // cannot have it writes nothing; a validation that cannot have one row's lock on the
      // server keeps none of its rows either.
      if (!storage_.UndoOwnSavepoint(kWriteSavepoint, true)) storage_.EndServerTransaction();
    }

    PgStorage& storage_;
    bool nested_;
    bool active_ = false;
  };


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
    // Every statement here is prepared once and is best planned once, for any values: a range
    // of keys or of index values, a key. Left to itself the server plans a range again at each
    // execution, since its estimate for unknown bounds looks dearer than any given range, and a
    // lookup then spends more time planning than running.
    Exec("SET plan_cache_mode = force_generic_plan");
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
      if (tables != 0) {
        throw StorageError("ce n'est pas une base mvdb (tables d'une autre application)");
      }
      if (!may_initialize) throw StorageError("ce n'est pas une base mvdb (base vide)");
      return Initialize();
    }
    ResultPtr format = Query("SELECT value FROM mvdb_meta WHERE name = 'format'");
    const long version =
        PQntuples(format.get()) == 1 ? std::strtol(PQgetvalue(format.get(), 0, 0), nullptr, 10) : 0;
    if (version != kLayoutFormat) {
      throw StorageError("format mvdb " + std::to_string(version) +
                         " sur le serveur, ce programme lit le format " +
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
           "LANGUAGE sql IMMUTABLE STRICT PARALLEL SAFE AS $$ SELECT "
           "convert_to(split_part(convert_from(record, 'LATIN1'), chr(254), n), 'LATIN1') $$");
      Exec("COMMIT");
    } catch (...) {
      PQclear(PQexec(connection_, "ROLLBACK"));
      throw;
    }
  }

  void Reconnect() {
    PQreset(connection_);
    if (PQstatus(connection_) != CONNECTION_OK) {
      throw StorageError("connexion au serveur perdue, reprise impossible (" + ConnectCause() + ")");
    }
    in_transaction_ = false;
    savepoints_.clear();
    queued_.clear();
    known_.clear();
    SetUpSession();
  }

  // Whether another connection (or this one) announced a catalog change since the last look;
  // reading what arrived on the socket costs no round trip.
  bool CatalogNotified() {
    PQconsumeInput(connection_);
    bool changed = std::exchange(catalog_unknown_, false);
    while (PGnotify* notice = PQnotifies(connection_)) {
      changed = true;
      PQfreemem(notice);
    }
    return changed;
  }

  void DropCaches() {
    ++catalog_generation_;
    files_.clear();
    dictionary_.clear();
  }

  FileInfo* FindFile(std::string_view file) {
    auto found = files_.find(std::string(file));
    if (found != files_.end()) return found->second.get();
    return Reading([&]() -> FileInfo* {
      ResultPtr result = Run("cat_find", "SELECT id FROM mvdb_file WHERE name = $1", {file});
      if (PQntuples(result.get()) == 0) return nullptr;
      auto info = std::make_unique<FileInfo>(FileInfo{Integer(result.get(), 0), std::string(file), {}});
      // An index made by an earlier version has no column r.
      ResultPtr indexes = Run(
          "cat_indexes",
          "SELECT id, field, EXISTS (SELECT FROM pg_attribute WHERE attrelid = to_regclass('x' || "
          "id) AND attname = 'r' AND NOT attisdropped) FROM mvdb_index WHERE file = $1 ORDER BY "
          "field",
          {file});
      for (int row = 0; row < PQntuples(indexes.get()); ++row) {
        info->indexes.push_back({Integer(indexes.get(), row), Bytes(indexes.get(), row, 1),
                                 nullptr, "", *PQgetvalue(indexes.get(), row, 2) != 0});
      }
      FileInfo* raw = info.get();
      files_[std::string(file)] = std::move(info);
      for (IndexInfo& index : raw->indexes) ResolveIndex(*raw, index);
      return raw;
    });
  }

  void ResolveIndex(const FileInfo& file, IndexInfo& index) {
    int attribute = 0;
    if (ParseAttributeNumber(index.name, attribute)) {
      index.field = std::make_shared<Field>(AttributeField(attribute));
      return;
    }
    try {
      index.field = DictItem(file.name, index.name);
      if (index.field == nullptr) index.problem = "élément de dictionnaire absent";
    } catch (const ComponentError& e) {
      index.problem = e.what();
    }
  }

  // The cached state of file when it is known already and current; else null (the caller
  // takes the general path, which reads it and reports its failures).
  const FileInfo* KnownFile(std::string_view file) {
    if (caches_stale_ || PQstatus(connection_) != CONNECTION_OK) return nullptr;
    if (CatalogNotified()) {  // an index created meanwhile must be kept by this write
      DropCaches();
      return nullptr;
    }
    auto found = files_.find(std::string(file));
    return found == files_.end() ? nullptr : found->second.get();
  }

  FileInfo& RequireFile(std::string_view file) {
    FileInfo* info = FindFile(file);
    if (info == nullptr) {
      throw ComponentError(err::kUnknownFile, "fichier « " + std::string(file) + " » inconnu");
    }
    return *info;
  }

  bool Get(std::int64_t file_id, std::string_view key, std::string& text) {
    // A key this transaction wrote or deleted is locked by it until its end: no other
    // transaction can change it meanwhile.
    if (InTransaction()) {
      auto found = known_.find({file_id, std::string(key)});
      if (found != known_.end()) {
        if (!found->second) return false;
        text = *found->second;
        return true;
      }
    }
    return Reading([&] {
      const std::string f = std::to_string(file_id);
      ResultPtr result = RunAfterQueued({"g" + f, "SELECT v FROM f" + f + " WHERE k = $1", {key}});
      if (PQntuples(result.get()) == 0) return false;
      text = Bytes(result.get(), 0, 0);
      return true;
    });
  }

  void UpdateIndexes(FileInfo& file, std::string_view key, const std::string* old_text,
                     const std::string* new_text) {
    for (IndexInfo& index : file.indexes) {
      if (index.field == nullptr) {
        throw WriteFailure("mise à jour de l'index « " + index.name + " »",
                           index.problem + " ; reconstruisez l'index (mvdb index)");
      }
      const EntryChange change =
          ChangeOfEntries(*index.field, key, old_text, new_text, index.holds_records);
      const std::string x = std::to_string(index.id);
      if (change.remove_old) {
        AnyValue(change.old_value, [&](std::string_view v) {
          Run("xd" + x, "DELETE FROM x" + x + " WHERE v = $1 AND k = $2", {v, key});
          return false;
        });
      }
      if (change.write_new) {
        AnyValue(change.new_value, [&](std::string_view v) {
          AddEntry(index, v, key, *new_text);
          return false;
        });
      }
    }
  }

  // Adds the entry (value, key) of index, or brings its record up to date; returns the entries
  // added (0 or 1).
  std::int64_t AddEntry(const IndexInfo& index, std::string_view value, std::string_view key,
                        std::string_view text) {
    const std::string x = std::to_string(index.id);
    ResultPtr result =
        index.holds_records
            ? Run("xar" + x,
                  "INSERT INTO x" + x + " (v, k, r) VALUES ($1, $2, $3) "
                  "ON CONFLICT (v, k) DO UPDATE SET r = EXCLUDED.r",
                  {value, key, text})
            : Run("xa" + x, "INSERT INTO x" + x + " (v, k) VALUES ($1, $2) ON CONFLICT DO NOTHING",
                  {value, key});
    return std::strtol(PQcmdTuples(result.get()), nullptr, 10);
  }

  static const IndexInfo* FindIndex(const FileInfo& file, const std::string& name) {
    for (const IndexInfo& index : file.indexes) {
      if (index.name == name) return &index;
    }
    return nullptr;
  }

  std::int64_t FillIndex(FileInfo& file, IndexInfo& index) {
    const std::string x = std::to_string(index.id);
    Exec("DELETE FROM x" + x);
    // The records are gathered first: the connection cannot take statements while it streams.
    std::vector<std::pair<std::string, std::string>> records;
    struct Collect : RowSink {
      std::vector<std::pair<std::string, std::string>>& records;
      explicit Collect(std::vector<std::pair<std::string, std::string>>& r) : records(r) {}
      void Row(std::string_view key, std::string_view text) override {
        records.emplace_back(std::string(key), std::string(text));
      }
    } collect(records);
    ScanOnce(file.id, AccessPath{}, nullptr, collect);
    std::int64_t added = 0;
    for (const auto& record : records) {
      const std::string& key = record.first;
      const std::string& text = record.second;
      AnyValue(IndexedValue(*index.field, key, text), [&](std::string_view v) {
        added += AddEntry(index, v, key, text);
        return false;
      });
    }
    return added;
  }

  void ApplyDictionaryChange(std::string_view dict_file, std::string_view item) {
    Exec("UPDATE mvdb_meta SET value = value + 1 WHERE name = 'dict_generation'");
    Exec(std::string("NOTIFY ") + kChannel);
    ++catalog_generation_;
    dictionary_.clear();
    caches_stale_ = true;
    const std::string_view base = dict_file.substr(kDictPrefix.size());
    FileInfo* info = FindFile(base);
    if (info == nullptr) return;
    for (std::size_t i = 0; i < info->indexes.size(); ++i) {
      IndexInfo& index = info->indexes[i];
      if (index.name != item) continue;
      std::shared_ptr<const Field> field = DictItem(base, item);
      if (field != nullptr && field->kind == Field::Kind::kExpression) {
        index.field = field;
        index.problem.clear();
        FillIndex(*info, index);
      } else {
        // The item no longer defines an expression of that name: its index has no meaning.
        const std::string id = std::to_string(index.id);
        Exec("DELETE FROM mvdb_index WHERE id = " + id);
        Exec("DROP TABLE x" + id);
        info->indexes.erase(info->indexes.begin() + static_cast<std::ptrdiff_t>(i));
      }
      return;
    }
  }

  // Runs write in its own write scope; any failure raises kWriteFailed for what, with the
  // database as before the call.
  template <class Write>
  void RunWrite(const std::string& what, Write&& write) {
    const bool began_in_transaction = InTransaction();
    try {
      WriteScope scope(*this);
      write();
      scope.Commit();
    } catch (const StorageError& e) {
      const bool lost = began_in_transaction && !InTransaction();
      throw WriteFailure(what, std::string(e.what()) + (lost ? " ; la transaction a été annulée" : ""));
    } catch (const ComponentError& e) {
      if (e.number() == err::kWriteFailed) throw;
      throw WriteFailure(what, e.what());
    }
  }

  // Statements of the open transaction not sent yet, sent with the next statement that needs an
  // answer: savepoint statements (SAVEPOINT, RELEASE), and deletes of records the transaction
  // holds locked, each in a savepoint of its own.
  struct Pending {
    std::string sql;
    std::string name;  // a delete's prepared statement; empty for a savepoint statement
    std::string key;   // a delete's key, its one parameter
    std::string what;  // a delete's description, for its failure
    std::int64_t file_id = 0;

    bool IsDelete() const { return !name.empty(); }
    static Pending Text(std::string sql) {
      Pending pending;
      pending.sql = std::move(sql);
      return pending;
    }
  };

  // One statement of a batch: a prepared statement with byte parameters and results, or SQL
  // text without parameters.
  struct Step {
    std::string name;  // of the prepared statement; empty for text
    std::string sql;
    std::vector<std::string_view> parameters;
  };

  // Runs step between a savepoint of its own and its release, after the statements still
  // queued, the whole sent at once through libpq's pipeline (one round trip), and returns
  // step's result. A failure of a queued statement as in FailQueued. A failure of step undoes
  // step alone and raises StorageError; when step met another transaction's lock and
  // conflict_ends is set, the whole transaction ends instead, as in a write scope.
  ResultPtr RunInOwnSavepoint(std::string_view savepoint, Step step, bool conflict_ends) {
    QueuedBatch batch = TakeQueued();
    const std::size_t queued = batch.steps.size();
    batch.steps.push_back({"", "SAVEPOINT " + std::string(savepoint), {}});
    batch.steps.push_back(std::move(step));
    batch.steps.push_back({"", "RELEASE SAVEPOINT " + std::string(savepoint), {}});
    BatchOutcome outcome = SendBatch(batch.steps);
    if (!outcome.failed()) return std::move(outcome.results[queued + 1]);
    if (outcome.failed_at < queued) FailQueued(batch, outcome);
    if (!UndoOwnSavepoint(savepoint, conflict_ends)) EndServerTransaction();
    throw StorageError(outcome.error);
  }

  // After a failed statement in savepoint's scope: undoes the scope alone and gives true, or
  // gives false when the whole transaction must end (the server ended it, or the statement met
  // another transaction's lock and conflict_ends is set, as in a write scope).
  bool UndoOwnSavepoint(std::string_view savepoint, bool conflict_ends) {
    if (PQstatus(connection_) != CONNECTION_OK ||
        PQtransactionStatus(connection_) == PQTRANS_IDLE || (conflict_ends && lock_conflict_)) {
      return false;
    }
    const std::string name(savepoint);
    PQclear(PQexec(connection_, ("ROLLBACK TO SAVEPOINT " + name).c_str()));
    PQclear(PQexec(connection_, ("RELEASE SAVEPOINT " + name).c_str()));
    return PQtransactionStatus(connection_) == PQTRANS_INTRANS;
  }

  // The records of file_id under the keys of array, read and locked by the transaction, which
  // then knows them until its end. A refusal (no right to update the file, a lock held too
  // long) locks nothing and raises StorageError; a failure of what was queued before raises
  // QueuedFailure, the transaction over.
  void LockAhead(std::int64_t file_id, const std::string& f, const std::string& array) {
    ResultPtr rows = RunInOwnSavepoint(
        "mvdb_read",
        {"mu" + f, "SELECT k, v FROM f" + f + " WHERE k = ANY($1::bytea[]) FOR UPDATE", {array}},
        false);
    for (int row = 0; row < PQntuples(rows.get()) && known_.size() < kKnownLimit; ++row) {
      known_[{file_id, Bytes(rows.get(), row, 0)}] = Bytes(rows.get(), row, 1);
    }
  }

  // A write that is one statement (a file without index): outside a transaction the statement
  // alone, which the server keeps whole or not at all; inside one, in a savepoint of its own
  // (RunInOwnSavepoint), so that the write costs one round trip and a failure undoes only
  // itself. The first parameter is the key; a second one, the text written.
  void WriteOneStatement(const std::string& what, std::int64_t file_id, const std::string& name,
                         const std::string& sql, std::initializer_list<std::string_view> parameters) {
    const bool began_in_transaction = InTransaction();
    try {
      if (read_only_) throw StorageError("base ouverte en lecture seule");
      // Inside a transaction the server ended, the write must not reconnect and commit on its
      // own, out of the transaction it belongs to.
      if (in_transaction_ && !began_in_transaction) {
        throw StorageError(LostCause() + " ; la transaction a été annulée");
      }
      if (!began_in_transaction) {
        if (PQstatus(connection_) == CONNECTION_BAD) Reconnect();
        Run(name, sql, parameters);
        return;
      }
      const std::string key(*parameters.begin());
      auto found = known_.find({file_id, key});
      if (parameters.size() == 1 && found != known_.end() && found->second.has_value()) {
        // The record is locked by this transaction: only a refusal can fail its delete, which
        // needs no answer of its own and goes with the next statement that needs one.
        queued_.push_back({sql, name, key, what, file_id});
        found->second = std::nullopt;
        return;
      }
      known_.erase({file_id, key});
      ResultPtr result =
          RunInOwnSavepoint(kWriteSavepoint, {name, sql, std::vector<std::string_view>(parameters)},
                            true);
      // The key is now locked by this transaction: its value is known until the end.
      // A transaction writing many records (a generator) keeps no copy of each.
      const bool room = known_.size() < kKnownLimit;
      if (room && parameters.size() == 2) {
        known_[{file_id, key}] = std::string(*(parameters.begin() + 1));
      } else if (room && std::strcmp(PQcmdTuples(result.get()), "1") == 0) {
        known_[{file_id, key}] = std::nullopt;  // (a key deleted when absent is not locked)
      }
    } catch (const StorageError& e) {
      const bool lost = began_in_transaction && !InTransaction();
      throw WriteFailure(what, std::string(e.what()) + (lost ? " ; la transaction a été annulée" : ""));
    }
  }

  static constexpr std::size_t kNone = static_cast<std::size_t>(-1);

  // What a batch gave: each statement's last result, and the first statement that failed (the
  // server skips those after it); failed_at is the number of statements when the batch could
  // not be sent or finished.
  struct BatchOutcome {
    std::vector<ResultPtr> results;
    std::size_t failed_at = kNone;
    std::string error;
    bool failed() const { return failed_at != kNone; }
  };

  // Sends steps as one batch through libpq's pipeline and waits once for all their answers.
  BatchOutcome SendBatch(const std::vector<Step>& steps) {
    for (const Step& step : steps) {
      if (!step.name.empty()) Prepare(step.name, step.sql, static_cast<int>(step.parameters.size()));
    }
    BatchOutcome outcome;
    for (std::size_t i = 0; i < steps.size(); ++i) outcome.results.emplace_back(nullptr, &PQclear);
    outcome.error = Cause(connection_, nullptr);
    if (PQenterPipelineMode(connection_) == 0) {
      outcome.failed_at = steps.size();
      return outcome;
    }
    std::size_t sent = 0;
    bool whole = true;
    for (const Step& step : steps) {
      Parameters values(step.parameters.begin(), step.parameters.end());
      whole = (step.name.empty()
                   ? PQsendQueryParams(connection_, step.sql.c_str(), 0, nullptr, nullptr, nullptr,
                                       nullptr, 0)
                   : PQsendQueryPrepared(connection_, step.name.c_str(), values.count(),
                                         values.values(), values.lengths(), values.formats(), 1)) != 0;
      if (!whole) break;
      ++sent;
    }
    whole = PQpipelineSync(connection_) != 0 && whole;
    // Each statement's results end with a null result; then comes the sync's.
    for (std::size_t i = 0; i < sent && PQstatus(connection_) == CONNECTION_OK; ++i) {
      while (PGresult* raw = PQgetResult(connection_)) {
        const ExecStatusType status = PQresultStatus(raw);
        if ((status == PGRES_FATAL_ERROR || status == PGRES_PIPELINE_ABORTED) && !outcome.failed()) {
          outcome.failed_at = i;
          outcome.error = Cause(connection_, raw);
          const char* state = PQresultErrorField(raw, PG_DIAG_SQLSTATE);
          const std::string code = state != nullptr ? state : "";
          lock_conflict_ = code == "55P03" || code == "40001" || code == "40P01";
        }
        outcome.results[i] = Wrap(raw);
      }
    }
    if (PQstatus(connection_) == CONNECTION_OK) {
      ResultPtr sync = Wrap(PQgetResult(connection_));
    } else {
      whole = false;
    }
    if (PQexitPipelineMode(connection_) == 0 && PQstatus(connection_) == CONNECTION_OK) {
      // Results the connection never delivered (the server went away while the statements
      // ran) hold it in pipeline mode, where it takes no other statement, for good: it is
      // dropped as lost.
      whole = false;
      AbandonConnection();
    }
    if (!whole && !outcome.failed()) {
      outcome.failed_at = steps.size();
      outcome.error = Cause(connection_, nullptr);
    }
    return outcome;
  }

  // What was queued, as the first steps of a batch (a delete in a savepoint of its own); the
  // queue is then empty. The steps refer to pending's texts.
  struct QueuedBatch {
    std::vector<Pending> pending;
    std::vector<Step> steps;
    std::vector<std::size_t> owner;  // the pending statement of each step
  };
  QueuedBatch TakeQueued() {
    QueuedBatch batch;
    batch.pending = std::move(queued_);
    queued_.clear();
    for (std::size_t i = 0; i < batch.pending.size(); ++i) {
      const Pending& pending = batch.pending[i];
      if (!pending.IsDelete()) {
        batch.steps.push_back({"", pending.sql, {}});
      } else {
        batch.steps.push_back({"", "SAVEPOINT " + std::string(kWriteSavepoint), {}});
        batch.steps.push_back({pending.name, pending.sql, {pending.key}});
        batch.steps.push_back({"", "RELEASE SAVEPOINT " + std::string(kWriteSavepoint), {}});
      }
      batch.owner.resize(batch.steps.size(), i);
    }
    return batch;
  }

  // A queued statement of batch failed. A savepoint statement: the transaction ends on the
  // server (the savepoints its caller counts on are not all there) and QueuedFailure is
  // raised. A delete: it alone is undone, what was queued after it is queued again for the
  // next statement, and DeferredWriteFailure is raised. A batch that could not be sent or
  // finished fails as a savepoint statement does.
  [[noreturn]] void FailQueued(const QueuedBatch& batch, const BatchOutcome& outcome) {
    const bool sent = outcome.failed_at < batch.owner.size();
    const std::size_t failed = sent ? batch.owner[outcome.failed_at] : 0;
    if (!sent || !batch.pending[failed].IsDelete()) {
      EndServerTransaction();
      throw QueuedFailure(outcome.error);
    }
    const Pending& pending = batch.pending[failed];
    if (!UndoOwnSavepoint(kWriteSavepoint, true)) {
      EndServerTransaction();
      throw DeferredWriteFailure(
          WriteFailure(pending.what, outcome.error + " ; la transaction a été annulée"));
    }
    known_.erase({pending.file_id, pending.key});
    queued_.assign(batch.pending.begin() + static_cast<std::ptrdiff_t>(failed) + 1,
                   batch.pending.end());
    throw DeferredWriteFailure(WriteFailure(pending.what, outcome.error));
  }

  // Sends the queued statements alone, before a statement that cannot join them; a failure
  // as in FailQueued.
  void SendQueued() {
    if (queued_.empty()) return;
    QueuedBatch batch = TakeQueued();
    BatchOutcome outcome = SendBatch(batch.steps);
    if (outcome.failed()) FailQueued(batch, outcome);
  }

  // Runs own in one batch after the queued statements and returns its result. A failure of a
  // queued statement as in FailQueued; own's failure is a StorageError as when it runs alone.
  ResultPtr RunAfterQueued(Step own) {
    if (queued_.empty()) {
      if (own.name.empty()) return Query(own.sql);
      Prepare(own.name, own.sql, static_cast<int>(own.parameters.size()));
      Parameters values(own.parameters.begin(), own.parameters.end());
      ResultPtr result = Wrap(PQexecPrepared(connection_, own.name.c_str(), values.count(),
                                             values.values(), values.lengths(), values.formats(), 1));
      Check(result.get());
      return result;
    }
    QueuedBatch batch = TakeQueued();
    const std::size_t queued = batch.steps.size();
    batch.steps.push_back(std::move(own));
    BatchOutcome outcome = SendBatch(batch.steps);
    if (!outcome.failed()) return std::move(outcome.results.back());
    if (outcome.failed_at < queued) FailQueued(batch, outcome);
    throw StorageError(outcome.error);
  }

  // Rolls the server's transaction back, if any; this side's transaction stays open until
  // Commit (which fails) or Rollback.
  void EndServerTransaction() noexcept {
    queued_.clear();
    known_.clear();
    if (PQstatus(connection_) == CONNECTION_OK &&
        PQtransactionStatus(connection_) != PQTRANS_IDLE) {
      PQclear(PQexec(connection_, "ROLLBACK"));
    }
  }

  // Gives up a connection no statement can follow: connects anew when the server answers (the
  // transaction that was open is then over on the server, and lost on this side), else leaves
  // it bad for the next read or transaction to take up.
  void AbandonConnection() noexcept {
    queued_.clear();
    known_.clear();
    PQreset(connection_);
    if (PQstatus(connection_) != CONNECTION_OK) return;
    try {
      SetUpSession();
    } catch (const StorageError&) {
      // The next statement meets the same failure and reports it.
    }
  }

  void UndoTransaction() noexcept {
    in_transaction_ = false;
    savepoints_.clear();
    queued_.clear();
    known_.clear();
    caches_stale_ = true;
    // (A transaction the server already ended needs no ROLLBACK, which would only warn.)
    if (PQstatus(connection_) == CONNECTION_OK &&
        PQtransactionStatus(connection_) != PQTRANS_IDLE) {
      PQclear(PQexec(connection_, "ROLLBACK"));
    }
  }

  // kBadTransaction outside a transaction; kWriteFailed for what when the server ended the
  // transaction.
  void RequireTransaction(const std::string& what) const {
    if (!in_transaction_) throw ComponentError(err::kBadTransaction, what + " hors transaction");
    if (!InTransaction()) throw WriteFailure(what, LostCause() + " ; la transaction a été annulée");
  }

  std::string LostCause() const {
    return PQstatus(connection_) == CONNECTION_BAD ? "connexion au serveur perdue"
                                                   : "transaction annulée par le serveur";
  }

  std::size_t FindSavepoint(std::string_view name) const {
    for (std::size_t i = savepoints_.size(); i > 0; --i) {
      if (savepoints_[i - 1] == name) return i - 1;
    }
    throw ComponentError(err::kBadTransaction,
                         "point de reprise « " + std::string(name) + " » inconnu");
  }

  void OnSavepoint(std::string_view sql, std::string_view name, std::string_view what) {
    try {
      RunAfterQueued({"", std::string(sql) + Identifier(name), {}});
    } catch (const StorageError& e) {
      const bool lost = !InTransaction();
      if (lost) {
        in_transaction_ = false;
        savepoints_.clear();
      }
      throw WriteFailure(std::string(what) + std::string(name) + " »",
                         std::string(e.what()) + (lost ? " ; la transaction a été annulée" : ""));
    }
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

  void Exec(const std::string& sql) { Query(sql); }

  ResultPtr Query(const std::string& sql) {
    SendQueued();
    ResultPtr result = Wrap(PQexec(connection_, sql.c_str()));
    Check(result.get());
    return result;
  }

  void Check(const PGresult* result) {
    const ExecStatusType status = result != nullptr ? PQresultStatus(result) : PGRES_FATAL_ERROR;
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK && status != PGRES_SINGLE_TUPLE) {
      const char* state =
          result != nullptr ? PQresultErrorField(result, PG_DIAG_SQLSTATE) : nullptr;
      const std::string code = state != nullptr ? state : "";
      lock_conflict_ = code == "55P03" || code == "40001" || code == "40P01";
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
    SendQueued();
    Prepare(name, sql, static_cast<int>(parameters.size()));
    Parameters values(parameters.begin(), parameters.end());
    ResultPtr result = Wrap(PQexecPrepared(connection_, name.c_str(), values.count(),
                                           values.values(), values.lengths(), values.formats(), 1));
    Check(result.get());
    return result;
  }

  // Byte parameters as libpq takes them.
  class Parameters {
   public:
    template <class Iterator>
    Parameters(Iterator begin, Iterator end) {
      for (; begin != end; ++begin) {
        std::string_view parameter = *begin;
        values_.push_back(parameter.data());
        lengths_.push_back(static_cast<int>(parameter.size()));
        formats_.push_back(1);
      }
    }
    int count() const { return static_cast<int>(values_.size()); }
    const char* const* values() const { return values_.data(); }
    const int* lengths() const { return lengths_.data(); }
    const int* formats() const { return formats_.data(); }

   private:
    std::vector<const char*> values_;
    std::vector<int> lengths_;
    std::vector<int> formats_;
  };

  static std::string_view Value(const PGresult* result, int row, int column) {
    return std::string_view(PQgetvalue(result, row, column),
                            static_cast<std::size_t>(PQgetlength(result, row, column)));
  }

  // texts as a one-dimensional bytea[] in PostgreSQL's binary form: the dimension count, a
  // null flag, the element type, the length and lower bound, then each length and its bytes,
  // every number a big-endian 32-bit integer.
  static std::string ByteaArray(const std::vector<std::string>& texts) {
    std::string array;
    auto put = [&array](std::uint32_t n) {
      for (int shift = 24; shift >= 0; shift -= 8) array.push_back(static_cast<char>(n >> shift));
    };
    constexpr std::uint32_t kByteaOid = 17;
    put(1);
    put(0);
    put(kByteaOid);
    put(static_cast<std::uint32_t>(texts.size()));
    put(1);
    for (const std::string& text : texts) {
      put(static_cast<std::uint32_t>(text.size()));
      array.append(text);
    }
    return array;
  }

  static std::string Bytes(const PGresult* result, int row, int column) {
    return std::string(Value(result, row, column));
  }

  // A bigint of the first column in binary form (network byte order).
  static std::int64_t Integer(const PGresult* result, int row) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(PQgetvalue(result, row, 0));
    std::uint64_t value = 0;
    for (int i = 0; i < 8; ++i) value = (value << 8) | bytes[i];
    return static_cast<std::int64_t>(value);
  }

  // The prepared statement (name and SQL) that finds the records of access, with its
  // parameters, handed to use.
  template <class Use>
  void StatementFor(std::int64_t file_id, const AccessPath& access, const IndexInfo* index,
                    Use&& use, std::vector<std::string>* parameters = nullptr) {
    const std::string f = std::to_string(file_id);
    const std::string x = index == nullptr ? "0" : std::to_string(index->id);
    // An index whose entries hold their record is read alone. Else each entry's record is
    // read by its key, one entry after the other: planned for any values, a join would rather
    // read the whole file.
    const bool alone = index != nullptr && index->holds_records;
    const std::string name = alone ? "xh" : "x";
    const std::string from =
        alone ? " FROM x" + x + " AS x"
              : " FROM x" + x + " AS x CROSS JOIN LATERAL (SELECT k, v FROM f" + f +
                    " WHERE k = x.k OFFSET 0) AS t";
    // (An entry written by a connection that had not yet seen its index take records has none.)
    const std::string columns =
        alone ? "SELECT x.k, COALESCE(x.r, (SELECT v FROM f" + f + " WHERE k = x.k))"
              : "SELECT t.k, t.v";
    std::string end;
    const bool bounded = PrefixEnd(access.value, end);
    if (parameters != nullptr) {
      if (access.kind != AccessPath::Kind::kFullScan) parameters->push_back(access.value);
      if (bounded && (access.kind == AccessPath::Kind::kKeyPrefix ||
                      access.kind == AccessPath::Kind::kIndexPrefix)) {
        parameters->push_back(end);
      }
    }
    switch (access.kind) {
      case AccessPath::Kind::kFullScan:
        return use("sa" + f, "SELECT k, v FROM f" + f + " ORDER BY k");
      case AccessPath::Kind::kKeyEqual:
        return use("se" + f, "SELECT k, v FROM f" + f + " WHERE k = $1");
      case AccessPath::Kind::kKeyPrefix:
        if (bounded) return use("sr" + f, "SELECT k, v FROM f" + f + " WHERE k >= $1 AND k < $2 ORDER BY k");
        return use("sf" + f, "SELECT k, v FROM f" + f + " WHERE k >= $1 ORDER BY k");
      case AccessPath::Kind::kIndexEqual:
        return use(name + "e" + x, columns + from + " WHERE x.v = $1 ORDER BY x.k");
      case AccessPath::Kind::kIndexPrefix:
        if (bounded) {
          return use(name + "r" + x,
                     columns + from + " WHERE x.v >= $1 AND x.v < $2 ORDER BY x.v, x.k");
        }
        return use(name + "f" + x, columns + from + " WHERE x.v >= $1 ORDER BY x.v, x.k");
    }
  }

  void ScanOnce(std::int64_t file_id, const AccessPath& access, const IndexInfo* index,
                RowSink& sink) {
    std::vector<std::string> parameters;
    StatementFor(file_id, access, index, [&](const std::string& name, const std::string& sql) {
      Stream(name, sql, parameters, sink);
    }, &parameters);
  }

  // Runs a prepared query and hands its rows to sink as they arrive, one at a time, so that a
  // scan of a large file holds one row in memory, not the file.
  void Stream(const std::string& name, const std::string& sql,
              const std::vector<std::string>& parameters, RowSink& sink) {
    SendQueued();
    Prepare(name, sql, static_cast<int>(parameters.size()));
    Parameters values(parameters.begin(), parameters.end());
    if (PQsendQueryPrepared(connection_, name.c_str(), values.count(), values.values(),
                            values.lengths(), values.formats(), 1) == 0) {
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
          sink.Row(Value(raw, 0, 0), Value(raw, 0, 1));
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
  bool caches_stale_ = false;
  bool lock_conflict_ = false;  // the last failed statement met another transaction's lock
  std::vector<Pending> queued_;  // not sent yet
  // What this transaction holds locked (wrote, deleted or read ahead), by file and key (absent:
  // deleted), until its end or a roll back to a savepoint.
  std::map<std::pair<std::int64_t, std::string>, std::optional<std::string>> known_;
  static constexpr std::size_t kKnownLimit = 4096;  // keys; a validation writes a few dozen
  std::uint64_t catalog_generation_ = 1;
  std::unordered_map<std::string, std::unique_ptr<FileInfo>> files_;
  std::map<std::string, std::shared_ptr<const Field>> dictionary_;
  std::unordered_map<int, std::shared_ptr<const Field>> attributes_;
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

std::unique_ptr<Storage> ServerStorage::Open(const std::string& conninfo, const OpenOptions& options) {
  auto storage = std::make_unique<PgStorage>(conninfo, DescribeServer(conninfo), options.read_only,
                                             options.busy_timeout_ms);
  storage->Connect(options.create && !options.read_only);
  return storage;
}

}  // namespace varnolde::mvdb
