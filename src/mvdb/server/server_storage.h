// The storage on a PostgreSQL server, through libpq.
//
// Layout in the server's database (its public schema):
//   mvdb_meta(name, value)          'format' = 1 (the layout's version), 'dict_generation'
//   mvdb_file(id, name)             one row per file; its records live in table f<id>
//   f<id>(k bytea PRIMARY KEY, v)   records by key; bytea compares as bytes, so a key prefix
//                                   is one range of the primary key
//   mvdb_index(id, file, field)     one row per secondary index; its entries live in x<id>
//   x<id>(v bytea, k bytea)         primary key (v, k), kept in the record's transaction
//   mvdb_attr(record, n)            attribute n of a record, for server-side filters and rules
// Records are bytes (their marks are no UTF-8), kept whole in one column.
//
// Every statement is prepared once per connection and takes and gives bytes. Writing
// transactions run side by side; one that must not interleave with another on the same records
// takes a lock of the server named after them (Lock: the panel locks a caregiver's advances).
// A lock wait longer than the busy timeout, or a deadlock, fails the statement and ends the
// transaction it is in (as a file's lock, held for the whole database, refuses a transaction
// before it writes anything). Changes of the catalog (files, indexes, dictionary items) are
// announced with NOTIFY mvdb_catalog, which every connection LISTENs to, so that noticing them
// costs no round trip. A read that finds the connection lost outside a transaction reconnects once and tries
// again; a new transaction reconnects first; inside a transaction the loss ends it. A
// transaction ended on the server stays open on this side until Commit (which fails with
// kWriteFailed) or Rollback: every read and write of it fails meanwhile, writes and
// savepoints with kWriteFailed.
//
// Inside a transaction a savepoint and its release wait on this side and go in one pipeline
// batch with the next statement that needs an answer (a read, a write, a lock, the commit, a
// roll back to a savepoint); should one of them fail, the transaction ends on the server and
// that operation fails with kWriteFailed, a read included. A record the transaction wrote or
// deleted is locked by it until its end: a read of it is answered on this side, until the
// commit, the rollback or a roll back to a savepoint.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "mvdb/storage.h"

namespace varnolde::mvdb {

// Whether a database name designates a server: a postgresql:// or postgres:// URI, or libpq
// key=value text ("host=... dbname=..."). Anything else is a file path.
bool IsServerName(std::string_view name);

// How a connection text names its server and database in messages: "serveur « HOST:PORT »,
// base « DB »", with libpq's defaults for what it leaves out; never a password.
std::string DescribeServer(const std::string& conninfo);

class ServerStorage : public Storage {
 public:
  // Connects and checks (or, with options.create on an empty database, creates) the layout.
  // Raises kDatabaseOpen naming the server and the database and the cause.
  static std::unique_ptr<Storage> Open(const std::string& conninfo, const OpenOptions& options);
};

}  // namespace varnolde::mvdb
