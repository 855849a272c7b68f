// The storage on a local file: one SQLite connection holding the files, their indexes and
// dictionaries.
//
// Layout in the SQLite file (application_id 'MVDB', user_version = format 1):
//   mvdb_meta(name, value)         format facts; "dict_generation" counts dictionary changes
//   mvdb_file(id, name)            one row per file; its records live in table f<id>
//   f<id>(k BLOB PRIMARY KEY, v)   WITHOUT ROWID: records clustered by key in byte order, so a
//                                  key prefix is one B-tree range
//   mvdb_index(id, file, field)    one row per secondary index; its entries live in x<id>
//   x<id>(v BLOB, k BLOB, r BLOB)  WITHOUT ROWID, primary key (v, k): one entry per distinct
//                                  leaf value of the indexed field of each record, holding the
//                                  record r, so that an index lookup reads the index alone (an
//                                  index made by an earlier version has no r, and reads each
//                                  record from f<id>; `mvdb index` makes it again with r)
//
// Every write or delete runs in its own savepoint (inside a transaction) or its own
// BEGIN IMMEDIATE ... COMMIT (outside one) and maintains the indexes in it, so a failure leaves
// the database as it was before the operation. Durability: WAL with synchronous=FULL. Whether a
// transaction is open is SQLite's own state (autocommit off), so a transaction SQLite rolls
// back by itself (full disk, I/O error) is over for this layer too.
//
// Metadata (files, indexes, dictionary items) is cached with the prepared statements of each
// file. DropStaleCaches() drops the caches when another connection changed the schema or a
// dictionary, or after a rollback here; the engine calls it before each operation, and write
// scopes call it once they hold the write lock. Nothing here is thread-safe.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <exception>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "mvdb/dictionary.h"
#include "mvdb/link.h"
#include "mvdb/sqlite_util.h"
#include "mvdb/storage.h"

namespace varnolde::mvdb {

struct FileState;
struct IndexState;

class SqliteStorage final : public Storage {
 public:
  // Raises kDatabaseOpen naming the file and the cause.
  static std::unique_ptr<SqliteStorage> Open(const std::string& path, const OpenOptions& options);
  ~SqliteStorage() override;
  SqliteStorage(const SqliteStorage&) = delete;
  SqliteStorage& operator=(const SqliteStorage&) = delete;

  const std::string& path() const override { return path_; }
  void DropStaleCaches() override;
  void DropStaleCachesAsOfNow() override;
  bool DropCachesIfChanged() override;
  std::uint64_t CatalogGeneration() const override { return catalog_generation_; }
  void MarkCachesStale() override { caches_stale_ = true; }
  void DropCachesIfMarked() override {
    if (caches_stale_) {
      DropCaches();
      caches_stale_ = false;
    }
  }

  bool HasFile(std::string_view file) override;
  std::shared_ptr<const Field> Attribute(int n) override;
  std::shared_ptr<const Field> DictItem(std::string_view file, std::string_view name) override;
  bool HasIndex(std::string_view file, std::string_view index_name) override;
  void Scan(const std::string& file, const AccessPath& access, RowSink& sink) override;

  bool CreateFile(std::string_view file) override;
  std::vector<std::string> FileNames() override;
  std::vector<std::string> IndexNames(std::string_view file) override;
  bool ReadRecord(std::string_view file, std::string_view key, std::string& text) override;
  // Reads them one by one: as cheap now as later, and the group's view starts here. Inside a
  // transaction, nothing: the transaction holds the file already.
  bool ReadAhead(std::string_view file, const std::vector<std::string>& keys,
                 RowSink& found) override;
  void WriteRecord(std::string_view file, std::string_view key, std::string_view text,
                   bool* created = nullptr) override;
  void DeleteRecord(std::string_view file, std::string_view key) override;
  std::int64_t BuildIndex(std::string_view file, std::string_view field_name) override;

  void Begin() override;
  void Commit() override;
  void Rollback() override;
  void Savepoint(std::string_view name) override;
  void ReleaseSavepoint(std::string_view name) override;
  void RollbackTo(std::string_view name) override;
  // The read transaction of a read group is no transaction of the caller's.
  bool InTransaction() const override { return sqlite3_get_autocommit(db_) == 0 && !reading_; }
  void BeginReadGroup() override { ++read_groups_; }
  void EndReadGroup() override;

 private:
  class WriteScope;
  friend class WriteScope;

