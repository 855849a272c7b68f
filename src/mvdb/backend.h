// Where the engine keeps its files: the primitives a storage place offers, below the engine's
// own logic (catalog caches, dictionary items, index upkeep, transactions' bookkeeping), which
// is written once in storage.cpp for every place.
//
// Two places implement Backend: an SQLite file on this machine (sqlite_backend.cpp) and a
// PostgreSQL server (server/pg_backend.cpp). Both keep, per file, its records by key in byte
// order (so that a key prefix is one range) and, per secondary index, its entries (value, key)
// in byte order; both keep a catalog of files and indexes and a dictionary generation that
// moves whenever a dictionary item changes.
//
// Failures raise StorageError; the engine turns it into the ComponentError number that fits
// the operation (kWriteFailed for any write, kDatabaseOpen for a read). A backend is used by
// one thread at a time.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "mvdb/query/executor.h"
#include "mvdb/query/planner.h"

namespace varnolde::mvdb {

class StorageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class Backend {
 public:
  virtual ~Backend() = default;

  // How messages name this database: the file's path, or the server and database (never a
  // password).
  virtual const std::string& Name() const = 0;
  virtual bool ReadOnly() const = 0;

  // The catalog. Ids are the backend's own; names are bytes without marks.
  virtual std::optional<std::int64_t> FindFile(std::string_view name) = 0;
  virtual std::vector<std::string> FileNames() = 0;
  virtual std::int64_t AddFile(std::string_view name) = 0;  // in a transaction
  struct IndexEntry {
    std::int64_t id;
    std::string field;  // Field::IndexName
  };
  virtual std::vector<IndexEntry> Indexes(std::string_view file) = 0;
  virtual std::int64_t AddIndex(std::string_view file, std::int64_t file_id,
                                std::string_view field) = 0;  // in a transaction
  virtual void DropIndex(std::int64_t index_id) = 0;          // in a transaction

  // Records of a file.
  virtual bool Get(std::int64_t file_id, std::string_view key, std::string& text) = 0;
  virtual void Put(std::int64_t file_id, std::string_view key, std::string_view text) = 0;
  virtual void Remove(std::int64_t file_id, std::string_view key) = 0;
  // Passes the records that access finds to sink (see RecordSource); index_id names the index
  // for the index kinds.
  virtual void Scan(std::int64_t file_id, const AccessPath& access, std::int64_t index_id,
                    RowSink& sink) = 0;

  // Entries of a secondary index.
  virtual void AddEntry(std::int64_t index_id, std::string_view value, std::string_view key) = 0;
  virtual void RemoveEntry(std::int64_t index_id, std::string_view value,
                           std::string_view key) = 0;
  virtual void ClearIndex(std::int64_t index_id) = 0;

  // Whether files, indexes or dictionary items changed since the last call, by this
  // connection or another, as far as the latest read can tell; the first call answers true.
  virtual bool CatalogChanged() = 0;
  // Makes the next CatalogChanged see the latest committed state (starts a read if needed).
  virtual void StartRead() = 0;
  // Records that a dictionary item changed (in the write's transaction).
  virtual void NoteDictionaryChange() = 0;

  // Transactions. Begin takes the write lock (or what stands for it); a savepoint name is any
  // text. TransactionLost tells whether the backend ended a transaction on its own (a full
  // disk, a lost connection) while the engine thought it open.
  virtual void Begin() = 0;
  virtual void Commit() = 0;
  virtual void Rollback() = 0;
  virtual void Savepoint(std::string_view name) = 0;
  virtual void Release(std::string_view name) = 0;
  virtual void RollbackTo(std::string_view name) = 0;
  virtual bool TransactionLost() = 0;

  // What the server runs for an access path, for `explain` (empty for a local file).
  virtual std::string DescribeAccess(const AccessPath& access) const { return {}; }
};

}  // namespace varnolde::mvdb
