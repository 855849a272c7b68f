// Opening an mvdb database: the implementation of the database contract
// (components/database.h) on one SQLite file.
//
// OpenDatabase returns the contract the panel uses; OpenMvdb returns the same object with the
// administration the tools need (creating files, building indexes, explaining plans, bulk
// reads and writes). The returned object owns the connection; records, files and query results
// obtained from it keep it alive. One link is used by one thread at a time; several links, in
// one process or in several, may share a database file (on one machine: SQLite's locking is not
// to be trusted on a network share). A write that cannot get the database within
// busy_timeout_ms fails with kWriteFailed.
//
// Opening raises ComponentError err::kDatabaseOpen, its text naming the file and the cause, when
// the file is missing (and create is false), unreadable, a directory, not an SQLite database,
// an SQLite database of another application, or damaged in its header or schema. Damage deeper
// in the file shows when a damaged page is read: reads then raise kDatabaseOpen and writes
// kWriteFailed, never a crash.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "components/database.h"

namespace varnolde::mvdb {

struct OpenOptions {
  bool create = false;     // create the file (an empty database) when it does not exist
  bool read_only = false;  // every write, delete and commit then fails with kWriteFailed
  // A file the user may read but not write is opened read-only instead of being refused: what
  // a clerk's host wants (consulting works, a validation shows the write failure).
  bool read_only_when_unwritable = false;
  int busy_timeout_ms = 5000;
  // A full scan of a file whose database is at least this many bytes reads it on two cores
  // when the processor has them (docs/mvdb.md); 0: every full scan that can, -1: none. A file
  // only: a server scans on its own side.
  std::int64_t parallel_scan_min_bytes = std::int64_t{64} << 20;
  // Called with the number of records written (WriteRecord) or visited (ForEachRecord) so far,
  // every kProgressStep records, for a progress display; empty: nothing is called.
  std::function<void(std::int64_t records)> progress = nullptr;
  static constexpr std::int64_t kProgressStep = 1000;
};

class Database : public DatabaseLink {
 public:
  // The path the database was opened with.
  virtual const std::string& Path() const = 0;
  // On a PostgreSQL server, the role the database is used as: the server applies its rights,
  // and it is the only user a panel may open for (docs/sharing.md). Empty for a file.
  virtual std::string ConnectedRole() const { return {}; }

  // Creates an empty file (table); returns false when it exists already. A file name is any
  // non-empty text without marks; "DICT X" holds the dictionary of X. Raises kWriteFailed.
  virtual bool CreateFile(std::string_view name) = 0;
  // Every file of the database, in byte order of their names.
  virtual std::vector<std::string> FileNames() = 0;

  // Builds (or rebuilds) the secondary index of file on field: an attribute number from 1 or a
  // dictionary item of the file. Returns the number of index entries (one per distinct value
  // of each record). The index is kept up to date by every later write and delete, and rebuilt
  // when the dictionary item it reads is rewritten. Raises kUnknownFile, kUnknownDictItem,
  // kBadQuery (field 0: the key needs no index), kBadData (malformed item), kWriteFailed.
  virtual std::int64_t CreateIndex(std::string_view file, std::string_view field) = 0;
  // The indexes of file, by the name they are stored under: the attribute number for
  // attributes and D items, the item's name for I items.
  virtual std::vector<std::string> IndexNames(std::string_view file) = 0;

  // The plan of a query sentence as text (docs/query-language.md). Raises like Select.
  virtual std::string Explain(std::string_view sentence) = 0;

  // Stores or removes one record without going through a DbRecord (bulk loads, generators),
  // with the same index upkeep and failures as DBWrite and DBDelete: kWriteFailed for any
  // failure, an unknown file included. WriteRecord returns true when the file held no record
  // of that key before.
  virtual bool WriteRecord(std::string_view file, std::string_view key, std::string_view text) = 0;
  // The same without telling whether the key is new, which spares a server a read of every
  // record (a generator writing millions of new records).
  virtual void StoreRecord(std::string_view file, std::string_view key, std::string_view text) = 0;
  virtual void DeleteRecord(std::string_view file, std::string_view key) = 0;

  // Calls visit(key, text) for every record of file in key order. The views are valid during
  // the call only; visit must not use this database. Raises kUnknownFile.
  virtual void ForEachRecord(
      std::string_view file,
      const std::function<void(std::string_view key, std::string_view text)>& visit) = 0;
};

std::shared_ptr<Database> OpenMvdb(const std::string& path, const OpenOptions& options = {});

std::shared_ptr<DatabaseLink> OpenDatabase(const std::string& path,
                                           const OpenOptions& options = {});

// Makes a new database at path, whole or not at all. First it removes what an earlier database
// or creation left under that name: the "-wal", "-shm" and "-journal" files of a database that
// no longer exists (SQLite would replay such a log onto the new file, bringing back the last
// changes of the old one), and the temporary files of creations whose process has ended. Then
// fill writes into a new database under a temporary name beside path ("path.creation-PID"),
// which is closed and renamed to path once fill has returned; on any failure, or when the
// process is killed, nothing appears under path. Raises kDatabaseOpen when path exists already
// or its folder is missing, and whatever fill raises.
// options.progress, when set, goes to the new database.
void CreateDatabase(const std::string& path, const std::function<void(Database&)>& fill,
                    const OpenOptions& options = {});

}  // namespace varnolde::mvdb
