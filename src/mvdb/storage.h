// The storage layer under the query engine: where the files, their secondary indexes and
// their dictionaries are kept, behind one interface with two places.
//
//   SqliteStorage (sqlite_storage.h)   an SQLite file on this machine, the default;
//   ServerStorage (server/)            a database on a PostgreSQL server, for an office whose
//                                      clerks work on several computers.
// Open chooses by the database's name: a postgresql:// or postgres:// URI, or libpq key=value
// text, is a server; anything else is a file path.
//
// Both keep each file's records by key in byte order (a key prefix is one range), keep every
// secondary index in the same transaction as the record, and cache their metadata (files,
// indexes, dictionary items) between operations: DropStaleCaches() drops the caches when
// another connection changed the catalog or a dictionary, or after a rollback here; the engine
// calls the Drop... operations between operations, never during one.
//
// Failures: reads raise StorageError for what the place could not do (the engine turns it into
// kDatabaseOpen) and ComponentError for what the caller got wrong (kUnknownFile ...); every
// failed write raises kWriteFailed with the database as before the call. Nothing here is
// thread-safe.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "components/errors.h"
#include "mvdb/dictionary.h"
#include "mvdb/link.h"
#include "mvdb/query/executor.h"
#include "mvdb/query/planner.h"

namespace varnolde::mvdb {

// A failure of the place that keeps the data (a file, a server), in French.
class StorageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class Storage : public Catalog, public RecordSource {
 public:
  // Opens the file or the server the name designates. Raises kDatabaseOpen naming the file,
  // or the server and database (never a password), and the cause.
  static std::unique_ptr<Storage> Open(const std::string& name, const OpenOptions& options);

  // How messages name the database: the file's path, or its server and database.
  virtual const std::string& path() const = 0;
  // The role a server's database is used as (its rights are the server's); empty for a file.
  virtual std::string ConnectedRole() const { return {}; }

  // Drops stale caches as of the latest read of this connection: call it when a transaction is
  // open (a write scope).
  virtual void DropStaleCaches() = 0;
  // The same after starting a read, for operations that read metadata only.
  virtual void DropStaleCachesAsOfNow() = 0;
  // Drops the caches when the catalog or a dictionary changed since the last check (as of the
  // latest read); returns whether it did.
  virtual bool DropCachesIfChanged() = 0;
  // Moves whenever what a plan depends on may have changed here.
  virtual std::uint64_t CatalogGeneration() const = 0;
  // Makes the next DropCachesIfMarked or DropStaleCaches drop every cache.
  virtual void MarkCachesStale() = 0;
  // Drops the caches after a rollback here, without looking for other connections' changes.
  virtual void DropCachesIfMarked() = 0;

  virtual bool CreateFile(std::string_view file) = 0;
  virtual std::vector<std::string> FileNames() = 0;
  virtual std::vector<std::string> IndexNames(std::string_view file) = 0;

  // Reads a record into text; false when the key is absent. Raises kUnknownFile,
  // kDatabaseOpen; kWriteFailed when a savepoint sent with the read failed (a server's
  // transaction, then over).
  virtual bool ReadRecord(std::string_view file, std::string_view key, std::string& text) = 0;
  // Raise kWriteFailed on any failure, with the database as before the call. WriteRecord
  // tells, when asked, whether the key was new to the file.
  virtual void WriteRecord(std::string_view file, std::string_view key, std::string_view text,
                           bool* created = nullptr) = 0;
  virtual void DeleteRecord(std::string_view file, std::string_view key) = 0;
  virtual std::int64_t BuildIndex(std::string_view file, std::string_view field_name) = 0;

  virtual void Begin() = 0;
  virtual void Commit() = 0;
  virtual void Rollback() = 0;
  virtual void Savepoint(std::string_view name) = 0;
  virtual void ReleaseSavepoint(std::string_view name) = 0;
  virtual void RollbackTo(std::string_view name) = 0;
  virtual bool InTransaction() const = 0;
  // DatabaseLink::Lock: a file has one writing transaction at a time, which is lock enough.
  virtual void Lock(std::string_view name) {
    if (!InTransaction()) throw ComponentError(err::kBadTransaction, "verrou hors transaction");
  }

  // A group of reads (DatabaseLink::BeginReadGroup): a file reads it in one read transaction,
  // which Begin and every write outside a transaction end first. Pairs nest.
  virtual void BeginReadGroup() {}
  virtual void EndReadGroup() {}

  // Reads the records of file under keys together, for a read group about to ask for them one
  // by one: passes each one found to found, and returns true, every key not passed being
  // absent. A storage that pays for each request (a server) does so; the default reads
  // nothing and returns false. Inside a transaction, a storage that can lock what it reads (a
  // server) keeps the records found, locked, to answer the transaction's own reads of them,
  // and returns false. Raises as ReadRecord.
  virtual bool ReadAhead(std::string_view file, const std::vector<std::string>& keys,
                         RowSink& found) {
    return false;
  }

  // The statement a server runs for an access path of file, for `explain`; empty for a local
  // file.
  virtual std::string DescribeAccess(const std::string& file, const AccessPath& access) {
    return {};
  }

 protected:
  // The field an index named field_name of file reads: an attribute number from 1 or a
  // dictionary item of the file. Raises kBadQuery (the key), kUnknownDictItem.
  std::shared_ptr<const Field> IndexedField(std::string_view file, std::string_view field_name);
  // The value of field in a record (its values separated by value marks).
  static std::string IndexedValue(const Field& field, std::string_view key, std::string_view text);
  // What a write of record key does to the entries of an index on field (old_text null for a
  // record created, new_text null for one deleted): the entries of the old value go when the
  // value changed, and those of the new value are written when it changed, or when the
  // entries hold their record and the record changed.
  struct EntryChange {
    std::string old_value, new_value;  // values separated by value marks
    bool remove_old = false;
    bool write_new = false;
  };
  static EntryChange ChangeOfEntries(const Field& field, std::string_view key,
                                     const std::string* old_text, const std::string* new_text,
                                     bool entries_hold_records);
  // Whether a key may be stored: not empty, no mark.
  static bool IsValidKey(std::string_view key);
  // The place of savepoint name in savepoints_; raises kBadTransaction outside a transaction
  // or for a name it does not hold.
  std::size_t FindSavepoint(std::string_view name) const;

  std::vector<std::string> savepoints_;  // of the open transaction, innermost last
};

}  // namespace varnolde::mvdb
