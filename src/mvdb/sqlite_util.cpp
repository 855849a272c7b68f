#include "mvdb/sqlite_util.h"

namespace varnolde::mvdb {

void CheckSqlite(sqlite3* db, int rc, std::string_view what) {
  if (rc == SQLITE_OK || rc == SQLITE_ROW || rc == SQLITE_DONE) return;
  std::string message(what);
  message += ": ";
  message += db != nullptr ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
  throw SqliteError(rc, message);
}

void Exec(sqlite3* db, std::string_view sql) {
  std::string text(sql);
  char* error = nullptr;
  int rc = sqlite3_exec(db, text.c_str(), nullptr, nullptr, &error);
  if (rc != SQLITE_OK) {
    std::string message = error != nullptr ? error : sqlite3_errstr(rc);
    sqlite3_free(error);
    throw SqliteError(rc, message);
  }
}

Statement::Statement(sqlite3* db, std::string_view sql) : db_(db) {
  sqlite3_stmt* stmt = nullptr;
  int rc = sqlite3_prepare_v3(db, sql.data(), static_cast<int>(sql.size()),
                              SQLITE_PREPARE_PERSISTENT, &stmt, nullptr);
  stmt_.reset(stmt);
  CheckSqlite(db, rc, "prepare");
}

Statement& Statement::BindBlob(int position, std::string_view bytes) {
  // A zero-length blob must still be a blob, not NULL: bind a valid pointer.
  static const char kEmpty = 0;
  const char* data = bytes.empty() ? &kEmpty : bytes.data();
  CheckSqlite(db_, sqlite3_bind_blob64(stmt_.get(), position, data, bytes.size(), SQLITE_STATIC),
              "bind");
  return *this;
}

Statement& Statement::BindText(int position, std::string_view text) {
  CheckSqlite(
      db_,
      sqlite3_bind_text64(stmt_.get(), position, text.data(), text.size(), SQLITE_STATIC,
                          SQLITE_UTF8),
      "bind");
  return *this;
}

Statement& Statement::BindInt(int position, std::int64_t value) {
  CheckSqlite(db_, sqlite3_bind_int64(stmt_.get(), position, value), "bind");
  return *this;
}

bool Statement::Step() {
  int rc = sqlite3_step(stmt_.get());
  if (rc == SQLITE_ROW) return true;
  if (rc == SQLITE_DONE) return false;
  CheckSqlite(db_, rc, "step");
  return false;
}

void Statement::Run() {
  while (Step()) {
  }
}

void Statement::Reset() {
  sqlite3_reset(stmt_.get());
  sqlite3_clear_bindings(stmt_.get());
}

std::string_view Statement::ColumnBlob(int column) const {
  const void* data = sqlite3_column_blob(stmt_.get(), column);
  int size = sqlite3_column_bytes(stmt_.get(), column);
  if (data == nullptr || size <= 0) return {};
  return {static_cast<const char*>(data), static_cast<std::size_t>(size)};
}

std::int64_t Statement::ColumnInt(int column) const {
  return sqlite3_column_int64(stmt_.get(), column);
}

std::string QuoteIdentifier(std::string_view name) {
  std::string quoted = "\"";
  for (char c : name) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  quoted += '"';
  return quoted;
}

}  // namespace varnolde::mvdb
