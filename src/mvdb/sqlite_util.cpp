#include "mvdb/sqlite_util.h"

#include <string>

namespace varnolde::mvdb {

std::string SqliteCause(int rc) {
  const char* cause = nullptr;
  switch (rc & 0xFF) {
    case SQLITE_ERROR: cause = "requête refusée par SQLite (schéma inattendu ou endommagé)"; break;
    case SQLITE_INTERNAL: cause = "erreur interne de SQLite"; break;
    case SQLITE_PERM:
    case SQLITE_AUTH: cause = "accès refusé"; break;
    case SQLITE_ABORT:
    case SQLITE_INTERRUPT: cause = "opération interrompue"; break;
    case SQLITE_BUSY: cause = "base verrouillée par un autre programme"; break;
    case SQLITE_LOCKED: cause = "table verrouillée par une autre opération"; break;
    case SQLITE_NOMEM: cause = "mémoire insuffisante"; break;
    case SQLITE_READONLY: cause = "base en lecture seule"; break;
    case SQLITE_IOERR: cause = "erreur de lecture ou d'écriture du fichier"; break;
    case SQLITE_CORRUPT: cause = "fichier endommagé"; break;
    case SQLITE_FULL: cause = "disque plein"; break;
    case SQLITE_CANTOPEN: cause = "ouverture du fichier impossible"; break;
    case SQLITE_PROTOCOL: cause = "verrouillage du fichier impossible"; break;
    case SQLITE_SCHEMA: cause = "schéma changé pendant l'opération"; break;
    case SQLITE_TOOBIG: cause = "texte ou enregistrement trop grand"; break;
    case SQLITE_CONSTRAINT: cause = "contrainte non respectée"; break;
    case SQLITE_MISMATCH: cause = "type de donnée inattendu"; break;
    case SQLITE_MISUSE: cause = "appel de SQLite incorrect"; break;
    case SQLITE_NOLFS: cause = "fichier trop grand pour ce système"; break;
    case SQLITE_RANGE: cause = "paramètre hors limites"; break;
    case SQLITE_NOTADB: cause = "ce n'est pas une base de données SQLite"; break;
    default: cause = "erreur SQLite"; break;
  }
  return std::string(cause) + " (code SQLite " + std::to_string(rc) + ")";
}

void CheckSqlite(sqlite3* db, int rc) {
  if (rc == SQLITE_OK || rc == SQLITE_ROW || rc == SQLITE_DONE) return;
  // The extended code says more (SQLITE_IOERR_SHORT_READ, SQLITE_BUSY_SNAPSHOT, ...).
  if (db != nullptr && (sqlite3_extended_errcode(db) & 0xFF) == (rc & 0xFF)) {
    rc = sqlite3_extended_errcode(db);
  }
  throw SqliteError(rc, SqliteCause(rc));
}

void Exec(sqlite3* db, std::string_view sql) {
  std::string text(sql);
  int rc = sqlite3_exec(db, text.c_str(), nullptr, nullptr, nullptr);
  CheckSqlite(db, rc);
}

Statement::Statement(sqlite3* db, std::string_view sql) : db_(db) {
  sqlite3_stmt* stmt = nullptr;
  int rc = sqlite3_prepare_v3(db, sql.data(), static_cast<int>(sql.size()),
                              SQLITE_PREPARE_PERSISTENT, &stmt, nullptr);
  stmt_.reset(stmt);
  CheckSqlite(db, rc);
}

Statement& Statement::BindBlob(int position, std::string_view bytes) {
  // A zero-length blob must still be a blob, not NULL: bind a valid pointer.
  static const char kEmpty = 0;
  const char* data = bytes.empty() ? &kEmpty : bytes.data();
  CheckSqlite(db_,
              sqlite3_bind_blob64(stmt_.get(), position, data, bytes.size(), SQLITE_STATIC));
  return *this;
}

Statement& Statement::BindText(int position, std::string_view text) {
  CheckSqlite(
      db_,
      sqlite3_bind_text64(stmt_.get(), position, text.data(), text.size(), SQLITE_STATIC,
                          SQLITE_UTF8));
  return *this;
}

Statement& Statement::BindInt(int position, std::int64_t value) {
  CheckSqlite(db_, sqlite3_bind_int64(stmt_.get(), position, value));
  return *this;
}

Statement& Statement::BindPointer(int position, void* pointer, const char* type) {
  CheckSqlite(db_, sqlite3_bind_pointer(stmt_.get(), position, pointer, type, nullptr));
  return *this;
}

bool Statement::Step() {
  int rc = sqlite3_step(stmt_.get());
  if (rc == SQLITE_ROW) return true;
  if (rc == SQLITE_DONE) return false;
  CheckSqlite(db_, rc);
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

std::int64_t QueryInt(sqlite3* db, std::string_view sql) {
  Statement statement(db, sql);
  return statement.Step() ? statement.ColumnInt(0) : 0;
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
