// Thin RAII helpers over the SQLite C interface, private to the engine.
//
// Connection and Statement own a connection and one prepared statement; a statement is reset
// (not finalized) between uses so that the storage layer can keep it prepared for the life of
// the connection. SqliteError carries the SQLite result code and its French cause; the storage
// layer turns it into the ComponentError number that fits the operation (a failed write is
// always kWriteFailed).
#pragma once

#include <sqlite3.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

#include "mvdb/storage.h"

namespace varnolde::mvdb {

class SqliteError : public StorageError {
 public:
  SqliteError(int code, const std::string& message) : StorageError(message), code_(code) {}
  int code() const noexcept { return code_; }

 private:
  int code_;
};

// The French cause of an SQLite result code ("base verrouillée par un autre programme", "disque
// plein", ...), with the code itself for whoever digs further: SQLite's own messages are
// English and would mix two languages in one message.
std::string SqliteCause(int rc);

// Raises SqliteError with the cause of rc when rc is not one of the accepted codes.
void CheckSqlite(sqlite3* db, int rc);

// Runs one or more SQL statements that return no rows.
void Exec(sqlite3* db, std::string_view sql);

struct CloseConnection {
  void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
using Connection = std::unique_ptr<sqlite3, CloseConnection>;

class Statement {
 public:
  Statement(sqlite3* db, std::string_view sql);

  // Binding positions count from 1. Texts are bound as blobs so that they compare as bytes.
  Statement& BindBlob(int position, std::string_view bytes);
  Statement& BindText(int position, std::string_view text);
  Statement& BindInt(int position, std::int64_t value);
  // A pointer only an SQL function that asks for type can read (sqlite3_value_pointer).
  Statement& BindPointer(int position, void* pointer, const char* type);

  // Steps once: true when a row is available, false when done. Raises SqliteError.
  bool Step();
  // Steps to completion, for statements that return no row.
  void Run();
  // Clears the bindings and rewinds; safe to call at any time.
  void Reset();

  std::string_view ColumnBlob(int column) const;
  std::int64_t ColumnInt(int column) const;

 private:
  struct Finalize {
    void operator()(sqlite3_stmt* stmt) const { sqlite3_finalize(stmt); }
  };
  sqlite3* db_;
  std::unique_ptr<sqlite3_stmt, Finalize> stmt_;
};

// Resets a statement when the scope ends, whatever way it ends.
class StatementUse {
 public:
  explicit StatementUse(Statement& statement) : statement_(statement) {}
  ~StatementUse() { statement_.Reset(); }
  StatementUse(const StatementUse&) = delete;
  StatementUse& operator=(const StatementUse&) = delete;
  Statement* operator->() { return &statement_; }

 private:
  Statement& statement_;
};

// The first column of the first row of sql; 0 when it gives no row.
std::int64_t QueryInt(sqlite3* db, std::string_view sql);

// Quotes an SQL identifier ("name" with inner quotes doubled).
std::string QuoteIdentifier(std::string_view name);

}  // namespace varnolde::mvdb
