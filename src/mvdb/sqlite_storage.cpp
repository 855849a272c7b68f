// Opening the database, its metadata caches and transactions.
#include "mvdb/sqlite_storage.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "components/errors.h"
#include "mvdb/dynarray.h"
#include "mvdb/sqlite_storage_internal.h"
#include "mvdb/sqlite_storage_state.h"

namespace varnolde::mvdb {
namespace {

constexpr std::int64_t kApplicationId = 0x4D564442;  // "MVDB"
constexpr std::int64_t kFormatVersion = 1;

std::string OpenCause(const SqliteError& e) {
  switch (e.code() & 0xFF) {
    case SQLITE_NOTADB:
      return "ce n'est pas une base de données SQLite";
    case SQLITE_BUSY:
      return "base verrouillée par un autre programme";
    default:
      return e.what();
  }
}

// The folder of a database file ("." for a bare file name).
std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

bool Exists(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0;
}

// A file name as an SQLite URI ("file:" and the path, its reserved characters escaped).
std::string FileUri(const std::string& path) {
  std::string uri = "file:";
  for (unsigned char c : path) {
    if (c == '%' || c == '?' || c == '#' || c < 0x20) {
      char escaped[4];
      std::snprintf(escaped, sizeof escaped, "%%%02X", c);
      uri += escaped;
    } else {
      uri += static_cast<char>(c);
    }
  }
  return uri;
}

std::uint32_t BigEndian32(const unsigned char* bytes) {
  return (std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) |
         (std::uint32_t{bytes[2]} << 8) | std::uint32_t{bytes[3]};
}

// SQLite reads the missing end of a cut file as zeros, which look like empty records; a cut
// shows in the header, which records the page size and, when current, the page count. Returns
// the cause of refusal, or the empty text. A file that is not an SQLite file is left to SQLite.
//
// The header is read through the file SQLite has just opened, never through a descriptor of
// our own: closing any descriptor of a file drops every lock this process holds on it, and
// another program would then take the database for unused and fold away its log while this
// process still writes to it.
std::string TruncationCause(sqlite3* db) {
  sqlite3_file* file = nullptr;
  if (sqlite3_file_control(db, "main", SQLITE_FCNTL_FILE_POINTER, &file) != SQLITE_OK ||
      file == nullptr || file->pMethods == nullptr) {
    return "";
  }
  sqlite3_int64 file_size = 0;
  if (file->pMethods->xFileSize(file, &file_size) != SQLITE_OK || file_size <= 0) return "";
  const auto size = static_cast<std::uint64_t>(file_size);
  unsigned char header[100] = {};
  const int rc = file->pMethods->xRead(file, header, sizeof header, 0);
  if (rc != SQLITE_OK && rc != SQLITE_IOERR_SHORT_READ) return "";  // SQLite will say
  const std::uint64_t got = std::min<std::uint64_t>(size, sizeof header);
  static const char kMagic[] = "SQLite format 3";
  if (got < 16 || std::memcmp(header, kMagic, 16) != 0) return "";
  if (got < sizeof header) return "fichier tronqué (en-tête incomplet)";
  std::uint32_t page_size = (std::uint32_t{header[16]} << 8) | header[17];
  if (page_size == 1) page_size = 65536;
  if (page_size < 512 || (page_size & (page_size - 1)) != 0) return "";  // SQLite will say
  std::uint32_t page_count = BigEndian32(header + 28);
  bool count_is_current = BigEndian32(header + 92) == BigEndian32(header + 24);
  if (size % page_size != 0 || (count_is_current && size < std::uint64_t{page_count} * page_size)) {
    return "fichier tronqué (" + std::to_string(size) + " octets pour " +
           std::to_string(page_count) + " pages de " + std::to_string(page_size) + ")";
  }
  return "";
}

}  // namespace

ComponentError WriteFailure(const std::string& what, const std::string& cause) {
  return ComponentError(err::kWriteFailed, what + " impossible : " + cause);
}

std::unique_ptr<SqliteStorage> SqliteStorage::Open(const std::string& path, const OpenOptions& options) {
  auto fail = [&](const std::string& cause) {
    return ComponentError(err::kDatabaseOpen, "base « " + path + " » : " + cause);
  };
  OpenOptions effective = options;
  struct stat info {};
  bool exists = ::stat(path.c_str(), &info) == 0;
  if (exists && S_ISDIR(info.st_mode)) throw fail("c'est un répertoire");
  const std::string folder = FolderOf(path);
  if (!exists && !Exists(folder)) throw fail("dossier « " + folder + " » introuvable");
  if (!exists && (!options.create || options.read_only)) throw fail("fichier introuvable");
  if (!exists && ::access(folder.c_str(), W_OK) != 0) {
    throw fail("création impossible dans le dossier « " + folder + " » (" + SystemCause(errno) +
               ")");
  }
  if (exists && ::access(path.c_str(), R_OK) != 0) throw fail(SystemCause(errno));
  if (exists && !options.read_only && ::access(path.c_str(), W_OK) != 0) {
    if (!options.read_only_when_unwritable) {
      throw fail("écriture refusée (" + SystemCause(errno) + ")");
    }
    effective.read_only = true;
  }

  // A reader keeps its place in the write-ahead log through the "-shm" file beside the
  // database, which it creates when it is missing. When the folder cannot be written and no
  // program has the database open (no "-shm"), there is no log to follow: the file is read as
  // it stands. A log left there by a program that ended without closing the database holds
  // validated work that only a writer can fold into the file.
  std::string name = path;
  int uri_flag = 0;
  if (effective.read_only && !Exists(path + "-shm") && ::access(folder.c_str(), W_OK) != 0) {
    if (Exists(path + "-wal")) {
      throw fail("le journal « " + path +
                 "-wal » d'une session interrompue n'est pas encore reporté dans la base, et le "
                 "dossier n'est pas accessible en écriture : ouvrez-la d'abord une fois avec un "
                 "compte qui peut écrire dans le dossier");
    }
    name = FileUri(path) + "?immutable=1";
    uri_flag = SQLITE_OPEN_URI;
  }

  std::unique_ptr<SqliteStorage> storage(new SqliteStorage());
  storage->path_ = path;
  storage->read_only_ = effective.read_only;
  storage->parallel_scan_min_bytes_ = options.parallel_scan_min_bytes;
  int flags =
      SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_EXRESCODE | uri_flag |
      (effective.read_only ? SQLITE_OPEN_READONLY
                           : SQLITE_OPEN_READWRITE | (options.create ? SQLITE_OPEN_CREATE : 0));
  storage->open_name_ = name;
  storage->open_flags_ = flags & ~SQLITE_OPEN_CREATE;
  int rc = sqlite3_open_v2(name.c_str(), &storage->db_, flags, nullptr);
  storage->connection_.reset(storage->db_);
  if (rc != SQLITE_OK) throw fail(SqliteCause(rc));
  if (exists) {
    std::string cause = TruncationCause(storage->db_);
    if (!cause.empty()) throw fail(cause);
  }
  sqlite3_busy_timeout(storage->db_, options.busy_timeout_ms > 0 ? options.busy_timeout_ms : 0);
  try {
    storage->Configure(effective, options.create && !effective.read_only);
  } catch (const SqliteError& e) {
    throw fail(OpenCause(e));
  } catch (const ComponentError& e) {
    throw fail(e.what());
  }
  return storage;
}

void SqliteStorage::Configure(const OpenOptions& options, bool may_initialize) {
  std::int64_t application_id = QueryInt(db_, "PRAGMA application_id");
  std::int64_t tables = QueryInt(db_, "SELECT count(*) FROM sqlite_schema");
  if (application_id == 0 && tables == 0) {
    if (!may_initialize) {
      throw ComponentError(err::kDatabaseOpen, "ce n'est pas une base mvdb (base SQLite vide)");
    }
    Exec(db_, "PRAGMA page_size = 4096");
    Exec(db_, "PRAGMA journal_mode = WAL");
    Initialize();
  } else if (application_id != kApplicationId) {
    throw ComponentError(err::kDatabaseOpen,
                         "ce n'est pas une base mvdb (base SQLite d'une autre application)");
  }
  std::int64_t format = QueryInt(db_, "PRAGMA user_version");
  if (format > kFormatVersion) {
    throw ComponentError(err::kDatabaseOpen, "format mvdb " + std::to_string(format) +
                                                 " plus récent que ce programme (" +
                                                 std::to_string(kFormatVersion) + ")");
  }
  // Touch the metadata so that a damaged schema shows now rather than later.
  QueryInt(db_, "SELECT count(*) FROM mvdb_file");
  QueryInt(db_, "SELECT count(*) FROM mvdb_index");
  DictionaryGeneration();
  if (!options.read_only) Exec(db_, "PRAGMA journal_mode = WAL");
  Exec(db_, "PRAGMA synchronous = FULL; PRAGMA temp_store = MEMORY");
  SetPageCache(db_, kPageCacheKiB);
  RegisterVisit(db_);

  data_version_stmt_ = std::make_unique<Statement>(db_, "PRAGMA data_version");
  begin_stmt_ = std::make_unique<Statement>(db_, "BEGIN IMMEDIATE");
  begin_read_stmt_ = std::make_unique<Statement>(db_, "BEGIN");
  commit_stmt_ = std::make_unique<Statement>(db_, "COMMIT");
  rollback_stmt_ = std::make_unique<Statement>(db_, "ROLLBACK");
  savepoint_stmt_ = std::make_unique<Statement>(db_, "SAVEPOINT mvdb_write");
  release_stmt_ = std::make_unique<Statement>(db_, "RELEASE mvdb_write");
  rollback_to_stmt_ = std::make_unique<Statement>(db_, "ROLLBACK TO mvdb_write");
}

void SqliteStorage::Initialize() {
  Exec(db_,
       "BEGIN IMMEDIATE;"
       "CREATE TABLE mvdb_meta (name TEXT PRIMARY KEY, value) WITHOUT ROWID;"
       "INSERT INTO mvdb_meta VALUES ('dict_generation', 0);"
       "CREATE TABLE mvdb_file (id INTEGER PRIMARY KEY, name BLOB NOT NULL UNIQUE);"
       "CREATE TABLE mvdb_index (id INTEGER PRIMARY KEY, file BLOB NOT NULL, "
       "  field BLOB NOT NULL, UNIQUE (file, field));"
       "PRAGMA application_id = 1297499202;"
       "PRAGMA user_version = 1;"
       "COMMIT;");
}

SqliteStorage::~SqliteStorage() = default;

void SqliteStorage::DropCaches() {
  ++catalog_generation_;
  files_.clear();
  dictionary_.clear();
}

std::int64_t SqliteStorage::DictionaryGeneration() {
  return QueryInt(db_, "SELECT value FROM mvdb_meta WHERE name = 'dict_generation'");
}

bool SqliteStorage::DropCachesIfChanged() {
  // The pager's data version moves whenever the file changed, by this connection or another,
  // as seen by the latest read transaction; no statement is needed to read it.
  unsigned int version = 0;
  sqlite3_file_control(db_, "main", SQLITE_FCNTL_DATA_VERSION, &version);
  if (version == data_version_) return false;
  data_version_ = version;
  std::int64_t schema = QueryInt(db_, "PRAGMA schema_version");
  std::int64_t generation = DictionaryGeneration();
  if (schema == schema_version_ && generation == dict_generation_) return false;
  DropCaches();
  schema_version_ = schema;
  dict_generation_ = generation;
  return true;
}

void SqliteStorage::DropStaleCaches() {
  DropCachesIfMarked();
  DropCachesIfChanged();
}

void SqliteStorage::DropStaleCachesAsOfNow() {
  {
    // Any statement starts a read transaction, which brings the data version up to date.
    StatementUse use(*data_version_stmt_);
    use->Step();
  }
  DropStaleCaches();
}

FileState* SqliteStorage::FindFile(std::string_view file) {
  auto found = files_.find(std::string(file));
  if (found != files_.end()) return found->second.get();
  Statement lookup(db_, "SELECT id FROM mvdb_file WHERE name = ?1");
  lookup.BindBlob(1, file);
  if (!lookup.Step()) return nullptr;
  auto state = std::make_unique<FileState>(db_, lookup.ColumnInt(0), std::string(file));
  Statement indexes(db_, "SELECT id, field FROM mvdb_index WHERE file = ?1 ORDER BY field");
  indexes.BindBlob(1, file);
  while (indexes.Step()) {
    state->indexes.push_back(LoadIndex(*state, indexes.ColumnInt(0), indexes.ColumnBlob(1)));
  }
  FileState* raw = state.get();
  files_.emplace(std::string(file), std::move(state));
  return raw;
}

FileState& SqliteStorage::RequireFile(std::string_view file) {
  FileState* state = FindFile(file);
  if (state == nullptr) {
    throw ComponentError(err::kUnknownFile, "fichier « " + std::string(file) + " » inconnu");
  }
  return *state;
}

std::unique_ptr<IndexState> SqliteStorage::LoadIndex(const FileState& file, std::int64_t id,
                                               std::string_view name) {
  // An index made before entries held their record has no column r.
  const std::string table = "x" + std::to_string(id);  // bound, not copied: must outlive Step
  Statement columns(db_, "SELECT count(*) FROM pragma_table_info(?1) WHERE name = 'r'");
  columns.BindText(1, table);
  const bool with_records = columns.Step() && columns.ColumnInt(0) > 0;
  auto index = std::make_unique<IndexState>(db_, file.table, id, std::string(name), with_records);
  int attribute = 0;
  if (ParseAttributeNumber(name, attribute)) {
    index->field = std::make_shared<Field>(AttributeField(attribute));
    return index;
  }
  try {
    index->field = DictItem(file.name, name);
    if (index->field == nullptr) index->problem = "élément de dictionnaire absent";
  } catch (const ComponentError& e) {
    index->problem = e.what();
  }
  return index;
}

bool SqliteStorage::HasFile(std::string_view file) { return FindFile(file) != nullptr; }

std::shared_ptr<const Field> SqliteStorage::Attribute(int n) {
  std::shared_ptr<const Field>& field = attributes_[n];
  if (field == nullptr) field = std::make_shared<const Field>(AttributeField(n));
  return field;
}

bool SqliteStorage::HasIndex(std::string_view file, std::string_view index_name) {
  FileState* state = FindFile(file);
  if (state == nullptr) return false;
  for (const auto& index : state->indexes) {
    if (index->name == index_name) return index->field != nullptr;
  }
  return false;
}

std::vector<std::string> SqliteStorage::FileNames() {
  std::vector<std::string> names;
  Statement list(db_, "SELECT name FROM mvdb_file ORDER BY name");
  while (list.Step()) names.emplace_back(list.ColumnBlob(0));
  return names;
}

std::vector<std::string> SqliteStorage::IndexNames(std::string_view file) {
  std::vector<std::string> names;
  for (const auto& index : RequireFile(file).indexes) names.push_back(index->name);
  return names;
}

bool SqliteStorage::CreateFile(std::string_view file) {
  const std::string what = "création du fichier « " + std::string(file) + " »";
  bool valid = !file.empty();
  for (char c : file) valid = valid && !IsMark(c) && c != '\0';
  if (!valid) throw WriteFailure(what, "nom invalide");
  bool created = false;
  RunWrite(what, [&] {
    if (FindFile(file) != nullptr) return;
    ++catalog_generation_;
    Statement insert(db_, "INSERT INTO mvdb_file (name) VALUES (?1)");
    insert.BindBlob(1, file).Run();
    std::string table = "f" + std::to_string(sqlite3_last_insert_rowid(db_));
    Exec(db_, "CREATE TABLE " + table + " (k BLOB PRIMARY KEY, v BLOB NOT NULL) WITHOUT ROWID");
    created = true;
  });
  return created;
}

std::string SqliteStorage::CauseOfWriteFailure(const SqliteError& error, bool began_in_transaction) {
  if (!began_in_transaction || InTransaction()) return error.what();
  caches_stale_ = true;
  return std::string(error.what()) + " ; la transaction a été annulée";
}

void SqliteStorage::EndReadGroup() {
  if (read_groups_ > 0 && --read_groups_ == 0) StopReading();
}

void SqliteStorage::StartReading() {
  if (read_groups_ == 0 || reading_ || sqlite3_get_autocommit(db_) == 0) return;
  try {
    StatementUse use(*begin_read_stmt_);
    use->Run();
    reading_ = true;
  } catch (const SqliteError&) {
    // The reads then run one by one, as outside a group.
  }
}

void SqliteStorage::StopReading() noexcept {
  if (!reading_) return;
  reading_ = false;
  if (sqlite3_get_autocommit(db_) != 0) return;  // SQLite ended it already
  try {
    StatementUse use(*commit_stmt_);
    use->Run();
  } catch (const SqliteError&) {
    UndoTransaction();
  }
}

void SqliteStorage::Begin() {
  if (InTransaction())
    throw ComponentError(err::kBadTransaction, "une transaction est déjà ouverte");
  StopReading();
  try {
    if (read_only_) throw SqliteError(SQLITE_READONLY, "base ouverte en lecture seule");
    StatementUse use(*begin_stmt_);
    use->Run();
  } catch (const SqliteError& e) {
    throw WriteFailure("ouverture de la transaction", e.what());
  }
  savepoints_.clear();
}

void SqliteStorage::Commit() {
  if (!InTransaction()) throw ComponentError(err::kBadTransaction, "aucune transaction ouverte");
  try {
    StatementUse use(*commit_stmt_);
    use->Run();
  } catch (const SqliteError& e) {
    UndoTransaction();
    throw WriteFailure("validation de la transaction",
                       std::string(e.what()) + " ; la transaction a été annulée");
  }
}

void SqliteStorage::Rollback() {
  if (!InTransaction()) throw ComponentError(err::kBadTransaction, "aucune transaction ouverte");
  UndoTransaction();
}

void SqliteStorage::UndoTransaction() noexcept {
  caches_stale_ = true;
  try {
    StatementUse use(*rollback_stmt_);
    use->Run();
  } catch (const SqliteError&) {
    // Nothing left to undo: SQLite ended the transaction itself.
  }
}

void SqliteStorage::Savepoint(std::string_view name) {
  if (!InTransaction())
    throw ComponentError(err::kBadTransaction, "point de reprise hors transaction");
  if (name.empty()) throw ComponentError(err::kBadTransaction, "point de reprise sans nom");
  RunOnSavepoint("SAVEPOINT ", name, "point de reprise « ");
  savepoints_.emplace_back(name);
}

void SqliteStorage::ReleaseSavepoint(std::string_view name) {
  const std::size_t at = FindSavepoint(name);
  RunOnSavepoint("RELEASE ", name, "abandon du point de reprise « ");
  savepoints_.resize(at);
}

void SqliteStorage::RollbackTo(std::string_view name) {
  const std::size_t at = FindSavepoint(name);
  caches_stale_ = true;
  RunOnSavepoint("ROLLBACK TO ", name, "retour au point de reprise « ");
  savepoints_.resize(at + 1);
}

void SqliteStorage::RunOnSavepoint(std::string_view sql, std::string_view name, std::string_view what) {
  try {
    Exec(db_, std::string(sql) + QuoteIdentifier(name));
  } catch (const SqliteError& e) {
    throw WriteFailure(std::string(what) + std::string(name) + " »", CauseOfWriteFailure(e, true));
  }
}

}  // namespace varnolde::mvdb