  SqliteStorage() = default;
  void Configure(const OpenOptions& options, bool may_initialize);
  void Initialize();
  void DropCaches();
  // Inside a read group, opens its read transaction when none is open: every read until the
  // group ends then sees the file as of this moment, and SQLite takes its locks once.
  void StartReading();
  // Ends the read group's transaction, if open, so that a write can begin.
  void StopReading() noexcept;

  // The cached state of file, loaded on first use; null when the file does not exist.
  FileState* FindFile(std::string_view file);
  // The same; raises kUnknownFile when the file does not exist.
  FileState& RequireFile(std::string_view file);
  std::unique_ptr<IndexState> LoadIndex(const FileState& file, std::int64_t id,
                                        std::string_view name);
  bool ReadText(FileState& file, std::string_view key, std::string& text);
  void InsertEntry(IndexState& index, std::string_view value, std::string_view key,
                   std::string_view text);
  // Creates the table of index id of file, in the layout whose entries hold their record.
  void CreateIndexTable(FileState& file, std::int64_t id, const std::string& name);
  void UpdateIndexes(FileState& file, std::string_view key, const std::string* old_text,
                     const std::string* new_text);
  std::int64_t FillIndex(FileState& file, IndexState& index);
  // After a write to dict_file: tells other connections, and rebuilds or drops the index that
  // reads item.
  void ApplyDictionaryChange(std::string_view dict_file, std::string_view item);
  std::int64_t DictionaryGeneration();
  // Runs write in its own write scope; any failure raises kWriteFailed for what, with the
  // database as before the call.
  template <class Write>
  void RunWrite(const std::string& what, Write&& write);
  // The cause of a failed write that began inside a transaction or not: when SQLite rolled
  // that transaction back by itself, the caches may describe what it undid, and the cause says
  // that the transaction is gone.
  std::string CauseOfWriteFailure(const SqliteError& error, bool began_in_transaction);
  // Rolls the transaction back; SQLite may have ended it already.
  void UndoTransaction() noexcept;
  // Runs sql (SAVEPOINT, RELEASE, ROLLBACK TO) on savepoint name; a failure raises kWriteFailed
  // for what (the operation, up to the name).
  void RunOnSavepoint(std::string_view sql, std::string_view name, std::string_view what);
  // A full scan of a large file on two cores (sqlite_parallel_scan.cpp): false, having read
  // nothing, when it cannot be done (in a transaction or a read group, whose view is one
  // connection's; a sink that cannot be shared out; a small file; the write lock busy); the
  // caller then scans on one connection.
  bool ScanOnTwoCores(FileState& file, RowSink& sink);
  struct ScanHelpers;
  // The helper connections, opened on first use; null when they cannot be opened.
  ScanHelpers* Helpers();

  // Owns db_. Declared first so that it closes the connection last, once every statement
  // prepared on it (held by the members below) is finalized.
  Connection connection_;
  sqlite3* db_ = nullptr;
  std::string path_;
  bool read_only_ = false;
  bool caches_stale_ = false;
  int read_groups_ = 0;   // read groups open (nested)
  bool reading_ = false;  // the read groups' transaction is open
  std::uint64_t catalog_generation_ = 1;
  std::string open_name_;  // what the connection was opened with, for the helper connections
  int open_flags_ = 0;
  std::int64_t parallel_scan_min_bytes_ = -1;  // OpenOptions
  std::unique_ptr<ScanHelpers> scan_helpers_;
  bool scan_helpers_failed_ = false;  // they could not be opened: not tried again

  std::unordered_map<std::string, std::unique_ptr<FileState>> files_;
  std::map<std::string, std::shared_ptr<const Field>> dictionary_;  // file AM name; null = none
  std::unordered_map<int, std::shared_ptr<const Field>> attributes_;  // never stale
  unsigned int data_version_ = 0;
  std::int64_t schema_version_ = -1;
  std::int64_t dict_generation_ = -1;

  std::unique_ptr<Statement> data_version_stmt_;
  std::unique_ptr<Statement> begin_stmt_;
  std::unique_ptr<Statement> begin_read_stmt_;
  std::unique_ptr<Statement> commit_stmt_;
  std::unique_ptr<Statement> rollback_stmt_;
  std::unique_ptr<Statement> savepoint_stmt_;
  std::unique_ptr<Statement> release_stmt_;
  std::unique_ptr<Statement> rollback_to_stmt_;
};

}  // namespace varnolde::mvdb
